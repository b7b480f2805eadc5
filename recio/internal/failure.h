// How a failure travels from where it is found to the one place that reports it.
#pragma once

#include <string_view>

#include "platform/error.h"
#include "recio/errors.h"
#include "recio/recio.h"

namespace recio {

/// A failure held as a value, by the steps that return it instead of abandoning the request (the
/// steps that also run while a failed read ends, or while a connection is closed). No row: none.
struct Failure {
  ErrorId id{};
  ::platform::Error cause = ::platform::Error::kNone;

  explicit operator bool() const { return id != ErrorId{}; }
};

/// Thrown by Fail() and caught only by the request runner, which ends the request with it. Code
/// inside the record layer may catch it in tests; nothing outside the layer ever sees it.
struct RequestFailure {
  ErrorId id;
  ::platform::Error cause = ::platform::Error::kNone;
  FieldText field{};  // the text of a numeric field that failed to convert
};

/// Abandons the request in progress with a catalogue row (and the system's cause of a refusal).
/// Only valid inside a request run by the record layer; the failure reaches the request runner
/// there and nowhere else.
[[noreturn]] void Fail(ErrorId id, ::platform::Error cause = ::platform::Error::kNone);

/// Abandons the request with a failure held as a value.
[[noreturn]] inline void Fail(Failure failure) {
  Fail(failure.id, failure.cause);
}

/// The failure of a platform call at `step`, as a value: its row and the system's cause; none
/// when the call went well.
inline Failure FailureOf(SystemStep step, ::platform::Error error) {
  if (error == ::platform::Error::kNone) return {};
  return {RowOf(step, error), error};
}

/// Abandons the request when a platform call at `step` failed.
inline void FailWith(SystemStep step, ::platform::Error error) {
  if (const Failure failure = FailureOf(step, error)) Fail(failure);
}

/// Abandons the request with the row of a numeric field that failed to convert, and its text.
[[noreturn]] void FailField(ErrorId id, std::string_view text);

}  // namespace recio
