// The run of x17b2pavo-batch: worker processes convert the scans, the first process reports on
// them in the order they were given.
#pragma once

#include "convert/batch_options.h"

namespace convert::batch {

/// Converts every scan of `options` and writes the failure lines, the progress and the summary
/// to standard error. Returns the exit status: 0 when every scan was converted or skipped, 1 when
/// any failed. Ends the process by the signal when interrupted or terminated, after the workers
/// have removed their temporary files.
int RunBatch(const Options& options);

}  // namespace convert::batch
