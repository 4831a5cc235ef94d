#include "ddd/object.h"

#include <algorithm>
#include <vector>

#include "ddd/camera.h"
#include "ddd/pipeline.h"

namespace korvu {
namespace ddd {

namespace {

// The right-handed rotation by degrees about a normalised axis.
Matrix3D rotationMatrix(float degrees, const Vector3D& axis) {
  Matrix3D r;
  r.setRotate(static_cast<float>(degrees / 180.0 * 3.141592654), axis, true);
  return r;
}

}  // namespace

Object::Object()
    : parent(nullptr),
      active(true),
      hasMoved(true),
      needsViewPos(false),
      skybox(nullptr),
      skyboxClockwise(true) {}

Object::~Object() {
  // Each child's destructor takes it out of this list.
  while (!children.empty()) {
    Object* child = children.front();
    if (child->parent == this) {
      delete child;  // takes itself out of the list
      continue;
    }
    // A listed child that does not point back would never leave the list by
    // itself. One without a parent is still ours to delete; one that names
    // another parent belongs there and is only dropped from this list.
    children.pop_front();
    if (!child->parent) delete child;
  }
  if (parent) {
    parent->Object::operator-=(this);
    parent = nullptr;
  }
}

void Object::drawSelf() {}

void Object::buildFrameData() {}

void Object::operator+=(Object* child) {
  if (!child || child == this) return;
  if (child->parent) child->parent->Object::operator-=(child);
  children.push_back(child);
  child->parent = this;
}

void Object::operator-=(Object* child) {
  if (!child) return;
  children.remove(child);
  child->parent = nullptr;
}

void Object::reattachAt(Object* ancestor) {
  if (!ancestor || parent == ancestor) return;
  std::vector<Object*> chain;
  for (Object* n = this; n && n != ancestor; n = n->parent) chain.push_back(n);
  // Not an ancestor: the walk ran off the top of the tree. Leave the node
  // where it is rather than corrupt its placement.
  if (chain.empty() || chain.back()->parent != ancestor) return;
  std::reverse(chain.begin(), chain.end());

  Matrix3D m;
  Vector3D p(0, 0, 0);
  for (Object* n : chain) {
    p += m * n->position;
    m.multRight(n->rotation);
  }
  if (parent) parent->Object::operator-=(this);
  position = p;
  rotation = m;
  inverseRotation = m.inverse(m.determinant());
  *ancestor += this;
}

void Object::rotate(float degrees, const Vector3D& axis) {
  rotation.multRight(rotationMatrix(degrees, axis));
  inverseRotation.multLeft(rotationMatrix(-degrees, axis));
}

void Object::setHasMoved(bool value) {
  hasMoved = value;
  for (Object* child : children) child->setHasMoved(value);
}

void Object::process(const Matrix3D&) {
  if (!active) return;
  if (hasMoved) {
    // world = P x T(position) x rotation. P x T(position) is P with its last
    // column replaced by P applied to (position, 1), built in place.
    if (parent) {
      world = parent->world;
    } else {
      world.setIdentity();
    }
    const Vector3D& p = position;
    for (int i = 0; i < 4; ++i) {
      world.m[i][3] = world.m[i][0] * p.x + world.m[i][1] * p.y + world.m[i][2] * p.z + world.m[i][3];
    }
    worldPosition = Vector3D(world.m[0][3], world.m[1][3], world.m[2][3]);
    world.multRight(rotation);
  }
  if (needsViewPos) {
    const Camera* camera = pipeline.camera;
    modelview = camera ? camera->view * world : world;
    viewPosition = Vector3D(modelview.m[0][3], modelview.m[1][3], modelview.m[2][3]);
  }
  buildFrameData();
  for (Object* child : children) {
    if (child->active) child->process(modelview);
  }
  hasMoved = false;
}

}  // namespace ddd
}  // namespace korvu
