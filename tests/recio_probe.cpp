// A test program that runs a script of record-layer requests, so that whole runs (console bytes,
// files, failure messages, exit codes) can be checked from outside. The script comes from the
// environment variable RECIO_SCRIPT, one request per line; results go to the file RECIO_LOG, so
// that standard output and standard error hold only what the record layer itself writes.
//
//   open UNIT NAME [KEY=VALUE ...] [?]   NAME "-" gives no name, "_" a blank one; "?" wants status
//   close UNIT [keep|delete|TEXT] [?]
//   write UNIT A|1XA|A$ TEXT             TEXT is the rest of the line (may be empty)
//   ruler-before | ruler-after           the console rulers with a record break
//   direct UNIT RECORD TEXT              one (A) record into a direct-access slot
//   ints UNIT RECORD V1 ... V10          one (10I8) record into a direct-access slot
//   read UNIT [?] [e]                    one (A) record into a 132-character line
//   skip UNIT [?]                        (A) with no items: one record consumed
//   number UNIT                          one (24X,I4) value
//   inquire UNIT
//   stop | end                           the stop, or a return from main
//   openx UNIT HEX [KEY=VALUE ...] [?]   open with a name given in hexadecimal (any bytes)
//   writex UNIT HEX                      one (A) record of any bytes, given in hexadecimal
//   direct2 UNIT RECORD T1 T2 [?]        one (A,A) record into a direct-access slot
//   mathfault N                          the floating-point fault message of fault N (0 to 4)
//   abort                                ends the process at once, without termination
//   failclose                            the next close of a file reports "no space left" (the
//                                        probe's own close, tests/failing_close.cpp)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "recio/recio.h"
#include "tests/failing_close.h"

namespace {

constexpr recio::Layout kA{"(A)"};
constexpr recio::Layout k1XA{"(1X,A)"};
constexpr recio::Layout kAStay{"(A,$)"};
constexpr recio::Layout kRulerBefore{"(/,1X,80('-'))"};
constexpr recio::Layout kRulerAfter{"(1X,80('-'),/)"};
constexpr recio::Layout kTenIntegers{"(10I8)"};
constexpr recio::Layout kNumber{"(24X,I4)"};
constexpr recio::Layout kTwoTexts{"(A,A)"};

FILE* gLog = nullptr;

int32_t UnitOf(const std::string& word) {
  return word == "*" ? recio::kDefaultUnit
                     : static_cast<int32_t>(std::strtol(word.c_str(), nullptr, 10));
}

const recio::Layout& TextLayout(const std::string& name) {
  if (name == "1XA") return k1XA;
  if (name == "A$") return kAStay;
  return kA;
}

std::string Rest(const std::string& line, int words) {
  std::size_t pos = 0;
  for (int i = 0; i < words; ++i) {
    pos = line.find(' ', pos);
    if (pos == std::string::npos) return {};
    ++pos;
  }
  return line.substr(pos);
}

bool Has(const std::vector<std::string>& words, const char* flag) {
  for (std::size_t i = 2; i < words.size(); ++i) {
    if (words[i] == flag) return true;
  }
  return false;
}

void Log(const std::string& text) {
  std::fprintf(gLog, "%s\n", text.c_str());
  std::fflush(gLog);
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
  }
  return bytes;
}

void OpenRequest(const std::vector<std::string>& words, bool hexName = false) {
  recio::OpenSpec spec;
  static std::string name;
  name = words.size() > 2 ? words[2] : "-";
  if (hexName) {
    name = FromHex(name);
  } else if (name == "_") {
    name = "   ";
  }
  if (hexName || name != "-") spec.name = std::span<const char>(name.data(), name.size());
  static std::vector<std::string> values;
  values.assign(words.begin() + std::min<std::size_t>(3, words.size()), words.end());
  for (const std::string& item : values) {
    std::size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    std::string key = item.substr(0, eq);
    std::string_view value(item.data() + eq + 1, item.size() - eq - 1);
    if (key == "status") spec.status = value;
    if (key == "access") spec.access = value;
    if (key == "form") spec.form = value;
    if (key == "blank") spec.blank = value;
    if (key == "mode") spec.mode = value;
    if (key == "share") spec.share = value;
    if (key == "recl") spec.recl = std::atoi(item.c_str() + eq + 1);
    if (key == "blocksize") spec.blocksize = std::atoi(item.c_str() + eq + 1);
  }
  recio::Flags flags{.status = Has(words, "?")};
  int32_t status = recio::Open(UnitOf(words[1]), spec, flags);
  Log("open " + words[1] + " status=" + std::to_string(status));
}

