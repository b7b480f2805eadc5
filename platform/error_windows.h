// The meaning of a Windows error code, for the Windows sources of the platform part.
#pragma once

#include <windows.h>

#include "platform/error.h"

namespace platform {

// ERROR_DISK_QUOTA_EXCEEDED, which the headers of MinGW-w64 10 do not name.
inline constexpr DWORD kDiskQuotaExceeded = 1295;

inline Error ErrorFromWin32(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return Error::kNone;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:  // a folder on the way is missing: POSIX's ENOENT too
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return Error::kNotFound;
    case ERROR_DIRECTORY:  // a part of the path that must be a folder is not
      return Error::kNoSuchFolder;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
      return Error::kNameTooLong;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_NO_UNICODE_TRANSLATION:
      return Error::kBadName;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
      return Error::kAccessDenied;
    case ERROR_WRITE_PROTECT:
      return Error::kReadOnlyFileSystem;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIR_NOT_EMPTY:
      return Error::kExists;
    case ERROR_TOO_MANY_OPEN_FILES:
      return Error::kTooManyOpenFiles;
    case ERROR_CANT_RESOLVE_FILENAME:
      return Error::kTooManyLinks;
    case ERROR_SHARING_VIOLATION:  // another opener's share mode excludes this
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_BUSY:
      return Error::kBusy;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
      return Error::kNoMemory;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return Error::kNoSpace;
    case kDiskQuotaExceeded:
      return Error::kQuotaExceeded;
    case ERROR_FILE_TOO_LARGE:
      return Error::kFileTooLarge;
    case ERROR_BROKEN_PIPE:         // a Windows pipe
    case ERROR_NO_DATA:             // a Windows pipe being closed
    case ERROR_PIPE_NOT_CONNECTED:  // a pipe from outside (wine passes Linux pipes so)
      return Error::kNoReader;
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_CRC:
    case ERROR_NOT_READY:
      return Error::kDeviceError;
    case ERROR_INVALID_PARAMETER:
      return Error::kInvalid;
    default:
      return Error::kOther;
  }
}

inline Result ResultOfLastError() {
  return Result{ErrorFromWin32(GetLastError())};
}

}  // namespace platform
