// The command vocabulary and the queue that carries fired commands from
// SDL's event queue to the code that acts on them.
//
// A Trigger is a named command with an integer id; an Axis is a trigger that
// also carries a value (steering, throttle ...). The ControlQueue owns every
// trigger registered in it, keeps a first-in first-out list of fired
// triggers, and hands SDL events to its current Evaluator.
#pragma once

#include <SDL.h>

#include <list>
#include <map>
#include <string>
#include <vector>

namespace korvu {

// When a binding acts on its key or button.
enum KeyState : int {
  KEYSTATE_NONE = 0,     // never
  KEYSTATE_DOWN = 1,     // when it goes down
  KEYSTATE_UP = 2,       // when it comes up
  KEYSTATE_PRESSED = 3   // for as long as it is held
};

// The words of the states, indexed by KeyState.
extern const std::string KEYSTATE_NAME[4];

class Trigger {
 public:
  int kind;                 // 0 plain trigger, 1 Axis
  int id;                   // the command number; the engine never reads it
  std::string name;         // registry key, unique within a queue
  std::string description;  // for people, stored only
  bool flag;                // free for the owner; the input code ignores it

  Trigger(int id, const std::string& name, const std::string& description);
  // Virtual so that a trigger is always destroyed as what it is, whoever
  // holds the pointer.
  virtual ~Trigger() = default;
};

class Axis : public Trigger {
 public:
  double value;  // current value; bindings write it, nothing clamps it
  double min;    // range used by joystick-axis bindings only
  double max;

  Axis(int id, const std::string& name, const std::string& description, double min, double max);
};

// Registered triggers by name, in ascending name order.
typedef std::map<std::string, Trigger*> Triggers;

class ControlQueue;

// Whatever consumes the queue's SDL events.
class Evaluator {
 public:
  virtual ~Evaluator() {}
  // Per-frame step with the frame's length in milliseconds.
  virtual void perform(double dt, ControlQueue* queue);
  // Consumes one event; true when the event was used.
  virtual bool evaluate(const SDL_Event& event, ControlQueue* queue) = 0;
  // Forgets input state that outlives one event (held keys and the like).
  virtual void flush();
};

class ControlQueue {
 public:
  Evaluator* evaluator;  // receives the events; not owned
  // The registry. Read it freely (the GUI resolves its widgets' trigger
  // names in it); register through operator+= so ownership stays right.
  Triggers triggers;

  ControlQueue();
  virtual ~ControlQueue();

  ControlQueue(const ControlQueue&) = delete;
  ControlQueue& operator=(const ControlQueue&) = delete;

  // Hands the event to the evaluator; dropped when there is none.
  virtual ControlQueue& operator<<(const SDL_Event& event);
  // Fires a trigger: appends it to the back of the queue. A null pointer is
  // dropped, since null is what popping an empty queue yields.
  virtual ControlQueue& operator<<(Trigger* trigger);
  // Pops the oldest fired trigger, or null when the queue is empty.
  virtual ControlQueue& operator>>(Trigger*& trigger);
  virtual void perform(double dt);
  // Lets the evaluator forget held input, then empties the queue of fired
  // triggers. Registered triggers stay registered.
  virtual void flush();
  virtual bool isEmpty();

  // Registers a trigger under its name and takes ownership of it. A trigger
  // already registered under that name loses its entry, but the queue keeps
  // it alive (bindings and widgets may still point at it) and deletes it with
  // the others when the queue is destroyed.
  void operator+=(Trigger* trigger);

  // Drains SDL's event queue, handing every event but SDL_QUIT on through
  // operator<<. Returns false when an SDL_QUIT was among them or a quit
  // signal has come (korvu::quitRequested).
  bool readEvents();

  // The registered trigger of that name, or null.
  Trigger* find(const std::string& name) const;

 protected:
  std::list<Trigger*> fifo;
  // Triggers that lost their name to a later registration; still owned.
  std::vector<Trigger*> replaced;
};

}  // namespace korvu
