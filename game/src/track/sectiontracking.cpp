#include "track/sectiontracking.h"

#include <cstddef>
#include <cstdint>

namespace glimro {

SectionRoute::SectionRoute(int count) : SectionRoute(count, {}) {}

SectionRoute::SectionRoute(int count, const std::vector<Junction>& junctions) {
  if (count <= 0) return;
  place_.assign(static_cast<size_t>(count), -1);
  int s = 0;
  while (s >= 0 && s < count && place_[static_cast<size_t>(s)] < 0) {
    place_[static_cast<size_t>(s)] = static_cast<int>(order_.size());
    order_.push_back(s);
    int next = s + 1;
    for (const Junction& j : junctions) {
      if (j.from == s) next = j.to;
    }
    s = next == count ? 0 : next;
  }
}

int SectionRoute::place(int index) const {
  if (index < 0 || index >= static_cast<int>(place_.size())) return -1;
  return place_[static_cast<size_t>(index)];
}

int SectionRoute::section(int p) const {
  const int n = length();
  if (n == 0) return -1;
  p %= n;
  if (p < 0) p += n;
  return order_[static_cast<size_t>(p)];
}

SectionChange trackSection(const SectionRoute& route, int hit, int& current, int& previous) {
  if (hit == current) {
    previous = hit;
    return SectionChange::STAYED;
  }
  const int s = route.place(hit);
  const int cur = route.place(current);
  const int prev = route.place(previous);
  if (s < 0 || cur < 0 || prev < 0) return SectionChange::NONE;
  const int d = s - cur;
  if (d >= 0) {
    if (d > 4) return SectionChange::NONE;
    previous = current;
    current = hit;
    return SectionChange::ADVANCED;
  }
  // Behind the current section: just past the line counted from the
  // previous section (a crossing), or a section driven back to. Over the
  // seam behind it (where a reset puts the vehicle, and where it wobbles
  // over the seam it has just crossed) the vehicle may be found on the
  // section just behind or on the previous one: no warning for those.
  const uint32_t w = static_cast<uint32_t>(s + route.length() - prev - 1);
  if (w <= 4) {
    previous = current;
    current = hit;
    return SectionChange::LAP;
  }
  return hit == previous || d == -1 ? SectionChange::NONE : SectionChange::WRONG_DIRECTION;
}

}  // namespace glimro
