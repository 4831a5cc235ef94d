#include "shell/moresettings.h"

#include <memory>

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

void MoreSettings::load(const std::string& file) {
  std::unique_ptr<korvu::xml::Node> root(korvu::xml::loadXML(file.c_str()));
  if (root && root->name == XML_MORESETTINGS) getFromNode(root.get());
}

void MoreSettings::save(const std::string& file) const {
  std::unique_ptr<korvu::xml::Node> root(buildDomTree());
  root->saveXML(file.c_str());
}

}  // namespace glimro
