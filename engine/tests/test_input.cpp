// Bindings applied to real SDL event values, and the bindings' text form.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "controls.h"
#include "input.h"
#include "sdlevents.h"
#include "testsupport.h"

using namespace korvu;
using korvu_test::buttonEvent;
using korvu_test::keyEvent;
using korvu_test::stickEvent;

namespace {

std::string lineOf(const Translator* t) {
  std::ostringstream os;
  t->out(os);
  return os.str();
}

std::vector<std::string> linesOf(const InputEvaluator& ev) {
  std::vector<std::string> lines;
  for (const Translator* t : ev.getTranslators()) lines.push_back(lineOf(t));
  return lines;
}

class InputTest : public ::testing::Test {
 protected:
  ControlQueue queue;
  InputEvaluator ev;
  Trigger* fire = new Trigger(1, "fire", "Fire");
  Trigger* jump = new Trigger(2, "jump", "Jump");
  Axis* x = new Axis(3, "x1", "X axis", 0.0, 1.0);

  void SetUp() override {
    queue += fire;
    queue += jump;
    queue += x;
    queue.evaluator = &ev;
  }

  bool key(Uint8 type, SDLKey k, SDLMod mod = KMOD_NONE) { return ev.evaluate(keyEvent(type, k, mod), &queue); }
  bool down(SDLKey k) { return key(SDL_KEYDOWN, k); }
  bool up(SDLKey k) { return key(SDL_KEYUP, k); }
  bool stick(Uint8 joystick, Sint16 value) { return ev.evaluate(stickEvent(joystick, 0, value), &queue); }

  std::vector<Trigger*> drain() {
    std::vector<Trigger*> out;
    Trigger* t;
    for (queue >> t; t; queue >> t) out.push_back(t);
    return out;
  }

  const Translator* holderOf(Trigger* t) {
    auto it = ev.getHeld().find(t);
    return it == ev.getHeld().end() ? nullptr : it->second;
  }

  void addStickHalves(Uint8 joystick) {
    ev += new JoyAxis(x, joystick, 0, -1, 4000, 30000);
    ev += new JoyAxis(x, joystick, 0, 1, 4000, 30000);
  }
};

}  // namespace

// ------------------------------------------------------------------- keys

TEST_F(InputTest, DownBindingsFireInOrderAndModifiersDoNotMatter) {
  ev += new KeyTrigger(fire, SDLK_SPACE, KEYSTATE_DOWN);
  ev += new KeyTrigger(jump, SDLK_SPACE, KEYSTATE_DOWN);
  ev += new KeyTrigger(jump, SDLK_j, KEYSTATE_UP);

  EXPECT_TRUE(down(SDLK_SPACE));
  EXPECT_EQ(drain(), (std::vector<Trigger*>{fire, jump}));
  EXPECT_FALSE(up(SDLK_SPACE));
  EXPECT_TRUE(drain().empty());

  EXPECT_TRUE(key(SDL_KEYDOWN, SDLK_SPACE, static_cast<SDLMod>(KMOD_LSHIFT | KMOD_RCTRL)));
  EXPECT_EQ(drain(), (std::vector<Trigger*>{fire, jump}));

  // An "up" binding acts on the release only.
  EXPECT_FALSE(down(SDLK_j));
  EXPECT_TRUE(drain().empty());
  EXPECT_TRUE(up(SDLK_j));
  EXPECT_EQ(drain(), std::vector<Trigger*>{jump});
}

TEST_F(InputTest, AnswersForUnboundAndForeignEvents) {
  ev += new KeyTrigger(fire, SDLK_SPACE, KEYSTATE_DOWN);
  ev += new KeyTrigger(jump, SDLK_n, KEYSTATE_NONE);
  EXPECT_FALSE(down(SDLK_a));
  EXPECT_FALSE(down(SDLK_n));  // state none never acts

  SDL_Event mouse;
  std::memset(&mouse, 0, sizeof mouse);
  mouse.type = SDL_MOUSEBUTTONDOWN;
  mouse.button.button = SDL_BUTTON_LEFT;
  EXPECT_FALSE(ev.evaluate(mouse, &queue));
  SDL_Event quit;
  std::memset(&quit, 0, sizeof quit);
  quit.type = SDL_QUIT;
  EXPECT_FALSE(ev.evaluate(quit, &queue));

  // A stick motion is always taken, bound or not.
  EXPECT_TRUE(stick(0, 12000));
  EXPECT_TRUE(drain().empty());
  EXPECT_EQ(x->value, 0.0);
}

