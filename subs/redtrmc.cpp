// REDTRMC: one reply field per call, taken from the typed line kept in RTERMDAT.
#include <algorithm>
#include <cstdint>

#include "subs/subs.h"
#include "subs/text.h"

namespace {

constexpr RTERMDAT_t InitialTermData() {
  RTERMDAT_t data{};
  data.IPOS = 0;
  data.ILEN = 0;
  subs::FillBlanks(data.LINE);
  subs::FillBlanks(data.TOKEN);
  return data;
}

}  // namespace

constinit RTERMDAT_t RTERMDAT = InitialTermData();

void REDTRMC(std::span<const char> prompt, const int32_t& mode, std::span<char> reply) {
  // A working copy of the mode: an empty field in the middle of a line turns the call into a
  // mode-0 call, which reads a new line whose empty field then ends the call.
  int32_t k = mode;
  for (;;) {
    if (k == 0 || RTERMDAT.IPOS == 0) {
      REDTRML(prompt, RTERMDAT.LINE);
      RTERMDAT.IPOS = 1;
    }
    const int32_t searchStart = RTERMDAT.IPOS;
    EXTRACT(RTERMDAT.LINE, RTERMDAT.IPOS, RTERMDAT.TOKEN, RTERMDAT.ILEN);

    if (RTERMDAT.ILEN > 0) {
      // A field ending in "/" is delivered without it, and the scan position goes back onto the
      // "/" so that the next call delivers it as a field of its own.
      const auto fieldLength = static_cast<std::size_t>(
          std::min<int32_t>(RTERMDAT.ILEN, static_cast<int32_t>(sizeof RTERMDAT.TOKEN)));
      if (RTERMDAT.ILEN > 1 && RTERMDAT.TOKEN[fieldLength - 1] == '/') {
        RTERMDAT.IPOS -= 2;
        RTERMDAT.ILEN -= 1;
      }
      subs::AssignText(
          reply,
          std::span<const char>(RTERMDAT.TOKEN).first(static_cast<std::size_t>(RTERMDAT.ILEN)));
      return;
    }

    if (searchStart == 1 || k == 2) {
      // An empty field that begins with a comma keeps the caller's reply (its default).
      if (RTERMDAT.TOKEN[0] != ',') subs::FillBlanks(reply);
      return;
    }
    k = 0;
  }
}
