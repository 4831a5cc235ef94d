#include "console.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <SDL/SDL_error.h>
#include <SDL/SDL_thread.h>

#include "debug.h"

namespace korvu {

namespace {

// How long one wait for input lasts when the wake-up pipe could not be made;
// the loop then looks at running between waits.
const int FALLBACK_POLL_MS = 50;

bool isBlank(unsigned char c) { return std::isspace(c) != 0; }

// The length of the well-formed UTF-8 sequence at text[i] that encodes a
// printable character, or 0: overlong forms, surrogates, code points past
// U+10FFFF and the C1 controls (U+0080 to U+009F, which some terminals
// obey as escapes) do not count.
size_t printableSequence(const std::string& text, size_t i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length;
  unsigned codePoint;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; k++) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (codePoint < smallest[length] || codePoint > 0x10FFFF) return 0;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return 0;
  if (codePoint <= 0x9F) return 0;
  return length;
}

}  // namespace

int doConsoleThread(void* console) {
  return static_cast<ConsoleThread*>(console)->readLoop();
}

ConsoleThread::ConsoleThread() : ConsoleThread(STDIN_FILENO) {}

ConsoleThread::ConsoleThread(int fd)
    : thread(nullptr), running(false), status(0), inputFd(fd), wakeFds{-1, -1} {
  if (pipe2(wakeFds, O_CLOEXEC) != 0) {
    debug::warning(dbgCore, "Console cannot make its wake-up pipe: %s", std::strerror(errno));
    wakeFds[0] = wakeFds[1] = -1;
  }
}

ConsoleThread::~ConsoleThread() {
  stop();
  for (int& fd : wakeFds) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void ConsoleThread::start() {
  if (thread) {
    debug::warning(dbgCore, "Console thread is already started.");
    return;
  }
  running = true;
  thread = SDL_CreateThread(doConsoleThread, this);
  if (!thread) {
    running = false;
    throw std::string("Could not start the console thread: ") + SDL_GetError();
  }
}

void ConsoleThread::stop() {
  running = false;
  if (!thread) return;
  if (SDL_GetThreadID(thread) == SDL_ThreadID()) {
    // Called from the reading thread itself: it ends after the current word.
    return;
  }
  if (wakeFds[1] >= 0) {
    const char byte = 1;
    ssize_t n;
    do {
      n = write(wakeFds[1], &byte, 1);
    } while (n < 0 && errno == EINTR);
  }
  SDL_WaitThread(thread, &status);
  thread = nullptr;
}

bool ConsoleThread::waitForInput() {
  pollfd fds[2];
  fds[0].fd = inputFd;
  fds[0].events = POLLIN;
  fds[0].revents = 0;
  fds[1].fd = wakeFds[0];
  fds[1].events = POLLIN;
  fds[1].revents = 0;
  const nfds_t count = wakeFds[0] >= 0 ? 2 : 1;
  const int timeout = wakeFds[0] >= 0 ? -1 : FALLBACK_POLL_MS;

  while (running) {
    int r = poll(fds, count, timeout);
    if (r < 0) {
      if (errno == EINTR) continue;
      debug::error(dbgCore, "Console cannot wait for input: %s", std::strerror(errno));
      return false;
    }
    if (r == 0) continue;  // fallback timeout: look at running again
    if (count == 2 && fds[1].revents) return false;
    if (fds[0].revents & POLLNVAL) {
      debug::error(dbgCore, "Console input is not an open file.");
      return false;
    }
    // Readable, hung up or failed: the read tells which.
    if (fds[0].revents) return true;
  }
  return false;
}

bool ConsoleThread::readWord(std::string& word, bool& atEnd) {
  word.clear();
  while (running) {
    if (!waitForInput()) return false;
    unsigned char c;
    ssize_t n = read(inputFd, &c, 1);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      debug::error(dbgCore, "Console cannot read its input: %s", std::strerror(errno));
      atEnd = true;
      return !word.empty();
    }
    if (n == 0) {
      // End of input: a word cut off by it still counts.
      atEnd = true;
      return !word.empty();
    }
    if (isBlank(c)) {
      if (!word.empty()) return true;
      continue;
    }
    word.push_back(static_cast<char>(c));
  }
  return false;
}

int ConsoleThread::readLoop() {
  bool atEnd = false;
  std::string word;
  while (running && !atEnd) {
    if (!readWord(word, atEnd)) break;
    if (!running) break;
    try {
      handleCommand(word);
    } catch (const std::string& msg) {
      debug::error(dbgCore, "%s", msg.c_str());
    } catch (const std::exception& e) {
      debug::error(dbgCore, "%s", e.what());
    }
  }
  running = false;
  return 0;
}

namespace quilvane {

std::string printable(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string shown;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      shown += "\\\\";
      i++;
    } else if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
      i++;
    } else if (const size_t length = c >= 0x80 ? printableSequence(text, i) : 0) {
      shown.append(text, i, length);
      i += length;
    } else {
      shown += "\\x";
      shown += digits[c >> 4];
      shown += digits[c & 0x0F];
      i++;
    }
  }
  return shown;
}

ConsoleThread::ConsoleThread() : korvu::ConsoleThread(), state(0) {}

ConsoleThread::ConsoleThread(int inputFd) : korvu::ConsoleThread(inputFd), state(0) {}

ConsoleThread::~ConsoleThread() {
  // The reading thread must be gone before the command it fills is destroyed.
  stop();
}

void ConsoleThread::handleCommand(std::string word) { parse(word); }

void ConsoleThread::unrecognizedCommand(const Command& cmd) {
  // The name is shown escaped, so that what was typed cannot move the
  // terminal's cursor or change its state.
  std::printf("?Unknown command \"%s\".\n", printable(cmd.name).c_str());
  std::fflush(stdout);
}

void ConsoleThread::execute(const Command& cmd) { unrecognizedCommand(cmd); }

void ConsoleThread::parse(std::string text) {
  // The extra blank ends the last word, so word and value are always
  // empty again when the call returns.
  text += ' ';
  std::string word;
  std::string value;
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    const bool blank = isBlank(c);
    switch (state) {
      default:
        state = 0;
        [[fallthrough]];
      case 0:
        if (blank) break;
        state = 1;
        [[fallthrough]];
      case 1:
        if (c == ';')
          state = 0;
        else if (blank)
          state = 2;
        else
          command.name += ch;
        break;
      case 2:
        if (blank) break;
        state = 3;
        [[fallthrough]];
      case 3:
        if (c == ';' || blank) {
          if (!word.empty()) command.args.push_back(word);
          word.clear();
          state = blank ? 2 : 0;
        } else if (c == '=') {
          state = 4;
        } else {
          word += ch;
        }
        break;
      case 4:
        if (c == ';' || blank) {
          command.options[word] = value;
          word.clear();
          value.clear();
          state = blank ? 2 : 0;
        } else {
          value += ch;
        }
        break;
    }
    if (state == 0 && !command.name.empty()) {
      // Cleared before it runs, so a command that throws is not run again.
      Command finished;
      finished.name.swap(command.name);
      finished.options.swap(command.options);
      finished.args.swap(command.args);
      execute(finished);
    }
  }
}

}  // namespace quilvane
}  // namespace korvu
