// Number parsing for outside text with the C runtime's atof/atoi rules (leading blanks
// skipped, parsing stops at the first character that does not fit, 0 when nothing fits), but
// independent of the locale and never reading past the given text.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>
#include <system_error>

// Double from the longest numeric prefix after blanks; 0 when there is none.
double cvAtof(std::string_view text);
// Integer from the longest [+-]digits prefix after blanks, saturated to the int32 range.
int cvAtoi(std::string_view text);

// std::from_chars for a float (general format), with the same value, end and error; the short
// decimals model files are made of ("-12.3456": at most 2^24 as an integer, at most ten
// decimals) take a fast exact path: that integer divided by a power of ten in float is the
// correctly rounded result.
inline std::from_chars_result parseFloat(const char* first, const char* last, float& value) {
  static constexpr float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                           1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  const char* p = first;
  const bool negative = p < last && *p == '-';
  if (negative) ++p;
  uint32_t mantissa = 0;
  int digits = 0;
  int decimals = -1;  // -1 until the point
  for (; p < last; ++p) {
    const unsigned digit = unsigned(*p - '0');
    if (digit < 10) {
      mantissa = mantissa * 10 + digit;
      if (mantissa > (uint32_t{1} << 24)) return std::from_chars(first, last, value);
      ++digits;
      if (decimals >= 0) ++decimals;
    } else if (*p == '.' && decimals < 0) {
      decimals = 0;
    } else {
      break;
    }
  }
  if (digits == 0 || decimals > 10 || (p < last && (*p == 'e' || *p == 'E'))) {
    return std::from_chars(first, last, value);
  }
  const float magnitude = decimals > 0 ? float(mantissa) / kPowersOfTen[decimals] : float(mantissa);
  value = negative ? -magnitude : magnitude;
  return {p, std::errc()};
}
