// Stop requests (the interrupt, terminate and hang-up signals: Ctrl-C, kill, a closed terminal),
// and the waits and writes that one cuts short, so that a program always stays stoppable.
#pragma once

#include <span>
#include <string_view>

#include "platform/streams.h"

namespace platform {

/// From now on a stop request is noted, to be seen by StopRequested(), and cuts short a wait or a
/// write below; it no longer ends the process by itself. A request that was ignored when the
/// program started (nohup, a background job) stays ignored.
void NoteStopRequests();

/// The stop request noted so far; 0 when none.
int StopRequested();

/// Ends the process as the stop request `request` would have ended it by itself.
[[noreturn]] void EndAsRequested(int request);

/// Writes all of `text` to `stream`, unless a stop request comes first or while the write waits
/// (a pipe that nobody reads): false then, or when the write fails.
bool WriteUnlessStopped(Stream stream, std::string_view text);

/// Writes `text` only if the stream takes it without waiting; never waits.
void WriteIfReady(Stream stream, std::string_view text);

enum class WaitOutcome { kReady, kTimedOut, kStopRequested };

/// Waits until one of `handles` has something to read or has ended (marked in `ready`), until
/// `timeoutMs` milliseconds have passed (negative: no limit), or, when `stopCutsShort`, until a
/// stop request (one already noted included).
WaitOutcome WaitForInput(std::span<const Handle> handles, std::span<char> ready, int timeoutMs,
                         bool stopCutsShort = true);

/// For work done in this process that may wait for long (a scan that is a pipe): while the scope
/// lives, a stop request removes the file named by RemoveOnStop, if any, and ends the process at
/// once.
class StopEndsProcess {
 public:
  StopEndsProcess();
  ~StopEndsProcess();
  StopEndsProcess(const StopEndsProcess&) = delete;
  StopEndsProcess& operator=(const StopEndsProcess&) = delete;
};

/// The file that a stop request inside a StopEndsProcess scope removes; empty for none. A name
/// longer than the longest path is not kept (nothing is removed).
void RemoveOnStop(std::string_view path);

}  // namespace platform
