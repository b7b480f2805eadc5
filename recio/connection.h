// A connection: what a unit is connected to, its buffer, and the record-level steps on it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "recio/platform.h"
#include "recio/recio.h"
#include "recio/record_port.h"

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

/// One connection. The fields fixed at open come first; the moving state follows.
struct Connection {
  // Fixed at open.
  FixedName name;
  RecordKind kind = RecordKind::kSequential;
  Form form = Form::kFormatted;
  bool blankZero = false;
  int inputHandle = -1;   // -1: cannot be read
  int outputHandle = -1;  // -1: cannot be written
  platform::Direction granted = platform::Direction::kReadWrite;
  int64_t slotLength = 0;  // direct access: the record length plus 2 (CR LF)
  bool deleteAtClose = false;
  bool isDevice = false;
  char deviceKind = 0;            // devices: 'C' console, 'E' standard error, 'N' null device
  bool joinsConsole = false;      // CON and USER: requests go to the console connections
  bool interactiveInput = false;  // console input from a terminal: one typed line per refill
  bool mayShareName = false;      // NUL may be connected to several units
  platform::FileIdentity identity;
  std::unique_ptr<char[]> ownedBuffer;
  char* buffer = nullptr;
  std::size_t capacity = 0;

  // Input state.
  std::size_t readPos = 0;   // next byte of the buffer
  std::size_t readEnd = 0;   // one past the last valid byte
  int64_t bufferOffset = 0;  // file offset of buffer[0] while reading
  bool atRecordStart = true;
  bool endOfFileMark = false;
  bool lineUnexamined = false;  // redirected console: the line is longer than the buffer
  bool fakeLineEnd = false;     // the buffer ends in an LF that the input did not hold
  bool fetchedThisRequest = false;
  int64_t recordsConsumed = 0;  // records skipped to their end, line ends included
  int64_t lastRecordRead = 0;   // the record the last read request ended or failed on
  unsigned char lastByte = 0;   // the two bytes consumed last, for the Ctrl-Z rule
  unsigned char byteBefore = 0;

  // Output state.
  std::size_t writeFill = 0;     // bytes of the buffer not yet written
  int64_t writeOffset = 0;       // file offset where buffer[0] goes
  bool lastWasWrite = false;     // a sequential file: the cut at the first write has been made
  int64_t recordNumber = 1;      // direct access: the record being written
  int64_t recordWritten = 0;     // direct access: bytes of that record already in the file
  std::size_t recordColumn = 0;  // console: bytes of the current record handed over so far
  // Console output is assembled here, behind room for the carriage-control bytes, so that a
  // piece goes to the handle in one write and never disturbs typed input held in the buffer.
  static constexpr std::size_t kPrefixRoom = 8;
  char piece[kPrefixRoom + kConsoleBufferSize] = {};
  std::size_t pieceFill = 0;
  bool linePending = false;  // console output: a record ended on the current line
  bool lineHeld = false;     // console output: the last record asked to stay on the line

  bool CanRead() const { return inputHandle >= 0; }
  bool CanWrite() const { return outputHandle >= 0; }
  /// Gives the connection a buffer of `size` bytes (allocated; may throw std::bad_alloc).
  void AllocateBuffer(std::size_t size);
};

/// The record-level steps on a connection, for one request. Constructed by the request runner.
class ConnectionPort final : public RecordPort {
 public:
  explicit ConnectionPort(Connection& connection) : c_{connection} {}

  int Peek() override;
  void Consume() override;
  std::span<const char> Available() override;
  void Advance(std::size_t count) override;
  void SkipRecord() override;
  void Append(std::span<const char> text) override;
  void CompleteRecord(bool stayOnLine) override;

 private:
  void Refill();
  void RefillConsole();
  void AppendConsole(std::span<const char> text);
  void CompleteConsoleRecord(bool stayOnLine);
  void FlushConsolePiece();
  void AppendSequential(std::span<const char> text);
  void AppendDirect(std::span<const char> text);
  void FlushDirectPiece();
  void CompleteDirectRecord();
  void NoteConsumed(unsigned char byte);

  Connection& c_;
};

/// Writes out what the buffer of a sequential file holds. Fails through Fail() on a refused write.
void FlushSequential(Connection& connection);

/// Prepares a sequential file for reading after it was written: buffered output goes out first.
void PrepareSequentialRead(Connection& connection);

/// Forgets a record that a failed write request left half-assembled (direct access, console).
void DropUnfinishedRecord(Connection& connection);

/// Throws away the rest of the typed line held in a console buffer.
void DiscardTypedLine(Connection& connection);

/// Reads the next line of console input for the name dialogue: at most `limit` characters go to
/// `line`; the rest of the line stays (interactive) or is skipped (redirected). Returns the number
/// of characters, or fails with an end of file.
std::size_t ReadDialogueLine(Connection& console, std::span<char> line);

}  // namespace recio
