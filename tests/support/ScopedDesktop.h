// Installs a silent headless desktop host for the lifetime of a test.
#pragma once

#include "platform/HeadlessDesktop.h"

class ScopedDesktop : public HeadlessDesktop {
 public:
  ScopedDesktop() : HeadlessDesktop(false) { previous = setDesktopHost(this); }
  ~ScopedDesktop() override { setDesktopHost(previous); }

 private:
  DesktopHost* previous = nullptr;
};
