// Styles read from GUI descriptions: colours, defaults, references by name
// and of the right kind only, names defined twice, names that find nothing,
// and where a label style puts the caption image and the text.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fonts/font.h"
#include "gui/button.h"
#include "gui/checkbox.h"
#include "gui/dropdownlist.h"
#include "gui/label.h"
#include "gui/pane.h"
#include "gui/style.h"
#include "gui/widgetstyle.h"
#include "gui_fixture.h"

using namespace korvu;
using namespace korvu::gui;

namespace {

// A font that prints nothing: enough to be found by name.
struct SilentFont : fonts::Font {
  uint8_t getHeight() const override { return 10; }
  uint16_t getWidth(const char*) const override { return 0; }
  void print(const char*) const override {}
};

class GuiStyles : public korvu_test::GuiTest {
 protected:
  template <class T>
  T* style(const std::string& name) {
    auto it = gui->styles->find(name);
    if (it == gui->styles->end()) return nullptr;
    T* found = dynamic_cast<T*>(it->second);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
};

}  // namespace

TEST(GuiColours, HexadecimalNumbersAlignedToTheRight) {
  const struct {
    const char* text;
    Color expected;
  } cases[] = {
      {"FF000080", Color(1, 0, 0, 128 / 255.0f)},
      {"FF0000", Color(0, 1, 0, 0)},
      {"0x11223344", Color(0x11 / 255.0f, 0x22 / 255.0f, 0x33 / 255.0f, 0x44 / 255.0f)},
      {"  00ff00FFgarbage", Color(0, 1, 0, 1)},
      {"", Color(0, 0, 0, 0)},
      {"zz", Color(0, 0, 0, 0)},
      {"123456789", Color(1, 1, 1, 1)},
      {"-1", Color(1, 1, 1, 1)},
  };
  for (const auto& c : cases) EXPECT_EQ(parseColor(c.text), c.expected) << c.text;
}

TEST_F(GuiStyles, AttributesDefaultsAndReferencesOfTheRightKindOnly) {
  SilentFont* font = new SilentFont;
  font->name = "plain";
  fonts += font;
  load(
      "<Pane name=\"pane\" style=\"label\"/>"
      "<Label name=\"label\" style=\"button\"/>"
      "<Button name=\"button\" style=\"list\"/>"
      "<DropdownList name=\"list\" style=\"button\"/>"
      "<Checkbox name=\"box\" style=\"box\"/>"
      "<Textfield name=\"field\" style=\"label\"/>",
      "<SimpleFontStyle name=\"bare\"/>"
      "<SimpleFontStyle name=\"text\" font=\"plain\" horizontal=\"right\" vertical=\"Top\" color=\"0000FF\"/>"
      "<PlainRectStyle name=\"rect\" border=\"2.5\" color=\"FF0000FF\" colorBorder2=\"00FF00FF\"/>"
      "<TexturedRectStyle name=\"frame\" stretch=\"false\" color=\"FFFFFFFF\"/>"
      "<LabelStyle name=\"early\" rect=\"later\"/>"
      "<PlainRectStyle name=\"later\"/>"
      "<LabelStyle name=\"label\" rect=\"rect\" font=\"text\" imageHorizontal=\"left\" imageVertical=\"bottom\" cut=\"true\"/>"
      "<LabelStyle name=\"swapped\" rect=\"text\" font=\"rect\"/>"
      "<ButtonStyle name=\"button\" up=\"label\" down=\"button\" upHot=\"rect\"/>"
      "<DropdownListStyle name=\"list\" up=\"label\"/>"
      "<CheckboxStyle name=\"box\" checked=\"list\" unchecked=\"label\"/>");

  SimpleFontStyle* bare = style<SimpleFontStyle>("bare");
  EXPECT_EQ(bare->font, nullptr);
  EXPECT_EQ(bare->horizontal, JUSTIFY_LEFT);
  EXPECT_EQ(bare->vertical, JUSTIFY_VCENTER);
  EXPECT_EQ(bare->color, Color(1, 1, 1, 1));
  SimpleFontStyle* text = style<SimpleFontStyle>("text");
  EXPECT_EQ(text->font, font);
  EXPECT_EQ(text->horizontal, JUSTIFY_RIGHT);
  EXPECT_EQ(text->vertical, JUSTIFY_TOP);  // an unknown word reads as the first
  EXPECT_EQ(text->color, Color(0, 0, 0, 1));  // six digits: right-aligned
  PlainRectStyle* rect = style<PlainRectStyle>("rect");
  EXPECT_EQ(rect->border, 2.5f);
  EXPECT_EQ(rect->color, Color(1, 0, 0, 1));
  EXPECT_EQ(rect->colorBorder1, Color(0, 0, 0, 0));
  EXPECT_EQ(rect->colorBorder2, Color(0, 1, 0, 1));
  EXPECT_FALSE(style<TexturedRectStyle>("frame")->stretch);
  EXPECT_EQ(style<TexturedRectStyle>("frame")->center, nullptr);

  // Only names defined earlier, and only of the kind the field holds.
  EXPECT_EQ(style<LabelStyle>("early")->rect, nullptr);
  LabelStyle* label = style<LabelStyle>("label");
  EXPECT_EQ(label->rect, rect);
  EXPECT_EQ(label->font, text);
  EXPECT_EQ(label->imageHorizontal, JUSTIFY_LEFT);
  EXPECT_EQ(label->imageVertical, JUSTIFY_BOTTOM);
  EXPECT_EQ(label->imageColor, Color(1, 1, 1, 1));
  EXPECT_TRUE(label->cut);
  EXPECT_FALSE(style<LabelStyle>("swapped")->cut);
  EXPECT_EQ(style<LabelStyle>("swapped")->rect, nullptr);
  EXPECT_EQ(style<LabelStyle>("swapped")->font, nullptr);
  ButtonStyle* button = style<ButtonStyle>("button");
  EXPECT_EQ(button->up, label);
  EXPECT_EQ(button->down, nullptr);
  EXPECT_EQ(button->upHot, nullptr);
  // A drop-down list style is a button style; a label style is not.
  CheckboxStyle* box = style<CheckboxStyle>("box");
  EXPECT_EQ(box->checked, style<DropdownListStyle>("list"));
  EXPECT_EQ(box->unchecked, nullptr);

  EXPECT_EQ(as<Pane>("pane")->style, nullptr);
  EXPECT_EQ(as<Label>("label")->style, nullptr);
  EXPECT_EQ(as<Button>("button")->style, style<DropdownListStyle>("list"));
  EXPECT_EQ(as<DropdownList>("list")->style, nullptr);
  EXPECT_EQ(as<Checkbox>("box")->style, box);

  // The looks of a button and a check box.
  EXPECT_EQ(button->getStyle(BUTTON_UP), label);
  EXPECT_EQ(button->getStyle(BUTTON_HOT), nullptr);
  EXPECT_EQ(button->getStyle(static_cast<ButtonState>(4)), label);
  EXPECT_EQ(box->getStyle(BUTTON_UP, true), label);
  EXPECT_EQ(box->getStyle(BUTTON_UP, false), nullptr);
}

TEST_F(GuiStyles, AStyleDefinedTwiceNeverLeavesAPointerToADeletedOne) {
  testing::internal::CaptureStdout();
  load("<Button name=\"b\" style=\"button\"/><Pane name=\"p\" style=\"back\"/>",
       "<PlainRectStyle name=\"back\" color=\"FF0000FF\" border=\"1\"/>"
       "<LabelStyle name=\"label\" rect=\"back\"/>"
       "<ButtonStyle name=\"button\" up=\"label\"/>"
       "<PlainRectStyle name=\"back\" color=\"00FF00FF\"/>"
       "<SimpleFontStyle name=\"back\"/>");
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("\"back\" is defined twice; the later definition applies"), std::string::npos) << log;
  EXPECT_NE(log.find("\"back\" is defined twice with different kinds"), std::string::npos) << log;

