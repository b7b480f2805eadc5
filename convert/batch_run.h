// The run of x17b2pavo-batch: worker processes convert the scans, the first process commits
// their outputs and reports on them in the order they were given.
#pragma once

#include "convert/batch_options.h"

namespace convert::batch {

/// Converts every scan of `options` and writes the failure lines, the progress and the summary
/// to standard error. Returns the exit status: 0 when every scan was converted or skipped, 1 when
/// any failed. A stop request (SIGINT, SIGTERM, SIGHUP) ends the process by that signal within
/// seconds, with every temporary file removed and the outputs committed so far kept.
int RunBatch(const Options& options);

/// --dry-run: checks every scan of `options` as a run would before converting it, and converts
/// nothing. Writes "SCAN -> OUTPUT" on standard output for each scan that would be converted,
/// the failure lines a run would give on standard error, and a summary unless quiet. Returns 1
/// when any scan would fail, else 0.
int DryRun(const Options& options);

}  // namespace convert::batch
