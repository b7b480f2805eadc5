// Windows implementation of the system's close of a handle, alone in its source (see close.h).
#include "platform/close.h"
#include "platform/error_windows.h"
#include "platform/handles_windows.h"

namespace platform {

Error CloseSystemHandle(Handle handle) {
  return ::CloseHandle(SystemHandle(handle)) ? Error::kNone : ErrorFromWin32(GetLastError());
}

}  // namespace platform
