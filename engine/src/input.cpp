#include "input.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "debug.h"
#include "keynames.h"

namespace korvu {

namespace {

void fire(ControlQueue* queue, Trigger* trigger) {
  if (queue && trigger) *queue << trigger;
}

Axis* asAxis(Trigger* trigger) {
  return trigger && trigger->kind == 1 ? dynamic_cast<Axis*>(trigger) : nullptr;
}

// Keys without a name in the table are written as "#" and their code, which
// no name of the table can be.
std::string keyText(SDLKey key) {
  std::string name = getKeyName(key);
  if (name.empty()) name = "#" + std::to_string(static_cast<int>(key));
  return name;
}

bool keyFromText(const std::string& text, SDLKey& key) {
  if (getKeyByName(text, key)) return true;
  if (text.size() < 2 || text.size() > 4 || text[0] != '#') return false;
  int code = 0;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    code = code * 10 + (text[i] - '0');
  }
  if (code >= SDLK_LAST) return false;
  key = static_cast<SDLKey>(code);
  return true;
}

KeyState stateFromWord(const std::string& word) {
  for (int s = KEYSTATE_DOWN; s <= KEYSTATE_PRESSED; ++s) {
    if (word == KEYSTATE_NAME[s]) return static_cast<KeyState>(s);
  }
  return KEYSTATE_NONE;
}

const std::string& stateWord(KeyState state) {
  int s = static_cast<int>(state);
  return KEYSTATE_NAME[s >= 0 && s < 4 ? s : 0];
}

long readInteger(const std::string& text) { return std::strtol(text.c_str(), nullptr, 0); }

// Takes the text up to the first ':' of `rest` into `field` and leaves what
// follows it in `rest`. False when there is no ':'.
bool splitField(std::string& rest, std::string& field) {
  size_t colon = rest.find(':');
  if (colon == std::string::npos) return false;
  field = rest.substr(0, colon);
  rest.erase(0, colon + 1);
  return true;
}

}  // namespace

// ---------------------------------------------------------------- bindings

Translator::Translator(Trigger* t) : trigger(t) {}

void Translator::out(std::ostream& os) const { os << (trigger ? trigger->name : std::string()) << "="; }

KeyTranslator::KeyTranslator(Trigger* t, SDLKey k, KeyState s) : Translator(t), key(k), state(s) {}

void KeyTranslator::out(std::ostream& os) const {
  Translator::out(os);
  os << "key:" << keyText(key) << ":" << stateWord(state);
}

KeyTrigger::KeyTrigger(Trigger* t, SDLKey k, KeyState s, bool f) : KeyTranslator(t, k, s), flag(f) {}

void KeyTrigger::out(std::ostream& os) const { KeyTranslator::out(os); }

KeyAxis::KeyAxis(Axis* a, SDLKey k, KeyState s, double v) : KeyTranslator(a, k, s), value(v) {}

Axis* KeyAxis::target() const { return asAxis(trigger); }

void KeyAxis::out(std::ostream& os) const {
  KeyTranslator::out(os);
  os << ":" << value;
}

JoyTranslator::JoyTranslator(Trigger* t, Uint8 j) : Translator(t), joystick(j) {}

void JoyTranslator::out(std::ostream& os) const {
  Translator::out(os);
  os << "joy:" << static_cast<unsigned>(joystick);
}

JoyButtonTrigger::JoyButtonTrigger(Trigger* t, Uint8 j, Uint8 b, KeyState s)
    : JoyTranslator(t, j), button(b), state(s) {}

void JoyButtonTrigger::out(std::ostream& os) const {
  JoyTranslator::out(os);
  os << ":button:" << static_cast<unsigned>(button) << ":" << stateWord(state);
}

JoyButtonAxis::JoyButtonAxis(Axis* a, Uint8 j, Uint8 b, KeyState s, double v)
    : JoyTranslator(a, j), button(b), state(s), value(v) {}

