// The race's track: a scene node that holds the road sections, the start
// portal and the scenery, files them in two quadtrees over the ground plane
// (x, z) -- one for culled drawing, one for the vehicles' collision queries
// -- numbers the drivable sections in driving order for the lap rule, and
// keeps the track's best-time tables in "<name>_stats.xml". The track owns
// every object added to it; the sections list and the collision tree only
// refer to them. Each layout builds its track in load().
#pragma once

#include <list>
#include <string>

#include "ddd/collideable.h"
#include "ddd/quadtree.h"
#include "mathtypes.h"
#include "track/sectiontracking.h"
#include "track/trackstats.h"

namespace korvu {
namespace ddd {
class CollisionModel;
class EmitterObject;
class Model;
class ModelBank;
}  // namespace ddd
namespace gui { class Component; }
}  // namespace korvu

namespace glimro {

// A drivable piece of road: a model with its collision model, both owned by
// the model bank.
class TrackSection : public korvu::ddd::CollideableModelObject {
 public:
  // The section's place in its track's sections, from 0 in driving order.
  int index;

  TrackSection(korvu::ddd::CollisionModel* collisionModel, korvu::ddd::Model* model);
};

class Track : public korvu::ddd::QuadtreeObject {
 public:
  // "track_short", "track_alternate" or "track_03"; names the record file.
  std::string name;
  // The track as the menus name it ("Short track"), in what the player is
  // told of its record file.
  std::string title;
  // The drivable sections in driving order; entry i has index i.
  std::list<TrackSection*> sections;
  // The start lights' sound emitter, a child of the start portal; not
  // owned, null until a layout builds it.
  korvu::ddd::EmitterObject* startLightEmitter;
  // Every section and every collideable object added, by its (x, z) when it
  // was added; owns nothing.
  korvu::Quadtree<korvu::ddd::Object*> collisionTree;
  // The best lap and best race times.
  TrackStats stats;
  // What the race-start read of the record file found (loadStats).
  UserFile::State statsState;
  // Where the last saveStats kept the unreadable record file it replaced;
  // empty when it kept none.
  std::string statsKeptAs;
  // How many times driven on this track took a place in its tables.
  int timesPlaced = 0;
  // Where load() takes its models from and files the bent road copies in;
  // not owned; the race hands it its model bank.
  korvu::ddd::ModelBank* modelBank;
  // Where the road joins sections whose numbers do not follow one another
  // (a layout numbered in chains); empty when the numbers run round the lap.
  std::vector<Junction> junctions;

  Track();
  ~Track() override;

  // Gives both quadtrees their extent: x from -size.x/2 to size.x/2 and z
  // from -size.y/2 to size.y/2. Comes before the first object is added.
  void init(korvu::Vector2D size);

  // Scenery: culled with the draw quadtree; a collideable object is also
  // filed in the collision tree. The track takes the object over.
  void operator+=(korvu::ddd::Object* object);
  // Takes the object out of the list only; its quadtree entries stay.
  void operator-=(korvu::ddd::Object* object);
  // A plain child, drawn in every frame and never culled (the start
  // portal); filed in the collision tree when it is collideable.
  void addNormalObject(korvu::ddd::Object* object);
  // The next drivable section: numbered, culled and filed in the collision
  // tree.
  void operator+=(TrackSection* section);
  // Drops the section from the lists; the others keep their numbers.
  void operator-=(TrackSection* section);

  // Builds the layout. Throws a message naming a model the model bank
  // lacks.
  virtual void load() = 0;

  // "<name>_stats.xml" in the working directory.
  std::string statsFile() const;
  // Merges the record file as it is now into the tables and writes them
  // back (TrackStats::save), so that another copy of the game racing on
  // the same folder loses no time. Throws as UserFile::save.
  void saveStats();
  // Merges the record file into the tables (UserFile::load): a missing file
  // is the normal first race; one that cannot be read is told in the log,
  // where the notice takes it from, naming the track by its title; one
  // that does not open is left where it is (saveStats then refuses to
  // replace it), a broken one is kept aside by the next save.
  void loadStats();
  // Merges what the record file holds now into the tables, writing
  // nothing: another copy of the game may have saved times since the race
  // was built, and the race's own times are to be placed among them. Each
  // save puts a whole file in place (UserFile::save), so no lock is needed
  // to read it.
  // A file that cannot be read adds nothing.
  void mergeStatsOnFile();
  // Fills the race-over labels prefix + "total_" / "lap_" + i + "_Nr",
  // "_Name", "_Time" for the five best of each table, searched in the GUI
  // below root. A missing label, or no root, is logged and skipped.
  void writeRecordsToGui(std::string prefix, korvu::gui::Component* root);

  // The driven order of the sections, from the sections and the junctions;
  // built again when the number of sections has changed.
  const SectionRoute& route();

 protected:
  // The bank load() uses: modelBank; throws when there is none.
  korvu::ddd::ModelBank& models();

 private:
  SectionRoute route_;
  // The number of sections route_ was built for.
  size_t routeSections_ = 0;
};

}  // namespace glimro
