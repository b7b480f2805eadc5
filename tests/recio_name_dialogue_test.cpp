// Whole runs of the record layer's name dialogue: blank names answered from the arguments or asked
// for at the console, implicit connections, the limits of a typed name and the end of the input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/process_harness.h"
#include "tests/recio_probe_fixture.h"

namespace {

using x17b_test::FileExists;
using x17b_test::InputKind;
using x17b_test::kQuestion;
using x17b_test::kStopLine;
using x17b_test::ProbeRun;
using x17b_test::ReadFileBytes;
using x17b_test::Visible;
using x17b_test::WriteFileBytes;

using RecioNameDialogueTest = x17b_test::RecioProbeTest;

TEST_F(RecioNameDialogueTest, ArgumentsAnswerBlankNamesInOrderThenTheDialogueAsks) {
  WriteFileBytes(dir_.File("in.dat"), "from in\n");
  ProbeRun run = Run("open 1 _ status=old\nopen 2 _\nopen 3 _\nread 1", "  third.dat  \n",
                     InputKind::kPipe, {"in.dat", "out.dat"});
  EXPECT_EQ(run.log,
            "open 1 status=0\nopen 2 status=0\nopen 3 status=0\nread status=0 [from in]\n");
  EXPECT_EQ(run.result.out, kQuestion + "3? ");
  EXPECT_TRUE(x17b_test::FileExists(dir_.File("out.dat")));
  EXPECT_TRUE(x17b_test::FileExists(dir_.File("third.dat")));
}

TEST_F(RecioNameDialogueTest, BlankArgumentIsTakenAndTheQuestionFollows) {
  ProbeRun run = Run("open 1 _\nopen 2 _", "a.dat\n", InputKind::kPipe, {"   ", "b.dat"});
  EXPECT_EQ(run.result.out, kQuestion + "1? ");
  EXPECT_TRUE(FileExists(dir_.File("a.dat")));
  EXPECT_TRUE(FileExists(dir_.File("b.dat")));
}

TEST_F(RecioNameDialogueTest, BlankRepliesRepeatTheQuestionAndAPendingLineIsEndedOnce) {
  ProbeRun run = Run("write * 1XA before\nopen 1 _\nwrite * 1XA after\nstop", "\n   \nname.txt\n");
  EXPECT_EQ(Visible(run.result.out), Visible("before\r\n" + kQuestion + "1? " + kQuestion + "1? " +
                                             kQuestion + "1? \r\nafter\r\n" + kStopLine + "\r\n"));
  EXPECT_TRUE(x17b_test::FileExists(dir_.File("name.txt")));
}

TEST_F(RecioNameDialogueTest, DialogueShowsANegativeUnitWithItsSign) {
  ProbeRun run = Run("open -5 _\ninquire -5", "neg.txt\n");
  EXPECT_EQ(run.result.out, kQuestion + "-5? ");
  EXPECT_EQ(run.log, "open -5 status=0\ninquire -5 yes\n");
  EXPECT_TRUE(FileExists(dir_.File("neg.txt")));
}

TEST_F(RecioNameDialogueTest, DialogueSharesLinesWithConsoleReads) {
  // Lines already taken into the console buffer are not lost to the dialogue.
  ProbeRun run = Run("read 5\nopen 1 _\nread 5", "first\nname.dat\nthird\n");
  EXPECT_EQ(run.log, "read status=0 [first]\nopen 1 status=0\nread status=0 [third]\n");
  EXPECT_TRUE(x17b_test::FileExists(dir_.File("name.dat")));
}

TEST_F(RecioNameDialogueTest, ImplicitConnectionOnWriteAndRead) {
  WriteFileBytes(dir_.File("r.txt"), "line\n");
  WriteFileBytes(dir_.File("w.txt"), "old old old\n");
  ProbeRun run = Run("write 12 A fresh\nread 13\nread 14", "w.txt\nr.txt\nnot-there\n");
  EXPECT_EQ(run.result.out, kQuestion + "12? " + kQuestion + "13? " + kQuestion + "14? ");
  EXPECT_EQ(run.log, "read status=0 [line]\n");
  ExpectFailure(run, 6416, "OPEN", "not-there", "file not found");
  EXPECT_EQ(ReadFileBytes(dir_.File("w.txt")), "fresh\r\n");
}

TEST_F(RecioNameDialogueTest, DialogueTakes260CharactersFromAPipeAndSkipsTheRest) {
  ASSERT_TRUE(x17b_test::MakeFolder(dir_.File("sub")));
  std::string name = "sub/" + std::string(255, 'q');
  ProbeRun run = Run("open 1 _\nread 5", name + " ZZZZ\nnext\n");
  EXPECT_EQ(run.log, "open 1 status=0\nread status=0 [next]\n");
  EXPECT_TRUE(FileExists(dir_.File(name)));
}

TEST_F(RecioNameDialogueTest, DialogueAtTheEndOfTheInputFailsTheOpen) {
  ProbeRun run = Run("open 12 _", "");
  EXPECT_EQ(run.result.out, kQuestion + "12? ");
  ExpectFailure(run, 6501, "OPEN", "", "end of file encountered");
}

TEST_F(RecioNameDialogueTest, DialogueThatTookTheLastUnendedLineLeavesTheInputAtItsEnd) {
  // A last line without a line end is taken to end with one: a CR before it is not in the name.
  for (const std::string& input : {std::string("name.dat"), std::string("name.dat\r")}) {
    ProbeRun run = Run("open 1 _\nread 5 ?", input);
    EXPECT_EQ(DirectoryNames(), std::vector<std::string>{"name.dat"}) << Visible(input);
    EXPECT_EQ(run.log.substr(0, 32), "open 1 status=0\nread status=-1 [") << run.log;
  }
}

TEST_F(RecioNameDialogueTest, DialogueLineEndingInCtrlZIsTheEndOfTheInput) {
  // Its last character decides, with or without a line end, however many characters were kept.
  for (const std::string& input :
       {std::string("abc\x1a"), std::string("abc\x1a\r\n"), std::string(300, 'q') + "\x1a\n"}) {
    ProbeRun run = Run("open 1 _", input);
    ExpectFailure(run, 6501, "OPEN", "", "end of file encountered");
    EXPECT_TRUE(DirectoryNames().empty());
  }
}

}  // namespace
