// What assimp, the peer library, reads from a model file, in the terms an import is compared
// by. assimp keeps polygons whole and makes one vertex per corner, so polygons are counted as
// triangles (corners - 2 each; lines and points left out) and the corners and the distinct
// positions they use bound an import's vertex count from above and below.
#pragma once

#include "foundation/ZVector.h"

#include <cstddef>
#include <string>

struct AssimpSummary {
  bool read = false;
  std::string error;  // assimp's message when it could not read the file
  size_t triangles = 0;
  size_t corners = 0;
  size_t positions = 0;  // distinct mesh-local positions of the corners
  // The box the corners span in world space (node transforms applied); inverted when empty.
  ZVector low{1e30f, 1e30f, 1e30f};
  ZVector high{-1e30f, -1e30f, -1e30f};
};

// Reads the file without post-processing. mirrorZ negates world Z, undoing assimp's turn of a
// left-handed file into its right-handed space.
AssimpSummary summariseWithAssimp(const std::string& path, bool mirrorZ);
