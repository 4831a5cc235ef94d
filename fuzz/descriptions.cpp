// Feeds arbitrary bytes to the XML reader as a description file and hands
// whatever reads to every reader of a description element: materials,
// models, sounds, player profiles, log settings and colours. Each reader gets
// the root whatever its name, so every input reaches all of them.
//
// Model files are only ever looked for in a directory of this process that
// holds one small model: every file name the input gives is turned into a
// plain name inside it, so no input can make the bank read another file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "ddd/materialbank.h"
#include "ddd/milkshape.h"
#include "ddd/milkshapewriter.h"
#include "ddd/modelbank.h"
#include "debug.h"
#include "image.h"
#include "korvu.h"
#include "mathtypes.h"
#include "common/playerprofile.h"
#include "audio/sound.h"
#include "tempfiles.h"
#include "xml.h"

using namespace korvu;

namespace {

// The one model in the run's directory, which every model file name is
// turned into a plain name in.
const char* const MODEL_NAME = "model.ms3d";
using fuzzfiles::checkBank;
using fuzzfiles::fail;

// One textured triangle on material "skin", and one more on none.
void writeModel() {
  ddd::milkshape::File file;
  const float corners[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  for (const auto& c : corners) {
    ddd::milkshape::Vertex v;
    for (int k = 0; k < 3; ++k) v.position[k] = c[k];
    file.vertices.push_back(v);
  }
  for (uint16_t t = 0; t < 2; ++t) {
    ddd::milkshape::Triangle tri;
    tri.vertex[0] = t;
    tri.vertex[1] = static_cast<uint16_t>(t + 1);
    tri.vertex[2] = static_cast<uint16_t>(t + 2);
    for (auto& n : tri.normal) n[2] = 1.0f;
    tri.groupIndex = static_cast<uint8_t>(t);
    file.triangles.push_back(tri);
    ddd::milkshape::Group g;
    g.name = t == 0 ? "front" : "back";
    g.triangles.push_back(t);
    g.material = t == 0 ? 0 : -1;
    file.groups.push_back(g);
  }
  ddd::milkshape::Material skin;
  skin.name = "skin";
  skin.texture = ".\\skin.png";
  file.materials.push_back(skin);
  ddd::milkshape::save(fuzzfiles::inDir(MODEL_NAME).c_str(), file);
}

void setUp() {
  if (!fuzzfiles::init("descriptions", ".xml", "models")) return;
  fuzzfiles::quietLog();
  // Sounds are read but never decoded or played here.
  audio::enabled = false;
  try {
    writeModel();
  } catch (const std::string& message) {
    fail(message.c_str());
  }
}

// Every element of the tree, parents before children.
std::vector<xml::Node*> allNodes(xml::Node* root) {
  std::vector<xml::Node*> nodes{root};
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    for (xml::Node* child : nodes[i]->children) nodes.push_back(child);
  }
  return nodes;
}

// A file name of the input as a plain name in the model directory.
void confineModelNames(xml::Node* root) {
  for (xml::Node* child : root->children) {
    if (child->name != "milkshapemodel" || !child->getAttribute("filename")) continue;
    std::string& fileName = (*child)["filename"];
    for (char& c : fileName) {
      if (c == '/') c = '_';
    }
    fileName = fuzzfiles::inDir(fileName);
  }
}

void readMaterialsAndModels(xml::Node* root) {
  ImageBank images;
  ddd::MaterialBank materials;
  materials.getFromNode(root, &images, "textures/");
  checkBank(materials, "material bank out of order");

  // Every named material element is in the bank, and its texture is the
  // image bank's.
  if (root->name == "materials") {
    for (const xml::Node* child : root->children) {
      const std::string* name = child->getAttribute("name");
      if (child->name != "material" || !name) continue;
      auto found = materials.find(*name);
      if (found == materials.end()) fail("a named material is missing");
    }
  }
  for (const auto& entry : materials) {
    const Image* texture = entry.second->texture;
    if (!texture) continue;
    auto found = images.find(texture->name);
    if (found == images.end() || found->second != texture) fail("a texture outside the image bank");
  }

  ddd::ModelBank models;
  models.getFromNode(root, &materials, &images, "textures/");
  checkBank(models, "model bank out of order");
  checkBank(materials, "material bank out of order after the models");
  checkBank(images, "image bank out of order");
  for (const auto& entry : models) {
    const ddd::Model* model = entry.second;
    if (model->meshes.size() != 2) fail("a model with the wrong meshes");
    for (const ddd::Mesh* mesh : model->meshes) {
      if (mesh->material == &ddd::defMaterial) continue;
      auto found = materials.find(mesh->material->name);
      if (found == materials.end() || found->second != mesh->material) fail("a mesh material outside the bank");
    }
  }
  models.prepare();
  models.packAll();
  models.unpackAll();
  models.recompileAll();
}

void readSounds(const xml::Node* root) {
  audio::SoundBank sounds;
  try {
    sounds.getFromNode(root, root->getAttribute(audio::XML_SOUNDS_DIR, ""));
  } catch (const std::string&) {
    // An "ogg" element without a file name ends the reading.
  }
  checkBank(sounds, "sound bank out of order");
  for (const auto& entry : sounds) {
    if (entry.second->buffer != 0) fail("a sound holds a buffer without audio");
  }
  sounds.refresh();
  sounds.release();
}

void readProfiles(const xml::Node* root, const uint8_t* data, size_t size) {
  glimro::PlayerProfileBank profiles;
  profiles.getFromNode(root);
  checkBank(profiles, "profile bank out of order");
  std::size_t elements = 0;
  for (const xml::Node* child : root->children) {
    if (child->name == glimro::XML_PROFILES_PROFILE) ++elements;
  }
  if (profiles.size() > elements) fail("more profiles than profile elements");

  // What was read is saved over the same bytes, which the save merges with,
  // and read back unchanged.
  fuzzfiles::saveOver(data, size);
  profiles.save(fuzzfiles::savedPath);
  glimro::PlayerProfileBank again;
  again.load(fuzzfiles::savedPath);
  if (again.size() != profiles.size()) fail("profiles changed on the way through a file");
  for (const auto& entry : profiles) {
    if (again.find(entry.first) == again.end()) fail("a profile name changed on the way through a file");
  }
}

void readLogSettings(const xml::Node* root) {
  // The last group element with both attributes decides a group's level.
  std::map<std::string, debug::DebugLevel> wanted;
  for (const xml::Node* child : root->children) {
    const std::string* name = child->getAttribute("name");
    const std::string* level = child->getAttribute("level");
    if (child->name == "group" && name && level) wanted[*name] = debug::debugLevel(level->c_str());
  }
  const debug::Groups before = debug::groups;
  debug::Groups groups = debug::groups;
  groups.getSettingsFromNode(root);
  if (groups.size() != before.size()) fail("log settings added or removed a group");
  for (const auto& entry : before) {
    auto now = groups.find(entry.first);
    if (now == groups.end() || now->second.name != entry.second.name) fail("log settings renamed a group");
    auto w = wanted.find(entry.second.name);
    const debug::DebugLevel expected = w == wanted.end() ? entry.second.level : w->second;
    if (now->second.level != expected) fail("log settings gave a group the wrong level");
  }
}

void readColors(const std::vector<xml::Node*>& nodes) {
  for (const xml::Node* node : nodes) {
    const Color c(node);
    if (node->getAttribute("code")) {
      for (float v : {c.red, c.green, c.blue, c.alpha}) {
        if (!(v >= 0.0f && v <= 1.0f)) fail("a colour code out of range");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  if (!fuzzfiles::writeAll(fuzzfiles::inputPath, data, size)) std::abort();
  const std::unique_ptr<xml::Node> root = fuzzfiles::readXML(fuzzfiles::inputPath);
  if (!root) return 0;

  confineModelNames(root.get());
  readMaterialsAndModels(root.get());
  readSounds(root.get());
  try {
    readProfiles(root.get(), data, size);
  } catch (const std::string& message) {
    fail(message.c_str());
  }
  readLogSettings(root.get());
  readColors(allNodes(root.get()));
  return 0;
}
