// Windows implementation of text and names for the system calls.
#include "platform/paths_windows.h"

#include <windows.h>

#include <algorithm>

#include "platform/names.h"

namespace platform {
namespace {

// Paths at least this long get the \\?\ prefix: CreateDirectoryW refuses 248 characters already
// (260 less room for an 8.3 name), every other call 260.
constexpr std::size_t kLongPath = MAX_PATH - 12;

bool StartsWith(std::wstring_view text, std::wstring_view start) {
  return text.substr(0, start.size()) == start;
}

// The \\?\ form of a full path: drive paths get the prefix, UNC paths (\\server\share) the
// \\?\UNC\ one; paths already in the \\?\ or \\.\ namespaces stay.
std::wstring Prefixed(const std::wstring& full) {
  if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// A drive's full path (C:\...) or a UNC or \\?\ path: one that the current folder does not
// lengthen.
bool IsFullPath(std::wstring_view path) {
  const auto separator = [&](std::size_t at) {
    return path.size() > at && (path[at] == L'\\' || path[at] == L'/');
  };
  return (separator(0) && separator(1)) || (path.size() > 2 && path[1] == L':' && separator(2));
}

}  // namespace

std::wstring LongPathOf(const std::wstring& path) {
  const std::wstring full = FullPathOf(path);
  return full.empty() ? full : Prefixed(full);
}

bool WideOf(std::string_view text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  const int length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide.resize(static_cast<std::size_t>(length));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
  return true;
}

std::string Utf8Of(std::wstring_view wide) {
  std::string text;
  if (wide.empty()) return text;
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return text;
  text.resize(static_cast<std::size_t>(length));
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

bool IsPipeName(std::wstring_view path) {
  // \\.\pipe\NAME, with either separator anywhere, as Windows takes it.
  const auto separator = [&](std::size_t at) { return path[at] == L'\\' || path[at] == L'/'; };
  if (path.size() < 9 || !separator(0) || !separator(1) || !separator(3) || !separator(8)) {
    return false;
  }
  if (path[2] != L'.' && path[2] != L'?') return false;
  const std::wstring_view pipe = path.substr(4, 4);
  return std::equal(pipe.begin(), pipe.end(), L"pipe", [](wchar_t a, wchar_t b) {
    return (a >= L'A' && a <= L'Z' ? a + 32 : a) == b;
  });
}

std::wstring FullPathOf(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return {};
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // the size it needs, its NUL included
  }
}

SystemPath SystemPathOf(std::string_view path) {
  SystemPath result;
  if (IsDeviceName(path.substr(FolderLength(path)))) {
    result.error = Error::kDeviceName;
    return result;
  }
  if (!WideOf(path, result.text) || result.text.find(L'\0') != std::wstring::npos) {
    result.error = Error::kBadName;
    return result;
  }
  // The old limit holds for the full path that Windows makes of a name: a short name in a deep
  // current folder is long too.
  if (result.text.size() >= kLongPath || !IsFullPath(result.text)) {
    const std::wstring full = FullPathOf(result.text);
    if (full.size() >= kLongPath) result.text = Prefixed(full);
  }
  return result;
}

}  // namespace platform
