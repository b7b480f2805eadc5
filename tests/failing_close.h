// A close that fails on request, for programs that link tests/failing_close_*.cpp in place of the
// platform part's own close.
#pragma once

namespace x17b_test {

/// The next close of a file handle closes it and then reports a full device, as a file system
/// that reports a failed write only at the close does.
void FailNextClose();

}  // namespace x17b_test
