// One strip of a sector handed to the surface builders: where it runs, its lateral edges and
// heights at both ends, and how it is textured.
#pragma once

#include "foundation/ZVector.h"

#include <string>

class ZMaterial;

struct SSurfaceInfo {
  ZVector start, end;       // centre-line end points of the sector
  std::string type;         // "ROAD", "GRAVEL", "WALL" or the verge material's type
  std::string textureName;  // below "trackbuilder/texture/", used when material is null
  ZMaterial* material = nullptr;
  float length = 0;
  float x0 = 0, x1 = 0;  // left and right lateral offsets at the start
  float h0 = 0, h1 = 0;  // heights at those edges at the start
  float x0End = 0, x1End = 0;
  float h0End = 0, h1End = 0;
  ZVector edgeHeights;  // left, centre, right heights of a three-column strip
  ZVector prevDirection;
  ZVector direction;
  bool threeColumns = false;
  float step = 1.0f;
  float angle = 0;  // a corner's turn, degrees
  ZVector center;   // a corner's centre
  float bumpLeft = 0, bumpRight = 0;
  float planarUV = 0;  // non-zero: texture coordinates are x and z times this
  float repeatLength = 2.0f;
  float textureStart = 0;  // texture coordinate along the strip at its start
  bool alphaTest = false;
  bool flipWinding = false;
  float treeSpacing = 0;  // 0: no trees
};
