#include "sprite.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bitmask.h"
#include "debug.h"
#include "image.h"

namespace korvu {

void cleanUpSpriteEngines() {}

SpriteList::SpriteList(SpriteEngine* engine_) : engine(engine_) {}

SpriteList::~SpriteList() { clear(); }

void SpriteList::operator+=(Sprite* sprite) {
  if (sprite->owner == this) return;
  if (sprite->owner) *sprite->owner -= sprite;
  push_back(sprite);
  sprite->owner = this;
}

void SpriteList::operator-=(Sprite* sprite) {
  remove(sprite);
  if (engine) engine->active.remove(sprite);
  if (sprite->owner == this) sprite->owner = nullptr;
}

void SpriteList::clear() {
  while (!empty()) {
    Sprite* sprite = front();
    *this -= sprite;
    sprite->owner = nullptr;
    delete sprite;
  }
}

Sprite::Sprite(Vector2D position_, bool visible_)
    : owner(nullptr), position(position_), width(0.0f), height(0.0f), visible(visible_), collide(false) {}

Sprite::~Sprite() {
  if (owner) *owner -= this;
}

void Sprite::perform(double) {}

Bitmask* Sprite::getBitmask() const { return nullptr; }

void Sprite::onCollision(Sprite*) {}

bool Sprite::checkCollisionBoundingBox(const Sprite* other) const {
  if (other == this) return false;
  return left() <= other->left() + other->width && other->left() <= left() + width &&
         top() - height <= other->top() && other->top() - other->height <= top();
}

bool Sprite::checkCollisionBitmask(const Sprite* other) const {
  const Bitmask* mine = getBitmask();
  const Bitmask* theirs = other->getBitmask();
  if (!mine || !theirs) return false;
  // Columns to the right and rows downwards, rounded to the nearest pixel.
  const int dx = static_cast<int>(std::floor(other->left() - left() + 0.5f));
  const int dy = static_cast<int>(std::floor(top() - other->top() + 0.5f));
  return korvu::checkCollisionBitmask(mine, theirs, dx, dy);
}

bool Sprite::checkCollision(const Sprite* other) const {
  if (!other) {
    // A caller's fault, told on standard error apart from the log.
    std::fputs("Checking collision with sprite null??\n", stderr);
    return false;
  }
  if (!checkCollisionBoundingBox(other)) return false;
  if (getBitmask() && other->getBitmask()) return checkCollisionBitmask(other);
  return true;
}

ImageSprite::ImageSprite(Vector2D position_, bool visible_, Image* image_)
    : Sprite(position_, visible_), image(nullptr), vertices(), textureCoords() {
  for (auto& c : colors) std::fill(c, c + 4, 1.0f);
  setImage(image_);
}

void ImageSprite::setImage(Image* image_) {
  image = image_;
  if (!image) {
    width = 0.0f;
    height = 0.0f;
    return;
  }
  width = static_cast<float>(image->width);
  height = static_cast<float>(image->height);
  hotSpot = image->hotSpot;
  const float l = -hotSpot.x, r = width - hotSpot.x;
  const float upper = hotSpot.y, lower = hotSpot.y - height;
  const float s = image->textureWidth ? width / static_cast<float>(image->textureWidth) : 0.0f;
  const float t = image->textureHeight ? height / static_cast<float>(image->textureHeight) : 0.0f;
  const float quad[4][2] = {{l, lower}, {r, lower}, {r, upper}, {l, upper}};
  const float coords[4][2] = {{0.0f, t}, {s, t}, {s, 0.0f}, {0.0f, 0.0f}};
  std::copy(&quad[0][0], &quad[0][0] + 8, &vertices[0][0]);
  std::copy(&coords[0][0], &coords[0][0] + 8, &textureCoords[0][0]);
}

void ImageSprite::draw() {
  if (!image) return;
  glEnable(GL_TEXTURE_2D);
  glTranslatef(position.x, position.y, 0.0f);
  glBindTexture(GL_TEXTURE_2D, image->texture);
  glVertexPointer(2, GL_FLOAT, 0, vertices);
  glTexCoordPointer(2, GL_FLOAT, 0, textureCoords);
  glColorPointer(4, GL_FLOAT, 0, colors);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glDrawArrays(GL_QUADS, 0, 4);
  glTranslatef(-position.x, -position.y, 0.0f);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
}

void ImageSprite::perform(double) {}

Bitmask* ImageSprite::getBitmask() const { return image ? image->bitmask : nullptr; }

SpriteEngine::SpriteEngine() : sprites(this) {}

SpriteEngine::~SpriteEngine() {
  sprites.clear();
  active.clear();
}

void SpriteEngine::operator+=(Sprite* sprite) {
  sprites += sprite;
  if (std::find(active.begin(), active.end(), sprite) == active.end()) active.push_back(sprite);
}

void SpriteEngine::draw() {
  for (Sprite* sprite : active) {
    if (sprite->visible) sprite->draw();
  }
}

void SpriteEngine::perform(double dt) {
  for (Sprite* sprite : active) sprite->perform(dt);
}

void SpriteEngine::testCollisions() {
  for (Sprite* a : active) {
    if (!a->collide) continue;
    for (Sprite* b : active) {
      if (b != a && b->collide && a->checkCollision(b)) a->onCollision(b);
    }
  }
}

void SpriteEngine::testCollisions(SpriteEngine* other) {
  for (Sprite* a : active) {
    if (!a->collide) continue;
    for (Sprite* b : other->active) {
      if (!b->collide || !a->checkCollision(b)) continue;
      a->onCollision(b);
      b->onCollision(a);
    }
  }
}

}  // namespace korvu
