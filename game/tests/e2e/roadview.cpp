#include "roadview.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace glimro_e2e {

namespace {

// Rows looked at, as fractions of the height from the top: between the
// far road and the vehicle's nose.
const float LOOK_FROM = 0.34f;
const float LOOK_TO = 0.52f;
const int LOOK_ROWS = 8;
// Off-road pixels in a row that end a stretch of road (lane marks and
// kerb stripes are short).
const int GAP = 6;
// Offsets within this band steer neither way; beyond it the steering key
// is held for a share of each period that grows with the offset.
const float DEAD_BAND = 0.03f;
const float GAIN = 2.5f;
const double PERIOD = 0.12;
// The vehicle turns at most 100 degrees a second, too little for the tight
// bends at full speed: beyond this offset the throttle is held for only a
// share of each period (never none: a vehicle at rest does not turn).
const float BEND = 0.12f;
const double BEND_THROTTLE = 0.35;
// Out of sight this long, the vehicle is put back on the road.
const double LOST_SECONDS = 1.5;
// A view whose pixels have changed by less than this on average in this
// many seconds stands still (the clocks' digits change far less).
const double STILL = 1.0;
const double STUCK_SECONDS = 4.0;

}  // namespace

bool isHudText(const uint8_t* p) { return p[0] > 240 && p[1] > 240 && int(p[0]) - int(p[2]) > 25; }

const PlayerKeys PLAYER1_KEYS = {"Up", "Down", "Left", "Right", "BackSpace"};
const PlayerKeys PLAYER2_KEYS = {"w", "s", "a", "d", "Tab"};

bool hasHudText(const Frame& frame, int left, int top, int width, int height, int lines) {
  // Rows of text: runs of rows with ink, each a glyph's height, with some
  // ink along a stretch of the row. Lone pixels (a glint on the vehicle)
  // and a filled block do not count.
  int rows = 0, run = 0, ink = 0, first = frame.width, last = -1;
  const auto endRun = [&]() {
    const bool line = run >= 4 && run <= 30 && ink >= 20 && last - first >= 30 && ink * 2 < run * (last - first + 1);
    rows += line ? 1 : 0;
    run = ink = 0;
    first = frame.width;
    last = -1;
  };
  for (int y = top; y < top + height && y < frame.height; ++y) {
    int n = 0;
    for (int x = left; x < left + width && x < frame.width; ++x) {
      if (!isHudText(frame.at(x, y))) continue;
      ++n;
      first = std::min(first, x);
      last = std::max(last, x);
    }
    if (n > 0) {
      ++run;
      ink += n;
    } else if (run > 0) {
      endRun();
    }
  }
  if (run > 0) endRun();
  return rows >= lines;
}

bool raceMessageShown(const Frame& frame, const ViewColumns& view, int width) {
  // A line of text centred in the view, as wide as its text, one glyph high
  // and drawn in thin strokes: a lit start lamp is a solid disc, and the
  // crowd of a stand fills more rows and need not be centred.
  int count = 0, first = frame.width, last = -1, widest = 0, top = -1, bottom = -1;
  for (int y = 126; y < 152 && y < frame.height; ++y) {
    for (int x = view.x + 50, run = 0; x < view.x + view.width - 50 && x < frame.width; ++x) {
      if (!isHudText(frame.at(x, y))) {
        run = 0;
        continue;
      }
      ++count;
      first = std::min(first, x);
      last = std::max(last, x);
      widest = std::max(widest, ++run);
      if (top < 0) top = y;
      bottom = y;
    }
  }
  // A glyph's ink lies within its advance, a pixel or two short of it.
  if (count <= 100 || std::abs(last + 1 - first - width) > 3 || widest > 12 || bottom - top > 14) return false;
  if (std::abs((first + last) / 2 - (view.x + view.width / 2)) > 30) return false;
  // The start banner's golden letters stand on a near-black board; the
  // race's messages are drawn over the scene, with a dark outline no more
  // than two pixels from their ink.
  const auto inkNear = [&](int x, int y) {
    for (int j = std::max(126, y - 2); j <= std::min(151, y + 2); ++j)
      for (int i = x - 2; i <= x + 2; ++i)
        if (isHudText(frame.at(i, j))) return true;
    return false;
  };
  int board = 0;
  for (int y = 126; y < 152 && y < frame.height; ++y) {
    for (int x = first; x <= last; ++x) {
      const uint8_t* p = frame.at(x, y);
      board += p[0] < 40 && p[1] < 40 && p[2] < 40 && !inkNear(x, y);
    }
  }
  return board < count;
}

namespace {

// Asphalt is a middle grey with a touch of blue (more in the vehicle's
// shadow); the concrete of the stands has none.
bool isAsphalt(const uint8_t* p) {
  const int blue = int(p[2]) - int(p[0]);
  return p[0] > 40 && p[0] < 150 && std::abs(int(p[0]) - int(p[1])) < 12 && blue >= 2 && blue <= 20;
}

}  // namespace

