// For harnesses that run engine code: message boxes answered silently (and forgotten between
// inputs) and diagnostics dropped, for the whole run. Use as a function-local static.
#pragma once

#include "foundation/ZLog.h"
#include "platform/HeadlessDesktop.h"

#include <cstdio>

struct QuietHost {
  QuietHost() {
    setDesktopHost(&desktop);
    if (FILE* sink = std::fopen("/dev/null", "w")) zlogSetStream(sink);
  }
  HeadlessDesktop desktop{false};
};
