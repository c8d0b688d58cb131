// Where the device draws: a current OpenGL 2.1 compatibility context and the framebuffer that
// stands for the window's back buffer. Providers: HeadlessGLContext (EGL, no window) and the
// shell's viewport, whose default framebuffer is an FBO.
#pragma once

#include <cstdint>
#include <vector>

class GLContext {
 public:
  virtual ~GLContext() = default;
  // Makes the context current on this thread; false when it cannot be.
  virtual bool makeCurrent() = 0;
  // Framebuffer object that plays the back buffer (0 only for a window-system default).
  virtual uint32_t backBufferFramebuffer() const = 0;
  virtual int width() const = 0;
  virtual int height() const = 0;
  // Shows the back buffer (Present); false when that failed.
  virtual bool present() = 0;
};
