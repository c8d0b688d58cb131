// An engine with a device over a headless EGL context, working in a copy-free view of the build
// tree's data folder (shaders/, texture/), with helpers to read the back buffer.
#pragma once

#include "platform/gl/HeadlessGLContext.h"
#include "render/ZCorvane.h"
#include "scene/ZGeometry.h"
#include "tests/support/CaptureLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

struct Pixel {
  int r, g, b, a;
};

class EngineTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 128;
  static constexpr int kHeight = 96;

  // Current directory = the data folder (effects and run-time textures resolve from there);
  // context, engine with kWidth x kHeight, init. Fails the test when no device can be made.
  void SetUp() override;
  // Engine first (it releases device objects), then the context; the old directory back.
  void TearDown() override;

  // A mesh of the engine: the quad a b c d (counter-clockwise seen from its front) as two
  // triangles.
  ZGeometry* newQuad(const ZVector& a, const ZVector& b, const ZVector& c, const ZVector& d);
  // Back-buffer pixel, (0, 0) at the top left.
  Pixel pixel(int x, int y) const;
  // Writes the back buffer as a PNG (for looking at a frame by hand).
  bool writePng(const std::string& path) const;

  CaptureLog log;
  std::filesystem::path oldDirectory;
  std::unique_ptr<HeadlessGLContext> context;
  std::unique_ptr<ZCorvane> engine;
};
