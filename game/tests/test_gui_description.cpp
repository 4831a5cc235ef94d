// The game's menu description, resources/gui.xml, loaded as the resource set
// loads it: every name the shell and the race look up is there, of its kind,
// with the triggers they act on; every style and picture resolves; and each
// menu, drawn in a real window at two screen sizes, fits, lies over the
// backdrop, keeps the widest name in its place and marks the button under
// the pointer.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "race/raceresources.h"
#include "shell/commands.h"
#include "fonts/bitmapfont.h"
#include "gui/button.h"
#include "gui/checkbox.h"
#include "gui/dropdownlist.h"
#include "gui/gui.h"
#include "gui/label.h"
#include "gui/pane.h"
#include "gui/style.h"
#include "gui/textfield.h"
#include "gui/widgetstyle.h"
#include "image.h"
#include "input.h"
#include "korvu.h"
#include "rendercontext.h"
#include "sdlevents.h"
#include "sprite.h"
#include "testsupport.h"

using namespace korvu;
using namespace korvu::gui;

namespace {

// What start-up centres on the screen: the panels and the loading notice.
const char* const CENTRED[] = {"pBack",           "pMainMenu",       "pCredits",         "pGameMenu", "lLoading",
                               "pStartGameMenu1", "pStartGameMenu2", "pEditProfileMenu", "pRaceOver"};

// How far the frames reach outside their widgets' rectangles.
const float PANEL_FRAME = 12;
const float BUTTON_FRAME = 5;

// The GUI with what the resource set gives it: the three fonts, an image
// bank and the game's trigger table, with the bindings as its fallback.
struct Menus {
  ImageBank images;
  FontBank fonts;
  InputEvaluator evaluator;
  ControlQueue queue;
  std::unique_ptr<GUI> gui;

  Menus() {
    for (const char* font : {"andromeda30", "arialblack12", "arial10"})
      fonts += new fonts::BitmapFont(korvu_test::sourceDir() + "/resources/fonts/" + font);
    glimro::RaceResources axes;
    glimro::buildControls(queue, evaluator, axes);
    gui.reset(new GUI(korvu_test::sourceDir() + "/resources/gui.xml", &images, &fonts, &queue.triggers));
    gui->fallback = &evaluator;
    queue.evaluator = gui.get();
  }
  // The GUI goes first: its styles point at the fonts and images.
  ~Menus() {
    queue.evaluator = nullptr;
    gui.reset();
  }

  template <typename T>
  T* find(const std::string& name) {
    return dynamic_cast<T*>((*gui)[name]);
  }

  // Start-up's placement on a screen of that size, with only the given
  // components shown.
  void showOnly(int width, int height, std::initializer_list<const char*> shown) {
    gui->width = static_cast<float>(width);
    gui->height = static_cast<float>(height);
    for (const char* name : CENTRED) {
      Component* c = (*gui)[name];
      c->center(Vector2D(static_cast<float>(width), static_cast<float>(height)));
      c->visible = false;
    }
    for (const char* name : shown) (*gui)[name]->visible = true;
    gui->visible = true;
    gui->active = true;
  }

  // The pointer moved to a point of the window (y downwards).
  void pointAt(int x, int y) {
    gui->evaluate(korvu_test::motionEvent(static_cast<Uint16>(x), static_cast<Uint16>(y)), &queue);
  }
};

void walk(Component* c, const std::function<void(Component*)>& visit) {
  visit(c);
  for (Component* child : c->children) walk(child, visit);
}

bool inside(const Component* c, const Component* ancestor) {
  for (; c; c = c->parent)
    if (c == ancestor) return true;
  return false;
}

// The names of the triggers the buttons of a panel fire.
std::multiset<std::string> buttonTriggers(Component* panel) {
  std::multiset<std::string> names;
  walk(panel, [&](Component* c) {
    if (Button* b = dynamic_cast<Button*>(c)) names.insert(b->trigger ? b->trigger->name : "(none)");
  });
  return names;
}

// The id of the one trigger a click put into the queue, or -1.
int firedId(ControlQueue& queue) {
  Trigger* t = nullptr;
  Trigger* more = nullptr;
  queue >> t >> more;
  if (!t) return -1;
  return more ? -2 : t->id;
}

bool isPowerOfTwo(unsigned v) { return v != 0 && (v & (v - 1)) == 0; }

class GuiDescription : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 800; }
  int windowHeight() const override { return 600; }
};

