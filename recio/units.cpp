// The unit table: slots, resolving a unit to its connection, and the close.
#include "recio/internal/units.h"

#include <utility>

#include "platform/files.h"
#include "recio/internal/console.h"
#include "recio/internal/failure.h"
#include "recio/internal/keywords.h"
#include "recio/internal/ports.h"

namespace recio {
namespace {

constinit std::array<Slot, kUnitSlots> gSlots;

platform::Handle OwnHandle(const ConnectionAttributes& a) {
  return a.inputHandle.valid() ? a.inputHandle : a.outputHandle;
}

// Ends a connection: buffered output out (unless deleted), a pending console line ended, the
// handle closed (a file system may report a failed write only then; the standard streams stay
// open), the file removed for DELETE. The first failure is reported once everything else is done.
void FinishConnection(Connection& c, bool remove) {
  PortHolder holder;
  Failure failure = AttachPort(holder, c).Finish(remove);
  const ConnectionAttributes& a = c.attributes;
  if (const platform::Handle handle = OwnHandle(a); handle.valid()) {
    const platform::Result closed = platform::CloseHandle(handle);
    if (!failure) failure = FailureOf(SystemStep::kClose, closed.error);
  }
  c.attributes.inputHandle = c.attributes.outputHandle = {};
  if (failure) Fail(failure);
  if (remove && !a.isDevice) FailWith(SystemStep::kRemove, platform::RemoveFile(a.name.text).error);
}

// Whether the close removes the file: DELETE given, or a scratch file's default. KEEP on a
// scratch file fails.
bool CloseRemoves(const Connection& c, const Keyword<CloseStatus>& status) {
  const bool scratch = c.attributes.deleteAtClose;
  const CloseStatus chosen =
      MatchKeyword(status, scratch ? CloseStatus::kDelete : CloseStatus::kKeep,
                   std::array<std::string_view, 2>{"KEEP", "DELETE"}, ErrorId::kIllegalStatusValue);
  if (chosen == CloseStatus::kKeep && scratch) Fail(ErrorId::kKeepIllegalForScratch);
  return chosen == CloseStatus::kDelete;
}

void CloseSlotWith(Slot& slot, const Keyword<CloseStatus>& status) {
  const bool remove = CloseRemoves(*slot.connection, status);
  const std::unique_ptr<Connection> connection = std::move(slot.connection);
  FinishConnection(*connection, remove);
}

// The console stays connected after a close; a pending line on it is ended.
void CloseConsole(Connection& console, const Keyword<CloseStatus>& status,
                  RequestContext& context) {
  context.connection = &console;
  CloseRemoves(console, status);
  FailWith(SystemStep::kWrite, console::EndPendingLine(console).error);
}

}  // namespace

std::array<Slot, kUnitSlots>& Slots() {
  return gSlots;
}

Slot* FindSlot(int32_t unit) {
  for (Slot& slot : gSlots) {
    if (slot.connection && slot.unit == unit) return &slot;
  }
  return nullptr;
}

Slot* FreeSlot() {
  for (Slot& slot : gSlots) {
    if (!slot.connection) return &slot;
  }
  return nullptr;
}

Connection* ResolveUnit(int32_t unit, bool forWrite) {
  if (unit == kInternalUnit) Fail(ErrorId::kIllegalUnitNumber);
  if (unit != kDefaultUnit) {
    if (Slot* slot = FindSlot(unit)) {
      if (!slot->connection->attributes.joinsConsole) return slot->connection.get();
    } else if (!IsConsoleUnit(unit)) {
      return nullptr;
    }
  }
  return forWrite ? &console::Output() : &console::Input();
}

bool IsUnitConnected(int32_t unit) {
  if (unit == kInternalUnit) return false;
  return IsConsoleUnit(unit) || FindSlot(unit) != nullptr;
}

void CloseUnit(int32_t unit, Keyword<CloseStatus> status, RequestContext& context) {
  Slot* slot = FindSlot(unit);
  if (slot == nullptr) {
    // Unit 5 is the console input; 0, 6 and `*` close on the console output.
    if (IsConsoleUnit(unit)) {
      CloseConsole(unit == 5 ? console::Input() : console::Output(), status, context);
    }
    return;
  }
  if (slot->connection->attributes.joinsConsole) {
    context.connection = slot->connection.get();
    CloseRemoves(*slot->connection, status);
    slot->connection.reset();
    CloseConsole(console::Output(), {}, context);
    return;
  }
  // The connection is gone once its close is under way: a failure shows the name kept here.
  context.name.emplace().AssignPath(slot->connection->attributes.name.view());
  context.connection = nullptr;
  CloseSlotWith(*slot, status);
}

void CloseSlot(Slot& slot) {
  CloseSlotWith(slot, {});
}

}  // namespace recio
