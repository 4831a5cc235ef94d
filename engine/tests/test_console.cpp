// The console: the word-reading thread over a pipe, and the command parser.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "console.h"

namespace {

using korvu::quilvane::Command;

// A pipe whose ends close with the object unless handed off earlier.
struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() { EXPECT_EQ(0, pipe2(fds, O_CLOEXEC)); }
  ~Pipe() {
    closeWrite();
    closeRead();
  }
  int readEnd() const { return fds[0]; }
  void write(const std::string& text) {
    ASSERT_EQ(static_cast<ssize_t>(text.size()), ::write(fds[1], text.data(), text.size()));
  }
  void closeWrite() {
    if (fds[1] >= 0) close(fds[1]);
    fds[1] = -1;
  }
  void closeRead() {
    if (fds[0] >= 0) close(fds[0]);
    fds[0] = -1;
  }
};

// Waits for a condition the console thread brings about. The bound only
// keeps a broken build from hanging the suite; nothing here is timed.
template <typename Pred>
bool eventually(Pred pred) {
  for (int i = 0; i < 20000; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return pred();
}

// Records every word the reading loop hands over.
class WordConsole : public korvu::ConsoleThread {
 public:
  explicit WordConsole(int fd) : korvu::ConsoleThread(fd) {}
  ~WordConsole() override { stop(); }
  void handleCommand(std::string word) override {
    std::lock_guard<std::mutex> lock(mutex);
    words.push_back(word);
  }
  std::vector<std::string> seen() {
    std::lock_guard<std::mutex> lock(mutex);
    return words;
  }

 private:
  std::mutex mutex;
  std::vector<std::string> words;
};

// Records every executed command; "close" stops the console and "boom"
// fails the way a game command may.
class CommandConsole : public korvu::quilvane::ConsoleThread {
 public:
  CommandConsole() = default;
  explicit CommandConsole(int fd) : korvu::quilvane::ConsoleThread(fd) {}
  ~CommandConsole() override { stop(); }
  void execute(const Command& cmd) override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      commands.push_back(cmd);
    }
    if (cmd.name == "close") running = false;
    if (cmd.name == "boom") throw std::string("boom failed");
  }
  std::vector<Command> seen() {
    std::lock_guard<std::mutex> lock(mutex);
    return commands;
  }
  std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const Command& c : seen()) out.push_back(c.name);
    return out;
  }
  // Hands the words of a text to the parser one by one, as the reading
  // loop does.
  void typeWords(const std::string& text) {
    std::string word;
    for (char ch : text + " ") {
      if (ch == ' ' || ch == '\n' || ch == '\t') {
        if (!word.empty()) handleCommand(word);
        word.clear();
      } else {
        word += ch;
      }
    }
  }

 private:
  std::mutex mutex;
  std::vector<Command> commands;
};

using Strings = std::vector<std::string>;
using Options = std::map<std::string, std::string>;

// ---------------------------------------------------------------------------
// Parser

TEST(ConsoleParser, CommandWithArguments) {
  CommandConsole console;
  console.typeWords("sunpos 10 20 30;");
  auto cmds = console.seen();
  ASSERT_EQ(1u, cmds.size());
  EXPECT_EQ("sunpos", cmds[0].name);
  EXPECT_EQ(Strings({"10", "20", "30"}), cmds[0].args);
  EXPECT_TRUE(cmds[0].options.empty());
  EXPECT_EQ(0, console.state);
  EXPECT_TRUE(console.command.name.empty());
  EXPECT_TRUE(console.command.args.empty());
}

TEST(ConsoleParser, SeveralCommandsInOneWordRunInOrder) {
  CommandConsole console;
  console.typeWords("quit;close;");
  EXPECT_EQ(Strings({"quit", "close"}), console.names());
  auto cmds = console.seen();
  EXPECT_TRUE(cmds[1].args.empty());
}

TEST(ConsoleParser, OptionsAreSortedAndALaterKeyWins) {
  CommandConsole console;
  console.typeWords("cmd speed=5 mode=fast speed=7 x;");
  auto cmds = console.seen();
  ASSERT_EQ(1u, cmds.size());
  EXPECT_EQ(Options({{"mode", "fast"}, {"speed", "7"}}), cmds[0].options);
  EXPECT_EQ(Strings({"x"}), cmds[0].args);
  // The next command starts with no options left over.
  console.typeWords("next;");
  EXPECT_TRUE(console.seen()[1].options.empty());
}

