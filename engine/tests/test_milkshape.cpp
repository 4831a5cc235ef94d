// Reading Milkshape3D files into models and banks, and writing them back.
#include <gtest/gtest.h>
#include <dirent.h>

#include <cstring>
#include <memory>

#include "ddd/material.h"
#include "ddd/materialbank.h"
#include "ddd/milkshape.h"
#include "ddd/milkshapewriter.h"
#include "image.h"
#include "testsupport.h"

using namespace korvu;
using namespace korvu::ddd;
namespace ms = korvu::ddd::milkshape;

namespace {

// A square of two triangles in four groups: one per material, one without
// a material and one whose material index points past the material block.
ms::File sampleFile() {
  ms::File f;
  const float corners[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (const auto& c : corners) {
    ms::Vertex v;
    std::memcpy(v.position, c, sizeof v.position);
    f.vertices.push_back(v);
  }
  ms::Triangle t0;
  t0.vertex[0] = 0;
  t0.vertex[1] = 1;
  t0.vertex[2] = 2;
  ms::Triangle t1;
  t1.vertex[0] = 0;
  t1.vertex[1] = 2;
  t1.vertex[2] = 3;
  for (ms::Triangle* t : {&t0, &t1}) {
    for (int k = 0; k < 3; ++k) {
      t->normal[k][2] = 1.0f;
      t->s[k] = 0.25f * static_cast<float>(k);
      t->t[k] = 0.75f;
    }
  }
  t1.groupIndex = 1;
  f.triangles = {t0, t1};

  ms::Group g0;
  g0.name = "body";
  g0.triangles = {0};
  g0.material = 0;
  ms::Group g1;
  g1.name = "trim";
  g1.triangles = {1};
  g1.material = 1;
  ms::Group g2;
  g2.name = "bare";
  g2.triangles = {0, 1};
  g2.material = -1;
  ms::Group g3;
  g3.name = "lost";
  g3.triangles = {1};
  g3.material = 7;
  f.groups = {g0, g1, g2, g3};

  ms::Material m0;
  m0.name = "Chrome";
  m0.ambient[0] = 0.5f;
  m0.diffuse[3] = 0.5f;
  m0.shininess = 12.0f;
  m0.texture = "C:\\art\\maps\\chrome.png";
  ms::Material m1;
  m1.name = "Paint";
  m1.emissive[1] = 0.25f;
  m1.texture = "maps/paint.png";
  f.materials = {m0, m1};
  return f;
}

std::string writeSample(const std::string& dir, const std::string& name, const ms::File& file) {
  std::string path = dir + "/" + name;
  ms::save(path, file);
  return path;
}

// The message a loading attempt throws; empty when it loads.
std::string loadError(MilkshapeModel& model, const std::vector<unsigned char>& bytes,
                      MaterialBank* materials, ImageBank* images) {
  try {
    model.loadFromMemory(bytes.data(), bytes.size(), "test.ms3d", materials, images, "tex/");
  } catch (const std::string& message) {
    return message;
  }
  return std::string();
}

int openDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count;
}

void expectSameModel(const Model& a, const Model& b) {
  ASSERT_EQ(a.vertexCount, b.vertexCount);
  EXPECT_EQ(a.vertices, b.vertices);
  ASSERT_EQ(a.faceCount, b.faceCount);
  for (uint32_t f = 0; f < a.faceCount; ++f) {
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(a.faces[f]->vertex[k], b.faces[f]->vertex[k]);
      EXPECT_EQ(a.faces[f]->normal[k], b.faces[f]->normal[k]);
      EXPECT_EQ(a.faces[f]->texCoord[k], b.faces[f]->texCoord[k]);
    }
  }
  ASSERT_EQ(a.meshCount, b.meshCount);
  for (uint32_t m = 0; m < a.meshCount; ++m) {
    EXPECT_EQ(a.meshes[m]->faces, b.meshes[m]->faces);
    EXPECT_EQ(a.meshes[m]->material, b.meshes[m]->material);
  }
}

}  // namespace

