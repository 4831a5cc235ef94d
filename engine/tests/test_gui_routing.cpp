// SDL events through the trigger queue into the GUI: the inactive GUI, the
// cursor, the focus following the pointer, mouse capture, keys that reach
// the fallback, and the fallback's per-frame step through the GUI.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/button.h"
#include "gui/textfield.h"
#include "gui_fixture.h"
#include "sprite.h"

using namespace korvu;
using namespace korvu::gui;
using korvu_test::charEvent;
using korvu_test::keyEvent;
using korvu_test::motionEvent;

namespace {

// Writes down what the GUI hands it.
struct Probe : Component {
  std::vector<std::string> log;
  bool takeKeys = false;
  void enter(ControlQueue*, Vector2D) override { log.push_back("enter"); }
  void leave(ControlQueue*, Vector2D) override { log.push_back("leave"); }
  void mouseDown(ControlQueue*, Vector2D p, unsigned char b) override {
    log.push_back("down " + std::to_string(b) + " " + std::to_string(int(p.x)) + "," + std::to_string(int(p.y)));
  }
  void mouseUp(ControlQueue*, Vector2D, unsigned char b) override { log.push_back("up " + std::to_string(b)); }
  bool keyDown(ControlQueue*, unsigned short c) override {
    log.push_back("key " + std::to_string(c));
    return takeKeys;
  }
};

class GuiRouting : public korvu_test::GuiTest {
 protected:
  Probe* probe = nullptr;

  // A button at (100, 100) and a probe at (300, 100), 100 by 50, on a pane
  // that covers the lower left quarter.
  void loadPanel() {
    load(
        "<Pane name=\"panel\" width=\"400\" height=\"300\">"
        "  <Button name=\"go\" x=\"100\" y=\"100\" width=\"100\" height=\"50\" trigger=\"ok\"/>"
        "</Pane>");
    probe = new Probe;
    probe->x = 300;
    probe->y = 100;
    probe->width = 100;
    probe->height = 50;
    *at("panel") += probe;
  }
};

}  // namespace

TEST_F(GuiRouting, InactiveGuiHandsEverythingToTheFallback) {
  loadPanel();
  gui->active = false;
  moveTo(350, 120);
  EXPECT_EQ(gui->focus, nullptr);
  EXPECT_TRUE(probe->log.empty());
  // The key reaches the bindings unchanged and fires there.
  EXPECT_TRUE(evaluate(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE)));
  EXPECT_EQ(drain(), std::vector<Trigger*>{cancel});
  EXPECT_FALSE(evaluate(keyEvent(SDL_KEYDOWN, SDLK_SPACE)));
  gui->fallback = nullptr;
  EXPECT_FALSE(evaluate(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE)));
  EXPECT_TRUE(probe->log.empty());
  EXPECT_TRUE(drain().empty());
}

TEST_F(GuiRouting, CursorIsClampedToTheGuiAndTurnedUpright) {
  loadPanel();
  ASSERT_NE(gui->cursor, nullptr);
  // Its image is missing: the cursor moves all the same.
  EXPECT_EQ(gui->cursor->image, nullptr);
  EXPECT_EQ(gui->cursor->position, Vector2D(400, 300));
  EXPECT_TRUE(evaluate(motionEvent(0, 0)));
  EXPECT_EQ(gui->cursor->position, Vector2D(0, 599));
  evaluate(motionEvent(5000, 700));
  EXPECT_EQ(gui->cursor->position, Vector2D(799, 0));

  // A GUI placed away from the window's corner works in its own frame.
  gui->x = 100;
  gui->y = 50;
  evaluate(motionEvent(150, 500));
  EXPECT_EQ(gui->cursor->position, Vector2D(50, 50));

  // Without a cursor, motion is taken and does nothing.
  gui = korvu_test::readGUI("<GUI name=\"g\" width=\"100\" height=\"100\"><Pane name=\"p\" width=\"100\" height=\"100\"/></GUI>",
                            &images, &fonts, &queue.triggers);
  gui->active = true;
  EXPECT_TRUE(evaluate(motionEvent(10, 10)));
  EXPECT_EQ(gui->focus, nullptr);
}

