// The GUI's component tree read from descriptions: lookup by name, hit
// testing and stacking order, hidden and disabled parts, centring, moving
// and deleting components, the Tab focus walk and hostile nesting.
#include <gtest/gtest.h>

#include <string>

#include "gui/button.h"
#include "gui/pane.h"
#include "gui_fixture.h"

using namespace korvu;
using namespace korvu::gui;

namespace {

// Counts its per-frame steps.
struct Stepper : Component {
  int steps = 0;
  void performSelf(ControlQueue*, float) override { ++steps; }
};

class GuiTree : public korvu_test::GuiTest {};

std::string nested(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += "<Pane name=\"p" + std::to_string(i) + "\" width=\"10\" height=\"10\">";
  for (int i = 0; i < levels; ++i) text += "</Pane>";
  return text;
}

}  // namespace

TEST_F(GuiTree, FirstSiblingInTheFileIsOnTopAndLookupPrefersDirectChildren) {
  load(
      "<Pane name=\"upper\" x=\"100\" y=\"100\" width=\"200\" height=\"200\">"
      "  <Pane name=\"inner\" x=\"10\" y=\"10\" width=\"100\" height=\"100\">"
      "    <Button name=\"deep\" x=\"5\" y=\"5\" width=\"20\" height=\"20\"/>"
      "    <Button name=\"twin\" x=\"50\" y=\"50\" width=\"20\" height=\"20\"/>"
      "  </Pane>"
      "</Pane>"
      "<Pane name=\"lower\" x=\"150\" y=\"150\" width=\"200\" height=\"200\"/>"
      "<Button name=\"twin\" x=\"700\" y=\"10\" width=\"20\" height=\"20\"/>");
  // Overlap of upper and lower: the first in the file is hit.
  EXPECT_EQ(gui->find(Vector2D(250, 250)), at("upper"));
  EXPECT_EQ(gui->find(Vector2D(320, 320)), at("lower"));
  // The deepest component under the point wins; coordinates are relative.
  EXPECT_EQ(gui->find(Vector2D(116, 116)), at("deep"));
  EXPECT_EQ(gui->find(Vector2D(800, 300)), nullptr);
  EXPECT_EQ(gui->find(Vector2D(799, 599)), gui.get());

  ASSERT_NE(at("deep"), nullptr);
  EXPECT_EQ(at("deep")->getParent(), at("inner"));
  // A direct child of the root beats the deeper one of the same name.
  EXPECT_EQ(at("twin")->getParent(), gui.get());
  EXPECT_EQ((*at("upper"))["twin"]->getParent(), at("inner"));
  // Never the component asked itself.
  EXPECT_EQ((*at("inner"))["inner"], nullptr);
  EXPECT_EQ((*gui)["root"], nullptr);
  EXPECT_EQ((*gui)["nothing"], nullptr);
}

TEST_F(GuiTree, HiddenPartsTakeStepsButAreNotHitDisabledPartsAreNeither) {
  load(
      "<Pane name=\"hidden\" visible=\"false\" x=\"0\" y=\"0\" width=\"100\" height=\"100\"/>"
      "<Pane name=\"off\" enabled=\"0\" x=\"200\" y=\"0\" width=\"100\" height=\"100\"/>");
  Stepper* inHidden = new Stepper;
  Stepper* inOff = new Stepper;
  for (Stepper* s : {inHidden, inOff}) {
    s->width = s->height = 50;
  }
  *at("hidden") += inHidden;
  *at("off") += inOff;

  gui->perform(&queue, 16.0f);
  EXPECT_EQ(inHidden->steps, 1);
  EXPECT_EQ(inOff->steps, 0);
  EXPECT_EQ(gui->find(Vector2D(10, 10)), gui.get());
  EXPECT_EQ(gui->find(Vector2D(210, 10)), gui.get());
  EXPECT_FALSE(inHidden->isShown());
  EXPECT_FALSE(at("off")->isEnabled());

  // A disabled root takes no step at all.
  gui->enabled = false;
  gui->perform(&queue, 16.0f);
  EXPECT_EQ(inHidden->steps, 1);
}

TEST_F(GuiTree, CentreTruncatesAndSkipsEmptySizes) {
  Component c;
  c.x = 7;
  c.width = 301;
  c.height = 200;
  c.center(Vector2D(800, 600));
  EXPECT_EQ(c.x, 249.0f);
  EXPECT_EQ(c.y, 200.0f);
  c.x = 7;
  c.center(Vector2D(0, 400));
  EXPECT_EQ(c.x, 7.0f);
  EXPECT_EQ(c.y, 100.0f);
  // A component larger than the frame gets a negative place, truncated
  // towards zero.
  c.width = 805;
  c.center(Vector2D(800, 0));
  EXPECT_EQ(c.x, -2.0f);
  // Sizes no integer holds are no fault.
  c.width = 1e30f;
  c.center(Vector2D(800, 0));
  EXPECT_LT(c.x, -4e29f);
}

