// The stress harness's invariants: end of the run, messages, console bytes and written files.
#include "tests/stress/checks.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <set>

#include "recio/errors.h"

namespace x17b_stress {
namespace {

constexpr std::string_view kStop = "Stop - Program terminated.\r\n";
constexpr std::size_t kRecord = 82;

struct Fault {
  int number;
  std::string_view word;
};
constexpr std::array<Fault, 5> kFaults{{{6101, "invalid"},
                                        {6103, "divide by zero"},
                                        {6104, "overflow"},
                                        {6110, "stack overflow"},
                                        {6111, "stack underflow"}}};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// An integer written right-aligned in its whole field, or the field's overflow asterisks.
bool IsIntegerField(std::string_view field) {
  if (field.find_first_not_of('*') == std::string_view::npos) return true;
  std::size_t i = field.find_first_not_of(' ');
  if (i == std::string_view::npos) return false;
  std::string_view number = field.substr(i);
  if (number[0] == '-') number.remove_prefix(1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  if (number.size() > 1 && number[0] == '0') return false;  // never a leading zero
  return !(number == "0" && field[i] == '-');               // never a minus zero
}

// A real written with the 1PE13.5 rule: one digit, five decimals, a two-digit signed exponent.
bool IsExponentField(std::string_view field) {
  if (field.size() != 13) return false;
  // Two blanks, or a blank and the minus sign, before the 11 characters of the number.
  bool negative = field[1] == '-';
  std::string_view text = field.substr(2);
  if (field[0] != ' ' || (!negative && field[1] != ' ')) return false;
  if (text.size() != 11 || text[1] != '.' || text[7] != 'E') return false;
  if (text[8] != '+' && text[8] != '-') return false;
  for (std::size_t k : {0, 2, 3, 4, 5, 6, 9, 10}) {
    if (!std::isdigit(static_cast<unsigned char>(text[k]))) return false;
  }
  if (text[0] == '0') return !negative && text == "0.00000E+00";  // zero has one spelling
  return true;
}

int ToInt(std::string_view field) {
  std::string text(field);
  return std::stoi(text);
}

std::vector<std::string> CheckRecordShapes(std::string_view bytes, std::size_t records) {
  std::vector<std::string> problems;
  if (records >= 1) {
    std::string_view stamp = bytes.substr(40, 40);
    bool ok = IsIntegerField(stamp.substr(0, 4)) &&
              stamp.substr(19).find_first_not_of(' ') == std::string_view::npos;
    for (std::size_t k = 0; k < 5; ++k) {
      ok = ok && stamp[4 + 3 * k] == ':' && IsIntegerField(stamp.substr(5 + 3 * k, 2));
    }
    if (!ok)
      problems.push_back("title record columns 41-80 are not a stamp: " + std::string(stamp));
  }
  if (records >= 2) {
    std::string_view bank = bytes.substr(kRecord, 80);
    bool ok = StartsWith(bank, "BANK 1") && IsIntegerField(bank.substr(6, 5)) &&
              IsIntegerField(bank.substr(11, 5)) && bank.substr(16, 4) == " EDS" &&
              bank.substr(72, 8) == " STD    ";
    for (std::size_t k = 0; k < 4; ++k) ok = ok && IsExponentField(bank.substr(20 + 13 * k, 13));
    if (!ok) problems.push_back("bank record malformed: " + std::string(bank));
  }
  for (std::size_t r = 2; r < records; ++r) {
    std::string_view counts = bytes.substr(r * kRecord, 80);
    for (std::size_t k = 0; k < 10; ++k) {
      if (!IsIntegerField(counts.substr(8 * k, 8))) {
        problems.push_back("count record " + std::to_string(r + 1) +
                           " malformed: " + std::string(counts));
        break;
      }
    }
  }
  return problems;
}

std::string Trim(std::string_view text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return "";
  std::size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(begin, end - begin + 1));
}

std::vector<std::string> Lines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    lines.emplace_back(line.substr(0, line.find('\r')));  // a CR ends the record's text
    start = end + 1;
  }
  return lines;
}

enum class Role { kPowder, kMacro, kEither };

// Whether a typed name names the file at `path` (relative to the working directory).
bool SamePath(const std::string& name, const std::string& path) {
  return !name.empty() && std::filesystem::path(name).lexically_normal() ==
                              std::filesystem::path(path).lexically_normal();
}

