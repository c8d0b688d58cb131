// The CPU work D3DXCreateTextureFromFileEx and D3DXCreateCubeTextureFromFileEx do between reading
// a file and filling a texture: conversion to A8R8G8B8 (DXT blocks decoded exactly: DXT1's
// three-colour mode gives transparent black), the colour key, resizing and mip-chain
// generation. A8R8G8B8 levels are B, G, R, A bytes per texel. Filters take D3DX_FILTER_* in the
// low byte (higher flag bits are ignored) or D3DX_DEFAULT:
//   NONE     no scaling: the source is copied to the top-left, the rest is transparent black;
//   POINT    nearest texel;
//   LINEAR   bilinear between the four nearest texel centres, edges clamped;
//   TRIANGLE, BOX, D3DX_DEFAULT: box, each texel the area-weighted average of the source texels
//            it covers (odd and non-square sizes included).
// Results are exact integer arithmetic, rounded to nearest.
#pragma once

#include "platform/d3dx/ImageFile.h"

#include <vector>

constexpr DWORD D3DX_FILTER_NONE = 1;
constexpr DWORD D3DX_FILTER_POINT = 2;
constexpr DWORD D3DX_FILTER_LINEAR = 3;
constexpr DWORD D3DX_FILTER_TRIANGLE = 4;
constexpr DWORD D3DX_FILTER_BOX = 5;

// One level of format as A8R8G8B8. Channels a format lacks read as a texture sampler reads
// them: colour 0 for A8, alpha 255 where there is none, green and blue 255 for R32F; float
// channels are clamped to [0, 1]. D3DERR_INVALIDCALL for a format not held or a byte count that
// does not match the level's size.
HRESULT D3DXConvertLevelToA8R8G8B8(D3DFORMAT format, const D3DXImageLevel& source,
                                   D3DXImageLevel& out);

// Replaces every texel equal to key (0xAARRGGBB) by 0x00000000 in an A8R8G8B8 level; key 0
// means no key. Returns how many texels changed.
UINT D3DXApplyColorKey(D3DXImageLevel& level, D3DCOLOR key);

// An A8R8G8B8 level scaled to width x height (1..kD3DXMaxImageSide) with filter.
// D3DERR_INVALIDCALL for a bad level, size or filter; out is unchanged then.
HRESULT D3DXResizeLevel(const D3DXImageLevel& source, UINT width, UINT height, DWORD filter,
                        D3DXImageLevel& out);

// Makes levels (A8R8G8B8, levels[0] the top) exactly levelCount long: extra levels are dropped,
// missing ones are made from the one before with filter. Existing levels must have their chain
// sizes and levelCount must lie in 1..D3DXFullMipCount, else D3DERR_INVALIDCALL.
HRESULT D3DXFillMipChain(std::vector<D3DXImageLevel>& levels, UINT levelCount, DWORD filter);

// The size, level, format and filter arguments of the texture-creation calls.
struct D3DXTextureRequest {
  UINT Width = D3DX_DEFAULT;   // 0, D3DX_DEFAULT or D3DX_FROM_FILE: the file's (no rounding
  UINT Height = D3DX_DEFAULT;  // to powers of two: the device takes any size)
  UINT MipLevels = 0;  // 0 or D3DX_DEFAULT: full chain; D3DX_FROM_FILE: the file's count
  D3DFORMAT Format = D3DFMT_UNKNOWN;  // UNKNOWN or D3DFMT_FROM_FILE: the file's; or A8R8G8B8
  DWORD Filter = D3DX_DEFAULT;        // for resizing the top level
  DWORD MipFilter = D3DX_DEFAULT;     // for generating missing levels
  D3DCOLOR ColorKey = 0;              // 0: none
};

// What D3DXPrepareTextureImage makes of an image of a file's size, level count and format:
// the result's size, level count and format, and whether the file's texels must be converted
// (otherwise they are kept as they are, unless the colour key matches a texel, which only the
// texels can tell). D3DERR_INVALIDCALL for a size past kD3DXMaxImageSide, D3DERR_NOTAVAILABLE
// for a format the request cannot give.
struct D3DXPreparedShape {
  UINT Width = 0, Height = 0, MipLevels = 0;
  D3DFORMAT Format = D3DFMT_UNKNOWN;
  bool Convert = false;
};
HRESULT D3DXPrepareTextureShape(UINT fileWidth, UINT fileHeight, UINT fileLevels,
                                D3DFORMAT fileFormat, const D3DXTextureRequest& request,
                                D3DXPreparedShape& out);

// The texels a texture created from source with request holds, per face and level. The source
// comes back untouched (in its own format, DXT compressed included, cut to the requested level
// count) when the size stays, the file has every requested level, the format stays and the key
// matches no texel. Otherwise the result is A8R8G8B8: file levels converted and keyed, the top
// level resized if asked (then every lower level generated from it), missing levels generated.
// D3DERR_INVALIDCALL for an invalid source or request (a cube asked for non-square faces),
// D3DERR_NOTAVAILABLE for a format other than those above; out is unchanged on failure.
HRESULT D3DXPrepareTextureImage(const D3DXImage& source, const D3DXTextureRequest& request,
                                D3DXImage& out);
