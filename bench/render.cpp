// Frames per second of the same scene drawn through each of the three mesh
// drawing paths: immediate mode, per-mesh display lists and vertex buffer
// objects. Needs an X display (Xvfb is fine).
//
//   bench_render [frames per path] [objects]
#include <GL/gl.h>
#include <SDL.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ddd/camera.h"
#include "ddd/light.h"
#include "ddd/material.h"
#include "ddd/model.h"
#include "ddd/modelobject.h"
#include "ddd/pipeline.h"
#include "ddd/settings.h"
#include "image.h"
#include "korvu.h"
#include "rendercontext.h"

using korvu::Color;
using korvu::Vector2D;
using korvu::Vector3D;
namespace ddd = korvu::ddd;

namespace {

constexpr int WIDTH = 640;
constexpr int HEIGHT = 480;

GLuint checkerTexture(uint8_t r, uint8_t g, uint8_t b) {
  uint8_t pixels[64 * 64 * 4];
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const bool dark = ((x / 8) + (y / 8)) % 2;
      uint8_t* p = pixels + (y * 64 + x) * 4;
      p[0] = dark ? r / 3 : r;
      p[1] = dark ? g / 3 : g;
      p[2] = dark ? b / 3 : b;
      p[3] = 255;
    }
  }
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  return id;
}

// A sphere split into three meshes (bands of latitude), one per material.
void sphere(ddd::Model& m, ddd::Material* materials[3], int slices, int stacks) {
  const float pi = 3.14159265f;
  m.initVertices(static_cast<unsigned>((slices + 1) * (stacks + 1)));
  for (int i = 0; i <= stacks; ++i) {
    for (int j = 0; j <= slices; ++j) {
      const float theta = pi * i / stacks, phi = 2 * pi * j / slices;
      m.vertices[i * (slices + 1) + j] =
          Vector3D(std::sin(theta) * std::cos(phi), std::cos(theta), -std::sin(theta) * std::sin(phi));
    }
  }
  const unsigned faceCount = static_cast<unsigned>(slices * stacks * 2);
  m.initFaces(faceCount);
  unsigned f = 0;
  for (int i = 0; i < stacks; ++i) {
    for (int j = 0; j < slices; ++j) {
      const int a = i * (slices + 1) + j, b = a + 1, c = a + slices + 1, d = c + 1;
      const int tri[2][3] = {{a, c, b}, {b, c, d}};
      for (const auto& t : tri) {
        Vector3D n[3];
        Vector2D uv[3];
        for (int k = 0; k < 3; ++k) {
          n[k] = m.vertices[t[k]];
          uv[k] = Vector2D(float(t[k] % (slices + 1)) / slices * 4, float(t[k] / (slices + 1)) / stacks * 2);
        }
        *m.faces[f++] = ddd::Face(t[0], t[1], t[2], n[0], n[1], n[2], uv[0], uv[1], uv[2]);
      }
    }
  }
  m.initMeshes(3u);
  const unsigned bands[4] = {0, faceCount / 3, 2 * faceCount / 3, faceCount};
  for (unsigned k = 0; k < 3; ++k) {
    m.meshes[k]->init(bands[k + 1] - bands[k], materials[k]);
    for (unsigned i = bands[k]; i < bands[k + 1]; ++i) m.meshes[k]->faces[i - bands[k]] = i;
  }
  m.prepare();
}

