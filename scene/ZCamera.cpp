#include "scene/ZCamera.h"

#include "foundation/ZLog.h"
#include "foundation/ZMatrixD3D.h"
#include "foundation/cvMath.h"
#include "platform/d3dx/d3dx9math.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZLight.h"

#include <algorithm>
#include <cmath>

namespace {

// Below this squared sine of the angle between the light and the reference axis, the cross
// product is too short to give a direction and the other reference axis is used.
constexpr float kParallelSinSq = 1e-10f;

D3DXVECTOR3 toD3DX(const ZVector& v) { return {v.x, v.y, v.z}; }

// The part of axis perpendicular to l, scaled by |l|^2: (l x axis) x l. Zero when they are
// parallel.
ZVector perpendicularPart(const ZVector& l, const ZVector& axis) { return (l % axis) % l; }

}  // namespace

ZCamera::ZCamera(ZCorvane* cameraOwner) : owner(cameraOwner) {}

void ZCamera::lookAt(const ZVector& point) {
  heading = point - position;
  heading.normalize();
  up = heading % (heading % ZVector(0, 1, 0));
  up.normalize();
  if (up.y < 0) up = up * -1.0f;
}

void ZCamera::sendToOwner(const D3DXMATRIX& view, const D3DXMATRIX& projection) const {
  if (!owner) return;
  if (owner->device) {
    owner->device->SetTransform(D3DTS_VIEW, &view);
    owner->device->SetTransform(D3DTS_PROJECTION, &projection);
  }
  owner->view = toZMatrix(view);
  owner->projection = toZMatrix(projection);
}

void ZCamera::apply() {
  if (owner) owner->markTransformsChanged();
  // A frame target wins over a point target.
  if (frameTarget) {
    lookAt(frameTarget->getWorldPosition());
  } else if (hasTarget) {
    lookAt(target);
  }

  D3DXMATRIX projection;
  if (isOrthographic) {
    D3DXMatrixOrthoOffCenterRH(&projection, -orthoSize, orthoSize, -orthoSize, orthoSize, nearPlane,
                               farPlane);
  } else {
    D3DXMatrixPerspectiveFovRH(&projection, fov * kDegToRad, aspect, nearPlane, farPlane);
  }
  const D3DXVECTOR3 eye = toD3DX(position);
  const D3DXVECTOR3 at = toD3DX(position + heading);
  const D3DXVECTOR3 upVector = toD3DX(up);
  D3DXMATRIX view;
  D3DXMatrixLookAtRH(&view, &eye, &at, &upVector);
  sendToOwner(view, projection);

  ZVector side = heading % up;
  side.y = 0;
  side.normalize();
  const float halfAngle = fov * aspect * 0.5f;
  const ZVector yAxis(0, 1, 0);
  sidePlaneA = side;
  sidePlaneA.rotateOnAxis(yAxis, halfAngle);
  sidePlaneB = side * -1.0f;
  sidePlaneB.rotateOnAxis(yAxis, -halfAngle);
}

void ZCamera::move(float x, float y, float z) { position = ZVector(x, y, z); }

void ZCamera::shift(float dx, float dy, float dz) { position = position + ZVector(dx, dy, dz); }

void ZCamera::moveForward(float d) { position = position + heading * d; }

void ZCamera::rotatePitch(float degrees) {
  ZVector side = heading % up;
  side.normalize();
  heading.rotateOnAxis(side, degrees);
  heading.normalize();
  up.rotateOnAxis(side, degrees);
  up.normalize();
}

void ZCamera::rotateOnAxis(float degrees, const ZVector& axis) {
  heading.rotateOnAxis(axis, degrees);
  up.rotateOnAxis(axis, degrees);
}

void ZCamera::turnOnAxis(const ZVector& axis, float degrees) {
  heading.rotateOnAxis(axis, degrees);
  heading.normalize();
}

void ZCamera::rotateHeading(float degrees) { heading.rotateOnAxis(up, degrees); }

void ZCamera::setTarget(const ZVector& point) {
  target = point;
  hasTarget = true;
}

bool ZCamera::isSphereVisible(const ZVector& centre, float radius) const {
  if (owner && owner->inShadowPass) {
    const ZVector v = owner->view.transformPoint(centre, false);
    return std::max(std::fabs(v.x), std::fabs(v.y)) - radius < owner->shadowSize * 0.5f;
  }
  const ZVector d = centre - position;
  const float reach = farPlane + radius;
  if (d.dotProduct(d) >= reach * reach) return false;
  return sidePlaneB.dotProduct(d) >= -radius && sidePlaneA.dotProduct(d) > -radius;
}

void ZCamera::applyFromLight(const ZLight& light, const ZVector& centre, float distance, float size,
                             int index) {
  const ZVector l = light.getDirection() * -1.0f;
  // The usual reference axis is X; a light along X would leave no up direction, so Z stands in.
  ZVector lightUp = perpendicularPart(l, ZVector(1, 0, 0));
  if (lightUp.dotProduct(lightUp) <= kParallelSinSq * l.dotProduct(l) * l.dotProduct(l)) {
    lightUp = perpendicularPart(l, ZVector(0, 0, 1));
  }
  lightUp.normalize();

  const ZVector eyePoint = centre + l * distance;
  const D3DXVECTOR3 eye = toD3DX(eyePoint);
  const D3DXVECTOR3 at = toD3DX(eyePoint - l);
  const D3DXVECTOR3 upVector = toD3DX(lightUp);
  D3DXMATRIX view;
  D3DXMatrixLookAtRH(&view, &eye, &at, &upVector);
  D3DXMATRIX projection;
  D3DXMatrixOrthoRH(&projection, size, size, 1.0f, distance * 1.2f);
  sendToOwner(view, projection);

  if (index != 0 && index != 1) {
    zlog("WARNING: applyFromLight index %d out of range\n", index);
    return;
  }
  D3DXMATRIX viewProjection;
  D3DXMatrixMultiply(&viewProjection, &view, &projection);
  lightViewProjection[index] = toZMatrix(viewProjection);
}
