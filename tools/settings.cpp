// Writes the default "resources/settings.xml": a window of 1024 by 768 on
// the desktop, every render switch on but wireframe, three laps, sound and
// music on, trilinear mipmapping, and the log at warnings.
#include <cstdio>
#include <memory>
#include <string>

#include "catalog.h"
#include "xml.h"

using glimro_tools::element;
using korvu::xml::Node;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_settings <resources folder>\n");
    return 2;
  }
  const std::string out = argv[1];
  Node root;
  root.name = "settings";
  auto add = [&](const std::string& name, std::vector<std::pair<std::string, std::string>> attributes) {
    root += element(name, attributes).release();
  };
  add("resolution", {{"x", "1024"}, {"y", "768"}, {"fullscreen", "0"}});
  add("showFps", {{"enabled", "0"}});
  add("quality", {{"lights", "1"}, {"fog", "1"}});
  add("laps", {{"value", "3"}});
  add("collisions", {{"enabled", "1"}});
  for (const char* name : {"lensflares", "transparency", "shadows", "projectiveTextures",
                           "compileModels", "skybox", "fog", "bufferedModels", "sound", "music",
                           "culling"})
    add(name, {{"enabled", "1"}});
  add("wireframe", {{"enabled", "0"}});
  add("mipmaps", {{"enabled", "1"}, {"trilinear", "1"}});
  add("audiodevice", {{"value", ""}});
  Node* debug = element("debug", {}).release();
  for (const char* group : {"glimro:core", "glimro:game", "glimro:physics", "glimro:resources",
                            "glimro:fps"})
    *debug += element("group", {{"name", group}, {"level", "warning"}}).release();
  root += debug;
  try {
    glimro_tools::makeDirs(out);
    root.saveXML((out + "/settings.xml").c_str());
  } catch (const std::string& message) {
    std::fprintf(stderr, "make_settings: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