void RunLine(const std::string& line) {
  std::istringstream split(line);
  std::vector<std::string> words;
  for (std::string word; split >> word;) words.push_back(word);
  if (words.empty()) return;
  const std::string& verb = words[0];
  recio::Flags flags{.status = Has(words, "?"), .end = Has(words, "e")};
  if (verb == "open") {
    OpenRequest(words);
  } else if (verb == "close") {
    recio::Keyword<recio::CloseStatus> status;
    std::string how = words.size() > 2 && words[2] != "?" ? words[2] : "";
    if (!how.empty()) status = std::string_view(how);
    int32_t result = recio::Close(UnitOf(words[1]), status, flags);
    Log("close " + words[1] + " status=" + std::to_string(result));
  } else if (verb == "write") {
    std::string text = Rest(line, 3);
    recio::Write(UnitOf(words[1]), TextLayout(words[2]), {std::string_view(text)});
  } else if (verb == "ruler-before") {
    recio::Write(recio::kDefaultUnit, kRulerBefore, {});
  } else if (verb == "ruler-after") {
    recio::Write(recio::kDefaultUnit, kRulerAfter, {});
  } else if (verb == "direct") {
    std::string text = Rest(line, 3);
    int32_t status = recio::WriteRecord(UnitOf(words[1]), std::atoi(words[2].c_str()), kA,
                                        {std::string_view(text)}, flags);
    Log("direct status=" + std::to_string(status));
  } else if (verb == "ints") {
    int32_t values[10] = {};
    for (std::size_t i = 3; i < words.size() && i < 13; ++i) {
      values[i - 3] = static_cast<int32_t>(std::strtol(words[i].c_str(), nullptr, 10));
    }
    recio::WriteRecord(UnitOf(words[1]), std::atoi(words[2].c_str()), kTenIntegers,
                       {std::span<const int32_t>(values)});
  } else if (verb == "read") {
    char text[132];
    std::memset(text, '#', sizeof text);
    int32_t status = recio::Read(UnitOf(words[1]), kA, {std::span<char>(text)}, flags);
    std::string shown(text, sizeof text);
    shown.erase(shown.find_last_not_of(' ') + 1);
    Log("read status=" + std::to_string(status) + " [" + shown + "]");
  } else if (verb == "skip") {
    int32_t status = recio::Read(UnitOf(words[1]), kA, {}, flags);
    Log("skip status=" + std::to_string(status));
  } else if (verb == "number") {
    int32_t value = -7;
    int32_t status = recio::Read(UnitOf(words[1]), kNumber, {value}, flags);
    Log("number status=" + std::to_string(status) + " value=" + std::to_string(value));
  } else if (verb == "inquire") {
    Log("inquire " + words[1] + " " + (recio::Inquire(UnitOf(words[1])) ? "yes" : "no"));
  } else if (verb == "openx") {
    OpenRequest(words, true);
  } else if (verb == "writex") {
    std::string bytes = FromHex(words.size() > 2 ? words[2] : "");
    recio::Write(UnitOf(words[1]), kA, {std::string_view(bytes)});
  } else if (verb == "direct2") {
    int32_t status =
        recio::WriteRecord(UnitOf(words[1]), std::atoi(words[2].c_str()), kTwoTexts,
                           {std::string_view(words[3]), std::string_view(words[4])}, flags);
    Log("direct2 status=" + std::to_string(status));
  } else if (verb == "mathfault") {
    recio::ReportMathFault(static_cast<recio::MathFault>(std::atoi(words[1].c_str())));
  } else if (verb == "failclose") {
    x17b_test::FailNextClose();
  } else if (verb == "abort") {
    std::_Exit(3);
  } else if (verb == "stop") {
    recio::Stop();
  } else if (verb == "end") {
    std::exit(0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  recio::Start(argc, argv);
  const char* logName = std::getenv("RECIO_LOG");
#ifdef _WIN32
  const char* const kNowhere = "NUL";
#else
  const char* const kNowhere = "/dev/null";
#endif
  // Binary: the log's lines end in LF on every system.
  gLog = std::fopen(logName != nullptr ? logName : kNowhere, "wb");
  const char* script = std::getenv("RECIO_SCRIPT");
  std::istringstream lines(script != nullptr ? script : "");
  for (std::string line; std::getline(lines, line);) RunLine(line);
  return 0;
}
