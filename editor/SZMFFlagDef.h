// One flag of a track: the record of the flag list and the layout of the flag packet (28 bytes).
#pragma once

#include <cstdint>

struct SZMFFlagDef {
  uint8_t code = 61;
  uint8_t padding[3] = {};
  float x = 0, y = 0, z = 0;
  uint8_t unused[8] = {};
  int32_t guid = 0;  // -1 in a packet that announces a new flag
};
static_assert(sizeof(SZMFFlagDef) == 28, "SZMFFlagDef is a 28-byte packet");
