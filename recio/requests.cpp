// The requests: every open, close, inquire, read and write starts here and runs through the
// request runner, where a failure of the record layer is caught; and the end of every request.
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
    UnitPort& port = context.Attach(ConnectionForTransfer(unit, true, context));
    CheckFormatted(*context.connection);
    port.BeginWrite(recordNumber);
    RunWrite(port, layout, OutputItems(items.begin(), items.size()));
  });
}

// A read ends on its port: the record it ended on, and for a failed one the recovery.
int64_t EndRead(RequestContext& context, RequestFailure* failure) {
  if (context.statement != Statement::kRead || context.port == nullptr) return 0;
  return context.port->EndRead(failure, context.flags.status);
}

}  // namespace

int32_t EndRequest(RequestContext& context) noexcept {
  const int64_t record = EndRead(context, nullptr);
  if (Outcome* outcome = context.flags.outcome) {
    outcome->status = 0;
    outcome->record = record;
    outcome->field.length = 0;
    outcome->cause = ::platform::Error::kNone;
  }
  return 0;
}

int32_t EndFailedRequest(RequestFailure& failure, RequestContext& context) noexcept {
  const int64_t record = EndRead(context, &failure);
  const int32_t status = ReportFailure(failure, context);
  if (Outcome* outcome = context.flags.outcome) {
    outcome->status = status;
    outcome->record = record;
    outcome->field = failure.field;
    outcome->cause = failure.cause;
  }
  return status;
}

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

int32_t Read(int32_t unit, const Layout& layout, std::initializer_list<InputItem> items,
             Flags flags) noexcept {
  return RunRequest(Statement::kRead, flags, [&](RequestContext& context) {
    UnitPort& port = context.Attach(ConnectionForTransfer(unit, false, context));
    CheckFormatted(*context.connection);
    port.BeginRead();
    RunRead(port, layout, InputItems(items.begin(), items.size()),
            context.connection->attributes.blankZero);
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
