// DDS reading and writing behind ImageFile.h (only ImageFile.cpp uses it). The reader checks the
// header (magic, structure sizes, sides, pixel format, cube faces, mip count) and that every
// face and level is present before it allocates; the writer emits a header this reader maps back
// to the same format, type and levels.
#pragma once

#include "platform/d3dx/ImageFile.h"

#include <cstdint>
#include <span>
#include <vector>

namespace DDSCodec {

// True when bytes begin with the DDS magic.
bool isDDS(std::span<const uint8_t> bytes);
// Checks a whole DDS file and fills info; with image non-null also copies every level into it.
// D3DXERR_INVALIDDATA on anything that does not hold.
HRESULT read(std::span<const uint8_t> bytes, D3DXIMAGE_INFO& info, D3DXImage* image);
// Serialises a valid image (D3DERR_INVALIDCALL otherwise) into file.
HRESULT write(const D3DXImage& image, std::vector<uint8_t>& file);

}  // namespace DDSCodec
