// The POSIX side of the whole-program tests' harness: fork and exec with pipes or a
// pseudo-terminal, exact bytes back; the build folder named at build time.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tests/process_harness.h"

namespace x17b_test {
namespace {

void SetNonBlocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Reads what is available on fd into sink; returns false once the other side is gone.
bool Drain(int fd, std::string& sink) {
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      sink.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    return false;  // 0 (end) or EIO (pty slave closed)
  }
}

void RawTerminal(int fd) {
  termios t{};
  tcgetattr(fd, &t);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
  t.c_lflag |= ICANON;
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
  tcsetattr(fd, TCSANOW, &t);
}

[[noreturn]] void ExecChild(const std::string& program, const RunOptions& options) {
  for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
  if (options.fileSizeLimit >= 0) {
    // The soft limit only: what the program writes is limited, and a coverage build may still
    // lift it for its own counter files.
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(options.fileSizeLimit);
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
  if (options.dropToUid >= 0) {
    if (setgid(static_cast<gid_t>(options.dropToUid)) != 0 ||
        setuid(static_cast<uid_t>(options.dropToUid)) != 0) {
      _exit(126);
    }
  }
  // After the change of user: a limit already exceeded at setuid would make execve fail instead of
  // the program's own fork.
  if (options.processLimit >= 0) {
    rlimit limit{static_cast<rlim_t>(options.processLimit),
                 static_cast<rlim_t>(options.processLimit)};
    setrlimit(RLIMIT_NPROC, &limit);
  }
  std::vector<char*> argv;
  std::string absolute = std::filesystem::absolute(program).string();
  argv.push_back(const_cast<char*>(absolute.c_str()));
  for (const std::string& arg : options.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(absolute.c_str(), argv.data());
  _exit(127);
}

}  // namespace

RunResult RunProgram(const std::string& program, const RunOptions& options) {
  RunResult result;
  int errPipe[2];
  if (pipe(errPipe) != 0) throw std::runtime_error("pipe");
  int inPipe[2] = {-1, -1};
  int outPipe[2] = {-1, -1};
  int master = -1;
  int slave = -1;
  if (options.kind == InputKind::kPipe) {
    if (pipe(inPipe) != 0 || pipe(outPipe) != 0) throw std::runtime_error("pipe");
    if (options.stdoutReaderGone) {
      close(outPipe[0]);
      outPipe[0] = -1;
    }
  } else {
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty");
    }
    RawTerminal(slave);
    if (options.terminalColumns > 0) {
      winsize size{};
      size.ws_row = 24;
      size.ws_col = static_cast<unsigned short>(options.terminalColumns);
      ioctl(slave, TIOCSWINSZ, &size);
    }
  }
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    if (options.kind == InputKind::kPipe) {
      dup2(inPipe[0], 0);
      dup2(outPipe[1], 1);
      if (!options.stdinPath.empty()) {
        int file = open(options.stdinPath.c_str(), O_RDONLY);
        if (file < 0) _exit(126);
        dup2(file, 0);
      }
      if (!options.stdoutPath.empty()) {
        int file = open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (file < 0) _exit(126);
        dup2(file, 1);
      }
    } else {
      setsid();
      dup2(slave, 0);
      dup2(slave, 1);
    }
    dup2(options.stderrOnTerminal ? slave : errPipe[1], 2);
    for (int fd = 3; fd < 256; ++fd) close(fd);
    for (int fd : options.closedStreams) close(fd);
    if (options.ownProcessGroup && options.kind == InputKind::kPipe) setpgid(0, 0);
    for (int ignored : options.ignoredSignals) signal(ignored, SIG_IGN);
    ExecChild(program, options);
  }
  close(errPipe[1]);
  int outFd;
  int inFd;
  if (options.kind == InputKind::kPipe) {
    close(inPipe[0]);
    close(outPipe[1]);
    outFd = outPipe[0];
    inFd = inPipe[1];
    if (outFd < 0) outFd = open("/dev/null", O_RDONLY);  // nothing to read there
  } else {
    close(slave);
    outFd = master;
    inFd = master;
  }
  SetNonBlocking(outFd);
  SetNonBlocking(errPipe[0]);
  signal(SIGPIPE, SIG_IGN);

  // Feed the input. A pty takes the whole input up front (canonical lines wait in the line
  // discipline); a pipe is closed afterwards so that the child sees the end of the input.
  size_t fed = 0;
  bool outOpen = true;
  bool errOpen = true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  int status = 0;
  bool exited = false;
  bool actionDone = false;
  while (!exited) {
    if (fed < options.input.size()) {
      ssize_t n = write(inFd, options.input.data() + fed, options.input.size() - fed);
      if (n > 0) fed += static_cast<size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) fed = options.input.size();
    }
    if (fed >= options.input.size() && options.kind == InputKind::kPipe && inFd >= 0) {
      close(inFd);
      inFd = -1;
    }
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    poll(fds, 2, 10);
    if (outOpen) outOpen = Drain(outFd, result.out);
    if (errOpen && !options.stderrUnread) errOpen = Drain(errPipe[0], result.err);
    if (options.duringRun && !actionDone) actionDone = options.duringRun(pid);
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) exited = true;
    if (!exited && std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.timedOut = true;
      exited = true;
    }
  }
  // Whatever the child wrote before it ended is still in the pipes or the pty; a pty master
  // reports the end (EIO) only once the line discipline has handed over the last bytes.
  for (int i = 0; i < 200 && (outOpen || errOpen); ++i) {
    if (outOpen) outOpen = Drain(outFd, result.out);
    if (errOpen) errOpen = Drain(errPipe[0], result.err);
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    poll(fds, 2, 5);
  }
  if (inFd >= 0 && options.kind == InputKind::kPipe) close(inFd);
  close(outFd);
  close(errPipe[0]);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

TempDir::TempDir() {
  char pattern[] = "/tmp/x17b-test-XXXXXX";
  char* made = mkdtemp(pattern);
  if (made == nullptr) throw std::runtime_error("mkdtemp");
  path_ = made;
  chmod(path_.c_str(), 0777);  // a child that drops privileges must still reach its files
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const {
  return path_ + "/" + name;
}

std::string BuiltProgram(std::string_view relative) {
  return X17B_BUILD_DIR "/" + std::string(relative);
}

std::string SourceFile(std::string_view relative) {
  return X17B_SOURCE_DIR "/" + std::string(relative);
}

std::vector<int> ChildProcesses(int pid) {
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                         "/children");
  std::vector<int> pids;
  for (int child; children >> child;) pids.push_back(child);
  return pids;
}

bool KillProcess(int pid) {
  return kill(pid, SIGKILL) == 0;
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    names.push_back(entry->path().filename().native());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool WasKilled(const RunResult& run) {
  return run.signal == SIGKILL;
}

bool HasEnded(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string number, name, state;
  if (!(stat >> number >> name >> state)) return true;
  return state == "Z" || state == "X";
}

}  // namespace x17b_test
