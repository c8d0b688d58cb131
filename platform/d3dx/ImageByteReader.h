// Reader over a borrowed span of image-file bytes (little-endian unless named otherwise), used by
// the image readers before anything is allocated. Every read checks what remains; a read past
// the end yields 0 (or an empty span) and leaves the reader failed for good, so a parser may read
// a whole header and test failed() once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

class ImageByteReader {
 public:
  explicit ImageByteReader(std::span<const uint8_t> bytes) : data(bytes) {}

  uint8_t u8() {
    const std::span<const uint8_t> b = take(1);
    return b.empty() ? 0 : b[0];
  }
  uint16_t u16() {
    const std::span<const uint8_t> b = take(2);
    return b.empty() ? 0 : uint16_t(b[0] | (b[1] << 8));
  }
  uint16_t u16be() {
    const std::span<const uint8_t> b = take(2);
    return b.empty() ? 0 : uint16_t((b[0] << 8) | b[1]);
  }
  uint32_t u32be() {
    const std::span<const uint8_t> b = take(4);
    return b.empty() ? 0 : (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) |
                               uint32_t(b[3]);
  }
  uint32_t u32() {
    const std::span<const uint8_t> b = take(4);
    return b.empty() ? 0 : uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) |
                               (uint32_t(b[3]) << 24);
  }
  // The next count bytes, borrowed from the input; empty (and failed) when fewer remain.
  std::span<const uint8_t> take(uint64_t count) {
    if (failedRead || count > remaining()) {
      failedRead = true;
      return {};
    }
    const std::span<const uint8_t> b = data.subspan(cursor, size_t(count));
    cursor += size_t(count);
    return b;
  }
  void skip(uint64_t count) { take(count); }
  // Bytes left after the cursor; 0 once failed.
  size_t remaining() const { return failedRead ? 0 : data.size() - cursor; }
  bool failed() const { return failedRead; }

 private:
  std::span<const uint8_t> data;
  size_t cursor = 0;
  bool failedRead = false;
};
