// ZMT text comes from users and other tools: reading any text must stay inside it, end, and
// allocate no more than the text itself pays for, whatever its counts and indices say.
#include "formats/ZFileZMF.h"
#include "fuzz/QuietHost.h"
#include "render/ZCorvane.h"
#include "scene/ZFrame.h"
#include "scene/ZGeometry.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietHost host;
  host.desktop.messages.clear();
  ZCorvane engine;
  ZFileZMF reader(&engine);
  ZFrame* root = engine.getNewFrame();
  reader.loadTextBytes(std::string_view(reinterpret_cast<const char*>(data), size), root);
  // Every face the reader kept addresses vertices of its own mesh.
  for (const auto& g : engine.geometries) {
    for (const SFace& f : g->faces) {
      if (!g->isFaceInRange(f)) __builtin_trap();
    }
  }
  return 0;
}
