// A cube map of the engine: the environment map loaded from a DDS file (six faces), or a cube
// render target the scene is drawn into face by face. Owned by whoever created it; the device
// objects are released with it. Without a device nothing is created and every call is refused
// or does nothing.
#pragma once

#include "platform/d3d9/Direct3DTexture9.h"
#include "platform/d3dx/D3DXTexture.h"

#include <cstdint>
#include <string>

class ZCorvane;

class ZCubeTexture {
 public:
  explicit ZCubeTexture(ZCorvane* engine) : owner(engine) {}
  virtual ~ZCubeTexture();
  ZCubeTexture(const ZCubeTexture&) = delete;
  ZCubeTexture& operator=(const ZCubeTexture&) = delete;

  // Loads a cube-map file (managed pool, size, levels and format from the file) in place of
  // the current cube; false, with "Error creating texture", when it cannot be made.
  bool load(const std::string& file);
  // Makes a size x size X8R8G8B8 cube render target with one level and the object that renders
  // into its faces (with its own depth surface); false when either fails (logged).
  bool createRenderTarget(int32_t size);
  // Rendering into the faces: begin, then each face (0 to 5: +X -X +Y -Y +Z -Z) before its
  // drawing, then end, which restores the device's previous render target and depth surface.
  // Each does nothing unless createRenderTarget succeeded.
  void beginCube();
  void face(int index);
  void end();
  // Writes every face as DDS; false without a cube or when the file cannot be written.
  bool save(const std::string& file) const;

  IDirect3DCubeTexture9* cubeTexture = nullptr;       // owned reference
  ZCorvane* owner = nullptr;                          // borrowed
  ID3DXRenderToEnvMap* renderToEnvMap = nullptr;      // owned reference; null unless a target
};
