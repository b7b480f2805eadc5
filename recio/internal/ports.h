// The port factory: the one place that chooses a connection's record port by its record kind.
#pragma once

#include <variant>

#include "recio/internal/connection.h"
#include "recio/internal/console.h"
#include "recio/internal/unit_port.h"

namespace recio {

/// Room for the port of one request (or one close), alive as long as the request's context.
using PortHolder = std::variant<std::monostate, console::ConsolePort, ConnectionPort, DirectPort>;

/// Makes the port of `connection` in `holder`: a console port for console records, a file port
/// for sequential text, a direct-access port for numbered slots.
UnitPort& AttachPort(PortHolder& holder, Connection& connection);

}  // namespace recio
