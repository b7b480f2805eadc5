// Record layouts: every layout the system uses parses to the right elements, and the walk over
// them repeats fields, loops the group and restarts where it should; all checked at compile time.
#include "recio/layout.h"

#include <gtest/gtest.h>

#include <array>
#include <string_view>

namespace recio {
namespace {

// A fixed-capacity text that can be built during constant evaluation.
struct Text {
  std::array<char, 256> chars{};
  std::size_t size = 0;

  constexpr void Put(std::string_view part) {
    if (size > 0) chars[size++] = ' ';
    for (char c : part) chars[size++] = c;
  }
  constexpr void PutNumber(int32_t value) {
    if (value < 0) {
      chars[size++] = '-';
      value = -value;
    }
    std::array<char, 12> digits{};
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value > 0);
    while (count > 0) chars[size++] = digits[--count];
  }
  constexpr bool operator==(std::string_view other) const {
    return std::string_view{chars.data(), size} == other;
  }
};

// One element as a token: "6*I4", "E24.18", "24X", "1P", "'text'", "/", "$", "5(", ")".
constexpr void Put(Text& text, const LayoutElement& element) {
  const auto field = [&](char letter) {
    text.Put("");
    if (element.count != 1) {
      text.PutNumber(element.count);
      text.chars[text.size++] = '*';
    }
    text.chars[text.size++] = letter;
  };
  switch (element.kind) {
    case ElementKind::kCharacter:
      field('A');
      return;
    case ElementKind::kInteger:
      field('I');
      text.PutNumber(element.width);
      return;
    case ElementKind::kFixedReal:
    case ElementKind::kExponentReal:
      field(element.kind == ElementKind::kFixedReal ? 'F' : 'E');
      text.PutNumber(element.width);
      text.chars[text.size++] = '.';
      text.PutNumber(element.digits);
      return;
    case ElementKind::kLiteral:
      text.Put("'");
      for (char c : element.text) text.chars[text.size++] = c;
      text.chars[text.size++] = '\'';
      return;
    case ElementKind::kColumnSkip:
      text.Put("");
      text.PutNumber(element.width);
      text.chars[text.size++] = 'X';
      return;
    case ElementKind::kRecordBreak:
      text.Put("/");
      return;
    case ElementKind::kStayOnLine:
      text.Put("$");
      return;
    case ElementKind::kScaleFactor:
      text.Put("");
      text.PutNumber(element.width);
      text.chars[text.size++] = 'P';
      return;
    case ElementKind::kGroupStart:
      text.Put("");
      text.PutNumber(element.count);
      text.chars[text.size++] = '(';
      return;
    case ElementKind::kGroupEnd:
      text.Put(")");
      return;
  }
}

constexpr Text Describe(const Layout& layout) {
  Text text;
  for (const LayoutElement& element : layout.elements()) Put(text, element);
  return text;
}

// The first `steps` elements the walk hands out; "|" marks the end of the layout, after which
// the walk restarts as the restart rule says.
constexpr Text Walk(const Layout& layout, int steps) {
  Text text;
  LayoutCursor cursor{layout};
  for (int i = 0; i < steps; ++i) {
    const LayoutElement* element = cursor.Next();
    if (element == nullptr) {
      text.Put("|");
      cursor.Restart();
    } else {
      LayoutElement single = *element;
      single.count = 1;  // the walk hands out a repeated field once per element it serves
      Put(text, single);
    }
  }
  return text;
}

// ---- Parsing: each layout in use ----

static_assert(Describe(Layout{"(A)"}) == "A");
static_assert(Describe(Layout{"(1X,A)"}) == "1X A");
static_assert(Describe(Layout{"(A,$)"}) == "A $");
static_assert(Describe(Layout{"(24X,6I4)"}) == "24X 6*I4");
static_assert(Describe(Layout{"(24X,I4)"}) == "24X I4");
static_assert(Describe(Layout{"(24X,F10.0)"}) == "24X F10.0");
static_assert(Describe(Layout{"(24X,E24.18)"}) == "24X E24.18");
static_assert(Describe(Layout{"(F10.0)"}) == "F10.0");
static_assert(Describe(Layout{"(I4,5(':',I2))"}) == "I4 5( ':' I2 )");
static_assert(Describe(Layout{"('BANK 1',2I5,' EDS',4(1PE13.5),' STD')"}) ==
              "'BANK 1' 2*I5 ' EDS' 4( 1P E13.5 ) ' STD'");
static_assert(Describe(Layout{"(10I8)"}) == "10*I8");
static_assert(Describe(Layout{"(/,1X,80('-'))"}) == "/ 1X 80( '-' )");
static_assert(Describe(Layout{"(1X,80('-'),/)"}) == "1X 80( '-' ) /");
static_assert(Describe(Layout{"(A,I4,A,I3)"}) == "A I4 A I3");

// Literal text is a view into the written form, blanks kept.
constexpr Layout kBank{"('BANK 1',2I5,' EDS',4(1PE13.5),' STD')"};
static_assert(kBank[0].text == "BANK 1" && kBank[2].text == " EDS" && kBank[7].text == " STD");
static_assert(kBank[0].text.data() == kBank.written().data() + 2);

// The restart point is the group's start, or the first element without a group.
static_assert(kBank.restartPoint() == 3);
static_assert(Layout{"(I4,5(':',I2))"}.restartPoint() == 1);
static_assert(Layout{"(10I8)"}.restartPoint() == 0 && !Layout{"(10I8)"}.hasGroup());

// Written variations that mean the same layout: case, blanks, commas left out after a scale
// factor and around a record break, a signed scale factor.
static_assert(Describe(Layout{"(24x,6i4)"}) == "24X 6*I4");
static_assert(Describe(Layout{"( 24X , 6I4 )"}) == "24X 6*I4");
static_assert(Describe(Layout{"(I2/I3)"}) == "I2 / I3");
static_assert(Describe(Layout{"(-2P,F8.3,1P,E9.2)"}) == "-2P F8.3 1P E9.2");
static_assert(Describe(Layout{"(2A)"}) == "2*A");

// A malformed layout does not compile; each of these stops the build with the reason shown in
// the compiler's note (for instance "at most one repeat group, not nested"):
//   constexpr Layout kOpen{"(24X,6I4"};          // missing ')'
//   constexpr Layout kUnknown{"(24X,6J4)"};      // unknown element
//   constexpr Layout kNoWidth{"(I)"};            // field width missing
//   constexpr Layout kWideA{"(A4)"};             // A takes no width
//   constexpr Layout kNoDigits{"(F10)"};         // real field needs '.d'
//   constexpr Layout kNested{"(2(I2,3(I1)))"};   // one group, not nested
//   constexpr Layout kTwoGroups{"(2(A),3(A))"};  // one group only
//   constexpr Layout kLiteral{"('abc)"};         // literal without closing apostrophe
//   constexpr Layout kBareSkip{"(X)"};           // column skip needs a count
//   constexpr Layout kEmpty{"()"};               // empty element list
//   constexpr Layout kTrailing{"(I4)x"};         // text after the closing parenthesis

// ---- The walk ----

constexpr Layout kStampText{"(I4,5(':',I2))"};
constexpr Layout kCounts{"(10I8)"};
constexpr Layout kCoefficient{"(24X,E24.18)"};
constexpr Layout kLine{"(A)"};
constexpr Layout kNestedCounts{"(I1,3(I2,I3))"};

// A repeated field serves one element per repeat; the group loops its count; the restart goes
// back to the group with its full count, not to the start of the layout.
static_assert(Walk(kStampText, 14) == "I4 ':' I2 ':' I2 ':' I2 ':' I2 ':' I2 | ':' I2");
static_assert(Walk(kCounts, 13) == "I8 I8 I8 I8 I8 I8 I8 I8 I8 I8 | I8 I8");
static_assert(Walk(kCoefficient, 6) == "24X E24.18 | 24X E24.18 |");
static_assert(Walk(kBank, 17) ==
              "'BANK 1' I5 I5 ' EDS' 1P E13.5 1P E13.5 1P E13.5 1P E13.5 ' STD' | 1P E13.5 1P");
static_assert(Walk(kLine, 4) == "A | A |");
// Every restart re-enters the group with its full count.
static_assert(Walk(kNestedCounts, 17) == "I1 I2 I3 I2 I3 I2 I3 | I2 I3 I2 I3 I2 I3 | I2 I3");

TEST(LayoutTest, WalkAtRunTimeMatchesTheCompileTimeWalk) {
  // The same cursor drives the transfer at run time; a run-time layout object must walk alike.
  const Layout layout{"(I4,5(':',I2))"};
  LayoutCursor cursor{layout};
  int fields = 0;
  int literals = 0;
  for (const LayoutElement* element = cursor.Next(); element != nullptr; element = cursor.Next()) {
    fields += element->IsField() ? 1 : 0;
    literals += element->kind == ElementKind::kLiteral ? 1 : 0;
  }
  EXPECT_EQ(fields, 6);
  EXPECT_EQ(literals, 5);
  cursor.Restart();
  const LayoutElement* first = cursor.Next();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->kind, ElementKind::kLiteral);
  EXPECT_EQ(first->text, ":");
}

}  // namespace
}  // namespace recio
