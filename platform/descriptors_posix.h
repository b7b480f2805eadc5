// Descriptors for the POSIX sources of the platform part: a handle's number, the identity of the
// file behind a status, and reading a descriptor to its end.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/error_posix.h"
#include "platform/handle.h"
#include "platform/identity.h"

namespace platform {

inline int Descriptor(Handle handle) {
  return static_cast<int>(handle.value);
}

inline FileId IdOf(const struct stat& st) {
  return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

inline Result ReadDescriptorToEnd(int descriptor, std::string& bytes) {
  bytes.clear();
  constexpr std::size_t kStep = std::size_t{64} * 1024;
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
