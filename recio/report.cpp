// The failure report, the stop, floating-point fault messages and termination.
#include "recio/report.h"

#include <cstring>
#include <string_view>

#include "recio/failure.h"
#include "recio/platform.h"
#include "recio/units.h"

namespace recio {
namespace {

// Builds a message in a fixed buffer; a part that does not fit is cut.
class MessageBuilder {
 public:
  MessageBuilder& Add(std::string_view text) {
    std::size_t take = std::min(text.size(), sizeof text_ - length_);
    std::memcpy(text_ + length_, text.data(), take);
    length_ += take;
    return *this;
  }
  MessageBuilder& AddNumber(int32_t value) {
    char digits[4] = {'0', '0', '0', '0'};
    for (int i = 3; i >= 0 && value > 0; --i) {
      digits[i] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
    return Add({digits, 4});
  }
  void WriteTo(int handle) const { platform::WriteAll(handle, text_, length_); }

 private:
  char text_[512];
  std::size_t length_ = 0;
};

std::string_view StatementWord(Statement statement) {
  switch (statement) {
    case Statement::kOpen:
      return "OPEN";
    case Statement::kRead:
      return "READ";
    case Statement::kWrite:
      return "WRITE";
    case Statement::kClose:
      return "CLOSE";
    default:
      return "INQUIRE";
  }
}

bool gTerminating = false;

// A field of a redirected console line too long to be examined when it was met failed: if the
// line turns out to end in Ctrl-Z, the failure is the end of file that the line is. The rest of
// the line is skipped to find out.
ErrorId EndOfFileOfAnUnexaminedLine(ErrorId id, const RequestContext& context) {
  Connection* connection = context.connection;
  if (connection == nullptr || !connection->lineUnexamined || IsEndOfFile(id) ||
      context.statement != Statement::kRead) {
    return id;
  }
  try {
    ConnectionPort(*connection).SkipRecord();
  } catch (const RequestFailure& skip) {
    if (IsEndOfFile(skip.id)) return skip.id;
  }
  return id;
}

}  // namespace

int32_t ReportFailure(ErrorId id, RequestContext& context) noexcept {
  Connection* connection = context.connection;
  if (connection != nullptr && context.statement == Statement::kRead) {
    connection->lastRecordRead = connection->recordsConsumed + 1;
  }
  id = EndOfFileOfAnUnexaminedLine(id, context);
  if (connection != nullptr && connection->kind == RecordKind::kConsole) {
    if (ConsoleIsShared() && connection == &ConsoleInput()) DiscardTypedLine(*connection);
    connection->endOfFileMark = false;
  }
  bool endOfFile = IsEndOfFile(id);
  if (context.flags.status) {
    if (context.statement == Statement::kRead && !endOfFile && connection != nullptr &&
        connection->kind == RecordKind::kSequential) {
      // The next read starts on the next line; a failure of this skip changes nothing.
      try {
        ConnectionPort(*connection).SkipRecord();
      } catch (const RequestFailure&) {
      }
    }
    return endOfFile ? -1 : static_cast<int32_t>(id);
  }
  if (endOfFile && context.flags.end) return -1;

  MessageBuilder message;
  message.Add("\r\nrun-time error F")
      .AddNumber(static_cast<int32_t>(id))
      .Add(": ")
      .Add(StatementWord(context.statement))
      .Add("(")
      .Add(context.NameShown())
      .Add(")\r\n- ")
      .Add(CatalogueText(id))
      .Add("\r\n");
  message.WriteTo(platform::kStderr);
  Terminate(1);
}

namespace {

// A failed console write at the end of a run is reported like any failed console write.
void ReportConsoleWriteFailure(ErrorId id) {
  RequestContext context{Statement::kWrite, {}, &ConsoleOutput(), {}};
  ReportFailure(id, context);
}

}  // namespace

void Terminate(int exitCode) noexcept {
  // A failure while the units are being closed has written its message: the run ends at once,
  // as a failure.
  if (gTerminating) platform::ExitProcess(1);
  gTerminating = true;
  int32_t units[kUnitSlots];
  int count = ConnectedUnits(units);
  for (int i = 0; i < count; ++i) Close(units[i]);
  if (ConsoleOutput().linePending) {
    platform::IoResult wrote = platform::WriteAll(platform::kStdout, "\r\n", 2);
    // A run that already failed has said so; only a run about to end well reports this.
    if (!wrote.ok && exitCode == 0) ReportConsoleWriteFailure(wrote.failure);
  }
  platform::ExitProcess(exitCode);
}

void Stop(int exitCode) noexcept {
  constexpr std::string_view kStop = "\r\nStop - Program terminated.\r\n";
  std::string_view text = ConsoleOutput().linePending ? kStop : kStop.substr(2);
  platform::IoResult wrote = platform::WriteAll(platform::kStdout, text.data(), text.size());
  if (!wrote.ok) ReportConsoleWriteFailure(wrote.failure);
  Terminate(exitCode);
}

namespace {

struct FaultRow {
  int32_t number;
  std::string_view word;
};
constexpr FaultRow kFaults[] = {{6101, "invalid"},
                                {6103, "divide by zero"},
                                {6104, "overflow"},
                                {6110, "stack overflow"},
                                {6111, "stack underflow"}};

}  // namespace

std::string_view MathFaultWord(MathFault fault) noexcept {
  return kFaults[static_cast<int>(fault)].word;
}

void ReportMathFault(MathFault fault) noexcept {
  const FaultRow& row = kFaults[static_cast<int>(fault)];
  MessageBuilder message;
  message.Add("\r\nrun-time error M")
      .AddNumber(row.number)
      .Add(": MATH\r\n- floating-point error: ")
      .Add(row.word)
      .Add("\r\n");
  message.WriteTo(platform::kStderr);
  Terminate(1);
}

std::string_view StatusText(int32_t status) noexcept {
  if (status == -1) return CatalogueText(ErrorId::kEndOfFileEncountered);
  return CatalogueText(static_cast<ErrorId>(status));
}

}  // namespace recio
