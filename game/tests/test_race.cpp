// The race without a window: the vehicle as built (cameras, launcher,
// loaded rocket, body and spheres), its drive model and reset, the rocket
// object, the start lights, day and night, set-up for one and two players
// with their viewports and grid places, the end of the race, refusals of
// incomplete resources, and what teardown leaves behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "ddd/bounding.h"
#include "ddd/camera.h"
#include "ddd/collisionmodel.h"
#include "ddd/cube.h"
#include "ddd/emitterobject.h"
#include "ddd/light.h"
#include "ddd/material.h"
#include "ddd/mesh.h"
#include "ddd/shadowmodel.h"
#include "audio/emitter.h"
#include "race/game.h"
#include "race/glimro.h"
#include "gui/gui.h"
#include "gui/pane.h"
#include "track/layouts.h"
#include "physic/triangle3d.h"
#include "common/playerprofile.h"
#include "raceworld.h"
#include "testsupport.h"
#include "race/rocket.h"
#include "audio/source.h"
#include "track/track.h"
#include "vectorchecks.h"

using glimro::Game;
using glimro::Glimro;
using glimro::PlayerProfile;
using glimro::Rocket;
using korvu::Matrix3D;
using korvu::Vector3D;
using korvu::ddd::Camera;
using korvu::ddd::Object;
using korvu_test::expectVec;

namespace {

// Where a direction of the object's own frame points in its parent's.
Vector3D turned(const Object& o, const Vector3D& v) {
  const Matrix3D& m = o.rotation;
  return Vector3D(m.m[0][0] * v.x + m.m[0][1] * v.y + m.m[0][2] * v.z,
                  m.m[1][0] * v.x + m.m[1][1] * v.y + m.m[1][2] * v.z,
                  m.m[2][0] * v.x + m.m[2][1] * v.y + m.m[2][2] * v.z);
}

bool isChildOf(const Object* child, const Object* parent) {
  for (const Object* c : parent->children)
    if (c == child) return child->parent == parent;
  return false;
}

struct Profiles {
  PlayerProfile one, two, three;
  Profiles() {
    one.name = "Ann";
    two.name = "Bo";
    three.name = "Cy";
  }
};

}  // namespace

// ---------------------------------------------------------------------------
// The vehicle

TEST(RaceVehicle, IsBuiltWithItsCamerasLauncherLoadedRocketAndBody) {
  glimro_harness::RaceWorld world;
  Glimro v(true);
  EXPECT_EQ(v.ModelObject::model, world.models["glimro"]);
  ASSERT_NE(v.shadowModel, nullptr);
  EXPECT_EQ(v.shadowModel->faceCount, world.models["glimroShadow"]->faceCount);
  EXPECT_EQ(static_cast<korvu::ddd::Model*>(v.Collideable::model), world.models["glimroCollision"]);
  EXPECT_TRUE(v.locked);
  EXPECT_FALSE(v.started || v.finished || v.accelerate || v.brake || v.launcherOpen);
  expectVec(v.position, 102.0f, 6.0f, 55.77f);

  // The chase camera is the one in use; each camera looks where its pose
  // says (a camera looks along its own -z).
  EXPECT_EQ(v.cameraIndex, 2);
  EXPECT_EQ(v.getCurrentCamera(), v.cameras[2]);
  const float s20 = std::sin(20.0f * 3.1415927f / 180.0f), c20 = std::cos(20.0f * 3.1415927f / 180.0f);
  const struct {
    Vector3D position, looks;
    double far;
  } poses[4] = {{{0, 5, -3}, {0, 0, 1}, 10000},
                {{0, 5, -3}, {0, 0, -1}, 10000},
                {{0, 30, -40}, {0, -s20, c20}, 20000},
                {{0, 0, 15}, {0, 0, 1}, 10000}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const Camera* c = v.cameras[i];
    EXPECT_TRUE(isChildOf(c, &v));
    expectVec(c->position, poses[i].position.x, poses[i].position.y, poses[i].position.z);
    const Vector3D looks = turned(*c, Vector3D(0, 0, -1));
    expectVec(looks, poses[i].looks.x, poses[i].looks.y, poses[i].looks.z, 1e-4f);
    // Upright: the camera's up stays in the upper half.
    EXPECT_GT(turned(*c, Vector3D(0, 1, 0)).y, 0.9f);
    EXPECT_DOUBLE_EQ(c->fovy, 80.0);
    EXPECT_DOUBLE_EQ(c->aspect, 1.33);
    EXPECT_DOUBLE_EQ(c->near, 0.1);
    EXPECT_DOUBLE_EQ(c->far, poses[i].far);
  }

  // The launcher, closed, holding a fresh rocket showing "rocket".
  ASSERT_NE(v.launcher, nullptr);
  EXPECT_TRUE(isChildOf(v.launcher, &v));
  EXPECT_EQ(v.launcher->model, world.models["rocketLauncher"]);
  expectVec(v.launcher->position, 0.4f, -1.5f, -8.8f);
  ASSERT_NE(v.rocket, nullptr);
  EXPECT_TRUE(isChildOf(v.rocket, v.launcher));
  expectVec(v.rocket->position, -0.05f, 4.0f, 1.0f);

  // The hover body on the jets, and the spheres that move with the vehicle.
  ASSERT_NE(v.body, nullptr);
  expectVec(v.body->pointA, 0, -2.6f, 19);
  expectVec(v.body->cog, 0, -2.6f, -14.0f / 3.0f, 1e-4f);
  const float radii[4] = {6, 6, 6, 5};
  const Vector3D centres[4] = {v.jetA, v.jetB, v.jetC, Vector3D()};
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(v.sphereColliders[i], nullptr);
    EXPECT_EQ(v.sphereColliders[i]->type, korvu::ddd::COLLIDEABLE_SPHERE);
    EXPECT_FLOAT_EQ(v.spheres[i]->radius, radii[i]);
    v.position = Vector3D(10, 20, 30);
    const Vector3D c = v.sphereColliders[i]->worldCenter();
    expectVec(c, centres[i].x + 10, centres[i].y + 20, centres[i].z + 30);
  }
  // No emitter until init.
  EXPECT_EQ(v.emitterObject, nullptr);
  EXPECT_EQ(v.engineSound, nullptr);
}