TEST_F(InputTest, PressedTriggerRepeatsOnlyInTheFrameStep) {
  ev += new KeyTrigger(fire, SDLK_f, KEYSTATE_PRESSED);
  EXPECT_FALSE(down(SDLK_f));
  EXPECT_TRUE(drain().empty());
  for (int frame = 0; frame < 3; ++frame) queue.perform(16.0);
  EXPECT_EQ(drain(), (std::vector<Trigger*>{fire, fire, fire}));
  EXPECT_FALSE(up(SDLK_f));
  queue.perform(16.0);
  EXPECT_TRUE(drain().empty());
}

TEST_F(InputTest, AnyReleaseOfAHeldTriggerEndsItsRepeat) {
  ev += new KeyTrigger(fire, SDLK_f, KEYSTATE_PRESSED);
  ev += new JoyButtonTrigger(fire, 0, 2, KEYSTATE_PRESSED);
  down(SDLK_f);
  ev.evaluate(buttonEvent(SDL_JOYBUTTONDOWN, 0, 2), &queue);  // the button holds it now
  up(SDLK_f);
  ev.perform(16.0, &queue);
  EXPECT_TRUE(drain().empty());
  EXPECT_TRUE(ev.getHeld().empty());
}

TEST_F(InputTest, SteeringHandsTheAxisFromLeftToRight) {
  ev += new KeyAxis(x, SDLK_LEFT, KEYSTATE_PRESSED, -1.0);
  ev += new KeyAxis(x, SDLK_RIGHT, KEYSTATE_PRESSED, 1.0);
  EXPECT_FALSE(down(SDLK_LEFT));
  EXPECT_EQ(x->value, -1.0);
  down(SDLK_RIGHT);
  EXPECT_EQ(x->value, 1.0);
  up(SDLK_LEFT);  // right holds the axis now
  EXPECT_EQ(x->value, 1.0);
  up(SDLK_RIGHT);
  EXPECT_EQ(x->value, 0.0);
  EXPECT_TRUE(ev.getHeld().empty());
  EXPECT_TRUE(drain().empty());  // pressed axis bindings push nothing themselves
}

TEST_F(InputTest, DownKeyAxisFiresTheAxisAndLeavesItsValue) {
  ev += new KeyAxis(x, SDLK_e, KEYSTATE_DOWN, 0.75);
  x->value = 0.25;
  EXPECT_TRUE(down(SDLK_e));
  EXPECT_EQ(drain(), std::vector<Trigger*>{x});
  EXPECT_EQ(x->value, 0.25);
  EXPECT_FALSE(up(SDLK_e));
}

TEST_F(InputTest, FlushForgetsHoldsButKeepsValues) {
  ev += new KeyAxis(x, SDLK_LEFT, KEYSTATE_PRESSED, -1.0);
  ev += new KeyTrigger(fire, SDLK_f, KEYSTATE_PRESSED);
  down(SDLK_LEFT);
  down(SDLK_f);
  queue.flush();
  EXPECT_TRUE(ev.getHeld().empty());
  EXPECT_EQ(x->value, -1.0);
  up(SDLK_LEFT);  // no entry left: the release changes nothing
  EXPECT_EQ(x->value, -1.0);
  ev.perform(16.0, &queue);
  EXPECT_TRUE(drain().empty());
}

TEST_F(InputTest, ClearedBindingsLeaveTheirHoldsWithoutAHolder) {
  ev += new KeyTrigger(fire, SDLK_f, KEYSTATE_PRESSED);
  ev += new KeyAxis(x, SDLK_LEFT, KEYSTATE_PRESSED, -1.0);
  down(SDLK_f);
  down(SDLK_LEFT);
  ev.clearTranslators();
  EXPECT_TRUE(ev.getTranslators().empty());
  ASSERT_EQ(ev.getHeld().size(), 2u);
  for (const auto& entry : ev.getHeld()) EXPECT_EQ(entry.second, nullptr);
  ev.perform(16.0, &queue);
  EXPECT_EQ(drain().size(), 2u);  // still repeated once per frame

  // A new binding, even one given the deleted one's address, is not the
  // holder: its release leaves the axis alone.
  ev += new KeyAxis(x, SDLK_LEFT, KEYSTATE_PRESSED, -0.5);
  up(SDLK_LEFT);
  EXPECT_EQ(x->value, -1.0);
  // A resting stick may free an axis whose holder is gone.
  addStickHalves(0);
  stick(0, 100);
  EXPECT_EQ(x->value, 0.0);
  EXPECT_EQ(holderOf(x), nullptr);
  EXPECT_EQ(ev.getHeld().size(), 1u);
  queue.flush();
  ev.perform(16.0, &queue);
  EXPECT_TRUE(drain().empty());
}

