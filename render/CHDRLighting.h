// High-dynamic-range post-processing: the scene is drawn into a floating-point target, scaled
// down, its log-average luminance measured through a chain of shrinking targets, an adapted
// luminance moved toward it over time, the bright parts extracted and blurred, and a final pass
// tone-maps scene and bloom into the back buffer. Every pass is a technique of the effect
// "HDRLighting.fx" drawn as a full-screen quad.
//
// A device without floating-point targets leaves the chain off (init returns false, logged); a
// renderer whose size changed gets its targets made again at the next beginScene.
#pragma once

#include <cstdint>
#include <memory>

#include "render/HDRSampling.h"

class ZCorvane;
class ZMaterial;
class ZTexture;
struct IDirect3DSurface9;

class CHDRLighting {
 public:
  CHDRLighting();
  virtual ~CHDRLighting();
  CHDRLighting(const CHDRLighting&) = delete;
  CHDRLighting& operator=(const CHDRLighting&) = delete;

  // Makes the targets and the material for the renderer's size; false (logged) when the device
  // cannot draw into floating-point targets or the effect cannot be had.
  bool init(ZCorvane* owner);
  bool isReady() const { return ready; }
  // Render target 0 becomes the HDR scene (with its depth surface) in the crop's viewport; the
  // scene is then drawn as usual.
  void beginScene();
  // Passes 1 to 7: down-scale, luminance, adaptation, bright pass, blur, and the tone-mapped
  // picture into the renderer's back buffer (its own depth surface put back).
  void endScene();

  ZCorvane* renderer = nullptr;  // borrowed
  std::unique_ptr<ZTexture> hdrScene, hdrSceneScaled, toneMaps[4], adaptedLumLast, adaptedLumCur,
      brightPass, bloom;
  // Its own, not the renderer's list's: a model's closing releases what the renderer made since
  // start-up, and the chain outlives models.
  ZMaterial* hdrMaterial = nullptr;
  int32_t cropWidth = 0;
  int32_t cropHeight = 0;
  float middleGray = 0.18f;
  // The adaptation's time base, shared by every instance.
  static CAdaptationClock adaptationClock;

 private:
  bool makeTargets();
  std::unique_ptr<ZTexture> target(int32_t width, int32_t height, int format, bool depth);
  // Render target 0 = level 0 of texture; false ("olla") when it cannot be set.
  bool setTarget(ZTexture& texture);
  void bind(int stage, ZTexture* texture, uint32_t filter);
  // Draws the technique over the target with the current parameters; skipped when it cannot
  // begin.
  void draw(const char* technique, const SCoordRect& coords);
  void sampleOffsets(const SSampleOffsets& offsets);
  void downScale();
  void measureLuminance();
  void adapt();
  void brightPassFilter();
  void blur();
  void finalPass();

  std::unique_ptr<ZMaterial> material;
  bool ready = false;
  int32_t madeForWidth = 0;
  int32_t madeForHeight = 0;
};
