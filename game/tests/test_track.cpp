// The track: section numbering, what goes into which quadtree, the record
// file; and the short track built from small stand-in models.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "ddd/bezier.h"
#include "ddd/collisionmodel.h"
#include "ddd/emitterobject.h"
#include "ddd/modelbank.h"
#include "ddd/modelobject.h"
#include "fonts/font.h"
#include "gui/gui.h"
#include "gui/label.h"
#include "image.h"
#include "race/raceresources.h"
#include "track/layouts.h"
#include "standins.h"
#include "filesystemshim.h"
#include "testsupport.h"
#include "vectorchecks.h"

using glimro::ShortTrack;
using glimro::TimeEntry;
using glimro::Track;
using glimro::TrackSection;
using korvu::Matrix3D;
using korvu::Vector2D;
using korvu::Vector3D;
using korvu::ddd::CollideableModelObject;
using korvu::ddd::CollisionModel;
using korvu::ddd::Model;
using korvu::ddd::ModelBank;
using korvu::ddd::ModelObject;
using korvu::ddd::Object;
using korvu_test::expectMatrixNear;
using korvu_test::expectVec;
using korvu_test::makeBox;
using korvu_test::makeModel;

namespace {

// A track with no layout of its own, for the base's bookkeeping.
class BareTrack : public Track {
 public:
  void load() override {}
};

std::list<Object*> collideablesNear(const Track& track, Vector2D at, float radius) {
  std::list<Object*> out;
  track.collisionTree.getObjects(at + Vector2D(radius, radius), at - Vector2D(radius, radius), &out);
  return out;
}

bool contains(const std::list<Object*>& list, const Object* o) {
  for (const Object* x : list)
    if (x == o) return true;
  return false;
}

// Runs a test body inside a temporary working directory.
class InTempDir {
 public:
  InTempDir() {
    char* cwd = getcwd(nullptr, 0);
    old = cwd;
    free(cwd);
    dir = korvu_test::makeTempDir();
    EXPECT_EQ(chdir(dir.c_str()), 0);
  }
  ~InTempDir() { EXPECT_EQ(chdir(old.c_str()), 0); }
  std::string dir;

 private:
  std::string old;
};

}  // namespace

TEST(TrackModel, SectionsAreNumberedAndObjectsFiledByKind) {
  std::unique_ptr<Model> road = standins::makeRoad(standins::PLAIN);
  CollisionModel collision(*road, false);
  BareTrack track;
  track.init(Vector2D(3000, 3000));

  ModelObject* scenery = new ModelObject(road.get());
  scenery->position = Vector3D(100, 0, 100);
  track += scenery;
  CollideableModelObject* portal = new CollideableModelObject(&collision, road.get(), 2);
  portal->position = Vector3D(-200, 0, 50);
  track.addNormalObject(portal);
  CollideableModelObject* rock = new CollideableModelObject(&collision, road.get(), 2);
  rock->position = Vector3D(300, 0, -300);
  track += rock;

  TrackSection* s[4];
  for (int i = 0; i < 4; ++i) {
    s[i] = new TrackSection(&collision, road.get());
    s[i]->position = Vector3D(-1400.0f + 1000 * i, 0, 0);  // the last one, at x = 1600, lies outside
    track += s[i];
    EXPECT_EQ(s[i]->index, i);
  }
  EXPECT_EQ(track.sections.size(), 4u);
  EXPECT_EQ(track.objects.size(), 6u);  // scenery, rock and sections; not the portal
  EXPECT_EQ(portal->parent, &track);
  EXPECT_TRUE(contains(std::list<Object*>(track.children.begin(), track.children.end()), portal));
  EXPECT_EQ(s[0]->parent, &track);

  EXPECT_FALSE(contains(collideablesNear(track, {100, 100}, 1), scenery));
  EXPECT_TRUE(contains(collideablesNear(track, {-200, 50}, 1), portal));
  EXPECT_TRUE(contains(collideablesNear(track, {300, -300}, 1), rock));
  EXPECT_TRUE(contains(collideablesNear(track, {600, 0}, 1), s[2]));
  std::list<Object*> everything;
  track.collisionTree.getObjects(Vector2D(5000, 5000), Vector2D(-5000, -5000), &everything);
  EXPECT_EQ(everything.size(), 5u);  // portal, rock, three sections: x = 1600 is beyond the 1500 edge
  EXPECT_FALSE(contains(everything, s[3]));
  std::list<Object*> drawn;
  track.quadtree.getObjects(Vector2D(5000, 5000), Vector2D(-5000, -5000), &drawn);
  EXPECT_EQ(drawn.size(), 5u);  // scenery, rock, three sections

  // Removing a section renumbers nothing; the track still deletes it.
  track -= s[1];
  EXPECT_EQ(track.sections.size(), 3u);
  EXPECT_EQ(s[2]->index, 2);
  EXPECT_EQ(s[3]->index, 3);
  delete s[1];
}