TEST_F(GuiDescription, ShellAndRaceFindEveryNameOfItsKind) {
  Menus m;
  // Start-up centres these, so they are children of the root itself; the
  // race looks its two panels up there too.
  for (const char* name : CENTRED) {
    Component* c = (*m.gui)[name];
    ASSERT_NE(c, nullptr) << name;
    EXPECT_EQ(c->parent, m.gui.get()) << name;
  }
  for (const char* pane : {"pBack", "pMainMenu", "pCredits", "pGameMenu", "pStartGameMenu1", "pStartGameMenu2",
                           "pEditProfileMenu", "pRaceOver"})
    EXPECT_NE(m.find<Pane>(pane), nullptr) << pane;
  EXPECT_NE(m.find<Label>("lLoading"), nullptr);
  EXPECT_TRUE(inside(m.find<Checkbox>("cbFPS"), (*m.gui)["pMainMenu"]));
  EXPECT_TRUE(inside(m.find<Textfield>("tfProfileName"), (*m.gui)["pEditProfileMenu"]));
  const struct {
    const char* list;
    const char* panel;
  } lists[] = {{"dlProfile0", "pStartGameMenu1"}, {"dlTrack1", "pStartGameMenu1"},   {"dlTime1", "pStartGameMenu1"},
               {"dlProfile1", "pStartGameMenu2"}, {"dlProfile2", "pStartGameMenu2"}, {"dlTrack2", "pStartGameMenu2"},
               {"dlTime2", "pStartGameMenu2"}};
  for (const auto& l : lists) EXPECT_TRUE(inside(m.find<DropdownList>(l.list), (*m.gui)[l.panel])) << l.list;
  // The record labels the race fills when it is over.
  for (const char* table : {"total", "lap"})
    for (int i = 0; i < 5; ++i)
      for (const char* column : {"Nr", "Name", "Time"}) {
        const std::string name = std::string("lTR_") + table + "_" + std::to_string(i) + "_" + column;
        EXPECT_TRUE(inside(m.find<Label>(name), (*m.gui)["pRaceOver"])) << name;
      }

  // Before start-up chooses, only the main menu and the backdrop show; the
  // backdrop lies under everything.
  for (Component* c : m.gui->children) EXPECT_EQ(c->visible, c->name == "pBack" || c->name == "pMainMenu") << c->name;
  EXPECT_EQ(m.gui->children.back()->name, "pBack");

  // Lookups by name find the first match: no name may be there twice.
  std::set<std::string> names;
  walk(m.gui.get(), [&](Component* c) {
    EXPECT_FALSE(c->name.empty());
    EXPECT_TRUE(names.insert(c->name).second) << "twice: " << c->name;
  });
}

