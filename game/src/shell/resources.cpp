#include "shell/resources.h"

#include <cstdio>
#include <memory>
#include <string>

#include "audio/audio.h"
#include "shell/commands.h"
#include "shell/consolethread.h"
#include "controls.h"
#include "ddd/materialbank.h"
#include "ddd/modelbank.h"
#include "debug.h"
#include "audio/emitter.h"
#include "fonts/bitmapfont.h"
#include "shell/shell.h"
#include "shell/globalcommands.h"
#include "gui/dropdownlist.h"
#include "gui/gui.h"
#include "image.h"
#include "input.h"
#include "korvu.h"
#include "common/playerprofile.h"
#include "race/raceresources.h"
#include "race/settings.h"
#include "audio/sound.h"

namespace glimro {

Resources* resources = nullptr;

namespace {

const char* const FONT_DIRS[] = {"resources/fonts/andromeda30", "resources/fonts/arialblack12",
                                 "resources/fonts/arial10"};
const char* const PROFILE_LISTS[] = {"dlProfile0", "dlProfile1", "dlProfile2"};

// Runs one guarded loading step: a thrown message is written on standard
// error after the step's words, and loading goes on.
template <typename Step>
bool guarded(const char* what, Step step) {
  try {
    step();
    return true;
  } catch (const std::string& message) {
    std::fprintf(stderr, "%s\"%s\"\n", what, message.c_str());
    return false;
  }
}

}  // namespace

Resources::Resources() {
  try {
    load();
  } catch (...) {
    release();
    throw;
  }
}

Resources::~Resources() { release(); }

void Resources::load() {
  inputEvaluator = new korvu::InputEvaluator();
  controlQueue = new korvu::ControlQueue();
  controlQueue->evaluator = inputEvaluator;
  soundBank = new korvu::audio::SoundBank();
  textureBank = new korvu::ImageBank();
  textureBank->maxFilter = korvu::IMAGEFILTER_TRILINEAR;
  skyboxTextureBank = new korvu::ImageBank();
  skyboxTextureBank->maxFilter = korvu::IMAGEFILTER_TRILINEAR;
  materialBank = new korvu::ddd::MaterialBank();
  skyboxMaterialBank = new korvu::ddd::MaterialBank();
  modelBank = new korvu::ddd::ModelBank();
  effectsEmitter = new korvu::audio::Emitter();
  effectsEmitter->affectSources = true;
  musicEmitter = new korvu::audio::Emitter();
  musicEmitter->affectSources = true;

  guarded("Error loading sounds: ", [&] { soundBank->load("resources/sounds.xml"); });
  guarded("Error loading additional texture images: ",
          [&] { textureBank->load("resources/textures/additional.xml"); });
  guiImageBank = new korvu::ImageBank();
  korvu::debug::debug(DBG_RESOURCES, "Loading materials.");
  guarded("Error loading materials: ", [&] {
    materialBank->load("resources/materials.xml", textureBank, "resources/textures/");
  });
  korvu::debug::debug(DBG_RESOURCES, "Loading models.");
  guarded("Error loading models: ", [&] {
    modelBank->load("resources/models.xml", materialBank, textureBank, "resources/textures/");
  });
  materialBank->prepare();

  korvu::debug::debug(DBG_RESOURCES, "Loading fonts.");
  fontBank = new korvu::MappedBank<korvu::fonts::Font>();
  int fonts = 0;
  std::string fontError;
  try {
    for (const char* dir : FONT_DIRS) {
      korvu::fonts::BitmapFont* loaded = new korvu::fonts::BitmapFont(dir);
      font = loaded;
      *fontBank += loaded;
      ++fonts;
    }
    korvu::debug::debug(DBG_RESOURCES, "Font name: \"%s\".", font->name.c_str());
  } catch (const std::string& message) {
    std::fprintf(stderr, "Error loading font: \"%s\"\n", message.c_str());
    fontError = message;
  }
  if (fonts < 3) {
    // Every caption, the heads-up display and the frame counter need them.
    korvu::debug::critical(DBG_RESOURCES, "Could not load font \"%s\": %s", FONT_DIRS[fonts], fontError.c_str());
    quit(1);
  }

  joysticks[0] = korvu::initJoystick(0);
  joysticks[1] = korvu::initJoystick(1);

  korvu::debug::debug(DBG_RESOURCES, "Creating game queue.");
  buildControls(*controlQueue, *inputEvaluator, *this);
  exitTrigger = controlQueue->find("exit");
  toggleMenuTrigger = controlQueue->find("toggleMenu");

  korvu::debug::debug(DBG_RESOURCES, "Loading GUI.");
  try {
    gui = new korvu::gui::GUI("resources/gui.xml", guiImageBank, fontBank,
                              &controlQueue->triggers);
  } catch (const std::string& message) {
    korvu::debug::critical(DBG_RESOURCES, "Could not load GUI: %s", message.c_str());
    quit(1);
  }
  korvu::debug::debug(DBG_RESOURCES, "Connecting GUI.");
  gui->fallback = inputEvaluator;
  controlQueue->evaluator = gui;

  korvu::debug::debug(DBG_RESOURCES, "Loading texture images.");
  textureBank->refresh();
  korvu::debug::debug(DBG_RESOURCES, "Loading sounds.");
  try {
    soundBank->refresh();
  } catch (const std::string& message) {
    korvu::debug::critical(DBG_RESOURCES, "Could not load sound files: %s", message.c_str());
    quit(1);
  }

  korvu::debug::debug(DBG_RESOURCES, "Setting up render contexts and viewports.");
  setUpRenderContexts(renderContext2D, renderContext3D, settings.viewDistance);

  profileBank = new PlayerProfileBank();
  profileList = new korvu::gui::List();
  // The set holds one use of the shared list of its own, so the list lives
  // as long as the set even when a description lacks one of the lists.
  profileList->use();
  profileBank->loadAtStart(FILENAME_PROFILES);
  korvu::debug::info(DBG_RESOURCES, "%d player profiles read.", static_cast<int>(profileBank->size()));
  for (auto& entry : *profileBank) *profileList += entry.second->createListItem();

  // The set is not the global yet: look the lists up in its own GUI.
  for (const char* name : PROFILE_LISTS) {
    if (auto* list = dynamic_cast<korvu::gui::DropdownList*>((*gui)[name]))
      list->setItems(profileList);
    else
      korvu::debug::error(DBG_RESOURCES, "The GUI has no drop-down list \"%s\".", name);
  }
  globalEvents = handleGlobalEvents;
  raceResources = this;
}

void Resources::release() {
  if (raceResources == this) raceResources = nullptr;
  if (console) {
    std::printf("Terminating...\n");
    std::fflush(stdout);
    delete console;
    console = nullptr;
  }
  delete profileBank;
  profileBank = nullptr;
  delete musicEmitter;
  musicEmitter = nullptr;
  delete effectsEmitter;
  effectsEmitter = nullptr;
  if (soundBank) korvu::debug::debug(DBG_RESOURCES, "Delete sounds...");
  delete soundBank;
  soundBank = nullptr;
  delete gui;
  gui = nullptr;
  if (profileList) profileList->unuse();
  profileList = nullptr;
  delete fontBank;
  fontBank = nullptr;
  font = nullptr;
  korvu::cleanUpJoystick(joysticks[1]);
  korvu::cleanUpJoystick(joysticks[0]);
  joysticks[0] = joysticks[1] = nullptr;
  delete controlQueue;
  controlQueue = nullptr;
  delete inputEvaluator;
  inputEvaluator = nullptr;
  delete modelBank;
  modelBank = nullptr;
  delete skyboxMaterialBank;
  skyboxMaterialBank = nullptr;
  delete materialBank;
  materialBank = nullptr;
  delete skyboxTextureBank;
  skyboxTextureBank = nullptr;
  delete textureBank;
  textureBank = nullptr;
  delete guiImageBank;
  guiImageBank = nullptr;
}

}  // namespace glimro
