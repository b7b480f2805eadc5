// Windows implementation of open files: CreateFileW and the calls on its handle.
#include <algorithm>

#include "platform/close.h"
#include "platform/console_windows.h"
#include "platform/error_windows.h"
#include "platform/file_io.h"
#include "platform/handles_windows.h"
#include "platform/paths_windows.h"

namespace platform {
namespace {

// The most one ReadFile or WriteFile call is given.
constexpr std::size_t kLargestCall = std::size_t{1} << 30;

OpenResult Failed(Error error) {
  OpenResult result;
  result.error = error;
  return result;
}

// A refused open. Windows refuses a folder as it refuses access, so a refusal is checked for a
// folder; a missing name met while creating the file is a missing folder, since the file itself
// would have been made.
OpenResult Refused(DWORD error, const std::wstring& path, Creation creation) {
  if (error == ERROR_ACCESS_DENIED) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Failed(Error::kIsFolder);
    }
  }
  if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
      creation != Creation::kMustExist) {
    return Failed(Error::kNoSuchFolder);
  }
  return Failed(ErrorFromWin32(error));
}

DWORD AccessRights(AccessMode access) {
  switch (access) {
    case AccessMode::kRead:
      return GENERIC_READ;
    case AccessMode::kWrite:
      return GENERIC_WRITE;
    case AccessMode::kReadWrite:
      break;
  }
  return GENERIC_READ | GENERIC_WRITE;
}

// What others may do. Letting them read and write lets them remove and rename the file too, as
// on POSIX, and lets a stop request remove a file this process still has open.
DWORD ShareRights(ShareMode share) {
  switch (share) {
    case ShareMode::kReadOnly:
      return FILE_SHARE_READ;
    case ShareMode::kWriteOnly:
      return FILE_SHARE_WRITE;
    case ShareMode::kNone:
      return 0;
    case ShareMode::kReadWrite:
      break;
  }
  return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
}

DWORD Disposition(Creation creation) {
  switch (creation) {
    case Creation::kCreateIfAbsent:
      return OPEN_ALWAYS;
    case Creation::kCreateExclusive:
      return CREATE_NEW;
    case Creation::kMustExist:
      break;
  }
  return OPEN_EXISTING;
}

// What the opened handle leads to: files and disks can be positioned, pipes and character
// devices (the null device, a console) cannot.
OpenResult Opened(HANDLE handle) {
  OpenResult result;
  result.handle = HandleOf(handle);
  const DWORD type = GetFileType(handle);
  result.isPipe = type == FILE_TYPE_PIPE;
  result.positionable = type == FILE_TYPE_DISK;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(handle, &info)) result.id = IdOf(info);
  return result;
}

bool IsStandardStream(HANDLE handle) {
  for (const DWORD stream : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    if (GetStdHandle(stream) == handle) return true;
  }
  return false;
}

DWORD CallSize(std::size_t size) {
  return static_cast<DWORD>(std::min(size, kLargestCall));
}

}  // namespace

OpenResult OpenFile(const char* path, Creation creation, AccessMode access, ShareMode share) {
  const SystemPath name = SystemPathOf(path);
  if (!name.ok()) return Failed(name.error);
  // Not inherited by processes this one starts, as O_CLOEXEC makes it on POSIX.
  const HANDLE handle = CreateFileW(name.text.c_str(), AccessRights(access), ShareRights(share),
                                    nullptr, Disposition(creation), FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Refused(GetLastError(), name.text, creation);
  return Opened(handle);
}

OpenResult OpenNullDevice() {
  const HANDLE handle =
      CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Failed(ErrorFromWin32(GetLastError()));
  return Opened(handle);
}

IoResult ReadSome(Handle handle, char* buffer, std::size_t size) {
  const HANDLE system = SystemHandle(handle);
  if (IsConsoleStream(system)) return ReadConsoleText(system, buffer, size);
  DWORD got = 0;
  if (ReadFile(system, buffer, CallSize(size), &got, nullptr)) return IoResult{got};
  const DWORD error = GetLastError();
  // The end of a pipe: a Windows pipe whose writers have gone reports a broken pipe (a pipe that
  // wine passes in from Linux ends with a read of 0 bytes, as a file does).
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return IoResult{0};
  return IoResult{0, ErrorFromWin32(error)};
}

IoResult WriteAll(Handle handle, const char* data, std::size_t size) {
  const HANDLE system = SystemHandle(handle);
  if (IsConsoleStream(system)) return WriteConsoleText(system, data, size);
  std::size_t done = 0;
  while (done < size) {
    DWORD wrote = 0;
    if (!WriteFile(system, data + done, CallSize(size - done), &wrote, nullptr)) {
      return IoResult{done, ErrorFromWin32(GetLastError())};
    }
    if (wrote == 0) return IoResult{done, Error::kNoSpace};
    done += wrote;
  }
  return IoResult{done};
}

IoResult WriteAt(Handle handle, const char* data, std::size_t size, int64_t offset) {
  std::size_t done = 0;
  while (done < size) {
    // An offset given with the write, on a handle opened for synchronous calls, is pwrite's.
    OVERLAPPED at{};
    const auto position = static_cast<uint64_t>(offset) + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD wrote = 0;
    if (!WriteFile(SystemHandle(handle), data + done, CallSize(size - done), &wrote, &at)) {
      return IoResult{done, ErrorFromWin32(GetLastError())};
    }
    if (wrote == 0) return IoResult{done, Error::kNoSpace};
    done += wrote;
  }
  return IoResult{done};
}

int64_t SeekTo(Handle handle, int64_t offset) {
  LARGE_INTEGER distance{};
  distance.QuadPart = offset;
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(SystemHandle(handle), distance, &position, FILE_BEGIN)) return -1;
  return position.QuadPart;
}

int64_t SeekToEnd(Handle handle) {
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(SystemHandle(handle), LARGE_INTEGER{}, &position, FILE_END)) return -1;
  return position.QuadPart;
}

Result CutAt(Handle handle, int64_t length) {
  const HANDLE system = SystemHandle(handle);
  if (GetFileType(system) != FILE_TYPE_DISK) return {};  // a device or pipe
  // The end moves without moving the file position, as ftruncate leaves it.
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = length;
  if (SetFileInformationByHandle(system, FileEndOfFileInfo, &end, sizeof end)) return {};
  return ResultOfLastError();
}

Result CloseHandle(Handle handle) {
  if (IsStandardStream(SystemHandle(handle))) return {};
  return Result{CloseSystemHandle(handle)};
}

}  // namespace platform
