// The command line's arguments: UTF-8 text, the program's name first, and on a system whose
// shells leave wildcards to the program, the wildcards expanded as a POSIX shell expands them.
#pragma once

#include <cstdint>

namespace platform {

/// Whether unquoted "*" and "?" in an argument are expanded into the names they match.
enum class Wildcards : uint8_t { kKeep, kExpand };

struct Arguments {
  int argc = 0;
  char** argv = nullptr;
};

/// The arguments of this run, as main() received them where the system passes them as bytes and
/// the shell has expanded wildcards (POSIX: `argc` and `argv` themselves, at no cost). On Windows
/// they are read from the command line as typed, in UTF-16, and handed on in UTF-8 (main's own
/// argv has them in the ANSI code page, which loses characters); with Wildcards::kExpand an
/// argument with an unquoted "*" or "?" in its last part becomes the names that part matches in
/// its folder, ignoring case, sorted by name (a name beginning with "." only when the pattern
/// begins with one), or stays as typed when it matches nothing. Call once, first thing in main;
/// the arguments live as long as the process.
Arguments CommandLineArguments(int argc, char** argv, Wildcards wildcards);

}  // namespace platform
