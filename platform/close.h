// The system's close of a handle, alone in a source of its own (close_posix.cpp): a test program
// that needs a close to fail links its own definition, and the library's is then left out.
#pragma once

#include "platform/error.h"
#include "platform/handle.h"

namespace platform {

/// Closes `handle`, which is never a standard stream's; the handle is gone even when the close
/// reports a failure.
Error CloseSystemHandle(Handle handle);

}  // namespace platform
