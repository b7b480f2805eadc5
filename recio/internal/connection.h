// A connection: what a unit is connected to, its buffer, and the record-level steps on it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "recio/internal/failure.h"
#include "recio/internal/record_port.h"
#include "recio/platform.h"
#include "recio/recio.h"

namespace recio {

enum class RecordKind : uint8_t { kConsole, kSequential, kDirect };

inline constexpr std::size_t kMaxNameLength = 259;
/// The longest path an open of a name taken as given accepts.
inline constexpr std::size_t kMaxPathLength = 4095;
inline constexpr std::size_t kConsoleBufferSize = 132;
inline constexpr std::size_t kDefaultBlockSize = 1024;
/// The longest line an interactive console accepts before its line end.
inline constexpr std::size_t kConsoleLineLimit = 130;

/// A file name, kept without allocation: at most 259 characters, or a path taken as given.
struct FixedName {
  constexpr FixedName() = default;
  constexpr explicit FixedName(std::string_view name) { Assign(name); }
  char text[kMaxPathLength + 1] = {};
  std::size_t length = 0;
  /// Keeps at most 259 characters of `name`.
  constexpr void Assign(std::string_view name) { AssignPath(name.substr(0, kMaxNameLength)); }
  /// Keeps `path` whole, up to the longest path.
  constexpr void AssignPath(std::string_view path) {
    length = std::min(path.size(), kMaxPathLength);
    std::copy_n(path.data(), length, text);
    text[length] = '\0';
  }
  std::string_view view() const { return {text, length}; }
};

/// What the open fixes: the file, the kind of its records and what may be done with it.
struct ConnectionAttributes {
  FixedName name;
  RecordKind kind = RecordKind::kSequential;
  Form form = Form::kFormatted;
  bool blankZero = false;  // BLANK=ZERO; a re-open of the same file may change it
  int inputHandle = -1;    // -1: cannot be read
  int outputHandle = -1;   // -1: cannot be written
  platform::OpenMode granted = platform::OpenMode::kReadWrite;
  int64_t slotLength = 0;  // direct access: the record length plus 2 (CR LF)
  bool deleteAtClose = false;
  bool isDevice = false;
  char deviceKind = 0;            // devices: 'C' console, 'E' standard error, 'N' null device
  bool joinsConsole = false;      // CON and USER: requests go to the console connections
  bool interactiveInput = false;  // console input from a terminal: one typed line per refill
  bool mayShareName = false;      // NUL may be connected to several units
  platform::FileIdentity identity;

  bool CanRead() const { return inputHandle >= 0; }
  bool CanWrite() const { return outputHandle >= 0; }
};

/// The line of a console-kind output: a record ended on it (pending), and whether its last
/// record asked to stay on it (held); and the piece of the record being handed over, assembled
/// behind room for the carriage-control bytes so that it goes out in one write.
struct ConsoleLine {
  static constexpr std::size_t kPrefixRoom = 8;
  bool pending = false;
  bool held = false;
  std::size_t recordColumn = 0;  // bytes of the current record handed over so far
  char piece[kPrefixRoom + kConsoleBufferSize] = {};
  std::size_t pieceFill = 0;
};

/// What moves: the buffer, where reading and writing stand in it and in the file, and the line
/// state of a console.
struct ConnectionState {
  std::unique_ptr<char[]> ownedBuffer;
  char* buffer = nullptr;
  std::size_t capacity = 0;

  // Input.
  std::size_t readPos = 0;   // next byte of the buffer
  std::size_t readEnd = 0;   // one past the last valid byte
  int64_t bufferOffset = 0;  // file offset of buffer[0] while reading
  bool atRecordStart = true;
  bool endOfFileMark = false;
  bool lineUnexamined = false;  // redirected console: the line is longer than the buffer
  bool fakeLineEnd = false;     // the buffer ends in an LF that the input did not hold
  bool fetchedThisRequest = false;
  unsigned char lastByte = 0;  // the two bytes consumed last, for the Ctrl-Z rule
  unsigned char byteBefore = 0;
  int64_t recordsConsumed = 0;  // records skipped to their end, line ends included
  int64_t lastRecordRead = 0;   // the record the last read request ended or failed on

  // Output.
  std::size_t writeFill = 0;  // bytes of the buffer not yet written
  int64_t writeOffset = 0;    // file offset where buffer[0] goes
  bool lastWasWrite = false;  // a sequential file: the cut at the first write has been made
  int64_t recordNumber = 1;   // direct access: the record being written
  int64_t recordWritten = 0;  // direct access: bytes of that record already in the file

  ConsoleLine line;
};

/// One connection: its attributes, fixed by the open, and its state.
struct Connection {
  ConnectionAttributes attributes;
  ConnectionState state;

  /// Gives the connection a buffer of `size` bytes (allocated; may throw std::bad_alloc).
  void AllocateBuffer(std::size_t size);
};

/// The record-level steps on a connection, for one request. Constructed by the request runner.
class ConnectionPort final : public RecordPort {
 public:
  explicit ConnectionPort(Connection& connection) : c_{connection} {}

  std::span<const char> Run(std::size_t wanted) override;
  void Advance(std::size_t count) override;
  void SkipRecord() override;
  void Append(std::span<const char> text) override;
  void CompleteRecord(bool stayOnLine) override;

 private:
  void Refill();
  void AppendSequential(std::span<const char> text);
  void AppendDirect(std::span<const char> text);
  void FlushDirectPiece();
  void CompleteDirectRecord();

  Connection& c_;
};

/// The end of the input: a last line without LF still ends as a record; after it, the end of
/// file. The mark stays on a file; the failure report clears it on the console.
void EndOfInput(Connection& connection);

/// Notes a byte consumed, for the rule that a console line ending in Ctrl-Z is an end of file.
void NoteConsumed(ConnectionState& state, unsigned char byte);

/// Abandons the request with the failure of a platform call that failed.
inline void FailWith(const platform::IoResult& result) {
  if (!result.ok) Fail(result.failure);
}

/// Writes out what the buffer of a sequential file holds. Fails through Fail() on a refused write.
void FlushSequential(Connection& connection);

/// Prepares a sequential file for reading after it was written: buffered output goes out first.
void PrepareSequentialRead(Connection& connection);

/// Forgets a record that a failed write request left half-assembled (direct access, console).
void DropUnfinishedRecord(Connection& connection);

}  // namespace recio
