// The progress line of x17b2pavo-batch.
#include "convert/batch_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/stop.h"
#include "platform/streams.h"

namespace convert::batch {
namespace {

constexpr std::chrono::milliseconds kTerminalPause{100};
constexpr std::chrono::seconds kLogPause{10};
// The rate is known once the run has gone on this long.
constexpr std::chrono::seconds kRateKnown{1};
constexpr int kColumnsWithoutATerminal = 80;

struct Character {
  std::size_t length;  // bytes; 1 for a byte that starts no character
  char32_t code;       // 0xFFFD for a byte that starts no character
};

Character Decode(std::string_view text) {
  const auto first = static_cast<unsigned char>(text[0]);
  std::size_t length = first < 0x80         ? 1
                       : (first >> 5) == 6  ? 2
                       : (first >> 4) == 14 ? 3
                       : (first >> 3) == 30 ? 4
                                            : 0;
  if (length == 0 || length > text.size()) return {1, 0xFFFD};
  char32_t code = length == 1 ? first : first & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next >> 6) != 2) return {1, 0xFFFD};
    code = (code << 6) | (next & 0x3F);
  }
  return {length, code};
}

// Columns of a character on a terminal.
int ColumnsOf(char32_t code) {
  if ((code >= 0x300 && code <= 0x36F) || (code >= 0x200B && code <= 0x200F)) return 0;
  const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                    (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                    (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                    (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x1F300 && code <= 0x1F64F) ||
                    (code >= 0x1F900 && code <= 0x1F9FF) || (code >= 0x20000 && code <= 0x3FFFD);
  return wide ? 2 : 1;
}

// "9 s", "12 min", "3 h".
std::string Duration(double seconds) {
  if (seconds < 100) return std::to_string(std::lround(seconds)) + " s";
  if (seconds < 6000) return std::to_string(std::lround(seconds / 60)) + " min";
  return std::to_string(std::lround(seconds / 3600)) + " h";
}

void Write(const std::string& text) {
  platform::WriteUnlessStopped(platform::Stream::kError, text);
}

}  // namespace

std::string FitToColumns(std::string_view text, int columns) {
  std::string fitted;
  int used = 0;
  while (!text.empty()) {
    const Character c = Decode(text);
    const bool shown =
        c.code >= 0x20 && c.code != 0x7F && !(c.code >= 0x80 && c.code < 0xA0) && c.code != 0xFFFD;
    const int width = shown ? ColumnsOf(c.code) : 1;
    if (used + width > columns) break;
    used += width;
    if (shown) {
      fitted.append(text.substr(0, c.length));
    } else {
      fitted += '?';
    }
    text.remove_prefix(c.length);
  }
  return fitted;
}

std::string Progress::Text(uint32_t done, std::string_view name) const {
  std::string text = "[" + std::to_string(done) + "/" + std::to_string(total_) + "] ";
  const auto elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  if (elapsed >= kRateKnown.count() && done > 0) {
    const double rate = done / elapsed;
    text += std::to_string(std::lround(rate)) + " scans/s, " + Duration((total_ - done) / rate) +
            " left  ";
  }
  text.append(name);
  return text;
}

void Progress::Update(uint32_t done, std::string_view name) {
  if (mode_ == Mode::kNone) return;
  const Clock::time_point now = Clock::now();
  const auto pause =
      mode_ == Mode::kLog ? Clock::duration(kLogPause) : Clock::duration(kTerminalPause);
  if (written_ && now - lastWritten_ < pause) return;
  written_ = true;
  lastWritten_ = now;
  if (mode_ == Mode::kLog) {
    Write(FitToColumns(Text(done, name), 1 << 20) + "\n");
    return;
  }
  // One column is kept free: a terminal that reaches its last column may wrap the line.
  const int columns =
      platform::TerminalColumns(platform::Stream::kError).value_or(kColumnsWithoutATerminal) - 1;
  const std::string line = FitToColumns(Text(done, name), columns);
  int width = 0;
  for (std::string_view rest = line; !rest.empty();) {
    const Character c = Decode(rest);
    width += ColumnsOf(c.code);
    rest.remove_prefix(c.length);
  }
  if (mode_ == Mode::kTerminal) {
    Write("\r" + line + "\x1b[K");
  } else {
    const int blanks = std::max(0, shownColumns_ - width);
    Write("\r" + line + std::string(static_cast<std::size_t>(blanks), ' '));
    width += blanks;
  }
  shownColumns_ = width;
  lineShown_ = true;
}

void Progress::Clear() {
  if (!lineShown_) return;
  lineShown_ = false;
  if (mode_ == Mode::kTerminal) {
    Write("\r\x1b[K");
  } else {
    Write("\r" + std::string(static_cast<std::size_t>(shownColumns_), ' ') + "\r");
  }
  shownColumns_ = 0;
}

void Progress::ClearIfReady() {
  if (!lineShown_) return;
  lineShown_ = false;
  if (mode_ == Mode::kTerminal) {
    platform::WriteIfReady(platform::Stream::kError, "\r\x1b[K");
  } else {
    platform::WriteIfReady(platform::Stream::kError,
                           "\r" + std::string(static_cast<std::size_t>(shownColumns_), ' ') + "\r");
  }
}

Progress::Mode ProgressMode(bool quiet, bool asked) {
  const bool terminal = platform::IsTerminal(platform::Stream::kError);
  if (!terminal) return asked ? Progress::Mode::kLog : Progress::Mode::kNone;
  if (quiet && !asked) return Progress::Mode::kNone;
  const char* term = std::getenv("TERM");
  const std::string_view name = term != nullptr ? term : "";
  return name.empty() || name == "dumb" ? Progress::Mode::kDumbTerminal : Progress::Mode::kTerminal;
}

}  // namespace convert::batch
