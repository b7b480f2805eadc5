// Tests of REDTRMC: field by field over prepared lines, and the reads it makes through the probe.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "subs/probe_run.h"
#include "subs/subs.h"
#include "subs/text.h"

namespace {

using subs_test::Echo;
using subs_test::kStopAfterRecord;
using subs_test::Pad;
using subs_test::RunProbe;
using subs_test::SameBytes;
using x17b_test::InputKind;
using x17b_test::TempDir;

// Makes `text` the current line, as if it had just been read.
void PrepareLine(std::string_view text) {
  subs::AssignText(RTERMDAT.LINE, text);
  RTERMDAT.IPOS = 1;
}

// One REDTRMC call into a reply of `width` columns that held "keep" before the call. Every call
// here finds its field on the prepared line and never reads.
std::string Reply(int32_t mode, std::size_t width = 10) {
  std::string reply = Pad("keep", width);
  REDTRMC(std::string_view{"Never shown"}, mode, std::span<char>(reply.data(), reply.size()));
  return reply;
}

TEST(RedtrmcLineTest, FieldsAreDeliveredOneByOneFromTheSameLine) {
  PrepareLine("in.dat out.dat");
  EXPECT_EQ(Reply(1, 80), Pad("in.dat", 80));
  EXPECT_EQ(RTERMDAT.IPOS, 8);
  EXPECT_EQ(RTERMDAT.ILEN, 6);
  EXPECT_EQ(std::string_view(RTERMDAT.TOKEN, 8), "in.dat  ");
  EXPECT_EQ(Reply(1, 80), Pad("out.dat", 80));
  EXPECT_EQ(RTERMDAT.IPOS, 16);

  PrepareLine("a\tb,c, d");
  EXPECT_EQ(Reply(1), Pad("a", 10));
  EXPECT_EQ(Reply(1), Pad("b", 10));
  EXPECT_EQ(Reply(1), Pad("c", 10));
  EXPECT_EQ(Reply(1), Pad("d", 10));
}

TEST(RedtrmcLineTest, AnEmptyFieldAtTheStartKeepsTheReplyOnlyWhenItBeginsWithAComma) {
  PrepareLine(" \t,out.dat");
  EXPECT_EQ(Reply(1), Pad("keep", 10));
  EXPECT_EQ(Reply(1), Pad("out.dat", 10));

  PrepareLine("");
  EXPECT_EQ(Reply(1), Pad("", 10));
  EXPECT_EQ(RTERMDAT.IPOS, 133);
}

TEST(RedtrmcLineTest, ModeTwoNeverReadsAndKeepsTheReplyForACommaField) {
  PrepareLine("a ,b");
  EXPECT_EQ(Reply(2), Pad("a", 10));
  EXPECT_EQ(Reply(2), Pad("keep", 10));
  EXPECT_EQ(Reply(2), Pad("b", 10));
  EXPECT_EQ(Reply(2), Pad("", 10));
  EXPECT_EQ(Reply(2), Pad("", 10));  // beyond the line: still blanks, still no read

  PrepareLine("a,,b");
  EXPECT_EQ(Reply(2), Pad("a", 10));
  EXPECT_EQ(Reply(2), Pad("keep", 10));
  EXPECT_EQ(Reply(2), Pad("b", 10));
}

TEST(RedtrmcLineTest, ATrailingSlashIsSplitOffAsAFieldOfItsOwn) {
  PrepareLine("abc/ def");
  EXPECT_EQ(Reply(1), Pad("abc", 10));
  EXPECT_EQ(RTERMDAT.IPOS, 4);
  EXPECT_EQ(Reply(1), Pad("/", 10));
  EXPECT_EQ(Reply(1), Pad("def", 10));

  PrepareLine("// / a/b x/,y");
  EXPECT_EQ(Reply(1), Pad("/", 10));
  EXPECT_EQ(Reply(1), Pad("/", 10));
  EXPECT_EQ(Reply(1), Pad("/", 10));
  EXPECT_EQ(Reply(1), Pad("a/b", 10));
  EXPECT_EQ(Reply(1), Pad("x", 10));
  EXPECT_EQ(Reply(1), Pad("/", 10));
  EXPECT_EQ(Reply(1), Pad("y", 10));
}

TEST(RedtrmcLineTest, ALongFieldIsCutToTheReply) {
  const std::string field(100, 'q');
  PrepareLine(field + " next");
  EXPECT_EQ(Reply(1, 80), field.substr(0, 80));
  EXPECT_EQ(RTERMDAT.ILEN, 100);
  EXPECT_EQ(Reply(1, 3), "nex");
  EXPECT_EQ(Reply(2, 0), "");
}

TEST(RedtrmcLineTest, TheLastColumnOfTheLineIsNeverPartOfAField) {
  PrepareLine(Pad("", 129) + "xyz");
  EXPECT_EQ(Reply(1), Pad("xy", 10));

  PrepareLine(Pad("", 131) + "z");
  EXPECT_EQ(Reply(1), Pad("", 10));
  PrepareLine(Pad("", 131) + ",");
  EXPECT_EQ(Reply(1), Pad("keep", 10));

  PrepareLine(Pad("", 130) + "a/");
  EXPECT_EQ(Reply(2), Pad("a", 10));
}

// Dialogues in which REDTRMC reads, with standard input and output as pipes: a prompt leaves its
// line held, so the echo that follows it appears on the same line behind its own blank.

TEST(RedtrmcReadTest, TheNextQuestionPromptsWhenTheLineIsUsedUp) {
  TempDir dir;
  const auto result =
      RunProbe("C1,6,One;C1,6,Two;C1,6,Three", "in.dat\nsecond third\n", InputKind::kPipe, dir);
  EXPECT_TRUE(
      SameBytes("One > [in.dat]\r\nTwo > [second]\r\n[third ]" + kStopAfterRecord, result.out));
  EXPECT_EQ(result.exitCode, 0);
}

TEST(RedtrmcReadTest, AnEmptyFieldAfterTheFirstColumnDiscardsTheRestOfTheLine) {
  TempDir dir;
  const auto result =
      RunProbe("C1,6,One;C1,6,Two;C1,6,Three", "a ,b\nc,,d\ne\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("One > [a     ]\r\nTwo > [c     ]\r\nThree > [e     ]" + kStopAfterRecord,
                        result.out));
}

