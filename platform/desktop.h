// The desktop services the engine takes from the operating system: message boxes, asynchronous
// key and mouse state, cursor, window rectangle, clocks, local time, process facts and the quit
// request. Calls keep the platform's own spelling so that engine code reads as it would on the
// original platform; what a window system must answer goes through the installed DesktopHost.
//
// The default host is headless (HeadlessDesktop.h): it records message boxes and prints them to
// standard error, reports no keys pressed and records a quit request. The Qt shell installs its
// own host at start.
#pragma once

#include <cstdint>
#include <string>

using HWND = void*;

struct POINT {
  long x = 0;
  long y = 0;
};

struct RECT {
  long left = 0;
  long top = 0;
  long right = 0;
  long bottom = 0;
};

struct SYSTEMTIME {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;  // 1..12
  uint16_t wDayOfWeek = 0;  // 0 = Sunday
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;
};

// Message box styles and results (numeric values as on the original platform).
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_OKCANCEL = 0x01;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Virtual-key codes. Letters and digits are their upper-case ASCII codes.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_MBUTTON = 0x04;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_F1 = 0x70;

// What a window system answers. Implementations: HeadlessDesktop, and the shell's Qt host.
class DesktopHost {
 public:
  virtual ~DesktopHost() = default;
  // Shows a modal message; returns the button pressed (IDOK, IDYES, ...).
  virtual int messageBox(HWND owner, const std::string& text, const std::string& caption,
                         unsigned style) = 0;
  // True while the virtual key (including mouse buttons) is held down.
  virtual bool isKeyDown(int virtualKey) = 0;
  // Screen cursor position in pixels.
  virtual POINT cursorPos() = 0;
  virtual void setCursorPos(POINT position) = 0;
  // Screen rectangle of the window (the main window for a null handle).
  virtual RECT windowRect(HWND window) = 0;
  // The window with keyboard focus, or null.
  virtual HWND activeWindow() = 0;
  // Asks the host to end the program with the exit code once control returns to it.
  virtual void postQuit(int exitCode) = 0;
  // Closes the window as its close button does (the main window for a null handle).
  virtual void closeWindow(HWND window) = 0;
  // The monotonic clock behind QueryPerformanceCounter and GetTickCount, in nanoseconds.
  virtual int64_t clockNanoseconds();
};

// Installs the host that answers the calls below; null restores the default headless host.
// Returns the previous host. The caller keeps ownership.
DesktopHost* setDesktopHost(DesktopHost* host);
DesktopHost& desktopHost();

int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned style);
// Bit 15 set while the key is down.
int16_t GetAsyncKeyState(int virtualKey);
// Virtual-key code of a character in the low byte, shift state (1 = shift) in the high byte;
// -1 when no key types the character.
int16_t VkKeyScanA(char character);
bool GetCursorPos(POINT* point);
bool SetCursorPos(int x, int y);
bool GetWindowRect(HWND window, RECT* rect);
HWND GetActiveWindow();
void PostQuitMessage(int exitCode);
// Window messages: only WM_CLOSE is delivered (to the host's closeWindow); returns 0.
constexpr unsigned WM_CLOSE = 0x0010;
intptr_t SendMessageA(HWND window, unsigned message, uintptr_t wParam, intptr_t lParam);

// Monotonic high-resolution counter and its frequency in ticks per second.
bool QueryPerformanceCounter(int64_t* count);
bool QueryPerformanceFrequency(int64_t* frequency);
// Milliseconds since an arbitrary start; wraps at 2^32.
uint32_t GetTickCount();
void GetLocalTime(SYSTEMTIME* time);

// Full path of the running executable into buffer (NUL-terminated, truncated to size);
// returns the length written, 0 on failure.
uint32_t GetModuleFileNameA(void* module, char* buffer, uint32_t size);
// Creates one folder; false when it could not be created (an existing folder also gives false).
bool CreateDirectoryA(const char* path);
uint32_t GetCurrentProcessId();
uint32_t GetCurrentThreadId();
