// The record-level steps that the formatter performs on the record of the request in progress.
#pragma once

#include <span>

namespace recio {

/// What the formatter sees of one record source or sink. Every step may abandon the request
/// through Fail() (end of file, a full fixed-length record, a refused write).
class RecordPort {
 public:
  /// Returned by Peek at the end of the input: never a character of a record.
  static constexpr int kNoRecord = -1;

  virtual ~RecordPort() = default;

  /// The next character of the current input record, not consumed. The record's end shows as
  /// '\r' or '\n', which Consume never passes: once Peek returns one of them, it keeps doing so
  /// until SkipRecord. Fails with an end of file when there is no record left to read.
  virtual int Peek() = 0;
  /// Consumes the character that Peek returned (never a CR or LF).
  virtual void Consume() = 0;
  /// A fast path for taking many characters at once: the characters from the current position
  /// that are at hand without a refill (they may run past the record's end, where the caller
  /// stops). Empty when the next character must come through Peek, which stays the exact way.
  virtual std::span<const char> Available() { return {}; }
  /// Consumes the first `count` characters that Available() returned (none of them a CR or LF).
  virtual void Advance(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) Consume();
  }
  /// Skips the rest of the current input record up to and including its LF; the next Peek sees
  /// column 1 of the following record. Fails with an end of file when there is no such record.
  virtual void SkipRecord() = 0;

  /// Appends characters to the current output record.
  virtual void Append(std::span<const char> text) = 0;
  /// Ends the current output record by the completion rule of its kind. `stayOnLine` is the
  /// stay-on-line mark of the request's final pass ('$').
  virtual void CompleteRecord(bool stayOnLine) = 0;
};

}  // namespace recio
