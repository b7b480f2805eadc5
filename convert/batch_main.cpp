// x17b2pavo-batch: converts many X17B scans into PAVO powder data files, several at a time.
#include <string>
#include <string_view>

#include "convert/batch_options.h"
#include "convert/batch_run.h"
#include "convert/batch_text.h"
#include "convert/batch_worker.h"
#include "platform/arguments.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/streams.h"
#include "platform/this_process.h"
#include "recio/recio.h"

namespace {

using convert::batch::Request;

void Write(platform::Stream stream, std::string_view text) {
  platform::WriteAll(platform::StreamHandle(stream), text.data(), text.size());
}

[[noreturn]] void UsageError(std::string_view error) {
  Write(platform::Stream::kError, "x17b2pavo-batch: " + std::string(error) +
                                      "\nTry 'x17b2pavo-batch --help' for more information.\n");
  platform::ExitProcess(2);
}

// --help and --version: what they write must arrive, or the program says so and fails, as it
// does when standard output was closed.
[[noreturn]] void Answer(std::string_view text, bool outputOpen) {
  std::string failure = "standard output is closed";
  if (outputOpen) {
    const platform::IoResult wrote = platform::WriteAll(
        platform::StreamHandle(platform::Stream::kOutput), text.data(), text.size());
    if (wrote.ok()) platform::ExitProcess(0);
    failure = recio::CatalogueText(recio::RowOf(recio::SystemStep::kWrite, wrote.error));
  }
  Write(platform::Stream::kError, "x17b2pavo-batch: write error: " + failure + "\n");
  platform::ExitProcess(1);
}

}  // namespace

int main(int argc, char** argv) {
  // Wildcards that the shell left (Windows) are expanded here, as a POSIX shell expands them.
  const platform::Arguments arguments =
      platform::CommandLineArguments(argc, argv, platform::Wildcards::kExpand);
  // Asked before the record layer gives a closed stream the null device.
  const bool outputOpen = platform::StreamIsOpen(platform::Stream::kOutput);
  // The record layer takes no names from this command line: a scan name is never asked for.
  recio::Start(1, arguments.argv);
  platform::RunWorkerIfStartedAsOne(arguments.argc, arguments.argv, convert::batch::WorkerMain);
  const convert::batch::CommandLine line =
      convert::batch::ParseCommandLine(arguments.argc, arguments.argv);
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
  platform::ExitProcess(convert::batch::RunBatch(line.options));
}
