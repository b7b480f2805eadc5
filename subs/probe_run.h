// Test helpers: runs the dialogue probe with a script and prepared input, and builds expectations.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "tests/process_harness.h"

namespace subs_test {

using x17b_test::InputKind;

/// Runs the dialogue probe in `dir` with `script` (see dialogue_probe.cpp) and `input` as its
/// standard input.
inline x17b_test::RunResult RunProbe(const std::string& script, const std::string& input,
                                     InputKind kind, const x17b_test::TempDir& dir) {
  x17b_test::RunOptions options;
  options.environment = {{"X17B_DIALOGUE_SCRIPT", script}};
  options.input = input;
  options.kind = kind;
  options.workDir = dir.path();
  return x17b_test::RunProgram(x17b_test::BuiltProgram("subs/dialogue_probe"), options);
}

/// `text` blank-padded or cut to `width` columns.
inline std::string Pad(std::string_view text, std::size_t width) {
  std::string padded(text.substr(0, width));
  padded.resize(width, ' ');
  return padded;
}

/// What the probe shows of a reply or line of `width` columns: "[", the text, "]".
inline std::string Echo(std::string_view text, std::size_t width) {
  std::string echo = "[";
  echo.append(Pad(text, width)).append("]");
  return echo;
}

/// The end of a run whose last console record left its line pending: the line ends, the stop
/// line follows, and termination ends the still pending line once more.
inline const std::string kStopAfterRecord = "\r\n" + x17b_test::kStopLine + "\r\n";

/// The console bytes of the macro messages, without their carriage-control blank.
inline const std::string kAskName = "Enter the name of your macro file: ";
inline const std::string kMacroEmpty =
    "The macro file is empty, reading from the terminal is resumed.";
inline const std::string kNotFound = "File NOT found!!\a Enter \"QUIT\" to resume terminal input";

/// "The commands will be read from " and the macro file name in 80 columns.
inline std::string ReadingFrom(std::string_view name) {
  return "The commands will be read from " + Pad(name, 80);
}

/// The help text as it reaches the console after its first, empty record: each ruler is a blank
/// and 80 minus signs, and the last record is empty.
inline std::string HelpAfterEmptyRecord() {
  const std::string ruler(80, '-');
  return "\r\n" + ruler + "\r\nThe commands for creating and reading a macro file are:" +
         "\r\n @M - Create a macro file" +
         "\r\n      The name of a file to hold the macro will be requested" +
         "\r\n @Q - Terminate the macro file" + "\r\n @R - Open and read a Macro file" +
         "\r\n      The name of the file containing the macro will be requested\r\n" + ruler +
         "\r\n";
}

/// Compares bytes exactly; a difference shows both sides with their control characters visible.
inline testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual) {
  if (expected == actual) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "expected:\n"
                                     << x17b_test::Visible(expected) << "\nactual:\n"
                                     << x17b_test::Visible(actual);
}

}  // namespace subs_test
