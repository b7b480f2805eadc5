// Files by name: whether and what a name leads to, whole small files, renames, removals, and
// making written data durable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/error.h"
#include "platform/identity.h"

namespace platform {

/// What a name leads to, a link judged by its target.
enum class FileKind : uint8_t { kNone, kFile, kFolder, kOther };  // kOther: a device, pipe, socket

struct NameFacts {
  bool nameExists = false;            // an entry of that name, be it a link that leads nowhere
  FileKind kind = FileKind::kNone;    // what it leads to
  Error writeRefused = Error::kNone;  // for a file: why this process may not write it, if so
  Error readRefused = Error::kNone;   // for a file: why this process may not read it, if so
  FileId id;                          // of what it leads to
};

/// Looks at `path` without opening it.
NameFacts InspectName(const char* path);

/// Whether `path` leads to something (a link that leads nowhere does not).
bool Exists(const char* path);

/// Whether `path` is a folder (or leads to one).
bool IsFolder(const char* path);

/// Reads the whole file `path` into `bytes`; a file longer than `limit` bytes is not read
/// (Error::kFileTooLarge).
Result ReadWholeFile(const char* path, std::string& bytes, std::size_t limit);

/// Reads `path` to its end, whatever it is (a file, a pipe, a device), into `bytes`.
Result ReadToEnd(const char* path, std::string& bytes);

/// Gives file `from` the name `to` in one step. Without `replace` an existing `to` stays as it is
/// and the rename fails with Error::kExists.
Result RenameFile(const char* from, const char* to, bool replace);

/// Removes the file `path`; a name that is already gone is no failure. Only files (and links) are
/// removed: a folder, device or pipe reached by the name stays (Error::kNotAFile).
Result RemoveFile(const char* path);

/// Makes the data written to `files` durable: after it, a crash keeps their bytes. Every file is
/// in one of `folders`, which lets a system sync each file system once instead of each file.
Result SyncFileData(std::span<const std::string> files, std::span<const std::string> folders);

/// Makes the names in `folder` durable: a rename into it survives a crash after this.
Result SyncFolder(const char* folder);

}  // namespace platform
