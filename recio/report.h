// The failure report, termination and the stop: the ways a request fails and a run ends.
#pragma once

#include <cstdint>

#include "recio/connection.h"
#include "recio/errors.h"
#include "recio/recio.h"

namespace recio {

enum class Statement : uint8_t { kOpen, kRead, kWrite, kClose, kInquire };

/// The request in progress, as the failure report needs it.
struct RequestContext {
  Statement statement;
  Flags flags;
  Connection* connection = nullptr;  // null while an open has not made its connection
  const FixedName* name = nullptr;   // the name being opened or closed, when `connection` is null

  std::string_view NameShown() const {
    if (connection != nullptr) return connection->name.view();
    return name != nullptr ? name->view() : std::string_view{};
  }
};

/// Hands a failure of the request in `context` to the failure report. Returns the request
/// status (-1 for an end of file, else the error number) when the request asked for it;
/// otherwise writes the failure message to standard error and ends the run with exit code 1.
int32_t ReportFailure(ErrorId id, RequestContext& context) noexcept;

/// Closes every connected unit in slot order, ends a pending console line, and ends the process
/// with `exitCode`. A failure during the closes ends it at once with the same exit code.
[[noreturn]] void Terminate(int exitCode) noexcept;

}  // namespace recio