TEST(RaceVehicle, PlainMoveAndSlidingAlongAPlane) {
  glimro_harness::RaceWorld world;
  Glimro v(true);
  const Vector3D p0(0, 0, 0), p1(0, 0, 1), p2(1, 0, 0), p(0, 0, 0);
  v.velocity = Vector3D(0, -2, 2);
  expectVec(v.hitPlane(&p0, &p1, &p2, &p), 0, 1, 0);
  // Into the floor and forwards: only the forward part is left, at full speed.
  expectVec(v.velocity, 0, 0, std::sqrt(8.0f));
  const Vector3D start = v.position;
  v.move(25.0f);
  expectVec(v.position - start, 0, 0, std::sqrt(8.0f) / 2);
  // Three points on a line make no plane: nothing changes.
  const Vector3D q(2, 0, 0);
  expectVec(v.hitPlane(&p0, &p2, &q, &p), 0, 0, 0);
  expectVec(v.velocity, 0, 0, std::sqrt(8.0f));
}

TEST(RaceVehicle, LauncherPosesAreAbsoluteAndCamerasCycle) {
  glimro_harness::RaceWorld world;
  Glimro v(true);
  const Vector3D closed = v.launcher->position;
  for (int round = 0; round < 2; ++round) {
    v.openRocketLauncher(true);
    EXPECT_TRUE(v.launcherOpen);
    expectVec(v.launcher->position, 0.5f, 1.7f, -8.2f);
    // Turned -90 about z: the arm (its +y) swings out to +x.
    expectVec(turned(*v.launcher, Vector3D(0, 1, 0)), 1, 0, 0, 1e-5f);
    expectVec(turned(*v.launcher, Vector3D(0, 0, 1)), 0, 0, 1, 1e-5f);
  }
  v.openRocketLauncher(false);
  EXPECT_FALSE(v.launcherOpen);
  expectVec(v.launcher->position, closed.x, closed.y, closed.z);
  const float a = 6.5f * 3.1415927f / 180.0f;
  expectVec(turned(*v.launcher, Vector3D(0, 0, 1)), std::sin(a), 0, std::cos(a), 1e-5f);
  korvu_test::expectMatrixNear(Matrix3D::product(v.launcher->rotation, v.launcher->inverseRotation), Matrix3D(),
                               1e-5f);
  EXPECT_TRUE(v.launcher->hasMoved);
  // The rocket rides along as the launcher's child.
  EXPECT_TRUE(isChildOf(v.rocket, v.launcher));

  for (int i = 0; i < 4; ++i) {
    v.nextCamera();
    EXPECT_EQ(v.cameraIndex, (3 + i) % 4);
  }
  EXPECT_EQ(v.getCurrentCamera(), v.cameras[2]);
}

TEST(RaceVehicle, EngineSoundLoopsQuietlyWithAudioSwitchedOff) {
  glimro_harness::RaceWorld world;
  Glimro v(true);
  v.init();
  ASSERT_NE(v.emitterObject, nullptr);
  EXPECT_TRUE(isChildOf(v.emitterObject, &v));
  expectVec(v.emitterObject->position, 0, 0, 2);
  ASSERT_NE(v.engineSound, nullptr);
  EXPECT_EQ(v.engineSound->emitter, v.emitterObject->emitter);
  EXPECT_TRUE(v.engineSound->loop);
  EXPECT_FLOAT_EQ(v.engineSound->pitch, 0.01f);
}

