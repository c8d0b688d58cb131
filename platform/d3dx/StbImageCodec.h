// TGA, PNG, JPG and BMP reading behind ImageFile.h (only ImageFile.cpp uses it), decoded by
// stb_image. Before stb_image sees a file, the container is named from its first bytes (other
// containers stb_image knows are refused) and the checks its decoders lack are made, so that
// no file makes it read out of bounds or allocate for more than its bytes can hold:
// - TGA and BMP must hold every texel's bytes (stb_image reads zeros past the end instead);
// - a PNG's chunks must lie inside the file (stb_image allocates a chunk's stated length first)
//   and its rows be no more than deflate can expand the file to;
// - a JPEG's Huffman tables must hold at most 256 codes and every table a scan uses be defined
//   (stb_image overruns its arrays otherwise), and its size fit its bytes.
#pragma once

#include "platform/d3dx/ImageFile.h"

#include <cstdint>
#include <span>

namespace StbImageCodec {

// Fills info for a file; with image non-null also decodes it into one A8R8G8B8 level.
// D3DXERR_INVALIDDATA for anything unreadable.
HRESULT read(std::span<const uint8_t> bytes, D3DXIMAGE_INFO& info, D3DXImage* image);

}  // namespace StbImageCodec
