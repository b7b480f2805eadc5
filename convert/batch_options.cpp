// The command line of x17b2pavo-batch.
#include "convert/batch_options.h"

#include <getopt.h>

#include <charconv>

#include "convert/batch_text.h"
#include "platform/files.h"
#include "platform/streams.h"

namespace convert::batch {
namespace {

constexpr std::string_view kUsage =
    "Usage: x17b2pavo-batch [OPTION]... SCAN...\n"
    "  or:  x17b2pavo-batch [OPTION]... --files0-from=LIST\n"
    "Convert X17B energy-dispersive scan files into PAVO powder data files.\n"
    "Each SCAN is converted into STEM.pavo, STEM being its file name without its last\n"
    "extension, in the scan's own folder or in DIR. An output appears whole or not at all,\n"
    "and it is on the disk before it is counted as converted.\n"
    "\n"
    "  -o, --output-dir=DIR    write the outputs into DIR\n"
    "  -f, --force             replace outputs that exist\n"
    "  -n, --skip-existing     skip scans whose output exists and is whole\n"
    "  -j, --jobs=N            convert N scans at once (default: one per processor)\n"
    "  -q, --quiet             write failure and warning lines only\n"
    "      --files0-from=LIST  convert the scans named in the file LIST, each name ended\n"
    "                          by a NUL byte (find -print0); LIST - is standard input\n"
    "      --strict            fail a scan that has warnings, and write no output for it\n"
    "      --dry-run           convert nothing: check every scan and output, and show\n"
    "                          SCAN -> OUTPUT for each scan that would be converted\n"
    "      --progress          show progress also when standard error is no terminal:\n"
    "                          a line at most every 10 seconds\n"
    "      --no-sync           do not wait for the outputs to reach the disk (scratch runs)\n"
    "      --help              show this help and exit\n"
    "      --version           show the version and exit\n"
    "\n"
    "Examples:\n"
    "  x17b2pavo-batch -o out data/*.dat\n"
    "  find data -type f -name '*.dat' -print0 | x17b2pavo-batch --files0-from=- -n -o out\n"
    "\n"
    "Exit status: 0 when every scan was converted or skipped, 1 when any failed,\n"
    "2 on a usage error.\n"
    "\n"
    "The manual: man x17b2pavo-batch\n"
    "Report bugs to <maintainers@users.noreply.c-seed-910187d4.example>.\n";

// Values of the options that have no letter.
enum : int { kFilesFrom = 256, kStrict, kDryRun, kProgress, kNoSync, kHelp, kVersion };

constexpr option kLongOptions[] = {
    {"output-dir", required_argument, nullptr, 'o'},
    {"force", no_argument, nullptr, 'f'},
    {"skip-existing", no_argument, nullptr, 'n'},
    {"jobs", required_argument, nullptr, 'j'},
    {"quiet", no_argument, nullptr, 'q'},
    {"files0-from", required_argument, nullptr, kFilesFrom},
    {"strict", no_argument, nullptr, kStrict},
    {"dry-run", no_argument, nullptr, kDryRun},
    {"progress", no_argument, nullptr, kProgress},
    {"no-sync", no_argument, nullptr, kNoSync},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};
// A leading ':' makes a missing value its own answer; '+' is not used, so scans and options mix.
constexpr char kShortOptions[] = ":o:j:fnq";

// Reads the value of -j: a whole number from 1 to the most jobs.
bool ParseJobs(std::string_view text, int& jobs) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
  return error == std::errc{} && end == text.data() + text.size() && jobs >= 1 && jobs <= kMaxJobs;
}

std::string_view LongName(int value) {
  for (const option& known : kLongOptions) {
    if (known.name != nullptr && known.val == value) return known.name;
  }
  return {};
}

bool IsOption(int value) {
  return !LongName(value).empty();
}

class Parser {
 public:
  Parser(int argc, char** argv) : argc_{argc}, argv_{argv} {}

  CommandLine Parse() {
    opterr = 0;
    optind = 1;
    for (int got; line_.request == Request::kConvert &&
                  (got = getopt_long(argc_, argv_, kShortOptions, kLongOptions, nullptr)) != -1;) {
      Take(got);
    }
    if (line_.request != Request::kConvert) return std::move(line_);
    for (int i = optind; i < argc_; ++i) line_.options.scans.emplace_back(argv_[i]);
    Check();
    return std::move(line_);
  }

 private:
  void Fail(std::string error) {
    if (line_.request != Request::kConvert) return;
    line_.request = Request::kUsageError;
    line_.error = std::move(error);
  }

