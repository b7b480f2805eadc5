// The command line of x17b2pavo-batch.
#include "convert/batch_options.h"

#include <charconv>

#include "convert/batch_outputs.h"

namespace convert::batch {
namespace {

constexpr std::string_view kUsage =
    "Usage: x17b2pavo-batch [OPTION]... SCAN...\n"
    "Convert X17B energy-dispersive scan files into PAVO powder data files.\n"
    "Each SCAN is converted into STEM.pavo, STEM being its file name without its last\n"
    "extension, in the scan's own folder or in DIR. An output appears whole or not at all.\n"
    "\n"
    "  -o, --output-dir=DIR   write the outputs into DIR\n"
    "  -f, --force            replace outputs that exist\n"
    "  -n, --skip-existing    skip scans whose output exists\n"
    "  -j, --jobs=N           convert N scans at once (default: one per processor)\n"
    "  -q, --quiet            write failure lines only\n"
    "      --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "\n"
    "Exit status: 0 when every scan was converted or skipped, 1 when any failed,\n"
    "2 on a usage error.\n";

// Reads the value of -j: a whole number from 1 to the most jobs.
bool ParseJobs(std::string_view text, int& jobs) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
  return error == std::errc{} && end == text.data() + text.size() && jobs >= 1 && jobs <= kMaxJobs;
}

class Parser {
 public:
  Parser(int argc, const char* const* argv) : argc_{argc}, argv_{argv} {}

  CommandLine Parse() {
    line_.options.scans.reserve(static_cast<std::size_t>(argc_));
    bool optionsEnded = false;
    for (index_ = 1; index_ < argc_ && line_.request == Request::kConvert; ++index_) {
      const std::string_view arg = argv_[index_];
      if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
        line_.options.scans.push_back(arg);
      } else if (arg == "--") {
        optionsEnded = true;
      } else if (arg.substr(0, 2) == "--") {
        LongOption(arg.substr(2));
      } else {
        ShortOptions(arg.substr(1));
      }
    }
    if (line_.request == Request::kConvert) Check();
    return line_;
  }

 private:
  void Fail(std::string error) {
    if (line_.request != Request::kConvert) return;
    line_.request = Request::kUsageError;
    line_.error = std::move(error);
  }

  // The value of an option: the rest of its argument, or the next argument. `missing` is the
  // error when there is neither.
  bool TakeValue(std::string_view attached, bool hasAttached, std::string missing,
                 std::string_view& value) {
    if (hasAttached) {
      value = attached;
      return true;
    }
    if (index_ + 1 >= argc_) {
      Fail(std::move(missing));
      return false;
    }
    value = argv_[++index_];
    return true;
  }

  void Apply(char option, std::string_view value) {
    switch (option) {
      case 'o':
        line_.options.outputDir = value;
        line_.options.outputDirGiven = true;
        break;
      case 'j':
        if (!ParseJobs(value, line_.options.jobs)) {
          Fail("invalid number of jobs '" + Shown(value) + "' (1 to 256)");
        }
        break;
      case 'f':
        line_.options.force = true;
        break;
      case 'n':
        line_.options.skipExisting = true;
        break;
      case 'q':
        line_.options.quiet = true;
        break;
    }
  }

  void ShortOptions(std::string_view letters) {
    for (std::size_t i = 0; i < letters.size(); ++i) {
      const char letter = letters[i];
      if (letter == 'o' || letter == 'j') {
        std::string_view value;
        const bool attached = i + 1 < letters.size();
        if (TakeValue(letters.substr(i + 1), attached,
                      "option requires an argument -- '" + std::string(1, letter) + "'", value)) {
          Apply(letter, value);
        }
        return;
      }
      if (letter != 'f' && letter != 'n' && letter != 'q') {
        Fail("invalid option -- '" + Shown(std::string_view(&letter, 1)) + "'");
        return;
      }
      Apply(letter, {});
    }
  }

  void LongOption(std::string_view text) {
    const std::size_t equals = text.find('=');
    const std::string_view name = text.substr(0, equals);
    const bool attached = equals != std::string_view::npos;
    const std::string_view attachedValue = attached ? text.substr(equals + 1) : std::string_view{};
    struct Long {
      std::string_view name;
      char option;
      bool takesValue;
    };
    constexpr Long kLongs[] = {{"output-dir", 'o', true}, {"jobs", 'j', true},
                               {"force", 'f', false},     {"skip-existing", 'n', false},
                               {"quiet", 'q', false},     {"help", 'h', false},
                               {"version", 'v', false}};
    for (const Long& known : kLongs) {
      if (known.name != name) continue;
      if (!known.takesValue && attached) {
        Fail("option '--" + Shown(name) + "' doesn't allow an argument");
      } else if (known.option == 'h') {
        line_.request = Request::kHelp;
      } else if (known.option == 'v') {
        line_.request = Request::kVersion;
      } else if (!known.takesValue) {
        Apply(known.option, {});
      } else if (std::string_view value;
                 TakeValue(attachedValue, attached,
                           "option '--" + std::string(name) + "' requires an argument", value)) {
        Apply(known.option, value);
      }
      return;
    }
    Fail("unrecognized option '--" + Shown(name) + "'");
  }

  void Check() {
    if (line_.options.force && line_.options.skipExisting) {
      Fail("options -f and -n cannot be used together");
    } else if (line_.options.scans.empty()) {
      Fail("no scan given");
    }
  }

  int argc_;
  const char* const* argv_;
  int index_ = 1;
  CommandLine line_;
};

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  return Parser(argc, argv).Parse();
}

std::string_view UsageText() {
  return kUsage;
}

}  // namespace convert::batch
