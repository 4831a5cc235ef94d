#include "shell/shell.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "audio/emitter.h"
#include "common/playerprofile.h"
#include "race/game.h"
#include "debug.h"
#include "filepath.h"
#include "korvu.h"
#include "replacefile.h"
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

Saved trySave(const std::string& what, const std::string& file, const std::function<void()>& save,
              std::string& told, const std::string& lost) {
  Saved how = Saved::NO;
  std::string reason;
  try {
    save();
    return Saved::YES;
  } catch (const korvu::NotSynced& message) {
    how = Saved::UNSYNCED;
    told = message + ".";
  } catch (const UserFile::Refused& message) {
    how = Saved::REFUSED;
    reason = message;
  } catch (const std::string& message) {
    reason = message;
  }
  if (how != Saved::UNSYNCED) told = "Could not save " + what + " to " + korvu::quotedPath(file) + ": " + reason + ".";
  const std::string logged = how == Saved::UNSYNCED || lost.empty() ? told : told + " " + lost;
  korvu::debug::error(DBG_CORE, "%s", logged.c_str());
  return how;
}

Saved saveRaceTimes(Track& track, std::string& told, const std::string& lost) {
  const std::string file = track.statsFile();
  auto kept = unsavedTimes.find(file);
  // Tables that hold no time of this game's races hold only what the file
  // has: nothing of them is kept, or lost.
  const bool ownTimes = track.timesPlaced > 0 || kept != unsavedTimes.end();
  if (kept != unsavedTimes.end()) track.stats.merge(kept->second);
  const Saved how = trySave("the best times of \"" + track.title + "\"", file, [&track] { track.saveStats(); }, told,
                            ownTimes ? lost : "");
  if (how == Saved::YES && kept != unsavedTimes.end()) unsavedTimes.erase(kept);
  if (how != Saved::YES && ownTimes) unsavedTimes[file] = track.stats;
  return how;
}

namespace {

const char* const TIMES_LOST = "The times driven in this game that it lacks are lost.";

}  // namespace

void saveUnsaved() {
  std::string told;
  // Each save merges with what the file holds by then.
  for (auto& kept : unsavedTimes)
    trySave("the best times", kept.first, [&kept] { kept.second.save(kept.first); }, told, TIMES_LOST);
  unsavedTimes.clear();
  if (profilesUnsaved && resources) {
    trySave("the profiles", FILENAME_PROFILES, [] { resources->profileBank->save(FILENAME_PROFILES); }, told,
            "The profiles made or renamed in this game that it lacks are lost.");
  }
  if (moreSettings.unsaved()) {
    trySave("the last choices", FILENAME_MORESETTINGS, [] { moreSettings.save(FILENAME_MORESETTINGS); }, told,
            "The profiles chosen in this game are not preselected at the next start.");
  }
}

void addUnlockedNotice(std::vector<std::string>& notice) {
  if (!UserFile::unlockedNotice.empty()) notice.push_back(std::exchange(UserFile::unlockedNotice, std::string()));
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
  // The race's save is the end's one try at its record file: what it
  // could not write is lost, not tried again at once.
  if (game && game->track) {
    std::string told;
    saveRaceTimes(*game->track, told, TIMES_LOST);
    unsavedTimes.erase(game->track->statsFile());
  }
  saveUnsaved();
}

}  // namespace glimro
