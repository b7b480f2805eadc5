// The console: its connections on the standard streams, the line state of its output, carriage
// control, and the reading of typed and redirected lines. The one owner of all of it.
#pragma once

#include <cstddef>
#include <span>

#include "recio/internal/connection.h"
#include "recio/platform.h"

namespace recio::console {

/// Connects the console at the start of a run: input on standard input, output on standard
/// output; when either stream is not a terminal the output gets a connection of its own.
void Connect(bool inputIsTerminal, bool outputIsTerminal);

/// The console input: the console connection reading standard input.
Connection& Input();
/// The console output: the separate standard-output connection when one of the standard streams
/// is not a terminal, otherwise the console connection itself.
Connection& Output();
/// Whether input and output share the console connection (both streams are terminals).
bool Shared();

// ---- Writing a record (on any console-kind connection: the console, ERR, NUL)

/// Appends text to the record being written; a record longer than the buffer goes out in pieces.
void Append(Connection& c, std::span<const char> text);
/// Ends the record: its first character is carriage control (algorithm of the console), an empty
/// record is one blank; the line is pending afterwards, and held when `stayOnLine`.
void CompleteRecord(Connection& c, bool stayOnLine);
/// Forgets the part of a record that a failed request left.
void DropUnfinishedRecord(Connection& c);

// ---- Ending the line. Each rule of when a CR LF is written has its own name.

/// A close of a console unit or a console-kind device: a pending line of `c` gets its CR LF and
/// the line is fresh.
platform::IoResult EndPendingLine(Connection& c);
/// Before the name dialogue's question: a pending line of the output gets a CR LF; the line state
/// stays as it was.
platform::IoResult BreakLineBeforeDialogue();
/// The stop: "Stop - Program terminated." and CR LF, after a CR LF when a line is pending; the
/// line stays pending.
platform::IoResult WriteStopLine();
/// The end of a run: a pending line of the output gets its CR LF.
platform::IoResult EndLineAtTermination();

/// A read from `input`. On a shared console it first ends a pending line that is not held, so that
/// the reply starts on a fresh line, and leaves the line fresh; a separate output is left alone.
class ReadScope {
 public:
  explicit ReadScope(Connection& input);
  ~ReadScope();
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

 private:
  bool shared_;
};

// ---- Reading a line

/// Refills the buffer of a console-kind connection: one typed line from a terminal (at most 130
/// characters before its end; a line ending in Ctrl-Z is an end of file), or what redirected
/// input holds. Fails with an end of file at the end of the input.
void Refill(Connection& c);
/// The first look at a line of redirected input: a line that ends in Ctrl-Z is an end of file as
/// soon as it is met. A line longer than the buffer is marked as not yet examined.
void ExamineLine(Connection& c);
/// At a terminal, skips the rest of the typed line (a read that took nothing takes one line).
void SkipTypedLine(Connection& c, RecordPort& port);
/// Throws away the rest of the typed line held in a console buffer.
void DiscardTypedLine(Connection& c);
/// The name dialogue's line from the console input: at most `line.size()` characters are kept;
/// the rest stays (terminal) or is skipped (redirected). Returns the number kept; fails with an
/// end of file when the input has ended or the line ends in Ctrl-Z.
std::size_t ReadDialogueLine(std::span<char> line);

}  // namespace recio::console
