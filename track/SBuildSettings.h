// The track builder's surfaces and its running parameters, which the layout changes as it goes.
#pragma once

#include "foundation/ZVector.h"

#include <cstdint>
#include <deque>
#include <string>

class ZMaterial;

// One usable surface texture.
struct STBMaterial {
  ZMaterial* material = nullptr;  // borrowed from the engine
  float stepU = 1.0f;             // texture repeat length along the road, metres
  std::string type = "GRASS";     // "GRAVEL" when its definition file says so
};

// A deque keeps the entries in place as the list grows: the settings point into it.
using STBMaterialList = std::deque<STBMaterial>;

struct SBuildSettings {
  ZVector camber;  // heights at the left edge, centre line and right edge of the road
  float roadWidth = 8.0f;
  float slope = 0;  // rise per metre
  STBMaterial* roadMaterial = nullptr;
  float roadChange = 50;  // percent chance to pick a new surface per surface built
  STBMaterial* gravelMaterial = nullptr;
  float gravelChange = 50;
  int32_t surfaceType = 0;      // 0 road (tarmac), 1 gravel
  float surfaceTypeChange = 0;  // percent chance per straight to draw a new surface type
  float totalLength = 500;      // length of the random part of the stage, metres
  STBMaterial* outsRight1 = nullptr;
  float outsRight1Change = 0;
  STBMaterial* outsLeft1 = nullptr;
  float outsLeft1Change = 0;
  STBMaterial* outsLeft2 = nullptr;
  float outsLeft2Change = 0;
  STBMaterial* outsRight2 = nullptr;
  float outsRight2Change = 0;
  ZVector reference{0, 0, -1};  // start direction the stage is steered back to
};