TEST(Milkshape, VersionsThreeAndFourLoadAlike) {
  std::string dir = korvu_test::makeTempDir();
  ms::File f = sampleFile();
  f.version = 3;
  std::string v3 = writeSample(dir, "v3.ms3d", f);
  f.version = 4;
  std::string v4 = writeSample(dir, "v4.ms3d", f);

  MaterialBank materials;
  ImageBank images;
  MilkshapeModel a, b;
  a.name = "a";
  a.load(v3.c_str(), &materials, &images, "resources/textures/");
  b.load(v4.c_str(), &materials, &images, "resources/textures/");
  expectSameModel(a, b);

  ASSERT_EQ(a.vertexCount, 4u);
  EXPECT_EQ(a.vertices[2], Vector3D(1, 1, 0));
  ASSERT_EQ(a.faceCount, 2u);
  EXPECT_EQ(a.faces[1]->vertex[2], 3);
  EXPECT_EQ(a.faces[1]->normal[0], Vector3D(0, 0, 1));
  // Texture coordinates come through as stored, t not flipped.
  EXPECT_EQ(a.faces[0]->texCoord[1], Vector2D(0.25f, 0.75f));
  ASSERT_EQ(a.meshCount, 4u);
  EXPECT_EQ(a.meshes[2]->faces, (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(a.meshes[0]->owner, &a);
  // Loading sets neither the bank flags nor the name.
  EXPECT_FALSE(a.drawAsOne);
  EXPECT_EQ(a.bufferType, BUFFER_NONE);
  EXPECT_EQ(a.name, "a");

  ASSERT_EQ(materials.size(), 2u);
  Material* chrome = materials["Chrome"];
  ASSERT_NE(chrome, nullptr);
  EXPECT_EQ(a.meshes[0]->material, chrome);
  EXPECT_EQ(a.meshes[1]->material, materials["Paint"]);
  // No material, or an index past the block: the default material.
  EXPECT_EQ(a.meshes[2]->material, &defMaterial);
  EXPECT_EQ(a.meshes[3]->material, &defMaterial);
  EXPECT_EQ(chrome->ambient, Color(0.5f, 0.2f, 0.2f, 1.0f));
  EXPECT_EQ(chrome->diffuse, Color(0.8f, 0.8f, 0.8f, 0.5f));
  EXPECT_EQ(chrome->shininess, 12.0f);
  EXPECT_EQ(materials["Paint"]->emissive, Color(0, 0.25f, 0, 1));
}

TEST(Milkshape, TextureNamesAreTakenAfterTheLastBackslash) {
  MaterialBank materials;
  ImageBank images;
  // An image of the same name already in the bank is re-pointed, not
  // replaced.
  Image* old = new Image("chrome.png", "elsewhere/chrome.png", Vector2D(1, 1));
  images += old;
  MilkshapeModel model;
  std::vector<unsigned char> bytes = ms::encode(sampleFile());
  ASSERT_EQ(loadError(model, bytes, &materials, &images), "");

  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images["chrome.png"], old);
  EXPECT_EQ(old->fileName, "tex/chrome.png");
  EXPECT_EQ(old->texture, 0u);
  EXPECT_EQ(materials["Chrome"]->texture, old);
  // Forward slashes do not separate.
  Image* paint = images["maps/paint.png"];
  ASSERT_NE(paint, nullptr);
  EXPECT_EQ(paint->fileName, "tex/maps/paint.png");
  EXPECT_EQ(paint->filter, IMAGEFILTER_TRILINEAR);
  EXPECT_EQ(materials["Paint"]->texture, paint);
}

TEST(Milkshape, WithoutBanksTheMaterialsAreLeftAlone) {
  MaterialBank materials;
  ImageBank images;
  MilkshapeModel model;
  std::vector<unsigned char> bytes = ms::encode(sampleFile());
  ASSERT_EQ(loadError(model, bytes, nullptr, &images), "");
  for (Mesh* m : model.meshes) EXPECT_EQ(m->material, &defMaterial);
  EXPECT_TRUE(images.empty());

  ASSERT_EQ(loadError(model, bytes, &materials, nullptr), "");
  EXPECT_EQ(materials.size(), 2u);
  EXPECT_EQ(materials["Chrome"]->texture, nullptr);

  // A path that ends in a backslash names no file: no texture.
  ms::File f = sampleFile();
  f.materials[0].texture = "C:\\art\\";
  ASSERT_EQ(loadError(model, ms::encode(f), &materials, &images), "");
  EXPECT_EQ(materials["Chrome"]->texture, nullptr);
  EXPECT_EQ(images.count(""), 0u);
}

TEST(Milkshape, MaterialsAreSharedByNameAcrossFiles) {
  MaterialBank materials;
  ImageBank images;
  // A material read earlier from the materials file keeps its identity.
  Material* existing = new Material();
  existing->name = "Paint";
  existing->shininess = 99.0f;
  materials += existing;

  ms::File first = sampleFile();
  ms::File second = sampleFile();
  second.materials[1].emissive[1] = 0.5f;
  second.materials[1].texture.clear();
  second.materials[0].name = "Glass";

  MilkshapeModel a, b;
  ASSERT_EQ(loadError(a, ms::encode(first), &materials, &images), "");
  EXPECT_EQ(materials["Paint"], existing);
  EXPECT_EQ(existing->shininess, 0.0f);
  ASSERT_EQ(loadError(b, ms::encode(second), &materials, &images), "");
  EXPECT_EQ(materials.size(), 3u);
  EXPECT_EQ(a.meshes[1]->material, existing);
  EXPECT_EQ(b.meshes[1]->material, existing);
  // The later file's values hold, for every mesh that uses the material.
  EXPECT_EQ(existing->emissive, Color(0, 0.5f, 0, 1));
  EXPECT_EQ(existing->texture, nullptr);
}

TEST(Milkshape, ZeroCornerNormalIsReportedOnceAndKept) {
  ms::File f = sampleFile();
  f.triangles[0].normal[1][2] = 0.0f;
  MilkshapeModel model;
  model.name = "ship";
  testing::internal::CaptureStdout();
  std::string error = loadError(model, ms::encode(f), nullptr, nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(error, "");
  const std::string line =
      "Milkshape: Vertex normal 1 of face 0 (of 2) of model ship is 0/0/0 (corresponding vertex: "
      "#1 of 4) [Smoothing Group: 1; Group Index: 0]!";
  std::size_t at = out.find(line);
  EXPECT_NE(at, std::string::npos) << out;
  EXPECT_EQ(out.find("is 0/0/0", at + line.size()), std::string::npos);
  EXPECT_EQ(model.faces[0]->normal[1], Vector3D(0, 0, 0));
}

TEST(Milkshape, HeaderErrorsHaveExactTextsAndChangeNothing) {
  MaterialBank materials;
  ImageBank images;
  MilkshapeModel model;
  std::vector<unsigned char> good = ms::encode(sampleFile());
  ASSERT_EQ(loadError(model, good, &materials, &images), "");
  const std::size_t materialCount = materials.size();

  for (std::size_t i : {0, 4, 9}) {
    std::vector<unsigned char> bad = good;
    bad[i] ^= 1;
    EXPECT_EQ(loadError(model, bad, &materials, &images), "Not a valid Milkshape3D model file.");
  }
  std::vector<unsigned char> tiny(good.begin(), good.begin() + 9);
  EXPECT_EQ(loadError(model, tiny, &materials, &images), "Not a valid Milkshape3D model file.");
  EXPECT_EQ(loadError(model, {}, &materials, &images), "Not a valid Milkshape3D model file.");

  for (int32_t version : {2, 5, -1}) {
    ms::File f = sampleFile();
    f.version = version;
    EXPECT_EQ(loadError(model, ms::encode(f), &materials, &images),
              "Unhandled file version. Only Milkshape3D Version 1.3 and 1.4 is supported.");
  }
  EXPECT_EQ(model.vertexCount, 4u);
  EXPECT_EQ(model.faceCount, 2u);
  EXPECT_EQ(model.meshCount, 4u);
  EXPECT_EQ(materials.size(), materialCount);

  std::string missing = korvu_test::makeTempDir() + "/none.ms3d";
  try {
    model.load(missing.c_str(), &materials, &images, "");
    FAIL() << "a missing file loaded";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Could not open file \"" + missing + "\".");
  }
}

TEST(Milkshape, EveryTruncationIsRefusedWithoutTouchingModelOrBanks) {
  std::vector<unsigned char> good = ms::encode(sampleFile());
  // The loader reads up to the end of the materials; the animation block
  // after them (14 bytes) is not needed.
  const std::size_t needed = good.size() - 14;
  const std::size_t groupsEnd = needed - 2 - 2 * ms::MATERIAL_SIZE;
  for (std::size_t length = 0; length < good.size(); ++length) {
    std::vector<unsigned char> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
    MaterialBank materials;
    ImageBank images;
    MilkshapeModel model;
    std::string error = loadError(model, cut, &materials, &images);
    if (length < needed) {
      EXPECT_NE(error, "") << length;
      EXPECT_EQ(model.vertexCount, 0u) << length;
      EXPECT_EQ(model.faceCount, 0u);
      EXPECT_EQ(model.meshCount, 0u);
      EXPECT_TRUE(materials.empty());
      EXPECT_TRUE(images.empty());
    } else {
      EXPECT_EQ(error, "") << length;
    }
    // Without a material bank the groups are the end.
    MilkshapeModel bare;
    EXPECT_EQ(loadError(bare, cut, nullptr, nullptr).empty(), length >= groupsEnd) << length;
  }
  std::vector<unsigned char> cut(good.begin(), good.begin() + 20);
  MilkshapeModel model;
  EXPECT_EQ(loadError(model, cut, nullptr, nullptr),
            "Milkshape3D file \"test.ms3d\" is cut short: the vertex records need 60 bytes, only 4 "
            "are left.");
}

TEST(Milkshape, BadIndicesAndUnendedTextsAreRefused) {
  MaterialBank materials;
  ImageBank images;
  MilkshapeModel model;

  ms::File f = sampleFile();
  f.triangles[1].vertex[2] = 4;
  EXPECT_EQ(loadError(model, ms::encode(f), &materials, &images),
            "Milkshape3D file \"test.ms3d\": triangle 1 uses vertex 4, but there are only 4 "
            "vertices.");

  f = sampleFile();
  f.groups[2].triangles[1] = 2;
  EXPECT_EQ(loadError(model, ms::encode(f), &materials, &images),
            "Milkshape3D file \"test.ms3d\": group 2 uses triangle 2, but there are only 2 "
            "triangles.");

  std::vector<unsigned char> bytes = ms::encode(sampleFile());
  const std::size_t materialsStart = bytes.size() - 14 - 2 * ms::MATERIAL_SIZE;
  std::vector<unsigned char> unnamed = bytes;
  std::memset(&unnamed[materialsStart + ms::MATERIAL_SIZE], 'x', ms::NAME_SIZE);
  EXPECT_EQ(loadError(model, unnamed, &materials, &images),
            "Milkshape3D file \"test.ms3d\": the name of material 1 does not end within its 32 "
            "bytes.");
  std::vector<unsigned char> untextured = bytes;
  std::memset(&untextured[materialsStart + ms::NAME_SIZE + 18 * 4 + 1], 'x', ms::TEXTURE_SIZE);
  EXPECT_EQ(loadError(model, untextured, &materials, &images),
            "Milkshape3D file \"test.ms3d\": the texture path of material 0 does not end within "
            "its 128 bytes.");
  // Neither the model nor the banks took anything from the refused files.
  EXPECT_EQ(model.vertexCount, 0u);
  EXPECT_TRUE(materials.empty());
  EXPECT_TRUE(images.empty());

  // A group name that fills its field is not read and does no harm.
  f = sampleFile();
  f.groups[0].name = std::string(31, 'g');
  std::vector<unsigned char> longName = ms::encode(f);
  longName[ms::HEADER_SIZE + 2 + 4 * ms::VERTEX_SIZE + 2 + 2 * ms::TRIANGLE_SIZE + 2 + 1 + 31] = 'g';
  EXPECT_EQ(loadError(model, longName, &materials, &images), "");
}

TEST(Milkshape, TheFileIsClosedOnEveryPath) {
  std::string dir = korvu_test::makeTempDir();
  std::string good = writeSample(dir, "good.ms3d", sampleFile());
  ms::File f = sampleFile();
  f.version = 9;
  std::string badVersion = writeSample(dir, "version.ms3d", f);
  std::vector<unsigned char> bytes = ms::encode(sampleFile());
  bytes.resize(30);
  korvu_test::writeFile(dir + "/short.ms3d", std::string(bytes.begin(), bytes.end()));

  const int before = openDescriptors();
  MaterialBank materials;
  ImageBank images;
  for (const std::string& path : {good, badVersion, dir + "/short.ms3d", dir, dir + "/none"}) {
    MilkshapeModel model;
    try {
      model.load(path.c_str(), &materials, &images, "");
    } catch (const std::string&) {
    }
  }
  EXPECT_EQ(openDescriptors(), before);
}

TEST(MilkshapeWriter, ModelsWrittenBackLoadTheSame) {
  MaterialBank materials;
  ImageBank images;
  MilkshapeModel original;
  ASSERT_EQ(loadError(original, ms::encode(sampleFile()), &materials, &images), "");

  ms::File copy = ms::fromModel(original);
  EXPECT_EQ(copy.version, 4);
  // Only the materials in use are written, each once.
  ASSERT_EQ(copy.materials.size(), 2u);
  EXPECT_EQ(copy.materials[0].name, "Chrome");
  EXPECT_EQ(copy.materials[0].texture, "chrome.png");
  EXPECT_EQ(copy.groups[2].material, -1);
  EXPECT_EQ(copy.groups[3].material, -1);

  std::string path = korvu_test::makeTempDir() + "/copy.ms3d";
  ms::save(path, copy);
  MilkshapeModel again;
  again.load(path.c_str(), &materials, &images, "tex/");
  expectSameModel(original, again);
  EXPECT_EQ(images.size(), 2u);

  // What cannot be stored is refused with a message.
  ms::File tooLong = sampleFile();
  tooLong.materials[0].name = std::string(32, 'n');
  EXPECT_THROW(ms::encode(tooLong), std::string);
  ms::File tooMany;
  tooMany.vertices.resize(65536);
  EXPECT_THROW(ms::encode(tooMany), std::string);
  EXPECT_THROW(ms::save(korvu_test::makeTempDir() + "/no/such/dir.ms3d", sampleFile()),
               std::string);
}
