// File names: trimming, the command-line arguments and the name dialogue, scratch names.
#include "recio/internal/names.h"

#include <cstring>
#include <string>

#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "platform/this_process.h"
#include "recio/internal/console.h"
#include "recio/internal/failure.h"

namespace recio {
namespace {

constinit int gArgc = 0;
constinit char** gArgv = nullptr;
constinit int gNextArgument = 1;

void WriteToStdout(std::string_view text) {
  FailWith(SystemStep::kWrite, platform::WriteAll(platform::StreamHandle(platform::Stream::kOutput),
                                                  text.data(), text.size())
                                   .error);
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kPad{" \0", 2};
  const std::size_t first = text.find_first_not_of(kPad);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kPad);
  return text.substr(first, last - first + 1);
}

void SetArguments(int argc, char** argv) {
  gArgc = argc;
  gArgv = argv;
  gNextArgument = 1;
}

void RunNameDialogue(int32_t unit, FixedName& name) {
  if (gNextArgument < gArgc) {
    const std::string_view argument = gArgv[gNextArgument++];
    const std::string_view trimmed = TrimBlanks(argument.substr(0, kMaxNameLength));
    if (!trimmed.empty()) {
      name.Assign(trimmed);
      return;
    }
  }
  FailWith(SystemStep::kWrite, console::BreakLineBeforeDialogue().error);
  const std::string question =
      "File name missing or blank - please enter file name\r\nUNIT " + std::to_string(unit) + "? ";
  // From a terminal at most 258 characters are taken and the rest stays; from redirected input
  // at most 260, and the rest of the line is skipped.
  const std::size_t limit = console::Input().attributes.interactiveInput ? 258 : 260;
  char line[260];
  for (;;) {
    WriteToStdout(question);
    const std::size_t got = console::ReadDialogueLine(std::span<char>(line, limit));
    const std::string_view trimmed = TrimBlanks({line, got});
    if (!trimmed.empty()) {
      name.Assign(trimmed);
      return;
    }
  }
}

void MakeScratchName(FixedName& name) {
  constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const uint32_t seed = platform::ProcessNumber();
  for (uint32_t attempt = 0; attempt < 1000; ++attempt) {
    uint32_t value = seed * 1000u + attempt;
    char text[9] = "ZZXXXXXX";
    for (int i = 7; i >= 2; --i) {
      text[i] = kDigits[value % 36];
      value /= 36;
    }
    if (!platform::Exists(text)) {
      name.Assign(text);
      return;
    }
  }
  Fail(ErrorId::kScratchNameLimit);
}

}  // namespace recio
