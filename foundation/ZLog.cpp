#include "foundation/ZLog.h"

#include <atomic>
#include <cstdarg>

namespace {
FILE* logStream = nullptr;
std::atomic<bool> enabled{true};  // switched on one thread, read on any
}  // namespace

void zlog(const char* format, ...) {
  if (!enabled.load(std::memory_order_relaxed)) return;
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

void zlogSetEnabled(bool on) { enabled.store(on, std::memory_order_relaxed); }

bool zlogEnabled() { return enabled.load(std::memory_order_relaxed); }
