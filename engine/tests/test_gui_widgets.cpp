// The GUI's widgets driven by real SDL events: drop-down lists and their
// shared lists, check boxes and their two triggers, text fields with typing,
// key repeat and their limits.
#include <gtest/gtest.h>

#include <SDL.h>

#include <string>
#include <vector>

#include "gui/checkbox.h"
#include "gui/dropdownlist.h"
#include "gui/textfield.h"
#include "gui_fixture.h"

using namespace korvu;
using namespace korvu::gui;
using korvu_test::charEvent;

namespace {

class GuiWidgets : public korvu_test::GuiTest {};

}  // namespace

TEST_F(GuiWidgets, DropdownListCyclesItsItemsAndFiresOnEveryClick) {
  load(
      "<DropdownList name=\"pick\" x=\"10\" y=\"10\" width=\"100\" height=\"20\" caption=\"none\" trigger=\"ok\">"
      "  <Item caption=\"P\" id=\"0x10\"/><Item caption=\"Q\" id=\"010\"/><Item caption=\"R\"/><Other caption=\"S\"/>"
      "</DropdownList>"
      "<DropdownList name=\"plain\" x=\"200\" y=\"10\" width=\"100\" height=\"20\" caption=\"fixed\" trigger=\"ok\"/>");
  DropdownList* pick = as<DropdownList>("pick");
  ASSERT_NE(pick->items, nullptr);
  EXPECT_EQ(pick->items->useCount, 1);
  ASSERT_EQ(pick->items->items.size(), 3u);
  EXPECT_EQ(pick->items->items.front()->id, 16);
  EXPECT_EQ((*std::next(pick->items->items.begin()))->id, 8);
  EXPECT_EQ(pick->items->items.back()->id, 0);
  EXPECT_EQ(pick->caption, "P");

  std::string seen;
  for (int i = 0; i < 4; ++i) {
    clickAt(20, 20);
    seen += pick->caption;
  }
  EXPECT_EQ(seen, "QRPQ");
  EXPECT_EQ(drain(), (std::vector<Trigger*>(4, ok)));
  // Keys step it too while they carry characters.
  EXPECT_TRUE(typeDown(13, SDLK_RETURN));
  EXPECT_EQ(pick->caption, "R");
  EXPECT_FALSE(typeDown(0, SDLK_RETURN));

  DropdownList* plain = as<DropdownList>("plain");
  clickAt(210, 20);
  EXPECT_EQ(plain->caption, "fixed");
  EXPECT_EQ(drain(), (std::vector<Trigger*>{ok, ok}));

  // The selected item taken out of the list: the next click starts over.
  ListItem* r = pick->selected;
  *pick->items -= r;
  delete r;
  pick->doClick(nullptr);
  EXPECT_EQ(pick->caption, "P");
  // selectItem never fires.
  pick->selectItem(nullptr);
  EXPECT_EQ(pick->caption, "");
  EXPECT_TRUE(drain().empty());
}

TEST_F(GuiWidgets, SharedListsCountTheirHoldersAndKeepSelections) {
  load("<DropdownList name=\"a\"/><DropdownList name=\"b\"/><DropdownList name=\"c\"/>");
  DropdownList* a = as<DropdownList>("a");
  List* shared = new List;
  int payload[2];
  ListItem* first = new ListItem;
  first->text = "Ann";
  first->data = &payload[0];
  ListItem* second = new ListItem;
  second->text = "Bob";
  second->data = &payload[1];
  *shared += first;
  *shared += second;
  EXPECT_EQ(shared->findByData(&payload[1]), second);
  EXPECT_EQ(shared->findByData(nullptr), nullptr);

  for (const char* n : {"a", "b", "c"}) as<DropdownList>(n)->setItems(shared);
  EXPECT_EQ(shared->useCount, 3);
  EXPECT_EQ(a->caption, "Ann");
  a->selectItem(second);
  // The same list again: no new use, the selection stays and its new text
  // shows.
  second->text = "Bea";
  a->setItems(shared);
  EXPECT_EQ(shared->useCount, 3);
  EXPECT_EQ(a->caption, "Bea");

  // A list without the selection selects its first item; an empty one
  // selects nothing.
  List* other = new List;
  a->setItems(other);
  EXPECT_EQ(a->selected, nullptr);
  EXPECT_EQ(a->caption, "");
  EXPECT_EQ(shared->useCount, 2);
  ListItem* zed = new ListItem;
  zed->text = "Zed";
  *other += zed;
  a->setItems(other);
  EXPECT_EQ(a->caption, "Zed");
  a->setItems(nullptr);  // lets go: the list deletes itself
  EXPECT_EQ(a->items, nullptr);
  EXPECT_EQ(a->selected, nullptr);

  // Two holders go, the list stays; the last one takes it along (checked
  // for leaks under the sanitizer build).
  delete at("b");
  EXPECT_EQ(shared->useCount, 1);
  EXPECT_EQ(as<DropdownList>("c")->caption, "Ann");
}

