// A scan read through a pipe that the test feeds: the conversion of the scan waits for the test as
// long as the test wants. POSIX: a named pipe (FIFO) in the test's folder. Windows: a named pipe
// \\.\pipe\x17b-test-PID-N-NAME whose server end is the test's; a new instance always waits
// behind the connected one, so that a reader that comes again (a new worker) finds the pipe.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <string>
#include <utility>

#include "tests/process_harness.h"

namespace convert_test {

class ScanPipe {
 public:
  /// A pipe whose last name part is `fileName` ("slow.dat").
  ScanPipe(const x17b_test::TempDir& dir, const std::string& fileName);
  ~ScanPipe() { Close(); }
  ScanPipe(const ScanPipe&) = delete;
  ScanPipe& operator=(const ScanPipe&) = delete;

  /// The name a program is given, relative to the test's folder where the system allows.
  const std::string& name() const { return name_; }
  /// The output that the batch makes of it: the last name part with ".pavo" for its suffix.
  std::string Output() const { return stem_ + ".pavo"; }

  /// True once a reader has the pipe open; the test's end stays open until Close.
  bool Opened();
  /// With the test's end open: whether a reader has the pipe open now, a new one included.
  bool HasReader();
  /// Waits until the reader has taken every byte written so far.
  void WaitUntilRead() const;
  void Write(const std::string& bytes);
  /// The end of the scan, as the reader sees it.
  void Close();

 private:
  std::string name_;
  std::string stem_;
#ifdef _WIN32
  HANDLE NewInstance() const;
  bool Connected(HANDLE instance) const;
  std::wstring wideName_;
  HANDLE current_ = INVALID_HANDLE_VALUE;  // the instance a reader has connected to, if any
  HANDLE waiting_ = INVALID_HANDLE_VALUE;  // the instance that waits for the next reader
#else
  std::string path_;
  int handle_ = -1;
#endif
};

#ifdef _WIN32

inline ScanPipe::ScanPipe(const x17b_test::TempDir&, const std::string& fileName) {
  static std::atomic<unsigned> counter{0};
  const std::string unique = "x17b-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(counter++) + "-" + fileName;
  name_ = "\\\\.\\pipe\\" + unique;
  stem_ = unique.substr(0, unique.rfind('.'));
  wideName_.assign(name_.begin(), name_.end());  // ASCII
  waiting_ = NewInstance();
}

inline HANDLE ScanPipe::NewInstance() const {
  // Not waiting: a connection is looked for without blocking the test.
  return CreateNamedPipeW(wideName_.c_str(), PIPE_ACCESS_OUTBOUND,
                          PIPE_TYPE_BYTE | PIPE_NOWAIT | PIPE_REJECT_REMOTE_CLIENTS,
                          PIPE_UNLIMITED_INSTANCES, 65536, 65536, 0, nullptr);
}

inline bool ScanPipe::Connected(HANDLE instance) const {
  if (instance == INVALID_HANDLE_VALUE) return false;
  if (ConnectNamedPipe(instance, nullptr)) return true;
  const DWORD error = GetLastError();
  // ERROR_NO_DATA: a reader came and went already.
  return error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA;
}

inline bool ScanPipe::Opened() {
  if (current_ != INVALID_HANDLE_VALUE) return true;
  return HasReader();
}

inline bool ScanPipe::HasReader() {
  if (!Connected(waiting_)) return false;
  if (current_ != INVALID_HANDLE_VALUE) CloseHandle(current_);
  current_ = waiting_;
  DWORD wait = PIPE_WAIT | PIPE_READMODE_BYTE;
  SetNamedPipeHandleState(current_, &wait, nullptr, nullptr);
  waiting_ = NewInstance();
  return true;
}

inline void ScanPipe::WaitUntilRead() const {
  // A flush of a pipe returns once its reader has taken every byte.
  if (current_ != INVALID_HANDLE_VALUE) FlushFileBuffers(current_);
}

inline void ScanPipe::Write(const std::string& bytes) {
  DWORD n = 0;
  if (!WriteFile(current_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) ||
      n != bytes.size()) {
    Close();
  }
}

inline void ScanPipe::Close() {
  for (HANDLE* handle : {&current_, &waiting_}) {
    if (*handle == INVALID_HANDLE_VALUE) continue;
    if (handle == &current_) FlushFileBuffers(*handle);  // the reader gets every byte, then the end
    CloseHandle(*handle);
    *handle = INVALID_HANDLE_VALUE;
  }
}

#else

inline ScanPipe::ScanPipe(const x17b_test::TempDir& dir, const std::string& fileName)
    : name_{fileName}, stem_{fileName.substr(0, fileName.rfind('.'))}, path_{dir.File(fileName)} {
  mkfifo(path_.c_str(), 0666);
  chmod(path_.c_str(), 0666);  // a program that runs as another user reads it too
}

inline bool ScanPipe::Opened() {
  if (handle_ < 0) handle_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
  if (handle_ >= 0) fcntl(handle_, F_SETFL, 0);
  return handle_ >= 0;
}

inline bool ScanPipe::HasReader() {
  // A second writer opens only while a reader has the pipe open, and goes again at once, which the
  // reader does not notice.
  const int probe = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
  if (probe >= 0) close(probe);
  return probe >= 0;
}

inline void ScanPipe::WaitUntilRead() const {
  for (int held = 1, waited = 0; ioctl(handle_, FIONREAD, &held) == 0 && held > 0 && waited < 10000;
       ++waited) {
    usleep(1000);
  }
}

inline void ScanPipe::Write(const std::string& bytes) {
  if (write(handle_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) Close();
}

inline void ScanPipe::Close() {
  if (handle_ >= 0) close(handle_);
  handle_ = -1;
}

#endif

}  // namespace convert_test
