// tqCrypto bytes from outside, as a memory container and as a bare scrambled buffer: reads stay
// inside the bytes, report exactly what the data holds, and the buffer form round-trips.
#include "archive/CTQCrypto.h"
#include "foundation/ZLog.h"

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* silence = std::fopen("/dev/null", "w");
  zlogSetStream(silence);

  CTQCrypto container;
  if (container.openBuffer(data, size)) {
    uint8_t chunk[61];
    size_t total = 0;
    while (size_t got = container.read(chunk, sizeof(chunk))) total += got;
    if (total != size - 5) __builtin_trap();  // all but the header
  } else if (size >= 5) {
    __builtin_trap();
  }

  CTQCrypto buffer;
  if (!buffer.unscrambleBuffer(data, size)) {
    if (size != 0) __builtin_trap();
    return 0;
  }
  if (buffer.getResultSize() != size - 1) __builtin_trap();
  std::vector<uint8_t> plain(buffer.getResultSize());
  buffer.copyResult(plain.data());

  CTQCrypto again;
  again.scrambleBuffer(plain.data(), plain.size());
  std::vector<uint8_t> scrambled(again.getResultSize());
  again.copyResult(scrambled.data());
  again.unscrambleBuffer(scrambled.data(), scrambled.size());
  std::vector<uint8_t> back(again.getResultSize());
  again.copyResult(back.data());
  if (back != plain) __builtin_trap();
  return 0;
}