TEST_F(GuiRouting, FocusFollowsThePointerWithOneEnterAndLeaveEach) {
  loadPanel();
  moveTo(310, 110);
  moveTo(320, 120);
  EXPECT_EQ(gui->focus, probe);
  EXPECT_TRUE(at("panel")->isFocused());
  EXPECT_TRUE(gui->isFocused());
  EXPECT_EQ(probe->log, std::vector<std::string>{"enter"});

  // Onto the bare pane: the probe leaves, the pane holds the focus.
  moveTo(250, 250);
  EXPECT_EQ(probe->log, (std::vector<std::string>{"enter", "leave"}));
  EXPECT_EQ(gui->focus, at("panel"));
  EXPECT_FALSE(probe->isFocused());

  // Keys go to the holder; mouse buttons carry window coordinates.
  moveTo(350, 120);
  probe->takeKeys = true;
  EXPECT_TRUE(evaluate(charEvent(SDL_KEYDOWN, SDLK_x, 'x')));
  send(korvu_test::mouseButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 350, 480));
  EXPECT_EQ(probe->log.back(), "down 3 350,480");
  EXPECT_EQ(probe->log[probe->log.size() - 2], "key 120");

  // A hidden GUI finds nothing: the holder is left but keeps the focus.
  gui->visible = false;
  moveTo(360, 120);
  EXPECT_EQ(probe->log.back(), "leave");
  EXPECT_EQ(gui->focus, probe);
}

TEST_F(GuiRouting, ButtonClicksOnlyWhenReleasedOverItself) {
  loadPanel();
  Button* go = as<Button>("go");

  // Press, drag off, release: nothing.
  moveTo(150, 120);
  press();
  EXPECT_EQ(gui->capture, go);
  EXPECT_EQ(go->getState(), BUTTON_DOWN_HOT);
  moveTo(350, 120);
  // The captured button loses the focus to the GUI; the probe under the
  // pointer hears nothing while the capture lasts.
  EXPECT_EQ(gui->focus, gui.get());
  EXPECT_EQ(go->getState(), BUTTON_UP);
  EXPECT_TRUE(probe->log.empty());
  release();
  EXPECT_TRUE(drain().empty());
  EXPECT_EQ(gui->capture, nullptr);
  EXPECT_FALSE(go->pressed);

  // Press, drag off and back, release: one click.
  moveTo(150, 120);
  press();
  moveTo(350, 120);
  moveTo(160, 130);
  EXPECT_EQ(gui->focus, go);
  EXPECT_EQ(go->getState(), BUTTON_DOWN_HOT);
  release();
  EXPECT_EQ(drain(), std::vector<Trigger*>{ok});

  // The right button does nothing.
  press(SDL_BUTTON_RIGHT);
  EXPECT_EQ(gui->capture, nullptr);
  release(SDL_BUTTON_RIGHT);
  EXPECT_TRUE(drain().empty());

  // Mouse buttons go to the capture holder wherever the pointer is.
  moveTo(150, 120);
  press();
  moveTo(350, 120);
  send(korvu_test::mouseButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 1, 1));
  EXPECT_TRUE(probe->log.empty());
  release();
  EXPECT_EQ(gui->capture, nullptr);
  // With the capture gone the hover moves on at the next motion.
  moveTo(351, 120);
  EXPECT_EQ(gui->focus, probe);
}

