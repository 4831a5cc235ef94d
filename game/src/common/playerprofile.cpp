#include "common/playerprofile.h"

#include <sys/stat.h>

#include <memory>

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

void PlayerProfileBank::load(const std::string& file) {
  std::unique_ptr<korvu::xml::Node> root(korvu::xml::loadXML(file.c_str()));
  if (root && root->name == XML_PROFILES_PROFILES) getFromNode(root.get());
}

void PlayerProfileBank::loadOrKeepAside(const std::string& file) {
  try {
    load(file);
  } catch (const std::string& message) {
    struct stat info;
    if (stat(file.c_str(), &info) != 0) {
      korvu::debug::info(DBG_RESOURCES, "Could not load player profiles: %s.", message.c_str());
      return;
    }
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

void PlayerProfileBank::save(const std::string& file) const {
  std::unique_ptr<korvu::xml::Node> root(buildDomTree());
  root->saveXML(file.c_str());
}

}  // namespace glimro
