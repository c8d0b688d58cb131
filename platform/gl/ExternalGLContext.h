// A context owned by someone else, such as the shell's viewport widget: the owner says how to
// make it current, which framebuffer object plays the back buffer (a widget's default
// framebuffer is an FBO, never 0), how big it is and how to show a frame.
#pragma once

#include "platform/gl/GLContext.h"

#include <functional>

class ExternalGLContext : public GLContext {
 public:
  struct Callbacks {
    std::function<bool()> makeCurrent;
    std::function<uint32_t()> framebuffer;
    std::function<int()> width;
    std::function<int()> height;
    std::function<bool()> present;  // may be empty: the owner shows frames itself
  };

  explicit ExternalGLContext(Callbacks callbacks) : owner(std::move(callbacks)) {}

  bool makeCurrent() override { return owner.makeCurrent && owner.makeCurrent(); }
  uint32_t backBufferFramebuffer() const override { return owner.framebuffer(); }
  int width() const override { return owner.width(); }
  int height() const override { return owner.height(); }
  bool present() override { return owner.present ? owner.present() : true; }

 private:
  Callbacks owner;
};
