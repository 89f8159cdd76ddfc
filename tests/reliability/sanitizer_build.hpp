// Whether this program was built under a sanitizer that slows every call down
// many times over; long runs then do fewer rounds.
#pragma once

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define ZVTEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define ZVTEST_SANITIZED 1
#endif
#endif

namespace zvtest {

#ifdef ZVTEST_SANITIZED
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif

}  // namespace zvtest
