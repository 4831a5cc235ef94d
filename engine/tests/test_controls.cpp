// The trigger queue: fired-trigger order, the registry and its ownership,
// and draining SDL's real event queue.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>
#include <string>
#include <vector>

#include "controls.h"
#include "sdlevents.h"

using korvu::Axis;
using korvu::ControlQueue;
using korvu::Trigger;
using korvu_test::keyEvent;

namespace {

// Counts its own destruction, to check who deletes what and how often.
class CountedTrigger : public Trigger {
 public:
  CountedTrigger(int id, const std::string& name, int* deaths) : Trigger(id, name, "counted"), deaths_(deaths) {}
  ~CountedTrigger() override { ++*deaths_; }

 private:
  int* deaths_;
};

// Remembers every call the queue makes.
class RecordingEvaluator : public korvu::Evaluator {
 public:
  std::vector<SDL_Event> events;
  std::vector<double> performed;
  int flushes = 0;
  ControlQueue* lastQueue = nullptr;
  bool fifoEmptyAtFlush = false;

  bool evaluate(const SDL_Event& event, ControlQueue* queue) override {
    events.push_back(event);
    lastQueue = queue;
    return true;
  }
  void perform(double dt, ControlQueue* queue) override {
    performed.push_back(dt);
    lastQueue = queue;
  }
  void flush() override {
    ++flushes;
    fifoEmptyAtFlush = lastQueue && lastQueue->isEmpty();
  }
};

SDL_Event quitEvent() {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = SDL_QUIT;
  return e;
}

// SDL's event queue without a window.
class ReadEventsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(korvu_test::initEventsWithoutWindow(), 0) << SDL_GetError(); }
  void TearDown() override { SDL_Quit(); }

  void push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 0) << SDL_GetError(); }
};

}  // namespace

TEST(ControlQueue, PopsInPushOrderAndNullWhenEmpty) {
  ControlQueue queue;
  Trigger* a = new Trigger(1, "a", "first");
  Trigger* b = new Trigger(2, "b", "second");
  queue += a;
  queue += b;

  Trigger* out = a;
  queue >> out;
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(queue.isEmpty());

  queue << a << b << nullptr << a;  // a null push is dropped
  EXPECT_FALSE(queue.isEmpty());
  std::vector<Trigger*> popped;
  for (queue >> out; out; queue >> out) popped.push_back(out);
  EXPECT_EQ(popped, (std::vector<Trigger*>{a, b, a}));
  queue >> out;
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(queue.isEmpty());
}

TEST(ControlQueue, TriggerAndAxisFields) {
  Trigger t(5, "credits", "Show credits");
  EXPECT_EQ(t.kind, 0);
  EXPECT_FALSE(t.flag);
  Axis x(6, "x1", "X axis", -2.0, 3.0);  // minimum first
  EXPECT_EQ(x.kind, 1);
  EXPECT_EQ(x.value, 0.0);
  EXPECT_EQ(x.min, -2.0);
  EXPECT_EQ(x.max, 3.0);

  EXPECT_EQ(korvu::KEYSTATE_NAME[korvu::KEYSTATE_NONE], "none");
  EXPECT_EQ(korvu::KEYSTATE_NAME[korvu::KEYSTATE_DOWN], "down");
  EXPECT_EQ(korvu::KEYSTATE_NAME[korvu::KEYSTATE_UP], "up");
  EXPECT_EQ(korvu::KEYSTATE_NAME[korvu::KEYSTATE_PRESSED], "pressed");
}

TEST(ControlQueue, SecondRegistrationTakesTheNameAndBothDieOnce) {
  int deaths = 0;
  {
    ControlQueue queue;
    Trigger* first = new CountedTrigger(1, "fire", &deaths);
    Trigger* second = new CountedTrigger(2, "fire", &deaths);
    Trigger* other = new CountedTrigger(3, "other", &deaths);
    queue += first;
    queue += other;
    queue += second;
    EXPECT_EQ(queue.find("fire"), second);
    EXPECT_EQ(queue.find("other"), other);
    EXPECT_EQ(queue.find("missing"), nullptr);
    EXPECT_EQ(queue.triggers.size(), 2u);

    // Registering the same trigger again changes nothing.
    queue += second;
    EXPECT_EQ(queue.triggers.size(), 2u);

    // The replaced trigger stays usable for whoever still points at it.
    queue << first << second << first;
    EXPECT_EQ(first->id, 1);
    queue += nullptr;  // refused, no crash
    EXPECT_EQ(deaths, 0);
  }
  // Registered, replaced and queued: each deleted exactly once.
  EXPECT_EQ(deaths, 3);
}

