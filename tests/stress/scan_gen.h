// Generated and mutated scan files: well-formed headers and values, and every way to break them.
#pragma once

#include <string>

#include "tests/stress/rng.h"

namespace x17b_stress {

/// A scan file: a 29-line header and N value lines with fields in their columns, with edge values,
/// radix integers, blanks, tabs and commas that still read. With probability `hostileShare` it is
/// hostile instead: fields that do not read, CR-only or mixed line ends, short value lists, and
/// usually mutated (truncated, lines dropped, duplicated, oversized, binary noise) or no scan at
/// all. `note` receives a short description of what was made.
std::string MakeScanFile(Rng& rng, double hostileShare, std::string& note);

/// A text for a numeric input field of `width` columns: a value or an edge of single precision
/// or of the integer fields that reads; when `hostile`, also texts that do not read at all.
std::string NumericFieldText(Rng& rng, int width, bool integer, bool hostile);

/// Applies one random byte-level or line-level mutation to `bytes`; returns its name.
std::string Mutate(Rng& rng, std::string& bytes);

}  // namespace x17b_stress
