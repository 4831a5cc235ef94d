#include "session.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace glimro_e2e {

namespace {

// The first line a command prints, without its newline; empty on failure.
std::string firstLine(const std::string& command) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return "";
  char buf[256] = {0};
  std::string line;
  if (std::fgets(buf, sizeof buf, p)) line = buf;
  pclose(p);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

// A window that goes between two requests (the program ending, or a window
// found before it was mapped for good) makes that request fail; Xlib's own
// handler would end the test program instead.
int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

// All that a command prints, standard error included.
std::string commandOutput(const std::string& command) {
  std::string text;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return text;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
  pclose(p);
  return text;
}

std::string lastLines(const std::string& text, int count) {
  size_t from = text.size();
  if (from > 0 && text[from - 1] == '\n') --from;
  for (int i = 0; i < count; ++i) {
    from = from == 0 ? std::string::npos : text.rfind('\n', from - 1);
    if (from == std::string::npos) return text;
  }
  return text.substr(from + 1);
}

// A sanitizer's report on standard error, from its first line on; empty
// where there is none.
std::string sanitizerReport(const std::string& err) {
  size_t at = std::string::npos;
  for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
    at = std::min(at, err.find(mark));
  if (at == std::string::npos) return "";
  at = err.rfind('\n', at);
  return err.substr(at == std::string::npos ? 0 : at + 1);
}

// The signals of a crash, which the end of the program is explained for.
bool crashSignal(int sig) {
  return sig == SIGABRT || sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL;
}

bool isCore(const std::string& path) {
  unsigned char head[18] = {0};
  std::ifstream file(path, std::ios::binary);
  file.read(reinterpret_cast<char*>(head), sizeof head);
  // An ELF file of type 4, a core, written little-endian.
  return file && std::memcmp(head, "\177ELF", 4) == 0 && head[16] == 4 && head[17] == 0;
}

// The backtrace of every thread of a program, as the debugger tells it
// from the arguments given (a program and its core, or a running process);
// it asks for no symbols from outside this machine.
std::string debuggerThreads(const std::string& arguments) {
  const std::string said = commandOutput("gdb -batch -nx -iex 'set debuginfod enabled off' -ex 'set pagination off' "
                                         "-ex 'thread apply all bt' " + arguments);
  std::string trace;
  std::istringstream lines(said);
  bool threads = false;  // the frame the debugger stands in comes again with its thread
  for (std::string line; std::getline(lines, line);) {
    threads = threads || line.compare(0, 7, "Thread ") == 0;
    if ((threads && (line.compare(0, 1, "#") == 0 || line.compare(0, 7, "Thread ") == 0)) ||
        line.compare(0, 18, "Program terminated") == 0)
      trace += line + "\n";
  }
  return trace.empty() ? "No backtrace: the debugger said:\n" + said : trace;
}

// The backtrace of every thread of a program that died in `folder`, from
// the core the system left there, or one line that says why there is none;
// empty where it is not `wanted`. The core is removed in any case.
std::string backtraceFromCore(const std::string& folder, const std::string& program, bool wanted) {
  std::string pattern = korvu_test::readFile("/proc/sys/kernel/core_pattern");
  while (!pattern.empty() && pattern.back() == '\n') pattern.pop_back();
  if (pattern.empty() || pattern[0] == '|' || pattern.find('/') != std::string::npos)
    return !wanted ? "" : "No backtrace: the system's core pattern \"" + pattern +
                              "\" sends cores elsewhere than the game's folder.\n";
  std::string core;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string path = folder + "/" + e->d_name;
      struct stat st;
      if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && isCore(path)) core = path;
    }
    closedir(d);
  }
  if (!wanted) {
    if (!core.empty()) std::remove(core.c_str());
    return "";
  }
  if (core.empty()) {
    rlimit limit{};
    getrlimit(RLIMIT_CORE, &limit);
    return "No backtrace: no core in " + folder + " (the core size limit's hard bound is " +
           (limit.rlim_max == RLIM_INFINITY ? std::string("unlimited") : std::to_string(limit.rlim_max)) + ").\n";
  }
  const std::string trace = debuggerThreads("'" + program + "' '" + core + "'");
  std::remove(core.c_str());
  return "Its threads, from its core:\n" + trace;
}

}  // namespace