TEST_F(GuiDescription, ControlsFireTheTriggersTheMenusAndTheRaceActOn) {
  Menus m;
  using Set = std::multiset<std::string>;
  EXPECT_EQ(buttonTriggers((*m.gui)["pMainMenu"]), (Set{"singlePlayerGame", "multiplayerGame", "credits", "exit"}));
  EXPECT_EQ(buttonTriggers((*m.gui)["pCredits"]), (Set{"cancel"}));
  EXPECT_EQ(buttonTriggers((*m.gui)["pStartGameMenu1"]), (Set{"editProfile1", "newProfile", "startGame", "cancel"}));
  EXPECT_EQ(buttonTriggers((*m.gui)["pStartGameMenu2"]),
            (Set{"editProfile1", "editProfile2", "newProfile", "startGame", "cancel"}));
  EXPECT_EQ(buttonTriggers((*m.gui)["pEditProfileMenu"]), (Set{"ok", "cancel"}));
  EXPECT_EQ(buttonTriggers((*m.gui)["pGameMenu"]), Set{});
  // Once a race is over it takes "exit" as the way back to the menus;
  // "cancel" would reach the global commands and end the program.
  EXPECT_EQ(buttonTriggers((*m.gui)["pRaceOver"]), (Set{"exit"}));

  // A click reaches the queue as the command the table registered.
  Button* back = nullptr;
  walk((*m.gui)["pRaceOver"], [&](Component* c) {
    if (!back) back = dynamic_cast<Button*>(c);
  });
  ASSERT_NE(back, nullptr);
  back->doClick(&m.queue);
  EXPECT_EQ(firedId(m.queue), glimro::TRG_EXIT);

  // The frame counter box switches the counter on and off.
  Checkbox* fps = m.find<Checkbox>("cbFPS");
  ASSERT_NE(fps, nullptr);
  fps->doClick(&m.queue);
  EXPECT_EQ(firedId(m.queue), glimro::TRG_FPS_ON);
  fps->doClick(&m.queue);
  EXPECT_EQ(firedId(m.queue), glimro::TRG_FPS_OFF);

  // The track items carry the track index, the time items 1 for night.
  for (const char* name : {"dlTrack1", "dlTrack2", "dlTime1", "dlTime2"}) {
    DropdownList* list = m.find<DropdownList>(name);
    ASSERT_TRUE(list && list->items && list->selected) << name;
    std::vector<long> ids;
    std::set<std::string> captions;
    for (ListItem* item : list->items->items) {
      ids.push_back(item->id);
      captions.insert(item->text);
    }
    const bool track = std::string(name).find("Track") != std::string::npos;
    EXPECT_EQ(ids, track ? (std::vector<long>{0, 1, 2}) : (std::vector<long>{0, 1})) << name;
    EXPECT_EQ(captions.size(), ids.size()) << name;
    EXPECT_FALSE(captions.count("")) << name;
    EXPECT_EQ(list->caption, list->items->items.front()->text) << name;
  }
  // The profile lists get the shared profile list from the shell.
  for (const char* name : {"dlProfile0", "dlProfile1", "dlProfile2"}) {
    DropdownList* list = m.find<DropdownList>(name);
    EXPECT_TRUE(list && !list->items) << name;
  }
}

