// Runs a built program as a child process with prepared standard input and captures its output.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace x17b_test {

enum class InputKind {
  kPipe,  // standard input and standard output are pipes
  kPty,   // standard input and standard output are one pseudo-terminal (echo and output
          // processing off, canonical lines, no signal characters); standard error is a pipe
};

struct RunOptions {
  std::vector<std::string> args;  // without the program name
  std::string input;              // bytes fed to standard input (closed afterwards for a pipe)
  InputKind kind = InputKind::kPipe;
  std::string workDir;  // empty: the current directory
  int dropToUid = -1;   // >= 0: the child runs as this user (needs root)
  std::vector<std::pair<std::string, std::string>> environment;  // set in the child
  int timeoutSeconds = 20;
  // Unusual standard streams (pipes only):
  std::vector<int> closedStreams;   // 0, 1, 2: closed in the child before the program starts
  std::string stdoutPath;           // non-empty: standard output goes to this file (truncated)
  std::string stdinPath;            // non-empty: standard input comes from this file
  bool stdoutReaderGone = false;    // standard output is a pipe that nobody reads
  long fileSizeLimit = -1;          // >= 0: the child's file size limit in bytes
  long processLimit = -1;           // >= 0: the processes the child's user may have
  bool stderrOnTerminal = false;    // pseudo-terminal: standard error goes to it too (into `out`)
  bool stderrUnread = false;        // standard error is a pipe that nobody reads until the end
  int terminalColumns = 0;          // pseudo-terminal: its width in columns (0: as it comes)
  bool ownProcessGroup = false;     // the child leads a process group of its own (pipes only)
  std::vector<int> ignoredSignals;  // ignored in the child when the program starts
  // Called while the child runs, with its process id, until it returns true.
  std::function<bool(int)> duringRun;
};

struct RunResult {
  std::string out;
  std::string err;
  int exitCode = -1;  // -1 when the child did not exit normally
  int signal = 0;     // the signal that ended the child, if any
  bool timedOut = false;
};

/// Runs `program` and waits for it (killing it after the timeout).
RunResult RunProgram(const std::string& program, const RunOptions& options);

/// A fresh, empty directory under the system's temporary directory, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

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

}  // namespace x17b_test
