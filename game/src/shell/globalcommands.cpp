#include "shell/globalcommands.h"

#include <cstdio>
#include <string>

#include "shell/commands.h"
#include "shell/consolethread.h"
#include "controls.h"
#include "shell/shell.h"
#include "gui/checkbox.h"
#include "korvu.h"
#include "shell/resources.h"
#include "screenshot.h"
#include "race/settings.h"

namespace glimro {

namespace {

const char* onOff(bool on) { return on ? "On" : "Off"; }

void confirm(const std::string& label, bool on) { postMessage(label + onOff(on)); }

// A render switch of the settings with its setter and its confirmation.
struct Toggle {
  int id;
  const char* label;
  bool Settings::*field;
  void (Settings::*setter)(bool);
};

const Toggle TOGGLES[] = {
    {TRG_COMPILED_MODELS, "Compiled models: ", &Settings::compileModels, &Settings::setCompileModels},
    {TRG_LENSFLARES, "Lensflares: ", &Settings::lensflares, &Settings::setLensflares},
    {TRG_WIREFRAME, "Wireframe view: ", &Settings::wireframe, &Settings::setWireframe},
    {TRG_TRANSPARENCY, "Transparency: ", &Settings::transparency, &Settings::setTransparency},
    {TRG_SHADOWS, "Shadows: ", &Settings::shadows, &Settings::setShadows},
    {TRG_PROJECTIVE_TEXTURES, "Projective textures: ", &Settings::projectiveTextures,
     &Settings::setProjectiveTextures},
    {TRG_SKYBOX, "Skybox: ", &Settings::skybox, &Settings::setSkybox},
    {TRG_MUSIC, "Music: ", &Settings::music, &Settings::setMusic},
    {TRG_BUFFERED_MODELS, "Buffered models: ", &Settings::bufferedModels,
     &Settings::setBufferedModels},
    {TRG_CULLING, "View frustum culling: ", &Settings::culling, &Settings::setCulling},
};

void startConsole() {
  if (!resources || resources->console) return;
  std::printf("Debugging console activated.\n");
  std::fflush(stdout);
  ConsoleThread* console = new ConsoleThread();
  resources->console = console;
  try {
    console->start();
  } catch (const std::string& message) {
    korvu::debug::error(DBG_CORE, "Could not start the console: %s", message.c_str());
    resources->console = nullptr;
    delete console;
    return;
  }
  postMessage("Debugging console activated.");
}

void screenshot() {
  try {
    korvu::saveScreenshot("screenshot.png");
    postMessage("Saved screenshot.png");
  } catch (const std::string& message) {
    postMessage("Could not save screenshot: " + message);
    korvu::debug::error(DBG_CORE, "Could not save screenshot: %s.", message.c_str());
  }
}

}  // namespace

void toggleFullscreen() {
  try {
    korvu::toggleFullscreen();
  } catch (const std::string& message) {
    postMessage(message);
    korvu::debug::error(DBG_CORE, "%s", message.c_str());
  }
}

bool handleGlobalEvents(korvu::Trigger* trigger) {
  if (!trigger) return true;
  const int id = trigger->id;
  for (const Toggle& toggle : TOGGLES) {
    if (id != toggle.id) continue;
    (settings.*toggle.setter)(!(settings.*toggle.field));
    confirm(toggle.label, settings.*toggle.field);
    return true;
  }
  switch (id) {
    case TRG_EXIT:
    case TRG_CANCEL:
      return false;
    case TRG_FULLSCREEN:
      toggleFullscreen();
      break;
    case TRG_CONSOLE:
      startConsole();
      break;
    case TRG_PROFILING:
      printProfiling = true;
      break;
    case TRG_FPS:
      settings.setShowFps(!settings.showFps);
      if (auto* box = findComponent<korvu::gui::Checkbox>("cbFPS")) box->checked = settings.showFps;
      confirm("FPS: ", settings.showFps);
      break;
    case TRG_FPS_ON:
      settings.setShowFps(true);
      break;
    case TRG_FPS_OFF:
      settings.setShowFps(false);
      break;
    case TRG_SCREENSHOT:
      screenshot();
      break;
    case TRG_MIPMAPS:
      settings.setMipmaps(!settings.mipmaps, settings.trilinear);
      confirm("Mipmapping: ", settings.mipmaps);
      break;
    case TRG_MIPMAP_MODE:
      settings.setMipmaps(settings.mipmaps, !settings.trilinear);
      postMessage(std::string("Mipmapping: ") + (settings.trilinear ? "Trilinear" : "Bilinear"));
      break;
    default:
      break;
  }
  return true;
}

}  // namespace glimro
