// Named, owning resource banks: a map from a name to an element that the
// bank owns. Every element type declares two members of its own:
//   std::string name;          the key it is stored under
//   MappedBank<T>* bank;       the bank that holds it, null when in none
// The bank deletes its elements with delete (through their virtual
// destructor where the type has one).
#pragma once

#include <map>
#include <string>

#include "debug.h"

namespace korvu {

template <class T>
class MappedBank : public std::map<std::string, T*> {
 public:
  typedef std::map<std::string, T*> Map;

  std::string name;
  // A bank that holds this bank as one of its elements, if any.
  MappedBank<MappedBank<T>>* bank;

  MappedBank() : bank(nullptr) {}
  MappedBank(const MappedBank&) = delete;
  MappedBank& operator=(const MappedBank&) = delete;

  virtual ~MappedBank() {
    if (bank) {
      *bank -= this;
      bank = nullptr;
    }
    MappedBank<T>::clear();
  }

  // Removes and deletes every element, smallest name first; entries that
  // hold no element are erased.
  virtual void clear() {
    while (!Map::empty()) {
      typename Map::iterator first = Map::begin();
      T* element = first->second;
      if (!element) {
        Map::erase(first);
        continue;
      }
      const std::string key = first->first;
      *this -= element;
      // An element renamed while stored is not found under its own name;
      // make sure its entry goes all the same.
      typename Map::iterator left = Map::find(key);
      if (left != Map::end() && left->second == element) Map::erase(left);
      delete element;
    }
  }

  // Takes the element into the bank under its name. It leaves its previous
  // bank first; an element already stored under that name is deleted.
  virtual void operator+=(T* element) {
    if (element->bank) *element->bank -= element;
    typename Map::iterator taken = Map::find(element->name);
    if (taken != Map::end() && taken->second && taken->second != element) {
      T* old = taken->second;
      delete old;  // may take itself out of the map
    }
    (*this)[element->name] = element;
    element->bank = this;
  }

  // Hands the element back to the caller: its entry is erased (when it is
  // the one stored under its name) and its bank cleared; it is not deleted.
  virtual void operator-=(T* element) {
    debug::debug(dbgCore, "Detaching mapped bank element \"%s\".", element->name.c_str());
    typename Map::iterator entry = Map::find(element->name);
    // Never drop another element that merely shares the name: it would be
    // lost to the bank while still believing it is stored here.
    if (entry != Map::end() && (entry->second == element || !entry->second)) Map::erase(entry);
    element->bank = nullptr;
  }

  // Calls the member function of every element in name order, passing over
  // entries that hold none.
  void forEach(void (T::*call)()) {
    for (auto& entry : *this) {
      if (entry.second) (entry.second->*call)();
    }
  }
};

}  // namespace korvu