void GameSession::explainEnd() {
  const std::string sanitizer = sanitizerReport(err());
  const bool crashed = WIFSIGNALED(status) && crashSignal(WTERMSIG(status));
  if (sanitizer.empty() && !crashed) return;
  if (crashed)
    failure = "The program died by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ").\n";
  const std::string trace =
      backtraceFromCore(gameSetup.startFolder.empty() ? dir : gameSetup.startFolder, executable, sanitizer.empty());
  failure += sanitizer.empty() ? trace : "Its sanitizer's report:\n" + sanitizer;
  failure += "Its last lines on standard output:\n" + lastLines(out(), 20);
  if (sanitizer.empty()) failure += "Its last lines on standard error:\n" + lastLines(err(), 20);
  ADD_FAILURE() << failure;
}

namespace {

bool flat(const Frame& f) {
  if (f.empty()) return true;
  for (size_t i = 3; i < f.rgb.size(); ++i)
    if (f.rgb[i] != f.rgb[i % 3]) return false;
  return true;
}

}  // namespace

void pauseFor(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

XServer::XServer() {
  int fds[2];
  if (pipe(fds) != 0) return;
  pid = fork();
  if (pid == 0) {
    korvu_test::defaultQuitSignals();
    close(fds[0]);
    dup2(fds[1], 9);
    close(fds[1]);
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execlp("Xvfb", "Xvfb", "-displayfd", "9", "-screen", "0", "1280x1024x24", "+extension", "GLX",
           "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  // Xvfb writes its display number once it accepts connections; on a
  // crowded machine its start alone can take more than ten seconds.
  pollfd pfd{fds[0], POLLIN, 0};
  std::string number;
  const Clock::time_point start = Clock::now();
  while (secondsSince(start) < 30.0 && number.find('\n') == std::string::npos) {
    if (poll(&pfd, 1, 100) <= 0) continue;
    char buf[32];
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    number.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    ADD_FAILURE() << "Xvfb did not start";
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
    return;
  }
  name = ":" + number.substr(0, number.find('\n'));
  setenv("DISPLAY", name.c_str(), 1);

  // Before any client starts, so every client reads the changed map.
  if (Display* d = XOpenDisplay(name.c_str())) {
    int low = 0, high = 0, per = 0;
    XDisplayKeycodes(d, &low, &high);
    KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(low), high - low + 1, &per);
    for (int code = high; map && code >= low && hashKey.empty(); --code) {
      bool free = true;
      for (int i = 0; i < per; ++i) free = free && map[(code - low) * per + i] == NoSymbol;
      if (!free) continue;
      KeySym hash = XK_numbersign;
      XChangeKeyboardMapping(d, code, 1, &hash, 1);
      hashKey = std::to_string(code);
    }
    if (map) XFree(map);
    XCloseDisplay(d);
  }
}

XServer::~XServer() { stop(); }

void XServer::stop(int sig) {
  if (pid <= 0) return;
  ::kill(pid, sig);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

namespace {

// Links every entry of `source` into `target`, but makes a real folder of
// each entry that a left-out or replaced path runs through.
void linkTree(const std::string& source, const std::string& target, const std::string& prefix,
              const GameSetup& setup) {
  mkdir(target.c_str(), 0755);
  DIR* d = opendir(source.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const std::string entry = e->d_name;
    const std::string path = prefix + entry;
    if (entry == "." || entry == ".." || path == "settings.xml") continue;
    bool skip = false, descend = false;
    for (const std::string& o : setup.omit) {
      skip = skip || o == path;
      descend = descend || o.compare(0, path.size() + 1, path + "/") == 0;
    }
    for (const auto& r : setup.replace) {
      skip = skip || r.first == path;
      descend = descend || r.first.compare(0, path.size() + 1, path + "/") == 0;
    }
    if (descend) {
      linkTree(source + "/" + entry, target + "/" + entry, path + "/", setup);
    } else if (!skip && symlink((source + "/" + entry).c_str(), (target + "/" + entry).c_str()) != 0) {
      ADD_FAILURE() << "cannot link " << path << ": " << std::strerror(errno);
    }
  }
  closedir(d);
}

}  // namespace

std::string makeGameFolder(const GameSetup& setup) {
  const std::string dir = korvu_test::makeTempDir();
  const std::string target = dir + "/resources";
  linkTree(korvu_test::sourceDir() + "/resources", target, "", setup);
  for (const auto& r : setup.replace) korvu_test::writeFile(target + "/" + r.first, r.second);
  korvu_test::writeFile(target + "/settings.xml",
                        !setup.settings.empty() ? setup.settings :
                        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n"
                        "<settings>\n"
                        "  <resolution fullscreen=\"0\" x=\"" + std::to_string(setup.width) + "\" y=\"" +
                            std::to_string(setup.height) + "\"/>\n"
                        "  <laps value=\"" + std::to_string(setup.laps) + "\"/>\n"
                        "  <sound enabled=\"" + (setup.sound ? "1" : "0") + "\"/>\n"
                        "</settings>\n");
  if (!setup.alsoftConf.empty()) korvu_test::writeFile(dir + "/alsoft.conf", setup.alsoftConf);
  return dir;
}

double frameDifference(const Frame& a, const Frame& b) { return frameDifference(a, b, 0, a.width); }

double frameDifference(const Frame& a, const Frame& b, int x0, int width) {
  if (a.width != b.width || a.height != b.height || a.empty()) return 255.0;
  const int x1 = std::min(x0 + width, a.width);
  if (x1 <= x0) return 0.0;
  double sum = 0.0;
  for (int y = 0; y < a.height; ++y) {
    const uint8_t* p = a.at(x0, y);
    const uint8_t* q = b.at(x0, y);
    for (int i = 0; i < (x1 - x0) * 3; ++i) sum += std::abs(int(p[i]) - int(q[i]));
  }
  return sum / (static_cast<double>(x1 - x0) * a.height * 3);
}

Frame toFrame(const korvu_test::DecodedPng& png) {
  Frame f;
  f.width = png.width;
  f.height = png.height;
  f.rgb.reserve(static_cast<size_t>(png.width) * png.height * 3);
  for (size_t i = 0; i < png.rgba.size(); i += 4) f.rgb.insert(f.rgb.end(), &png.rgba[i], &png.rgba[i] + 3);
  return f;
}

void saveFrame(const std::string& name, const Frame& frame) {
  if (frame.empty()) return;
  std::vector<uint8_t> rgba;
  rgba.reserve(frame.rgb.size() / 3 * 4);
  for (size_t i = 0; i < frame.rgb.size(); i += 3) {
    rgba.insert(rgba.end(), &frame.rgb[i], &frame.rgb[i] + 3);
    rgba.push_back(255);
  }
  korvu_test::writeRgbaPng(std::string(KORVU_ARTIFACT_DIR) + "/e2e_" + name + ".png", frame.width, frame.height,
                           rgba);
}

GameSession::GameSession(const std::string& folder, const GameSetup& setup) : dir(folder), gameSetup(setup) {}

GameSession::~GameSession() {
  kill();
  disconnect();
}

void GameSession::launch() {
  int fds[2];
  if (pipe(fds) != 0) {
    ADD_FAILURE() << "no pipe for the console";
    return;
  }
  const std::string conf =
      gameSetup.alsoftConf.empty() ? korvu_test::sourceDir() + "/engine/tests/alsoft.conf" : dir + "/alsoft.conf";
  const std::string program = gameSetup.program.empty() ? GLIMRO_PROGRAM : gameSetup.program;
  const std::string start = gameSetup.startFolder.empty() ? dir : gameSetup.startFolder;
  const std::string outLog = dir + "/out.log", errLog = dir + "/err.log";
  executable = program;
  launched = Clock::now();
  pid = fork();
  if (pid == 0) {
    korvu_test::defaultQuitSignals();
    if (chdir(start.c_str()) != 0) _exit(126);
    dup2(fds[0], 0);
    close(fds[0]);
    close(fds[1]);
    const int out = open(outLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    // A crash leaves a core for its backtrace.
    rlimit core{};
    getrlimit(RLIMIT_CORE, &core);
    core.rlim_cur = core.rlim_max;
    setrlimit(RLIMIT_CORE, &core);
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    unsetenv("ALSOFT_LOGLEVEL");
    setenv("LP_NUM_THREADS", "2", 0);
    // For a game built with the sanitizers: the renderer's and the sound
    // driver's own leaks, reported at the end from libraries they have
    // unloaded by then, cannot be told from the game's, so leak detection is
    // off for the game alone; and it keeps a core, as any game here does.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(sanitizer ? sanitizer : "") + ":detect_leaks=0:disable_coredump=0").c_str(), 1);
    for (const auto& variable : gameSetup.environment) setenv(variable.first.c_str(), variable.second.c_str(), 1);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[0]);
  input = fds[1];
  // A program that ends early must not take the driver with it.
  ::signal(SIGPIPE, SIG_IGN);
}

bool GameSession::waitForWindow(double timeoutSeconds) {
  const Clock::time_point start = Clock::now();
  while (secondsSince(start) < timeoutSeconds) {
    const std::string id = firstLine("xdotool search --name '^Glimro$' 2>/dev/null");
    if (!id.empty()) {
      // The game itself, where a launcher started it.
      char exe[4096];
      const ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), exe, sizeof exe);
      if (n > 0 && n < static_cast<ssize_t>(sizeof exe)) executable.assign(exe, static_cast<size_t>(n));
      window = std::strtoul(id.c_str(), nullptr, 10);
      if (!display) {
        display = XOpenDisplay(nullptr);
        XSetErrorHandler(ignoreXErrors);
      }
      return display != nullptr;
    }
    if (waitForExit(0.0)) return false;
    pauseFor(0.01);
  }
  return false;
}

bool GameSession::waitForPicture(double timeoutSeconds) {
  const Clock::time_point start = Clock::now();
  while (secondsSince(start) < timeoutSeconds) {
    if (!flat(grab())) return true;
    if (waitForExit(0.0)) return false;
    pauseFor(0.005);
  }
  return false;
}

void GameSession::xdotool(const std::string& args) {
  const std::string command = "xdotool " + args + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) ADD_FAILURE() << "failed: " << command;
}

void GameSession::movePointer(int x, int y) {
  xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y));
}

