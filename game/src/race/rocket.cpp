#include "race/rocket.h"

#include "race/raceresources.h"

namespace glimro {

Rocket::Rocket() : korvu::ddd::ModelObject(raceResources->model("rocket")), lifetime(1000.0f) {
  setShadowModel(model);
}

}  // namespace glimro
