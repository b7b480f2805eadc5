// The standard streams: their handles, what each is connected to, and their preparation at the
// start of a run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/handle.h"
#include "platform/identity.h"

namespace platform {

enum class Stream : uint8_t { kInput, kOutput, kError };

/// The place of `stream` in an array of the three, in the order of Stream.
constexpr std::size_t IndexOf(Stream stream) {
  return static_cast<std::size_t>(stream);
}

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

/// What a standard stream is connected to.
struct StreamFacts {
  bool terminal = false;       // a terminal; standard error is not asked
  std::optional<FileId> file;  // a file, and which one
};

/// Connects each standard stream that is not open to the null device, so that no file the run
/// opens can take its place, and tells what each one is (in the order of Stream).
std::array<StreamFacts, 3> PrepareStandardStreams();

}  // namespace platform
