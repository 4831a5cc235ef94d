#include "common/playerprofile.h"

#include <memory>

#include "common/loggroups.h"
#include "debug.h"
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

UserFile PlayerProfileBank::userFile(const std::string& file) {
  return UserFile(file, XML_PROFILES_PROFILES, "the player profiles", DBG_RESOURCES);
}

void PlayerProfileBank::load(const std::string& file) {
  UserFile profiles = userFile(file);
  std::unique_ptr<korvu::xml::Node> root = profiles.read();
  if (!root) throw profiles.problem;
  readFile(root.get());
}

void PlayerProfileBank::loadAtStart(const std::string& file) {
  std::unique_ptr<korvu::xml::Node> root = userFile(file).load();
  if (root) readFile(root.get());
}

void PlayerProfileBank::readFile(const korvu::xml::Node* root) {
  getFromNode(root);
  const std::set<std::string> names = namesIn(root);
  onFile_.insert(names.begin(), names.end());
}

int PlayerProfileBank::takeIn(const korvu::xml::Node* onDisk) {
  int added = 0;
  if (!onDisk) return added;
  for (const std::string& name : namesIn(onDisk)) {
    if (find(name) != end() || onFile_.count(name)) continue;
    korvu::debug::info(DBG_RESOURCES, "Profile \"%s\" was made by another copy of the game.", name.c_str());
    PlayerProfile* profile = new PlayerProfile();
    profile->name = name;
    *this += profile;
    onFile_.insert(name);
    ++added;
  }
  return added;
}

int PlayerProfileBank::refresh(const std::string& file) {
  std::unique_ptr<korvu::xml::Node> root = userFile(file).read();
  return takeIn(root.get());
}

void PlayerProfileBank::save(const std::string& file) {
  userFile(file).save([this](const korvu::xml::Node* onDisk) {
    takeIn(onDisk);
    return buildDomTree();
  });
  onFile_.clear();
  for (const auto& entry : *this) onFile_.insert(entry.first);
}

}  // namespace glimro
