// Handles for the Windows sources of the platform part: a handle's system value, the identity of
// the file behind one, and what kind of thing it is.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/error_windows.h"
#include "platform/handle.h"
#include "platform/identity.h"

namespace platform {

// A handle's number is the system's handle: the one place it becomes a pointer again.
inline HANDLE SystemHandle(Handle handle) {
  return reinterpret_cast<HANDLE>(handle.value);  // NOLINT(performance-no-int-to-ptr)
}

// INVALID_HANDLE_VALUE is -1, as an invalid Handle is; a missing standard stream is NULL.
inline Handle HandleOf(HANDLE handle) {
  return Handle{handle == nullptr ? -1 : reinterpret_cast<intptr_t>(handle)};
}

/// The volume's serial number and the file's index: one file, whatever names lead to it.
inline FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return FileId{info.dwVolumeSerialNumber,
                (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

/// Whether `handle` is a console (a terminal): a console answers for its mode. The null device,
/// a character device too, does not.
inline bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

/// Reads `handle` to its end into `bytes`: a file to its end, a pipe until its writers have gone.
inline Result ReadHandleToEnd(HANDLE handle, std::string& bytes) {
  bytes.clear();
  constexpr DWORD kStep = 64 * 1024;
  for (;;) {
    const std::size_t filled = bytes.size();
    bytes.resize(filled + kStep);
    DWORD got = 0;
    const BOOL read = ReadFile(handle, bytes.data() + filled, kStep, &got, nullptr);
    bytes.resize(filled + got);
    if (read && got == 0) return {};
    if (!read) return GetLastError() == ERROR_BROKEN_PIPE ? Result{} : ResultOfLastError();
  }
}

}  // namespace platform
