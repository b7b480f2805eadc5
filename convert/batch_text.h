// The batch program's own words: names made safe for a message line, and the plain cause of a
// failed system call, the same on every operating system.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

namespace convert::batch {

/// A name as a message line shows it: control characters become "?", so a name cannot break
/// the line.
std::string Shown(std::string_view name);

/// The cause of a failed system call in a few words, such as "is a directory".
std::string_view CauseText(platform::Error error);

}  // namespace convert::batch
