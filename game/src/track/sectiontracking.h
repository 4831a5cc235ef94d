// Where on its track a vehicle is: the rule that moves a vehicle's current
// and previous section when the downward probe finds a section under it,
// counts a crossing of the start line and spots a vehicle driven the wrong
// way. The rule works on places along the driven route. On a track whose
// sections are numbered one after another round the lap the place is the
// section's index; a track whose numbering runs in chains that the road
// joins out of order lists its junctions, and the route follows them.
#pragma once

#include <vector>

namespace glimro {

// Section `to` follows section `from` on the road, although its index is
// not from + 1.
struct Junction {
  int from;
  int to;
};

// The driven order of a track's sections.
class SectionRoute {
 public:
  // Sections 0 .. count-1 in index order.
  explicit SectionRoute(int count = 0);
  // From section 0, each section followed by the next index, or by the
  // junction's `to` where a junction leaves it, until the route comes back
  // to 0 or meets a section it has placed already. Sections it never
  // reaches are off the route.
  SectionRoute(int count, const std::vector<Junction>& junctions);

  // The section's place along the route, or -1 when the section is off the
  // route (or no section at all).
  int place(int index) const;
  // The section at a place (taken modulo the length).
  int section(int place) const;
  // Sections on the route: the lap rule's section count.
  int length() const { return static_cast<int>(order_.size()); }

 private:
  std::vector<int> place_;
  std::vector<int> order_;
};

enum class SectionChange {
  NONE,             // the sections stay (a section too far ahead, just behind, or off the route)
  STAYED,           // the hit section is the current one; previous joins it
  ADVANCED,         // the hit section became current
  LAP,              // the start line was crossed: count the lap, then advance
  WRONG_DIRECTION,  // farther behind than the seam behind: warn, the sections stay
};

// One application of the rule for the section that the probe hit. current
// and previous are section indices; on ADVANCED and LAP they become hit and
// the old current.
SectionChange trackSection(const SectionRoute& route, int hit, int& current, int& previous);

}  // namespace glimro
