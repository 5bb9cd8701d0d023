#pragma once

namespace corridex {

// Whether this build runs under AddressSanitizer (GCC defines __SANITIZE_ADDRESS__, clang
// answers __has_feature).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

} // namespace corridex
