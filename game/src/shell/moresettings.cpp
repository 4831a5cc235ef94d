#include "shell/moresettings.h"

#include <memory>

#include "common/loggroups.h"
#include "race/settings.h"
#include "xml.h"

namespace glimro {

const std::string FILENAME_MORESETTINGS = "moresettings.xml";

MoreSettings moreSettings;

namespace {

struct Choice {
  const std::string* type;
  std::string MoreSettings::*field;
};

const Choice CHOICES[] = {
    {&XML_TYPE_SINGLEPLAYER, &MoreSettings::singleplayer},
    {&XML_TYPE_MULTIPLAYER_1, &MoreSettings::multiplayer_1},
    {&XML_TYPE_MULTIPLAYER_2, &MoreSettings::multiplayer_2},
};

const size_t CHOICE_COUNT = sizeof(CHOICES) / sizeof(CHOICES[0]);
static_assert(CHOICE_COUNT == 3, "MoreSettings keeps three choices as on file");

// A "profile" element of one of the three types: buildDomTree writes these.
bool isChoice(const korvu::xml::Node* child) {
  if (child->name != XML_PROFILE) return false;
  const std::string* type = child->getAttribute(XML_TYPE);
  if (!type) return false;
  for (const Choice& choice : CHOICES)
    if (*type == *choice.type) return true;
  return false;
}

// A detached deep copy of the element; the caller owns it. Player files are
// read no deeper than USER_FILE_DEPTH, so the recursion stays shallow.
korvu::xml::Node* copyOf(const korvu::xml::Node* element) {
  korvu::xml::Node* copy = new korvu::xml::Node();
  copy->name = element->name;
  copy->attributes = element->attributes;
  for (const korvu::xml::Node* child : element->children) *copy += copyOf(child);
  return copy;
}

}  // namespace

void MoreSettings::getFromNode(const korvu::xml::Node* root) {
  if (!root) return;
  for (const korvu::xml::Node* child : root->children) {
    if (child->name != XML_PROFILE) continue;
    const std::string* name = child->getAttribute(XML_NAME);
    const std::string* type = child->getAttribute(XML_TYPE);
    if (!name || !type) continue;
    for (size_t i = 0; i < CHOICE_COUNT; ++i) {
      if (*type != *CHOICES[i].type) continue;
      this->*CHOICES[i].field = *name;
    }
  }
}

korvu::xml::Node* MoreSettings::buildDomTree() const {
  korvu::xml::Node* root = new korvu::xml::Node();
  root->name = XML_MORESETTINGS;
  for (size_t i = 0; i < CHOICE_COUNT; ++i) {
    korvu::xml::Node* profile = new korvu::xml::Node();
    profile->name = XML_PROFILE;
    (*profile)[XML_NAME] = this->*CHOICES[i].field;
    (*profile)[XML_TYPE] = *CHOICES[i].type;
    *root += profile;
  }
  return root;
}

UserFile MoreSettings::userFile(const std::string& file) {
  return UserFile(file, XML_MORESETTINGS, "the last choices", DBG_CORE);
}

void MoreSettings::load(const std::string& file) {
  UserFile choices = userFile(file);
  std::unique_ptr<korvu::xml::Node> root = choices.read();
  if (!root) throw choices.problem;
  readFile(root.get());
}

void MoreSettings::loadAtStart(const std::string& file) {
  std::unique_ptr<korvu::xml::Node> root = userFile(file).load();
  if (root) readFile(root.get());
}

void MoreSettings::readFile(const korvu::xml::Node* root) {
  getFromNode(root);
  for (size_t i = 0; i < CHOICE_COUNT; ++i) onFile_[i] = this->*CHOICES[i].field;
}

void MoreSettings::choose(std::string MoreSettings::*choice, const std::string& name) {
  this->*choice = name;
  for (size_t i = 0; i < CHOICE_COUNT; ++i) {
    if (CHOICES[i].field == choice) chosen_[i] = true;
  }
}

void MoreSettings::save(const std::string& file) {
  // A choice changed without choose counts as made here.
  for (size_t i = 0; i < CHOICE_COUNT; ++i) chosen_[i] = chosen_[i] || this->*CHOICES[i].field != onFile_[i];
  // Saves take turns under the file's lock (where the file system has
  // locks), so the file holds the last save: a choice this copy made since
  // it last read or wrote the file replaces the file's, and every other
  // choice is the file's, which another copy of the game may have made
  // since.
  userFile(file).save([this](const korvu::xml::Node* onDisk) {
    MoreSettings theirs = *this;
    theirs.getFromNode(onDisk);
    for (size_t i = 0; i < CHOICE_COUNT; ++i) {
      if (!chosen_[i]) this->*CHOICES[i].field = onFile_[i] = theirs.*CHOICES[i].field;
    }
    korvu::xml::Node* root = buildDomTree();
    if (onDisk) {
      for (const auto& attribute : onDisk->attributes) root->attributes.insert(attribute);
      for (const korvu::xml::Node* child : onDisk->children)
        if (!isChoice(child)) *root += copyOf(child);
    }
    return root;
  });
  for (size_t i = 0; i < CHOICE_COUNT; ++i) {
    onFile_[i] = this->*CHOICES[i].field;
    chosen_[i] = false;
  }
}

bool MoreSettings::unsaved() const {
  for (size_t i = 0; i < CHOICE_COUNT; ++i)
    if (chosen_[i] || this->*CHOICES[i].field != onFile_[i]) return true;
  return false;
}

}  // namespace glimro