TEST(ConsoleParser, HalfTypedCommandWaitsForItsSemicolon) {
  CommandConsole console;
  console.typeWords("cmd a");
  EXPECT_TRUE(console.seen().empty());
  EXPECT_EQ("cmd", console.command.name);
  console.typeWords("b");
  console.typeWords(";");
  auto cmds = console.seen();
  ASSERT_EQ(1u, cmds.size());
  EXPECT_EQ("cmd", cmds[0].name);
  EXPECT_EQ(Strings({"a", "b"}), cmds[0].args);
}

TEST(ConsoleParser, EmptyCommandsDoNothing) {
  CommandConsole console;
  console.typeWords(";;;");
  console.typeWords("; ;");
  EXPECT_TRUE(console.seen().empty());
  EXPECT_EQ(0, console.state);
  console.typeWords("after;");
  EXPECT_EQ(Strings({"after"}), console.names());
}

TEST(ConsoleParser, OddOptionForms) {
  CommandConsole console;
  console.parse("c =v a=b=c key= k2=;");
  console.parse("a=1;");
  auto cmds = console.seen();
  ASSERT_EQ(2u, cmds.size());
  EXPECT_EQ(Options({{"", "v"}, {"a", "b=c"}, {"key", ""}, {"k2", ""}}), cmds[0].options);
  EXPECT_TRUE(cmds[0].args.empty());
  // A name is never an option.
  EXPECT_EQ("a=1", cmds[1].name);
  EXPECT_TRUE(cmds[1].options.empty());
}

TEST(ConsoleParser, WholeTextWithMixedBlanks) {
  CommandConsole console;
  console.parse("  go\tfast\r\nnow;stop ;");
  auto cmds = console.seen();
  ASSERT_EQ(2u, cmds.size());
  EXPECT_EQ("go", cmds[0].name);
  EXPECT_EQ(Strings({"fast", "now"}), cmds[0].args);
  EXPECT_EQ("stop", cmds[1].name);
}

TEST(ConsoleParser, BytesAboveAsciiAreWordCharacters) {
  CommandConsole console;
  // 0xA0 and 0x85 are blanks in some 8-bit code pages; here they are text.
  console.parse("n\xA0\xE9 a\xFF\x85 k\xC3\xA4=\xA0;");
  auto cmds = console.seen();
  ASSERT_EQ(1u, cmds.size());
  EXPECT_EQ("n\xA0\xE9", cmds[0].name);
  EXPECT_EQ(Strings({"a\xFF\x85"}), cmds[0].args);
  EXPECT_EQ(Options({{"k\xC3\xA4", "\xA0"}}), cmds[0].options);
}

TEST(ConsoleParser, FailingCommandIsNotRunAgain) {
  CommandConsole console;
  EXPECT_THROW(console.parse("boom 1;"), std::string);
  console.parse("ok;");
  EXPECT_EQ(Strings({"boom", "ok"}), console.names());
  EXPECT_TRUE(console.seen()[1].args.empty());
}

TEST(ConsoleParser, UnknownCommandLine) {
  korvu::quilvane::ConsoleThread console;
  testing::internal::CaptureStdout();
  console.handleCommand("nosuchcommand;");
  console.handleCommand(";");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ("?Unknown command \"nosuchcommand\".\n", out);

  // What was typed reaches the terminal as text, never as its escapes.
  testing::internal::CaptureStdout();
  console.handleCommand("\x1b[2J\x1b[31mred\x07;");
  EXPECT_EQ("?Unknown command \"\\x1b[2J\\x1b[31mred\\x07\".\n", testing::internal::GetCapturedStdout());
}

