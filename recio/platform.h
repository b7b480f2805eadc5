// Every call the record layer makes to the operating system, behind small result structs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "recio/errors.h"

namespace recio::platform {

inline constexpr int kStdin = 0;
inline constexpr int kStdout = 1;
inline constexpr int kStderr = 2;

enum class Creation { kMustExist, kCreateIfAbsent, kCreateExclusive };
enum class OpenMode { kRead, kWrite, kReadWrite };

/// What a failed call left behind, already mapped to the catalogue row that reports it and to
/// the cause that a program may show beside the row.
struct OpenResult {
  int handle = -1;
  ErrorId failure{};  // meaningful when handle < 0
  ::platform::Error cause = ::platform::Error::kNone;
  uint64_t device = 0;  // the identity of the file opened
  uint64_t inode = 0;
  bool isPipe = false;        // a FIFO (or a pipe reached by name, such as /dev/stdin)
  bool positionable = false;  // the file can be positioned (a regular file, a disk, /dev/null)
};

struct IoResult {
  std::size_t count = 0;  // bytes moved
  bool ok = true;
  ErrorId failure{};  // meaningful when !ok
  ::platform::Error cause = ::platform::Error::kNone;
};

/// The identity of an existing file (device and inode), or the normalised absolute path of a
/// name that does not exist yet.
struct FileIdentity {
  static constexpr std::size_t kPathCapacity = 4096;
  bool exists = false;
  uint64_t device = 0;
  uint64_t inode = 0;
  bool isPipe = false;  // an existing FIFO or pipe; not part of the identity
  // The normalised absolute path of a name that does not exist yet (kept in place, so that an
  // identity can be part of a connection that is initialised before the program starts).
  std::array<char, kPathCapacity> pathText = {};
  std::size_t pathLength = 0;

  std::string_view path() const { return {pathText.data(), pathLength}; }
  bool operator==(const FileIdentity& other) const {
    if (exists != other.exists) return false;
    return exists ? device == other.device && inode == other.inode : path() == other.path();
  }
};

/// What one of standard input, output and error is connected to.
struct StreamInfo {
  bool terminal = false;
  bool regularFile = false;  // then `device` and `inode` identify the file
  uint64_t device = 0;
  uint64_t inode = 0;
};

/// Connects each of standard input, output and error that is not open to the null device, so
/// that no file the run opens can take their numbers, and tells what each one is.
std::array<StreamInfo, 3> PrepareStandardStreams();

/// A write to a pipe whose reader has gone, or past the file size limit, fails like any other
/// write instead of ending the process by a signal.
void IgnoreWriteSignals();

/// Opens `path` (NUL-terminated). A directory is refused with "access not allowed".
OpenResult OpenFile(const char* path, Creation creation, OpenMode mode);

/// Reads at most `size` bytes (one call, retried on interruption). count 0 means the end.
IoResult ReadSome(int handle, char* buffer, std::size_t size);

/// Writes all of `size` bytes, looping over partial writes.
IoResult WriteAll(int handle, const char* data, std::size_t size);

/// Writes all of `size` bytes at byte `offset` of the file.
IoResult WriteAt(int handle, const char* data, std::size_t size, int64_t offset);

/// Moves the file position; returns the new position or -1.
int64_t SeekTo(int handle, int64_t offset);
int64_t SeekToEnd(int handle);

/// Cuts the file at `length` bytes.
IoResult CutAt(int handle, int64_t length);

/// Closes a handle other than those of the standard streams. A file system may report a failed
/// write only here; the handle is gone either way.
IoResult CloseHandle(int handle);

/// For tests of the failure path: the next close of a file handle reports `failure` (after
/// closing the handle).
void FailNextCloseForTesting(ErrorId failure);

/// Removes a file; on failure the row is "DELETE illegal for read-only file" for refused access.
IoResult RemoveFile(const char* path);

bool Exists(const char* path);

FileIdentity IdentityOf(const char* path);

/// A number that differs between processes, for unique scratch names.
uint32_t ProcessNumber();

/// Ends the process at once with `exitCode` (termination work has already run).
[[noreturn]] void ExitProcess(int exitCode);

/// Arranges for `work` to run if the process ends without calling ExitProcess (main returns).
void AtExit(void (*work)());

}  // namespace recio::platform
