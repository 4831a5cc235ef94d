// Start-up of the 3D layer (extension probing and entry points) and the five
// render switches that the pipeline and the scene objects read every frame.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <string>

#include "mathtypes.h"

// Entry points of the extension functions, fetched by korvu::ddd::init.
// Callers test the extension flag, never the pointer.
extern PFNGLLOADTRANSPOSEMATRIXFARBPROC glptrLoadTransposeMatrixfARB;
extern PFNGLLOADTRANSPOSEMATRIXDARBPROC glptrLoadTransposeMatrixdARB;
extern PFNGLMULTTRANSPOSEMATRIXFARBPROC glptrMultTransposeMatrixfARB;
extern PFNGLMULTTRANSPOSEMATRIXDARBPROC glptrMultTransposeMatrixdARB;
extern PFNGLBINDBUFFERARBPROC glptrBindBufferARB;
extern PFNGLDELETEBUFFERSARBPROC glptrDeleteBuffersARB;
extern PFNGLGENBUFFERSARBPROC glptrGenBuffersARB;
extern PFNGLBUFFERDATAARBPROC glptrBufferDataARB;
extern PFNGLMAPBUFFERARBPROC glptrMapBufferARB;
extern PFNGLUNMAPBUFFERARBPROC glptrUnmapBufferARB;
extern PFNGLPOINTPARAMETERFARBPROC glptrPointParameterfARB;
extern PFNGLPOINTPARAMETERFVARBPROC glptrPointParameterfvARB;
extern PFNGLFENCESYNCPROC glptrFenceSync;
extern PFNGLDELETESYNCPROC glptrDeleteSync;

namespace korvu {
namespace ddd {

extern bool ext_GL_ARB_transpose_matrix;
extern bool ext_GL_ARB_vertex_buffer_object;
extern bool ext_GL_ARB_point_parameter;
extern bool ext_GL_ARB_point_sprite;
extern bool ext_GL_ARB_sync;

// The render switches; all on at start.
struct Settings {
  bool lensflares = true;
  bool transparency = true;
  bool shadows = true;
  bool projectiveTextures = true;
  bool skybox = true;
};

extern Settings settings;

// Distance by which shadow volumes are extruded.
constexpr float DDD_INFINITY = 10000000.0f;

// True when the driver's extension string contains the name (plain
// substring). Needs a current OpenGL context.
bool checkExtension(const std::string& name);

// Same test against a given extension string (null counts as empty).
bool extensionListed(const char* extensions, const std::string& name);

// Probes the extensions and fetches the entry points. Throws a message when
// the transpose-matrix extension is missing.
void init();

// init() against a given extension string and entry-point lookup; init()
// uses the driver's string and SDL's lookup.
void initFrom(const char* extensions, void* (*lookup)(const char* name));

// True while a display list is being recorded (lists cannot nest).
bool recordingDisplayList();

// Multiplies a matrix (row-major, column-vector convention) onto the
// current OpenGL matrix through the transpose extension (transposed by hand
// when init has not fetched the entry point).
void multMatrix(const Matrix3D& m);

}  // namespace ddd
}  // namespace korvu
