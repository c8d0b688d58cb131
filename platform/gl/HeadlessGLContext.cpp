#include "platform/gl/HeadlessGLContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

namespace {

bool fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

EGLDisplay surfacelessDisplay() {
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!getPlatformDisplay) return EGL_NO_DISPLAY;
  return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

}  // namespace

std::unique_ptr<HeadlessGLContext> HeadlessGLContext::create(int width, int height,
                                                             std::string* error) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
    fail(error, "bad back buffer size");
    return nullptr;
  }
  std::unique_ptr<HeadlessGLContext> gl(new HeadlessGLContext);
  gl->backWidth = width;
  gl->backHeight = height;

  EGLDisplay display = surfacelessDisplay();
  EGLint major = 0, minor = 0;
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
    fail(error, "no EGL surfaceless display");
    return nullptr;
  }
  gl->display = display;
  if (!eglBindAPI(EGL_OPENGL_API)) {
    fail(error, "EGL cannot bind the desktop OpenGL API");
    return nullptr;
  }
  const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE,
                                     EGL_PBUFFER_BIT, EGL_NONE};
  EGLConfig config = nullptr;
  EGLint configs = 0;
  if (!eglChooseConfig(display, configAttributes, &config, 1, &configs) || configs == 0) {
    config = nullptr;  // surfaceless Mesa also takes a context without a config
  }
  const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 2, EGL_CONTEXT_MINOR_VERSION, 1,
                                      EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
  if (context == EGL_NO_CONTEXT) {
    fail(error, "EGL cannot create an OpenGL 2.1 context");
    return nullptr;
  }
  gl->context = context;
  if (!gl->makeCurrent()) {
    fail(error, "EGL cannot make the context current without a surface");
    return nullptr;
  }

  glGenFramebuffers(1, &gl->framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, gl->framebuffer);
  glGenRenderbuffers(1, &gl->colourBuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, gl->colourBuffer);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                            gl->colourBuffer);
  glGenRenderbuffers(1, &gl->depthBuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, gl->depthBuffer);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                            gl->depthBuffer);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    fail(error, "the back buffer framebuffer is incomplete");
    return nullptr;
  }
  glViewport(0, 0, width, height);
  return gl;
}

HeadlessGLContext::~HeadlessGLContext() {
  if (context && makeCurrent()) {
    if (framebuffer) glDeleteFramebuffers(1, &framebuffer);
    if (colourBuffer) glDeleteRenderbuffers(1, &colourBuffer);
    if (depthBuffer) glDeleteRenderbuffers(1, &depthBuffer);
  }
  if (display) {
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context) eglDestroyContext(display, context);
    eglTerminate(display);
  }
}

bool HeadlessGLContext::makeCurrent() {
  return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) == EGL_TRUE;
}

bool HeadlessGLContext::present() {
  glFinish();
  return true;
}

std::vector<uint8_t> HeadlessGLContext::readPixels() const {
  std::vector<uint8_t> pixels(size_t(backWidth) * backHeight * 4);
  GLint previous = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, backWidth, backHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previous));
  // GL rows run bottom-up; images run top-down.
  const size_t row = size_t(backWidth) * 4;
  std::vector<uint8_t> flipped(pixels.size());
  for (int y = 0; y < backHeight; ++y) {
    std::memcpy(&flipped[size_t(y) * row], &pixels[size_t(backHeight - 1 - y) * row], row);
  }
  return flipped;
}

std::string HeadlessGLContext::rendererName() const {
  const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return name ? name : "";
}
