// The game's shell: start-up, the per-frame main loop through the menus or
// the race, the hand-over from a finished race back to the menus, shutdown,
// and the globals through which the shell and the race share state.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/loggroups.h"
#include "debug.h"
#include "fonts/message.h"
#include "gui/component.h"
#include "track/trackstats.h"

namespace korvu { namespace audio { class OggStreamSource; } }

namespace glimro {

class PlayerProfile;
class Track;

// Toggle confirmations, the console notice and the screenshot result.
extern korvu::fonts::Messages globalMessages;
// The title music stream, null when none; owned by the resource set's music
// emitter, which deletes it only through stopMusic.
extern korvu::audio::OggStreamSource* music;
// 0 the main menu, 1 single player, 2 two players.
extern int selectedPlayers;
// The profile open in the profile editor; null for a new one.
extern PlayerProfile* editingProfile;
// Raised by the profiling command for the rest of the frame.
extern bool printProfiling;
// The best times of races whose save failed, by record file, kept until
// the game ends: added to the next save of the file, that of the next race
// on the track or the one at the end of the game.
extern std::map<std::string, TrackStats> unsavedTimes;
// A profile save failed, and none has succeeded since: the bank holds what
// the file lacks, for the next profile save or the end of the game.
extern bool profilesUnsaved;
// What the log warned of while the race was built, for the notice when the
// race is left.
extern std::vector<std::string> raceStartWarnings;

// Start-up in its fixed order; a failure that the game cannot go on from
// is logged and ends the process with a failure status.
void init();
// Runs frames until the window is closed, an exit reaches the global
// commands or terminate is set, whichever screen is shown.
void mainLoop();
// One frame of it, `elapsed` milliseconds after the last: events, the menus'
// or the race's step, drawing, the end of a finished race, audio, the
// console. Everything but the frame counter takes at most LONGEST_FRAME of
// it (race/game.h). False when the program is to end.
bool runFrame(unsigned elapsed);
// Saves the race's best times, deletes the race and the resource set and
// ends the process with the given status; never returns. On a failed display
// (korvu::displayLost) the race and the resource set are left to the end of
// the process: deleting them would make OpenGL calls.
[[noreturn]] void quit(int status = 0);
// Saves the race's best times and what earlier saves could not
// (saveUnsaved): what glimro::quit does first, and what the engine calls
// before the process ends on a lost X server or a window destroyed from
// outside (korvu::onDisplayLost).
void saveBeforeEnd();

// Saves the race's best times (a failed save is shown on screen, naming the
// file by its full path and the reason, and the times are kept in
// unsavedTimes), deletes the race and brings the menus and the title music
// back; the notice shows the race's start-up warnings too.
void leaveRace();
// How a save ended.
enum class Saved {
  YES,
  NO,        // nothing written; what it held is kept and saved again later
  REFUSED,   // nothing written: the file is there and cannot be read, or
             // is a link (UserFile::Refused), and stays so until mended
  UNSYNCED,  // written, but a power cut may undo it (korvu::NotSynced):
             // what it held is kept and saved again later
};
// Runs save, which saves `what` ("the profiles") to file, and gives how it
// ended. Otherwise than YES, `told` is the sentence that tells the player:
// "Could not save <what> to "<full path>": <reason>.", or that the file
// holds the save, which a power cut may undo. It is logged, followed by
// `lost` where nothing was written.
Saved trySave(const std::string& what, const std::string& file, const std::function<void()>& save,
              std::string& told, const std::string& lost = "");
// Saves the track's best times together with the unsaved times of earlier
// races on it, through trySave. Unless saved, the tables are kept in
// unsavedTimes when they hold times driven in this game (this race's or
// kept from earlier ones), also where the record file is refused: once its
// owner has mended it, a later save takes them.
Saved saveRaceTimes(Track& track, std::string& told, const std::string& lost = "");
// At the end of the game: saves every kept table into its record file,
// merged with what the file holds now, and the profiles and the last
// choices where their last save failed, through trySave: what still
// cannot be written is logged as lost, by its file's full path and the
// reason; what is written but not synced, as that.
void saveUnsaved();
// Adds to a notice, once a game, that saves go without locks
// (UserFile::unlockedNotice), when one has.
void addUnlockedNotice(std::vector<std::string>& notice);
// Ends whatever music plays (the music emitter's sources are deleted).
void stopMusic();
// Starts the title music on the resource set's music emitter in place of
// what played; a title music that cannot be read is logged and left out.
void startTitleMusic();
// The menus' backdrop is hidden while a race runs; its pictures (those of
// the backdrop panel's style that no other style uses) give their textures
// up then (false) and load them again before the menus come back (true).
void setBackdropLoaded(bool loaded);

// A component of the resource set's GUI by name, of the given kind; logs the
// name and gives null when the description has none (or one of another kind).
korvu::gui::Component* findComponent(const std::string& name);
template <typename T>
T* findComponent(const std::string& name) {
  korvu::gui::Component* found = findComponent(name);
  T* typed = dynamic_cast<T*>(found);
  if (found && !typed)
    korvu::debug::error(DBG_CORE, "GUI component \"%s\" is of the wrong kind.", name.c_str());
  return typed;
}
// Shows or hides a component when the GUI has it.
void setVisible(const std::string& name, bool visible);
bool isVisible(const std::string& name);

// Posts a global message of 3000 ms, replacing the one shown.
void postMessage(const std::string& text);
// Shows the messages in the notice (shell/notice.h), in place of what it
// showed.
void showNotice(const std::vector<std::string>& messages);

}  // namespace glimro
