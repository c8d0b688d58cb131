#include "editor/IniText.h"

#include "foundation/ZLog.h"

#include <algorithm>
#include <climits>

std::string lineValue(const std::string& value) {
  return value.substr(0, value.find_first_of("\r\n"));
}

namespace {

int sectionsHeld(std::string_view text, std::string_view prefix) {
  int held = 0;
  for (size_t at = text.find(prefix); at != std::string_view::npos && held < INT_MAX;
       at = text.find(prefix, at + prefix.size())) {
    ++held;
  }
  return held;
}

}  // namespace

int heldCount(int announced, std::string_view text, std::string_view prefix,
              const std::string& fileName) {
  const int held = sectionsHeld(text, prefix);
  if (announced <= held) return std::max(announced, 0);
  zlog("%s: %d sections announced, %d held: reading %d\n", fileName.c_str(), announced, held,
       held);
  return held;
}
