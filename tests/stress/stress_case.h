// One stress case: the files of a working directory, the arguments and the standard input of a
// run, and how it is run; made real in a scratch directory, saved to and loaded from a folder.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/process_harness.h"

namespace x17b_stress {

struct CaseFile {
  std::string path;   // relative to the working directory; no ".." parts
  std::string bytes;  // contents (unused for a directory)
  int mode = 0644;    // permission bits
  bool isDirectory = false;
  std::string linkTarget;  // non-empty: a symbolic link to this absolute path (a device)
};

struct Case {
  std::vector<CaseFile> files;  // parents before children
  std::vector<std::string> args;
  std::string input;
  bool pty = false;
  bool unprivileged = false;  // run as an ordinary user (only possible when the harness is root)
  bool batch = false;         // a run of x17b2pavo-batch, not of x17b2pavo
  std::string note;           // what the generator meant, for the report
};

/// Relative path -> bytes of every regular file under `root`.
using Snapshot = std::map<std::string, std::string>;

/// Creates the case's files and directories under `dir` (which exists and is empty).
void Materialize(const Case& c, const std::string& dir);

/// Every regular file under `dir`, read whole.
Snapshot TakeSnapshot(const std::string& dir);

/// Runs the case's program in `dir` (already materialized) and returns what it did.
x17b_test::RunResult RunCase(const Case& c, const std::string& binary, const std::string& dir,
                             int timeoutSeconds);

/// Saves the case under `dir` (created): case.txt, input.bin and files/ with the working files,
/// plus report.txt with `report` for the reader.
void SaveCase(const Case& c, const std::string& dir, const std::string& report);

/// Loads a case saved by SaveCase. Throws std::runtime_error on a malformed folder.
Case LoadCase(const std::string& dir);

}  // namespace x17b_stress