TEST(RaceVehicle, MissingModelsAreRefusedByName) {
  for (const char* name : {"glimro", "glimroShadow", "glimroCollision", "rocketLauncher"}) {
    glimro_harness::RaceWorld world;
    delete world.models[name];
    world.models.erase(name);
    try {
      Glimro v(true);
      ADD_FAILURE() << "built without " << name;
    } catch (const std::string& message) {
      EXPECT_NE(message.find(std::string("\"") + name + "\""), std::string::npos) << message;
    }
  }
  // A collision model loaded as a plain model is no collision model.
  glimro_harness::RaceWorld world;
  korvu::ddd::Model* plain = new korvu::ddd::Model(*world.models["glimroShadow"]);
  plain->name = "glimroCollision";
  world.models += plain;
  EXPECT_THROW(Glimro(true), std::string);
}

TEST(RaceRocket, StartsUnplacedWithItsModelAndShadow) {
  glimro_harness::RaceWorld world;
  Rocket r;
  EXPECT_EQ(r.parent, nullptr);
  expectVec(r.position, 0, 0, 0);
  korvu_test::expectMatrixNear(r.rotation, Matrix3D(), 0);
  EXPECT_EQ(r.model, world.models["rocket"]);
  ASSERT_NE(r.shadowModel, nullptr);
  EXPECT_EQ(r.shadowModel->faceCount, world.models["rocket"]->faceCount);
  expectVec(r.velocity, 0, 0, 0);
  EXPECT_FLOAT_EQ(r.lifetime, 1000.0f);
  // Without the model the rocket shows and casts nothing.
  delete world.models["rocket"];
  world.models.erase("rocket");
  Rocket bare;
  EXPECT_EQ(bare.model, nullptr);
  EXPECT_EQ(bare.shadowModel, nullptr);
}

// ---------------------------------------------------------------------------
// The drive model

TEST(DriveModel, BrakeAcceleratorCoastingAndTheTopSpeed) {
  glimro_harness::RaceWorld world;
  Glimro v(true);

  // Brake and accelerator together: the thrust is dropped, the brake bites.
  v.accelerate = v.brake = true;
  v.speed = 10;
  v.thrust = 0.5;
  v.perform(20);
  EXPECT_DOUBLE_EQ(v.thrust, 0.0);
  EXPECT_NEAR(v.speed, 8.0, 1e-6);

  // Coasting: the thrust falls by dt / 50 and still adds while above 0; the
  // speed starts to fall in the step in which the thrust reaches 0.
  v.accelerate = v.brake = false;
  v.speed = 10;
  v.thrust = 0.5;
  v.perform(10);
  EXPECT_NEAR(v.thrust, 0.3, 1e-9);
  EXPECT_NEAR(v.speed, 10.3, 1e-6);
  v.perform(20);
  EXPECT_DOUBLE_EQ(v.thrust, 0.0);
  EXPECT_NEAR(v.speed, 9.9, 1e-5);
  v.perform(20);
  EXPECT_NEAR(v.speed, 9.5, 1e-5);
  // A coasting speed below 0.1 snaps to 0; a braking one only below 0.
  v.speed = 0.15;
  v.perform(5);
  EXPECT_DOUBLE_EQ(v.speed, 0.0);
  v.brake = true;
  v.speed = 0.15;
  v.perform(1);
  EXPECT_NEAR(v.speed, 0.05, 1e-6);
  v.perform(1);
  EXPECT_DOUBLE_EQ(v.speed, 0.0);

  // The top speed: exactly 40 stays, anything above drops to 30.
  v.brake = false;
  v.accelerate = true;
  v.speed = 40.0 - 0.001;
  v.thrust = 0.001 - 5.0 / 5000.0;
  v.perform(5);
  EXPECT_DOUBLE_EQ(v.speed, 40.0);
  v.perform(5);
  EXPECT_DOUBLE_EQ(v.speed, 30.0);
}

