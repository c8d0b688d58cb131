#include "platform/d3dx/XFileTokenizer.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// Binary token ids.
constexpr uint16_t kTokenName = 1;
constexpr uint16_t kTokenString = 2;
constexpr uint16_t kTokenInteger = 3;
constexpr uint16_t kTokenGuid = 5;
constexpr uint16_t kTokenIntegerList = 6;
constexpr uint16_t kTokenFloatList = 7;
constexpr uint16_t kTokenOpenBrace = 10;
constexpr uint16_t kTokenCloseBrace = 11;
constexpr uint16_t kTokenComma = 19;
constexpr uint16_t kTokenSemicolon = 20;
constexpr uint16_t kTokenTemplate = 31;
constexpr uint16_t kGuidBytes = 16;

constexpr size_t kHeaderBytes = 16;
constexpr size_t kHistoryBytes = 32768;  // MSZIP blocks see the previous 32 KiB as history

bool isBlank(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == 0;
}

bool endsWord(uint8_t c) {
  return isBlank(c) || c == '{' || c == '}' || c == ';' || c == ',' || c == '"';
}

bool startsNumber(uint8_t c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.'; }

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t le64(const uint8_t* p) { return le32(p) | (uint64_t(le32(p + 4)) << 32); }

// Float from a double without the undefined conversion of finite values beyond float range;
// values too small for a float become 0 or a denormal.
bool narrow(double value, float& out) {
  if (std::isfinite(value) && std::fabs(value) > double(FLT_MAX)) return false;
  out = float(value);
  return true;
}

}  // namespace

bool XFileTokenizer::fail() {
  error = true;
  return false;
}

bool XFileTokenizer::open(std::span<const uint8_t> file) {
  body = {};
  inflated.clear();
  cursor = 0;
  error = false;
  listKind = ListKind::None;
  listLeft = 0;
  if (file.size() < kHeaderBytes || std::memcmp(file.data(), "xof ", 4) != 0) return fail();
  for (size_t i = 4; i < 8; ++i) {
    if (file[i] < '0' || file[i] > '9') return fail();
  }
  const auto encoding = std::string_view(reinterpret_cast<const char*>(file.data()) + 8, 4);
  const auto floatSize = std::string_view(reinterpret_cast<const char*>(file.data()) + 12, 4);
  if (floatSize == "0032") {
    floatBytes = 4;
  } else if (floatSize == "0064") {
    floatBytes = 8;
  } else {
    return fail();
  }
  binary = encoding == "bin " || encoding == "bzip";
  if (encoding == "txt " || encoding == "bin ") {
    body = file.subspan(kHeaderBytes);
    return true;
  }
  if (encoding == "tzip" || encoding == "bzip") return inflateBody(file.subspan(kHeaderBytes));
  return fail();
}

// Layout: total size (header included) as a DWORD, then blocks of: uncompressed size (WORD),
// compressed size (WORD, counting the "CK" magic), "CK", raw deflate data.
bool XFileTokenizer::inflateBody(std::span<const uint8_t> compressed) {
  if (compressed.size() < 4) return fail();
  const uint32_t total = le32(compressed.data());
  if (total < kHeaderBytes || total - kHeaderBytes > kMaxBodyBytes) return fail();
  const size_t expected = total - kHeaderBytes;

  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return fail();
  bool ok = true;
  size_t at = 4;
  while (ok && at < compressed.size()) {
    if (compressed.size() - at < 6) {
      ok = false;
      break;
    }
    const size_t plainSize = le16(&compressed[at]);
    const size_t packedSize = le16(&compressed[at + 2]);
    at += 4;
    if (packedSize < 2 || packedSize > compressed.size() - at || compressed[at] != 'C' ||
        compressed[at + 1] != 'K' || plainSize > expected - inflated.size()) {
      ok = false;
      break;
    }
    inflateReset(&stream);
    if (!inflated.empty()) {
      const size_t history = std::min(kHistoryBytes, inflated.size());
      ok = inflateSetDictionary(&stream, inflated.data() + inflated.size() - history,
                                uInt(history)) == Z_OK;
    }
    const size_t start = inflated.size();
    inflated.resize(start + plainSize);
    stream.next_in = const_cast<Bytef*>(&compressed[at + 2]);
    stream.avail_in = uInt(packedSize - 2);
    stream.next_out = inflated.data() + start;
    stream.avail_out = uInt(plainSize);
    const int result = ok ? inflate(&stream, Z_FINISH) : Z_DATA_ERROR;
    ok = stream.avail_out == 0 &&
         (result == Z_STREAM_END || result == Z_OK || result == Z_BUF_ERROR);
    at += packedSize;
  }
  inflateEnd(&stream);
  if (!ok || inflated.size() != expected) return fail();
  body = inflated;
  return true;
}

