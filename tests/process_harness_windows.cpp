// The Windows side of the whole-program tests' harness: CreateProcessW with anonymous pipes as the
// child's standard handles (only those inherited), threads that feed and drain them, the full
// 32-bit exit code, a timeout that ends the child and whatever it started. Programs are found
// from this test program's own place, never through a path of the build machine, so that the
// same tests run under wine and on Windows.
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cwctype>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <system_error>

#include "tests/process_harness.h"
#include "tests/process_harness_paths.h"

namespace x17b_test {
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

// One argument as CommandLineToArgvW and the C runtime take it apart again: quoted when it is
// empty or holds a blank, tab, newline or quote; backslashes doubled before a quote.
void AppendArgument(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < argument.size() && argument[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == argument.size()) {
      line.append(backslashes * 2, L'\\');
      break;
    }
    if (argument[i] == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    line += argument[i];
  }
  line += L'"';
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// This process's environment with `changes` made, as a block for CREATE_UNICODE_ENVIRONMENT.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::map<std::wstring, std::wstring> variables;  // by the upper-case name
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    const std::wstring text = entry;
    const size_t equals = text.find(L'=', 1);  // names like "=C:" begin with '='
    if (equals == std::wstring::npos) continue;
    variables[Upper(text.substr(0, equals))] = text;
  }
  FreeEnvironmentStringsW(strings);
  for (const auto& [name, value] : changes) {
    variables[Upper(Wide(name))] = Wide(name) + L"=" + Wide(value);
  }
  std::wstring block;
  for (const auto& [key, text] : variables) block += text + L'\0';
  block += L'\0';
  return block;
}

