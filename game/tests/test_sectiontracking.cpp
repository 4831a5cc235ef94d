// The section-tracking rule: advancing, crossing the start line, the wrong
// direction warning, and routes whose section numbers run in chains.
#include <gtest/gtest.h>

#include "track/sectiontracking.h"

using glimro::Junction;
using glimro::SectionChange;
using glimro::SectionRoute;
using glimro::trackSection;

namespace {

struct Case {
  int current, previous, hit;
  SectionChange change;
  int currentAfter, previousAfter;
};

void check(const SectionRoute& route, const Case& c) {
  int current = c.current, previous = c.previous;
  EXPECT_EQ(trackSection(route, c.hit, current, previous), c.change)
      << "cur " << c.current << " prev " << c.previous << " hit " << c.hit;
  EXPECT_EQ(current, c.currentAfter) << "hit " << c.hit;
  EXPECT_EQ(previous, c.previousAfter) << "hit " << c.hit;
}

}  // namespace

TEST(SectionTracking, RuleOnATrackNumberedRoundTheLap) {
  const SectionRoute route(40);
  const SectionChange NONE = SectionChange::NONE, STAYED = SectionChange::STAYED,
                      ADVANCED = SectionChange::ADVANCED, LAP = SectionChange::LAP,
                      WRONG = SectionChange::WRONG_DIRECTION;
  for (const Case& c : {
           // On the grid both sit on the last section: the first section counts a lap.
           Case{39, 39, 0, LAP, 0, 39},
           // Changed section in this very step, then over the line.
           Case{39, 38, 0, LAP, 0, 39},
           // Four sections at once: the wrap is measured from the previous section.
           Case{37, 33, 0, WRONG, 37, 33},
           Case{39, 39, 4, LAP, 4, 39},
           Case{39, 39, 5, WRONG, 39, 39},
           Case{39, 35, 1, WRONG, 39, 35},
           Case{10, 10, 14, ADVANCED, 14, 10},
           Case{10, 10, 15, NONE, 10, 10},
           // Just behind is the seam behind; one more is the wrong way.
           Case{10, 10, 9, NONE, 10, 10},
           Case{10, 10, 8, WRONG, 10, 10},
           Case{10, 9, 10, STAYED, 10, 10},
           // Back over the line is too far ahead to count at all.
           Case{0, 39, 39, NONE, 0, 39},
           // Sections that do not exist never move the vehicle.
           Case{10, 10, -1, NONE, 10, 10},
           Case{10, 10, 40, NONE, 10, 10},
       }) {
    check(route, c);
  }
}

TEST(SectionTracking, ThePreviousSectionBehindIsNoWrongDirection) {
  // Back over the seam just crossed, or put back there by a reset: quiet,
  // and the sections stay; one section further back warns.
  const SectionRoute route(40);
  int current = 10, previous = 10;
  EXPECT_EQ(trackSection(route, 11, current, previous), SectionChange::ADVANCED);
  EXPECT_EQ(trackSection(route, 10, current, previous), SectionChange::NONE);
  EXPECT_EQ(current, 11);
  EXPECT_EQ(previous, 10);
  EXPECT_EQ(trackSection(route, 9, current, previous), SectionChange::WRONG_DIRECTION);
  current = previous = 10;
  EXPECT_EQ(trackSection(route, 10, current, previous), SectionChange::STAYED);
  EXPECT_EQ(trackSection(route, 11, current, previous), SectionChange::ADVANCED);
  EXPECT_EQ(current, 11);
  EXPECT_EQ(previous, 10);
}

TEST(SectionTracking, RouteFollowsJunctionsAndLeavesUnreachedChainsOff) {
  // The third track's numbering and junctions: 0-3, over the ramp to the
  // chain 10-58, down onto 62 and on to 141; 4-9 and 59-61 are off the
  // route.
  const SectionRoute route(142, {{3, 10}, {58, 62}});
  EXPECT_EQ(route.length(), 133);
  EXPECT_EQ(route.place(3), 3);
  EXPECT_EQ(route.place(10), 4);
  EXPECT_EQ(route.place(58), 52);
  EXPECT_EQ(route.place(62), 53);
  EXPECT_EQ(route.place(141), 132);
  for (int off : {4, 9, 59, 61}) EXPECT_EQ(route.place(off), -1) << off;
  EXPECT_EQ(route.section(4), 10);
  EXPECT_EQ(route.section(133), 0);
  EXPECT_EQ(route.section(-1), 141);

  // Driving the whole route section by section counts one lap per round and
  // never warns.
  int current = 141, previous = 141, laps = 0;
  for (int round = 0; round < 3; ++round) {
    for (int p = 0; p < route.length(); ++p) {
      const int s = route.section(p);
      const SectionChange c = trackSection(route, s, current, previous);
      ASSERT_TRUE(c == SectionChange::ADVANCED || c == SectionChange::LAP) << "section " << s;
      if (c == SectionChange::LAP) ++laps;
      ASSERT_EQ(trackSection(route, s, current, previous), SectionChange::STAYED);
    }
  }
  EXPECT_EQ(laps, 3);

  // Across a junction the same four-section window holds both ways.
  for (const Case& c : {Case{3, 3, 10, SectionChange::ADVANCED, 10, 3},
                        Case{1, 1, 11, SectionChange::ADVANCED, 11, 1},
                        Case{1, 1, 12, SectionChange::NONE, 1, 1},
                        Case{57, 57, 63, SectionChange::ADVANCED, 63, 57},
                        Case{10, 10, 3, SectionChange::NONE, 10, 10},
                        Case{10, 10, 2, SectionChange::WRONG_DIRECTION, 10, 10},
                        // Off the route: landing on the loop or the roll
                        // moves nothing.
                        Case{3, 3, 5, SectionChange::NONE, 3, 3},
                        Case{58, 58, 60, SectionChange::NONE, 58, 58},
                        Case{141, 141, 0, SectionChange::LAP, 0, 141}}) {
    check(route, c);
  }
}

TEST(SectionTracking, RouteWithoutJunctionsIsTheIndexOrderAndBadJunctionsEndIt) {
  const SectionRoute plain(179, {});
  EXPECT_EQ(plain.length(), 179);
  for (int i = 0; i < 179; ++i) ASSERT_EQ(plain.place(i), i);
  // A junction back into the route closes it early; one out of range ends it.
  EXPECT_EQ(SectionRoute(10, {{5, 2}}).length(), 6);
  EXPECT_EQ(SectionRoute(10, {{5, 12}}).length(), 6);
  EXPECT_EQ(SectionRoute(0).length(), 0);
  EXPECT_EQ(SectionRoute(0).section(3), -1);
}
