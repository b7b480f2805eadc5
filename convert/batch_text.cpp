// The batch program's own words.
#include "convert/batch_text.h"

namespace convert::batch {

std::string Shown(std::string_view name) {
  std::string shown(name);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127) c = '?';
  }
  return shown;
}

std::string_view CauseText(platform::Error error) {
  using platform::Error;
  switch (error) {
    case Error::kNone:
      return {};
    case Error::kNotFound:
      return "no such file";
    case Error::kNoSuchFolder:
      return "no such folder";
    case Error::kNameTooLong:
      return "file name too long";
    case Error::kBadName:
      return "not a valid file name";
    case Error::kDeviceName:
      return "reserved for a device";
    case Error::kAccessDenied:
      return "permission denied";
    case Error::kReadOnlyFileSystem:
      return "read-only file system";
    case Error::kIsFolder:
      return "is a directory";
    case Error::kNotAFile:
      return "not a regular file";
    case Error::kExists:
      return "file exists";
    case Error::kTooManyOpenFiles:
      return "too many open files";
    case Error::kTooManyLinks:
      return "too many symbolic links";
    case Error::kBusy:
      return "file busy";
    case Error::kNoMemory:
      return "out of memory";
    case Error::kNoSpace:
      return "no space left on device";
    case Error::kQuotaExceeded:
      return "disk quota exceeded";
    case Error::kFileTooLarge:
      return "file too large";
    case Error::kNoReader:
      return "no reader";
    case Error::kDeviceError:
      return "device error";
    case Error::kInvalid:
      return "invalid argument";
    case Error::kOther:
      break;
  }
  return "system error";
}

}  // namespace convert::batch
