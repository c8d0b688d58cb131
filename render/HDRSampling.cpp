#include "render/HDRSampling.h"

#include <cmath>

#include "foundation/cvMath.h"
#include "render/ZTexture.h"

SHDRSizes hdrTargetSizes(int32_t width, int32_t height) {
  SHDRSizes s;
  s.cropWidth = width - width % 8;
  s.cropHeight = height - height % 8;
  s.scaledWidth = s.cropWidth / 4;
  s.scaledHeight = s.cropHeight / 4;
  s.brightWidth = s.scaledWidth + 2;
  s.brightHeight = s.scaledHeight + 2;
  return s;
}

HRESULT GetTextureRect(const ZTexture* texture, RECT* rect) {
  if (texture == nullptr || rect == nullptr) return E_INVALIDARG;
  *rect = {0, 0, texture->width, texture->height};
  return D3D_OK;
}

HRESULT GetTextureCoords(const ZTexture* source, const RECT* sourceRect,
                         const ZTexture* destination, const RECT* destinationRect,
                         SCoordRect* coords) {
  if (source == nullptr || destination == nullptr || coords == nullptr) return E_INVALIDARG;
  *coords = SCoordRect();
  if (sourceRect != nullptr && source->width > 0 && source->height > 0) {
    const auto w = float(source->width), h = float(source->height);
    coords->left += float(sourceRect->left) / w;
    coords->top += float(sourceRect->top) / h;
    coords->right -= (w - float(sourceRect->right)) / w;
    coords->bottom -= (h - float(sourceRect->bottom)) / h;
  }
  if (destinationRect != nullptr && destination->width > 0 && destination->height > 0) {
    const auto w = float(destination->width), h = float(destination->height);
    coords->left -= float(destinationRect->left) / w;
    coords->top -= float(destinationRect->top) / h;
    coords->right += (w - float(destinationRect->right)) / w;
    coords->bottom += (h - float(destinationRect->bottom)) / h;
  }
  return D3D_OK;
}

void GetSampleOffsets_DownScale4x4(int32_t width, int32_t height, SSampleOffsets& offsets) {
  size_t i = 0;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      offsets[i++] = (float(x) - 1.5f) / float(width);
      offsets[i++] = (float(y) - 1.5f) / float(height);
    }
  }
}

float hdrGaussianDistribution(float x, float y, float rho) {
  const float g = 1.0f / std::sqrt(6.2831855f * rho * rho);
  return g * std::exp(-(x * x + y * y) / (2 * rho * rho));
}

void hdrGetSampleOffsets_GaussBlur5x5(int32_t width, int32_t height, SSampleOffsets& offsets,
                                      SSampleWeights& weights, float multiplier) {
  offsets.fill(0);
  weights.fill(0);
  float total = 0;
  size_t n = 0;
  for (int x = -2; x <= 2; ++x) {
    for (int y = -2; y <= 2; ++y) {
      if (std::abs(x) + std::abs(y) > 2) continue;
      offsets[n * 2] = float(x) / float(width);
      offsets[n * 2 + 1] = float(y) / float(height);
      const float w = hdrGaussianDistribution(float(x), float(y), 1.0f);
      for (size_t k = 0; k < 4; ++k) weights[n * 4 + k] = w;
      total += w;
      ++n;
    }
  }
  for (size_t i = 0; i < n * 4; ++i) weights[i] = weights[i] / total * multiplier;
}

float CAdaptationClock::step(uint32_t nowMs) {
  const float seconds = float(nowMs - lastMs) / 1000.0f;
  lastMs = nowMs;
  return cvClamp(seconds, 0.001f, 0.1f);
}
