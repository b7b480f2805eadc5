// Worker processes: copies of this program that take jobs through one pipe and send reports
// through another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/streams.h"

namespace platform {

/// Where a worker begins, in its own process: it reads jobs from `jobs` until they end and writes
/// its reports to `reports`. Its return is the worker's exit code.
using WorkerMain = int (*)(Handle jobs, Handle reports);

/// A worker as the process that started it sees it.
struct Worker {
  intptr_t process = -1;
  uint32_t number = 0;  // the process's number, as ProcessNumber() gives it in the worker
  Handle jobs;          // written by the starter
  Handle reports;       // read by the starter
};

/// Starts a worker running `main`. A worker ignores stop requests (interrupt, terminate, hang-up):
/// it ends when its jobs end, when it is killed, or when its starter ends. Empty when the system
/// refuses the process or its pipes. POSIX forks this process, so the worker begins with its
/// state; Windows starts this program again, which must call RunWorkerIfStartedAsOne.
std::optional<Worker> StartWorker(WorkerMain main);

/// In a program that starts workers, called by main() once the record layer has started and
/// before anything else: when this process was started as a worker (Windows), runs `main` and
/// ends the process with its exit code; otherwise returns at once (always on POSIX).
void RunWorkerIfStartedAsOne(int argc, char** argv, WorkerMain main);

/// Ends the worker's jobs: it finishes the job in hand and ends.
void EndJobs(Worker& worker);

/// Ends the worker at once; it cannot refuse.
void KillWorker(const Worker& worker);

/// Waits for the worker's end and lets go of what is left of it.
void ReleaseWorker(Worker& worker);

/// Reads exactly `size` bytes; false at the end of the pipe or on a failure.
bool ReadExactly(Handle handle, void* data, std::size_t size);

/// Writes all `size` bytes; false on a failure (the reader has gone).
bool WriteFully(Handle handle, const void* data, std::size_t size);

/// The number of processors this process may run on; at least 1.
int ProcessorCount();

}  // namespace platform
