// The requests: every open, close, inquire, read and write starts here and runs through the
// request runner, where a failure of the record layer is caught.
#include "recio/internal/console.h"
#include "recio/internal/failure.h"
#include "recio/internal/format.h"
#include "recio/internal/open.h"
#include "recio/internal/request.h"
#include "recio/internal/units.h"
#include "recio/recio.h"

namespace recio {
namespace {

void CheckFormatted(const Connection& connection) {
  if (connection.attributes.form != Form::kFormatted) Fail(ErrorId::kFormattedIoNotConsistent);
}

int32_t WriteTo(int32_t unit, const int32_t* recordNumber, const Layout& layout,
                std::initializer_list<OutputItem> items, Flags flags) noexcept {
  return RunRequest(Statement::kWrite, flags, [&](RequestContext& context) {
    Connection& connection = ConnectionForTransfer(unit, true, context);
    context.connection = &connection;
    CheckFormatted(connection);
    DropUnfinishedRecord(connection);
    if (recordNumber != nullptr) {
      if (*recordNumber < 1 || connection.attributes.kind != RecordKind::kDirect) {
        Fail(ErrorId::kIllegalRecordNumber);
      }
      connection.state.recordNumber = *recordNumber;
    }
    ConnectionPort port(connection);
    RunWrite(port, layout, OutputItems(items.begin(), items.size()));
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
  return connection != nullptr ? connection->state.lastRecordRead : 0;
}

int32_t Read(int32_t unit, const Layout& layout, std::initializer_list<InputItem> items,
             Flags flags) noexcept {
  return RunRequest(Statement::kRead, flags, [&](RequestContext& context) {
    Connection& connection = ConnectionForTransfer(unit, false, context);
    context.connection = &connection;
    CheckFormatted(connection);
    ConnectionState& state = connection.state;
    if (state.endOfFileMark && connection.attributes.kind != RecordKind::kConsole) {
      Fail(ErrorId::kBeyondEndOfFile);
    }
    if (connection.attributes.kind == RecordKind::kSequential) PrepareSequentialRead(connection);
    const console::ReadScope scope(connection);
    state.fetchedThisRequest = false;
    ConnectionPort port(connection);
    RunRead(port, layout, InputItems(items.begin(), items.size()), connection.attributes.blankZero);
    state.lastRecordRead = state.recordsConsumed;
  });
}

int32_t Write(int32_t unit, const Layout& layout, std::initializer_list<OutputItem> items,
              Flags flags) noexcept {
  return WriteTo(unit, nullptr, layout, items, flags);
}

int32_t WriteRecord(int32_t unit, int32_t recordNumber, const Layout& layout,
                    std::initializer_list<OutputItem> items, Flags flags) noexcept {
  return WriteTo(unit, &recordNumber, layout, items, flags);
}

int32_t WriteInternal(std::span<char> record, const Layout& layout,
                      std::initializer_list<OutputItem> items, Flags flags) noexcept {
  return RunRequest(Statement::kWrite, flags, [&](RequestContext& context) {
    context.name.emplace("internal");
    InternalRecordPort port(record);
    RunWrite(port, layout, OutputItems(items.begin(), items.size()));
  });
}

}  // namespace recio
