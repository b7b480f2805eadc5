// Windows implementation of the command line's arguments: GetCommandLineW split by the C
// runtime's rules, wildcards expanded, UTF-8 handed on.
#include "platform/arguments_windows.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/names.h"
#include "platform/paths_windows.h"

namespace platform {
namespace {

// A quoted "*" or "?" is no wildcard: it is kept as a character of the private use area, which
// no name has, so that a pattern holding it matches nothing and the argument stays as typed.
constexpr wchar_t kQuotedStar = 0xF02A;
constexpr wchar_t kQuotedQuestion = 0xF03F;

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

// The program's name: up to the first blank, or quoted whole, without any escapes.
std::size_t TakeProgramName(std::wstring_view line, std::wstring& name) {
  if (!line.empty() && line[0] == L'"') {
    const std::size_t close = line.find(L'"', 1);
    name = line.substr(1, close == std::wstring_view::npos ? std::wstring_view::npos : close - 1);
    return close == std::wstring_view::npos ? line.size() : close + 1;
  }
  std::size_t end = 0;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  name = line.substr(0, end);
  return end;
}

// One argument from `at`, quotes and escapes resolved; wildcards inside quotes are marked.
// Returns where the argument ended; `found` is false when only blanks were left.
std::size_t TakeArgument(std::wstring_view line, std::size_t at, std::wstring& word,
                         bool& hasWildcard, bool& found) {
  while (at < line.size() && IsBlank(line[at])) ++at;
  found = at < line.size();
  word.clear();
  hasWildcard = false;
  bool quoted = false;
  while (at < line.size() && (quoted || !IsBlank(line[at]))) {
    std::size_t backslashes = 0;
    while (at < line.size() && line[at] == L'\\') ++backslashes, ++at;
    if (at < line.size() && line[at] == L'"') {
      word.append(backslashes / 2, L'\\');
      if (backslashes % 2 == 1) {
        word += L'"';
      } else if (quoted && at + 1 < line.size() && line[at + 1] == L'"') {
        word += L'"';  // "" inside quotes
        ++at;
      } else {
        quoted = !quoted;
      }
      ++at;
      continue;
    }
    word.append(backslashes, L'\\');
    if (at >= line.size() || (!quoted && IsBlank(line[at]))) break;
    wchar_t c = line[at++];
    if (c == L'*' || c == L'?') {
      if (quoted) {
        c = c == L'*' ? kQuotedStar : kQuotedQuestion;
      } else {
        hasWildcard = true;
      }
    }
    word += c;
  }
  return at;
}

// The argument as typed, its quoted wildcards given back.
std::wstring AsTyped(std::wstring word) {
  for (wchar_t& c : word) {
    if (c == kQuotedStar) c = L'*';
    if (c == kQuotedQuestion) c = L'?';
  }
  return word;
}

std::wstring UpperCase(std::wstring_view text) {
  std::wstring upper(text.size(), L'\0');
  const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(),
                                   static_cast<int>(text.size()), upper.data(),
                                   static_cast<int>(upper.size()), nullptr, nullptr, 0);
  upper.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return upper;
}

bool MatchesUpper(std::wstring_view pattern, std::wstring_view name) {
  // The last "*" met and where the name stood then: a mismatch gives that star one more
  // character.
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::wstring_view::npos;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      starName = n;
    } else if (star != std::wstring_view::npos) {
      p = star + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

// The names that the last part of `word` matches in its folder, with the folder as typed in
// front, sorted by name; empty when none does or the folder part holds a wildcard itself.
std::vector<std::string> Expanded(const std::wstring& word) {
  const std::string utf8 = Utf8Of(word);
  const std::size_t folderLength = FolderLength(utf8);
  const std::string folder = utf8.substr(0, folderLength);
  if (folder.find_first_of("*?") != std::string::npos) return {};
  std::wstring pattern;
  WideOf(utf8.substr(folderLength), pattern);
  const SystemPath search = SystemPathOf(folder + "*");
  if (!search.ok()) return {};
  WIN32_FIND_DATAW found{};
  const HANDLE find = FindFirstFileExW(search.text.c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return {};
  std::vector<std::pair<std::wstring, std::wstring>> names;  // by key, then as they are
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (MatchesPattern(pattern, name)) names.emplace_back(UpperCase(name), name);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  std::sort(names.begin(), names.end());
  std::vector<std::string> matches;
  matches.reserve(names.size());
  for (const auto& name : names) matches.push_back(folder + Utf8Of(name.second));
  return matches;
}

}  // namespace

bool MatchesPattern(std::wstring_view pattern, std::wstring_view name) {
  // Hidden by the convention of POSIX shells: the temporary files of an interrupted batch, for
  // one, begin with "." and are never taken for scans by "*".
  if (!name.empty() && name[0] == L'.' && (pattern.empty() || pattern[0] != L'.')) return false;
  return MatchesUpper(UpperCase(pattern), UpperCase(name));
}

std::vector<std::string> ArgumentsOf(std::wstring_view line, Wildcards wildcards) {
  std::vector<std::string> arguments;
  std::wstring word;
  std::size_t at = TakeProgramName(line, word);
  arguments.push_back(Utf8Of(word));
  for (;;) {
    bool hasWildcard = false;
    bool found = false;
    at = TakeArgument(line, at, word, hasWildcard, found);
    if (!found) break;
    if (wildcards == Wildcards::kExpand && hasWildcard) {
      std::vector<std::string> matches = Expanded(word);
      if (!matches.empty()) {
        for (std::string& match : matches) arguments.push_back(std::move(match));
        continue;
      }
    }
    arguments.push_back(Utf8Of(AsTyped(word)));
  }
  return arguments;
}

Arguments CommandLineArguments(int /*argc*/, char** /*argv*/, Wildcards wildcards) {
  constinit static std::vector<std::string> texts;
  constinit static std::vector<char*> pointers;
  texts = ArgumentsOf(GetCommandLineW(), wildcards);
  pointers.clear();
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return Arguments{static_cast<int>(texts.size()), pointers.data()};
}

}  // namespace platform
