// The desktop the editor core asks, answered by Qt: message boxes as QMessageBox, the key and
// mouse-button state kept from the application's events, the cursor, the viewport's and the
// main window's rectangles, and quit and close requests queued to the event loop.
#pragma once

#include <QObject>
#include <set>

#include "platform/desktop.h"

class QWidget;

class QtDesktopHost : public QObject, public DesktopHost {
 public:
  // Watches every event of the application for keys and buttons. With quiet, message boxes are
  // printed to standard error and answer their first button (unattended runs).
  QtDesktopHost(QWidget& mainWindow, QWidget& viewport, HWND viewportHandle, bool quiet);
  ~QtDesktopHost() override;

  int messageBox(HWND owner, const std::string& text, const std::string& caption,
                 unsigned style) override;
  bool isKeyDown(int virtualKey) override;
  POINT cursorPos() override;
  void setCursorPos(POINT position) override;
  RECT windowRect(HWND window) override;
  HWND activeWindow() override;
  void postQuit(int exitCode) override;
  void closeWindow(HWND window) override;

  // Milliseconds of the steady clock at the last key, button, wheel or pointer move.
  int64_t lastInputMs() const { return lastInput; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget& main;
  QWidget& view;
  HWND viewHandle;
  bool quietMessages;
  std::set<int> keysDown;
  int64_t lastInput = 0;
  DesktopHost* previous = nullptr;
};
