// The unit table and the console connections: resolving units, open, close and inquire.
#pragma once

#include <cstdint>

#include "recio/connection.h"
#include "recio/recio.h"
#include "recio/report.h"

namespace recio {

inline constexpr int kUnitSlots = 61;

/// The console input: the console connection reading standard input.
Connection& ConsoleInput();
/// The console output: the separate standard-output connection when one of the standard
/// streams is not a terminal, otherwise the console connection itself.
Connection& ConsoleOutput();
/// Whether input and output share the console connection (both streams are terminals).
bool ConsoleIsShared();

/// The connection a read (or a write, for `forWrite`) on `unit` uses, or null when the unit is
/// not connected. Unit 64 fails with "illegal unit number".
Connection* ResolveUnit(int32_t unit, bool forWrite);

/// The connection of `unit` for a transfer, connecting it implicitly (name dialogue, then an open
/// with status OLD for a read and UNKNOWN for a write) when needed.
Connection& ConnectionForTransfer(int32_t unit, bool forWrite, RequestContext& context);

void OpenUnit(int32_t unit, const OpenSpec& spec, RequestContext& context);
void CloseUnit(int32_t unit, Keyword<CloseStatus> status, RequestContext& context);
bool IsUnitConnected(int32_t unit);

/// The units of the occupied slots, in slot order; returns how many.
int ConnectedUnits(int32_t (&units)[kUnitSlots]);

}  // namespace recio
