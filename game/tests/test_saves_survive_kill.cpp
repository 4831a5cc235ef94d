// What the game saves (player profiles, last choices, best times) survives
// the process being killed at any moment of a save: every file reads back
// whole, holding either the old or the new content.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <string>

#include "shell/moresettings.h"
#include "common/playerprofile.h"
#include "testsupport.h"
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

    glimro::PlayerProfileBank bank;
    ASSERT_NO_THROW(bank.load(dir + "/profiles.xml")) << "round " << round;
    EXPECT_TRUE(bank.size() == 40 || bank.size() == 65) << bank.size();
    const int version = bank.size() == 40 ? 0 : 1;
    EXPECT_TRUE(bank.find("player " + std::to_string(version) + "/0 & \"co\"") != bank.end());

    glimro::MoreSettings m;
    ASSERT_NO_THROW(m.load(dir + "/moresettings.xml"));
    EXPECT_TRUE(m.singleplayer == "single 0" || m.singleplayer == "single 1") << m.singleplayer;
    EXPECT_EQ(m.multiplayer_2.back(), m.singleplayer.back());

    glimro::TrackStats s;
    ASSERT_NO_THROW(s.load(dir + "/track_short_stats.xml"));
    const long last = s.tracktimes.entries[9].ticks;
    EXPECT_TRUE(last == 50000 || last == 50001) << last;
    EXPECT_EQ(s.laptimes.entries[9].ticks % 2, last % 2);
  }
}
