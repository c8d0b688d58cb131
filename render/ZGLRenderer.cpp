#include "render/ZGLRenderer.h"

#include "foundation/ZMatrixD3D.h"
#include "render/ZCorvane.h"

#include <array>
#include <cmath>

namespace {

// Low 8 bits of the channel rounded to nearest; NaN and values beyond int range give 0.
unsigned channelOf(float value) {
  const float scaled = value * 255.0f;
  if (!(std::fabs(scaled) < 2147483520.0f)) return 0;
  return unsigned(std::lround(scaled)) & 0xFFu;
}

// Box corner i: bit 0 chooses +x, bit 1 +y, bit 2 +z. Each face counter-clockwise seen from
// outside.
constexpr std::array<std::array<int, 4>, 6> kBoxFaces = {{
    {2, 3, 1, 0},  // -z
    {7, 6, 4, 5},  // +z
    {6, 2, 0, 4},  // -x
    {3, 7, 5, 1},  // +x
    {6, 7, 3, 2},  // +y
    {5, 4, 0, 1},  // -y
}};

}  // namespace

void ZGLRenderer::begin(int32_t newMode) {
  mode = newMode;
  vertices.clear();
}

void ZGLRenderer::vertex2f(float x, float y) { vertex3f(x, y, -1.0f); }

void ZGLRenderer::vertex3f(float x, float y, float z) {
  vertices.push_back({x, y, z, colour, u, v});
}

void ZGLRenderer::vertex3fv(const ZVector& p) { vertex3f(p.x, p.y, p.z); }

void ZGLRenderer::texCoord2f(float s, float t) {
  u = s;
  v = t;
}

void ZGLRenderer::color3f(float r, float g, float b) { colour = packColour(r, g, b, 1.0f); }

void ZGLRenderer::color4f(float r, float g, float b, float a) {
  colour = packColour(r, g, b, a);
}

D3DCOLOR ZGLRenderer::packColour(float r, float g, float b, float a) {
  return D3DCOLOR_ARGB(channelOf(a), channelOf(r), channelOf(g), channelOf(b));
}

void ZGLRenderer::end() {
  if (owner == nullptr || owner->device == nullptr) return;
  IDirect3DDevice9* device = owner->device;
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetFVF(kFVF);
  const auto n = UINT(vertices.size());
  const auto draw = [&](D3DPRIMITIVETYPE type, UINT primitives, const ZGLVertex* data) {
    device->DrawPrimitiveUP(type, primitives, data, sizeof(ZGLVertex));
  };
  switch (mode) {
    case kLines:
      if (n >= 2) draw(D3DPT_LINELIST, n / 2, vertices.data());
      break;
    case kLineStrip:
      if (n > 1) draw(D3DPT_LINESTRIP, n - 1, vertices.data());
      break;
    case kQuads:
      if (n >= 4) {
        // Only complete quads: a trailing partial group has no triangles to read.
        std::vector<ZGLVertex> triangles;
        triangles.reserve(size_t(n / 4) * 6);
        for (UINT q = 0; q + 4 <= n; q += 4) {
          const ZGLVertex* a = &vertices[q];
          for (int corner : {0, 1, 2, 0, 2, 3}) triangles.push_back(a[corner]);
        }
        draw(D3DPT_TRIANGLELIST, UINT(triangles.size() / 3), triangles.data());
      }
      break;
    case kTriangles:
      if (n > 2) draw(D3DPT_TRIANGLELIST, n / 3, vertices.data());
      break;
    case kPoints:
      if (n > 0) draw(D3DPT_POINTLIST, n, vertices.data());
      break;
    default:
      break;
  }
  // Drawing from user memory replaced stream 0 and the vertex format.
  owner->currentVertexBuffer = nullptr;
}

void ZGLRenderer::pushMatrix() {
  if (owner != nullptr && owner->matrixStack != nullptr) owner->matrixStack->Push();
}

void ZGLRenderer::popMatrix() {
  if (owner != nullptr && owner->matrixStack != nullptr) owner->popWorldMatrix();
}

void ZGLRenderer::translate(float x, float y, float z) {
  if (owner == nullptr || owner->matrixStack == nullptr) return;
  owner->matrixStack->Translate(x, y, z);
  owner->view = toZMatrix(*owner->matrixStack->GetTop());
  if (owner->device != nullptr) {
    const D3DXMATRIX view = toD3DX(owner->view);
    owner->device->SetTransform(D3DTS_VIEW, &view);
  }
  owner->markTransformsChanged();
}

void ZGLRenderer::drawBox(const ZMatrix& transform, float width, float height, float depth,
                          bool filled) {
  std::array<ZVector, 8> corners;
  for (int i = 0; i < 8; ++i) {
    const ZVector local((i & 1) ? width / 2 : -width / 2, (i & 2) ? height / 2 : -height / 2,
                        (i & 4) ? depth / 2 : -depth / 2);
    corners[size_t(i)] = transform.transformPoint(local, false);
  }
  if (filled) {
    begin(kQuads);
    for (const auto& face : kBoxFaces) {
      for (int corner : face) vertex3fv(corners[size_t(corner)]);
    }
  } else {
    // The twelve edges join the corners that differ in one axis.
    begin(kLines);
    for (int i = 0; i < 8; ++i) {
      for (int axis : {1, 2, 4}) {
        if (i & axis) continue;
        vertex3fv(corners[size_t(i)]);
        vertex3fv(corners[size_t(i | axis)]);
      }
    }
  }
  end();
}
