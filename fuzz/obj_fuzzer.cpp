// OBJ and MTL text comes from users' exporters: importing any pair must stay inside the text,
// end, and leave every kept face addressing vertices of its own mesh. The input is the OBJ
// text, then (after the first zero byte, when there is one) the MTL text.
#include "formats/ZObjectBuilder.h"
#include "fuzz/QuietHost.h"
#include "render/ZCorvane.h"
#include "scene/ZGeometry.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietHost host;
  host.desktop.messages.clear();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view obj = input.substr(0, split);
  const std::string_view mtl =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  ZCorvane engine;
  ZObjectBuilder builder(&engine);
  builder.loadOBJText(obj, mtl, "fuzz.obj");
  for (const auto& g : engine.geometries) {
    for (const SFace& f : g->faces) {
      if (!g->isFaceInRange(f)) __builtin_trap();
    }
  }
  return 0;
}