void GameSession::click(int x, int y) {
  // Move first and let the game see the pointer over the widget, then press.
  movePointer(x, y);
  pauseFor(0.1);
  press();
  pauseFor(0.1);
}

void GameSession::press() { xdotool("click 1"); }

ScreenRect GameSession::widget(const std::string& name) const {
  return widgetRect(dir + "/resources/gui.xml", name, gameSetup.width, gameSetup.height);
}

void GameSession::restPointer() { movePointer(gameSetup.width / 2, gameSetup.height - 4); }

bool GameSession::panelVisible(const Frame& frame, const std::string& panel) const {
  const ScreenRect r = widget(panel);
  if (!r.found() || frame.width < r.left + r.width || frame.height < r.top + r.height) return false;
  // Its left margin, inside the frame's rim and left of every caption,
  // shows the panel's dark blue from top to bottom.
  for (int y = r.top + 16; y < r.top + r.height - 16; y += 4) {
    for (int x = r.left + 12; x < r.left + 24; x += 4) {
      const uint8_t* p = frame.at(x, y);
      if (p[0] > 60 || p[1] > 70 || p[2] > 110 || p[2] < p[0] + 10) return false;
    }
  }
  return true;
}

bool GameSession::waitFor(const std::function<bool(const Frame&)>& shown, double timeoutSeconds) {
  const Clock::time_point start = Clock::now();
  do {
    const Frame f = grab();
    if (!f.empty() && shown(f)) return true;
    pauseFor(0.02);
  } while (secondsSince(start) < timeoutSeconds);
  return false;
}

