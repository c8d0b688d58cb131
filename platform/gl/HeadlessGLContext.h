// An OpenGL 2.1 compatibility context without a window: EGL on Mesa's surfaceless platform
// (llvmpipe where there is no GPU), drawing into an owned framebuffer object of a fixed size with
// a colour and a 24-bit depth + 8-bit stencil attachment. For the tool and the tests.
#pragma once

#include "platform/gl/GLContext.h"

#include <memory>
#include <string>
#include <vector>

class HeadlessGLContext : public GLContext {
 public:
  // A context with a back buffer of width x height; null with the reason in error when EGL, the
  // context or the framebuffer cannot be had.
  static std::unique_ptr<HeadlessGLContext> create(int width, int height, std::string* error);
  ~HeadlessGLContext() override;

  bool makeCurrent() override;
  uint32_t backBufferFramebuffer() const override { return framebuffer; }
  int width() const override { return backWidth; }
  int height() const override { return backHeight; }
  // Nothing to show: finishes the frame's drawing.
  bool present() override;

  // The back buffer's pixels, top row first, 4 bytes per pixel in R, G, B, A order.
  std::vector<uint8_t> readPixels() const;
  // GL_RENDERER of the context, e.g. "llvmpipe (LLVM 15.0.6, 256 bits)".
  std::string rendererName() const;

 private:
  HeadlessGLContext() = default;
  void* display = nullptr;  // EGLDisplay
  void* context = nullptr;  // EGLContext
  uint32_t framebuffer = 0;
  uint32_t colourBuffer = 0;
  uint32_t depthBuffer = 0;
  int backWidth = 0;
  int backHeight = 0;
};
