#include "platform/d3d9/GLFormats.h"

#include <GL/gl.h>
#include <GL/glext.h>

GLFormat glFormatOf(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
      return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, false, true};
    case D3DFMT_X8R8G8B8:  // alpha dropped on upload: samples read alpha 1
      return {GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE, 4, false, true};
    case D3DFMT_R8G8B8:
      return {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, 3, false, false};
    case D3DFMT_R5G6B5:
      return {GL_RGB5, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, false, false};
    case D3DFMT_A1R5G5B5:
      return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, false, false};
    case D3DFMT_X1R5G5B5:
      return {GL_RGB5, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, false, false};
    case D3DFMT_A4R4G4B4:
      return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, false, false};
    case D3DFMT_X4R4G4B4:
      return {GL_RGB4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, false, false};
    case D3DFMT_L8:
      return {GL_LUMINANCE8, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1, false, false};
    case D3DFMT_A8:
      return {GL_ALPHA8, GL_ALPHA, GL_UNSIGNED_BYTE, 1, false, false};
    case D3DFMT_A8L8:
      return {GL_LUMINANCE8_ALPHA8, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, 2, false, false};
    case D3DFMT_A16B16G16R16F:
      return {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8, false, true};
    case D3DFMT_R32F:
      return {GL_R32F, GL_RED, GL_FLOAT, 4, false, true};
    case D3DFMT_A32B32G32R32F:
      return {GL_RGBA32F, GL_RGBA, GL_FLOAT, 16, false, true};
    case D3DFMT_DXT1:
      return {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 8, true, false};
    case D3DFMT_DXT3:
      return {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 16, true, false};
    case D3DFMT_DXT5:
      return {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 16, true, false};
    default:
      return {};
  }
}

size_t levelPitch(const GLFormat& format, uint32_t width) {
  if (format.compressed) return size_t((width + 3) / 4) * format.bytesPerBlock;
  return size_t(width) * format.bytesPerBlock;
}

size_t levelSize(const GLFormat& format, uint32_t width, uint32_t height) {
  const uint32_t rows = format.compressed ? (height + 3) / 4 : height;
  return levelPitch(format, width) * rows;
}

uint32_t fullMipCount(uint32_t width, uint32_t height) {
  uint32_t levels = 1;
  while (width > 1 || height > 1) {
    width = width > 1 ? width / 2 : 1;
    height = height > 1 ? height / 2 : 1;
    ++levels;
  }
  return levels;
}
