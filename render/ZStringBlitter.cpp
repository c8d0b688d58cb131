#include "render/ZStringBlitter.h"

#include "foundation/ZLog.h"
#include "render/ZCorvane.h"
#include "render/ZGLRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

// Vertical scale over horizontal: square glyphs on a 4:3 screen.
constexpr float kAspect = 1.3333334f;
constexpr float kDefaultScale = 0.03f;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* pattern, ...) {
  va_list arguments;
  va_start(arguments, pattern);
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, pattern, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    text.resize(size_t(length));
    std::vsnprintf(text.data(), text.size() + 1, pattern, arguments);
  }
  va_end(arguments);
  return text;
}

}  // namespace

bool ZStringBlitter::init(ZCorvane* renderer, int32_t flags) {
  owner = renderer;
  halfWidth = renderer != nullptr ? renderer->width / 2 : 0;
  halfHeight = renderer != nullptr ? renderer->height / 2 : 0;
  const float emPixels = kDefaultScale * kAspect * float(halfHeight);
  fontHeight = int32_t(std::clamp(std::lround(emPixels), long(kMinFontHeight),
                                  long(GlyphAtlas::kMaxPixelHeight)));
  zlog("FONT HEIGHT=%d\n", fontHeight);
  if (fontName.size() > kMaxFontNameLength) fontName.resize(kMaxFontNameLength);
  font = std::make_unique<CD3DFont>(fontName, fontHeight, DWORD(flags));
  scale = kDefaultScale;
  return renderer != nullptr && font->initDeviceObjects(renderer->device);
}

void ZStringBlitter::setColor(float r, float g, float b, float a) {
  red = r;
  green = g;
  blue = b;
  alpha = a;
  colour = ZGLRenderer::packColour(r, g, b, a);
}

void ZStringBlitter::blitString(float x, float y, const std::string& text) {
  draw(x, y, text, CD3DFont::kFiltered);
}

void ZStringBlitter::blitValue(float x, float y, const std::string& label, float value) {
  blitString(x, y, format("%s%.2f", label.c_str(), double(value)));
}

void ZStringBlitter::blitVector(const std::string& label, float x, float y, float z) {
  blitString(cursorX, cursorY,
             format("%s(%.2f %.2f %.2f)", label.c_str(), double(x), double(y), double(z)));
  cursorY += lineStep;
}

void ZStringBlitter::blitVector2(const std::string& label, float a, float b) {
  blitString(cursorX, cursorY, format("%s(%.2f %.2f)", label.c_str(), double(a), double(b)));
  cursorY += lineStep;
}

void ZStringBlitter::setCursor(float x, float y, float step) {
  cursorX = x;
  cursorY = y;
  lineStep = step;
}

void ZStringBlitter::blitCentred(float x, float y, const std::string& text) {
  draw(x, y, text, CD3DFont::kFiltered | CD3DFont::kCentred);
}

void ZStringBlitter::draw(float x, float y, const std::string& text, DWORD flags) {
  if (owner == nullptr || owner->device == nullptr || font == nullptr) return;
  // Glyphs need the fixed-function stages: the default material ends a running effect pass.
  if (owner->renderState.currentEffect != nullptr) owner->setDefaultMaterial();
  const float pixelX = float(halfWidth) * (1 + x);
  const float pixelY = float(halfHeight) * (1 - y);
  const auto madeHeight = float(font->height());
  const float xScale = scale * float(halfWidth) / madeHeight;
  const float yScale = scale * kAspect * float(halfHeight) / madeHeight;
  if (font->drawTextScaled(pixelX, pixelY, xScale, yScale, colour, text, flags)) {
    // The text replaced stream 0 and the vertex format.
    owner->currentVertexBuffer = nullptr;
  }
}
