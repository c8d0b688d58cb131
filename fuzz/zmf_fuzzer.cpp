// ZMF model bytes from outside, read plain and mirrored into a fresh headless engine: the reader
// must stay inside the bytes, allocate no more than they can hold, and give a root or null.
#include "formats/ZFileZMF.h"
#include "fuzz/QuietHost.h"
#include "render/ZCorvane.h"
#include "scene/ZCamera.h"

#include <cstdint>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietHost host;
  host.desktop.messages.clear();
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
