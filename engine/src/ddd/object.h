// Scene-graph nodes. Each node has a placement relative to its parent, owns
// its children and is visited once per rendered view by the frame pass
// (process), which updates its matrices and lets it queue work for the
// pipeline through buildFrameData. Nodes do not draw themselves; the
// pipeline draws from the frame lists.
#pragma once

#include <list>

#include "mathtypes.h"

namespace korvu {
namespace ddd {

class Model;

class Object {
 public:
  // The node this one hangs under; not owned.
  Object* parent;
  // Local placement in the parent's frame.
  Vector3D position;
  Matrix3D rotation;
  // Inverse of rotation, kept in step by rotate and reattachAt.
  Matrix3D inverseRotation;
  // Owned, in the order they were added.
  std::list<Object*> children;
  // An inactive node is skipped by the frame pass with its whole subtree.
  bool active;
  // Origin of the node in root space.
  Vector3D worldPosition;
  // Local-to-root matrix.
  Matrix3D world;
  // Origin of the node in eye space (only with needsViewPos).
  Vector3D viewPosition;
  // Camera view matrix times world (only with needsViewPos).
  Matrix3D modelview;
  // The node or an ancestor moved since the last frame pass.
  bool hasMoved;
  // The frame pass computes modelview and viewPosition for this node.
  bool needsViewPos;
  // Drawn around the camera when this node is the rendered root; not owned.
  Model* skybox;
  // The skybox is drawn with clockwise front faces.
  bool skyboxClockwise;

  Object();
  virtual ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  // Draws the node with immediate OpenGL calls; nothing in the frame pass
  // calls it.
  virtual void drawSelf();
  // The node's hook of the frame pass: queue work in the pipeline.
  virtual void buildFrameData();

  // Moves the child here (from any earlier parent), appended last.
  void operator+=(Object* child);
  // Removes every occurrence of the child and clears its parent.
  void operator-=(Object* child);
  // Moves the node under one of its ancestors, keeping its placement.
  void reattachAt(Object* ancestor);
  // Turns the node about an axis of its own frame.
  void rotate(float degrees, const Vector3D& axis);
  // Writes hasMoved into this node and its whole subtree.
  void setHasMoved(bool value);
  // The frame pass over this subtree; the argument is not read (the view
  // comes from the pipeline's camera).
  void process(const Matrix3D& unused);
};

// A node that draws itself in the transparent stage.
class Drawable : public Object {
 public:
  virtual void draw() = 0;
};

}  // namespace ddd
}  // namespace korvu
