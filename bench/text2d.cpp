// Times the 2D share of start-up and of a frame: loading the three fonts
// and the flare images from resources/, and drawing a heads-up display of
// text (two players' lines and a centred message) in a 1024 x 768 window.
// Run from the repository root under an X server.
//
//   bench_text2d [frames]
#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fonts/bitmapfont.h"
#include "fonts/message.h"
#include "image.h"
#include "korvu.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
  try {
    korvu::init(SDL_INIT_VIDEO, false);
    korvu::initScreen(1024, 768, 32, false);
  } catch (const std::string& message) {
    std::fprintf(stderr, "bench_text2d: %s\n", message.c_str());
    return 1;
  }

  std::vector<std::unique_ptr<korvu::fonts::BitmapFont>> fonts;
  korvu::ImageBank textures;
  textures.maxFilter = korvu::IMAGEFILTER_TRILINEAR;
  const Clock::time_point loadStart = Clock::now();
  try {
    for (const char* dir : {"andromeda30", "arialblack12", "arial10"}) {
      fonts.emplace_back(new korvu::fonts::BitmapFont(std::string("resources/fonts/") + dir));
    }
    textures.load("resources/textures/additional.xml");
    textures.refresh();
  } catch (const std::string& message) {
    std::fprintf(stderr, "bench_text2d: %s\n", message.c_str());
    return 1;
  }
  glFinish();
  const double loading = millisecondsSince(loadStart);

  korvu::fonts::Messages messages;
  messages.font = fonts[0].get();
  messages.rectangle = korvu::Rect(0, 0, 1024, 768);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 1024, 0, 768, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  const Clock::time_point drawStart = Clock::now();
  for (int frame = 0; frame < frames; ++frame) {
    if (frame % 100 == 0) messages += new korvu::fonts::BlinkMessage("Best lap!", 3000, 300, 200);
    messages.perform(16);
    glClear(GL_COLOR_BUFFER_BIT);
    for (int player = 0; player < 2; ++player) {
      for (int line = 0; line < 6; ++line) {
        glLoadIdentity();
        glTranslatef(20.0f + 512.0f * player, 740.0f - 20.0f * line, 0.0f);
        fonts[2]->printf(korvu::JUSTIFY_LEFT, "Lap %d/3  %02d:%02d.%03d", line + 1, frame / 60000, frame / 1000 % 60,
                         frame % 1000);
      }
      glLoadIdentity();
      glTranslatef(256.0f + 512.0f * player, 40.0f, 0.0f);
      fonts[1]->printf(korvu::JUSTIFY_HCENTER, "Position %d of 2", player + 1);
    }
    glLoadIdentity();
    messages.draw();
  }
  glFinish();
  const double drawing = millisecondsSince(drawStart);

  std::printf("loading three fonts and five flare images: %.1f ms\n", loading);
  std::printf("%d frames of 14 text lines and a message: %.3f ms per frame\n", frames, drawing / frames);
  return 0;
}
