// Fixed-length texts of the dialogue routines: blank padding, cutting and trimming.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>
#include <string_view>

namespace subs {

/// Sets every column of `text` to a blank.
constexpr void FillBlanks(std::span<char> text) {
  std::fill(text.begin(), text.end(), ' ');
}

/// Assigns `source` to `target` the way a fixed-length text is assigned: a shorter source is
/// padded with blanks on the right, a longer one is cut to the target's length. The two may
/// overlap.
inline void AssignText(std::span<char> target, std::span<const char> source) {
  const std::size_t copied = std::min(target.size(), source.size());
  if (copied > 0) std::memmove(target.data(), source.data(), copied);
  std::fill(target.begin() + static_cast<std::ptrdiff_t>(copied), target.end(), ' ');
}

/// Assigns a string to `target` with the same padding and cutting rules.
inline void AssignText(std::span<char> target, std::string_view source) {
  AssignText(target, std::span<const char>(source.data(), source.size()));
}

/// The column of the last character of `text` that is not a blank (tabs count as characters),
/// or 0 when the text is all blanks.
inline std::size_t LastNonBlank(std::span<const char> text) {
  std::size_t column = text.size();
  while (column > 0 && text[column - 1] == ' ') --column;
  return column;
}

}  // namespace subs
