#include "shell/commands.h"

#include "race/raceresources.h"

namespace glimro {

namespace {

DefaultBinding key(SDLKey k, double value = 0.0) { return {DefaultBinding::KEY, 0, k, value}; }
DefaultBinding button(int joystick, int b, double value = 0.0) {
  return {DefaultBinding::JOY_BUTTON, joystick, b, value};
}
DefaultBinding stick(int joystick, double direction) { return {DefaultBinding::JOY_AXIS, joystick, 0, direction}; }

std::vector<Command> buildTable() {
  return {
      {TRG_EXIT, "exit", "Exit", false, {key(SDLK_q), key(SDLK_ESCAPE)}},
      {TRG_TOGGLE_MENU, "toggleMenu", "Toggle menu", false, {}},
      {TRG_FULLSCREEN, "fullscreen", "Toggle fullscreen", false, {key(SDLK_f)}},
      {TRG_SCREENSHOT, "Screenshot", "Save screenshot", false, {key(SDLK_F12)}},
      {TRG_CONSOLE, "console", "Activate debugging console", false, {key(SDLK_HASH)}},
      {TRG_X1, "x1", "X axis (player 1)", true,
       {key(SDLK_LEFT, -1.0), key(SDLK_RIGHT, 1.0), stick(0, -1.0), stick(0, 1.0)}},
      {TRG_ACCELERATE1, "accelerate1", "Accelerate (player 1)", true,
       {key(SDLK_UP, 1.0), button(0, 0, 1.0), button(0, 9, 1.0)}},
      {TRG_BREAK1, "break1", "Break (player 1)", true, {key(SDLK_DOWN, 1.0), button(0, 1, 1.0), button(0, 8, 1.0)}},
      {TRG_CAMERA1, "camera1", "Switch camera (player 1)", false, {key(SDLK_k)}},
      {TRG_LIGHT1, "light1", "Toggle headlights (player 1)", false, {key(SDLK_l)}},
      {TRG_RESET1, "reset1", "Reset player 1", false, {key(SDLK_BACKSPACE), button(0, 3)}},
      {TRG_OPEN_ROCKET1, "openRocket1", "Open rocket launcher player 1", false, {key(SDLK_RETURN), button(0, 4)}},
      {TRG_LAUNCH_ROCKET1, "launchRocket1", "Launch rocket launcher player 1", false,
       {key(SDLK_RCTRL), button(0, 5)}},
      {TRG_X2, "x2", "X axis (player 2)", true, {key(SDLK_a, -1.0), key(SDLK_d, 1.0), stick(1, -1.0), stick(1, 1.0)}},
      {TRG_ACCELERATE2, "accelerate2", "Accelerate (player 2)", true,
       {key(SDLK_w, 1.0), button(1, 0, 1.0), button(1, 9, 1.0)}},
      {TRG_BREAK2, "break2", "Break (player 2)", true, {key(SDLK_s, 1.0), button(1, 1, 1.0), button(1, 8, 1.0)}},
      {TRG_LIGHT2, "light2", "Toggle headlights (player 2)", false, {key(SDLK_y)}},
      {TRG_CAMERA2, "camera2", "Switch camera (player 2)", false, {key(SDLK_x)}},
      {TRG_RESET2, "reset2", "Reset player 2", false, {key(SDLK_TAB), button(1, 3)}},
      {TRG_OPEN_ROCKET2, "openRocket2", "Open rocket launcher player 2", false, {key(SDLK_LSHIFT), button(1, 4)}},
      {TRG_LAUNCH_ROCKET2, "launchRocket2", "Launch rocket launcher player 2", false,
       {key(SDLK_LCTRL), button(1, 5)}},
      {TRG_SUN, "sun", "Toggle sun", false, {key(SDLK_n)}},
      {TRG_FPS, "fps", "Toggle FPS display", false, {key(SDLK_F2)}},
      {TRG_FPS_ON, "fpsOn", "Activate FPS display", false, {}},
      {TRG_FPS_OFF, "fpsOff", "Deactivate FPS display", false, {}},
      {TRG_BUFFERED_MODELS, "BufferedModels", "Toggle buffered models", false, {key(SDLK_F6)}},
      {TRG_COMPILED_MODELS, "compiledModels", "Toggle compiled models", false, {key(SDLK_F7)}},
      {TRG_WIREFRAME, "wireframe", "Toggle wireframe", false, {key(SDLK_F3)}},
      {TRG_SKYBOX, "skybox", "Toggle skybox", false, {key(SDLK_F1)}},
      {TRG_MIPMAP_MODE, "mipmapMode", "Toggle mipmap mode", false, {key(SDLK_F4)}},
      {TRG_MIPMAPS, "mipmaps", "Toggle mipmaps", false, {key(SDLK_F5)}},
      {TRG_CULLING, "culling", "Toggle view frustum culling", false, {key(SDLK_F8)}},
      {TRG_TRANSPARENCY, "transparency", "Toggle transparency", false, {key(SDLK_F9)}},
      {TRG_LENSFLARES, "lensflares", "Toggle lensflares", false, {key(SDLK_F10)}},
      {TRG_SHADOWS, "shadows", "Toggle shadows", false, {key(SDLK_F11)}},
      {TRG_PROJECTIVE_TEXTURES, "projectiveTextures", "Toggle projective textures", false, {key(SDLK_j)}},
      {TRG_MUSIC, "music", "Toggle music", false, {key(SDLK_m)}},
      {TRG_PROFILING, "profiling", "Print profiling stats", false, {key(SDLK_p)}},
      {TRG_CREDITS, "credits", "Show credits", false, {}},
      {TRG_SINGLE_PLAYER_GAME, "singlePlayerGame", "Start single player game", false, {}},
      {TRG_MULTIPLAYER_GAME, "multiplayerGame", "Start multiplayer game", false, {}},
      {TRG_START_GAME, "startGame", "Start game", false, {}},
      {TRG_NEW_PROFILE, "newProfile", "New profile", false, {}},
      {TRG_EDIT_PROFILE1, "editProfile1", "Edit profile player 1", false, {}},
      {TRG_EDIT_PROFILE2, "editProfile2", "Edit profile player 2", false, {}},
      {TRG_OK, "ok", "OK", false, {}},
      {TRG_CANCEL, "cancel", "Cancel", false, {}},
  };
}

korvu::Translator* makeBinding(korvu::Trigger* trigger, korvu::Axis* axis, const DefaultBinding& b) {
  const Uint8 joystick = static_cast<Uint8>(b.joystick);
  switch (b.kind) {
    case DefaultBinding::KEY:
      if (axis) return new korvu::KeyAxis(axis, static_cast<SDLKey>(b.input), korvu::KEYSTATE_PRESSED, b.value);
      return new korvu::KeyTrigger(trigger, static_cast<SDLKey>(b.input), korvu::KEYSTATE_DOWN, false);
    case DefaultBinding::JOY_BUTTON:
      if (axis)
        return new korvu::JoyButtonAxis(axis, joystick, static_cast<Uint8>(b.input), korvu::KEYSTATE_PRESSED, b.value);
      return new korvu::JoyButtonTrigger(trigger, joystick, static_cast<Uint8>(b.input), korvu::KEYSTATE_DOWN);
    case DefaultBinding::JOY_AXIS:
      if (!axis) return nullptr;
      return new korvu::JoyAxis(axis, joystick, static_cast<Uint8>(b.input), b.value < 0 ? -1 : 1,
                                JOYSTICK_DEADZONE, JOYSTICK_MAXIMUM);
  }
  return nullptr;
}

}  // namespace

const std::vector<Command>& commandTable() {
  static const std::vector<Command> table = buildTable();
  return table;
}

void buildControls(korvu::ControlQueue& queue, korvu::InputEvaluator& evaluator, RaceResources& race) {
  for (const Command& c : commandTable()) {
    korvu::Axis* axis = nullptr;
    korvu::Trigger* trigger;
    if (c.axis) {
      axis = new korvu::Axis(c.id, c.name, c.description, 0.0, 1.0);
      trigger = axis;
    } else {
      trigger = new korvu::Trigger(c.id, c.name, c.description);
    }
    queue += trigger;
    for (const DefaultBinding& b : c.bindings) evaluator += makeBinding(trigger, axis, b);

    switch (c.id) {
      case TRG_X1: race.xAxis[0] = axis; break;
      case TRG_X2: race.xAxis[1] = axis; break;
      case TRG_ACCELERATE1: race.accelerateAxis[0] = axis; break;
      case TRG_ACCELERATE2: race.accelerateAxis[1] = axis; break;
      case TRG_BREAK1: race.breakAxis[0] = axis; break;
      case TRG_BREAK2: race.breakAxis[1] = axis; break;
      default: break;
    }
  }
}

}  // namespace glimro
