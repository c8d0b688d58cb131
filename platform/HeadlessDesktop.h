// The desktop host for tools, tests and start-up before a window exists: no window, no keys
// pressed. Message boxes are recorded (and printed to standard error when asked) and answer
// their first button; a quit request and a window close are recorded for the host program to act on.
#pragma once

#include "platform/desktop.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

class HeadlessDesktop : public DesktopHost {
 public:
  struct Message {
    std::string text;
    std::string caption;
    unsigned style = 0;
  };

  explicit HeadlessDesktop(bool printMessages) : printToStderr(printMessages) {}

  int messageBox(HWND owner, const std::string& text, const std::string& caption,
                 unsigned style) override;
  bool isKeyDown(int virtualKey) override;
  POINT cursorPos() override { return cursor; }
  void setCursorPos(POINT position) override { cursor = position; }
  RECT windowRect(HWND window) override;
  HWND activeWindow() override { return nullptr; }
  void postQuit(int exitCode) override;
  void closeWindow(HWND) override { windowClosed = true; }
  // The real clock, or the set one once setClockMs has been called.
  int64_t clockNanoseconds() override;

  // Presses or releases a key for code under test.
  void setKeyDown(int virtualKey, bool down);
  // Stops the clock at ms milliseconds; from then on it moves only when set again, so timed
  // behaviour is tested deterministically.
  void setClockMs(uint32_t ms) { setClock = int64_t(ms) * 1'000'000; }

  bool printToStderr;
  std::vector<Message> messages;
  bool quitPosted = false;
  int exitCode = 0;
  bool windowClosed = false;
  RECT window{0, 0, 1024, 768};

 private:
  std::optional<int64_t> setClock;
  std::set<int> keysDown;
  POINT cursor;
};
