#include "archive/CPZFile.h"

#include <algorithm>
#include <cstring>

size_t CPZFile::read(void* buffer, size_t count) {
  const size_t got = std::min(count, data.size() - position);
  if (got > 0) std::memcpy(buffer, data.data() + position, got);
  position += got;
  return got;
}
