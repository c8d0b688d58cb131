// Number parsing for outside text with the C runtime's atof/atoi rules (leading blanks
// skipped, parsing stops at the first character that does not fit, 0 when nothing fits), but
// independent of the locale and never reading past the given text.
#pragma once

#include <string_view>

// Double from the longest numeric prefix after blanks; 0 when there is none.
double cvAtof(std::string_view text);
// Integer from the longest [+-]digits prefix after blanks, saturated to the int32 range.
int cvAtoi(std::string_view text);
