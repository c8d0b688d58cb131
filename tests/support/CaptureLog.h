// Captures what zlog writes during a test.
#pragma once

#include "foundation/ZLog.h"

#include <cstdio>
#include <string>

class CaptureLog {
 public:
  CaptureLog() : file(std::tmpfile()) { previous = zlogSetStream(file); }
  ~CaptureLog() {
    zlogSetStream(previous);
    std::fclose(file);
  }
  CaptureLog(const CaptureLog&) = delete;
  CaptureLog& operator=(const CaptureLog&) = delete;

  // Everything logged so far.
  std::string text() const {
    std::fflush(file);
    std::string out;
    std::rewind(file);
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) out.append(buffer, count);
    std::fseek(file, 0, SEEK_END);
    return out;
  }

 private:
  FILE* file;
  FILE* previous = nullptr;
};
