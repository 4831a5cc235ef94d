#include "shell/shell.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

#include "audio/audio.h"
#include "shell/consolethread.h"
#include "controls.h"
#include "ddd/settings.h"
#include "audio/emitter.h"
#include "filepath.h"
#include "fonts/font.h"
#include "race/game.h"
#include "gui/gui.h"
#include "korvu.h"
#include "shell/menu.h"
#include "shell/notice.h"
#include "shell/resources.h"
#include "race/settings.h"
#include "track/track.h"

namespace glimro {

namespace {

[[noreturn]] void fail(const char* format, const std::string& message) {
  korvu::debug::critical(DBG_CORE, format, message.c_str());
  quit(1);
}

// At the configured size, or at the default one where the screen cannot
// open that; the settings then hold the size that opened, which the race
// lays its views out over.
void openScreen() {
  try {
    korvu::initScreen(settings.resX, settings.resY, 32, settings.fullscreen);
  } catch (const std::string& message) {
    const Settings defaults;
    if (settings.resX == defaults.resX && settings.resY == defaults.resY) fail("InitScreen() failed: %s", message);
    korvu::debug::warning(DBG_CORE, "The screen cannot open %d by %d, the resolution in \"%s\" (%s); opening %d by %d.",
                          settings.resX, settings.resY, korvu::fullPath(FILENAME_SETTINGS).c_str(), message.c_str(), defaults.resX,
                          defaults.resY);
    try {
      korvu::initScreen(defaults.resX, defaults.resY, 32, settings.fullscreen);
    } catch (const std::string& again) {
      fail("InitScreen() failed: %s", again);
    }
  }
  settings.resX = static_cast<int>(korvu::vpScreen.width);
  settings.resY = static_cast<int>(korvu::vpScreen.height);
}

void initAudio() {
  korvu::audio::enabled = settings.sound;
  if (!settings.audiodevice.empty()) {
    try {
      korvu::audio::init(settings.audiodevice, 44100);
      return;
    } catch (const std::string& message) {
      korvu::debug::info(DBG_CORE,
                         "Failed to initialize audio device \"%s\" (%s). Switching back to "
                         "default device.",
                         settings.audiodevice.c_str(), message.c_str());
    }
  }
  settings.audiodevice.clear();
  try {
    korvu::audio::init("", 44100);
    return;
  } catch (const std::string& message) {
    // A machine without a working sound device still plays, silently.
    korvu::debug::warning(DBG_CORE,
                          "%s; playing without sound. <sound enabled=\"0\"/> in \"%s\" starts the game without "
                          "trying.",
                          message.c_str(), korvu::fullPath(FILENAME_SETTINGS).c_str());
  }
  korvu::audio::cleanUp();
  korvu::audio::enabled = settings.sound = false;
  try {
    korvu::audio::init("", 44100);
  } catch (const std::string& message) {
    fail("Could not initialize korvu:audio: %s", message);
  }
}

// The frame's picture: the race's views, the GUI, the frame counter and the
// messages over them.
void drawFrame(unsigned elapsed);

}  // namespace

void init() {
  nameLogGroups();
  // A player who started the game from the desktop sees no terminal: what
  // start-up warns of is shown in the first menu too.
  korvu::debug::startCapture();
  terminate = false;
  game = nullptr;
  resources = nullptr;

  try {
    korvu::init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK, true);
  } catch (const std::string& message) {
    fail("%s", message);
  }
  korvu::onDisplayLost(saveBeforeEnd);
  try {
    settings.load(FILENAME_SETTINGS);
  } catch (const std::string& message) {
    korvu::debug::warning(DBG_CORE, "%s The default settings are used.", message.c_str());
  }
  openScreen();
  korvu::debug::debug(DBG_CORE, "Initialized screen.");
  try {
    korvu::ddd::init();
  } catch (const std::string& message) {
    fail("Could not initialize korvu:ddd: %s", message);
  }
  korvu::debug::debug(DBG_CORE, "Initialized 3D subsystem.");
  initAudio();
  korvu::debug::debug(DBG_CORE, "Initialized audio subsystem.");

  korvu::ddd::settings.lensflares = settings.lensflares;
  korvu::ddd::settings.transparency = settings.transparency;
  korvu::ddd::settings.shadows = settings.shadows;
  korvu::ddd::settings.projectiveTextures = settings.projectiveTextures;
  korvu::ddd::settings.skybox = settings.skybox;
  settings.setBufferedModels(settings.bufferedModels);
  settings.setCompileModels(settings.compileModels);
  korvu::setWindowCaption("Glimro");
  korvu::showCursor(false);

  try {
    resources = new Resources();
  } catch (const std::string& message) {
    fail("Could not load resources: %s", message);
  }
  settings.applyToResources();
  korvu::setClearColor(0.0f, 0.0f, 0.3f, 0.0f);
  korvu::debug::info(DBG_CORE, "Started.");
  game = nullptr;
  prepareMenus();
  korvu::setClearColor(0.0f, 0.0f, 0.3f, 0.0f);
  showNotice(korvu::debug::stopCapture());
}

