#include "ddd/settings.h"

#include <SDL.h>

#include <cstring>

#include "debug.h"

PFNGLLOADTRANSPOSEMATRIXFARBPROC glptrLoadTransposeMatrixfARB = nullptr;
PFNGLLOADTRANSPOSEMATRIXDARBPROC glptrLoadTransposeMatrixdARB = nullptr;
PFNGLMULTTRANSPOSEMATRIXFARBPROC glptrMultTransposeMatrixfARB = nullptr;
PFNGLMULTTRANSPOSEMATRIXDARBPROC glptrMultTransposeMatrixdARB = nullptr;
PFNGLBINDBUFFERARBPROC glptrBindBufferARB = nullptr;
PFNGLDELETEBUFFERSARBPROC glptrDeleteBuffersARB = nullptr;
PFNGLGENBUFFERSARBPROC glptrGenBuffersARB = nullptr;
PFNGLBUFFERDATAARBPROC glptrBufferDataARB = nullptr;
PFNGLMAPBUFFERARBPROC glptrMapBufferARB = nullptr;
PFNGLUNMAPBUFFERARBPROC glptrUnmapBufferARB = nullptr;
PFNGLPOINTPARAMETERFARBPROC glptrPointParameterfARB = nullptr;
PFNGLPOINTPARAMETERFVARBPROC glptrPointParameterfvARB = nullptr;
PFNGLFENCESYNCPROC glptrFenceSync = nullptr;
PFNGLDELETESYNCPROC glptrDeleteSync = nullptr;

namespace korvu {
namespace ddd {

bool ext_GL_ARB_transpose_matrix = false;
bool ext_GL_ARB_vertex_buffer_object = false;
bool ext_GL_ARB_point_parameter = false;
bool ext_GL_ARB_point_sprite = false;
bool ext_GL_ARB_sync = false;

Settings settings;

namespace {

// Casts the lookup's untyped result to the entry point's type.
template <typename F>
void fetch(F& pointer, void* (*lookup)(const char*), const char* name) {
  pointer = reinterpret_cast<F>(lookup(name));
}

void logAvailability(const char* name, bool present) {
  debug::info(dbgDdd, "%s extension...%s available.", name, present ? "" : "not");
}

void* sdlLookup(const char* name) { return SDL_GL_GetProcAddress(name); }

}  // namespace

bool extensionListed(const char* extensions, const std::string& name) {
  if (!extensions || name.empty()) return false;
  return std::strstr(extensions, name.c_str()) != nullptr;
}

bool checkExtension(const std::string& name) {
  return extensionListed(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), name);
}

void initFrom(const char* extensions, void* (*lookup)(const char* name)) {
  ext_GL_ARB_transpose_matrix = false;
  ext_GL_ARB_vertex_buffer_object = false;
  ext_GL_ARB_point_parameter = false;
  ext_GL_ARB_point_sprite = false;
  ext_GL_ARB_sync = false;
  glptrLoadTransposeMatrixfARB = nullptr;
  glptrLoadTransposeMatrixdARB = nullptr;
  glptrMultTransposeMatrixfARB = nullptr;
  glptrMultTransposeMatrixdARB = nullptr;
  glptrBindBufferARB = nullptr;
  glptrDeleteBuffersARB = nullptr;
  glptrGenBuffersARB = nullptr;
  glptrBufferDataARB = nullptr;
  glptrMapBufferARB = nullptr;
  glptrUnmapBufferARB = nullptr;
  glptrPointParameterfARB = nullptr;
  glptrPointParameterfvARB = nullptr;
  glptrFenceSync = nullptr;
  glptrDeleteSync = nullptr;

  ext_GL_ARB_transpose_matrix = extensionListed(extensions, "GL_ARB_transpose_matrix");
  if (ext_GL_ARB_transpose_matrix) {
    fetch(glptrLoadTransposeMatrixfARB, lookup, "glLoadTransposeMatrixfARB");
    fetch(glptrLoadTransposeMatrixdARB, lookup, "glLoadTransposeMatrixdARB");
    fetch(glptrMultTransposeMatrixfARB, lookup, "glMultTransposeMatrixfARB");
    fetch(glptrMultTransposeMatrixdARB, lookup, "glMultTransposeMatrixdARB");
  }
  logAvailability("GL_ARB_transpose_matrix", ext_GL_ARB_transpose_matrix);
  if (!ext_GL_ARB_transpose_matrix) {
    throw std::string(
        "Required extension GL_ARB_transpose_matrix extension not available - wrong OpenGL version?");
  }

  ext_GL_ARB_vertex_buffer_object = extensionListed(extensions, "GL_ARB_vertex_buffer_object");
  fetch(glptrBindBufferARB, lookup, "glBindBufferARB");
  fetch(glptrDeleteBuffersARB, lookup, "glDeleteBuffersARB");
  fetch(glptrGenBuffersARB, lookup, "glGenBuffersARB");
  fetch(glptrBufferDataARB, lookup, "glBufferDataARB");
  fetch(glptrMapBufferARB, lookup, "glMapBufferARB");
  fetch(glptrUnmapBufferARB, lookup, "glUnmapBufferARB");
  logAvailability("GL_ARB_vertex_buffer_object", ext_GL_ARB_vertex_buffer_object);
  // An extension flag without its entry points would crash the first call.
  if (ext_GL_ARB_vertex_buffer_object &&
      (!glptrBindBufferARB || !glptrDeleteBuffersARB || !glptrGenBuffersARB || !glptrBufferDataARB)) {
    debug::warning(dbgDdd, "GL_ARB_vertex_buffer_object is listed but its entry points are missing.");
    ext_GL_ARB_vertex_buffer_object = false;
  }

  ext_GL_ARB_point_parameter = extensionListed(extensions, "GL_ARB_point_parameter");
  fetch(glptrPointParameterfARB, lookup, "glPointParameterfARB");
  fetch(glptrPointParameterfvARB, lookup, "glPointParameterfvARB");
  logAvailability("GL_ARB_point_parameter", ext_GL_ARB_point_parameter);

  ext_GL_ARB_point_sprite = extensionListed(extensions, "GL_ARB_point_sprite");
  logAvailability("GL_ARB_point_sprite", ext_GL_ARB_point_sprite);

  if (extensionListed(extensions, "GL_ARB_sync")) {
    fetch(glptrFenceSync, lookup, "glFenceSync");
    fetch(glptrDeleteSync, lookup, "glDeleteSync");
  }
  ext_GL_ARB_sync = glptrFenceSync && glptrDeleteSync;
  logAvailability("GL_ARB_sync", ext_GL_ARB_sync);
}

void init() {
  initFrom(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), sdlLookup);
}

bool recordingDisplayList() {
  GLint index = 0;
  glGetIntegerv(GL_LIST_INDEX, &index);
  return index != 0;
}

void multMatrix(const Matrix3D& m) {
  if (glptrMultTransposeMatrixfARB) {
    glptrMultTransposeMatrixfARB(&m.m[0][0]);
    return;
  }
  float t[16];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) t[c * 4 + r] = m.m[r][c];
  }
  glMultMatrixf(t);
}

}  // namespace ddd
}  // namespace korvu
