// The ids of the game's 47 commands, as the menus, the race and the global
// commands switch on them; the command table (shell/commands.h) names them
// and binds their keys.
#pragma once

namespace glimro {

enum TriggerId {
  TRG_EXIT = 0,
  TRG_TOGGLE_MENU = 1,
  TRG_FULLSCREEN = 2,
  TRG_CONSOLE = 3,
  TRG_PROFILING = 4,
  TRG_CREDITS = 5,
  TRG_X1 = 6,
  TRG_ACCELERATE1 = 7,
  TRG_BREAK1 = 8,
  TRG_CAMERA1 = 9,
  TRG_LIGHT1 = 10,
  TRG_RESET1 = 11,
  TRG_OPEN_ROCKET1 = 12,
  TRG_LAUNCH_ROCKET1 = 13,
  TRG_X2 = 14,
  TRG_ACCELERATE2 = 15,
  TRG_BREAK2 = 16,
  TRG_CAMERA2 = 17,
  TRG_LIGHT2 = 18,
  TRG_RESET2 = 19,
  TRG_OPEN_ROCKET2 = 20,
  TRG_LAUNCH_ROCKET2 = 21,
  TRG_SUN = 22,
  TRG_FPS = 23,
  TRG_FPS_ON = 24,
  TRG_FPS_OFF = 25,
  TRG_COMPILED_MODELS = 26,
  TRG_LENSFLARES = 27,
  TRG_WIREFRAME = 28,
  TRG_TRANSPARENCY = 29,
  TRG_SHADOWS = 30,
  TRG_PROJECTIVE_TEXTURES = 31,
  TRG_SCREENSHOT = 32,
  TRG_SKYBOX = 33,
  TRG_MUSIC = 34,
  TRG_BUFFERED_MODELS = 35,
  TRG_MIPMAPS = 36,
  TRG_MIPMAP_MODE = 37,
  TRG_CULLING = 38,
  TRG_SINGLE_PLAYER_GAME = 39,
  TRG_MULTIPLAYER_GAME = 40,
  TRG_START_GAME = 41,
  TRG_NEW_PROFILE = 42,
  TRG_EDIT_PROFILE1 = 43,
  TRG_EDIT_PROFILE2 = 44,
  TRG_OK = 45,
  TRG_CANCEL = 46
};

}  // namespace glimro
