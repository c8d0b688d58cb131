#include "tests/platform/d3d9/GLCallCounter.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

uint64_t calls = 0;

// The GL library's own definition of name, found behind this program's.
template <typename Function>
Function next(const char* name) {
  void* symbol = dlsym(RTLD_NEXT, name);
  if (symbol == nullptr) {
    std::fprintf(stderr, "GLCallCounter: no %s behind this program\n", name);
    std::abort();
  }
  return reinterpret_cast<Function>(symbol);
}

// Calls the GL library's own definition of the function this is defined in front of.
#define FORWARD(name, ...)                                \
  static const auto real = next<decltype(&name)>(#name); \
  real(__VA_ARGS__)

// Defines a GL function that counts its call and passes it on.
#define COUNTED(name, parameters, ...) \
  void name parameters {               \
    ++calls;                           \
    FORWARD(name, __VA_ARGS__);        \
  }

bool isTextureCapability(GLenum capability) {
  switch (capability) {
    case GL_TEXTURE_2D:
    case GL_TEXTURE_CUBE_MAP:
    case GL_TEXTURE_GEN_S:
    case GL_TEXTURE_GEN_T:
    case GL_TEXTURE_GEN_R:
    case GL_TEXTURE_GEN_Q:
      return true;
    default:
      return false;
  }
}

}  // namespace

uint64_t textureUnitGLCalls() { return calls; }

extern "C" {

COUNTED(glActiveTexture, (GLenum unit), unit)
COUNTED(glBindTexture, (GLenum target, GLuint texture), target, texture)
COUNTED(glTexEnvi, (GLenum target, GLenum name, GLint value), target, name, value)
COUNTED(glTexEnvf, (GLenum target, GLenum name, GLfloat value), target, name, value)
COUNTED(glTexEnvfv, (GLenum target, GLenum name, const GLfloat* values), target, name, values)
COUNTED(glTexParameteri, (GLenum target, GLenum name, GLint value), target, name, value)
COUNTED(glTexParameterfv, (GLenum target, GLenum name, const GLfloat* values), target, name,
        values)
COUNTED(glTexGeni, (GLenum coordinate, GLenum name, GLint value), coordinate, name, value)

void glEnable(GLenum capability) {
  if (isTextureCapability(capability)) ++calls;
  FORWARD(glEnable, capability);
}
void glDisable(GLenum capability) {
  if (isTextureCapability(capability)) ++calls;
  FORWARD(glDisable, capability);
}

}  // extern "C"
