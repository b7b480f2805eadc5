// The Windows console is written in UTF-16, so text handed over in pieces must reach it in whole
// characters, whatever byte a piece ends on.
#include "platform/console_windows.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

// Whether `text` ends where a UTF-8 character ends.
bool EndsWhole(const std::string& text) {
  for (std::size_t i = 1; i <= 4 && i <= text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[text.size() - i]);
    if ((byte & 0xC0) == 0x80) continue;
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length == i;
  }
  return text.empty();
}

TEST(ConsoleTextTest, PiecesSplitInsideACharacterReachTheConsoleWhole) {
  // One, two, three and four bytes: A, e acute, a CJK character, a musical symbol.
  const std::string text =
      "A\xC3\xA9\xE6\x97\xA5\xF0\x9D\x84\x9E"
      "z";
  for (std::size_t first = 0; first <= text.size(); ++first) {
    for (std::size_t second = first; second <= text.size(); ++second) {
      std::string carry;
      std::string shown = WholeCharacters(carry, text.data(), first);
      EXPECT_TRUE(EndsWhole(shown)) << first;
      shown += WholeCharacters(carry, text.data() + first, second - first);
      EXPECT_TRUE(EndsWhole(shown)) << first << " " << second;
      shown += WholeCharacters(carry, text.data() + second, text.size() - second);
      EXPECT_EQ(shown, text) << first << " " << second;
      EXPECT_TRUE(carry.empty());
    }
  }
}

TEST(ConsoleTextTest, BytesThatStartNoCharacterAreNeverHeldBack) {
  std::string carry;
  EXPECT_EQ(WholeCharacters(carry, "a\xE6", 2), "a");  // the start of a character waits
  EXPECT_EQ(WholeCharacters(carry, "b", 1),
            "\xE6"
            "b");  // and goes when no character follows
  EXPECT_EQ(WholeCharacters(carry, "\x80\xFF", 2), "\x80\xFF");
  EXPECT_TRUE(carry.empty());
}

}  // namespace
}  // namespace platform