TEST(TrackModel, RecordFileIsReadKeptAsideWhenBrokenAndSavedSafely) {
  InTempDir here;
  BareTrack track;
  track.name = "track_03";

  // No file yet: the tables stay empty, and the save creates it.
  track.loadStats();
  EXPECT_EQ(track.stats.laptimes.entries[0].ticks, 0);
  track.stats.laptimes.add(TimeEntry(61000, "Anna"));
  track.saveStats();
  BareTrack again;
  again.name = "track_03";
  again.loadStats();
  EXPECT_EQ(again.stats.laptimes.entries[0].name, "Anna");

  // A file that does not read stays until the next save, which keeps it
  // aside rather than overwriting it.
  const std::string broken = "<trackstats><laptimes><entry name=\"Bo\" ticks=\"5\"></laptimes>";
  korvu_test::writeFile("track_03_stats.xml", broken);
  BareTrack third;
  third.name = "track_03";
  third.loadStats();
  EXPECT_EQ(third.stats.laptimes.entries[0].ticks, 0);
  EXPECT_EQ(korvu_test::readFile("track_03_stats.xml"), broken);
  third.saveStats();
  EXPECT_NE(korvu_test::readFile("track_03_stats.xml").find("<trackstats>"), std::string::npos);
  EXPECT_EQ(korvu_test::readFile("track_03_stats.xml.broken"), broken);
  // A second broken file is kept beside the first.
  korvu_test::writeFile("track_03_stats.xml", "second");
  third.loadStats();
  third.saveStats();
  EXPECT_EQ(korvu_test::readFile("track_03_stats.xml.broken"), broken);
  EXPECT_EQ(korvu_test::readFile("track_03_stats.xml.broken.1"), "second");

  // A save that cannot be written throws and leaves the old file.
  korvu_test::FileSystemShim shim;
  shim.predictableNames = true;
  ASSERT_EQ(mkdir(korvu_test::temporaryOf("track_03_stats.xml").c_str(), 0755), 0);
  const std::string before = korvu_test::readFile("track_03_stats.xml");
  third.stats.tracktimes.add(TimeEntry(5, "x"));
  EXPECT_THROW(third.saveStats(), std::string);
  EXPECT_EQ(korvu_test::readFile("track_03_stats.xml"), before);
}

// A record file the player may not open (mode 000) holds records nobody has
// seen: it stays as it is, the save refuses to replace it, and the log line
// that the notice shows says so once, naming the track as the menus do.
TEST(TrackModel, RecordFileThatDoesNotOpenStaysAndIsNotWritten) {
  InTempDir here;
  ASSERT_EQ(chmod(here.dir.c_str(), 0777), 0);
  korvu_test::writeFile("track_03_stats.xml", "<trackstats/>");
  ASSERT_EQ(chmod("track_03_stats.xml", 0), 0);
  const korvu_test::ChildResult child = korvu_test::runUnprivileged([] {
    BareTrack track;
    track.name = "track_03";
    track.title = "Track three";
    track.loadStats();
    track.stats.laptimes.add(TimeEntry(50000, "Bo"));
    try {
      track.saveStats();
    } catch (const glimro::UserFile::Refused& refusal) {
      std::printf("refused: %s\n", refusal.c_str());
    }
  });
  ASSERT_EQ(child.exitStatus, 0) << child.out << child.err;
  EXPECT_NE(child.out.find("(warning) Could not read the best times of \"Track three\" from \"" + here.dir +
                           "/track_03_stats.xml\": Permission denied. It is left as it is, and nothing is saved "
                           "to it while it stays so."),
            std::string::npos)
      << child.out;
  EXPECT_NE(child.out.find("refused: Permission denied\n"), std::string::npos) << child.out;
  struct stat info;
  EXPECT_TRUE(stat("track_03_stats.xml", &info) == 0 && (info.st_mode & 07777) == 0);
  EXPECT_EQ(korvu_test::readFile("track_03_stats.xml"), "<trackstats/>");
  EXPECT_NE(stat("track_03_stats.xml.broken", &info), 0);
}

