// A load's progress as a line on standard error, redrawn in place, when standard error is a
// terminal a user watches.
#pragma once

#include "formats/ZFileZMF.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <unistd.h>

class ProgressBar : public IZMFListener {
 public:
  ~ProgressBar() override {
    if (shown) std::fputc('\n', stderr);
  }
  // This bar when standard error is a terminal, else none.
  IZMFListener* listener() { return isatty(fileno(stderr)) ? this : nullptr; }
  void onZMFProgress(const std::string& message, int32_t percent) override {
    const int filled = std::clamp(int(percent), 0, 100) / 5;
    std::fprintf(stderr, "\r[%-20s] %3d%% %-40.40s", std::string(size_t(filled), '#').c_str(),
                 int(percent), message.c_str());
    shown = true;
  }

 private:
  bool shown = false;
};
