// Fail(): the one way to abandon the request in progress.
#include "recio/internal/failure.h"

#include <algorithm>

namespace recio {

void Fail(ErrorId id, ::platform::Error cause) {
  throw RequestFailure{id, cause};
}

void FailField(ErrorId id, std::string_view text) {
  RequestFailure failure{id};
  failure.field.length = std::min(text.size(), FieldText::kCapacity);
  std::copy_n(text.data(), failure.field.length, failure.field.chars);
  throw failure;
}

}  // namespace recio
