#include "track/track.h"

#include <cstdio>
#include <memory>

#include "common/loggroups.h"
#include "ddd/collisionmodel.h"
#include "ddd/emitterobject.h"
#include "ddd/model.h"
#include "ddd/modelbank.h"
#include "debug.h"
#include "gui/captioned.h"
#include "gui/component.h"
#include "gui/gui.h"
#include "mathtypes.h"
#include "track/timetext.h"
#include "xml.h"

namespace glimro {

TrackSection::TrackSection(korvu::ddd::CollisionModel* collisionModel, korvu::ddd::Model* model)
    : korvu::ddd::CollideableModelObject(collisionModel, model, 2), index(0) {}

Track::Track() : startLightEmitter(nullptr), statsState(UserFile::MISSING), modelBank(nullptr) {}

Track::~Track() = default;

void Track::init(korvu::Vector2D size) {
  korvu::debug::info(DBG_CORE, "Setting track dimensions: %.3f/%.3f.", size.x, size.y);
  quadtree.width = size.x;
  quadtree.height = size.y;
  collisionTree.width = size.x;
  collisionTree.height = size.y;
  startLightEmitter = nullptr;
}

namespace {

korvu::Vector2D groundPosition(const korvu::ddd::Object* object) {
  return korvu::Vector2D(object->position.x, object->position.z);
}

}  // namespace

void Track::operator+=(korvu::ddd::Object* object) {
  if (!object) return;
  QuadtreeObject::operator+=(object);
  if (dynamic_cast<korvu::ddd::Collideable*>(object)) collisionTree.put(object, groundPosition(object));
}

void Track::operator-=(korvu::ddd::Object* object) { QuadtreeObject::operator-=(object); }

void Track::addNormalObject(korvu::ddd::Object* object) {
  if (!object) return;
  Object::operator+=(object);
  if (dynamic_cast<korvu::ddd::Collideable*>(object)) collisionTree.put(object, groundPosition(object));
}

void Track::operator+=(TrackSection* section) {
  if (!section) return;
  section->index = static_cast<int>(sections.size());
  sections.push_back(section);
  QuadtreeObject::operator+=(section);
  collisionTree.put(section, groundPosition(section));
}

void Track::operator-=(TrackSection* section) {
  QuadtreeObject::operator-=(section);
  sections.remove(section);
}

std::string Track::statsFile() const { return name + "_stats.xml"; }

void Track::saveStats() {
  statsKeptAs = stats.save(statsFile());
  stats.laptimes.dump();
}

void Track::loadStats() {
  UserFile records = TrackStats::userFile(statsFile(), title);
  std::unique_ptr<korvu::xml::Node> root = records.load();
  statsState = records.state;
  if (root) stats.getFromNode(root.get());
  stats.laptimes.dump();
}

void Track::mergeStatsOnFile() {
  std::unique_ptr<korvu::xml::Node> root = TrackStats::userFile(statsFile()).read();
  if (root) stats.mergeFrom(root.get());
}

korvu::ddd::ModelBank& Track::models() {
  if (!modelBank) throw std::string("The track has no model bank to build from");
  return *modelBank;
}

void Track::writeRecordsToGui(std::string prefix, korvu::gui::Component* root) {
  if (!root) {
    korvu::debug::error(DBG_GAME, "No GUI to show the records of track \"%s\" in.", name.c_str());
    return;
  }
  auto setCaption = [&](const std::string& label, const std::string& text) {
    korvu::gui::CaptionedObject* captioned = dynamic_cast<korvu::gui::CaptionedObject*>((*root)[label]);
    if (captioned) {
      captioned->caption = text;
    } else {
      korvu::debug::error(DBG_GAME, "The GUI has no label \"%s\" for the records.", label.c_str());
    }
  };
  const struct {
    const char* word;
    const TimeTable& table;
  } tables[] = {{"total_", stats.tracktimes}, {"lap_", stats.laptimes}};
  // The panel shows the five best of each table.
  const int shown = 5;
  static_assert(shown <= TIMETABLE_SIZE, "the panel shows no more than a table holds");
  for (int i = 0; i < shown; ++i) {
    for (const auto& t : tables) {
      const std::string label = prefix + t.word + korvu::toStr(i);
      const TimeEntry& entry = t.table.entries[i];
      setCaption(label + "_Nr", korvu::toStr(i + 1) + ".");
      setCaption(label + "_Name", entry.name);
      setCaption(label + "_Time", ticksToStr(static_cast<float>(entry.ticks)));
    }
  }
}

const SectionRoute& Track::route() {
  if (routeSections_ != sections.size()) {
    route_ = SectionRoute(static_cast<int>(sections.size()), junctions);
    routeSections_ = sections.size();
  }
  return route_;
}

}  // namespace glimro
