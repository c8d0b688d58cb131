// Whole-model tools: alpha from textures, level-of-detail and white materials, material sharing
// and merging, transparency by material, visibility by naming convention.
#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "editor/CEditInterface.h"
#include "editor/ModelPaths.h"
#include "foundation/ZLog.h"
#include "foundation/ZParse.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

namespace {

// Visits every geometry of the sub-tree, the frame's own first.
template <typename Visit>
void forEachGeometry(ZFrame& frame, const Visit& visit) {
  for (ZGeometry* g : frame.geometries) visit(*g);
  for (ZFrame* child : frame.children) forEachGeometry(*child, visit);
}

}  // namespace

bool CEditInterface::isPhysicsName(const std::string& name) { return cvAtoi(name) != 0; }

bool CEditInterface::hasModel(const char* tool) const {
  if (rootFrame == nullptr) zlog("%s: no model loaded\n", tool);
  return rootFrame != nullptr;
}

void CEditInterface::autoAlpha(ZFrame* frame) {
  const auto step = edit("Auto alpha");
  if (frame == nullptr) return;
  history.recordSubtree(frame, CUndoHistory::kMaterials);
  forEachGeometry(*frame, [](ZGeometry& g) {
    if (g.material == nullptr || CEditInterface::isPhysicsName(g.name)) return;
    const ZTexture* texture = g.material->stage(0).texture;
    if (texture != nullptr && texture->bytesPerPixel == 4) g.material->setShadeModel(1);
  });
}

void CEditInterface::makeLODMaterial(ZFrame* frame) {
  const auto step = edit("Level-of-detail materials");
  if (frame == nullptr) return;
  history.recordSubtree(frame, CUndoHistory::kMaterials);
  forEachGeometry(*frame, [](ZGeometry& g) {
    if (g.material == nullptr) return;
    for (int layer = 1; layer < 8; ++layer) {
      g.material->stage(layer).texture = nullptr;
      g.material->stage(layer).active = false;
    }
    g.material->removeEffect();
  });
}

void CEditInterface::makeMatsWhite(ZFrame* frame) {
  const auto step = edit("White materials");
  if (frame == nullptr) frame = rootFrame;
  if (frame == nullptr) return;
  history.recordSubtree(frame, CUndoHistory::kMaterials);
  forEachGeometry(*frame, [](ZGeometry& g) {
    if (g.material != nullptr) g.material->setDiffuse(1, 1, 1, true);
  });
}

void CEditInterface::simplifyMaterials() {
  const auto step = edit("Simplify materials");
  if (!hasModel("simplifyMaterials")) return;
  for (ZGeometry* g : rootFrame->geometries) history.recordGeometry(g, false);
  // Every geometry takes the material of the first geometry in list order whose material shows
  // the same layer-0 texture (or none): what the pairwise rule leaves, in one pass.
  std::unordered_map<const ZTexture*, ZMaterial*> firstByTexture;
  for (ZGeometry* g : rootFrame->geometries) {
    if (g->material == nullptr) continue;
    const auto [first, added] =
        firstByTexture.try_emplace(g->material->stage(0).texture, g->material);
    if (!added) g->material = first->second;
  }
}

void CEditInterface::merge(const std::string& fileName) {
  const auto step = edit("Merge " + fileName);
  zlog("load ZMF %s\n", fileName.c_str());
  const std::string textureFolder = textureFolderOf(fileName);
  zlog("load ZMF %s %s\n", fileName.c_str(), textureFolder.c_str());
  if (!hasModel("merge")) return;
  history.recordSubtree(rootFrame, CUndoHistory::kMeshFields);
  history.recordValue(cameraList);
  ZFrame* loaded = renderer->getNewFrame();
  ZFileZMF reader(renderer);
  reader.cameras = &cameraList;
  reader.addTexturePath("texture");
  if (!textureFolder.empty()) reader.addTexturePath(textureFolder);
  reader.loadText(fileName, loaded);
  mergeFrame(loaded, rootFrame);
}

void CEditInterface::mergeFrame(ZFrame* source, ZFrame* target) {
  if (source == nullptr || target == nullptr) return;
  for (const ZGeometry* s : source->geometries) {
    for (ZGeometry* d : target->geometries) {
      if (s->name != d->name) continue;
      zlog("Merging geometries %s %s\n", s->name.c_str(), d->name.c_str());
      d->material = s->material;
      d->vars = s->vars;
      d->transparent = s->transparent;
    }
  }
  for (ZFrame* s : source->children) {
    for (ZFrame* d : target->children) {
      if (s->name == d->name) mergeFrame(s, d);
    }
  }
}

void CEditInterface::transAll(ZFrame* frame, ZMaterial* material, bool transparent) {
  const auto step = edit("Transparency to all");
  if (frame == nullptr) return;
  for (ZGeometry* g : frame->geometries) {
    if (g->material != material) continue;
    history.recordGeometry(g, false);
    g->transparent = transparent;
  }
}

void CEditInterface::hideWizard(ZFrame* frame, int mode) {
  const auto step = edit("Hide wizard");
  if (frame == nullptr || mode < 0 || mode > 2) return;
  for (ZGeometry* g : frame->geometries) history.recordGeometry(g, false);
  static const char* const kSurfaces[] = {"ROAD", "PIT",  "GRASS", "SAND", "WALL",
                                          "POLY", "CORD", "KERB",  "CURB", "OUT"};
  std::string upper;
  for (ZGeometry* g : frame->geometries) {
    if (mode == 2) {
      g->visible = true;
      continue;
    }
    const bool physics = CEditInterface::isPhysicsName(g->name);
    if (mode == 1) {
      g->visible = !physics;
      continue;
    }
    upper.assign(g->name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    g->visible =
        physics && std::any_of(std::begin(kSurfaces), std::end(kSurfaces),
                               [&](const char* k) { return upper.find(k) != std::string::npos; });
  }
}
