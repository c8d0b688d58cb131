// The tools of the window's panels as core functions, so that the shell, the command line and the
// tests run one implementation: the stage wizard, the batch tool, and the structure, mesh,
// material and sun tools. Each acts on the root's own geometries or on the selection, and does
// nothing (one log line) without the model or material it needs.
#include <algorithm>
#include <cstdio>

#include "editor/CEditInterface.h"
#include "editor/IEditShell.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"

namespace {

struct StagePreset {
  const char* name;
  int32_t alphaArg1, alphaArg2, alphaOp;
};
// D3DTA_DIFFUSE 0, D3DTA_TEXTURE 2; D3DTOP_SELECTARG1 2, MODULATE 4, ADD 7.
constexpr StagePreset kStagePresets[] = {
    {"Transparent Diffuse", 0, 0, 2},
    {"Transparent Texture", 2, 0, 2},
    {"Transparent Diffuse*Texture", 0, 2, 4},
    {"Transparent Diffuse+Texture", 0, 2, 7},
};

}  // namespace

std::vector<std::string> CEditInterface::stagePresetNames() {
  std::vector<std::string> names;
  for (const StagePreset& preset : kStagePresets) names.emplace_back(preset.name);
  return names;
}

bool CEditInterface::applyStagePreset(int layer, const std::string& preset) {
  const auto step = edit(ofSelection("Stage preset"));
  ZMaterial* material = selectedMaterial("stage wizard");
  if (material == nullptr || layer < 0 || layer > 7) return false;
  for (const StagePreset& p : kStagePresets) {
    if (preset != p.name) continue;
    history.recordMaterial(material);
    ZMaterialStage& stage = material->stage(layer);
    stage.alphaArg1 = p.alphaArg1;
    stage.alphaArg2 = p.alphaArg2;
    stage.alphaOp = p.alphaOp;
    return true;
  }
  return false;
}

ZMaterial* CEditInterface::selectedMaterial(const char* tool) const {
  const ZGeometry* selected = renderer->selectedGeometry;
  if (selected == nullptr || selected->material == nullptr) {
    zlog("%s: no selected geometry with a material\n", tool);
    return nullptr;
  }
  return selected->material;
}

void CEditInterface::batchAction(const std::string& filter, int action) {
  const auto step = edit("Batch " + filter);
  if (!hasModel("batch")) return;
  const ZMaterial* source = action == 5 ? selectedMaterial("batch") : nullptr;
  if (action == 5 && source == nullptr) return;
  for (ZGeometry* g : rootFrame->geometries) {
    if (g->name.find(filter) == std::string::npos) continue;
    history.recordGeometry(g, false);
    if (g->material != source) history.recordMaterial(g->material);
    if (action == 1 || action == 2) {
      g->castShadow = true;
      continue;
    }
    if (g->material == nullptr || g->material == source) continue;
    ZMaterial& m = *g->material;
    if (action == 3) m.setSpecular(0, 0, 0);
    if (action == 4) m.stage(0).mipMapFilter = D3DTEXF_LINEAR;
    if (action == 5) {
      m.d3dMaterial = source->d3dMaterial;
      if (source->effectName.empty()) {
        m.removeEffect();
      } else if (m.effectName != source->effectName) {
        m.initEffect(source->effectName);
      }
      for (const auto& variable : source->effectVars) {
        m.setEffectCustomVariable(variable->name, variable->value);
      }
    }
  }
}

void CEditInterface::removeCast() {
  const auto step = edit("Remove cast shadows");
  if (!hasModel("remove cast")) return;
  for (ZGeometry* g : rootFrame->geometries) {
    history.recordGeometry(g, false);
    g->castShadow = false;
  }
}

