// x17b_stress: runs x17b2pavo thousands of times on generated and mutated input and checks that
// every run ends cleanly; failing cases are shrunk and saved, and saved cases can be replayed.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/process_harness.h"
#include "tests/stress/batch_case.h"
#include "tests/stress/case_gen.h"
#include "tests/stress/checks.h"
#include "tests/stress/stress_case.h"

namespace x17b_stress {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Settings {
  std::string binary;
  std::string batchBinary;  // when given, a share of the runs are runs of x17b2pavo-batch
  double batchShare = 0.2;
  uint64_t seed = 1;
  double seconds = 0;
  long runs = 0;
  long start = 0;
  std::string failures = "stress-failures";
  std::string replay;
  int timeout = 5;
  int maxSaved = 20;
  bool verbose = false;
  int shrinkBudget = 150;
  double shrinkSeconds = 60;
  CaseOptions caseOptions;
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "x17b_stress: %s\n"
               "usage: x17b_stress --binary PATH [--seed N] [--seconds S | --runs N] [--start I]\n"
               "                   [--failures DIR] [--replay DIR] [--timeout S]\n"
               "                   [--max-saved N] [--shrink-budget N] [--shrink-seconds S]\n"
               "                   [--pty-share P] [--pipe-names] [--verbose]\n"
               "                   [--batch PATH [--batch-share P]]\n"
               "  Runs generated cases until the time or run count is used up; run I of seed S\n"
               "  is always the same case (--seed S --start I --runs 1 repeats it). Failing cases\n"
               "  are shrunk and saved under --failures. --replay DIR first runs every saved case\n"
               "  in DIR (each a folder with case.txt). Exit status 0 when every run kept every\n"
               "  invariant.\n",
               why);
  std::exit(2);
}

Settings ParseArgs(int argc, char** argv) {
  Settings s;
  s.caseOptions.unprivilegedShare = geteuid() == 0 ? 0.05 : 0.0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(("missing value after " + arg).c_str());
      return argv[++i];
    };
    if (arg == "--binary") {
      s.binary = value();
    } else if (arg == "--seed") {
      s.seed = std::stoull(value());
    } else if (arg == "--seconds") {
      s.seconds = std::stod(value());
    } else if (arg == "--runs") {
      s.runs = std::stol(value());
    } else if (arg == "--start") {
      s.start = std::stol(value());
    } else if (arg == "--failures") {
      s.failures = value();
    } else if (arg == "--replay") {
      s.replay = value();
    } else if (arg == "--timeout") {
      s.timeout = std::stoi(value());
    } else if (arg == "--max-saved") {
      s.maxSaved = std::stoi(value());
    } else if (arg == "--shrink-budget") {
      s.shrinkBudget = std::stoi(value());
    } else if (arg == "--shrink-seconds") {
      s.shrinkSeconds = std::stod(value());
    } else if (arg == "--verbose") {
      s.verbose = true;
    } else if (arg == "--pipe-names") {
      s.caseOptions.pipeNames = true;
    } else if (arg == "--batch") {
      s.batchBinary = fs::absolute(value()).string();
    } else if (arg == "--batch-share") {
      s.batchShare = std::stod(value());
    } else if (arg == "--pty-share") {
      s.caseOptions.ptyShare = std::stod(value());
    } else {
      Usage(("unknown argument " + arg).c_str());
    }
  }
  if (s.binary.empty()) Usage("--binary is required");
  if (!fs::exists(s.binary)) Usage(("no program at " + s.binary).c_str());
  s.binary = fs::absolute(s.binary).string();
  return s;
}

struct Outcome {
  x17b_test::RunResult result;
  std::vector<std::string> violations;
};

