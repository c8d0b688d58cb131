// Pictures the sample program writes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// An uncompressed 32-bit TGA, size x size, top row first, from a function giving 0xAARRGGBB per
// texel (x, y).
bool writeTga(const std::string& path, int size, const std::function<uint32_t(int, int)>& texel);
