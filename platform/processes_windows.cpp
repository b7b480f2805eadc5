// Windows implementation of worker processes: this program started again with CreateProcessW,
// an anonymous pipe for its jobs, a named pipe for its reports (which the starter reads
// overlapped, to wait for many at once), and a job object that ends the workers with the
// starter.
#include <windows.h>

#include <bit>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_io.h"
#include "platform/handles_windows.h"
#include "platform/processes.h"
#include "platform/this_process.h"
#include "platform/waits_windows.h"

namespace platform {
namespace {

// The argument that tells this program it was started as a worker, followed by the numbers of
// its two inherited pipe handles.
constexpr std::string_view kWorkerArgument = "--x17b2pavo-worker";
constexpr DWORD kPipeBuffer = 64 * 1024;

// A handle closed when it goes out of scope, unless kept.
class Owned {
 public:
  Owned() = default;
  explicit Owned(HANDLE handle) : handle_{handle} {}
  ~Owned() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE* put() { return &handle_; }
  HANDLE Keep() { return std::exchange(handle_, nullptr); }
  explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_ = nullptr;
};

// Every worker is in this job, which ends them when its last handle closes: when the starter
// ends, whichever way it ends (killed too). Made with the first worker.
constinit HANDLE gWorkersJob = nullptr;
// The event of ReadExactly's reads.
constinit HANDLE gReadEvent = nullptr;

HANDLE WorkersJob() {
  if (gWorkersJob != nullptr) return gWorkersJob;
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job != nullptr &&
      SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    gWorkersJob = job;
  } else if (job != nullptr) {
    ::CloseHandle(job);
  }
  return gWorkersJob;
}

SECURITY_ATTRIBUTES Inheritable() {
  return SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
}

// The reports' pipe: the starter's end is overlapped, so that WaitForInput can wait for the
// reports of many workers at once (anonymous pipes cannot be); the worker's end is inherited.
bool MakeReportPipe(Owned& starterEnd, Owned& workerEnd) {
  constinit static LONG serial = 0;
  wchar_t name[96];
  std::swprintf(name, 96, L"\\\\.\\pipe\\x17b2pavo-%lu-%ld", GetCurrentProcessId(),
                InterlockedIncrement(&serial));
  *starterEnd.put() = CreateNamedPipeW(
      name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBuffer,
      kPipeBuffer, 0, nullptr);
  if (!starterEnd) return false;
  SECURITY_ATTRIBUTES inherited = Inheritable();
  *workerEnd.put() = CreateFileW(name, GENERIC_WRITE, 0, &inherited, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  return static_cast<bool>(workerEnd);
}

bool MakeJobPipe(Owned& starterEnd, Owned& workerEnd) {
  SECURITY_ATTRIBUTES inherited = Inheritable();
  if (!CreatePipe(workerEnd.put(), starterEnd.put(), &inherited, kPipeBuffer)) return false;
  return SetHandleInformation(starterEnd.get(), HANDLE_FLAG_INHERIT, 0) != 0;
}

// An inheritable copy of a standard stream's handle for the worker, which works under the same
// standard streams as its starter (an output is never one of their files); none when closed.
HANDLE InheritableStream(DWORD stream) {
  const HANDLE handle = GetStdHandle(stream);
  HANDLE copy = nullptr;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                       DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

std::wstring OwnProgram() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// Starts the worker suspended, inheriting only `inherited` (the standard streams first), in the
// workers' job, and lets it run. A worker that cannot be put in the job does not run: it would
// outlive its starter.
HANDLE StartSuspended(const std::wstring& program, std::wstring& command,
                      std::vector<HANDLE>& inherited, HANDLE (&streams)[3], DWORD& id) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return nullptr;
  UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                            inherited.size() * sizeof(HANDLE), nullptr, nullptr);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = streams[0];
  startup.StartupInfo.hStdOutput = streams[1];
  startup.StartupInfo.hStdError = streams[2];
  startup.lpAttributeList = attributes;
  PROCESS_INFORMATION started{};
  // A process group of its own: Ctrl-C at the console is the starter's to handle.
  const DWORD flags = CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | EXTENDED_STARTUPINFO_PRESENT;
  const BOOL ok = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, flags,
                                 nullptr, nullptr, &startup.StartupInfo, &started);
  DeleteProcThreadAttributeList(attributes);
  if (!ok) return nullptr;
  const Owned thread(started.hThread);
  if (WorkersJob() == nullptr || !AssignProcessToJobObject(WorkersJob(), started.hProcess)) {
    TerminateProcess(started.hProcess, 1);
    WaitForSingleObject(started.hProcess, INFINITE);
    ::CloseHandle(started.hProcess);
    return nullptr;
  }
  ResumeThread(started.hThread);
  id = started.dwProcessId;
  return started.hProcess;
}

