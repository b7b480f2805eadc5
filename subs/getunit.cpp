// GETUNIT: the first unit number without a connection, for a new file.
#include <cstdint>
#include <limits>

#include "recio/recio.h"
#include "subs/subs.h"

void GETUNIT(int32_t& unit) {
  // A start outside 11 to 90 becomes 11; from the start the search goes up without a limit of its
  // own, past 90 if every unit up to there is taken.
  if (unit < 11 || unit > 90) unit = 11;
  while (unit < std::numeric_limits<int32_t>::max() && recio::Inquire(unit)) ++unit;
}
