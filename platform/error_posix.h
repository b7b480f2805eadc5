// The meaning of an errno value, for the POSIX sources of the platform part.
#pragma once

#include <cerrno>

#include "platform/error.h"

namespace platform {

inline Error ErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return Error::kNone;
    case ENOENT:
      return Error::kNotFound;
    case ENOTDIR:
      return Error::kNoSuchFolder;
    case ENAMETOOLONG:
      return Error::kNameTooLong;
    case EACCES:
    case EPERM:
      return Error::kAccessDenied;
    case EROFS:
      return Error::kReadOnlyFileSystem;
    case EISDIR:
      return Error::kIsFolder;
    case ENXIO:
    case ENODEV:
    case ESPIPE:
      return Error::kNotAFile;
    case EEXIST:
    case ENOTEMPTY:
      return Error::kExists;
    case EMFILE:
    case ENFILE:
      return Error::kTooManyOpenFiles;
    case ELOOP:
    case EMLINK:
      return Error::kTooManyLinks;
    case ETXTBSY:
    case EBUSY:
      return Error::kBusy;
    case ENOMEM:
      return Error::kNoMemory;
    case ENOSPC:
      return Error::kNoSpace;
    case EDQUOT:
      return Error::kQuotaExceeded;
    case EFBIG:
      return Error::kFileTooLarge;
    case EPIPE:
      return Error::kNoReader;
    case EIO:
      return Error::kDeviceError;
    case EINVAL:
      return Error::kInvalid;
    default:
      return Error::kOther;
  }
}

inline Result ResultOfErrno() {
  return Result{ErrorFromErrno(errno)};
}

}  // namespace platform
