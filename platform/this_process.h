// This process: its number, its end and the work done at its end, and the signals a write could
// raise.
#pragma once

#include <cstdint>

namespace platform {

/// A number that differs between processes running at the same time, for unique names.
uint32_t ProcessNumber();

/// Ends the process at once with `exitCode`; no work registered with AtExit runs.
[[noreturn]] void ExitProcess(int exitCode);

/// Arranges for `work` to run when the process ends by returning from main.
void AtExit(void (*work)());

/// A write to a pipe whose reader has gone, or past the file size limit, fails like any other
/// write instead of ending the process.
void IgnoreWriteSignals();

}  // namespace platform
