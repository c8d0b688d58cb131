// Reading and writing model files by their extension for the tool: ZMF and ZMT both ways; ASE,
// OBJ, XSI and X imported. Everything is built headless in the given engine.
#pragma once

#include "foundation/ZVector.h"

#include <string>
#include <vector>

class ZCamera;
class ZCorvane;
class ZFrame;

struct LoadedModel {
  ZFrame* root = nullptr;
  std::string format;  // "zmf", "zmt", "ase", "obj", "xsi", "x"
  // Header lighting (ZMF/ZMT only).
  ZVector sunPosition;
  ZVector ambientLight;
  ZVector sunDiffuse;
  std::vector<ZCamera*> cameras;
};

// The extension of path in lower case, without the dot.
std::string extensionOf(const std::string& path);
// True when the tool reads files of this extension.
bool canReadModel(const std::string& path);
// Loads path with the given scale (and mirrored in x); false (reason on stderr) when it cannot.
bool loadModel(const std::string& path, ZCorvane& engine, float scale, bool mirrorX,
               LoadedModel& model);
// Writes model as ZMF or ZMT by path's extension; false (reason on stderr) when it cannot.
bool saveModel(const std::string& path, ZCorvane& engine, LoadedModel& model);