TEST(DriveModel, SteeringAndVelocity) {
  glimro_harness::RaceWorld world;
  Glimro v(true);
  v.rotation.setRotate(90, Vector3D(0, 1, 0));

  // No turn at standstill; the steering input stays.
  v.setRotateY(3.0f);
  const Matrix3D before = v.rotation;
  v.perform(10);
  korvu_test::expectMatrixNear(v.rotation, before, 0);
  EXPECT_DOUBLE_EQ(v.steer, 3.0);

  // Moving: steer x dt / 10 degrees about the vehicle's up; forward push
  // along the turned +z, smoothed into drift and velocity.
  v.speed = 10;
  v.thrust = 0;
  v.perform(20);
  const float heading = (90.0f + 6.0f) * 3.1415927f / 180.0f;
  expectVec(turned(v, Vector3D(0, 0, 1)), std::sin(heading), 0, std::cos(heading), 1e-5f);
  const float speed = 10.0f - 20.0f / 50.0f;
  expectVec(v.drift, 0.1f * speed * std::sin(heading), 0, 0.1f * speed * std::cos(heading), 1e-4f);
  expectVec(v.velocity, v.drift.x, 0, v.drift.z, 1e-6f);
  // Gravity from alignment adds 0.3 of itself.
  v.gravity = Vector3D(0, -1, 0);
  v.speed = 0;
  v.drift = v.velocity = Vector3D();
  v.perform(10);
  expectVec(v.velocity, 0, -0.3f, 0);
}

// The clocks follow the race's time, not the steps: they show the race
// time they are given while the vehicle races, and the drive step leaves
// them alone.
TEST(DriveModel, ClocksShowRaceTimeWhileTheVehicleRaces) {
  glimro_harness::RaceWorld world;
  Glimro v(true);
  v.passTime(10, 10);
  v.perform(20);
  EXPECT_DOUBLE_EQ(v.raceTime, 0.0);

  v.started = true;
  v.passTime(16, 1234.5);
  EXPECT_DOUBLE_EQ(v.raceTime, 1234.5);
  EXPECT_DOUBLE_EQ(v.lapTime, 1234.5);
  v.perform(20);
  EXPECT_DOUBLE_EQ(v.raceTime, 1234.5);
  // A lap that begins a little after the frame's time shows 0, not less.
  v.lapStart = 1000;
  v.setClocks(1100.25);
  EXPECT_DOUBLE_EQ(v.lapTime, 100.25);
  v.lapStart = 1200;
  v.setClocks(1150);
  EXPECT_DOUBLE_EQ(v.lapTime, 0.0);

  // The clocks stop at the finish; the messages still count down.
  v.messages += new korvu::fonts::Message("Finished", 100);
  v.finished = true;
  v.passTime(60, 5000);
  EXPECT_DOUBLE_EQ(v.raceTime, 1150.0);
  EXPECT_NEAR(v.messages.messages.back()->remainingTime, 40.0f, 1e-4f);
}

TEST(DriveModel, ResetPutsTheVehicleBackAboveItsPreviousSection) {
  glimro_harness::RaceWorld world;
  Glimro v(true);
  v.velocity = Vector3D(1, 2, 3);
  v.speed = 12;
  v.thrust = 0.7;
  v.reset();  // no section yet: nothing happens
  EXPECT_DOUBLE_EQ(v.speed, 12.0);
  expectVec(v.velocity, 1, 2, 3);

  glimro::TrackSection section(nullptr, nullptr);
  section.ModelObject::position = Vector3D(100, 5, -40);
  section.ModelObject::rotation.setRotate(30, Vector3D(0, 1, 0));
  section.ModelObject::inverseRotation.setRotate(-30, Vector3D(0, 1, 0));
  v.previousSection = &section;
  v.gravity = Vector3D(0, -2, 0);
  v.drift = Vector3D(1, 1, 1);
  v.airborneSteps = 9;
  v.body->pointA = Vector3D(5, 5, 5);
  v.reset();
  expectVec(v.position, 100, 20, -40);
  // Facing along the road: the section's -z, which is the vehicle's +z.
  const float a = 30.0f * 3.1415927f / 180.0f;
  expectVec(turned(v, Vector3D(0, 0, 1)), -std::sin(a), 0, -std::cos(a), 1e-5f);
  korvu_test::expectMatrixNear(Matrix3D::product(v.rotation, v.inverseRotation), Matrix3D(), 1e-5f);
  expectVec(v.velocity, 0, 0, 0);
  expectVec(v.drift, 0, 0, 0);
  expectVec(v.gravity, 0, 0, 0);
  EXPECT_EQ(v.airborneSteps, 0);
  EXPECT_DOUBLE_EQ(v.speed, 0.0);
  EXPECT_DOUBLE_EQ(v.thrust, 0.7);
  expectVec(v.body->pointA, 0, -2.6f, 19);
  expectVec(v.body->dir, 0, 0, 19 + 14.0f / 3.0f, 1e-4f);
  expectVec(v.body->normal, 0, -1, 0);
  EXPECT_EQ(v.previousSection, &section);
}

// ---------------------------------------------------------------------------
// Set-up and teardown

namespace {

std::unique_ptr<Game> race(const std::vector<PlayerProfile*>& profiles, bool night = false) {
  return std::unique_ptr<Game>(new Game("race", profiles, static_cast<unsigned>(profiles.size()), night));
}

}  // namespace

