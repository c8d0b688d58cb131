// The arithmetic of the HDR chain (CHDRLighting), free of the device: the crop and target sizes,
// texture rectangles and the coordinates that map one target onto another, the sample offsets of
// the 4x4 down-scale and the 13-tap Gaussian blur, and the adaptation's time step.
#pragma once

#include <array>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"

class ZTexture;

// The targets' sizes for a renderer of width x height: the crop is the size rounded down to
// multiples of 8, the scaled scene a quarter of it, the bright pass and bloom two texels wider and
// higher than the scaled scene.
struct SHDRSizes {
  int32_t cropWidth = 0, cropHeight = 0;
  int32_t scaledWidth = 0, scaledHeight = 0;
  int32_t brightWidth = 0, brightHeight = 0;
};
SHDRSizes hdrTargetSizes(int32_t width, int32_t height);

// Left, top, right, bottom in texture coordinates.
struct SCoordRect {
  float left = 0, top = 0, right = 1, bottom = 1;
};

// (0, 0, level-0 width, level-0 height); E_INVALIDARG for a missing argument.
HRESULT GetTextureRect(const ZTexture* texture, RECT* rect);
// The coordinates that draw sourceRect of source (all of it when null) into destinationRect of
// destination (all of it when null); E_INVALIDARG for a missing source, destination or coords.
HRESULT GetTextureCoords(const ZTexture* source, const RECT* sourceRect,
                         const ZTexture* destination, const RECT* destinationRect,
                         SCoordRect* coords);

// 16 float pairs (128 bytes) and 16 float quadruples (256 bytes), as the effect takes them.
using SSampleOffsets = std::array<float, 32>;
using SSampleWeights = std::array<float, 64>;

// ((x - 1.5) / width, (y - 1.5) / height) for y, then x, from 0 to 3.
void GetSampleOffsets_DownScale4x4(int32_t width, int32_t height, SSampleOffsets& offsets);
float hdrGaussianDistribution(float x, float y, float rho);
// The 13 samples with |x| + |y| <= 2 (x outer, y inner, from -2 to 2) and their weights, which
// sum to multiplier; the rest zero.
void hdrGetSampleOffsets_GaussBlur5x5(int32_t width, int32_t height, SSampleOffsets& offsets,
                                      SSampleWeights& weights, float multiplier);

// The seconds the adaptation moves on at a call made at nowMs: the time since the previous call,
// held to 0.001 .. 0.1 (the first call, with no previous one, takes 0.1).
class CAdaptationClock {
 public:
  float step(uint32_t nowMs);

 private:
  uint32_t lastMs = 0;
};
