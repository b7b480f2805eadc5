// How a failure travels from where it is found to the one place that reports it.
#pragma once

#include "recio/errors.h"

namespace recio {

/// Thrown by Fail() and caught only by the request runner, which hands it to the failure report.
/// Code inside the record layer may catch it in tests; nothing outside the layer ever sees it.
struct RequestFailure {
  ErrorId id;
};

}  // namespace recio