  // The later definition of the same kind applies, in the same object, and
  // from its own defaults (the border of the first is gone).
  PlainRectStyle* back = style<PlainRectStyle>("back");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->color, Color(0, 1, 0, 1));
  EXPECT_EQ(back->border, 0.0f);
  EXPECT_EQ(back->name, "back");
  EXPECT_EQ(back->bank, gui->styles);
  EXPECT_EQ(style<LabelStyle>("label")->rect, back);
  EXPECT_EQ(as<Pane>("p")->style, back);
  EXPECT_EQ(gui->styles->size(), 3u);
}

TEST_F(GuiStyles, NamesThatFindNothingAreLoggedAndReadingGoesOn) {
  testing::internal::CaptureStdout();
  load(
      "<Label name=\"l\" style=\"ghost\" image=\"nopicture\" caption=\"still read\"/>"
      "<Button name=\"b\" trigger=\"nocommand\"/>"
      "<DropdownList name=\"d\" style=\"label\"/>"
      "<Pane/>",
      "<SimpleFontStyle name=\"text\" font=\"nofont\"/>"
      "<LabelStyle name=\"label\" font=\"text\"/>"
      "<TexturedRectStyle name=\"frame\" upper=\"noimage\"/>"
      "<LabelStyle/>");
  const std::string log = testing::internal::GetCapturedStdout();
  for (const char* expected :
       {"Unknown style \"ghost\"", "Unknown image \"nopicture\"", "Unknown trigger \"nocommand\"",
        "Unknown font \"nofont\"", "Unknown image \"noimage\"", "Unknown image \"pointer\"",
        "Could not find matching style for dropdown list \"d\".", "No name specified for style.",
        "No name specified for component \"Pane\""}) {
    EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
  }
  EXPECT_EQ(as<Label>("l")->caption, "still read");
  EXPECT_NE(style<LabelStyle>("label")->font, nullptr);
  EXPECT_NE(style<LabelStyle>(""), nullptr);
  EXPECT_EQ(gui->children.size(), 4u);
}