// How a file that the run created is to be judged. A name typed only right after an "@M" line is
// a macro file; a ".pavo" name never given after "@M" is the powder data file; any other new file
// (a cut long name, a name used in both roles) must be one or the other.
Role RoleOf(const std::string& path, const Case& c, const Snapshot& before) {
  std::vector<std::string> lines = Lines(c.input);
  for (const auto& [name, bytes] : before) {
    std::vector<std::string> more = Lines(bytes);
    lines.insert(lines.end(), more.begin(), more.end());
  }
  bool afterM = false;
  bool asMacro = false;
  bool elsewhere = false;
  bool blankMacroName = false;  // the name dialogue then takes an argument or a later line
  for (const std::string& line : lines) {
    bool mentions = line.find(path) != std::string::npos;
    if (afterM && SamePath(Trim(line.substr(0, 80)), path)) {
      asMacro = true;
    } else if (mentions) {
      elsewhere = true;
    }
    blankMacroName = blankMacroName || (afterM && Trim(line.substr(0, 80)).empty());
    afterM = line.size() >= 2 && line[0] == '@' && std::toupper(line[1]) == 'M';
  }
  for (const std::string& arg : c.args)
    elsewhere = elsewhere || arg.find(path) != std::string::npos;
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  // While a macro is being recorded, "@M" asks for no name and the next line is an ordinary
  // reply; with more than one "@M" the line after one of them may be either.
  long commands = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.size() >= 2 && line[0] == '@' && std::toupper(line[1]) == 'M';
  });
  if (blankMacroName || commands > 1) return Role::kEither;
  if (asMacro && !elsewhere) return Role::kMacro;
  if (!asMacro && EndsWith(lower, ".pavo")) return Role::kPowder;
  return Role::kEither;
}

bool WholeRecords(std::string_view bytes) {
  if (bytes.size() % kRecord != 0) return false;
  for (std::size_t r = 0; r < bytes.size(); r += kRecord) {
    std::string_view text = bytes.substr(r, 80);
    if (bytes[r + 80] != '\r' || bytes[r + 81] != '\n') return false;
    if (text.find_first_of("\r\n") != std::string_view::npos) return false;
  }
  return true;
}

void CheckConsole(const x17b_test::RunResult& result, const std::optional<Message>& message,
                  std::vector<std::string>& violations) {
  const std::string& out = result.out;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) {
      violations.push_back("stdout: line feed without carriage return at byte " +
                           std::to_string(i));
      break;
    }
  }
  std::string_view view = out;
  if (EndsWith(view, "\r\n\r\n")) view.remove_suffix(2);
  bool endsWithStop = EndsWith(view, kStop);
  bool flgchk = out.find("FORTRAN error number") != std::string::npos;
  if (result.exitCode == 0 && !endsWithStop) {
    violations.push_back("stdout: exit code 0 without the stop line at the end");
  }
  if (result.exitCode == 1 && result.err.empty()) {
    if (!flgchk || !endsWithStop) {
      violations.push_back("exit: code 1 with neither a failure message nor the status report");
    }
  }
  if (message && message->statement != "CLOSE" && endsWithStop) {
    violations.push_back("stdout: the stop line after a failure message");
  }
}

}  // namespace