void CEditInterface::autoShadow() {
  const auto step = edit("Auto shadow");
  if (!hasModel("auto shadow")) return;
  for (ZGeometry* g : rootFrame->geometries) {
    history.recordGeometry(g, false);
    history.recordMaterial(g->material);
    g->castShadow = false;
    if (isPhysicsName(g->name) && g->material != nullptr) g->material->initEffect("shadowMap.fxo");
    const std::string& n = g->name;
    if (n.find("SHADOW") != std::string::npos || n.find("shadow") != std::string::npos ||
        n.find("Shadow") != std::string::npos) {
      g->visible = false;
    }
  }
}

void CEditInterface::setSmooth(bool on) {
  const auto step = edit(on ? "Smooth on" : "Smooth off");
  if (!hasModel("smooth")) return;
  for (ZGeometry* g : rootFrame->geometries) {
    history.recordGeometry(g, false);
    g->setVar("SMOOTH", on ? 1.0f : 0.0f);
  }
}

void CEditInterface::removeLightmap() {
  const auto step = edit("Remove lightmaps");
  if (!hasModel("remove lightmap")) return;
  for (ZGeometry* g : rootFrame->geometries) {
    if (g->material == nullptr) continue;
    history.recordMaterial(g->material);
    g->material->stage(1).texture = nullptr;
  }
}

void CEditInterface::rotate90() {
  const auto step = edit("Rotate 90");
  if (!hasModel("rotate 90")) return;
  history.recordSubtree(rootFrame, CUndoHistory::kFrames | CUndoHistory::kMeshArrays);
  rootFrame->rotateGeometries(90.0f);
}

void CEditInterface::collapseSelection() {
  const auto step = edit(ofSelection("Collapse"));
  if (!hasModel("collapse")) return;
  ZFrame* frame = renderer->selectedFrame;
  if (frame != nullptr && frame->parent != nullptr) {
    ZFrame* parent = frame->parent;
    history.recordSubtree(parent, CUndoHistory::kTree);
    frame->collapseMoveable(parent);
    std::erase(parent->children, frame);
    parent->sortGeometries();
  } else if (frame == nullptr) {
    history.recordSubtree(rootFrame, CUndoHistory::kTree);
    for (ZFrame* child : rootFrame->children) child->collapseMoveable(rootFrame);
    rootFrame->children.clear();
    rootFrame->sortGeometries();
  }
  if (shell != nullptr) shell->updateTree();
}

void CEditInterface::placeSelectedFrame(FramePlacement placement, const ZVector& value) {
  const auto step = edit(ofSelection(placement == FramePlacement::move ? "Move" : "Pivot"));
  ZFrame* frame = renderer->selectedFrame;
  if (frame == nullptr) {
    zlog("frame position: no selected frame\n");
    return;
  }
  if (placement == FramePlacement::move) {
    history.recordFrame(frame);
  } else {
    recordPivot(*frame);
  }
  ZVector offset = placement == FramePlacement::repivot ? ZVector() : value;
  switch (placement) {
    case FramePlacement::move:
      frame->move(value);
      break;
    case FramePlacement::pivot:
    case FramePlacement::repivot:
      frame->setPivotPoint(offset);
      break;
  }
}

void CEditInterface::rotateSelectedFrame(int axis, float degrees) {
  const auto step = edit(ofSelection("Rotate"));
  ZFrame* frame = renderer->selectedFrame;
  if (frame == nullptr || axis < 0 || axis > 3) {
    zlog("rotate: no selected frame\n");
    return;
  }
  recordPivot(*frame);
  if (axis == 3) {
    frame->rotatePitchDEG(degrees);
    return;
  }
  ZVector angles;
  angles[axis] = degrees;
  frame->rotatePivotPoint(angles);
}

void CEditInterface::scaleSelected(const ZVector& factors) {
  const auto step = edit(ofSelection("Scale"));
  ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr) {
    zlog("scale: no selected geometry\n");
    return;
  }
  history.recordGeometry(g, true);
  g->scale(factors.x, factors.y, factors.z);
  g->recompile();
}