Outcome Run(const Case& c, const Settings& settings, int timeout = 0) {
  x17b_test::TempDir dir;
  Materialize(c, dir.path());
  Snapshot before = TakeSnapshot(dir.path());
  Outcome outcome;
  // A run that may read an endless device is expected to be stopped; it gets a short limit.
  int limit = timeout > 0 ? timeout : settings.timeout;
  if (NamesEndlessDevice(c)) limit = std::min(limit, 3);
  if (c.batch && settings.batchBinary.empty()) {
    outcome.violations.push_back("setup: a batch case needs --batch PATH");
    return outcome;
  }
  outcome.result = RunCase(c, c.batch ? settings.batchBinary : settings.binary, dir.path(), limit);
  const Snapshot after = TakeSnapshot(dir.path());
  outcome.violations = c.batch ? CheckBatchRun(c, outcome.result, before, after, settings.binary)
                               : CheckRun(c, outcome.result, before, after);
  return outcome;
}

std::string Category(const std::string& violation) {
  return violation.substr(0, violation.find(':'));
}

bool OnlyConsoleViolations(const Outcome& o) {
  return !o.violations.empty() &&
         std::all_of(o.violations.begin(), o.violations.end(),
                     [](const std::string& v) { return Category(v) == "stdout"; });
}

// A short name for how a run ended, for the summary.
std::string OutcomeKey(const Case& c, const x17b_test::RunResult& r) {
  if (r.timedOut) return NamesEndlessDevice(c) ? "stopped: endless input from a device" : "hang";
  if (r.signal != 0) return "signal " + std::to_string(r.signal);
  if (c.batch) return "batch exit " + std::to_string(r.exitCode);
  std::string key = "exit " + std::to_string(r.exitCode);
  if (r.err.size() > 21) {
    std::size_t colon = r.err.find(": ", 17);
    std::size_t paren = r.err.find('(', 17);
    std::size_t end = std::min(
        {colon == std::string::npos ? r.err.size() : colon + 2 + 7, paren, r.err.find('\r', 17)});
    key += " " + r.err.substr(17, std::min<std::size_t>(end, r.err.size()) - 17);
  } else if (r.exitCode == 1 && r.out.find("FORTRAN error number") != std::string::npos) {
    key += " status report";
  }
  return key;
}

// Splits text after each LF; the pieces join back into the text.
std::vector<std::string> Pieces(const std::string& text) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    pieces.push_back(text.substr(start, end - start));
    start = end;
  }
  return pieces;
}

// Removes chunks of lines, then halves long lines, while `stillFails` holds.
void ShrinkText(std::string& text, const std::function<bool(const std::string&)>& stillFails,
                int& budget) {
  std::vector<std::string> pieces = Pieces(text);
  for (std::size_t chunk = pieces.size() / 2; chunk >= 1 && budget > 0; chunk /= 2) {
    for (std::size_t at = 0; at + chunk <= pieces.size() && budget > 0;) {
      std::vector<std::string> fewer = pieces;
      fewer.erase(fewer.begin() + static_cast<long>(at),
                  fewer.begin() + static_cast<long>(at + chunk));
      std::string joined;
      for (const std::string& piece : fewer) joined += piece;
      --budget;
      if (stillFails(joined)) {
        pieces = fewer;
        text = joined;
      } else {
        at += chunk;
      }
    }
  }
  for (std::size_t i = 0; i < pieces.size() && budget > 0; ++i) {
    while (pieces[i].size() > 200 && budget > 0) {
      std::vector<std::string> shorter = pieces;
      bool ended = shorter[i].back() == '\n';
      shorter[i].resize(shorter[i].size() / 2);
      if (ended) shorter[i] += '\n';
      std::string joined;
      for (const std::string& piece : shorter) joined += piece;
      --budget;
      if (!stillFails(joined)) break;
      pieces = shorter;
      text = joined;
    }
  }
}

