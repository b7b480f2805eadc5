// Open files: a file opened by name, and what is done with it by its handle (read, write,
// position, cut, close).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/error.h"
#include "platform/handle.h"
#include "platform/identity.h"

namespace platform {

enum class Creation : uint8_t { kMustExist, kCreateIfAbsent, kCreateExclusive };

/// What this handle may do with the file.
enum class AccessMode : uint8_t { kRead, kWrite, kReadWrite };

/// What other openers of the file may do while this handle is open. A system without share
/// modes lets them do anything.
enum class ShareMode : uint8_t { kReadWrite, kReadOnly, kWriteOnly, kNone };

struct OpenResult {
  Handle handle;  // not valid when the open failed
  Error error = Error::kNone;
  FileId id;                  // the file opened
  bool isPipe = false;        // a pipe (reached by name, such as a named pipe or /dev/stdin)
  bool positionable = false;  // the file can be positioned (a file, a disk, the null device)
  bool ok() const { return handle.valid(); }
};

/// The bytes a read or write moved, and why it stopped short when it failed.
struct IoResult {
  std::size_t count = 0;
  Error error = Error::kNone;
  bool ok() const { return error == Error::kNone; }
};

/// Opens `path` (NUL-terminated) as a file, never as a terminal that becomes the process's own.
/// The handle is never one of the standard streams'. A folder is refused (Error::kIsFolder); a
/// missing name met while creating is a missing folder (Error::kNoSuchFolder).
OpenResult OpenFile(const char* path, Creation creation, AccessMode access, ShareMode share);

/// Opens the null device for reading and writing, as OpenFile opens a file.
OpenResult OpenNullDevice();

/// Reads at most `size` bytes (one call, retried on interruption); count 0 at the end.
IoResult ReadSome(Handle handle, char* buffer, std::size_t size);

/// Writes all `size` bytes, over as many calls as it takes.
IoResult WriteAll(Handle handle, const char* data, std::size_t size);

/// Writes all `size` bytes at byte `offset` of the file.
IoResult WriteAt(Handle handle, const char* data, std::size_t size, int64_t offset);

/// Moves the file position; returns the new position, or -1.
int64_t SeekTo(Handle handle, int64_t offset);
int64_t SeekToEnd(Handle handle);

/// Cuts the file at `length` bytes. A device or pipe, which cannot be cut, has nothing to lose.
Result CutAt(Handle handle, int64_t length);

/// Closes the handle; those of the standard streams stay open. A file system may report a failed
/// write only here; the handle is gone either way.
Result CloseHandle(Handle handle);

}  // namespace platform
