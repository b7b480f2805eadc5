// File names: blanks around them, the command-line arguments that answer blank names, and the
// name dialogue at the console.
#pragma once

#include <cstdint>
#include <string_view>

#include "recio/internal/connection.h"

namespace recio {

/// `text` without leading and trailing blanks (and NUL characters, which a caller that never
/// filled a name leaves).
std::string_view TrimBlanks(std::string_view text);

/// The arguments of the run's command line, taken in order by the name dialogues.
void SetArguments(int argc, char** argv);

/// Asks for the name of `unit`: the next command-line argument not yet taken when it is not
/// blank, otherwise the question "File name missing or blank - please enter file name" and
/// "UNIT n? " until a reply is not blank. Fails with an end of file at the end of the input.
void RunNameDialogue(int32_t unit, FixedName& name);

/// A unique name in the current folder from the pattern ZZXXXXXX; fails with "scratch file name
/// limit exceeded" when none is free.
void MakeScratchName(FixedName& name);

}  // namespace recio
