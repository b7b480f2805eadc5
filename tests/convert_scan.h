// Scan files and expected powder data files for the whole-program tests of x17b2pavo.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/process_harness.h"

namespace convert_test {

inline const std::string kProgram = x17b_test::BuiltProgram("x17b2pavo");

inline const std::string kInputPrompt = "Enter input X17B EDS datafile name >";
inline const std::string kOutputPrompt = "Enter output PAVO datafile name >";

/// The header fields of a scan as the text of their columns; everything else is filler.
struct ScanHeader {
  std::string stamp = "1996   3   6   5  59  59";            // line 2, columns 25-48
  std::string title = "Silicon standard, 2theta 7.000 deg";  // line 3, the whole line
  std::string channels = "  25";                             // line 5, columns 25-28
  std::string scale = "       1.0";                          // line 6, columns 25-34
  std::array<std::string, 4> coefficients = {                // lines 12-15, columns 25-48
      "   1.523000000000000E-01", "   3.125000000000000E-02", "   0.000000000000000E+00",
      "  -1.000000000000000E-03"};
};

/// The stamp integers of the default header (line 2 of the scan).
inline const std::array<int64_t, 6> kStamp = {1996, 3, 6, 5, 59, 59};

/// The value lines "1", "2", ... n: whole numbers written without a decimal point.
inline std::vector<std::string> ValueLinesWithoutPoint(int64_t n) {
  std::vector<std::string> lines;
  for (int64_t i = 1; i <= n; ++i) lines.push_back(std::to_string(i));
  return lines;
}

/// The value lines "1.0", "2.0", ... n.0: the same values written with a decimal point.
inline std::vector<std::string> ValueLinesWithPoint(int64_t n) {
  std::vector<std::string> lines;
  for (int64_t i = 1; i <= n; ++i) lines.push_back(std::to_string(i) + ".0");
  return lines;
}

/// The counts 1, 2, ... n, each `factor` times.
inline std::vector<int64_t> RampCounts(int64_t n, int64_t factor = 1) {
  std::vector<int64_t> counts;
  for (int64_t i = 1; i <= n; ++i) counts.push_back(i * factor);
  return counts;
}

/// A run that ended with the stop: exit code 0, nothing on standard error, `out` on standard
/// output.
inline void ExpectStopped(const x17b_test::RunResult& run, const std::string& out) {
  EXPECT_EQ(run.exitCode, 0) << x17b_test::Visible(run.err);
  EXPECT_EQ(x17b_test::Visible(run.out), x17b_test::Visible(out));
  EXPECT_EQ(x17b_test::Visible(run.err), "");
}

/// The 24 columns in front of a header field.
inline std::string Label(const std::string& text) {
  std::string label = text;
  label.resize(24, ' ');
  return label;
}

/// The 29 header lines of a scan. The filler lines carry digits and letters in the columns the
/// converter skips, so reading a wrong line or column shows.
inline std::vector<std::string> HeaderLines(const ScanHeader& header) {
  std::vector<std::string> lines;
  lines.push_back("X17B2 EDS data file 9999 example scan, line 1");
  lines.push_back(Label("Date/time (Y M D h m s)") + header.stamp);
  lines.push_back(header.title);
  lines.push_back(Label("Detector: Ge") + "8192  2.5  abc");
  lines.push_back(Label("Number of channels") + header.channels);
  lines.push_back(Label("Scale factor") + header.scale);
  for (int line = 7; line <= 11; ++line) {
    lines.push_back(Label("Filler line " + std::to_string(line)) + "77777777 xyz 1.0E+05");
  }
  for (int i = 0; i < 4; ++i) {
    lines.push_back(Label("Energy calibration a" + std::to_string(i)) + header.coefficients[i]);
  }
  for (int line = 16; line <= 29; ++line) {
    lines.push_back(Label("Filler line " + std::to_string(line)) + "6666 not a number");
  }
  return lines;
}

/// A whole scan: the header, then one line per value text.
inline std::vector<std::string> ScanLines(const ScanHeader& header,
                                          const std::vector<std::string>& values) {
  std::vector<std::string> lines = HeaderLines(header);
  lines.insert(lines.end(), values.begin(), values.end());
  return lines;
}

inline std::string JoinLines(const std::vector<std::string>& lines, const std::string& eol = "\n") {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + eol;
  return bytes;
}

/// An integer right-aligned in `width` columns, or `width` asterisks when it does not fit.
inline std::string Fit(int64_t value, int width) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) > width) return std::string(static_cast<size_t>(width), '*');
  return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

