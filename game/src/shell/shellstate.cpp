#include "shell/shell.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "audio/emitter.h"
#include "common/playerprofile.h"
#include "race/game.h"
#include "debug.h"
#include "filepath.h"
#include "korvu.h"
#include "track/track.h"
#include "gui/gui.h"
#include "gui/pane.h"
#include "sprite.h"
#include "gui/style.h"
#include "image.h"
#include "shell/moresettings.h"
#include "shell/notice.h"
#include "shell/resources.h"
#include "audio/source.h"

namespace glimro {

korvu::fonts::Messages globalMessages;
korvu::audio::OggStreamSource* music = nullptr;
int selectedPlayers = 0;
PlayerProfile* editingProfile = nullptr;
bool printProfiling = false;
std::map<std::string, TrackStats> unsavedTimes;
bool profilesUnsaved = false;
std::vector<std::string> raceStartWarnings;

namespace {

const char* const TITLE_MUSIC = "resources/sounds/title.ogg";
const unsigned MUSIC_BUFFERS = 2;
const unsigned MUSIC_BUFFER_SIZE = 262144;

}  // namespace

korvu::gui::Component* findComponent(const std::string& name) {
  korvu::gui::Component* found = resources && resources->gui ? (*resources->gui)[name] : nullptr;
  if (!found) korvu::debug::error(DBG_CORE, "The GUI has no component \"%s\".", name.c_str());
  return found;
}

void setVisible(const std::string& name, bool visible) {
  if (korvu::gui::Component* c = findComponent(name)) c->visible = visible;
}

bool isVisible(const std::string& name) {
  korvu::gui::Component* c = findComponent(name);
  return c && c->visible;
}

void postMessage(const std::string& text) {
  globalMessages += new korvu::fonts::Message(text, 3000.0f);
}

void showNotice(const std::vector<std::string>& messages) {
  notice.show(messages, resources ? resources->font : nullptr, korvu::vpScreen.width, korvu::vpScreen.height);
}

bool saveRaceTimes(Track& track, std::string& reason, bool* refused) {
  const std::string file = track.statsFile();
  auto kept = unsavedTimes.find(file);
  if (kept != unsavedTimes.end()) track.stats.merge(kept->second);
  bool leftAsItIs = false;
  if (track.saveStats(&reason, &leftAsItIs)) {
    if (kept != unsavedTimes.end()) unsavedTimes.erase(kept);
    return true;
  }
  // A file that is there and cannot be read stays so until its owner mends
  // it: no later save would take these times either. Tables that hold no
  // time of this game's races hold only what the file has.
  if (!leftAsItIs && (track.timesPlaced > 0 || kept != unsavedTimes.end())) unsavedTimes[file] = track.stats;
  if (refused) *refused = leftAsItIs;
  return false;
}

namespace {

void timesLost(const std::string& file, const std::string& reason) {
  korvu::debug::error(DBG_CORE, "The best times kept for \"%s\" are lost: %s.", korvu::fullPath(file).c_str(),
                      reason.c_str());
}

}  // namespace

void saveUnsaved() {
  // Each save merges with what the file holds by then.
  for (auto& kept : unsavedTimes) {
    try {
      kept.second.save(kept.first);
    } catch (const std::string& message) {
      timesLost(kept.first, message);
    }
  }
  unsavedTimes.clear();
  const auto retry = [](const std::string& file, const char* lost, const std::function<void()>& save) {
    try {
      save();
    } catch (const std::string& message) {
      korvu::debug::error(DBG_CORE, "Could not save \"%s\" at the end of the game: %s. %s",
                          korvu::fullPath(file).c_str(), message.c_str(), lost);
    }
  };
  if (profilesUnsaved && resources) {
    retry(FILENAME_PROFILES, "The profiles made or renamed in this game that it lacks are lost.",
          [] { resources->profileBank->save(FILENAME_PROFILES); });
  }
  if (moreSettings.unsaved()) {
    retry(FILENAME_MORESETTINGS, "The profiles chosen in this game are not preselected at the next start.",
          [] { moreSettings.save(FILENAME_MORESETTINGS); });
  }
}

void stopMusic() {
  resources->musicEmitter->clear();
  music = nullptr;
}

void startTitleMusic() {
  stopMusic();
  try {
    music = new korvu::audio::OggStreamSource(TITLE_MUSIC, MUSIC_BUFFERS, MUSIC_BUFFER_SIZE);
  } catch (const std::string& message) {
    // The menus work without their music.
    korvu::debug::warning(DBG_CORE, "No title music: %s", message.c_str());
    return;
  }
  // Kept by the pointer above: with audio off the stream stops at once, and
  // only stopMusic may delete it.
  music->kept = true;
  *resources->musicEmitter += music;
  music->loop = true;
  music->apply();
  music->play();
}

namespace {

// The pieces of a textured style, null ones included.
std::vector<korvu::Image*> piecesOf(const korvu::gui::TexturedRectStyle& style) {
  return {style.upperLeft, style.upper,     style.upperRight, style.left,      style.center,
          style.right,     style.lowerLeft, style.lower,      style.lowerRight};
}

}  // namespace

void setBackdropLoaded(bool loaded) {
  korvu::gui::GUI* gui = resources ? resources->gui : nullptr;
  auto* pane = gui ? dynamic_cast<korvu::gui::Pane*>((*gui)["pBack"]) : nullptr;
  auto* backdrop = pane ? dynamic_cast<korvu::gui::TexturedRectStyle*>(pane->style) : nullptr;
  if (!backdrop) return;
  std::vector<korvu::Image*> shared;
  if (gui->cursor) shared.push_back(gui->cursor->image);
  if (gui->styles) {
    for (const auto& entry : *gui->styles) {
      const auto* other = dynamic_cast<const korvu::gui::TexturedRectStyle*>(entry.second);
      if (!other || other == backdrop) continue;
      for (korvu::Image* piece : piecesOf(*other)) shared.push_back(piece);
    }
  }
  for (korvu::Image* piece : piecesOf(*backdrop)) {
    if (!piece || std::find(shared.begin(), shared.end(), piece) != shared.end()) continue;
    if (!loaded) {
      piece->release();
      continue;
    }
    try {
      piece->refresh();
    } catch (const std::string& message) {
      korvu::debug::error(DBG_CORE, "Could not load the backdrop again: %s", message.c_str());
    }
  }
}

void quit(int status) {
  // Laps and races already driven keep their times even when the window is
  // closed or the console quits in the middle of a race.
  saveBeforeEnd();
  if (!korvu::displayLost()) {
    delete game;
    game = nullptr;
    delete resources;
    resources = nullptr;
  }
  korvu::quit(status);
}

void saveBeforeEnd() {
  std::string reason;
  // The race's save is the end's one try at its record file: what it
  // could not save is lost, not tried again at once.
  if (game && game->track && !saveRaceTimes(*game->track, reason) && unsavedTimes.erase(game->track->statsFile()) > 0)
    timesLost(game->track->statsFile(), reason);
  saveUnsaved();
}

}  // namespace glimro