TEST(RaceSetUp, OnePlayerOnTheShortTrackGrid) {
  glimro_harness::RaceWorld world;
  Profiles p;
  // Any number but 1 and 2 is the short track.
  for (int trackSetting : {0, 3, -1}) {
    SCOPED_TRACE(trackSetting);
    glimro::settings.track = trackSetting;
    std::unique_ptr<Game> g = race({&p.one});
    ASSERT_NE(dynamic_cast<glimro::ShortTrack*>(g->track), nullptr);
    EXPECT_EQ(g->track->name, "track_short");
  }
  // The other two share their own grid base and heading.
  for (int trackSetting : {1, 2}) {
    SCOPED_TRACE(trackSetting);
    glimro::settings.track = trackSetting;
    std::unique_ptr<Game> g = race({&p.one, &p.two});
    EXPECT_EQ(g->track->name, trackSetting == 1 ? "track_alternate" : "track_03");
    expectVec(g->vehicles[0]->position, -50, 12, 11, 1e-3f);
    expectVec(g->vehicles[1]->position, -70, 12, -11, 1e-3f);
    expectVec(turned(*g->vehicles[0], Vector3D(0, 0, 1)), 1, 0, 0, 1e-5f);
    EXPECT_EQ(g->vehicles[1]->previousSection, g->track->sections.back());
  }
  glimro::settings.track = 0;
  std::unique_ptr<Game> g = race({&p.one});
  ASSERT_EQ(g->vehicles.size(), 1u);
  ASSERT_EQ(g->players.size(), 1u);
  Glimro* v = g->vehicles[0];
  EXPECT_EQ(g->players[0], v);
  EXPECT_EQ(v->profile, &p.one);
  EXPECT_EQ(g->playersRacing, 1);
  EXPECT_EQ(g->countdown, 4);
  EXPECT_FALSE(g->raceOver || g->leave || g->night);
  EXPECT_EQ(g->ranking.front(), v);

  // The grid: 45 degrees off the base point, facing along the road.
  expectVec(v->position, 452.2218f, 12, -667.7782f, 1e-3f);
  const float a = -45.0f * 3.1415927f / 180.0f;
  expectVec(turned(*v, Vector3D(0, 0, 1)), std::sin(a), 0, std::cos(a), 1e-5f);
  korvu_test::expectMatrixNear(Matrix3D::product(v->rotation, v->inverseRotation), Matrix3D(), 1e-5f);
  EXPECT_EQ(v->currentSection, g->track->sections.back());
  EXPECT_EQ(v->previousSection, g->track->sections.back());
  EXPECT_NE(v->engineSound, nullptr);

  // One viewport over the whole screen.
  ASSERT_EQ(g->viewports.size(), 1u);
  const korvu::Viewport& vp = g->viewports[0];
  EXPECT_EQ(vp.x, 0);
  EXPECT_EQ(vp.y, 0);
  EXPECT_EQ(vp.width, 800);
  EXPECT_EQ(vp.height, 600);
  for (Camera* c : v->cameras) EXPECT_DOUBLE_EQ(c->aspect, double(800.0f / 600.0f));
  const korvu::Rect& r = v->messages.rectangle;
  EXPECT_EQ(r.x, 50);
  EXPECT_EQ(r.y, 450);
  EXPECT_EQ(r.w, 700);
  EXPECT_EQ(r.h, 20);

  // The scene: track, vehicle, sun in that order, the sky around it.
  ASSERT_EQ(g->world->children.size(), 3u);
  auto child = g->world->children.begin();
  EXPECT_EQ(*child++, static_cast<Object*>(g->track));
  EXPECT_EQ(*child++, static_cast<Object*>(v));
  EXPECT_EQ(*child, static_cast<Object*>(g->sun));
  EXPECT_EQ(g->world->skybox, g->skybox);
  EXPECT_TRUE(g->world->skyboxClockwise);
  EXPECT_TRUE(g->skybox->drawAsOne);
  EXPECT_TRUE(g->sun->castsShadows);
  EXPECT_FLOAT_EQ(g->sun->glPosition[1], 1.0f);
  EXPECT_FLOAT_EQ(g->sun->glPosition[3], 0.0f);
}

