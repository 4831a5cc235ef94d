#include "ddd/quadtree.h"

namespace korvu {
namespace ddd {

QuadtreeObject::QuadtreeObject() : visible(nullptr) {}

QuadtreeObject::~QuadtreeObject() {
  clear();
  // The quadtree and the list go with the members, then Object deletes the
  // ordinary children.
}

void QuadtreeObject::operator+=(Object* object) {
  if (object == nullptr) return;
  objects.push_back(object);
  quadtree.put(object, Vector2D(object->position.x, object->position.z));
  // This node owns the object from now on: an earlier parent must not keep
  // it among its children, or it would be deleted twice.
  if (object->parent != nullptr) object->parent->Object::operator-=(object);
  object->parent = this;
}

void QuadtreeObject::operator-=(Object* object) { objects.remove(object); }

void QuadtreeObject::clear() {
  while (!objects.empty()) {
    Object* object = objects.front();
    operator-=(object);
    delete object;
  }
}

void QuadtreeObject::buildFrameData() {
  const std::list<Object*>& selected = visible != nullptr ? *visible : objects;
  for (Object* object : selected) {
    if (object != nullptr && object->active) object->process(world);
  }
}

}  // namespace ddd
}  // namespace korvu
