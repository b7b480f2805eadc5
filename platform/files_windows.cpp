// Windows implementation of files by name.
#include <string>

#include "platform/error_windows.h"
#include "platform/files.h"
#include "platform/handles_windows.h"
#include "platform/paths_windows.h"

namespace platform {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle closed when it goes out of scope.
class Opened {
 public:
  explicit Opened(HANDLE handle) : handle_{handle} {}
  ~Opened() {
    if (ok()) ::CloseHandle(handle_);
  }
  Opened(const Opened&) = delete;
  Opened& operator=(const Opened&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

HANDLE OpenExisting(const std::wstring& path, DWORD access, DWORD flags = 0) {
  return CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
}

// What a name leads to, a link followed: opened without asking for any access, which folders
// allow too with FILE_FLAG_BACKUP_SEMANTICS.
HANDLE OpenTarget(const std::wstring& path) {
  return OpenExisting(path, 0, FILE_FLAG_BACKUP_SEMANTICS);
}

FileKind KindOf(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info) {
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::kFolder;
  return GetFileType(handle) == FILE_TYPE_DISK ? FileKind::kFile : FileKind::kOther;
}

// Why this process may not open the file with `access`, if so. A read-only file refuses writing
// even where the system would let this user open it (an administrator's).
Error Refusal(const std::wstring& path, DWORD access, const BY_HANDLE_FILE_INFORMATION& info) {
  if (access == GENERIC_WRITE && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return Error::kAccessDenied;
  }
  const Opened tried(OpenExisting(path, access));
  return tried.ok() ? Error::kNone : ErrorFromWin32(GetLastError());
}

// A file system that keeps no written data back (a network share may not) refuses the flush: it
// has nothing to sync, as fsync's EINVAL says on POSIX.
bool NothingToFlush(DWORD error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

}  // namespace

NameFacts InspectName(const char* path) {
  NameFacts facts;
  const SystemPath name = SystemPathOf(path);
  if (name.error == Error::kDeviceName) {
    // In every folder, such a name leads to a device.
    facts.nameExists = true;
    facts.kind = FileKind::kOther;
    return facts;
  }
  if (!name.ok()) return facts;
  if (IsPipeName(name.text)) {
    // There when its server offers an instance or all are taken; never opened to be known.
    facts.nameExists = WaitNamedPipeW(name.text.c_str(), 0) || GetLastError() == ERROR_SEM_TIMEOUT;
    facts.kind = facts.nameExists ? FileKind::kOther : FileKind::kNone;
    return facts;
  }
  if (GetFileAttributesW(name.text.c_str()) == INVALID_FILE_ATTRIBUTES) return facts;
  facts.nameExists = true;
  const Opened target(OpenTarget(name.text));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!target.ok() || !GetFileInformationByHandle(target.get(), &info)) return facts;
  facts.kind = KindOf(target.get(), info);
  facts.id = IdOf(info);
  if (facts.kind != FileKind::kFile) return facts;
  facts.writeRefused = Refusal(name.text, GENERIC_WRITE, info);
  facts.readRefused = Refusal(name.text, GENERIC_READ, info);
  return facts;
}

bool Exists(const char* path) {
  const SystemPath name = SystemPathOf(path);
  if (name.error == Error::kDeviceName) return true;
  return name.ok() && Opened(OpenTarget(name.text)).ok();
}

bool IsFolder(const char* path) {
  const SystemPath name = SystemPathOf(path);
  if (!name.ok()) return false;
  const Opened target(OpenTarget(name.text));
  BY_HANDLE_FILE_INFORMATION info{};
  return target.ok() && GetFileInformationByHandle(target.get(), &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Result ReadWholeFile(const char* path, std::string& bytes, std::size_t limit) {
  bytes.clear();
  const SystemPath name = SystemPathOf(path);
  if (!name.ok()) return {name.error == Error::kDeviceName ? Error::kNotAFile : name.error};
  const Opened file(OpenExisting(name.text, GENERIC_READ));
  if (!file.ok()) return ResultOfLastError();
  LARGE_INTEGER size{};
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return {Error::kNotAFile};
  if (!GetFileSizeEx(file.get(), &size)) return ResultOfLastError();
  if (static_cast<uint64_t>(size.QuadPart) > limit) return {Error::kFileTooLarge};
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  Result result;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                  nullptr)) {
      result = ResultOfLastError();
      break;
    }
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);  // a file that shrank meanwhile is what it now holds
  return result;
}

Result ReadToEnd(const char* path, std::string& bytes) {
  SystemPath name = SystemPathOf(path);
  // A device (NUL, CON) is read as the name leads Windows to it.
  if (name.error == Error::kDeviceName && WideOf(path, name.text)) name.error = Error::kNone;
  if (!name.ok()) return {name.error};
  const Opened file(OpenExisting(name.text, GENERIC_READ));
  if (!file.ok()) {
    // Windows refuses to open a folder for reading as it refuses access.
    const Result refused = ResultOfLastError();
    return refused.error == Error::kAccessDenied && IsFolder(path) ? Result{Error::kIsFolder}
                                                                   : refused;
  }
  return ReadHandleToEnd(file.get(), bytes);
}

Result RenameFile(const char* from, const char* to, bool replace) {
  const SystemPath source = SystemPathOf(from);
  const SystemPath target = SystemPathOf(to);
  if (!source.ok()) return {source.error};
  if (!target.ok()) return {target.error};
  // Through to the disk before the call returns: the rename needs no sync of its folder after.
  // Without MOVEFILE_REPLACE_EXISTING, a name that exists stays and the move fails.
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (MoveFileExW(source.text.c_str(), target.text.c_str(), flags)) return {};
  return ResultOfLastError();
}

Result RemoveFile(const char* path) {
  const SystemPath name = SystemPathOf(path);
  if (name.error == Error::kDeviceName) return {Error::kNotAFile};
  if (!name.ok()) return {name.error};
  const DWORD attributes = GetFileAttributesW(name.text.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {Error::kNotAFile};
  }
  if (DeleteFileW(name.text.c_str())) return {};
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
  return {ErrorFromWin32(error)};
}

Result SyncFileData(std::span<const std::string> files, std::span<const std::string> folders) {
  // Windows has no sync of a whole file system that a program may call: each file is flushed.
  static_cast<void>(folders);
  Result result;
  for (const std::string& file : files) {
    const SystemPath name = SystemPathOf(file);
    Result synced{name.error};
    if (name.ok()) {
      const Opened handle(OpenExisting(name.text, GENERIC_WRITE));
      const bool flushed =
          handle.ok() && (FlushFileBuffers(handle.get()) || NothingToFlush(GetLastError()));
      if (!flushed) synced = ResultOfLastError();
    }
    if (result.ok()) result = synced;
  }
  return result;
}

Result SyncFolder(const char* folder) {
  // A rename is written through to the disk by RenameFile itself (MOVEFILE_WRITE_THROUGH).
  static_cast<void>(folder);
  return {};
}

}  // namespace platform
