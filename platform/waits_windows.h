// What the Windows sources of processes and stop requests share: the report pipes that
// WaitForInput watches are read by ReadExactly, and are let go of by ReleaseWorker.
#pragma once

#include <windows.h>

namespace platform {

/// Before `handle`, which WaitForInput may have watched, is closed: a read that the wait left
/// pending on it is cancelled and done with.
void StopWatching(HANDLE handle);

/// An event for a read of one's own on a handle that WaitForInput watches: tagged so that the
/// read's completion is not reported to the wait (the low bit of the event in its OVERLAPPED).
HANDLE UnwatchedEvent();

}  // namespace platform
