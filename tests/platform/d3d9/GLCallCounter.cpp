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

#define FORWARD(name, ...)                                         \
  static const auto real = next<decltype(&name)>(#name);          \
  real(__VA_ARGS__)

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

void glActiveTexture(GLenum unit) {
  ++calls;
  FORWARD(glActiveTexture, unit);
}
void glBindTexture(GLenum target, GLuint texture) {
  ++calls;
  FORWARD(glBindTexture, target, texture);
}
void glTexEnvi(GLenum target, GLenum name, GLint value) {
  ++calls;
  FORWARD(glTexEnvi, target, name, value);
}
void glTexEnvf(GLenum target, GLenum name, GLfloat value) {
  ++calls;
  FORWARD(glTexEnvf, target, name, value);
}
void glTexEnvfv(GLenum target, GLenum name, const GLfloat* values) {
  ++calls;
  FORWARD(glTexEnvfv, target, name, values);
}
void glTexParameteri(GLenum target, GLenum name, GLint value) {
  ++calls;
  FORWARD(glTexParameteri, target, name, value);
}
void glTexParameterfv(GLenum target, GLenum name, const GLfloat* values) {
  ++calls;
  FORWARD(glTexParameterfv, target, name, values);
}
void glTexGeni(GLenum coordinate, GLenum name, GLint value) {
  ++calls;
  FORWARD(glTexGeni, coordinate, name, value);
}
void glEnable(GLenum capability) {
  if (isTextureCapability(capability)) ++calls;
  FORWARD(glEnable, capability);
}
void glDisable(GLenum capability) {
  if (isTextureCapability(capability)) ++calls;
  FORWARD(glDisable, capability);
}

}  // extern "C"