bool GameSession::waitForPanel(const std::string& panel, double timeoutSeconds) {
  return waitFor([&](const Frame& f) { return panelVisible(f, panel); }, timeoutSeconds);
}

bool GameSession::clickWidget(const std::string& name, const std::function<bool(const Frame&)>& shows,
                              double timeoutSeconds) {
  const ScreenRect r = widget(name);
  if (!r.found()) {
    ADD_FAILURE() << "the GUI has no " << name;
    return false;
  }
  if (waitFor(shows, 0.0)) {
    ADD_FAILURE() << "what a click on " << name << " must show is there before it";
    return false;
  }
  click(r.centreX(), r.centreY());
  restPointer();
  if (waitFor(shows, timeoutSeconds)) return true;
  ADD_FAILURE() << "a click on " << name << " did not show what it must";
  return false;
}

bool GameSession::openPanel(const std::string& button, const std::string& panel) {
  return clickWidget(button, [&](const Frame& f) { return panelVisible(f, panel); });
}

bool GameSession::stepList(const std::string& list) {
  const ScreenRect r = widget(list);
  const Frame before = grab();
  // Hovered or pressed, the list's whole ground changes; at rest again,
  // only the pixels of the old and the new caption differ.
  return clickWidget(list, [&](const Frame& now) {
    if (now.width != before.width || now.height != before.height) return false;
    int changed = 0;
    for (int y = r.top; y < r.top + r.height; ++y)
      for (int x = r.left; x < r.left + r.width; ++x)
        changed += std::memcmp(before.at(x, y), now.at(x, y), 3) != 0;
    return changed >= 20 && changed * 4 < r.width * r.height;
  });
}

