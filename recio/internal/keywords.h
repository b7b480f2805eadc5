// Keyword values of an open or a close: fixed in code, or text matched without its blanks and
// ignoring case.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "recio/errors.h"
#include "recio/internal/failure.h"
#include "recio/internal/names.h"
#include "recio/recio.h"

namespace recio {

/// Whether `a` and `b` are the same text when ASCII letters are compared without their case.
inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return upper(x) == upper(y);
  });
}

/// The value of `keyword`: `fallback` when it is not given, the value fixed in code, or the value
/// whose name (in the order of the enumeration) the text is. Any other text fails with `illegal`.
template <typename E, std::size_t N>
E MatchKeyword(const Keyword<E>& keyword, E fallback, const std::array<std::string_view, N>& names,
               ErrorId illegal) {
  if (!keyword.given) return fallback;
  if (!keyword.isText) return keyword.value;
  const std::string_view text = TrimBlanks(keyword.text);
  for (std::size_t i = 0; i < N; ++i) {
    if (EqualIgnoringCase(text, names[i])) return static_cast<E>(i);
  }
  Fail(illegal);
}

}  // namespace recio
