#include "shell/moresettings.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
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

// When a choice was made, as milliseconds of the wall clock, on its element.
const std::string XML_TIME = "time";

long long now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

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
      madeAt_[i] = std::strtoll(child->getAttribute(XML_TIME, "0").c_str(), nullptr, 10);
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
    if (madeAt_[i] != 0) (*profile)[XML_TIME] = std::to_string(madeAt_[i]);
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
    if (CHOICES[i].field != choice) continue;
    chosen_[i] = true;
    madeAt_[i] = now();
  }
}

void MoreSettings::save(const std::string& file) {
  // A choice changed without choose counts as made now.
  for (size_t i = 0; i < CHOICE_COUNT; ++i) {
    if (chosen_[i] || this->*CHOICES[i].field == onFile_[i]) continue;
    chosen_[i] = true;
    madeAt_[i] = now();
  }
  // The merge may run again, on each file another copy saved meanwhile,
  // newer or older than the last. A choice this copy made replaces the
  // file's, marked later than the file's, so that it stays the latest
  // whatever the clocks say; every other choice keeps the value made last,
  // so that no older file undoes a newer choice.
  userFile(file).save([this](const korvu::xml::Node* onDisk) {
    MoreSettings theirs;
    theirs.getFromNode(onDisk);
    for (size_t i = 0; i < CHOICE_COUNT; ++i) {
      if (chosen_[i]) madeAt_[i] = std::max(madeAt_[i], theirs.madeAt_[i] + 1);
      if (theirs.madeAt_[i] <= madeAt_[i]) continue;
      this->*CHOICES[i].field = theirs.*CHOICES[i].field;
      madeAt_[i] = theirs.madeAt_[i];
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
