// The request in progress and the runner that every open, close, read and write goes through:
// the one place where a failure of the record layer is caught.
#pragma once

#include <cstdint>
#include <new>
#include <optional>
#include <string_view>

#include "recio/internal/connection.h"
#include "recio/internal/failure.h"
#include "recio/recio.h"

namespace recio {

enum class Statement : uint8_t { kOpen, kRead, kWrite, kClose };

/// The request in progress, as the failure report needs it.
struct RequestContext {
  RequestContext(Statement s, Flags f, Connection* c = nullptr)
      : statement{s}, flags{f}, connection{c} {}

  Statement statement;
  Flags flags;
  Connection* connection = nullptr;  // null while an open has not made its connection
  std::optional<FixedName> name;     // the name being opened or closed, when `connection` is null

  std::string_view NameShown() const {
    if (connection != nullptr) return connection->attributes.name.view();
    return name ? name->view() : std::string_view{};
  }
};

/// Hands a failure of the request in `context` to the failure report. Returns the request
/// status (-1 for an end of file, else the error number) when the request asked for it;
/// otherwise writes the failure message to standard error and ends the run with exit code 1.
int32_t ReportFailure(ErrorId id, RequestContext& context) noexcept;

/// Runs `body` as one request: returns 0 when it ends well, and otherwise what the failure report
/// makes of its failure (a failure abandons the rest of the request).
template <typename Body>
int32_t RunRequest(Statement statement, Flags flags, Body&& body) noexcept {
  RequestContext context{statement, flags};
  try {
    body(context);
    return 0;
  } catch (const RequestFailure& failure) {
    return ReportFailure(failure.id, context);
  } catch (const std::bad_alloc&) {
    return ReportFailure(ErrorId::kHeapSpaceLimit, context);
  }
}

}  // namespace recio
