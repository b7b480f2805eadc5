// The formatted transfer over an in-memory record port: records written (each shown with "|" or
// "$" where it was completed) and values read, by element and direction, with the failures.
#include "recio/internal/format.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "recio/internal/failure.h"
#include "recio/internal/memory_record_port.h"

namespace recio {
namespace {

// The direction of a transfer: a read takes input items, a write output items.
struct ReadTag {};
struct WriteTag {};
constexpr ReadTag kRead;
constexpr WriteTag kWrite;

void Transfer(RecordPort& port, const Layout& layout, std::initializer_list<InputItem> items,
              ReadTag, bool blankZero = false) {
  RunRead(port, layout, InputItems{items.begin(), items.size()}, blankZero);
}

void Transfer(RecordPort& port, const Layout& layout, std::initializer_list<OutputItem> items,
              WriteTag) {
  RunWrite(port, layout, OutputItems{items.begin(), items.size()});
}

std::string Write(const Layout& layout, std::initializer_list<OutputItem> items) {
  MemoryRecordPort port;
  Transfer(port, layout, items, kWrite);
  return port.output();
}

// The failure a transfer ends with; the test fails if it does not fail.
template <typename Item, typename Tag>
ErrorId FailureIn(RecordPort& port, const Layout& layout, std::initializer_list<Item> items,
                  Tag direction) {
  try {
    Transfer(port, layout, items, direction);
  } catch (const RequestFailure& failure) {
    return failure.id;
  }
  ADD_FAILURE() << "the transfer did not fail";
  return ErrorId::kEndOfFile;
}

ErrorId FailureOf(RecordPort& port, const Layout& layout, std::initializer_list<InputItem> items,
                  ReadTag direction) {
  return FailureIn<InputItem>(port, layout, items, direction);
}

ErrorId FailureOf(RecordPort& port, const Layout& layout, std::initializer_list<OutputItem> items,
                  WriteTag direction) {
  return FailureIn<OutputItem>(port, layout, items, direction);
}

std::string Dashes(std::size_t count) {
  return std::string(count, '-');
}

// ---- Output ----

TEST(WriteTest, StampTextIntoAnInternalRecord) {
  constexpr Layout kStampText{"(I4,5(':',I2))"};
  std::array<char, 40> record{};
  InternalRecordPort port{record};
  const std::array<int32_t, 6> stamp{1996, 3, 6, 5, 59, 9};
  Transfer(port, kStampText, {std::span<const int32_t>{stamp}}, kWrite);
  EXPECT_EQ(std::string_view(record.data(), record.size()),
            "1996: 3: 6: 5:59: 9" + std::string(21, ' '));

  const std::array<int32_t, 6> wide{12345, 3, 6, 5, 59, 9};
  InternalRecordPort again{record};
  Transfer(again, kStampText, {std::span<const int32_t>{wide}}, kWrite);
  EXPECT_EQ(std::string_view(record.data(), 19), "****: 3: 6: 5:59: 9");
}

TEST(WriteTest, BankRecordIsSeventySixColumns) {
  constexpr Layout kBank{"('BANK 1',2I5,' EDS',4(1PE13.5),' STD')"};
  const std::array<float, 4> coefficients{1234.5f, -0.001f, 0.0f, 1.2345650f};
  const std::string record = Write(kBank, {2048, 205, std::span<const float>{coefficients}});
  const std::string expected =
      "BANK 1 2048  205 EDS  1.23450E+03 -1.00000E-03  0.00000E+00  1.23457E+00 STD";
  EXPECT_EQ(expected.size(), 76u);
  EXPECT_EQ(record, expected + "|\n");
}

TEST(WriteTest, RestartWritesFurtherRecords) {
  constexpr Layout kCounts{"(10I8)"};
  std::array<int32_t, 20> counts{};
  for (int i = 0; i < 20; ++i) counts[i] = i * 1000;
  counts[3] = 123456789;
  counts[4] = -1234567;
  const std::string out = Write(kCounts, {std::span<const int32_t>{counts}});
  EXPECT_EQ(out,
            "       0    1000    2000********-1234567    5000    6000    7000    8000    9000|\n"
            "   10000   11000   12000   13000   14000   15000   16000   17000   18000   19000|\n");
}

TEST(WriteTest, RestartGoesBackToTheGroupAndKeepsTheScaleFactor) {
  constexpr Layout kGrouped{"(I2,2(I3))"};
  EXPECT_EQ(Write(kGrouped, {1, 2, 3, 4, 5, 6}), " 1  2  3|\n  4  5|\n  6|\n");
  // The scale factor stands before the group: it is not performed again on the restart, yet
  // stays in force for the second record.
  constexpr Layout kScaled{"(1P,2(E10.2))"};
  EXPECT_EQ(Write(kScaled, {1.5f, 25.0f, 0.5f}), "  1.50E+00  2.50E+01|\n  5.00E-01|\n");
}

TEST(WriteTest, FinalPassWritesTrailingLiteralsAndStopsAtAField) {
  constexpr Layout kStampText{"(I4,5(':',I2))"};
  EXPECT_EQ(Write(kStampText, {1996, 3}), "1996: 3:|\n");
  EXPECT_EQ(Write(kStampText, {}), "|\n");  // the first element is a field: nothing is written
  constexpr Layout kTrailer{"(I2,' END',/,'NEXT')"};
  EXPECT_EQ(Write(kTrailer, {7}), " 7 END|\nNEXT|\n");
}

TEST(WriteTest, RulersAndRecordBreaks) {
  EXPECT_EQ(Write(Layout{"(/,1X,80('-'))"}, {}), "|\n " + Dashes(80) + "|\n");
  EXPECT_EQ(Write(Layout{"(1X,80('-'),/)"}, {}), " " + Dashes(80) + "|\n|\n");
}

TEST(WriteTest, ColumnSkipsWriteBlanksOnlyBeforeText) {
  EXPECT_EQ(Write(Layout{"(1X,A)"}, {std::string_view{"text"}}), " text|\n");
  EXPECT_EQ(Write(Layout{"(A)"}, {std::string_view{" lead"}}), " lead|\n");
  EXPECT_EQ(Write(Layout{"(A,5X)"}, {std::string_view{"abc"}}), "abc|\n");
  EXPECT_EQ(Write(Layout{"(A,3X,/,'y')"}, {std::string_view{"x"}}), "x|\ny|\n");
  EXPECT_EQ(Write(Layout{"(2X,A,2X,A)"}, {std::string_view{"a"}, std::string_view{"b"}}),
            "  a  b|\n");
  EXPECT_EQ(Write(Layout{"(100X,A)"}, {std::string_view{"z"}}), std::string(100, ' ') + "z|\n");
}

TEST(WriteTest, CharacterFieldsAreWrittenWhole) {
  const std::string padded = "title" + std::string(35, ' ');
  EXPECT_EQ(Write(Layout{"(A)"}, {std::string_view{padded}}), padded + "|\n");
  EXPECT_EQ(Write(Layout{"(A,I4,A,I3)"}, {std::string_view{" FORTRAN error number"}, 6501,
                                          std::string_view{" on unit"}, 1}),
            " FORTRAN error number6501 on unit  1|\n");
  EXPECT_EQ(Write(Layout{"(A)"}, {std::string_view{}}), "|\n");
}

TEST(WriteTest, StayOnLineOnlyInTheFinalPass) {
  EXPECT_EQ(Write(Layout{"(A,$)"}, {std::string_view{"Enter name >"}}), "Enter name >$\n");
  EXPECT_EQ(Write(Layout{"($,I2)"}, {5}), " 5|\n");
  EXPECT_EQ(Write(Layout{"(I2,$)"}, {5, 6}), " 5|\n 6$\n");
}

TEST(WriteTest, InternalRecordOverflow) {
  std::array<char, 8> record{};
  InternalRecordPort port{record};
  EXPECT_EQ(FailureOf(port, Layout{"(A)"}, {std::string_view{"0123456789"}}, kWrite),
            ErrorId::kInternalFileOverflow);
  EXPECT_EQ(std::string_view(record.data(), 8), "01234567");  // what fitted stays

  InternalRecordPort second{record};
  EXPECT_EQ(FailureOf(second, Layout{"(I2,/,I2)"}, {1, 2}, kWrite), ErrorId::kInternalFileOverflow);
  EXPECT_EQ(std::string_view(record.data(), 8), " 1      ");  // the first record was completed
  InternalRecordPort restart{record};
  EXPECT_EQ(FailureOf(restart, Layout{"(I2)"}, {1, 2}, kWrite), ErrorId::kInternalFileOverflow);

  InternalRecordPort exact{record};
  Transfer(exact, Layout{"(2I4)"}, {1234, -567}, kWrite);
  EXPECT_EQ(std::string_view(record.data(), 8), "1234-567");
  EXPECT_EQ(exact.column(), 8u);
}

TEST(WriteTest, InternalRecordCannotBeRead) {
  std::array<char, 8> record{};
  InternalRecordPort port{record};
  int32_t value = 0;
  EXPECT_EQ(FailureOf(port, Layout{"(I4)"}, {value}, kRead), ErrorId::kFileNotOpenForReading);
}

// ---- Input ----

TEST(ReadTest, ColumnSkipStopsAtTheRecordEnd) {
  MemoryRecordPort port{"short line of twenty\n" + std::string(24, 'x') + " 1 2\n"};
  constexpr Layout kChannelCount{"(24X,I4)"};
  int32_t value = -1;
  Transfer(port, kChannelCount, {value}, kRead);
  EXPECT_EQ(value, 0);
  Transfer(port, kChannelCount, {value}, kRead);
  EXPECT_EQ(value, 12);  // blanks inside the field are dropped
  EXPECT_EQ(port.rest(), "");
}

TEST(ReadTest, FixedRealFieldExamples) {
  constexpr Layout kValue{"(F10.0)"};
  MemoryRecordPort port{"1,5\n1.5E2\n\n    123\n12 3.4\n  -.5\n"};
  std::array<float, 6> values{};
  for (float& value : values) Transfer(port, kValue, {value}, kRead);
  EXPECT_EQ(values, (std::array<float, 6>{1.0f, 150.0f, 0.0f, 123.0f, 123.4f, -0.5f}));

  MemoryRecordPort bad{"abc\n"};
  float value = 0.0f;
  EXPECT_EQ(FailureOf(bad, kValue, {value}, kRead), ErrorId::kInvalidReal);
}

TEST(ReadTest, CommaEndsAFieldAndIsConsumed) {
  MemoryRecordPort port{"1,5,-2,7\n"};
  std::array<float, 2> reals{};
  int32_t integer = 0;
  Transfer(port, Layout{"(2F10.0,I5)"}, {std::span<float>{reals}, integer}, kRead);
  EXPECT_EQ(reals, (std::array<float, 2>{1.0f, 5.0f}));
  EXPECT_EQ(integer, -2);
}

TEST(ReadTest, RestartReadsOneValuePerLine) {
  constexpr Layout kCoefficient{"(24X,E24.18)"};
  const std::string pad(24, ' ');
  MemoryRecordPort port{pad + "5\n" + pad + "5.\n" + pad + "  1.25E2\n" + pad + "-1.0D-3\nnext\n"};
  std::array<float, 4> values{};
  Transfer(port, kCoefficient, {std::span<float>{values}}, kRead);
  EXPECT_EQ(values, (std::array<float, 4>{5.0e-18f, 5.0f, 125.0f, -0.001f}));
  EXPECT_EQ(port.rest(), "next\n");
}

TEST(ReadTest, CharacterFieldsPadShortRecords) {
  constexpr Layout kLine{"(A)"};
  MemoryRecordPort port{"ten chars!\n" + std::string(100, 'y') + "\nafter\n"};
  std::array<char, 40> title{};
  Transfer(port, kLine, {std::span<char>{title}}, kRead);
  EXPECT_EQ(std::string_view(title.data(), 40), "ten chars!" + std::string(30, ' '));
  Transfer(port, kLine, {std::span<char>{title}}, kRead);
  EXPECT_EQ(std::string_view(title.data(), 40), std::string(40, 'y'));
  Transfer(port, kLine, {std::span<char>{title}}, kRead);
  EXPECT_EQ(std::string_view(title.data(), 5), "after");
}

TEST(ReadTest, LineLayoutWithoutItemsConsumesOneLine) {
  MemoryRecordPort port{"header\n\nthird\n"};
  constexpr Layout kLine{"(A)"};
  Transfer(port, kLine, {}, kRead);
  EXPECT_EQ(port.rest(), "\nthird\n");
  Transfer(port, kLine, {}, kRead);  // an empty line is a line
  EXPECT_EQ(port.rest(), "third\n");
  Transfer(port, kLine, {}, kRead);
  EXPECT_EQ(FailureOf(port, kLine, {}, kRead), ErrorId::kEndOfFileEncountered);
}

TEST(ReadTest, CarriageReturnEndsTheFieldsButNotTheRecord) {
  MemoryRecordPort port{"12\r34 56\n78\n"};
  std::array<int32_t, 2> values{-1, -1};
  Transfer(port, Layout{"(2I2)"}, {std::span<int32_t>{values}}, kRead);
  EXPECT_EQ(values, (std::array<int32_t, 2>{12, 0}));
  Transfer(port, Layout{"(I2)"}, {values[0]}, kRead);
  EXPECT_EQ(values[0], 78);

  MemoryRecordPort text{"ab\rcd\n"};
  std::array<char, 4> line{};
  Transfer(text, Layout{"(A)"}, {std::span<char>{line}}, kRead);
  EXPECT_EQ(std::string_view(line.data(), 4), "ab  ");
}

TEST(ReadTest, IntegerFieldCharacters) {
  const auto read = [](std::string_view record, bool blankZero = false) {
    MemoryRecordPort port{std::string{record}};
    int32_t value = -1;
    Transfer(port, Layout{"(I12)"}, {value}, kRead, blankZero);
    return value;
  };
  EXPECT_EQ(read("1\t2"), 12);
  EXPECT_EQ(read("   16#FF"), 255);
  EXPECT_EQ(read("#1F"), 31);
  EXPECT_EQ(read("0016#ff"), 255);
  EXPECT_EQ(read("0#F"), 15);  // the zero is dropped, not taken as a base
  EXPECT_EQ(read("-007"), -7);
  EXPECT_EQ(read(" 1 2", true), 102);  // BLANK=ZERO
  EXPECT_EQ(read("12  ", true), 1200);
}

TEST(ReadTest, IntegerFieldFailures) {
  const auto failure = [](std::string record) {
    MemoryRecordPort port{std::move(record)};
    int32_t value = 0;
    return FailureOf(port, Layout{"(I12)"}, {value}, kRead);
  };
  EXPECT_EQ(failure("-2147483648"), ErrorId::kIntegerOverflowOnInput);
  EXPECT_EQ(failure("2#102"), ErrorId::kInvalidInteger);
  EXPECT_EQ(failure(" 1 6 # 1 # 1"), ErrorId::kMultipleRadix);  // blanks dropped first
}

TEST(ReadTest, CtrlZInANumericFieldIsAnEndOfFile) {
  MemoryRecordPort port{
      "12\x1a"
      "4\n"};
  int32_t value = 0;
  EXPECT_EQ(FailureOf(port, Layout{"(I4)"}, {value}, kRead), ErrorId::kEndOfFileEncountered);
  MemoryRecordPort real{" 1.\x1a\n"};
  float number = 0;
  EXPECT_EQ(FailureOf(real, Layout{"(F10.0)"}, {number}, kRead), ErrorId::kEndOfFileEncountered);
  // In a character field it is just a character.
  MemoryRecordPort text{
      "a\x1a"
      "b\n"};
  std::array<char, 3> line{};
  Transfer(text, Layout{"(A)"}, {std::span<char>{line}}, kRead);
  EXPECT_EQ(std::string_view(line.data(), 3),
            "a\x1a"
            "b");
}

TEST(ReadTest, RecordBreakSkipsToTheNextRecord) {
  MemoryRecordPort port{"1 rest\n2\n3\n"};
  int32_t first = 0;
  int32_t second = 0;
  Transfer(port, Layout{"(I2,/,I2)"}, {first, second}, kRead);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
  EXPECT_EQ(port.rest(), "3\n");
}

TEST(ReadTest, StampFieldsFromOneLine) {
  std::string line = "Date and time";
  line.resize(24, ' ');
  MemoryRecordPort port{line + "1996   3   6   5  59   9\n"};
  std::array<int32_t, 6> stamp{};
  Transfer(port, Layout{"(24X,6I4)"}, {std::span<int32_t>{stamp}}, kRead);
  EXPECT_EQ(stamp, (std::array<int32_t, 6>{1996, 3, 6, 5, 59, 9}));
}

TEST(ReadTest, WhatWasStoredBeforeAFailureStays) {
  MemoryRecordPort port{"12\nabc\n"};
  std::array<int32_t, 3> values{-1, -1, -1};
  EXPECT_EQ(FailureOf(port, Layout{"(I4)"}, {std::span<int32_t>{values}}, kRead),
            ErrorId::kInvalidInteger);
  EXPECT_EQ(values, (std::array<int32_t, 3>{12, -1, -1}));
}

TEST(ReadTest, RunningOutOfRecordsIsAnEndOfFile) {
  MemoryRecordPort port{"1\n2\n"};
  std::array<int32_t, 3> values{};
  EXPECT_EQ(FailureOf(port, Layout{"(I4)"}, {std::span<int32_t>{values}}, kRead),
            ErrorId::kEndOfFileEncountered);
  EXPECT_EQ(values[1], 2);
}

// ---- Pairing guards ----

TEST(PairingTest, EachElementTypeNeedsItsDescriptor) {
  MemoryRecordPort port;
  const float real = 1.0f;
  EXPECT_EQ(FailureOf(port, Layout{"(A)"}, {7}, kWrite), ErrorId::kIEditExpected);
  EXPECT_EQ(FailureOf(port, Layout{"(F10.0)"}, {7}, kWrite), ErrorId::kIEditExpected);
  EXPECT_EQ(FailureOf(port, Layout{"(I4)"}, {real}, kWrite), ErrorId::kRealEditExpected);
  EXPECT_EQ(FailureOf(port, Layout{"(I4)"}, {std::string_view{"x"}}, kWrite),
            ErrorId::kAEditExpected);
  EXPECT_EQ(FailureOf(port, Layout{"(E10.2)"}, {std::string_view{"x"}}, kWrite),
            ErrorId::kAEditExpected);
  // The guard fires only when the element arrives: the record so far was written.
  MemoryRecordPort partial;
  EXPECT_EQ(FailureOf(partial, Layout{"(I3,A)"}, {1, 2}, kWrite), ErrorId::kIEditExpected);
  EXPECT_EQ(partial.output(), "  1");
}

TEST(PairingTest, LayoutWithoutFieldsForItemsFailsInsteadOfLooping) {
  MemoryRecordPort port;
  EXPECT_EQ(FailureOf(port, Layout{"(1X,80('-'),/)"}, {7}, kWrite), ErrorId::kIEditExpected);
  // Fields before the group, none inside it: the first record is fine, the restart is not.
  MemoryRecordPort grouped;
  const float real = 2.0f;
  EXPECT_EQ(FailureOf(grouped, Layout{"(F6.1,2('-'))"}, {real, real}, kWrite),
            ErrorId::kRealEditExpected);
  EXPECT_EQ(grouped.output(), "   2.0--|\n--");
}

TEST(PairingTest, LiteralTextCannotBeRead) {
  MemoryRecordPort port{"1996: 3: 6\n"};
  std::array<int32_t, 3> stamp{};
  EXPECT_EQ(FailureOf(port, Layout{"(I4,5(':',I2))"}, {std::span<int32_t>{stamp}}, kRead),
            ErrorId::kLiteralIllegalOnInput);
  EXPECT_EQ(stamp[0], 1996);
  MemoryRecordPort empty{"x\n"};
  EXPECT_EQ(FailureOf(empty, Layout{"('BANK 1',2I5)"}, {}, kRead), ErrorId::kLiteralIllegalOnInput);
}

}  // namespace
}  // namespace recio
