// Fuzz target: EXTRACT and REDTRMC over arbitrary lines never leave their buffers.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "subs/subs.h"
#include "subs/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the token and reply widths; the rest is the line.
  const std::size_t tokenWidth = data[0] % 140;
  const std::size_t replyWidth = data[1] % 140;
  std::vector<char> line(data + 2, data + size);
  std::vector<char> token(tokenWidth);
  std::vector<char> reply(replyWidth);

  int32_t position = static_cast<int32_t>(data[0]) - 100;
  int32_t length = 0;
  while (position <= static_cast<int32_t>(line.size()) + 1) {
    EXTRACT(line, position, token, length);
    if (length < 0 || length >= static_cast<int32_t>(line.size()) + 1) __builtin_trap();
  }

  // Mode 2 on a line already read never reads another, so REDTRMC runs here without a console.
  subs::AssignText(RTERMDAT.LINE, std::span<const char>(line));
  RTERMDAT.IPOS = 1;
  const int32_t mode = 2;
  for (int call = 0; call < 140 && RTERMDAT.IPOS <= 133; ++call) {
    REDTRMC(std::span<const char>(), mode, reply);
  }
  return 0;
}
