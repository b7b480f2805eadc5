// POSIX implementation of the record layer's platform calls.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/error_posix.h"
#include "recio/platform.h"

namespace recio::platform {
namespace {

ErrorId OpenErrorRow(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return ErrorId::kFileNotFound;
    case EEXIST:
      return ErrorId::kFileAlreadyExists;
    case EMFILE:
    case ENFILE:
      return ErrorId::kTooManyOpenFiles;
    case EINVAL:
      return ErrorId::kShareNotInstalled;
    case ENOMEM:
      return ErrorId::kHeapSpaceLimit;
    default:  // EACCES, EPERM, EISDIR, EROFS, ETXTBSY, EBUSY and anything unforeseen
      return ErrorId::kAccessNotAllowed;
  }
}

::platform::Error CauseOf(int error) {
  return ::platform::ErrorFromErrno(error);
}

ErrorId WriteErrorRow(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ErrorId::kNoSpaceLeft;
    default:  // EBADF (opened read-only), EACCES, EPERM, EIO, ...
      return ErrorId::kFileReadOnly;
  }
}

IoResult Failed(ErrorId row, ::platform::Error cause = ::platform::Error::kNone) {
  return IoResult{0, false, row, cause};
}

// A failed write: its row and cause from `error`, with the bytes written before it.
IoResult WriteFailed(std::size_t done, int error) {
  return IoResult{done, false, WriteErrorRow(error), CauseOf(error)};
}

// A refused open: its row and cause from `error`. A missing name met while creating the file is
// a missing folder, since the file itself would have been made.
OpenResult OpenRefused(int error, Creation creation) {
  ::platform::Error cause = CauseOf(error);
  if (error == ENOENT && creation != Creation::kMustExist) cause = ::platform::Error::kNoSuchFolder;
  return OpenResult{-1, OpenErrorRow(error), cause};
}

// Folds "." and ".." out of an absolute path so that two spellings of one name compare equal.
std::string Normalised(const std::string& absolute) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= absolute.size()) {
    std::size_t slash = absolute.find('/', start);
    if (slash == std::string::npos) slash = absolute.size();
    std::string part = absolute.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = slash + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

// A handle the run opens never takes the number of a standard stream: should one of them be
// closed after all (no null device to fill it), the handle moves above them.
int AboveStandardStreams(int handle) {
  if (handle < 0 || handle > kStderr) return handle;
  int moved = fcntl(handle, F_DUPFD_CLOEXEC, kStderr + 1);
  close(handle);
  return moved;
}

// Regular files and disks can be positioned, pipes and sockets cannot; a character device only
// tells by trying (the null device can, a terminal cannot).
bool IsPositionable(int handle, mode_t mode) {
  if (S_ISREG(mode) || S_ISBLK(mode)) return true;
  return S_ISCHR(mode) && lseek(handle, 0, SEEK_CUR) >= 0;
}

constinit ErrorId gNextCloseFailure{};

}  // namespace

std::array<StreamInfo, 3> PrepareStandardStreams() {
  std::array<StreamInfo, 3> streams{};
  for (int handle = kStdin; handle <= kStderr; ++handle) {
    struct stat st {};
    if (fstat(handle, &st) != 0) {
      // Not open: the null device takes its number, the lowest free one.
      int opened = open("/dev/null", O_RDWR | O_NOCTTY);
      if (opened >= 0 && opened != handle) {
        dup2(opened, handle);
        close(opened);
      }
      continue;
    }
    StreamInfo& info = streams[static_cast<std::size_t>(handle)];
    info.terminal = S_ISCHR(st.st_mode) && handle != kStderr && isatty(handle) == 1;
    info.regularFile = S_ISREG(st.st_mode);
    info.device = static_cast<uint64_t>(st.st_dev);
    info.inode = static_cast<uint64_t>(st.st_ino);
  }
  return streams;
}

