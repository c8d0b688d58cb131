// Reading and writing model files by their extension (ZModelFormat.h) without the editor: ZMF and
// ZMT both ways; ASE, OBJ, XSI, X, glTF and the formats read through assimp imported; glTF, OBJ,
// FBX and DAE exported. Everything is built headless in the given engine.
#pragma once

#include "formats/ZModelFormat.h"
#include "foundation/ZVector.h"

#include <string>
#include <vector>

class ZCamera;
class ZCorvane;
class ZFrame;
class IZMFListener;

struct LoadedModel {
  ZFrame* root = nullptr;
  std::string format;  // the extension in lower case; "zmf" for .pzo
  ModelFormat kind = ModelFormat::unknown;
  // Header lighting (ZMF/ZMT only).
  ZVector sunPosition;
  ZVector ambientLight;
  ZVector sunDiffuse;
  std::vector<ZCamera*> cameras;
};

// Loads path with the given scale (and mirrored in x); the engine's own files report their
// progress to listener (may be null). False (reason on stderr) when it cannot.
bool loadModel(const std::string& path, ZCorvane& engine, float scale, bool mirrorX,
               LoadedModel& model, IZMFListener* listener = nullptr);
// Writes model by path's extension: ZMF or ZMT, or exported as glTF (.gltf, .glb; lossless) or
// through assimp (.obj, .fbx, .dae; lossy for the simulation's data); with copyTextures an
// export copies its pictures beside it. False (reason on stderr and in the log) when it cannot.
bool saveModel(const std::string& path, ZCorvane& engine, LoadedModel& model,
               bool copyTextures = false);
// True when saveModel writes that extension.
bool isSavableModel(const std::string& path);
// The export formats (.gltf, .glb, .obj, .fbx, .dae) alone: exportModel writes them; false,
// logged, when it cannot (or for another extension), with nothing left behind.
bool isExportFormat(const std::string& path);
bool exportModel(const std::string& path, const LoadedModel& model, bool copyTextures);