double runFrames(ddd::Camera& camera, ddd::Object& root, korvu::RenderContext3D& context, int frames,
                 unsigned& meshes, unsigned& faces) {
  auto drawFrame = [&]() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    context.apply();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    camera.drawView(&root);
    SDL_GL_SwapBuffers();
  };
  for (int i = 0; i < 3; ++i) drawFrame();  // warm up (and record lists)
  glFinish();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i) {
    camera.rotate(0.2f, Vector3D(0, 1, 0));
    drawFrame();
  }
  glFinish();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  meshes = ddd::pipeline.meshesDrawn;
  faces = ddd::pipeline.elementsDrawn;
  return frames / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  const int objects = argc > 2 ? std::max(1, std::atoi(argv[2])) : 120;
  try {
    korvu::init(SDL_INIT_VIDEO, false);
    korvu::initScreen(WIDTH, HEIGHT, 32, false);
    ddd::init();
  } catch (const std::string& message) {
    std::fprintf(stderr, "bench_render: %s\n", message.c_str());
    return 1;
  }
  std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

  korvu::Image woodImage("wood", "wood.png", Vector2D(0, 0));
  korvu::Image stoneImage("stone", "stone.png", Vector2D(0, 0));
  woodImage.texture = checkerTexture(200, 140, 60);
  stoneImage.texture = checkerTexture(150, 150, 170);
  ddd::Material wood("wood", &woodImage, Color(0.2f, 0.2f, 0.2f, 1), Color(1, 1, 1, 1), Color(0.4f, 0.4f, 0.4f, 1),
                     Color(0, 0, 0, 1), 30);
  ddd::Material stone("stone", &stoneImage, Color(0.2f, 0.2f, 0.2f, 1), Color(1, 1, 1, 1), Color(0, 0, 0, 1),
                      Color(0, 0, 0, 1), 0);
  ddd::Material paint("paint", nullptr, Color(0.1f, 0.1f, 0.1f, 1), Color(0.2f, 0.4f, 0.9f, 1),
                      Color(0.5f, 0.5f, 0.5f, 1), Color(0, 0, 0, 1), 50);
  ddd::Material* materials[3] = {&wood, &paint, &stone};
  for (ddd::Material* m : materials) m->prepare();

  ddd::Model ball;
  ball.name = "ball";
  sphere(ball, materials, 24, 16);
  ball.bufferType = ddd::BUFFER_HARDWARE;

  ddd::Object root;
  ddd::Light* sun = new ddd::Light();
  sun->position = Vector3D(20, 40, 10);
  sun->glPosition[3] = 1;
  root += sun;
  ddd::Light* fill = new ddd::Light();
  fill->glPosition[0] = -1;
  fill->glPosition[1] = 0.5f;
  fill->diffuse = Color(0.3f, 0.3f, 0.4f, 1);
  root += fill;
  const int side = static_cast<int>(std::ceil(std::sqrt(double(objects))));
  for (int i = 0; i < objects; ++i) {
    ddd::ModelObject* obj = new ddd::ModelObject(&ball);
    obj->position = Vector3D(float(i % side - side / 2) * 2.5f, 0, -float(i / side) * 2.5f - 4);
    obj->rotate(float(i * 37 % 360), Vector3D(0.3f, 1, 0.1f));
    root += obj;
  }
  ddd::Camera camera(60, double(WIDTH) / HEIGHT);
  camera.near = 0.1;
  camera.far = 500;
  root += &camera;
  camera.position = Vector3D(0, 12, 10);
  camera.rotate(-30, Vector3D(1, 0, 0));

  korvu::RenderContext3D context;
  context.lighting = true;
  context.smooth = 1;

  struct Result {
    const char* name;
    double fps;
    unsigned meshes, faces;
  } results[3];

  results[0].name = "immediate";
  results[0].fps = runFrames(camera, root, context, frames, results[0].meshes, results[0].faces);

  ball.compile();
  results[1].name = "display lists";
  results[1].fps = runFrames(camera, root, context, frames, results[1].meshes, results[1].faces);
  ball.uncompile();

  ball.pack();
  results[2].name = ddd::ext_GL_ARB_vertex_buffer_object ? "vertex buffer objects" : "vertex arrays";
  results[2].fps = runFrames(camera, root, context, frames, results[2].meshes, results[2].faces);
  ball.unpack();

  std::printf("%d objects, %d frames per path, %dx%d window\n", objects, frames, WIDTH, HEIGHT);
  for (const Result& r : results) {
    std::printf("%-22s %8.1f fps  %5.2fx immediate  (%u meshes, %u faces per frame)\n", r.name, r.fps,
                r.fps / results[0].fps, r.meshes, r.faces);
  }

  root -= &camera;
  glDeleteTextures(1, &woodImage.texture);
  glDeleteTextures(1, &stoneImage.texture);
  woodImage.texture = stoneImage.texture = 0;
  // The window goes with the process; closing SDL here would unload the GL
  // driver before the leak checker of a sanitizer build can name its blocks.
  return 0;
}
