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
  bool skipExisting = false;  // skip a scan whose output exists and is whole
  int jobs = 0;               // scans converted at once; 0: one per processor available
  bool quiet = false;         // failure lines only
  bool sync = true;           // outputs made durable before they count as converted
  bool strict = false;        // a scan with warnings fails and writes nothing
  bool dryRun = false;        // check every scan and output, convert nothing
  bool progress = false;      // a progress line even when standard error is not a terminal
  std::string_view listName;  // --files0-from: the list's name ("-": standard input), or empty
  std::vector<std::string_view> scans;
};

enum class Request { kConvert, kHelp, kVersion, kUsageError };

struct CommandLine {
  Request request = Request::kConvert;
  Options options;
  std::string error;       // for a usage error: what is wrong, in one line
  std::vector<char> list;  // the names read with --files0-from, which the scans point into
};

inline constexpr int kMaxJobs = 256;

/// Reads the command line with getopt_long, as GNU tools do: short options may be combined
/// (-fq) and take their value attached or as the next argument (-j4, -j 4); long ones may be
/// abbreviated and take theirs after "=" or as the next argument (--jobs=4, --jo 4); options and
/// scans may come in any order, and "--" ends the options. --files0-from reads the list it names
/// (standard input for "-").
CommandLine ParseCommandLine(int argc, char** argv);

/// The text of --help.
std::string_view UsageText();

}  // namespace convert::batch
