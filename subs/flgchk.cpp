// FLGCHK: the program's own report of an input/output status, followed by the stop.
#include <string_view>

#include "recio/recio.h"
#include "subs/subs.h"

namespace {

constexpr recio::Layout kStatusRecord{"(A,I4,A,I3)"};
constexpr std::string_view kErrorNumber{" FORTRAN error number"};
constexpr std::string_view kOnUnit{" on unit"};
static_assert(kErrorNumber.size() == 21 && kOnUnit.size() == 8);

}  // namespace

void FLGCHK(const int32_t& status, const int32_t& unit) {
  // The record's leading blank is the console's carriage control. The stop line follows; the run
  // reports failure through its exit code whenever the status is not a success.
  recio::Write(recio::kDefaultUnit, kStatusRecord,
               {recio::OutputItem{kErrorNumber}, recio::OutputItem{status},
                recio::OutputItem{kOnUnit}, recio::OutputItem{unit}});
  recio::Stop(status == 0 ? 0 : 1);
}