// When a process was created, in the system's 100 ns units; 0 when it cannot be asked.
uint64_t CreationTime(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return 0;
  FILETIME created{}, ended{}, kernel{}, user{};
  const BOOL known = GetProcessTimes(process, &created, &ended, &kernel, &user);
  CloseHandle(process);
  return known ? (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime : 0;
}

// The process ids of every process whose parent is `pid`, from one snapshot. A process keeps the
// id of its parent after the parent has ended, and ids are soon given again (under wine, the
// services that wineboot started name an id that a test's program may hold later): only a
// process created after `pid` is its child.
std::vector<DWORD> ChildrenOf(DWORD pid) {
  std::vector<DWORD> children;
  const uint64_t parentCreated = CreationTime(pid);
  if (parentCreated == 0) return children;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == pid && entry.th32ProcessID != pid &&
        CreationTime(entry.th32ProcessID) >= parentCreated) {
      children.push_back(entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  return children;
}

// The exit code of a process ended by the harness.
constexpr UINT kKilledCode = 0xDEAD;

// Ends a process and everything it started, the descendants first found while it still runs.
void KillTree(DWORD pid) {
  for (DWORD child : ChildrenOf(pid)) KillTree(child);
  if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
    TerminateProcess(process, kKilledCode);
    CloseHandle(process);
  }
}

// A thread that reads a pipe to its end into a string.
struct Drain {
  HANDLE pipe = nullptr;
  std::string* sink = nullptr;
  HANDLE thread = nullptr;

  static DWORD WINAPI Run(void* self) {
    auto* drain = static_cast<Drain*>(self);
    char buffer[4096];
    DWORD n = 0;
    // The end is a read of 0 bytes or ERROR_BROKEN_PIPE once every writer has gone.
    while (ReadFile(drain->pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
      drain->sink->append(buffer, n);
    }
    return 0;
  }
  void Start() { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
  // Waits for the end of the pipe, for at most `ms`; a descendant that still holds the write end
  // does not keep the test waiting for ever.
  void Finish(DWORD ms) {
    if (thread == nullptr) return;
    if (WaitForSingleObject(thread, ms) == WAIT_TIMEOUT) {
      CancelSynchronousIo(thread);
      WaitForSingleObject(thread, INFINITE);
    }
    CloseHandle(thread);
    thread = nullptr;
  }
};

// A thread that writes the input into a pipe and closes it.
struct Feed {
  HANDLE pipe = nullptr;
  const std::string* bytes = nullptr;
  HANDLE thread = nullptr;

  static DWORD WINAPI Run(void* self) {
    auto* feed = static_cast<Feed*>(self);
    size_t done = 0;
    DWORD n = 0;
    while (done < feed->bytes->size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(feed->bytes->size() - done, 65536));
      if (!WriteFile(feed->pipe, feed->bytes->data() + done, chunk, &n, nullptr)) break;
      done += n;
    }
    CloseHandle(feed->pipe);
    return 0;
  }
  void Start() { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
  void Finish() {
    if (thread == nullptr) return;
    // A child that has ended without reading everything: the pipe's reader is gone and the
    // write fails; one that left a descendant holding the read end is not waited for.
    if (WaitForSingleObject(thread, 2000) == WAIT_TIMEOUT) {
      CancelSynchronousIo(thread);
      WaitForSingleObject(thread, INFINITE);
    }
    CloseHandle(thread);
  }
};

HANDLE OpenInheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(PathOf(path).wstring().c_str(), access,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Has(const std::vector<int>& streams, int stream) {
  return std::find(streams.begin(), streams.end(), stream) != streams.end();
}

// The folder of this test program.
std::filesystem::path OwnFolder() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return std::filesystem::path(path).parent_path();
}

// The build folder: X17B_PROGRAM_DIR, or the nearest folder above this program that holds the
// converter.
std::filesystem::path BuildFolder() {
  static const std::filesystem::path folder = [] {
    if (const wchar_t* given = _wgetenv(L"X17B_PROGRAM_DIR"); given != nullptr && *given) {
      return std::filesystem::path(given);
    }
    std::filesystem::path at = OwnFolder();
    for (;;) {
      std::error_code error;
      if (std::filesystem::exists(at / L"x17b2pavo.exe", error)) return at;
      if (at == at.parent_path()) return OwnFolder();
      at = at.parent_path();
    }
  }();
  return folder;
}

}  // namespace

RunResult RunProgram(const std::string& program, const RunOptions& options) {
  RunResult result;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  HANDLE errRead = nullptr, errWrite = nullptr;
  if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) throw std::runtime_error("CreatePipe");
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  if (options.stdinPath.empty()) {
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) throw std::runtime_error("CreatePipe");
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  } else {
    inRead = OpenInheritable(options.stdinPath, GENERIC_READ, OPEN_EXISTING);
    if (inRead == INVALID_HANDLE_VALUE) throw std::runtime_error("stdin file " + options.stdinPath);
  }
  if (options.stdoutPath.empty()) {
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) throw std::runtime_error("CreatePipe");
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    if (options.stdoutReaderGone) {
      CloseHandle(outRead);
      outRead = nullptr;
    }
  } else {
    outWrite = OpenInheritable(options.stdoutPath, GENERIC_WRITE, CREATE_ALWAYS);
    if (outWrite == INVALID_HANDLE_VALUE) {
      throw std::runtime_error("stdout file " + options.stdoutPath);
    }
  }

  // Only the standard handles are inherited, through a handle list: the pipes of a child that
  // another thread starts meanwhile never leak into this one. A stream given as closed is no
  // handle at all in the child.
  HANDLE standard[3] = {inRead, outWrite, errWrite};
  std::vector<HANDLE> inherited;
  for (int stream = 0; stream < 3; ++stream) {
    if (Has(options.closedStreams, stream)) {
      standard[stream] = nullptr;
    } else {
      inherited.push_back(standard[stream]);
    }
  }
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  InitializeProcThreadAttributeList(attributes, 1, 0, &size);
  if (!inherited.empty()) {
    UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                              inherited.size() * sizeof(HANDLE), nullptr, nullptr);
  }
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = standard[0];
  startup.StartupInfo.hStdOutput = standard[1];
  startup.StartupInfo.hStdError = standard[2];
  startup.lpAttributeList = attributes;

  std::wstring application = PathOf(program).wstring();
  std::wstring commandLine;
  AppendArgument(commandLine, application);
  if (!options.commandLine.empty()) {
    commandLine += L' ' + Wide(options.commandLine);
  } else {
    for (const std::string& arg : options.args) {
      commandLine += L' ';
      AppendArgument(commandLine, Wide(arg));
    }
  }
  std::wstring environment;
  if (!options.environment.empty()) environment = EnvironmentBlock(options.environment);
  const std::wstring workDir = PathOf(options.workDir).wstring();
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, !inherited.empty(),
                     EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT,
                     environment.empty() ? nullptr : environment.data(),
                     workDir.empty() ? nullptr : workDir.c_str(), &startup.StartupInfo, &process);
  const DWORD startError = GetLastError();
  DeleteProcThreadAttributeList(attributes);
  for (HANDLE childEnd : {inRead, outWrite, errWrite}) {
    if (childEnd != nullptr && childEnd != INVALID_HANDLE_VALUE) CloseHandle(childEnd);
  }
  Drain out{outRead, &result.out};
  Drain err{errRead, &result.err};
  Feed feed{inWrite, &options.input};
  if (!started) {
    if (inWrite != nullptr) CloseHandle(inWrite);
    if (outRead != nullptr) CloseHandle(outRead);
    CloseHandle(errRead);
    throw std::runtime_error("CreateProcessW " + program + ": error " + std::to_string(startError));
  }
  if (outRead != nullptr) out.Start();
  err.Start();
  if (inWrite != nullptr) feed.Start();

  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  bool actionDone = !options.duringRun;
  for (;;) {
    if (WaitForSingleObject(process.hProcess, actionDone ? 50 : 10) == WAIT_OBJECT_0) break;
    if (!actionDone) actionDone = options.duringRun(static_cast<int>(process.dwProcessId));
    if (std::chrono::steady_clock::now() > deadline) {
      KillTree(process.dwProcessId);
      WaitForSingleObject(process.hProcess, INFINITE);
      result.timedOut = true;
      break;
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  result.exitCode = static_cast<int>(code);
  feed.Finish();
  out.Finish(2000);
  err.Finish(2000);
  if (outRead != nullptr) CloseHandle(outRead);
  CloseHandle(errRead);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

std::string BuiltProgram(std::string_view relative) {
  return Utf8Of((BuildFolder() / PathOf(std::string(relative))).make_preferred()) + ".exe";
}

std::string SourceFile(std::string_view relative) {
  return Utf8Of(
      (BuildFolder() / L"tests" / L"fixtures" / PathOf(std::string(relative))).make_preferred());
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  const std::filesystem::path base(std::wstring(temp, n));
  for (;;) {
    const std::wstring name = L"x17b-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(counter++);
    const std::filesystem::path made = base / name;
    if (CreateDirectoryW(made.c_str(), nullptr)) {
      path_ = Utf8Of(made);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("CreateDirectoryW");
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(PathOf(path_), ignored);
}

std::string TempDir::File(const std::string& name) const {
  return path_ + "\\" + name;
}

std::vector<int> ChildProcesses(int pid) {
  std::vector<int> pids;
  for (DWORD child : ChildrenOf(static_cast<DWORD>(pid))) {
    // A process id can be reused: only a child that still runs counts.
    if (!HasEnded(static_cast<int>(child))) pids.push_back(static_cast<int>(child));
  }
  return pids;
}

bool KillProcess(int pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return false;
  const bool killed = TerminateProcess(process, kKilledCode) != 0;
  CloseHandle(process);
  return killed;
}

// FindFirstFileW itself: the C runtime's folder reading makes its own full path of a \\?\ name.
std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const std::wstring pattern = (PathOf(folder) / L"*").wstring();
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(Utf8Of(std::filesystem::path(name)));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

bool WasKilled(const RunResult& run) {
  return run.exitCode == static_cast<int>(kKilledCode);
}

bool HasEnded(int pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return true;
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

namespace {

BOOL WINAPI IgnoreCtrlC(DWORD type) {
  return type == CTRL_C_EVENT ? TRUE : FALSE;
}

}  // namespace

bool AttachConsoleForCtrlC() {
  static const bool attached = [] {
    // A program started without a console may still count as attached to one (wine does so):
    // it is freed first. The new console's handles would replace the standard ones.
    HANDLE saved[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                       GetStdHandle(STD_ERROR_HANDLE)};
    FreeConsole();
    const bool made = AllocConsole() != 0;
    SetStdHandle(STD_INPUT_HANDLE, saved[0]);
    SetStdHandle(STD_OUTPUT_HANDLE, saved[1]);
    SetStdHandle(STD_ERROR_HANDLE, saved[2]);
    return made && SetConsoleCtrlHandler(IgnoreCtrlC, TRUE) != 0;
  }();
  return attached;
}

bool SendCtrlC() {
  return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

}  // namespace x17b_test
