// glTF text and binary files come from users' modelling tools: importing any of them must stay
// inside its buffers, end, and leave every kept face addressing vertices of its own mesh. An
// input starting with the binary magic "glTF" is read as .glb, any other as .gltf text.
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
  ZCorvane engine;
  ZObjectBuilder builder(&engine);
  // Buffers named by file are looked up in a folder that does not exist.
  builder.loadGLTFBytes(input, "/nonexistent-fuzz-folder/fuzz.gltf", input.starts_with("glTF"));
  for (const auto& g : engine.geometries) {
    for (const SFace& f : g->faces) {
      if (!g->isFaceInRange(f)) __builtin_trap();
    }
  }
  return 0;
}