TEST_F(GuiDescription, EveryWidgetHasItsLookAndEveryPictureLoads) {
  Menus m;
  walk(m.gui.get(), [&](Component* c) {
    if (c == m.gui.get()) return;
    bool styled = false;
    if (Pane* p = dynamic_cast<Pane*>(c)) styled = p->style;
    if (Label* l = dynamic_cast<Label*>(c)) styled = l->style;
    if (Button* b = dynamic_cast<Button*>(c)) styled = b->style && b->trigger;
    if (Checkbox* x = dynamic_cast<Checkbox*>(c)) styled = x->style;
    if (DropdownList* d = dynamic_cast<DropdownList*>(c)) styled = d->style;
    if (Textfield* t = dynamic_cast<Textfield*>(c)) styled = t->style;
    EXPECT_TRUE(styled) << c->name;
  });
  // Every style finds what it names (a missing name leaves a part undrawn).
  auto complete = [](Style* style) {
    if (auto* s = dynamic_cast<SimpleFontStyle*>(style)) return s->font != nullptr;
    if (auto* s = dynamic_cast<LabelStyle*>(style)) return s->font != nullptr;
    if (auto* s = dynamic_cast<ButtonStyle*>(style)) {
      auto* list = dynamic_cast<DropdownListStyle*>(style);
      return s->up && s->down && s->upHot && s->downHot && (!list || list->image);
    }
    if (auto* s = dynamic_cast<CheckboxStyle*>(style)) return s->checked && s->unchecked;
    if (auto* s = dynamic_cast<TexturedRectStyle*>(style)) {
      // A frame has all nine pieces, a picture only its centre.
      const Image* pieces[] = {s->upperLeft, s->upper,     s->upperRight, s->left,      s->center,
                               s->right,     s->lowerLeft, s->lower,      s->lowerRight};
      int present = 0;
      for (const Image* piece : pieces) present += piece != nullptr;
      return present == 9 || (present == 1 && s->center);
    }
    return true;
  };
  ASSERT_FALSE(m.gui->styles->empty());
  for (const auto& [name, style] : *m.gui->styles) EXPECT_TRUE(complete(style)) << name;
  // Frame pieces are stretched over their whole texture, so every picture
  // is made to fill its texture exactly.
  ASSERT_FALSE(m.images.empty());
  for (const auto& [name, image] : m.images) {
    EXPECT_NE(image->texture, 0u) << name;
    EXPECT_TRUE(isPowerOfTwo(image->width) && isPowerOfTwo(image->height)) << name;
  }
  ASSERT_NE(m.gui->cursor, nullptr);
  EXPECT_NE(m.gui->cursor->image, nullptr);
}

// The menus as they look: each panel shown alone at both screen sizes.
struct Shown {
  const char* panel;
  const char* artifact;
};
const Shown PANELS[] = {{"pMainMenu", "main"},         {"pCredits", "credits"},         {"pStartGameMenu1", "start1"},
                        {"pStartGameMenu2", "start2"}, {"pEditProfileMenu", "profile"}, {"pRaceOver", "raceover"},
                        {"lLoading", "loading"}};

struct Pixel {
  int r, g, b;
};

Pixel pixelAt(int x, int y) {
  const std::vector<uint8_t> p = korvu_test::readPixels(x, y, 1, 1);
  return {p[0], p[1], p[2]};
}

void drawFrame(Menus& m) {
  // A colour the art never uses: whatever still shows it was not covered.
  glClearColor(0, 1, 0, 1);
  clearScreen();
  RenderContext2D context;
  context.apply();
  resetCursor();
  m.gui->draw();
}

// Records as the race writes them, one with a long name.
void fillRecords(Menus& m) {
  const char* const names[] = {"Marguerite-Anne", "Bo", "Kalle", "", ""};
  for (const char* table : {"total", "lap"})
    for (int i = 0; i < 5; ++i) {
      const std::string rank = std::string("lTR_") + table + "_" + std::to_string(i);
      m.find<Label>(rank + "_Name")->caption = names[i];
      m.find<Label>(rank + "_Time")->caption = names[i][0] ? "01:2" + std::to_string(i) + ".305" : "00:00.000";
    }
}

// The widest name a profile takes.
const std::string WIDEST_NAME(32, 'W');

// The lower-left corner of a widget on the screen.
Vector2D origin(const Component* c) {
  Vector2D p(c->x, c->y);
  for (const Component* a = c->parent; a; a = a->parent) p = p + Vector2D(a->x, a->y);
  return p;
}

// Pixels of the texts' light ink (E8ECFF) in columns [x0, x1) of a widget's
// rows: the names in the tables and lists, not labels, marks or frames.
int lightInk(const Component* c, float x0, float x1) {
  const Vector2D o = origin(c);
  const int left = static_cast<int>(o.x + x0), width = static_cast<int>(x1 - x0);
  const std::vector<uint8_t> p = korvu_test::readPixels(left, static_cast<int>(o.y), width, static_cast<int>(c->height));
  int n = 0;
  for (size_t i = 0; i < p.size(); i += 4) n += p[i] > 200 && p[i + 1] > 200 && p[i + 2] > 220;
  return n;
}

