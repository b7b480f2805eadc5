// Text and names for the Windows calls: UTF-8 inside the program, UTF-16 for the system, full
// paths with the \\?\ prefix for long names, and names that only a device may have.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

namespace platform {

/// `text` in UTF-16; false (and `wide` undefined) when `text` is not valid UTF-8.
bool WideOf(std::string_view text, std::wstring& wide);

/// `wide` in UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8Of(std::wstring_view wide);

/// A name as the Windows calls take it.
struct SystemPath {
  std::wstring text;
  Error error = Error::kNone;  // the name cannot be a file's: kBadName, kDeviceName
  bool ok() const { return error == Error::kNone; }
};

/// `path` (UTF-8, either separator) for a Windows call. A name too long for the old limit of
/// 260 characters becomes a full path with the \\?\ prefix, which lifts the limit; a shorter one
/// is passed as it is. A name whose last part Windows keeps for a device (NUL, COM1, con.txt...)
/// is refused (Error::kDeviceName), so that no call reaches a device by a file's name; text that
/// is not UTF-8 too (Error::kBadName).
SystemPath SystemPathOf(std::string_view path);

/// Whether `path` names a named pipe (\\.\pipe\NAME). Such a name is never opened only to be
/// looked at: the open would take the one instance that the pipe's server offers.
bool IsPipeName(std::wstring_view path);

/// The full path of `path` with the \\?\ prefix, which no current folder or other lock of the
/// process is needed to resolve; empty when the system cannot form it.
std::wstring LongPathOf(const std::wstring& path);

/// The full path of `path` as GetFullPathNameW forms it ("." and ".." folded, "/" turned to
/// "\"); empty when the system cannot form it.
std::wstring FullPathOf(const std::wstring& path);

}  // namespace platform
