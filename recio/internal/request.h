// The request in progress and the runner that every open, close, read and write goes through:
// the one place where a failure of the record layer is caught.
#pragma once

#include <cstdint>
#include <new>
#include <optional>
#include <string_view>

#include "recio/internal/connection.h"
#include "recio/internal/failure.h"
#include "recio/internal/ports.h"
#include "recio/recio.h"

namespace recio {

enum class Statement : uint8_t { kOpen, kRead, kWrite, kClose };

/// The request in progress: what its end and the failure report need.
struct RequestContext {
  RequestContext(Statement s, Flags f, Connection* c = nullptr)
      : statement{s}, flags{f}, connection{c} {}

  /// The port of `c`, the request's connection from now on.
  UnitPort& Attach(Connection& c) {
    connection = &c;
    port = &AttachPort(portHolder, c);
    return *port;
  }

  std::string_view NameShown() const {
    if (connection != nullptr) return connection->attributes.name.view();
    return name ? name->view() : std::string_view{};
  }

  Statement statement;
  Flags flags;
  Connection* connection = nullptr;  // null while an open has not made its connection
  std::optional<FixedName> name;     // the name being opened or closed, when `connection` is null
  UnitPort* port = nullptr;          // the port of `connection` in a read or write
  PortHolder portHolder;
};

/// The end of a request that went well: a read ends on its port. Fills the outcome; returns 0.
int32_t EndRequest(RequestContext& context) noexcept;

/// The end of a failed request: a read ends on its port (which leaves the connection ready for
/// the next read), then the failure report. Returns what the report makes of the failure.
int32_t EndFailedRequest(RequestFailure& failure, RequestContext& context) noexcept;

/// The failure report: returns the request status (-1 for an end of file, else the error number)
/// when the request asked for it, and fills its outcome; otherwise writes the failure message to
/// standard error and ends the run with exit code 1.
int32_t ReportFailure(const RequestFailure& failure, const RequestContext& context) noexcept;

/// Runs `body` as one request: returns 0 when it ends well, and otherwise what the failure report
/// makes of its failure (a failure abandons the rest of the request).
template <typename Body>
int32_t RunRequest(Statement statement, Flags flags, Body&& body) noexcept {
  RequestContext context{statement, flags};
  try {
    body(context);
  } catch (RequestFailure& failure) {
    return EndFailedRequest(failure, context);
  } catch (const std::bad_alloc&) {
    RequestFailure failure{ErrorId::kHeapSpaceLimit};
    return EndFailedRequest(failure, context);
  }
  return EndRequest(context);
}

}  // namespace recio