void leaveRace() {
  std::vector<std::string> shown;
  shown.swap(raceStartWarnings);
  std::string told;
  const bool keptBefore = game->track && unsavedTimes.count(game->track->statsFile()) > 0;
  const Saved how = game->track ? saveRaceTimes(*game->track, told) : Saved::YES;
  // The race start told of an unreadable record file that this save was to
  // keep aside: it is done now.
  if (how == Saved::YES && game->track && !game->track->statsKeptAs.empty()) {
    shown.push_back("The best times of \"" + game->track->title + "\" are saved, and the unreadable file is kept as " +
                    korvu::quotedPath(game->track->statsKeptAs) + ".");
  }
  if (how != Saved::YES) {
    // The race start told of a record file that does not open or is no
    // regular file; a refusal of one it read has not been told.
    const bool toldAtStart = how == Saved::REFUSED && (game->track->statsState == UserFile::UNOPENED ||
                                                       game->track->statsState == UserFile::NOT_REGULAR);
    if (!toldAtStart) shown.push_back(told);
    const std::string retried =
        how == Saved::NO         ? ": the next race on this track and the end of the game try again to save them."
        : how == Saved::UNSYNCED ? ", and saved again by the next race on this track and the end of the game."
                                 : "; nothing is saved to that file while it stays so.";
    if (game->track->timesPlaced > 0) {
      shown.push_back("The times of this race are kept while the game runs" + retried);
    } else if (keptBefore) {
      shown.push_back("The times of earlier races are kept while the game runs" + retried);
    } else if (how != Saved::UNSYNCED && !toldAtStart) {
      shown.push_back("This race placed no time in the tables, so none is lost.");
    }
  }
  addUnlockedNotice(shown);
  if (!shown.empty()) showNotice(shown);
  delete game;
  game = nullptr;
  if (selectedPlayers != 0) takeInProfilesOnFile();
  setVisible("pMainMenu", selectedPlayers == 0);
  setVisible("pStartGameMenu1", selectedPlayers == 1);
  setVisible("pStartGameMenu2", selectedPlayers == 2);
  setVisible("pGameMenu", false);
  setVisible("pRaceOver", false);
  setBackdropLoaded(true);
  setVisible("pBack", true);
  resources->gui->visible = true;
  resources->gui->active = true;
  startTitleMusic();
  korvu::setClearColor(0.0f, 0.0f, 0.4f, 0.0f);
}

void mainLoop() {
  korvu::debug::debug(DBG_CORE, "Starting mainLoop.");
  editingProfile = nullptr;
  selectedPlayers = 0;
  startTitleMusic();
  korvu::getElapsedTicks();
  while (runFrame(korvu::getElapsedTicks())) continue;
}

bool runFrame(unsigned elapsed) {
  // The one frame length that the queue, the GUI, the messages, the menus,
  // the race and the audio all take: a longer frame was a pause.
  const float dt = std::min(static_cast<float>(elapsed), LONGEST_FRAME);
  notice.perform(dt);
  bool running = resources->controlQueue->readEvents();
  resources->controlQueue->perform(dt);
  resources->gui->perform(resources->controlQueue, dt);
  globalMessages.perform(dt);
  // Console commands that touch the window or the race run here, between
  // frames, never on the console thread.
  if (resources->console) resources->console->performPending();

  const bool stepped = game ? game->mainLoop(dt) : menuMainLoop(dt);
  // The console's quit ends the program from the menus as from a race.
  running = stepped && running && !terminate;

  // Once the X server has refused a request or gone, the renderer would ask
  // it for the window's size and draw into buffers of whatever came back.
  if (!korvu::displayLost()) drawFrame(elapsed);

  if (game && game->leave) leaveRace();

  if (korvu::audio::context) korvu::audio::context->perform(dt);
  resources->effectsEmitter->perform(dt);

  if (resources->console && !resources->console->running) {
    resources->console->performPending();
    delete resources->console;
    resources->console = nullptr;
    std::printf("Debugging console terminated.\n");
    std::fflush(stdout);
  }
  korvu::flipScreen();
  printProfiling = false;
  return running;
}

namespace {

void drawFrame(unsigned elapsed) {
  const float dt = static_cast<float>(elapsed);
  korvu::clearScreen();
  if (game) game->draw(dt);

  resources->renderContext2D.apply();
  korvu::currentViewport = &korvu::vpScreen;
  glViewport(static_cast<GLint>(korvu::vpScreen.x), static_cast<GLint>(korvu::vpScreen.y),
             static_cast<GLsizei>(korvu::vpScreen.width),
             static_cast<GLsizei>(korvu::vpScreen.height));
  resources->renderContext2D.apply();
  korvu::resetCursor();
  resources->gui->draw();

  if (settings.showFps && resources->font) {
    const int fps = korvu::calcFPS(static_cast<int>(elapsed));
    korvu::resetCursor();
    korvu::moveCursor(korvu::Vector2D(20.0f, 20.0f));
    resources->font->printf(korvu::JUSTIFY_LEFT, "FPS:%4d", fps);
    korvu::debug::info(DBG_FPS, "FPS: %d", fps);
    if (game) {
      korvu::resetCursor();
      korvu::moveCursor(korvu::Vector2D(20.0f, 40.0f));
      resources->font->printf(korvu::JUSTIFY_LEFT, "Meshes: %d", game->meshes);
      korvu::resetCursor();
      korvu::moveCursor(korvu::Vector2D(20.0f, 30.0f));
      resources->font->printf(korvu::JUSTIFY_LEFT, "Faces: %d", game->faces);
    }
  }
  korvu::resetCursor();
  globalMessages.draw();
  notice.draw();
}

}  // namespace

}  // namespace glimro
