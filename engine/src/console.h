// The console: a thread that reads white-space-separated words from standard
// input, and a parser on top of it that turns the words into commands made of
// a name, arguments and key=value options, each ended by ";".
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <vector>

struct SDL_Thread;

namespace korvu {

class ConsoleThread;

// Body of the console thread: runs the reading loop of the given console.
int doConsoleThread(void* console);

class ConsoleThread {
 public:
  // The reading thread, null until start.
  SDL_Thread* thread;
  // The reading loop runs while this is true. The loop clears it when its
  // input ends or fails; the owner polls it to see whether the console has
  // stopped.
  std::atomic<bool> running;
  // The thread's exit status, filled when the destructor waits for it.
  int status;

  ConsoleThread();
  // Clears running and waits for the thread; the wait does not depend on
  // input arriving.
  virtual ~ConsoleThread();

  // Sets running and starts the reading thread. Throws std::string when the
  // thread cannot be created. A console that is already started is left
  // as it is.
  void start();

  // Receives each word read, on the console thread.
  virtual void handleCommand(std::string word) = 0;

 protected:
  // Reads from the given file descriptor instead of standard input. The
  // descriptor stays the caller's: the console never closes it.
  explicit ConsoleThread(int inputFd);

  // Clears running, wakes the reading thread and waits for it to end.
  // Idempotent. A subclass whose own state handleCommand touches calls it
  // first thing in its destructor, so the thread never works on a partly
  // destroyed object.
  void stop();

 private:
  friend int doConsoleThread(void* console);

  ConsoleThread(const ConsoleThread&) = delete;
  ConsoleThread& operator=(const ConsoleThread&) = delete;

  int readLoop();
  // Reads the next word into word; false when there is none (the input
  // ended or failed, or the console was stopped). Sets atEnd once the input
  // has ended or failed, also when a word cut short by that is returned.
  bool readWord(std::string& word, bool& atEnd);
  // Waits until the input has a byte to read or the console is woken.
  // False when woken or when waiting failed.
  bool waitForInput();

  int inputFd;
  // Self-pipe that stop() writes to so a blocked wait returns at once.
  int wakeFds[2];
};

namespace quilvane {

struct Command {
  std::string name;
  // Sorted by key; a later option with the same key replaces the value.
  std::map<std::string, std::string> options;
  // The plain words after the name, in the order typed.
  std::vector<std::string> args;
};

// Console input as it may be written to a terminal: control characters,
// DEL and bytes that are not well-formed UTF-8 (or encode a C1 control)
// become \xNN, a backslash becomes \\, and the rest is copied unchanged.
std::string printable(const std::string& text);

class ConsoleThread : public korvu::ConsoleThread {
 public:
  // The command being built; survives between words until its ";".
  Command command;
  // Parser state: 0 before a command, 1 reading the name, 2 between words,
  // 3 reading a word, 4 reading an option value.
  int state;

  ConsoleThread();
  ~ConsoleThread() override;

  // Feeds the word to the parser.
  void handleCommand(std::string word) override;
  // Writes the unknown-command line, with the name as printable gives it,
  // on standard output.
  virtual void unrecognizedCommand(const Command& cmd);
  // Called on the console thread for every finished command with a name.
  // By default every command is unknown.
  virtual void execute(const Command& cmd);

  // Runs the parser over text, character by character; the parser state
  // carries over between calls.
  void parse(std::string text);

 protected:
  explicit ConsoleThread(int inputFd);
};

}  // namespace quilvane
}  // namespace korvu
