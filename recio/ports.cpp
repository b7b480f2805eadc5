// The port factory.
#include "recio/internal/ports.h"

namespace recio {

UnitPort& AttachPort(PortHolder& holder, Connection& connection) {
  switch (connection.attributes.kind) {
    case RecordKind::kConsole:
      return holder.emplace<console::ConsolePort>(connection);
    case RecordKind::kDirect:
      return holder.emplace<DirectPort>(connection);
    case RecordKind::kSequential:
      break;
  }
  return holder.emplace<ConnectionPort>(connection);
}

}  // namespace recio
