#include "track/trackstats.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "common/loggroups.h"
#include "debug.h"
#include "xml.h"

namespace glimro {

const std::string XML_TRACKSTATS_TRACKSTATS = "trackstats";
const std::string XML_TRACKSTATS_LAPTIMES = "laptimes";
const std::string XML_TRACKSTATS_TOTALTIMES = "tracktimes";
const std::string XML_TIMETABLE_TIMES = "times";
const std::string XML_TIMETABLE_ENTRY = "entry";
const std::string XML_TIMETABLE_NAME = "name";
const std::string XML_TIMETABLE_TICKS = "ticks";

TimeEntry::TimeEntry() : ticks(0) {}

TimeEntry::TimeEntry(long ticks_, const std::string& name_) : ticks(ticks_), name(name_) {}

bool TimeEntry::operator<(const TimeEntry& other) const {
  if (ticks == 0) return false;
  if (other.ticks == 0) return true;
  return ticks < other.ticks;
}

void TimeEntry::getFromNode(const korvu::xml::Node* element) {
  if (!element) return;
  ticks = element->getAttributeLong(XML_TIMETABLE_TICKS, ticks);
  if (ticks < 0 || ticks > INT32_MAX) ticks = 0;
  name = element->getAttribute(XML_TIMETABLE_NAME, name);
}

korvu::xml::Node* TimeEntry::buildDomTree() const {
  korvu::xml::Node* element = new korvu::xml::Node();
  element->name = XML_TIMETABLE_ENTRY;
  (*element)[XML_TIMETABLE_TICKS] = std::to_string(ticks);
  (*element)[XML_TIMETABLE_NAME] = name;
  return element;
}

int TimeTable::add(const TimeEntry& entry) {
  korvu::debug::debug(DBG_CORE, "Adding entry \"%s\" [%ld].", entry.name.c_str(), entry.ticks);
  for (int place = 0; place < TIMETABLE_SIZE; ++place) {
    if (!(entry < entries[place])) continue;
    korvu::debug::debug(DBG_CORE, "Placing entry at #%d.", place);
    for (int i = TIMETABLE_SIZE - 1; i > place; --i) entries[i] = entries[i - 1];
    entries[place] = entry;
    return place;
  }
  return -1;
}

void TimeTable::merge(const TimeTable& other) {
  for (int i = 0; i < TIMETABLE_SIZE; ++i) {
    const TimeEntry& entry = other.entries[i];
    if (entry.ticks == 0) continue;
    // The how-manieth copy of the entry this is in the other table, against
    // the copies this one holds.
    auto same = [&entry](const TimeEntry& e) { return e.ticks == entry.ticks && e.name == entry.name; };
    const long wanted = std::count_if(other.entries, other.entries + i + 1, same);
    if (std::count_if(entries, entries + TIMETABLE_SIZE, same) >= wanted) continue;
    add(entry);
  }
}

void TimeTable::dump() const {
  for (int i = 0; i < TIMETABLE_SIZE; ++i) {
    korvu::debug::info(DBG_CORE, "%d. %s - %ld", i, entries[i].name.c_str(), entries[i].ticks);
  }
}

void TimeTable::getFromNode(const korvu::xml::Node* element) {
  if (!element) return;
  for (const korvu::xml::Node* child : element->children) {
    if (child->name != XML_TIMETABLE_ENTRY) continue;
    TimeEntry entry;
    entry.getFromNode(child);
    add(entry);
  }
}

korvu::xml::Node* TimeTable::buildDomTree() const {
  korvu::xml::Node* element = new korvu::xml::Node();
  element->name = XML_TIMETABLE_TIMES;
  for (const TimeEntry& entry : entries) *element += entry.buildDomTree();
  return element;
}

void TrackStats::getFromNode(const korvu::xml::Node* root) {
  if (!root) return;
  for (const korvu::xml::Node* child : root->children) {
    if (child->name == XML_TRACKSTATS_LAPTIMES) {
      laptimes.getFromNode(child);
    } else if (child->name == XML_TRACKSTATS_TOTALTIMES) {
      tracktimes.getFromNode(child);
    }
  }
}

korvu::xml::Node* TrackStats::buildDomTree() const {
  korvu::xml::Node* root = new korvu::xml::Node();
  root->name = XML_TRACKSTATS_TRACKSTATS;
  korvu::xml::Node* laps = laptimes.buildDomTree();
  laps->name = XML_TRACKSTATS_LAPTIMES;
  *root += laps;
  korvu::xml::Node* races = tracktimes.buildDomTree();
  races->name = XML_TRACKSTATS_TOTALTIMES;
  *root += races;
  return root;
}

void TrackStats::merge(const TrackStats& other) {
  laptimes.merge(other.laptimes);
  tracktimes.merge(other.tracktimes);
}

void TrackStats::mergeFrom(const korvu::xml::Node* root) {
  TrackStats other;
  other.getFromNode(root);
  merge(other);
}

UserFile TrackStats::userFile(const std::string& file, const std::string& title) {
  return UserFile(file, XML_TRACKSTATS_TRACKSTATS,
                  title.empty() ? std::string("the best times") : "the best times of \"" + title + "\"", DBG_GAME);
}

void TrackStats::load(const std::string& file) {
  UserFile records = userFile(file);
  std::unique_ptr<korvu::xml::Node> root = records.read();
  if (!root) throw records.problem;
  getFromNode(root.get());
}

std::string TrackStats::save(const std::string& file) {
  UserFile records = userFile(file);
  records.save([this](const korvu::xml::Node* onDisk) {
    mergeFrom(onDisk);
    return buildDomTree();
  });
  return records.keptAs;
}

}  // namespace glimro
