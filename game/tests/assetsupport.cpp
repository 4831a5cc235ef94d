#include "assetsupport.h"

#include <unistd.h>

#include <GL/gl.h>

#include <climits>
#include <cmath>
#include <cstdlib>

#include "ddd/pipeline.h"
#include "korvu.h"
#include "testsupport.h"

namespace glimro_test {

std::string resource(const std::string& path) { return korvu_test::sourceDir() + "/resources/" + path; }

InSourceDir::InSourceDir() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer)) previous_ = buffer;
  if (chdir(korvu_test::sourceDir().c_str()) != 0) ADD_FAILURE() << "cannot enter the source folder";
}

InSourceDir::~InSourceDir() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << previous_;
}

void fromSourceDir(const std::function<void()>& fn) {
  InSourceDir here;
  try {
    fn();
  } catch (const std::string& message) {
    ADD_FAILURE() << message;
  }
}

GameBanks::GameBanks() {
  fromSourceDir([this] {
    materials.load("resources/materials.xml", &images, "resources/textures/");
    models.load("resources/models.xml", &materials, &images, "resources/textures/");
  });
  materials.prepare();
  models.prepare();
}

korvu::ddd::Model* GameBanks::model(const std::string& name) {
  auto found = models.find(name);
  return found == models.end() ? nullptr : found->second;
}

bool SuiteWindowTest::windowOpen = false;
int SuiteWindowTest::width = 0;
int SuiteWindowTest::height = 0;

bool SuiteWindowTest::openWindow(int w, int h) {
  if (!std::getenv("DISPLAY")) return false;
  width = w;
  height = h;
  windowOpen = korvu_test::openTestWindow(w, h).empty();
  return windowOpen;
}

void SuiteWindowTest::closeWindow() {
  if (!windowOpen) return;
  korvu::ddd::pipeline.clearFrame();
  korvu::ddd::pipeline.camera = nullptr;
  korvu::ddd::pipeline.root = nullptr;
  korvu::ddd::pipeline.lightsEnabled = 0;
  korvu_test::closeTestWindow();
  windowOpen = false;
}

std::unique_ptr<korvu::ddd::Camera> SuiteWindowTest::lookAt(const korvu::Vector3D& eye,
                                                              const korvu::Vector3D& target, float far) {
  std::unique_ptr<korvu::ddd::Camera> camera(new korvu::ddd::Camera(60, double(width) / height));
  camera->near = 1;
  camera->far = far;
  camera->position = eye;
  korvu::Vector3D d = target - eye;
  d.normalize();
  const float degrees = 180.0f / 3.14159265f;
  camera->rotate(std::atan2(-d.x, -d.z) * degrees, korvu::Vector3D(0, 1, 0));
  camera->rotate(std::asin(d.y) * degrees, korvu::Vector3D(1, 0, 0));
  return camera;
}

void SuiteWindowTest::SetUp() {
  ASSERT_TRUE(windowOpen) << "This test draws into a real window: run it under an X server (Xvfb).";
  korvu::currentViewport = &korvu::vpScreen;
  glViewport(0, 0, width, height);
}

void SuiteWindowTest::TearDown() {
  korvu::ddd::pipeline.clearFrame();
  korvu::ddd::pipeline.camera = nullptr;
  korvu::ddd::pipeline.root = nullptr;
}

}  // namespace glimro_test
