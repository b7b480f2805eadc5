// REDTRML: the line reader, with macro recording ("@M", "@Q") and playback ("@R").
#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "recio/recio.h"
#include "subs/subs.h"
#include "subs/text.h"

namespace {

// Saved state of the line reader, kept for the whole run.
constexpr int32_t ITERM = 5;       // the terminal's unit
constinit int32_t INUNIT = ITERM;  // the terminal, or the unit of the macro file played back
constinit int32_t MACUNIT = 0;     // the unit of the macro file recorded; 0 while not recording
constexpr std::size_t kNameLength = 80;
constexpr std::array<char, kNameLength> BlankName() {
  std::array<char, kNameLength> name{};
  subs::FillBlanks(name);
  return name;
}
constinit std::array<char, kNameLength> MACFIL = BlankName();  // the macro file name entered last

constexpr int32_t kRecordSearchStart = 40;
constexpr int32_t kPlaybackSearchStart = 30;
constexpr std::size_t kPromptWidth = 132;

constexpr recio::Layout kA{"(A)"};
constexpr recio::Layout k1XA{"(1X,A)"};
constexpr recio::Layout kAStay{"(A,$)"};
constexpr recio::Layout kRulerAbove{"(/,1X,80('-'))"};
constexpr recio::Layout kRulerBelow{"(1X,80('-'),/)"};

using namespace std::string_view_literals;

constexpr auto kAskMacroName = " Enter the name of your macro file: "sv;
constexpr auto kAlreadyWriting = " You are already writing a macro to"sv;
constexpr auto kNotWriting = " You are NOT writing to a macro file!\a"sv;
constexpr auto kNotFound = " File NOT found!!\a Enter \"QUIT\" to resume terminal input"sv;
constexpr auto kReadingFrom = " The commands will be read from "sv;
constexpr auto kReadingTerminal = " Commands will be read from the terminal"sv;
constexpr auto kMacroEmpty = " The macro file is empty, reading from the terminal is resumed."sv;
static_assert(kAskMacroName.size() == 36 && kAlreadyWriting.size() + kNameLength == 115);
static_assert(kNotWriting.size() == 38 && kNotFound.size() == 56);
static_assert(kReadingFrom.size() + kNameLength == 112 && kReadingTerminal.size() == 40);
static_assert(kMacroEmpty.size() == 63);

constexpr std::array kHelpLines{
    " The commands for creating and reading a macro file are:"sv,
    "  @M - Create a macro file"sv,
    "       The name of a file to hold the macro will be requested"sv,
    "  @Q - Terminate the macro file"sv,
    "  @R - Open and read a Macro file"sv,
    "       The name of the file containing the macro will be requested"sv,
};

// The prompt record of one call: a blank, the last prompt line and " >".
struct PromptRecord {
  std::array<char, kPromptWidth + 3> text;
  std::size_t length;
};

void WriteConsole(const recio::Layout& layout, std::span<const char> text) {
  recio::Write(recio::kDefaultUnit, layout, {recio::OutputItem{text}});
}

void WriteConsole(const recio::Layout& layout, std::string_view text) {
  recio::Write(recio::kDefaultUnit, layout, {recio::OutputItem{text}});
}

// Writes `message` followed by all 80 columns of the macro file name, as one record.
void WriteWithMacroName(std::string_view message) {
  std::array<char, 64 + kNameLength> record{};
  const std::size_t head = std::min(message.size(), record.size() - kNameLength);
  std::copy_n(message.begin(), head, record.begin());
  std::copy(MACFIL.begin(), MACFIL.end(), record.begin() + static_cast<std::ptrdiff_t>(head));
  WriteConsole(kA, std::span<const char>(record.data(), head + kNameLength));
}

// Splits the prompt into lines at "|" and writes every line but the last at once; a grave accent
// ends the prompt. Characters beyond the width of a prompt line are dropped.
PromptRecord BuildPrompt(std::span<const char> prompt) {
  std::array<char, kPromptWidth> buffer;
  subs::FillBlanks(buffer);
  std::size_t j = 0;
  for (char c : prompt) {
    if (c == '`') break;
    if (c == '|') {
      WriteConsole(k1XA, std::span<const char>(buffer.data(), std::max<std::size_t>(j, 1)));
      subs::FillBlanks(buffer);
      j = 0;
    } else if (j < buffer.size()) {
      buffer[j++] = c;
    }
  }
  j = std::max<std::size_t>(j, 1);
  PromptRecord record{};
  record.text[0] = ' ';
  std::copy_n(buffer.begin(), j, record.text.begin() + 1);
  record.text[j + 1] = ' ';
  record.text[j + 2] = '>';
  record.length = j + 3;
  return record;
}

// An open of the macro file by name; trailing blanks of the name are not part of it.
recio::OpenSpec MacroFileKeywords(recio::OpenStatus status) {
  recio::OpenSpec keywords;
  keywords.name = std::span<const char>(MACFIL);
  keywords.status = status;
  return keywords;
}

void ReadMacroName(int32_t unit) {
  WriteConsole(kAStay, kAskMacroName);
  recio::Read(unit, kA, {recio::InputItem{std::span<char>(MACFIL)}});
}

// "@M": the macro name comes from the current input, so a played-back file can start a
// recording. The open takes no status: an existing file ends the run and keeps its bytes.
void StartRecording() {
  if (MACUNIT != 0) {
    WriteWithMacroName(kAlreadyWriting);
    return;
  }
  ReadMacroName(INUNIT);
  MACUNIT = kRecordSearchStart;
  GETUNIT(MACUNIT);
  recio::Open(MACUNIT, MacroFileKeywords(recio::OpenStatus::kNew));
}

// "@Q": the recorded file is closed and kept.
void EndRecording() {
  if (MACUNIT > 0) {
    recio::Close(MACUNIT);
    MACUNIT = 0;
  } else {
    WriteConsole(kA, kNotWriting);
  }
}

// "@R": asks for a file to play back until one opens or the answer begins with "QUIT".
void StartPlayback() {
  for (;;) {
    ReadMacroName(ITERM);
    if (std::string_view(MACFIL.data(), 4) == "QUIT") {
      INUNIT = ITERM;
      break;
    }
    INUNIT = kPlaybackSearchStart;
    GETUNIT(INUNIT);
    const int32_t status =
        recio::Open(INUNIT, MacroFileKeywords(recio::OpenStatus::kOld), {.status = true});
    if (status == 0) break;
    WriteConsole(kA, kNotFound);
    INUNIT = ITERM;
  }
  if (INUNIT != ITERM) {
    WriteWithMacroName(kReadingFrom);
  } else {
    WriteConsole(kA, kReadingTerminal);
  }
}

void ShowHelp() {
  recio::Write(recio::kDefaultUnit, kRulerAbove, {});
  for (std::string_view line : kHelpLines) WriteConsole(kA, line);
  recio::Write(recio::kDefaultUnit, kRulerBelow, {});
}

// Only the first two columns, upper-cased, name the command; the rest of the line is ignored.
void RunCommand(std::span<char> line) {
  UPCASE(line.first(std::min<std::size_t>(line.size(), 2)));
  const char name = line.size() >= 2 ? line[1] : ' ';
  if (name == 'M') {
    StartRecording();
  } else if (name == 'Q') {
    EndRecording();
  } else if (name == 'R' && INUNIT == ITERM) {
    StartPlayback();
  } else {
    ShowHelp();
  }
}

// Records and echoes the line as read, then cuts its comment for the caller.
void Deliver(std::span<char> line) {
  if (MACUNIT != 0 || INUNIT != ITERM) {
    // Trailing blanks are dropped, but a record keeps at least one character.
    const std::size_t kept =
        std::min(std::max<std::size_t>(subs::LastNonBlank(line), 1), line.size());
    const std::span<const char> record = line.first(kept);
    if (MACUNIT != 0) recio::Write(MACUNIT, kA, {recio::OutputItem{record}});
    if (INUNIT != ITERM) WriteConsole(k1XA, record);
  }
  const auto comment = std::find(line.begin(), line.end(), '!');
  std::fill(comment, line.end(), ' ');
}

}  // namespace

void REDTRML(std::span<const char> prompt, std::span<char> line) {
  const PromptRecord promptRecord = BuildPrompt(prompt);
  int32_t failedTerminalReads = 0;
  for (;;) {
    WriteConsole(kAStay, std::span<const char>(promptRecord.text.data(), promptRecord.length));
    const int32_t status =
        recio::Read(INUNIT, kA, {recio::InputItem{line}}, {.status = true, .end = true});
    if (status != 0) {
      // A second failure in one call ends the run, reported for the terminal's unit whichever
      // unit failed; the end of a played-back file returns to the terminal.
      if (failedTerminalReads > 0) FLGCHK(status, ITERM);
      if (INUNIT == ITERM) {
        ++failedTerminalReads;
      } else {
        recio::Close(INUNIT);
        INUNIT = ITERM;
        WriteConsole(kA, kMacroEmpty);
      }
      continue;
    }
    if (!line.empty() && line[0] == '@') {
      RunCommand(line);
      continue;
    }
    Deliver(line);
    return;
  }
}
