// POSIX implementation of the standard streams' facts.
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/read_posix.h"
#include "platform/streams.h"

namespace platform {
namespace {

int Descriptor(Stream stream) {
  return static_cast<int>(stream);  // 0, 1, 2
}

}  // namespace

Handle StreamHandle(Stream stream) {
  return Handle{Descriptor(stream)};
}

bool StreamIsOpen(Stream stream) {
  struct stat st {};
  return fstat(Descriptor(stream), &st) == 0;
}

bool IsTerminal(Stream stream) {
  return isatty(Descriptor(stream)) == 1;
}

std::optional<int> TerminalColumns(Stream stream) {
  winsize size{};
  if (ioctl(Descriptor(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
  return size.ws_col;
}

Result ReadToEnd(Stream stream, std::string& bytes) {
  return ReadDescriptorToEnd(Descriptor(stream), bytes);
}

std::array<std::optional<FileId>, 3> StandardStreamFiles() {
  std::array<std::optional<FileId>, 3> files;
  for (int descriptor = 0; descriptor < 3; ++descriptor) {
    struct stat st {};
    if (fstat(descriptor, &st) == 0 && S_ISREG(st.st_mode)) {
      files[static_cast<std::size_t>(descriptor)] =
          FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    }
  }
  return files;
}

}  // namespace platform
