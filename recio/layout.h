// Record layouts: the written form such as (24X,6I4), turned into fixed elements at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace recio {

/// The element kinds a record layout can hold; nothing else exists.
enum class ElementKind : uint8_t {
  kCharacter,     // A
  kInteger,       // Iw
  kFixedReal,     // Fw.d
  kExponentReal,  // Ew.d
  kLiteral,       // 'text'
  kColumnSkip,    // nX
  kRecordBreak,   // /
  kStayOnLine,    // $
  kScaleFactor,   // kP
  kGroupStart,    // n(
  kGroupEnd,      // )
};

/// One element of a layout. `count` is the repeat count of a field descriptor or of a group;
/// `width` is w of a field, n of nX, or k of kP; `digits` is d of Fw.d and Ew.d.
struct LayoutElement {
  ElementKind kind{};
  int32_t count = 1;
  int32_t width = 0;
  int32_t digits = 0;
  std::string_view text;  // the literal text, a view into the written form

  constexpr bool IsField() const {
    return kind == ElementKind::kCharacter || kind == ElementKind::kInteger ||
           kind == ElementKind::kFixedReal || kind == ElementKind::kExponentReal;
  }
  friend constexpr bool operator==(const LayoutElement&, const LayoutElement&) = default;
};

/// A record layout, parsed from its written form by a consteval constructor: a malformed form
/// does not compile. Holds at most one repeat group, never nested.
class Layout {
 public:
  static constexpr std::size_t kCapacity = 16;
  /// The widest field a layout may declare; input fields are collected into buffers of this size.
  static constexpr int32_t kMaxWidth = 128;
  static constexpr int32_t kMaxCount = 9999;

  consteval Layout(std::string_view written) : written_{written} { Parse(); }

  constexpr std::size_t size() const { return size_; }
  constexpr const LayoutElement& operator[](std::size_t index) const { return elements_[index]; }
  constexpr std::span<const LayoutElement> elements() const { return {elements_.data(), size_}; }
  /// Where the walk continues when the layout runs out before the items: the group start when
  /// there is a group, else the first element.
  constexpr std::size_t restartPoint() const { return hasGroup_ ? groupStart_ : 0; }
  constexpr bool hasGroup() const { return hasGroup_; }
  constexpr std::size_t groupStart() const { return groupStart_; }
  constexpr std::string_view written() const { return written_; }

 private:
  // Reached only during constant evaluation, where the throw stops the build and the compiler's
  // note shows `why`. (The test keeps the function a valid constexpr one.)
  static constexpr void Malformed(const char* why) {
    if (why != nullptr) throw why;
  }

  static constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static constexpr char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

  constexpr void SkipBlanks() {
    while (pos_ < written_.size() && written_[pos_] == ' ') ++pos_;
  }
  constexpr char PeekChar() {
    SkipBlanks();
    return pos_ < written_.size() ? written_[pos_] : '\0';
  }
  constexpr bool TakeChar(char c) {
    if (Upper(PeekChar()) != c) return false;
    ++pos_;
    return true;
  }
  // An unsigned number, or -1 when none is written here.
  constexpr int32_t TakeNumber() {
    if (!IsDigit(PeekChar())) return -1;
    int32_t value = 0;
    while (pos_ < written_.size() && IsDigit(written_[pos_])) {
      value = value * 10 + (written_[pos_++] - '0');
      if (value > kMaxCount) Malformed("number too large in record layout");
    }
    return value;
  }
  constexpr int32_t TakeWidth() {
    int32_t width = TakeNumber();
    if (width < 1 || width > kMaxWidth) Malformed("field width missing or out of range");
    return width;
  }
  constexpr void Add(ElementKind kind, int32_t count = 1, int32_t width = 0, int32_t digits = 0,
                     std::string_view text = {}) {
    if (size_ == kCapacity) Malformed("record layout has too many elements");
    elements_[size_++] = LayoutElement{kind, count, width, digits, text};
  }

  constexpr void Parse() {
    if (!TakeChar('(')) Malformed("record layout must start with '('");
    ParseList();
    if (!TakeChar(')')) Malformed("record layout must end with ')'");
    if (PeekChar() != '\0') Malformed("text after the closing parenthesis");
  }

  // A comma-separated list of elements up to (not including) the closing parenthesis. The comma
  // may be left out after a scale factor and around a record break.
  constexpr void ParseList() {
    bool first = true;
    bool commaOptional = false;
    while (PeekChar() != ')') {
      if (PeekChar() == '\0') Malformed("missing ')'");
      if (!first && !TakeChar(',') && !commaOptional && PeekChar() != '/') {
        Malformed("',' expected between layout elements");
      }
      first = false;
      commaOptional = ParseElement();
    }
    if (first) Malformed("empty element list");
  }

