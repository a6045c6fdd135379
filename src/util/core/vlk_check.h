// Internal invariants checked in Debug and sanitizer builds and compiled out in Release: a broken
// invariant there is a bug of the caller, reported with its place and ended with abort() so a
// core and the sanitizer's stack are left behind.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <source_location>

namespace vlk {

#if !defined(NDEBUG) || defined(VLK_CHECKS)
inline constexpr bool checks_on = true;
#else
inline constexpr bool checks_on = false;
#endif

[[noreturn]] inline void check_failed(const char* what, const std::source_location& where) {
  std::fprintf(stderr, "FATAL ERROR: %s:%u: %s(): check failed: %s\n", where.file_name(),
               static_cast<unsigned>(where.line()), where.function_name(), what);
  std::abort();
}

// check(cond, "what must hold"): free in Release, abort with the place in checked builds.
inline void check(bool cond, const char* what,
                  const std::source_location& where = std::source_location::current()) {
  if constexpr (checks_on) {
    if (!cond) check_failed(what, where);
  }
}

}  // namespace vlk
