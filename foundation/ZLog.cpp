#include "foundation/ZLog.h"

#include <cstdarg>

namespace {
FILE* logStream = nullptr;
bool enabled = true;
}  // namespace

void zlog(const char* format, ...) {
  if (!enabled) return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(zlogStream(), format, arguments);
  va_end(arguments);
}

FILE* zlogSetStream(FILE* stream) {
  FILE* previous = logStream;
  logStream = stream;
  return previous;
}

FILE* zlogStream() { return logStream ? logStream : stdout; }

void zlogFlush() { std::fflush(zlogStream()); }

void zlogSetEnabled(bool on) { enabled = on; }

bool zlogEnabled() { return enabled; }
