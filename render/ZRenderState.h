// The renderer's cache of device render, sampler and texture-stage states: materials and passes
// change states through it, and a value equal to the cached one is not sent again unless
// forceResend is set. Embedded in ZCorvane; without a device every setter only records.
#pragma once

#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx/D3DXEffect.h"

#include <array>
#include <cstdint>

class ZCorvane;
class ZTexture;
struct ZMaterialStage;

class ZRenderState {
 public:
  explicit ZRenderState(ZCorvane* engine) : owner(engine) {}
  virtual ~ZRenderState() = default;
  ZRenderState(const ZRenderState&) = delete;
  ZRenderState& operator=(const ZRenderState&) = delete;

  void setCullMode(int value);
  void setDepthTest(int value);
  void setDepthWrite(int value);
  void setAlphaBlend(int value);
  void setDestBlend(int value);
  void setSrcBlend(int value);
  // The first call also sends D3DRS_ALPHAFUNC = D3DCMP_GREATER.
  void setAlphaTest(int value);
  void setAlphaRef(int value);
  // D3DRS_TEXTUREFACTOR as ARGB of factor in every channel (0..1, clamped).
  void setTextureFactor(float factor);
  // The stage's texture, samplers (filters left to currentEffect while one is set) and
  // texture-stage states, each sent only when changed.
  void applyTextureStage(int stage, const ZMaterialStage& description);
  // SetMaterial when the colours differ from the last sent.
  void setMaterial(const D3DMATERIAL9& material);
  // Binds texture to an effect's texture parameter slot (Texture0..7, ShadowMap0/1,
  // CurrentCubeTexture) when it is not bound there already; true when it was sent.
  bool bindEffectTexture(ID3DXEffect* effect, D3DXHANDLE handle, int slot,
                         IDirect3DBaseTexture9* texture);
  // Forgets the cached textures of stages 0 to 7 (the device's were set to null).
  void forgetTextures();

  bool forceResend = false;
  ZCorvane* owner;  // borrowed
  ID3DXEffect* currentEffect = nullptr;  // begun by the last material apply; borrowed

  struct Stage {
    bool known = false;  // false: nothing cached, everything is sent
    IDirect3DBaseTexture9* texture = nullptr;
    DWORD mipFilter = 0, minFilter = 0, magFilter = 0, addressU = 0, addressV = 0;
    DWORD resultArg = 0, colorArg1 = 0, colorArg2 = 0, colorOp = 0;
    DWORD alphaArg1 = 0, alphaArg2 = 0, alphaOp = 0, texCoordIndex = 0;
  };
  std::array<Stage, 10> stages{};

  // Cached render states; kUnknown until first sent.
  static constexpr int64_t kUnknown = -1;
  int64_t cullMode = kUnknown, depthTest = kUnknown, depthWrite = kUnknown;
  int64_t alphaBlend = kUnknown, destBlend = kUnknown, srcBlend = kUnknown;
  int64_t alphaTest = kUnknown, alphaRef = kUnknown, textureFactor = kUnknown;
  bool alphaFuncSent = false;
  D3DMATERIAL9 material{};
  bool materialKnown = false;
  // Effect texture slots: the effect and texture last bound to each.
  static constexpr int kEffectTextureSlots = 11;
  struct EffectTexture {
    ID3DXEffect* effect = nullptr;
    IDirect3DBaseTexture9* texture = nullptr;
  };
  std::array<EffectTexture, kEffectTextureSlots> effectTextures{};

 private:
  void sendRenderState(int64_t& cached, D3DRENDERSTATETYPE state, int64_t value);
};