TEST_F(GuiRouting, KeysTheFocusedWidgetDoesNotTakeReachTheFallback) {
  loadPanel();
  moveTo(150, 120);
  // Escape: the button does not take it and the binding fires.
  EXPECT_TRUE(evaluate(charEvent(SDL_KEYDOWN, SDLK_ESCAPE, 27)));
  EXPECT_EQ(drain(), std::vector<Trigger*>{cancel});
  // Without a character (translation off) Enter is not the button's either.
  EXPECT_FALSE(evaluate(keyEvent(SDL_KEYDOWN, SDLK_RETURN)));
  // With it, Enter and Space click once per key-down.
  EXPECT_TRUE(evaluate(charEvent(SDL_KEYDOWN, SDLK_RETURN, 13)));
  EXPECT_TRUE(evaluate(charEvent(SDL_KEYDOWN, SDLK_SPACE, 32)));
  EXPECT_FALSE(evaluate(charEvent(SDL_KEYUP, SDLK_SPACE, 32)));
  EXPECT_EQ(drain(), (std::vector<Trigger*>{ok, ok}));
  // Joystick and other events go straight on.
  EXPECT_FALSE(evaluate(korvu_test::buttonEvent(SDL_JOYBUTTONDOWN, 0, 1)));
}

TEST_F(GuiRouting, KeysFollowTheFocusNotTheMouseCapture) {
  loadPanel();
  moveTo(150, 120);
  press();
  // The button keeps the capture; the focused probe gets the key.
  probe->setFocused(true);
  EXPECT_FALSE(evaluate(charEvent(SDL_KEYDOWN, SDLK_RETURN, 13)));
  EXPECT_EQ(gui->capture, at("go"));
  EXPECT_EQ(probe->log, std::vector<std::string>{"key 13"});
  EXPECT_TRUE(drain().empty());
  release();
}

TEST_F(GuiRouting, HiddenFocusHolderGivesWayToWhatIsUnderThePointer) {
  load(
      "<Pane name=\"main\" width=\"400\" height=\"300\">"
      "  <Button name=\"start\" x=\"100\" y=\"100\" width=\"100\" height=\"50\" trigger=\"ok\"/>"
      "</Pane>"
      "<Pane name=\"next\" visible=\"false\" width=\"400\" height=\"300\">"
      "  <Button name=\"back\" x=\"100\" y=\"100\" width=\"100\" height=\"50\" trigger=\"cancel\"/>"
      "</Pane>");
  clickAt(150, 120);
  EXPECT_EQ(drain(), std::vector<Trigger*>{ok});
  // The menu switches panels while the pointer rests.
  at("main")->visible = false;
  at("next")->visible = true;
  press();
  release();
  EXPECT_EQ(drain(), std::vector<Trigger*>{cancel});
  EXPECT_EQ(gui->focus, at("back"));

  // Keys likewise; with nothing shown under the pointer they go on.
  at("next")->visible = false;
  EXPECT_TRUE(evaluate(charEvent(SDL_KEYDOWN, SDLK_ESCAPE, 27)));
  EXPECT_FALSE(evaluate(charEvent(SDL_KEYDOWN, SDLK_RETURN, 13)));
  EXPECT_EQ(drain(), std::vector<Trigger*>{cancel});
}

TEST_F(GuiRouting, FallbackKeepsItsPerFrameStepAndFlushThroughTheGui) {
  loadPanel();
  bindings += new KeyTrigger(on, SDLK_UP, KEYSTATE_PRESSED);
  send(keyEvent(SDL_KEYDOWN, SDLK_UP));
  EXPECT_TRUE(drain().empty());
  // The held key repeats once per frame while the GUI is the evaluator.
  queue.perform(16.0);
  queue.perform(16.0);
  EXPECT_EQ(drain(), (std::vector<Trigger*>{on, on}));
  queue.flush();
  queue.perform(16.0);
  EXPECT_TRUE(drain().empty());
  // Inactive makes no difference to the step.
  gui->active = false;
  send(keyEvent(SDL_KEYDOWN, SDLK_UP));
  queue.perform(16.0);
  EXPECT_EQ(drain(), std::vector<Trigger*>{on});
  gui->fallback = nullptr;
  queue.perform(16.0);
  queue.flush();
}