TEST_F(GuiWidgets, CheckboxFiresTheTriggerOfItsNewState) {
  load(
      "<Checkbox name=\"both\" x=\"10\" y=\"10\" width=\"20\" height=\"20\" trigger=\"ok\"/>"
      "<Checkbox name=\"pair\" x=\"100\" y=\"10\" width=\"20\" height=\"20\" trigger=\"on\" triggerOff=\"off\"/>"
      "<Checkbox name=\"split\" x=\"200\" y=\"10\" width=\"20\" height=\"20\" triggerOn=\"on\" triggerOff=\"off\""
      "          trigger=\"ok\"/>"
      "<Checkbox name=\"mute\" x=\"300\" y=\"10\" width=\"20\" height=\"20\"/>");
  clickAt(15, 15);
  clickAt(15, 15);
  EXPECT_EQ(drain(), (std::vector<Trigger*>{ok, ok}));

  Checkbox* pair = as<Checkbox>("pair");
  clickAt(105, 15);
  EXPECT_TRUE(pair->checked);
  clickAt(105, 15);
  EXPECT_FALSE(pair->checked);
  EXPECT_EQ(drain(), (std::vector<Trigger*>{on, off}));

  // "triggerOn" and "triggerOff" win over "trigger" whatever the order of
  // the attributes in the file.
  Checkbox* split = as<Checkbox>("split");
  EXPECT_EQ(split->triggerOn, on);
  EXPECT_EQ(split->triggerOff, off);

  // Set on by the game, a click turns it off.
  split->checked = true;
  moveTo(205, 15);
  EXPECT_TRUE(typeDown(32, SDLK_SPACE));
  EXPECT_FALSE(split->checked);
  EXPECT_EQ(drain(), std::vector<Trigger*>{off});

  // Without triggers it still flips; press and drag off flips nothing.
  Checkbox* mute = as<Checkbox>("mute");
  clickAt(305, 15);
  EXPECT_TRUE(mute->checked);
  moveTo(305, 15);
  press();
  moveTo(500, 500);
  release();
  EXPECT_TRUE(mute->checked);
  EXPECT_TRUE(drain().empty());
}

