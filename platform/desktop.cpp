#include "platform/desktop.h"

#include "platform/HeadlessDesktop.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

HeadlessDesktop& defaultHost() {
  static HeadlessDesktop host(true);
  return host;
}

DesktopHost* currentHost = nullptr;

// US keyboard layout: the characters typed without shift, then those typed with shift, each
// followed by its key.
struct KeyOfChar {
  char character;
  uint8_t virtualKey;
  bool shift;
};
constexpr KeyOfChar kPunctuationKeys[] = {
    {' ', 0x20, false},  {'\b', 0x08, false}, {'\t', 0x09, false}, {'\r', 0x0D, false},
    {'\x1b', 0x1B, false}, {';', 0xBA, false}, {'=', 0xBB, false}, {',', 0xBC, false},
    {'-', 0xBD, false},  {'.', 0xBE, false},  {'/', 0xBF, false},  {'`', 0xC0, false},
    {'[', 0xDB, false},  {'\\', 0xDC, false}, {']', 0xDD, false},  {'\'', 0xDE, false},
    {':', 0xBA, true},   {'+', 0xBB, true},   {'<', 0xBC, true},   {'_', 0xBD, true},
    {'>', 0xBE, true},   {'?', 0xBF, true},   {'~', 0xC0, true},   {'{', 0xDB, true},
    {'|', 0xDC, true},   {'}', 0xDD, true},   {'"', 0xDE, true},   {')', '0', true},
    {'!', '1', true},    {'@', '2', true},    {'#', '3', true},    {'$', '4', true},
    {'%', '5', true},    {'^', '6', true},    {'&', '7', true},    {'*', '8', true},
    {'(', '9', true},
};

int16_t keyCode(int virtualKey, bool shift) {
  return static_cast<int16_t>(virtualKey | (shift ? 0x100 : 0));
}

}  // namespace

DesktopHost* setDesktopHost(DesktopHost* host) {
  DesktopHost* previous = currentHost;
  currentHost = host;
  return previous;
}

DesktopHost& desktopHost() { return currentHost ? *currentHost : defaultHost(); }

int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned style) {
  return desktopHost().messageBox(owner, text ? text : "", caption ? caption : "", style);
}

int16_t GetAsyncKeyState(int virtualKey) {
  return desktopHost().isKeyDown(virtualKey) ? static_cast<int16_t>(0x8000) : 0;
}

int16_t VkKeyScanA(char character) {
  if (character >= 'a' && character <= 'z') return keyCode(character - 'a' + 'A', false);
  if (character >= 'A' && character <= 'Z') return keyCode(character, true);
  if (character >= '0' && character <= '9') return keyCode(character, false);
  for (const KeyOfChar& key : kPunctuationKeys) {
    if (key.character == character) return keyCode(key.virtualKey, key.shift);
  }
  return -1;
}

bool GetCursorPos(POINT* point) {
  if (!point) return false;
  *point = desktopHost().cursorPos();
  return true;
}

bool SetCursorPos(int x, int y) {
  desktopHost().setCursorPos({x, y});
  return true;
}

bool GetWindowRect(HWND window, RECT* rect) {
  if (!rect) return false;
  *rect = desktopHost().windowRect(window);
  return true;
}

HWND GetActiveWindow() { return desktopHost().activeWindow(); }

void PostQuitMessage(int exitCode) { desktopHost().postQuit(exitCode); }

intptr_t SendMessageA(HWND window, unsigned message, uintptr_t, intptr_t) {
  if (message == WM_CLOSE) desktopHost().closeWindow(window);
  return 0;
}

int64_t DesktopHost::clockNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool QueryPerformanceCounter(int64_t* count) {
  if (!count) return false;
  *count = desktopHost().clockNanoseconds();
  return true;
}

bool QueryPerformanceFrequency(int64_t* frequency) {
  if (!frequency) return false;
  *frequency = 1'000'000'000;  // the counter runs in nanoseconds
  return true;
}

uint32_t GetTickCount() {
  int64_t now = 0;
  QueryPerformanceCounter(&now);
  return static_cast<uint32_t>(now / 1'000'000);
}

void GetLocalTime(SYSTEMTIME* time) {
  if (!time) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  time->wYear = static_cast<uint16_t>(local.tm_year + 1900);
  time->wMonth = static_cast<uint16_t>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
  time->wDay = static_cast<uint16_t>(local.tm_mday);
  time->wHour = static_cast<uint16_t>(local.tm_hour);
  time->wMinute = static_cast<uint16_t>(local.tm_min);
  time->wSecond = static_cast<uint16_t>(local.tm_sec);
  time->wMilliseconds = static_cast<uint16_t>(now.tv_nsec / 1'000'000);
}

uint32_t GetModuleFileNameA(void*, char* buffer, uint32_t size) {
  if (!buffer || size == 0) return 0;
  ssize_t length = readlink("/proc/self/exe", buffer, size - 1);
  if (length <= 0) {
    buffer[0] = '\0';
    return 0;
  }
  buffer[length] = '\0';
  return static_cast<uint32_t>(length);
}

bool CreateDirectoryA(const char* path) { return path && mkdir(path, 0777) == 0; }

uint32_t GetCurrentProcessId() { return static_cast<uint32_t>(getpid()); }

uint32_t GetCurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }
