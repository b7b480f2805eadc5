// The console: its connections on the standard streams, the line state of its output, carriage
// control, and its record port that reads typed and redirected lines. The one owner of all of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/file_io.h"
#include "recio/internal/connection.h"
#include "recio/internal/unit_port.h"

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

// ---- Reading a line outside a record

/// The name dialogue's line from the console input: at most `line.size()` characters are kept;
/// the rest stays (terminal) or is skipped (redirected). Returns the number kept; fails with an
/// end of file when the input has ended or the line ends in Ctrl-Z.
std::size_t ReadDialogueLine(std::span<char> line);

// ---- The record port

/// The record port of a console-kind connection (the console, ERR, NUL): records written with
/// carriage control, lines typed at a terminal or redirected. The one owner of the reading state
/// of such a connection.
class ConsolePort final : public UnitPort {
 public:
  explicit ConsolePort(Connection& connection) : c_{connection} {}

  /// A typed line arrives whole (at most 130 characters before its end; a line ending in Ctrl-Z
  /// is an end of file). Redirected input: a line that ends in Ctrl-Z is an end of file as soon
  /// as it is met.
  std::span<const char> Run(std::size_t wanted) override;
  void Advance(std::size_t count) override;
  /// At a terminal the rest of the typed line is thrown away (a read that took nothing takes one
  /// line); redirected, the rest of the line up to its LF.
  void SkipRecord() override;
  /// A record longer than the buffer goes out in pieces.
  void Append(std::span<const char> text) override;
  /// The first character is carriage control, an empty record one blank; the line is pending
  /// afterwards, and held when `stayOnLine`.
  void CompleteRecord(bool stayOnLine) override;

  void BeginRead() override;
  int64_t EndRead(RequestFailure* failure, bool statusWanted) noexcept override;
  void BeginWrite(const int32_t* recordNumber) override;
  Failure Finish(bool removed) noexcept override;

 private:
  Failure Refill();
  void ExamineLine();
  Failure TrySkipRecord();

  Connection& c_;
  bool fetched_ = false;         // the read has taken a line from the input
  bool lineUnexamined_ = false;  // redirected: the line is longer than the buffer
  bool freshLineAtEnd_ = false;  // a read of the shared console leaves its line fresh
};

}  // namespace recio::console