TEST(ShortTrack, BuildsFortySectionsAlongItsCurves) {
  ModelBank bank;
  standins::fill(bank);
  const size_t standIns = bank.size();
  std::unique_ptr<ShortTrack> track(new ShortTrack());
  track->modelBank = &bank;
  track->load();

  ASSERT_EQ(track->sections.size(), 40u);
  const Vector3D starts[4] = {{400, 0, -600}, {0, 0, 200}, {0, 0, -500}, {550, 0, -1400}};
  int i = 0;
  for (TrackSection* s : track->sections) {
    EXPECT_EQ(s->index, i);
    EXPECT_TRUE(s->needsViewPos);
    if (i % 10 == 0) expectVec(s->position, starts[i / 10].x, starts[i / 10].y, starts[i / 10].z, 1e-3f);
    ++i;
  }
  EXPECT_EQ(bank.size(), standIns + 80);
  const std::string blanks(7, ' ');
  ASSERT_NE(bank.find("tracksection4" + blanks + "9"), bank.end());
  ASSERT_NE(bank.find("tracksection4Col" + blanks + "9"), bank.end());
  EXPECT_NE(dynamic_cast<CollisionModel*>(bank["tracksection4Col" + blanks + "9"]), nullptr);
  EXPECT_EQ(bank.find("tracksection1" + std::string(7, ' ') + "a"), bank.end());  // ten pieces: 0 to 9

  // Each bent piece, placed and turned as its section, runs along the curve
  // from its t0 to its t1: the far end of the centre line lands on the
  // curve point where the next piece starts.
  korvu::ddd::BezierCurve curve1({400, 0, -600}, {0, 0, -200}, {600, 0, 0}, {0, 0, 200}, 20);
  auto it = track->sections.begin();
  for (int p = 0; p < 10; ++p, ++it) {
    TrackSection* s = *it;
    const Vector3D farEnd = standins::farCentre(*s->ModelObject::model);  // centre of the last row
    const Vector3D world = s->rotation * farEnd + s->position;
    const Vector3D expected = curve1.getVertexAt((p + 1) / 10.0f);
    EXPECT_LT((world - expected).length(), 0.01f) << "piece " << p;
    expectMatrixNear(s->rotation * s->inverseRotation, Matrix3D(), 1e-4f);
  }

  // The portal stands at the road's start facing along it, out of the culled
  // scene but in the collision tree, with the lights and the emitter on it.
  ASSERT_EQ(track->children.size(), 1u);
  Object* portal = track->children.front();
  expectVec(portal->position, 400, 0, -600);
  Vector3D forward = portal->rotation * Vector3D(0, 0, -1);
  Vector3D tangent = curve1.getTangentAt(0);
  tangent.normalize();
  expectVec(forward, tangent.x, tangent.y, tangent.z, 1e-3f);
  EXPECT_TRUE(contains(collideablesNear(*track, {400, -600}, 1), portal));
  ASSERT_EQ(portal->children.size(), 3u);
  auto child = portal->children.begin();
  expectVec((*child)->position, -38, 68, 1);
  expectVec((*++child)->position, 38, 68, 1);
  EXPECT_EQ(*++child, track->startLightEmitter);
  expectVec(track->startLightEmitter->position, 0, 20, 1);
  EXPECT_TRUE(track->startLightEmitter->active);

  // Tribunes: culled scenery, not collideable; the first unturned, the
  // others turned with opposite angles.
  EXPECT_EQ(track->objects.size(), 44u);
  auto obj = track->objects.begin();
  expectMatrixNear((*obj)->rotation, Matrix3D(), 0);
  expectVec((*obj)->position, -80, 20, 20);
  for (float degrees : {90.0f, 180.0f, 270.0f}) {
    ++obj;
    Matrix3D r, inv;
    r.setRotate(degrees, Vector3D(0, 1, 0));
    inv.setRotate(-degrees, Vector3D(0, 1, 0));
    expectMatrixNear((*obj)->rotation, r, 0);
    expectMatrixNear((*obj)->inverseRotation, inv, 0);
    EXPECT_FALSE(contains(collideablesNear(*track, {(*obj)->position.x, (*obj)->position.z}, 1), *obj));
  }

  // A second build replaces the bent copies instead of adding more.
  track.reset(new ShortTrack());
  track->modelBank = &bank;
  track->load();
  EXPECT_EQ(bank.size(), standIns + 80);
}

