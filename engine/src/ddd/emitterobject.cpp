#include "ddd/emitterobject.h"

#include "audio/emitter.h"

namespace korvu {
namespace ddd {

EmitterObject::EmitterObject() : emitter(new audio::Emitter()) { needsViewPos = true; }

EmitterObject::~EmitterObject() {
  delete emitter;
  emitter = nullptr;
}

void EmitterObject::buildFrameData() {
  if (emitter) emitter->position = viewPosition;
}

}  // namespace ddd
}  // namespace korvu