TEST(RaceSetUp, TwoPlayersSideBySideAndTheLastFinishEndsTheRace) {
  glimro_harness::RaceWorld world;
  Profiles p;
  for (int width : {800, 801}) {
    glimro::settings.resX = width;
    std::unique_ptr<Game> g = race({&p.one, &p.two});
    ASSERT_EQ(g->viewports.size(), 2u);
    // Player 1 on the right, player 2 on the left; with 801 the last
    // column belongs to neither.
    EXPECT_EQ(g->viewports[0].x, 400);
    EXPECT_EQ(g->viewports[1].x, 0);
    for (const korvu::Viewport& vp : g->viewports) {
      EXPECT_EQ(vp.width, 400);
      EXPECT_EQ(vp.height, 600);
    }
    for (Glimro* v : g->players) {
      for (Camera* c : v->cameras) EXPECT_DOUBLE_EQ(c->aspect, double(400.0f / 600.0f));
      EXPECT_EQ(v->messages.rectangle.x, 50);
      EXPECT_EQ(v->messages.rectangle.y, 450);
      EXPECT_EQ(v->messages.rectangle.w, 300);
      EXPECT_EQ(v->messages.rectangle.h, 20);
    }
    expectVec(g->vehicles[1]->position, 481.9203f, 12, -666.3640f, 1e-3f);
    EXPECT_EQ(g->vehicles[1]->profile, &p.two);
    EXPECT_EQ(g->ranking.front(), g->vehicles[0]);
    EXPECT_EQ(g->ranking.back(), g->vehicles[1]);
    EXPECT_EQ(g->playersRacing, 2);
  }

  // The menus' two panels; the race-over one shows at the end.
  korvu::gui::GUI gui;
  korvu::gui::Pane* menu = new korvu::gui::Pane();
  korvu::gui::Pane* over = new korvu::gui::Pane();
  menu->name = "pGameMenu";
  over->name = "pRaceOver";
  menu->visible = true;
  over->visible = false;
  gui += menu;
  gui += over;
  gui.active = gui.visible = false;
  glimro::raceResources->gui = &gui;

  std::unique_ptr<Game> g = race({&p.one, &p.two});
  for (Glimro* v : g->vehicles) v->locked = false;
  g->playerHasFinished();
  EXPECT_EQ(g->playersRacing, 1);
  EXPECT_FALSE(g->raceOver);
  EXPECT_FALSE(g->vehicles[0]->locked);
  EXPECT_FALSE(over->visible);
  g->playerHasFinished();
  EXPECT_TRUE(g->raceOver);
  for (Glimro* v : g->vehicles) EXPECT_TRUE(v->locked);
  EXPECT_FALSE(menu->visible);
  EXPECT_TRUE(over->visible);
  EXPECT_TRUE(gui.active && gui.visible);

  // Without the panels (or without a GUI) the race still ends.
  gui -= menu;
  gui -= over;
  delete menu;
  delete over;
  std::unique_ptr<Game> bare = race({&p.one});
  bare->playerHasFinished();
  EXPECT_TRUE(bare->raceOver);
  glimro::raceResources->gui = nullptr;
}

TEST(RaceSetUp, IncompleteResourcesRefuseTheRaceByName) {
  Profiles p;
  struct Case {
    const char* what;
    std::function<void(glimro_harness::RaceWorld&)> damage;
  };
  auto dropModel = [](const char* name) {
    return [name](glimro_harness::RaceWorld& w) {
      delete w.models[name];
      w.models.erase(name);
    };
  };
  const Case cases[] = {
      {"\"glimro\"", dropModel("glimro")},
      {"\"rocket\"", dropModel("rocket")},
      {"\"startLights\"", dropModel("startLights")},
      {"\"tracksection\"", dropModel("tracksection")},
      {"\"greenLightOn\"", [](glimro_harness::RaceWorld& w) { delete w.materials["greenLightOn"]; }},
      {"\"beep\"", [](glimro_harness::RaceWorld& w) { delete w.sounds["beep"]; }},
      {"\"engine\"", [](glimro_harness::RaceWorld& w) { delete w.sounds["engine"]; }},
      {"emitter", [](glimro_harness::RaceWorld&) { glimro::raceResources->musicEmitter = nullptr; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    glimro_harness::RaceWorld world;
    c.damage(world);
    testing::internal::CaptureStdout();
    try {
      race({&p.one});
      ADD_FAILURE() << "the race started";
    } catch (const std::string& message) {
      EXPECT_NE(message.find(c.what), std::string::npos) << message;
    }
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find(c.what), std::string::npos) << log;
  }
  // More players than the race serves, or players without a vehicle or a
  // profile.
  glimro_harness::RaceWorld world;
  EXPECT_THROW(race({&p.one, &p.two, &p.three}), std::string);
  EXPECT_THROW(Game("race", {&p.one, &p.two}, 1, false), std::string);
  EXPECT_THROW(race({&p.one, nullptr}), std::string);
}

// The race starts without its music file: with audio off the stream opens
// nothing; with audio on it is a warning and the race goes on silent.
TEST(RaceSetUp, MusicIsNoPreconditionOfTheRace) {
  Profiles p;
  setenv("ALSOFT_CONF", (korvu_test::sourceDir() + "/engine/tests/alsoft.conf").c_str(), 0);
  for (bool audio : {false, true}) {
    korvu::audio::enabled = true;
    if (audio) {
      ASSERT_NO_THROW(korvu::audio::init("", 44100));
    }
    glimro_harness::RaceWorld world;
    unlink("resources/sounds/ingame.ogg");
    std::unique_ptr<Game> g = race({&p.one});
    testing::internal::CaptureStdout();
    g->setStartLights(0);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.find("(warning) The race runs without music") != std::string::npos, audio) << log;
    EXPECT_EQ(world.music->sources.size(), audio ? 0u : 1u);
  }
  korvu::audio::cleanUp();
}

