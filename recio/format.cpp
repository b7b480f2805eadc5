// The formatted transfer: the layout walk, its controls, the field conversions, internal records.
#include "recio/format.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "recio/edit.h"
#include "recio/errors.h"

namespace recio {
namespace {

constexpr int kCtrlZ = 26;

// The record's end as Peek shows it: CR, LF, or no record at all.
constexpr bool IsRecordEnd(int c) {
  return c < 0 || c == '\r' || c == '\n';
}

constexpr std::array<char, 64> kBlanks = [] {
  std::array<char, 64> blanks{};
  blanks.fill(' ');
  return blanks;
}();

using FieldBuffer = std::array<char, Layout::kMaxWidth>;

// The state of the one request in progress, made fresh for each request: the walk's position,
// the scale factor, the columns skipped but not yet written, and the stay-on-line mark.
class Request {
 public:
  Request(RecordPort& port, const Layout& layout, Direction direction, bool blankZero)
      : port_{port},
        cursor_{layout},
        writing_{direction == Direction::kWrite},
        blankZero_{blankZero} {}

  // Converts every element of the item, each with the next field descriptor of the walk.
  void Convert(const Item& item) {
    switch (item.type()) {
      case ItemType::kInteger:
        for (int32_t i = 0; i < item.count(); ++i) {
          const LayoutElement& field = NextField(ErrorId::kIEditExpected);
          if (field.kind != ElementKind::kInteger) Fail(ErrorId::kIEditExpected);
          if (writing_) {
            WriteInteger(field, item.integers()[i]);
          } else {
            item.integers()[i] = ReadInteger(field);
          }
        }
        return;
      case ItemType::kReal:
        for (int32_t i = 0; i < item.count(); ++i) {
          const LayoutElement& field = NextField(ErrorId::kRealEditExpected);
          if (field.kind != ElementKind::kFixedReal && field.kind != ElementKind::kExponentReal) {
            Fail(ErrorId::kRealEditExpected);
          }
          if (writing_) {
            WriteReal(field, item.reals()[i]);
          } else {
            item.reals()[i] = ReadReal(field);
          }
        }
        return;
      case ItemType::kCharacter: {
        const LayoutElement& field = NextField(ErrorId::kAEditExpected);
        if (field.kind != ElementKind::kCharacter) Fail(ErrorId::kAEditExpected);
        if (writing_) {
          Emit(item.text());
        } else {
          ReadText(item.text());
        }
        return;
      }
    }
  }

  // Final pass: after the last item element the walk goes on performing control elements until
  // it meets a field descriptor or the end of the layout, and stops there without restarting.
  // Literal text, column skips and record breaks are performed; "$" sets the stay-on-line mark,
  // which is honoured nowhere else.
  void FinalPass() {
    for (const LayoutElement* element = cursor_.Next(); element && !element->IsField();
         element = cursor_.Next()) {
      PerformControl(*element, true);
    }
  }

  // The end of the request: the last output record is completed, or the rest of the last input
  // record is skipped so that every read consumes whole records.
  void End() {
    if (writing_) {
      port_.CompleteRecord(stayOnLine_);
    } else {
      port_.SkipRecord();
    }
  }

 private:
  // The field descriptor for the next item element; control elements met on the way are
  // performed. `guard` is the pairing failure should the layout hold no descriptor to give.
  const LayoutElement& NextField(ErrorId guard) {
    for (;;) {
      const LayoutElement* element = cursor_.Next();
      if (element == nullptr) {
        Restart(guard);
      } else if (element->IsField()) {
        fieldSinceRestart_ = true;
        return *element;
      } else {
        PerformControl(*element, false);
      }
    }
  }

  // Restart rule: when the end of the layout is reached while item elements remain, the current
  // record ends (completed on output, the rest skipped on input), the next record begins at
  // column 1, and the walk continues at the restart point, re-entering the repeat group with its
  // full count. The scale factor keeps its value. A layout that served no field since its last
  // start could never serve this element: that is the element's pairing failure, not a loop.
  void Restart(ErrorId guard) {
    if (!fieldSinceRestart_) Fail(guard);
    fieldSinceRestart_ = false;
    NextRecord();
    cursor_.Restart();
  }