TEST(RedtrmcReadTest, ModeZeroAlwaysPromptsAndOtherModesActAsModeOne) {
  TempDir dir;
  auto result = RunProbe("C0,4,One;C0,4,Two", "a b\nc d\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("One > [a   ]\r\nTwo > [c   ]" + kStopAfterRecord, result.out));

  result = RunProbe("C7,4,One;C-1,4,Two;C99,4,Three", "a b\nc\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("One > [a   ]\r\n[b   ]\r\nThree > [c   ]" + kStopAfterRecord, result.out));
}

TEST(RedtrmcReadTest, ModeTwoReadsOnlyTheFirstLineOfTheRun) {
  TempDir dir;
  const auto result = RunProbe("C2,4,One;C2,4,Two;C2,4,Three", "x\ny\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("One > [x   ]\r\n[    ]\r\n[    ]" + kStopAfterRecord, result.out));
}

TEST(RedtrmcReadTest, ABlankLineAnswersWithBlanksWithoutPromptingAgain) {
  TempDir dir;
  const auto result = RunProbe("C1,4,One;C1,4,Two", "\n,x\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("One > [    ]\r\nTwo > [old ]" + kStopAfterRecord, result.out));
}

// An empty field after the first column makes the question read a new line. When that line
// begins with a comma, the reply keeps what the caller had; when it is blank, the reply is blank.
// Either way the call ends there and does not read a third line.
TEST(RedtrmcReadTest, AFreshLineAfterAnEmptyFieldEndsTheCallWithItsFirstField) {
  TempDir dir;
  auto result = RunProbe("C1,4,One;C1,4,Two;C1,4,Three", "a ,b\n,c\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("One > " + Echo("a", 4) + "\r\nTwo > " + Echo("old", 4) + "\r\n" +
                            Echo("c", 4) + kStopAfterRecord,
                        result.out));

  result = RunProbe("C1,4,One;C1,4,Two;C1,4,Three", "a,,b\n\nd\n", InputKind::kPipe, dir);
  EXPECT_TRUE(SameBytes("One > " + Echo("a", 4) + "\r\nTwo > " + Echo("", 4) + "\r\nThree > " +
                            Echo("d", 4) + kStopAfterRecord,
                        result.out));
}

}  // namespace
