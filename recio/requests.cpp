// The request runner: every open, close, inquire, read and write starts here, and the one place
// where a failure of the record layer is caught and handed to the failure report.
#include <new>

#include "recio/failure.h"
#include "recio/format.h"
#include "recio/platform.h"
#include "recio/recio.h"
#include "recio/report.h"
#include "recio/units.h"

namespace recio {
namespace {

template <typename Body>
int32_t RunRequest(Statement statement, Flags flags, Body&& body) noexcept {
  RequestContext context{statement, flags, nullptr, nullptr};
  try {
    body(context);
    return 0;
  } catch (const RequestFailure& failure) {
    return ReportFailure(failure.id, context);
  } catch (const std::bad_alloc&) {
    return ReportFailure(ErrorId::kHeapSpaceLimit, context);
  }
}

void Attach(RequestContext& context, Connection& connection) {
  context.connection = &connection;
}

void CheckFormatted(const Connection& connection) {
  if (connection.form != Form::kFormatted) Fail(ErrorId::kFormattedIoNotConsistent);
}

// A read from the shared console ends the current line first, unless a prompt holds it, and
// leaves the console on a fresh line. Separate connections leave the output alone.
class ConsoleReadScope {
 public:
  explicit ConsoleReadScope(Connection& input)
      : shared_{&input == &ConsoleInput() && ConsoleIsShared()} {
    if (shared_ && input.linePending && !input.lineHeld) {
      input.linePending = false;
      platform::IoResult wrote = platform::WriteAll(input.outputHandle, "\r\n", 2);
      if (!wrote.ok) Fail(wrote.failure);
    }
  }
  ~ConsoleReadScope() {
    if (shared_) {
      ConsoleInput().linePending = false;
      ConsoleInput().lineHeld = false;
    }
  }
  ConsoleReadScope(const ConsoleReadScope&) = delete;
  ConsoleReadScope& operator=(const ConsoleReadScope&) = delete;

 private:
  bool shared_;
};

int32_t WriteTo(int32_t unit, const int32_t* recordNumber, const Layout& layout,
                std::initializer_list<Item> items, Flags flags) noexcept {
  return RunRequest(Statement::kWrite, flags, [&](RequestContext& context) {
    Connection& connection = ConnectionForTransfer(unit, true, context);
    Attach(context, connection);
    CheckFormatted(connection);
    DropUnfinishedRecord(connection);
    if (recordNumber != nullptr) {
      if (*recordNumber < 1 || connection.kind != RecordKind::kDirect) {
        Fail(ErrorId::kIllegalRecordNumber);
      }
      connection.recordNumber = *recordNumber;
    }
    ConnectionPort port(connection);
    RunTransfer(port, layout, Items(items.begin(), items.size()), Direction::kWrite,
                connection.blankZero);
  });
}

}  // namespace

int32_t Open(int32_t unit, const OpenSpec& spec, Flags flags) noexcept {
  return RunRequest(Statement::kOpen, flags,
                    [&](RequestContext& context) { OpenUnit(unit, spec, context); });
}

int32_t Close(int32_t unit, Keyword<CloseStatus> status, Flags flags) noexcept {
  return RunRequest(Statement::kClose, flags,
                    [&](RequestContext& context) { CloseUnit(unit, status, context); });
}

bool Inquire(int32_t unit) noexcept {
  return IsUnitConnected(unit);
}

int64_t LastRecordRead(int32_t unit) noexcept {
  if (unit == kInternalUnit) return 0;
  const Connection* connection = ResolveUnit(unit, false);
  return connection != nullptr ? connection->lastRecordRead : 0;
}

int32_t Read(int32_t unit, const Layout& layout, std::initializer_list<Item> items,
             Flags flags) noexcept {
  return RunRequest(Statement::kRead, flags, [&](RequestContext& context) {
    Connection& connection = ConnectionForTransfer(unit, false, context);
    Attach(context, connection);
    CheckFormatted(connection);
    if (connection.endOfFileMark && connection.kind != RecordKind::kConsole) {
      Fail(ErrorId::kBeyondEndOfFile);
    }
    if (connection.kind == RecordKind::kSequential) PrepareSequentialRead(connection);
    ConsoleReadScope console(connection);
    connection.fetchedThisRequest = false;
    ConnectionPort port(connection);
    RunTransfer(port, layout, Items(items.begin(), items.size()), Direction::kRead,
                connection.blankZero);
    connection.lastRecordRead = connection.recordsConsumed;
  });
}

int32_t Write(int32_t unit, const Layout& layout, std::initializer_list<Item> items,
              Flags flags) noexcept {
  return WriteTo(unit, nullptr, layout, items, flags);
}

int32_t WriteRecord(int32_t unit, int32_t recordNumber, const Layout& layout,
                    std::initializer_list<Item> items, Flags flags) noexcept {
  return WriteTo(unit, &recordNumber, layout, items, flags);
}

int32_t WriteInternal(std::span<char> record, const Layout& layout,
                      std::initializer_list<Item> items, Flags flags) noexcept {
  return RunRequest(Statement::kWrite, flags, [&](RequestContext& context) {
    static constexpr FixedName kInternal{"internal"};
    context.name = &kInternal;
    InternalRecordPort port(record);
    RunTransfer(port, layout, Items(items.begin(), items.size()), Direction::kWrite);
  });
}

}  // namespace recio
