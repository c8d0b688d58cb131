// XSI text comes from users' exporters: importing any text must stay inside it, end, keep its
// nesting within bounds, and leave every kept face addressing vertices of its own mesh.
#include "formats/ZObjectBuilder.h"
#include "fuzz/QuietHost.h"
#include "render/ZCorvane.h"
#include "scene/ZGeometry.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietHost host;
  host.desktop.messages.clear();
  ZCorvane engine;
  ZObjectBuilder builder(&engine);
  builder.loadXSIText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.xsi",
                      size % 2 == 1);
  for (const auto& g : engine.geometries) {
    for (const SFace& f : g->faces) {
      if (!g->isFaceInRange(f)) __builtin_trap();
    }
  }
  return 0;
}
