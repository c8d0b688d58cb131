// One complete frame of a scene in the order the engine expects: the two shadow-map passes from
// the sun, the sky box, the camera, lights, the tree, the transparent pass, caller overlays, end
// and present. The editor's viewport, the tool's renderer and the tests draw through it.
#pragma once

#include "foundation/ZVector.h"

#include <functional>

class CHDRLighting;
class ZCamera;
class ZCorvane;
class ZFrame;
class ZLight;

class ZSceneRenderer {
 public:
  explicit ZSceneRenderer(ZCorvane* owner) : engine(owner) {}

  // Draws root (may be null) as seen by camera; overlay (may be empty) runs after the scene in
  // the device's viewport with the default material applied, before the frame ends.
  void renderFrame(ZFrame* root, ZCamera* camera, const std::function<void()>& overlay = {});

  ZCorvane* engine;  // borrowed
  ZLight* sun = nullptr;  // casts the shadows when the engine has shadow maps
  // When set and ready, the scene is drawn through it and tone-mapped before the overlay.
  CHDRLighting* hdr = nullptr;
  ZVector shadowCentre;   // point the near shadow map is centred on
  float shadowSize = 20;  // side of the near map in world units; the wide map covers 8 times
  static constexpr float kShadowDistance = 250;

 private:
  void renderShadowPass(ZFrame* root, int index, float size);
};
