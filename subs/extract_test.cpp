// Tests of the field scanner EXTRACT and of UPCASE over prepared texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "subs/subs.h"

namespace {

std::string Pad(std::string_view text, std::size_t width) {
  std::string padded(text.substr(0, width));
  padded.resize(width, ' ');
  return padded;
}

struct Scan {
  std::string token;
  int32_t length;
  int32_t position;
};

// One EXTRACT call on `line` (taken at its exact length) into a token of `tokenWidth` columns
// that held "#" characters before the call.
Scan Extract(std::string_view line, int32_t position, std::size_t tokenWidth = 12) {
  std::string token(tokenWidth, '#');
  int32_t length = -7;
  EXTRACT(std::span<const char>(line.data(), line.size()), position,
          std::span<char>(token.data(), token.size()), length);
  return {token, length, position};
}

void ExpectScan(const Scan& scan, std::string_view token, int32_t length, int32_t position) {
  EXPECT_EQ(scan.token, Pad(token, scan.token.size()));
  EXPECT_EQ(scan.length, length);
  EXPECT_EQ(scan.position, position);
}

TEST(ExtractTest, FieldsEndAtBlanksTabsAndCommasWhichFollowThemInTheToken) {
  const std::string line = Pad("in.dat out.dat", 132);
  ExpectScan(Extract(line, 1), "in.dat ", 6, 8);
  ExpectScan(Extract(line, 8), "out.dat ", 7, 16);
  ExpectScan(Extract(Pad("ab,cd", 20), 1), "ab,", 2, 4);
  ExpectScan(Extract(Pad("ab\tcd", 20), 1), "ab\t", 2, 4);
  ExpectScan(Extract(Pad("ab\tcd", 20), 4), "cd ", 2, 7);
}

TEST(ExtractTest, LeadingBlanksAndTabsAreSkippedButACommaIsNot) {
  ExpectScan(Extract(Pad(" \t \tfile", 20), 1), "file ", 4, 10);
  ExpectScan(Extract(Pad("  ,out", 20), 1), ",", 0, 4);
  ExpectScan(Extract(Pad("  ,out", 20), 4), "out ", 3, 8);
  // Two commas in a row: the second one is an empty field of its own.
  ExpectScan(Extract(Pad("a,,b", 20), 3), ",", 0, 4);
}

TEST(ExtractTest, TheLastColumnIsNeverExaminedAndEndsTheField) {
  // A field running into the last column has that column in its token but not in its length.
  ExpectScan(Extract("abcde", 1), "abcde", 4, 6);
  ExpectScan(Extract("abcd,", 1), "abcd,", 4, 6);
  ExpectScan(Extract("ab  x", 3), "x", 0, 6);
  ExpectScan(Extract("ab\t\t\t", 3), "\t", 0, 6);
  const std::string full(132, 'z');
  ExpectScan(Extract(full, 1, 132), full, 131, 133);
}

TEST(ExtractTest, TheRestOfALineOfBlanksGivesAnEmptyFieldHoldingTheLastColumn) {
  const std::string line = Pad("in.dat out.dat", 132);
  ExpectScan(Extract(line, 16), "", 0, 133);
  ExpectScan(Extract(line, 132), "", 0, 133);
}

TEST(ExtractTest, APositionBeyondTheLineCopiesNothing) {
  ExpectScan(Extract("abc", 4), "", 0, 5);
  ExpectScan(Extract("abc", 200), "", 0, 201);
  ExpectScan(Extract("", 1), "", 0, 2);
  ExpectScan(Extract("abc", INT32_MAX), "", 0, INT32_MAX);
}

TEST(ExtractTest, APositionBeforeColumnOneStartsAtColumnOne) {
  ExpectScan(Extract(Pad("ab cd", 10), 0), "ab ", 2, 4);
  ExpectScan(Extract(Pad("ab cd", 10), -50), "ab ", 2, 4);
}

TEST(ExtractTest, TheTokenIsCutToItsLengthButTheFieldLengthIsNot) {
  const std::string line = Pad(std::string(100, 'f') + " g", 132);
  ExpectScan(Extract(line, 1, 80), std::string(80, 'f'), 100, 102);
  ExpectScan(Extract(line, 1, 0), "", 100, 102);
  ExpectScan(Extract(line, 102, 1), "g", 1, 104);
}

TEST(UpcaseTest, OnlyTheLettersAToZChange) {
  std::string text = "@m@1`{azAZ09";
  UPCASE(std::span<char>(text.data(), text.size()));
  EXPECT_EQ(text, "@M@1`{AZAZ09");

  std::string all(256, '\0');
  for (int code = 0; code < 256; ++code)
    all[static_cast<std::size_t>(code)] = static_cast<char>(code);
  UPCASE(std::span<char>(all.data(), all.size()));
  for (int code = 0; code < 256; ++code) {
    const int expected = code >= 'a' && code <= 'z' ? code - 32 : code;
    EXPECT_EQ(static_cast<unsigned char>(all[static_cast<std::size_t>(code)]), expected) << code;
  }
}

TEST(UpcaseTest, ChangesOnlyItsOwnColumns) {
  std::string text = "abcd";
  UPCASE(std::span<char>(text.data(), 2));
  EXPECT_EQ(text, "ABcd");
  UPCASE(std::span<char>(text.data(), 0));
  EXPECT_EQ(text, "ABcd");
}

}  // namespace
