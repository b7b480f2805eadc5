// POSIX implementation of the processes, pipes and signals.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "recio/platform_process.h"

namespace recio::platform {

int ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set) > 0 ? CPU_COUNT(&set) : 1;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

bool IsTerminal(int handle) {
  return isatty(handle) == 1;
}

bool MakePipe(int (&handles)[2]) {
  return pipe2(handles, O_CLOEXEC) == 0;
}

int StartCopy() {
  return static_cast<int>(fork());
}

void EndWithOriginal() {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
}

void TerminateProcess(int id) {
  kill(static_cast<pid_t>(id), SIGTERM);
}

void WaitForCopies() {
  while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
  }
}

namespace {

constexpr int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kTerminationSignals) sigaddset(&set, signal);
  return set;
}

}  // namespace

void OnTerminationSignals(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = TerminationSignals();
  for (int signal : kTerminationSignals) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

void BlockTerminationSignals() {
  const sigset_t set = TerminationSignals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

void UnblockTerminationSignals() {
  const sigset_t set = TerminationSignals();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

bool TakeHeldBackSignal() {
  sigset_t pending;
  sigpending(&pending);
  for (int signal : kTerminationSignals) {
    if (sigismember(&pending, signal) == 1) {
      UnblockTerminationSignals();
      BlockTerminationSignals();
      return true;
    }
  }
  return false;
}

void EndBySignal(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigaction(signal, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  _exit(128 + signal);
}

bool WaitForInput(std::span<const int> handles, std::span<char> ready) {
  std::vector<pollfd> polled;
  polled.reserve(handles.size());
  for (int handle : handles) polled.push_back({handle, POLLIN, 0});
  sigset_t during;
  sigprocmask(SIG_SETMASK, nullptr, &during);
  for (int signal : kTerminationSignals) sigdelset(&during, signal);
  if (ppoll(polled.data(), polled.size(), nullptr, &during) < 0) return false;
  // Input that was ready at once makes ppoll return without taking a signal already held back
  // (one that ended a worker, for instance): such a signal is taken now.
  if (TakeHeldBackSignal()) return false;
  for (std::size_t i = 0; i < polled.size(); ++i) ready[i] = polled[i].revents != 0 ? 1 : 0;
  return true;
}

}  // namespace recio::platform
