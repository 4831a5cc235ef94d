// Sprites: image quads and their texture coordinates, the box a sprite
// covers, box and pixel-mask collisions, the sprite engine's lists and
// calls, and an image sprite drawn at its hot spot.
#include <GL/gl.h>

#include <memory>
#include <string>
#include <vector>

#include "bitmask.h"
#include "image.h"
#include "sprite.h"
#include "testsupport.h"

using namespace korvu;

namespace {

// An image record with sizes but no texture (enough for geometry).
std::unique_ptr<Image> sizedImage(uint32_t w, uint32_t h, uint32_t tw, uint32_t th, Vector2D hot = Vector2D()) {
  std::unique_ptr<Image> image(new Image("i", "i.png", hot));
  image->width = w;
  image->height = h;
  image->textureWidth = tw;
  image->textureHeight = th;
  return image;
}

// A sprite that counts what the engine asks of it.
struct Probe : Sprite {
  int draws = 0;
  double stepped = 0;
  std::vector<Sprite*> hits;
  int* deaths;
  Probe(Vector2D at, float w, float h, int* d = nullptr) : Sprite(at, true), deaths(d) {
    width = w;
    height = h;
  }
  ~Probe() override {
    if (deaths) ++*deaths;
  }
  void draw() override { ++draws; }
  void perform(double dt) override { stepped += dt; }
  void onCollision(Sprite* other) override { hits.push_back(other); }
};

}  // namespace

TEST(Sprite, ImageQuadsHangBelowThePositionAtFullHeight) {
  auto cursor = sizedImage(16, 16, 16, 16);
  ImageSprite s(Vector2D(100, 200), true, cursor.get());
  EXPECT_EQ(s.width, 16);
  EXPECT_EQ(s.height, 16);
  const float quad[4][2] = {{0, -16}, {16, -16}, {16, 0}, {0, 0}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(s.vertices[i][0], quad[i][0]) << i;
    EXPECT_EQ(s.vertices[i][1], quad[i][1]) << i;
  }
  EXPECT_EQ(s.left(), 100);
  EXPECT_EQ(s.top(), 200);
  for (const auto& c : s.colors) EXPECT_EQ(c[0] + c[1] + c[2] + c[3], 4.0f);

  // Padding of the texture is not shown.
  auto padded = sizedImage(20, 10, 32, 16);
  s.setImage(padded.get());
  const float coords[4][2] = {{0, 0.625f}, {0.625f, 0.625f}, {0.625f, 0}, {0, 0}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(s.textureCoords[i][0], coords[i][0]) << i;
    EXPECT_EQ(s.textureCoords[i][1], coords[i][1]) << i;
  }

  // A hot spot down from the top edge moves the whole quad up; it keeps the
  // image's height.
  auto hot = sizedImage(16, 12, 16, 16, Vector2D(4, 5));
  s.setImage(hot.get());
  EXPECT_EQ(s.vertices[0][0], -4);
  EXPECT_EQ(s.vertices[1][0], 12);
  EXPECT_EQ(s.vertices[2][1] - s.vertices[0][1], 12);
  EXPECT_EQ(s.vertices[2][1], 5);
  EXPECT_EQ(s.top(), 205);
  EXPECT_EQ(s.left(), 96);

  s.setImage(nullptr);
  EXPECT_EQ(s.width + s.height, 0);
  EXPECT_EQ(s.getBitmask(), nullptr);
}

