// The records of the editor's command protocol, laid out byte for byte as they travel: 4-byte
// fields little-endian on every host, texts NUL-terminated inside fixed fields. Every record is
// made of bytes only, so it has no padding and can be copied to and from a packet as it is.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// A 4-byte field of a packet (int32_t, uint32_t or float), stored little-endian.
template <typename T>
class Le32 {
  static_assert(sizeof(T) == 4, "Le32 holds 4-byte values");

 public:
  Le32() = default;
  Le32(T value) { *this = value; }  // NOLINT: a field reads and writes like its value
  operator T() const {              // NOLINT
    const uint32_t bits = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                          uint32_t(bytes[3]) << 24;
    return std::bit_cast<T>(bits);
  }
  Le32& operator=(T value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(bits >> (8 * i));
    return *this;
  }

 private:
  uint8_t bytes[4] = {};
};
using LeI32 = Le32<int32_t>;
using LeU32 = Le32<uint32_t>;
using LeF32 = Le32<float>;

// The text of a fixed field: up to its first NUL or to the field's end.
template <size_t N>
std::string fieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}
// Writes text into a fixed field, cut to leave room for the NUL; the rest of the field is zeroed.
template <size_t N>
void setFieldText(char (&field)[N], std::string_view text) {
  const size_t length = text.size() < N ? text.size() : N - 1;
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), length);
}

// Texture stage of the selected geometry's material (codes 13 reply and 14).
struct SZMFStageDef {
  uint8_t code = 14;
  uint8_t padding[3] = {};
  LeI32 stage;  // 0 to 7
  LeI32 mipMapFilter, magFilter, minFilter;
  LeI32 alphaArg1, alphaArg2, alphaOp;
  LeI32 colorArg0, colorArg1, colorArg2, colorOp;
  LeI32 textureAddressU, textureAddressV;
  LeF32 textureFactor;  // of the whole material
  LeI32 texCoordIndex;
};
static_assert(sizeof(SZMFStageDef) == 64);

// Named values (codes 25 to 28): effect variables of a material or variables of a geometry.
struct SZMFVariableList {
  static constexpr int kMaxEntries = 32;
  uint8_t code = 0;
  uint8_t count = 0;  // 0 to 32
  char names[kMaxEntries][32] = {};
  uint8_t padding[2] = {};
  LeF32 values[kMaxEntries];
};
static_assert(sizeof(SZMFVariableList) == 1156);

// The selected geometry's material and flags (code 7, both ways).
struct SZMFMaterialDef {
  static constexpr int kLayers = 5;
  uint8_t code = 7;
  uint8_t padding[3] = {};
  LeF32 diffuse[3];
  LeF32 opacity;
  LeF32 ambient[3];
  LeF32 emissive[3];
  LeF32 specular[3];
  LeF32 specularPower;
  uint8_t alphaTest = 0;
  uint8_t alphaBlend = 0;
  uint8_t alphaRef = 0;
  uint8_t layerActive[kLayers] = {};
  char textures[kLayers][256] = {};  // "-" for a layer without texture
  char effectName[256] = {};         // "NONE" in a command: no effect
  uint8_t doubleFaced = 0;
  uint8_t useZBuffer = 0;
  uint8_t noZWrite = 0;
  uint8_t transparent = 0;
  uint8_t castShadow = 0;
  uint8_t padding2[3] = {};
};
static_assert(sizeof(SZMFMaterialDef) == 1612);

// One frame or geometry of the object list (code 5 reply; a code-5 command uses the name only).
struct SZMFObjectDef {
  static constexpr int32_t kFrame = 1;
  static constexpr int32_t kGeometry = 2;
  uint8_t code = 5;
  uint8_t padding[3] = {};
  LeI32 kind;
  LeU32 handle;
  LeU32 parent;  // a frame's parent frame (0 for the root), or the frame holding a geometry
  char name[64] = {};
};
static_assert(sizeof(SZMFObjectDef) == 80);

// A reference point (code 39 command, code 40 both ways). For a "PZTR" name the values are the
// point's x and z and its companion's x (the heading); otherwise x, y and z.
struct SZMFRefDef {
  uint8_t code = 40;
  char name[67] = {};  // the first 63 characters are used
  LeF32 values[3];
};
static_assert(sizeof(SZMFRefDef) == 80);

// A track camera (code 19, both ways). In a command `position[0]` is the camera's index.
struct SZMFCameraDef {
  uint8_t code = 19;
  uint8_t padding[3] = {};
  LeF32 position[3];
  LeI32 tag;  // the target sector
  uint8_t fixed = 0;
  char name[67] = {};
  LeF32 minFov, maxFov, maxDist;
};
static_assert(sizeof(SZMFCameraDef) == 100);

// The sun (light 0) and the ambient light (code 57, both ways).
struct SZMFLightInfo {
  uint8_t code = 57;
  uint8_t padding[3] = {};
  LeF32 sunColour[3];  // diffuse; in a command also specular
  LeF32 ambient[3];
  LeF32 sunDirection[3];
};
static_assert(sizeof(SZMFLightInfo) == 40);

// An incoming packet, read without ever going past its end: bytes past the end read as 0, texts
// stop at their field's end or the packet's, whichever comes first.
class PacketReader {
 public:
  PacketReader(const uint8_t* data, size_t length) : bytes(data), size(length) {}

  int8_t code() const { return int8_t(u8(0)); }
  uint8_t u8(size_t offset) const { return offset < size ? bytes[offset] : 0; }
  int32_t i32(size_t offset) const { return record<LeI32>(offset); }
  uint32_t u32(size_t offset) const { return record<LeU32>(offset); }
  float f32(size_t offset) const { return record<LeF32>(offset); }
  template <typename Record>
  Record record(size_t offset = 0) const {
    std::array<uint8_t, sizeof(Record)> copy{};
    if (offset < size)
      std::memcpy(copy.data(), bytes + offset, std::min(size - offset, copy.size()));
    return std::bit_cast<Record>(copy);
  }
  std::string text(size_t offset, size_t field) const {
    if (offset >= size) return "";
    const char* start = reinterpret_cast<const char*>(bytes) + offset;
    return std::string(start, strnlen(start, std::min(field, size - offset)));
  }
  // A text that runs to the end of the packet.
  std::string textToEnd(size_t offset) const { return text(offset, size); }

  const uint8_t* bytes;
  size_t size;
};
