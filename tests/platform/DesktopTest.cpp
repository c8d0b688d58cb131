#include "platform/HeadlessDesktop.h"
#include "platform/desktop.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

TEST(Desktop, VkKeyScanMapsCharactersToKeysAndShift) {
  const struct {
    char character;
    int16_t code;
  } cases[] = {{'a', 'A'},       {'A', 0x100 | 'A'}, {'7', '7'},  {' ', 0x20},
               {'+', 0x1BB},     {'=', 0xBB},        {'?', 0x1BF}, {'\r', 0x0D},
               {'\x01', -1},     {'\xe9', -1}};
  for (const auto& c : cases) EXPECT_EQ(VkKeyScanA(c.character), c.code) << int(c.character);
}

TEST(Desktop, CallsReachTheInstalledHost) {
  HeadlessDesktop host(false);
  DesktopHost* previous = setDesktopHost(&host);
  EXPECT_EQ(MessageBoxA(nullptr, "text", "ZMF EDIT", MB_ICONERROR), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "sure?", "ZMF EDIT", MB_YESNO), IDYES);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].caption, "ZMF EDIT");
  EXPECT_EQ(host.messages[0].style, MB_ICONERROR);

  EXPECT_EQ(GetAsyncKeyState('Q'), 0);
  host.setKeyDown('Q', true);
  EXPECT_NE(GetAsyncKeyState('Q') & 0x8000, 0);

  RECT rect;
  ASSERT_TRUE(GetWindowRect(nullptr, &rect));
  EXPECT_EQ(rect.right, host.window.right);

  PostQuitMessage(3);
  EXPECT_TRUE(host.quitPosted);
  EXPECT_EQ(host.exitCode, 3);
  EXPECT_EQ(setDesktopHost(previous), &host);
}

TEST(Desktop, ClocksAndProcessFacts) {
  int64_t frequency = 0, a = 0, b = 0;
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  EXPECT_GT(frequency, 1'000'000);
  QueryPerformanceCounter(&a);
  QueryPerformanceCounter(&b);
  EXPECT_GE(b, a);

  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  EXPECT_EQ(now.wYear, local.tm_year + 1900);
  EXPECT_EQ(now.wMonth, local.tm_mon + 1);

  char path[8];
  const uint32_t length = GetModuleFileNameA(nullptr, path, sizeof(path));
  EXPECT_EQ(length, 7u);  // truncated to the buffer, NUL included
  EXPECT_EQ(path[7], '\0');
  EXPECT_GT(GetCurrentProcessId(), 0u);
  EXPECT_EQ(GetCurrentThreadId(), GetCurrentProcessId());
}

}  // namespace