namespace {

// The last column of pale text in the left half of the widget, left of the
// game's pointer where it points at the middle; -1 where it shows none.
int textEnd(const Frame& f, const ScreenRect& r) {
  for (int x = r.centreX() - 4; x > r.left + 2; --x)
    for (int y = r.top + 3; y < r.top + r.height - 3; ++y)
      if (f.at(x, y)[0] > 200 && f.at(x, y)[1] > 200 && f.at(x, y)[2] > 200) return x;
  return -1;
}

}  // namespace

void GameSession::createProfile(const std::string& newProfileButton, const std::string& name, bool saved) {
  if (!openPanel(newProfileButton, "pEditProfileMenu")) return;
  // Pointed at, the field takes the keys and shows its focus mark after its
  // text; the name typed moves the mark on by the width the field's font
  // prints it.
  const ScreenRect field = widget("tfProfileName");
  movePointer(field.centreX(), field.centreY());
  int mark = -1;
  if (!waitFor([&](const Frame& f) { return (mark = textEnd(f, field)) >= 0; }, 5.0)) {
    ADD_FAILURE() << "the name field shows no focus mark";
    return;
  }
  type(name);
  const int end = mark + printedWidth(dir + "/resources/fonts/arialblack12", name);
  if (!waitFor([&](const Frame& f) { return std::abs(textEnd(f, field) - end) <= 1; }, 5.0)) {
    ADD_FAILURE() << "the name field does not show " << name << ": its text ends at x " << textEnd(grab(), field)
                  << ", not " << end;
    return;
  }
  // The dialog closes once the profile is stored, and saved if it can be.
  const bool closed = clickWidget("bProfileOk", [&](const Frame& f) { return !panelVisible(f, "pEditProfileMenu"); });
  if (closed && saved && file("profiles.xml").find("name=\"" + name + "\"") == std::string::npos)
    ADD_FAILURE() << "profiles.xml lacks " << name << ":\n" << file("profiles.xml");
}