XFileTokenizer::Token XFileTokenizer::next(std::string* text) {
  if (error) return Token::Error;
  const Token token = binary ? nextBinary(text) : nextText(text);
  return error ? Token::Error : token;
}

void XFileTokenizer::skipGuid() {
  if (error) return;
  if (binary) {
    if (listLeft == 0 && remaining() >= 2u + kGuidBytes && le16(&body[cursor]) == kTokenGuid) {
      cursor += 2u + kGuidBytes;
    }
    return;
  }
  skipBlanks();
  if (cursor < body.size() && body[cursor] == '<') nextText(nullptr);
}

bool XFileTokenizer::skipToClose() {
  for (int depth = 1;;) {
    switch (next()) {
      case Token::OpenBrace:
        ++depth;
        break;
      case Token::CloseBrace:
        if (--depth == 0) return true;
        break;
      case Token::End:
      case Token::Error:
        return fail();
      default:
        break;
    }
  }
}

// --- text encoding ---

void XFileTokenizer::skipBlanks() {
  while (cursor < body.size()) {
    const uint8_t c = body[cursor];
    if (isBlank(c)) {
      ++cursor;
    } else if (c == '#' || (c == '/' && cursor + 1 < body.size() && body[cursor + 1] == '/')) {
      while (cursor < body.size() && body[cursor] != '\n') ++cursor;
    } else {
      return;
    }
  }
}

bool XFileTokenizer::readWord(std::string_view& word) {
  while (true) {
    skipBlanks();
    if (cursor >= body.size()) return fail();
    if (body[cursor] != ';' && body[cursor] != ',') break;
    ++cursor;
  }
  const size_t start = cursor;
  while (cursor < body.size() && !endsWord(body[cursor])) ++cursor;
  if (cursor == start) return fail();
  word = std::string_view(reinterpret_cast<const char*>(body.data()) + start, cursor - start);
  return true;
}

XFileTokenizer::Token XFileTokenizer::nextText(std::string* text) {
  while (true) {
    skipBlanks();
    if (cursor >= body.size()) return Token::End;
    const uint8_t c = body[cursor];
    if (c == ';' || c == ',') {
      ++cursor;
      continue;
    }
    if (c == '{' || c == '}') {
      ++cursor;
      return c == '{' ? Token::OpenBrace : Token::CloseBrace;
    }
    if (c == '"') {
      std::string value;
      if (!readTextString(value)) return Token::Error;
      if (text) *text = std::move(value);
      return Token::String;
    }
    if (c == '<') {
      const auto close = std::find(body.begin() + cursor, body.end(), uint8_t('>'));
      if (close == body.end()) return fail(), Token::Error;
      cursor = size_t(close - body.begin()) + 1;
      return Token::Guid;
    }
    std::string_view word;
    readWord(word);
    if (text) text->assign(word);
    return startsNumber(c) ? Token::Data : Token::Name;
  }
}

bool XFileTokenizer::readTextString(std::string& value) {
  ++cursor;  // opening quote
  while (cursor < body.size()) {
    const uint8_t c = body[cursor++];
    if (c == '"') return true;
    if (c == '\\' && cursor < body.size() && (body[cursor] == '\\' || body[cursor] == '"')) {
      value.push_back(char(body[cursor++]));
    } else {
      value.push_back(char(c));
    }
  }
  return fail();
}

// --- binary encoding ---

bool XFileTokenizer::startList(ListKind kind) {
  if (remaining() < 4) return fail();
  const uint32_t count = le32(&body[cursor]);
  cursor += 4;
  const size_t valueBytes = kind == ListKind::Integers ? 4 : floatBytes;
  if (count > remaining() / valueBytes) return fail();
  listKind = kind;
  listLeft = count;
  return true;
}

XFileTokenizer::Token XFileTokenizer::dropList() {
  cursor += size_t(listLeft) * (listKind == ListKind::Integers ? 4 : floatBytes);
  listLeft = 0;
  return Token::Data;
}

