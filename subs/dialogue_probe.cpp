// A small program that runs a scripted dialogue through the dialogue routines, for tests.
//
// The script comes from the environment variable X17B_DIALOGUE_SCRIPT: steps separated by ";".
//   C<mode>,<length>,<prompt>  REDTRMC into a reply of <length> columns that holds "old" before
//                              the call; the reply is echoed as "[reply]"
//   L<length>,<prompt>         REDTRML into a line of <length> columns, echoed as "[line]"
//   U<unit>                    GETUNIT starting from <unit>, echoed as "[unit]"
//   I<unit>                    whether <unit> is connected, echoed as "[T]" or "[F]"
//   O<unit>,<name>             opens <unit> on the new file <name>
//   F<status>,<unit>           FLGCHK
// Every echo is one console record written behind a one-column skip. The run ends with the stop.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "recio/recio.h"
#include "subs/subs.h"
#include "subs/text.h"

namespace {

constexpr recio::Layout k1XA{"(1X,A)"};
constexpr std::size_t kMaxLength = 400;
constexpr std::string_view kDefaultScript =
    "C1,80,First question;C1,80,Second question;C1,80,Third question";

char gReply[kMaxLength];
char gEcho[kMaxLength + 2];

int32_t ToInt(std::string_view text) {
  int32_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// Splits off the text before the first comma of `rest`.
std::string_view NextArgument(std::string_view& rest) {
  const std::size_t comma = rest.find(',');
  const std::string_view argument = rest.substr(0, comma);
  rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
  return argument;
}

void Echo(std::span<const char> text) {
  gEcho[0] = '[';
  subs::AssignText(std::span<char>(gEcho + 1, text.size()), text);
  gEcho[text.size() + 1] = ']';
  recio::Write(recio::kDefaultUnit, k1XA,
               {recio::OutputItem{std::span<const char>(gEcho, text.size() + 2)}});
}

std::span<char> Buffer(std::string_view length) {
  const auto columns = static_cast<std::size_t>(ToInt(length));
  return std::span<char>(gReply, columns < kMaxLength ? columns : kMaxLength);
}

void RunStep(std::string_view step) {
  if (step.empty()) return;
  std::string_view rest = step.substr(1);
  switch (step[0]) {
    case 'C': {
      const int32_t mode = ToInt(NextArgument(rest));
      const std::span<char> reply = Buffer(NextArgument(rest));
      subs::AssignText(reply, std::string_view{"old"});
      REDTRMC(std::span<const char>(rest.data(), rest.size()), mode, reply);
      Echo(reply);
      break;
    }
    case 'L': {
      const std::span<char> line = Buffer(NextArgument(rest));
      subs::FillBlanks(line);
      REDTRML(std::span<const char>(rest.data(), rest.size()), line);
      Echo(line);
      break;
    }
    case 'U': {
      int32_t unit = ToInt(rest);
      GETUNIT(unit);
      char digits[16];
      const auto end = std::to_chars(digits, digits + sizeof digits, unit).ptr;
      Echo(std::span<const char>(digits, static_cast<std::size_t>(end - digits)));
      break;
    }
    case 'I':
      Echo(std::string_view{recio::Inquire(ToInt(rest)) ? "T" : "F"});
      break;
    case 'O': {
      const int32_t unit = ToInt(NextArgument(rest));
      recio::OpenSpec keywords;
      keywords.name = std::span<const char>(rest.data(), rest.size());
      keywords.status = recio::OpenStatus::kNew;
      recio::Open(unit, keywords);
      break;
    }
    case 'F': {
      const int32_t status = ToInt(NextArgument(rest));
      const int32_t unit = ToInt(rest);
      FLGCHK(status, unit);
    }
    default:
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  recio::Start(argc, argv);
  const char* fromEnvironment = std::getenv("X17B_DIALOGUE_SCRIPT");
  std::string_view script = fromEnvironment != nullptr ? fromEnvironment : kDefaultScript;
  while (!script.empty()) {
    const std::size_t end = script.find(';');
    RunStep(script.substr(0, end));
    script = end == std::string_view::npos ? std::string_view{} : script.substr(end + 1);
  }
  recio::Stop();
}
