#include "render/ZRenderState.h"

#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "render/ZTexture.h"
#include "scene/ZMaterial.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Sends value when it differs from cached (or force), then remembers it.
template <typename Send>
void sendIfChanged(int64_t& cached, int64_t value, bool force, Send send) {
  if (!force && cached == value) return;
  send();
  cached = value;
}

}  // namespace

void ZRenderState::sendRenderState(int64_t& cached, D3DRENDERSTATETYPE state, int64_t value) {
  sendIfChanged(cached, value, forceResend, [&] {
    if (owner->device != nullptr) owner->device->SetRenderState(state, DWORD(value));
  });
}

void ZRenderState::setCullMode(int value) { sendRenderState(cullMode, D3DRS_CULLMODE, value); }
void ZRenderState::setDepthTest(int value) { sendRenderState(depthTest, D3DRS_ZENABLE, value); }
void ZRenderState::setDepthWrite(int value) {
  sendRenderState(depthWrite, D3DRS_ZWRITEENABLE, value);
}
void ZRenderState::setAlphaBlend(int value) {
  sendRenderState(alphaBlend, D3DRS_ALPHABLENDENABLE, value);
}
void ZRenderState::setDestBlend(int value) { sendRenderState(destBlend, D3DRS_DESTBLEND, value); }
void ZRenderState::setSrcBlend(int value) { sendRenderState(srcBlend, D3DRS_SRCBLEND, value); }
void ZRenderState::setAlphaRef(int value) { sendRenderState(alphaRef, D3DRS_ALPHAREF, value); }

void ZRenderState::setAlphaTest(int value) {
  sendIfChanged(alphaTest, value, forceResend, [&] {
    if (owner->device == nullptr) return;
    owner->device->SetRenderState(D3DRS_ALPHATESTENABLE, DWORD(value));
    if (!alphaFuncSent) {
      owner->device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
      alphaFuncSent = true;
    }
  });
}

void ZRenderState::setTextureFactor(float factor) {
  const auto channel = DWORD(std::lround(std::clamp(factor, 0.0f, 1.0f) * 255.0f));
  const DWORD argb = (channel << 24) | (channel << 16) | (channel << 8) | channel;
  sendRenderState(textureFactor, D3DRS_TEXTUREFACTOR, argb);
}

void ZRenderState::applyTextureStage(int index, const ZMaterialStage& description) {
  if (index < 0 || index >= int(stages.size()) || owner->device == nullptr) return;
  IDirect3DDevice9* device = owner->device;
  Stage& cached = stages[size_t(index)];
  const bool all = forceResend || !cached.known;
  const auto stage = DWORD(index);

  IDirect3DBaseTexture9* texture = nullptr;
  if (description.texture != nullptr) {
    texture = description.texture->texture;
  }
  if (all || cached.texture != texture) {
    device->SetTexture(stage, texture);
    cached.texture = texture;
  }
  // Sends one sampler or stage state when changed; a refused value is logged with the value.
  const auto sampler = [&](DWORD& slot, D3DSAMPLERSTATETYPE type, int32_t value,
                           const char* refused) {
    if (!all && slot == DWORD(value)) return;
    if (FAILED(device->SetSamplerState(stage, type, DWORD(value))) && refused != nullptr) {
      zlog(refused, value);
    }
    slot = DWORD(value);
  };
  const auto stageState = [&](DWORD& slot, D3DTEXTURESTAGESTATETYPE type, int32_t value) {
    if (!all && slot == DWORD(value)) return false;
    slot = DWORD(value);
    return FAILED(device->SetTextureStageState(stage, type, DWORD(value)));
  };
  if (currentEffect == nullptr) {
    sampler(cached.mipFilter, D3DSAMP_MIPFILTER, description.mipMapFilter,
            "D3DSAMP_MIPFILTER not valid %d\n");
    sampler(cached.minFilter, D3DSAMP_MINFILTER, description.minFilter,
            "D3DSAMP_MINFILTER not valid %d\n");
    sampler(cached.magFilter, D3DSAMP_MAGFILTER, description.magFilter,
            "D3DSAMP_MAGFILTER not valid %d\n");
  }
  sampler(cached.addressU, D3DSAMP_ADDRESSU, description.textureAddressU, nullptr);
  sampler(cached.addressV, D3DSAMP_ADDRESSV, description.textureAddressV, nullptr);
  stageState(cached.resultArg, D3DTSS_RESULTARG, description.colorArg0);
  stageState(cached.colorArg1, D3DTSS_COLORARG1, description.colorArg1);
  stageState(cached.colorArg2, D3DTSS_COLORARG2, description.colorArg2);
  stageState(cached.colorOp, D3DTSS_COLOROP, description.colorOp);
  stageState(cached.alphaArg1, D3DTSS_ALPHAARG1, description.alphaArg1);
  stageState(cached.alphaArg2, D3DTSS_ALPHAARG2, description.alphaArg2);
  stageState(cached.alphaOp, D3DTSS_ALPHAOP, description.alphaOp);
  if (stageState(cached.texCoordIndex, D3DTSS_TEXCOORDINDEX, description.texCoordIndex)) {
    zlog("D3DTSS_TEXCOORDINDEX not valid %d %d\n", index, description.texCoordIndex);
  }
  cached.known = true;
}

void ZRenderState::setMaterial(const D3DMATERIAL9& value) {
  if (!forceResend && materialKnown && std::memcmp(&material, &value, sizeof value) == 0) return;
  if (owner->device != nullptr) owner->device->SetMaterial(&value);
  material = value;
  materialKnown = true;
}

bool ZRenderState::bindEffectTexture(ID3DXEffect* effect, D3DXHANDLE handle, int slot,
                                     IDirect3DBaseTexture9* texture) {
  if (effect == nullptr || handle == nullptr || slot < 0 || slot >= kEffectTextureSlots) {
    return false;
  }
  EffectTexture& bound = effectTextures[size_t(slot)];
  if (bound.effect == effect && bound.texture == texture) return false;
  effect->SetTexture(handle, texture);
  bound = {effect, texture};
  return true;
}

void ZRenderState::forgetTextures() {
  for (size_t i = 0; i < 8; ++i) stages[i].texture = nullptr;
  effectTextures.fill({});
}
