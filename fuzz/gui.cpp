// Feeds arbitrary bytes to the XML reader as a GUI description and reads
// whatever parses into a GUI (whatever the root's name): images, styles,
// cursor and widgets, with a font and a few triggers to find. The images are
// declared but never loaded, so no file the input names is opened and no GL
// context is needed. The GUI that was read is then driven with pointer and
// key events, per-frame steps and the focus walk, and its banks checked.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "controls.h"
#include "fonts/font.h"
#include "gui/gui.h"
#include "gui/style.h"
#include "image.h"
#include "korvu.h"
#include "tempfiles.h"
#include "xml.h"

using namespace korvu;

namespace {

// Found by name; prints nothing.
struct SilentFont : fonts::Font {
  uint8_t getHeight() const override { return 12; }
  uint16_t getWidth(const char*) const override { return 0; }
  void print(const char*) const override {}
};

// A GUI that leaves its images unloaded.
struct HeadlessGUI : gui::GUI {
  void refreshImages() override {}
};

using fuzzfiles::checkBank;
using fuzzfiles::fail;

SDL_Event motion(Uint16 x, Uint16 y) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.x = x;
  e.motion.y = y;
  return e;
}

SDL_Event mouseButton(Uint8 type, Uint8 button) {
  SDL_Event e{};
  e.type = type;
  e.button.button = button;
  return e;
}

SDL_Event key(Uint8 type, Uint16 character) {
  SDL_Event e{};
  e.type = type;
  e.key.keysym.sym = SDLK_a;
  e.key.keysym.unicode = character;
  return e;
}

// Every position and size read lies within what a screen can show.
void checkGeometry(const gui::Component* c) {
  for (float v : {c->x, c->y, c->width, c->height}) {
    if (!(std::fabs(v) <= 1e6f)) fail("a component placed beyond any screen");
  }
  for (const gui::Component* child : c->children) checkGeometry(child);
}

// Sweeps the pointer over the GUI, clicking and typing at every stop.
void drive(gui::GUI& g, ControlQueue& queue) {
  g.active = true;
  const float w = g.width > 0 && g.width < 4096 ? g.width : 800;
  const float h = g.height > 0 && g.height < 4096 ? g.height : 600;
  for (int i = 0; i < 12; ++i) {
    const Uint16 x = static_cast<Uint16>(w * (i % 4) / 4 + 3);
    const Uint16 y = static_cast<Uint16>(h * (i / 4) / 3 + 3);
    g.evaluate(motion(x, y), &queue);
    g.evaluate(mouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT), &queue);
    g.evaluate(mouseButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT), &queue);
    for (Uint16 c : {Uint16('a'), Uint16(8), Uint16(9), Uint16(13), Uint16(200)}) {
      g.evaluate(key(SDL_KEYDOWN, c), &queue);
    }
    g.perform(&queue, 400.0f);
    g.evaluate(key(SDL_KEYUP, 'a'), &queue);
    if (g.focus) g.focus->focusNext();
  }
  Trigger* fired;
  for (queue >> fired; fired; queue >> fired) {
    if (queue.find(fired->name) != fired) fail("a widget fired a trigger outside the registry");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (fuzzfiles::init("gui", ".xml")) fuzzfiles::quietLog();
  if (!fuzzfiles::writeAll(fuzzfiles::inputPath, data, size)) std::abort();
  const std::unique_ptr<xml::Node> root = fuzzfiles::readXML(fuzzfiles::inputPath);
  if (!root) return 0;

  ControlQueue queue;
  for (const char* name : {"ok", "cancel", "menuSingle", "toggleSound"}) queue += new Trigger(0, name, name);
  ImageBank images;
  gui::FontBank fonts;
  SilentFont* font = new SilentFont;
  font->name = "font";
  fonts += font;
  {
    HeadlessGUI g;
    g.images = &images;
    g.fonts = &fonts;
    g.triggers = &queue.triggers;
    g.dir = "/nonexistent/";
    g.getFromNode(root.get(), nullptr);
    checkBank(*g.styles, "style bank out of order");
    checkBank(images, "image bank out of order");
    for (const auto& entry : images) {
      if (entry.second->texture != 0) fail("an image was loaded");
    }
    checkGeometry(&g);
    // The shell centres its panels in the screen.
    for (gui::Component* panel : g.children) panel->center(Vector2D(800, 600));
    drive(g, queue);
  }
  if (fonts.size() != 1) fail("the font bank changed");
  return 0;
}