TEST_F(InputTest, RefusesNullTargetlessAndRepeatedBindings) {
  KeyTrigger* b = new KeyTrigger(fire, SDLK_f, KEYSTATE_DOWN);
  ev += b;
  ev += b;
  ev += nullptr;
  ev += new KeyTrigger(nullptr, SDLK_g, KEYSTATE_DOWN);
  ev += new JoyAxis(nullptr, 0, 0, 1, 4000, 30000);
  EXPECT_EQ(ev.getTranslators().size(), 1u);
  EXPECT_TRUE(down(SDLK_f));
  EXPECT_EQ(drain(), std::vector<Trigger*>{fire});
  EXPECT_FALSE(down(SDLK_g));
}

// -------------------------------------------------------- joystick buttons

TEST_F(InputTest, JoystickButtonsActLikeKeysOnTheirOwnJoystick) {
  ev += new JoyButtonTrigger(fire, 0, 5, KEYSTATE_DOWN);
  ev += new JoyButtonAxis(x, 1, 0, KEYSTATE_PRESSED, 1.0);
  ev += new JoyButtonAxis(x, 1, 9, KEYSTATE_PRESSED, 0.5);

  EXPECT_FALSE(ev.evaluate(buttonEvent(SDL_JOYBUTTONDOWN, 1, 5), &queue));  // other joystick
  EXPECT_TRUE(ev.evaluate(buttonEvent(SDL_JOYBUTTONDOWN, 0, 5), &queue));
  EXPECT_EQ(drain(), std::vector<Trigger*>{fire});
  EXPECT_FALSE(ev.evaluate(buttonEvent(SDL_JOYBUTTONUP, 0, 5), &queue));

  ev.evaluate(buttonEvent(SDL_JOYBUTTONDOWN, 0, 0), &queue);
  EXPECT_EQ(x->value, 0.0);
  ev.evaluate(buttonEvent(SDL_JOYBUTTONDOWN, 1, 0), &queue);
  EXPECT_EQ(x->value, 1.0);
  ev.evaluate(buttonEvent(SDL_JOYBUTTONDOWN, 1, 9), &queue);
  EXPECT_EQ(x->value, 0.5);
  ev.evaluate(buttonEvent(SDL_JOYBUTTONUP, 1, 0), &queue);  // 9 holds it
  EXPECT_EQ(x->value, 0.5);
  ev.evaluate(buttonEvent(SDL_JOYBUTTONUP, 1, 9), &queue);
  EXPECT_EQ(x->value, 0.0);
}

// ---------------------------------------------------------- joystick axes

TEST_F(InputTest, StickHalvesScaleSaturateAndRelease) {
  addStickHalves(0);
  struct Reading {
    Sint16 raw;
    double expected;
  };
  const Reading readings[] = {{17000, 0.5},  {30000, 1.0},   {32767, 1.0},   {3999, 0.0},
                              {-17000, -0.5}, {-32768, -1.0}, {-30001, -1.0}, {4000, 0.0}};
  for (const Reading& r : readings) {
    EXPECT_TRUE(stick(0, r.raw));
    EXPECT_DOUBLE_EQ(x->value, r.expected) << "raw " << r.raw;
  }
  // At the edge of the dead zone the stick holds the axis at 0.
  ASSERT_NE(holderOf(x), nullptr);
  EXPECT_NE(dynamic_cast<const JoyAxis*>(holderOf(x)), nullptr);
  stick(0, 100);
  EXPECT_EQ(holderOf(x), nullptr);
  EXPECT_EQ(x->value, 0.0);

  // Another stick or another axis number does not move it.
  stick(1, 20000);
  ev.evaluate(stickEvent(0, 1, 20000), &queue);
  EXPECT_EQ(x->value, 0.0);
}

