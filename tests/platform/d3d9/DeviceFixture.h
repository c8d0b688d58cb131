// A device over a headless 64 x 64 EGL context, with helpers to draw screen-space quads and read
// pixels back.
#pragma once

#include "platform/d3d9/Direct3D9.h"
#include "platform/gl/HeadlessGLContext.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

struct RGBA {
  int r, g, b, a;
};

// Pre-transformed vertex: screen position in pixels, depth, rhw, colour, texture coordinate.
struct ScreenVertex {
  float x, y, z, rhw;
  D3DCOLOR colour;
  float u, v;
};
constexpr DWORD kScreenVertexFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class DeviceTest : public ::testing::Test {
 protected:
  static constexpr int kSize = 64;

  void SetUp() override;
  void TearDown() override;

  // Pixel of the back buffer, (0, 0) at the top left.
  RGBA pixel(int x, int y) const;
  // Axis-aligned rectangle in pixels as two triangles, one colour, full texture.
  void drawScreenRect(float left, float top, float right, float bottom, float z, D3DCOLOR colour);
  void clear(D3DCOLOR colour);

  std::unique_ptr<HeadlessGLContext> context;
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
};

// Expects a pixel within tolerance of a colour (alpha not compared).
void expectColour(const RGBA& actual, const RGBA& expected, int tolerance, const std::string& what);
