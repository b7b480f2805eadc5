// The command line of x17b2pavo-batch: its options and the scans to convert.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace convert::batch {

/// What the command line asks for.
struct Options {
  std::string_view outputDir;  // empty: each output goes into its scan's own folder
  bool outputDirGiven = false;
  bool force = false;         // replace an existing output
  bool skipExisting = false;  // skip a scan whose output exists
  int jobs = 0;               // scans converted at once; 0: one per processor available
  bool quiet = false;         // failure lines only
  std::vector<std::string_view> scans;
};

enum class Request { kConvert, kHelp, kVersion, kUsageError };

struct CommandLine {
  Request request = Request::kConvert;
  Options options;
  std::string error;  // for a usage error: what is wrong, in one line
};

inline constexpr int kMaxJobs = 256;

/// Reads the command line the way GNU tools do: short options may be combined (-fq) and take
/// their value attached or as the next argument (-j4, -j 4), long ones after "=" or as the next
/// argument (--jobs=4, --jobs 4); options and scans may come in any order, and "--" ends the
/// options.
CommandLine ParseCommandLine(int argc, const char* const* argv);

/// The text of --help.
std::string_view UsageText();

}  // namespace convert::batch
