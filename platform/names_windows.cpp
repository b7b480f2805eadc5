// Windows implementation of file names: "\" and "/" separate, drives end folder parts, case does
// not count, and a few names belong to devices in every folder.
#include <windows.h>

#include <algorithm>

#include "platform/names.h"
#include "platform/paths_windows.h"

namespace platform {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool IsDrive(std::string_view path) {
  if (path.size() < 2 || path[1] != ':') return false;
  const char letter = static_cast<char>(path[0] | 0x20);
  return letter >= 'a' && letter <= 'z';
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

// COM and LPT take a digit 1 to 9, or the superscripts one, two and three (in UTF-8).
bool IsPortNumber(std::string_view number) {
  if (number.size() == 1) return number[0] >= '1' && number[0] <= '9';
  return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

// Windows' own upper case of UTF-16 text, as its file systems compare names.
std::wstring UpperCase(const std::wstring& wide) {
  std::wstring upper(wide.size(), L'\0');
  const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(),
                                   static_cast<int>(wide.size()), upper.data(),
                                   static_cast<int>(upper.size()), nullptr, nullptr, 0);
  upper.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return upper;
}

}  // namespace

std::size_t FolderLength(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i;
  }
  return IsDrive(path) ? 2 : 0;
}

void EndWithSeparator(std::string& folder) {
  if (IsSeparator(folder.back()) || (folder.size() == 2 && IsDrive(folder))) return;
  folder += '/';
}

void AppendNameKey(std::string& key, std::string_view fileName) {
  // Windows drops trailing dots and blanks from a name ("a.pavo." is "a.pavo"); "." and ".."
  // are names of their own.
  const std::size_t kept = fileName.find_last_not_of(". ");
  if (kept != std::string_view::npos) fileName = fileName.substr(0, kept + 1);
  std::wstring wide;
  if (!WideOf(fileName, wide)) {
    // Not UTF-8, so no file's name: compared as it is, ASCII letters without their case.
    for (const char c : fileName) key += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return;
  }
  key += Utf8Of(UpperCase(wide));
}

bool IsDeviceName(std::string_view fileName) {
  // The part before the first dot or colon, without the blanks that may follow it, names the
  // device ("nul.txt", "COM1:").
  std::string_view stem = fileName.substr(0, fileName.find_first_of(".:"));
  stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (EqualIgnoringAsciiCase(stem, device)) return true;
  }
  for (const std::string_view port : {"COM", "LPT"}) {
    if (stem.size() > 3 && EqualIgnoringAsciiCase(stem.substr(0, 3), port) &&
        IsPortNumber(stem.substr(3))) {
      return true;
    }
  }
  return false;
}

}  // namespace platform
