// The HDR chain on a device, read back: a bright box on black gets a halo past its edge, and two
// uniform scenes ten times apart in brightness adapt to the same picture.
#include <gtest/gtest.h>

#include "platform/HeadlessDesktop.h"
#include "render/CHDRLighting.h"
#include "render/ZTexture.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ScopedDesktop.h"

namespace {

class HDRLightingTest : public EngineTest {
 protected:
  // One frame: the target cleared to background, the box (when given) cleared to white,
  // through the chain or straight into the back buffer.
  void frame(CHDRLighting* hdr, D3DCOLOR background, const D3DRECT* box) {
    engine->beginScene();
    if (hdr != nullptr) {
      hdr->beginScene();
    } else {
      engine->setViewport(0, 0, kWidth, kHeight);
    }
    IDirect3DDevice9* device = engine->device;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, background, 1.0f, 0);
    if (box != nullptr) device->Clear(1, box, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    if (hdr != nullptr) hdr->endScene();
    engine->endScene();
  }
  int brightness(int x, int y) const {
    const Pixel p = pixel(x, y);
    return p.r + p.g + p.b;
  }
  ScopedDesktop desktop;
};

TEST_F(HDRLightingTest, ABrightBoxGetsAHaloPastItsEdge) {
  CHDRLighting hdr;
  ASSERT_TRUE(hdr.init(engine.get())) << log.text();
  EXPECT_NE(log.text().find("CROPX=128 CROPY=96\n"), std::string::npos);
  EXPECT_NE(log.text().find("sampleLen 64\n"), std::string::npos);
  const D3DRECT box = {56, 40, 72, 56};
  frame(nullptr, 0xFF000000, &box);
  const int plainOutside = brightness(52, 48);
  EXPECT_EQ(plainOutside, 0);
  for (int i = 1; i <= 20; ++i) {
    desktop.setClockMs(uint32_t(i) * 100);
    frame(&hdr, 0xFF000000, &box);
  }
  EXPECT_GT(brightness(64, 48), 300) << "the box itself stays bright";
  EXPECT_GT(brightness(52, 48), plainOutside + 20) << "the halo reaches past the edge";
  EXPECT_LT(brightness(4, 4), 30) << "far from the box the picture stays dark";
}

TEST_F(HDRLightingTest, ScenesTenTimesApartAdaptToTheSamePicture) {
  CHDRLighting hdr;
  ASSERT_TRUE(hdr.init(engine.get())) << log.text();
  int seen[2] = {};
  const D3DCOLOR greys[2] = {0xFF101010, 0xFFA0A0A0};
  for (int scene = 0; scene < 2; ++scene) {
    for (int i = 1; i <= 60; ++i) {
      desktop.setClockMs(uint32_t(scene * 60 + i) * 100);
      frame(&hdr, greys[scene], nullptr);
    }
    seen[scene] = brightness(kWidth / 2, kHeight / 2);
  }
  ASSERT_GT(seen[0], 0);
  EXPECT_NEAR(seen[0], seen[1], 0.05 * seen[1]) << seen[0] << " " << seen[1];
}

}  // namespace
