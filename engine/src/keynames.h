// Short lower-case names of SDL's keys, for writing key bindings as text.
#pragma once

#include <SDL.h>

#include <map>
#include <string>

namespace korvu {

// The one table of key names, in ascending key-code order. Filled on the
// first call; every name is unique, so it reads both ways.
const std::map<SDLKey, std::string>& getKeyNameMap();

// The key's name, or the empty string for a key without one.
std::string getKeyName(SDLKey key);

// Finds the key whose name is exactly the given text (letter case counts).
// Returns false and leaves key alone when no key has that name.
bool getKeyByName(const std::string& name, SDLKey& key);

}  // namespace korvu
