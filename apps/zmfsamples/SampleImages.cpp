#include "apps/zmfsamples/SampleImages.h"

#include "foundation/ZReplacingFile.h"

#include <cstdint>
#include <vector>

// An uncompressed 32-bit TGA, top row first, from a function giving 0xAARRGGBB per texel.
bool writeTga(const std::string& path, int size, const std::function<uint32_t(int, int)>& texel) {
  uint8_t header[18] = {};
  header[2] = 2;  // truecolour
  header[12] = uint8_t(size);
  header[13] = uint8_t(size >> 8);
  header[14] = uint8_t(size);
  header[15] = uint8_t(size >> 8);
  header[16] = 32;
  header[17] = 0x28;  // 8 alpha bits, top-left origin
  std::vector<uint8_t> pixels;
  pixels.reserve(size_t(size) * size_t(size) * 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const uint32_t argb = texel(x, y);
      pixels.insert(pixels.end(),
                    {uint8_t(argb), uint8_t(argb >> 8), uint8_t(argb >> 16), uint8_t(argb >> 24)});
    }
  }
  ZReplacingFile file(path);
  file.write(header, sizeof header);
  file.write(pixels.data(), pixels.size());
  return file.commit();
}
