// A GUI read from a description text, with a real trigger queue whose
// evaluator it is and an input evaluator as its fallback, driven by real SDL
// event values. Shared by the GUI tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls.h"
#include "fonts/font.h"
#include "gui/gui.h"
#include "image.h"
#include "input.h"
#include "sdlevents.h"
#include "testsupport.h"

namespace korvu_test {

// Writes the description into a fresh directory and reads it.
inline std::unique_ptr<korvu::gui::GUI> readGUI(const std::string& description, korvu::ImageBank* images,
                                                korvu::gui::FontBank* fonts, korvu::Triggers* triggers) {
  const std::string file = makeTempDir() + "/gui.xml";
  writeFile(file, description);
  return std::unique_ptr<korvu::gui::GUI>(new korvu::gui::GUI(file, images, fonts, triggers));
}

class GuiTest : public ::testing::Test {
 protected:
  // The queue outlives the GUI, which points at its triggers.
  korvu::ControlQueue queue;
  korvu::InputEvaluator bindings;
  korvu::ImageBank images;
  korvu::gui::FontBank fonts;
  std::unique_ptr<korvu::gui::GUI> gui;
  korvu::Trigger* ok = new korvu::Trigger(1, "ok", "OK");
  korvu::Trigger* cancel = new korvu::Trigger(2, "cancel", "Cancel");
  korvu::Trigger* on = new korvu::Trigger(3, "on", "Switch on");
  korvu::Trigger* off = new korvu::Trigger(4, "off", "Switch off");

  void SetUp() override {
    queue += ok;
    queue += cancel;
    queue += on;
    queue += off;
    bindings += new korvu::KeyTrigger(cancel, SDLK_ESCAPE, korvu::KEYSTATE_DOWN);
  }

  void TearDown() override {
    queue.evaluator = nullptr;
    gui.reset();
  }

  // Reads an 800 by 600 active GUI with a cursor around the given widget
  // elements; the GUI becomes the queue's evaluator, the bindings its
  // fallback.
  void load(const std::string& widgets, const std::string& styles = "") {
    gui = readGUI("<GUI name=\"root\" width=\"800\" height=\"600\" cursor=\"pointer\">" + styles + widgets +
                      "</GUI>",
                  &images, &fonts, &queue.triggers);
    gui->active = true;
    gui->fallback = &bindings;
    queue.evaluator = gui.get();
  }

  korvu::gui::Component* at(const std::string& name) { return (*gui)[name]; }

  template <class T>
  T* as(const std::string& name) {
    T* found = dynamic_cast<T*>(at(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  void send(const SDL_Event& e) { queue << e; }
  bool evaluate(const SDL_Event& e) { return gui->evaluate(e, &queue); }
  // Moves the pointer to GUI position (x, y), y upwards.
  void moveTo(int x, int y) { send(motionEvent(static_cast<Uint16>(x), static_cast<Uint16>(600 - y))); }
  void press(Uint8 button = SDL_BUTTON_LEFT) { send(mouseButtonEvent(SDL_MOUSEBUTTONDOWN, button, 0, 0)); }
  void release(Uint8 button = SDL_BUTTON_LEFT) { send(mouseButtonEvent(SDL_MOUSEBUTTONUP, button, 0, 0)); }
  void clickAt(int x, int y) {
    moveTo(x, y);
    press();
    release();
  }
  bool typeDown(Uint16 character, SDLKey key = SDLK_a) { return evaluate(charEvent(SDL_KEYDOWN, key, character)); }
  bool typeUp(Uint16 character, SDLKey key = SDLK_a) { return evaluate(charEvent(SDL_KEYUP, key, character)); }

  std::vector<korvu::Trigger*> drain() {
    std::vector<korvu::Trigger*> fired;
    korvu::Trigger* t;
    for (queue >> t; t; queue >> t) fired.push_back(t);
    return fired;
  }
};

}  // namespace korvu_test
