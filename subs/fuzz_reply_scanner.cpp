// Fuzz target: arbitrary typed lines through the whole reply path, REDTRML reading standard input
// (a pipe) through the record layer and REDTRMC taking fields in every mode, and EXTRACT walking
// each line; every reply must be one well-formed field and no buffer may be overrun.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "recio/recio.h"
#include "subs/subs.h"

namespace {

// The last line of every input; its first byte never survives the clean-up of the fuzz data, so
// the drain below stops exactly there.
constexpr std::string_view kSentinel = "\x7f\x7f end of input";
// Replies that REDTRMC may still read after the fuzz data: each call reads at most two lines.
constexpr int kSpareLines = 24;
constexpr int kMaxCalls = 8;
constexpr std::size_t kMaxData = 16 * 1024;  // well inside a pipe's buffer

// Makes the data safe to feed as typed replies in one process: "@M" and "@R" would create or open
// files (and a failing open ends the run), so they become the help command; Ctrl-Z would be an end
// of input, and two of them in one question end the run through FLGCHK.
std::string CleanReplies(const uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), std::min(size, kMaxData));
  bool lineStart = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char& c = text[i];
    if (c == '\x1a') c = 'Z';
    if (c == '\x7f') c = '?';
    if (lineStart && c == '@' && i + 1 < text.size()) {
      char& command = text[i + 1];
      if (command == 'M' || command == 'm' || command == 'R' || command == 'r') command = 'X';
    }
    lineStart = c == '\n';
  }
  text += '\n';
  for (int i = 0; i < kSpareLines; ++i) text += "spare\n";
  text += kSentinel;
  text += '\n';
  return text;
}

// Standard input becomes a pipe holding `text`, already closed for writing.
void FeedStandardInput(const std::string& text) {
  int fds[2];
  if (pipe(fds) != 0) __builtin_trap();
  if (write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    __builtin_trap();
  }
  close(fds[1]);
  dup2(fds[0], 0);
  close(fds[0]);
}

// A reply is one field: no blank, tab or comma inside it, blanks after it, and never a comment.
void CheckReply(std::span<const char> reply) {
  auto end = std::find(reply.begin(), reply.end(), ' ');
  if (std::any_of(end, reply.end(), [](char c) { return c != ' '; })) __builtin_trap();
  if (std::any_of(reply.begin(), end, [](char c) { return c == '\t' || c == ',' || c == '!'; })) {
    __builtin_trap();
  }
}

// EXTRACT over one 132-column line: positions only move forward, each field is free of
// separators, and the walk ends past the last column.
void WalkLine(std::span<const char> line, std::size_t tokenWidth) {
  std::vector<char> token(tokenWidth);
  int32_t position = 1;
  int32_t length = 0;
  for (int fields = 0; position <= static_cast<int32_t>(line.size()); ++fields) {
    int32_t before = position;
    EXTRACT(line, position, token, length);
    if (position <= before || length < 0 || length > static_cast<int32_t>(line.size())) {
      __builtin_trap();
    }
    std::size_t shown = std::min<std::size_t>(static_cast<std::size_t>(length), token.size());
    for (std::size_t k = 0; k < shown; ++k) {
      if (token[k] == ' ' || token[k] == '\t' || token[k] == ',') __builtin_trap();
    }
    if (fields > 200) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // The record layer looks at the standard streams once: make them a pipe and the null device
  // before it starts, as in a scripted run.
  FeedStandardInput("");
  int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  close(null);
  recio::Start(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Byte 0 picks the modes of the calls (two bits each), byte 1 the reply and token widths.
  const uint8_t modes = data[0];
  const std::size_t width = static_cast<std::size_t>(data[1] % 140) + 1;
  FeedStandardInput(CleanReplies(data + 2, size - 2));

  RTERMDAT.IPOS = 0;  // a fresh start: the first call reads a line
  const std::array<char, 4> prompt{'Q', '|', 'A', '`'};
  std::vector<char> reply(width);
  for (int call = 0; call < kMaxCalls; ++call) {
    const int32_t mode = (modes >> (2 * (call % 4))) & 3;
    std::fill(reply.begin(), reply.end(), '#');
    REDTRMC(prompt, mode, reply);
    CheckReply(reply);
    // Past the end of a used-up line each mode-2 call moves the position on by one column.
    if (RTERMDAT.IPOS < 1 || RTERMDAT.IPOS > 133 + call + 1 || RTERMDAT.ILEN < 0 ||
        RTERMDAT.ILEN > 131) {
      __builtin_trap();
    }
    WalkLine(RTERMDAT.LINE, width);
    if (std::find(std::begin(RTERMDAT.LINE), std::end(RTERMDAT.LINE), '!') !=
        std::end(RTERMDAT.LINE)) {
      __builtin_trap();  // the comment cut leaves no "!" in a delivered line
    }
  }

  // Read the rest, so that nothing of this input is left for the next one.
  const int32_t everyLine = 0;
  for (std::size_t lines = 0; RTERMDAT.LINE[0] != kSentinel[0]; ++lines) {
    if (lines > kMaxData + kSpareLines + 1) __builtin_trap();
    REDTRMC(prompt, everyLine, reply);
  }
  return 0;
}
