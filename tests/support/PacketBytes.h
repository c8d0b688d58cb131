// Command packets as the editor's tests build them: zero-filled packets with their code, and
// the bytes of a record.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A zero-filled packet with its code.
inline Bytes packet(int code, size_t size) {
  Bytes p(size, 0);
  p[0] = uint8_t(code);
  return p;
}

template <typename Record>
Bytes bytesOf(const Record& record) {
  Bytes p(sizeof record);
  std::memcpy(p.data(), &record, sizeof record);
  return p;
}