// The caption of a widget that shows a profile name: a record table's
// name, a profile list, the name field; null for any other widget.
CaptionedObject* nameShown(Component* c) {
  if (c->name.rfind("dlProfile", 0) == 0) return dynamic_cast<DropdownList*>(c);
  if (Textfield* field = dynamic_cast<Textfield*>(c)) return field;
  if (c->name.find("_Name") != std::string::npos && c->name.rfind("lTR_", 0) == 0) return dynamic_cast<Label*>(c);
  return nullptr;
}

// The widest name in each of the panel's places for names stays in its
// place and fills its room to the ellipsis: a row's name ends before its
// time begins; a list's keeps clear of its edges and of the cycle mark (32
// pixels at the right end, the centred name as far from the left end); the
// field's keeps clear of its mark and its end.
void expectWidestNamesInTheirPlaces(Menus& m, Component* panel) {
  const fonts::Font* font = m.fonts["arialblack12"];
  const float frame = BUTTON_FRAME + 5;
  for (Component* c : panel->children) {
    SCOPED_TRACE(c->name);
    if (!nameShown(c)) continue;
    if (dynamic_cast<Label*>(c)) {
      const Label* time = m.find<Label>(c->name.substr(0, c->name.size() - 4) + "Time");
      const float timeStart = time->x + time->width - font->getWidth(time->caption.c_str()) - c->x;
      EXPECT_EQ(lightInk(c, c->width, timeStart), 0) << "the name runs into the time";
      EXPECT_GT(lightInk(c, 0, 13), 20) << "the name's first letter is missing";
      EXPECT_GT(lightInk(c, c->width - 20, c->width), 0) << "the name ends short of its room";
    } else {
      const bool list = dynamic_cast<DropdownList*>(c) != nullptr;
      EXPECT_EQ(lightInk(c, list ? -frame : 0, 32), 0) << "the name runs over the left end or the mark";
      EXPECT_EQ(lightInk(c, c->width - (list ? 32 : 0), c->width + frame), 0) << "the name runs over the right end";
      EXPECT_GT(lightInk(c, 32, 52), 0) << "the name leaves room at the left";
      EXPECT_GT(lightInk(c, c->width - (list ? 52 : 20), c->width - (list ? 32 : 0)), 0)
          << "the name leaves room at the right";
    }
  }
}

bool isAmber(Pixel p) { return p.r > 190 && p.g > 80 && p.b < 110; }
bool isNavy(Pixel p) { return p.b > p.r && p.b > 40 && p.r < 90; }

class GuiDescriptionDrawn : public korvu_test::GLWindowTest, public ::testing::WithParamInterface<std::pair<int, int>> {
 protected:
  int windowWidth() const override { return GetParam().first; }
  int windowHeight() const override { return GetParam().second; }
};

