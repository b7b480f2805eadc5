// Stress cases for x17b2pavo-batch: generated command lines over generated scans, and what every
// such run must show.
#pragma once

#include <string>
#include <vector>

#include "tests/process_harness.h"
#include "tests/stress/rng.h"
#include "tests/stress/stress_case.h"

namespace x17b_stress {

/// Scans with names of every kind (blanks, quotes, commas, "!", "@", non-ASCII, a leading "-",
/// device-like), some hostile, some outputs already there, and a command line of options, names
/// that are missing or given twice, and an output folder.
Case MakeBatchCase(Rng& rng, bool unprivileged);

/// The bytes that `single` (x17b2pavo) writes for `scan` into a new file, in a scratch folder.
std::string SingleOutput(const std::string& single, const std::string& scan);

/// Every invariant of a batch run: exit 0 or 1 (2 only for a bad option), one line per failed scan
/// and the summary, no temporary file left, scans untouched, outputs whole and each one the bytes
/// that `single` (x17b2pavo) writes for its scan, existing outputs unchanged unless replaced.
std::vector<std::string> CheckBatchRun(const Case& c, const x17b_test::RunResult& result,
                                       const Snapshot& before, const Snapshot& after,
                                       const std::string& single);

}  // namespace x17b_stress
