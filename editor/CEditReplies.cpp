// The command protocol's answers: object lists, material, stage, variable, camera, light and
// reference-point records, each handed to the client's reply function as it is made.
#include <algorithm>

#include "editor/CEditInterface.h"
#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"

void CEditInterface::reply(const void* packet, size_t size) {
  if (replyFunction) replyFunction(static_cast<const uint8_t*>(packet), int32_t(size));
}

void CEditInterface::sendObjectDefs() {
  const uint8_t header = 3;
  reply(&header, 1);
  if (rootFrame != nullptr) sendFrameDefAt(rootFrame, 0);
}

void CEditInterface::sendFrameDef(ZFrame* frame) {
  if (frame != nullptr) sendFrameDefAt(frame, 0);
}

void CEditInterface::sendFrameDefAt(ZFrame* frame, uint32_t slot) {
  zlog("Sending %s\n", frame->name.c_str());
  SZMFObjectDef def;
  def.kind = SZMFObjectDef::kFrame;
  def.handle = handles.name(frame, slot);
  def.parent = frame != rootFrame && frame->parent != nullptr ? frame->parent->editorHandle : 0;
  setFieldText(def.name, frame->name);
  reply(def);
  def.kind = SZMFObjectDef::kGeometry;
  def.parent = def.handle;
  for (size_t i = 0; i < frame->geometries.size(); ++i) {
    ZGeometry* g = frame->geometries[i];
    def.handle = handles.name(g, frame, uint32_t(i));
    setFieldText(def.name, g->name);
    reply(def);
  }
  for (size_t i = 0; i < frame->children.size(); ++i) {
    sendFrameDefAt(frame->children[i], uint32_t(i));
  }
}

void CEditInterface::sendMaterialDef(ZMaterial* material) {
  const D3DMATERIAL9& d = material->d3dMaterial;
  SZMFMaterialDef def;
  const D3DCOLORVALUE* colours[] = {&d.Diffuse, &d.Ambient, &d.Emissive, &d.Specular};
  LeF32* fields[] = {def.diffuse, def.ambient, def.emissive, def.specular};
  for (int i = 0; i < 4; ++i) {
    fields[i][0] = colours[i]->r;
    fields[i][1] = colours[i]->g;
    fields[i][2] = colours[i]->b;
  }
  def.opacity = d.Diffuse.a;
  def.specularPower = d.Power;
  def.alphaTest = material->alphaTest;
  def.alphaBlend = material->alphaBlend;
  def.alphaRef = material->alphaRef;
  for (int layer = 0; layer < SZMFMaterialDef::kLayers; ++layer) {
    const ZMaterialStage& stage = material->stage(layer);
    def.layerActive[layer] = stage.active;
    setFieldText(def.textures[layer], stage.texture != nullptr ? stage.texture->name : "-");
  }
  setFieldText(def.effectName, material->effectName);
  def.doubleFaced = material->doubleFace;
  def.useZBuffer = material->useZBuffer;
  def.noZWrite = material->forceNoDepthWrite;
  if (const ZGeometry* g = renderer->selectedGeometry) {
    def.transparent = g->transparent;
    def.castShadow = g->castShadow;
  }
  zlog("sending %d bytes\n", int(sizeof def));
  reply(def);
}

void CEditInterface::sendStageDef(int stage) {
  const ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr || g->material == nullptr || stage < 0 || stage > 7) return;
  const ZMaterialStage& s = g->material->stage(stage);
  SZMFStageDef def;
  def.stage = stage;
  def.mipMapFilter = s.mipMapFilter;
  def.magFilter = s.magFilter;
  def.minFilter = s.minFilter;
  def.alphaArg1 = s.alphaArg1;
  def.alphaArg2 = s.alphaArg2;
  def.alphaOp = s.alphaOp;
  def.colorArg0 = s.colorArg0;
  def.colorArg1 = s.colorArg1;
  def.colorArg2 = s.colorArg2;
  def.colorOp = s.colorOp;
  def.textureAddressU = s.textureAddressU;
  def.textureAddressV = s.textureAddressV;
  def.textureFactor = g->material->textureFactor;
  def.texCoordIndex = s.texCoordIndex;
  reply(def);
}

