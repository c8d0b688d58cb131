// What a scene costs the renderer each frame, from the same code the renderer and the texture
// cache use: mesh totals, the indexed draws of one frame with nothing culled, materials and
// effects, texture memory by format, and the heaviest meshes and textures.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "formats/ZTextureReport.h"

class ZFrame;
class ZGeometry;

struct SDrawBudget {
  static constexpr size_t kHeaviest = 10;
  uint64_t triangles = 0, vertices = 0;
  uint32_t frames = 0, geometries = 0;
  // Indexed draws of one frame: each visible mesh's pieces in the lit pass, and again in each of
  // the two shadow passes for the meshes that cast shadows. Sky box, flags, text and
  // immediate-mode drawing are not counted.
  uint64_t litDraws = 0, shadowDraws = 0;
  uint32_t materials = 0, effects = 0;
  uint64_t textureBytes = 0;
  std::map<std::string, uint64_t> textureBytesByFormat;  // by the format the cache holds
  std::vector<const ZGeometry*> heaviestGeometries;      // by triangles, at most kHeaviest
  std::vector<const STextureReport*> heaviestTextures;   // by bytes, into the report given

  uint64_t draws() const { return litDraws + shadowDraws; }
};

// One walk over the scene; textures is reportTextures(root) and must outlive the result.
SDrawBudget measureDrawBudget(const ZFrame& root, const std::vector<STextureReport>& textures);
