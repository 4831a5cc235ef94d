#include "common/playerprofile.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "common/filelock.h"
#include "common/keepaside.h"
#include "common/loggroups.h"
#include "debug.h"
#include "filepath.h"
#include "gui/dropdownlist.h"

namespace glimro {

const std::string XML_PROFILES_PROFILES = "profiles";
const std::string XML_PROFILES_PROFILE = "profile";
const std::string XML_PROFILES_NAME = "name";
const std::string XML_PROFILES_COLOR = "color";
const std::string FILENAME_PROFILES = "profiles.xml";

PlayerProfile::PlayerProfile() : bank(nullptr) {}

PlayerProfile::~PlayerProfile() {
  if (bank) *bank -= this;
}

void PlayerProfile::getFromNode(const korvu::xml::Node* element) {
  if (!element) return;
  name = element->getAttribute(XML_PROFILES_NAME, name);
}

korvu::xml::Node* PlayerProfile::buildDomTree() const {
  korvu::xml::Node* element = new korvu::xml::Node();
  element->name = XML_PROFILES_PROFILE;
  (*element)[XML_PROFILES_NAME] = name;
  return element;
}

korvu::gui::ListItem* PlayerProfile::createListItem() {
  korvu::gui::ListItem* item = new korvu::gui::ListItem();
  applyToListItem(item);
  return item;
}

void PlayerProfile::applyToListItem(korvu::gui::ListItem* item) {
  item->text = name;
  item->data = this;
}

void PlayerProfileBank::getFromNode(const korvu::xml::Node* root) {
  if (!root) return;
  for (const korvu::xml::Node* child : root->children) {
    if (child->name != XML_PROFILES_PROFILE) continue;
    PlayerProfile* profile = new PlayerProfile();
    profile->getFromNode(child);
    *this += profile;
  }
}

korvu::xml::Node* PlayerProfileBank::buildDomTree() const {
  korvu::xml::Node* root = new korvu::xml::Node();
  root->name = XML_PROFILES_PROFILES;
  for (const auto& entry : *this) {
    if (entry.second) *root += entry.second->buildDomTree();
  }
  return root;
}

namespace {

// The names of the file's profiles, as getFromNode would take them.
std::set<std::string> namesIn(const korvu::xml::Node* root) {
  std::set<std::string> names;
  for (const korvu::xml::Node* child : root->children) {
    if (child->name == XML_PROFILES_PROFILE) names.insert(child->getAttribute(XML_PROFILES_NAME, ""));
  }
  return names;
}

}  // namespace

void PlayerProfileBank::load(const std::string& file) {
  std::unique_ptr<korvu::xml::Node> root(loadUserFile(file, &unopened));
  if (!root || root->name != XML_PROFILES_PROFILES) return;
  getFromNode(root.get());
  const std::set<std::string> names = namesIn(root.get());
  onFile_.insert(names.begin(), names.end());
}

void PlayerProfileBank::loadOrKeepAside(const std::string& file) {
  try {
    load(file);
  } catch (const korvu::xml::OpenError& failure) {
    if (failure.error == ENOENT) {
      korvu::debug::info(DBG_RESOURCES, "No player profiles yet in \"%s\".", file.c_str());
      return;
    }
    // Nothing of the file was seen: it may hold every profile, and becomes
    // readable again once its owner mends the permission or the link.
    korvu::debug::error(DBG_RESOURCES,
                        "Could not open the player profiles \"%s\": %s. The file is left as it is, and new "
                        "profiles are not saved to it.",
                        korvu::fullPath(file).c_str(), std::strerror(failure.error));
  } catch (const std::string& message) {
    korvu::debug::error(DBG_RESOURCES, "Could not load player profiles from \"%s\": %s.",
                        korvu::fullPath(file).c_str(), message.c_str());
    try {
      korvu::debug::error(DBG_RESOURCES, "The unreadable file is kept as \"%s\"; the game starts without profiles.",
                          korvu::fullPath(keepAside(file)).c_str());
    } catch (const std::string& failure) {
      korvu::debug::error(DBG_RESOURCES, "%s", failure.c_str());
    }
  }
}

void PlayerProfileBank::save(const std::string& file) {
  unopened.checkWrite(file);
  saveMerged(file, XML_PROFILES_PROFILES, [this](const korvu::xml::Node* onDisk) {
    if (onDisk) {
      for (const std::string& name : namesIn(onDisk)) {
        if (find(name) != end() || onFile_.count(name)) continue;
        korvu::debug::info(DBG_RESOURCES, "Profile \"%s\" was made by another copy of the game.", name.c_str());
        PlayerProfile* profile = new PlayerProfile();
        profile->name = name;
        *this += profile;
      }
    }
    return buildDomTree();
  });
  onFile_.clear();
  for (const auto& entry : *this) onFile_.insert(entry.first);
}

}  // namespace glimro
