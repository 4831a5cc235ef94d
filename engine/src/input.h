// Bindings of keys, joystick buttons and joystick axes to triggers and axes,
// the evaluator that applies SDL's input events to them, and their one-line
// text form.
#pragma once

#include <SDL.h>

#include <list>
#include <map>
#include <ostream>
#include <string>

#include "controls.h"

namespace korvu {

// A binding: one physical input tied to a trigger or an axis. It does not
// own its target (the queue owns the triggers).
class Translator {
 public:
  Trigger* trigger;

  explicit Translator(Trigger* trigger);
  virtual ~Translator() {}
  // Writes the binding's text line, without the newline.
  virtual void out(std::ostream& os) const;
};

class KeyTranslator : public Translator {
 public:
  SDLKey key;
  KeyState state;

  KeyTranslator(Trigger* trigger, SDLKey key, KeyState state);
  void out(std::ostream& os) const override;
};

// A key that fires a plain trigger.
class KeyTrigger : public KeyTranslator {
 public:
  bool flag;  // stored only

  KeyTrigger(Trigger* trigger, SDLKey key, KeyState state, bool flag = false);
  void out(std::ostream& os) const override;
};

// A key that gives an axis a value while it is held.
class KeyAxis : public KeyTranslator {
 public:
  double value;

  KeyAxis(Axis* axis, SDLKey key, KeyState state, double value);
  Axis* target() const;
  void out(std::ostream& os) const override;
};

class JoyTranslator : public Translator {
 public:
  Uint8 joystick;  // SDL's joystick index

  JoyTranslator(Trigger* trigger, Uint8 joystick);
  void out(std::ostream& os) const override;
};

// A joystick button that fires a plain trigger.
class JoyButtonTrigger : public JoyTranslator {
 public:
  Uint8 button;
  KeyState state;

  JoyButtonTrigger(Trigger* trigger, Uint8 joystick, Uint8 button, KeyState state);
  void out(std::ostream& os) const override;
};

// A joystick button that gives an axis a value while it is held.
class JoyButtonAxis : public JoyTranslator {
 public:
  Uint8 button;
  KeyState state;
  double value;

  JoyButtonAxis(Axis* axis, Uint8 joystick, Uint8 button, KeyState state, double value);
  Axis* target() const;
  void out(std::ostream& os) const override;
};

// One half of a joystick axis: readings in `direction` (-1 or +1) from the
// dead zone up to `maximum` move the target axis across its range in
// proportion; beyond `maximum` it saturates.
class JoyAxis : public JoyTranslator {
 public:
  Uint8 axis;  // SDL's axis number on the joystick
  Sint8 direction;
  Sint16 deadzone;
  Sint16 maximum;

  JoyAxis(Axis* target, Uint8 joystick, Uint8 axis, Sint8 direction, Sint16 deadzone, Sint16 maximum);
  Axis* target() const;
  void out(std::ostream& os) const override;
};

// Applies key and joystick events to its bindings, which it owns. Every
// binding that matches an event acts, in the order the bindings were added.
class InputEvaluator : public Evaluator {
 public:
  // Which binding holds each trigger or axis that is currently held (by a
  // "pressed" binding, or by a stick outside its dead zone). The holder is
  // null once its binding has been deleted.
  typedef std::map<Trigger*, Translator*> Held;

  InputEvaluator();
  ~InputEvaluator() override;

  InputEvaluator(const InputEvaluator&) = delete;
  InputEvaluator& operator=(const InputEvaluator&) = delete;

  // Fires every held trigger once; called once per frame.
  void perform(double dt, ControlQueue* queue) override;
  bool evaluate(const SDL_Event& event, ControlQueue* queue) override;
  // Forgets what is held; axis values stay as they are.
  void flush() override;

  // Deletes every binding. What they held stays held, with no binding as its
  // holder, until a release or flush ends it.
  void clearTranslators();
  // Appends a binding and takes ownership. A null binding, one without a
  // target or one already added is refused (and a refused new one deleted).
  void operator+=(Translator* translator);

  bool handleKeyEvent(const SDL_Event& event, ControlQueue* queue);
  bool handleJoyButtonEvent(const SDL_Event& event, ControlQueue* queue);
  bool handleJoyAxisEvent(const SDL_Event& event, ControlQueue* queue);

  // Writes every binding, one line each, in evaluation order. False when the
  // file could not be written.
  bool save(const std::string& fileName, ControlQueue* queue) const;
  // Replaces the bindings by those read from the file, resolving trigger
  // names in the queue's registry. A file that cannot be read, or holds no
  // valid line, leaves the current bindings in place and gives false.
  bool load(const std::string& fileName, ControlQueue* queue);
  // Parses one line and appends the binding it describes; false (and nothing
  // added) when the line is no valid binding.
  bool readTranslatorFromString(std::string line, ControlQueue* queue);

  const std::list<Translator*>& getTranslators() const { return translators; }
  const Held& getHeld() const { return held; }

 private:
  std::list<Translator*> translators;
  Held held;

  // Shared by keys and joystick buttons.
  void pressTrigger(Translator* binding, KeyState state, bool down, ControlQueue* queue, bool& answer);
  void pressAxis(Translator* binding, Axis* axis, KeyState state, double value, bool down, ControlQueue* queue,
                 bool& answer);
  // Releases the entry of `target` if `binding` is what holds it.
  bool releaseIfHeldBy(Trigger* target, const Translator* binding);
};

// Builds the binding one text line describes, or null when the line is no
// valid binding for the queue's registry. The caller owns the result.
Translator* parseTranslator(const std::string& line, const ControlQueue* queue);

}  // namespace korvu
