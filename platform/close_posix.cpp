// POSIX implementation of the system's close of a handle, alone in its source (see close.h).
#include <unistd.h>

#include "platform/close.h"
#include "platform/error_posix.h"

namespace platform {

Error CloseSystemHandle(Handle handle) {
  // An interrupted close has released the handle all the same; it is never closed twice.
  if (close(static_cast<int>(handle.value)) == 0 || errno == EINTR) return Error::kNone;
  return ErrorFromErrno(errno);
}

}  // namespace platform
