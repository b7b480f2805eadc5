// POSIX implementation of the standard streams: descriptors 0, 1 and 2.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/descriptors_posix.h"
#include "platform/streams.h"

namespace platform {
namespace {

int Descriptor(Stream stream) {
  return static_cast<int>(stream);  // 0, 1, 2
}

std::optional<FileId> FileBehind(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return std::nullopt;
  return IdOf(st);
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
    if (fstat(descriptor, &st) == 0) files[static_cast<std::size_t>(descriptor)] = FileBehind(st);
  }
  return files;
}

std::array<StreamFacts, 3> PrepareStandardStreams() {
  std::array<StreamFacts, 3> streams{};
  for (const Stream stream : {Stream::kInput, Stream::kOutput, Stream::kError}) {
    const int descriptor = Descriptor(stream);
    struct stat st {};
    if (fstat(descriptor, &st) != 0) {
      // Not open: the null device takes its number, the lowest free one.
      const int opened = open("/dev/null", O_RDWR | O_NOCTTY);
      if (opened >= 0 && opened != descriptor) {
        dup2(opened, descriptor);
        close(opened);
      }
      continue;
    }
    StreamFacts& facts = streams[IndexOf(stream)];
    facts.terminal = S_ISCHR(st.st_mode) && stream != Stream::kError && isatty(descriptor) == 1;
    facts.file = FileBehind(st);
  }
  return streams;
}

}  // namespace platform
