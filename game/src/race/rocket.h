// The scene object of one rocket. Every vehicle's launcher holds a loaded
// rocket as its child from the vehicle's construction on; a fired rocket
// belongs to the race's world and its rocket list.
#pragma once

#include "ddd/modelobject.h"
#include "mathtypes.h"

namespace glimro {

class Rocket : public korvu::ddd::ModelObject {
 public:
  // Displacement per millisecond in the rocket's own frame (its rotation
  // turns it into the parent's); zero while loaded.
  korvu::Vector3D velocity;
  // Milliseconds of flight left.
  float lifetime;

  // Shows the model "rocket" of the race's model bank and casts its shadow;
  // without that model the rocket has neither. Unplaced: no parent, at the
  // origin, unturned.
  Rocket();

  // One step of flight: straight on along its own +z while its lifetime
  // lasts, then a burst into a particle explosion that joins the world and
  // the race's explosions; the race deletes the spent rocket.
  void perform(float dt);
};

}  // namespace glimro
