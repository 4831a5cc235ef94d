// The race: one instance while a race runs, reachable through the global
// game. It owns the scene (the world with the track, the vehicles and the
// sun), the sky cube, the rockets in flight and the running explosions; it
// sets up the start grid and one viewport per player side by side, shows
// the start-light countdown, switches between day and night, draws every
// player's view, and ends when the last player has finished. Everything it
// looks up comes from raceResources.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "korvu.h"

namespace korvu {
namespace ddd {
class Cube;
class Light;
class Object;
class SimpleParticleEngine;
}  // namespace ddd
}  // namespace korvu

namespace glimro {

class Glimro;
class PlayerProfile;
class Rocket;
class Track;

// The stream the race music plays from, from the start signal on.
extern const char* const RACE_MUSIC;

// The vehicles move in steps of this many milliseconds, whatever the
// frames are: their drive and hover rules act once a step, so only a step
// of one length makes a race the same on every machine. 20 ms is the step
// a race at 50 frames a second has always had.
constexpr float VEHICLE_STEP = 20.0f;
// A longer frame is a pause (the process stopped, the machine suspended or
// stalled), not time the player saw: everything in the frame moves on this
// far only and the rest is dropped, so the vehicles are not driven blind on
// the keys held before it and the lap times do not keep it. A quarter of a
// second still runs in full the frames of a slow machine (four a second,
// about the slowest at which a player can still steer) and the odd stall,
// so those races keep real time; and a frame never runs more than 13 steps.
constexpr float LONGEST_FRAME = 250.0f;

class Game {
 public:
  // Scene root, owned. Children in order: the track, the vehicles in grid
  // order, the sun; rockets and explosions join later. Its skybox is skybox.
  korvu::ddd::Object* world;
  // A child of world.
  korvu::ddd::Light* sun;
  // Owned; also a child of world.
  Track* track;
  // Every vehicle in grid order; children of world.
  std::vector<Glimro*> vehicles;
  // One vehicle per profile in player order: entry i is vehicle i.
  std::vector<Glimro*> players;
  // Every vehicle once, leader first; grid order until the first ranking.
  std::list<Glimro*> ranking;
  // One screen rectangle per player, side by side, player 1 rightmost.
  std::vector<korvu::Viewport> viewports;
  // Fired rockets and running explosions, owned; also children of world.
  std::list<Rocket*> rockets;
  std::list<korvu::ddd::SimpleParticleEngine*> particleEngines;
  // Set when no player races any more.
  bool raceOver;
  // Set by the race step once the race is over and the players leave; the
  // shell then saves the records and deletes the race.
  bool leave;
  bool night;
  // Half the side of the square used to cull the players' views.
  float viewDistance;
  // Start-light state: 4 before the countdown, then 3, 2, 1, and 0 from the
  // start signal on.
  int countdown;
  // Milliseconds until the countdown's next step.
  float countdownTimer;
  // Milliseconds since the race was built: the frames' lengths summed,
  // each at most LONGEST_FRAME.
  double clock;
  // How far the vehicles' steps have got: from clock to one step past it,
  // so that the vehicles' pose at the frame's time lies within the last
  // step.
  double stepClock;
  // The clock at the start signal, where race time begins.
  double startClock;
  // The share of the last step that the frame's time has reached (1: the
  // frame ends where the step does); the vehicles are drawn there.
  float stepShare;
  // Where no player is at the keys (the race harness's autopilot): sets
  // the players' axes before each step of the vehicles. Empty in the game,
  // whose axes change only when the events are polled.
  std::function<void()> stepPilot;
  // Owned.
  korvu::ddd::Cube* skybox;
  // Meshes and faces drawn in the last frame, over all viewports.
  int meshes;
  int faces;
  // Players that have not finished.
  int playersRacing;

  // Builds the race on the track the settings name (the short track for
  // any number but 1 and 2) with `count` vehicles, the first one per
  // profile driven by that player, at most two players. Throws a message,
  // after logging it and releasing what was built, when something the race
  // needs is missing: a model, a lamp material, a sound, an emitter, or a
  // track model (the music is not needed). `name` is not used.
  Game(const char* name, std::vector<PlayerProfile*> profiles, unsigned count, bool night);
  ~Game();
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  // Reads the track's records, builds its geometry and prepares the model
  // bank; called once by the constructor.
  void loadTrack();
  // One more player has finished; the last one ends the race: the
  // race-over panel shows the records and every player is locked.
  void playerHasFinished();
  // Shows countdown state n: lamps, a beep for 2 and below, and the race
  // music from 0 (with audio on, and only when its file can be read).
  void setStartLights(int n);
  // Day or night: sky, fog, ambient light, clear colour and the sun.
  void setWeather(bool night);
  // One frame of the race, dt milliseconds long: triggers, countdown,
  // rockets, explosions, the vehicles' steps up to the frame's time (each
  // with the players' controls), their messages and clocks, the players'
  // culling lists and the ranking. False when the program is to end.
  bool mainLoop(float dt);
  // Every player's view into its viewport, with the vehicles where they
  // are at the frame's time, then every player's heads-up display; dt is
  // not used.
  void draw(float dt);
  // The race time at which a vehicle that went from `from` to `to` in the
  // step under way crossed the start line: the start of the first section,
  // across the road.
  double lineCrossingTime(const korvu::Vector3D& from, const korvu::Vector3D& to) const;

  // The race step's vehicle against vehicle: a vehicle whose move of dt
  // milliseconds runs into another keeps its direction at 0.9 of the
  // other's speed, or its own where that is less, hands 0.9 of that
  // velocity and of its speed on, and keeps a speed at least 0.01 away from
  // zero.
  void collideWithVehicles(Glimro* vehicle, float dt);
  // Each player's list of the track objects within the view distance and
  // 50 degrees of its heading, which the drawing keeps to; empty with
  // culling off.
  void cullViews();

 private:
  // The steps of mainLoop, in their order.
  // Acts on the race's own triggers and hands the rest to the global
  // commands; false when one of those ends the program.
  bool handleTriggers();
  // Runs the start lights down; the race starts when they reach 0.
  void stepCountdown(float dt);
  // Flies the rockets and deletes the spent ones.
  void stepRockets(float dt);
  // Steps the explosions and deletes the burnt-out ones.
  void stepExplosions(float dt);
  // Turns the players' axes into their vehicles' controls.
  void applyControls();
  // Steps of VEHICLE_STEP until stepClock has reached clock: in each, the
  // players' controls, then every vehicle against the others and the
  // track, with its hover and drive rules.
  void moveVehicles();
  // Fills the vehicle's list of the track objects within the collision
  // radius, for its move and its hover.
  void findNearbyObjects(Glimro* vehicle);
  // Moves the vehicle by its velocity, sliding off the track objects near
  // it; true when it touched one.
  bool sweep(Glimro* vehicle, float dt);
  // Lets the vehicle hover over the road, and drive unless its move
  // touched something.
  void hover(Glimro* vehicle, float dt, bool contact);
  // Orders the vehicles, leader first, and gives each its position.
  void rank();
  // Deletes what the race owns; the destructor's work, also run when the
  // constructor fails half-way.
  void release();
};

// The running race; null while the menus run.
extern Game* game;

// Set (by the console thread) to end the program; the shell's frame and the
// race step read it, so the program ends in order from the menus or a race.
extern std::atomic<bool> terminate;

}  // namespace glimro
