// The Windows console: lines typed there are read in UTF-16 and handed on in UTF-8, and UTF-8
// text is shown in UTF-16, so that names that are not ASCII are typed and shown as they are
// whatever the console's code page.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/file_io.h"

namespace platform {

/// Whether `handle` is a console, for a handle that may be a standard stream's: only those can be
/// one, and their answers are kept.
bool IsConsoleStream(HANDLE handle);

/// Reads at most `size` bytes (at least 4) of the line typed at the console `handle`, in UTF-8;
/// what does not fit stays for the next read, as a terminal keeps the rest of a long line. Waits
/// for a line; a line ending in Ctrl-Z ends in the byte 26, as typed.
IoResult ReadConsoleText(HANDLE handle, char* buffer, std::size_t size);

/// Shows the UTF-8 text on the console `handle`. A character whose bytes are split between two
/// calls is shown whole by the second; a byte that starts no character shows as U+FFFD.
IoResult WriteConsoleText(HANDLE handle, const char* data, std::size_t size);

/// The UTF-8 bytes of `data` that form whole characters, with `carry` (the start of a character
/// split off by the previous call) in front; what ends `data` in the middle of a character is
/// left in `carry` for the next call.
std::string WholeCharacters(std::string& carry, const char* data, std::size_t size);

}  // namespace platform