TEST_P(GuiDescriptionDrawn, EachMenuFitsOverTheBackdrop) {
  const int w = windowWidth(), h = windowHeight();
  Menus m;
  const std::string size = std::to_string(w) + "x" + std::to_string(h);
  for (const Shown& shown : PANELS) {
    SCOPED_TRACE(shown.panel);
    m.showOnly(w, h, {"pBack", shown.panel});
    Component* panel = (*m.gui)[shown.panel];
    // The panel with its frame lies on the screen, and its widgets with
    // theirs inside the panel, where its clipping would cut them.
    EXPECT_GE(panel->x - PANEL_FRAME, 0);
    EXPECT_GE(panel->y - PANEL_FRAME, 0);
    EXPECT_LE(panel->x + panel->width + PANEL_FRAME, w);
    EXPECT_LE(panel->y + panel->height + PANEL_FRAME, h);
    for (Component* c : panel->children) {
      const float frame = dynamic_cast<Label*>(c) || dynamic_cast<Pane*>(c) ? 0 : BUTTON_FRAME;
      EXPECT_TRUE(c->x - frame >= 0 && c->y - frame >= 0 && c->x + c->width + frame <= panel->width &&
                  c->y + c->height + frame <= panel->height)
          << c->name;
    }
    if (panel->name == "pRaceOver") fillRecords(m);
    drawFrame(m);
    korvu_test::saveWindowArtifact("gui_" + std::string(shown.artifact) + "_" + size);
    // The backdrop reaches every edge of the screen.
    for (const auto& [x, y] :
         {std::pair<int, int>{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {w / 2, 0}, {0, h / 2}}) {
      const Pixel p = pixelAt(x, y);
      EXPECT_FALSE(p.r == 0 && p.g == 255 && p.b == 0) << x << "," << y;
    }
    // The title is printed in amber in the panel's top band.
    const int top = static_cast<int>(panel->y + panel->height);
    const std::vector<uint8_t> band =
        korvu_test::readPixels(static_cast<int>(panel->x), top - 60, static_cast<int>(panel->width), 60);
    int amber = 0;
    for (size_t i = 0; i < band.size(); i += 4) amber += isAmber({band[i], band[i + 1], band[i + 2]});
    EXPECT_GT(amber, 40);

    // The same panel with the widest name wherever it shows one.
    bool names = false;
    walk(panel, [&](Component* c) {
      if (CaptionedObject* named = nameShown(c)) {
        named->caption = WIDEST_NAME;
        names = true;
      }
    });
    if (!names) continue;
    drawFrame(m);
    korvu_test::saveWindowArtifact("gui_" + std::string(shown.artifact) + "_widest_name_" + size);
    expectWidestNamesInTheirPlaces(m, panel);
  }
}

// The absolute position of a point in a widget's lower left, away from its
// caption and from where the pointer starts (the middle of the screen).
Vector2D beside(Component* c) { return origin(c) + Vector2D(12, 6); }

TEST_P(GuiDescriptionDrawn, TheControlUnderThePointerStandsOut) {
  const int w = windowWidth(), h = windowHeight();
  const std::string size = std::to_string(w) + "x" + std::to_string(h);
  const struct {
    const char* panel;
    const char* hot;
    const char* plain;
    const char* artifact;
  } cases[] = {{"pMainMenu", "bSinglePlayer", "bQuit", "gui_hot_button_"},
               {"pStartGameMenu1", "dlTrack1", "dlTime1", "gui_hot_list_"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hot);
    Menus m;
    m.showOnly(w, h, {"pBack", c.panel});
    // As start-up shows a frame counter that is on.
    m.find<Checkbox>("cbFPS")->checked = true;
    Component* hot = (*m.gui)[c.hot];
    Component* plain = (*m.gui)[c.plain];
    ASSERT_TRUE(hot && plain);
    const Vector2D s = beside(hot), q = beside(plain);
    drawFrame(m);
    EXPECT_TRUE(isNavy(pixelAt(static_cast<int>(s.x), static_cast<int>(s.y))));
    m.pointAt(static_cast<int>(s.x), h - static_cast<int>(s.y));
    EXPECT_TRUE(hot->isFocused());
    drawFrame(m);
    korvu_test::saveWindowArtifact(c.artifact + size);
    EXPECT_TRUE(isAmber(pixelAt(static_cast<int>(s.x), static_cast<int>(s.y))));
    EXPECT_TRUE(isNavy(pixelAt(static_cast<int>(q.x), static_cast<int>(q.y))));
  }
}

INSTANTIATE_TEST_SUITE_P(ScreenSizes, GuiDescriptionDrawn,
                         ::testing::Values(std::make_pair(800, 600), std::make_pair(1024, 768)),
                         [](const ::testing::TestParamInfo<std::pair<int, int>>& info) {
                           return std::to_string(info.param.first) + "x" + std::to_string(info.param.second);
                         });

}  // namespace
