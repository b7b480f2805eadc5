// The open: keywords, device names, the platform file, and the implicit connection of a
// transfer.
#pragma once

#include <array>
#include <cstdint>

#include "platform/streams.h"
#include "recio/internal/connection.h"
#include "recio/internal/request.h"
#include "recio/recio.h"

namespace recio {

/// Opens `unit` as `spec` says; the name shown by a failure is the one being opened.
void OpenUnit(int32_t unit, const OpenSpec& spec, RequestContext& context);

/// The connection of `unit` for a transfer, connecting it implicitly (name dialogue, then an open
/// with status OLD for a read and UNKNOWN for a write) when needed.
Connection& ConnectionForTransfer(int32_t unit, bool forWrite, RequestContext& context);

/// The regular files behind standard input, output and error: the console holds them, so no
/// unit may be connected to one of them.
void HoldStandardStreamFiles(const std::array<platform::StreamFacts, 3>& streams);

}  // namespace recio
