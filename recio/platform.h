// Every call the record layer makes to the operating system, behind small result structs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "recio/errors.h"

namespace recio::platform {

inline constexpr int kStdin = 0;
inline constexpr int kStdout = 1;
inline constexpr int kStderr = 2;

enum class Creation { kMustExist, kCreateIfAbsent, kCreateExclusive };
enum class Direction { kRead, kWrite, kReadWrite };

/// What a failed call left behind, already mapped to the catalogue row that reports it.
struct OpenResult {
  int handle = -1;
  ErrorId failure{};    // meaningful when handle < 0
  uint64_t device = 0;  // the identity of the file opened
  uint64_t inode = 0;
  bool isPipe = false;  // a FIFO (or a pipe reached by name, such as /dev/stdin)
};

struct IoResult {
  std::size_t count = 0;  // bytes moved
  bool ok = true;
  ErrorId failure{};  // meaningful when !ok
};

/// The identity of an existing file (device and inode), or the normalised absolute path of a
/// name that does not exist yet.
struct FileIdentity {
  bool exists = false;
  uint64_t device = 0;
  uint64_t inode = 0;
  std::string path;
  bool operator==(const FileIdentity& other) const {
    if (exists != other.exists) return false;
    return exists ? device == other.device && inode == other.inode : path == other.path;
  }
};

bool IsTerminal(int handle);

/// Opens `path` (NUL-terminated). A directory is refused with "access not allowed".
OpenResult OpenFile(const char* path, Creation creation, Direction direction);

/// Turns the read-write handle of a pipe opened by `path` into a read-only one. The new handle
/// is opened before the old one is closed, so nothing already in the pipe is lost.
OpenResult ReopenPipeForReading(const OpenResult& readWrite, const char* path);

/// Reads at most `size` bytes (one call, retried on interruption). count 0 means the end.
IoResult ReadSome(int handle, char* buffer, std::size_t size);

/// Writes all of `size` bytes, looping over partial writes.
IoResult WriteAll(int handle, const char* data, std::size_t size);

/// Writes all of `size` bytes at byte `offset` of the file.
IoResult WriteAt(int handle, const char* data, std::size_t size, int64_t offset);

/// Turns the read-write handle of a pipe opened by `path` into a read-only one. The new handle
/// is opened before the old one is closed, so nothing already in the pipe is lost.
OpenResult ReopenPipeForReading(const OpenResult& readWrite, const char* path);

/// Reads at most `size` bytes at byte `offset`.
IoResult ReadAt(int handle, char* buffer, std::size_t size, int64_t offset);

/// Moves the file position; returns the new position or -1.
int64_t SeekTo(int handle, int64_t offset);
int64_t SeekToEnd(int handle);

/// Cuts the file at `length` bytes.
IoResult CutAt(int handle, int64_t length);

void CloseHandle(int handle);

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
