// The whole program as a player meets it, in a private X server: menus
// clicked with the pointer, a profile typed in, a race driven by the keys
// to its end (stopped for 10 s on the way), the race-over table, the best
// times on disk, the console, a two-player race, leaving in the middle of a
// race, and start-ups that cannot succeed; and a program that dies, told by
// its backtrace.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filesystemshim.h"
#include "guilayout.h"
#include "roadview.h"
#include "session.h"
#include "shell/moresettings.h"
#include "track/trackstats.h"
#include "xml.h"

namespace glimro_e2e {
namespace {

const char* const STATS_FILE = "track_short_stats.xml";
// A lap takes about 30 s alone on two cores of this machine's software
// renderer, and over 40 s with another program busy beside it; the driver
// leaves the road now and then and is put back.
const double DRIVING_SECONDS = 150.0;
// The short track's lap is some 4600 units of road, and a vehicle makes
// under 0.9 units a millisecond: no lap takes less than 5 s.
const long SHORTEST_LAP_MS = 5000;
// The older records' lap is slower than any lap a test drives, which ends
// within DRIVING_SECONDS of the green light: a driven lap ranks first.
const long OLD_LAP_MS = static_cast<long>(2 * DRIVING_SECONDS * 1000);

class GameRun : public ::testing::Test {
 public:
  void start(const GameSetup& setup) {
    ASSERT_TRUE(x.running());
    game.reset(new GameSession(makeGameFolder(setup), setup));
    game->launch();
    ASSERT_TRUE(game->waitForWindow(15.0)) << "no window titled Glimro\n" << game->out() << game->err();
    windowAt = secondsSince(game->launchedAt());
    ASSERT_TRUE(game->waitForPicture(15.0)) << "the window stays empty";
    game->restPointer();
  }

  int width() const { return game->setup().width; }
  int height() const { return game->setup().height; }

  // From the main menu: a profile of the given name, chosen, and a race on
  // the short track by day.
  void startSingleRace(const std::string& profile) {
    game->openPanel("bSinglePlayer", "pStartGameMenu1");
    game->createProfile("bNewProfile1", profile);
    startRace("bStartRace1");
  }

  bool panelVisible(const Frame& frame, const std::string& panel) {
    return game->panelVisible(frame, panel);
  }

  // Waits until a line with the text shows up on standard output.
  bool waitForOutput(const std::string& text, double timeoutSeconds) {
    const Clock::time_point start = Clock::now();
    while (secondsSince(start) < timeoutSeconds) {
      if (game->out().find(text) != std::string::npos) return true;
      pauseFor(0.02);
    }
    return false;
  }

  void openConsole() {
    ASSERT_FALSE(x.hashKey.empty()) << "no key for #";
    game->key(x.hashKey);
    ASSERT_TRUE(waitForOutput("Debugging console activated.", 5.0)) << game->out();
  }

  // Clicks the start button and waits for the race's first picture after
  // the loading screen.
  void startRace(const std::string& button) {
    if (!game->clickWidget(button, [&](const Frame& f) { return hasHudText(f, 0, 0, width(), 70); }, 20.0))
      FAIL() << "the race did not start\n" << game->out() << game->err();
  }

  // Polls until the panel shows; false after the timeout.
  bool waitForPanel(const std::string& panel, double timeoutSeconds) {
    return game->waitForPanel(panel, timeoutSeconds);
  }

  // Escape to the race-over table, Escape again back to the start menu.
  void leaveRace(const std::string& startMenu) {
    game->key("Escape");
    ASSERT_TRUE(waitForPanel("pRaceOver", 5.0)) << "Escape did not end the race";
    game->key("Escape");
    ASSERT_TRUE(waitForPanel(startMenu, 5.0)) << startMenu << " is not back";
  }

  // A failed test shows what the program wrote, how it stands and where
  // each of its threads is, and keeps the window's last frame.
  void TearDown() override {
    if (!HasFailure() || !game) return;
    // A program that died is explained by the wait that sees it.
    game->waitForExit(0.0);
    if (game->running()) {
      saveFrame(std::string("failed_") + testing::UnitTest::GetInstance()->current_test_info()->name(),
                game->grab());
      std::printf("The program: %s\nIts threads:\n%s", game->processState().c_str(), game->threads().c_str());
    }
    std::printf("Its standard output:\n%s\nIts standard error:\n%s\n", game->out().c_str(), game->err().c_str());
  }

