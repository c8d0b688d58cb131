// Little-endian reader over a borrowed span of file bytes. Every read checks what remains; a
// read past the end yields 0 (or an empty value) and leaves the reader failed for good, so a
// parser may read a whole record and test failed() once. Counts from the file are checked with
// fits() against the bytes left before anything is allocated for them.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : data(bytes) {}

  uint8_t u8() {
    const uint8_t* b = take(1);
    return b ? b[0] : 0;
  }
  uint16_t u16() {
    const uint8_t* b = take(2);
    return b ? uint16_t(b[0] | (b[1] << 8)) : 0;
  }
  uint32_t u32() {
    const uint8_t* b = take(4);
    return b ? uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) |
                   (uint32_t(b[3]) << 24)
             : 0;
  }
  int32_t i32() { return int32_t(u32()); }
  float f32() {
    const uint32_t bits = u32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // A u32 byte count and that many bytes of text.
  std::string string() {
    const uint32_t size = u32();
    const uint8_t* b = take(size);
    return b ? std::string(reinterpret_cast<const char*>(b), size) : std::string();
  }
  // The next count bytes, borrowed from the input; null (and failed) when fewer remain.
  const uint8_t* take(uint64_t count) {
    if (failedRead || count > remaining()) {
      failedRead = true;
      return nullptr;
    }
    const uint8_t* b = data.data() + cursor;
    cursor += size_t(count);
    return b;
  }
  void skip(uint64_t count) { take(count); }
  // True when count records of recordSize bytes can still be read; fails the reader otherwise.
  bool fits(uint64_t count, uint64_t recordSize) {
    if (!failedRead && recordSize != 0 && count > remaining() / recordSize) failedRead = true;
    return !failedRead;
  }
  size_t remaining() const { return failedRead ? 0 : data.size() - cursor; }
  size_t offset() const { return cursor; }
  bool failed() const { return failedRead; }

 private:
  std::span<const uint8_t> data;
  size_t cursor = 0;
  bool failedRead = false;
};
