// Record-level steps on a connection: buffered input of lines, the console's carriage control,
// sequential text output and direct-access slots.
#include "recio/connection.h"

#include <algorithm>
#include <cstring>

#include "recio/errors.h"

namespace recio {
namespace {

constexpr char kCtrlZ = 26;

// What goes to the console before a record, by its carriage-control character.
std::string_view CarriageControl(char control, bool linePending) {
  switch (control) {
    case '+':
      return "\r";
    case '0':
      return linePending ? "\r\n\r\n" : "\r\n";
    case '1':
      return "\r\n\f\b \r";
    default:
      return linePending ? "\r\n" : "";
  }
}

void FailWith(const platform::IoResult& result) {
  if (!result.ok) Fail(result.failure);
}

}  // namespace

void Connection::AllocateBuffer(std::size_t size) {
  ownedBuffer.reset(new char[size]);
  buffer = ownedBuffer.get();
  capacity = size;
}

// ---------------------------------------------------------------------------------------------
// Input

// Redirected console input holds many lines in its buffer. A line that ends in Ctrl-Z is an end
// of file as soon as the line is met, whatever field meets it first: the whole line is brought
// into the buffer (when it fits) and examined before any of it is taken.
static void CheckRedirectedLine(Connection& c) {
  for (;;) {
    const char* start = c.buffer + c.readPos;
    std::size_t available = c.readEnd - c.readPos;
    if (const void* found = std::memchr(start, '\n', available)) {
      std::size_t end = static_cast<std::size_t>(static_cast<const char*>(found) - c.buffer);
      std::size_t last = end;
      if (last > c.readPos && c.buffer[last - 1] == '\r') --last;
      if (last > c.readPos && c.buffer[last - 1] == kCtrlZ) {
        c.readPos = end + 1;
        c.endOfFileMark = true;
        Fail(ErrorId::kEndOfFileEncountered);
      }
      return;
    }
    if (c.readPos == 0 && c.readEnd == c.capacity) {
      // Longer than the buffer: its end is examined only when the line is skipped, or when a
      // field of it fails (the failure report looks then).
      c.lineUnexamined = true;
      return;
    }
    std::memmove(c.buffer, start, available);
    c.readPos = 0;
    c.readEnd = available;
    platform::IoResult got =
        platform::ReadSome(c.inputHandle, c.buffer + c.readEnd, c.capacity - c.readEnd);
    FailWith(got);
    if (got.count == 0) {  // the input ends inside this line
      if (c.buffer[c.readEnd - 1] == kCtrlZ) {
        c.readPos = c.readEnd;
        c.endOfFileMark = true;
        Fail(ErrorId::kEndOfFileEncountered);
      }
      if (c.readEnd < c.capacity) {
        c.buffer[c.readEnd++] = '\n';
        c.fakeLineEnd = true;
      }
      return;
    }
    c.readEnd += got.count;
  }
}

int ConnectionPort::Peek() {
  c_.fetchedThisRequest = true;
  if (c_.readPos == c_.readEnd) Refill();
  if (c_.atRecordStart && c_.kind == RecordKind::kConsole && !c_.interactiveInput) {
    c_.lineUnexamined = false;
    CheckRedirectedLine(c_);
  }
  return static_cast<unsigned char>(c_.buffer[c_.readPos]);
}

void ConnectionPort::Consume() {
  NoteConsumed(static_cast<unsigned char>(c_.buffer[c_.readPos]));
  ++c_.readPos;
  c_.atRecordStart = false;
}

std::span<const char> ConnectionPort::Available() {
  c_.fetchedThisRequest = true;
  // A refill, and the first look at a line of redirected console input, go through Peek.
  if (c_.readPos == c_.readEnd) return {};
  if (c_.atRecordStart && c_.kind == RecordKind::kConsole && !c_.interactiveInput) return {};
  return {c_.buffer + c_.readPos, c_.readEnd - c_.readPos};
}

void ConnectionPort::Advance(std::size_t count) {
  if (count == 0) return;
  if (count >= 2) NoteConsumed(static_cast<unsigned char>(c_.buffer[c_.readPos + count - 2]));
  NoteConsumed(static_cast<unsigned char>(c_.buffer[c_.readPos + count - 1]));
  c_.readPos += count;
  c_.atRecordStart = false;
}

void ConnectionPort::NoteConsumed(unsigned char byte) {
  c_.byteBefore = c_.lastByte;
  c_.lastByte = byte;
}

// The end of the input: a last line without LF still ends as a record; after it, the end of
// file. The mark stays on a file; the failure report clears it on the console.
static void EndOfInput(Connection& c) {
  if (!c.atRecordStart) {
    c.buffer[0] = '\n';
    c.readPos = 0;
    c.readEnd = 1;
    c.fakeLineEnd = true;
    return;
  }
  c.endOfFileMark = true;
  Fail(ErrorId::kEndOfFileEncountered);
}

void ConnectionPort::Refill() {
  if (!c_.CanRead()) Fail(ErrorId::kFileNotOpenForReading);
  if (c_.kind == RecordKind::kConsole) {
    RefillConsole();
    return;
  }
  c_.bufferOffset += static_cast<int64_t>(c_.readEnd) - (c_.fakeLineEnd ? 1 : 0);
  c_.fakeLineEnd = false;
  c_.readPos = 0;
  c_.readEnd = 0;
  platform::IoResult got = platform::ReadSome(c_.inputHandle, c_.buffer, c_.capacity);
  FailWith(got);
  if (got.count == 0) {
    EndOfInput(c_);
    return;
  }
  c_.readEnd = got.count;
}

// A typed line arrives whole from a terminal (at most 132 bytes per read). It may hold 130
// characters before its line end; a longer one fails, and what the terminal still holds of it
// is read by the next read as a line of its own. A line ending in Ctrl-Z is an end of file.
static void CheckTypedLine(Connection& c) {
  std::size_t n = c.readEnd;
  if (c.buffer[n - 1] == '\n') {
    std::size_t content = n - 1;
    if (content > 0 && c.buffer[content - 1] == '\r') --content;
    if (content > kConsoleLineLimit) {
      // Only a line end of LF alone gets here (131 characters). The read held the whole line
      // with its end, so nothing of it is left for the next read.
      c.readPos = c.readEnd;
      Fail(ErrorId::kTerminalBufferOverflow);
    }
    if (content > 0 && c.buffer[content - 1] == kCtrlZ) {
      c.readPos = c.readEnd;
      c.endOfFileMark = true;
      Fail(ErrorId::kEndOfFileEncountered);
    }
    return;
  }
  if (n == c.capacity) {
    c.readPos = c.readEnd;
    Fail(ErrorId::kTerminalBufferOverflow);
  }
  // The input ended in the middle of a typed line: that line is a record of its own.
  if (c.buffer[n - 1] == kCtrlZ) {
    c.readPos = c.readEnd;
    c.endOfFileMark = true;
    Fail(ErrorId::kEndOfFileEncountered);
  }
  c.buffer[n] = '\n';
  c.readEnd = n + 1;
  c.fakeLineEnd = true;
}

void ConnectionPort::RefillConsole() {
  c_.readPos = 0;
  c_.readEnd = 0;
  c_.fakeLineEnd = false;
  platform::IoResult got = platform::ReadSome(c_.inputHandle, c_.buffer, c_.capacity);
  FailWith(got);
  if (got.count == 0) {
    EndOfInput(c_);
    return;
  }
  c_.readEnd = got.count;
  if (c_.interactiveInput) CheckTypedLine(c_);
}

void ConnectionPort::SkipRecord() {
  if (c_.kind == RecordKind::kConsole && c_.interactiveInput) {
    // At a terminal the rest of the typed line is thrown away; a request that took nothing
    // from the terminal still takes (and throws away) one line.
    if (!c_.fetchedThisRequest) Peek();
    c_.readPos = c_.readEnd;
    c_.atRecordStart = true;
    ++c_.recordsConsumed;
    c_.lastByte = c_.byteBefore = 0;
    return;
  }
  for (;;) {
    if (c_.readPos == c_.readEnd) Refill();
    unsigned char byte = static_cast<unsigned char>(c_.buffer[c_.readPos++]);
    if (byte == '\n') break;
    NoteConsumed(byte);
    c_.atRecordStart = false;
  }
  bool endsInCtrlZ = c_.lastByte == kCtrlZ || (c_.lastByte == '\r' && c_.byteBefore == kCtrlZ);
  c_.atRecordStart = true;
  c_.lineUnexamined = false;
  c_.lastByte = c_.byteBefore = 0;
  if (c_.kind == RecordKind::kConsole && endsInCtrlZ) {
    c_.endOfFileMark = true;
    Fail(ErrorId::kEndOfFileEncountered);
  }
  ++c_.recordsConsumed;
}

void DiscardTypedLine(Connection& connection) {
  connection.readPos = connection.readEnd;
  connection.atRecordStart = true;
}

void PrepareSequentialRead(Connection& connection) {
  if (!connection.lastWasWrite) return;
  FlushSequential(connection);
  connection.lastWasWrite = false;
  connection.bufferOffset = connection.writeOffset;
  connection.readPos = connection.readEnd = 0;
  connection.fakeLineEnd = false;
  connection.atRecordStart = true;
}

// A line whose last character, before its line end or before the end of the input, is Ctrl-Z
// is an end of file, however many of its characters were kept.
static bool EndsInCtrlZ(unsigned char last, unsigned char before) {
  return last == kCtrlZ || (last == '\r' && before == kCtrlZ);
}

std::size_t ReadDialogueLine(Connection& console, std::span<char> line) {
  std::size_t n = 0;     // characters kept
  std::size_t seen = 0;  // characters of the line, kept or skipped
  unsigned char last = 0;
  unsigned char before = 0;
  for (;;) {
    if (console.readPos == console.readEnd) {
      console.readPos = console.readEnd = 0;
      platform::IoResult got =
          platform::ReadSome(console.inputHandle, console.buffer, console.capacity);
      FailWith(got);
      if (got.count == 0) {
        if (seen == 0) Fail(ErrorId::kEndOfFileEncountered);
        // A last line without a line end.
        console.atRecordStart = true;
        if (EndsInCtrlZ(last, before)) Fail(ErrorId::kEndOfFileEncountered);
        return n;
      }
      console.readEnd = got.count;
    }
    unsigned char byte = static_cast<unsigned char>(console.buffer[console.readPos]);
    if (byte == '\n') {
      ++console.readPos;
      console.atRecordStart = true;
      if (EndsInCtrlZ(last, before)) Fail(ErrorId::kEndOfFileEncountered);
      if (last == '\r' && seen == n) --n;  // the CR of a CR LF line end, when it was kept
      return n;
    }
    if (n == line.size() && console.interactiveInput) {
      // An interactive console keeps the rest of the line for its next read.
      return n;
    }
    ++seen;
    before = last;
    last = byte;
    if (n < line.size()) line[n++] = static_cast<char>(byte);  // redirected input skips the rest
    ++console.readPos;
    console.atRecordStart = false;
  }
}

// ---------------------------------------------------------------------------------------------
// Output

void ConnectionPort::Append(std::span<const char> text) {
  if (!c_.CanWrite()) Fail(ErrorId::kFileReadOnly);
  switch (c_.kind) {
    case RecordKind::kConsole:
      AppendConsole(text);
      break;
    case RecordKind::kSequential:
      AppendSequential(text);
      break;
    case RecordKind::kDirect:
      AppendDirect(text);
      break;
  }
}

void ConnectionPort::CompleteRecord(bool stayOnLine) {
  if (!c_.CanWrite()) Fail(ErrorId::kFileReadOnly);
  switch (c_.kind) {
    case RecordKind::kConsole:
      CompleteConsoleRecord(stayOnLine);
      break;
    case RecordKind::kSequential:
      AppendSequential(stayOnLine ? std::span<const char>{} : std::span<const char>{"\r\n", 2});
      break;
    case RecordKind::kDirect:
      CompleteDirectRecord();
      break;
  }
}

void ConnectionPort::AppendConsole(std::span<const char> text) {
  while (!text.empty()) {
    std::size_t room = kConsoleBufferSize - c_.pieceFill;
    std::size_t take = std::min(room, text.size());
    std::memcpy(c_.piece + Connection::kPrefixRoom + c_.pieceFill, text.data(), take);
    c_.pieceFill += take;
    text = text.subspan(take);
    if (c_.pieceFill == kConsoleBufferSize) FlushConsolePiece();
  }
}

// Hands the assembled piece of a console record to the handle. The first piece of a record
// gets the carriage-control treatment; later pieces go as they are.
void ConnectionPort::FlushConsolePiece() {
  char* start = c_.piece + Connection::kPrefixRoom;
  std::size_t size = c_.pieceFill;
  if (c_.recordColumn == 0 && size > 0 && !c_.lineHeld) {
    std::string_view prefix = CarriageControl(start[0], c_.linePending);
    ++start;
    --size;
    start -= prefix.size();
    std::memcpy(start, prefix.data(), prefix.size());
    size += prefix.size();
  }
  c_.recordColumn += c_.pieceFill;
  c_.pieceFill = 0;
  if (size > 0) FailWith(platform::WriteAll(c_.outputHandle, start, size));
}

void ConnectionPort::CompleteConsoleRecord(bool stayOnLine) {
  if (c_.recordColumn == 0 && c_.pieceFill == 0) {
    // An empty record is written as one blank: only its line break shows.
    c_.piece[Connection::kPrefixRoom] = ' ';
    c_.pieceFill = 1;
  }
  FlushConsolePiece();
  c_.recordColumn = 0;
  c_.linePending = true;
  c_.lineHeld = stayOnLine;
}

// The first write after the open or after a read cuts the file where the reading stood (or at
// the start): old contents past that point go, earlier ones stay.
static void StartWriting(Connection& c) {
  std::size_t consumed = c.readPos;
  if (c.fakeLineEnd && consumed == c.readEnd) --consumed;
  int64_t position = c.bufferOffset + static_cast<int64_t>(consumed);
  platform::SeekTo(c.outputHandle, position);
  FailWith(platform::CutAt(c.outputHandle, position));
  c.writeOffset = position;
  c.readPos = c.readEnd = 0;
  c.fakeLineEnd = false;
  c.writeFill = 0;
  c.lastWasWrite = true;
}

void FlushSequential(Connection& connection) {
  if (connection.writeFill == 0) return;
  std::size_t size = connection.writeFill;
  connection.writeFill = 0;
  platform::IoResult wrote = platform::WriteAll(connection.outputHandle, connection.buffer, size);
  connection.writeOffset += static_cast<int64_t>(wrote.count);
  FailWith(wrote);
}

void ConnectionPort::AppendSequential(std::span<const char> text) {
  if (!c_.lastWasWrite) StartWriting(c_);
  while (!text.empty()) {
    std::size_t take = std::min(c_.capacity - c_.writeFill, text.size());
    std::memcpy(c_.buffer + c_.writeFill, text.data(), take);
    c_.writeFill += take;
    text = text.subspan(take);
    if (c_.writeFill == c_.capacity) FlushSequential(c_);
  }
}

void ConnectionPort::AppendDirect(std::span<const char> text) {
  int64_t used = c_.recordWritten + static_cast<int64_t>(c_.writeFill);
  if (static_cast<int64_t>(text.size()) > c_.slotLength - used) {
    Fail(ErrorId::kDirectRecordOverflow);
  }
  while (!text.empty()) {
    std::size_t take = std::min(c_.capacity - c_.writeFill, text.size());
    std::memcpy(c_.buffer + c_.writeFill, text.data(), take);
    c_.writeFill += take;
    text = text.subspan(take);
    if (c_.writeFill == c_.capacity) FlushDirectPiece();
  }
}

// A record longer than the buffer goes to its slot in pieces; a usual one in one write.
void ConnectionPort::FlushDirectPiece() {
  int64_t offset = (c_.recordNumber - 1) * c_.slotLength + c_.recordWritten;
  std::size_t size = c_.writeFill;
  c_.writeFill = 0;
  c_.recordWritten += static_cast<int64_t>(size);
  FailWith(platform::WriteAt(c_.outputHandle, c_.buffer, size, offset));
}

// A slot holds exactly the record length plus 2 bytes: the text, blanks up to the record
// length, then CR LF, cut to the slot (a text one or two columns longer loses LF, or both).
void ConnectionPort::CompleteDirectRecord() {
  int64_t columns = c_.slotLength - 2;
  for (;;) {
    int64_t position = c_.recordWritten + static_cast<int64_t>(c_.writeFill);
    if (position >= columns) break;
    std::size_t blanks = static_cast<std::size_t>(
        std::min<int64_t>(columns - position, static_cast<int64_t>(c_.capacity - c_.writeFill)));
    std::memset(c_.buffer + c_.writeFill, ' ', blanks);
    c_.writeFill += blanks;
    if (c_.writeFill == c_.capacity) FlushDirectPiece();
  }
  for (char lineEnd : {'\r', '\n'}) {
    if (c_.recordWritten + static_cast<int64_t>(c_.writeFill) >= c_.slotLength) break;
    if (c_.writeFill == c_.capacity) FlushDirectPiece();
    c_.buffer[c_.writeFill++] = lineEnd;
  }
  if (c_.writeFill > 0) FlushDirectPiece();
  c_.recordWritten = 0;
  ++c_.recordNumber;
}

void DropUnfinishedRecord(Connection& connection) {
  if (connection.kind == RecordKind::kDirect) {
    connection.writeFill = 0;
    connection.recordWritten = 0;
  } else if (connection.kind == RecordKind::kConsole) {
    connection.pieceFill = 0;
    connection.recordColumn = 0;
  }
}

}  // namespace recio
