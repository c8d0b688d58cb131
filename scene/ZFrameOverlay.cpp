// The editor's overlay of a frame sub-tree: the selected frame's axes and the selected mesh,
// drawn as wireframe over the scene.
#include "render/ZCorvane.h"
#include "render/ZGLRenderer.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

namespace {

constexpr float kAxisLength = 1.0f;

// The frame's local X, Y and Z axes as red, green and blue lines from its origin.
void drawAxes(ZCorvane* engine) {
  ZGLRenderer lines(engine);
  lines.begin(ZGLRenderer::kLines);
  const float axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (const auto& axis : axes) {
    lines.color3f(axis[0], axis[1], axis[2]);
    lines.vertex3f(0, 0, 0);
    lines.vertex3f(axis[0] * kAxisLength, axis[1] * kAxisLength, axis[2] * kAxisLength);
  }
  lines.end();
}

}  // namespace

void ZFrame::renderOverlay() {
  if (!visible || engine == nullptr || engine->device == nullptr) return;
  IDirect3DDevice9* device = engine->device;
  const ZMatrix parentWorld = engine->world;
  engine->setWorldMatrix(ZMatrix::multiply(matrix, parentWorld));

  bool holdsSelection = engine->selectedFrame == this;
  for (const ZGeometry* g : geometries) holdsSelection |= g == engine->selectedGeometry;
  if (holdsSelection) {
    DWORD lighting = FALSE;
    device->GetRenderState(D3DRS_LIGHTING, &lighting);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    // Seen through whatever hides it and from both sides; lit by its emissive colour alone, so
    // the highlight is yellow whatever the lights.
    ZMaterial highlight(engine);
    highlight.setDoubleFace(true);
    highlight.useZBuffer = false;
    highlight.setDiffuse(0, 0, 0, true);
    highlight.setSpecular(0, 0, 0);
    highlight.setEmissive(1, 1, 0);
    highlight.apply();
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    for (ZGeometry* g : geometries) {
      if (g == engine->selectedGeometry) g->draw(false);
    }
    if (engine->selectedFrame == this) drawAxes(engine);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetRenderState(D3DRS_LIGHTING, lighting);
  }
  for (ZFrame* child : children) child->renderOverlay();
  engine->setWorldMatrix(parentWorld);
}