TEST_F(InputTest, StickComingBackFromEitherSideReleasesTheAxis) {
  addStickHalves(0);
  stick(0, -20000);
  EXPECT_LT(x->value, 0.0);
  stick(0, 300);  // only the positive half reads this, and it lets go
  EXPECT_EQ(x->value, 0.0);
  EXPECT_TRUE(ev.getHeld().empty());

  stick(0, 20000);
  EXPECT_GT(x->value, 0.0);
  stick(0, -300);
  EXPECT_EQ(x->value, 0.0);
  EXPECT_TRUE(ev.getHeld().empty());
}

TEST_F(InputTest, OneHalfIgnoresTheOtherHalfsReadings) {
  ev += new JoyAxis(x, 0, 0, 1, 4000, 30000);
  stick(0, 17000);
  EXPECT_DOUBLE_EQ(x->value, 0.5);
  stick(0, -17000);
  EXPECT_DOUBLE_EQ(x->value, 0.5);
}

TEST_F(InputTest, IdleStickJitterDoesNotCancelAHeldKey) {
  addStickHalves(0);
  addStickHalves(1);
  KeyAxis* left = new KeyAxis(x, SDLK_LEFT, KEYSTATE_PRESSED, -1.0);
  ev += left;
  down(SDLK_LEFT);
  for (Sint16 jitter : {1500, -1500, 0, 3999, -3999}) {
    stick(0, jitter);
    stick(1, jitter);
  }
  EXPECT_EQ(x->value, -1.0);
  EXPECT_EQ(holderOf(x), left);
  up(SDLK_LEFT);
  EXPECT_EQ(x->value, 0.0);

  // A stick pushed past its dead zone does take over, and the key's
  // release then leaves it alone.
  down(SDLK_LEFT);
  stick(0, 17000);
  EXPECT_DOUBLE_EQ(x->value, 0.5);
  up(SDLK_LEFT);
  EXPECT_DOUBLE_EQ(x->value, 0.5);
  // The other, idle stick does not end the first one's hold either.
  stick(1, 200);
  EXPECT_DOUBLE_EQ(x->value, 0.5);
  stick(0, 200);
  EXPECT_EQ(x->value, 0.0);
}

TEST_F(InputTest, StickWithoutRoomPastTheDeadZoneSaturates) {
  ev += new JoyAxis(x, 0, 0, -1, 5000, 5000);
  stick(0, -5000);
  EXPECT_EQ(x->value, -1.0);
  stick(0, -4999);
  EXPECT_EQ(x->value, 0.0);
}

TEST_F(InputTest, StickRangeFollowsTheAxisMinimumAndMaximum) {
  Axis* throttle = new Axis(9, "throttle", "Throttle", 0.2, 0.6);
  queue += throttle;
  ev += new JoyAxis(throttle, 0, 2, 1, 0, 10000);
  ev.evaluate(stickEvent(0, 2, 5000), &queue);
  EXPECT_DOUBLE_EQ(throttle->value, 0.4);
  ev.evaluate(stickEvent(0, 2, 20000), &queue);
  EXPECT_DOUBLE_EQ(throttle->value, 0.6);
  // Held sticks fire their axis once per frame like any held binding.
  ev.perform(16.0, &queue);
  EXPECT_EQ(drain(), std::vector<Trigger*>{throttle});
}

// ------------------------------------------------------------ binding text