TEST(RaceSetUp, TeardownLeavesNothingBehind) {
  glimro_harness::RaceWorld world;
  Profiles p;
  const size_t emitters = korvu::audio::context->emitters.size();
  {
    std::unique_ptr<Game> g = race({&p.one, &p.two});
    glimro::game = g.get();
    // Each vehicle's engine and the start lights register an emitter.
    EXPECT_GT(korvu::audio::context->emitters.size(), emitters + 1);
    g->setStartLights(0);
    // A rocket in flight and the current viewport inside the race.
    Rocket* flying = new Rocket();
    *g->world += flying;
    g->rockets.push_back(flying);
    korvu::currentViewport = &g->viewports[1];
    glimro::game = nullptr;
  }
  EXPECT_EQ(korvu::audio::context->emitters.size(), emitters);
  EXPECT_EQ(korvu::currentViewport, &korvu::vpScreen);
  // The bent road pieces stay in the bank, and the next race on this track
  // uses them rather than adding its own.
  const size_t models = world.models.size();
  // The effects and music emitters keep the beep and the music until the
  // shell's frame steps or clears them.
  EXPECT_FALSE(world.effects->empty());
  EXPECT_FALSE(world.music->empty());
  // A second race on the same resources.
  race({&p.one}, true).reset();
  EXPECT_EQ(world.models.size(), models);
}

// ---------------------------------------------------------------------------
// Start lights and weather

namespace {

// The beeps the effects emitter holds, oldest first.
std::vector<korvu::audio::BasicSource*> sources(const korvu::audio::Emitter& e) {
  return std::vector<korvu::audio::BasicSource*>(e.sources.begin(), e.sources.end());
}

std::string lamps(const glimro_harness::RaceWorld& w) {
  const korvu::ddd::Model* m = w.models.at("startLights");
  std::string out;
  for (int i = 0; i < 3; ++i) out += (i ? " " : "") + (m->meshes[i]->material ? m->meshes[i]->material->name : "-");
  return out;
}

}  // namespace

TEST(StartLights, CountdownStatesShowTheirLampsBeepAndStartTheMusicAtZero) {
  glimro_harness::RaceWorld world;
  Profiles p;
  std::unique_ptr<Game> g = race({&p.one});
  EXPECT_EQ(lamps(world), "redLightOff yellowLightOff greenLightOff");
  EXPECT_TRUE(world.effects->empty());
  EXPECT_TRUE(world.music->empty());

  g->setStartLights(3);
  EXPECT_EQ(lamps(world), "redLightOff yellowLightOff greenLightOff");
  EXPECT_TRUE(world.effects->empty());

  const struct {
    int n;
    const char* lamps;
    float pitch;
  } states[] = {{2, "redLightOn yellowLightOff greenLightOff", 0.6f},
                {1, "redLightOn yellowLightOn greenLightOff", 0.8f},
                {0, "greenLightOn greenLightOn greenLightOn", 1.0f}};
  size_t beeps = 0;
  for (const auto& s : states) {
    SCOPED_TRACE(s.n);
    g->setStartLights(s.n);
    EXPECT_EQ(lamps(world), s.lamps);
    const auto held = sources(*world.effects);
    ASSERT_EQ(held.size(), ++beeps);
    EXPECT_FLOAT_EQ(held.back()->pitch, s.pitch);
    EXPECT_FLOAT_EQ(held.back()->gain, 1.0f);
    EXPECT_FLOAT_EQ(held.back()->rolloff, 0.0f);
    EXPECT_EQ(world.music->sources.size(), s.n == 0 ? 1u : 0u);
  }
  auto* music = dynamic_cast<korvu::audio::OggStreamSource*>(world.music->sources.front());
  ASSERT_NE(music, nullptr);
  EXPECT_TRUE(music->loop);
  EXPECT_FLOAT_EQ(music->rolloff, 0.0f);
  // Below 0 the lamps stay green and the beep climbs.
  g->setStartLights(-1);
  EXPECT_EQ(lamps(world), "greenLightOn greenLightOn greenLightOn");
  EXPECT_FLOAT_EQ(sources(*world.effects).back()->pitch, 1.2f);
}

namespace {

struct WeatherValues {
  korvu::Color fog, ambient, sunAmbient, sunDiffuse, sunSpecular;
  float fogStart, fogEnd, flare, viewDistance;
  Vector3D sunPosition;
  std::string sides[6];
  bool night;

