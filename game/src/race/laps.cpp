// Laps and times: the bookkeeping of a crossing of the start line, the
// race order of the vehicles and each player's heads-up display.
#include <GL/gl.h>

#include <string>

#include "fonts/bitmapfont.h"
#include "fonts/font.h"
#include "fonts/message.h"
#include "race/game.h"
#include "race/glimro.h"
#include "common/playerprofile.h"
#include "race/raceresources.h"
#include "rendercontext.h"
#include "race/settings.h"
#include "track/timetext.h"
#include "track/track.h"

namespace glimro {

namespace {

const float LAP_MESSAGE_TIME = 5000.0f;
const float BLINK_ON = 300.0f;
const float BLINK_OFF = 200.0f;
const float FINISH_MESSAGE_TIME = 100000.0f;
// The display's lines start this many pixels from the view's left edge.
const int HUD_MARGIN = 10;

}  // namespace

bool findGlimroLeader(const Glimro* a, const Glimro* b) {
  if (a->lap != b->lap) return a->lap > b->lap;
  const int sa = a->currentSection != nullptr ? a->currentSection->index : -1;
  const int sb = b->currentSection != nullptr ? b->currentSection->index : -1;
  return sa > sb;
}

void Glimro::nextLap() {
  // A finished vehicle that drifts over the line again has nothing left to
  // count (and must not end the race a second time).
  if (finished) return;
  const std::string name = profile != nullptr ? profile->name : std::string();
  Track* track = game != nullptr ? game->track : nullptr;
  // This crossing ends the race: the times another copy of the game has
  // saved since the race began join the tables first, so that the places
  // and the records told below and in the race-over table count them. A
  // copy saves a race's times when its players leave the race; one still
  // at its race-over table, or finishing later, is not counted here.
  if (track != nullptr && lap >= settings.laps) track->mergeStatsOnFile();
  if (lap > 0) {
    // What the table keeps is what every line shows.
    const long ticks = static_cast<long>(lapTime);
    int place = -1;
    if (track != nullptr) {
      place = track->stats.laptimes.add(TimeEntry(ticks, name));
      track->timesPlaced += place >= 0;
    }
    if (bestLapTime == 0.0 || lapTime < bestLapTime) {
      bestLapTime = lapTime;
      if (track != nullptr) track->stats.laptimes.dump();
      messages += new korvu::fonts::BlinkMessage(
          "Fastest lap: " + ticksToStr(static_cast<float>(ticks)) + (place == 0 ? " (new record)" : ""),
          LAP_MESSAGE_TIME, BLINK_ON, BLINK_OFF);
    }
    if (lap < settings.laps) {
      lapTimeMessage =
          korvu::fonts::BlinkMessage(ticksToStr(static_cast<float>(ticks)), LAP_MESSAGE_TIME, BLINK_ON, BLINK_OFF);
    }
  }
  lapTime = 0.0;
  lapStart = raceTime;
  ++lap;
  if (lap > settings.laps) {
    const long ticks = static_cast<long>(raceTime);
    int place = -1;
    if (track != nullptr) {
      place = track->stats.tracktimes.add(TimeEntry(ticks, name));
      track->timesPlaced += place >= 0;
      track->stats.tracktimes.dump();
    }
    messages += new korvu::fonts::Message(
        "Finished in " + ticksToStr(static_cast<float>(ticks)) + (place == 0 ? " (new track record)" : ""),
        FINISH_MESSAGE_TIME);
    finished = true;
    locked = true;
    if (game != nullptr) game->playerHasFinished();
  }
}

void Glimro::drawHud() {
  const korvu::fonts::Font* font = raceResources->font;
  if (font == nullptr) return;
  const float width = korvu::currentViewport != nullptr ? korvu::currentViewport->width : 0.0f;
  const float top = static_cast<float>(settings.resY);
  const std::string time = raceClock();
  // The name is centred on the line of the race time: it keeps clear of
  // the time by the margin on both sides, so that it stays centred, and a
  // name too wide for that is cut short with an ellipsis.
  const int timeWidth = static_cast<int>(font->getWidth(time.c_str()));
  const int nameRoom = static_cast<int>(width) - 2 * (2 * HUD_MARGIN + timeWidth);
  const std::string name = font->cutToWidth(profile != nullptr ? profile->name : std::string(), nameRoom);
  const std::string lapLine = lapTimeMessage.remainingTime <= 0.0f ? lapClock() : lapTimeMessage.text;

  // Every line and the timed messages, moved by (dx, dy) pixels.
  const auto drawText = [&](float dx, float dy) {
    const auto at = [&](float x, float y) {
      korvu::resetCursor();
      korvu::moveCursor(korvu::Vector2D(x + dx, y + dy));
    };
    at(width * 0.5f, top - 20);
    font->print(korvu::JUSTIFY_HCENTER, name.c_str());
    at(HUD_MARGIN, top - 20);
    font->print(korvu::JUSTIFY_LEFT, time.c_str());
    at(HUD_MARGIN, top - 35);
    if (lapTimeMessage.remainingTime <= 0.0f || lapTimeMessage.visible)
      font->print(korvu::JUSTIFY_LEFT, lapLine.c_str());
    at(HUD_MARGIN, top - 60);
    font->printf(korvu::JUSTIFY_LEFT, "Lap: %d / Position: %d", lap, racePosition);
    at(0, 0);
    messages.draw();
  };

  // The text is added onto the picture, so a bright sky, banner or vehicle
  // swallows it: a dark outline, blended over the picture, goes beneath it.
  // Two copies, a pixel down and right and a pixel up and left, outline
  // every stroke on all four sides at half the cost of four copies, and
  // they are gathered into one draw: the software renderer pays for every
  // draw, in time and in memory kept.
  glPushAttrib(GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0, 0, 0, 1);
  {
    korvu::fonts::GlyphBatch outline;
    drawText(1, -1);
    drawText(-1, 1);
    outline.draw();
  }
  glPopAttrib();
  static const GLfloat YELLOW[4] = {1, 1, 0, 1};
  glColor4fv(YELLOW);
  drawText(0, 0);
}

std::string Glimro::raceClock() const { return clockToStr(raceTime); }

std::string Glimro::lapClock() const { return clockToStr(lap > 0 ? lapTime : 0.0); }

}  // namespace glimro