void CEditInterface::setStageDef(const SZMFStageDef& def) {
  const auto step = edit(ofSelection("Set stage"));
  ZGeometry* g = renderer->selectedGeometry;
  const int stage = def.stage;
  if (g == nullptr || g->material == nullptr || stage < 0 || stage > 7) return;
  history.recordMaterial(g->material);
  ZMaterialStage& s = g->material->stage(stage);
  s.mipMapFilter = def.mipMapFilter;
  s.magFilter = def.magFilter;
  s.minFilter = def.minFilter;
  s.alphaArg1 = def.alphaArg1;
  s.alphaArg2 = def.alphaArg2;
  s.alphaOp = def.alphaOp;
  s.colorArg0 = def.colorArg0;
  s.colorArg1 = def.colorArg1;
  s.colorArg2 = def.colorArg2;
  s.colorOp = def.colorOp;
  s.textureAddressU = def.textureAddressU;
  s.textureAddressV = def.textureAddressV;
  s.texCoordIndex = def.texCoordIndex;
  g->material->textureFactor = def.textureFactor;
}

void CEditInterface::sendCameras() {
  uint8_t header[8] = {18};
  const LeI32 count = int32_t(cameraList.size());
  std::memcpy(header + 4, &count, sizeof count);
  reply(header, sizeof header);
  for (const ZCamera* camera : cameraList) {
    SZMFCameraDef def;
    def.position[0] = camera->position.x;
    def.position[1] = camera->position.y;
    def.position[2] = camera->position.z;
    def.tag = camera->tag;
    def.fixed = camera->fixed;
    setFieldText(def.name, camera->name);
    def.minFov = camera->minFov;
    def.maxFov = camera->maxFov;
    def.maxDist = camera->maxDist;
    reply(def);
  }
}

void CEditInterface::sendLightInfo() {
  SZMFLightInfo info;
  if (!renderer->activeLights.empty()) {
    const D3DLIGHT9& sun = renderer->activeLights[0]->light;
    const float colour[] = {sun.Diffuse.r, sun.Diffuse.g, sun.Diffuse.b};
    const float direction[] = {sun.Direction.x, sun.Direction.y, sun.Direction.z};
    std::copy(colour, colour + 3, info.sunColour);
    std::copy(direction, direction + 3, info.sunDirection);
  }
  std::copy(renderer->ambientColour, renderer->ambientColour + 3, info.ambient);
  reply(info);
}

int CEditInterface::getFlagIndex(int32_t guid) {
  for (size_t i = 0; i < flagDefs.size(); ++i) {
    if (flagDefs[i].guid == guid) return int(i);
  }
  SZMFFlagDef flag;
  flag.guid = guid;
  history.recordValue(flagDefs);
  flagDefs.push_back(flag);
  const int index = int(flagDefs.size() - 1);
  zlog("returning %d\n", index);
  return index;
}

void CEditInterface::sendVariables(bool geometry) {
  const ZGeometry* g = renderer->selectedGeometry;
  if (g == nullptr || g->material == nullptr) return;
  SZMFVariableList list;
  list.code = geometry ? 27 : 25;
  auto add = [&](const std::string& name, float value) {
    if (list.count == SZMFVariableList::kMaxEntries) return;
    setFieldText(list.names[list.count], name);
    list.values[list.count] = value;
    ++list.count;
  };
  if (geometry) {
    for (const SGeometryVar& var : g->vars) add(var.name, var.value);
  } else {
    for (const auto& var : g->material->effectVars) add(var->name, var->value);
  }
  reply(list);
}

void CEditInterface::sendReference(const SZMFRefDef& request) {
  const std::string name = fieldText(request.name).substr(0, 63);
  setFieldText(selectedRef, name);
  const ZVector p = getPhysicRefPos(name);
  SZMFRefDef def;
  setFieldText(def.name, name);
  if (name.find("PZTR") != std::string::npos) {
    def.values[0] = p.x;
    def.values[1] = p.z;
    def.values[2] = getPhysicRefPos(name + "d").x;
  } else {
    def.values[0] = p.x;
    def.values[1] = p.y;
    def.values[2] = p.z;
  }
  reply(def);
}

void CEditInterface::sendWallCheck() {
  const ZGeometry* g = renderer->selectedGeometry;
  float value = 0;
  const bool checked = g == nullptr || !g->getVar("CHECKWALLS", value) || value != 0;
  const uint8_t packet[2] = {51, uint8_t(checked ? 1 : 0)};
  reply(packet, sizeof packet);
}
