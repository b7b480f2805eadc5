// The ports of files: buffered input of lines, sequential text output and direct-access slots.
#include "recio/internal/connection.h"

#include <algorithm>
#include <cstring>

#include "recio/errors.h"
#include "recio/internal/failure.h"

namespace recio {
namespace {

// Writes out what the buffer of a sequential file holds.
Failure FlushSequential(Connection& c) {
  ConnectionState& s = c.state;
  if (s.writeFill == 0) return {};
  const std::size_t size = s.writeFill;
  s.writeFill = 0;
  const platform::IoResult wrote = platform::WriteAll(c.attributes.outputHandle, s.buffer, size);
  s.writeOffset += static_cast<int64_t>(wrote.count);
  return FailureOf(SystemStep::kWrite, wrote.error);
}

// The first write after the open or after a read cuts the file where the reading stood (or at
// the start): old contents past that point go, earlier ones stay.
void StartWriting(Connection& c) {
  ConnectionState& s = c.state;
  std::size_t consumed = s.readPos;
  if (s.fakeLineEnd && consumed == s.readEnd) --consumed;
  const int64_t position = s.bufferOffset + static_cast<int64_t>(consumed);
  platform::SeekTo(c.attributes.outputHandle, position);
  FailWith(SystemStep::kWrite, platform::CutAt(c.attributes.outputHandle, position).error);
  s.writeOffset = position;
  s.readPos = s.readEnd = 0;
  s.fakeLineEnd = false;
  s.writeFill = 0;
  s.lastWasWrite = true;
}

// Copies `text` into the write buffer behind what it holds, handing each full buffer to `flush`.
template <typename Flush>
void BufferOutput(ConnectionState& s, std::span<const char> text, Flush&& flush) {
  while (!text.empty()) {
    const std::size_t take = std::min(s.capacity - s.writeFill, text.size());
    std::memcpy(s.buffer + s.writeFill, text.data(), take);
    s.writeFill += take;
    text = text.subspan(take);
    if (s.writeFill == s.capacity) flush();
  }
}

}  // namespace

void Connection::AllocateBuffer(std::size_t size) {
  state.ownedBuffer.reset(new char[size]);
  state.buffer = state.ownedBuffer.get();
  state.capacity = size;
}

void AdvanceInput(ConnectionState& s, std::size_t count) {
  if (count == 0) return;
  if (count >= 2) NoteConsumed(s, static_cast<unsigned char>(s.buffer[s.readPos + count - 2]));
  NoteConsumed(s, static_cast<unsigned char>(s.buffer[s.readPos + count - 1]));
  s.readPos += count;
  s.atRecordStart = false;
}

Failure EndOfInput(ConnectionState& s) {
  if (!s.atRecordStart) {
    s.buffer[0] = '\n';
    s.readPos = 0;
    s.readEnd = 1;
    s.fakeLineEnd = true;
    return {};
  }
  s.endOfFileMark = true;
  return {ErrorId::kEndOfFileEncountered};
}

// ---------------------------------------------------------------------------------------------
// Input

std::span<const char> ConnectionPort::Run(std::size_t wanted) {
  ConnectionState& s = c_.state;
  if (s.readPos == s.readEnd) {
    if (const Failure failed = Refill()) Fail(failed);
  }
  return RecordRun(s, wanted);
}

void ConnectionPort::Advance(std::size_t count) {
  AdvanceInput(c_.state, count);
}

Failure ConnectionPort::Refill() {
  if (!c_.attributes.CanRead()) return {ErrorId::kFileNotOpenForReading};
  ConnectionState& s = c_.state;
  s.bufferOffset += static_cast<int64_t>(s.readEnd) - (s.fakeLineEnd ? 1 : 0);
  s.fakeLineEnd = false;
  s.readPos = 0;
  s.readEnd = 0;
  const platform::IoResult got =
      platform::ReadSome(c_.attributes.inputHandle, s.buffer, s.capacity);
  if (!got.ok()) return FailureOf(SystemStep::kRead, got.error);
  if (got.count == 0) return EndOfInput(s);
  s.readEnd = got.count;
  return {};
}

Failure ConnectionPort::TrySkipRecord() {
  ConnectionState& s = c_.state;
  if (const Failure failed = SkipLine(s, [this] { return Refill(); })) return failed;
  s.atRecordStart = true;
  s.lastByte = s.byteBefore = 0;
  ++s.recordsConsumed;
  return {};
}

void ConnectionPort::SkipRecord() {
  if (const Failure failed = TrySkipRecord()) Fail(failed);
}

// A file that met its end stays there; one that was last written has its output written first.
void ConnectionPort::BeginRead() {
  ConnectionState& s = c_.state;
  if (s.endOfFileMark) Fail(ErrorId::kBeyondEndOfFile);
  if (!s.lastWasWrite) return;
  if (const Failure failed = FlushSequential(c_)) Fail(failed);
  s.lastWasWrite = false;
  s.bufferOffset = s.writeOffset;
  s.readPos = s.readEnd = 0;
  s.fakeLineEnd = false;
  s.atRecordStart = true;
}

// A read that failed, with its status wanted, skips the rest of its record, so that the next read
// starts on the next line; a failure of this skip changes nothing.
int64_t ConnectionPort::EndRead(RequestFailure* failure, bool statusWanted) noexcept {
  const int64_t record = c_.state.recordsConsumed + (failure != nullptr ? 1 : 0);
  if (failure != nullptr && statusWanted && !IsEndOfFile(failure->id)) TrySkipRecord();
  return record;
}

// ---------------------------------------------------------------------------------------------
// Output

void ConnectionPort::CheckWritable() const {
  if (!c_.attributes.CanWrite()) Fail(ErrorId::kFileReadOnly);
}

void ConnectionPort::Append(std::span<const char> text) {
  CheckWritable();
  if (!c_.state.lastWasWrite) StartWriting(c_);
  BufferOutput(c_.state, text, [this] {
    if (const Failure failed = FlushSequential(c_)) Fail(failed);
  });
}

void ConnectionPort::CompleteRecord(bool stayOnLine) {
  Append(stayOnLine ? std::span<const char>{} : std::span<const char>{"\r\n", 2});
}

void ConnectionPort::BeginWrite(const int32_t* recordNumber) {
  if (recordNumber != nullptr) Fail(ErrorId::kIllegalRecordNumber);
}

Failure ConnectionPort::Finish(bool removed) noexcept {
  if (removed || !c_.state.lastWasWrite) return {};
  return FlushSequential(c_);
}

// ---------------------------------------------------------------------------------------------
// Direct access

// Only files of lines skip the rest of a failed record.
int64_t DirectPort::EndRead(RequestFailure* failure, bool /*statusWanted*/) noexcept {
  return c_.state.recordsConsumed + (failure != nullptr ? 1 : 0);
}

void DirectPort::BeginWrite(const int32_t* recordNumber) {
  ConnectionState& s = c_.state;
  s.writeFill = 0;
  s.recordWritten = 0;
  if (recordNumber == nullptr) return;
  if (*recordNumber < 1) Fail(ErrorId::kIllegalRecordNumber);
  s.recordNumber = *recordNumber;
}

void DirectPort::Append(std::span<const char> text) {
  CheckWritable();
  ConnectionState& s = c_.state;
  const int64_t used = s.recordWritten + static_cast<int64_t>(s.writeFill);
  if (static_cast<int64_t>(text.size()) > c_.attributes.slotLength - used) {
    Fail(ErrorId::kDirectRecordOverflow);
  }
  BufferOutput(s, text, [this] { FlushPiece(); });
}

// A record longer than the buffer goes to its slot in pieces; a usual one in one write.
void DirectPort::FlushPiece() {
  ConnectionState& s = c_.state;
  const int64_t offset = (s.recordNumber - 1) * c_.attributes.slotLength + s.recordWritten;
  const std::size_t size = s.writeFill;
  s.writeFill = 0;
  s.recordWritten += static_cast<int64_t>(size);
  FailWith(SystemStep::kWrite,
           platform::WriteAt(c_.attributes.outputHandle, s.buffer, size, offset).error);
}

// A slot holds exactly the record length plus 2 bytes: the text, blanks up to the record
// length, then CR LF, cut to the slot (a text one or two columns longer loses LF, or both).
void DirectPort::CompleteRecord(bool /*stayOnLine*/) {
  CheckWritable();
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
    if (s.writeFill == s.capacity) FlushPiece();
  }
  for (const char lineEnd : {'\r', '\n'}) {
    if (s.recordWritten + static_cast<int64_t>(s.writeFill) >= slot) break;
    if (s.writeFill == s.capacity) FlushPiece();
    s.buffer[s.writeFill++] = lineEnd;
  }
  if (s.writeFill > 0) FlushPiece();
  s.recordWritten = 0;
  ++s.recordNumber;
}

// Every record is in its slot once it is complete: nothing waits for the close.
Failure DirectPort::Finish(bool /*removed*/) noexcept {
  return {};
}

}  // namespace recio
