// Device creation with and without "cfg/corvane.ini": what the present settings say in the log.
#include "platform/gl/HeadlessGLContext.h"
#include "render/ZCorvane.h"
#include "tests/support/CaptureLog.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// The log of creating a device while the working folder holds cfg/corvane.ini with `ini` (none
// when empty). INI values end at a carriage return, as in the files the engine's users write.
std::string creationLog(const std::string& ini) {
  TempFolder folder;
  if (!ini.empty()) folder.write("cfg/corvane.ini", ini);
  folder.enter();
  CaptureLog log;
  std::string error;
  std::unique_ptr<HeadlessGLContext> context = HeadlessGLContext::create(32, 32, &error);
  EXPECT_NE(context, nullptr) << error;
  if (context == nullptr) return {};
  ZCorvane engine;
  EXPECT_TRUE(engine.init(static_cast<HWND>(static_cast<GLContext*>(context.get())), 0));
  return log.text();
}

TEST(DeviceCreation, PresentSettingsComeFromTheIniWhenItLoads) {
  const struct {
    std::string ini;
    std::string present;  // expected lines, "" when none
    std::string absent;   // a line that must not appear
  } cases[] = {
      {"", "", "Using corvane.ini"},
      {"[PRESENT]\r\nBACKBUFFERCOUNT=2\r\nINTERVAL=1\r\nMODE=FLIP\r\n",
       "Using corvane.ini\nBackBufferCount=2\nPresentationInterval=D3DPRESENT_INTERVAL_ONE\n"
       "d3dpp.SwapEffect = D3DSWAPEFFECT_FLIP\n",
       ""},
      // An interval the engine does not know keeps the immediate default, unlogged.
      {"[PRESENT]\r\nBACKBUFFERCOUNT=1\r\nINTERVAL=3\r\n", "Using corvane.ini\nBackBufferCount=1\n",
       "PresentationInterval="},
  };
  for (const auto& c : cases) {
    const std::string log = creationLog(c.ini);
    EXPECT_NE(log.find("creating device 24S8depth\n"), std::string::npos) << log;
    if (!c.present.empty()) {
      EXPECT_NE(log.find(c.present), std::string::npos) << log;
    }
    if (!c.absent.empty()) {
      EXPECT_EQ(log.find(c.absent), std::string::npos) << log;
    }
  }
}

}  // namespace
