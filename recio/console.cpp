// The console: its connections, the line state of its output and carriage control, and its
// record port, the reading of typed and redirected lines.
#include "recio/internal/console.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/streams.h"
#include "recio/internal/failure.h"

namespace recio::console {
namespace {

constinit Connection gConsole;
constinit Connection gStdoutConsole;
constinit bool gSeparateStdout = false;
constinit char gConsoleBuffer[kConsoleBufferSize + 1] = {};
// A byte of the terminal's next typed line, read ahead while looking for the end of an over-long
// one; -1 when there is none.
constinit int gTypedAhead = -1;

void InitialiseConsole(Connection& c, platform::Handle inputHandle, platform::Handle outputHandle) {
  c.attributes.name.Assign("CON");
  c.attributes.kind = RecordKind::kConsole;
  c.attributes.inputHandle = inputHandle;
  c.attributes.outputHandle = outputHandle;
  c.attributes.isDevice = true;
}

platform::Handle StandardOutput() {
  return platform::StreamHandle(platform::Stream::kOutput);
}

platform::IoResult WriteLineEnd(platform::Handle handle) {
  return platform::WriteAll(handle, "\r\n", 2);
}

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

// Hands the assembled piece of a record to the handle. The first piece of a record gets the
// carriage-control treatment; later pieces go as they are.
void FlushPiece(Connection& c) {
  ConsoleLine& line = c.state.line;
  char* start = line.piece + ConsoleLine::kPrefixRoom;
  std::size_t size = line.pieceFill;
  if (line.recordColumn == 0 && size > 0 && !line.held) {
    const std::string_view prefix = CarriageControl(start[0], line.pending);
    ++start;
    --size;
    start -= prefix.size();
    std::memcpy(start, prefix.data(), prefix.size());
    size += prefix.size();
  }
  line.recordColumn += line.pieceFill;
  line.pieceFill = 0;
  if (size > 0) {
    FailWith(SystemStep::kWrite, platform::WriteAll(c.attributes.outputHandle, start, size).error);
  }
}

// Reads into the buffer of `c` what its input holds, behind a byte read ahead from a terminal.
platform::IoResult ReadInput(Connection& c) {
  ConnectionState& s = c.state;
  std::size_t ahead = 0;
  if (c.attributes.interactiveInput && gTypedAhead >= 0) {
    s.buffer[0] = static_cast<char>(gTypedAhead);
    gTypedAhead = -1;
    ahead = 1;
  }
  platform::IoResult got =
      platform::ReadSome(c.attributes.inputHandle, s.buffer + ahead, s.capacity - ahead);
  got.count += ahead;
  return got;
}

// 131 characters and a CR fill the buffer: what the terminal still holds of the line may be its
// LF alone, which goes with the line. Anything else starts the next read's line.
void TakeLineEndBehindFullBuffer(const Connection& c) {
  char next = 0;
  const platform::IoResult got = platform::ReadSome(c.attributes.inputHandle, &next, 1);
  if (got.ok() && got.count == 1 && next != '\n') gTypedAhead = static_cast<unsigned char>(next);
}

// A typed line arrives whole from a terminal (at most 132 bytes per read). It may hold 130
// characters before its line end; a longer one fails, and what the terminal still holds of it
// is read by the next read as a line of its own. A line ending in Ctrl-Z is an end of file.
Failure CheckTypedLine(Connection& c) {
  ConnectionState& s = c.state;
  const std::size_t n = s.readEnd;
  if (s.buffer[n - 1] == '\n') {
    std::size_t content = n - 1;
    if (content > 0 && s.buffer[content - 1] == '\r') --content;
    if (content > kConsoleLineLimit) {
      // Only a line end of LF alone gets here (131 characters). The read held the whole line
      // with its end, so nothing of it is left for the next read.
      s.readPos = s.readEnd;
      return {ErrorId::kTerminalBufferOverflow};
    }
    if (content > 0 && s.buffer[content - 1] == kCtrlZ) {
      s.readPos = s.readEnd;
      s.endOfFileMark = true;
      return {ErrorId::kEndOfFileEncountered};
    }
    return {};
  }
  if (n == s.capacity) {
    s.readPos = s.readEnd;
    if (s.buffer[n - 1] == '\r') TakeLineEndBehindFullBuffer(c);
    return {ErrorId::kTerminalBufferOverflow};
  }
  // The input ended in the middle of a typed line: that line is a record of its own.
  if (s.buffer[n - 1] == kCtrlZ) {
    s.readPos = s.readEnd;
    s.endOfFileMark = true;
    return {ErrorId::kEndOfFileEncountered};
  }
  s.buffer[n] = '\n';
  s.readEnd = n + 1;
  s.fakeLineEnd = true;
  return {};
}

[[noreturn]] void LineIsEndOfFile(ConnectionState& s, std::size_t next) {
  s.readPos = next;
  s.endOfFileMark = true;
  Fail(ErrorId::kEndOfFileEncountered);
}

// The end of the dialogue's line, at its LF or at the end of the input: a line ending in Ctrl-Z
// is an end of file, and the CR of a CR LF line end is not part of the name, when it was kept.
std::size_t EndDialogueLine(ConnectionState& s, std::size_t kept, std::size_t seen,
                            unsigned char last, unsigned char before) {
  s.atRecordStart = true;
  if (EndsInCtrlZ(last, before)) Fail(ErrorId::kEndOfFileEncountered);
  return last == '\r' && seen == kept ? kept - 1 : kept;
}

}  // namespace

void Connect(bool inputIsTerminal, bool outputIsTerminal) {
  InitialiseConsole(gConsole, platform::StreamHandle(platform::Stream::kInput), StandardOutput());
  gConsole.state.buffer = gConsoleBuffer;
  gConsole.state.capacity = kConsoleBufferSize;
  gConsole.attributes.interactiveInput = inputIsTerminal;
  gSeparateStdout = !(inputIsTerminal && outputIsTerminal);
  if (gSeparateStdout) InitialiseConsole(gStdoutConsole, {}, StandardOutput());
}

Connection& Input() {
  return gConsole;
}

Connection& Output() {
  return gSeparateStdout ? gStdoutConsole : gConsole;
}

bool Shared() {
  return !gSeparateStdout;
}

// ---- Ending the line

platform::IoResult EndPendingLine(Connection& c) {
  ConsoleLine& line = c.state.line;
  if (!line.pending || !c.attributes.CanWrite()) return {};
  line.pending = line.held = false;
  return WriteLineEnd(c.attributes.outputHandle);
}

platform::IoResult BreakLineBeforeDialogue() {
  if (!Output().state.line.pending) return {};
  return WriteLineEnd(StandardOutput());
}

platform::IoResult WriteStopLine() {
  constexpr std::string_view kStop = "\r\nStop - Program terminated.\r\n";
  const std::string_view text = Output().state.line.pending ? kStop : kStop.substr(2);
  return platform::WriteAll(StandardOutput(), text.data(), text.size());
}

platform::IoResult EndLineAtTermination() {
  if (!Output().state.line.pending) return {};
  return WriteLineEnd(StandardOutput());
}

// ---- The console's record port: writing

void ConsolePort::Append(std::span<const char> text) {
  if (!c_.attributes.CanWrite()) Fail(ErrorId::kFileReadOnly);
  ConsoleLine& line = c_.state.line;
  while (!text.empty()) {
    const std::size_t take = std::min(kConsoleBufferSize - line.pieceFill, text.size());
    std::memcpy(line.piece + ConsoleLine::kPrefixRoom + line.pieceFill, text.data(), take);
    line.pieceFill += take;
    text = text.subspan(take);
    if (line.pieceFill == kConsoleBufferSize) FlushPiece(c_);
  }
}

void ConsolePort::CompleteRecord(bool stayOnLine) {
  if (!c_.attributes.CanWrite()) Fail(ErrorId::kFileReadOnly);
  ConsoleLine& line = c_.state.line;
  if (line.recordColumn == 0 && line.pieceFill == 0) {
    // An empty record is written as one blank: only its line break shows.
    line.piece[ConsoleLine::kPrefixRoom] = ' ';
    line.pieceFill = 1;
  }
  FlushPiece(c_);
  line.recordColumn = 0;
  line.pending = true;
  line.held = stayOnLine;
}

void ConsolePort::BeginWrite(const int32_t* recordNumber) {
  c_.state.line.pieceFill = 0;
  c_.state.line.recordColumn = 0;
  if (recordNumber != nullptr) Fail(ErrorId::kIllegalRecordNumber);
}

Failure ConsolePort::Finish(bool /*removed*/) noexcept {
  return FailureOf(SystemStep::kWrite, EndPendingLine(c_).error);
}

// ---- The console's record port: reading

// On a shared console a read first ends a pending line that is not held, so that the reply
// starts on a fresh line, and leaves the line fresh; a separate output is left alone.
void ConsolePort::BeginRead() {
  const bool shared = &c_ == &gConsole && Shared();
  ConsoleLine& line = gConsole.state.line;
  if (shared && line.pending && !line.held) {
    line.pending = false;
    FailWith(SystemStep::kWrite, WriteLineEnd(c_.attributes.outputHandle).error);
  }
  freshLineAtEnd_ = shared;
}

// A failed read leaves nothing of its line for the next one where the console is a terminal
// shared with the output; and the console can be read again after an end of file. A redirected
// line too long to be examined when it was met is skipped to find out whether it ends in Ctrl-Z,
// which makes the failure the end of file that the line is.
int64_t ConsolePort::EndRead(RequestFailure* failure, bool /*statusWanted*/) noexcept {
  ConnectionState& s = c_.state;
  const int64_t record = s.recordsConsumed + (failure != nullptr ? 1 : 0);
  if (freshLineAtEnd_) gConsole.state.line.pending = gConsole.state.line.held = false;
  if (failure == nullptr) return record;
  if (lineUnexamined_ && !IsEndOfFile(failure->id)) {
    if (const Failure skipped = TrySkipRecord(); IsEndOfFile(skipped.id)) failure->id = skipped.id;
  }
  if (&c_ == &gConsole && Shared()) {
    s.readPos = s.readEnd;
    s.atRecordStart = true;
  }
  s.endOfFileMark = false;
  return record;
}

std::span<const char> ConsolePort::Run(std::size_t wanted) {
  ConnectionState& s = c_.state;
  fetched_ = true;
  if (s.readPos == s.readEnd) {
    if (const Failure failed = Refill()) Fail(failed);
  }
  if (s.atRecordStart && !c_.attributes.interactiveInput) ExamineLine();
  return RecordRun(s, wanted);
}

void ConsolePort::Advance(std::size_t count) {
  AdvanceInput(c_.state, count);
}

// One typed line from a terminal (at most 130 characters before its end; a line ending in
// Ctrl-Z is an end of file), or what redirected input holds.
Failure ConsolePort::Refill() {
  if (!c_.attributes.CanRead()) return {ErrorId::kFileNotOpenForReading};
  ConnectionState& s = c_.state;
  s.readPos = 0;
  s.readEnd = 0;
  s.fakeLineEnd = false;
  const platform::IoResult got = ReadInput(c_);
  if (!got.ok()) return FailureOf(SystemStep::kRead, got.error);
  if (got.count == 0) return EndOfInput(s);
  s.readEnd = got.count;
  return c_.attributes.interactiveInput ? CheckTypedLine(c_) : Failure{};
}

// Redirected console input holds many lines in its buffer. A line that ends in Ctrl-Z is an end
// of file as soon as the line is met, whatever field meets it first: the whole line is brought
// into the buffer (when it fits) and examined before any of it is taken.
void ConsolePort::ExamineLine() {
  ConnectionState& s = c_.state;
  lineUnexamined_ = false;
  for (;;) {
    const char* start = s.buffer + s.readPos;
    const std::size_t available = s.readEnd - s.readPos;
    if (const void* found = std::memchr(start, '\n', available)) {
      const auto end = static_cast<std::size_t>(static_cast<const char*>(found) - s.buffer);
      std::size_t last = end;
      if (last > s.readPos && s.buffer[last - 1] == '\r') --last;
      if (last > s.readPos && s.buffer[last - 1] == kCtrlZ) LineIsEndOfFile(s, end + 1);
      return;
    }
    if (s.readPos == 0 && s.readEnd == s.capacity) {
      // Longer than the buffer: its end is examined only when the line is skipped, or when a
      // field of it fails (the end of the read looks then).
      lineUnexamined_ = true;
      return;
    }
    std::memmove(s.buffer, start, available);
    s.readPos = 0;
    s.readEnd = available;
    const platform::IoResult got =
        platform::ReadSome(c_.attributes.inputHandle, s.buffer + s.readEnd, s.capacity - s.readEnd);
    FailWith(SystemStep::kRead, got.error);
    if (got.count == 0) {  // the input ends inside this line
      if (s.buffer[s.readEnd - 1] == kCtrlZ) LineIsEndOfFile(s, s.readEnd);
      if (s.readEnd < s.capacity) {
        s.buffer[s.readEnd++] = '\n';
        s.fakeLineEnd = true;
      }
      return;
    }
    s.readEnd += got.count;
  }
}

// Redirected input: up to and including the LF; a line that ends in Ctrl-Z is an end of file.
Failure ConsolePort::TrySkipRecord() {
  ConnectionState& s = c_.state;
  if (const Failure failed = SkipLine(s, [this] { return Refill(); })) return failed;
  const bool endsInCtrlZ = EndsInCtrlZ(s.lastByte, s.byteBefore);
  s.atRecordStart = true;
  lineUnexamined_ = false;
  s.lastByte = s.byteBefore = 0;
  if (endsInCtrlZ) {
    s.endOfFileMark = true;
    return {ErrorId::kEndOfFileEncountered};
  }
  ++s.recordsConsumed;
  return {};
}

void ConsolePort::SkipRecord() {
  if (!c_.attributes.interactiveInput) {
    if (const Failure failed = TrySkipRecord()) Fail(failed);
    return;
  }
  // At a terminal the rest of the typed line is thrown away; a request that took nothing from
  // the terminal still takes (and throws away) one line.
  ConnectionState& s = c_.state;
  if (!fetched_) Run(1);
  s.readPos = s.readEnd;
  s.atRecordStart = true;
  s.lastByte = s.byteBefore = 0;
  ++s.recordsConsumed;
}

std::size_t ReadDialogueLine(std::span<char> line) {
  Connection& console = gConsole;
  ConnectionState& s = console.state;
  std::size_t n = 0;     // characters kept
  std::size_t seen = 0;  // characters of the line, kept or skipped
  unsigned char last = 0;
  unsigned char before = 0;
  for (;;) {
    if (s.readPos == s.readEnd) {
      s.readPos = s.readEnd = 0;
      const platform::IoResult got = ReadInput(console);
      FailWith(SystemStep::kRead, got.error);
      if (got.count == 0) {
        if (seen == 0) Fail(ErrorId::kEndOfFileEncountered);
        // A last line without a line end is taken to end with one.
        return EndDialogueLine(s, n, seen, last, before);
      }
      s.readEnd = got.count;
    }
    const auto byte = static_cast<unsigned char>(s.buffer[s.readPos]);
    if (byte == '\n') {
      ++s.readPos;
      return EndDialogueLine(s, n, seen, last, before);
    }
    // An interactive console keeps the rest of the line for its next read.
    if (n == line.size() && console.attributes.interactiveInput) return n;
    ++seen;
    before = last;
    last = byte;
    if (n < line.size()) line[n++] = static_cast<char>(byte);  // redirected input skips the rest
    ++s.readPos;
    s.atRecordStart = false;
  }
}

}  // namespace recio::console
