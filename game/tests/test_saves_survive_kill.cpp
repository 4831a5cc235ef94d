// What the game saves (player profiles, last choices, best times) survives
// the process being killed at any moment of a save: every file reads back
// whole, holding either the old or the new content. Two copies of the game
// saving to one folder, one after the other or at the same moment, lose
// none of each other's laps and profiles.
#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "shell/moresettings.h"
#include "common/playerprofile.h"
#include "testsupport.h"
#include "track/layouts.h"
#include "track/trackstats.h"

namespace {

// Two versions of each file, told apart by what they hold.
void fillProfiles(glimro::PlayerProfileBank& bank, int version) {
  bank.clear();
  for (int i = 0; i < 40 + version * 25; ++i) {
    auto* p = new glimro::PlayerProfile();
    p->name = "player " + std::to_string(version) + "/" + std::to_string(i) + " & \"co\"";
    bank += p;
  }
}

glimro::MoreSettings choices(int version) {
  glimro::MoreSettings m;
  m.singleplayer = "single " + std::to_string(version);
  m.multiplayer_1 = "one " + std::to_string(version);
  m.multiplayer_2 = "two " + std::to_string(version);
  return m;
}

glimro::TrackStats stats(int version) {
  glimro::TrackStats s;
  for (int i = 0; i < 10; ++i) {
    s.laptimes.add(glimro::TimeEntry(1000 * (i + 1) + version, "lap" + std::to_string(version)));
    s.tracktimes.add(glimro::TimeEntry(5000 * (i + 1) + version, "race" + std::to_string(version)));
  }
  return s;
}

void saveAll(const std::string& dir, int version) {
  glimro::PlayerProfileBank bank;
  fillProfiles(bank, version);
  bank.save(dir + "/profiles.xml");
  choices(version).save(dir + "/moresettings.xml");
  stats(version).save(dir + "/track_short_stats.xml");
}

// A forked copy of the test process, killed when the test process ends,
// whatever ends it (CTest's time-out, Ctrl-C), so that none outlives the run.
pid_t forkCopy() {
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(2);  // the parent ended before the line above
  }
  return child;
}

