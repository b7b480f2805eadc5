// The unit table: 61 slots of unit numbers and their connections, unit resolution and the close.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "recio/internal/connection.h"
#include "recio/internal/request.h"
#include "recio/recio.h"

namespace recio {

inline constexpr int kUnitSlots = 61;

struct Slot {
  int32_t unit = 0;
  std::unique_ptr<Connection> connection;  // null: the slot is free
};

/// The slots in slot order.
std::array<Slot, kUnitSlots>& Slots();

/// The slot holding `unit`, or null.
Slot* FindSlot(int32_t unit);

/// The first free slot, or null.
Slot* FreeSlot();

/// Whether `unit` is one of the console's own numbers (0, 5, 6 and `*`).
constexpr bool IsConsoleUnit(int32_t unit) {
  return unit == kDefaultUnit || unit == 0 || unit == 5 || unit == 6;
}

/// The connection a read (or a write, for `forWrite`) on `unit` uses, or null when the unit is
/// not connected. Unit 64 fails with "illegal unit number".
Connection* ResolveUnit(int32_t unit, bool forWrite);

bool IsUnitConnected(int32_t unit);

/// Closes `unit` with `status` (its default when not given); nothing happens to an unconnected
/// unit, and the console stays connected.
void CloseUnit(int32_t unit, Keyword<CloseStatus> status, RequestContext& context);

/// Closes the connection in `slot` with its default status and frees the slot (an open that
/// replaces a unit's connection).
void CloseSlot(Slot& slot);

}  // namespace recio