void IgnoreWriteSignals() {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

OpenResult OpenFile(const char* path, Creation creation, OpenMode mode) {
  int flags = O_CLOEXEC | O_NOCTTY;
  switch (mode) {
    case OpenMode::kRead:
      flags |= O_RDONLY;
      break;
    case OpenMode::kWrite:
      flags |= O_WRONLY;
      break;
    case OpenMode::kReadWrite:
      flags |= O_RDWR;
      break;
  }
  if (creation == Creation::kCreateIfAbsent) flags |= O_CREAT;
  if (creation == Creation::kCreateExclusive) flags |= O_CREAT | O_EXCL;
  int handle;
  do {
    handle = open(path, flags, 0666);
  } while (handle < 0 && errno == EINTR);
  if (handle < 0) return OpenRefused(errno, creation);
  handle = AboveStandardStreams(handle);
  if (handle < 0) return OpenResult{-1, ErrorId::kTooManyOpenFiles};
  struct stat st {};
  if (fstat(handle, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(handle);
    return OpenResult{-1, ErrorId::kAccessNotAllowed, ::platform::Error::kIsFolder};
  }
  return OpenResult{handle,
                    {},
                    ::platform::Error::kNone,
                    static_cast<uint64_t>(st.st_dev),
                    static_cast<uint64_t>(st.st_ino),
                    S_ISFIFO(st.st_mode),
                    IsPositionable(handle, st.st_mode)};
}

IoResult ReadSome(int handle, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = read(handle, buffer, size);
    if (n >= 0) return IoResult{static_cast<std::size_t>(n), true, {}};
    if (errno != EINTR) return Failed(ErrorId::kFileNotOpenForReading, CauseOf(errno));
  }
}

IoResult WriteAll(int handle, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = write(handle, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return WriteFailed(done, errno);
    }
    if (n == 0) return IoResult{done, false, ErrorId::kNoSpaceLeft};
    done += static_cast<std::size_t>(n);
  }
  return IoResult{done, true, {}};
}

IoResult WriteAt(int handle, const char* data, std::size_t size, int64_t offset) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = pwrite(handle, data + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return WriteFailed(done, errno);
    }
    if (n == 0) return IoResult{done, false, ErrorId::kNoSpaceLeft};
    done += static_cast<std::size_t>(n);
  }
  return IoResult{done, true, {}};
}

int64_t SeekTo(int handle, int64_t offset) {
  return static_cast<int64_t>(lseek(handle, static_cast<off_t>(offset), SEEK_SET));
}

int64_t SeekToEnd(int handle) {
  return static_cast<int64_t>(lseek(handle, 0, SEEK_END));
}

IoResult CutAt(int handle, int64_t length) {
  for (;;) {
    if (ftruncate(handle, static_cast<off_t>(length)) == 0) return IoResult{};
    if (errno == EINTR) continue;
    // A device or pipe cannot be cut, and has nothing to lose by it.
    if (errno == EINVAL) return IoResult{};
    return WriteFailed(0, errno);
  }
}

IoResult CloseHandle(int handle) {
  if (handle <= kStderr) return IoResult{};
  // The handle is released even when close reports a failure; it is never closed twice.
  bool failed = close(handle) != 0 && errno != EINTR;
  ErrorId injected = std::exchange(gNextCloseFailure, ErrorId{});
  if (injected != ErrorId{}) return Failed(injected);
  return failed ? WriteFailed(0, errno) : IoResult{};
}

void FailNextCloseForTesting(ErrorId failure) {
  gNextCloseFailure = failure;
}

IoResult RemoveFile(const char* path) {
  // Only files are removed: a device node, pipe or directory reached by name stays.
  struct stat st {};
  if (lstat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    return Failed(ErrorId::kDeleteIllegalReadOnly);
  }
  if (unlink(path) == 0) return IoResult{};
  if (errno == ENOENT) return IoResult{};
  return Failed(ErrorId::kDeleteIllegalReadOnly);
}

bool Exists(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0;
}

FileIdentity IdentityOf(const char* path) {
  FileIdentity identity;
  struct stat st {};
  if (stat(path, &st) == 0) {
    identity.exists = true;
    identity.device = static_cast<uint64_t>(st.st_dev);
    identity.inode = static_cast<uint64_t>(st.st_ino);
    identity.isPipe = S_ISFIFO(st.st_mode);
    return identity;
  }
  std::string absolute = path;
  if (absolute.empty() || absolute[0] != '/') {
    char* cwd = getcwd(nullptr, 0);
    absolute = std::string(cwd != nullptr ? cwd : "") + "/" + absolute;
    std::free(cwd);
  }
  const std::string normalised = Normalised(absolute);
  identity.pathLength = std::min(normalised.size(), identity.pathText.size());
  std::copy_n(normalised.data(), identity.pathLength, identity.pathText.data());
  return identity;
}

uint32_t ProcessNumber() {
  return static_cast<uint32_t>(getpid());
}

void ExitProcess(int exitCode) {
  _exit(exitCode);
}

void AtExit(void (*work)()) {
  std::atexit(work);
}

}  // namespace recio::platform
