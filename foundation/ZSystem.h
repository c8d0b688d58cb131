// Timers, file checks, input state and the executable's folder.
#pragma once

#include <cstdint>
#include <string>

class ZSystem {
 public:
  // Sets appPath.
  ZSystem();
  virtual ~ZSystem() = default;

  // Logs "Init high performance timer..." and reads the counter frequency.
  void initTimer();
  // Milliseconds of the performance counter (wraps at 2^32); 33 until initTimer has run.
  uint32_t getTimeMillis() const;
  // Microseconds of the performance counter (wraps at 2^32); 0 until initTimer has run.
  uint32_t getTimeMicros() const;

  // True when the file opens for binary reading (names resolved as for content files).
  bool fileExists(const std::string& path) const;
  // When the file is missing: logs "ZSystem::autoCheckFile : file not found", flushes, asks the
  // host to quit with a non-zero status and returns false. True when the file exists.
  bool autoCheckFile(const std::string& path) const;

  // Whether the key that types this character is held down.
  bool isKeyDown(char character) const;
  void getMouseButtons(bool& left, bool& right) const;
  void getCursorPosition(int& x, int& y) const;
  void setCursorPosition(int x, int y) const;
  // rand() / 32767 as a float in 0..1.
  float randomUnit() const;

  // Folder of the running executable without a trailing separator; ".." when unknown.
  std::string appPath;
  uint32_t ticksPerMillisecond = 0;
  uint32_t ticksPerMicrosecond = 0;
};
