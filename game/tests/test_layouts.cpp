// The alternate and the third track built from stand-in models: the pieces
// meet end to end along the driven route and close the lap, tunnels and
// the second road open and close in pairs, each collision piece matches its
// road, a few places the layouts fix; and the choice of layout by number.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "track/layouts.h"
#include "track/sectiontracking.h"
#include "standins.h"
#include "vectorchecks.h"

using glimro::AlternateTrack;
using glimro::Track;
using glimro::Track03;
using glimro::TrackSection;
using korvu::Vector3D;
using korvu_test::expectVec;

namespace {

std::vector<TrackSection*> build(Track& track, korvu::ddd::ModelBank& bank) {
  track.modelBank = &bank;
  track.load();
  return std::vector<TrackSection*>(track.sections.begin(), track.sections.end());
}

int kind(const TrackSection* s) { return standins::kindOf(*s->ModelObject::model); }

// Where the far end of a piece's centre line lies in the world.
Vector3D farEnd(const TrackSection* s) { return s->rotation * standins::farCentre(*s->ModelObject::model) + s->position; }

// Along the route every piece ends where the next begins (within what the
// tunnel curves' slightly longer pieces overlap), but where the road leaves
// a piece over a ramp; the last piece ends at the first. Each piece's
// collision model is bent from the same kind as its road, and the second
// road alone goes without the view position.
void expectConnected(Track& track, const std::vector<TrackSection*>& s, const std::set<int>& ramps) {
  const glimro::SectionRoute& route = track.route();
  for (int p = 0; p < route.length(); ++p) {
    const int i = route.section(p), next = route.section(p + 1);
    if (ramps.count(i)) {
      EXPECT_GT((farEnd(s[i]) - s[next]->position).length(), 50.0f) << "ramp " << i;
    } else {
      EXPECT_LT((farEnd(s[i]) - s[next]->position).length(), 0.5f) << i << " to " << next;
    }
  }
  EXPECT_EQ(route.section(route.length()), 0);
  for (const TrackSection* t : s) {
    EXPECT_EQ(t->Collideable::model->vertices.size(), t->ModelObject::model->vertices.size()) << t->index;
    const int k = kind(t);
    const bool second = k == standins::SECOND || k == standins::TO_SECOND || k == standins::TO_PLAIN;
    EXPECT_EQ(t->needsViewPos, !second) << t->index;
  }
}

// In driving order every run of pieces of a kind opens with its entry and
// closes with its exit: tunnels, and the second road. The pairs found.
int pairsOf(const std::vector<TrackSection*>& s, int entry, int inside, int exit) {
  int pairs = 0;
  bool open = false;
  for (const TrackSection* t : s) {
    const int k = kind(t);
    if (k == entry) {
      EXPECT_FALSE(open) << "entry inside at " << t->index;
      open = true;
    } else if (k == exit) {
      EXPECT_TRUE(open) << "exit outside at " << t->index;
      pairs += open;
      open = false;
    } else {
      EXPECT_EQ(k == inside, open) << t->index;
    }
  }
  EXPECT_FALSE(open);
  return pairs;
}

}  // namespace

TEST(TrackLayouts, AlternateTrackIsOneClosedRoadWithThreeTunnelsAndASecondRoad) {
  korvu::ddd::ModelBank bank;
  standins::fill(bank);
  const size_t standIns = bank.size();
  AlternateTrack track;
  std::vector<TrackSection*> s = build(track, bank);
  ASSERT_EQ(s.size(), 179u);
  EXPECT_EQ(bank.size(), standIns + 2 * 179);
  EXPECT_EQ(track.objects.size(), 179u);  // no scenery
  expectConnected(track, s, {});
  using namespace standins;
  EXPECT_EQ(pairsOf(s, TUNNEL_START, TUNNEL, TUNNEL_END), 3);
  EXPECT_EQ(pairsOf(s, TO_SECOND, SECOND, TO_PLAIN), 1);
  // A few places: the start, curve 4's first piece, the second road's entry.
  expectVec(s[0]->position, 0, 0, 0);
  expectVec(s[12]->position, 1600, 150, 400, 1e-3f);
  EXPECT_EQ(s[12]->ModelObject::model->name, "tracksection4" + std::string(7, ' ') + "0");
  EXPECT_EQ(kind(s[98]), TO_SECOND);
  expectVec(s[98]->position, 600, 200, -600, 1e-3f);
  // The portal stands at the origin, facing along +x.
  ASSERT_EQ(track.children.size(), 1u);
  const korvu::ddd::Object* portal = track.children.front();
  expectVec(portal->position, 0, 0, 0);
  expectVec(portal->rotation * Vector3D(0, 0, -1), 1, 0, 0, 1e-4f);
  EXPECT_EQ(portal->children.size(), 3u);
}

TEST(TrackLayouts, ThirdTrackJoinsItsChainsOverRampsWithATunnelSecondRoadAndScenery) {
  korvu::ddd::ModelBank bank;
  standins::fill(bank);
  const size_t standIns = bank.size();
  Track03 track;
  std::vector<TrackSection*> s = build(track, bank);
  ASSERT_EQ(s.size(), 142u);
  EXPECT_EQ(bank.size(), standIns + 284);
  expectConnected(track, s, {3, 58, 79});
  // Off the route, s1-2 runs on into s1-3.
  expectVec(farEnd(s[9]), 600, -400, 100, 0.02f);
  expectVec(s[59]->position, 600, -400, 100, 1e-3f);
  using namespace standins;
  EXPECT_EQ(pairsOf(s, TUNNEL_START, TUNNEL, TUNNEL_END), 1);
  EXPECT_EQ(pairsOf(s, TO_SECOND, SECOND, TO_PLAIN), 1);
  const std::string blanks(7, ' ');
  EXPECT_EQ(s[54]->ModelObject::model->name, "s2tracksection10" + blanks + "3");
  EXPECT_EQ(s[54]->Collideable::model->name, "s2tracksection10Col" + blanks + "3");
  // The sign first, then four tribunes, children of the track.
  ASSERT_EQ(track.objects.size(), 147u);
  const korvu::ddd::Object* sign = *track.objects.begin();
  expectVec(sign->position, -100, 70, 700);
  expectVec(sign->rotation * Vector3D(0, 0, 1), -1, 0, 0, 1e-5f);
  EXPECT_EQ(sign->parent, &track);
}

TEST(TrackLayouts, TrackNumberChoosesTheLayoutAndItsName) {
  struct Case { int number; const char* name; };
  for (const Case& c : {Case{0, "track_short"}, Case{1, "track_alternate"}, Case{2, "track_03"},
                        Case{3, "track_short"}, Case{-1, "track_short"}, Case{1 << 30, "track_short"}}) {
    std::unique_ptr<Track> track(glimro::createTrack(c.number));
    EXPECT_EQ(track->name, c.name) << c.number;
    EXPECT_EQ(track->statsFile(), std::string(c.name) + "_stats.xml");
    EXPECT_EQ(dynamic_cast<AlternateTrack*>(track.get()) != nullptr, c.number == 1);
    EXPECT_EQ(dynamic_cast<Track03*>(track.get()) != nullptr, c.number == 2);
  }
}
