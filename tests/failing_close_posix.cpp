// The platform part's close of a handle, replaced at link time: the system's close, which reports
// a full device when FailNextClose() asked for it.
#include <unistd.h>

#include <utility>

#include "platform/close.h"
#include "platform/error_posix.h"
#include "tests/failing_close.h"

namespace {

bool gFailNext = false;

}  // namespace

void x17b_test::FailNextClose() {
  gFailNext = true;
}

platform::Error platform::CloseSystemHandle(Handle handle) {
  const bool closed = close(static_cast<int>(handle.value)) == 0 || errno == EINTR;
  if (std::exchange(gFailNext, false)) return Error::kNoSpace;
  return closed ? Error::kNone : ErrorFromErrno(errno);
}
