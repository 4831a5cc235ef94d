// Time to read the game's GUI description (images, fonts' use, styles and
// widgets), and the cost per frame of routing pointer motion through it,
// its per-frame step and drawing its main menu. Run from the source root
// (it reads resources/); needs an X display (Xvfb is fine).
//
//   bench_gui [frames]
#include <GL/gl.h>
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "controls.h"
#include "fonts/bitmapfont.h"
#include "gui/gui.h"
#include "image.h"
#include "korvu.h"
#include "rendercontext.h"
#include "xml.h"

using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Registers every trigger the description names, as the game's command
// table would.
void registerTriggers(const korvu::xml::Node* node, korvu::ControlQueue& queue) {
  for (const char* attribute : {"trigger", "triggerOn", "triggerOff"}) {
    const std::string* name = node->getAttribute(attribute);
    if (name && !queue.find(*name)) queue += new korvu::Trigger(0, *name, *name);
  }
  for (const korvu::xml::Node* child : node->children) registerTriggers(child, queue);
}

SDL_Event motion(int x, int y) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.x = static_cast<Uint16>(x);
  e.motion.y = static_cast<Uint16>(y);
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
  try {
    korvu::init(SDL_INIT_VIDEO, false);
    korvu::initScreen(800, 600, 32, false);
    korvu::gui::FontBank fonts;
    for (const char* dir : {"resources/fonts/andromeda30", "resources/fonts/arialblack12", "resources/fonts/arial10"}) {
      fonts += new korvu::fonts::BitmapFont(std::string(dir));
    }
    korvu::ControlQueue queue;
    std::unique_ptr<korvu::xml::Node> description(korvu::xml::loadXML("resources/gui.xml"));
    if (description) registerTriggers(description.get(), queue);
    korvu::ImageBank images;

    const Clock::time_point loading = Clock::now();
    std::unique_ptr<korvu::gui::GUI> gui(new korvu::gui::GUI("resources/gui.xml", &images, &fonts, &queue.triggers));
    std::printf("GUI read with %zu images and %zu styles: %.1f ms\n", images.size(), gui->styles->size(),
                msSince(loading));

    gui->active = true;
    for (korvu::gui::Component* panel : gui->children) panel->visible = false;
    if (korvu::gui::Component* menu = (*gui)["pMainMenu"]) {
      menu->visible = true;
      menu->center(korvu::Vector2D(800, 600));
    }
    queue.evaluator = gui.get();
    korvu::RenderContext2D context;

    const Clock::time_point start = Clock::now();
    double drawing = 0;
    for (int i = 0; i < frames; ++i) {
      // The pointer sweeps across the menu's buttons.
      queue << motion(300 + (i * 7) % 200, 150 + (i * 3) % 300);
      queue.perform(16.0);
      gui->perform(&queue, 16.0f);
      const Clock::time_point draw = Clock::now();
      korvu::clearScreen();
      context.apply();
      korvu::resetCursor();
      gui->draw();
      glFinish();
      drawing += msSince(draw);
    }
    const double total = msSince(start);
    std::printf("%d frames: %.3f ms per frame, of which drawing %.3f ms\n", frames, total / frames,
                drawing / frames);
  } catch (const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
  }
  SDL_Quit();
  return 0;
}