TEST(Sprite, BoxesCollideWhenTheyOverlapOrTouch) {
  Probe a(Vector2D(0, 10), 10, 10);  // x 0..10, y 0..10
  Probe b(Vector2D(10, 15), 5, 5);   // touches a's upper right corner
  EXPECT_TRUE(a.checkCollisionBoundingBox(&b));
  EXPECT_TRUE(b.checkCollisionBoundingBox(&a));
  b.position = Vector2D(10.5f, 15);
  EXPECT_FALSE(a.checkCollision(&b));
  b.position = Vector2D(5, 15.5f);  // its lower edge half a pixel above a
  EXPECT_FALSE(a.checkCollision(&b));
  b.position = Vector2D(5, 10);  // inside
  EXPECT_TRUE(a.checkCollision(&b));
  // A hot spot moves the box with the quad.
  b.hotSpot = Vector2D(0, 11);  // now y 16..21
  EXPECT_FALSE(a.checkCollision(&b));
  EXPECT_FALSE(a.checkCollision(&a));
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(a.checkCollision(nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Checking collision with sprite null??\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  korvu::cleanUpSpriteEngines();
}

TEST(Sprite, MasksDecideWhereBothSpritesHaveOne) {
  // Two 40 x 3 images whose masks hold one pixel each: a's at column 39 of
  // its top row, b's at column 0 of its bottom row.
  auto ia = sizedImage(40, 3, 64, 4);
  auto ib = sizedImage(40, 3, 64, 4);
  ia->bitmask = new Bitmask(40, 3);
  ia->bitmask->set(39, 0);
  ib->bitmask = new Bitmask(40, 3);
  ib->bitmask->set(0, 2);
  ImageSprite a(Vector2D(0, 100), true, ia.get());
  ImageSprite b(Vector2D(0, 100), true, ib.get());
  EXPECT_TRUE(a.checkCollisionBoundingBox(&b));
  EXPECT_FALSE(a.checkCollision(&b));
  // b 39 pixels right and 2 rows up: its bottom row meets a's top row.
  b.position = Vector2D(39, 102);
  EXPECT_TRUE(a.checkCollision(&b));
  EXPECT_TRUE(b.checkCollision(&a));
  // Two rows down instead: boxes overlap, pixels do not.
  b.position = Vector2D(39, 98);
  EXPECT_FALSE(a.checkCollision(&b));
  // Offsets are rounded to the nearest pixel.
  b.position = Vector2D(38.6f, 101.6f);
  EXPECT_TRUE(a.checkCollision(&b));
  // Without a mask on one side the box answers.
  b.position = Vector2D(0, 100);
  delete ib->bitmask;
  ib->bitmask = nullptr;
  EXPECT_TRUE(a.checkCollision(&b));
  EXPECT_FALSE(a.checkCollisionBitmask(&b));
}

TEST(SpriteEngine, ListsCallsAndCollisionReports) {
  int deaths = 0;
  std::unique_ptr<SpriteEngine> engine(new SpriteEngine());
  Probe* a = new Probe(Vector2D(0, 10), 10, 10, &deaths);
  Probe* b = new Probe(Vector2D(5, 10), 10, 10, &deaths);
  Probe* far = new Probe(Vector2D(100, 10), 10, 10, &deaths);
  for (Probe* p : {a, b, far}) {
    p->collide = true;
    *engine += p;
  }
  *engine += a;  // once is enough
  EXPECT_EQ(engine->sprites.size(), 3u);
  EXPECT_EQ(engine->active.size(), 3u);
  EXPECT_EQ(a->owner, &engine->sprites);

  engine->testCollisions();
  EXPECT_EQ(a->hits, std::vector<Sprite*>{b});
  EXPECT_EQ(b->hits, std::vector<Sprite*>{a});
  EXPECT_TRUE(far->hits.empty());
  b->collide = false;
  engine->testCollisions();
  EXPECT_EQ(a->hits.size(), 1u);
  EXPECT_EQ(b->hits.size(), 1u);

  b->visible = false;
  engine->draw();
  engine->perform(16);
  EXPECT_EQ(a->draws, 1);
  EXPECT_EQ(b->draws, 0);
  EXPECT_EQ(b->stepped, 16);

  // Against another engine both sprites of a pair are told.
  SpriteEngine other;
  Probe* c = new Probe(Vector2D(3, 12), 2, 2, &deaths);
  c->collide = true;
  other += c;
  engine->testCollisions(&other);
  EXPECT_EQ(a->hits.back(), c);
  EXPECT_EQ(c->hits, std::vector<Sprite*>{a});

  // A sprite deleted on its own leaves both lists; moving a sprite to
  // another engine takes it out of the first.
  delete far;
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(engine->sprites.size(), 2u);
  EXPECT_EQ(engine->active.size(), 2u);
  other += b;
  EXPECT_EQ(engine->active.size(), 1u);
  EXPECT_EQ(other.active.size(), 2u);
  engine->draw();
  engine.reset();
  EXPECT_EQ(deaths, 2);
}

class SpriteFrame : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 64; }
  int windowHeight() const override { return 64; }
};

TEST_F(SpriteFrame, ImageSpriteIsDrawnAtItsHotSpot) {
  const std::string dir = korvu_test::makeTempDir();
  // 16 x 12: the top row red, the rest white; hot spot 4 right, 3 down.
  std::vector<uint8_t> pixels(16 * 12 * 4, 255);
  for (int x = 0; x < 16; ++x) pixels[static_cast<size_t>(x) * 4 + 1] = pixels[static_cast<size_t>(x) * 4 + 2] = 0;
  korvu_test::writeRgbaPng(dir + "/s.png", 16, 12, pixels);
  Image image("s", dir + "/s.png", Vector2D(4, 3));
  image.refresh();
  ImageSprite sprite(Vector2D(30, 40), true, &image);

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 64, 0, 64, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClearColor(0, 0, 0, 1);  // opaque, so the saved frame shows as it is
  glClear(GL_COLOR_BUFFER_BIT);
  sprite.draw();
  korvu_test::saveWindowArtifact("sprite_hot_spot");
  // Covers x 26..42 and y 31..43, the red row at y 42.
  const std::vector<uint8_t> frame = korvu_test::readPixels(0, 0, 64, 64);
  int wrong = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const uint8_t* p = &frame[static_cast<size_t>(y * 64 + x) * 4];
      const bool inside = x >= 26 && x < 42 && y >= 31 && y < 43;
      const uint8_t g = inside && y != 42 ? 255 : 0;
      const uint8_t r = inside ? 255 : 0;
      if (p[0] != r || p[1] != g) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0);
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  EXPECT_EQ(m[12], 0.0f);
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