namespace {

// The X server's test extension, which xdotool presses keys through, called
// in the test's own connection: a process a key costs the driver tens of
// milliseconds and the processor time the game needs on a busy machine.
using FakeKeyEvent = int (*)(Display*, unsigned int, int, unsigned long);
FakeKeyEvent fakeKeyEvent() {
  static FakeKeyEvent fake = [] {
    void* library = dlopen("libXtst.so.6", RTLD_NOW);
    return library ? reinterpret_cast<FakeKeyEvent>(dlsym(library, "XTestFakeKeyEvent")) : nullptr;
  }();
  return fake;
}

}  // namespace

bool GameSession::fakeKey(const std::string& keysym, bool down) {
  if (!display || !fakeKeyEvent()) return false;
  // A key of the server's own, such as the one given "#", comes as its keycode.
  const bool number = keysym.find_first_not_of("0123456789") == std::string::npos;
  const KeyCode code = number ? static_cast<KeyCode>(std::atoi(keysym.c_str()))
                              : XKeysymToKeycode(display, XStringToKeysym(keysym.c_str()));
  if (code == 0) return false;
  fakeKeyEvent()(display, code, down ? True : False, CurrentTime);
  XFlush(display);
  return true;
}

void GameSession::key(const std::string& keysym) {
  if (!fakeKey(keysym, true)) {
    xdotool("key " + keysym);
    return;
  }
  // Held and let go as a hand would: SDL takes a release and a press of one
  // key within 2 ms for the key's auto-repeat and drops both.
  pauseFor(0.012);
  fakeKey(keysym, false);
  pauseFor(0.012);
}
void GameSession::keyDown(const std::string& keysym) {
  if (!fakeKey(keysym, true)) xdotool("keydown " + keysym);
}
void GameSession::keyUp(const std::string& keysym) {
  if (!fakeKey(keysym, false)) xdotool("keyup " + keysym);
}
void GameSession::type(const std::string& text) { xdotool("type --delay 40 '" + text + "'"); }

