// Whether this build runs under AddressSanitizer, whose own memory and slower code some tests
// must allow for.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif
