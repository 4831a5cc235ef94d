// A small GUI drawn into a real window and read back: the looks of a hot and
// a plain button, bevelled borders, scissoring of children that reach out of
// their parents, a hidden GUI, and the GL state the GUI leaves behind. Every
// frame checked is saved as a PNG artifact.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "controls.h"
#include "gui_fixture.h"
#include "fonts/font.h"
#include "gui/gui.h"
#include "image.h"
#include "korvu.h"
#include "rendercontext.h"
#include "screenshot.h"
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
    GREY{128, 128, 128}, DARK{64, 64, 64}, YELLOW{255, 255, 0}, CYAN{0, 255, 255}, MAGENTA{255, 0, 255};

// A font whose every character is a solid 8 by 10 block in the current
// colour: enough to see where a style puts a text and in what colour.
struct BlockFont : fonts::Font {
  uint8_t getHeight() const override { return 10; }
  uint16_t getWidth(const char* text) const override { return static_cast<uint16_t>(8 * std::strlen(text)); }
  void print(const char* text) const override {
    const float w = getWidth(text);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glVertex2f(w, 0);
    glVertex2f(w, 10);
    glVertex2f(0, 10);
    glEnd();
    glTranslatef(w, 0, 0);
  }
};

// A PNG of one colour.
void writeSolidPng(const std::string& path, int w, int h, Uint8 r, Uint8 g, Uint8 b) {
  SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000);
  ASSERT_NE(s, nullptr);
  SDL_FillRect(s, nullptr, SDL_MapRGBA(s->format, r, g, b, 255));
  savePng(s, path.c_str());
  SDL_FreeSurface(s);
}

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
    "<Pane name=\"odd\" x=\"1e30\" y=\"nan\" width=\"-5\" height=\"1e12\"><Pane name=\"in\"/></Pane>"
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
  // Positions and sizes no screen has were refused when read.
  const Component* odd = (*gui)["odd"];
  EXPECT_EQ(odd->x, 0.0f);
  EXPECT_EQ(odd->y, 0.0f);
  EXPECT_EQ(odd->width, -5.0f);
  EXPECT_EQ(odd->height, 0.0f);
  // The cursor has no image: nothing is drawn for it (and nothing breaks).
  ASSERT_NE(gui->cursor, nullptr);
  EXPECT_EQ(gui->cursor->image, nullptr);
}

TEST_F(GuiDraw, ImagesFramesCaptionsTextAndTheCursor) {
  const std::string dir = korvu_test::makeTempDir();
  writeSolidPng(dir + "/tile.png", 8, 8, 255, 255, 0);
  writeSolidPng(dir + "/mark.png", 4, 4, 0, 255, 255);
  writeSolidPng(dir + "/pointer.png", 6, 6, 255, 0, 255);
  BlockFont* font = new BlockFont;
  font->name = "blocks";
  fonts += font;
  const std::string file = dir + "/gui.xml";
  korvu_test::writeFile(file,
                        "<GUI name=\"root\" width=\"320\" height=\"240\" cursor=\"pointer\">"
                        "<images><image name=\"pointer\" filename=\"pointer.png\"/>"
                        "<image name=\"tile\" filename=\"tile.png\"/><image name=\"mark\" filename=\"mark.png\"/>"
                        "<image name=\"lost\" filename=\"nowhere.png\"/></images>"
                        "<TexturedRectStyle name=\"framed\" stretch=\"false\" color=\"FFFFFFFF\" colorBorder=\"FFFFFFFF\""
                        " center=\"tile\" upperLeft=\"mark\" upper=\"mark\" upperRight=\"mark\" left=\"mark\""
                        " right=\"lost\" lowerLeft=\"mark\" lower=\"mark\" lowerRight=\"mark\"/>"
                        "<SimpleFontStyle name=\"text\" font=\"blocks\" color=\"FF0000FF\"/>"
                        "<LabelStyle name=\"label\" font=\"text\" imageHorizontal=\"left\"/>"
                        "<Pane name=\"tiles\" x=\"40\" y=\"40\" width=\"64\" height=\"32\" style=\"framed\"/>"
                        "<Label name=\"caption\" x=\"150\" y=\"100\" width=\"120\" height=\"40\" caption=\"abc\""
                        " image=\"mark\" style=\"label\"/>"
                        "</GUI>");
  // The image that cannot be loaded is logged; the others are loaded.
  gui.reset(new GUI(file, &images, &fonts, &queue.triggers));
  ASSERT_NE(images["tile"], nullptr);
  EXPECT_NE(images["tile"]->texture, 0u);
  EXPECT_EQ(images["lost"]->texture, 0u);
  gui->active = true;
  gui->evaluate(korvu_test::motionEvent(200, H - 50), &queue);
  EXPECT_EQ(gui->cursor->position, Vector2D(200, 50));
  drawFrame("gui_images_text_cursor");

  // The centre tile repeats over the pane; the frame lies outside it, the
  // piece whose image failed is left out.
  EXPECT_EQ(at(70, 55), YELLOW);
  EXPECT_EQ(at(103, 71), YELLOW);
  EXPECT_EQ(at(70, 74), CYAN);
  EXPECT_EQ(at(38, 74), CYAN);
  EXPECT_EQ(at(38, 55), CYAN);
  EXPECT_EQ(at(106, 38), CYAN);
  EXPECT_EQ(at(106, 55), BLACK);
  EXPECT_EQ(at(70, 78), BLACK);
  // The caption image sits at the left, centred up and down; the left-
  // justified red text starts right of it, centred up and down.
  EXPECT_EQ(at(152, 120), CYAN);
  EXPECT_EQ(at(152, 116), BLACK);
  EXPECT_EQ(at(160, 120), RED);
  EXPECT_EQ(at(177, 116), RED);
  EXPECT_EQ(at(180, 120), BLACK);
  EXPECT_EQ(at(160, 126), BLACK);
  // The cursor hangs below and right of the pointer, over everything.
  EXPECT_EQ(at(202, 47), MAGENTA);
  EXPECT_EQ(at(198, 47), BLACK);
  EXPECT_EQ(at(202, 52), BLACK);
}

TEST_F(GuiDraw, AnImageDefinedAgainIsReloadedWhereStylesAndTheCursorUseIt) {
  const std::string dir = korvu_test::makeTempDir();
  writeSolidPng(dir + "/tile.png", 8, 8, 255, 255, 0);
  writeSolidPng(dir + "/mark.png", 8, 8, 0, 255, 255);
  const std::string file = dir + "/gui.xml";
  korvu_test::writeFile(file,
                        "<GUI name=\"root\" width=\"320\" height=\"240\" cursor=\"tile\">"
                        "<images><image name=\"tile\" filename=\"tile.png\"/></images>"
                        "<TexturedRectStyle name=\"plain\" color=\"FFFFFFFF\" center=\"tile\"/>"
                        "<images><image name=\"tile\" filename=\"mark.png\"/></images>"
                        "<Pane name=\"pane\" x=\"40\" y=\"40\" width=\"64\" height=\"32\" style=\"plain\"/>"
                        "</GUI>");
  gui.reset(new GUI(file, &images, &fonts, &queue.triggers));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(gui->cursor->image, images["tile"]);
  gui->active = true;
  gui->evaluate(korvu_test::motionEvent(200, H - 50), &queue);
  drawFrame("gui_image_defined_twice");
  EXPECT_EQ(at(70, 55), CYAN);
  EXPECT_EQ(at(202, 47), CYAN);
}
