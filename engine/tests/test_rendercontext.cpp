#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

#include "korvu.h"
#include "rendercontext.h"
#include "testsupport.h"

namespace {

GLint getInt(GLenum what) {
  GLint v = 0;
  glGetIntegerv(what, &v);
  return v;
}

GLfloat getFloat(GLenum what) {
  GLfloat v = 0;
  glGetFloatv(what, &v);
  return v;
}

// OpenGL's matrices are column-major: element [row][col] is m[col * 4 + row].
float at(const GLfloat m[16], int row, int col) { return m[col * 4 + row]; }

class RenderContextGL : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 256; }
  int windowHeight() const override { return 192; }

  void TearDown() override {
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    korvu_test::GLWindowTest::TearDown();
  }
};

}  // namespace

TEST(RenderContexts, DefaultsAreDefined) {
  korvu::RenderContext3D c3;
  EXPECT_EQ(c3.separateSpecular, 0);
  EXPECT_EQ(c3.ambient, korvu::Color(0.2f, 0.2f, 0.2f, 0.1f));
  EXPECT_TRUE(c3.depthTest);
  EXPECT_EQ(c3.clearDepth, 10000.0f);
  EXPECT_EQ(korvu::RenderContext2D().separateSpecular, 0);
}

// Each hint lands on its own target: 0 don't care, above 0 nicest, below 0
// fastest.
TEST_F(RenderContextGL, HintsPolygonModeAndShading) {
  const GLenum targets[4] = {GL_FOG_HINT, GL_PERSPECTIVE_CORRECTION_HINT, GL_POINT_SMOOTH_HINT,
                             GL_POLYGON_SMOOTH_HINT};
  const struct {
    short hints[4];
    GLint expected[4];
    bool wireframe;
    int smooth;
  } cases[] = {{{-5, 5, 1, 0}, {GL_FASTEST, GL_NICEST, GL_NICEST, GL_DONT_CARE}, true, 3},
               {{2, 0, -1, -32768}, {GL_NICEST, GL_DONT_CARE, GL_FASTEST, GL_FASTEST}, false, 0}};
  for (const auto& k : cases) {
    korvu::RenderContext c;
    c.fogHint = k.hints[0];
    c.perspectiveHint = k.hints[1];
    c.pointSmoothHint = k.hints[2];
    c.polygonSmoothHint = k.hints[3];
    c.wireframe = k.wireframe;
    c.smooth = k.smooth;
    c.apply();
    EXPECT_EQ(korvu::currentRenderContext, &c);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(getInt(targets[i]), k.expected[i]) << "hint " << i;
    GLint modes[2];
    glGetIntegerv(GL_POLYGON_MODE, modes);
    GLint mode = k.wireframe ? GL_LINE : GL_FILL;
    EXPECT_EQ(modes[0], mode);
    EXPECT_EQ(modes[1], mode);
    EXPECT_EQ(getInt(GL_SHADE_MODEL), k.smooth ? GL_SMOOTH : GL_FLAT);
  }
}

