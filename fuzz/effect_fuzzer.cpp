// Effect files come from users: splitting one into techniques, passes and uniforms must stay
// inside the text and end for any input.
#include "platform/d3dx/EffectSource.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EffectSource source;
  std::string error;
  if (EffectSource::parse(std::string_view(reinterpret_cast<const char*>(data), size), source,
                          error)) {
    if (source.techniques.empty()) __builtin_trap();
  }
  return 0;
}