  // The argument getopt_long looked at last: the option that it found at fault.
  std::string_view LastArgument() const { return optind > 0 ? argv_[optind - 1] : ""; }

  void Take(int got) {
    Options& options = line_.options;
    switch (got) {
      case 'o':
        options.outputDir = optarg;
        options.outputDirGiven = true;
        break;
      case 'j':
        if (!ParseJobs(optarg, options.jobs)) {
          Fail("invalid number of jobs '" + Shown(optarg) + "' (1 to 256)");
        }
        break;
      case 'f':
        options.force = true;
        break;
      case 'n':
        options.skipExisting = true;
        break;
      case 'q':
        options.quiet = true;
        break;
      case kFilesFrom:
        options.listName = optarg;
        break;
      case kStrict:
        options.strict = true;
        break;
      case kDryRun:
        options.dryRun = true;
        break;
      case kProgress:
        options.progress = true;
        break;
      case kNoSync:
        options.sync = false;
        break;
      case kHelp:
        line_.request = Request::kHelp;
        break;
      case kVersion:
        line_.request = Request::kVersion;
        break;
      case ':':
        MissingValue();
        break;
      default:
        UnknownOption();
        break;
    }
  }

  void MissingValue() {
    const std::string_view typed = LastArgument();
    if (typed.starts_with("--") && typed.find('=') != std::string_view::npos) {
      // BSD's getopt_long (MinGW-w64's too) answers so also for a value given to an option that
      // takes none, where glibc's answers as for an unknown option: the words stay the same.
      Fail("option '--" + std::string(LongName(optopt)) + "' doesn't allow an argument");
    } else if (typed.starts_with("--")) {
      Fail("option '--" + std::string(LongName(optopt)) + "' requires an argument");
    } else {
      Fail("option requires an argument -- '" + std::string(1, static_cast<char>(optopt)) + "'");
    }
  }

  // getopt_long names the option only for a known one given a value it does not take; an
  // unknown or ambiguous long option is the argument itself.
  void UnknownOption() {
    if (IsOption(optopt)) {
      Fail("option '--" + std::string(LongName(optopt)) + "' doesn't allow an argument");
      return;
    }
    if (optopt != 0) {
      const char letter = static_cast<char>(optopt);
      Fail("invalid option -- '" + Shown(std::string_view(&letter, 1)) + "'");
      return;
    }
    const std::string_view typed = LastArgument();
    const std::string_view name = typed.substr(2, typed.find('=') - 2);
    int matches = 0;
    for (const option& known : kLongOptions) {
      if (known.name != nullptr && std::string_view(known.name).starts_with(name)) ++matches;
    }
    if (matches > 1) {
      Fail("option '--" + Shown(name) + "' is ambiguous");
    } else {
      Fail("unrecognized option '--" + Shown(name) + "'");
    }
  }

  void Check() {
    Options& options = line_.options;
    if (options.force && options.skipExisting) {
      Fail("options -f and -n cannot be used together");
    } else if (!options.listName.empty()) {
      if (!options.scans.empty()) {
        Fail("extra operand '" + Shown(options.scans.front()) +
             "': scans cannot be given beside --files0-from");
      } else {
        ReadList();
      }
    } else if (options.scans.empty()) {
      Fail("no scan given");
    } else {
      for (std::string_view scan : options.scans) {
        if (scan == "-") {
          Fail(
              "'-' is not a scan; to read the names of scans from standard input, use "
              "--files0-from=-");
          return;
        }
      }
    }
  }

  // The names of the list, each ended by a NUL; a missing last NUL still ends the last name.
  void ReadList() {
    Options& options = line_.options;
    std::string bytes;
    const platform::Result read =
        options.listName == "-" ? platform::ReadToEnd(platform::Stream::kInput, bytes)
                                : platform::ReadToEnd(std::string(options.listName).c_str(), bytes);
    if (!read.ok()) {
      Fail("cannot read the list '" + Shown(options.listName) +
           "': " + std::string(CauseText(read.error)));
      return;
    }
    if (!bytes.empty() && bytes.back() != '\0') bytes.push_back('\0');
    line_.list.assign(bytes.begin(), bytes.end());
    const char* start = line_.list.data();
    const char* const end = start + line_.list.size();
    while (start < end) {
      const std::string_view name(start);
      options.scans.push_back(name);
      start += name.size() + 1;
    }
  }

  int argc_;
  char** argv_;
  CommandLine line_;
};

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
  return Parser(argc, argv).Parse();
}

std::string_view UsageText() {
  return kUsage;
}

}  // namespace convert::batch