// Runs body(copy, wait) in two forked copies started in dir; wait() holds a
// copy until both have reached it, so a copy's checks never return early.
// Gives whether both copies ended without a failed check within a minute;
// a copy still running then (a save that never returns, a copy waiting at
// the barrier for one that ended) is killed. The copies cannot time
// themselves with alarm(): SDL's start in an earlier test of the process
// sets SIGALRM to be ignored, and forked copies inherit that.
bool runTwoCopies(const std::string& dir, const std::function<void(int, const std::function<void()>&)>& body) {
  auto* barrier = static_cast<pthread_barrier_t*>(
      mmap(nullptr, sizeof(pthread_barrier_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  pthread_barrierattr_t attr;
  pthread_barrierattr_init(&attr);
  pthread_barrierattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_barrier_init(barrier, &attr, 2);
  pid_t children[2];
  for (int copy = 0; copy < 2; ++copy) {
    if ((children[copy] = forkCopy()) != 0) continue;
    // An exception must not carry the copy on into the next tests.
    bool failed = true;
    try {
      if (chdir(dir.c_str()) == 0) {
        body(copy, [barrier] { pthread_barrier_wait(barrier); });
        failed = ::testing::Test::HasFailure();
      }
    } catch (...) {
    }
    _exit(failed ? 1 : 0);
  }
  bool ok = children[0] > 0 && children[1] > 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (int copy = 0; copy < 2; ++copy) {
    if (children[copy] <= 0) continue;
    int status = 0;
    pid_t ended;
    while ((ended = waitpid(children[copy], &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
      usleep(10000);
    }
    if (ended == 0) {
      ADD_FAILURE() << "copy " << copy << " did not end within a minute and is killed";
      kill(children[copy], SIGKILL);
      waitpid(children[copy], &status, 0);
    }
    ok = ended == children[copy] && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
  }
  munmap(barrier, sizeof(pthread_barrier_t));
  return ok;
}

int held(const glimro::TimeTable& table, long ticks, const std::string& name) {
  int n = 0;
  for (const glimro::TimeEntry& e : table.entries) n += e.ticks == ticks && e.name == name;
  return n;
}

}  // namespace

TEST(SavesSurviveKill, EveryFileHoldsTheOldOrTheNewContent) {
  const std::string dir = korvu_test::makeTempDir();
  saveAll(dir, 0);
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    const pid_t child = forkCopy();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int version = 1;; version = 1 - version) saveAll(dir, version);
    }
    usleep(1000 + random() % 15000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    // Saves merge with the file: the profiles and times of both versions
    // once the first save of the child is through, the old ones before.
    glimro::PlayerProfileBank bank;
    ASSERT_NO_THROW(bank.load(dir + "/profiles.xml")) << "round " << round;
    EXPECT_TRUE(bank.size() == 40 || bank.size() == 105) << bank.size();
    EXPECT_TRUE(bank.find("player 0/39 & \"co\"") != bank.end());

    glimro::MoreSettings m;
    ASSERT_NO_THROW(m.load(dir + "/moresettings.xml"));
    EXPECT_TRUE(m.singleplayer == "single 0" || m.singleplayer == "single 1") << m.singleplayer;
    EXPECT_EQ(m.multiplayer_2.back(), m.singleplayer.back());

    glimro::TrackStats s;
    ASSERT_NO_THROW(s.load(dir + "/track_short_stats.xml"));
    const long last = s.tracktimes.entries[9].ticks;
    EXPECT_TRUE(last == 50000 || last == 25001) << last;
    EXPECT_EQ(s.laptimes.entries[9].ticks, last == 50000 ? 10000 : 5001);
  }
  // What the killed copies were writing goes with the next save.
  saveAll(dir, 0);
  DIR* folder = opendir(dir.c_str());
  ASSERT_NE(folder, nullptr);
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    EXPECT_TRUE(name.find(".tmp") == std::string::npos && name.find(".live") == std::string::npos) << name;
  }
  closedir(folder);
}

// Round after round both copies read the table as a race does, drive a lap
// and a race, and leave the race: copy 0 first, copy 1 first, or both at the
// same moment. The copy saving later used to write its table over the
// other's times.
TEST(TwoCopiesOnOneFolder, EveryTimeIsKeptWhicheverCopyLeavesTheRaceFirst) {
  EXPECT_TRUE(runTwoCopies(korvu_test::makeTempDir(), [](int copy, const std::function<void()>& wait) {
    for (int round = 0; round < 30; ++round) {
      std::unique_ptr<glimro::Track> track(glimro::createTrack(0));
      track->loadStats();
      // Each round's times are the best yet, so the table holds the last five rounds'.
      auto lap = [round](int c) { return 100000L - 10 * round - c; };
      track->stats.laptimes.add(glimro::TimeEntry(lap(copy), "copy" + std::to_string(copy)));
      track->stats.tracktimes.add(glimro::TimeEntry(lap(copy) * 3, "copy" + std::to_string(copy)));
      const int first = round % 3;  // 2: together
      wait();
      if (copy == first || first == 2) {
        EXPECT_NO_THROW(track->saveStats());
      }
      wait();
      if (copy != first && first != 2) {
        EXPECT_NO_THROW(track->saveStats());
        // Its race-over table shows the other copy's lap.
        EXPECT_EQ(held(track->stats.laptimes, lap(1 - copy), "copy" + std::to_string(1 - copy)), 1);
      }
      wait();
      glimro::TrackStats saved;
      EXPECT_NO_THROW(saved.load("track_short_stats.xml")) << "round " << round;
      for (int r = std::max(0, round - 4); r <= round; ++r) {
        for (int c = 0; c < 2; ++c) {
          const long ticks = 100000L - 10 * r - c;
          EXPECT_EQ(held(saved.laptimes, ticks, "copy" + std::to_string(c)), 1) << "round " << round;
          EXPECT_EQ(held(saved.tracktimes, ticks * 3, "copy" + std::to_string(c)), 1) << "round " << round;
        }
      }
      wait();  // neither reads the next round before both checked this one
    }
  }));
}

// Profiles both copies make round after round, saved at the same moment, all
// stay, and each copy's bank takes in the other's.
TEST(TwoCopiesOnOneFolder, ProfilesMadeInEitherCopyAreAllKept) {
  const std::string dir = korvu_test::makeTempDir();
  const int rounds = 20;
  EXPECT_TRUE(runTwoCopies(dir, [](int copy, const std::function<void()>& wait) {
    glimro::PlayerProfileBank bank;
    bank.loadAtStart("profiles.xml");
    for (int round = 0; round < rounds; ++round) {
      auto* made = new glimro::PlayerProfile();
      made->name = "copy" + std::to_string(copy) + " round" + std::to_string(round);
      bank += made;
      wait();
      EXPECT_NO_THROW(bank.save("profiles.xml"));
    }
    wait();
    EXPECT_NO_THROW(bank.save("profiles.xml"));
    EXPECT_EQ(bank.size(), static_cast<size_t>(2 * rounds));
  }));
  glimro::PlayerProfileBank saved;
  ASSERT_NO_THROW(saved.load(dir + "/profiles.xml"));
  EXPECT_EQ(saved.size(), static_cast<size_t>(2 * rounds));
}
