// Feeds arbitrary bytes to the input evaluator as a bindings file, the text a
// player may edit by hand. Whatever it reads must survive being saved and
// read again unchanged; a file with nothing valid in it must leave the
// bindings in place; and every binding read must take the events it is
// bound to, a frame step and a flush without harm.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "controls.h"
#include "input.h"
#include "tempfiles.h"

namespace {

std::vector<std::string> linesOf(const korvu::InputEvaluator& evaluator) {
  std::vector<std::string> lines;
  for (const korvu::Translator* t : evaluator.getTranslators()) {
    std::ostringstream os;
    t->out(os);
    lines.push_back(os.str());
  }
  return lines;
}

void registerTriggers(korvu::ControlQueue& queue) {
  queue += new korvu::Trigger(0, "exit", "Exit");
  queue += new korvu::Trigger(1, "fire", "Fire");
  queue += new korvu::Trigger(2, "", "Unnamed");
  queue += new korvu::Trigger(3, "a:b", "Colon in the name");
  queue += new korvu::Axis(4, "x1", "X axis", 0.0, 1.0);
  queue += new korvu::Axis(5, "y", "Y axis", -1.0, 1.0);
  queue += new korvu::Axis(6, "z", "Empty range", 0.5, 0.5);
}

SDL_Event blank(Uint8 type) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = type;
  return e;
}

// A joystick button's press and release.
void addButtonEvents(std::vector<SDL_Event>& events, Uint8 joystick, Uint8 button) {
  for (Uint8 type : {SDL_JOYBUTTONDOWN, SDL_JOYBUTTONUP}) {
    SDL_Event e = blank(type);
    e.jbutton.which = joystick;
    e.jbutton.button = button;
    events.push_back(e);
  }
}

// Presses and releases whatever each binding listens to, and moves each
// bound stick through its range; or, with `holdOnly`, only presses and
// pushes the sticks out, leaving it all held.
void drive(korvu::InputEvaluator& evaluator, korvu::ControlQueue& queue, bool holdOnly) {
  std::vector<SDL_Event> events;
  for (const korvu::Translator* t : evaluator.getTranslators()) {
    if (const auto* k = dynamic_cast<const korvu::KeyTranslator*>(t)) {
      for (Uint8 type : {SDL_KEYDOWN, SDL_KEYUP}) {
        SDL_Event e = blank(type);
        e.key.keysym.sym = k->key;
        events.push_back(e);
      }
    } else if (const auto* b = dynamic_cast<const korvu::JoyButtonTrigger*>(t)) {
      addButtonEvents(events, b->joystick, b->button);
    } else if (const auto* ba = dynamic_cast<const korvu::JoyButtonAxis*>(t)) {
      addButtonEvents(events, ba->joystick, ba->button);
    } else if (const auto* a = dynamic_cast<const korvu::JoyAxis*>(t)) {
      for (Sint16 value : {Sint16(-32768), Sint16(-20000), Sint16(0), a->deadzone, a->maximum, Sint16(32767)}) {
        SDL_Event e = blank(SDL_JOYAXISMOTION);
        e.jaxis.which = a->joystick;
        e.jaxis.axis = a->axis;
        e.jaxis.value = value;
        events.push_back(e);
      }
    }
  }
  // Events in order, with frame steps between them, through the queue.
  for (const SDL_Event& e : events) {
    const bool release = e.type == SDL_KEYUP || e.type == SDL_JOYBUTTONUP ||
                         (e.type == SDL_JOYAXISMOTION && e.jaxis.value != 32767 && e.jaxis.value != -32768);
    if (holdOnly && release) continue;
    queue << e;
    queue.perform(16.0);
  }
  korvu::Trigger* t = nullptr;
  for (queue >> t; t; queue >> t) {
  }
  if (!holdOnly) queue.flush();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzfiles::init("bindings", ".txt");
  if (!fuzzfiles::writeAll(fuzzfiles::inputPath, data, size)) std::abort();

  korvu::ControlQueue queue;
  registerTriggers(queue);
  korvu::InputEvaluator evaluator;
  queue.evaluator = &evaluator;
  evaluator += new korvu::KeyTrigger(queue.find("exit"), SDLK_ESCAPE, korvu::KEYSTATE_DOWN);
  const std::vector<std::string> before = linesOf(evaluator);

  if (!evaluator.load(fuzzfiles::inputPath, &queue)) {
    if (linesOf(evaluator) != before) {
      std::fprintf(stderr, "a file without valid lines changed the bindings\n");
      std::abort();
    }
    return 0;
  }
  const std::vector<std::string> read = linesOf(evaluator);

  if (!evaluator.save(fuzzfiles::savedPath, &queue)) std::abort();
  korvu::InputEvaluator again;
  if (!again.load(fuzzfiles::savedPath, &queue) || linesOf(again) != read) {
    std::fprintf(stderr, "saved bindings do not read back the same\n");
    std::abort();
  }

  drive(evaluator, queue, false);
  // Reading over bindings that hold something must leave no dangling holder.
  drive(evaluator, queue, true);
  evaluator.load(fuzzfiles::savedPath, &queue);
  drive(evaluator, queue, false);
  return 0;
}
