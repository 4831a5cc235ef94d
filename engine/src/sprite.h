// A small 2D sprite layer: positioned rectangles with a hot spot, drawn,
// stepped and tested against each other by box and then by pixel mask. A
// sprite's hot spot is measured from its upper-left corner, x to the right
// and y downwards, so a sprite with hot spot (0, 0) hangs below and to the
// right of its position (frame coordinates have y upwards). The sprite
// engine owns the sprites added to it; a sprite deleted by anyone leaves the
// engine's lists first.
#pragma once

#include <list>

#include "mathtypes.h"

namespace korvu {

class Bitmask;
class Image;
class Sprite;
class SpriteEngine;

// The owning sprite list of a sprite engine.
class SpriteList : public std::list<Sprite*> {
 public:
  SpriteEngine* engine;  // whose active list a leaving sprite also leaves

  explicit SpriteList(SpriteEngine* engine);
  ~SpriteList();
  SpriteList(const SpriteList&) = delete;
  SpriteList& operator=(const SpriteList&) = delete;

  // Takes ownership; the sprite leaves its previous list first.
  void operator+=(Sprite* sprite);
  // Hands the sprite back without deleting it.
  void operator-=(Sprite* sprite);
  // Deletes every sprite.
  void clear();
};

class Sprite {
 public:
  SpriteList* owner;  // null while in no engine
  Vector2D position;
  float width;
  float height;
  Vector2D hotSpot;  // from the upper-left corner, y downwards
  bool visible;
  bool collide;  // only sprites with this flag take part in an engine's tests

  Sprite(Vector2D position, bool visible);
  // Leaves its engine.
  virtual ~Sprite();
  Sprite(const Sprite&) = delete;
  Sprite& operator=(const Sprite&) = delete;

  virtual void draw() = 0;
  virtual void perform(double dt);
  // The pixel mask, top row first; none by default.
  virtual Bitmask* getBitmask() const;
  virtual void onCollision(Sprite* other);

  // The box the sprite covers.
  float left() const { return position.x - hotSpot.x; }
  float top() const { return position.y + hotSpot.y; }

  // Whether the boxes overlap, touching edges included; never with itself.
  bool checkCollisionBoundingBox(const Sprite* other) const;
  // Whether the masks, placed where the sprites stand, share a set pixel;
  // false when either has none.
  bool checkCollisionBitmask(const Sprite* other) const;
  // By box, then by mask when both sprites have one.
  bool checkCollision(const Sprite* other) const;
};

// Draws one image as a textured quad. The image is not owned and must
// outlive the sprite.
class ImageSprite : public Sprite {
 public:
  Image* image;
  float vertices[4][2];       // lower left, lower right, upper right, upper left
  float textureCoords[4][2];  // the same corners
  float colors[4][4];         // RGBA per corner, opaque white at first

  ImageSprite(Vector2D position, bool visible, Image* image);

  // Takes the image's size and hot spot and rebuilds the quad, always the
  // image's full height.
  void setImage(Image* image);

  // Draws at the position (the caller checks visibility); leaves texturing
  // enabled. Draws nothing without an image.
  void draw() override;
  void perform(double dt) override;
  Bitmask* getBitmask() const override;
};

class SpriteEngine {
 public:
  SpriteList sprites;          // owned
  std::list<Sprite*> active;   // drawn, stepped and tested; in sprites

  SpriteEngine();
  ~SpriteEngine();
  SpriteEngine(const SpriteEngine&) = delete;
  SpriteEngine& operator=(const SpriteEngine&) = delete;

  // Takes ownership and makes the sprite active.
  void operator+=(Sprite* sprite);

  // The visible active sprites, in list order.
  void draw();
  // Every active sprite, visible or not.
  void perform(double dt);
  // Every colliding pair of active sprites with the collide flag is told
  // twice, once to each sprite. onCollision must not delete sprites.
  void testCollisions();
  // Against another engine's active sprites: both sprites of a pair are told.
  void testCollisions(SpriteEngine* other);
};

// The sprite engines hold nothing process-wide: there is nothing to release.
void cleanUpSpriteEngines();

}  // namespace korvu
