// The device sends a texture stage to GL only when it changed: counted at the GL library's
// door (GLCallCounter), and checked in pixels where skipping a call would show.
#include "tests/platform/d3d9/DeviceFixture.h"
#include "tests/platform/d3d9/GLCallCounter.h"

#include <cstring>

namespace {

constexpr uint32_t kRedTexel = 0xFFFF0000;
constexpr uint32_t kGreenTexel = 0xFF00FF00;
constexpr D3DCOLOR kBlueDiffuse = 0xFF0000FF;

class DeviceStageCallsTest : public DeviceTest {
 protected:
  // A 2 x 2 texture of the given texels, rows top first.
  IDirect3DTexture9* texture(const uint32_t (&texels)[4]) {
    IDirect3DTexture9* made = nullptr;
    EXPECT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &made, nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(made->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 2; ++y) {
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &texels[y * 2], 8);
    }
    EXPECT_EQ(made->UnlockRect(0), D3D_OK);
    return made;
  }

  void selectTexture(DWORD stage, IDirect3DTexture9* t) {
    device->SetTexture(stage, t);
    device->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  }

  void drawWholeScreen() { drawScreenRect(-0.5f, -0.5f, 63.5f, 63.5f, 0.5f, kBlueDiffuse); }

  // Texture-unit GL calls made by one whole-screen draw.
  uint64_t callsOfOneDraw() {
    const uint64_t before = textureUnitGLCalls();
    drawWholeScreen();
    return textureUnitGLCalls() - before;
  }

  void SetUp() override {
    DeviceTest::SetUp();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
  }
};

TEST_F(DeviceStageCallsTest, OnlyChangedStagesReachGL) {
  IDirect3DTexture9* red = texture({kRedTexel, kRedTexel, kRedTexel, kRedTexel});
  IDirect3DTexture9* green = texture({kGreenTexel, kGreenTexel, kGreenTexel, kGreenTexel});
  device->SetTexture(0, red);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  selectTexture(1, green);
  device->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF808080);
  EXPECT_GT(callsOfOneDraw(), 0u) << "the first draw sends its stages";
  EXPECT_EQ(callsOfOneDraw(), 0u) << "an identical second draw";

  // Setting what is already set changes nothing.
  device->SetTexture(0, red);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF808080);
  EXPECT_EQ(callsOfOneDraw(), 0u) << "after setting the same states again";

  const struct {
    const char* change;
    void (*apply)(IDirect3DDevice9*, IDirect3DTexture9*);
  } changes[] = {
      {"a texture", [](IDirect3DDevice9* d, IDirect3DTexture9* t) { d->SetTexture(1, t); }},
      {"a sampler state",
       [](IDirect3DDevice9* d, IDirect3DTexture9*) {
         d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
       }},
      {"a colour operation",
       [](IDirect3DDevice9* d, IDirect3DTexture9*) {
         d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
       }},
      {"the texture factor",
       [](IDirect3DDevice9* d, IDirect3DTexture9*) {
         d->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF404040);
       }},
  };
  // A texture of its own: one texture on two stages with two filters is set anew by each stage.
  IDirect3DTexture9* other = texture({kRedTexel, kGreenTexel, kGreenTexel, kRedTexel});
  for (const auto& c : changes) {
    SCOPED_TRACE(c.change);
    c.apply(device, other);
    EXPECT_GT(callsOfOneDraw(), 0u) << "the draw after the change";
    EXPECT_EQ(callsOfOneDraw(), 0u) << "the draw after that";
  }
  device->SetTexture(0, nullptr);
  device->SetTexture(1, nullptr);
  red->Release();
  green->Release();
  other->Release();
}

// Filling a texture binds it on the active unit; the stage's own binding must survive that,
// since the device sends it only when the stage changes.
TEST_F(DeviceStageCallsTest, FillingATextureKeepsTheStagesTexture) {
  IDirect3DTexture9* red = texture({kRedTexel, kRedTexel, kRedTexel, kRedTexel});
  selectTexture(0, red);
  clear(0xFF000000);
  drawWholeScreen();
  expectColour(pixel(32, 32), {255, 0, 0, 255}, 2, "before the fill");
  IDirect3DTexture9* green = texture({kGreenTexel, kGreenTexel, kGreenTexel, kGreenTexel});
  clear(0xFF000000);
  drawWholeScreen();
  expectColour(pixel(32, 32), {255, 0, 0, 255}, 2, "after another texture was filled");
  device->SetTexture(0, nullptr);
  red->Release();
  green->Release();
}

// GL keeps filters in the texture object, not the unit: one texture on two stages with two
// filters must get each stage's filter back when only that stage draws.
TEST_F(DeviceStageCallsTest, ATextureOnTwoStagesGetsEachStagesFilter) {
  IDirect3DTexture9* checker = texture({0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000});
  selectTexture(0, checker);
  device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
  selectTexture(1, checker);
  device->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  clear(0xFF000000);
  drawWholeScreen();
  // Stage 1 decides the colour: linear filtering blends the checker at (40, 40), a quarter of a
  // texel past the centre of the bottom right texel's neighbourhood.
  const RGBA blended = pixel(40, 40);
  EXPECT_GT(blended.r, 20);
  EXPECT_LT(blended.r, 235);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  clear(0xFF000000);
  drawWholeScreen();
  expectColour(pixel(40, 40), {0, 0, 0, 255}, 2, "stage 0 alone samples the nearest texel");
  device->SetTexture(0, nullptr);
  device->SetTexture(1, nullptr);
  checker->Release();
}

}  // namespace
