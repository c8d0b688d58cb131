#include "formats/ZDrawBudget.h"

#include <algorithm>
#include <set>
#include <string>
#include <unordered_set>

#include "platform/d3dx/ImageFile.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZMaterial.h"

namespace {

constexpr int kShadowPasses = 2;

// The kHeaviest heaviest items by weight, ties in their first order.
template <typename T, typename Weight>
void keepHeaviest(std::vector<T>& items, Weight weight) {
  std::stable_sort(items.begin(), items.end(),
                   [&](const T& a, const T& b) { return weight(a) > weight(b); });
  if (items.size() > SDrawBudget::kHeaviest) items.resize(SDrawBudget::kHeaviest);
}

class BudgetWalk {
 public:
  explicit BudgetWalk(SDrawBudget& out) : budget(out) {}

  // Every mesh counts in the totals; only what a frame draws counts in the draws.
  void frame(const ZFrame& f, bool drawn) {
    ++budget.frames;
    drawn = drawn && f.visible;
    for (const ZGeometry* g : f.geometries) geometry(*g, drawn);
    for (const ZFrame* child : f.children) frame(*child, drawn);
  }
  void finish() {
    budget.materials = uint32_t(materials.size());
    budget.effects = uint32_t(effects.size());
    keepHeaviest(budget.heaviestGeometries,
                 [](const ZGeometry* g) { return uint64_t(g->faces.size()); });
  }

 private:
  void geometry(const ZGeometry& g, bool drawn) {
    ++budget.geometries;
    budget.triangles += g.faces.size();
    budget.vertices += g.vertices.size();
    if (drawn && g.visible) {
      const int32_t pieces = g.drawPieceCount();
      budget.litDraws += uint64_t(pieces);
      if (g.castShadow) budget.shadowDraws += uint64_t(pieces) * kShadowPasses;
    }
    if (!seen.insert(&g).second) return;
    budget.heaviestGeometries.push_back(&g);
    if (g.material == nullptr) return;
    materials.insert(g.material);
    if (!g.material->effectName.empty()) effects.insert(g.material->effectName);
  }

  SDrawBudget& budget;
  std::unordered_set<const ZGeometry*> seen;
  std::unordered_set<const ZMaterial*> materials;
  std::set<std::string> effects;
};

}  // namespace

SDrawBudget measureDrawBudget(const ZFrame& root, const std::vector<STextureReport>& textures) {
  SDrawBudget budget;
  BudgetWalk walk(budget);
  walk.frame(root, true);
  walk.finish();
  for (const STextureReport& t : textures) {
    budget.textureBytes += t.bytes;
    if (t.bytes > 0) budget.textureBytesByFormat[D3DXFormatName(t.format)] += t.bytes;
    budget.heaviestTextures.push_back(&t);
  }
  keepHeaviest(budget.heaviestTextures, [](const STextureReport* t) { return t->bytes; });
  return budget;
}