TEST(ConsoleParser, PrintableEscapesControlsAndBrokenBytes) {
  using korvu::quilvane::printable;
  const std::pair<std::string, std::string> cases[] = {
      {"plain words = 1;", "plain words = 1;"},
      {std::string("nul\0tab\tnl\ncr\rdel\x7f", 18), "nul\\x00tab\\x09nl\\x0acr\\x0ddel\\x7f"},
      {"back\\slash", "back\\\\slash"},
      // Well-formed UTF-8 stays as it is: two, three and four bytes.
      {"k\xC3\xA4se \xE2\x82\xAC \xF0\x9F\x98\x80", "k\xC3\xA4se \xE2\x82\xAC \xF0\x9F\x98\x80"},
      // The C1 control CSI, alone and as UTF-8; a lone continuation byte; a
      // sequence cut short, also at the end; overlong "/"; a surrogate.
      {"\x9b" "1m", "\\x9b1m"},
      {"\xC2\x9B" "1m", "\\xc2\\x9b1m"},
      {"\x80 \xE2\x82 \xF0\x9F", "\\x80 \\xe2\\x82 \\xf0\\x9f"},
      {"\xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80", "\\xc0\\xaf \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, printable(c.first)) << c.first;
}

// ---------------------------------------------------------------------------
// Reading loop

TEST(ConsoleLoop, EndOfInputEndsTheLoopWithoutRepeatingAWord) {
  Pipe pipe;
  WordConsole console(pipe.readEnd());
  pipe.write("alpha  beta\t gamma\n\n caf\xC3\xA9 \xA0x last");
  pipe.closeWrite();
  console.start();
  ASSERT_TRUE(eventually([&] { return !console.running; }));
  EXPECT_EQ(Strings({"alpha", "beta", "gamma", "caf\xC3\xA9", "\xA0x", "last"}), console.seen());
}

TEST(ConsoleLoop, EmptyInputEndsAtOnce) {
  Pipe pipe;
  pipe.closeWrite();
  auto* console = new WordConsole(pipe.readEnd());
  console->start();
  ASSERT_TRUE(eventually([&] { return !console->running; }));
  delete console;
}

TEST(ConsoleLoop, UnreadableInputEndsTheLoop) {
  // A descriptor number that is not open.
  int bad = 900;
  while (fcntl(bad, F_GETFD) != -1) ++bad;
  WordConsole console(bad);
  console.start();
  ASSERT_TRUE(eventually([&] { return !console.running; }));
  EXPECT_TRUE(console.seen().empty());
}

TEST(ConsoleLoop, DeletingAWaitingConsoleReturns) {
  Pipe pipe;
  auto* console = new WordConsole(pipe.readEnd());
  console->start();
  pipe.write("one tw");
  ASSERT_TRUE(eventually([&] { return console->seen().size() == 1; }));
  EXPECT_TRUE(console->running);
  // The input stays open and never finishes its word.
  delete console;
  SUCCEED();
}

TEST(ConsoleLoop, DeletingAParserConsoleThatNeverReadReturns) {
  Pipe pipe;
  auto* console = new CommandConsole(pipe.readEnd());
  console->start();
  delete console;
  // Never started at all.
  delete new CommandConsole(pipe.readEnd());
}

TEST(ConsoleLoop, CommandsSpanLinesAndACommandCanStopTheConsole) {
  Pipe pipe;
  CommandConsole console(pipe.readEnd());
  console.start();
  pipe.write("cmd\n;\nsunpos 1\n2 3\n;close; after;");
  ASSERT_TRUE(eventually([&] { return !console.running; }));
  // The loop read no further word after the stopping command.
  EXPECT_EQ(Strings({"cmd", "sunpos", "close"}), console.names());
  EXPECT_EQ(Strings({"1", "2", "3"}), console.seen()[1].args);
}

TEST(ConsoleLoop, FailingCommandIsLoggedAndReadingGoesOn) {
  Pipe pipe;
  CommandConsole console(pipe.readEnd());
  pipe.write("boom; ok;");
  pipe.closeWrite();
  testing::internal::CaptureStdout();
  console.start();
  bool ended = eventually([&] { return !console.running; });
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ended);
  EXPECT_EQ(Strings({"boom", "ok"}), console.names());
  EXPECT_NE(std::string::npos, out.find("boom failed"));
}

TEST(ConsoleLoop, SecondStartKeepsTheFirstThread) {
  Pipe pipe;
  WordConsole console(pipe.readEnd());
  console.start();
  SDL_Thread* first = console.thread;
  testing::internal::CaptureStdout();
  console.start();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(first, console.thread);
  pipe.write("w ");
  ASSERT_TRUE(eventually([&] { return console.seen().size() == 1; }));
}

}  // namespace
