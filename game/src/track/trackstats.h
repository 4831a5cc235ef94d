// Best-time tables: the ten best lap times and the ten best whole-race times
// of a track, each with the profile name of the player who drove it, and the
// track's statistics file ("<track>_stats.xml") that keeps them between runs.
#pragma once

#include <string>

#include "common/userfile.h"

namespace korvu {
namespace xml { class Node; }
}  // namespace korvu

namespace glimro {

extern const std::string XML_TRACKSTATS_TRACKSTATS;  // "trackstats"
extern const std::string XML_TRACKSTATS_LAPTIMES;    // "laptimes"
extern const std::string XML_TRACKSTATS_TOTALTIMES;  // "tracktimes"
extern const std::string XML_TIMETABLE_TIMES;        // "times"
extern const std::string XML_TIMETABLE_ENTRY;        // "entry"
extern const std::string XML_TIMETABLE_NAME;         // "name"
extern const std::string XML_TIMETABLE_TICKS;        // "ticks"

// Slots of a best-time table.
constexpr int TIMETABLE_SIZE = 10;

class TimeEntry {
 public:
  // The time in milliseconds; 0 marks an empty slot.
  long ticks;
  // Profile name of the player who drove it.
  std::string name;

  TimeEntry();
  TimeEntry(long ticks, const std::string& name);

  // An empty entry is before nothing; a filled one is before an empty one;
  // filled ones go by ticks, fewer first (equal times are not before each
  // other).
  bool operator<(const TimeEntry& other) const;

  // Takes "ticks" (any integer base) and "name"; an absent attribute keeps
  // the current value. A time that is negative or beyond 32 bits cannot be
  // a driven time and makes the entry empty.
  void getFromNode(const korvu::xml::Node* element);
  // A new "entry" element; the caller owns it.
  korvu::xml::Node* buildDomTree() const;
};

class TimeTable {
 public:
  // Best first; the filled slots come before the empty ones.
  TimeEntry entries[TIMETABLE_SIZE];

  // Stores the entry at the first slot it is before, moving the later ones
  // down (the last falls away). Returns that slot, or -1 when the entry is
  // before none (an empty entry, or one no better than a full table's last).
  int add(const TimeEntry& entry);
  // Adds the other table's entries that this one lacks. An entry (same name
  // and ticks) that both hold counts once; one held n times in one table
  // and m times in the other is held max(n, m) times, as far as the ten
  // best go. Equal times keep this table's entries first.
  void merge(const TimeTable& other);
  // The slots to the log at level info.
  void dump() const;

  // Adds every "entry" child through add; the table is not emptied first,
  // so any number of entries in any order leaves the ten best, sorted.
  void getFromNode(const korvu::xml::Node* element);
  // A new "times" element with all ten slots, empty ones included.
  korvu::xml::Node* buildDomTree() const;
};

class TrackStats {
 public:
  TimeTable laptimes;    // best single laps
  TimeTable tracktimes;  // best whole races

  // Merges the "laptimes" and "tracktimes" children of a "trackstats"
  // element into the tables.
  void getFromNode(const korvu::xml::Node* root);
  // A new "trackstats" element with both tables; the caller owns it.
  korvu::xml::Node* buildDomTree() const;
  // Merges both tables of the other (TimeTable::merge).
  void merge(const TrackStats& other);

  // Merges the tables of another copy of the same file (a "trackstats"
  // tree, or null for none) into these, each time once.
  void mergeFrom(const korvu::xml::Node* root);

  // The record file as a player file (common/userfile.h); `title` is the
  // track as the menus name it, empty for none.
  static UserFile userFile(const std::string& file, const std::string& title = std::string());
  // Merges the file's tables into these. Throws the player file's message
  // when it cannot be read or has another root; the tables are then
  // unchanged.
  void load(const std::string& file);
  // Through UserFile::save (under the file's lock, where the file system
  // has locks): merges the tables the file holds now (another
  // copy of the game may have saved since this one read it) into these and
  // writes the result, replacing the file atomically; the tables then hold
  // what was written. Gives where it kept an unreadable file it replaced
  // (UserFile::keptAs). Throws as UserFile::save: the file is then as it
  // was, but after korvu::NotSynced, when it holds the save, not yet synced.
  std::string save(const std::string& file);
};

}  // namespace glimro
