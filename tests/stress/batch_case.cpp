// Stress cases for x17b2pavo-batch and their invariants.
#include "tests/stress/batch_case.h"

#include <algorithm>
#include <set>

#include "tests/stress/checks.h"
#include "tests/stress/scan_gen.h"

namespace x17b_stress {
namespace {

const std::vector<std::string> kStems = {"a",    "b c",   "it's",        "\"q\"", "x,y", "bang!",
                                         "at@x", "-lead", "caf\xc3\xa9", "con",   "nul", " pad"};

bool Has(const std::vector<std::string>& args, const std::string& option) {
  auto end = std::find(args.begin(), args.end(), "--");
  return std::find(args.begin(), end, option) != end;
}

// The output of a scan, as the batch program names it.
std::string OutputOf(const std::string& scan, const std::string& folder) {
  std::string file = scan.substr(scan.rfind('/') + 1);
  const std::size_t dot = file.rfind('.');
  if (dot != std::string::npos && dot != 0) file.resize(dot);
  std::string dir = folder.empty() ? scan.substr(0, scan.rfind('/') + 1) : folder + "/";
  if (dir.substr(0, 2) == "./") dir.erase(0, 2);
  return dir + file + ".pavo";
}

}  // namespace

std::string SingleOutput(const std::string& single, const std::string& scan) {
  x17b_test::TempDir dir;
  x17b_test::WriteFileBytes(dir.File("s.dat"), scan);
  x17b_test::RunOptions options;
  options.args = {"s.dat", "s.pavo"};
  options.input = "\n\n";
  options.workDir = dir.path();
  options.timeoutSeconds = 10;
  x17b_test::RunProgram(single, options);
  return x17b_test::ReadFileBytes(dir.File("s.pavo"));
}

Case MakeBatchCase(Rng& rng, bool unprivileged) {
  Case c;
  c.batch = true;
  c.unprivileged = unprivileged;
  std::vector<std::string> scans;
  const int count = static_cast<int>(rng.Between(1, 6));
  for (int i = 0; i < count; ++i) {
    std::string name = rng.Pick(kStems) + (rng.Chance(0.9) ? ".dat" : ".raw");
    std::string note;
    c.files.push_back({name, MakeScanFile(rng, 0.3, note), 0644, false, ""});
    scans.push_back(name);
  }
  if (rng.Chance(0.2)) c.files.push_back({"z.pavo", "not a scan\n", 0644, false, ""});
  if (rng.Chance(0.3)) {  // an output already there
    c.files.push_back({rng.Pick(kStems) + ".pavo", std::string(200, 'o'), 0644, false, ""});
  }
  if (rng.Chance(0.1)) c.files.push_back({"d.dat", "", 0755, true, ""});
  const bool toFolder = rng.Chance(0.4);
  if (toFolder)
    c.files.push_back({"out", "", unprivileged && rng.Chance(0.3) ? 0555 : 0755, true, ""});

  if (rng.Chance(0.3)) c.args.push_back(rng.Chance(0.5) ? "-f" : "-n");
  if (rng.Chance(0.3)) c.args.push_back("-q");
  if (rng.Chance(0.5)) c.args.push_back("-j" + std::to_string(rng.Between(1, 4)));
  if (toFolder) c.args.insert(c.args.end(), {"-o", "out"});
  if (rng.Chance(0.03)) c.args.push_back(rng.Pick(std::vector<std::string>{"-x", "--jobs=0"}));
  c.args.push_back("--");
  for (const std::string& scan : scans) c.args.push_back(rng.Chance(0.1) ? "./" + scan : scan);
  if (rng.Chance(0.2)) c.args.push_back(rng.Pick(scans));  // given twice
  if (rng.Chance(0.2))
    c.args.push_back(rng.Pick(std::vector<std::string>{"missing.dat", "d.dat", "z.pavo", ""}));
  c.note = "batch" + std::string(unprivileged ? " nobody" : "") + "; " + std::to_string(count) +
           " scans";
  return c;
}

std::vector<std::string> CheckBatchRun(const Case& c, const x17b_test::RunResult& result,
                                       const Snapshot& before, const Snapshot& after,
                                       const std::string& single) {
  std::vector<std::string> violations;
  if (result.timedOut) violations.push_back("hang: no exit before the time limit");
  if (result.signal != 0) violations.push_back("signal: ended by " + std::to_string(result.signal));
  if (!violations.empty()) return violations;
  if (result.exitCode == 2) {
    if (result.err.find("\nTry 'x17b2pavo-batch --help'") == std::string::npos) {
      violations.push_back("stderr: usage error without its hint");
    }
    if (before != after) violations.push_back("files: changed by a usage error");
    return violations;
  }
  if (result.exitCode != 0 && result.exitCode != 1) {
    violations.push_back("exit: code " + std::to_string(result.exitCode));
  }
  if (!result.out.empty()) violations.push_back("stdout: not empty");

  // Failure lines, then the summary unless -q; exit 1 exactly when a scan failed.
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < result.err.size();) {
    const std::size_t end = result.err.find('\n', start);
    if (end == std::string::npos) {
      violations.push_back("stderr: a line without its end");
      break;
    }
    lines.push_back(result.err.substr(start, end - start));
    start = end + 1;
  }
  // Warning lines (one per scan at most here: its kinds exclude each other) are not failures.
  std::size_t summaryLines = 0;
  if (!Has(c.args, "-q")) {
    if (lines.empty() || lines.back().find(" scan") == std::string::npos) {
      violations.push_back("stderr: no summary");
    } else {
      summaryLines = 1;
    }
  }
  std::size_t failures = 0;
  std::size_t warnings = 0;
  for (std::size_t i = 0; i + summaryLines < lines.size(); ++i) {
    if (lines[i].rfind("x17b2pavo-batch: ", 0) != 0) {
      violations.push_back("stderr: a line that is not a failure or warning line: " + lines[i]);
    } else if (lines[i].find(": warning: ") != std::string::npos) {
      ++warnings;
    } else {
      ++failures;
    }
  }
  if (summaryLines == 1) {
    const std::string& summary = lines.back();
    const std::string failed = " " + std::to_string(failures) + " failed";
    if (!summary.ends_with(failed)) {
      violations.push_back("stderr: the summary does not count the failure lines");
    }
    const std::string warned = " (" + std::to_string(warnings) + " with warnings)";
    if ((warnings > 0) != (summary.find(warned) != std::string::npos)) {
      violations.push_back("stderr: the summary does not count the warnings");
    }
  }
  if ((failures > 0) != (result.exitCode == 1)) {
    violations.push_back("exit: " + std::to_string(result.exitCode) + " with " +
                         std::to_string(failures) + " failure lines");
  }

