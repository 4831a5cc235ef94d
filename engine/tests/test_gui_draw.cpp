// A small GUI drawn into a real window and read back: the looks of a hot and
// a plain button, bevelled borders, scissoring of children that reach out of
// their parents, a hidden GUI, and the GL state the GUI leaves behind. Every
// frame checked is saved as a PNG artifact.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "controls.h"
#include "gui_fixture.h"
#include "fonts/font.h"
#include "gui/gui.h"
#include "image.h"
#include "korvu.h"
#include "rendercontext.h"
#include "sdlevents.h"
#include "sprite.h"
#include "testsupport.h"

using namespace korvu;
using namespace korvu::gui;

namespace {

const int W = 320;
const int H = 240;

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

const Rgb BLACK{0, 0, 0}, RED{255, 0, 0}, GREEN{0, 255, 0}, BLUE{0, 0, 255}, WHITE{255, 255, 255},
    GREY{128, 128, 128}, DARK{64, 64, 64};

const char* const DESCRIPTION =
    "<GUI name=\"root\" width=\"320\" height=\"240\" cursor=\"missing\">"
    "<PlainRectStyle name=\"grey\" color=\"808080FF\"/>"
    "<PlainRectStyle name=\"blue\" color=\"0000FFFF\"/>"
    "<PlainRectStyle name=\"green\" color=\"00FF00FF\"/>"
    "<PlainRectStyle name=\"red\" color=\"FF0000FF\"/>"
    "<PlainRectStyle name=\"ghost\" color=\"FF000000\"/>"
    "<PlainRectStyle name=\"bevel\" color=\"0000FFFF\" border=\"4\" colorBorder1=\"FFFFFFFF\""
    "                colorBorder2=\"404040FF\"/>"
    "<LabelStyle name=\"up\" rect=\"blue\"/>"
    "<LabelStyle name=\"hot\" rect=\"green\"/>"
    "<ButtonStyle name=\"button\" up=\"up\" upHot=\"hot\" downHot=\"hot\"/>"
    "<Pane name=\"panel\" x=\"20\" y=\"20\" width=\"200\" height=\"150\" style=\"grey\">"
    "  <Button name=\"one\" x=\"10\" y=\"10\" width=\"60\" height=\"30\" style=\"button\"/>"
    "  <Button name=\"two\" x=\"100\" y=\"10\" width=\"60\" height=\"30\" style=\"button\"/>"
    "  <Pane name=\"spill\" x=\"150\" y=\"100\" width=\"100\" height=\"100\" style=\"red\">"
    "    <Pane name=\"inner\" x=\"60\" y=\"60\" width=\"80\" height=\"80\" style=\"green\"/>"
    "  </Pane>"
    "  <Pane name=\"invisible\" x=\"10\" y=\"60\" width=\"40\" height=\"40\" style=\"ghost\"/>"
    "</Pane>"
    "<Pane name=\"framed\" x=\"250\" y=\"20\" width=\"40\" height=\"40\" style=\"bevel\"/>"
    "</GUI>";

class GuiDraw : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return W; }
  int windowHeight() const override { return H; }

  ControlQueue queue;
  ImageBank images;
  FontBank fonts;
  std::unique_ptr<GUI> gui;
  std::vector<uint8_t> frame;

  void SetUp() override {
    korvu_test::GLWindowTest::SetUp();
    gui = korvu_test::readGUI(DESCRIPTION, &images, &fonts, &queue.triggers);
    gui->active = true;
  }

  void TearDown() override {
    gui.reset();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    korvu_test::GLWindowTest::TearDown();
  }

  // Draws the GUI over a cleared frame the way the main loop does, reads
  // the frame back and keeps it as an artifact.
  void drawFrame(const std::string& artifact) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    RenderContext2D().apply();
    resetCursor();
    gui->draw();
    frame = korvu_test::readPixels(0, 0, W, H);
    korvu_test::saveArtifact(artifact, W, H, frame);
  }

  Rgb at(int x, int y) const {
    const uint8_t* p = &frame[(static_cast<size_t>(y) * W + x) * 4];
    return {p[0], p[1], p[2]};
  }
};

}  // namespace

TEST_F(GuiDraw, HotButtonLooksDifferentFromAPlainOne) {
  // The pointer over button "one" (window y runs downwards).
  gui->evaluate(korvu_test::motionEvent(60, H - 45), &queue);
  ASSERT_EQ(gui->focus, (*gui)["one"]);
  drawFrame("gui_hot_button");
  EXPECT_EQ(at(60, 45), GREEN);
  EXPECT_EQ(at(150, 45), BLUE);
  // The panel around them, and nothing outside it.
  EXPECT_EQ(at(25, 100), GREY);
  EXPECT_EQ(at(10, 10), BLACK);
  // A fully transparent style leaves the panel showing through.
  EXPECT_EQ(at(40, 100), GREY);

  // The pointer moves to "two": the looks swap.
  gui->evaluate(korvu_test::motionEvent(150, H - 45), &queue);
  drawFrame("gui_hot_button_moved");
  EXPECT_EQ(at(60, 45), BLUE);
  EXPECT_EQ(at(150, 45), GREEN);
}

TEST_F(GuiDraw, ChildrenAreClippedByTheirParentsBox) {
  drawFrame("gui_scissoring");
  // "spill" reaches out of the panel (which ends at x 220, y 170): only its
  // part inside the panel is drawn.
  EXPECT_EQ(at(200, 130), RED);
  EXPECT_EQ(at(230, 130), BLACK);
  EXPECT_EQ(at(200, 175), BLACK);
  // Its child is clipped by the spill's own box only, which lies partly
  // outside the panel.
  EXPECT_EQ(at(235, 185), GREEN);
  EXPECT_EQ(at(235, 225), BLACK);
  EXPECT_EQ(at(275, 185), BLACK);

  // The bevel: the pane is blue, the top and left bands white, the bottom
  // and right bands dark, 4 units wide outside the rectangle.
  EXPECT_EQ(at(270, 40), BLUE);
  EXPECT_EQ(at(270, 62), WHITE);
  EXPECT_EQ(at(247, 40), WHITE);
  EXPECT_EQ(at(270, 17), DARK);
  EXPECT_EQ(at(292, 40), DARK);
  EXPECT_EQ(at(270, 66), BLACK);
  EXPECT_EQ(at(295, 40), BLACK);
}

TEST_F(GuiDraw, HiddenGuiDrawsNothingAndTheGlStateIsLeftAsFound) {
  gui->visible = false;
  drawFrame("gui_hidden");
  for (int y = 0; y < H; y += 7) {
    for (int x = 0; x < W; x += 7) ASSERT_EQ(at(x, y), BLACK) << x << "," << y;
  }

  // Drawing the visible GUI keeps the blend, depth and scissor settings.
  gui->visible = true;
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ZERO);
  gui->draw();
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
  GLint source = 0;
  glGetIntegerv(GL_BLEND_SRC, &source);
  EXPECT_EQ(source, GL_ONE);
  EXPECT_EQ(currentPos, Vector2D(0, 0));
  // The cursor has no image: nothing is drawn for it (and nothing breaks).
  ASSERT_NE(gui->cursor, nullptr);
  EXPECT_EQ(gui->cursor->image, nullptr);
}
