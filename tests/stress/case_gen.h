// Generated stress cases: a working directory, reply lines, macro files and command-line names.
#pragma once

#include <string>
#include <vector>

#include "tests/stress/rng.h"
#include "tests/stress/stress_case.h"

namespace x17b_stress {

struct CaseOptions {
  double ptyShare = 0.1;           // share of runs on a pseudo-terminal
  double unprivilegedShare = 0.0;  // share of runs as an ordinary user (0 unless root)
  bool pipeNames = false;          // offer /dev/stdin, a pipe, as a scan and macro name
};

/// A whole case drawn from `rng`: scan file, other files (existing outputs, read-only files,
/// directories, macro files), reply lines with every separator rule and "@" command, file names
/// that are devices, directories, missing, the same file twice or /dev/full, and arguments.
Case MakeCase(Rng& rng, const CaseOptions& options);

/// Reply lines (without line ends) that answer the two file-name questions in one of the many
/// ways the reply rules allow, with macro commands and noise mixed in; `plain` lines give the
/// scan file and an ordinary output name and nothing else. Read-only files and directories are
/// among the names only for an unprivileged run.
std::vector<std::string> MakeReplyLines(Rng& rng, const CaseOptions& options, bool unprivileged,
                                        bool plain);

/// Rewrites `input` for a pseudo-terminal: lines kept short enough for the terminal's line
/// buffer, every line ended, and end-of-input characters after the last one.
std::string ForTerminal(const std::string& input);

}  // namespace x17b_stress
