// One flag of a track: the record of the flag list and the layout of the flag packet (28 bytes).
#pragma once

#include "editor/EditPackets.h"

#include <cstdint>

struct SZMFFlagDef {
  uint8_t code = 61;
  uint8_t padding[3] = {};
  LeF32 x, y, z;
  uint8_t unused[8] = {};
  LeI32 guid;  // -1 in a packet that announces a new flag
};
static_assert(sizeof(SZMFFlagDef) == 28, "SZMFFlagDef is a 28-byte packet");
