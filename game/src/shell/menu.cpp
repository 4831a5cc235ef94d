#include "shell/menu.h"

#include <GL/gl.h>

#include <string>
#include <vector>

#include "shell/commands.h"
#include "controls.h"
#include "audio/emitter.h"
#include "race/game.h"
#include "shell/globalcommands.h"
#include "shell/shell.h"
#include "gui/dropdownlist.h"
#include "gui/checkbox.h"
#include "gui/gui.h"
#include "gui/textfield.h"
#include "filepath.h"
#include "korvu.h"
#include "shell/moresettings.h"
#include "common/playerprofile.h"
#include "shell/resources.h"
#include "race/settings.h"
#include "sprite.h"
#include "track/track.h"

namespace glimro {

namespace {

const char* const PROFILE_LISTS[] = {"dlProfile0", "dlProfile1", "dlProfile2"};

// The menu panels that start-up centres on the screen.
const char* const CENTRED[] = {"pBack",           "pMainMenu",       "pCredits",
                               "pGameMenu",       "lLoading",        "pStartGameMenu1",
                               "pStartGameMenu2", "pEditProfileMenu", "pRaceOver"};

void preselectProfile(const std::string& name, const char* listName) {
  if (name.empty()) return;
  auto found = resources->profileBank->find(name);
  if (found == resources->profileBank->end()) return;
  korvu::gui::DropdownList* list = findComponent<korvu::gui::DropdownList>(listName);
  if (!list) return;
  if (korvu::gui::ListItem* item = resources->profileList->findByData(found->second))
    list->selectItem(item);
}

korvu::gui::ListItem* selectedItem(const char* listName) {
  korvu::gui::DropdownList* list = findComponent<korvu::gui::DropdownList>(listName);
  return list ? list->selected : nullptr;
}

PlayerProfile* profileOf(korvu::gui::ListItem* item) {
  return item ? static_cast<PlayerProfile*>(item->data) : nullptr;
}

void showStartMenu() {
  setVisible("pStartGameMenu1", selectedPlayers == 1);
  setVisible("pStartGameMenu2", selectedPlayers == 2);
}

void bringToFront(const char* name) {
  if (korvu::gui::Component* c = findComponent(name)) {
    c->visible = true;
    c->bringToFront();
  }
}

void openEditor(PlayerProfile* profile) {
  editingProfile = profile;
  if (auto* field = findComponent<korvu::gui::Textfield>("tfProfileName"))
    field->caption = profile ? profile->name : "";
  setVisible("pStartGameMenu1", false);
  setVisible("pStartGameMenu2", false);
  bringToFront("pEditProfileMenu");
}

// The item of the list, its own id; 0 without a selection.
long selectedId(const char* listName) {
  korvu::gui::ListItem* item = selectedItem(listName);
  return item ? item->id : 0;
}

void drawLoadingScreen() {
  if (korvu::displayLost()) return;  // see runFrame
  bringToFront("lLoading");
  korvu::currentViewport = &korvu::vpScreen;
  glViewport(static_cast<GLint>(korvu::vpScreen.x), static_cast<GLint>(korvu::vpScreen.y),
             static_cast<GLsizei>(korvu::vpScreen.width), static_cast<GLsizei>(korvu::vpScreen.height));
  korvu::gui::GUI* gui = resources->gui;
  const bool cursorShown = gui->cursor && gui->cursor->visible;
  if (gui->cursor) gui->cursor->visible = false;
  resources->renderContext2D.apply();
  korvu::clearScreen();
  korvu::resetCursor();
  gui->draw();
  korvu::flipScreen();
  if (gui->cursor) gui->cursor->visible = cursorShown;
}

void startGame() {
  std::vector<PlayerProfile*> profiles;
  if (selectedPlayers == 1) {
    PlayerProfile* profile = profileOf(selectedItem("dlProfile0"));
    if (!profile) {
      postMessage("Choose a profile first; \"New profile\" makes one.");
      return;
    }
    profiles.push_back(profile);
  } else if (selectedPlayers == 2) {
    korvu::gui::ListItem* first = selectedItem("dlProfile1");
    korvu::gui::ListItem* second = selectedItem("dlProfile2");
    if (!profileOf(first) || !profileOf(second)) {
      postMessage("Choose a profile for each player first; \"New profile\" makes one.");
      return;
    }
    if (first == second) {
      postMessage("Both players have the same profile; choose another for player 2.");
      return;
    }
    profiles.push_back(profileOf(first));
    profiles.push_back(profileOf(second));
  } else {
    // No mode chosen: there is no player to race.
    return;
  }
  delete game;
  game = nullptr;
  stopMusic();

  const bool single = selectedPlayers == 1;
  settings.track = static_cast<int>(selectedId(single ? "dlTrack1" : "dlTrack2"));
  const bool night = selectedId(single ? "dlTime1" : "dlTime2") == 1;
  drawLoadingScreen();

  if (single) {
    moreSettings.choose(&MoreSettings::singleplayer, profiles[0]->name);
  } else {
    moreSettings.choose(&MoreSettings::multiplayer_1, profiles[0]->name);
    moreSettings.choose(&MoreSettings::multiplayer_2, profiles[1]->name);
  }
  std::vector<std::string> saveNotice;
  std::string told;
  const Saved how =
      trySave("the last choices", FILENAME_MORESETTINGS, [] { moreSettings.save(FILENAME_MORESETTINGS); }, told);
  if (how != Saved::YES) {
    saveNotice = {told, how == Saved::UNSYNCED ? "They are kept while the game runs, and saved again by the next "
                                              "race's start and the end of the game."
                                            : "They are kept while the game runs: the next race's start and the end "
                                              "of the game try again to save them."};
  }
  addUnlockedNotice(saveNotice);

  // What the race's start warns of (a best-time file kept aside) is shown
  // when the menus are back: over the race the notice would hide the timers.
  korvu::debug::startCapture();
  try {
    game = new Game("dummy", profiles, static_cast<unsigned>(selectedPlayers), night);
    raceStartWarnings = korvu::debug::stopCapture();
    raceStartWarnings.insert(raceStartWarnings.begin(), saveNotice.begin(), saveNotice.end());
  } catch (const std::string& message) {
    korvu::debug::stopCapture();
    if (!saveNotice.empty()) showNotice(saveNotice);
    // A race that cannot be built leaves the player in the menus.
    korvu::debug::error(DBG_CORE, "Could not start the race: %s", message.c_str());
    postMessage("Could not start the race: " + message);
    setVisible("lLoading", false);
    startTitleMusic();
    return;
  }
  setVisible("pMainMenu", false);
  setVisible("pStartGameMenu1", false);
  setVisible("pStartGameMenu2", false);
  setVisible("pGameMenu", true);
  setVisible("lLoading", false);
  setVisible("pBack", false);
  setBackdropLoaded(false);
  korvu::gui::GUI* gui = resources->gui;
  gui->visible = false;
  gui->active = false;
  if (gui->cursor) gui->cursor->visible = true;
  korvu::getElapsedTicks();
}

std::string nameLimitMessage() {
  return "A name takes at most " + std::to_string(korvu::gui::Textfield::MAX_LENGTH) +
         " characters; the field takes no more.";
}

// Every profile of the bank in the shared list (another copy's profiles
// join the bank in a save or a refresh), and the list in each drop-down.
void refreshProfileLists() {
  korvu::gui::List* list = resources->profileList;
  for (auto& entry : *resources->profileBank)
    if (entry.second && !list->findByData(entry.second)) *list += entry.second->createListItem();
  for (const char* name : PROFILE_LISTS)
    if (auto* dropdown = findComponent<korvu::gui::DropdownList>(name)) dropdown->setItems(list);
}

void storeProfile() {
  auto* field = findComponent<korvu::gui::Textfield>("tfProfileName");
  if (!field) return;
  const std::string name = field->caption;
  if (name.find_first_not_of(" ") == std::string::npos) {
    postMessage("A profile needs a name: point at the field and type one.");
    return;
  }
  PlayerProfileBank* bank = resources->profileBank;
  korvu::gui::List* list = resources->profileList;

  // Names are the bank's keys: a name another profile holds would destroy
  // that profile under the lists' feet, so the editor refuses it.
  auto taken = bank->find(name);
  if (taken != bank->end() && taken->second != editingProfile) {
    postMessage("A profile named \"" + name + "\" exists already.");
    return;
  }
  if (!editingProfile) {
    editingProfile = new PlayerProfile();
    editingProfile->name = name;
    *bank += editingProfile;
    *list += editingProfile->createListItem();
  } else {
    *bank -= editingProfile;
    editingProfile->name = name;
    *bank += editingProfile;
    if (korvu::gui::ListItem* item = list->findByData(editingProfile))
      editingProfile->applyToListItem(item);
  }
  // The field stops taking characters there; the player is told why the
  // name ends where it does.
  if (field->length() >= korvu::gui::Textfield::MAX_LENGTH) postMessage(nameLimitMessage());
  std::string told;
  const Saved how = trySave("the profiles", FILENAME_PROFILES, [bank] { bank->save(FILENAME_PROFILES); }, told);
  profilesUnsaved = how != Saved::YES;
  std::vector<std::string> notice;
  // A file that is there and cannot be read, or a link, refuses every save
  // until its owner mends it.
  if (how == Saved::REFUSED) {
    notice = {told, "The profile is kept while the game runs; nothing is saved to that file while it stays so."};
  } else if (how != Saved::YES) {
    notice = {told, how == Saved::UNSYNCED ? "The profile is kept while the game runs, and saved again by the next "
                                             "profile saved and the end of the game."
                                           : "The profile is kept while the game runs: the next profile saved and "
                                             "the end of the game try again to save it."};
  }
  addUnlockedNotice(notice);
  if (!notice.empty()) showNotice(notice);
  // The save brings in the profiles another copy of the game has made.
  refreshProfileLists();
  showStartMenu();
  setVisible("pEditProfileMenu", false);
}

}  // namespace

void takeInProfilesOnFile() {
  if (resources->profileBank->refresh(FILENAME_PROFILES) > 0) refreshProfileLists();
}

void prepareMenus() {
  korvu::gui::GUI* gui = resources->gui;
  gui->width = korvu::vpScreen.width;
  gui->height = korvu::vpScreen.height;
  const korvu::Vector2D screen(korvu::vpScreen.width, korvu::vpScreen.height);
  for (const char* name : CENTRED)
    if (korvu::gui::Component* c = findComponent(name)) c->center(screen);
  if (auto* fps = findComponent<korvu::gui::Checkbox>("cbFPS")) fps->checked = settings.showFps;
  setVisible("pBack", true);
  setVisible("pMainMenu", true);
  resources->renderContext3D.ambient = korvu::Color{0.7f, 0.7f, 0.7f, 0.7f};
  gui->visible = true;
  gui->active = true;

  globalMessages.rectangle =
      korvu::Rect{0.0f, korvu::vpScreen.height - 50.0f, korvu::vpScreen.width, 30.0f};
  globalMessages.font = resources->font;

  moreSettings.loadAtStart(FILENAME_MORESETTINGS);
  preselectProfile(moreSettings.singleplayer, "dlProfile0");
  preselectProfile(moreSettings.multiplayer_1, "dlProfile1");
  preselectProfile(moreSettings.multiplayer_2, "dlProfile2");
}

bool menuMainLoop(float /*dt*/) {
  // The field stops taking characters at its longest name: said at the key
  // that was refused, not only at OK.
  if (auto* field = dynamic_cast<korvu::gui::Textfield*>((*resources->gui)["tfProfileName"])) {
    if (field->refused > 0) postMessage(nameLimitMessage());
    field->refused = 0;
  }
  bool result = true;
  korvu::Trigger* trigger = nullptr;
  while ((*resources->controlQueue >> trigger), trigger) {
    switch (trigger->id) {
      case TRG_EXIT:
      case TRG_CANCEL:
        if (isVisible("pMainMenu")) return handleGlobalEvents(trigger);
        if (isVisible("pCredits")) {
          setVisible("pMainMenu", true);
          setVisible("pCredits", false);
        } else if (isVisible("pEditProfileMenu")) {
          showStartMenu();
          setVisible("pEditProfileMenu", false);
        } else if (selectedPlayers >= 1) {
          setVisible("pStartGameMenu1", false);
          setVisible("pStartGameMenu2", false);
          setVisible("pMainMenu", true);
        }
        break;
      case TRG_CREDITS:
        setVisible("pMainMenu", false);
        bringToFront("pCredits");
        break;
      case TRG_SINGLE_PLAYER_GAME:
        takeInProfilesOnFile();
        selectedPlayers = 1;
        setVisible("pStartGameMenu1", true);
        setVisible("pMainMenu", false);
        break;
      case TRG_MULTIPLAYER_GAME:
        takeInProfilesOnFile();
        selectedPlayers = 2;
        setVisible("pStartGameMenu2", true);
        setVisible("pMainMenu", false);
        break;
      case TRG_START_GAME:
        startGame();
        break;
      case TRG_NEW_PROFILE:
        openEditor(nullptr);
        break;
      case TRG_EDIT_PROFILE1:
        if (korvu::gui::ListItem* item = selectedItem(selectedPlayers == 1 ? "dlProfile0" : "dlProfile1"))
          openEditor(profileOf(item));
        break;
      case TRG_EDIT_PROFILE2:
        if (korvu::gui::ListItem* item = selectedItem("dlProfile2")) openEditor(profileOf(item));
        break;
      case TRG_OK:
        if (isVisible("pEditProfileMenu")) storeProfile();
        break;
      default:
        result = handleGlobalEvents(trigger) && result;
        break;
    }
  }
  return result;
}

}  // namespace glimro