void GameSession::closeWindow() {
  if (!display || !window) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

void GameSession::destroyWindow() {
  if (!display || !window) return;
  XDestroyWindow(display, window);
  XFlush(display);
}

void GameSession::disconnect() {
  if (display) XCloseDisplay(display);
  display = nullptr;
  window = 0;
}

void GameSession::console(const std::string& words) {
  if (input < 0) return;
  const std::string line = words + "\n";
  if (write(input, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
    ADD_FAILURE() << "the console's input is closed";
}

void GameSession::closeInput() {
  if (input >= 0) close(input);
  input = -1;
}

Frame GameSession::grab() {
  Frame f;
  if (!display || !window) return f;
  // The root window's pixels where the game's window lies: the GL drawing of
  // a child window is part of it.
  XWindowAttributes attrs;
  if (!XGetWindowAttributes(display, window, &attrs)) return f;
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  XImage* image =
      XGetImage(display, DefaultRootWindow(display), x, y, attrs.width, attrs.height, AllPlanes, ZPixmap);
  if (!image) return f;
  f.width = attrs.width;
  f.height = attrs.height;
  f.rgb.resize(static_cast<size_t>(f.width) * f.height * 3);
  uint8_t* p = f.rgb.data();
  // Read the common 32-bit layout straight from memory: a frame a pixel at
  // a time takes the processor time the game needs on a busy machine.
  const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                      image->red_mask == 0xff0000 && image->green_mask == 0xff00 && image->blue_mask == 0xff;
  for (int j = 0; j < f.height; ++j) {
    const uint8_t* row = reinterpret_cast<const uint8_t*>(image->data) + static_cast<size_t>(j) * image->bytes_per_line;
    for (int i = 0; direct && i < f.width; ++i) {
      *p++ = row[4 * i + 2];
      *p++ = row[4 * i + 1];
      *p++ = row[4 * i];
    }
    for (int i = 0; !direct && i < f.width; ++i) {
      const unsigned long pixel = XGetPixel(image, i, j);
      *p++ = static_cast<uint8_t>((pixel & image->red_mask) >> 16);
      *p++ = static_cast<uint8_t>((pixel & image->green_mask) >> 8);
      *p++ = static_cast<uint8_t>(pixel & image->blue_mask);
    }
  }
  XDestroyImage(image);
  return f;
}

korvu_test::DecodedPng GameSession::screenshot(const std::string& name) {
  korvu_test::DecodedPng png;
  const std::string path = dir + "/screenshot.png";
  std::remove(path.c_str());
  key("F12");
  const Clock::time_point start = Clock::now();
  while (secondsSince(start) < 5.0) {
    if (korvu_test::decodePng(path, png)) {
      korvu_test::writeFile(std::string(KORVU_ARTIFACT_DIR) + "/e2e_" + name + ".png", korvu_test::readFile(path));
      return png;
    }
    pauseFor(0.02);
  }
  ADD_FAILURE() << "no screenshot.png for " << name;
  return korvu_test::DecodedPng();
}

bool GameSession::waitForExit(double timeoutSeconds) {
  if (ended) return true;
  if (pid <= 0) return false;
  const Clock::time_point start = Clock::now();
  do {
    rusage usage{};
    const pid_t r = wait4(pid, &status, WNOHANG, &usage);
    if (r == pid) {
      ended = true;
      maxRss = usage.ru_maxrss;
      closeInput();
      explainEnd();
      return true;
    }
    if (timeoutSeconds > 0.0) pauseFor(0.01);
  } while (secondsSince(start) < timeoutSeconds);
  return false;
}

void GameSession::signal(int sig) {
  if (pid > 0 && !ended) ::kill(pid, sig);
}

void GameSession::kill() {
  if (pid > 0 && !ended) {
    ::kill(pid, SIGKILL);
    waitForExit(5.0);
  }
  closeInput();
}

std::string GameSession::out() const { return file("out.log"); }
std::string GameSession::err() const { return file("err.log"); }
std::string GameSession::file(const std::string& name) const { return korvu_test::readFile(dir + "/" + name); }

void expectCleanEnd(const GameSession& session) {
  EXPECT_TRUE(session.exited()) << "the program did not end by itself\n" << session.err();
  if (session.exited()) {
    EXPECT_EQ(session.exitStatus(), 0) << session.out() << session.err();
  }
  EXPECT_EQ(session.out().find("(critical)"), std::string::npos) << session.out();
  EXPECT_EQ(session.err().find("parachute"), std::string::npos) << session.err();
}

std::string GameSession::processState() const {
  if (!running()) return "not running";
  const std::string proc = "/proc/" + std::to_string(pid);
  // After the name in parentheses: state, then utime and stime as the
  // 12th and 13th fields.
  const std::string stat = korvu_test::readFile(proc + "/stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return "unknown";
  char state = '?';
  unsigned long user = 0, system = 0;
  std::sscanf(stat.c_str() + close + 1, " %c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &state, &user,
              &system);
  char text[160];
  std::snprintf(text, sizeof text, "state %c, %.2f s of processor time, waiting in \"%s\"", state,
                double(user + system) / double(sysconf(_SC_CLK_TCK)), korvu_test::readFile(proc + "/wchan").c_str());
  return text;
}

std::string GameSession::threads() const {
  return running() ? debuggerThreads("-p " + std::to_string(pid)) : "not running";
}

long GameSession::privateKb() const {
  if (!running()) return 0;
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string key;
  long kb = 0, total = 0;
  while (rollup >> key) {
    if (key == "Private_Clean:" || key == "Private_Dirty:") {
      rollup >> kb;
      total += kb;
    }
  }
  return total;
}

}  // namespace glimro_e2e
