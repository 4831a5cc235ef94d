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
    for (const Choice& choice : CHOICES)
      if (*type == *choice.type) this->*choice.field = *name;
  }
}

korvu::xml::Node* MoreSettings::buildDomTree() const {
  korvu::xml::Node* root = new korvu::xml::Node();
  root->name = XML_MORESETTINGS;
  for (const Choice& choice : CHOICES) {
    korvu::xml::Node* profile = new korvu::xml::Node();
    profile->name = XML_PROFILE;
    (*profile)[XML_NAME] = this->*choice.field;
    (*profile)[XML_TYPE] = *choice.type;
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
  for (size_t i = 0; i < CHOICE_COUNT; ++i)
    if (CHOICES[i].field == choice) chosen_[i] = true;
}

void MoreSettings::save(const std::string& file) {
  // The merge may run again, on each file another copy saved meanwhile,
  // newer or older than the last: a choice this copy made stays, and
  // another takes a file's value only where that copy changed it from what
  // this one last read, so that no older file undoes a newer choice.
  const MoreSettings mine = *this;
  userFile(file).save([this, &mine](const korvu::xml::Node* onDisk) {
    MoreSettings theirs = mine;
    theirs.getFromNode(onDisk);
    for (size_t i = 0; i < CHOICE_COUNT; ++i) {
      std::string MoreSettings::*field = CHOICES[i].field;
      if (chosen_[i] || mine.*field != onFile_[i]) {
        this->*field = mine.*field;
      } else if (theirs.*field != onFile_[i]) {
        this->*field = theirs.*field;
      }
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

}  // namespace glimro