  XServer x;
  std::unique_ptr<GameSession> game;
  double windowAt = 0.0;  // seconds from launch
};

// The last choices the game saved in its folder.
glimro::MoreSettings savedChoices(const GameSession& game) {
  glimro::MoreSettings choices;
  try {
    choices.load(game.folder() + "/moresettings.xml");
  } catch (const std::string& message) {
    ADD_FAILURE() << message;
  }
  return choices;
}

glimro::TrackStats readStats(const std::string& path, bool& ok) {
  glimro::TrackStats stats;
  ok = true;
  try {
    stats.load(path);
  } catch (const std::string& message) {
    ADD_FAILURE() << path << ": " << message;
    ok = false;
  }
  return stats;
}

// How much a view's scenery changed between two frames: over the view
// from below its heads-up text to the horizon, in squares of 32 pixels,
// the median of the squares' mean difference per channel. A vehicle
// turning or moving changes most squares, the start portal shaking as a
// vehicle hovers at rest or the other player's vehicle passing through the
// view only a few.
double sceneryChange(const Frame& a, const Frame& b, const ViewColumns& v) {
  const int square = 32, top = 70, bottom = a.height * 2 / 5;
  std::vector<double> changes;
  for (int y0 = top; y0 + square <= bottom; y0 += square)
    for (int x0 = v.x; x0 + square <= v.x + v.width; x0 += square) {
      long sum[3] = {0, 0, 0};
      for (int y = y0; y < y0 + square; ++y)
        for (int x = x0; x < x0 + square; ++x)
          for (int c = 0; c < 3; ++c) sum[c] += int(a.at(x, y)[c]) - int(b.at(x, y)[c]);
      changes.push_back((std::abs(sum[0]) + std::abs(sum[1]) + std::abs(sum[2])) / (3.0 * square * square));
    }
  std::nth_element(changes.begin(), changes.begin() + changes.size() / 2, changes.end());
  return changes[changes.size() / 2];
}

// Pixels of a view's race clock (the first line of its display) that
// turned into ink or out of it: none while the clock stands.
int clockChange(const Frame& a, const Frame& b, const ViewColumns& v) {
  int n = 0;
  for (int y = 4; y < 26; ++y)
    for (int x = v.x + 8; x < v.x + 100; ++x) n += isHudText(a.at(x, y)) != isHudText(b.at(x, y));
  return n;
}

int filled(const glimro::TimeTable& table) {
  int n = 0;
  for (const glimro::TimeEntry& e : table.entries) n += e.ticks > 0 ? 1 : 0;
  return n;
}

// Pixels of the start-up notice's warm white text in the top band of the
// window, where the notice's box stands: none without a notice.
int noticeInk(const Frame& f) {
  int n = 0;
  for (int y = 10; y < 130 && y < f.height; ++y)
    for (int x = 10; x < f.width - 10; ++x) {
      const uint8_t* p = f.at(x, y);
      n += p[0] > 200 && p[1] > 170 && p[1] < 250 && p[2] > 90 && p[2] < 200 && p[0] - p[2] > 50;
    }
  return n;
}

// Ten plus ten slots, as many "entry" elements as the file holds.
int entryElements(const std::string& text) {
  int n = 0;
  for (size_t at = text.find("<entry"); at != std::string::npos; at = text.find("<entry", at + 1)) ++n;
  return n;
}

// On the way the program is stopped for 10 s, as a suspended machine stops
// it: the race clock moves on by a quarter of a second for it, not more.
TEST_F(GameRun, SinglePlayerRaceFromTheMenusToTheRecordsAndOut) {
  GameSetup setup;
  start(setup);
  if (HasFatalFailure()) return;
  const Frame menu = toFrame(game->screenshot("main_menu"));
  EXPECT_TRUE(panelVisible(menu, "pMainMenu"));
  EXPECT_EQ(noticeInk(menu), 0) << "a clean start shows a notice";

  // The console reads standard input from now on.
  openConsole();
  game->console("sunpos 1 2;");
  EXPECT_TRUE(waitForOutput("Usage: sunpos x y z", 5.0)) << game->out();

  // createProfile follows the README's recipe, which must still read so.
  std::string readme = korvu_test::readFile(korvu_test::sourceDir() + "/README.md");
  std::replace(readme.begin(), readme.end(), '\n', ' ');
  EXPECT_NE(readme.find("(\"New profile\", point at the name field, type a name, OK)"), std::string::npos);

  game->openPanel("bSinglePlayer", "pStartGameMenu1");
  const Frame startMenu = toFrame(game->screenshot("start_menu_single"));
  EXPECT_TRUE(panelVisible(startMenu, "pStartGameMenu1"));
  EXPECT_GT(frameDifference(menu, startMenu), 2.0);

  game->createProfile("bNewProfile1", "Ada");
  const Clock::time_point raceStart = Clock::now();
  startRace("bStartRace1");
  if (HasFatalFailure()) return;
  EXPECT_EQ(savedChoices(*game).singleplayer, "Ada") << game->file("moresettings.xml");
  const Frame race = toFrame(game->screenshot("race_single"));
  EXPECT_FALSE(panelVisible(race, "pRaceOver"));
  EXPECT_GT(frameDifference(menu, race), 20.0) << "the race looks like the menu";

  // One lap, by the keys, steering by what the window shows.
  const ViewColumns view{0, width()};
  // The green light, or a moment before it: 3 s of countdown after the
  // click at the earliest, and no earlier than the last picture of a
  // standing clock, less the share of the two frames after it (at most a
  // quarter of a second each, however long they took).
  Clock::time_point clockStood = Clock::now();
  for (Frame last = game->grab(); secondsSince(clockStood) < 20.0;) {
    const Clock::time_point grabbed = Clock::now();
    Frame now = game->grab();
    if (!now.empty() && clockChange(last, now, view) > 0) break;
    clockStood = grabbed;
    last = std::move(now);
  }
  const Clock::time_point green =
      std::max(raceStart + std::chrono::seconds(3), clockStood - std::chrono::milliseconds(500));
  // Mid-race the process is stopped for 10 s, with the keys held, as a
  // suspended machine would be; `paused` is how long it surely stood.
  double paused = 0.0;
  // The race ended no later than the first of the pictures that showed the
  // race-over table from then on: the table opens in the finishing frame.
  Clock::time_point tableSince;
  bool tableShown = false;
  const auto pauseOnce = [&]() {
    game->signal(SIGSTOP);
    const Clock::time_point stopping = Clock::now();
    while (game->processState().compare(0, 7, "state T") != 0 && secondsSince(stopping) < 5.0) pauseFor(0.01);
    const Clock::time_point stopped = Clock::now();
    pauseFor(10.0);
    paused = secondsSince(stopped);
    const Frame before = game->grab();
    game->signal(SIGCONT);
    // Until it draws again, so that the driver does not take the still
    // picture for a vehicle caught against a wall.
    const Clock::time_point resumed = Clock::now();
    while (secondsSince(resumed) < 10.0 && frameDifference(before, game->grab()) == 0.0) pauseFor(0.02);
  };
  // The table shows and the race clock stands: a dark sea passes for the
  // table's margin now and then, but not with the clock running.
  Frame clockAt;
  Clock::time_point clockTaken;
  const auto raceOver = [&](const Frame& f) {
    if (paused == 0.0 && secondsSince(green) > 8.0) pauseOnce();
    const bool table = panelVisible(f, "pRaceOver");
    if (table && !tableShown) tableSince = Clock::now();
    tableShown = table;
    if (clockAt.empty() || secondsSince(clockTaken) > 1.0) {
      const bool stands = !clockAt.empty() && clockChange(clockAt, f, view) == 0;
      clockAt = f;
      clockTaken = Clock::now();
      return stands && panelVisible(f, "pRaceOver");
    }
    return false;
  };
  const bool finished = driveUntil(*game, view, PLAYER1_KEYS, DRIVING_SECONDS, raceOver);
  ASSERT_TRUE(finished) << "the race did not end after " << DRIVING_SECONDS << " s of driving";
  std::printf("race driven to its end after %.1f s\n", secondsSince(raceStart));
  const Frame over = toFrame(game->screenshot("race_over"));
  ASSERT_TRUE(panelVisible(over, "pRaceOver")) << "no race-over table";
  EXPECT_GT(frameDifference(race, over), 5.0);

  // Escape leaves the table for the start menu and saves the records.
  game->key("Escape");
  const Clock::time_point leaving = Clock::now();
  while (secondsSince(leaving) < 10.0 && game->file(STATS_FILE).empty()) pauseFor(0.05);
  const std::string statsText = game->file(STATS_FILE);
  ASSERT_FALSE(statsText.empty()) << STATS_FILE << " was not written";
  EXPECT_EQ(entryElements(statsText), 20) << statsText;
  bool ok = false;
  const glimro::TrackStats stats = readStats(game->folder() + "/" + STATS_FILE, ok);
  EXPECT_EQ(filled(stats.laptimes), 1) << statsText;
  EXPECT_EQ(filled(stats.tracktimes), 1) << statsText;
  EXPECT_EQ(stats.laptimes.entries[0].name, "Ada");
  EXPECT_EQ(stats.tracktimes.entries[0].name, "Ada");
  EXPECT_GE(stats.tracktimes.entries[0].ticks, stats.laptimes.entries[0].ticks);
  EXPECT_GE(stats.laptimes.entries[0].ticks, SHORTEST_LAP_MS) << "not a whole lap";
  std::printf("lap %ld ms, race %ld ms\n", stats.laptimes.entries[0].ticks, stats.tracktimes.entries[0].ticks);
  // The stop moved the race clock on by a quarter of a second at most: the
  // race took no longer than the time from the green light to its end, less
  // the stop, plus that quarter. Frames of a busy machine longer than that
  // only make the race shorter.
  ASSERT_GT(paused, 9.9) << "the program was not stopped";
  const double driven = std::chrono::duration<double>(tableSince - green).count();
  std::printf("race driven in at most %.2f s, of which the program stood %.2f s\n", driven, paused);
  EXPECT_LE(stats.tracktimes.entries[0].ticks / 1000.0, driven - paused + 0.25)
      << "driven " << driven << " s, of which the program stood " << paused << " s";

  EXPECT_TRUE(waitForPanel("pStartGameMenu1", 5.0)) << "the start menu is not back";
  game->key("Escape");
  EXPECT_TRUE(waitForPanel("pMainMenu", 5.0)) << "the main menu is not back";

  game->console("close;");
  EXPECT_TRUE(waitForOutput("Debugging console terminated.", 5.0)) << game->out();
  game->key("Escape");
  ASSERT_TRUE(game->waitForExit(10.0)) << "Escape in the main menu did not end the program";
  expectCleanEnd(*game);
}

// Times of earlier races, as the game writes them.
std::string earlierRecords() {
  glimro::TrackStats stats;
  stats.laptimes.add(glimro::TimeEntry(OLD_LAP_MS, "Old"));
  stats.tracktimes.add(glimro::TimeEntry(3 * OLD_LAP_MS, "Old"));
  std::unique_ptr<korvu::xml::Node> tree(stats.buildDomTree());
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n" + tree->toString(0);
}

// A race of three laps beside older records, driven until the first lap is
// done (its message shows, a new record); then `end` ends the program in the
// middle of the race, cleanly, and the lap is on disk beside the older
// records. The frame that showed the lap is kept.
void lapThenEnd(GameRun& run, bool withConsole, const std::function<void(GameSession&)>& end) {
  GameSetup setup;
  setup.laps = 3;
  run.start(setup);
  if (testing::Test::HasFatalFailure()) return;
  GameSession& game = *run.game;
  korvu_test::writeFile(game.folder() + "/" + STATS_FILE, earlierRecords());
  run.startSingleRace("Cy");
  if (testing::Test::HasFatalFailure()) return;
  if (withConsole) run.openConsole();
  if (testing::Test::HasFatalFailure()) return;

  const ViewColumns view{0, run.width()};
  // Every digit prints as wide as a 0.
  const int message =
      printedWidth(game.folder() + "/resources/fonts/arial10", "Fastest lap: 00:00.000 (new record)");
  Frame lap;
  const bool lapDone = driveUntil(game, view, PLAYER1_KEYS, DRIVING_SECONDS, [&](const Frame& f) {
    if (!raceMessageShown(f, view, message)) return false;
    lap = f;
    return true;
  });
  ASSERT_TRUE(lapDone) << "no lap done after " << DRIVING_SECONDS << " s of driving";
  saveFrame(std::string("lap_") + testing::UnitTest::GetInstance()->current_test_info()->name(), lap);
  end(game);
  ASSERT_TRUE(game.waitForExit(10.0)) << "the program did not end";
  expectCleanEnd(game);

  bool ok = false;
  const glimro::TrackStats stats = readStats(game.folder() + "/" + STATS_FILE, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(entryElements(game.file(STATS_FILE)), 20);
  EXPECT_EQ(filled(stats.laptimes), 2) << game.file(STATS_FILE);
  EXPECT_EQ(filled(stats.tracktimes), 1) << "a race of three laps cannot be over";
  EXPECT_EQ(stats.tracktimes.entries[0].name, "Old");
  EXPECT_EQ(stats.laptimes.entries[0].name, "Cy");
  EXPECT_EQ(stats.laptimes.entries[1].name, "Old");
}

TEST_F(GameRun, QuittingFromTheConsoleDuringARaceKeepsTheRecords) {
  lapThenEnd(*this, true, [](GameSession& game) { game.console("quit;"); });
}

// In the menus too the console's quit ends the program, in order, and does
// not wait for a race to start.
TEST_F(GameRun, QuittingFromTheConsoleInTheMenusEndsTheProgram) {
  start(GameSetup());
  if (HasFatalFailure()) return;
  openConsole();
  if (HasFatalFailure()) return;
  game->console("quit;");
  ASSERT_TRUE(game->waitForExit(10.0)) << "quit in the main menu did not end the program";
  expectCleanEnd(*game);
}

// Closing the terminal the game was started from hangs it up: the
// terminal and the shell each send SIGHUP. The game ends as closing the
// window does, and the second hangup does not end it sooner.
TEST_F(GameRun, HangupDuringARaceKeepsTheLapAndEndsCleanly) {
  lapThenEnd(*this, false, [](GameSession& game) {
    game.signal(SIGHUP);
    pauseFor(0.1);
    game.signal(SIGHUP);
  });
  EXPECT_NE(game->err().find("Hangup. Quitting"), std::string::npos) << game->err();
}

// A window destroyed by another program ends the game where the error is
// met, after the save that closing the window makes, and with its status.
TEST_F(GameRun, WindowDestroyedFromOutsideDuringARaceKeepsTheLap) {
  lapThenEnd(*this, false, [](GameSession& game) { game.destroyWindow(); });
  EXPECT_NE(game->out().find("(warning) The game's window was destroyed from outside; quitting."),
            std::string::npos) << game->out();
}

// So does an X server that goes under the game: its connection is lost.
TEST_F(GameRun, LostXServerDuringARaceKeepsTheLap) {
  lapThenEnd(*this, false, [this](GameSession& game) {
    game.disconnect();
    x.stop();
  });
}

// The X server ended (TERM or KILL) in the menus at delays from 0 to 2 s
// after the menu shows, and in a race after its first picture: every run
// ends with status 0, in time, and a race keeps the records it loaded. The
// software renderer once drew on after the loss into buffers of garbage
// sizes, which crashed about every third run in the menus. Runs go in
// forked workers, each starting its own servers.
TEST_F(GameRun, LostXServerInTheMenusOrARaceEndsCleanlyEveryTime) {
  const int MENU_RUNS = 30, RACE_RUNS = 6, WORKERS = 3;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::vector<pid_t> workers;
  for (int w = 0; w < WORKERS; ++w) {
    const pid_t pid = fork();
    if (pid != 0) {
      workers.push_back(pid);
      continue;
    }
    close(fds[0]);
    for (int i = w; i < MENU_RUNS + RACE_RUNS; i += WORKERS) {
      const bool race = i >= MENU_RUNS;
      const double delay = race ? 2.0 * (i - MENU_RUNS) / (RACE_RUNS - 1) : 2.0 * i / (MENU_RUNS - 1);
      const int sig = i % 2 ? SIGKILL : SIGTERM;
      char head[96];
      std::snprintf(head, sizeof head, "%s run %d, %s %.2f s after the %s: ", race ? "race" : "menu", i,
                    sig == SIGKILL ? "KILL" : "TERM", delay, race ? "race shows" : "menu shows");
      std::string outcome;
      {
        XServer server;  // DISPLAY names it from here on
        GameSetup setup;
        start(setup);
        if (!HasFatalFailure() && race) {
          korvu_test::writeFile(game->folder() + "/" + STATS_FILE, earlierRecords());
          startSingleRace("Cy");
        }
        if (HasFatalFailure()) {
          outcome = "did not reach the " + std::string(race ? "race" : "menu") + "\n" + game->out() + game->err();
        } else {
          pauseFor(delay);
          game->disconnect();
          server.stop(sig);
          if (!game->waitForExit(15.0)) {
            outcome = "hangs: " + game->processState();
          } else if (!game->exited()) {
            outcome = "killed by signal " + std::to_string(WTERMSIG(game->waitStatus())) + "\n" +
                      (game->failureReport().empty() ? game->err() : game->failureReport());
          } else if (game->exitStatus() != 0) {
            outcome = "status " + std::to_string(game->exitStatus()) + "\n" + game->out() + game->err();
          } else if (race) {
            bool ok = false;
            const glimro::TrackStats stats = readStats(game->folder() + "/" + STATS_FILE, ok);
            if (!ok || filled(stats.laptimes) < 1 || stats.laptimes.entries[0].name != "Old")
              outcome = "the records are lost\n" + game->file(STATS_FILE);
          }
        }
        game.reset();
      }
      const std::string line = head + (outcome.empty() ? "ok" : outcome) + "\n";
      if (write(fds[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(2);
    }
    // Not through the fixture's destructors, which would end the parent's
    // X server.
    _exit(0);
  }
  close(fds[1]);
  std::string report;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  for (pid_t pid : workers) waitpid(pid, nullptr, 0);
  int ok = 0, runs = 0;
  for (size_t at = 0; (at = report.find(" run ", at)) != std::string::npos; ++at) ++runs;
  for (size_t at = 0; (at = report.find(": ok\n", at)) != std::string::npos; ++at) ++ok;
  EXPECT_EQ(runs, MENU_RUNS + RACE_RUNS) << report;
  EXPECT_EQ(ok, MENU_RUNS + RACE_RUNS) << report;
}

TEST_F(GameRun, TwoPlayersRaceSideBySideAndTheOpenConsoleDoesNotHoldTheEnd) {
  GameSetup setup;
  start(setup);
  if (HasFatalFailure()) return;
  game->openPanel("bTwoPlayers", "pStartGameMenu2");
  const Frame startMenu = toFrame(game->screenshot("start_menu_two"));
  EXPECT_TRUE(panelVisible(startMenu, "pStartGameMenu2"));
  game->createProfile("bNewProfile2", "Ada");
  game->createProfile("bNewProfile2", "Bo");
  // The lists show the first profile; player 2 steps on to the next.
  game->stepList("dlProfile2");
  startRace("bStartRace2");
  if (HasFatalFailure()) return;
  EXPECT_EQ(savedChoices(*game).multiplayer_1, "Ada");
  EXPECT_EQ(savedChoices(*game).multiplayer_2, "Bo") << game->file("moresettings.xml");

  // Player 1 has the right half of the window. On the grid, past the
  // countdown, both views show the road and their timers. Then each
  // player's accelerator, with a steering key, turns that player's own view
  // and leaves the other view's scenery as it was; the brake then stops the
  // vehicle.
  const ViewColumns right{width() / 2, width() / 2};
  const ViewColumns left{0, width() / 2};
  // The next frame the game shows after `last`; none after 5 s.
  const auto nextFrame = [&](const Frame& last) {
    for (const Clock::time_point start = Clock::now(); !last.empty() && secondsSince(start) < 5.0;) {
      Frame now = game->grab();
      if (now.empty() || now.rgb != last.rgb) return now;
    }
    return Frame();
  };
  // Keeps the frames as the artifacts two_players_<name>_1, _2, ...
  const auto keep = [](const std::string& name, const std::vector<Frame>& frames) {
    for (size_t i = 0; i < frames.size(); ++i) saveFrame("two_players_" + name + "_" + std::to_string(i + 1), frames[i]);
  };
  // Whether frames the game drew, each at least `pause` seconds after the
  // one before, pass `check` twice in a row within 15 s: a slow game shows
  // one picture for longer than that, and two grabs of it prove nothing.
  // The three frames are left in `passed`; where there are none, the ones
  // looked at last are kept as `name`.
  std::vector<Frame> passed;
  const auto twiceInARow = [&](const std::string& name, double pause,
                               const std::function<bool(const Frame&, const Frame&)>& check) {
    const Clock::time_point start = Clock::now();
    std::vector<Frame> frames{game->grab()};
    while (secondsSince(start) < 15.0) {
      pauseFor(pause);
      Frame now = nextFrame(frames.back());
      if (now.empty()) break;
      if (!check(frames.back(), now)) frames.erase(frames.begin(), frames.end() - 1);
      frames.push_back(std::move(now));
      if (frames.size() == 3) {
        passed = std::move(frames);
        return true;
      }
    }
    keep(name, frames);
    return false;
  };
  // The start lights turn green, lit lamps of a green no scenery has; the
  // vehicles, held until then, are let go.
  ASSERT_TRUE(game->waitFor(
      [&](const Frame& f) {
        int lit = 0;
        for (int y = 0; y < height() / 4; ++y)
          for (int x = 0; x < width(); ++x) lit += f.at(x, y)[0] < 100 && f.at(x, y)[1] > 200 && f.at(x, y)[2] < 160;
        return lit > 200;
      },
      15.0))
      << "the start lights do not turn green";
  // Then the race clocks run: the game is alive. Player 2's clock is read,
  // which stands before the open sky (player 1's before the start banner).
  ASSERT_TRUE(twiceInARow("clock", 0.2, [&](const Frame& a, const Frame& b) { return clockChange(a, b, left) > 15; }))
      << "the race clocks stand still; the program: " << game->processState();
  // Both views still.
  const auto settle = [&](const std::string& name) {
    return twiceInARow(name, 0.5, [&](const Frame& a, const Frame& b) {
      return sceneryChange(a, b, left) < 2.5 && sceneryChange(a, b, right) < 2.5;
    });
  };
  ASSERT_TRUE(settle("grid")) << "the vehicles do not come to rest on the grid";
  const Frame grid = passed.back();
  saveFrame("two_players_grid", grid);
  EXPECT_TRUE(lookAhead(grid, left).seen && lookAhead(grid, right).seen) << "a view without road";
  EXPECT_TRUE(hasHudText(grid, 0, 0, width() / 2, 70) && hasHudText(grid, width() / 2, 0, width() / 2, 70))
      << "a view without its timers";
  // A vehicle hovering at rest rocks its view's scenery by up to 8 from one
  // frame to another, but by less than 3 between the nearest two of three
  // such frames and three others.
  const double OWN_MOVE = 16.0, OTHER_MOST = 6.0;
  // Player 2 starts behind player 1, to its left, closer than a vehicle is
  // long: one turn in the long frames of a slow machine swings a nose or a
  // tail into the other, which pushes it and holds it. Player 2's reset
  // takes it back to the middle of the road, some 80 units behind, and
  // player 1's vehicle out of the near part of its view: its pixels change
  // by over 30 on average, where the hover rocks them by under 10.
  game->key(PLAYER2_KEYS.reset);
  ASSERT_TRUE(game->waitFor([&](const Frame& f) { return frameDifference(grid, f, left.x, left.width) > 20.0; }, 15.0))
      << "player 2's reset did not take it back";
  ASSERT_TRUE(settle("reset")) << "player 2 does not come to rest after its reset";
  // Each steers away from the other, with the accelerator held until the
  // own view shows the turn: the release cannot come in the same poll of
  // the events as the press, which would leave the press unseen. A vehicle
  // turns only while it moves, a tenth of a degree a millisecond, in steps
  // as long as the game's frames: by some 10 degrees on a fast machine, by
  // 25 to 75 on a slow one. The other view is judged on its half away from
  // the moving vehicle (player 1 shows ahead of player 2), at rest before
  // the drive against at rest after it.
  const struct {
    const PlayerKeys& keys;
    ViewColumns own, other;
    std::string steer;
  } drivers[] = {{PLAYER1_KEYS, right, {0, width() / 4}, PLAYER1_KEYS.right},
                 {PLAYER2_KEYS, left, {width() * 3 / 4, width() / 4}, PLAYER2_KEYS.left}};
  for (const auto& d : drivers) {
    SCOPED_TRACE(d.keys.accelerate);
    const std::vector<Frame> rested = std::move(passed);
    const Frame before = game->grab();
    Frame after = before;
    const Clock::time_point pressed = Clock::now();
    int frames = 0;
    game->keyDown(d.steer);
    game->keyDown(d.keys.accelerate);
    for (; !after.empty() && secondsSince(pressed) < 6.0 && sceneryChange(before, after, d.own) < OWN_MOVE; ++frames)
      after = nextFrame(after);
    game->keyUp(d.keys.accelerate);
    game->keyUp(d.steer);
    const double held = secondsSince(pressed);
    game->keyDown(d.keys.brake);
    ASSERT_FALSE(after.empty()) << "the game shows no new frame; the program: " << game->processState();
    const double own = sceneryChange(before, after, d.own);
    EXPECT_GE(own, OWN_MOVE) << "the keys did not move their own view; the program: " << game->processState();
    if (own < OWN_MOVE) keep(d.keys.accelerate, {before, after});
    const bool stopped = settle(d.keys.brake);
    game->keyUp(d.keys.brake);
    ASSERT_TRUE(stopped) << "the brake did not stop the vehicle";
    // The least change of the other view between any two of those frames.
    double other = 255.0;
    for (const Frame& a : rested)
      for (const Frame& b : passed) other = std::min(other, sceneryChange(a, b, d.other));
    std::printf("%s: %d frames in %.2f s; own view changed by %.1f, the other by %.1f\n", d.keys.accelerate.c_str(),
                frames, held, own, other);
    EXPECT_LT(other, OTHER_MOST) << "the keys moved the other player's view";
    if (other >= OTHER_MOST) {
      keep(d.keys.accelerate + "_rested", rested);
      keep(d.keys.accelerate + "_stopped", passed);
    }
  }

  // The console stays open through the end.
  openConsole();
  if (HasFatalFailure()) return;
  leaveRace("pStartGameMenu2");
  if (HasFatalFailure()) return;
  game->key("Escape");
  ASSERT_TRUE(waitForPanel("pMainMenu", 5.0));
  game->key("Escape");
  ASSERT_TRUE(game->waitForExit(10.0)) << "the program did not end with its console open";
  expectCleanEnd(*game);
  EXPECT_NE(game->out().find("Terminating..."), std::string::npos) << game->out();
}


// OpenAL's wave writer, recording into sound.wav in the game's folder.
const char* const WAVE_WRITER =
    "[general]\ndrivers = wave\nchannels = stereo\nsample-type = int16\nfrequency = 44100\n"
    "[wave]\nfile = sound.wav\n";

// RMS amplitude (0..1) of a stretch of the recorded sound, measured by sox;
// -1 when sox fails.
double soundRms(const std::string& wav, double start, double length) {
  char command[512];
  std::snprintf(command, sizeof command, "sox --ignore-length '%s' -n trim %.3f %.3f stat 2>&1", wav.c_str(), start,
                length);
  FILE* p = popen(command, "r");
  if (!p) return -1.0;
  double rms = -1.0;
  char line[256];
  while (std::fgets(line, sizeof line, p)) std::sscanf(line, "RMS     amplitude: %lf", &rms);
  pclose(p);
  return rms;
}

// RMS amplitudes of 50 ms windows of a stretch of the sound, in a band of
// 50 Hz around `hz` (sox filters it, mono).
std::vector<double> bandLevels(const std::string& wav, double start, double length, double hz) {
  char command[512];
  std::snprintf(command, sizeof command,
                "sox --ignore-length '%s' -t raw -e signed -b 16 -c 1 -r 44100 - trim %.3f %.3f sinc %.0f-%.0f "
                "2>/dev/null",
                wav.c_str(), start, length, hz - 25.0, hz + 25.0);
  std::vector<double> levels;
  FILE* p = popen(command, "r");
  if (!p) return levels;
  const size_t window = 44100 / 20;
  std::vector<int16_t> samples(window);
  while (std::fread(samples.data(), sizeof(int16_t), window, p) == window) {
    double sum = 0.0;
    for (int16_t v : samples) sum += double(v) * v;
    levels.push_back(std::sqrt(sum / window) / 32768.0);
  }
  pclose(p);
  return levels;
}

size_t loudest(const std::vector<double>& levels) {
  size_t best = 0;
  for (size_t i = 1; i < levels.size(); ++i)
    if (levels[i] > levels[best]) best = i;
  return best;
}

// With sound switched off, as the README allows: a race on each of the
// three tracks and one for two players, each started from the menus, driven
// and left, in one program that then ends cleanly. Neither the console nor
// the screenshot key is used, so the frames kept carry no message across
// them: they are the README's pictures. The wave writer stands ready, and
// records nothing: sound off opens no sound device.
TEST_F(GameRun, SoundOffRacesOnEveryTrackAndForTwoPlayers) {
  GameSetup setup;
  setup.sound = false;
  setup.alsoftConf = WAVE_WRITER;
  start(setup);
  if (HasFatalFailure()) return;
  saveFrame("quiet_main_menu", game->grab());
  game->openPanel("bSinglePlayer", "pStartGameMenu1");
  pauseFor(0.3);
  saveFrame("quiet_start_menu", game->grab());
  game->createProfile("bNewProfile1", "Ada");
  for (int track = 0; track < 3; ++track) {
    SCOPED_TRACE(track);
    // Each click steps the list on to the next track.
    if (track > 0) game->stepList("dlTrack1");
    startRace("bStartRace1");
    if (HasFatalFailure()) return;
    if (track == 0) pauseFor(1.5);  // the start lights at red
    if (track == 0) saveFrame("quiet_race_one_player", game->grab());
    driveUntil(*game, ViewColumns{0, width()}, PLAYER1_KEYS, 6.0, [](const Frame&) { return false; });
    leaveRace("pStartGameMenu1");
    if (HasFatalFailure()) return;
  }
  game->key("Escape");
  ASSERT_TRUE(waitForPanel("pMainMenu", 5.0));
  game->openPanel("bTwoPlayers", "pStartGameMenu2");
  game->createProfile("bNewProfile2", "Bo");
  game->stepList("dlProfile2");
  startRace("bStartRace2");
  if (HasFatalFailure()) return;
  {
    Steering one(*game, PLAYER1_KEYS), two(*game, PLAYER2_KEYS);
    one.start();
    two.start();
    const Clock::time_point start = Clock::now();
    while (secondsSince(start) < 6.0) {
      const Frame f = game->grab();
      one.follow(lookAhead(f, ViewColumns{width() / 2, width() / 2}));
      two.follow(lookAhead(f, ViewColumns{0, width() / 2}));
    }
  }
  saveFrame("quiet_race_two_players", game->grab());
  leaveRace("pStartGameMenu2");
  if (HasFatalFailure()) return;
  game->key("Escape");
  ASSERT_TRUE(waitForPanel("pMainMenu", 5.0));
  game->key("Escape");
  ASSERT_TRUE(game->waitForExit(10.0)) << "Escape in the main menu did not end the program";
  expectCleanEnd(*game);
  EXPECT_TRUE(game->file("sound.wav").empty()) << "sound off, yet the sound device was opened";
}

// Where no sound device opens, the game plays without sound and says so
// once, in the log and over the first menu; with sound off it does not try,
// and the menu shows no notice.
TEST_F(GameRun, StartsWithoutASoundDevice) {
  for (bool sound : {true, false}) {
    SCOPED_TRACE(sound ? "sound on" : "sound off");
    GameSetup setup;
    setup.sound = sound;
    setup.alsoftConf = "[general]\ndrivers = wave\n[wave]\nfile = /nonexistent/sound.wav\n";
    start(setup);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(waitForPanel("pMainMenu", 5.0)) << "no main menu";
    const int ink = noticeInk(game->grab());
    EXPECT_TRUE(sound ? ink > 200 : ink == 0) << ink << " pixels of notice text";
    game->closeWindow();
    ASSERT_TRUE(game->waitForExit(10.0)) << "closing the window did not end the program";
    expectCleanEnd(*game);
    const std::string out = game->out();
    const size_t warning = out.find("(warning) No sound device could be opened; playing without sound.");
    EXPECT_EQ(warning != std::string::npos, sound) << out;
    EXPECT_EQ(out.find("(warning)", warning == std::string::npos ? 0 : warning + 1), std::string::npos) << out;
    EXPECT_EQ(game->err().find("AL lib"), std::string::npos) << game->err();
  }
}

// Sizes no window has, or the screen cannot open, start the game at 800 by
// 600 with one warning that names the settings file by its full path; so
// does a settings file cut short, which leaves every setting at its default
// (fullscreen). The warning shows over the first menu as well, for a player
// without a terminal, until the first click.
// The screen is 1280 by 1024: a window wider than it but not taller cannot
// open either, and a race after that lays its view over the window that
// opened, with the player's name in the middle of it.
TEST_F(GameRun, ScreenSizesThatCannotOpenStartAtTheDefaultSize) {
  const std::string resolution = "<settings><resolution fullscreen=\"0\" ";
  const std::string wider = "x=\"1600\" y=\"600\"/></settings>";
  for (const std::string size : {"x=\"0\" y=\"0\"/></settings>", "x=\"99999\" y=\"99999\"/></settings>",
                                 "x=\"-640\" y=\"480\"/></settings>", "x=\"640\"", wider.c_str()}) {
    SCOPED_TRACE(size);
    GameSetup setup;
    setup.settings = resolution + size;
    start(setup);
    if (HasFatalFailure()) return;
    const bool windowed = size.back() == '>';
    EXPECT_TRUE(!windowed || waitForPanel("pMainMenu", 5.0)) << "no main menu";
    EXPECT_EQ(game->grab().width, 800);
    if (size[3] == '0') {
      // Read 3 s after the window opened, still there at 8 s, gone at a click.
      pauseFor(std::max(0.0, windowAt + 3.0 - secondsSince(game->launchedAt())));
      const Frame early = game->grab();
      saveFrame("startup_notice", early);
      EXPECT_GT(noticeInk(early), 200) << "no warning on screen";
      pauseFor(std::max(0.0, windowAt + 8.0 - secondsSince(game->launchedAt())));
      EXPECT_GT(noticeInk(game->grab()), 200) << "the warning went before 8 s";
      game->click(width() / 2, height() - 4);
      // Shown for 10 s from the end of start-up, after the window opened:
      // gone before that, it went for the click.
      while (secondsSince(game->launchedAt()) < windowAt + 9.8 && noticeInk(game->grab()) > 0) pauseFor(0.05);
      EXPECT_EQ(noticeInk(game->grab()), 0) << "a click left the warning on screen";
    }
    if (size == wider) {
      startSingleRace("Middle");
      if (HasFatalFailure()) return;
      const Frame race = game->grab();
      saveFrame("race_after_screen_size_fallback", race);
      EXPECT_TRUE(hasHudText(race, 0, 0, 150, 70)) << "no race clock at the left";
      EXPECT_TRUE(hasHudText(race, 340, 0, 120, 30, 1)) << "the player's name is not in the middle";
    }
    game->closeWindow();
    ASSERT_TRUE(game->waitForExit(10.0)) << "closing the window did not end the program";
    expectCleanEnd(*game);
    const std::string out = game->out();
    const size_t warning = out.find("(warning)");
    EXPECT_NE(out.find("\"" + game->folder() + "/resources/settings.xml\"", warning), std::string::npos) << out;
    EXPECT_EQ(out.find("(warning)", warning + 1), std::string::npos) << out;
  }
}

// Sound through OpenAL's wave writer: the title music in the menus, the
// three start beeps at their pitches, the race with its engine and music.
TEST_F(GameRun, SoundOfTheMenusTheCountdownAndTheRace) {
  GameSetup setup;
  setup.alsoftConf = WAVE_WRITER;
  start(setup);
  if (HasFatalFailure()) return;
  // The recording starts when the device opens, right after the window.
  const auto now = [&] { return secondsSince(game->launchedAt()) - windowAt; };
  const double menuAt = now();
  startSingleRace("Ada");
  if (HasFatalFailure()) return;
  const double raceAt = now();
  // Past the green light the music plays; "M" mutes it, and what is left
  // is the engine.
  double mutedAt = 0.0;
  driveUntil(*game, ViewColumns{0, width()}, PLAYER1_KEYS, 9.0, [&](const Frame&) {
    if (mutedAt == 0.0 && now() > raceAt + 5.0) {
      game->key("m");
      mutedAt = now();
    }
    return false;
  });
  const double drivenUntil = now();
  game->closeWindow();
  ASSERT_TRUE(game->waitForExit(10.0));
  expectCleanEnd(*game);

  const std::string wav = game->folder() + "/sound.wav";
  const double menu = soundRms(wav, menuAt, 2.0);
  const double race = soundRms(wav, raceAt + 3.5, mutedAt - raceAt - 3.5);
  const double engine = soundRms(wav, mutedAt + 0.5, drivenUntil - mutedAt - 0.5);
  const double waiting = soundRms(wav, raceAt, 0.6);
  std::printf("RMS: menu %.4f, before the first beep %.4f, race with music %.4f, engine alone %.4f\n", menu,
              waiting, race, engine);
  EXPECT_GT(menu, 0.01) << "the menus are silent";
  EXPECT_GT(race, 0.01) << "the race is silent";
  EXPECT_GT(engine, 0.005) << "the engine is silent";
  EXPECT_GT(race, 1.5 * engine) << "the music was not muted";

  // The beeps of the countdown: 528, 704 and 880 Hz, a second apart, each
  // loudest in its own band.
  const double pitches[] = {528.0, 704.0, 880.0};
  std::vector<double> bands[3];
  size_t at[3];
  for (int i = 0; i < 3; ++i) {
    bands[i] = bandLevels(wav, raceAt, 5.5, pitches[i]);
    ASSERT_FALSE(bands[i].empty());
    at[i] = loudest(bands[i]);
    std::printf("beep %.0f Hz: RMS %.4f at %.2f s after the race showed\n", pitches[i], bands[i][at[i]],
                0.05 * at[i]);
    EXPECT_GT(bands[i][at[i]], 0.01) << pitches[i] << " Hz is missing";
  }
  for (int i = 1; i < 3; ++i) EXPECT_NEAR(0.05 * (at[i] - at[i - 1]), 1.0, 0.25) << pitches[i];
  for (int i = 0; i < 2; ++i) EXPECT_GT(bands[i][at[i]], 1.3 * bands[i + 1][at[i]]) << pitches[i];
  for (int i = 1; i < 3; ++i) EXPECT_GT(bands[i][at[i]], 1.3 * bands[i - 1][at[i]]) << pitches[i];
}

// Closing the window, or SIGTERM (a desktop logging out), during a race
// ends the game in order: the race writes back the records it read.
TEST_F(GameRun, ClosingTheWindowOrTerminationDuringARaceKeepsTheRecords) {
  for (const bool terminate : {false, true}) {
    start(GameSetup());
    if (HasFatalFailure()) return;
    korvu_test::writeFile(game->folder() + "/" + STATS_FILE, earlierRecords());
    startSingleRace("Di");
    if (HasFatalFailure()) return;
    std::remove((game->folder() + "/" + STATS_FILE).c_str());
    if (terminate) game->signal(SIGTERM);
    else game->closeWindow();
    ASSERT_TRUE(game->waitForExit(10.0)) << "the program did not end; SIGTERM: " << terminate;
    expectCleanEnd(*game);
    EXPECT_EQ(game->err().find("Termination request. Quitting") != std::string::npos, terminate) << game->err();
    bool ok = false;
    const glimro::TrackStats stats = readStats(game->folder() + "/" + STATS_FILE, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(entryElements(game->file(STATS_FILE)), 20);
    EXPECT_EQ(stats.laptimes.entries[0].name, "Old");
    EXPECT_EQ(stats.tracktimes.entries[0].ticks, 3 * OLD_LAP_MS);
  }
}

// A profile name of 4 MB, as a player's profiles file may come to hold:
// the menus come within seconds (read in small chunks, such a name held a
// black window for over 20 s).
TEST_F(GameRun, AHugeProfileNameDoesNotHoldTheStart) {
  ASSERT_TRUE(x.running());
  GameSetup setup;
  const std::string folder = makeGameFolder(setup);
  const std::string profiles =
      "<profiles><profile name=\"" + std::string(4000000, 'n') + "\"/><profile name=\"Ada\"/></profiles>";
  korvu_test::writeFile(folder + "/profiles.xml", profiles);
  game.reset(new GameSession(folder, setup));
  game->launch();
  ASSERT_TRUE(game->waitForWindow(15.0)) << "no window titled Glimro";
  // The menus take well under a second on a quiet machine.
  const double deadline = 8.0;
  const double left = deadline - secondsSince(game->launchedAt());
  ASSERT_TRUE(left > 0.0 && waitForPanel("pMainMenu", left))
      << "no main menu " << deadline << " s after the launch";
  game->closeWindow();
  ASSERT_TRUE(game->waitForExit(10.0));
  expectCleanEnd(*game);
  // Read, not refused: the file is where it was, and nothing was kept aside.
  EXPECT_EQ(game->file("profiles.xml"), profiles);
  EXPECT_TRUE(game->file("profiles.xml.broken").empty());
}

// Saves that fail are said at the top of the window, and what they held
// is saved at the end. A profile made while another process holds the
// profiles' lock is refused; a best-time file that cannot be written when
// the race is left is named. Once the lock is free, a hangup ends the game
// with the profile saved. The race, left at once, placed no time: nothing
// of it is kept, so the end neither writes the record file again nor calls
// anything lost.
TEST_F(GameRun, FailedSavesAreShownAndMadeAtTheEnd) {
  GameSetup setup;
  // Names its temporaries as the shim gives them, so a folder can take
  // one's place.
  setup.environment = {{"LD_PRELOAD", KORVU_FILESYSTEM_SHIM}, {"KORVU_TEST_PREDICTABLE_NAMES", "1"}};
  start(setup);
  if (HasFatalFailure()) return;
  const std::string stats = game->folder() + "/" + STATS_FILE;
  korvu_test::writeFile(stats, earlierRecords());
  auto profilesHeld = std::make_unique<korvu_test::LockHolder>(game->folder() + "/profiles.xml.lock");
  game->openPanel("bSinglePlayer", "pStartGameMenu1");
  game->createProfile("bNewProfile1", "Di", false);
  // The save waits 2 s for the lock; nothing else is there to show.
  EXPECT_TRUE(waitForOutput("Could not save the profiles to", 6.0)) << game->out();
  const Clock::time_point refused = Clock::now();
  while (secondsSince(refused) < 3.0 && noticeInk(game->grab()) == 0) pauseFor(0.05);
  saveFrame("refused_profile_notice", game->grab());
  EXPECT_GT(noticeInk(game->grab()), 200) << "the refused profile save is not on screen";
  startRace("bStartRace1");
  if (HasFatalFailure()) return;
  EXPECT_EQ(game->file("profiles.xml"), "");
  ASSERT_EQ(mkdir(korvu_test::temporaryOf(stats).c_str(), 0755), 0);
  leaveRace("pStartGameMenu1");
  if (HasFatalFailure()) return;
  const Clock::time_point left = Clock::now();
  while (secondsSince(left) < 5.0 && noticeInk(game->grab()) == 0) pauseFor(0.05);
  saveFrame("failed_save_notice", game->grab());
  EXPECT_GT(noticeInk(game->grab()), 200) << "the failed best-time save is not on screen";
  ASSERT_EQ(rmdir(korvu_test::temporaryOf(stats).c_str()), 0);
  std::remove(stats.c_str());
  profilesHeld.reset();
  game->signal(SIGHUP);
  ASSERT_TRUE(game->waitForExit(10.0)) << "a hangup did not end the program";
  expectCleanEnd(*game);
  EXPECT_EQ(game->out().find("are lost"), std::string::npos) << game->out();
  EXPECT_EQ(game->file(STATS_FILE), "");
  EXPECT_NE(game->file("profiles.xml").find("<profile name=\"Di\"/>"), std::string::npos) << game->out();
}

// A program that dies by a crash's signal fails the wait that sees it, with
// the backtrace of each of its threads and its last lines; one that ends in
// order fails nothing.
TEST(ProgramEnd, ACrashIsExplainedWithTheBacktraceOfEveryThread) {
  for (const bool crash : {true, false}) {
    SCOPED_TRACE(crash ? "crash" : "orderly end");
    GameSetup setup;
    setup.program = CRASHING_STANDIN;
    if (!crash) setup.environment = {{"STANDIN_END", "quit"}};
    GameSession session(makeGameFolder(setup), setup);
    session.launch();
    testing::TestPartResultArray failures;
    bool ended = false;
    {
      testing::ScopedFakeTestPartResultReporter reporter(&failures);
      ended = session.waitForExit(20.0);
    }
    ASSERT_TRUE(ended);
    if (!crash) {
      EXPECT_EQ(failures.size(), 0) << session.failureReport();
      EXPECT_TRUE(session.exited() && session.exitStatus() == 0);
      continue;
    }
    ASSERT_EQ(failures.size(), 1);
    const std::string message = failures.GetTestPartResult(0).message();
    EXPECT_NE(message.find(session.failureReport()), std::string::npos) << message;
    for (const char* said : {"died by signal 6 (Aborted)", "a line on standard output\n",
                             "a line on standard error\nKorvu parachute deployed"})
      EXPECT_NE(message.find(said), std::string::npos) << said << " is not in:\n" << message;
    const size_t elsewhere = message.find("No backtrace: the system's core pattern");
    if (elsewhere != std::string::npos) {
      std::printf("%s", message.substr(elsewhere, message.find('\n', elsewhere) + 1 - elsewhere).c_str());
      continue;
    }
    for (const char* frame : {"corruptedHeapFound", "waitingBeside", "crashingstandin.cpp:"})
      EXPECT_NE(message.find(frame), std::string::npos) << frame << " is not in:\n" << message;
  }
}

// Start-ups that cannot succeed say why and end with a failure status.
TEST_F(GameRun, BrokenStartUpsLogWhyAndFail) {
  struct Case {
    const char* what;
    GameSetup setup;
    const char* expected;  // in the critical line
  };
  GameSetup noGui, noFonts, badSound;
  noGui.omit = {"gui.xml"};
  noFonts.omit = {"fonts"};
  badSound.replace = {{"sounds/beep.ogg", "not a sound at all"}};
  const Case cases[] = {
      {"no GUI description", noGui, "Could not load GUI: Could not open XML file"},
      {"no font folder", noFonts, "Could not load font \"resources/fonts/andromeda30\": Could not open XML file"},
      {"a sound that does not decode", badSound, "resources/sounds/beep.ogg"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(x.running());
    GameSession session(makeGameFolder(c.setup), c.setup);
    session.launch();
    ASSERT_TRUE(session.waitForExit(20.0)) << "the program keeps running";
    ASSERT_TRUE(session.exited()) << session.err();
    EXPECT_NE(session.exitStatus(), 0);
    const std::string out = session.out();
    const size_t critical = out.find("(critical)");
    ASSERT_NE(critical, std::string::npos) << out << session.err();
    EXPECT_NE(out.find(c.expected, critical), std::string::npos) << out;
    EXPECT_EQ(session.err().find("parachute"), std::string::npos) << session.err();
  }

  // Started where there is no X display, or where DISPLAY names one no
  // server answers (a terminal multiplexer keeps that of a session that has
  // ended): said so with SDL's reason, not blamed on the resolution, and
  // before a text-mode driver writes its escapes.
  const struct {
    const char* what;
    const char* display;  // null: DISPLAY unset
    const char* expected;
  } displayCases[] = {
      {"no display", nullptr, "(critical) No display to open a window on: DISPLAY is not set\n"},
      // The tests' servers take the lowest free numbers, from 0 (or 99
      // through xvfb-run) up; none comes near this one.
      {"a display no server answers", ":8931",
       "(critical) Could not open the X display \":8931\": No available video device\n"}};
  for (const auto& c : displayCases) {
    SCOPED_TRACE(c.what);
    if (c.display)
      setenv("DISPLAY", c.display, 1);
    else
      unsetenv("DISPLAY");
    GameSetup setup;
    GameSession session(makeGameFolder(setup), setup);
    session.launch();
    setenv("DISPLAY", x.name.c_str(), 1);
    ASSERT_TRUE(session.waitForExit(20.0)) << "the program keeps running";
    ASSERT_TRUE(session.exited()) << session.err();
    EXPECT_EQ(session.exitStatus(), 1);
    const std::string out = session.out();
    EXPECT_NE(out.find(c.expected), std::string::npos) << out;
    EXPECT_EQ(out.find("resolution"), std::string::npos) << out;
    EXPECT_EQ((out + session.err()).find('\x1b'), std::string::npos) << out << session.err();
  }
}

}  // namespace
}  // namespace glimro_e2e