// Makes a failing case smaller while it still breaks the same rule.
Case Shrink(Case c, const std::string& category, const Settings& settings) {
  int budget = settings.shrinkBudget;
  auto deadline = Clock::now() + std::chrono::duration<double>(settings.shrinkSeconds);
  // A hang is seen sooner with a short time limit; shrinking a hang would take ages otherwise.
  int timeout = category == "hang" ? std::min(settings.timeout, 3) : settings.timeout;
  auto fails = [&](const Case& candidate) {
    if (Clock::now() > deadline) {
      budget = 0;
      return false;
    }
    for (const std::string& v : Run(candidate, settings, timeout).violations) {
      if (Category(v) == category) return true;
    }
    return false;
  };
  for (std::size_t i = c.args.size(); i-- > 0 && budget > 0;) {
    Case fewer = c;
    fewer.args.erase(fewer.args.begin() + static_cast<long>(i));
    --budget;
    if (fails(fewer)) c = fewer;
  }
  for (std::size_t i = c.files.size(); i-- > 0 && budget > 0;) {
    const std::string& path = c.files[i].path;
    bool parent = false;
    for (const CaseFile& other : c.files) parent = parent || other.path.rfind(path + "/", 0) == 0;
    if (parent) continue;
    Case fewer = c;
    fewer.files.erase(fewer.files.begin() + static_cast<long>(i));
    --budget;
    if (fails(fewer)) c = fewer;
  }
  if (!c.pty) {
    ShrinkText(
        c.input,
        [&](const std::string& text) {
          Case candidate = c;
          candidate.input = text;
          return fails(candidate);
        },
        budget);
  }
  for (CaseFile& file : c.files) {
    if (file.isDirectory) continue;
    ShrinkText(
        file.bytes,
        [&](const std::string& text) {
          Case candidate = c;
          for (CaseFile& f : candidate.files) {
            if (f.path == file.path) f.bytes = text;
          }
          return fails(candidate);
        },
        budget);
  }
  return c;
}

std::string Cut(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  return text.substr(0, limit) + "\n... (" + std::to_string(text.size() - limit) + " more bytes)";
}

std::string Report(const Case& c, const Outcome& o, const std::string& origin) {
  std::string report = "origin: " + origin + "\ncase: " + c.note + "\nviolations:\n";
  for (const std::string& v : o.violations) report += "  " + v + "\n";
  report += "exit code " + std::to_string(o.result.exitCode) + ", signal " +
            std::to_string(o.result.signal) + (o.result.timedOut ? ", timed out" : "") + "\n";
  report += "args:";
  for (const std::string& arg : c.args) report += " [" + x17b_test::Visible(arg) + "]";
  report += "\n--- standard input\n" + Cut(x17b_test::Visible(c.input), 3000);
  report += "\n--- standard output\n" + Cut(x17b_test::Visible(o.result.out), 6000);
  report += "\n--- standard error\n" + Cut(x17b_test::Visible(o.result.err), 2000) + "\n";
  return report;
}

int Replay(const Settings& settings) {
  if (!fs::is_directory(settings.replay)) {
    std::printf("replay: %s is not a folder\n", settings.replay.c_str());
    return 1;
  }
  int cases = 0;
  int failed = 0;
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(settings.replay)) {
    if (fs::exists(entry.path() / "case.txt")) folders.push_back(entry.path());
  }
  std::sort(folders.begin(), folders.end());
  for (const fs::path& folder : folders) {
    ++cases;
    Case c = LoadCase(folder.string());
    Outcome o = Run(c, settings);
    if (o.violations.empty()) {
      std::printf("replay %s: ok (%s)\n", folder.filename().c_str(),
                  OutcomeKey(c, o.result).c_str());
    } else {
      ++failed;
      std::printf("replay %s: FAILED\n", folder.filename().c_str());
      for (const std::string& v : o.violations) std::printf("  %s\n", v.c_str());
    }
  }
  std::printf("replay: %d passed, %d failed\n", cases - failed, failed);
  return failed == 0 ? 0 : 1;
}

