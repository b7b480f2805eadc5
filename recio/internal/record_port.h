// The record-level steps that the formatter performs on the record of the request in progress.
#pragma once

#include <cstddef>
#include <span>

namespace recio {

/// Ctrl-Z: at the end of a console line, and anywhere in a numeric field, an end of file.
inline constexpr char kCtrlZ = 26;

/// Whether a line whose last two bytes were `before` and `last` (before its LF, or before the end
/// of the input) ends in Ctrl-Z, with or without a CR after it.
constexpr bool EndsInCtrlZ(unsigned char last, unsigned char before) {
  return last == kCtrlZ || (last == '\r' && before == kCtrlZ);
}

/// What the formatter sees of one record source or sink. Every step may abandon the request
/// through Fail() (an end of file, a full fixed-length record, a refused write).
///
/// Input is taken in runs: the formatter asks for the characters at hand, takes what its field
/// needs and says how many it took. The port alone knows where a record ends (a CR, an LF, or the
/// end of a last line without one); the formatter alone knows the field rules (Ctrl-Z, the comma,
/// blanks), so each rule is written once.
class RecordPort {
 public:
  virtual ~RecordPort() = default;

  /// At most `wanted` (at least 1) characters of the current input record from the current
  /// column on, as many as are at hand: never a CR or LF, never past the record's end. Empty
  /// exactly when the record has ended, and empty again at every call until SkipRecord. The first
  /// look at a record is where the port applies its rules for the whole line (a redirected
  /// console line that ends in Ctrl-Z is an end of file). Refills as needed; fails with an end of
  /// file when there is no record left to read.
  virtual std::span<const char> Run(std::size_t wanted) = 0;
  /// Consumes the first `count` characters of the run returned last.
  virtual void Advance(std::size_t count) = 0;
  /// Skips the rest of the current input record up to and including its LF; the next run starts
  /// at column 1 of the following record. Fails with an end of file when there is no such record.
  virtual void SkipRecord() = 0;

  /// Appends characters to the current output record.
  virtual void Append(std::span<const char> text) = 0;
  /// Ends the current output record by the completion rule of its kind. `stayOnLine` is the
  /// stay-on-line mark of the request's final pass ('$').
  virtual void CompleteRecord(bool stayOnLine) = 0;
};

}  // namespace recio
