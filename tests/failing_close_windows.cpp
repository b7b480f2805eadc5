// The platform part's close of a handle, replaced at link time: the system's close, which reports
// a full device when FailNextClose() asked for it.
#include <utility>

#include "platform/close.h"
#include "platform/error_windows.h"
#include "platform/handles_windows.h"
#include "tests/failing_close.h"

namespace {

bool gFailNext = false;

}  // namespace

void x17b_test::FailNextClose() {
  gFailNext = true;
}

platform::Error platform::CloseSystemHandle(Handle handle) {
  const bool closed = ::CloseHandle(SystemHandle(handle)) != 0;
  const DWORD error = GetLastError();
  if (std::exchange(gFailNext, false)) return Error::kNoSpace;
  return closed ? Error::kNone : ErrorFromWin32(error);
}
