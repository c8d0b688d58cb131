// A8R8G8B8 levels written and read as 0xAARRGGBB values, for the image tests.
#pragma once

#include "platform/d3dx/ImageFile.h"

#include <vector>

inline D3DXImageLevel argbLevel(UINT width, UINT height, const std::vector<D3DCOLOR>& texels) {
  D3DXImageLevel level{width, height, {}};
  for (D3DCOLOR c : texels) {
    for (int shift = 0; shift < 32; shift += 8) level.bytes.push_back(uint8_t(c >> shift));
  }
  return level;
}

inline std::vector<D3DCOLOR> texelsOf(const D3DXImageLevel& level) {
  std::vector<D3DCOLOR> texels;
  for (size_t i = 0; i + 4 <= level.bytes.size(); i += 4) {
    texels.push_back(D3DCOLOR(level.bytes[i]) | (D3DCOLOR(level.bytes[i + 1]) << 8) |
                     (D3DCOLOR(level.bytes[i + 2]) << 16) | (D3DCOLOR(level.bytes[i + 3]) << 24));
  }
  return texels;
}
