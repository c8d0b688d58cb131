// Little-endian writer of a binary file. Without a sink it collects the bytes in memory (for
// building small files); with one it fills a chunk of memory and hands each full chunk to the
// sink, so that encoding stays in cache and a big model is never held twice.
#pragma once

#include "foundation/ZReplacingFile.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class ByteWriter {
 public:
  ByteWriter() = default;
  explicit ByteWriter(ZReplacingFile* target) : sink(target), chunk(kChunk), used(0) {}

  void u8(uint8_t v) { raw(&v, 1); }
  void u16(uint16_t v) { raw(&v, 2); }
  void u32(uint32_t v) { raw(&v, 4); }
  void i32(int32_t v) { raw(&v, 4); }
  void f32(float v) { raw(&v, 4); }
  // A u32 byte count and the text.
  void string(const std::string& s) {
    u32(uint32_t(s.size()));
    raw(s.data(), s.size());
  }
  void raw(const void* p, size_t size) {
    if (sink == nullptr) {
      const auto* b = static_cast<const uint8_t*>(p);
      bytes.insert(bytes.end(), b, b + size);
      return;
    }
    if (chunk.size() - used < size) flush();
    if (size > chunk.size()) {
      sink->write(p, size);
      return;
    }
    std::memcpy(chunk.data() + used, p, size);
    used += size;
  }
  // Hands what is left to the sink.
  void flush() {
    if (sink != nullptr) sink->write(chunk.data(), used);
    used = 0;
  }

  std::vector<uint8_t> bytes;  // everything written, when there is no sink

 private:
  static constexpr size_t kChunk = 1 << 20;
  ZReplacingFile* sink = nullptr;
  std::vector<uint8_t> chunk;
  size_t used = 0;
};
static_assert(std::endian::native == std::endian::little, "ByteWriter writes native order");