  void NextRecord() {
    if (writing_) {
      port_.CompleteRecord(false);
      pendingSkip_ = 0;  // skipped columns at a record's end write nothing
    } else {
      port_.SkipRecord();
    }
  }

  void PerformControl(const LayoutElement& element, bool finalPass) {
    switch (element.kind) {
      case ElementKind::kLiteral:
        if (!writing_) Fail(ErrorId::kLiteralIllegalOnInput);
        Emit(element.text);
        break;
      case ElementKind::kColumnSkip:
        if (writing_) {
          pendingSkip_ += element.width;
        } else {
          SkipColumns(element.width);
        }
        break;
      case ElementKind::kRecordBreak:
        NextRecord();
        break;
      case ElementKind::kStayOnLine:
        if (finalPass) stayOnLine_ = true;
        break;
      case ElementKind::kScaleFactor:
        scale_ = element.width;
        break;
      default:  // fields and the group's bounds never reach here
        break;
    }
  }

  // ---- output ----

  // Writes text at the current column, after the pending skipped columns as blanks.
  void Emit(std::span<const char> text) {
    if (text.empty()) return;
    while (pendingSkip_ > 0) {
      const int32_t blanks = std::min<int32_t>(pendingSkip_, kBlanks.size());
      port_.Append({kBlanks.data(), static_cast<std::size_t>(blanks)});
      pendingSkip_ -= blanks;
    }
    port_.Append(text);
  }

  void WriteInteger(const LayoutElement& field, int32_t value) {
    FieldBuffer buffer;
    const auto text = std::span{buffer}.first(static_cast<std::size_t>(field.width));
    FormatInteger(value, text);
    Emit(text);
  }

  void WriteReal(const LayoutElement& field, float value) {
    FieldBuffer buffer;
    const auto text = std::span{buffer}.first(static_cast<std::size_t>(field.width));
    if (field.kind == ElementKind::kExponentReal) {
      FormatExponent(value, field.digits, scale_, text);
    } else {
      FormatFixed(value, field.digits, scale_, text);
    }
    Emit(text);
  }

  // ---- input ----

  // Collects the text of a numeric field of `width` columns: the record's end stops it without
  // being consumed (later fields find it again and read empty); a comma stops it and is
  // consumed; blanks and tabs are dropped (zeros in BLANK=ZERO mode); Ctrl-Z ends the request as
  // an end of file; an integer field drops zeros before its first kept character. Characters
  // at hand in the port's buffer are taken in one run; the others one by one through Peek.
  std::string_view CollectNumeric(int32_t width, bool integer, FieldBuffer& buffer) {
    std::size_t length = 0;
    int32_t column = 0;
    bool ended = false;
    while (!ended && column < width) {
      const std::span<const char> run = port_.Available();
      if (run.empty()) {
        const int c = port_.Peek();
        if (IsRecordEnd(c)) break;
        if (c == kCtrlZ) Fail(ErrorId::kEndOfFileEncountered);
        port_.Consume();
        ++column;
        if (c == ',') break;
        KeepNumeric(c, integer, buffer, length);
        continue;
      }
      std::size_t used = 0;
      while (used < run.size() && column < width) {
        const int c = static_cast<unsigned char>(run[used]);
        if (c == '\r' || c == '\n') {
          ended = true;
          break;
        }
        if (c == kCtrlZ) {
          port_.Advance(used);
          Fail(ErrorId::kEndOfFileEncountered);
        }
        ++used;
        ++column;
        if (c == ',') {
          ended = true;
          break;
        }
        KeepNumeric(c, integer, buffer, length);
      }
      port_.Advance(used);
    }
    return {buffer.data(), length};
  }

  void KeepNumeric(int c, bool integer, FieldBuffer& buffer, std::size_t& length) const {
    if (c == ' ' || c == '\t') {
      if (!blankZero_) return;
      c = '0';
    }
    if (integer && length == 0 && c == '0') return;
    if (length < buffer.size()) buffer[length++] = static_cast<char>(c);
  }

