#include "editor/UndoMementos.h"

#include <algorithm>

#include "render/ZCorvane.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZLight.h"

using std::swap;

CFrameMemento::CFrameMemento(ZFrame& frame)
    : live(frame),
      geometries(frame.geometries),
      children(frame.children),
      parent(frame.parent),
      name(frame.name),
      matrix(frame.matrix),
      lodIn(frame.lodIn),
      lodOut(frame.lodOut),
      hasLOD(frame.hasLOD),
      visible(frame.visible),
      moveable(frame.moveable),
      renderMode(frame.renderMode) {}

void CFrameMemento::exchange(SUndoRefresh& refresh) {
  swap(live.geometries, geometries);
  swap(live.children, children);
  swap(live.parent, parent);
  swap(live.name, name);
  swap(live.matrix, matrix);
  swap(live.lodIn, lodIn);
  swap(live.lodOut, lodOut);
  swap(live.hasLOD, hasLOD);
  swap(live.visible, visible);
  swap(live.moveable, moveable);
  swap(live.renderMode, renderMode);
  refresh.relinked.push_back(&live);
}

size_t CFrameMemento::bytes() const {
  return sizeof *this + geometries.capacity() * sizeof(ZGeometry*) +
         children.capacity() * sizeof(ZFrame*) + name.capacity();
}

CGeometryFieldsMemento::CGeometryFieldsMemento(ZGeometry& geometry)
    : live(geometry),
      name(geometry.name),
      material(geometry.material),
      vars(geometry.vars),
      transparent(geometry.transparent),
      castShadow(geometry.castShadow),
      visible(geometry.visible),
      lodIn(geometry.lodIn),
      lodOut(geometry.lodOut),
      generateTangents(geometry.generateTangents),
      sortKey(geometry.sortKey) {}

void CGeometryFieldsMemento::exchange(SUndoRefresh&) {
  swap(live.name, name);
  swap(live.material, material);
  swap(live.vars, vars);
  swap(live.transparent, transparent);
  swap(live.castShadow, castShadow);
  swap(live.visible, visible);
  swap(live.lodIn, lodIn);
  swap(live.lodOut, lodOut);
  swap(live.generateTangents, generateTangents);
  swap(live.sortKey, sortKey);
}

size_t CGeometryFieldsMemento::bytes() const {
  size_t total = sizeof *this + name.capacity() + vars.capacity() * sizeof(SGeometryVar);
  for (const SGeometryVar& v : vars) total += v.name.capacity();
  return total;
}

CGeometryArraysMemento::CGeometryArraysMemento(ZGeometry& geometry)
    : live(geometry),
      vertices(geometry.vertices),
      faces(geometry.faces),
      center(geometry.center),
      bboxMin(geometry.bboxMin),
      bboxMax(geometry.bboxMax),
      radius(geometry.radius) {}

void CGeometryArraysMemento::exchange(SUndoRefresh& refresh) {
  const bool sameFaces = std::equal(
      faces.begin(), faces.end(), live.faces.begin(), live.faces.end(),
      [](const SFace& x, const SFace& y) { return x.a == y.a && x.b == y.b && x.c == y.c; });
  (sameFaces ? refresh.verticesChanged : refresh.facesChanged).push_back(&live);
  swap(live.vertices, vertices);
  swap(live.faces, faces);
  swap(live.center, center);
  swap(live.bboxMin, bboxMin);
  swap(live.bboxMax, bboxMax);
  swap(live.radius, radius);
}

size_t CGeometryArraysMemento::bytes() const {
  return sizeof *this + vertices.capacity() * sizeof(SVertex) + faces.capacity() * sizeof(SFace);
}

CMaterialMemento::CMaterialMemento(ZMaterial& material)
    : live(material),
      d3dMaterial(material.d3dMaterial),
      effect(material.effect),
      semanticHandles(material.semanticHandles),
      effectName(material.effectName),
      textureFactor(material.textureFactor),
      alphaDestBlend(material.alphaDestBlend),
      alphaSrcBlend(material.alphaSrcBlend),
      alphaRef(material.alphaRef),
      doubleFace(material.doubleFace),
      useZBuffer(material.useZBuffer),
      forceNoDepthWrite(material.forceNoDepthWrite),
      materialFlag(material.materialFlag),
      alphaBlend(material.alphaBlend),
      alphaTest(material.alphaTest) {
  for (int i = 0; i < 8; ++i) stages[size_t(i)] = material.stage(i);
  effectVars.reserve(material.effectVars.size());
  for (const auto& variable : material.effectVars) {
    effectVars.push_back(std::make_unique<SEffectVariable>(*variable));
  }
}

void CMaterialMemento::exchange(SUndoRefresh&) {
  for (int i = 0; i < 8; ++i) swap(live.stage(i), stages[size_t(i)]);
  swap(live.d3dMaterial, d3dMaterial);
  swap(live.effect, effect);
  swap(live.semanticHandles, semanticHandles);
  swap(live.effectName, effectName);
  swap(live.effectVars, effectVars);
  swap(live.textureFactor, textureFactor);
  swap(live.alphaDestBlend, alphaDestBlend);
  swap(live.alphaSrcBlend, alphaSrcBlend);
  swap(live.alphaRef, alphaRef);
  swap(live.doubleFace, doubleFace);
  swap(live.useZBuffer, useZBuffer);
  swap(live.forceNoDepthWrite, forceNoDepthWrite);
  swap(live.materialFlag, materialFlag);
  swap(live.alphaBlend, alphaBlend);
  swap(live.alphaTest, alphaTest);
}

size_t CMaterialMemento::bytes() const {
  size_t total = sizeof *this + effectName.capacity() +
                 effectVars.capacity() * sizeof(std::unique_ptr<SEffectVariable>);
  for (const ZMaterialStage& s : stages) {
    total += s.textureName.capacity() + s.storedTextureName.capacity();
  }
  for (const auto& variable : effectVars) total += sizeof *variable + variable->name.capacity();
  return total;
}

CCameraMemento::CCameraMemento(ZCamera& camera)
    : live(camera),
      position(camera.position),
      heading(camera.heading),
      up(camera.up),
      fov(camera.fov),
      nearPlane(camera.nearPlane),
      farPlane(camera.farPlane),
      minFov(camera.minFov),
      maxFov(camera.maxFov),
      maxDist(camera.maxDist),
      tag(camera.tag),
      fixed(camera.fixed),
      name(camera.name) {}

void CCameraMemento::exchange(SUndoRefresh&) {
  swap(live.position, position);
  swap(live.heading, heading);
  swap(live.up, up);
  swap(live.fov, fov);
  swap(live.nearPlane, nearPlane);
  swap(live.farPlane, farPlane);
  swap(live.minFov, minFov);
  swap(live.maxFov, maxFov);
  swap(live.maxDist, maxDist);
  swap(live.tag, tag);
  swap(live.fixed, fixed);
  swap(live.name, name);
}

CLightsMemento::CLightsMemento(ZCorvane& engine) : renderer(engine) {
  for (const auto& light : engine.lights) lights.push_back(light->light);
  std::copy(std::begin(engine.ambientColour), std::end(engine.ambientColour), ambient.begin());
}

void CLightsMemento::exchange(SUndoRefresh& refresh) {
  for (size_t i = 0; i < lights.size() && i < renderer.lights.size(); ++i) {
    swap(renderer.lights[i]->light, lights[i]);
  }
  for (size_t i = 0; i < 3; ++i) swap(renderer.ambientColour[i], ambient[i]);
  refresh.lights = true;
}
