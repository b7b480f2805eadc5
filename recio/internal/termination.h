// The one call that goes up: the failure report, low in the record layer, ends the run through
// termination, which the run's start and stop (above every request) define.
#pragma once

namespace recio {

/// Closes every connected unit in slot order, ends a pending console line, and ends the process
/// with `exitCode`. Runs once: a failure during the closes has written its message and ends the
/// process at once with exit code 1.
[[noreturn]] void Terminate(int exitCode) noexcept;

}  // namespace recio
