// The Windows command line split into arguments and its wildcards expanded: the rules behind
// CommandLineArguments, for the Windows sources and their tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/arguments.h"

namespace platform {

/// The arguments of the command line `line` in UTF-8, the program's name first, split as the
/// Microsoft C runtime splits them: blanks and tabs separate arguments outside double quotes;
/// 2n backslashes before a quote are n backslashes and the quote begins or ends a quoted part,
/// 2n+1 are n backslashes and a quote; other backslashes are themselves; "" inside a quoted part
/// is a quote. The program's name ends at its first blank, or is quoted whole.
std::vector<std::string> ArgumentsOf(std::wstring_view line, Wildcards wildcards);

/// Whether `name` matches `pattern` ("*" any text, "?" one character), ignoring case as Windows
/// compares names; a name beginning with "." only when the pattern begins with ".".
bool MatchesPattern(std::wstring_view pattern, std::wstring_view name);

}  // namespace platform
