// The engine's axes are left-handed; glTF, OBJ, FBX and DAE are right-handed with the same up
// axis. A transform goes between them as S M S with S = diag(1, 1, -1): the entries where exactly
// one of row and column is the third change sign. The same call goes both ways.
#pragma once

#include "foundation/ZMatrix.h"

inline ZMatrix mirroredZ(ZMatrix m) {
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      if ((row == 2) != (column == 2)) m.at(row, column) = -m.at(row, column);
    }
  }
  return m;
}
