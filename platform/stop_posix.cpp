// POSIX implementation of stop requests: the interrupt, terminate and hang-up signals are held
// back except while the program waits or writes, and a handler notes them; a write that blocks is
// left by a jump from the handler, so that no signal is ever held back by a blocked write.
#include <fcntl.h>
#include <poll.h>
#include <setjmp.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <vector>

#include "platform/stop.h"

namespace platform {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kPathCapacity = 4096;

volatile std::sig_atomic_t gRequest = 0;
// A write in progress that a stop request leaves by a jump.
sigjmp_buf gWriteJump;
volatile std::sig_atomic_t gWriteJumpArmed = 0;
// Work in this process during which a stop request ends the process at once.
volatile std::sig_atomic_t gEndAtOnce = 0;
char gRemoveOnStop[kPathCapacity] = {};
volatile std::sig_atomic_t gRemoveArmed = 0;
#ifndef X17B_HAVE_PPOLL
// Without ppoll, a wait lets the requests through around a poll that also watches this pipe, into
// which the handler writes: a request that comes after they are let through and before the poll
// begins ends the wait all the same, at once.
int gWake[2] = {-1, -1};
#endif

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  return set;
}

void HoldBack() {
  const sigset_t set = StopSignals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

void LetThrough() {
  const sigset_t set = StopSignals();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void MakeWakePipe() {
#ifndef X17B_HAVE_PPOLL
  if (gWake[0] >= 0 || pipe(gWake) != 0) return;
  for (int end : gWake) {
    fcntl(end, F_SETFD, FD_CLOEXEC);
    fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
  }
#endif
}

// In the handler: a wait in progress or about to begin ends.
void WakeWaits() {
#ifndef X17B_HAVE_PPOLL
  const int saved = errno;  // the interrupted code may be about to look at it
  if (gWake[1] >= 0) static_cast<void>(write(gWake[1], "", 1));
  errno = saved;
#endif
}

// Only async-signal-safe calls here.
void OnStopRequest(int signal) {
  gRequest = signal;
  WakeWaits();
  if (gEndAtOnce != 0) {
    if (gRemoveArmed != 0) unlink(gRemoveOnStop);
    EndAsRequested(signal);
  }
  if (gWriteJumpArmed != 0) {
    gWriteJumpArmed = 0;
    siglongjmp(gWriteJump, 1);
  }
}

bool WriteAllOf(int descriptor, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(descriptor, text.data(), text.size());
    if (n < 0 && errno == EINTR && gRequest == 0) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Waits for one of `polled` with the stop requests let through; -1 when a signal cut it short.
int PollLettingStopsThrough(std::vector<pollfd>& polled, int timeoutMs) {
#ifdef X17B_HAVE_PPOLL
  sigset_t during;
  sigprocmask(SIG_SETMASK, nullptr, &during);
  for (int signal : kStopSignals) sigdelset(&during, signal);
  timespec limit{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
  return ppoll(polled.data(), polled.size(), timeoutMs < 0 ? nullptr : &limit, &during);
#else
  polled.push_back({gWake[0], POLLIN, 0});  // ignored without a pipe
  const sigset_t stops = StopSignals();
  sigset_t before;
  sigprocmask(SIG_UNBLOCK, &stops, &before);
  const int n = poll(polled.data(), polled.size(), timeoutMs);
  sigprocmask(SIG_SETMASK, &before, nullptr);
  if (polled.back().revents != 0) {
    char sink[64];
    while (read(gWake[0], sink, sizeof sink) > 0) {
    }
  }
  polled.pop_back();
  return n;
#endif
}

}  // namespace

void NoteStopRequests() {
  MakeWakePipe();
  HoldBack();
  struct sigaction action {};
  action.sa_handler = OnStopRequest;
  action.sa_mask = StopSignals();
  for (int signal : kStopSignals) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

int StopRequested() {
  if (gRequest == 0) {
    // A request held back meanwhile is taken now.
    sigset_t pending;
    sigpending(&pending);
    for (int signal : kStopSignals) {
      if (sigismember(&pending, signal) == 1) {
        LetThrough();
        HoldBack();
        break;
      }
    }
  }
  return gRequest;
}

void EndAsRequested(int request) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigaction(request, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, request);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(request);
  _exit(128 + request);
}

bool WriteUnlessStopped(Stream stream, std::string_view text) {
  if (gRequest != 0) return false;
  // sigsetjmp keeps the mask with the stop signals held back; the jump restores it.
  if (sigsetjmp(gWriteJump, 1) != 0) return false;
  gWriteJumpArmed = 1;
  LetThrough();
  const bool wrote = WriteAllOf(static_cast<int>(StreamHandle(stream).value), text);
  HoldBack();
  gWriteJumpArmed = 0;
  return wrote && gRequest == 0;
}

void WriteIfReady(Stream stream, std::string_view text) {
  const int descriptor = static_cast<int>(StreamHandle(stream).value);
  pollfd polled{descriptor, POLLOUT, 0};
  if (poll(&polled, 1, 0) == 1 && (polled.revents & POLLOUT) != 0) {
    static_cast<void>(write(descriptor, text.data(), text.size()));
  }
}

WaitOutcome WaitForInput(std::span<const Handle> handles, std::span<char> ready, int timeoutMs,
                         bool stopCutsShort) {
  if (stopCutsShort && StopRequested() != 0) return WaitOutcome::kStopRequested;
  std::vector<pollfd> polled;
  polled.reserve(handles.size() + 1);
  for (Handle handle : handles) polled.push_back({static_cast<int>(handle.value), POLLIN, 0});
  const int n = PollLettingStopsThrough(polled, timeoutMs);
  if (stopCutsShort && StopRequested() != 0) return WaitOutcome::kStopRequested;
  if (n <= 0) return WaitOutcome::kTimedOut;  // also an interruption by another signal
  bool any = false;
  for (std::size_t i = 0; i < polled.size(); ++i) {
    ready[i] = polled[i].revents != 0 ? 1 : 0;
    any = any || ready[i] != 0;
  }
  // Only the wake pipe: a signal that does not cut this wait short, as an interruption.
  return any ? WaitOutcome::kReady : WaitOutcome::kTimedOut;
}

StopEndsProcess::StopEndsProcess() {
  gEndAtOnce = 1;
  if (gRequest != 0) {
    if (gRemoveArmed != 0) unlink(gRemoveOnStop);
    EndAsRequested(gRequest);
  }
  LetThrough();
}

StopEndsProcess::~StopEndsProcess() {
  HoldBack();
  gEndAtOnce = 0;
}

void RemoveOnStop(std::string_view path) {
  gRemoveArmed = 0;
  if (path.empty() || path.size() >= kPathCapacity) return;
  std::copy(path.begin(), path.end(), gRemoveOnStop);
  gRemoveOnStop[path.size()] = '\0';
  std::atomic_signal_fence(std::memory_order_seq_cst);
  gRemoveArmed = 1;  // armed last: the handler never sees half a name
}

}  // namespace platform
