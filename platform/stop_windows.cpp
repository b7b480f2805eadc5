// Windows implementation of stop requests: a console control handler, which the system runs on
// a thread of its own, notes Ctrl-C, Ctrl-Break, a closed console, a logoff or a shutdown, wakes
// the waits through their completion port, and cuts short a write of the main thread that
// blocks (CancelSynchronousIo), so that the program always stays stoppable.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/file_io.h"
#include "platform/handles_windows.h"
#include "platform/paths_windows.h"
#include "platform/stop.h"
#include "platform/waits_windows.h"

namespace platform {
namespace {

// Windows ends a console program with this status for every console event.
constexpr int kInterruptedStatus = static_cast<int>(0xC000013A);  // STATUS_CONTROL_C_EXIT
// A write that WriteIfReady makes is cut short after this long.
constexpr DWORD kReadyWriteMs = 100;
// The completion key of a stop request; the report pipes' keys count from 1.
constexpr ULONG_PTR kStopKey = 0;

constinit std::atomic<int> gRequest{0};
constinit std::atomic<bool> gWriting{false};  // the main thread is in WriteUnlessStopped
constinit std::atomic<bool> gEndAtOnce{false};
constinit std::atomic<bool> gRemoveArmed{false};
// The file a stop removes, made ready by the main thread: the handler, which may stop the main
// thread in the middle of an allocation, allocates nothing.
constinit std::array<wchar_t, 32768> gRemoveOnStop{};
constinit HANDLE gMainThread = nullptr;
constinit HANDLE gPort = nullptr;

// A report pipe that WaitForInput watches: a read of no bytes pending on it, which completes
// through the port when the pipe has something to read or has ended.
struct Watch {
  ULONG_PTR key = 0;
  HANDLE handle = nullptr;
  HANDLE event = nullptr;  // of the read, for waiting until a cancelled one is done
  OVERLAPPED read{};
  bool pending = false;
  bool ready = false;  // completed, not yet reported by a wait
};
constinit std::vector<std::unique_ptr<Watch>> gWatches;
constinit ULONG_PTR gNextKey = kStopKey + 1;

HANDLE Port() {
  if (gPort == nullptr) gPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  return gPort;
}

// Holds the main thread where it is. The heap is held meanwhile, so that the main thread never
// stops inside it and the removal after may use it; the context asked for makes sure the thread
// has stopped before anything it writes is read.
void HoldMainThread() {
  const HANDLE heap = GetProcessHeap();
  HeapLock(heap);
  SuspendThread(gMainThread);
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  GetThreadContext(gMainThread, &context);
  HeapUnlock(heap);
}

// A stop request inside a StopEndsProcess scope: the main thread is held where it is, the
// announced file goes (a file this process holds open goes when the process ends), and the
// process ends. A main thread that has left the scope meanwhile is let go again.
void EndHere() {
  HoldMainThread();
  if (!gEndAtOnce.load()) {
    ResumeThread(gMainThread);
    return;
  }
  if (gRemoveArmed.load()) DeleteFileW(gRemoveOnStop.data());
  std::_Exit(kInterruptedStatus);
}

BOOL WINAPI OnStopRequest(DWORD event) {
  int none = 0;
  gRequest.compare_exchange_strong(none, static_cast<int>(event) + 1);
  PostQueuedCompletionStatus(Port(), 0, kStopKey, nullptr);
  if (gEndAtOnce.load()) EndHere();
  // A write that has not begun when a cancel comes is cut short by a later one.
  while (gWriting.load()) {
    CancelSynchronousIo(gMainThread);
    Sleep(10);
  }
  // After a closed console, a logoff or a shutdown the system ends the process as soon as this
  // returns: the main thread ends it itself once it has cleaned up.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(INFINITE);
  return TRUE;
}

HANDLE ThisThread() {
  HANDLE thread = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread,
                  THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_TERMINATE, FALSE, 0);
  return thread;
}

Watch& WatchOf(HANDLE handle) {
  for (const std::unique_ptr<Watch>& watch : gWatches) {
    if (watch->handle == handle) return *watch;
  }
  auto watch = std::make_unique<Watch>();
  watch->key = gNextKey++;
  watch->handle = handle;
  watch->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CreateIoCompletionPort(handle, Port(), watch->key, 0);
  gWatches.push_back(std::move(watch));
  return *gWatches.back();
}

// Begins the read of no bytes; false when the pipe has ended already (no completion comes then).
bool BeginWatch(Watch& watch) {
  watch.read = OVERLAPPED{};
  watch.read.hEvent = watch.event;
  char none = 0;
  if (!ReadFile(watch.handle, &none, 0, nullptr, &watch.read) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  watch.pending = true;  // done at once or not, its completion comes through the port
  return true;
}

// Takes the completions that have come, waiting at most `timeoutMs` for the first.
void TakeCompletions(int timeoutMs) {
  std::array<OVERLAPPED_ENTRY, 64> entries{};
  ULONG taken = 0;
  const DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  if (!GetQueuedCompletionStatusEx(Port(), entries.data(), static_cast<ULONG>(entries.size()),
                                   &taken, timeout, FALSE)) {
    return;
  }
  for (ULONG i = 0; i < taken; ++i) {
    for (const std::unique_ptr<Watch>& watch : gWatches) {
      if (watch->key != entries[i].lpCompletionKey) continue;
      watch->pending = false;
      watch->ready = true;
    }
  }
}

// Marks in `ready` the handles whose watch completed, and takes their completions.
bool Collect(std::span<const Handle> handles, std::span<char> ready) {
  bool any = false;
  for (std::size_t i = 0; i < handles.size(); ++i) {
    Watch& watch = WatchOf(SystemHandle(handles[i]));
    ready[i] = watch.ready ? 1 : 0;
    any = any || watch.ready;
    watch.ready = false;
  }
  return any;
}

// Cuts short a write of the thread `target` that has not ended after kReadyWriteMs.
struct Watchdog {
  HANDLE target;
  HANDLE done;
};

DWORD WINAPI CancelWhenLate(void* argument) {
  const auto* watchdog = static_cast<const Watchdog*>(argument);
  DWORD waited = WaitForSingleObject(watchdog->done, kReadyWriteMs);
  while (waited == WAIT_TIMEOUT) {
    CancelSynchronousIo(watchdog->target);
    waited = WaitForSingleObject(watchdog->done, 10);
  }
  return 0;
}

}  // namespace

void StopWatching(HANDLE handle) {
  const auto found = std::find_if(gWatches.begin(), gWatches.end(),
                                  [handle](const auto& watch) { return watch->handle == handle; });
  if (found == gWatches.end()) return;
  Watch& watch = **found;
  if (watch.pending) {
    // Its completion still comes through the port, under a key that no watch has then.
    CancelIoEx(handle, &watch.read);
    DWORD none = 0;
    GetOverlappedResult(handle, &watch.read, &none, TRUE);
  }
  ::CloseHandle(watch.event);
  gWatches.erase(found);
}

HANDLE UnwatchedEvent() {
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Windows ignores a handle's two low bits; the low bit tells I/O not to post the completion.
  return reinterpret_cast<HANDLE>(  // NOLINT(performance-no-int-to-ptr)
      reinterpret_cast<uintptr_t>(event) | 1);
}

void NoteStopRequests() {
  if (gMainThread == nullptr) gMainThread = ThisThread();
  Port();
  // Ctrl-C stays ignored when the process was started so (its group's default): the system then
  // calls no handler for it.
  SetConsoleCtrlHandler(OnStopRequest, TRUE);
}

int StopRequested() {
  return gRequest.load();
}

void EndAsRequested(int /*request*/) {
  std::_Exit(kInterruptedStatus);
}

bool WriteUnlessStopped(Stream stream, std::string_view text) {
  gWriting.store(true);
  const bool wrote =
      gRequest.load() == 0 && WriteAll(StreamHandle(stream), text.data(), text.size()).ok();
  gWriting.store(false);
  return wrote && gRequest.load() == 0;
}

void WriteIfReady(Stream stream, std::string_view text) {
  const Handle handle = StreamHandle(stream);
  if (GetFileType(SystemHandle(handle)) == FILE_TYPE_DISK) {
    WriteAll(handle, text.data(), text.size());
    return;
  }
  Watchdog watchdog{ThisThread(), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  const HANDLE thread = CreateThread(nullptr, 0, CancelWhenLate, &watchdog, 0, nullptr);
  if (thread != nullptr) {
    WriteAll(handle, text.data(), text.size());
    SetEvent(watchdog.done);
    WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
  }
  ::CloseHandle(watchdog.done);
  ::CloseHandle(watchdog.target);
}

WaitOutcome WaitForInput(std::span<const Handle> handles, std::span<char> ready, int timeoutMs,
                         bool stopCutsShort) {
  if (stopCutsShort && StopRequested() != 0) return WaitOutcome::kStopRequested;
  for (const Handle handle : handles) {
    Watch& watch = WatchOf(SystemHandle(handle));
    if (!watch.ready && !watch.pending && !BeginWatch(watch)) watch.ready = true;
  }
  if (Collect(handles, ready)) return WaitOutcome::kReady;
  TakeCompletions(timeoutMs);
  if (stopCutsShort && StopRequested() != 0) return WaitOutcome::kStopRequested;
  // Only a stop request's wake-up: as an interruption, when it does not cut this wait short.
  return Collect(handles, ready) ? WaitOutcome::kReady : WaitOutcome::kTimedOut;
}

StopEndsProcess::StopEndsProcess() {
  gEndAtOnce.store(true);
  if (StopRequested() != 0) {
    if (gRemoveArmed.load()) DeleteFileW(gRemoveOnStop.data());
    EndAsRequested(StopRequested());
  }
}

StopEndsProcess::~StopEndsProcess() {
  gEndAtOnce.store(false);
}

void RemoveOnStop(std::string_view path) {
  gRemoveArmed.store(false);
  const SystemPath name = SystemPathOf(path);
  if (path.empty() || !name.ok()) return;
  // A full path: the removal needs neither the current folder nor the lock that guards it.
  const std::wstring full = LongPathOf(name.text);
  if (full.empty() || full.size() >= gRemoveOnStop.size()) return;
  std::copy(full.begin(), full.end(), gRemoveOnStop.begin());
  gRemoveOnStop[full.size()] = L'\0';
  gRemoveArmed.store(true);  // armed last: the handler never sees half a name
}

}  // namespace platform