TEST(GuiLabelStyle, CaptionImageTakesItsRoomOnTheSideOfTheText) {
  SimpleFontStyle font;
  LabelStyle s;
  const Rect box(0, 0, 200, 40);
  const auto place = [&](JustificationHorizontal ih, JustificationVertical iv, JustificationHorizontal fh,
                         JustificationVertical fv, Rect& text) {
    s.imageHorizontal = ih;
    s.imageVertical = iv;
    font.horizontal = fh;
    font.vertical = fv;
    text = box;
    return s.placeImage(text, 32, 32);
  };
  Rect text;
  // Without a font style nothing narrows; the image is centred both ways.
  EXPECT_EQ(s.placeImage(text = box, 32, 32), Vector2D(84, 4));
  EXPECT_EQ(text.w, 200.0f);

  s.font = &font;
  EXPECT_EQ(place(JUSTIFY_LEFT, JUSTIFY_VCENTER, JUSTIFY_LEFT, JUSTIFY_VCENTER, text), Vector2D(0, 4));
  EXPECT_EQ(text.x, 32.0f);
  EXPECT_EQ(text.w, 168.0f);
  EXPECT_EQ(place(JUSTIFY_RIGHT, JUSTIFY_VCENTER, JUSTIFY_RIGHT, JUSTIFY_VCENTER, text), Vector2D(168, 4));
  EXPECT_EQ(text.x, 0.0f);
  EXPECT_EQ(text.w, 168.0f);
  EXPECT_EQ(place(JUSTIFY_HCENTER, JUSTIFY_BOTTOM, JUSTIFY_LEFT, JUSTIFY_BOTTOM, text), Vector2D(84, 0));
  EXPECT_EQ(text.y, 32.0f);
  EXPECT_EQ(text.h, 8.0f);
  EXPECT_EQ(place(JUSTIFY_HCENTER, JUSTIFY_TOP, JUSTIFY_LEFT, JUSTIFY_TOP, text), Vector2D(84, 8));
  EXPECT_EQ(text.y, 0.0f);
  EXPECT_EQ(text.h, 8.0f);
  // A centred text keeps the whole rectangle whatever side the image takes.
  place(JUSTIFY_LEFT, JUSTIFY_BOTTOM, JUSTIFY_HCENTER, JUSTIFY_VCENTER, text);
  EXPECT_EQ(text.x, 0.0f);
  EXPECT_EQ(text.w, 200.0f);
  EXPECT_EQ(text.h, 40.0f);
}
