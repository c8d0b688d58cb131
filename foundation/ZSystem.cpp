#include "foundation/ZSystem.h"

#include "foundation/ZFileName.h"
#include "foundation/ZLog.h"
#include "foundation/cvMath.h"
#include "platform/desktop.h"

#include <cstdio>
#include <cstdlib>

namespace {

int64_t counterNow() {
  int64_t count = 0;
  QueryPerformanceCounter(&count);
  return count;
}

}  // namespace

ZSystem::ZSystem() {
  char path[1024];
  if (GetModuleFileNameA(nullptr, path, sizeof(path)) == 0) {
    appPath = "..";
    return;
  }
  appPath = path;
  const size_t separator = appPath.find_last_of("\\/");
  if (separator != std::string::npos) appPath.resize(separator);
}

void ZSystem::initTimer() {
  zlog("Init high performance timer...\n");
  int64_t frequency = 0;
  QueryPerformanceFrequency(&frequency);
  ticksPerMillisecond = static_cast<uint32_t>(frequency / 1000);
  ticksPerMicrosecond = static_cast<uint32_t>(frequency / 1000000);
}

uint32_t ZSystem::getTimeMillis() const {
  if (ticksPerMillisecond == 0) return 33;
  return static_cast<uint32_t>(counterNow() / ticksPerMillisecond);
}

uint32_t ZSystem::getTimeMicros() const {
  if (ticksPerMicrosecond == 0) return 0;
  return static_cast<uint32_t>(counterNow() / ticksPerMicrosecond);
}

bool ZSystem::fileExists(const std::string& path) const { return canOpenForReading(path); }

bool ZSystem::autoCheckFile(const std::string& path) const {
  if (fileExists(path)) return true;
  zlog("ZSystem::autoCheckFile : file not found %s\n", path.c_str());
  std::fflush(nullptr);
  PostQuitMessage(EXIT_FAILURE);
  return false;
}

bool ZSystem::isKeyDown(char character) const {
  const int16_t key = VkKeyScanA(character);
  if (key == -1) return false;
  return GetAsyncKeyState(key & 0xFF) != 0;  // the high byte is the shift state
}

void ZSystem::getMouseButtons(bool& left, bool& right) const {
  left = GetAsyncKeyState(VK_LBUTTON) != 0;
  right = GetAsyncKeyState(VK_RBUTTON) != 0;
}

void ZSystem::getCursorPosition(int& x, int& y) const {
  POINT point;
  GetCursorPos(&point);
  x = static_cast<int>(point.x);
  y = static_cast<int>(point.y);
}

void ZSystem::setCursorPosition(int x, int y) const { SetCursorPos(x, y); }

float ZSystem::randomUnit() const { return static_cast<float>(cvRand15()) * 3.051851e-5f; }
