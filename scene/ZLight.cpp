#include "scene/ZLight.h"

#include "render/ZCorvane.h"
#include "scene/ZCamera.h"

namespace {

D3DVECTOR toD3D(const ZVector& v) { return {v.x, v.y, v.z}; }

}  // namespace

ZLight::ZLight(ZCorvane* lightOwner) : owner(lightOwner) {
  light.Type = D3DLIGHT_DIRECTIONAL;
  ZVector direction(0.5f, -1.0f, 0.5f);
  direction.normalize();
  light.Direction = toD3D(direction);
  light.Diffuse = {0.9f, 0.9f, 0.9f, 1.0f};
  light.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
  light.Ambient = {0.0f, 0.0f, 0.0f, 1.0f};
  light.Range = 1000.0f;
  light.Attenuation0 = 1.0f;
}

void ZLight::setPosition(float x, float y, float z) { light.Position = {x, y, z}; }

void ZLight::setPosition(const ZVector& p) { light.Position = toD3D(p); }

void ZLight::setDirection(const ZVector& d) { light.Direction = toD3D(d); }

ZVector ZLight::getDirection() const {
  return {light.Direction.x, light.Direction.y, light.Direction.z};
}

void ZLight::setDiffuse(float r, float g, float b) { light.Diffuse = {r, g, b, 1.0f}; }

void ZLight::setSpecular(float r, float g, float b) { light.Specular = {r, g, b, 1.0f}; }

void ZLight::setAmbientBlack() { light.Ambient = {0.0f, 0.0f, 0.0f, 1.0f}; }

void ZLight::makePoint(const ZVector& p, float range) {
  light.Type = D3DLIGHT_POINT;
  light.Position = toD3D(p);
  light.Range = range;
  light.Attenuation0 = 0.0f;
  // 1 / 0 would make the light infinitely dim everywhere and NaN at its own position.
  light.Attenuation1 = range > 0 ? 1.0f / range : 0.0f;
  light.Attenuation2 = 0.0f;
}

void ZLight::makeSpot(const ZVector& direction, const ZVector& p, float theta, float range,
                      float attenuation1, float phi) {
  light.Type = D3DLIGHT_SPOT;
  light.Direction = toD3D(direction);
  light.Position = toD3D(p);
  light.Theta = theta;
  light.Phi = phi;
  light.Range = range;
  light.Falloff = 0.5f;
  light.Attenuation0 = 0.0f;
  light.Attenuation1 = attenuation1;
  light.Attenuation2 = 0.0f;
}

void ZLight::updateDistance() {
  if (!owner || !owner->currentCamera) return;
  const ZVector p(light.Position.x, light.Position.y, light.Position.z);
  // length() is exactly 0 for coincident points.
  distance = (p - owner->currentCamera->position).length();
}

void ZLight::apply() {
  if (deviceIndex < 0 || !owner || !owner->device) return;
  const auto index = static_cast<DWORD>(deviceIndex);
  owner->device->SetLight(index, &light);
  owner->device->LightEnable(index, TRUE);
}
