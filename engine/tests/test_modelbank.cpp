// The model bank: reading the models file, collision entries, preparing,
// and the bulk operations of the render switches.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include "ddd/collisionmodel.h"
#include "ddd/materialbank.h"
#include "ddd/milkshape.h"
#include "ddd/milkshapewriter.h"
#include "ddd/modelbank.h"
#include "image.h"
#include "test_geometry.h"
#include "testsupport.h"

using namespace korvu;
using namespace korvu::ddd;
namespace ms = korvu::ddd::milkshape;

namespace {

// Writes a model file holding the given model (geometry only).
std::string writeModel(const std::string& dir, const std::string& name, const Model& model) {
  std::string path = dir + "/" + name;
  ms::save(path, ms::fromModel(model));
  return path;
}

struct Files {
  std::string dir;
  std::string box;
  std::string grid;
  std::string broken;
  Files() : dir(korvu_test::makeTempDir()) {
    box = writeModel(dir, "box.ms3d", *korvu_test::makeBox(Vector3D(0, 0, 0), Vector3D(1, 1, 1)));
    grid = writeModel(dir, "grid.ms3d", *korvu_test::makeGrid(2.0f, 0.0f, 2));
    std::vector<unsigned char> bytes = ms::encode(ms::fromModel(*korvu_test::makeGrid(1.0f, 0, 1)));
    bytes.resize(bytes.size() / 2);
    broken = dir + "/broken.ms3d";
    korvu_test::writeFile(broken, std::string(bytes.begin(), bytes.end()));
  }
  std::string xml(const std::string& body, const std::string& root = "models") const {
    std::string path = dir + "/models.xml";
    korvu_test::writeFile(path, "<?xml version=\"1.0\"?>\n<" + root + ">\n" + body + "</" + root + ">\n");
    return path;
  }
  // Loads "one" (the box, drawn as one) and "two" (the grid), and leaves an
  // entry "ghost" without a model.
  void loadOneTwoAndGhost(ModelBank& bank) const {
    bank.load(xml("<milkshapemodel name=\"one\" filename=\"" + box + "\" drawAsOne=\"t\"/>\n"
                  "<milkshapemodel name=\"two\" filename=\"" + grid + "\"/>\n"),
              nullptr, nullptr, "");
    bank["ghost"];
  }
};

}  // namespace

TEST(ModelBank, ReadsEntriesAndSkipsBadOnes) {
  Files files;
  std::string path = files.xml(
      "<milkshapemodel name=\"ship\" filename=\"" + files.box + "\" drawAsOne=\"true\" buffer=\"hardware\"/>\n"
      "<milkshapemodel filename=\"" + files.grid + "\" buffer=\"software\"/>\n"
      "<milkshapemodel name=\"gone\" filename=\"" + files.dir + "/missing.ms3d\"/>\n"
      "<milkshapemodel name=\"broken\" filename=\"" + files.broken + "\"/>\n"
      "<scenery name=\"x\"/>\n"
      "<milkshapemodel name=\"nofile\"/>\n"
      "<milkshapemodel/>\n"
      "<milkshapemodel name=\"road\" filename=\"" + files.grid + "\" collision=\"true\" buffer=\"Hardware\"/>\n"
      "<milkshapemodel name=\"twice\" filename=\"" + files.box + "\"/>\n"
      "<milkshapemodel name=\"twice\" filename=\"" + files.grid + "\"/>\n");
  ModelBank bank;
  MaterialBank materials;
  ImageBank images;
  testing::internal::CaptureStdout();
  bank.load(path, &materials, &images, "textures/");
  std::string log = testing::internal::GetCapturedStdout();

  ASSERT_EQ(bank.size(), 4u);
  Model* ship = bank["ship"];
  ASSERT_NE(ship, nullptr);
  EXPECT_NE(dynamic_cast<MilkshapeModel*>(ship), nullptr);
  EXPECT_EQ(ship->name, "ship");
  EXPECT_EQ(ship->bank, &bank);
  EXPECT_TRUE(ship->drawAsOne);
  EXPECT_EQ(ship->bufferType, BUFFER_HARDWARE);
  EXPECT_EQ(ship->faceCount, 12u);

  // Without a name the file name is the key.
  Model* grid = bank[files.grid];
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->name, files.grid);
  EXPECT_EQ(grid->bufferType, BUFFER_SOFTWARE);
  EXPECT_FALSE(grid->drawAsOne);

  // A collision entry holds a collision model only, unprepared until the
  // bank's prepare; a buffer word in other letters is not understood.
  auto* road = dynamic_cast<CollisionModel*>(bank["road"]);
  ASSERT_NE(road, nullptr);
  EXPECT_EQ(road->name, "road");
  EXPECT_EQ(road->faceCount, 8u);
  EXPECT_FALSE(road->prepared);
  EXPECT_EQ(road->bufferType, BUFFER_NONE);

  // The later of two entries with one name stays.
  ASSERT_NE(bank["twice"], nullptr);
  EXPECT_EQ(bank["twice"]->faceCount, 8u);

  EXPECT_EQ(bank.count("gone"), 0u);
  EXPECT_EQ(bank.count("broken"), 0u);
  EXPECT_EQ(bank.count("nofile"), 0u);
  EXPECT_NE(log.find("No name specified for model. Using filename."), std::string::npos) << log;
  EXPECT_NE(log.find("No filename specified for model \"nofile\". Skipping entry."), std::string::npos);
  EXPECT_NE(log.find("Unknown node name \"scenery\"."), std::string::npos);
  EXPECT_NE(log.find("Could not open file \"" + files.dir + "/missing.ms3d\"."), std::string::npos);
  EXPECT_NE(log.find("Milkshape3D file \"" + files.broken + "\" is cut short"), std::string::npos);
}

