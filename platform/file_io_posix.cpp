// POSIX implementation of open files: open(2) and the calls on its descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/close.h"
#include "platform/descriptors_posix.h"
#include "platform/file_io.h"

namespace platform {
namespace {

constexpr int kLastStandardStream = 2;

OpenResult Failed(Error error) {
  OpenResult result;
  result.error = error;
  return result;
}

// A refused open. A missing name met while creating the file is a missing folder, since the file
// itself would have been made.
OpenResult Refused(int error, Creation creation) {
  return Failed(error == ENOENT && creation != Creation::kMustExist ? Error::kNoSuchFolder
                                                                    : ErrorFromErrno(error));
}

// A handle the run opens never takes the number of a standard stream: should one of them be
// closed after all (no null device to fill it), the handle moves above them.
int AboveStandardStreams(int descriptor) {
  if (descriptor < 0 || descriptor > kLastStandardStream) return descriptor;
  const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, kLastStandardStream + 1);
  close(descriptor);
  return moved;
}

// Files and disks can be positioned, pipes and sockets cannot; a character device only tells by
// trying (the null device can, a terminal cannot).
bool IsPositionable(int descriptor, mode_t mode) {
  if (S_ISREG(mode) || S_ISBLK(mode)) return true;
  return S_ISCHR(mode) && lseek(descriptor, 0, SEEK_CUR) >= 0;
}

int AccessFlags(AccessMode access) {
  switch (access) {
    case AccessMode::kRead:
      return O_RDONLY;
    case AccessMode::kWrite:
      return O_WRONLY;
    case AccessMode::kReadWrite:
      break;
  }
  return O_RDWR;
}

int CreationFlags(Creation creation) {
  switch (creation) {
    case Creation::kCreateIfAbsent:
      return O_CREAT;
    case Creation::kCreateExclusive:
      return O_CREAT | O_EXCL;
    case Creation::kMustExist:
      break;
  }
  return 0;
}

// Writes all `size` bytes by calls of `call(from, count, done)` until every byte is written,
// retried on an interruption; a call that writes nothing means a full device.
template <typename WriteCall>
IoResult WriteEverything(const char* data, std::size_t size, WriteCall&& call) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = call(data + done, size - done, done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return IoResult{done, ErrorFromErrno(errno)};
    }
    if (n == 0) return IoResult{done, Error::kNoSpace};
    done += static_cast<std::size_t>(n);
  }
  return IoResult{done};
}

}  // namespace

OpenResult OpenFile(const char* path, Creation creation, AccessMode access, ShareMode share) {
  // POSIX has no share modes: other openers may do anything, whatever `share` asks.
  static_cast<void>(share);
  const int flags = O_CLOEXEC | O_NOCTTY | AccessFlags(access) | CreationFlags(creation);
  int descriptor;
  do {
    descriptor = open(path, flags, 0666);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) return Refused(errno, creation);
  descriptor = AboveStandardStreams(descriptor);
  if (descriptor < 0) return Failed(Error::kTooManyOpenFiles);
  struct stat st {};
  if (fstat(descriptor, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(descriptor);
    return Failed(Error::kIsFolder);
  }
  return OpenResult{Handle{descriptor}, Error::kNone, IdOf(st), S_ISFIFO(st.st_mode),
                    IsPositionable(descriptor, st.st_mode)};
}

OpenResult OpenNullDevice() {
  return OpenFile("/dev/null", Creation::kMustExist, AccessMode::kReadWrite, ShareMode::kReadWrite);
}

IoResult ReadSome(Handle handle, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = read(Descriptor(handle), buffer, size);
    if (n >= 0) return IoResult{static_cast<std::size_t>(n)};
    if (errno != EINTR) return IoResult{0, ErrorFromErrno(errno)};
  }
}

IoResult WriteAll(Handle handle, const char* data, std::size_t size) {
  return WriteEverything(data, size, [handle](const char* from, std::size_t count, std::size_t) {
    return write(Descriptor(handle), from, count);
  });
}

IoResult WriteAt(Handle handle, const char* data, std::size_t size, int64_t offset) {
  return WriteEverything(
      data, size, [handle, offset](const char* from, std::size_t count, std::size_t done) {
        return pwrite(Descriptor(handle), from, count, static_cast<off_t>(offset + done));
      });
}

int64_t SeekTo(Handle handle, int64_t offset) {
  return static_cast<int64_t>(lseek(Descriptor(handle), static_cast<off_t>(offset), SEEK_SET));
}

int64_t SeekToEnd(Handle handle) {
  return static_cast<int64_t>(lseek(Descriptor(handle), 0, SEEK_END));
}

Result CutAt(Handle handle, int64_t length) {
  for (;;) {
    if (ftruncate(Descriptor(handle), static_cast<off_t>(length)) == 0) return {};
    if (errno == EINTR) continue;
    if (errno == EINVAL) return {};  // a device or pipe
    return ResultOfErrno();
  }
}

Result CloseHandle(Handle handle) {
  if (Descriptor(handle) <= kLastStandardStream) return {};
  return Result{CloseSystemHandle(handle)};
}

}  // namespace platform