  // Parses one element; returns whether a comma may be left out after it.
  constexpr bool ParseElement() {
    const char c = PeekChar();
    if (c == '\'') {
      ParseLiteral();
      return false;
    }
    if (TakeChar('/')) {
      Add(ElementKind::kRecordBreak);
      return true;
    }
    if (TakeChar('$')) {
      Add(ElementKind::kStayOnLine);
      return false;
    }
    bool negative = false;
    if (c == '-' || c == '+') {
      negative = c == '-';
      ++pos_;
    }
    const int32_t number = TakeNumber();
    if (TakeChar('P')) {
      if (number < 0) Malformed("scale factor needs a number before P");
      Add(ElementKind::kScaleFactor, 1, negative ? -number : number);
      return true;
    }
    if (c == '-' || c == '+') Malformed("a sign belongs only to a scale factor");
    if (number == 0) Malformed("repeat count must be at least 1");
    if (TakeChar('X')) {
      if (number < 1) Malformed("column skip needs a count before X");
      Add(ElementKind::kColumnSkip, 1, number);
      return false;
    }
    if (TakeChar('(')) {
      ParseGroup(number < 0 ? 1 : number);
      return false;
    }
    ParseField(number < 0 ? 1 : number);
    return false;
  }

  constexpr void ParseLiteral() {
    const std::size_t start = ++pos_;
    while (pos_ < written_.size() && written_[pos_] != '\'') ++pos_;
    if (pos_ == written_.size()) Malformed("literal text without closing apostrophe");
    if (pos_ == start) Malformed("empty literal text");
    if (pos_ + 1 < written_.size() && written_[pos_ + 1] == '\'') {
      Malformed("doubled apostrophes are not supported in literal text");
    }
    Add(ElementKind::kLiteral, 1, 0, 0, written_.substr(start, pos_ - start));
    ++pos_;
  }

  constexpr void ParseGroup(int32_t count) {
    if (hasGroup_) Malformed("a record layout has at most one repeat group, not nested");
    hasGroup_ = true;
    groupStart_ = size_;
    Add(ElementKind::kGroupStart, count);
    ParseList();
    if (!TakeChar(')')) Malformed("repeat group without ')'");
    Add(ElementKind::kGroupEnd);
  }

  constexpr void ParseField(int32_t count) {
    const char letter = Upper(PeekChar());
    ++pos_;
    switch (letter) {
      case 'A':
        if (IsDigit(PeekChar())) Malformed("A takes no width");
        Add(ElementKind::kCharacter, count);
        return;
      case 'I':
        Add(ElementKind::kInteger, count, TakeWidth());
        return;
      case 'F':
      case 'E': {
        const int32_t width = TakeWidth();
        if (!TakeChar('.')) Malformed("real field needs '.d'");
        const int32_t digits = TakeNumber();
        if (digits < 0 || digits > width) Malformed("real field digits missing or wider than w");
        Add(letter == 'F' ? ElementKind::kFixedReal : ElementKind::kExponentReal, count, width,
            digits);
        return;
      }
      default:
        Malformed("unknown element in record layout");
    }
  }

  std::string_view written_;
  std::array<LayoutElement, kCapacity> elements_{};
  std::size_t size_ = 0;
  std::size_t groupStart_ = 0;
  bool hasGroup_ = false;
  std::size_t pos_ = 0;  // parse position; meaningless after construction
};

/// The walk over a layout, separate from the layout itself. Hands out the elements to perform in
/// order: a field descriptor once for each element it serves (its repeat count), every control
/// element, with the repeat group's loop performed inside. Knows nothing of records.
class LayoutCursor {
 public:
  constexpr explicit LayoutCursor(const Layout& layout) : layout_{&layout} {}

  /// The next element to perform, or nullptr at the end of the layout (where it stays).
  constexpr const LayoutElement* Next() {
    if (fieldLeft_ > 0) {
      --fieldLeft_;
      return &(*layout_)[index_ - 1];
    }
    while (index_ < layout_->size()) {
      const LayoutElement& element = (*layout_)[index_++];
      switch (element.kind) {
        case ElementKind::kGroupStart:
          groupLeft_ = element.count;
          break;
        case ElementKind::kGroupEnd:
          // The group's loop: back to its first element while its count is not used up.
          if (--groupLeft_ > 0) index_ = layout_->groupStart() + 1;
          break;
        default:
          if (element.IsField()) fieldLeft_ = element.count - 1;
          return &element;
      }
    }
    return nullptr;
  }

  /// Continues at the restart point, re-entering the repeat group with its full count.
  constexpr void Restart() {
    index_ = layout_->restartPoint();
    fieldLeft_ = 0;
  }

 private:
  const Layout* layout_;
  std::size_t index_ = 0;
  int32_t fieldLeft_ = 0;
  int32_t groupLeft_ = 0;
};

}  // namespace recio