/// One stored record: the text, blanks to column 80, CR LF.
inline std::string Record(std::string text) {
  text.resize(80, ' ');
  return text + "\r\n";
}

inline std::string TitleRecord(std::string title, const std::array<int64_t, 6>& stamp) {
  title.resize(40, ' ');
  std::string text = title + Fit(stamp[0], 4);
  for (int i = 1; i < 6; ++i) text.append(":").append(Fit(stamp[i], 2));
  return Record(text);
}

/// A coefficient in the bank record's exponent form (well-behaved values only).
inline std::string Exponent(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%13.5E", value);
  return text;
}

inline std::string BankRecord(int64_t channels, int64_t records,
                              const std::array<std::string, 4>& coefficients) {
  std::string text = "BANK 1" + Fit(channels, 5) + Fit(records, 5) + " EDS";
  for (const std::string& coefficient : coefficients) text += coefficient;
  return Record(text + " STD");
}

/// The bank record of the default header.
inline std::string DefaultBankRecord(int64_t channels, int64_t records) {
  return BankRecord(channels, records,
                    {Exponent(0.1523F), Exponent(0.03125F), Exponent(0.0F), Exponent(-0.001F)});
}

inline int64_t CountRecordsFor(int64_t channels) {
  return (channels - 1) / 10 + 1;
}

/// Count records 3 on: ten counts each, zeros past the counts given.
inline std::string CountRecords(const std::vector<int64_t>& counts, int64_t records) {
  std::string bytes;
  for (int64_t k = 0; k < records; ++k) {
    std::string text;
    for (int64_t i = 10 * k; i < 10 * k + 10; ++i) {
      text += Fit(i < static_cast<int64_t>(counts.size()) ? counts[static_cast<size_t>(i)] : 0, 8);
    }
    bytes += Record(text);
  }
  return bytes;
}

/// The whole powder data file of `header` (its title, the default stamp and coefficients) for
/// the `n` values 1, 2, ... n at `factor` times.
inline std::string RampPowderFile(const ScanHeader& header, int64_t n, int64_t factor = 1) {
  const int64_t records = CountRecordsFor(n);
  return TitleRecord(header.title, kStamp) + DefaultBankRecord(n, records) +
         CountRecords(RampCounts(n, factor), records);
}

/// The scan of the 25 values 1.0 ... 25.0 at scale 2.0 and the file it gives.
struct TwentyFive {
  ScanHeader header;
  TwentyFive() { header.scale = "       2.0"; }
  std::string Scan() const { return JoinLines(ScanLines(header, ValueLinesWithPoint(25))); }
  std::string Expected() const {
    return TitleRecord(header.title, kStamp) + DefaultBankRecord(25, 3) +
           CountRecords(RampCounts(25, 2), 3);
  }
};

/// Standard output of a piped run that showed the prompts given and then ended (pipes keep the
/// prompt's line pending, so the end of the run closes it).
inline std::string PipedEnd(const std::string& prompts, bool stopped) {
  return prompts + "\r\n" + (stopped ? x17b_test::kStopLine + "\r\n" : "");
}

/// Runs the converter in `dir` on the scan bytes (written to scan.dat) with `input` as replies.
inline x17b_test::RunResult Convert(const x17b_test::TempDir& dir, const std::string& scan,
                                    const std::string& input = "scan.dat out.pavo\n",
                                    x17b_test::InputKind kind = x17b_test::InputKind::kPipe,
                                    std::vector<std::string> args = {}) {
  x17b_test::WriteFileBytes(dir.File("scan.dat"), scan);
  x17b_test::RunOptions options;
  options.args = std::move(args);
  options.input = input;
  options.kind = kind;
  options.workDir = dir.path();
  return x17b_test::RunProgram(kProgram, options);
}

/// A run that failed: exit code 1 and exactly these streams (shown with their control characters).
inline void ExpectFailed(const x17b_test::RunResult& run, const std::string& err,
                         const std::string& out) {
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(x17b_test::Visible(run.err), x17b_test::Visible(err));
  EXPECT_EQ(x17b_test::Visible(run.out), x17b_test::Visible(out));
}

}  // namespace convert_test
