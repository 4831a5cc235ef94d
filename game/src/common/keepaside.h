// Files that cannot be read are kept, not overwritten: the player's records
// and profiles may still be in them.
#pragma once

#include <string>

namespace glimro {

// Moves a file that cannot be read out of the way of the next save, to the
// first free name of "<file>.broken", "<file>.broken.1", "<file>.broken.2",
// ..., so that no file kept aside earlier is replaced. Gives the new name;
// throws a message when the file cannot be moved.
std::string keepAside(const std::string& file);

}  // namespace glimro
