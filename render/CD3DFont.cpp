#include "render/CD3DFont.h"

#include "foundation/ZLog.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

const char* const CD3DFont::kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

namespace {

// Pre-transformed vertex: D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1.
struct FontVertex {
  float x, y, z, rhw;
  D3DCOLOR colour;
  float u, v;
};
static_assert(sizeof(FontVertex) == 28, "FontVertex must match its vertex format");
constexpr DWORD kFontFVF = 0x144;

// Characters per draw call: long strings are drawn in pieces from one small buffer.
constexpr size_t kCharactersPerDraw = 256;

struct RenderStateValue {
  D3DRENDERSTATETYPE state;
  DWORD value;
};
struct StageStateValue {
  DWORD stage;
  D3DTEXTURESTAGESTATETYPE state;
  DWORD value;
};

// Glyph coverage blended over the target, drawn on top of everything, solid and not culled.
constexpr std::array<RenderStateValue, 8> kTextRenderStates = {{
    {D3DRS_ALPHABLENDENABLE, TRUE},
    {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    {D3DRS_ALPHATESTENABLE, FALSE},
    {D3DRS_ZENABLE, FALSE},
    {D3DRS_ZWRITEENABLE, FALSE},
    {D3DRS_CULLMODE, D3DCULL_NONE},
    {D3DRS_FILLMODE, D3DFILL_SOLID},
}};
// Stage 0: texture x vertex colour, alpha too; every later stage off.
constexpr std::array<StageStateValue, 10> kTextStageStates = {{
    {0, D3DTSS_COLOROP, D3DTOP_MODULATE},
    {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
    {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
    {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
    {0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
    {0, D3DTSS_TEXCOORDINDEX, 0},
    {0, D3DTSS_TEXTURETRANSFORMFLAGS, 0},
    {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
    {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
}};

// The device states a text draw changes, recorded before and put back after it.
class SavedStates {
 public:
  explicit SavedStates(IDirect3DDevice9* device) : target(device) {
    for (size_t i = 0; i < kTextRenderStates.size(); ++i) {
      target->GetRenderState(kTextRenderStates[i].state, &renderStates[i]);
    }
    for (size_t i = 0; i < kTextStageStates.size(); ++i) {
      const StageStateValue& s = kTextStageStates[i];
      target->GetTextureStageState(s.stage, s.state, &stageStates[i]);
    }
    for (size_t i = 0; i < kSamplerStates.size(); ++i) {
      target->GetSamplerState(0, kSamplerStates[i], &samplerStates[i]);
    }
    target->GetTexture(0, &texture);
  }
  ~SavedStates() {
    for (size_t i = 0; i < kTextRenderStates.size(); ++i) {
      target->SetRenderState(kTextRenderStates[i].state, renderStates[i]);
    }
    for (size_t i = 0; i < kTextStageStates.size(); ++i) {
      const StageStateValue& s = kTextStageStates[i];
      target->SetTextureStageState(s.stage, s.state, stageStates[i]);
    }
    for (size_t i = 0; i < kSamplerStates.size(); ++i) {
      target->SetSamplerState(0, kSamplerStates[i], samplerStates[i]);
    }
    target->SetTexture(0, texture);
    if (texture != nullptr) texture->Release();
  }
  SavedStates(const SavedStates&) = delete;
  SavedStates& operator=(const SavedStates&) = delete;

  static constexpr std::array<D3DSAMPLERSTATETYPE, 5> kSamplerStates = {
      D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER, D3DSAMP_MIPFILTER, D3DSAMP_ADDRESSU,
      D3DSAMP_ADDRESSV};

 private:
  IDirect3DDevice9* target;
  std::array<DWORD, kTextRenderStates.size()> renderStates{};
  std::array<DWORD, kTextStageStates.size()> stageStates{};
  std::array<DWORD, kSamplerStates.size()> samplerStates{};
  IDirect3DBaseTexture9* texture = nullptr;  // one reference while saved
};

}  // namespace

CD3DFont::CD3DFont(std::string_view faceName, int height, DWORD flags)
    : face(faceName), pixelHeight(height), creationFlags(flags) {}

CD3DFont::~CD3DFont() { deleteDeviceObjects(); }

bool CD3DFont::initDeviceObjects(IDirect3DDevice9* newDevice) {
  deleteDeviceObjects();
  if (newDevice == nullptr) return false;
  D3DCAPS9 caps{};
  newDevice->GetDeviceCaps(&caps);
  const int maxSide = int(std::clamp<DWORD>(caps.MaxTextureWidth, GlyphAtlas::kStartSide,
                                            GlyphAtlas::kMaxSide));
  std::string error;
  std::unique_ptr<GlyphAtlas> painted = GlyphAtlas::create(kFontPath, pixelHeight, maxSide, error);
  if (painted == nullptr) {
    zlog("CD3DFont: cannot paint %s at %d: %s\n", face.c_str(), pixelHeight, error.c_str());
    return false;
  }
  const auto side = UINT(painted->side());
  IDirect3DTexture9* made = nullptr;
  if (FAILED(newDevice->CreateTexture(side, side, 1, 0, GlyphAtlas::kFormat, D3DPOOL_MANAGED,
                                      &made, nullptr))) {
    zlog("CD3DFont: cannot create a %u x %u texture\n", side, side);
    return false;
  }
  D3DLOCKED_RECT locked{};
  if (FAILED(made->LockRect(0, &locked, nullptr, 0))) {
    zlog("CD3DFont: cannot lock the font texture\n");
    made->Release();
    return false;
  }
  const size_t rowBytes = size_t(side) * 4;
  for (size_t row = 0; row < side; ++row) {
    std::memcpy(static_cast<uint8_t*>(locked.pBits) + row * size_t(locked.Pitch),
                painted->texels().data() + row * rowBytes, rowBytes);
  }
  made->UnlockRect(0);
  device = newDevice;
  texture = made;
  glyphs = std::move(painted);
  return true;
}

void CD3DFont::deleteDeviceObjects() {
  releaseAndClear(texture);
  device = nullptr;
  glyphs.reset();
}

bool CD3DFont::drawTextScaled(float x, float y, float xScale, float yScale, D3DCOLOR colour,
                              std::string_view text, DWORD flags) {
  if (texture == nullptr) return false;
  if (text.empty()) return true;
  const auto cellOf = [&](char c) {
    const GlyphAtlas::Glyph* g = glyphs->glyph(c);
    return g != nullptr ? g : glyphs->glyph('?');
  };
  // Texels of the painted font to pixels on screen.
  const float sx = xScale / glyphs->textScale();
  const float sy = yScale / glyphs->textScale();
  const float lineHeight = float(glyphs->lineHeight()) * sy;
  float penX = x;
  float top = y - lineHeight;
  if (flags & kCentred) {
    float width = 0;
    for (char c : text) width += cellOf(c)->advance * sx;
    penX -= width / 2;
    top += lineHeight / 2;
  }
  // Pixel centres lie on whole numbers: texel edges go half a pixel before them.
  penX -= 0.5f;
  top -= 0.5f;

  SavedStates saved(device);
  for (const RenderStateValue& s : kTextRenderStates) device->SetRenderState(s.state, s.value);
  for (const StageStateValue& s : kTextStageStates) {
    device->SetTextureStageState(s.stage, s.state, s.value);
  }
  const DWORD filter = (flags & kFiltered) ? D3DTEXF_LINEAR : D3DTEXF_POINT;
  device->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
  device->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
  device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
  device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  device->SetTexture(0, texture);
  device->SetFVF(kFontFVF);

  std::vector<FontVertex> quads;
  quads.reserve(std::min(text.size(), kCharactersPerDraw) * 6);
  const auto flush = [&] {
    if (quads.empty()) return;
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(quads.size() / 3), quads.data(),
                            sizeof(FontVertex));
    quads.clear();
  };
  for (char c : text) {
    const GlyphAtlas::Glyph* g = cellOf(c);
    const float left = penX + float(g->offsetX) * sx;
    const float right = left + float(g->width) * sx;
    const float bottom = top + float(g->height) * sy;
    const FontVertex tl{left, top, 0.5f, 1.0f, colour, g->u0, g->v0};
    const FontVertex tr{right, top, 0.5f, 1.0f, colour, g->u1, g->v0};
    const FontVertex bl{left, bottom, 0.5f, 1.0f, colour, g->u0, g->v1};
    const FontVertex br{right, bottom, 0.5f, 1.0f, colour, g->u1, g->v1};
    if (c != ' ') quads.insert(quads.end(), {tl, tr, br, tl, br, bl});
    penX += g->advance * sx;
    if (quads.size() >= kCharactersPerDraw * 6) flush();
  }
  flush();
  return true;
}
