// How each supported Direct3D texture or surface format is stored in OpenGL. D3D keeps 32-bit
// texels as little-endian 0xAARRGGBB, i.e. the bytes B, G, R, A, which GL reads as GL_BGRA.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <cstddef>
#include <cstdint>

struct GLFormat {
  uint32_t internalFormat = 0;  // 0: format not supported
  uint32_t format = 0;          // pixel transfer format (0 for compressed formats)
  uint32_t type = 0;            // pixel transfer type
  uint32_t bytesPerBlock = 0;   // bytes per texel, or per 4x4 block when compressed
  bool compressed = false;
  bool renderable = false;      // may be a colour render target
};

// GL storage of a D3D colour format; internalFormat 0 when unsupported.
GLFormat glFormatOf(D3DFORMAT format);
// Bytes of one row (of blocks for compressed formats) of a level of the given width.
size_t levelPitch(const GLFormat& format, uint32_t width);
// Bytes of a whole level.
size_t levelSize(const GLFormat& format, uint32_t width, uint32_t height);
// Number of levels of a full mip chain down to 1 x 1.
uint32_t fullMipCount(uint32_t width, uint32_t height);
