// POSIX implementation of worker processes: fork, pipes, and a watch on the starter.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef X17B_HAVE_PDEATHSIG
#include <sys/prctl.h>
#else
#include <pthread.h>
#endif

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/file_io.h"
#include "platform/processes.h"

namespace platform {
namespace {

// The starter's ends of every worker's pipes: a worker started later must not hold them, or the
// end of one worker's pipe would never be seen.
std::vector<int>& StarterEnds() {
  static std::vector<int> ends;
  return ends;
}

void CloseStarterEnd(Handle& handle) {
  if (!handle.valid()) return;
  const int descriptor = static_cast<int>(handle.value);
  std::erase(StarterEnds(), descriptor);
  close(descriptor);
  handle = {};
}

bool MakePipe(int (&ends)[2]) {
  if (pipe(ends) != 0) return false;
  for (int end : ends) fcntl(end, F_SETFD, FD_CLOEXEC);
  return true;
}

#ifdef X17B_HAVE_PDEATHSIG

// The system kills the worker when its starter ends.
bool HoldLifeline() {
  return true;
}

bool WatchStarter() {
  return prctl(PR_SET_PDEATHSIG, SIGKILL) == 0;
}

#else

// The starter's lifeline: a pipe that nobody writes to. The starter holds its writing end until
// it ends, whichever way it ends; a worker holds only the reading end, and a thread of its own
// waits there, in the middle of a scan too, for the end that the starter's end makes.
int gLifeline[2] = {-1, -1};

bool HoldLifeline() {
  return gLifeline[0] >= 0 || MakePipe(gLifeline);
}

void* WatchLifeline(void* /*unused*/) {
  char byte = 0;
  while (read(gLifeline[0], &byte, 1) < 0 && errno == EINTR) {
  }
  kill(getpid(), SIGKILL);  // as the system kills the worker where it can
  return nullptr;
}

bool WatchStarter() {
  close(gLifeline[1]);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t watcher;
  const bool started = pthread_create(&watcher, &attributes, WatchLifeline, nullptr) == 0;
  pthread_attr_destroy(&attributes);
  return started;
}

#endif

// In the new worker: stop requests are the starter's to handle, and the worker goes when the
// starter goes, whichever way it ends; a worker that cannot watch its starter does not start.
void BecomeWorker(pid_t starter) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_IGN);
  sigset_t all;
  sigemptyset(&all);
  sigprocmask(SIG_SETMASK, &all, nullptr);
  if (!WatchStarter()) _exit(1);
  if (getppid() != starter) _exit(1);  // the starter ended before the watch was set
  for (int end : StarterEnds()) close(end);
  StarterEnds().clear();
}

}  // namespace

std::optional<Worker> StartWorker(WorkerMain main) {
  int jobs[2];
  int reports[2];
  if (!HoldLifeline() || !MakePipe(jobs)) return std::nullopt;
  if (!MakePipe(reports)) {
    close(jobs[0]);
    close(jobs[1]);
    return std::nullopt;
  }
  const pid_t starter = getpid();
  const pid_t process = fork();
  if (process == 0) {
    BecomeWorker(starter);
    close(jobs[1]);
    close(reports[0]);
    _exit(main(Handle{jobs[0]}, Handle{reports[1]}));
  }
  close(jobs[0]);
  close(reports[1]);
  if (process < 0) {
    close(jobs[1]);
    close(reports[0]);
    return std::nullopt;
  }
  StarterEnds().push_back(jobs[1]);
  StarterEnds().push_back(reports[0]);
  return Worker{process, static_cast<uint32_t>(process), Handle{jobs[1]}, Handle{reports[0]}};
}

void RunWorkerIfStartedAsOne(int /*argc*/, char** /*argv*/, WorkerMain /*main*/) {}

void EndJobs(Worker& worker) {
  CloseStarterEnd(worker.jobs);
}

void KillWorker(const Worker& worker) {
  if (worker.process > 0) kill(static_cast<pid_t>(worker.process), SIGKILL);
}

void ReleaseWorker(Worker& worker) {
  CloseStarterEnd(worker.jobs);
  CloseStarterEnd(worker.reports);
  if (worker.process > 0) {
    while (waitpid(static_cast<pid_t>(worker.process), nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  worker.process = -1;
}

bool ReadExactly(Handle handle, void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = read(static_cast<int>(handle.value), bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteFully(Handle handle, const void* data, std::size_t size) {
  return WriteAll(handle, static_cast<const char*>(data), size).ok();
}

int ProcessorCount() {
#ifdef X17B_HAVE_SCHED_GETAFFINITY
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
#endif
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

}  // namespace platform
