#include "race/settings.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "common/userfile.h"
#include "common/loggroups.h"
#include "ddd/materialbank.h"
#include "ddd/model.h"
#include "ddd/modelbank.h"
#include "ddd/object.h"
#include "ddd/settings.h"
#include "debug.h"
#include "filepath.h"
#include "audio/emitter.h"
#include "image.h"
#include "race/game.h"
#include "race/raceresources.h"
#include "xml.h"

namespace glimro {

const std::string XML_SETTINGS = "settings";
const std::string XML_RESOLUTION = "resolution";
const std::string XML_RESOLUTION_X = "x";
const std::string XML_RESOLUTION_Y = "y";
const std::string XML_RESOLUTION_FULLSCREEN = "fullscreen";
const std::string XML_DEBUG = "debug";
const std::string XML_SHOWFPS = "showFps";
const std::string XML_QUALITY = "quality";
const std::string XML_LIGHTS = "lights";
const std::string XML_BUFFEREDMODELS = "bufferedModels";
const std::string XML_SKYBOX = "skybox";
const std::string XML_FOG = "fog";
const std::string XML_LAPS = "laps";
const std::string XML_COLLISIONS = "collisions";
const std::string XML_LENSFLARES = "lensflares";
const std::string XML_TRANSPARENCY = "transparency";
const std::string XML_WIREFRAME = "wireframe";
const std::string XML_SHADOWS = "shadows";
const std::string XML_CULLING = "culling";
const std::string XML_TRILINEAR = "trilinear";
const std::string XML_ENABLED = "enabled";
const std::string XML_VALUE = "value";
const std::string XML_MORESETTINGS = "moresettings";
const std::string XML_PROFILE = "profile";
const std::string XML_TYPE = "type";
const std::string XML_NAME = "name";
const std::string XML_TYPE_SINGLEPLAYER = "singleplayer";
const std::string XML_TYPE_MULTIPLAYER_1 = "multiplayer_1";
const std::string XML_TYPE_MULTIPLAYER_2 = "multiplayer_2";
const std::string XML_AUDIODEVICE = "audiodevice";
const std::string XML_SOUND = "sound";
const std::string XML_MUSIC = "music";
const std::string XML_MIPMAPS = "mipmaps";
const std::string XML_COMPILEMODELS = "compileModels";
const std::string XML_PROJECTIVETEXTURES = "projectiveTextures";
const std::string FILENAME_SETTINGS = "resources/settings.xml";

Settings settings;

void Settings::load(const std::string& file) {
  // The game never writes this file: one that cannot be read is only named.
  UserFile settingsFile(file, XML_SETTINGS, "the settings", DBG_CORE);
  std::unique_ptr<korvu::xml::Node> root = settingsFile.read();
  if (!root) throw settingsFile.problem;
  getSettingsFromNode(root.get(), file);
}

namespace {

// The elements that hold one "enabled" switch, and the field each sets.
struct SwitchElement {
  const std::string* name;
  bool Settings::*field;
};

const SwitchElement SWITCHES[] = {
    {&XML_SHOWFPS, &Settings::showFps},
    {&XML_COLLISIONS, &Settings::collisions},
    {&XML_LENSFLARES, &Settings::lensflares},
    {&XML_TRANSPARENCY, &Settings::transparency},
    {&XML_WIREFRAME, &Settings::wireframe},
    {&XML_SHADOWS, &Settings::shadows},
    {&XML_PROJECTIVETEXTURES, &Settings::projectiveTextures},
    {&XML_COMPILEMODELS, &Settings::compileModels},
    {&XML_SKYBOX, &Settings::skybox},
    {&XML_FOG, &Settings::fog},
    {&XML_BUFFEREDMODELS, &Settings::bufferedModels},
    {&XML_SOUND, &Settings::sound},
    {&XML_MUSIC, &Settings::music},
    {&XML_MIPMAPS, &Settings::mipmaps},
    {&XML_CULLING, &Settings::culling},
};

}  // namespace

void Settings::getSettingsFromNode(const korvu::xml::Node* root, const std::string& file) {
  if (!root) return;
  for (const korvu::xml::Node* child : root->children) {
    const std::string& name = child->name;
    if (name == XML_RESOLUTION) {
      // No window of no pixels opens; SDL would take 0 for the screen's size.
      const long x = child->getAttributeLong(XML_RESOLUTION_X, resX);
      const long y = child->getAttributeLong(XML_RESOLUTION_Y, resY);
      if (x >= 1 && y >= 1) {
        resX = static_cast<int>(std::min<long>(x, INT_MAX));
        resY = static_cast<int>(std::min<long>(y, INT_MAX));
      } else {
        korvu::debug::warning(DBG_CORE,
                              "Resolution \"%s\" by \"%s\" in \"%s\" is not a size of at least 1 by 1; "
                              "keeping %d by %d.",
                              child->getAttribute(XML_RESOLUTION_X, std::to_string(resX)).c_str(),
                              child->getAttribute(XML_RESOLUTION_Y, std::to_string(resY)).c_str(),
                              korvu::fullPath(file).c_str(), resX, resY);
      }
      fullscreen = child->getAttributeBool(XML_RESOLUTION_FULLSCREEN, fullscreen);
      korvu::debug::info(DBG_CORE, "Resolution requested by settings file: %d/%d.", resX, resY);
    } else if (name == XML_QUALITY) {
      lightsQuality = static_cast<short>(child->getAttributeLong(XML_LIGHTS, lightsQuality));
      fogQuality = static_cast<short>(child->getAttributeLong(XML_FOG, fogQuality));
    } else if (name == XML_LAPS) {
      // A race of no laps would end at the first crossing of the line and
      // keep that as a record.
      const long value = child->getAttributeLong(XML_VALUE, laps);
      if (value >= 1) {
        laps = static_cast<int>(std::min<long>(value, INT_MAX));
      } else {
        korvu::debug::warning(DBG_CORE, "Laps \"%s\" in \"%s\" is not a number of at least 1; racing %d laps.",
                              child->getAttribute(XML_VALUE, "").c_str(),
                              korvu::fullPath(file).c_str(), laps);
      }
    } else if (name == XML_AUDIODEVICE) {
      audiodevice = child->getAttribute(XML_VALUE, audiodevice);
    } else if (name == XML_DEBUG) {
      korvu::debug::groups.getSettingsFromNode(child);
    } else {
      for (const SwitchElement& entry : SWITCHES) {
        if (name != *entry.name) continue;
        this->*entry.field = child->getAttributeBool(XML_ENABLED, this->*entry.field);
        if (entry.field == &Settings::mipmaps)
          trilinear = child->getAttributeBool(XML_TRILINEAR, trilinear);
      }
    }
  }
}

void Settings::setShowFps(bool on) { showFps = on; }
void Settings::setSound(bool on) { sound = on; }
void Settings::setCulling(bool on) { culling = on; }

// The render switches: the renderer keeps a copy of each in its own settings.
void Settings::setLensflares(bool on) { lensflares = korvu::ddd::settings.lensflares = on; }
void Settings::setTransparency(bool on) { transparency = korvu::ddd::settings.transparency = on; }
void Settings::setShadows(bool on) { shadows = korvu::ddd::settings.shadows = on; }
void Settings::setProjectiveTextures(bool on) { projectiveTextures = korvu::ddd::settings.projectiveTextures = on; }
void Settings::setSkybox(bool on) { skybox = korvu::ddd::settings.skybox = on; }

void Settings::setWireframe(bool on) {
  wireframe = on;
  if (raceResources) raceResources->renderContext3D.wireframe = on;
}

void Settings::setBufferedModels(bool on) {
  bufferedModels = on;
  if (!raceResources || !raceResources->modelBank) return;
  if (on)
    raceResources->modelBank->packAll();
  else
    raceResources->modelBank->unpackAll();
}

void Settings::setCompileModels(bool on) {
  compileModels = on;
  korvu::ddd::Model* skybox = game && game->world ? game->world->skybox : nullptr;
  if (on) {
    if (raceResources && raceResources->materialBank) raceResources->materialBank->compileAll();
    if (raceResources && raceResources->modelBank) raceResources->modelBank->compileAll();
    if (skybox) skybox->compile();
  } else {
    if (skybox) skybox->uncompile();
    if (raceResources && raceResources->materialBank) raceResources->materialBank->uncompileAll();
    if (raceResources && raceResources->modelBank) raceResources->modelBank->uncompileAll();
  }
}

void Settings::setMusic(bool on) {
  music = on;
  if (raceResources && raceResources->musicEmitter) raceResources->musicEmitter->mute = !on;
}

void Settings::setMipmaps(bool on, bool useTrilinear) {
  mipmaps = on;
  trilinear = useTrilinear;
  if (!raceResources || !raceResources->textureBank) return;
  korvu::ImageBank* bank = raceResources->textureBank;
  if (on)
    bank->maxFilter = useTrilinear ? korvu::IMAGEFILTER_TRILINEAR : korvu::IMAGEFILTER_BILINEAR;
  else
    bank->maxFilter = korvu::IMAGEFILTER_LINEAR;
  bank->refresh();
}

void Settings::applyToResources() {
  setMusic(music);
  setWireframe(wireframe);
  setMipmaps(mipmaps, trilinear);
  raceResources->renderContext3D.separateSpecular = lightsQuality;
  raceResources->renderContext3D.fogHint = fogQuality;
}

}  // namespace glimro