Axis* JoyButtonAxis::target() const { return asAxis(trigger); }

// Like a button's trigger line with the value after it, as for keys.
void JoyButtonAxis::out(std::ostream& os) const {
  JoyTranslator::out(os);
  os << ":button:" << static_cast<unsigned>(button) << ":" << stateWord(state) << ":" << value;
}

JoyAxis::JoyAxis(Axis* a, Uint8 j, Uint8 ax, Sint8 dir, Sint16 dz, Sint16 mx)
    : JoyTranslator(a, j), axis(ax), direction(dir), deadzone(dz), maximum(mx) {}

Axis* JoyAxis::target() const { return asAxis(trigger); }

void JoyAxis::out(std::ostream& os) const {
  JoyTranslator::out(os);
  os << ":axis:" << static_cast<unsigned>(axis) << ":" << static_cast<int>(direction) << ":"
     << static_cast<int>(deadzone) << ":" << static_cast<int>(maximum);
}

// --------------------------------------------------------------- evaluator

InputEvaluator::InputEvaluator() {}

InputEvaluator::~InputEvaluator() {
  clearTranslators();
  held.clear();
}

void InputEvaluator::operator+=(Translator* translator) {
  if (!translator) return;
  if (std::find(translators.begin(), translators.end(), translator) != translators.end()) {
    debug::warning(dbgControls, "Binding added twice; keeping the first.");
    return;
  }
  if (!translator->trigger) {
    debug::error(dbgControls, "Binding without a trigger refused.");
    delete translator;
    return;
  }
  translators.push_back(translator);
}

void InputEvaluator::clearTranslators() {
  // What the bindings held stays held (perform goes on firing it until a
  // release or flush), but no entry may go on pointing at a deleted binding:
  // a new binding could be given the same address and pass for the holder.
  for (auto& entry : held) entry.second = nullptr;
  for (Translator* t : translators) delete t;
  translators.clear();
}

void InputEvaluator::perform(double, ControlQueue* queue) {
  for (const auto& entry : held) fire(queue, entry.first);
}

void InputEvaluator::flush() { held.clear(); }

bool InputEvaluator::evaluate(const SDL_Event& event, ControlQueue* queue) {
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      return handleKeyEvent(event, queue);
    case SDL_JOYAXISMOTION:
      return handleJoyAxisEvent(event, queue);
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
      return handleJoyButtonEvent(event, queue);
    default:
      return false;
  }
}

bool InputEvaluator::releaseIfHeldBy(Trigger* target, const Translator* binding) {
  auto it = held.find(target);
  if (it == held.end() || it->second != binding) return false;
  held.erase(it);
  return true;
}

void InputEvaluator::pressTrigger(Translator* binding, KeyState state, bool down, ControlQueue* queue,
                                  bool& answer) {
  if (!binding->trigger) return;
  switch (state) {
    case KEYSTATE_DOWN:
    case KEYSTATE_UP:
      if ((state == KEYSTATE_DOWN) == down) {
        fire(queue, binding->trigger);
        answer = true;
      }
      break;
    case KEYSTATE_PRESSED:
      // The repeat runs in perform; any release of a binding of the trigger
      // ends it, whichever binding holds it.
      if (down) {
        held[binding->trigger] = binding;
      } else {
        held.erase(binding->trigger);
      }
      break;
    default:
      break;
  }
}

void InputEvaluator::pressAxis(Translator* binding, Axis* axis, KeyState state, double value, bool down,
                               ControlQueue* queue, bool& answer) {
  if (!axis) return;
  switch (state) {
    case KEYSTATE_DOWN:
    case KEYSTATE_UP:
      if ((state == KEYSTATE_DOWN) == down) {
        fire(queue, axis);
        answer = true;
      }
      break;
    case KEYSTATE_PRESSED:
      if (down) {
        axis->value = value;
        held[axis] = binding;
      } else if (releaseIfHeldBy(axis, binding)) {
        // Another binding that took the axis over keeps it.
        axis->value = 0.0;
      }
      break;
    default:
      break;
  }
}

