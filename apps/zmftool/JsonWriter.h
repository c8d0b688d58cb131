// A small writer of JSON text to a stream: objects, arrays, strings (escaped), numbers and
// booleans, with commas placed for the caller.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class JsonWriter {
 public:
  explicit JsonWriter(FILE* stream) : out(stream) {}

  void beginObject() { open('{'); }
  void endObject() { close('}'); }
  void beginArray() { open('['); }
  void endArray() { close(']'); }
  // The key of the next value inside an object.
  void key(const std::string& name) {
    separate();
    writeString(name);
    std::fputc(':', out);
    afterKey = true;
  }
  // key(name) followed by value(v).
  template <typename T>
  void field(const std::string& name, const T& v) {
    key(name);
    value(v);
  }
  void value(const std::string& text) {
    separate();
    writeString(text);
  }
  void value(const char* text) { value(std::string(text)); }
  // Not-a-number and infinities have no JSON form: they are written as null.
  void value(double number) {
    separate();
    if (std::isfinite(number)) {
      std::fprintf(out, "%.9g", number);
    } else {
      std::fputs("null", out);
    }
  }
  // The shortest text that reads back as the same float.
  void value(float number) {
    if (!std::isfinite(number)) return value(double(number));
    separate();
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, number);
    std::fwrite(text, 1, size_t(result.ptr - text), out);
  }
  void value(int64_t number) {
    separate();
    std::fprintf(out, "%lld", static_cast<long long>(number));
  }
  void value(int number) { value(int64_t(number)); }
  void value(size_t number) { value(int64_t(number)); }
  void value(bool flag) {
    separate();
    std::fputs(flag ? "true" : "false", out);
  }

 private:
  void open(char bracket) {
    separate();
    std::fputc(bracket, out);
    first.push_back(true);
  }
  void close(char bracket) {
    first.pop_back();
    std::fputc(bracket, out);
    if (first.empty()) std::fputc('\n', out);
  }
  // A comma before every value but the first of its container; none right after a key.
  void separate() {
    if (afterKey) {
      afterKey = false;
      return;
    }
    if (first.empty()) return;
    if (!first.back()) std::fputc(',', out);
    first.back() = false;
  }
  // Names in model files are 8-bit text from any code page: text that is not UTF-8 is taken
  // as Latin-1, so the output stays valid JSON.
  void writeString(const std::string& text) {
    const bool utf8 = isUtf8(text);
    std::fputc('"', out);
    for (unsigned char c : text) {
      if (c == '"' || c == '\\') {
        std::fputc('\\', out);
        std::fputc(c, out);
      } else if (c < 0x20) {
        std::fprintf(out, "\\u%04x", c);
      } else if (c >= 0x80 && !utf8) {
        std::fputc(0xC0 | (c >> 6), out);
        std::fputc(0x80 | (c & 0x3F), out);
      } else {
        std::fputc(c, out);
      }
    }
    std::fputc('"', out);
  }
  // Well-formed UTF-8 only: no overlong forms, surrogates or code points above U+10FFFF.
  static bool isUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
      const auto byte = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
      const unsigned char c = byte(i);
      size_t length = 1;
      unsigned char low = 0x80, high = 0xBF;  // range of the second byte
      if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
      } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
      } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
      } else if (c >= 0x80) {
        return false;
      }
      if (i + length > text.size()) return false;
      for (size_t k = 1; k < length; ++k) {
        const unsigned char next = byte(i + k);
        if (k == 1 ? (next < low || next > high) : (next >> 6) != 2) return false;
      }
      i += length;
    }
    return true;
  }


  FILE* out;
  std::vector<bool> first;
  bool afterKey = false;
};
