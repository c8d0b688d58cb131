#include "render/ZCorvane.h"

#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "platform/desktop.h"
#include "render/ZCubeTexture.h"
#include "render/ZTexture.h"
#include "render/ZVertexBuffer.h"
#include "scene/ZCamera.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"
#include "scene/ZLight.h"
#include "scene/ZMaterial.h"

namespace {

// Releases the objects of one list, logging the step first.
template <typename T>
void deleteAll(const char* step, std::vector<std::unique_ptr<T>>& list) {
  zlog("%s", step);
  list.clear();
}

}  // namespace

ZCorvane::ZCorvane() {
  zlog("Init high performance timer...\n");
  int64_t frequency = 0;
  if (QueryPerformanceFrequency(&frequency) && frequency > 0) ticksPerMs = double(frequency) / 1000;
}

ZCorvane::~ZCorvane() {
  environmentMap.reset();
  deleteAll("Deleting texture\n", textures);
  deleteAll("Deleting frames\n", frames);
  deleteAll("Deleting geometries\n", geometries);
  deleteAll("Deleting materials\n", materials);
  deleteAll("Deleting cameras\n", cameras);
  lights.clear();
  // Device objects go before the device that made them.
  vertexBuffers.clear();
  indexBuffers.clear();
  for (NamedEffect& e : effects) e.effect->Release();
  effects.clear();
  releaseAndClear(placeholder);
  releaseAndClear(vertexDeclaration);
  releaseAndClear(mainRenderTarget);
  releaseAndClear(mainDepthSurface);
  releaseAndClear(matrixStack);
  zlog("Deleting device\n");
  if (device != nullptr) device->Release();
  zlog("Deleting direct3d\n");
  if (direct3d != nullptr) direct3d->Release();
  zlog("done\n");
}

ZCorvane::SObjectMark ZCorvane::markObjects() const {
  SObjectMark mark{frames.size(), geometries.size(), materials.size(), cameras.size(),
                   textures.size(), {}, {}};
  for (const auto& b : vertexBuffers) mark.vertexCounts.push_back(b->vertexCount());
  for (const auto& b : indexBuffers) mark.indexCounts.push_back(b->usedIndices);
  return mark;
}

void ZCorvane::releaseObjectsSince(const SObjectMark& mark) {
  const auto released = [](const auto& owned, size_t kept, const auto* object) {
    for (size_t i = kept; i < owned.size(); ++i) {
      if (owned[i].get() == object) return true;
    }
    return false;
  };
  if (released(frames, mark.frames, selectedFrame)) selectedFrame = nullptr;
  if (released(frames, mark.frames, backBox)) backBox = nullptr;
  if (released(geometries, mark.geometries, selectedGeometry)) selectedGeometry = nullptr;
  if (released(cameras, mark.cameras, currentCamera)) currentCamera = nullptr;
  for (size_t i = 0; i < std::min(cameras.size(), mark.cameras); ++i) {
    if (released(frames, mark.frames, cameras[i]->frameTarget)) cameras[i]->setFrameTarget(nullptr);
  }
  currentGeometry = nullptr;
  currentMaterial = nullptr;
  currentVertexBuffer = nullptr;
  currentIndexBuffer = nullptr;
  transparentList.clear();
  for (size_t i = mark.textures; i < textures.size(); ++i) {
    const auto indexed = textureIndex.find(textures[i]->name);
    if (indexed != textureIndex.end() && indexed->second == textures[i].get()) {
      textureIndex.erase(indexed);
    }
  }
  textures.resize(std::min(textures.size(), mark.textures));
  frames.resize(std::min(frames.size(), mark.frames));
  geometries.resize(std::min(geometries.size(), mark.geometries));
  materials.resize(std::min(materials.size(), mark.materials));
  cameras.resize(std::min(cameras.size(), mark.cameras));
  vertexBuffers.resize(std::min(vertexBuffers.size(), mark.vertexCounts.size()));
  for (size_t i = 0; i < vertexBuffers.size(); ++i) vertexBuffers[i]->truncate(mark.vertexCounts[i]);
  indexBuffers.resize(std::min(indexBuffers.size(), mark.indexCounts.size()));
  for (size_t i = 0; i < indexBuffers.size(); ++i) {
    indexBuffers[i]->truncate(int32_t(mark.indexCounts[i]));
  }
}

ZFrame* ZCorvane::getNewFrame() {
  frames.push_back(std::make_unique<ZFrame>());
  frames.back()->engine = this;
  return frames.back().get();
}

