// Runs a built program as a child process with prepared standard input and captures its output.
// One interface for both systems: process_harness_posix.cpp (fork and exec, pipes or a
// pseudo-terminal) and process_harness_windows.cpp (CreateProcessW and anonymous pipes). What
// only one system can set up is declared for that system alone, so that a test which needs it
// does not compile for the other.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace x17b_test {

enum class InputKind {
  kPipe,  // standard input and standard output are pipes
#ifndef _WIN32
  kPty,  // standard input and standard output are one pseudo-terminal (echo and output
         // processing off, canonical lines, no signal characters); standard error is a pipe
#endif
};

/// The kinds of standard input this system's tests can give a program: a terminal dialogue runs
/// only where the test can be the terminal.
#ifndef _WIN32
inline const std::vector<InputKind> kInputKinds = {InputKind::kPipe, InputKind::kPty};
#else
inline const std::vector<InputKind> kInputKinds = {InputKind::kPipe};
#endif

struct RunOptions {
  std::vector<std::string> args;  // without the program name; UTF-8 on Windows
  std::string input;              // bytes fed to standard input (closed afterwards for a pipe)
  InputKind kind = InputKind::kPipe;
  std::string workDir;                                           // empty: the current directory
  std::vector<std::pair<std::string, std::string>> environment;  // set in the child
  int timeoutSeconds = 20;
  // Unusual standard streams (pipes only):
  std::vector<int> closedStreams;  // 0, 1, 2: the child starts without that stream
  std::string stdoutPath;          // non-empty: standard output goes to this file (truncated)
  std::string stdinPath;           // non-empty: standard input comes from this file
  bool stdoutReaderGone = false;   // standard output is a pipe that nobody reads
  // Called while the child runs, with its process id, until it returns true.
  std::function<bool(int)> duringRun;
#ifdef _WIN32
  // Non-empty: the command line after the program's name, as it stands (quotes and all), in
  // place of `args`.
  std::string commandLine;
#else
  int dropToUid = -1;               // >= 0: the child runs as this user (needs root)
  long fileSizeLimit = -1;          // >= 0: the child's file size limit in bytes
  long processLimit = -1;           // >= 0: the processes the child's user may have
  bool stderrOnTerminal = false;    // pseudo-terminal: standard error goes to it too (into `out`)
  bool stderrUnread = false;        // standard error is a pipe that nobody reads until the end
  int terminalColumns = 0;          // pseudo-terminal: its width in columns (0: as it comes)
  bool ownProcessGroup = false;     // the child leads a process group of its own (pipes only)
  std::vector<int> ignoredSignals;  // ignored in the child when the program starts
#endif
};

struct RunResult {
  std::string out;
  std::string err;
  // The exit code; -1 when the child did not exit normally (POSIX). On Windows every end has a
  // code, all 32 bits of it: 0xC000013A after a Ctrl-C is static_cast<int>(0xC000013A).
  int exitCode = -1;
  int signal = 0;  // the signal that ended the child, if any (never on Windows)
  bool timedOut = false;
};

/// Runs `program` and waits for it (killing it and its descendants after the timeout).
RunResult RunProgram(const std::string& program, const RunOptions& options);

/// A program built with the project, given by its place in the build folder without a suffix
/// ("x17b2pavo", "tests/recio_probe"). POSIX: under the build folder named at build time.
/// Windows: the ".exe" in the folder named by X17B_PROGRAM_DIR, or else in the nearest folder
/// above the test program that holds x17b2pavo.exe, so that a build folder copied to another
/// machine still finds its programs.
std::string BuiltProgram(std::string_view relative);

/// A file of the project's sources that the tests read ("examples/scan.dat"). On Windows a copy
/// made by the build beside the tests (tests/fixtures/), found like the programs.
std::string SourceFile(std::string_view relative);

/// A fresh, empty directory under the system's temporary directory, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  /// A name inside the directory, joined with the system's own separator.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Files by UTF-8 names, on both systems.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
bool MakeFolder(const std::string& path);
bool RemoveFile(const std::string& path);
/// The names in a folder, sorted; empty when it cannot be read.
std::vector<std::string> FolderNames(const std::string& folder);

/// The processes that `pid` started and that still run, in no particular order.
std::vector<int> ChildProcesses(int pid);
/// Ends the process at once, without letting it clean up (SIGKILL, TerminateProcess).
bool KillProcess(int pid);
/// Whether the process has ended (a POSIX process waiting to be collected has).
bool HasEnded(int pid);
/// Whether the run was ended by KillProcess (SIGKILL; TerminateProcess with its code).
bool WasKilled(const RunResult& run);

/// The line a run writes to standard output when it stops normally.
inline const std::string kStopLine = "Stop - Program terminated.\r\n";

/// The failure report of a failed request: CR LF, "run-time error F" with the four-digit number,
/// the statement and the file name, then "- " and the catalogue text, each line ending in CR LF.
std::string FailureMessage(int number, std::string_view statement, std::string_view name,
                           std::string_view text);

/// The floating-point fault message: "run-time error M" with the four-digit number, "MATH", and
/// "- floating-point error: " with the fault's word, in the same lines as a failure report.
std::string MathFaultMessage(int number, std::string_view word);

/// Makes control characters visible: CR as <CR>, LF as <LF>\n, others as <NN>.
std::string Visible(const std::string& bytes);

#ifdef _WIN32
/// Gives the test program a console of its own, which the programs it starts share, and makes the
/// test program itself ignore Ctrl-C; the standard handles stay as they were. Once per process.
bool AttachConsoleForCtrlC();
/// Sends Ctrl-C to every process on that console: the programs started since, not this one.
bool SendCtrlC();
/// Whether the program runs under wine rather than on Windows itself.
bool UnderWine();
#endif

}  // namespace x17b_test