bool InputEvaluator::handleKeyEvent(const SDL_Event& event, ControlQueue* queue) {
  if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP) return false;
  const bool down = event.type == SDL_KEYDOWN;
  const SDLKey sym = event.key.keysym.sym;
  bool answer = false;
  for (Translator* t : translators) {
    if (KeyTrigger* kt = dynamic_cast<KeyTrigger*>(t)) {
      if (kt->key == sym) pressTrigger(kt, kt->state, down, queue, answer);
    } else if (KeyAxis* ka = dynamic_cast<KeyAxis*>(t)) {
      if (ka->key == sym) pressAxis(ka, ka->target(), ka->state, ka->value, down, queue, answer);
    }
  }
  return answer;
}

bool InputEvaluator::handleJoyButtonEvent(const SDL_Event& event, ControlQueue* queue) {
  if (event.type != SDL_JOYBUTTONDOWN && event.type != SDL_JOYBUTTONUP) return false;
  const bool down = event.type == SDL_JOYBUTTONDOWN;
  const Uint8 which = event.jbutton.which;
  const Uint8 button = event.jbutton.button;
  bool answer = false;
  for (Translator* t : translators) {
    if (JoyButtonTrigger* bt = dynamic_cast<JoyButtonTrigger*>(t)) {
      if (bt->joystick == which && bt->button == button) pressTrigger(bt, bt->state, down, queue, answer);
    } else if (JoyButtonAxis* ba = dynamic_cast<JoyButtonAxis*>(t)) {
      if (ba->joystick == which && ba->button == button)
        pressAxis(ba, ba->target(), ba->state, ba->value, down, queue, answer);
    }
  }
  return answer;
}

bool InputEvaluator::handleJoyAxisEvent(const SDL_Event& event, ControlQueue*) {
  if (event.type != SDL_JOYAXISMOTION) return true;
  const int raw = event.jaxis.value;
  for (Translator* t : translators) {
    JoyAxis* ja = dynamic_cast<JoyAxis*>(t);
    if (!ja || ja->axis != event.jaxis.axis || ja->joystick != event.jaxis.which) continue;
    Axis* a = ja->target();
    if (!a) continue;

    int v = raw;
    if (ja->direction < 0) v = raw == -32768 ? 32767 : -raw;
    if (v < 0) continue;  // the other half's binding reads this

    if (v < ja->deadzone) {
      // The stick is at rest. It gives up the axis only if the axis is free
      // (or its holder was deleted) or held by this same stick (either
      // half): a resting stick's jitter must not cancel a key or button that
      // holds the axis.
      auto it = held.find(a);
      if (it == held.end()) {
        a->value = 0.0;
      } else if (!it->second) {
        a->value = 0.0;
        held.erase(it);
      } else {
        const JoyAxis* holder = dynamic_cast<const JoyAxis*>(it->second);
        if (holder && holder->joystick == ja->joystick && holder->axis == ja->axis) {
          a->value = 0.0;
          held.erase(it);
        }
      }
      continue;
    }

    held[a] = ja;
    // A range without room between dead zone and maximum saturates at once
    // instead of dividing by zero.
    if (v > ja->maximum || ja->maximum <= ja->deadzone) {
      a->value = ja->direction * a->max;
    } else {
      const int travelled = ja->direction * (v - ja->deadzone);
      const int span = ja->maximum - ja->deadzone;
      a->value = a->min + (a->max - a->min) * (static_cast<double>(travelled) / span);
    }
  }
  return true;
}

// ------------------------------------------------------------ binding text