TEST_F(GuiTree, MovingRemovingAndDeletingKeepTheTreeAndTheRecordsSound) {
  load(
      "<Pane name=\"a\" width=\"100\" height=\"100\"><Button name=\"b\" width=\"10\" height=\"10\"/></Pane>"
      "<Pane name=\"c\" x=\"200\" width=\"100\" height=\"100\"/>");
  Component* a = at("a");
  Component* b = at("b");
  Component* c = at("c");

  // Adding a child again moves it to the bottom; bringToFront moves it back.
  *gui += a;
  EXPECT_EQ(gui->children.back(), a);
  EXPECT_EQ(gui->children.size(), 2u);
  a->bringToFront();
  EXPECT_EQ(gui->children.front(), a);

  // A component never enters its own subtree.
  *b += a;
  *a += a;
  EXPECT_EQ(a->getParent(), gui.get());
  EXPECT_TRUE(b->children.empty());

  // Moving a child between parents.
  *c += b;
  EXPECT_EQ(b->getParent(), c);
  EXPECT_TRUE(a->children.empty());
  EXPECT_THROW(*a -= b, std::string);
  EXPECT_EQ(b->getParent(), c);

  // The focus and capture records forget a component that is deleted or
  // detached while it holds them, and the flags on its ancestors go.
  b->setFocused(true);
  b->captureMouse(true);
  EXPECT_TRUE(c->isFocused());
  delete b;
  EXPECT_EQ(gui->focus, nullptr);
  EXPECT_EQ(gui->capture, nullptr);
  EXPECT_FALSE(c->isFocused());
  EXPECT_FALSE(gui->isFocused());
  EXPECT_TRUE(c->children.empty());

  c->setFocused(true);
  *gui -= c;
  EXPECT_EQ(gui->focus, nullptr);
  EXPECT_EQ(c->getRoot(), nullptr);
  delete c;

  // Capture is given back only by its holder.
  a->captureMouse(true);
  gui->captureMouse(false);
  EXPECT_EQ(gui->capture, a);
  a->captureMouse(false);
  EXPECT_EQ(gui->capture, nullptr);
}

TEST_F(GuiTree, TabWalkStaysInItsContainerAndAlwaysEnds) {
  load(
      "<Pane name=\"menu\" width=\"400\" height=\"400\">"
      "  <Button name=\"first\" width=\"10\" height=\"10\"/>"
      "  <Pane name=\"empty\" width=\"10\" height=\"10\"><Label name=\"text\"/><Pane name=\"blank\"/></Pane>"
      "  <Button name=\"second\" width=\"10\" height=\"10\"/>"
      "  <Pane name=\"group\" width=\"10\" height=\"10\"><Checkbox name=\"box\"/></Pane>"
      "  <Label name=\"last\"/>"
      "</Pane>"
      "<Pane name=\"bare\" x=\"500\" width=\"100\" height=\"100\"><Label name=\"caption\"/></Pane>");
  const auto tab = [this] { return gui->focus->keyDown(&queue, 9); };

  at("first")->setFocused(true);
  ASSERT_TRUE(tab());
  // The pane without anything focusable is passed over.
  EXPECT_EQ(gui->focus, at("second"));
  tab();
  EXPECT_EQ(gui->focus, at("box"));
  // From the last child of a container that is not focusable the walk goes
  // round to the container's first child: the box is alone in its group.
  tab();
  EXPECT_EQ(gui->focus, at("box"));
  at("last")->setFocused(true);
  tab();
  EXPECT_EQ(gui->focus, at("first"));
  EXPECT_TRUE(at("menu")->isFocused());
  EXPECT_FALSE(at("group")->isFocused());

  // Tab on a component where nothing can take the focus leaves it there.
  at("caption")->setFocused(true);
  ASSERT_TRUE(tab());
  EXPECT_EQ(gui->focus, at("caption"));
  // From a container with nothing focusable the walk goes on past it.
  at("bare")->setFocused(true);
  tab();
  EXPECT_EQ(gui->focus, at("first"));

  // A focusable container is where the walk from its last child goes.
  Pane* holder = new Pane;
  holder->focusable = true;
  Button* only = new Button;
  *holder += only;
  *gui += holder;
  only->setFocused(true);
  tab();
  EXPECT_EQ(gui->focus, holder);
}

TEST_F(GuiTree, DeepNestingIsCutWithoutExhaustingTheStack) {
  load(nested(5000));
  int depth = 0;
  for (Component* c = gui.get(); !c->children.empty(); c = c->children.front()) ++depth;
  EXPECT_EQ(depth, MAX_NESTING);
  // The tree walks still work on what was read.
  EXPECT_NE(gui->find(Vector2D(5, 5)), nullptr);
  EXPECT_EQ((*gui)["p4999"], nullptr);
  at("p10")->setFocused(true);
  at("p10")->focusNext();
}

TEST(GuiRoot, OtherRootNamesGiveAnEmptyGuiAndReaderErrorsLeaveTheConstructor) {
  ControlQueue queue;
  auto gui = korvu_test::readGUI("<gui name=\"x\"><Pane name=\"p\"/><SimpleFontStyle name=\"s\"/></gui>", nullptr,
                                 nullptr, &queue.triggers);
  EXPECT_TRUE(gui->children.empty());
  EXPECT_TRUE(gui->styles->empty());
  EXPECT_TRUE(gui->name.empty());
  EXPECT_TRUE(gui->visible);
  EXPECT_FALSE(gui->active);
  EXPECT_THROW(korvu_test::readGUI("<GUI><Pane></GUI>", nullptr, nullptr, nullptr), std::string);
  EXPECT_THROW(GUI("/nonexistent/gui.xml", nullptr, nullptr, nullptr), std::string);

  GUI empty;
  EXPECT_FALSE(empty.visible);
  EXPECT_EQ(empty.focus, &empty);
  EXPECT_EQ(empty.repeatDelay, 300.0f);
  EXPECT_EQ(empty.repeatInterval, 30.0f);
}
