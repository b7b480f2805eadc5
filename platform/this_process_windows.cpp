// Windows implementation of this process's number, its end, and how the system may end it.
#include <windows.h>

#include <cstdlib>

#include "platform/this_process.h"

namespace platform {
namespace {

// Windows ends a console program with this status for Ctrl-C, Ctrl-Break and a closed console.
constexpr int kInterruptedStatus = static_cast<int>(0xC000013A);  // STATUS_CONTROL_C_EXIT

// Runs on a thread of its own, which the system starts for the event.
BOOL WINAPI EndAsInterrupted(DWORD /*event*/) {
  std::_Exit(kInterruptedStatus);
}

}  // namespace

uint32_t ProcessNumber() {
  return static_cast<uint32_t>(GetCurrentProcessId());
}

void ExitProcess(int exitCode) {
  // Ends the process without the work registered with atexit, as POSIX _exit does.
  std::_Exit(exitCode);
}

void AtExit(void (*work)()) {
  std::atexit(work);
}

void PrepareThisProcess() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  SetConsoleCtrlHandler(EndAsInterrupted, TRUE);
}

}  // namespace platform
