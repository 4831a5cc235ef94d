// Helpers of the game's tests that use the real resources: running with the
// repository root as working directory (the resource lists name their files
// relative to it), the game's banks read from there, and a window to draw
// them in.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "ddd/camera.h"

#include "ddd/materialbank.h"
#include "ddd/modelbank.h"
#include "image.h"

namespace glimro_test {

// The folders of the game's bitmap fonts in resources/fonts, and its glow
// pictures in resources/textures.
inline const char* const FONT_DIRS[] = {"andromeda30", "arialblack12", "arial10"};
inline const char* const GLOW_NAMES[] = {"lenseflareStreaks", "lenseflareBigGlow", "lenseflareHardGlow",
                                         "lenseflareHalo", "particle"};

// The path of a file below the repository's resources/.
std::string resource(const std::string& path);

// Makes the repository root the working directory while it lives.
class InSourceDir {
 public:
  InSourceDir();
  ~InSourceDir();
  InSourceDir(const InSourceDir&) = delete;
  InSourceDir& operator=(const InSourceDir&) = delete;

 private:
  std::string previous_;
};

// Runs fn from the repository root; a thrown message is a failure.
void fromSourceDir(const std::function<void()>& fn);

// The game's materials and models, read from the repository root as the
// resource set reads them at start-up, and prepared as a race prepares
// them; their images are declared, not loaded.
struct GameBanks {
  korvu::ImageBank images;
  korvu::ddd::MaterialBank materials;
  korvu::ddd::ModelBank models;

  GameBanks();
  // The model of that name, or null.
  korvu::ddd::Model* model(const std::string& name);
};

// A window open for a whole suite: each test starts drawing into all of it
// and leaves the 3D pipeline clear. The suite opens it in its
// SetUpTestSuite and closes it in its TearDownTestSuite.
class SuiteWindowTest : public ::testing::Test {
 protected:
  static bool windowOpen;
  static int width, height;

  // Opens a w x h window where there is a display; true when it is open.
  static bool openWindow(int w, int h);
  // Empties the 3D pipeline and closes the window, if it is open.
  static void closeWindow();
  // A camera for the window at eye looking at target, seeing from 1 to far
  // (the engine's camera looks down its own -z).
  static std::unique_ptr<korvu::ddd::Camera> lookAt(const korvu::Vector3D& eye, const korvu::Vector3D& target,
                                                    float far);

  void SetUp() override;
  void TearDown() override;
};

}  // namespace glimro_test
