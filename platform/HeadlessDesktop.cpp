#include "platform/HeadlessDesktop.h"

#include <cstdio>

int HeadlessDesktop::messageBox(HWND, const std::string& text, const std::string& caption,
                                unsigned style) {
  messages.push_back({text, caption, style});
  if (printToStderr) {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }
  switch (style & 0x0F) {
    case MB_YESNO:
      return IDYES;
    default:
      return IDOK;
  }
}

bool HeadlessDesktop::isKeyDown(int virtualKey) { return keysDown.count(virtualKey) != 0; }

void HeadlessDesktop::setKeyDown(int virtualKey, bool down) {
  if (down) {
    keysDown.insert(virtualKey);
  } else {
    keysDown.erase(virtualKey);
  }
}

RECT HeadlessDesktop::windowRect(HWND) { return window; }

void HeadlessDesktop::postQuit(int code) {
  quitPosted = true;
  exitCode = code;
}

int64_t HeadlessDesktop::clockNanoseconds() {
  return setClock ? *setClock : DesktopHost::clockNanoseconds();
}
