// One fixed-function light: the platform's D3DLIGHT9 record plus the engine's bookkeeping (its
// priority, the device slot it was given this frame and its distance to the current camera).
// Colours are linear 0..1 floats; positions and ranges are world units. Created and owned by the
// engine (ZCorvane::getNewLight), which sorts and places its active lights every frame; the owner
// is borrowed.
#pragma once

#include "foundation/ZVector.h"
#include "platform/d3d9/d3d9types.h"

#include <cstdint>

class ZCorvane;

class ZLight {
 public:
  // A white directional light along normalise(0.5, -1, 0.5), unplaced. owner may be null where
  // neither updateDistance nor apply reaches the engine (both then do nothing).
  explicit ZLight(ZCorvane* owner);

  void setPosition(float x, float y, float z);
  void setPosition(const ZVector& p);
  // Stored as given (a directional light's direction is expected to be unit length).
  void setDirection(const ZVector& d);
  ZVector getDirection() const;
  // Colour with alpha 1.
  void setDiffuse(float r, float g, float b);
  void setSpecular(float r, float g, float b);
  // Ambient (0, 0, 0, 1).
  void setAmbientBlack();
  // Point light at p reaching range; attenuation (0, 1 / range, 0). A range that is not
  // positive gives attenuation 1 of 0 instead of an infinite one.
  void makePoint(const ZVector& p, float range);
  // Spot light: cone angles theta (inner) and phi (outer) in radians as the record holds them;
  // falloff 0.5, attenuation (0, attenuation1, 0).
  void makeSpot(const ZVector& direction, const ZVector& p, float theta, float range,
                float attenuation1, float phi);
  // distance = |position - the owner's current camera position| (0 when they coincide); left
  // unchanged without an owner or a current camera.
  void updateDistance();
  // When placed (deviceIndex >= 0) and the owner has a device: SetLight and LightEnable there.
  void apply();

  D3DLIGHT9 light{};
  ZCorvane* owner;  // borrowed
  int32_t priority = 1;
  int32_t deviceIndex = -1;  // device light slot this frame; -1 when not placed
  float distance = 0;        // to the current camera, set by updateDistance
  bool enabled = true;
};
