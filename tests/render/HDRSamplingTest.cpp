// The HDR chain's arithmetic: target sizes, texture coordinates, sample offsets and weights, the
// adaptation's time step.
#include <gtest/gtest.h>

#include <cmath>

#include "render/HDRSampling.h"
#include "render/ZTexture.h"

namespace {

TEST(HDRSampling, A1366By768RendererCropsTo1360By768) {
  const SHDRSizes s = hdrTargetSizes(1366, 768);
  EXPECT_EQ(s.cropWidth, 1360);
  EXPECT_EQ(s.cropHeight, 768);
  EXPECT_EQ(s.scaledWidth, 340);
  EXPECT_EQ(s.scaledHeight, 192);
  EXPECT_EQ(s.brightWidth, 342);
  EXPECT_EQ(s.brightHeight, 194);
}

TEST(HDRSampling, TextureRectsAndCoordinates) {
  ZTexture source(nullptr), destination(nullptr);
  source.width = 100;
  source.height = 50;
  destination.width = 20;
  destination.height = 10;
  RECT rect;
  EXPECT_EQ(GetTextureRect(nullptr, &rect), E_INVALIDARG);
  ASSERT_EQ(GetTextureRect(&source, &rect), D3D_OK);
  EXPECT_EQ(rect.right, 100);
  EXPECT_EQ(rect.bottom, 50);

  SCoordRect c;
  ASSERT_EQ(GetTextureCoords(&source, nullptr, &destination, nullptr, &c), D3D_OK);
  EXPECT_EQ(c.left, 0);
  EXPECT_EQ(c.bottom, 1);
  const RECT inner = {10, 5, 90, 45};
  ASSERT_EQ(GetTextureCoords(&source, &inner, &destination, nullptr, &c), D3D_OK);
  EXPECT_FLOAT_EQ(c.left, 0.1f);
  EXPECT_FLOAT_EQ(c.top, 0.1f);
  EXPECT_FLOAT_EQ(c.right, 0.9f);
  EXPECT_FLOAT_EQ(c.bottom, 0.9f);
  const RECT border = {1, 1, 19, 9};
  ASSERT_EQ(GetTextureCoords(&source, &inner, &destination, &border, &c), D3D_OK);
  EXPECT_FLOAT_EQ(c.left, 0.1f - 0.05f);
  EXPECT_FLOAT_EQ(c.top, 0.1f - 0.1f);
  EXPECT_FLOAT_EQ(c.right, 0.9f + 0.05f);
  EXPECT_FLOAT_EQ(c.bottom, 0.9f + 0.1f);
  EXPECT_EQ(GetTextureCoords(&source, nullptr, nullptr, nullptr, &c), E_INVALIDARG);
  EXPECT_EQ(GetTextureCoords(&source, nullptr, &destination, nullptr, nullptr), E_INVALIDARG);
}

TEST(HDRSampling, DownScaleOffsetsRunRowByRow) {
  SSampleOffsets o;
  GetSampleOffsets_DownScale4x4(8, 4, o);
  EXPECT_FLOAT_EQ(o[0], -1.5f / 8);  // (0, 0)
  EXPECT_FLOAT_EQ(o[1], -1.5f / 4);
  EXPECT_FLOAT_EQ(o[2], -0.5f / 8);  // (1, 0): x runs inside
  EXPECT_FLOAT_EQ(o[3], -1.5f / 4);
  EXPECT_FLOAT_EQ(o[30], 1.5f / 8);  // (3, 3)
  EXPECT_FLOAT_EQ(o[31], 1.5f / 4);
}

TEST(HDRSampling, TheBlurTakesThirteenSamplesWeighingTheMultiplier) {
  SSampleOffsets o;
  SSampleWeights w;
  hdrGetSampleOffsets_GaussBlur5x5(10, 20, o, w, 2.5f);
  float sum = 0;
  int samples = 0;
  for (size_t i = 0; i < 16; ++i) {
    if (w[i * 4] == 0) continue;
    ++samples;
    sum += w[i * 4];
    EXPECT_EQ(w[i * 4 + 3], w[i * 4]);
  }
  EXPECT_EQ(samples, 13);
  EXPECT_NEAR(sum, 2.5f, 1e-5f);
  EXPECT_FLOAT_EQ(o[0], -0.2f);  // (-2, 0) first: x outer, |x| + |y| <= 2
  EXPECT_FLOAT_EQ(o[1], 0.0f);
  // The centre weighs most.
  EXPECT_FLOAT_EQ(w[6 * 4], *std::max_element(w.begin(), w.end()));
  EXPECT_FLOAT_EQ(hdrGaussianDistribution(0, 0, 1), 1.0f / std::sqrt(6.2831855f));
}

TEST(HDRSampling, TheAdaptationStepIsHeldToATenthAndAThousandthOfASecond) {
  CAdaptationClock clock;
  EXPECT_FLOAT_EQ(clock.step(5000), 0.1f);    // first call: nothing before it
  EXPECT_FLOAT_EQ(clock.step(5000), 0.001f);  // same millisecond
  EXPECT_FLOAT_EQ(clock.step(5040), 0.04f);
  EXPECT_FLOAT_EQ(clock.step(9000), 0.1f);
}

}  // namespace
