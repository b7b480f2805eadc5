// How a failure travels from where it is found to the one place that reports it.
#pragma once

#include "recio/errors.h"

namespace recio {

/// Thrown by Fail() and caught only by the request runner, which hands it to the failure report.
/// Code inside the record layer may catch it in tests; nothing outside the layer ever sees it.
struct RequestFailure {
  ErrorId id;
};

/// Abandons the request in progress with a catalogue row. Only valid inside a request run by the
/// record layer; the failure reaches the failure report there and nowhere else.
[[noreturn]] void Fail(ErrorId id);

}  // namespace recio
