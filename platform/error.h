// What a failed system call meant, in words of our own that every operating system can give.
#pragma once

#include <cstdint>

namespace platform {

/// The reason a call on files, pipes or processes failed.
enum class Error : uint8_t {
  kNone,
  kNotFound,            // the file does not exist
  kNoSuchFolder,        // a folder on the way does not exist, or is a file
  kNameTooLong,         // the name or one of its parts is longer than the system allows
  kBadName,             // a name the system does not allow (a character it forbids, not UTF-8)
  kDeviceName,          // a name the system keeps for a device, such as NUL or COM1 on Windows
  kAccessDenied,        // the permissions refuse it
  kReadOnlyFileSystem,  // the file system is mounted read-only
  kIsFolder,            // a folder where a file is needed
  kNotAFile,            // a device, pipe or socket where a file that can be positioned is needed
  kExists,              // the name is taken
  kTooManyOpenFiles,    // no handle left
  kTooManyLinks,        // a loop of symbolic links, or too many of them
  kBusy,                // the file is in use in a way that excludes this
  kNoMemory,            // the system could not allocate
  kNoSpace,             // the device is full
  kQuotaExceeded,       // the user's share of the device is used up
  kFileTooLarge,        // past the largest file this process may write
  kNoReader,            // a pipe whose reader has gone
  kDeviceError,         // the device failed
  kInvalid,             // the system refused the arguments
  kOther,               // anything else
};

/// The result of a call that moves no data: ok, or why not.
struct Result {
  Error error = Error::kNone;
  bool ok() const { return error == Error::kNone; }
};

}  // namespace platform
