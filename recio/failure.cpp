// Fail(): the one way to abandon the request in progress.
#include "recio/internal/failure.h"

namespace recio {

void Fail(ErrorId id) {
  throw RequestFailure{id};
}

}  // namespace recio
