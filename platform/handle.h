// The handle of an open file, pipe or stream, as the operating system numbers it.
#pragma once

#include <cstdint>

namespace platform {

/// An open file, pipe or stream; what the number means is the operating system's.
struct Handle {
  intptr_t value = -1;
  constexpr bool valid() const { return value != -1; }
};

}  // namespace platform
