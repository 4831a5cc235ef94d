// What the game saves (player profiles, last choices, best times) survives
// the process being killed at any moment of a save: every file reads back
// whole, holding either the old or the new content. Two copies of the game
// saving to one folder, one after the other or at the same moment, lose
// none of each other's laps and profiles.
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

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

// Runs body(copy, wait) in `copies` forked processes started in dir; wait()
// holds each copy until all have reached it, so a copy's checks never
// return early. Gives whether every copy ended without a failed check.
bool runCopies(const std::string& dir, int copies, const std::function<void(int, const std::function<void()>&)>& body) {
  void* shared = mmap(nullptr, sizeof(pthread_barrier_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return false;
  pthread_barrier_t* barrier = static_cast<pthread_barrier_t*>(shared);
  pthread_barrierattr_t attr;
  pthread_barrierattr_init(&attr);
  pthread_barrierattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_barrier_init(barrier, &attr, static_cast<unsigned>(copies));
  std::vector<pid_t> children;
  for (int copy = 0; copy < copies; ++copy) {
    const pid_t child = fork();
    if (child == 0) {
      // A copy that never reaches the barrier must not hold the others for ever.
      alarm(120);
      if (chdir(dir.c_str()) != 0) _exit(2);
      body(copy, [barrier] { pthread_barrier_wait(barrier); });
      _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    children.push_back(child);
  }
  bool ok = true;
  for (pid_t child : children) {
    int status = 0;
    ok = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
  }
  pthread_barrier_destroy(barrier);
  munmap(shared, sizeof(pthread_barrier_t));
  return ok;
}

// How often the table holds the entry.
int held(const glimro::TimeTable& table, long ticks, const std::string& name) {
  int n = 0;
  for (const glimro::TimeEntry& e : table.entries) n += e.ticks == ticks && e.name == name;
  return n;
}

// A lap of the copy as the race files it and the end of the race saves it:
// the track's own load, add and save.
std::unique_ptr<glimro::Track> loadedTrack() {
  std::unique_ptr<glimro::Track> track(glimro::createTrack(0));
  track->loadStats();
  return track;
}

}  // namespace

TEST(SavesSurviveKill, EveryFileHoldsTheOldOrTheNewContent) {
  const std::string dir = korvu_test::makeTempDir();
  saveAll(dir, 0);
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    const pid_t child = fork();
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
}

// Both copies read the table before either saves; the one saving second
// used to write its own table over the first one's lap.
TEST(TwoCopiesOnOneFolder, BothLapsAreKeptWhicheverCopyLeavesTheRaceFirst) {
  for (int first = 0; first < 2; ++first) {
    const std::string dir = korvu_test::makeTempDir();
    glimro::TrackStats old;
    for (int i = 0; i < 9; ++i) old.laptimes.add(glimro::TimeEntry(40000 + 1000 * i, "old" + std::to_string(i)));
    old.tracktimes.add(glimro::TimeEntry(200000, "race"));
    old.save(dir + "/track_short_stats.xml");

    EXPECT_TRUE(runCopies(dir, 2, [first](int copy, const std::function<void()>& wait) {
      std::unique_ptr<glimro::Track> track = loadedTrack();
      wait();  // both have read the file
      track->stats.laptimes.add(glimro::TimeEntry(30000 + copy, "copy" + std::to_string(copy)));
      if (copy == first) {
        EXPECT_TRUE(track->saveStats());
      }
      wait();
      if (copy != first) {
        EXPECT_TRUE(track->saveStats());
        // The copy saving second shows the other's lap on its race-over panel.
        EXPECT_EQ(held(track->stats.laptimes, 30000 + first, "copy" + std::to_string(first)), 1);
      }
    })) << "copy " << first << " saving first";

    glimro::TrackStats saved;
    ASSERT_NO_THROW(saved.load(dir + "/track_short_stats.xml"));
    EXPECT_EQ(held(saved.laptimes, 30000, "copy0"), 1);
    EXPECT_EQ(held(saved.laptimes, 30001, "copy1"), 1);
    // The ten best, each once: the old eighth is the last, the ninth fell away.
    for (int i = 0; i < 8; ++i) EXPECT_EQ(held(saved.laptimes, 40000 + 1000 * i, "old" + std::to_string(i)), 1);
    EXPECT_EQ(saved.laptimes.entries[9].ticks, 47000);
    EXPECT_EQ(held(saved.tracktimes, 200000, "race"), 1);
    EXPECT_EQ(saved.tracktimes.entries[1].ticks, 0);
  }
}

// Round after round both copies read, drive a lap and a race and save at
// the same moment: the file stays readable and no time is lost.
TEST(TwoCopiesOnOneFolder, TimesSavedAtTheSameMomentAreAllKept) {
  const std::string dir = korvu_test::makeTempDir();
  const int rounds = 25;
  EXPECT_TRUE(runCopies(dir, 2, [](int copy, const std::function<void()>& wait) {
    for (int round = 0; round < rounds; ++round) {
      std::unique_ptr<glimro::Track> track = loadedTrack();
      // Each round's times are the best yet, so the table holds the last five rounds.
      const long lap = 100000 - 10 * round - copy;
      track->stats.laptimes.add(glimro::TimeEntry(lap, "copy" + std::to_string(copy)));
      track->stats.tracktimes.add(glimro::TimeEntry(lap * 3, "copy" + std::to_string(copy)));
      wait();
      EXPECT_TRUE(track->saveStats());
      wait();
      glimro::TrackStats saved;
      EXPECT_NO_THROW(saved.load("track_short_stats.xml")) << "round " << round;
      for (int back = 0; back <= round && back < 5; ++back) {
        for (int c = 0; c < 2; ++c) {
          const long ticks = 100000 - 10 * (round - back) - c;
          EXPECT_EQ(held(saved.laptimes, ticks, "copy" + std::to_string(c)), 1) << "round " << round;
          EXPECT_EQ(held(saved.tracktimes, ticks * 3, "copy" + std::to_string(c)), 1) << "round " << round;
        }
      }
      wait();  // neither reads the next round before both checked this one
    }
  }));
}

// Profiles made in either copy, one after the other or at the same moment,
// all stay; a rename in one copy drops the old name the other copy did not
// touch.
TEST(TwoCopiesOnOneFolder, ProfilesMadeInEitherCopyAreAllKept) {
  const std::string dir = korvu_test::makeTempDir();
  korvu_test::writeFile(dir + "/profiles.xml", "<profiles><profile name=\"Ann\"/></profiles>");
  const int rounds = 20;
  EXPECT_TRUE(runCopies(dir, 2, [](int copy, const std::function<void()>& wait) {
    glimro::PlayerProfileBank bank;
    bank.loadOrKeepAside("profiles.xml");
    for (int round = 0; round < rounds; ++round) {
      auto* made = new glimro::PlayerProfile();
      made->name = "copy" + std::to_string(copy) + " round" + std::to_string(round);
      bank += made;
      wait();
      EXPECT_NO_THROW(bank.save("profiles.xml"));
      wait();
    }
    // The copy's bank took in the other's profiles as it saved.
    EXPECT_GE(bank.size(), static_cast<size_t>(2 * rounds));

    // Copy 1 makes "Bo" and saves; copy 0 then renames Ann and saves.
    if (copy == 1) {
      auto* bo = new glimro::PlayerProfile();
      bo->name = "Bo";
      bank += bo;
      EXPECT_NO_THROW(bank.save("profiles.xml"));
    }
    wait();
    if (copy == 0) {
      glimro::PlayerProfile* ann = bank["Ann"];
      bank -= ann;
      ann->name = "Anna";
      bank += ann;
      EXPECT_NO_THROW(bank.save("profiles.xml"));
      EXPECT_NE(bank.find("Bo"), bank.end());
    }
  }));

  glimro::PlayerProfileBank saved;
  ASSERT_NO_THROW(saved.load(dir + "/profiles.xml"));
  for (int round = 0; round < rounds; ++round) {
    for (int copy = 0; copy < 2; ++copy)
      EXPECT_NE(saved.find("copy" + std::to_string(copy) + " round" + std::to_string(round)), saved.end());
  }
  EXPECT_NE(saved.find("Bo"), saved.end());
  EXPECT_NE(saved.find("Anna"), saved.end());
  EXPECT_EQ(saved.find("Ann"), saved.end());
  EXPECT_EQ(saved.size(), static_cast<size_t>(2 * rounds + 2));
}
