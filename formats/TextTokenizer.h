// Tokenizer over borrowed text with the C runtime's strtok rules: each call names its own
// delimiter set, skips leading delimiters (so empty lines and empty values vanish), returns the
// next run of other characters and consumes the one delimiter that ends it. Past the end of the
// text a call returns an empty view and leaves the tokenizer failed for good, so a parser may
// read a whole record and test failed() once. It never reads outside the text.
#pragma once

#include <cstddef>
#include <string_view>

class TextTokenizer {
 public:
  explicit TextTokenizer(std::string_view source) : text(source) {}

  // The next token (never empty), borrowed from the text; empty (and failed) when none is left.
  std::string_view next(std::string_view delimiters) {
    if (failedRead) return {};
    const size_t start = text.find_first_not_of(delimiters, cursor);
    if (start == std::string_view::npos) {
      cursor = text.size();
      failedRead = true;
      return {};
    }
    size_t end = text.find_first_of(delimiters, start);
    if (end == std::string_view::npos) end = text.size();
    cursor = end < text.size() ? end + 1 : end;
    return text.substr(start, end - start);
  }
  bool failed() const { return failedRead; }
  // Bytes not yet consumed: a bound on how many more records the text can hold.
  size_t remaining() const { return text.size() - cursor; }

 private:
  std::string_view text;
  size_t cursor = 0;
  bool failedRead = false;
};
