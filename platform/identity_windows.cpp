// Windows implementation of file identities: the volume's serial number and the file's index, or
// the full path of a new name as Windows compares paths (without case).
#include <algorithm>
#include <string>

#include "platform/handles_windows.h"
#include "platform/identity.h"
#include "platform/names.h"
#include "platform/paths_windows.h"

namespace platform {
namespace {

void KeepPath(FileIdentity& identity, const std::wstring& full) {
  std::string key;
  AppendNameKey(key, Utf8Of(full));
  identity.pathLength = std::min(key.size(), identity.pathText.size());
  std::copy_n(key.data(), identity.pathLength, identity.pathText.data());
}

}  // namespace

FileIdentity IdentityOf(const char* path) {
  FileIdentity identity;
  const SystemPath name = SystemPathOf(path);
  std::wstring wide;
  if (!WideOf(path, wide)) return identity;  // no file's name: an identity of its own
  const std::wstring full = FullPathOf(wide);
  if (IsPipeName(full)) {  // known by its name alone
    identity.isPipe = true;
    KeepPath(identity, full);
    return identity;
  }
  if (name.ok()) {
    // Opened without asking for access, a link followed, a folder too.
    const HANDLE handle =
        CreateFileW(name.text.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      BY_HANDLE_FILE_INFORMATION info{};
      const bool known = GetFileInformationByHandle(handle, &info) != 0;
      identity.isPipe = GetFileType(handle) == FILE_TYPE_PIPE;
      ::CloseHandle(handle);
      if (known) {
        identity.exists = true;
        identity.id = IdOf(info);
        return identity;
      }
    }
  }
  KeepPath(identity, full.empty() ? wide : full);
  return identity;
}

}  // namespace platform