TEST(ShortTrack, AMissingModelStopsTheBuildWithItsName) {
  ModelBank bank;
  standins::fill(bank);
  delete bank["tribune"];
  const size_t before = bank.size();
  ShortTrack track;
  track.modelBank = &bank;
  try {
    track.load();
    ADD_FAILURE() << "no throw";
  } catch (const std::string& message) {
    EXPECT_NE(message.find("\"tribune\""), std::string::npos) << message;
  }
  EXPECT_EQ(bank.size(), before);
  EXPECT_TRUE(track.sections.empty());

  // The portal's collision model must be one.
  Model* plain = makeBox({0, 0, 0}, {1, 1, 1}).release();
  standins::put(bank, plain, "startPortalCollision");
  standins::put(bank, makeBox({0, 0, 0}, {1, 1, 1}).release(), "tribune");
  ShortTrack other;
  other.modelBank = &bank;
  EXPECT_THROW(other.load(), std::string);
}

TEST(TrackModel, RaceOverLabelsShowTheFiveBestOfEachTable) {
  korvu::ImageBank images;
  korvu::gui::FontBank fonts;
  korvu::Triggers triggers;
  // The game's own GUI description, so that the label names are the ones it holds.
  korvu::gui::GUI gui(korvu_test::sourceDir() + "/resources/gui.xml", &images, &fonts, &triggers);
  BareTrack track;
  for (int i = 0; i < 3; ++i) track.stats.tracktimes.add(TimeEntry(190000 + 1234 * i, "racer" + std::to_string(i)));
  for (int i = 0; i < 7; ++i) track.stats.laptimes.add(TimeEntry(61234 + i, "lapper" + std::to_string(i)));
  track.writeRecordsToGui("lTR_", &gui);

  auto caption = [&](const std::string& name) {
    korvu::gui::Label* label = dynamic_cast<korvu::gui::Label*>(gui[name]);
    return label ? label->caption : "(no label " + name + ")";
  };
  EXPECT_EQ(caption("lTR_total_0_Nr"), "1.");
  EXPECT_EQ(caption("lTR_total_0_Name"), "racer0");
  EXPECT_EQ(caption("lTR_total_0_Time"), "03:10.000");
  EXPECT_EQ(caption("lTR_total_2_Time"), "03:12.468");
  for (const char* empty : {"lTR_total_3", "lTR_total_4"}) {
    EXPECT_EQ(caption(std::string(empty) + "_Name"), "");
    EXPECT_EQ(caption(std::string(empty) + "_Time"), "00:00.000");
  }
  EXPECT_EQ(caption("lTR_total_4_Nr"), "5.");
  EXPECT_EQ(caption("lTR_lap_4_Name"), "lapper4");
  EXPECT_EQ(caption("lTR_lap_4_Time"), "01:01.238");

  // A GUI without the labels, or none at all, is reported and passed over.
  korvu::gui::GUI bare;
  EXPECT_NO_THROW(track.writeRecordsToGui("lTR_", &bare));
  EXPECT_NO_THROW(track.writeRecordsToGui("lTR_", nullptr));
}