TEST_F(RenderContextGL, LightModel) {
  korvu::RenderContext3D c;
  c.lighting = true;
  c.ambient = korvu::Color(0.1f, 0.3f, 0.5f, 0.7f);
  c.apply();
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(getFloat(GL_LIGHT_MODEL_LOCAL_VIEWER), 1.0f);
  // The default of the specular switch selects one colour.
  EXPECT_EQ(getInt(GL_LIGHT_MODEL_COLOR_CONTROL), GL_SINGLE_COLOR);
  GLfloat ambient[4];
  glGetFloatv(GL_LIGHT_MODEL_AMBIENT, ambient);
  EXPECT_EQ((std::vector<float>(ambient, ambient + 4)), (std::vector<float>{0.1f, 0.3f, 0.5f, 0.7f}));
  c.separateSpecular = 1;
  c.apply();
  EXPECT_EQ(getInt(GL_LIGHT_MODEL_COLOR_CONTROL), GL_SEPARATE_SPECULAR_COLOR);
  c.separateSpecular = -1;
  c.apply();
  EXPECT_EQ(getInt(GL_LIGHT_MODEL_COLOR_CONTROL), GL_SINGLE_COLOR);

  korvu::RenderContext2D flat;
  flat.apply();
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

// The half-screen viewport of one player in a split screen: the projection
// covers 0..512 by 0..768 whatever the viewport's offset.
TEST_F(RenderContextGL, ProjectionOf2DCoversTheCurrentViewport) {
  korvu::Viewport right(512, 0, 512, 768);
  korvu::currentViewport = &right;
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(3, 4, 0);  // the 2D context must leave the modelview alone
  glMatrixMode(GL_PROJECTION);
  korvu::RenderContext2D c;
  c.apply();
  EXPECT_EQ(getInt(GL_MATRIX_MODE), GL_MODELVIEW);
  GLfloat p[16];
  glGetFloatv(GL_PROJECTION_MATRIX, p);
  EXPECT_FLOAT_EQ(at(p, 0, 0), 2.0f / 512);
  EXPECT_FLOAT_EQ(at(p, 1, 1), 2.0f / 768);
  EXPECT_FLOAT_EQ(at(p, 2, 2), -1.0f);
  EXPECT_FLOAT_EQ(at(p, 0, 3), -1.0f);
  EXPECT_FLOAT_EQ(at(p, 1, 3), -1.0f);
  EXPECT_FLOAT_EQ(at(p, 3, 3), 1.0f);
  EXPECT_FLOAT_EQ(at(p, 0, 1), 0.0f);
  GLfloat mv[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, mv);
  EXPECT_FLOAT_EQ(at(mv, 0, 3), 3.0f);
  EXPECT_FLOAT_EQ(at(mv, 1, 3), 4.0f);
  korvu::currentViewport = &korvu::vpScreen;
}

TEST_F(RenderContextGL, TwoAndThreeDimensionalStateUndoEachOther) {
  glEnable(GL_NORMALIZE);
  glEnable(GL_CULL_FACE);
  glEnable(GL_FOG);
  korvu::RenderContext3D c3;
  c3.apply();
  korvu::RenderContext2D c2;
  c2.blending = true;
  c2.apply();
  for (GLenum cap : {GL_DEPTH_TEST, GL_NORMALIZE, GL_CULL_FACE, GL_FOG}) EXPECT_FALSE(glIsEnabled(cap)) << cap;
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(getInt(GL_BLEND_SRC), GL_SRC_ALPHA);
  EXPECT_EQ(getInt(GL_BLEND_DST), GL_ONE);

  glCullFace(GL_FRONT);
  c3.apply();
  EXPECT_EQ(korvu::currentRenderContext, &c3);
  for (GLenum cap : {GL_DEPTH_TEST, GL_NORMALIZE, GL_CULL_FACE}) EXPECT_TRUE(glIsEnabled(cap)) << cap;
  EXPECT_EQ(getInt(GL_CULL_FACE_MODE), GL_BACK);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(getFloat(GL_DEPTH_CLEAR_VALUE), 1.0f);  // 10000 clamped

  c3.depthTest = false;
  c3.clearDepth = 0.5f;
  c3.apply();
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_EQ(getFloat(GL_DEPTH_CLEAR_VALUE), 0.5f);
  c2.blending = false;
  c2.apply();
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(RenderContextGL, FogModes) {
  korvu::RenderContext3D c;
  c.fogHint = -1;
  c.fogQualityHint = 1;
  c.fogStart = 10;
  c.fogEnd = 250;
  c.fogDensity = 0.02f;
  c.fogColor = korvu::Color(0.25f, 0.5f, 0.75f, 1.0f);
  const struct {
    int mode;
    GLint gl;
  } cases[] = {{1, GL_LINEAR}, {2, GL_EXP}, {3, GL_EXP2}, {-1, GL_EXP2}};
  for (const auto& k : cases) {
    glFogi(GL_FOG_MODE, GL_LINEAR);
    if (k.gl == GL_LINEAR) glFogi(GL_FOG_MODE, GL_EXP);
    c.fogMode = k.mode;
    c.apply();
    EXPECT_TRUE(glIsEnabled(GL_FOG)) << k.mode;
    EXPECT_EQ(getInt(GL_FOG_MODE), k.gl) << k.mode;
    EXPECT_EQ(getFloat(GL_FOG_START), 10.0f);
    EXPECT_EQ(getFloat(GL_FOG_END), 250.0f);
    EXPECT_FLOAT_EQ(getFloat(GL_FOG_DENSITY), 0.02f);
    GLfloat color[4];
    glGetFloatv(GL_FOG_COLOR, color);
    EXPECT_EQ((std::vector<float>(color, color + 4)), (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));
    // While fog is on, its own quality hint replaces the general one.
    EXPECT_EQ(getInt(GL_FOG_HINT), GL_NICEST);
  }
  c.fogMode = 0;
  c.apply();
  EXPECT_FALSE(glIsEnabled(GL_FOG));
  EXPECT_EQ(getInt(GL_FOG_HINT), GL_FASTEST);
}

TEST_F(RenderContextGL, CursorMovesTheCurrentMatrix) {
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(50, 50, 50);
  korvu::resetCursor();
  korvu::moveCursor(korvu::Vector2D(10, 20));
  korvu::moveCursor(korvu::Vector3D(1, 2, 3));
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  EXPECT_EQ(at(m, 0, 3), 11.0f);
  EXPECT_EQ(at(m, 1, 3), 22.0f);
  EXPECT_EQ(at(m, 2, 3), 3.0f);
  korvu::resetCursor();
  korvu::rotateCursor(90, korvu::Vector3D(0, 0, 1));
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  EXPECT_NEAR(at(m, 1, 0), 1.0f, 1e-6);  // x axis turned onto y
  EXPECT_NEAR(at(m, 0, 1), -1.0f, 1e-6);
  EXPECT_EQ(at(m, 0, 3), 0.0f);
}

// Draws with both contexts into the two halves of the window and checks the
// pixels: the 2D mapping puts a pixel-sized square where it was asked for,
// and the 3D context's depth test hides what lies behind.
TEST_F(RenderContextGL, DrawsIntoTheViewports) {
  korvu::setClearColor(0, 0, 0, 1);
  korvu::clearScreen();

  korvu::Viewport left(0, 0, 128, 192);
  korvu::currentViewport = &left;
  glViewport(0, 0, 128, 192);
  korvu::RenderContext2D c2;
  c2.apply();
  korvu::resetCursor();
  korvu::moveCursor(korvu::Vector2D(10, 20));
  glColor4f(1, 0, 0, 1);
  glBegin(GL_QUADS);  // pixels x 10..39, y 20..49 of the left half
  glVertex2f(0, 0);
  glVertex2f(30, 0);
  glVertex2f(30, 30);
  glVertex2f(0, 30);
  glEnd();

  korvu::Viewport right(128, 0, 128, 192);
  korvu::currentViewport = &right;
  glViewport(128, 0, 128, 192);
  korvu::RenderContext3D c3;
  c3.apply();
  glClear(GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  korvu::resetCursor();
  // Near blue square first, then a far green one over it: the depth test
  // keeps the blue (both front faces, so culling keeps them).
  const struct {
    float z, r, g, b;
  } quads[] = {{0.5f, 0, 0, 1}, {-0.5f, 0, 1, 0}};
  for (const auto& q : quads) {
    glColor3f(q.r, q.g, q.b);
    glBegin(GL_QUADS);
    glVertex3f(-0.5f, -0.5f, q.z);
    glVertex3f(0.5f, -0.5f, q.z);
    glVertex3f(0.5f, 0.5f, q.z);
    glVertex3f(-0.5f, 0.5f, q.z);
    glEnd();
  }
  glFinish();

  auto px = korvu_test::readPixels(0, 0, 256, 192);
  auto pixel = [&](int x, int y) { return &px[(static_cast<size_t>(y) * 256 + x) * 4]; };
  EXPECT_EQ(pixel(10, 20)[0], 255);
  EXPECT_EQ(pixel(39, 49)[0], 255);
  EXPECT_EQ(pixel(40, 49)[0], 0);
  EXPECT_EQ(pixel(39, 50)[0], 0);
  EXPECT_EQ(pixel(9, 20)[0], 0);
  const uint8_t* mid = pixel(192, 96);
  EXPECT_EQ(mid[0], 0);
  EXPECT_EQ(mid[1], 0);
  EXPECT_EQ(mid[2], 255);
  korvu_test::saveArtifact("rendercontext_viewports", 256, 192, px);
  korvu::currentViewport = &korvu::vpScreen;
}
