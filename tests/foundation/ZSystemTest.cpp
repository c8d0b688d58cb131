#include "foundation/ZSystem.h"

#include "tests/support/CaptureLog.h"
#include "tests/support/ScopedDesktop.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

TEST(ZSystem, TimersBeforeAndAfterInit) {
  ZSystem system;
  EXPECT_EQ(system.getTimeMillis(), 33u);
  EXPECT_EQ(system.getTimeMicros(), 0u);  // no division by a zero tick rate
  CaptureLog log;
  system.initTimer();
  EXPECT_EQ(log.text(), "Init high performance timer...\n");
  EXPECT_GT(system.ticksPerMillisecond, 0u);
  EXPECT_EQ(system.ticksPerMillisecond, system.ticksPerMicrosecond * 1000);
  const uint32_t millis = system.getTimeMillis();
  const uint32_t micros = system.getTimeMicros();
  usleep(20'000);
  EXPECT_GE(system.getTimeMillis() - millis, 19u);
  EXPECT_GE(system.getTimeMicros() - micros, 19'000u);
}

TEST(ZSystem, AppPathIsTheExecutablesFolder) {
  ZSystem system;
  EXPECT_EQ(system.appPath, std::filesystem::canonical("/proc/self/exe").parent_path().string());
}

TEST(ZSystem, FileChecks) {
  TempFolder folder;
  folder.write("Present.DDS", "x");
  folder.enter();
  ZSystem system;
  EXPECT_TRUE(system.fileExists("Present.DDS"));
  EXPECT_TRUE(system.fileExists("present.dds"));  // content names files in any letter case
  EXPECT_FALSE(system.fileExists("absent.dds"));
  EXPECT_FALSE(system.fileExists("."));  // a folder is not a file

  ScopedDesktop desktop;
  CaptureLog log;
  EXPECT_TRUE(system.autoCheckFile("Present.DDS"));
  EXPECT_FALSE(desktop.quitPosted);
  EXPECT_FALSE(system.autoCheckFile("absent.dds"));
  EXPECT_EQ(log.text(), "ZSystem::autoCheckFile : file not found absent.dds\n");
  EXPECT_TRUE(desktop.quitPosted);
  EXPECT_NE(desktop.exitCode, 0);  // a missing file is a failure, not a success
}

TEST(ZSystem, InputStateComesFromTheDesktop) {
  ScopedDesktop desktop;
  ZSystem system;
  EXPECT_FALSE(system.isKeyDown('w'));
  desktop.setKeyDown('W', true);
  EXPECT_TRUE(system.isKeyDown('w'));
  EXPECT_TRUE(system.isKeyDown('W'));  // the shift state does not change the key
  EXPECT_FALSE(system.isKeyDown('s'));

  bool left = true, right = true;
  system.getMouseButtons(left, right);
  EXPECT_FALSE(left);
  EXPECT_FALSE(right);
  desktop.setKeyDown(VK_RBUTTON, true);
  system.getMouseButtons(left, right);
  EXPECT_FALSE(left);
  EXPECT_TRUE(right);

  system.setCursorPosition(120, 45);
  int x = 0, y = 0;
  system.getCursorPosition(x, y);
  EXPECT_EQ(x, 120);
  EXPECT_EQ(y, 45);

  for (int i = 0; i < 1000; ++i) {
    const float r = system.randomUnit();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, 1.0001f);
  }
}

}  // namespace