ZGeometry* ZCorvane::getNewGeometry() {
  geometries.push_back(std::make_unique<ZGeometry>());
  geometries.back()->engine = this;
  return geometries.back().get();
}

ZMaterial* ZCorvane::getNewMaterial() {
  materials.push_back(std::make_unique<ZMaterial>(this));
  materials.back()->index = int32_t(materials.size());
  return materials.back().get();
}

ZCamera* ZCorvane::getNewCamera() {
  cameras.push_back(std::make_unique<ZCamera>(this));
  return cameras.back().get();
}

ZLight* ZCorvane::getNewLight() {
  lights.push_back(std::make_unique<ZLight>(this));
  return lights.back().get();
}

ZTexture* ZCorvane::getTexture(const std::string& name) {
  if (name != "LIGHTMAP") {
    if (ZTexture* cached = findTexture(name)) return cached;
  }
  auto texture = std::make_unique<ZTexture>(this);
  if (name != "LIGHTMAP") {
    texture->load(name);
    textureIndex.try_emplace(name, texture.get());
  }
  textures.push_back(std::move(texture));
  return textures.back().get();
}

ZTexture* ZCorvane::findTexture(const std::string& name) const {
  const auto hit = textureIndex.find(name);
  return hit != textureIndex.end() && hit->second->name == name ? hit->second : nullptr;
}

bool ZCorvane::reportMissingTexture(const std::string& name) {
  return missingTextures.insert(name).second;
}

ID3DXEffect* ZCorvane::loadEffect(const std::string& name) {
  if (!shadersEnabled) {
    zlog("Ignoring shaders\n");
    return nullptr;
  }
  for (const NamedEffect& e : effects) {
    if (e.name == name) return e.effect;
  }
  // An effect that failed is not built again for every material naming it.
  if (failedEffects.count(name) != 0) return nullptr;
  const std::string path = "shaders/" + name;
  zlog("Loading shader %s\n", path.c_str());
  const std::string resolved = resolveFileName(path);
  if (!canOpenForReading(resolved)) zlog("file not found..\n");
  ID3DXEffect* effect = nullptr;
  if (FAILED(D3DXCreateEffectFromFileA(device, resolved.c_str(), nullptr, nullptr, 0, nullptr,
                                       &effect, nullptr))) {
    zlog("**** FAILED ****\n");
    failedEffects.insert(name);
    return nullptr;
  }
  D3DXHANDLE chosen = nullptr;
  for (UINT i = 0;; ++i) {
    const D3DXHANDLE technique = effect->GetTechnique(i);
    if (technique == nullptr) break;
    D3DXTECHNIQUE_DESC desc;
    effect->GetTechniqueDesc(technique, &desc);
    zlog("Technique=%s\n", desc.Name);
    if (chosen == nullptr && pipelineName == desc.Name) chosen = technique;
  }
  if (chosen == nullptr) {
    zlog("No special pipeline selected, get the first technique\n");
    effect->FindNextValidTechnique(nullptr, &chosen);
  }
  effect->SetTechnique(chosen);
  effects.push_back({name, effect});
  return effect;
}

bool ZCorvane::isSphereVisible(const ZVector& centre, float radius) const {
  return currentCamera == nullptr || currentCamera->isSphereVisible(centre, radius);
}

uint32_t ZCorvane::getTimeMs() const {
  int64_t now = 0;
  if (ticksPerMs <= 0 || !QueryPerformanceCounter(&now)) return 33;
  return uint32_t(int64_t(double(now) / ticksPerMs));
}

void ZCorvane::markTransformsChanged() {
  for (bool& changed : transformsChanged) changed = true;
}

IDirect3DTexture9* ZCorvane::missingTexturePlaceholder() {
  if (placeholder != nullptr || device == nullptr) return placeholder;
  constexpr UINT kSide = 16;
  constexpr UINT kCell = 4;
  if (FAILED(device->CreateTexture(kSide, kSide, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                   &placeholder, nullptr))) {
    placeholder = nullptr;
    return nullptr;
  }
  D3DLOCKED_RECT locked = {};
  if (SUCCEEDED(placeholder->LockRect(0, &locked, nullptr, 0))) {
    for (UINT y = 0; y < kSide; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) +
                                              size_t(y) * size_t(locked.Pitch));
      for (UINT x = 0; x < kSide; ++x) {
        row[x] = ((x / kCell + y / kCell) % 2 == 0) ? 0xFFFF00FFu : 0xFF000000u;
      }
    }
    placeholder->UnlockRect(0);
  }
  return placeholder;
}
