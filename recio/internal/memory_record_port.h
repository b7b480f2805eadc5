// An in-memory record port for tests, the fuzz target and benchmarks: records from a text, and
// records written into a text that marks where each one was completed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "recio/errors.h"
#include "recio/internal/failure.h"
#include "recio/internal/record_port.h"

namespace recio {

/// Input records are the lines of `input` (LF ends a record; a last line without LF is a record
/// too; a CR is shown as the record's end like an LF, and the record goes on to the LF). Output
/// goes to output(): each completed record is followed by "|" and LF, or by "$" and LF when it was
/// completed with the stay-on-line mark, so trailing blanks show.
class MemoryRecordPort final : public RecordPort {
 public:
  /// Owns a copy of its input.
  explicit MemoryRecordPort(std::string input = {}) : owned_{std::move(input)}, input_{owned_} {}
  /// Views input that outlives the port (no copy: a read past its end is a read outside it).
  MemoryRecordPort(const char* data, std::size_t size) : input_{data, size} {}
  MemoryRecordPort(const MemoryRecordPort&) = delete;
  MemoryRecordPort& operator=(const MemoryRecordPort&) = delete;

  std::span<const char> Run(std::size_t wanted) override {
    if (position_ >= input_.size()) {
      if (atRecordStart_) Fail(ErrorId::kEndOfFileEncountered);
      return {};  // the end of a last line without LF
    }
    atRecordStart_ = false;
    const std::string_view rest = input_.substr(position_, wanted);
    return {rest.data(), std::min(rest.size(), rest.find_first_of("\r\n"))};
  }
  void Advance(std::size_t count) override { position_ += count; }
  void SkipRecord() override {
    if (atRecordStart_ && position_ >= input_.size()) Fail(ErrorId::kEndOfFileEncountered);
    const std::size_t lf = input_.find('\n', position_);
    position_ = lf == std::string_view::npos ? input_.size() : lf + 1;
    atRecordStart_ = true;
    ++recordsSkipped_;
  }
  void Append(std::span<const char> text) override { output_.append(text.data(), text.size()); }
  void CompleteRecord(bool stayOnLine) override {
    output_ += stayOnLine ? "$\n" : "|\n";
    ++recordsCompleted_;
  }

  const std::string& output() const { return output_; }
  /// Starts over: input from its first record, output empty.
  void Rewind() {
    position_ = 0;
    atRecordStart_ = true;
    output_.clear();
  }
  /// The input not yet consumed.
  std::string_view rest() const { return input_.substr(position_); }
  int recordsSkipped() const { return recordsSkipped_; }
  int recordsCompleted() const { return recordsCompleted_; }

 private:
  std::string owned_;
  std::string_view input_;
  std::size_t position_ = 0;
  bool atRecordStart_ = true;
  std::string output_;
  int recordsSkipped_ = 0;
  int recordsCompleted_ = 0;
};

}  // namespace recio