void CloseStarterEnd(Handle& handle) {
  if (!handle.valid()) return;
  ::CloseHandle(SystemHandle(handle));
  handle = {};
}

// A handle number of the worker's command line, if it is a pipe this process holds.
bool PipeHandleOf(std::string_view text, Handle& handle) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return false;
  handle = Handle{static_cast<intptr_t>(value)};
  return GetFileType(SystemHandle(handle)) == FILE_TYPE_PIPE;
}

// In a worker: no console event is its to handle. Ctrl-C is ignored as the process group's
// default; Ctrl-Break and the others are taken and dropped here.
BOOL WINAPI IgnoreEvent(DWORD /*event*/) {
  return TRUE;
}

}  // namespace

std::optional<Worker> StartWorker(WorkerMain /*main*/) {
  Owned jobsStarter;
  Owned jobsWorker;
  Owned reportsStarter;
  Owned reportsWorker;
  if (!MakeJobPipe(jobsStarter, jobsWorker) || !MakeReportPipe(reportsStarter, reportsWorker)) {
    return std::nullopt;
  }
  Owned streams[3] = {Owned(InheritableStream(STD_INPUT_HANDLE)),
                      Owned(InheritableStream(STD_OUTPUT_HANDLE)),
                      Owned(InheritableStream(STD_ERROR_HANDLE))};
  std::vector<HANDLE> inherited = {jobsWorker.get(), reportsWorker.get()};
  HANDLE streamHandles[3];
  for (int i = 0; i < 3; ++i) {
    streamHandles[i] = streams[i].get();
    if (streams[i]) inherited.push_back(streams[i].get());
  }
  const std::wstring program = OwnProgram();
  wchar_t numbers[64];
  std::swprintf(numbers, 64, L" %llu %llu",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(jobsWorker.get())),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(reportsWorker.get())));
  std::wstring command = L"\"" + program + L"\" " +
                         std::wstring(kWorkerArgument.begin(), kWorkerArgument.end()) + numbers;
  DWORD id = 0;
  const HANDLE process = StartSuspended(program, command, inherited, streamHandles, id);
  if (process == nullptr) return std::nullopt;
  return Worker{reinterpret_cast<intptr_t>(process), static_cast<uint32_t>(id),
                HandleOf(jobsStarter.Keep()), HandleOf(reportsStarter.Keep())};
}

void RunWorkerIfStartedAsOne(int argc, char** argv, WorkerMain main) {
  Handle jobs;
  Handle reports;
  if (argc != 4 || argv[1] != kWorkerArgument || !PipeHandleOf(argv[2], jobs) ||
      !PipeHandleOf(argv[3], reports)) {
    return;
  }
  SetConsoleCtrlHandler(nullptr, TRUE);
  SetConsoleCtrlHandler(IgnoreEvent, TRUE);
  ExitProcess(main(jobs, reports));
}

void EndJobs(Worker& worker) {
  CloseStarterEnd(worker.jobs);
}

void KillWorker(const Worker& worker) {
  if (worker.process != -1) TerminateProcess(SystemHandle(Handle{worker.process}), 1);
}

void ReleaseWorker(Worker& worker) {
  CloseStarterEnd(worker.jobs);
  if (worker.reports.valid()) StopWatching(SystemHandle(worker.reports));
  CloseStarterEnd(worker.reports);
  if (worker.process != -1) {
    const HANDLE process = SystemHandle(Handle{worker.process});
    WaitForSingleObject(process, INFINITE);
    ::CloseHandle(process);
  }
  worker.process = -1;
}

bool ReadExactly(Handle handle, void* data, std::size_t size) {
  // The starter's report pipes are overlapped: each read waits for its own completion, on an
  // event that keeps it from WaitForInput. Any other pipe completes the read at once.
  if (gReadEvent == nullptr) gReadEvent = UnwatchedEvent();
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    OVERLAPPED read{};
    read.hEvent = gReadEvent;
    DWORD got = 0;
    if (!ReadFile(SystemHandle(handle), bytes, static_cast<DWORD>(size), nullptr, &read) &&
        GetLastError() != ERROR_IO_PENDING) {
      return false;  // ERROR_BROKEN_PIPE at the end
    }
    if (!GetOverlappedResult(SystemHandle(handle), &read, &got, TRUE) || got == 0) return false;
    bytes += got;
    size -= got;
  }
  return true;
}

bool WriteFully(Handle handle, const void* data, std::size_t size) {
  return WriteAll(handle, static_cast<const char*>(data), size).ok();
}

int ProcessorCount() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    return std::popcount(static_cast<uint64_t>(process));
  }
  const DWORD active = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return active > 0 ? static_cast<int>(active) : 1;
}

}  // namespace platform
