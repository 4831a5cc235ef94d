// The game as its Debian package installs it, unpacked into a scratch
// folder instead of installed on the machine, started by its command from
// an empty folder with a scratch home, as a player starts it: the player's
// folder is made under the home, an edited settings file is read and kept,
// a profile lands there, and the start folder stays empty. A player who
// owns nothing of the installation starts it again and again, and with an
// XDG_DATA_HOME of their own.
#include <dirent.h>
#include <glob.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "session.h"

namespace glimro_e2e {
namespace {

std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

bool isLink(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Starts the game and waits for the main menu, does `play` there and
// leaves the game with Escape from the main menu.
void playOnce(const std::string& folder, const GameSetup& setup, const std::function<void(GameSession&)>& play) {
  GameSession game(folder, setup);
  game.launch();
  ASSERT_TRUE(game.waitForWindow(15.0)) << "no window titled Glimro\n" << game.out() << game.err();
  ASSERT_TRUE(game.waitForPicture(15.0)) << "the window stays empty";
  game.restPointer();
  const Frame first = game.grab();
  ASSERT_TRUE(first.width == setup.width && first.height == setup.height)
      << "a window of " << first.width << " by " << first.height << ", not the settings' " << setup.width << " by "
      << setup.height;
  ASSERT_TRUE(game.widget("pMainMenu").found()) << "no main menu in the installed GUI description";
  if (!game.waitForPanel("pMainMenu", 5.0)) {
    saveFrame("installed_no_main_menu", game.grab());
    FAIL() << "no main menu\n" << game.out() << game.err();
  }
  play(game);
  game.key("Escape");
  ASSERT_TRUE(game.waitForExit(10.0)) << "Escape in the main menu did not end the program";
  expectCleanEnd(game);
}

// The package unpacked into <scratch>/unpacked.
void unpackPackage(const std::string& scratch) {
  glob_t found{};
  glob(GLIMRO_PACKAGE_DIR "/glimro_*.deb", 0, nullptr, &found);
  const std::vector<std::string> packages(found.gl_pathv, found.gl_pathv + found.gl_pathc);
  globfree(&found);
  ASSERT_EQ(packages.size(), 1u) << "not one package in " GLIMRO_PACKAGE_DIR;
  ASSERT_EQ(std::system(("dpkg-deb -x '" + packages[0] + "' '" + scratch + "/unpacked'").c_str()), 0);
}

TEST(InstalledGame, KeepsThePlayersFilesInTheirHomeAndNothingWhereItStarts) {
  const std::string scratch = korvu_test::makeTempDir();
  const std::string unpacked = scratch + "/unpacked", start = scratch + "/start", home = scratch + "/home";
  unpackPackage(scratch);
  if (HasFatalFailure()) return;
  mkdir(start.c_str(), 0755);
  // The game's folder gets the test's logs, so it is made first; the
  // command makes what lies below it.
  const std::string folder = home + "/.local/share/glimro";
  ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
  // The scratch home is this program's own, and the game inherits it.
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_DATA_HOME");

  XServer x;
  ASSERT_TRUE(x.running());
  GameSetup setup;
  setup.program = unpacked + "/usr/games/glimro";
  setup.startFolder = start;
  // The shipped settings' window.
  setup.width = 1024;
  setup.height = 768;
  playOnce(folder, setup, [](GameSession&) {});
  if (HasFatalFailure()) return;
  const std::string settings = folder + "/resources/settings.xml";
  EXPECT_FALSE(isLink(settings)) << "the player's settings are not their own copy";
  EXPECT_TRUE(isLink(folder + "/resources/gui.xml")) << "the data is not read from the installed place";

  // The player's edit takes effect at the next start, and stays.
  std::string text = korvu_test::readFile(settings);
  const std::string shipped = "x=\"1024\" y=\"768\"";
  ASSERT_NE(text.find(shipped), std::string::npos) << text;
  text.replace(text.find(shipped), shipped.size(), "x=\"800\" y=\"600\"");
  korvu_test::writeFile(settings, text);
  setup.width = 800;
  setup.height = 600;
  playOnce(folder, setup, [](GameSession& game) {
    game.openPanel("bSinglePlayer", "pStartGameMenu1");
    // Checks that the profile is in the player's folder.
    game.createProfile("bNewProfile1", "Ida");
    game.key("Escape");
    EXPECT_TRUE(game.waitForPanel("pMainMenu", 5.0)) << "Escape did not go back to the main menu";
  });
  EXPECT_EQ(korvu_test::readFile(settings), text);
  EXPECT_TRUE(entries(start).empty()) << "written where the game was started: " << entries(start)[0];
  if (!HasFailure()) std::system(("rm -rf '" + scratch + "'").c_str());
}

// The tests run as root, who may write anywhere. A player may not write the
// installed data: the command must renew its links in the player's folder
// without touching what they point to, at every start, and keep the player's
// folder below an XDG_DATA_HOME of their own.
TEST(InstalledGame, APlayerWhoOwnsNothingOfItStartsItAgainAndAgain) {
  const uid_t player = 65534;  // "nobody"
  const std::string scratch = korvu_test::makeTempDir();
  const std::string home = scratch + "/home", start = scratch + "/start", xdg = scratch + "/xdg";
  const std::string command = scratch + "/as-player";
  unpackPackage(scratch);
  if (HasFatalFailure()) return;
  // The player may pass through the scratch folder but write only the home
  // and the XDG folder; the unpacked tree stays root's and not writable.
  ASSERT_EQ(chmod(scratch.c_str(), 0755), 0);
  mkdir(start.c_str(), 0755);
  const std::string folder = home + "/.local/share/glimro", xdgFolder = xdg + "/glimro";
  ASSERT_EQ(std::system(("mkdir -p '" + folder + "' '" + xdgFolder + "' && chown -R " + std::to_string(player) + ":" +
                         std::to_string(player) + " '" + home + "' '" + xdg + "'")
                            .c_str()),
            0);
  ASSERT_NE(std::system(("setpriv --reuid=" + std::to_string(player) + " --regid=" + std::to_string(player) +
                         " --clear-groups sh -c 'touch \"$0\" 2>/dev/null' '" + scratch + "/unpacked/usr/share/games/glimro/x'")
                            .c_str()),
            0)
      << "the player can write the installed data";
  korvu_test::writeFile(command, "#!/bin/sh\nexec setpriv --reuid=" + std::to_string(player) + " --regid=" +
                                     std::to_string(player) + " --clear-groups '" + scratch +
                                     "/unpacked/usr/games/glimro' \"$@\"\n");
  ASSERT_EQ(chmod(command.c_str(), 0755), 0);
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_DATA_HOME");

  XServer x;
  ASSERT_TRUE(x.running());
  GameSetup setup;
  setup.program = command;
  setup.startFolder = start;
  setup.width = 1024;
  setup.height = 768;
  // The player's own copy of the settings and the links into the data,
  // made by the player.
  const auto expectPlayersFolder = [&](const std::string& where) {
    struct stat st;
    ASSERT_EQ(lstat((where + "/resources/settings.xml").c_str(), &st), 0) << where;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << where;
    EXPECT_EQ(st.st_uid, player) << where;
    EXPECT_TRUE(isLink(where + "/resources/gui.xml")) << where;
  };
  for (int run = 1; run <= 2; run++) {
    SCOPED_TRACE("start " + std::to_string(run));
    playOnce(folder, setup, [](GameSession&) {});
    if (HasFatalFailure()) return;
    expectPlayersFolder(folder);
  }

  setenv("XDG_DATA_HOME", xdg.c_str(), 1);
  playOnce(xdgFolder, setup, [](GameSession&) {});
  unsetenv("XDG_DATA_HOME");
  if (HasFatalFailure()) return;
  expectPlayersFolder(xdgFolder);
  EXPECT_TRUE(entries(start).empty()) << "written where the game was started: " << entries(start)[0];
  if (!HasFailure()) std::system(("rm -rf '" + scratch + "'").c_str());
}

}  // namespace
}  // namespace glimro_e2e