  int32_t ReadInteger(const LayoutElement& field) {
    FieldBuffer buffer;
    const Converted<int32_t> result = ParseInteger(CollectNumeric(field.width, true, buffer));
    if (result.failure) Fail(*result.failure);
    return result.value;
  }

  float ReadReal(const LayoutElement& field) {
    FieldBuffer buffer;
    const Converted<float> result =
        ParseReal(CollectNumeric(field.width, false, buffer), field.digits, scale_);
    if (result.failure) Fail(*result.failure);
    return result.value;
  }

  // The number of characters at the start of `run`, at most `limit`, before the record's end.
  static std::size_t RunBeforeRecordEnd(std::span<const char> run, std::size_t limit) {
    std::size_t used = 0;
    const std::size_t end = std::min(run.size(), limit);
    while (used < end && run[used] != '\r' && run[used] != '\n') ++used;
    return used;
  }

  // Fills the variable from the current column; a record that ends first leaves blanks in the
  // rest, and its end stays unconsumed.
  void ReadText(std::span<char> variable) {
    std::size_t filled = 0;
    while (filled < variable.size()) {
      const std::span<const char> run = port_.Available();
      if (run.empty()) {
        const int c = port_.Peek();
        if (IsRecordEnd(c)) break;
        variable[filled++] = static_cast<char>(c);
        port_.Consume();
        continue;
      }
      const std::size_t wanted = variable.size() - filled;
      const std::size_t used = RunBeforeRecordEnd(run, wanted);
      std::copy_n(run.begin(), used, variable.begin() + static_cast<std::ptrdiff_t>(filled));
      filled += used;
      port_.Advance(used);
      if (used < std::min(run.size(), wanted)) break;  // the record ended
    }
    std::fill(variable.begin() + static_cast<std::ptrdiff_t>(filled), variable.end(), ' ');
  }

  // nX on input: skips n characters but stops at the record's end.
  void SkipColumns(int32_t count) {
    std::size_t left = static_cast<std::size_t>(count);
    while (left > 0) {
      const std::span<const char> run = port_.Available();
      if (run.empty()) {
        if (IsRecordEnd(port_.Peek())) return;
        port_.Consume();
        --left;
        continue;
      }
      const std::size_t used = RunBeforeRecordEnd(run, left);
      port_.Advance(used);
      left -= used;
      if (used < std::min(run.size(), left + used)) return;  // the record ended
    }
  }

  RecordPort& port_;
  LayoutCursor cursor_;
  const bool writing_;
  const bool blankZero_;
  int32_t scale_ = 0;
  int32_t pendingSkip_ = 0;
  bool stayOnLine_ = false;
  bool fieldSinceRestart_ = false;
};

}  // namespace

void RunTransfer(RecordPort& port, const Layout& layout, Items items, Direction direction,
                 bool blankZero) {
  Request request{port, layout, direction, blankZero};
  for (const Item& item : items) request.Convert(item);
  request.FinalPass();
  request.End();
}

int InternalRecordPort::Peek() {
  Fail(ErrorId::kFileNotOpenForReading);
}

void InternalRecordPort::Consume() {
  Fail(ErrorId::kFileNotOpenForReading);
}

void InternalRecordPort::SkipRecord() {
  Fail(ErrorId::kFileNotOpenForReading);
}

void InternalRecordPort::Append(std::span<const char> text) {
  if (completed_) Fail(ErrorId::kInternalFileOverflow);  // the record after it does not exist
  const std::size_t fitting = std::min(text.size(), record_.size() - column_);
  std::copy_n(text.begin(), fitting, record_.begin() + static_cast<std::ptrdiff_t>(column_));
  column_ += fitting;
  if (fitting < text.size()) Fail(ErrorId::kInternalFileOverflow);
}

void InternalRecordPort::CompleteRecord(bool /*stayOnLine*/) {
  if (completed_) Fail(ErrorId::kInternalFileOverflow);
  std::fill(record_.begin() + static_cast<std::ptrdiff_t>(column_), record_.end(), ' ');
  completed_ = true;
}

}  // namespace recio
