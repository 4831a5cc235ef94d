// Start-up and loading of the game program as a player sees them, in an X
// server of its own: launch to window and to the first menu frame, the
// start button to the first race frame on each track, and the peak resident
// memory of a two-player race. Run from build/bench; figures on stdout.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "guilayout.h"
#include "roadview.h"
#include "session.h"

using namespace glimro_e2e;

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// Seconds from the press of the start button to the first frame with the
// timers; that frame a second later is kept as an artifact.
double startRace(GameSession& game, const std::string& button, const std::string& picture) {
  const ScreenRect r = game.widget(button);
  game.movePointer(r.centreX(), r.centreY());
  pauseFor(0.2);
  const Clock::time_point start = Clock::now();
  game.press();
  while (secondsSince(start) < 30.0) {
    const Frame f = game.grab();
    if (hasHudText(f, 0, 0, f.width, 70)) {
      const double seconds = secondsSince(start);
      pauseFor(1.0);
      saveFrame(picture, game.grab());
      return seconds;
    }
  }
  return -1.0;
}

}  // namespace

int main() {
  XServer x;
  if (!x.running()) return 1;
  GameSetup setup;
  setup.width = 1024;
  setup.height = 768;

  std::vector<double> toWindow, toMenu;
  for (int run = 0; run < 5; ++run) {
    GameSession game(makeGameFolder(setup), setup);
    game.launch();
    if (!game.waitForWindow(20.0)) return 1;
    toWindow.push_back(secondsSince(game.launchedAt()));
    if (!game.waitForPicture(20.0)) return 1;
    toMenu.push_back(secondsSince(game.launchedAt()));
    game.closeWindow();
    game.waitForExit(10.0);
  }
  std::printf("launch to window:           %6.0f ms (median of 5)\n", 1000.0 * median(toWindow));
  std::printf("launch to first menu frame: %6.0f ms (median of 5)\n", 1000.0 * median(toMenu));

  // Each track from the single-player menu; the time includes drawing the
  // loading screen and the first race frame.
  {
    GameSession game(makeGameFolder(setup), setup);
    game.launch();
    if (!game.waitForWindow(20.0) || !game.waitForPicture(20.0)) return 1;
    game.openPanel("bSinglePlayer", "pStartGameMenu1");
    game.createProfile("bNewProfile1", "Bench");
    const char* const tracks[] = {"short", "alternate", "three"};
    for (int t = 0; t < 3; ++t) {
      const double seconds = startRace(game, "bStartRace1", std::string("bench_track_") + tracks[t]);
      std::printf("start to first race frame, track %-9s %6.0f ms\n", tracks[t], 1000.0 * seconds);
      game.key("Escape");
      pauseFor(0.5);
      game.key("Escape");
      pauseFor(0.8);
      game.stepList("dlTrack1");
    }
    game.closeWindow();
    game.waitForExit(10.0);
  }

  // Peak memory: a two-player race on the short track, driven for a while.
  {
    GameSession game(makeGameFolder(setup), setup);
    game.launch();
    if (!game.waitForWindow(20.0) || !game.waitForPicture(20.0)) return 1;
    game.openPanel("bTwoPlayers", "pStartGameMenu2");
    game.createProfile("bNewProfile2", "One");
    game.createProfile("bNewProfile2", "Two");
    game.stepList("dlProfile2");
    if (startRace(game, "bStartRace2", "bench_two_players") < 0.0) return 1;
    const Clock::time_point start = Clock::now();
    long peakPrivate = 0;
    {
      Steering one(game, PLAYER1_KEYS), two(game, PLAYER2_KEYS);
      one.start();
      two.start();
      while (secondsSince(start) < 10.0) {
        const Frame f = game.grab();
        one.follow(lookAhead(f, ViewColumns{f.width / 2, f.width / 2}));
        two.follow(lookAhead(f, ViewColumns{0, f.width / 2}));
        peakPrivate = std::max(peakPrivate, game.privateKb());
      }
    }
    game.closeWindow();
    if (!game.waitForExit(10.0)) return 1;
    std::printf("peak resident memory, two-player race at %dx%d: %.1f MB\n", setup.width, setup.height,
                game.maxResidentKb() / 1024.0);
    std::printf("  of which the program's own (private) pages: %.1f MB; the rest is shared library code\n",
                peakPrivate / 1024.0);
  }
  return 0;
}
