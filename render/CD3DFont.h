// A bitmap font for on-screen text: the printable ASCII characters painted once into a texture
// (GlyphAtlas, from DejaVu Sans, the one face shipped, whatever face name is asked), then each
// string drawn as pre-transformed textured quads in pixels of the render target, blended over
// what is there, without depth test. Drawing sets the device states it needs and puts every one
// back afterwards, so a render-state cache above the device stays true. It leaves the vertex
// format replaced (stream 0 drawn from user memory). The texture is D3DFMT_A8R8G8B8 (white,
// glyph coverage in alpha); a 4-bit-alpha format would lose the anti-aliased edges.
//
// Release the device objects (deleteDeviceObjects or the destructor) while the device and its
// GL context still exist.
#pragma once

#include "platform/d3d9/Direct3DDevice9.h"
#include "platform/d3dx/GlyphAtlas.h"

#include <memory>
#include <string>
#include <string_view>

class CD3DFont {
 public:
  // drawTextScaled flags: kFiltered samples the glyphs bilinearly (else nearest texel);
  // kCentred puts the middle of the text's box at (x, y) instead of its lower-left corner.
  static constexpr DWORD kCentred = 0x1;
  static constexpr DWORD kFiltered = 0x8;
  // The font file every face name is painted from.
  static const char* const kFontPath;

  // faceName is kept for the caller; height is the em size in pixels (1 to
  // GlyphAtlas::kMaxPixelHeight); flags are kept for the caller (the atlas paints the regular
  // face only). Nothing is painted before initDeviceObjects.
  CD3DFont(std::string_view faceName, int height, DWORD flags);
  ~CD3DFont();
  CD3DFont(const CD3DFont&) = delete;
  CD3DFont& operator=(const CD3DFont&) = delete;

  // Paints the characters (shrunk when the device's largest texture is too small) and uploads
  // them as a managed texture; device is borrowed. False, with a log line, when the font cannot
  // be painted or the texture cannot be made; earlier device objects are released first.
  bool initDeviceObjects(IDirect3DDevice9* device);
  void deleteDeviceObjects();

  // Draws text with the lower-left corner of its line box (kCentred: the box's middle) at
  // (x, y) in pixels of the render target, y down. xScale and yScale size it relative to the
  // height the font was made with (1: one texel per pixel). colour is ARGB; the glyph coverage
  // multiplies its alpha. Characters outside ' '..'~' are drawn as '?'. False (nothing drawn)
  // without device objects; an empty text draws nothing and is true.
  bool drawTextScaled(float x, float y, float xScale, float yScale, D3DCOLOR colour,
                      std::string_view text, DWORD flags);

  const std::string& faceName() const { return face; }
  int height() const { return pixelHeight; }
  DWORD flags() const { return creationFlags; }

 private:
  std::string face;
  int pixelHeight;
  DWORD creationFlags;
  IDirect3DDevice9* device = nullptr;      // borrowed
  IDirect3DTexture9* texture = nullptr;    // owned reference
  std::unique_ptr<GlyphAtlas> glyphs;
};
