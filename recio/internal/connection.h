// A connection: what a unit is connected to, its buffer, the reading steps that the ports of files
// and of the console share, and the ports of files.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/file_io.h"
#include "platform/identity.h"
#include "recio/internal/failure.h"
#include "recio/internal/record_port.h"
#include "recio/internal/unit_port.h"
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
  bool blankZero = false;         // BLANK=ZERO; a re-open of the same file may change it
  platform::Handle inputHandle;   // not valid: cannot be read
  platform::Handle outputHandle;  // not valid: cannot be written
  platform::AccessMode granted = platform::AccessMode::kReadWrite;
  int64_t slotLength = 0;  // direct access: the record length plus 2 (CR LF)
  bool deleteAtClose = false;
  bool isDevice = false;
  char deviceKind = 0;            // devices: 'C' console, 'E' standard error, 'N' null device
  bool joinsConsole = false;      // CON and USER: requests go to the console connections
  bool interactiveInput = false;  // console input from a terminal: one typed line per refill
  bool mayShareName = false;      // NUL may be connected to several units
  platform::FileIdentity identity;

  bool CanRead() const { return inputHandle.valid(); }
  bool CanWrite() const { return outputHandle.valid(); }
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
  bool fakeLineEnd = false;    // the buffer ends in an LF that the input did not hold
  unsigned char lastByte = 0;  // the two bytes consumed last, for the Ctrl-Z rule
  unsigned char byteBefore = 0;
  int64_t recordsConsumed = 0;  // records skipped to their end, line ends included

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

// ---- Reading lines from a buffer: the steps that the file and console ports share

/// The characters of the current record at hand in the buffer, at most `wanted`: up to the first
/// CR or LF.
inline std::span<const char> RecordRun(const ConnectionState& s, std::size_t wanted) {
  const char* start = s.buffer + s.readPos;
  const std::size_t size = std::min(wanted, s.readEnd - s.readPos);
  std::size_t length = 0;
  while (length < size && start[length] != '\r' && start[length] != '\n') ++length;
  return {start, length};
}

/// Notes a byte consumed, for the rule that a console line ending in Ctrl-Z is an end of file.
inline void NoteConsumed(ConnectionState& s, unsigned char byte) {
  s.byteBefore = s.lastByte;
  s.lastByte = byte;
}

/// Consumes `count` characters of the run returned last.
void AdvanceInput(ConnectionState& s, std::size_t count);

/// The end of the input: a last line without LF still ends as a record (an LF is put in the
/// buffer for it); after it, the end of file, which sets the end-of-file mark.
Failure EndOfInput(ConnectionState& s);

/// Consumes the input up to and including the next LF, refilling through `refill` (which returns
/// a Failure). The record's last two bytes stay noted.
template <typename Refill>
Failure SkipLine(ConnectionState& s, Refill&& refill) {
  for (;;) {
    if (s.readPos == s.readEnd) {
      if (const Failure failed = refill()) return failed;
    }
    const auto byte = static_cast<unsigned char>(s.buffer[s.readPos++]);
    if (byte == '\n') return {};
    NoteConsumed(s, byte);
    s.atRecordStart = false;
  }
}

// ---- The ports of files

/// A file read in lines (a record ends at its LF) and written as sequential text: records end in
/// CR LF, buffered, the file cut where writing starts.
class ConnectionPort : public UnitPort {
 public:
  explicit ConnectionPort(Connection& connection) : c_{connection} {}

  std::span<const char> Run(std::size_t wanted) override;
  void Advance(std::size_t count) override;
  void SkipRecord() override;
  void Append(std::span<const char> text) override;
  void CompleteRecord(bool stayOnLine) override;

  void BeginRead() override;
  int64_t EndRead(RequestFailure* failure, bool statusWanted) noexcept override;
  void BeginWrite(const int32_t* recordNumber) override;
  Failure Finish(bool removed) noexcept override;

 protected:
  Failure Refill();
  Failure TrySkipRecord();
  void CheckWritable() const;

  Connection& c_;
};

/// A direct-access file: each record written into its numbered slot of the record length plus
/// CR LF, as soon as it is complete.
class DirectPort final : public ConnectionPort {
 public:
  using ConnectionPort::ConnectionPort;

  void Append(std::span<const char> text) override;
  void CompleteRecord(bool stayOnLine) override;
  int64_t EndRead(RequestFailure* failure, bool statusWanted) noexcept override;
  void BeginWrite(const int32_t* recordNumber) override;
  Failure Finish(bool removed) noexcept override;

 private:
  void FlushPiece();
};

}  // namespace recio
