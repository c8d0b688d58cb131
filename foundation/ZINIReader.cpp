#include "foundation/ZINIReader.h"

#include "foundation/ZFileName.h"
#include "foundation/ZParse.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kVector3BufferSize = 256;

// strtok-style: skips leading delimiters, returns the text up to the next delimiter and moves
// past it; empty when nothing is left.
std::string_view nextToken(std::string_view& rest, char delimiter) {
  size_t start = rest.find_first_not_of(delimiter);
  if (start == std::string_view::npos) {
    rest = {};
    return {};
  }
  size_t end = rest.find(delimiter, start);
  std::string_view token = rest.substr(start, end == std::string_view::npos ? end : end - start);
  rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  return token;
}

}  // namespace

void ZINIReader::load(const std::string& fileName) { loaded = readFile(fileName); }

bool ZINIReader::readFile(const std::string& fileName) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(fileName, bytes)) return false;
  // The text ends at the first NUL byte.
  const auto nul = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  setText(std::string(bytes.begin(), nul));
  return true;
}

size_t ZINIReader::findHeader(const std::string& section) const {
  if (section.size() > kIndexedNameLength || section.find(']') != std::string::npos) {
    return text.find("[" + section + "]");
  }
  if (indexedSize != text.size()) {
    headerIndex.clear();
    const std::string_view all(text);
    for (size_t open = all.find('['); open != std::string_view::npos;
         open = all.find('[', open + 1)) {
      const std::string_view after = all.substr(open + 1, kIndexedNameLength + 1);
      const size_t close = after.find(']');
      if (close != std::string_view::npos) headerIndex.try_emplace(after.substr(0, close), open);
    }
    indexedSize = text.size();
  }
  const auto found = headerIndex.find(section);
  return found == headerIndex.end() ? std::string::npos : found->second;
}

std::string ZINIReader::getString(const std::string& section, const std::string& key) const {
  const size_t headerAt = findHeader(section);
  if (headerAt == std::string::npos) return {};
  const size_t bodyStart = headerAt + section.size() + 2;
  const size_t bodyEnd = std::min(text.find('[', bodyStart), text.size());
  const std::string_view body = std::string_view(text).substr(bodyStart, bodyEnd - bodyStart);

  const size_t keyAt = body.find(key);
  if (keyAt == std::string_view::npos) return std::string(body);
  const size_t equals = body.find('=', keyAt);
  if (equals == std::string_view::npos) return {};
  const std::string_view value = body.substr(equals + 1);
  return std::string(value.substr(0, value.find('\r')));
}

float ZINIReader::getFloat(const std::string& section, const std::string& key) const {
  return static_cast<float>(cvAtof(getString(section, key)));
}

int ZINIReader::getInt(const std::string& section, const std::string& key) const {
  return cvAtoi(getString(section, key));
}

void ZINIReader::getVector3(const std::string& section, const std::string& key, float& x,
                            float& y, float& z) const {
  const std::string value = getString(section, key);
  // The value is worked on in a fixed buffer of 256 bytes: longer values are cut.
  std::string_view rest = std::string_view(value).substr(0, kVector3BufferSize - 1);
  x = static_cast<float>(cvAtof(nextToken(rest, ',')));
  y = static_cast<float>(cvAtof(nextToken(rest, ',')));
  z = static_cast<float>(cvAtof(nextToken(rest, '\n')));
}
