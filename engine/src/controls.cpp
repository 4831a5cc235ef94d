#include "controls.h"

#include <algorithm>
#include <set>

#include "debug.h"
#include "korvu.h"

namespace korvu {

const std::string KEYSTATE_NAME[4] = {"none", "down", "up", "pressed"};

Trigger::Trigger(int id_, const std::string& name_, const std::string& description_)
    : kind(0), id(id_), name(name_), description(description_), flag(false) {}

Axis::Axis(int id_, const std::string& name_, const std::string& description_, double min_, double max_)
    : Trigger(id_, name_, description_), value(0.0), min(min_), max(max_) {
  kind = 1;
}

void Evaluator::perform(double, ControlQueue*) {}

void Evaluator::flush() {}

ControlQueue::ControlQueue() : evaluator(nullptr) {}

ControlQueue::~ControlQueue() {
  // A trigger may stand under two names (renamed and registered again) and
  // in the list of replaced ones; delete each exactly once.
  std::set<Trigger*> deleted;
  for (auto& entry : triggers) {
    if (entry.second && deleted.insert(entry.second).second) delete entry.second;
  }
  for (Trigger* t : replaced) {
    if (t && deleted.insert(t).second) delete t;
  }
  triggers.clear();
  replaced.clear();
  fifo.clear();  // the pointers in it belong to the registry (or the pusher)
}

ControlQueue& ControlQueue::operator<<(const SDL_Event& event) {
  if (evaluator) evaluator->evaluate(event, this);
  return *this;
}

ControlQueue& ControlQueue::operator<<(Trigger* trigger) {
  if (trigger) fifo.push_back(trigger);
  return *this;
}

ControlQueue& ControlQueue::operator>>(Trigger*& trigger) {
  if (isEmpty()) {
    trigger = nullptr;
  } else {
    trigger = fifo.front();
    fifo.pop_front();
  }
  return *this;
}

void ControlQueue::perform(double dt) {
  if (evaluator) evaluator->perform(dt, this);
}

void ControlQueue::flush() {
  if (evaluator) evaluator->flush();
  fifo.clear();
}

bool ControlQueue::isEmpty() { return fifo.empty(); }

void ControlQueue::operator+=(Trigger* trigger) {
  if (!trigger) {
    debug::error(dbgControls, "Cannot register a null trigger.");
    return;
  }
  // Registered again after it lost its name: it is no longer a replaced one.
  replaced.erase(std::remove(replaced.begin(), replaced.end(), trigger), replaced.end());
  auto it = triggers.find(trigger->name);
  if (it == triggers.end()) {
    triggers.emplace(trigger->name, trigger);
  } else if (it->second != trigger) {
    if (it->second) replaced.push_back(it->second);
    it->second = trigger;
  }
}

Trigger* ControlQueue::find(const std::string& name) const {
  auto it = triggers.find(name);
  return it == triggers.end() ? nullptr : it->second;
}

bool ControlQueue::readEvents() {
  bool result = true;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    if (event.type == SDL_QUIT) {
      result = false;  // the window is to close; the rest is still drained
    } else {
      *this << event;
    }
  }
  // SIGINT, SIGTERM and SIGHUP ask for the same end as the window's close button.
  if (quitRequested()) result = false;
  return result;
}

}  // namespace korvu
