// The standard streams: their handles, and what each is connected to.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"

namespace platform {

/// An open file, pipe or stream; what the number means is the operating system's.
struct Handle {
  intptr_t value = -1;
  constexpr bool valid() const { return value != -1; }
};

enum class Stream : uint8_t { kInput, kOutput, kError };

/// The handle of a standard stream.
Handle StreamHandle(Stream stream);

/// Whether the stream was open when the program started (checked before anything is opened).
bool StreamIsOpen(Stream stream);

/// Whether the stream is a terminal.
bool IsTerminal(Stream stream);

/// The width in columns of the terminal that the stream is, when it is one that tells.
std::optional<int> TerminalColumns(Stream stream);

/// Reads the stream to its end into `bytes`.
Result ReadToEnd(Stream stream, std::string& bytes);

/// The files behind the standard streams, for those that are files.
std::array<std::optional<FileId>, 3> StandardStreamFiles();

}  // namespace platform
