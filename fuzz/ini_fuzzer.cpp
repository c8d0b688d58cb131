// INI text from outside: the first line names the section, the second the key, the rest is
// the file's text. Every getter must stay inside the text whatever it holds.
#include "foundation/ZINIReader.h"
#include "foundation/ZParse.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

std::string_view takeLine(std::string_view& rest) {
  const size_t end = rest.find('\n');
  const std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string section(takeLine(rest));
  const std::string key(takeLine(rest));
  ZINIReader reader;
  reader.text = std::string(rest);
  reader.loaded = true;
  const std::string value = reader.getString(section, key);
  if (value.size() > reader.text.size()) __builtin_trap();
  reader.getInt(section, key);
  reader.getFloat(section, key);
  float x, y, z;
  reader.getVector3(section, key, x, y, z);
  cvAtof(rest);
  cvAtoi(rest);
  return 0;
}
