#include "keynames.h"

namespace korvu {

namespace {

std::map<SDLKey, std::string> buildKeyNames() {
  std::map<SDLKey, std::string> names;
  auto add = [&names](int code, const std::string& name) { names[static_cast<SDLKey>(code)] = name; };

  // Printable keys are named by their character.
  for (int c = 33; c <= 36; ++c) add(c, std::string(1, static_cast<char>(c)));
  for (int c = 38; c <= 64; ++c) add(c, std::string(1, static_cast<char>(c)));
  for (int c = 91; c <= 122; ++c) add(c, std::string(1, static_cast<char>(c)));

  // Keypad and function keys.
  for (int i = 0; i <= 9; ++i) add(SDLK_KP0 + i, "pad_" + std::to_string(i));
  add(SDLK_KP_PERIOD, "pad_.");
  add(SDLK_KP_DIVIDE, "pad_/");
  add(SDLK_KP_MULTIPLY, "pad_*");
  add(SDLK_KP_MINUS, "pad_-");
  add(SDLK_KP_PLUS, "pad_+");
  add(SDLK_KP_EQUALS, "pad_=");
  for (int i = 1; i <= 15; ++i) add(SDLK_F1 + i - 1, "f" + std::to_string(i));

  add(SDLK_BACKSPACE, "backspace");
  add(SDLK_TAB, "tab");
  add(SDLK_CLEAR, "clear");
  add(SDLK_RETURN, "return");
  add(SDLK_PAUSE, "pause");
  add(SDLK_ESCAPE, "esc");
  add(SDLK_SPACE, "space");
  add(SDLK_DELETE, "del");
  add(SDLK_KP_ENTER, "enter");
  add(SDLK_UP, "up");
  add(SDLK_DOWN, "down");
  add(SDLK_RIGHT, "right");
  add(SDLK_LEFT, "left");
  add(SDLK_INSERT, "ins");
  add(SDLK_HOME, "home");
  add(SDLK_END, "end");
  add(SDLK_PAGEUP, "pgup");
  add(SDLK_PAGEDOWN, "pgdn");
  add(SDLK_NUMLOCK, "numlock");
  add(SDLK_CAPSLOCK, "capslock");
  add(SDLK_SCROLLOCK, "scrollock");
  add(SDLK_RSHIFT, "rshift");
  add(SDLK_LSHIFT, "lshift");
  add(SDLK_RCTRL, "rctrl");
  add(SDLK_LCTRL, "lctrl");
  add(SDLK_RALT, "ralt");
  add(SDLK_LALT, "lalt");
  add(SDLK_RMETA, "rmeta");
  add(SDLK_LMETA, "lmeta");
  add(SDLK_LSUPER, "lwin");
  add(SDLK_RSUPER, "rwin");
  add(SDLK_MODE, "mode");
  add(SDLK_HELP, "help");
  add(SDLK_PRINT, "printscreen");
  add(SDLK_SYSREQ, "sysrq");
  add(SDLK_BREAK, "break");
  add(SDLK_MENU, "menu");
  add(SDLK_POWER, "power");
  add(SDLK_EURO, "euro");
  return names;
}

}  // namespace

const std::map<SDLKey, std::string>& getKeyNameMap() {
  // Built once, under the language's guard for local statics.
  static const std::map<SDLKey, std::string> names = buildKeyNames();
  return names;
}

std::string getKeyName(SDLKey key) {
  const auto& names = getKeyNameMap();
  auto it = names.find(key);
  return it == names.end() ? std::string() : it->second;
}

bool getKeyByName(const std::string& name, SDLKey& key) {
  for (const auto& entry : getKeyNameMap()) {
    if (entry.second == name) {
      key = entry.first;
      return true;
    }
  }
  return false;
}

}  // namespace korvu