std::string CEditInterface::selectedSize() const {
  const ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr) return "";
  char text[96];
  std::snprintf(text, sizeof text, "%.3f %.3f %.3f", double(g->bboxMax.x - g->bboxMin.x),
                double(g->bboxMax.y - g->bboxMin.y), double(g->bboxMax.z - g->bboxMin.z));
  return text;
}

ZFrame* CEditInterface::promoteSelected() {
  const auto step = edit(ofSelection("Promote"));
  ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr || !hasModel("promote")) return nullptr;
  history.recordFrame(rootFrame);
  ZFrame* frame = renderer->getNewFrame();
  frame->name = g->name;
  frame->addGeometry(g);
  rootFrame->addChild(frame);
  if (shell != nullptr) shell->updateTree();
  return frame;
}

void CEditInterface::renameSelection(const std::string& name, bool geometry, bool frame) {
  const auto step = edit(ofSelection("Rename"));
  if (geometry) history.recordGeometry(renderer->selectedGeometry, false);
  if (frame) history.recordFrame(renderer->selectedFrame);
  if (geometry && renderer->selectedGeometry != nullptr) renderer->selectedGeometry->name = name;
  if (frame && renderer->selectedFrame != nullptr) renderer->selectedFrame->name = name;
  if (shell != nullptr) shell->updateTree();
}

void CEditInterface::setSelectedTexture(int layer, const std::string& fileName) {
  const auto step = edit(ofSelection("Set texture"));
  ZMaterial* material = selectedMaterial("texture");
  if (material == nullptr || layer < 0 || layer > 7) return;
  history.recordMaterial(material);
  ZMaterialStage& stage = material->stage(layer);
  if (fileName.empty()) {
    stage.texture = nullptr;
    return;
  }
  stage.texture = renderer->getTexture(fileName);
  stage.active = true;
}

void CEditInterface::invertSelectedU() {
  const auto step = edit(ofSelection("Invert U"));
  ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr) return;
  history.recordGeometry(g, true);
  g->invertTextureX();
}

SMaterialFields CEditInterface::getActiveMaterial() const {
  SMaterialFields f;
  if (const ZFrame* frame = renderer->selectedFrame) f.frameMoveable = frame->moveable;
  const ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr) return f;
  f.castShadow = g->castShadow;
  f.transparent = g->transparent;
  if (g->material == nullptr) return f;
  const ZMaterial& m = *g->material;
  f.alphaTest = m.alphaTest;
  f.alphaRef = m.alphaRef;
  f.doubleFace = m.doubleFace;
  f.useZBuffer = m.useZBuffer;
  f.noZWrite = m.forceNoDepthWrite;
  f.specularPower = m.d3dMaterial.Power;
  f.magMinFilter = m.stage(1).magFilter == D3DTEXF_POINT ? 0 : 1;
  f.mipFilter = m.stage(1).mipMapFilter == D3DTEXF_POINT ? 0 : 1;
  return f;
}

void CEditInterface::setActiveMaterial(const SMaterialFields& f) {
  const auto step = edit(ofSelection("Set material"));
  if (ZFrame* frame = renderer->selectedFrame) {
    history.recordFrame(frame);
    frame->moveable = f.frameMoveable;
  }
  ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr) return;
  history.recordGeometry(g, false);
  history.recordMaterial(g->material);
  g->castShadow = f.castShadow;
  g->transparent = f.transparent;
  if (g->material == nullptr) return;
  ZMaterial& m = *g->material;
  m.alphaTest = f.alphaTest;
  m.alphaRef = uint8_t(std::clamp(f.alphaRef, 0, 255));
  m.setDoubleFace(f.doubleFace);
  m.useZBuffer = f.useZBuffer;
  m.forceNoDepthWrite = f.noZWrite;
  m.setShininess(f.specularPower);
  ZMaterialStage& layer1 = m.stage(1);
  layer1.magFilter = layer1.minFilter = f.magMinFilter == 0 ? D3DTEXF_POINT : D3DTEXF_LINEAR;
  layer1.mipMapFilter = f.mipFilter == 0 ? D3DTEXF_POINT : D3DTEXF_LINEAR;
}

