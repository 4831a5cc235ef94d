// Twenty one-player races on the short track one after another in one
// process, as a player runs them: the game's own start-up and resource set,
// the single-player menu and its start button (the triggers the widgets
// push), a few seconds of drawn race frames with the throttle open, Escape
// twice back to the menus, some menu frames. After each race it prints the
// resident memory, the peak so far and where the resident pages lie (the
// heap, other anonymous memory, the renderer's compiler library, the
// renderer, the other libraries), so that whatever a race leaves behind
// shows as growth from race to race. Run from the repository root (the
// resources are read from there) under an X server:
//
//   bench_races [races] [race frames] [track number] [players]
//
// Profiles and last choices go to a temporary folder of their own.
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "controls.h"
#include "gui/dropdownlist.h"
#include "korvu.h"
#include "race/game.h"
#include "shell/commands.h"
#include "shell/resources.h"
#include "shell/shell.h"

namespace {

const unsigned FRAME_MS = 40;

// A field of /proc/self/status in megabytes: "VmRSS:" now, "VmHWM:" the
// peak so far.
double statusMb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size()) / 1024.0;
  return 0.0;
}

// Resident megabytes by kind of mapping.
std::string residentParts() {
  std::ifstream maps("/proc/self/smaps");
  std::string line, kind;
  std::map<std::string, long> kb;
  while (std::getline(maps, line)) {
    const size_t dash = line.find('-');
    if (dash != std::string::npos && dash < 17 && std::isxdigit(static_cast<unsigned char>(line[0]))) {
      size_t at = 0;
      for (int i = 0; i < 5 && at != std::string::npos; ++i) at = line.find(' ', at + 1);
      const size_t name = at == std::string::npos ? std::string::npos : line.find_first_not_of(' ', at);
      const std::string path = name == std::string::npos ? "" : line.substr(name);
      if (path == "[heap]") kind = "heap";
      else if (path.empty()) kind = "anon";
      else if (path.find("libLLVM") != std::string::npos) kind = "llvm";
      else if (path.find("_dri.so") != std::string::npos) kind = "dri";
      else kind = "other";
    } else if (line.rfind("Rss:", 0) == 0) {
      kb[kind] += std::atol(line.c_str() + 4);
    }
  }
  char text[160];
  std::snprintf(text, sizeof text, "heap %.1f, anon %.1f, llvm %.1f, dri %.1f, other %.1f", kb["heap"] / 1024.0,
                kb["anon"] / 1024.0, kb["llvm"] / 1024.0, kb["dri"] / 1024.0, kb["other"] / 1024.0);
  return text;
}

void push(int id) {
  for (auto& entry : glimro::resources->controlQueue->triggers) {
    if (entry.second->id == id) {
      *glimro::resources->controlQueue << entry.second;
      return;
    }
  }
  std::fprintf(stderr, "no trigger %d\n", id);
  std::exit(1);
}

// Selects the item with that id, or the first item for id -1.
void select(const char* list, long id) {
  auto* dropdown = glimro::findComponent<korvu::gui::DropdownList>(list);
  if (!dropdown || !dropdown->items) return;
  for (korvu::gui::ListItem* item : dropdown->items->items) {
    if (id < 0 || item->id == id) {
      dropdown->selectItem(item);
      return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int races = argc > 1 ? std::atoi(argv[1]) : 20;
  const int raceFrames = argc > 2 ? std::atoi(argv[2]) : 150;
  const long track = argc > 3 ? std::atol(argv[3]) : 0;
  const int players = argc > 4 && std::atoi(argv[4]) == 2 ? 2 : 1;

  char root[PATH_MAX];
  if (!getcwd(root, sizeof root)) return 1;
  char dir[] = "/tmp/bench_races.XXXXXX";
  if (!mkdtemp(dir)) return 1;
  if (symlink((std::string(root) + "/resources").c_str(), (std::string(dir) + "/resources").c_str()) != 0 ||
      chdir(dir) != 0) {
    std::perror("bench_races");
    return 1;
  }
  std::ofstream("profiles.xml") << "<profiles><profile name=\"One\"/><profile name=\"Two\"/></profiles>\n";

  glimro::init();
  std::printf("after start-up: resident %.1f MB (%s)\n", statusMb("VmRSS:"), residentParts().c_str());
  for (int i = 0; i < 10; ++i) glimro::runFrame(FRAME_MS);

  double peakInRace = 0.0;
  for (int race = 1; race <= races; ++race) {
    push(players == 1 ? glimro::TRG_SINGLE_PLAYER_GAME : glimro::TRG_MULTIPLAYER_GAME);
    glimro::runFrame(FRAME_MS);
    if (players == 1) {
      select("dlProfile0", -1);
      select("dlTrack1", track);
    } else {
      auto* first = glimro::findComponent<korvu::gui::DropdownList>("dlProfile1");
      auto* second = glimro::findComponent<korvu::gui::DropdownList>("dlProfile2");
      if (first && second && first->items && first->items->items.size() >= 2) {
        first->selectItem(first->items->items.front());
        second->selectItem(first->items->items.back());
      }
      select("dlTrack2", track);
    }
    push(glimro::TRG_START_GAME);
    glimro::runFrame(FRAME_MS);
    if (!glimro::game) {
      std::fprintf(stderr, "race %d did not start\n", race);
      return 1;
    }
    for (int f = 0; f < raceFrames; ++f) {
      for (int p = 0; p < players; ++p) glimro::resources->accelerateAxis[p]->value = 1.0;
      glimro::runFrame(FRAME_MS);
    }
    if (race == 1) {
      peakInRace = statusMb("VmHWM:");
      std::printf("in race 1: resident %.1f MB (%s), peak %.1f MB\n", statusMb("VmRSS:"),
                  residentParts().c_str(), peakInRace);
    }
    push(glimro::TRG_EXIT);
    glimro::runFrame(FRAME_MS);
    push(glimro::TRG_EXIT);
    glimro::runFrame(FRAME_MS);
    if (glimro::game) {
      std::fprintf(stderr, "race %d was not left\n", race);
      return 1;
    }
    for (int f = 0; f < 10; ++f) glimro::runFrame(FRAME_MS);
    std::printf("race %2d: resident %.1f MB (%s), peak %.1f MB\n", race, statusMb("VmRSS:"),
                residentParts().c_str(), statusMb("VmHWM:"));
    std::fflush(stdout);
  }
  glimro::quit(0);
}
