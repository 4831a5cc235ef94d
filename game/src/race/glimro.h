// The hover vehicle of a race, one per player. It is a collideable model
// object that carries, as scene children, four cameras, a rocket launcher
// with a loaded rocket and (after init) an object with its engine sound; it
// owns its three-jet hover body, four collision spheres and its lap data.
// Its forward axis is local +z, its up axis local +y; velocities are world
// units per 50 ms and time is milliseconds of race time. The race moves it
// in steps of one fixed length and draws it between its last two poses.
#pragma once

#include <cstdint>
#include <list>

#include "ddd/collideable.h"
#include "fonts/message.h"
#include "mathtypes.h"

namespace korvu {
namespace audio { class SimpleSource; }
namespace ddd {
class BoundingSphere;
class Camera;
class EmitterObject;
class Intersection;
class Object;
}  // namespace ddd
}  // namespace korvu

namespace glimro {

class PlayerProfile;
class Rocket;
class TrackSection;
namespace physic { class Triangle3D; }

// Where a vehicle stands and how it is turned.
struct Pose {
  korvu::Vector3D position;
  korvu::Matrix3D rotation;
  korvu::Matrix3D inverseRotation;
};

class Glimro : public korvu::ddd::CollideableModelObject {
 public:
  // While set the race holds the brake and ignores the accelerator; cleared
  // at the start signal, set again at the finish.
  bool locked;
  // Set at the start signal; the clocks run while started and not finished.
  bool started;
  bool finished;
  // Inputs, written by the race every step.
  bool accelerate;
  bool brake;
  // Degrees of turn per 10 ms while moving.
  double steer;
  // Speed added per step; builds up while accelerating.
  double thrust;
  // Forward speed, at most 40 after a drive step.
  double speed;
  // The camera the player looks through, 0..3.
  uint16_t cameraIndex;
  // Steps in a row without jet contact.
  int airborneSteps;
  // Children of the vehicle: 0 and 1 in the cockpit looking forward and
  // back, 2 the chase camera, 3 on the nose.
  korvu::ddd::Camera* cameras[4];
  // Owned: the spheres of jets A, B, C and of the body, and the sphere
  // collideables made from them in the same order.
  korvu::ddd::BoundingSphere* spheres[4];
  korvu::ddd::Collideable* sphereColliders[4];
  // Owned.
  physic::Triangle3D* body;
  // The latest jet query's record, used only within one alignment step.
  korvu::ddd::Intersection* jetIntersection;
  // World units per 50 ms.
  korvu::Vector3D velocity;
  // Smoothed forward push; alignment replaces it by the hover body's move.
  korvu::Vector3D drift;
  // Jet points in vehicle space: front, rear right, rear left.
  korvu::Vector3D jetA;
  korvu::Vector3D jetB;
  korvu::Vector3D jetC;
  // Set by alignment while airborne; the drive step adds 0.3 of it.
  korvu::Vector3D gravity;
  // Hover distance of the jets and radius of the jet spheres.
  float hoverHeight;
  // 1 = leader; written by the race after ranking.
  uint16_t racePosition;
  uint16_t lap;
  // Milliseconds of the lap under way, of the fastest lap (0 = none yet)
  // and since the start signal.
  double lapTime;
  double bestLapTime;
  double raceTime;
  // Race time at which the lap under way began.
  double lapStart;
  // The pose before the vehicle's last step: the race draws the vehicle
  // between it and the present pose, where it is at the frame's time.
  Pose lastPose;
  // Track objects in this player's view and collision candidates around
  // the vehicle, refilled by the race every step; not owned.
  std::list<korvu::ddd::Object*> visibleObjects;
  std::list<korvu::ddd::Object*> nearbyObjects;
  // The section under the vehicle and the one before it; reset returns the
  // vehicle to the previous one. Not owned.
  TrackSection* currentSection;
  TrackSection* previousSection;
  // The driver's timed messages; a new one replaces the one shown. Their
  // rectangle lies in the player's viewport.
  korvu::fonts::Messages messages;
  // The blinking lap time.
  korvu::fonts::BlinkMessage lapTimeMessage;
  // Child carrying the engine sound; null until init.
  korvu::ddd::EmitterObject* emitterObject;
  // The looping engine sound, owned by the emitter object's emitter, which
  // keeps it until the emitter goes; null until init.
  korvu::audio::SimpleSource* engineSound;
  // Child of the vehicle showing "rocketLauncher"; posed by
  // openRocketLauncher.
  korvu::ddd::ModelObject* launcher;
  // The loaded rocket, a child of the launcher.
  Rocket* rocket;
  bool launcherOpen;
  // The driver's profile; not owned, null for a vehicle without a player.
  PlayerProfile* profile;

