// The formatted transfer: the layout walk, its controls, the conversion of each element, and
// internal records.
#include "recio/internal/format.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "recio/internal/edit.h"
#include "recio/internal/failure.h"
#include "recio/internal/field_scan.h"

namespace recio {
namespace {

constexpr std::array<char, 64> kBlanks = [] {
  std::array<char, 64> blanks{};
  blanks.fill(' ');
  return blanks;
}();

using FieldBuffer = std::array<char, Layout::kMaxWidth>;

// The walk of one request: the layout's position, the scale factor, the columns skipped but not
// yet written, and the stay-on-line mark; made fresh for each request.
class Walk {
 public:
  Walk(RecordPort& port, const Layout& layout, bool writing)
      : port_{port}, cursor_{layout}, writing_{writing} {}

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

  RecordPort& port() { return port_; }
  int32_t scale() const { return scale_; }

 private:
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
          SkipColumns(port_, element.width);
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

  RecordPort& port_;
  LayoutCursor cursor_;
  const bool writing_;
  int32_t scale_ = 0;
  int32_t pendingSkip_ = 0;
  bool stayOnLine_ = false;
  bool fieldSinceRestart_ = false;
};

const LayoutElement& IntegerField(Walk& walk) {
  const LayoutElement& field = walk.NextField(ErrorId::kIEditExpected);
  if (field.kind != ElementKind::kInteger) Fail(ErrorId::kIEditExpected);
  return field;
}

const LayoutElement& RealField(Walk& walk) {
  const LayoutElement& field = walk.NextField(ErrorId::kRealEditExpected);
  if (field.kind != ElementKind::kFixedReal && field.kind != ElementKind::kExponentReal) {
    Fail(ErrorId::kRealEditExpected);
  }
  return field;
}

const LayoutElement& CharacterField(Walk& walk) {
  const LayoutElement& field = walk.NextField(ErrorId::kAEditExpected);
  if (field.kind != ElementKind::kCharacter) Fail(ErrorId::kAEditExpected);
  return field;
}

// Stores each element of the item from its field.
void ReadItem(Walk& walk, const InputItem& item, bool blankZero) {
  switch (item.type()) {
    case ItemType::kInteger:
      for (int32_t i = 0; i < item.count(); ++i) {
        item.integers()[i] = ScanInteger(walk.port(), IntegerField(walk).width, blankZero);
      }
      return;
    case ItemType::kReal:
      for (int32_t i = 0; i < item.count(); ++i) {
        item.reals()[i] = ScanReal(walk.port(), RealField(walk), walk.scale(), blankZero);
      }
      return;
    case ItemType::kCharacter:
      CharacterField(walk);
      ScanText(walk.port(), item.text());
      return;
  }
}

// Writes each element of the item into its field.
void WriteItem(Walk& walk, const OutputItem& item) {
  FieldBuffer buffer;
  switch (item.type()) {
    case ItemType::kInteger:
      for (int32_t i = 0; i < item.count(); ++i) {
        const auto text =
            std::span{buffer}.first(static_cast<std::size_t>(IntegerField(walk).width));
        FormatInteger(item.integers()[i], text);
        walk.Emit(text);
      }
      return;
    case ItemType::kReal:
      for (int32_t i = 0; i < item.count(); ++i) {
        const LayoutElement& field = RealField(walk);
        const auto text = std::span{buffer}.first(static_cast<std::size_t>(field.width));
        if (field.kind == ElementKind::kExponentReal) {
          FormatExponent(item.reals()[i], field.digits, walk.scale(), text);
        } else {
          FormatFixed(item.reals()[i], field.digits, walk.scale(), text);
        }
        walk.Emit(text);
      }
      return;
    case ItemType::kCharacter:
      CharacterField(walk);
      walk.Emit(item.text());
      return;
  }
}

}  // namespace

void RunRead(RecordPort& port, const Layout& layout, InputItems items, bool blankZero) {
  Walk walk{port, layout, false};
  for (const InputItem& item : items) ReadItem(walk, item, blankZero);
  walk.FinalPass();
  walk.End();
}

void RunWrite(RecordPort& port, const Layout& layout, OutputItems items) {
  Walk walk{port, layout, true};
  for (const OutputItem& item : items) WriteItem(walk, item);
  walk.FinalPass();
  walk.End();
}

std::span<const char> InternalRecordPort::Run(std::size_t /*wanted*/) {
  Fail(ErrorId::kFileNotOpenForReading);
}

void InternalRecordPort::Advance(std::size_t /*count*/) {
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