XFileTokenizer::Token XFileTokenizer::nextBinary(std::string* text) {
  if (listLeft > 0) return dropList();
  while (true) {
    if (cursor >= body.size()) return Token::End;
    if (remaining() < 2) return fail(), Token::Error;
    const uint16_t id = le16(&body[cursor]);
    cursor += 2;
    switch (id) {
      case kTokenName:
      case kTokenString: {
        if (remaining() < 4) return fail(), Token::Error;
        const uint32_t length = le32(&body[cursor]);
        cursor += 4;
        const size_t terminator = id == kTokenString ? 2 : 0;
        if (length > remaining() || remaining() - length < terminator) return fail(), Token::Error;
        if (text) text->assign(reinterpret_cast<const char*>(&body[cursor]), length);
        cursor += length;
        if (id == kTokenName) return Token::Name;
        const uint16_t end = le16(&body[cursor]);
        cursor += 2;
        if (end != kTokenComma && end != kTokenSemicolon) return fail(), Token::Error;
        return Token::String;
      }
      case kTokenInteger:
        if (remaining() < 4) return fail(), Token::Error;
        cursor += 4;
        return Token::Data;
      case kTokenGuid:
        if (remaining() < kGuidBytes) return fail(), Token::Error;
        cursor += kGuidBytes;
        return Token::Guid;
      case kTokenIntegerList:
      case kTokenFloatList:
        if (!startList(id == kTokenIntegerList ? ListKind::Integers : ListKind::Floats)) {
          return Token::Error;
        }
        if (listLeft == 0) continue;  // an empty list: on to the next token
        return dropList();            // the values just announced
      case kTokenOpenBrace:
        return Token::OpenBrace;
      case kTokenCloseBrace:
        return Token::CloseBrace;
      case kTokenComma:
      case kTokenSemicolon:
        continue;
      case kTokenTemplate:
        if (text) *text = "template";
        return Token::Name;
      default:
        // Punctuation 12-18 and type keywords 40-52 appear only inside templates.
        if ((id >= 12 && id <= 18) || (id >= 40 && id <= 52)) return Token::Other;
        return fail(), Token::Error;
    }
  }
}

// --- data members ---

bool XFileTokenizer::readUInt(uint32_t& value) {
  if (error) return false;
  if (!binary) {
    std::string_view word;
    if (!readWord(word)) return false;
    if (word.size() > 1 && word[0] == '+') word.remove_prefix(1);
    const auto [end, code] = std::from_chars(word.data(), word.data() + word.size(), value);
    return (code == std::errc() && end == word.data() + word.size()) || fail();
  }
  while (listLeft == 0) {
    if (remaining() < 2) return fail();
    const uint16_t id = le16(&body[cursor]);
    cursor += 2;
    if (id == kTokenInteger) {
      listKind = ListKind::Integers;
      listLeft = 1;
    } else if (id == kTokenIntegerList) {
      if (!startList(ListKind::Integers)) return false;
    } else if (id != kTokenComma && id != kTokenSemicolon) {
      return fail();
    }
  }
  if (listKind != ListKind::Integers || remaining() < 4) return fail();
  value = le32(&body[cursor]);
  cursor += 4;
  --listLeft;
  return true;
}

bool XFileTokenizer::readFloat(float& value) {
  if (error) return false;
  if (!binary) {
    std::string_view word;
    if (!readWord(word)) return false;
    if (word.size() > 1 && word[0] == '+') word.remove_prefix(1);
    const char* first = word.data();
    const char* last = first + word.size();
    auto parsed = std::from_chars(first, last, value);
    if (parsed.ec == std::errc::result_out_of_range) {
      double wide = 0;
      parsed = std::from_chars(first, last, wide);
      if (parsed.ec == std::errc() && !narrow(wide, value))
        parsed.ec = std::errc::result_out_of_range;
    }
    return (parsed.ec == std::errc() && parsed.ptr == last) || fail();
  }
  while (listLeft == 0) {
    if (remaining() < 2) return fail();
    const uint16_t id = le16(&body[cursor]);
    cursor += 2;
    if (id == kTokenFloatList) {
      if (!startList(ListKind::Floats)) return false;
    } else if (id != kTokenComma && id != kTokenSemicolon) {
      return fail();
    }
  }
  if (listKind != ListKind::Floats || remaining() < floatBytes) return fail();
  bool fits = true;
  if (floatBytes == 4) {
    value = std::bit_cast<float>(le32(&body[cursor]));
  } else {
    fits = narrow(std::bit_cast<double>(le64(&body[cursor])), value);
  }
  cursor += floatBytes;
  --listLeft;
  return fits || fail();
}

bool XFileTokenizer::readString(std::string& value) {
  if (error) return false;
  std::string text;
  const Token token = binary ? nextBinary(&text) : nextText(&text);
  if (token != Token::String) return fail();
  value = std::move(text);
  return true;
}
