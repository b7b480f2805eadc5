// Scan-file generator for the stress harness: header fields in their columns, values, mutations.
#include "tests/stress/scan_gen.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace x17b_stress {
namespace {

// Texts at the edges of single precision and of the four-column integer fields that still read
// as numbers, and texts that do not, as a user's editor or a damaged transfer could leave them.
const std::vector<std::string> kRealValid{
    "3.40282E38", "-3.40282E38", "1.17549E-38", "1.4E-45",    "1E-45",   "7E-46", "1E-50",
    "-0",         "-0.0",        ".",           "+",          "-",       "1.5+3", "1.5-3",
    "1.5d2",      "16777217",    "8388608.5",   "4194304.25", "0.5",     "-0.5",  "2.5",
    "-2.5",       "0.49999997",  "1.25E2",      "12 3.4",     "1,5",     "\t7\t", "-.5",
    ".5E1",       "+.",          "1E0",         "123",        "1.0D+01", "6.5e-1"};
const std::vector<std::string> kRealBroken{
    "3.40283E38", "1E39",   "-1E39",   "1E308", "1E309", "1D400", "2147483648", "9.22E18",
    "9.23E18",    "1.0E19", "-9.3E18", "1.2.3", "1E",    "E5",    "1e+",        "NaN",
    "Inf",        "--1",    "1-2",     "abc",   "1\x1a", "\x1a",  "0x10",       "1E-"};
const std::vector<std::string> kIntegerValid{"-999", "9999", "0000", "16#F", "#FF",  "2#11",
                                             "36#Z", "#zz",  "1,2",  "1 2",  "\t3",  "-0",
                                             "+",    "-",    "0010", "+5",   "8#17", "   -"};
const std::vector<std::string> kIntegerBroken{"-1000", "1##2", "37#1", "99#1", "2#2", "ZZ",
                                              "1.0",   "N/A",  "12-3", "\x1a", "#",   "1#",
                                              ",",     "+-1",  "1E2",  "8#9",  "1#0", "0#1"};

std::string Fit(std::string text, int width, bool rightAlign) {
  if (static_cast<int>(text.size()) > width) text.resize(static_cast<std::size_t>(width));
  std::string pad(static_cast<std::size_t>(width) - text.size(), ' ');
  return rightAlign ? pad + text : text + pad;
}

std::string Label(Rng& rng, const std::string& label) {
  // Column 25 is where the fields start; now and then the label is a column off, which moves
  // the field out of its columns.
  int width = rng.Chance(0.05) ? static_cast<int>(rng.Between(20, 28)) : 24;
  return Fit(label, width, false);
}

std::string PlainReal(Rng& rng) {
  char text[64];
  switch (rng.Between(0, 5)) {
    case 0:
      std::snprintf(text, sizeof text, "%.1f", static_cast<double>(rng.Between(0, 60000)) / 10);
      break;
    case 1:
      std::snprintf(text, sizeof text, "%lld", static_cast<long long>(rng.Between(-100, 99999)));
      break;
    case 2:
      std::snprintf(text, sizeof text, "%.3E", static_cast<double>(rng.Between(-99999, 99999)));
      break;
    case 3:
      std::snprintf(text, sizeof text, "%.4f", static_cast<double>(rng.Between(0, 99999)) / 1e4);
      break;
    case 4:
      std::snprintf(text, sizeof text, "%lld.", static_cast<long long>(rng.Between(0, 9999)));
      break;
    default:
      std::snprintf(text, sizeof text, "%.2e", static_cast<double>(rng.Between(1, 999)) * 1e-3);
      break;
  }
  return text;
}

int DrawN(Rng& rng) {
  double draw = static_cast<double>(rng.Between(0, 999)) / 1000.0;
  if (draw < 0.55) return static_cast<int>(rng.Between(0, 40));
  if (draw < 0.70) return static_cast<int>(rng.Between(41, 400));
  if (draw < 0.78) return static_cast<int>(rng.Between(-12, -1));
  if (draw < 0.83) return static_cast<int>(rng.Between(-999, -13));
  if (draw < 0.86) return static_cast<int>(rng.Between(7990, 8010));
  if (draw < 0.89) return 9999;
  if (draw < 0.92) return static_cast<int>(rng.Between(8011, 9998));
  return static_cast<int>(rng.Pick(std::vector<int64_t>{1, 9, 10, 11, 20, 21, 25, 100, 101}));
}

std::string ScaleText(Rng& rng, bool hostile) {
  static const std::vector<std::string> kScales{"1.0",  "2.0", "0.5",  "0",     "1",
                                                "-1.0", "0.1", "100.", "1.5D0", "1E-30"};
  // Scales that push products past 2^31, past 2^63 or past single precision.
  static const std::vector<std::string> kHuge{"1E30", "3.4E38", "1.0E10", "1E19", "4.0E9"};
  if (rng.Chance(hostile ? 0.2 : 0.05)) return rng.Pick(kHuge);
  if (rng.Chance(0.8)) return rng.Pick(kScales);
  return NumericFieldText(rng, 10, false, hostile);
}

std::string CoefficientText(Rng& rng, bool hostile) {
  static const std::vector<std::string> kCoefficients{"1",
                                                      "1.0",
                                                      "0.0",
                                                      "-0.0",
                                                      "1234.5",
                                                      "3.4028234E+38",
                                                      "1.401298464E-45",
                                                      "-1.0E-3",
                                                      "0.99999997",
                                                      "1.2345649",
                                                      "123456789012345678",
                                                      "5.",
                                                      "-1.0D38",
                                                      "1.17549435E-38"};
  // Past single precision: they fail to read.
  static const std::vector<std::string> kTooLarge{"3.402823466385288598E+38", "4.0E38", "1E39"};
  if (hostile && rng.Chance(0.1)) return rng.Pick(kTooLarge);
  if (rng.Chance(0.6)) return rng.Pick(kCoefficients);
  return NumericFieldText(rng, 24, false, hostile);
}

std::string JoinLines(Rng& rng, const std::vector<std::string>& lines, bool hostile,
                      std::string& note) {
  // LF or CR LF; a hostile scan may also have CR-only or mixed line ends.
  int style = static_cast<int>(rng.Between(0, hostile ? 19 : 14));
  const char* eol = "\n";
  if (style < 5) {
    eol = "\r\n";
    note += " crlf";
  } else if (style == 5) {
    eol = "\r";
    note += " cr-only";
  } else if (style == 6) {
    note += " mixed-eol";
  }
  std::string bytes;
  for (const std::string& line : lines) {
    bytes += line;
    bytes += style == 6 ? rng.Pick(std::vector<std::string>{"\n", "\r\n", "\r\r\n"}) : eol;
  }
  if (!bytes.empty() && rng.Chance(0.25)) {
    // The last line without its line end.
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
    note += " no-final-eol";
  }
  return bytes;
}

std::string DegenerateScan(Rng& rng, std::string& note) {
  switch (rng.Between(0, 4)) {
    case 0:
      note = "empty file";
      return "";
    case 1:
      note = "only line ends";
      return std::string(static_cast<std::size_t>(rng.Between(1, 80)), '\n');
    case 2: {
      note = "binary blob";
      std::string blob;
      std::size_t size = static_cast<std::size_t>(rng.Between(1, 6000));
      while (blob.size() < size) blob += rng.Byte();
      return blob;
    }
    case 3:
      note = "only carriage returns";
      return std::string(static_cast<std::size_t>(rng.Between(1, 80)), '\r');
    default:
      note = "one endless line";
      return rng.LineNoise(static_cast<std::size_t>(rng.Between(100, 200000)));
  }
}

}  // namespace

