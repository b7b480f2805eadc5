// This process: its number, its end and the work done at its end, and how the system may end it
// from outside a write.
#pragma once

#include <cstdint>

namespace platform {

/// A number that differs between processes running at the same time, for unique names.
uint32_t ProcessNumber();

/// Ends the process at once with `exitCode`; no work registered with AtExit runs.
[[noreturn]] void ExitProcess(int exitCode);

/// Arranges for `work` to run when the process ends by returning from main.
void AtExit(void (*work)());

/// Settles how the system treats the process. A write to a pipe whose reader has gone, or past the
/// file size limit, fails like any other write instead of ending the process (POSIX signals).
/// On Windows no error dialog stops the run (a drive without its medium), and an interrupt
/// (Ctrl-C, Ctrl-Break) or a closed console ends the process with Windows' own status for it,
/// 0xC000013A, also where the system's default would give another (wine gives 0).
void PrepareThisProcess();

}  // namespace platform
