// The desktop host for tools, tests and start-up before a window exists: no window, no keys
// pressed. Message boxes are recorded (and printed to standard error when asked) and answer
// their first button; a quit request is recorded for the host program to act on.
#pragma once

#include "platform/desktop.h"

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

  // Presses or releases a key for code under test.
  void setKeyDown(int virtualKey, bool down);

  bool printToStderr;
  std::vector<Message> messages;
  bool quitPosted = false;
  int exitCode = 0;
  RECT window{0, 0, 1024, 768};

 private:
  std::set<int> keysDown;
  POINT cursor;
};