std::string NumericFieldText(Rng& rng, int width, bool integer, bool hostile) {
  std::string text;
  double draw = static_cast<double>(rng.Between(0, 99)) / 100.0;
  if (draw < 0.5) {
    text = integer ? std::to_string(rng.Between(-999, 9999)) : PlainReal(rng);
  } else if (draw < 0.75 || (!hostile && draw < 0.95)) {
    text = rng.Pick(integer ? kIntegerValid : kRealValid);
  } else if (draw < 0.85) {
    text = rng.Pick(integer ? kIntegerBroken : kRealBroken);
  } else if (draw < 0.95) {
    text = rng.LineNoise(static_cast<std::size_t>(rng.Between(1, width)));
  } else {
    text = "";
  }
  if (hostile && rng.Chance(0.1) && !text.empty()) {
    // A blank, tab or comma inside the field.
    std::size_t at = rng.Index(text.size() + 1);
    text.insert(at, 1, rng.Pick(std::vector<char>{' ', '\t', ','}));
  }
  return Fit(text, width, rng.Chance(0.85));
}

std::string Mutate(Rng& rng, std::string& bytes) {
  if (bytes.empty()) {
    bytes = rng.LineNoise(static_cast<std::size_t>(rng.Between(1, 40))) + "\n";
    return "filled";
  }
  // Line boundaries, for the line-level mutations.
  std::vector<std::size_t> starts{0};
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == '\n') starts.push_back(i + 1);
  }
  auto lineAt = [&](std::size_t k) {
    std::size_t begin = starts[k];
    std::size_t end = k + 1 < starts.size() ? starts[k + 1] : bytes.size();
    return std::pair{begin, end};
  };
  switch (rng.Between(0, 8)) {
    case 0:
      bytes.resize(rng.Index(bytes.size()));
      return "truncated";
    case 1: {
      auto [begin, end] = lineAt(rng.Index(starts.size()));
      bytes.erase(begin, end - begin);
      return "line-dropped";
    }
    case 2: {
      auto [begin, end] = lineAt(rng.Index(starts.size()));
      bytes.insert(begin, bytes.substr(begin, end - begin));
      return "line-doubled";
    }
    case 3: {
      std::size_t begin = starts[rng.Index(starts.size())];
      std::string noise;
      std::size_t size = static_cast<std::size_t>(rng.Between(0, 200));
      while (noise.size() < size) noise += rng.Byte();
      bytes.insert(begin, noise + "\n");
      return "binary-line";
    }
    case 4: {
      auto [begin, end] = lineAt(rng.Index(starts.size()));
      std::size_t at = end > begin && bytes[end - 1] == '\n' ? end - 1 : end;
      bytes.insert(at, rng.LineNoise(static_cast<std::size_t>(rng.Between(200, 70000))));
      return "oversized-line";
    }
    case 5: {
      int flips = static_cast<int>(rng.Between(1, 8));
      for (int i = 0; i < flips; ++i) bytes[rng.Index(bytes.size())] = rng.Byte();
      return "bytes-flipped";
    }
    case 6: {
      int inserts = static_cast<int>(rng.Between(1, 6));
      for (int i = 0; i < inserts; ++i) {
        bytes.insert(rng.Index(bytes.size() + 1), 1,
                     rng.Pick(std::vector<char>{'\t', ',', ' ', '\x1a', '\r', '\0', '#', '.'}));
      }
      return "separators-inserted";
    }
    case 7: {
      auto [begin, end] = lineAt(rng.Index(starts.size()));
      std::string line = bytes.substr(begin, end - begin);
      bytes.erase(begin, end - begin);
      std::size_t to = starts[rng.Index(starts.size())];
      bytes.insert(std::min(to, bytes.size()), line);
      return "line-moved";
    }
    default: {
      std::size_t keep = starts[rng.Index(starts.size())];
      bytes.resize(keep);
      return "cut-at-line";
    }
  }
}

