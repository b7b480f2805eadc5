// Windows implementation of console text in UTF-8: ReadConsoleW and WriteConsoleW.
#include "platform/console_windows.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/error_windows.h"
#include "platform/paths_windows.h"

namespace platform {
namespace {

// A console read asks for at most this many UTF-16 units; their UTF-8 fits the typed buffer.
constexpr std::size_t kMostUnits = 1024;

// What was typed and converted but not yet handed out: the rest of one line at most, since a
// console read returns no more than one line.
struct Typed {
  std::array<char, 3 * kMostUnits + 4> bytes{};
  std::size_t next = 0;
  std::size_t end = 0;
  std::size_t left() const { return end - next; }
};
constinit Typed gTyped;

// The start of a character that a write split off, for each standard stream's console.
struct Carry {
  HANDLE handle = nullptr;
  std::array<char, 4> bytes{};
  std::size_t length = 0;
};
constinit std::array<Carry, 3> gCarries;

// The console-ness of the standard streams' handles, asked once per handle.
struct Known {
  HANDLE handle = nullptr;
  bool console = false;
};
constinit std::array<Known, 3> gKnown;

Carry& CarryOf(HANDLE handle) {
  for (Carry& carry : gCarries) {
    if (carry.handle == handle) return carry;
  }
  for (Carry& carry : gCarries) {
    if (carry.handle == nullptr) {
      carry.handle = handle;
      return carry;
    }
  }
  gCarries[0] = Carry{handle, {}, 0};  // more consoles than streams: never split one by then
  return gCarries[0];
}

// How many bytes the UTF-8 character starting with `lead` has; 1 for a byte that starts none.
std::size_t LengthOf(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

bool IsHighSurrogate(wchar_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

// Reads one typed line, or as much of it as `room` units hold, into gTyped (empty before). A
// read that an interrupt (Ctrl-C) cut short returns nothing: the console has not ended, it is read
// again.
Result ReadTypedLine(HANDLE handle, std::size_t room) {
  room = std::min(room, kMostUnits);
  std::array<wchar_t, kMostUnits + 1> wide{};
  for (;;) {
    DWORD got = 0;
    if (!ReadConsoleW(handle, wide.data(), static_cast<DWORD>(room), &got, nullptr)) {
      if (GetLastError() == ERROR_OPERATION_ABORTED) continue;
      return ResultOfLastError();
    }
    if (got == 0) continue;
    // A character outside the BMP is two UTF-16 units: the second is taken with the first.
    if (IsHighSurrogate(wide[got - 1])) {
      DWORD more = 0;
      if (ReadConsoleW(handle, wide.data() + got, 1, &more, nullptr)) got += more;
    }
    const std::string text = Utf8Of(std::wstring_view(wide.data(), got));
    gTyped.next = 0;
    gTyped.end = std::min(text.size(), gTyped.bytes.size());
    std::copy_n(text.data(), gTyped.end, gTyped.bytes.data());
    return {};
  }
}

}  // namespace

bool IsConsoleStream(HANDLE handle) {
  for (Known& known : gKnown) {
    if (known.handle == handle) return known.console;
  }
  constexpr std::array<DWORD, 3> kStreams = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  static_assert(kStreams.size() == std::tuple_size_v<decltype(gKnown)>);
  for (std::size_t i = 0; i < kStreams.size(); ++i) {
    if (GetStdHandle(kStreams[i]) == handle) {
      DWORD mode = 0;
      gKnown[i] = Known{handle, GetConsoleMode(handle, &mode) != 0};
      return gKnown[i].console;
    }
  }
  return false;
}

IoResult ReadConsoleText(HANDLE handle, char* buffer, std::size_t size) {
  if (size == 0) return IoResult{0};  // a console read of no units would never return
  if (gTyped.left() == 0) {
    // Each UTF-16 unit is at least one byte in UTF-8: a line of `size` units fills the buffer.
    const Result read = ReadTypedLine(handle, size);
    if (!read.ok()) return IoResult{0, read.error};
  }
  const char* const typed = gTyped.bytes.data() + gTyped.next;
  // Never half a character, unless a character would not fit at all.
  std::size_t count = std::min(size, gTyped.left());
  while (count < gTyped.left() && count > 0 &&
         (static_cast<unsigned char>(typed[count]) & 0xC0) == 0x80) {
    --count;
  }
  if (count == 0) count = std::min(size, gTyped.left());
  std::copy_n(typed, count, buffer);
  gTyped.next += count;
  return IoResult{count};
}

std::string WholeCharacters(std::string& carry, const char* data, std::size_t size) {
  std::string text = carry;
  text.append(data, size);
  carry.clear();
  // The last character's lead byte decides whether the text ends inside it.
  const std::size_t back = std::min<std::size_t>(3, text.size());
  for (std::size_t i = 1; i <= back; ++i) {
    const auto byte = static_cast<unsigned char>(text[text.size() - i]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    if (LengthOf(byte) > i) {
      const std::size_t whole = text.size() - i;
      carry.assign(text.data() + whole, i);
      text.resize(whole);
    }
    break;
  }
  return text;
}

IoResult WriteConsoleText(HANDLE handle, const char* data, std::size_t size) {
  Carry& kept = CarryOf(handle);
  std::string carry(kept.bytes.data(), kept.length);
  const std::string text = WholeCharacters(carry, data, size);
  kept.length = std::min(carry.size(), kept.bytes.size());
  std::copy_n(carry.data(), kept.length, kept.bytes.data());
  // Bytes that are no UTF-8 become U+FFFD rather than stopping the text.
  std::wstring wide;
  if (!text.empty()) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    wide.resize(static_cast<std::size_t>(std::max(length, 0)));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  }
  std::size_t done = 0;
  while (done < wide.size()) {
    DWORD wrote = 0;
    if (!WriteConsoleW(handle, wide.data() + done, static_cast<DWORD>(wide.size() - done), &wrote,
                       nullptr)) {
      return IoResult{0, ErrorFromWin32(GetLastError())};
    }
    done += wrote;
  }
  return IoResult{size};
}

}  // namespace platform