void CEditInterface::chooseShader(const std::string& effectName) {
  const auto step = edit(ofSelection("Set shader"));
  ZMaterial* material = selectedMaterial("shader");
  if (material == nullptr) return;
  history.recordMaterial(material);
  if (effectName.empty()) {
    material->removeEffect();
    return;
  }
  if (effectName != material->effectName) material->initEffect(effectName);
}

std::string CEditInterface::setSelectedVar(const std::string& name, float value) {
  const auto step = edit(ofSelection("Set variable " + name));
  ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr) return "";
  history.recordGeometry(g, false);
  float old = 0;
  const bool existed = g->getVar(name, old);
  g->setVar(name, value);
  char text[160];
  if (existed) {
    std::snprintf(text, sizeof text, "Var modified");
  } else {
    std::snprintf(text, sizeof text, "Var added [%s=%.2f]", name.c_str(), double(value));
  }
  MessageBoxA(nullptr, text, "ZMF2", MB_OK);
  return text;
}

void CEditInterface::setSelectedColour(MaterialColour which, int red, int green, int blue) {
  const auto step = edit(ofSelection("Set colour"));
  ZMaterial* material = selectedMaterial("colour");
  if (material == nullptr) return;
  history.recordMaterial(material);
  const float r = float(red) / 255.0f, g = float(green) / 255.0f, b = float(blue) / 255.0f;
  switch (which) {
    case MaterialColour::diffuse:
      material->setDiffuse(r, g, b, false);
      break;
    case MaterialColour::ambient:
      material->setAmbient(r, g, b);
      break;
    case MaterialColour::specular:
      material->setSpecular(r, g, b);
      break;
    case MaterialColour::emissive:
      material->setEmissive(r, g, b);
      break;
  }
}

void CEditInterface::setSelectedOpacity(int percent) {
  const auto step = edit(ofSelection("Set opacity"));
  ZMaterial* material = selectedMaterial("opacity");
  if (material == nullptr) return;
  history.recordMaterial(material);
  material->setOpacity(float(percent) / 100.0f);
}

void CEditInterface::alphaBlendSelected() {
  const auto step = edit(ofSelection("Alpha blending"));
  ZMaterial* material = selectedMaterial("alpha blending");
  if (material == nullptr) return;
  history.recordMaterial(material);
  material->alphaBlend = true;
  material->alphaSrcBlend = 5;   // source alpha
  material->alphaDestBlend = D3DBLEND_INVSRCALPHA;
}

void CEditInterface::setSunFromSliders(int sliderX, int sliderZ) {
  const auto step = edit("Set sun direction");
  if (renderer->activeLights.empty()) return;
  history.recordLights(*renderer);
  ZVector direction(0, -1, 0);
  direction.rotateOnAxis(ZVector(1, 0, 0), float(sliderX - 90));
  direction.rotateOnAxis(ZVector(0, 1, 0), float(sliderZ - 90));
  renderer->activeLights[0]->setDirection(direction);
}

void CEditInterface::setSelectedEffectVariable(const std::string& name, float value) {
  const auto step = edit(ofSelection("Set shader variable " + name));
  ZMaterial* material = selectedMaterial("shader variable");
  if (material == nullptr) return;
  history.recordMaterial(material);
  material->setEffectCustomVariable(name, value);
}

void CEditInterface::setSunColour(int red, int green, int blue) {
  const auto step = edit("Set sun colour");
  if (renderer->activeLights.empty()) return;
  history.recordLights(*renderer);
  renderer->activeLights[0]->setDiffuse(float(red) / 255.0f, float(green) / 255.0f,
                                        float(blue) / 255.0f);
}

void CEditInterface::setAmbientColour(int red, int green, int blue) {
  const auto step = edit("Set ambient colour");
  history.recordLights(*renderer);
  renderer->setAmbientLight(float(red) / 255.0f, float(green) / 255.0f, float(blue) / 255.0f);
}
