// The game's settings: resolution, render switches, quality hints, laps,
// audio and texture filtering. One global, read from "resources/settings.xml"
// at start-up and never written back; the in-game toggles change it through
// the setters, which apply a changed switch to the engine at once.
#pragma once

#include <string>

namespace korvu { namespace xml { class Node; } }

namespace glimro {

// Element and attribute names of "resources/settings.xml" and "moresettings.xml".
extern const std::string XML_SETTINGS, XML_RESOLUTION, XML_RESOLUTION_X, XML_RESOLUTION_Y,
    XML_RESOLUTION_FULLSCREEN, XML_DEBUG, XML_SHOWFPS, XML_QUALITY, XML_LIGHTS,
    XML_BUFFEREDMODELS, XML_SKYBOX, XML_FOG, XML_LAPS, XML_COLLISIONS, XML_LENSFLARES,
    XML_TRANSPARENCY, XML_WIREFRAME, XML_SHADOWS, XML_CULLING, XML_TRILINEAR, XML_ENABLED,
    XML_VALUE, XML_MORESETTINGS, XML_PROFILE, XML_TYPE, XML_NAME, XML_TYPE_SINGLEPLAYER,
    XML_TYPE_MULTIPLAYER_1, XML_TYPE_MULTIPLAYER_2, XML_AUDIODEVICE, XML_SOUND, XML_MUSIC,
    XML_MIPMAPS, XML_COMPILEMODELS, XML_PROJECTIVETEXTURES;

// "resources/settings.xml"
extern const std::string FILENAME_SETTINGS;

class Settings {
 public:
  int resX = 800;
  int resY = 600;
  bool fullscreen = true;
  bool showFps = false;
  // Half the side of the square around a vehicle (world units) within which
  // the race gathers the track sections to collide with.
  float collisionRadius = 300.0f;
  // Above 0: specular light added after texturing.
  short lightsQuality = 0;
  // Fog hint: above 0 nicest, below 0 fastest, 0 don't care.
  short fogQuality = 0;
  // 0 "track_short", 1 "track_alternate", 2 "track_03"; set by the menus.
  int track = 0;
  int laps = 3;
  float fogStart = 1500.0f;
  // View distance and end of the fog.
  float viewDistance = 2000.0f;
  // Vehicles collide with each other.
  bool collisions = true;
  bool bufferedModels = true;
  // Read from the file; nothing depends on it.
  bool fog = true;
  bool lensflares = true;
  bool transparency = true;
  bool wireframe = false;
  bool shadows = true;
  bool projectiveTextures = true;
  bool skybox = true;
  bool compileModels = true;
  // Only used at start-up: false makes no OpenAL call at all.
  bool sound = true;
  bool music = true;
  bool mipmaps = true;
  bool trilinear = true;
  bool culling = true;
  // The OpenAL output device; empty for the default one.
  std::string audiodevice;

  // Reads the file as a player file (common/userfile.h: a regular file of
  // limited size and depth, root "settings"). Throws its message, naming
  // the file by its full path and the reason, when it cannot be read,
  // before any field has changed.
  void load(const std::string& file);
  // Applies the root's children in document order: a later element wins,
  // absent attributes keep the current value, unknown names are ignored.
  // A refused value is logged naming `file` (by its full path).
  void getSettingsFromNode(const korvu::xml::Node* root, const std::string& file = FILENAME_SETTINGS);

  void setShowFps(bool on);
  void setLensflares(bool on);
  void setTransparency(bool on);
  void setShadows(bool on);
  void setProjectiveTextures(bool on);
  void setSkybox(bool on);
  void setWireframe(bool on);
  // Packs every model into vertex arrays, or unpacks them.
  void setBufferedModels(bool on);
  // Records display lists of every material and model (and the race's
  // skybox), or deletes them.
  void setCompileModels(bool on);
  void setSound(bool on);
  // Mutes or unmutes the music emitter.
  void setMusic(bool on);
  void setCulling(bool on);
  // Sets the texture bank's maximum filter (trilinear, bilinear or linear)
  // and rebuilds every texture with it.
  void setMipmaps(bool on, bool trilinear);

  // At start-up, once the resource set exists: music mute, wireframe,
  // texture filter and the 3D render context's quality hints.
  void applyToResources();
};

extern Settings settings;

}  // namespace glimro
