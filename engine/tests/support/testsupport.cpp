#include "testsupport.h"

#include <GL/gl.h>
#include <SDL.h>
#include <dlfcn.h>
#include <link.h>
#include <png.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "ddd/pipeline.h"
#include "korvu.h"
#include "rendercontext.h"

namespace korvu_test {

std::string sourceDir() { return KORVU_SOURCE_DIR; }

std::string makeTempDir() {
  std::string templ = std::string(KORVU_TEST_WORKDIR) + "/tmp-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) {
    ADD_FAILURE() << "mkdtemp failed for " << templ;
    return KORVU_TEST_WORKDIR;
  }
  return std::string(buf.data());
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::vector<uint8_t> readPixels(int x, int y, int width, int height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

void writeRgbaPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgbaTopDown) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    ADD_FAILURE() << "cannot write " << path;
    return;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    ADD_FAILURE() << "libpng failed on " << path;
    return;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    png_write_row(png, const_cast<png_bytep>(&rgbaTopDown[static_cast<size_t>(y) * width * 4]));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

void saveArtifact(const std::string& name, int width, int height,
                  const std::vector<uint8_t>& rgbaBottomUp) {
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  std::vector<uint8_t> topDown(rgbaBottomUp.size());
  for (int y = 0; y < height; ++y) {
    std::memcpy(&topDown[static_cast<size_t>(y) * rowBytes],
                &rgbaBottomUp[static_cast<size_t>(height - 1 - y) * rowBytes], rowBytes);
  }
  writeRgbaPng(std::string(KORVU_ARTIFACT_DIR) + "/" + name + ".png", width, height, topDown);
}

void saveWindowArtifact(const std::string& name) {
  SDL_Surface* s = SDL_GetVideoSurface();
  if (!s) return;
  saveArtifact(name, s->w, s->h, readPixels(0, 0, s->w, s->h));
}

bool decodePng(const std::string& path, DecodedPng& out) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  // The header fields straight from the file.
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f) {
    unsigned char hdr[33];
    if (std::fread(hdr, 1, 33, f) == 33) {
      out.bitDepth = hdr[24];
      out.colorType = hdr[25];
      out.interlace = hdr[28];
    }
    std::fclose(f);
  }
  image.format = PNG_FORMAT_RGBA;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.rgba.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

void defaultQuitSignals() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, SIG_DFL);
}

ChildResult runInChild(const std::function<void()>& fn, bool throughStaticDestructors) {
  ChildResult result;
  std::string dir = makeTempDir();
  std::string outPath = dir + "/child-stdout";
  std::string errPath = dir + "/child-stderr";
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return result;
  }
  if (pid == 0) {
    FILE* out = std::freopen(outPath.c_str(), "w", stdout);
    FILE* err = std::freopen(errPath.c_str(), "w", stderr);
    if (!out || !err) _exit(120);
    defaultQuitSignals();
    // Children that die by a signal do so on purpose: no core for them.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // The child is a copy of a test process in whatever state it was; end it
    // with the status it asked for but without the end-of-process leak check
    // of a sanitizer build (which would report the parent's allocations).
    if (!throughStaticDestructors) {
      on_exit(
          [](int status, void*) {
            std::fflush(stdout);
            std::fflush(stderr);
            _exit(status);
          },
          nullptr);
    }
    try {
      fn();
    } catch (...) {
      _exit(121);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(0);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) {
    result.exited = true;
    result.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.termSignal = WTERMSIG(status);
  }
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

ChildResult runUnprivileged(const std::function<void()>& fn) {
  return runInChild([&] {
    if (geteuid() == 0) {
      const gid_t gid = 65534;
      const uid_t uid = 65534;
      if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) _exit(122);
    }
    fn();
  });
}

LockHolder::LockHolder(const std::string& path) {
  int hold[2], ready[2];
  if (pipe(hold) != 0 || pipe(ready) != 0) {
    ADD_FAILURE() << "no pipe";
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(hold[1]);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0644);
    const char held = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    if (write(ready[1], &held, 1) != 1) _exit(1);
    char byte;
    while (read(hold[0], &byte, 1) > 0) {
    }
    _exit(0);
  }
  close(hold[0]);
  close(ready[1]);
  hold_ = hold[1];
  char held = 'n';
  if (pid_ < 0 || read(ready[0], &held, 1) != 1 || held != 'y') ADD_FAILURE() << "could not hold " << path;
  close(ready[0]);
}

void LockHolder::release() {
  if (hold_ >= 0) close(hold_);
  hold_ = -1;
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

namespace {

int pinObject(struct dl_phdr_info* info, size_t, void*) {
  if (info->dlpi_name && info->dlpi_name[0]) {
    // NOLOAD: only objects already mapped; NODELETE: never unmapped again.
    void* handle = dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    if (handle) dlclose(handle);
  }
  return 0;
}

// SDL_Quit unloads the GL driver it loaded for the window. Keeping every
// library loaded for the rest of the run lets the leak checker name the
// driver's own allocations (and the suppressions match them) at the end.
void pinLoadedLibraries() { dl_iterate_phdr(pinObject, nullptr); }

}  // namespace

std::string openTestWindow(int width, int height) {
  // An X server that has just lost its last client resets itself and drops
  // the connections that arrive meanwhile; try again for a while.
  std::string failure;
  for (int attempt = 0; attempt < 80; ++attempt) {
    try {
      korvu::init(SDL_INIT_VIDEO, false);
      korvu::initScreen(width, height, 32, false);
      pinLoadedLibraries();
      return std::string();
    } catch (const std::string& message) {
      failure = message;
      SDL_Quit();
      SDL_Delay(25);
    }
  }
  return failure.empty() ? std::string("no attempt made") : failure;
}

void closeTestWindow() {
  korvu::ddd::pipeline.frameShown();
  SDL_Quit();
  korvu::screen = nullptr;
  korvu::currentViewport = nullptr;
  korvu::vpScreen = korvu::Viewport();
  korvu::fullscreen = false;
  korvu::currentRenderContext = nullptr;
  // The next window comes with a new OpenGL context whose lights are all
  // off; a count left from this one would keep the light stage from
  // switching them on, and the next test's scene would be drawn unlit.
  korvu::ddd::pipeline.lightsEnabled = 0;
}

void GLWindowTest::SetUp() {
  if (!std::getenv("DISPLAY")) {
    FAIL() << "This test draws into a real window: run it under an X server (scripts/test uses Xvfb).";
  }
  const std::string failure = openTestWindow(windowWidth(), windowHeight());
  if (!failure.empty()) FAIL() << "could not open the test window: " << failure;
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void GLWindowTest::TearDown() { closeTestWindow(); }

}  // namespace korvu_test