Translator* parseTranslator(const std::string& line, const ControlQueue* queue) {
  if (line.empty() || !queue) return nullptr;
  size_t eq = line.find('=');
  if (eq == std::string::npos) return nullptr;
  Trigger* trigger = queue->find(line.substr(0, eq));
  if (!trigger) return nullptr;
  Axis* axis = asAxis(trigger);
  std::string rest = line.substr(eq + 1);

  std::string type;
  if (!splitField(rest, type)) return nullptr;

  if (type == "key") {
    std::string name;
    if (!splitField(rest, name)) return nullptr;
    // The key ':' is written as its own name, so its field looks empty and
    // the separator follows at once.
    if (name.empty() && !rest.empty() && rest[0] == ':') {
      name = ":";
      rest.erase(0, 1);
    }
    SDLKey key;
    if (!keyFromText(name, key)) return nullptr;
    std::string word;
    if (axis && splitField(rest, word)) {
      return new KeyAxis(axis, key, stateFromWord(word), std::strtod(rest.c_str(), nullptr));
    }
    // A plain trigger, or an axis fired as a trigger (its line has no value).
    return new KeyTrigger(trigger, key, stateFromWord(rest), false);
  }

  if (type == "joy") {
    std::string number, joyType;
    if (!splitField(rest, number) || !splitField(rest, joyType)) return nullptr;
    const Uint8 joystick = static_cast<Uint8>(readInteger(number));

    if (joyType == "button") {
      std::string buttonText;
      if (!splitField(rest, buttonText)) return nullptr;
      const Uint8 button = static_cast<Uint8>(readInteger(buttonText));
      std::string word;
      if (axis && splitField(rest, word)) {
        return new JoyButtonAxis(axis, joystick, button, stateFromWord(word), std::strtod(rest.c_str(), nullptr));
      }
      return new JoyButtonTrigger(trigger, joystick, button, stateFromWord(rest));
    }

    if (joyType == "axis") {
      if (!axis) return nullptr;
      std::string axisText, directionText, deadzoneText;
      if (!splitField(rest, axisText) || !splitField(rest, directionText) || !splitField(rest, deadzoneText))
        return nullptr;
      return new JoyAxis(axis, joystick, static_cast<Uint8>(readInteger(axisText)),
                         static_cast<Sint8>(readInteger(directionText)),
                         static_cast<Sint16>(readInteger(deadzoneText)), static_cast<Sint16>(readInteger(rest)));
    }
  }
  return nullptr;
}

bool InputEvaluator::readTranslatorFromString(std::string line, ControlQueue* queue) {
  Translator* t = parseTranslator(line, queue);
  if (!t) return false;
  *this += t;
  return true;
}

bool InputEvaluator::save(const std::string& fileName, ControlQueue*) const {
  std::ofstream file(fileName, std::ios::out | std::ios::trunc);
  if (!file) {
    debug::error(dbgControls, "Could not write bindings file \"%s\".", fileName.c_str());
    return false;
  }
  for (const Translator* t : translators) {
    t->out(file);
    file << '\n';
  }
  file.close();
  if (file.fail()) {
    debug::error(dbgControls, "Could not write bindings file \"%s\".", fileName.c_str());
    return false;
  }
  return true;
}

bool InputEvaluator::load(const std::string& fileName, ControlQueue* queue) {
  std::ifstream file(fileName);
  if (!file) {
    debug::warning(dbgControls, "Could not open bindings file \"%s\"; bindings unchanged.", fileName.c_str());
    return false;
  }
  // Read everything first: the old bindings go only once new ones exist.
  std::vector<Translator*> read;
  std::string line;
  int number = 0;
  while (std::getline(file, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (Translator* t = parseTranslator(line, queue)) {
      read.push_back(t);
    } else {
      debug::warning(dbgControls, "Bindings file \"%s\", line %d: no valid binding, passed over.", fileName.c_str(),
                     number);
    }
  }
  if (read.empty()) {
    debug::warning(dbgControls, "Bindings file \"%s\" holds no valid binding; bindings unchanged.",
                   fileName.c_str());
    return false;
  }
  clearTranslators();
  for (Translator* t : read) *this += t;
  return true;
}

}  // namespace korvu
