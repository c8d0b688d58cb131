// On-screen text for labels and numbers, over a CD3DFont. Positions are in the overlay's
// coordinates: -1..1 across the renderer's full-screen size, y up, (x, y) being the lower-left
// corner of the text's line (blitCentred: its middle). One em of text spans `scale` of those
// units across and scale x 1.3333334 up, so glyphs keep their shape on a 4:3 screen. Text is
// drawn over everything (no depth test), blended, in the current colour, and leaves the
// device's states as it found them; an effect pass still running is ended first by applying
// the renderer's default material. Nothing is drawn before init or without a device.
#pragma once

#include "platform/d3d9/d3d9types.h"
#include "render/CD3DFont.h"

#include <cstdint>
#include <memory>
#include <string>

class ZCorvane;

class ZStringBlitter {
 public:
  static constexpr size_t kMaxFontNameLength = 80;
  // Smallest font height painted: small screens still get legible glyphs to scale down.
  static constexpr int32_t kMinFontHeight = 16;

  ZStringBlitter() = default;
  ZStringBlitter(const ZStringBlitter&) = delete;
  ZStringBlitter& operator=(const ZStringBlitter&) = delete;

  // Takes the renderer (borrowed; release this blitter, or call init again, before the
  // renderer's device goes) and its screen size; fontHeight = the em height in pixels of
  // text at the default scale, at least kMinFontHeight (logged "FONT HEIGHT=%d"); makes the
  // font from fontName (first 80 characters), fontHeight and flags with its device objects;
  // scale = 0.03. False when the font has no device objects (no device, or no font file).
  bool init(ZCorvane* renderer, int32_t flags);
  // Colour of the following text, 0..1 per channel, packed like ZGLRenderer::color4f.
  void setColor(float r, float g, float b, float a);
  void blitString(float x, float y, const std::string& text);
  // label followed by value as "%.2f".
  void blitValue(float x, float y, const std::string& label, float value);
  // At the cursor, "label(x y z)" and "label(a b)" with two decimals each; the cursor then
  // moves by lineStep in y.
  void blitVector(const std::string& label, float x, float y, float z);
  void blitVector2(const std::string& label, float a, float b);
  // Places the cursor and the step added to cursorY after each line (negative: downwards).
  void setCursor(float x, float y, float step);
  // Text centred on (x, y).
  void blitCentred(float x, float y, const std::string& text);

  std::unique_ptr<CD3DFont> font;
  float scale = 0.03f;
  std::string fontName = "Sans";
  int32_t fontHeight = kMinFontHeight;
  ZCorvane* owner = nullptr;  // borrowed
  D3DCOLOR colour = 0xFFFFFFFF;
  float red = 1, green = 1, blue = 1, alpha = 1;
  int32_t halfWidth = 0, halfHeight = 0;  // half the renderer's full-screen size, pixels
  float cursorX = 0, cursorY = 0, lineStep = 0;

 private:
  void draw(float x, float y, const std::string& text, DWORD flags);
};
