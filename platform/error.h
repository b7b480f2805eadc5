// What a failed system call meant, in words of our own that every operating system can give.
#pragma once

#include <cstdint>

namespace platform {

/// The reason a call on files, pipes or processes failed.
enum class Error : uint8_t {
  kNone,
  kNotFound,            // the name, or a folder on its way, does not exist
  kNotAFolder,          // a part of the path that should be a folder is a file
  kNameTooLong,         // the name or one of its parts is longer than the system allows
  kAccessDenied,        // the permissions refuse it
  kReadOnlyFileSystem,  // the file system is mounted read-only
  kIsFolder,            // a folder where a file is needed
  kNotAFile,            // a device, pipe or socket where a file is needed
  kExists,              // the name is taken
  kTooManyOpenFiles,    // no handle left
  kNoMemory,            // the system could not allocate
  kNoSpace,             // the device or the quota is full
  kFileTooLarge,        // past the largest file this process may write
  kInvalid,             // the system refused the arguments
  kOther,               // anything else
};

/// The result of a call that moves no data: ok, or why not.
struct Result {
  Error error = Error::kNone;
  bool ok() const { return error == Error::kNone; }
};

}  // namespace platform