std::string MakeScanFile(Rng& rng, double hostileShare, std::string& note) {
  bool hostile = rng.Chance(hostileShare);
  if (hostile && rng.Chance(0.08)) return DegenerateScan(rng, note);

  int n = DrawN(rng);
  std::vector<std::string> lines;
  lines.push_back("X17B EDS " + (rng.Chance(0.9) ? std::string("scan") : rng.LineNoise(30)));
  std::string stamp = Label(rng, "Date and time");
  for (int i = 0; i < 6; ++i) {
    static const std::vector<int64_t> kPlausible{1996, 3, 6, 5, 59, 59};
    stamp += rng.Chance(0.8) ? Fit(std::to_string(kPlausible[static_cast<std::size_t>(i)]), 4, true)
                             : NumericFieldText(rng, 4, true, hostile);
  }
  if (hostile && rng.Chance(0.2))
    stamp += rng.LineNoise(static_cast<std::size_t>(rng.Between(1, 60)));
  lines.push_back(stamp);
  lines.push_back(rng.Chance(0.7) ? "CeO2 standard, 2theta = 6.5 deg, 300 s"
                                  : rng.LineNoise(static_cast<std::size_t>(rng.Between(0, 90))));
  lines.push_back("Detector: Ge");
  lines.push_back(Label(rng, "Number of channels") +
                  (rng.Chance(0.85) ? Fit(std::to_string(n), 4, true)
                                    : NumericFieldText(rng, 4, true, hostile)));
  lines.push_back(Label(rng, "Scale factor") + Fit(ScaleText(rng, hostile), 10, true));
  for (int i = 7; i <= 11; ++i) lines.push_back("Comment line " + std::to_string(i));
  for (int i = 1; i <= 4; ++i) {
    lines.push_back(Label(rng, "Energy coefficient " + std::to_string(i)) +
                    Fit(CoefficientText(rng, hostile), 24, true));
  }
  for (int i = 16; i <= 29; ++i) {
    lines.push_back(hostile && rng.Chance(0.1)
                        ? rng.LineNoise(static_cast<std::size_t>(rng.Between(0, 300)))
                        : "Header line " + std::to_string(i));
  }
  note = (hostile ? "hostile N=" : "N=") + std::to_string(n);

  // Usually exactly N value lines; sometimes one short, many short, or more than needed.
  int values = std::max(n, 0);
  if (hostile && rng.Chance(0.2))
    values = std::max(values - static_cast<int>(rng.Between(1, 3)), 0);
  if (rng.Chance(0.05)) values += static_cast<int>(rng.Between(1, 50));
  // A few edge texts in a value column; in a hostile scan some of them do not read.
  double oddShare = hostile ? 0.01 : 0.02;
  for (int i = 0; i < values; ++i) {
    std::string value = rng.Chance(oddShare) ? NumericFieldText(rng, 10, false, hostile)
                                             : Fit(PlainReal(rng), 10, true);
    if (rng.Chance(0.02)) value += rng.LineNoise(static_cast<std::size_t>(rng.Between(1, 30)));
    lines.push_back(value);
  }
  std::string bytes = JoinLines(rng, lines, hostile, note);

  if (hostile && rng.Chance(0.6)) {
    int mutations = static_cast<int>(rng.Between(1, 3));
    for (int i = 0; i < mutations; ++i) note += " " + Mutate(rng, bytes);
  }
  return bytes;
}

}  // namespace x17b_stress
