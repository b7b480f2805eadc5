// Fail(): the one way to abandon the request in progress.
#include "recio/failure.h"

namespace recio {

void Fail(ErrorId id) {
  throw RequestFailure{id};
}

}  // namespace recio
