// A scene node that carries a sound emitter and keeps its position in the
// eye space of the view being rendered.
#pragma once

#include "ddd/object.h"

namespace korvu {

namespace audio { class Emitter; }

namespace ddd {

class EmitterObject : public Object {
 public:
  // Owned.
  audio::Emitter* emitter;

  // Needs the global audio context.
  EmitterObject();
  ~EmitterObject() override;

  void buildFrameData() override;
};

}  // namespace ddd
}  // namespace korvu
