// x17b2pavo-batch: converts many X17B scans into PAVO powder data files, several at a time.
#include <string>
#include <string_view>

#include "convert/batch_options.h"
#include "convert/batch_outputs.h"
#include "convert/batch_run.h"
#include "recio/platform.h"
#include "recio/recio.h"

namespace {

namespace platform = recio::platform;
using convert::batch::Request;

void Write(int handle, std::string_view text) {
  platform::WriteAll(handle, text.data(), text.size());
}

[[noreturn]] void UsageError(std::string_view error) {
  Write(platform::kStderr, "x17b2pavo-batch: " + std::string(error) +
                               "\nTry 'x17b2pavo-batch --help' for more information.\n");
  platform::ExitProcess(2);
}

// --help and --version: what they write must arrive, or the program says so and fails.
[[noreturn]] void Answer(std::string_view text) {
  const platform::IoResult wrote = platform::WriteAll(platform::kStdout, text.data(), text.size());
  if (wrote.ok) platform::ExitProcess(0);
  Write(platform::kStderr, "x17b2pavo-batch: write error: " +
                               std::string(recio::StatusText(static_cast<int32_t>(wrote.failure))) +
                               "\n");
  platform::ExitProcess(1);
}

}  // namespace

int main(int argc, char** argv) {
  // The record layer takes no names from this command line: a scan name is never asked for.
  recio::Start(1, argv);
  const convert::batch::CommandLine line = convert::batch::ParseCommandLine(argc, argv);
  switch (line.request) {
    case Request::kHelp:
      Answer(convert::batch::UsageText());
    case Request::kVersion:
      Answer("x17b2pavo-batch " X17B_VERSION "\n");
    case Request::kUsageError:
      UsageError(line.error);
    case Request::kConvert:
      break;
  }
  const std::string folder(line.options.outputDir);
  if (line.options.outputDirGiven && !platform::IsDirectory(folder.c_str())) {
    UsageError("'" + convert::batch::Shown(folder) + "' is not a folder");
  }
  platform::ExitProcess(convert::batch::RunBatch(line.options));
}