TEST_F(InputTest, ReadsBindingLinesAndPassesOverBadOnes) {
  struct Case {
    const char* line;
    const char* expected;  // the line the binding writes back; null: ignored
  };
  const Case cases[] = {
      {"x1=key:left:pressed:-1", "x1=key:left:pressed:-1"},
      {"fire=key:left:pressed:-1", "fire=key:left:none"},  // plain trigger: the state word is "pressed:-1"
      {"x1=key:left:down", "x1=key:left:down"},            // an axis fired as a trigger
      {"fire=key:a:down", "fire=key:a:down"},
      {"fire=key:a:downn", "fire=key:a:none"},
      {"fire=key:a:down ", "fire=key:a:none"},
      {"fire=key:f1:up", "fire=key:f1:up"},
      {"fire=key:F1:up", nullptr},
      {"nothing=key:a:down", nullptr},
      {"fire key:a:down", nullptr},
      {" fire=key:a:down", nullptr},
      {"", nullptr},
      {"fire=", nullptr},
      {"fire=key:a", nullptr},
      {"fire=mouse:1:down", nullptr},
      {"x1=key:a:pressed: 0.25xyz", "x1=key:a:pressed:0.25"},
      {"x1=key:a:pressed:", "x1=key:a:pressed:0"},
      {"x1=key:a:pressed:1234567", "x1=key:a:pressed:1.23457e+06"},
      {"x1=key:a:pressed:0.00001", "x1=key:a:pressed:1e-05"},
      {"fire=key:pad_.:up", "fire=key:pad_.:up"},
      {"fire=key:::down", "fire=key:::down"},
      {"x1=key:::pressed:-1", "x1=key:::pressed:-1"},
      {"fire=key::down", nullptr},
      {"fire=key:#314:down", "fire=key:#314:down"},
      {"fire=key:#323:down", nullptr},
      {"fire=key:#:down", "fire=key:#:down"},
      {"fire=key:#x:down", nullptr},
      {"x1=joy:0:axis:0:-1:4000:30000", "x1=joy:0:axis:0:-1:4000:30000"},
      {"fire=joy:0:axis:0:-1:4000:30000", nullptr},
      {"x1=joy:0:axis:0:-1:4000", nullptr},
      {"x1=joy:1:axis:0x2:1:010:0x7530", "x1=joy:1:axis:2:1:8:30000"},
      {"fire=joy:0x1:button:2:down", "fire=joy:1:button:2:down"},
      {"fire=joy:010:button:2:down", "fire=joy:8:button:2:down"},
      {"fire=joy:300:button:1:down", "fire=joy:44:button:1:down"},
      {"fire=joy:-1:button:x:up", "fire=joy:255:button:0:up"},
      {"x1=joy:0:button:3:down", "x1=joy:0:button:3:down"},
      {"x1=joy:0:button:3:pressed:1", "x1=joy:0:button:3:pressed:1"},
      {"fire=joy:0:button:3:pressed:1", "fire=joy:0:button:3:none"},
      {"fire=joy:0:button:3", nullptr},
      {"fire=joy:0:hat:1:down", nullptr},
      {"fire=joy:0", nullptr},
  };
  size_t added = 0;
  for (const Case& c : cases) {
    size_t before = ev.getTranslators().size();
    bool ok = ev.readTranslatorFromString(c.line, &queue);
    EXPECT_EQ(ok, c.expected != nullptr) << c.line;
    if (!c.expected) {
      EXPECT_EQ(ev.getTranslators().size(), before) << c.line;
      continue;
    }
    ++added;
    ASSERT_EQ(ev.getTranslators().size(), added) << c.line;
    EXPECT_EQ(lineOf(ev.getTranslators().back()), c.expected) << c.line;
  }
  EXPECT_FALSE(ev.readTranslatorFromString("fire=key:a:down", nullptr));
}

TEST_F(InputTest, ParsedBindingsAct) {
  ev.readTranslatorFromString("x1=key:left:pressed:-1", &queue);
  ev.readTranslatorFromString("x1=joy:0:button:3:down", &queue);
  ev.readTranslatorFromString("x1=joy:0:button:4:pressed:0.5", &queue);
  // A button line without a value fires the axis as a trigger.
  EXPECT_TRUE(ev.evaluate(buttonEvent(SDL_JOYBUTTONDOWN, 0, 3), &queue));
  EXPECT_EQ(drain(), std::vector<Trigger*>{x});
  ev.evaluate(buttonEvent(SDL_JOYBUTTONDOWN, 0, 4), &queue);
  EXPECT_EQ(x->value, 0.5);
  down(SDLK_LEFT);
  EXPECT_EQ(x->value, -1.0);
}

