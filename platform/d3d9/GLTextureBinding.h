// Binds a texture on the active unit for an upload or a read-back and binds back what was there
// before, so that the device's record of what its stages have bound stays true.
#pragma once

#include <GL/gl.h>

#include <cstdint>

class GLTextureBinding {
 public:
  GLTextureBinding(uint32_t target, uint32_t name) : bound(target) {
    glGetIntegerv(target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_BINDING_CUBE_MAP
                                                : GL_TEXTURE_BINDING_2D,
                  &previous);
    glBindTexture(target, name);
  }
  ~GLTextureBinding() { glBindTexture(bound, GLuint(previous)); }
  GLTextureBinding(const GLTextureBinding&) = delete;
  GLTextureBinding& operator=(const GLTextureBinding&) = delete;

 private:
  uint32_t bound;
  GLint previous = 0;
};
