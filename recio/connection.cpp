// Record-level steps on a connection: buffered input of lines, sequential text output and
// direct-access slots; a console-kind connection hands its lines and records to the console.
#include "recio/internal/connection.h"

#include <algorithm>
#include <cstring>

#include "recio/errors.h"
#include "recio/internal/console.h"
#include "recio/internal/failure.h"

namespace recio {
namespace {

bool IsRedirectedConsole(const Connection& c) {
  return c.attributes.kind == RecordKind::kConsole && !c.attributes.interactiveInput;
}

// The length of the record's text at the start of `bytes`: up to its first CR or LF.
std::size_t RecordText(const char* bytes, std::size_t size) {
  std::size_t length = 0;
  while (length < size && bytes[length] != '\r' && bytes[length] != '\n') ++length;
  return length;
}

// The first write after the open or after a read cuts the file where the reading stood (or at
// the start): old contents past that point go, earlier ones stay.
void StartWriting(Connection& c) {
  ConnectionState& s = c.state;
  std::size_t consumed = s.readPos;
  if (s.fakeLineEnd && consumed == s.readEnd) --consumed;
  const int64_t position = s.bufferOffset + static_cast<int64_t>(consumed);
  platform::SeekTo(c.attributes.outputHandle, position);
  FailWith(platform::CutAt(c.attributes.outputHandle, position));
  s.writeOffset = position;
  s.readPos = s.readEnd = 0;
  s.fakeLineEnd = false;
  s.writeFill = 0;
  s.lastWasWrite = true;
}

}  // namespace

void Connection::AllocateBuffer(std::size_t size) {
  state.ownedBuffer.reset(new char[size]);
  state.buffer = state.ownedBuffer.get();
  state.capacity = size;
}

void NoteConsumed(ConnectionState& state, unsigned char byte) {
  state.byteBefore = state.lastByte;
  state.lastByte = byte;
}

void EndOfInput(Connection& connection) {
  ConnectionState& s = connection.state;
  if (!s.atRecordStart) {
    s.buffer[0] = '\n';
    s.readPos = 0;
    s.readEnd = 1;
    s.fakeLineEnd = true;
    return;
  }
  s.endOfFileMark = true;
  Fail(ErrorId::kEndOfFileEncountered);
}

// ---------------------------------------------------------------------------------------------
// Input

std::span<const char> ConnectionPort::Run(std::size_t wanted) {
  ConnectionState& s = c_.state;
  s.fetchedThisRequest = true;
  if (s.readPos == s.readEnd) Refill();
  if (s.atRecordStart && IsRedirectedConsole(c_)) console::ExamineLine(c_);
  const char* start = s.buffer + s.readPos;
  return {start, RecordText(start, std::min(wanted, s.readEnd - s.readPos))};
}

void ConnectionPort::Advance(std::size_t count) {
  if (count == 0) return;
  ConnectionState& s = c_.state;
  if (count >= 2) NoteConsumed(s, static_cast<unsigned char>(s.buffer[s.readPos + count - 2]));
  NoteConsumed(s, static_cast<unsigned char>(s.buffer[s.readPos + count - 1]));
  s.readPos += count;
  s.atRecordStart = false;
}

void ConnectionPort::Refill() {
  if (!c_.attributes.CanRead()) Fail(ErrorId::kFileNotOpenForReading);
  if (c_.attributes.kind == RecordKind::kConsole) {
    console::Refill(c_);
    return;
  }
  ConnectionState& s = c_.state;
  s.bufferOffset += static_cast<int64_t>(s.readEnd) - (s.fakeLineEnd ? 1 : 0);
  s.fakeLineEnd = false;
  s.readPos = 0;
  s.readEnd = 0;
  const platform::IoResult got =
      platform::ReadSome(c_.attributes.inputHandle, s.buffer, s.capacity);
  FailWith(got);
  if (got.count == 0) {
    EndOfInput(c_);
    return;
  }
  s.readEnd = got.count;
}

void ConnectionPort::SkipRecord() {
  if (c_.attributes.kind == RecordKind::kConsole && c_.attributes.interactiveInput) {
    console::SkipTypedLine(c_, *this);
    return;
  }
  ConnectionState& s = c_.state;
  for (;;) {
    if (s.readPos == s.readEnd) Refill();
    const auto byte = static_cast<unsigned char>(s.buffer[s.readPos++]);
    if (byte == '\n') break;
    NoteConsumed(s, byte);
    s.atRecordStart = false;
  }
  const bool endsInCtrlZ = EndsInCtrlZ(s.lastByte, s.byteBefore);
  s.atRecordStart = true;
  s.lineUnexamined = false;
  s.lastByte = s.byteBefore = 0;
  if (c_.attributes.kind == RecordKind::kConsole && endsInCtrlZ) {
    s.endOfFileMark = true;
    Fail(ErrorId::kEndOfFileEncountered);
  }
  ++s.recordsConsumed;
}

void PrepareSequentialRead(Connection& connection) {
  ConnectionState& s = connection.state;
  if (!s.lastWasWrite) return;
  FlushSequential(connection);
  s.lastWasWrite = false;
  s.bufferOffset = s.writeOffset;
  s.readPos = s.readEnd = 0;
  s.fakeLineEnd = false;
  s.atRecordStart = true;
}

// ---------------------------------------------------------------------------------------------
// Output

void ConnectionPort::Append(std::span<const char> text) {
  if (!c_.attributes.CanWrite()) Fail(ErrorId::kFileReadOnly);
  switch (c_.attributes.kind) {
    case RecordKind::kConsole:
      console::Append(c_, text);
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
  if (!c_.attributes.CanWrite()) Fail(ErrorId::kFileReadOnly);
  switch (c_.attributes.kind) {
    case RecordKind::kConsole:
      console::CompleteRecord(c_, stayOnLine);
      break;
    case RecordKind::kSequential:
      AppendSequential(stayOnLine ? std::span<const char>{} : std::span<const char>{"\r\n", 2});
      break;
    case RecordKind::kDirect:
      CompleteDirectRecord();
      break;
  }
}

void FlushSequential(Connection& connection) {
  ConnectionState& s = connection.state;
  if (s.writeFill == 0) return;
  const std::size_t size = s.writeFill;
  s.writeFill = 0;
  const platform::IoResult wrote =
      platform::WriteAll(connection.attributes.outputHandle, s.buffer, size);
  s.writeOffset += static_cast<int64_t>(wrote.count);
  FailWith(wrote);
}

void ConnectionPort::AppendSequential(std::span<const char> text) {
  ConnectionState& s = c_.state;
  if (!s.lastWasWrite) StartWriting(c_);
  while (!text.empty()) {
    const std::size_t take = std::min(s.capacity - s.writeFill, text.size());
    std::memcpy(s.buffer + s.writeFill, text.data(), take);
    s.writeFill += take;
    text = text.subspan(take);
    if (s.writeFill == s.capacity) FlushSequential(c_);
  }
}

void ConnectionPort::AppendDirect(std::span<const char> text) {
  ConnectionState& s = c_.state;
  const int64_t used = s.recordWritten + static_cast<int64_t>(s.writeFill);
  if (static_cast<int64_t>(text.size()) > c_.attributes.slotLength - used) {
    Fail(ErrorId::kDirectRecordOverflow);
  }
  while (!text.empty()) {
    const std::size_t take = std::min(s.capacity - s.writeFill, text.size());
    std::memcpy(s.buffer + s.writeFill, text.data(), take);
    s.writeFill += take;
    text = text.subspan(take);
    if (s.writeFill == s.capacity) FlushDirectPiece();
  }
}

// A record longer than the buffer goes to its slot in pieces; a usual one in one write.
void ConnectionPort::FlushDirectPiece() {
  ConnectionState& s = c_.state;
  const int64_t offset = (s.recordNumber - 1) * c_.attributes.slotLength + s.recordWritten;
  const std::size_t size = s.writeFill;
  s.writeFill = 0;
  s.recordWritten += static_cast<int64_t>(size);
  FailWith(platform::WriteAt(c_.attributes.outputHandle, s.buffer, size, offset));
}

// A slot holds exactly the record length plus 2 bytes: the text, blanks up to the record
// length, then CR LF, cut to the slot (a text one or two columns longer loses LF, or both).
void ConnectionPort::CompleteDirectRecord() {
  ConnectionState& s = c_.state;
  const int64_t slot = c_.attributes.slotLength;
  const int64_t columns = slot - 2;
  for (;;) {
    const int64_t position = s.recordWritten + static_cast<int64_t>(s.writeFill);
    if (position >= columns) break;
    const auto blanks = static_cast<std::size_t>(
        std::min<int64_t>(columns - position, static_cast<int64_t>(s.capacity - s.writeFill)));
    std::memset(s.buffer + s.writeFill, ' ', blanks);
    s.writeFill += blanks;
    if (s.writeFill == s.capacity) FlushDirectPiece();
  }
  for (const char lineEnd : {'\r', '\n'}) {
    if (s.recordWritten + static_cast<int64_t>(s.writeFill) >= slot) break;
    if (s.writeFill == s.capacity) FlushDirectPiece();
    s.buffer[s.writeFill++] = lineEnd;
  }
  if (s.writeFill > 0) FlushDirectPiece();
  s.recordWritten = 0;
  ++s.recordNumber;
}

void DropUnfinishedRecord(Connection& connection) {
  if (connection.attributes.kind == RecordKind::kDirect) {
    connection.state.writeFill = 0;
    connection.state.recordWritten = 0;
  } else if (connection.attributes.kind == RecordKind::kConsole) {
    console::DropUnfinishedRecord(connection);
  }
}

}  // namespace recio