TEST_F(InputTest, SaveThenLoadGivesBackEveryBinding) {
  ev += new KeyTrigger(fire, SDLK_RCTRL, KEYSTATE_DOWN, true);
  ev += new KeyTrigger(x, SDLK_x, KEYSTATE_UP);
  ev += new KeyTrigger(jump, SDLK_COLON, KEYSTATE_DOWN);
  ev += new KeyTrigger(jump, SDLK_WORLD_68, KEYSTATE_PRESSED);
  ev += new KeyAxis(x, SDLK_LEFT, KEYSTATE_PRESSED, -1.0);
  ev += new KeyAxis(x, SDLK_COLON, KEYSTATE_PRESSED, 0.1);
  ev += new JoyButtonTrigger(fire, 1, 5, KEYSTATE_DOWN);
  ev += new JoyButtonTrigger(x, 0, 6, KEYSTATE_DOWN);
  ev += new JoyButtonAxis(x, 0, 9, KEYSTATE_PRESSED, 1.0);
  ev += new JoyButtonAxis(x, 1, 1, KEYSTATE_UP, -0.25);
  ev += new JoyAxis(x, 0, 0, -1, 4000, 30000);
  ev += new JoyAxis(x, 1, 3, 1, -200, 32767);
  const std::vector<std::string> before = linesOf(ev);

  const std::string file = korvu_test::makeTempDir() + "/bindings.txt";
  ASSERT_TRUE(ev.save(file, &queue));
  std::string expectedText;
  for (const std::string& l : before) expectedText += l + "\n";
  EXPECT_EQ(korvu_test::readFile(file), expectedText);

  InputEvaluator loaded;
  loaded += new KeyTrigger(fire, SDLK_z, KEYSTATE_DOWN);  // replaced by the file
  ASSERT_TRUE(loaded.load(file, &queue));
  EXPECT_EQ(linesOf(loaded), before);
  ASSERT_EQ(loaded.getTranslators().size(), before.size());
  // Same classes in the same order.
  auto a = ev.getTranslators().begin();
  for (const Translator* b : loaded.getTranslators()) {
    const Translator& original = **a++;
    EXPECT_EQ(typeid(original), typeid(*b)) << lineOf(b);
  }
  EXPECT_FALSE(dynamic_cast<const KeyTrigger*>(loaded.getTranslators().front())->flag);
}

TEST_F(InputTest, LoadKeepsBindingsWhenTheFileHasNothingToOffer) {
  ev += new KeyTrigger(fire, SDLK_f, KEYSTATE_DOWN);
  const std::string dir = korvu_test::makeTempDir();

  EXPECT_FALSE(ev.load(dir + "/missing.txt", &queue));
  korvu_test::writeFile(dir + "/empty.txt", "");
  EXPECT_FALSE(ev.load(dir + "/empty.txt", &queue));
  korvu_test::writeFile(dir + "/junk.txt", "nothing=key:a:down\n\nfire=key:F1:down\ngarbage");
  EXPECT_FALSE(ev.load(dir + "/junk.txt", &queue));
  EXPECT_EQ(linesOf(ev), std::vector<std::string>{"fire=key:f:down"});
  EXPECT_FALSE(ev.load(dir, &queue));  // a directory reads as nothing
  EXPECT_EQ(ev.getTranslators().size(), 1u);

  EXPECT_FALSE(ev.save(dir + "/no/such/dir/out.txt", &queue));
}

TEST_F(InputTest, LoadReadsLinesInOrderWhateverTheirEnds) {
  ev += new KeyTrigger(fire, SDLK_f, KEYSTATE_PRESSED);
  down(SDLK_f);  // held by a binding the load will delete
  const std::string file = korvu_test::makeTempDir() + "/mixed.txt";
  korvu_test::writeFile(file,
                        "jump=key:space:down\r\n"
                        "bogus line\n"
                        "\n"
                        "x1=key:left:pressed:-1\r\n"
                        "fire=joy:0:button:5:down");  // no newline at the end
  ASSERT_TRUE(ev.load(file, &queue));
  EXPECT_EQ(linesOf(ev), (std::vector<std::string>{"jump=key:space:down", "x1=key:left:pressed:-1",
                                                   "fire=joy:0:button:5:down"}));
  ASSERT_EQ(ev.getHeld().size(), 1u);
  EXPECT_EQ(ev.getHeld().begin()->second, nullptr);  // no pointer to the deleted binding
  queue.flush();
  EXPECT_TRUE(down(SDLK_SPACE));
  EXPECT_EQ(drain(), std::vector<Trigger*>{jump});
}
