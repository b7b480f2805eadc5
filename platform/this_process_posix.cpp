// POSIX implementation of this process's number, its end, and the signals a write could raise.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/this_process.h"

namespace platform {

uint32_t ProcessNumber() {
  return static_cast<uint32_t>(getpid());
}

void ExitProcess(int exitCode) {
  _exit(exitCode);
}

void AtExit(void (*work)()) {
  std::atexit(work);
}

void PrepareThisProcess() {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

}  // namespace platform