bool isRoad(const uint8_t* p) {
  const bool kerbRed = p[0] > 150 && p[1] < 100 && p[2] < 100;
  const bool white = p[0] > 200 && p[1] > 200 && p[2] > 190;
  return isAsphalt(p) || kerbRed || white;
}

RoadSight lookAhead(const Frame& frame, const ViewColumns& view) {
  RoadSight sight;
  if (frame.empty() || view.width <= 0) return sight;
  const int middle = view.x + view.width / 2;
  float sum = 0.0f, weights = 0.0f;
  int rows = 0;
  bool underTheNose = false;
  for (int k = 0; k < LOOK_ROWS; ++k) {
    const float f = LOOK_FROM + (LOOK_TO - LOOK_FROM) * static_cast<float>(k) / (LOOK_ROWS - 1);
    const int y = static_cast<int>(f * static_cast<float>(frame.height));
    // The road pixel nearest the middle, then the stretch around it.
    int seed = -1;
    for (int d = 0; d < view.width / 2 && seed < 0; ++d) {
      if (middle - d >= view.x && isRoad(frame.at(middle - d, y))) {
        seed = middle - d;
      } else if (middle + d < view.x + view.width && isRoad(frame.at(middle + d, y))) {
        seed = middle + d;
      }
    }
    if (seed < 0) continue;
    int left = seed, right = seed;
    for (int x = seed, gap = 0; x >= view.x && gap < GAP; --x) {
      gap = isRoad(frame.at(x, y)) ? 0 : gap + 1;
      if (gap == 0) left = x;
    }
    for (int x = seed, gap = 0; x < view.x + view.width && gap < GAP; ++x) {
      gap = isRoad(frame.at(x, y)) ? 0 : gap + 1;
      if (gap == 0) right = x;
    }
    // The sun's glare is not blue either: a stretch of road is mostly asphalt.
    int asphalt = 0;
    for (int x = left; x <= right; ++x) asphalt += isAsphalt(frame.at(x, y)) ? 1 : 0;
    if (right - left < view.width / 40 || asphalt * 3 < right - left) continue;
    // The far rows tell of a bend first: they weigh most.
    const float weight = static_cast<float>(LOOK_ROWS - k);
    sum += weight * 0.5f * static_cast<float>(left + right);
    weights += weight;
    ++rows;
    underTheNose = k == LOOK_ROWS - 1;
  }
  // A vehicle off the road sees the grey of the towns and rocks on the
  // coast below; on the road there is road right before its nose.
  if (rows < LOOK_ROWS / 2 || !underTheNose) return sight;
  sight.seen = true;
  sight.offset = (sum / weights - static_cast<float>(middle)) / (0.5f * view.width);
  return sight;
}

Steering::~Steering() {
  hold(0);
  if (accelerating) session.keyUp(keys.accelerate);
}

void Steering::start() {
  session.keyDown(keys.accelerate);
  accelerating = true;
  lastSeen = started = lastLook = lastMoved = Clock::now();
}

void Steering::watch(const Frame& frame, const ViewColumns& view) {
  if (secondsSince(lastLook) < 1.0) return;
  lastLook = Clock::now();
  if (frameDifference(frame, still, view.x, view.width) > STILL) {
    still = frame;
    lastMoved = lastLook;
  } else if (secondsSince(lastMoved) > STUCK_SECONDS) {
    session.key(keys.reset);
    lastMoved = lastLook;
  }
}

void Steering::hold(int direction) {
  if (direction == held) return;
  if (held < 0) session.keyUp(keys.left);
  if (held > 0) session.keyUp(keys.right);
  if (direction < 0) session.keyDown(keys.left);
  if (direction > 0) session.keyDown(keys.right);
  held = direction;
}

void Steering::throttle(bool on) {
  if (on == accelerating) return;
  if (on) session.keyDown(keys.accelerate);
  else session.keyUp(keys.accelerate);
  accelerating = on;
}

void Steering::follow(const RoadSight& sight) {
  if (!sight.seen) {
    hold(0);
    throttle(true);
    if (secondsSince(lastSeen) > LOST_SECONDS) {
      session.key(keys.reset);
      lastSeen = Clock::now();
    }
    return;
  }
  lastSeen = Clock::now();
  const float size = std::abs(sight.offset);
  const double share = size < DEAD_BAND ? 0.0 : std::min(1.0, static_cast<double>(GAIN * size));
  const double phase = std::fmod(secondsSince(started), PERIOD) / PERIOD;
  hold(phase < share ? (sight.offset < 0.0f ? -1 : 1) : 0);
  throttle(size < BEND || phase < BEND_THROTTLE);
}

}  // namespace glimro_e2e