int Generate(const Settings& settings) {
  auto started = Clock::now();
  std::map<std::string, long> outcomes;
  std::map<std::string, int> savedPerCategory;
  long runs = 0;
  long failedRuns = 0;
  long pty = 0;
  long unprivileged = 0;
  long ptyRetries = 0;
  int saved = 0;
  for (long index = settings.start;; ++index) {
    double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    if (settings.runs > 0 && runs >= settings.runs) break;
    if (settings.runs == 0 && elapsed >= settings.seconds) break;
    Rng rng{settings.seed, static_cast<uint64_t>(index)};
    const bool batch = !settings.batchBinary.empty() && rng.Chance(settings.batchShare);
    Case c = batch ? MakeBatchCase(rng, rng.Chance(settings.caseOptions.unprivilegedShare * 4))
                   : MakeCase(rng, settings.caseOptions);
    Outcome o = Run(c, settings);
    if (c.pty && OnlyConsoleViolations(o)) {
      // The pseudo-terminal may still hold the last bytes the program wrote when the harness
      // stops reading it; a second run tells a lost tail from a wrong one.
      Outcome again = Run(c, settings);
      if (again.violations.empty()) {
        ++ptyRetries;
        o = again;
      }
    }
    ++runs;
    pty += c.pty ? 1 : 0;
    unprivileged += c.unprivileged ? 1 : 0;
    ++outcomes[OutcomeKey(c, o.result)];
    if (settings.verbose) {
      std::printf("run %ld: %s; %s\n%s", index, OutcomeKey(c, o.result).c_str(), c.note.c_str(),
                  x17b_test::Visible(o.result.err).c_str());
    }
    if (o.violations.empty()) continue;

    ++failedRuns;
    std::string category = Category(o.violations.front());
    std::printf("FAIL seed %llu run %ld: %s\n", static_cast<unsigned long long>(settings.seed),
                index, o.violations.front().c_str());
    if (saved >= settings.maxSaved || savedPerCategory[category] >= 3) continue;
    ++savedPerCategory[category];
    ++saved;
    std::string origin = "--seed " + std::to_string(settings.seed) + " --start " +
                         std::to_string(index) + " --runs 1";
    std::string folder = settings.failures + "/seed" + std::to_string(settings.seed) + "-run" +
                         std::to_string(index);
    SaveCase(c, folder + "-original", Report(c, o, origin));
    Case small = Shrink(c, category, settings);
    Outcome again = Run(small, settings);
    if (!again.violations.empty()) {
      SaveCase(small, folder, Report(small, again, origin + " (shrunk)"));
      std::printf("  saved %s (shrunk) and %s-original\n", folder.c_str(), folder.c_str());
    } else {
      std::printf("  saved %s-original (did not fail again when shrunk)\n", folder.c_str());
    }
  }
  double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
  std::printf(
      "stress: seed %llu, runs %ld..%ld, %.0f s, %ld on a pty (%ld run again for a lost tail), "
      "%ld as nobody\n",
      static_cast<unsigned long long>(settings.seed), settings.start, settings.start + runs - 1,
      elapsed, pty, ptyRetries, unprivileged);
  std::vector<std::pair<long, std::string>> sorted;
  for (const auto& [key, count] : outcomes) sorted.emplace_back(count, key);
  std::sort(sorted.rbegin(), sorted.rend());
  for (const auto& [count, key] : sorted) std::printf("  %6ld  %s\n", count, key.c_str());
  std::printf("stress: %ld passed, %ld failed\n", runs - failedRuns, failedRuns);
  return failedRuns == 0 ? 0 : 1;
}

}  // namespace
}  // namespace x17b_stress

int main(int argc, char** argv) {
  using namespace x17b_stress;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each failure shows as it is found, also in a log
  Settings settings = ParseArgs(argc, argv);
  int status = 0;
  if (!settings.replay.empty()) status = Replay(settings);
  if (settings.seconds > 0 || settings.runs > 0) status = Generate(settings) != 0 ? 1 : status;
  if (settings.replay.empty() && settings.seconds <= 0 && settings.runs <= 0) {
    Usage("give --seconds, --runs or --replay");
  }
  return status;
}