TEST(ModelBank, OtherRootsAndMissingFiles) {
  Files files;
  ModelBank bank;
  bank.load(files.xml("<milkshapemodel name=\"ship\" filename=\"" + files.box + "\"/>\n", "materials"),
            nullptr, nullptr, "");
  EXPECT_TRUE(bank.empty());
  try {
    bank.load(files.dir + "/none.xml", nullptr, nullptr, "");
    FAIL() << "a missing models file loaded";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Could not open XML file");
  }
}

TEST(ModelBank, PrepareReportsDeadEntriesAndPreparesTheRest) {
  Files files;
  ModelBank bank;
  bank.load(files.xml("<milkshapemodel name=\"road\" filename=\"" + files.grid + "\" collision=\"1\"/>\n"
                      "<milkshapemodel name=\"ship\" filename=\"" + files.box + "\"/>\n"),
            nullptr, nullptr, "");
  bank["ghost"];  // a lookup that left an entry without a model
  testing::internal::CaptureStdout();
  bank.prepare();
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("Dead model bank entry detected: \"ghost\"!"), std::string::npos) << log;
  auto* road = dynamic_cast<CollisionModel*>(bank["road"]);
  ASSERT_NE(road, nullptr);
  EXPECT_TRUE(road->isReady());
  EXPECT_EQ(road->vertexCount, 9u);
  EXPECT_EQ(bank["ship"]->faces[0]->faceNormal, Vector3D(0, 0, 1));
}

TEST(ModelBank, BulkOperationsSkipEmptyEntries) {
  Files files;
  ModelBank bank;
  files.loadOneTwoAndGhost(bank);
  // Models of buffer type none stay unpacked, so no GL work is done here.
  bank.packAll();
  bank.unpackAll();
  bank.uncompileAll();
  bank.recompileAll();
  EXPECT_TRUE(bank["one"]->recompile);
  for (Mesh* m : bank["one"]->meshes) EXPECT_FALSE(m->recompile);
  EXPECT_FALSE(bank["two"]->recompile);
  for (Mesh* m : bank["two"]->meshes) EXPECT_TRUE(m->recompile);
  EXPECT_EQ(bank.count("ghost"), 1u);
}

class ModelBankGL : public korvu_test::GLWindowTest {};

TEST_F(ModelBankGL, CompileAllRecordsListsAndSkipsEmptyEntries) {
  Files files;
  ModelBank bank;
  files.loadOneTwoAndGhost(bank);
  bank.prepare();
  bank.compileAll();
  EXPECT_NE(bank["one"]->displayList, 0u);
  for (Mesh* m : bank["two"]->meshes) EXPECT_NE(m->displayList, 0u);
  bank.uncompileAll();
  EXPECT_EQ(bank["one"]->displayList, 0u);
  for (Mesh* m : bank["two"]->meshes) EXPECT_EQ(m->displayList, 0u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