  // Scans never change; a file that existed changes only when -f replaced it, and then whole.
  const bool force = Has(c.args, "-f");
  std::set<std::string> outputs;
  const auto options = std::find(c.args.begin(), c.args.end(), "--");
  const std::string folder = Has(c.args, "-o") ? "out" : "";
  std::map<std::string, std::string> scanOf;  // output -> the first scan that names it
  for (auto arg = options == c.args.end() ? options : options + 1; arg != c.args.end(); ++arg) {
    scanOf.emplace(OutputOf(*arg, folder), arg->substr(0, 2) == "./" ? arg->substr(2) : *arg);
  }
  for (const auto& [path, bytes] : after) {
    if (path.find("/.") != std::string::npos || path[0] == '.') {
      violations.push_back("files: a temporary file was left: " + path);
      continue;
    }
    auto old = before.find(path);
    if (old != before.end() && old->second == bytes) continue;
    auto scan = scanOf.find(path);
    if (scan == scanOf.end() || (old != before.end() && !force)) {
      violations.push_back("files: " + path + " changed");
      continue;
    }
    for (const std::string& problem : CheckPowderFile(bytes, true)) {
      violations.push_back("output: " + path + ": " + problem);
    }
    auto source = before.find(scan->second);
    if (source != before.end() && SingleOutput(single, source->second) != bytes) {
      violations.push_back("output: " + path + " differs from what x17b2pavo writes");
    }
  }
  for (const auto& [path, bytes] : before) {
    if (after.count(path) == 0) violations.push_back("files: " + path + " disappeared");
  }
  return violations;
}

}  // namespace x17b_stress