std::optional<Message> ParseMessage(std::string_view err, std::string& why) {
  constexpr std::string_view kHead = "\r\nrun-time error ";
  if (!StartsWith(err, kHead)) {
    why = "does not begin with CR LF and \"run-time error \"";
    return std::nullopt;
  }
  std::string_view rest = err.substr(kHead.size());
  if (rest.size() < 7 || (rest[0] != 'F' && rest[0] != 'M') || rest.substr(5, 2) != ": ") {
    why = "no letter, four digits and \": \" after \"run-time error \"";
    return std::nullopt;
  }
  std::string_view digits = rest.substr(1, 4);
  if (digits.find_first_not_of("0123456789") != std::string_view::npos) {
    why = "the error number is not four digits";
    return std::nullopt;
  }
  Message message;
  message.kind = rest[0];
  message.number = ToInt(digits);
  rest.remove_prefix(7);
  if (!EndsWith(rest, "\r\n")) {
    why = "the message does not end with CR LF";
    return std::nullopt;
  }
  rest.remove_suffix(2);
  std::size_t split = rest.find("\r\n- ");
  if (split == std::string_view::npos) {
    why = "no second line beginning with \"- \"";
    return std::nullopt;
  }
  std::string_view head = rest.substr(0, split);
  message.text = std::string(rest.substr(split + 4));
  if (message.text.find_first_of("\r\n") != std::string::npos) {
    why = "more than one message, or a line break inside the text";
    return std::nullopt;
  }
  if (message.kind == 'M') {
    message.statement = std::string(head);
    auto fault = std::find_if(kFaults.begin(), kFaults.end(),
                              [&](const Fault& f) { return f.number == message.number; });
    if (head != "MATH" || fault == kFaults.end() ||
        message.text != "floating-point error: " + std::string(fault->word)) {
      why = "not a floating-point fault message of a known number and word";
      return std::nullopt;
    }
    return message;
  }
  std::size_t open = head.find('(');
  if (open == std::string_view::npos || !EndsWith(head, ")")) {
    why = "no file name in parentheses after the statement";
    return std::nullopt;
  }
  message.statement = std::string(head.substr(0, open));
  message.name = std::string(head.substr(open + 1, head.size() - open - 2));
  static const std::set<std::string> kStatements{"OPEN", "READ", "WRITE", "CLOSE", "INQUIRE"};
  if (kStatements.count(message.statement) == 0) {
    why = "unknown statement word \"" + message.statement + "\"";
    return std::nullopt;
  }
  std::string_view expected = recio::CatalogueText(static_cast<recio::ErrorId>(message.number));
  if (expected.empty() || expected != message.text) {
    why = "the text does not belong to error number " + std::to_string(message.number);
    return std::nullopt;
  }
  return message;
}

std::vector<std::string> CheckPowderFile(std::string_view bytes, bool completed) {
  if (!WholeRecords(bytes)) {
    return {"not a whole number of 82-byte records ending in CR LF (" +
            std::to_string(bytes.size()) + " bytes)"};
  }
  std::size_t records = bytes.size() / kRecord;
  std::vector<std::string> problems = CheckRecordShapes(bytes, records);
  if (!problems.empty()) return problems;
  if (!completed) {
    if (records > 2) {
      problems.push_back("a failed run wrote " + std::to_string(records) +
                         " records; only the title and bank records come before the counts");
    }
    return problems;
  }
  if (records < 2) return {"a completed run wrote " + std::to_string(records) + " records"};
  int n = ToInt(bytes.substr(kRecord + 6, 5));
  int nrec = ToInt(bytes.substr(kRecord + 11, 5));
  if (nrec != (n - 1) / 10 + 1) {
    problems.push_back("bank record: NREC " + std::to_string(nrec) + " for N " + std::to_string(n));
  }
  if (records != 2 + static_cast<std::size_t>(std::max(nrec, 0))) {
    problems.push_back(std::to_string(records) + " records for NREC " + std::to_string(nrec));
    return problems;
  }
  for (std::size_t r = 2; r < records; ++r) {
    for (std::size_t k = 0; k < 10; ++k) {
      long long index = static_cast<long long>((r - 2) * 10 + k + 1);
      if (index > n && bytes.substr(r * kRecord + 8 * k, 8) != "       0") {
        problems.push_back("count " + std::to_string(index) + " past N=" + std::to_string(n) +
                           " is not 0");
        return problems;
      }
    }
  }
  return problems;
}

std::vector<std::string> CheckMacroFile(std::string_view bytes) {
  std::size_t start = 0;
  int record = 0;
  while (start < bytes.size()) {
    ++record;
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string_view::npos)
      return {"record " + std::to_string(record) + " has no CR LF"};
    std::string_view text = bytes.substr(start, end - start);
    if (text.empty() || text.size() > 132) {
      return {"record " + std::to_string(record) + " has " + std::to_string(text.size()) +
              " characters"};
    }
    if (text.find_first_of("\r\n") != std::string_view::npos) {
      return {"record " + std::to_string(record) + " holds a CR or LF"};
    }
    if (text.size() > 1 && text.back() == ' ') {
      return {"record " + std::to_string(record) + " keeps trailing blanks"};
    }
    start = end + 2;
  }
  return {};
}

