// Input fields of formatted records, scanned from the runs of a record port: the field rules of
// the record's end, the comma, blanks and Ctrl-Z, each written once.
#pragma once

#include <cstdint>
#include <span>

#include "recio/internal/record_port.h"
#include "recio/layout.h"

namespace recio {

/// Iw: the next `width` columns read as an integer. Fails through Fail() with the field's
/// catalogue row, or with an end of file at a Ctrl-Z.
int32_t ScanInteger(RecordPort& port, int32_t width, bool blankZero);

/// Fw.d or Ew.d (`field`) under the scale factor `scale`: the next w columns read as a real.
float ScanReal(RecordPort& port, const LayoutElement& field, int32_t scale, bool blankZero);

/// A: fills `variable` from the current column; a record that ends first leaves blanks in the
/// rest, and its end stays for the next field.
void ScanText(RecordPort& port, std::span<char> variable);

/// nX on input: skips `count` characters, but stops at the record's end.
void SkipColumns(RecordPort& port, int32_t count);

}  // namespace recio
