// The engine: owner of every scene object it creates (frames, geometries, materials, cameras,
// lights, textures, effects), its texture and effect caches, and the renderer state the scene
// model reads (transforms, current camera, shadow pass). It works without a device: factories,
// the texture cache (file facts only) and the whole scene model run headless, so model files and
// importers never need GL. Single-threaded.
#pragma once

#include "foundation/ZDirectoryList.h"
#include "foundation/ZMatrix.h"
#include "platform/d3d9/Direct3DDevice9.h"
#include "platform/d3dx/D3DXEffect.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class ZCamera;
class ZFrame;
class ZGeometry;
class ZLight;
class ZMaterial;
class ZTexture;

class ZCorvane {
 public:
  // Defaults; starts the timer ("Init high performance timer...").
  ZCorvane();
  // Deletes, in order and each logged: textures, frames, geometries, materials, cameras, then
  // the effects and the device.
  virtual ~ZCorvane();
  ZCorvane(const ZCorvane&) = delete;
  ZCorvane& operator=(const ZCorvane&) = delete;

  // New objects owned by the engine, with this engine as theirs, in creation order. A new
  // material's index is the material count after adding it (the first gets 1).
  ZFrame* getNewFrame();
  ZGeometry* getNewGeometry();
  ZMaterial* getNewMaterial();
  ZCamera* getNewCamera();
  ZLight* getNewLight();

  // The texture cache: "LIGHTMAP" makes a new empty texture every time (never found by name);
  // any other name returns the texture of exactly that name (case-sensitive) or loads a new one,
  // cached whether or not the load succeeded. Never null.
  ZTexture* getTexture(const std::string& name);
  // The texture cached under exactly `name`, or null. Only textures the cache loaded by name
  // are found, and only while they keep that name: "LIGHTMAP" textures, even once filled from a
  // file, are never found by name.
  ZTexture* findTexture(const std::string& name) const;
  // Notes that a texture file is missing; true the first time for that name.
  bool reportMissingTexture(const std::string& name);

  // The effect "shaders/" + name, loaded once and cached by name; the technique named
  // pipelineName is preferred. Without a device the effect holds parameters only (materials still
  // learn their variables). Null with shaders switched off, or when the file fails to build
  // ("**** FAILED ****").
  ID3DXEffect* loadEffect(const std::string& name);

  void setCamera(ZCamera* camera) { currentCamera = camera; }
  // The current camera's visibility test; true without a camera.
  bool isSphereVisible(const ZVector& centre, float radius) const;
  // Milliseconds of the performance counter; the constant 33 without one.
  uint32_t getTimeMs() const;
  // Sets the three transforms-changed flags that materials read.
  void markTransformsChanged();

  IDirect3DDevice9* device = nullptr;  // owned reference once a device exists; null headless

  ZMatrix projection;
  ZMatrix view;
  ZMatrix world;
  bool transformsChanged[3] = {true, true, true};

  std::vector<std::unique_ptr<ZFrame>> frames;
  std::vector<std::unique_ptr<ZGeometry>> geometries;
  std::vector<std::unique_ptr<ZMaterial>> materials;
  std::vector<std::unique_ptr<ZCamera>> cameras;
  std::vector<std::unique_ptr<ZLight>> lights;
  std::vector<std::unique_ptr<ZTexture>> textures;
  struct NamedEffect {
    std::string name;
    ID3DXEffect* effect;  // owned reference
  };
  std::vector<NamedEffect> effects;

  ZCamera* currentCamera = nullptr;  // borrowed
  bool inShadowPass = false;
  bool shadersEnabled = true;
  std::string pipelineName;
  float shadowSize = 0;  // of the shadow pass in progress: the shadow visibility test's window

  int32_t maxVertexIndex = 65530;
  int32_t maxTextureSize = 488192;
  int32_t textureMemoryKB = 0;
  // Folders where meshes find their "<name>_lightmap.dds".
  ZDirectoryList shadowDirectoryList;

  double ticksPerMs = 0;  // performance-counter ticks per millisecond; 0 without a counter

 private:
  std::set<std::string> missingTextures;
  // First cached texture of each name, so a model naming thousands of textures loads linearly.
  std::unordered_map<std::string, ZTexture*> textureIndex;
};