TEST_F(GuiWidgets, TextfieldTypesPrintableCharactersUpToItsLimit) {
  load(
      "<Textfield name=\"field\" x=\"10\" y=\"10\" width=\"200\" height=\"20\" caption=\"x\"/>"
      "<Button name=\"ok\" x=\"300\" y=\"10\" width=\"20\" height=\"20\"/>");
  Textfield* field = as<Textfield>("field");
  SDL_EnableUNICODE(0);
  moveTo(20, 20);
  // The pointer over the field turns translation on, leaving turns it off.
  EXPECT_EQ(SDL_EnableUNICODE(-1), 1);

  EXPECT_TRUE(typeDown('a'));
  EXPECT_TRUE(typeDown('b'));
  EXPECT_TRUE(typeDown(8, SDLK_BACKSPACE));
  EXPECT_EQ(field->caption, "xa");
  // Backspace takes the last UTF-8 character whole, of whatever length.
  field->caption = "xa\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80";  // "xaü€😀"
  for (const char* left : {"xa\xC3\xBC\xE2\x82\xAC", "xa\xC3\xBC", "xa"}) {
    EXPECT_TRUE(typeDown(8, SDLK_BACKSPACE));
    EXPECT_EQ(field->caption, left);
  }

  // Latin-1 letters are typed as their UTF-8 characters.
  field->caption.clear();
  for (Uint16 c : std::initializer_list<Uint16>{'Z', 'o', 0xEB, ' ', 'J', 'o', 's', 0xE9}) EXPECT_TRUE(typeDown(c)) << c;
  EXPECT_EQ(field->caption, "Zo\xC3\xAB Jos\xC3\xA9");  // "Zoë José"
  field->caption = "xa";

  // Control characters, Delete and codes above 255 are refused and go to
  // the fallback.
  for (Uint16 c : {0, 1, 13, 27, 127, 0x100, 0x20AC}) {
    EXPECT_FALSE(typeDown(c)) << c;
  }
  EXPECT_EQ(field->caption, "xa");
  EXPECT_TRUE(typeDown(27, SDLK_ESCAPE));
  EXPECT_EQ(drain(), std::vector<Trigger*>{cancel});

  // Every key-up is the field's while it has the focus.
  EXPECT_TRUE(typeUp(0, SDLK_ESCAPE));

  // At most 32 characters, however many bytes they take; the refused ones
  // are counted for the owner.
  EXPECT_EQ(field->refused, 0u);
  for (int i = 0; i < 40; ++i) typeDown(i % 2 ? 'z' : 0xFF);
  EXPECT_EQ(field->caption.size(), Textfield::MAX_LENGTH + 15);
  EXPECT_EQ(field->refused, 10u);
  EXPECT_EQ(field->repeatKey, 0);
  gui->perform(&queue, 1000.0f);
  EXPECT_EQ(field->caption.size(), Textfield::MAX_LENGTH + 15);

  moveTo(305, 15);
  EXPECT_EQ(SDL_EnableUNICODE(-1), 0);
  EXPECT_EQ(field->repeatKey, 0);
}

TEST_F(GuiWidgets, TextfieldRepeatsBackspaceAfterTheDelayAndStopsWhenDone) {
  load(
      "<Textfield name=\"field\" x=\"10\" y=\"10\" width=\"200\" height=\"20\" caption=\"abc\"/>"
      "<Button name=\"next\" x=\"300\" y=\"10\" width=\"20\" height=\"20\"/>");
  Textfield* field = as<Textfield>("field");
  moveTo(20, 20);
  const auto step = [this](float ms) { gui->perform(&queue, ms); };

  typeDown(8, SDLK_BACKSPACE);
  EXPECT_EQ(field->caption, "ab");
  step(300);
  step(29);
  EXPECT_EQ(field->caption, "ab");
  step(1);  // 330 ms
  EXPECT_EQ(field->caption, "a");
  step(30);
  EXPECT_EQ(field->caption, "");
  // The next repeat finds nothing to delete and stops the repeat itself.
  step(30);
  EXPECT_EQ(field->repeatKey, 0);

  // A long frame makes several repeats at once; a second key restarts the
  // delay; any release ends the repeat.
  typeDown('a');
  step(300 + 3 * 30);
  EXPECT_EQ(field->caption, "aaaa");
  typeDown('b');
  step(300);
  EXPECT_EQ(field->caption, "aaaab");
  typeUp('a');
  step(1000);
  EXPECT_EQ(field->caption, "aaaab");

  // A field that loses the focus by Tab stops repeating, although its key
  // was never released.
  typeDown('c');
  ASSERT_TRUE(typeDown(9, SDLK_TAB));
  EXPECT_EQ(gui->focus, at("next"));
  step(2000);
  EXPECT_EQ(field->caption, "aaaabc");
  EXPECT_EQ(field->repeatKey, 0);

  // The repeat timing comes from the root.
  gui->repeatDelay = 100;
  gui->repeatInterval = 10;
  moveTo(20, 20);
  typeDown('d');
  step(110);
  EXPECT_EQ(field->caption, "aaaabcdd");
}