  // Builds the vehicle from the race's model and texture banks. Throws a
  // message naming "glimroCollision", "glimro", "glimroShadow" or
  // "rocketLauncher" when one is missing, before anything is built. The
  // argument (whether a player drives it) is not used.
  explicit Glimro(bool player);
  ~Glimro() override;

  // Starts the looping engine sound; the race calls it once per vehicle.
  void init();
  // Puts the vehicle back, at rest, 15 above its previous section and
  // facing along the road; nothing without a previous section.
  void reset();

  korvu::ddd::Camera* getCurrentCamera() const;
  void nextCamera();
  void setRotateY(float steer);
  // Turns the vehicle about its own up axis.
  void doRotateY(float degrees);
  // Puts the launcher into its open or closed pose (absolute, so repeating
  // a pose changes nothing).
  void openRocketLauncher(bool open);

  // One drive step of dt milliseconds: steering, thrust, speed and
  // velocity.
  void perform(float dt);
  // The frame's part, which follows the frame's time rather than the
  // steps: the messages count down dt milliseconds, and while the vehicle
  // races its clocks show race time `now`.
  void passTime(float dt, double now);
  // While the vehicle races, its clocks at race time `now` (a lap under way
  // that began later shows 0).
  void setClocks(double now);

  Pose pose() const;
  // The pose a share (0..1) of the way from lastPose to the present one.
  Pose poseBetweenSteps(float share) const;
  // For drawing: the vehicle stands a share of the way through its last
  // step until showStepped puts it back where the steps left it.
  void showBetweenSteps(float share);
  void showStepped();

  // One hover step after the race has moved the vehicle: jet forces from
  // the nearby sections, the section under the vehicle (laps and the
  // wrong-direction warning), the hover body's balance, gravity while
  // airborne and the engine's pitch.
  void alignment(float dt);
  // Adds velocity * dt / 50 to the position. The race step moves the
  // vehicle itself; this is the plain move without collision.
  void move(float dt);
  // The unit normal of the plane through p0, p1, p2; turns the velocity to
  // slide along that plane towards p, keeping its length. A degenerate
  // plane gives a zero normal and leaves the velocity alone.
  korvu::Vector3D hitPlane(const korvu::Vector3D* p0, const korvu::Vector3D* p1,
                           const korvu::Vector3D* p2, const korvu::Vector3D* p);
  // A crossing of the start line: the lap time into the track's lap table,
  // the fastest-lap message, and after the last lap the race time, the
  // finish message and the end of this vehicle's race.
  void nextLap();
  // Name, race time, lap time, lap and position, and the messages, in the
  // current viewport with the 2D context applied.
  void drawHud();
  // The display's race clock and lap clock (zero on the grid), each in the
  // whole milliseconds that the tables keep of it.
  std::string raceClock() const;
  std::string lapClock() const;
  // Fires the loaded rocket when the launcher is open, and loads another.
  void launchRocket();

 private:
  // The pose the steps left while showBetweenSteps shows another.
  Pose stepped_;
  bool showing_ = false;

  void setPose(const Pose& p);
  // The tracking rule for the section under the vehicle.
  void followSection(TrackSection* under);
  // A new rocket in the launcher's seat.
  void loadRocket();
};

// The race order: a lap ahead first, then the farther section.
bool findGlimroLeader(const Glimro* a, const Glimro* b);

}  // namespace glimro
