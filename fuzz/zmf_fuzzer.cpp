// ZMF model bytes from outside, read plain and mirrored into a fresh headless engine: the reader
// must stay inside the bytes, allocate no more than they can hold, and give a root or null.
#include "formats/ZFileZMF.h"
#include "foundation/ZLog.h"
#include "platform/HeadlessDesktop.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

namespace {

// Silences the log and answers message boxes without printing them.
void quiet() {
  static HeadlessDesktop desktop(false);
  static bool done = false;
  if (done) return;
  done = true;
  setDesktopHost(&desktop);
  zlogSetStream(std::fopen("/dev/null", "w"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quiet();
  const std::span<const uint8_t> bytes(data, size);
  for (bool mirror : {false, true}) {
    ZCorvane engine;
    ZFileZMF reader(&engine);
    std::vector<ZCamera*> cameras;
    reader.cameras = &cameras;
    reader.loadBytes(bytes, mirror ? engine.getNewFrame() : nullptr, mirror);
  }
  return 0;
}
