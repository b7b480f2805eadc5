// x17b2pavo-batch: converts many X17B scans into PAVO powder data files, several at a time.
#include <string>
#include <string_view>

#include "convert/batch_options.h"
#include "convert/batch_run.h"
#include "convert/batch_text.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "recio/platform.h"
#include "recio/recio.h"

namespace {

using convert::batch::Request;

void Write(int handle, std::string_view text) {
  recio::platform::WriteAll(handle, text.data(), text.size());
}

[[noreturn]] void UsageError(std::string_view error) {
  Write(recio::platform::kStderr, "x17b2pavo-batch: " + std::string(error) +
                                      "\nTry 'x17b2pavo-batch --help' for more information.\n");
  recio::platform::ExitProcess(2);
}

// --help and --version: what they write must arrive, or the program says so and fails, as it
// does when standard output was closed.
[[noreturn]] void Answer(std::string_view text, bool outputOpen) {
  std::string failure = "standard output is closed";
  if (outputOpen) {
    const recio::platform::IoResult wrote =
        recio::platform::WriteAll(recio::platform::kStdout, text.data(), text.size());
    if (wrote.ok) recio::platform::ExitProcess(0);
    failure = recio::StatusText(static_cast<int32_t>(wrote.failure));
  }
  Write(recio::platform::kStderr, "x17b2pavo-batch: write error: " + failure + "\n");
  recio::platform::ExitProcess(1);
}

}  // namespace

int main(int argc, char** argv) {
  // Asked before the record layer gives a closed stream the null device.
  const bool outputOpen = platform::StreamIsOpen(platform::Stream::kOutput);
  // The record layer takes no names from this command line: a scan name is never asked for.
  recio::Start(1, argv);
  const convert::batch::CommandLine line = convert::batch::ParseCommandLine(argc, argv);
  switch (line.request) {
    case Request::kHelp:
      Answer(convert::batch::UsageText(), outputOpen);
    case Request::kVersion:
      Answer("x17b2pavo-batch " X17B_VERSION "\n", outputOpen);
    case Request::kUsageError:
      UsageError(line.error);
    case Request::kConvert:
      break;
  }
  const std::string folder(line.options.outputDir);
  if (line.options.outputDirGiven && !platform::IsFolder(folder.c_str())) {
    const bool exists = platform::InspectName(folder.c_str()).kind != platform::FileKind::kNone;
    UsageError("'" + convert::batch::Shown(folder) +
               (exists ? "' is not a folder" : "': no such folder"));
  }
  recio::platform::ExitProcess(convert::batch::RunBatch(line.options));
}
