// Immediate-mode drawing for overlays and gizmos: vertices collected between begin and end are
// drawn from user memory (DrawPrimitiveUP) with the device's current world, view and projection,
// lighting off and the colour of each vertex. Transforms go through the engine's matrix stack.
// Without an engine device everything records and nothing is drawn. Single-threaded.
#pragma once

#include "foundation/ZMatrix.h"
#include "foundation/ZVector.h"
#include "platform/d3d9/d3d9types.h"

#include <cstdint>
#include <vector>

class ZCorvane;

// One vertex of format D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1.
struct ZGLVertex {
  float x, y, z;
  D3DCOLOR colour;
  float u, v;
};
static_assert(sizeof(ZGLVertex) == 24, "ZGLVertex must match its vertex format");

class ZGLRenderer {
 public:
  static constexpr DWORD kFVF = 0x142;
  // Primitive kinds of begin.
  enum Mode : int32_t { kLines = 0, kLineStrip = 1, kQuads = 2, kTriangles = 3, kPoints = 4 };

  // renderer (borrowed, may be null: nothing is ever drawn then).
  explicit ZGLRenderer(ZCorvane* renderer) : owner(renderer) {}
  virtual ~ZGLRenderer() = default;
  ZGLRenderer(const ZGLRenderer&) = delete;
  ZGLRenderer& operator=(const ZGLRenderer&) = delete;

  // Starts a primitive list of kind mode (Mode) with no vertices.
  void begin(int32_t mode);
  // Appends a vertex with the current colour and texture coordinate; vertex2f puts it at z -1.
  void vertex2f(float x, float y);
  void vertex3f(float x, float y, float z);
  void vertex3fv(const ZVector& p);
  // Texture coordinate and colour (0..1 per channel) of the vertices that follow.
  void texCoord2f(float s, float t);
  void color3f(float r, float g, float b);
  void color4f(float r, float g, float b, float a);
  // ARGB of 0..1 channels, each rounded to nearest; out-of-range values keep their low 8 bits
  // (1.2 red gives 306 & 0xFF = 50); NaN, or a value beyond the int range once scaled, gives 0.
  static D3DCOLOR packColour(float r, float g, float b, float a);
  // Draws the collected vertices (lighting is left off): lines n / 2 (n >= 2), line strip n - 1
  // (n > 1), quads two triangles per complete group of four (n >= 4), triangles n / 3 (n > 2),
  // points n. Vertices of an incomplete last primitive are ignored; an unknown mode draws
  // nothing. The engine then forgets its bound vertex buffer.
  void end();

  // Matrix stack of the engine: pushMatrix copies the top; popMatrix pops it and makes the new
  // top the world transform; translate moves the top (its position row gains x, y, z) and
  // makes it the view transform, device and the engine's view alike. The world transform is
  // left as it was. Nothing without a matrix stack (no device).
  void pushMatrix();
  void popMatrix();
  void translate(float x, float y, float z);

  // A box of width x height x depth centred on the origin of transform (a point transform):
  // its twelve edges as lines, or filled, its six faces as quads wound counter-clockwise seen
  // from outside: the front faces of the engine's right-handed views, which cull clockwise.
  void drawBox(const ZMatrix& transform, float width, float height, float depth, bool filled);

  int32_t mode = kLines;
  ZCorvane* owner;               // borrowed
  D3DCOLOR colour = 0xFFFFFFFF;  // of the next vertices
  std::vector<ZGLVertex> vertices;
  float u = 0, v = 0;  // texture coordinate of the next vertices
};
