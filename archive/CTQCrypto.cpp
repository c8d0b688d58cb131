#include "archive/CTQCrypto.h"

#include "foundation/ZLog.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace {

// The numbers keys are made of. Containers and archives are readable only with the same table:
// it must never change.
constexpr std::array<uint8_t, 256> kTable = {
    16,  182, 13,  57,  226, 229, 128, 95,  87,  166, 249, 55,  225, 27,  231, 23,
    232, 103, 32,  165, 21,  152, 157, 219, 72,  71,  167, 209, 158, 242, 28,  76,
    132, 173, 60,  235, 172, 49,  9,   8,   155, 254, 200, 109, 7,   248, 89,  199,
    19,  156, 105, 208, 175, 35,  30,  58,  64,  51,  5,   129, 17,  120, 20,  73,
    25,  153, 217, 181, 144, 134, 84,  117, 12,  14,  205, 244, 79,  66,  75,  85,
    78,  169, 45,  82,  80,  34,  91,  52,  187, 183, 94,  233, 39,  62,  83,  86,
    53,  123, 43,  37,  138, 113, 119, 54,  92,  202, 38,  74,  218, 115, 195, 162,
    10,  70,  22,  191, 252, 201, 2,   50,  223, 130, 147, 48,  118, 41,  108, 106,
    81,  96,  56,  47,  40,  121, 236, 146, 211, 239, 247, 160, 36,  214, 174, 42,
    186, 253, 245, 159, 238, 93,  3,   240, 100, 224, 67,  127, 204, 1,   212, 98,
    116, 189, 213, 99,  63,  135, 227, 176, 194, 59,  125, 196, 44,  230, 61,  246,
    184, 68,  255, 237, 111, 151, 65,  149, 164, 6,   171, 210, 46,  228, 18,  107,
    221, 77,  251, 136, 192, 188, 207, 26,  220, 29,  124, 104, 198, 110, 154, 88,
    143, 112, 114, 161, 243, 178, 163, 180, 140, 179, 141, 241, 203, 234, 101, 131,
    216, 4,   0,   11,  31,  148, 90,  133, 97,  69,  15,  170, 193, 250, 177, 126,
    145, 150, 190, 102, 122, 139, 24,  33,  197, 185, 137, 206, 222, 215, 142, 168,
};

constexpr size_t kHeaderSize = 5;  // magic and seed

uint32_t readU32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
         (uint32_t(bytes[3]) << 24);
}

// Adds sign * key characters, advancing keyPosition (wrapping at the key's length).
void applyKey(std::span<uint8_t> bytes, const std::string& key, uint32_t& keyPosition, int sign) {
  for (uint8_t& b : bytes) {
    if (keyPosition >= key.size()) keyPosition = 0;
    b = uint8_t(b + sign * static_cast<unsigned char>(key[keyPosition]));
    ++keyPosition;
  }
  if (keyPosition >= key.size()) keyPosition = 0;
}

}  // namespace

CTQCrypto::~CTQCrypto() { close(); }

const std::string& CTQCrypto::makeKey(uint8_t newSeedValue) {
  tableIndex = newSeedValue % 255;
  const auto advance = [this](int steps) { tableIndex = (tableIndex + steps) % 256; };
  int numbers[8];
  for (int& number : numbers) {
    advance(1);
    number = kTable[tableIndex];
    advance(1);
    advance(kTable[tableIndex]);
  }
  char text[32];
  std::snprintf(text, sizeof(text), "%d-%d-%d-%d-%d-%d-%d-%d", numbers[0], numbers[1],
                numbers[2], numbers[3], numbers[4], numbers[5], numbers[6], numbers[7]);
  key = text;
  keyPosition = 0;
  return key;
}

void CTQCrypto::scramble(std::span<uint8_t> bytes, const std::string& key,
                         uint32_t& keyPosition) {
  applyKey(bytes, key, keyPosition, 1);
}

void CTQCrypto::unscramble(std::span<uint8_t> bytes, const std::string& key,
                           uint32_t& keyPosition) {
  applyKey(bytes, key, keyPosition, -1);
}

uint8_t CTQCrypto::newSeed() { return uint8_t(std::rand() & 0xFF); }

bool CTQCrypto::openWrite(const std::string& fileName) {
  close();
  file = std::fopen(fileName.c_str(), "wb");
  if (!file) {
    zlog("ERROR OPENING FILE %s\n", fileName.c_str());
    return false;
  }
  seed = newSeed();
  const uint8_t header[kHeaderSize] = {uint8_t(kMagic), uint8_t(kMagic >> 8),
                                       uint8_t(kMagic >> 16), uint8_t(kMagic >> 24), seed};
  makeKey(seed);
  return std::fwrite(header, 1, kHeaderSize, file) == kHeaderSize;
}

bool CTQCrypto::write(const void* data, size_t size) {
  if (!file) return false;
  if (size == 0) return true;
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> scrambled(bytes, bytes + size);
  scramble(scrambled, key, keyPosition);
  return std::fwrite(scrambled.data(), 1, size, file) == size;
}

bool CTQCrypto::openRead(const std::string& fileName) {
  close();
  file = std::fopen(fileName.c_str(), "rb");
  if (!file) return false;
  uint8_t header[kHeaderSize];
  if (std::fread(header, 1, kHeaderSize, file) != kHeaderSize || readU32(header) != kMagic) {
    zlog("Error, %s is not a valid tqCrypto file\n", fileName.c_str());
    close();
    return false;
  }
  seed = header[4];
  makeKey(seed);
  return true;
}

size_t CTQCrypto::read(void* buffer, size_t size) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t got = 0;
  if (size == 0) return 0;
  if (file) {
    got = std::fread(out, 1, size, file);
  } else if (inputPosition < input.size()) {
    got = std::min(size, input.size() - inputPosition);
    if (got > 0) std::memcpy(out, input.data() + inputPosition, got);
    inputPosition += got;
  }
  unscramble({out, got}, key, keyPosition);
  return got;
}

void CTQCrypto::close() {
  if (file) std::fclose(file);
  file = nullptr;
  input.clear();
  inputPosition = 0;
}

bool CTQCrypto::openBuffer(const void* data, size_t size) {
  close();
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (size < kHeaderSize) {
    zlog("Error, buffer is not a valid tqCrypto file\n");
    return false;
  }
  if (readU32(bytes) != kMagic) zlog("Error, buffer is not a valid tqCrypto file\n");
  input.assign(bytes, bytes + size);
  inputPosition = kHeaderSize;
  seed = bytes[4];
  makeKey(seed);
  return true;
}

void CTQCrypto::scrambleBuffer(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  seed = newSeed();
  makeKey(seed);
  result.assign(bytes, bytes + size);
  scramble(result, key, keyPosition);
  result.push_back(seed);
}

bool CTQCrypto::unscrambleBuffer(const void* data, size_t size) {
  result.clear();
  if (size == 0) return false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  seed = bytes[size - 1];
  makeKey(seed);
  result.assign(bytes, bytes + size - 1);
  unscramble(result, key, keyPosition);
  return true;
}

void CTQCrypto::copyResult(void* destination) const {
  if (!result.empty()) std::memcpy(destination, result.data(), result.size());
}
