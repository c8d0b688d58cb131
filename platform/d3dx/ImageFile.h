// Image files on the CPU side: what D3DXGetImageInfoFromFile reports, the texels that texture
// creation starts from, and the DDS writer behind D3DXSaveTextureToFileA. Uploading to the
// device is not done here.
//
// Readers recognise a file by its content, not its name:
// - DDS keeps its own format (DXT1/3/5 blocks exactly as stored; A8R8G8B8, X8R8G8B8, R8G8B8,
//   R5G6B5, A1R5G5B5, A4R4G4B4, L8, A8, A8L8, A16B16G16R16F, R32F), its mip levels (a count of
//   0 in the header means 1) and cube maps (all six faces, +X -X +Y -Y +Z -Z). Bytes after
//   the last level are ignored; volume textures and partial cube maps are refused.
// - TGA (also RLE), PNG, JPG and BMP are decoded to A8R8G8B8. Their info reports the file's own
//   format: with alpha A8R8G8B8; colour without alpha R8G8B8 for TGA and BMP, X8R8G8B8 for PNG
//   and JPG; grey L8; grey with alpha A8L8.
// Sides are 1..kD3DXMaxImageSide. Header counts and sizes are checked against the bytes present
// before anything is allocated; a file that cannot be read gives D3DXERR_INVALIDDATA and leaves
// the outputs unchanged.
#pragma once

#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx/D3DXBuffer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

enum D3DXIMAGE_FILEFORMAT : uint32_t {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
  D3DXIFF_PPM = 5,
  D3DXIFF_DIB = 6,
  D3DXIFF_HDR = 7,
  D3DXIFF_PFM = 8,
};

struct D3DXIMAGE_INFO {
  UINT Width, Height, Depth, MipLevels;
  D3DFORMAT Format;
  D3DRESOURCETYPE ResourceType;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

constexpr UINT D3DX_DEFAULT = UINT(-1);
constexpr UINT D3DX_FROM_FILE = UINT(-3);
constexpr D3DFORMAT D3DFMT_FROM_FILE = D3DFORMAT(-3);

constexpr UINT kD3DXMaxImageSide = 16384;

// One mip level of one face; rows tightly packed top to bottom, DXT formats as 4x4 blocks
// (8 bytes for DXT1, 16 for DXT3/DXT5), A8R8G8B8 as B, G, R, A bytes per texel.
struct D3DXImageLevel {
  UINT width = 0, height = 0;
  std::vector<uint8_t> bytes;
};

// An image in memory: one face (D3DRTYPE_TEXTURE) or six (D3DRTYPE_CUBETEXTURE), each with the
// same number of levels, level i being max(1, side >> i).
struct D3DXImage {
  D3DFORMAT format = D3DFMT_UNKNOWN;
  D3DRESOURCETYPE type = D3DRTYPE_TEXTURE;
  std::vector<std::vector<D3DXImageLevel>> faces;  // [face][level]
};

// Bytes of one width x height level of format; 0 for a format these readers do not hold.
uint64_t D3DXImageLevelSize(D3DFORMAT format, UINT width, UINT height);
// The format's name without its prefix ("DXT1", "A8R8G8B8"); "UNKNOWN" for others.
const char* D3DXFormatName(D3DFORMAT format);
// True for DXT1, DXT3 and DXT5.
bool D3DXIsCompressedFormat(D3DFORMAT format);
// Levels of a full chain down to 1x1 (5x3: 5x3, 2x1, 1x1 = 3); 0 for a zero side.
UINT D3DXFullMipCount(UINT width, UINT height);
// True when image is consistent as described above: a held format, 1 face or 6 square faces,
// sides within 1..kD3DXMaxImageSide, 1 to the full number of levels, every byte count exact.
bool D3DXIsImageValid(const D3DXImage& image);

// The facts of an image file. info must not be null (D3DERR_INVALIDCALL); a file that does not
// open gives D3DERR_NOTFOUND. The name is used as given.
HRESULT D3DXGetImageInfoFromFileA(const char* file, D3DXIMAGE_INFO* info);
HRESULT D3DXGetImageInfoFromFileInMemory(const void* data, UINT size, D3DXIMAGE_INFO* info);

// Reads an image file into image; info (may be null) receives what D3DXGetImageInfo* reports.
HRESULT D3DXLoadImageFromFileA(const char* file, D3DXImage& image, D3DXIMAGE_INFO* info);
HRESULT D3DXLoadImageFromFileInMemory(const void* data, UINT size, D3DXImage& image,
                                      D3DXIMAGE_INFO* info);

// Writes a valid image (D3DERR_INVALIDCALL otherwise) as DDS with all its faces and levels, in a
// form the reader above gives back identically. The file is written beside the target and
// renamed over it only when complete, so a failed save (E_FAIL) keeps the previous file.
HRESULT D3DXSaveImageToDDSFileA(const char* file, const D3DXImage& image);
// The same bytes in a new buffer that the caller releases.
HRESULT D3DXSaveImageToDDSFileInMemory(const D3DXImage& image, ID3DXBuffer** buffer);
