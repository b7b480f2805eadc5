// The conversion driver: one scan file into one powder data file, then the stop.
#pragma once

namespace convert {

/// Runs the whole conversion: asks for the scan file's and the powder data file's names, reads
/// the scan, writes the powder data file and ends the run with the stop (exit code 0). Every
/// failure ends the run through the record layer's failure report (exit code 1), and a count too
/// large for the arithmetic through its floating-point fault message (exit code 1).
[[noreturn]] void RunConversion() noexcept;

}  // namespace convert
