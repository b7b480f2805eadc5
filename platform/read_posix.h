// Reading a descriptor to its end, for the POSIX sources of the platform part.
#pragma once

#include <unistd.h>

#include <string>

#include "platform/error_posix.h"

namespace platform {

inline Result ReadDescriptorToEnd(int descriptor, std::string& bytes) {
  bytes.clear();
  constexpr std::size_t kStep = 64 * 1024;
  for (;;) {
    const std::size_t filled = bytes.size();
    bytes.resize(filled + kStep);
    const ssize_t n = read(descriptor, bytes.data() + filled, kStep);
    bytes.resize(filled + static_cast<std::size_t>(n > 0 ? n : 0));
    if (n == 0) return {};
    if (n < 0 && errno != EINTR) return ResultOfErrno();
  }
}

}  // namespace platform
