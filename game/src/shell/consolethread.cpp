#include "shell/consolethread.h"

#include <cstdio>
#include <cstdlib>

#include "debug.h"
#include "ddd/light.h"
#include "race/game.h"
#include "race/glimro.h"
#include "shell/globalcommands.h"
#include "korvu.h"

namespace glimro {

const std::string CMD_QUIT = "quit";
const std::string CMD_CLOSE = "close";
const std::string CMD_FULLSCREEN = "fullscreen";
const std::string CMD_SUNPOS = "sunpos";
const std::string CMD_ROTATEZ = "rotatez";

ConsoleThread::ConsoleThread() = default;

ConsoleThread::ConsoleThread(int inputFd) : korvu::quilvane::ConsoleThread(inputFd) {}

ConsoleThread::~ConsoleThread() {
  // The reading thread calls execute, which uses the queue: end it first.
  stop();
}

void ConsoleThread::execute(const korvu::quilvane::Command& cmd) {
  if (cmd.name == CMD_QUIT) {
    terminate = true;
    running = false;
  } else if (cmd.name == CMD_CLOSE) {
    running = false;
  } else if (cmd.name == CMD_FULLSCREEN) {
    std::lock_guard<std::mutex> lock(mutex);
    pending.push_back(cmd);
    running = false;
  } else if (cmd.name == CMD_SUNPOS) {
    if (cmd.args.size() != 3) {
      std::printf("Usage: sunpos x y z\n");
      std::fflush(stdout);
      return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    pending.push_back(cmd);
  } else if (cmd.name == CMD_ROTATEZ) {
    std::lock_guard<std::mutex> lock(mutex);
    pending.push_back(cmd);
  } else {
    unrecognizedCommand(cmd);
  }
}

void ConsoleThread::performPending() {
  std::vector<korvu::quilvane::Command> commands;
  {
    std::lock_guard<std::mutex> lock(mutex);
    commands.swap(pending);
  }
  for (const korvu::quilvane::Command& cmd : commands) {
    if (cmd.name == CMD_FULLSCREEN) {
      toggleFullscreen();
    } else if (cmd.name == CMD_SUNPOS) {
      if (!game || !game->sun) continue;
      korvu::Vector3D& position = game->sun->position;
      position.x = static_cast<float>(std::strtod(cmd.args[0].c_str(), nullptr));
      position.y = static_cast<float>(std::strtod(cmd.args[1].c_str(), nullptr));
      position.z = static_cast<float>(std::strtod(cmd.args[2].c_str(), nullptr));
    } else if (cmd.name == CMD_ROTATEZ) {
      if (!game || game->players.empty() || !game->players[0]) continue;
      game->players[0]->rotate(10.0f, korvu::Vector3D(0.0f, 0.0f, 1.0f));
    }
  }
}

}  // namespace glimro
