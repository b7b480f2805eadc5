// Windows implementation of the standard streams: the handles of STD_INPUT_HANDLE,
// STD_OUTPUT_HANDLE and STD_ERROR_HANDLE, read and written as bytes through ReadFile and
// WriteFile (the C runtime's text mode, which would turn LF into CR LF and stop at Ctrl-Z, is
// never involved).
#include <windows.h>

#include "platform/console_windows.h"
#include "platform/handles_windows.h"
#include "platform/streams.h"

namespace platform {
namespace {

DWORD StandardHandleId(Stream stream) {
  switch (stream) {
    case Stream::kInput:
      return STD_INPUT_HANDLE;
    case Stream::kOutput:
      return STD_OUTPUT_HANDLE;
    case Stream::kError:
      break;
  }
  return STD_ERROR_HANDLE;
}

HANDLE StandardHandle(Stream stream) {
  return GetStdHandle(StandardHandleId(stream));
}

bool IsOpen(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  return GetFileType(handle) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

std::optional<FileId> FileBehind(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    return std::nullopt;
  }
  return IdOf(info);
}

// Typed lines until one that ends in Ctrl-Z, which ends the input as it does for the record
// layer: a console has no end of its own.
Result ReadConsoleToEnd(HANDLE handle, std::string& bytes) {
  bytes.clear();
  char line[512];
  for (;;) {
    const IoResult got = ReadConsoleText(handle, line, sizeof line);
    if (!got.ok()) return Result{got.error};
    bytes.append(line, got.count);
    const std::size_t end = bytes.find('\x1a');
    if (end != std::string::npos) {
      bytes.resize(end);
      return {};
    }
  }
}

}  // namespace

Handle StreamHandle(Stream stream) {
  return HandleOf(StandardHandle(stream));
}

bool StreamIsOpen(Stream stream) {
  return IsOpen(StandardHandle(stream));
}

bool IsTerminal(Stream stream) {
  return IsConsole(StandardHandle(stream));
}

std::optional<int> TerminalColumns(Stream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(StandardHandle(stream), &info)) return std::nullopt;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? std::optional<int>(columns) : std::nullopt;
}

Result ReadToEnd(Stream stream, std::string& bytes) {
  const HANDLE handle = StandardHandle(stream);
  if (IsConsole(handle)) return ReadConsoleToEnd(handle, bytes);
  return ReadHandleToEnd(handle, bytes);
}

std::array<std::optional<FileId>, 3> StandardStreamFiles() {
  std::array<std::optional<FileId>, 3> files;
  for (const Stream stream : {Stream::kInput, Stream::kOutput, Stream::kError}) {
    files[IndexOf(stream)] = FileBehind(StandardHandle(stream));
  }
  return files;
}

std::array<StreamFacts, 3> PrepareStandardStreams() {
  std::array<StreamFacts, 3> streams{};
  for (const Stream stream : {Stream::kInput, Stream::kOutput, Stream::kError}) {
    const HANDLE handle = StandardHandle(stream);
    if (!IsOpen(handle)) {
      // Not open: the null device takes its place, so that the run can write and read it as
      // it would a closed stream's on POSIX, where the null device fills the number.
      SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
      const HANDLE null =
          CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      &inherited, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (null != INVALID_HANDLE_VALUE) SetStdHandle(StandardHandleId(stream), null);
      continue;
    }
    StreamFacts& facts = streams[IndexOf(stream)];
    facts.terminal = stream != Stream::kError && IsConsole(handle);
    facts.file = FileBehind(handle);
  }
  return streams;
}

}  // namespace platform