TEST(ControlQueue, ReplacedTriggerRegisteredAgainIsDeletedOnce) {
  int deaths = 0;
  {
    ControlQueue queue;
    Trigger* a = new CountedTrigger(1, "fire", &deaths);
    Trigger* b = new CountedTrigger(2, "fire", &deaths);
    queue += a;
    queue += b;
    queue += a;  // a takes its name back; b is now the replaced one
    EXPECT_EQ(queue.find("fire"), a);
    // A trigger renamed and registered again stands under two names.
    a->name = "renamed";
    queue += a;
    EXPECT_EQ(queue.find("renamed"), a);
    EXPECT_EQ(queue.find("fire"), a);
  }
  EXPECT_EQ(deaths, 2);
}

TEST(ControlQueue, ForwardsPerformAndFlushToItsEvaluator) {
  ControlQueue queue;
  RecordingEvaluator evaluator;
  Trigger* t = new Trigger(0, "exit", "Exit");
  queue += t;

  // Without an evaluator nothing is called and nothing breaks.
  queue.perform(10.0);
  SDL_Event e = keyEvent(SDL_KEYDOWN, SDLK_a);
  queue << e;
  queue << t;
  queue.flush();
  EXPECT_TRUE(queue.isEmpty());

  queue.evaluator = &evaluator;
  queue << e;
  ASSERT_EQ(evaluator.events.size(), 1u);
  EXPECT_EQ(evaluator.lastQueue, &queue);
  queue.perform(16.5);
  EXPECT_EQ(evaluator.performed, std::vector<double>{16.5});

  queue << t << t;
  queue.flush();
  EXPECT_EQ(evaluator.flushes, 1);
  EXPECT_FALSE(evaluator.fifoEmptyAtFlush);  // the evaluator runs first
  EXPECT_TRUE(queue.isEmpty());
  EXPECT_EQ(queue.find("exit"), t);  // the registry is untouched
  Trigger* out = t;
  queue >> out;
  EXPECT_EQ(out, nullptr);
}

TEST_F(ReadEventsTest, DeliversEveryKeyAroundAQuitAndReportsTheQuit) {
  ControlQueue queue;
  RecordingEvaluator evaluator;
  queue.evaluator = &evaluator;

  push(keyEvent(SDL_KEYDOWN, SDLK_a));
  push(quitEvent());
  push(keyEvent(SDL_KEYDOWN, SDLK_b));
  EXPECT_FALSE(queue.readEvents());
  ASSERT_EQ(evaluator.events.size(), 2u);
  EXPECT_EQ(evaluator.events[0].type, SDL_KEYDOWN);
  EXPECT_EQ(evaluator.events[0].key.keysym.sym, SDLK_a);
  EXPECT_EQ(evaluator.events[1].key.keysym.sym, SDLK_b);

  // Nothing pending: true, and the evaluator hears nothing.
  EXPECT_TRUE(queue.readEvents());
  EXPECT_EQ(evaluator.events.size(), 2u);
}

TEST_F(ReadEventsTest, WithoutEvaluatorDrainsAndDrops) {
  ControlQueue queue;
  push(keyEvent(SDL_KEYDOWN, SDLK_a));
  push(keyEvent(SDL_KEYDOWN, SDLK_b));
  EXPECT_TRUE(queue.readEvents());
  EXPECT_TRUE(queue.isEmpty());

  // The dropped events are gone: an evaluator set now gets none of them.
  RecordingEvaluator evaluator;
  queue.evaluator = &evaluator;
  EXPECT_TRUE(queue.readEvents());
  EXPECT_TRUE(evaluator.events.empty());
}
