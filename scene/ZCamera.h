// A viewpoint: position, unit viewing direction and up vector plus lens settings, turned into the
// engine's view and projection transforms by apply. It keeps the normals of the two vertical side
// planes through the camera for sphere culling, and can instead look from a light to render a
// shadow map (applyFromLight). Right-handed: the view looks along heading, which becomes view-space
// -Z. Angles are degrees. Created and owned by the engine (ZCorvane::getNewCamera); the owner,
// the frame target and the light passed in are borrowed.
#pragma once

#include "foundation/ZMatrix.h"
#include "foundation/ZVector.h"
#include "platform/d3dx/d3dx9math.h"

#include <cstdint>
#include <string>

class ZCorvane;
class ZFrame;
class ZLight;

class ZCamera {
 public:
  // owner may be null only where no operation reaches the engine (apply, applyFromLight and the
  // shadow-pass visibility test then skip the engine's part).
  explicit ZCamera(ZCorvane* owner);
  virtual ~ZCamera() = default;
  ZCamera(const ZCamera&) = delete;
  ZCamera& operator=(const ZCamera&) = delete;

  // Marks the engine's transforms changed; looks at target (with hasTarget), then at
  // frameTarget (which wins); builds projection and view, sends them to the device when one
  // exists and copies them into the owner's projection and view; rebuilds the side planes.
  void apply();

  // position = (x, y, z).
  void move(float x, float y, float z);
  // position += (dx, dy, dz).
  void shift(float dx, float dy, float dz);
  // position += heading * d (world units; heading is normally unit).
  void moveForward(float d);
  // Tilts heading and up about the side axis normalise(heading x up); both end unit length.
  void rotatePitch(float degrees);
  // Rotates heading and up about a unit axis; lengths are not renormalised.
  void rotateOnAxis(float degrees, const ZVector& axis);
  // Rotates heading alone about a unit axis, then normalises it.
  void turnOnAxis(const ZVector& axis, float degrees);
  // Rotates heading about up (yaw); not renormalised.
  void rotateHeading(float degrees);
  // Looks at point from the next apply on.
  void setTarget(const ZVector& point);
  // Looks at the frame's world position from the next apply on; null clears it. Borrowed.
  void setFrameTarget(ZFrame* frame) { frameTarget = frame; }

  // Culling test of a world-space sphere. Outside a shadow pass: inside the far distance and on
  // the inner side of both side planes (no near, top or bottom test). In the owner's shadow pass:
  // inside the square of half the owner's shadowSize around the owner's view axis.
  bool isSphereVisible(const ZVector& centre, float radius) const;

  // Shadow-map view from the light: eye at centre - direction * distance, orthographic
  // size x size, depth 1 .. distance * 1.2. Sends view and projection to the device when one
  // exists, copies them into the owner, and stores view x projection in
  // lightViewProjection[index]; an index other than 0 or 1 is logged and stores nothing.
  void applyFromLight(const ZLight& light, const ZVector& centre, float distance, float size,
                      int index);

  bool isOrthographic = false;
  float orthoSize = 1.0f;  // half-extent of the orthographic view
  ZVector position;
  ZVector heading{0, 0, 1};  // unit viewing direction
  ZVector up{0, 1, 0};
  bool hasTarget = false;
  float fov = 30.0f;  // vertical field of view, degrees
  float farPlane = 100.0f;
  ZCorvane* owner;  // borrowed
  ZVector target;   // looked at when hasTarget
  ZFrame* frameTarget = nullptr;  // borrowed; looked at when set
  float nearPlane = 1.0f;
  int32_t tag = 0;
  std::string name;
  float aspect = 1.3333334f;  // width / height
  ZMatrix lightViewProjection[2];  // light view x projection of each shadow map
  ZVector sidePlaneA;  // inward normals of the two vertical side planes through the camera
  ZVector sidePlaneB;
  // Carried for the simulation's camera lists; the renderer does not use them.
  bool fixed = false;
  float maxFov = 20.0f;
  float minFov = 6.0f;
  float maxDist = 100000.0f;

 private:
  // heading towards point; up rebuilt perpendicular to it in the vertical plane, pointing up.
  void lookAt(const ZVector& point);
  // Sets the device's view and projection (when the owner has a device) and the owner's copies.
  void sendToOwner(const D3DXMATRIX& view, const D3DXMATRIX& projection) const;
};