  explicit WeatherValues(const Game& g) {
    const korvu::RenderContext3D& c = glimro::raceResources->renderContext3D;
    fog = c.fogColor;
    ambient = c.ambient;
    fogStart = c.fogStart;
    fogEnd = c.fogEnd;
    sunAmbient = g.sun->ambient;
    sunDiffuse = g.sun->diffuse;
    sunSpecular = g.sun->specular;
    sunPosition = g.sun->position;
    flare = g.sun->flareSize;
    viewDistance = g.viewDistance;
    night = g.night;
    for (int i = 0; i < 6; ++i) {
      const korvu::ddd::Material* m = g.skybox->meshes[i]->material;
      sides[i] = m ? m->name + ":" + (m->texture ? m->texture->name : "-") : "-";
    }
  }
};

void expectColour(const korvu::Color& c, float r, float g, float b, float a) {
  EXPECT_FLOAT_EQ(c.red, r);
  EXPECT_FLOAT_EQ(c.green, g);
  EXPECT_FLOAT_EQ(c.blue, b);
  EXPECT_FLOAT_EQ(c.alpha, a);
}

}  // namespace

TEST(Weather, DayNightDayRestoresEveryValue) {
  glimro_harness::RaceWorld world;
  glimro::settings.fogStart = 1200;
  glimro::settings.viewDistance = 2500;
  Profiles p;
  std::unique_ptr<Game> g = race({&p.one});
  const WeatherValues day(*g);
  EXPECT_FALSE(day.night);
  expectColour(day.fog, 0, 0, 0.3f, 0);
  expectColour(day.ambient, 0.7f, 0.7f, 0.7f, 0.7f);
  expectColour(day.sunSpecular, 1, 1, 1, 1);
  expectVec(day.sunPosition, -1000000, 220000, -500000);
  EXPECT_FLOAT_EQ(day.flare, 0.025f);
  EXPECT_FLOAT_EQ(day.fogStart, 1200);
  EXPECT_FLOAT_EQ(day.fogEnd, 2500);
  EXPECT_FLOAT_EQ(day.viewDistance, 2500);
  // front, back, top, bottom, left, right by cube side.
  const char* names[6] = {"front", "back", "top", "bottom", "left", "right"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(day.sides[i], std::string(names[i]) + ":day_" + names[i] + ".png");

  g->setWeather(true);
  const WeatherValues night(*g);
  EXPECT_TRUE(night.night);
  expectColour(night.fog, 0, 0, 0.05f, 0);
  expectColour(night.ambient, 0.01f, 0.01f, 0.02f, 1);
  expectColour(night.sunDiffuse, 0.05f, 0.05f, 0.1f, 1);
  expectVec(night.sunPosition, 0, 500000, -3000000);
  EXPECT_FLOAT_EQ(night.flare, 0);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(night.sides[i], std::string(names[i]) + ":night_" + names[i] + ".png");
  EXPECT_EQ(world.skyMaterials.size(), 6u);
  EXPECT_EQ(world.skyTextures.size(), 6u);

  g->setWeather(false);
  const WeatherValues again(*g);
  EXPECT_TRUE(again.fog == day.fog && again.ambient == day.ambient && again.sunAmbient == day.sunAmbient &&
              again.sunDiffuse == day.sunDiffuse && again.sunSpecular == day.sunSpecular);
  EXPECT_EQ(again.sunPosition, day.sunPosition);
  EXPECT_EQ(again.flare, day.flare);
  EXPECT_EQ(again.fogStart, day.fogStart);
  EXPECT_EQ(again.fogEnd, day.fogEnd);
  EXPECT_EQ(again.night, day.night);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(again.sides[i], day.sides[i]);
  EXPECT_EQ(world.skyMaterials.size(), 6u);
  // The sky goes with the race; the next race's weather loads it again.
  g.reset();
  EXPECT_TRUE(world.skyMaterials.empty());
  EXPECT_TRUE(world.skyTextures.empty());
}

TEST(Weather, AMissingSkyLeavesTheSidesBareAndSetsTheRest) {
  glimro_harness::RaceWorld world;
  Profiles p;
  std::unique_ptr<Game> g = race({&p.one});
  // The sky files go away mid-race.
  ASSERT_EQ(unlink("resources/textures"), 0);
  testing::internal::CaptureStderr();
  g->setWeather(true);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("Error loading materials: \"", 0), 0u) << err;
  const WeatherValues night(*g);
  for (const std::string& side : night.sides) EXPECT_EQ(side, "-");
  EXPECT_TRUE(night.night);
  expectVec(night.sunPosition, 0, 500000, -3000000);
  EXPECT_TRUE(world.skyMaterials.empty());
}
