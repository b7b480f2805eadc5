// For tests that run on both systems: which one this is, and a value that differs between them.
#pragma once

namespace x17b_test {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

/// What POSIX and what Windows make of the same thing.
template <typename T>
struct BySystem {
  T posix;
  T windows;
  T here() const { return kWindows ? windows : posix; }
};

}  // namespace x17b_test
