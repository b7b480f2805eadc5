// Input fields of formatted records, taken from the port in runs.
#include "recio/internal/field_scan.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "recio/internal/edit.h"
#include "recio/internal/failure.h"

namespace recio {
namespace {

using FieldBuffer = std::array<char, Layout::kMaxWidth>;
static_assert(FieldText::kCapacity == Layout::kMaxWidth, "a failed field's text fits whole");

// The text of a numeric field of `width` columns: the record's end stops it without being
// consumed (later fields find it again and read empty); a comma stops it and is consumed; blanks
// and tabs are dropped (zeros in BLANK=ZERO mode); Ctrl-Z ends the request as an end of file.
std::string_view CollectNumeric(RecordPort& port, int32_t width, bool blankZero,
                                FieldBuffer& buffer) {
  std::size_t length = 0;
  auto left = static_cast<std::size_t>(width);
  while (left > 0) {
    const std::span<const char> run = port.Run(left);
    if (run.empty()) break;  // the record's end
    std::size_t used = 0;
    for (; used < run.size(); ++used) {
      char c = run[used];
      if (c == kCtrlZ) {
        port.Advance(used);
        Fail(ErrorId::kEndOfFileEncountered);
      }
      if (c == ',') {
        port.Advance(used + 1);
        return {buffer.data(), length};
      }
      if (c == ' ' || c == '\t') {
        if (!blankZero) continue;
        c = '0';
      }
      if (length < buffer.size()) buffer[length++] = c;
    }
    port.Advance(used);
    left -= used;
  }
  return {buffer.data(), length};
}

}  // namespace

int32_t ScanInteger(RecordPort& port, int32_t width, bool blankZero) {
  FieldBuffer buffer;
  const std::string_view text = CollectNumeric(port, width, blankZero, buffer);
  // An integer's text loses the zeros before its first other character.
  const Converted<int32_t> result =
      ParseInteger(text.substr(std::min(text.find_first_not_of('0'), text.size())));
  if (result.failure) FailField(*result.failure, text);
  return result.value;
}

float ScanReal(RecordPort& port, const LayoutElement& field, int32_t scale, bool blankZero) {
  FieldBuffer buffer;
  const std::string_view text = CollectNumeric(port, field.width, blankZero, buffer);
  const Converted<float> result = ParseReal(text, field.digits, scale);
  if (result.failure) FailField(*result.failure, text);
  return result.value;
}

void ScanText(RecordPort& port, std::span<char> variable) {
  std::size_t filled = 0;
  while (filled < variable.size()) {
    const std::span<const char> run = port.Run(variable.size() - filled);
    if (run.empty()) break;
    std::copy(run.begin(), run.end(), variable.begin() + static_cast<std::ptrdiff_t>(filled));
    filled += run.size();
    port.Advance(run.size());
  }
  std::fill(variable.begin() + static_cast<std::ptrdiff_t>(filled), variable.end(), ' ');
}

void SkipColumns(RecordPort& port, int32_t count) {
  auto left = static_cast<std::size_t>(count);
  while (left > 0) {
    const std::span<const char> run = port.Run(left);
    if (run.empty()) return;
    port.Advance(run.size());
    left -= run.size();
  }
}

}  // namespace recio
