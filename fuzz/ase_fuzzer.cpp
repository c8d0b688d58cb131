// ASE text from outside, through the main, keyframe and spline passes into a fresh headless
// engine, flat and with the node hierarchy: every index stays inside its list, no count from
// the text is allocated beyond what the text can hold, and every pass returns.
#include "formats/ZObjectBuilder.h"
#include "fuzz/QuietHost.h"
#include "render/ZCorvane.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietHost host;
  host.desktop.messages.clear();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (bool hierarchy : {false, true}) {
    ZCorvane engine;
    ZObjectBuilder builder(&engine);
    builder.useHierarchy = hierarchy;
    builder.loadASEText(text, "fuzz.ase");
    builder.loadAnimationText(text, "fuzz.ase");
    builder.loadSplinesText(text, "fuzz.ase");
  }
  return 0;
}
