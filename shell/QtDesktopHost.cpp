#include "shell/QtDesktopHost.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QWidget>
#include <chrono>
#include <cstdio>

namespace {

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The virtual-key code of a Qt key; 0 for keys the core never asks about.
int virtualKeyOf(int key) {
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
    return key;  // the same upper-case ASCII codes
  }
  switch (key) {
    case Qt::Key_Shift:
      return VK_SHIFT;
    case Qt::Key_Control:
      return VK_CONTROL;
    case Qt::Key_Alt:
      return VK_MENU;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_Space:
      return VK_SPACE;
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_End:
      return VK_END;
    case Qt::Key_Home:
      return VK_HOME;
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Delete:
      return VK_DELETE;
    case Qt::Key_F1:
      return VK_F1;
    case Qt::Key_Backspace:
      return VK_BACK;
    case Qt::Key_Tab:
      return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    default:
      return 0;
  }
}

int virtualKeyOf(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return VK_LBUTTON;
    case Qt::RightButton:
      return VK_RBUTTON;
    case Qt::MiddleButton:
      return VK_MBUTTON;
    default:
      return 0;
  }
}

RECT rectOf(const QWidget& widget) {
  const QPoint topLeft = widget.mapToGlobal(QPoint(0, 0));
  return {topLeft.x(), topLeft.y(), topLeft.x() + widget.width(), topLeft.y() + widget.height()};
}

}  // namespace

QtDesktopHost::QtDesktopHost(QWidget& mainWindow, QWidget& viewport, HWND viewportHandle,
                             bool quiet)
    : main(mainWindow), view(viewport), viewHandle(viewportHandle), quietMessages(quiet) {
  qApp->installEventFilter(this);
  previous = setDesktopHost(this);
  lastInput = nowMs();
}

QtDesktopHost::~QtDesktopHost() {
  qApp->removeEventFilter(this);
  setDesktopHost(previous);
}

int QtDesktopHost::messageBox(HWND, const std::string& text, const std::string& caption,
                              unsigned style) {
  const unsigned buttons = style & 0x0F;
  if (quietMessages) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return buttons == MB_YESNO ? IDYES : IDOK;
  }
  QMessageBox box(&main);
  box.setWindowTitle(QString::fromStdString(caption));
  box.setText(QString::fromStdString(text));
  const unsigned icon = style & 0xF0;
  box.setIcon(icon == MB_ICONERROR      ? QMessageBox::Critical
              : icon == MB_ICONQUESTION ? QMessageBox::Question
              : icon == MB_ICONWARNING  ? QMessageBox::Warning
                                        : QMessageBox::Information);
  if (buttons == MB_YESNO) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  } else if (buttons == MB_OKCANCEL) {
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  keysDown.clear();  // releases happen in the box
  switch (box.exec()) {
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    case QMessageBox::Cancel:
      return IDCANCEL;
    default:
      return IDOK;
  }
}

bool QtDesktopHost::isKeyDown(int virtualKey) { return keysDown.count(virtualKey) != 0; }

POINT QtDesktopHost::cursorPos() {
  const QPoint p = QCursor::pos();
  return {p.x(), p.y()};
}

void QtDesktopHost::setCursorPos(POINT position) { QCursor::setPos(position.x, position.y); }

RECT QtDesktopHost::windowRect(HWND window) {
  return window == viewHandle ? rectOf(view) : rectOf(main);
}

HWND QtDesktopHost::activeWindow() { return main.isActiveWindow() ? viewHandle : nullptr; }

void QtDesktopHost::postQuit(int exitCode) {
  QMetaObject::invokeMethod(
      qApp, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
}

void QtDesktopHost::closeWindow(HWND) {
  QMetaObject::invokeMethod(
      &main, [this] { main.close(); }, Qt::QueuedConnection);
}

bool QtDesktopHost::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->isAutoRepeat()) break;
      const int vk = virtualKeyOf(key->key());
      if (vk != 0 && event->type() == QEvent::KeyPress) keysDown.insert(vk);
      if (vk != 0 && event->type() == QEvent::KeyRelease) keysDown.erase(vk);
      lastInput = nowMs();
      break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
      const int vk = virtualKeyOf(static_cast<QMouseEvent*>(event)->button());
      if (vk != 0 && event->type() == QEvent::MouseButtonPress) keysDown.insert(vk);
      if (vk != 0 && event->type() == QEvent::MouseButtonRelease) keysDown.erase(vk);
      lastInput = nowMs();
      break;
    }
    case QEvent::MouseMove:
    case QEvent::Wheel:
      lastInput = nowMs();
      break;
    case QEvent::ApplicationDeactivate:
      keysDown.clear();  // releases go to another program
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}
