// What every run of x17b2pavo must show, whatever its input: the end of the run, standard error,
// standard output and the files it wrote.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/process_harness.h"
#include "tests/stress/stress_case.h"

namespace x17b_stress {

/// A failure message ('F') or floating-point fault message ('M') as written to standard error.
struct Message {
  char kind = 'F';
  int number = 0;
  std::string statement;  // OPEN, READ, WRITE, CLOSE, INQUIRE; "MATH" for a fault
  std::string name;       // the file name in parentheses (empty for a fault)
  std::string text;       // the catalogue text, or the fault's word
};

/// Parses standard error that holds exactly one well-formed message: CR LF, "run-time error ",
/// the kind letter and four digits, ": ", the statement and name, CR LF, "- " and the text that
/// belongs to that number, CR LF. Anything else (two messages, a wrong text, a missing CR) gives
/// nullopt and the reason in `why`.
std::optional<Message> ParseMessage(std::string_view err, std::string& why);

/// Problems of a powder data file written from scratch: whole 82-byte records ending in CR LF,
/// the title, bank and count records in their shapes, and, for a run that ended by the stop
/// (`completed`), exactly the records the bank record announces with zeros past N. A run that
/// failed has written at most the title and bank records. Each problem is one line.
std::vector<std::string> CheckPowderFile(std::string_view bytes, bool completed);

/// Problems of a macro file written from scratch: records of 1 to 132 characters, each ended by
/// CR LF, none ending in a blank unless it is a single blank.
std::vector<std::string> CheckMacroFile(std::string_view bytes);

/// Whether the case names a device whose input never ends (/dev/full, also through the link
/// devfull, or /dev/zero reads zeros for ever). Read as a scan file or played as a macro file, its
/// first line never ends, so such a run is expected to be stopped by the time limit.
bool NamesEndlessDevice(const Case& c);

/// Whether a line or argument of the case is the device name ERR (standard error written as a
/// console): a macro recorded there legitimately writes records to standard error.
bool NamesErrorDevice(const Case& c);

/// Every invariant for one finished run. `before` and `after` are snapshots of the working
/// directory. Each violation is "category: detail"; the category names the broken rule.
std::vector<std::string> CheckRun(const Case& c, const x17b_test::RunResult& result,
                                  const Snapshot& before, const Snapshot& after);

}  // namespace x17b_stress