bool NamesErrorDevice(const Case& c) {
  auto isErr = [](std::string_view text) {
    std::string name = Trim(text.substr(0, 80));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    return name == "ERR" || name == "ERR.";
  };
  for (const std::string& line : Lines(c.input)) {
    if (isErr(line)) return true;
  }
  for (const CaseFile& file : c.files) {
    for (const std::string& line : Lines(file.bytes)) {
      if (isErr(line)) return true;
    }
  }
  return std::any_of(c.args.begin(), c.args.end(),
                     [&](const std::string& arg) { return isErr(arg); });
}

bool NamesEndlessDevice(const Case& c) {
  auto names = [](const std::string& text) {
    return text.find("devfull") != std::string::npos ||
           text.find("/dev/full") != std::string::npos ||
           text.find("/dev/zero") != std::string::npos;
  };
  bool found = names(c.input);
  for (const std::string& arg : c.args) found = found || names(arg);
  for (const CaseFile& file : c.files) found = found || names(file.bytes);
  return found;
}

std::vector<std::string> CheckRun(const Case& c, const x17b_test::RunResult& result,
                                  const Snapshot& before, const Snapshot& after) {
  std::vector<std::string> violations;
  if (result.timedOut && NamesEndlessDevice(c)) return violations;
  if (result.timedOut) violations.push_back("hang: no exit before the time limit");
  if (result.signal != 0 && !result.timedOut)
    violations.push_back("signal: ended by signal " + std::to_string(result.signal));
  if (!result.timedOut && result.signal == 0 && result.exitCode != 0 && result.exitCode != 1) {
    violations.push_back("exit: code " + std::to_string(result.exitCode));
  }
  if (!violations.empty()) return violations;

  std::optional<Message> message;
  if (!result.err.empty()) {
    std::string why;
    message = ParseMessage(result.err, why);
    if (!message && NamesErrorDevice(c)) {
      // Records written to a unit opened on ERR legitimately come before any message, and the
      // unit's close at termination ends its pending line after it.
      std::size_t last = result.err.rfind("\r\nrun-time error ");
      if (last != std::string::npos) {
        std::string tail = result.err.substr(last);
        message = ParseMessage(tail, why);
        if (!message && EndsWith(tail, "\r\n\r\n")) {
          message = ParseMessage(tail.substr(0, tail.size() - 2), why);
        }
      }
      if (!message && last != std::string::npos) violations.push_back("stderr: " + why);
      if (last == std::string::npos && result.exitCode == 1) return violations;
    } else if (!message) {
      violations.push_back("stderr: " + why);
    }
  }
  if (message && result.exitCode == 0 && message->statement != "CLOSE") {
    violations.push_back("exit: code 0 after a failure message");
  }
  CheckConsole(result, message, violations);

  // Files that existed before: never shortened; untouched when the run failed before the powder
  // data file was opened (a failed open, or the status report of the reply reader).
  bool failedEarly =
      (message && message->statement == "OPEN") || (result.err.empty() && result.exitCode == 1);
  for (const auto& [path, bytes] : before) {
    auto now = after.find(path);
    if (now == after.end()) {
      violations.push_back("files: " + path + " disappeared");
    } else if (now->second.size() < bytes.size()) {
      violations.push_back("files: " + path + " was shortened from " +
                           std::to_string(bytes.size()) + " to " +
                           std::to_string(now->second.size()) + " bytes");
    } else if (failedEarly && now->second != bytes) {
      violations.push_back("files: " + path + " changed by a run that failed before any output");
    }
  }

  bool completed = result.exitCode == 0;
  for (const auto& [path, bytes] : after) {
    if (before.count(path) != 0) continue;
    Role role = RoleOf(path, c, before);
    std::vector<std::string> problems;
    if (role == Role::kPowder) {
      problems = CheckPowderFile(bytes, completed);
    } else if (role == Role::kMacro) {
      problems = CheckMacroFile(bytes);
    } else if (!CheckMacroFile(bytes).empty() && !WholeRecords(bytes)) {
      problems.push_back("neither a macro file nor whole 82-byte records");
    }
    for (const std::string& problem : problems) {
      violations.push_back("output: " + path + ": " + problem);
    }
  }
  return violations;
}

}  // namespace x17b_stress
