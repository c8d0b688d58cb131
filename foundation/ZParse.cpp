#include "foundation/ZParse.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Drops leading blanks and reports a sign: from_chars takes neither blanks nor '+'.
std::string_view skipBlanksAndSign(std::string_view text, bool& negative) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  return text.substr(i);
}

}  // namespace

double cvAtof(std::string_view text) {
  bool negative = false;
  std::string_view digits = skipBlanksAndSign(text, negative);
  if (!digits.empty() && digits.front() == '-') return 0;  // "--1" and "+-1" are not numbers
  double value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Keep strtod's answer: overflow saturates to infinity, underflow to zero.
    bool underflow = false;
    for (const char* p = digits.data(); p < end; ++p) {
      if (*p == 'e' || *p == 'E') underflow = p + 1 < end && p[1] == '-';
    }
    value = underflow ? 0.0 : HUGE_VAL;
  } else if (error != std::errc()) {
    return 0;
  }
  return negative ? -value : value;
}

int cvAtoi(std::string_view text) {
  bool negative = false;
  std::string_view digits = skipBlanksAndSign(text, negative);
  int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > int64_t{INT_MAX} + 1) break;  // saturated; further digits change nothing
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}
