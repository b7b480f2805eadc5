// EXTRACT: the field scanner of the reply reader.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "subs/subs.h"
#include "subs/text.h"

namespace {

constexpr bool IsBlankOrTab(char c) {
  return c == ' ' || c == '\t';
}
constexpr bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == ',';
}

}  // namespace

void EXTRACT(std::span<const char> line, int32_t& position, std::span<char> token,
             int32_t& length) {
  // Columns run from 1 to n. The scans below stop before column n, so the last column is never
  // examined: it ends the field whatever it holds. A position before column 1 starts at column 1.
  const int64_t n = static_cast<int64_t>(line.size());
  int64_t i = std::max<int64_t>(position, 1);
  subs::FillBlanks(token);

  while (i < n && IsBlankOrTab(line[static_cast<std::size_t>(i - 1)])) ++i;
  const int64_t start = i;
  while (i < n && !IsSeparator(line[static_cast<std::size_t>(i - 1)])) ++i;
  const int64_t stop = i;

  // The token gets the field and the column that stopped the scan, both included. A start beyond
  // the last column copies nothing.
  if (start <= n) {
    subs::AssignText(token, line.subspan(static_cast<std::size_t>(start - 1),
                                         static_cast<std::size_t>(stop - start + 1)));
  }
  length = static_cast<int32_t>(stop - start);
  position = static_cast<int32_t>(std::min<int64_t>(stop + 1, std::numeric_limits<int32_t>::max()));
}
