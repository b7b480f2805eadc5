// The run of a program on the record layer: its start, the stop, and termination.
#include "platform/streams.h"
#include "platform/this_process.h"
#include "recio/errors.h"
#include "recio/internal/console.h"
#include "recio/internal/names.h"
#include "recio/internal/open.h"
#include "recio/internal/request.h"
#include "recio/internal/termination.h"
#include "recio/internal/units.h"

namespace recio {
namespace {

constinit bool gTerminating = false;

// A failed console write at the end of a run is reported like any failed console write.
void ReportConsoleWriteFailure(const platform::IoResult& result) {
  const RequestContext context{Statement::kWrite, {}, &console::Output()};
  ReportFailure({RowOf(SystemStep::kWrite, result.error), result.error}, context);
}

// Termination's work: every unit of the table closed with its default status, in slot order
// (not unit order). A failure ends the run inside its close.
void CloseEveryUnitInSlotOrder() {
  int32_t units[kUnitSlots];
  int count = 0;
  for (const Slot& slot : Slots()) {
    if (slot.connection) units[count++] = slot.unit;
  }
  for (int i = 0; i < count; ++i) Close(units[i]);
}

}  // namespace

void Start(int argc, char** argv) noexcept {
  // Before anything else: no file of the run may take the number of a closed standard stream.
  const std::array<platform::StreamFacts, 3> streams = platform::PrepareStandardStreams();
  platform::PrepareThisProcess();
  HoldStandardStreamFiles(streams);
  SetArguments(argc, argv);
  console::Connect(streams[platform::IndexOf(platform::Stream::kInput)].terminal,
                   streams[platform::IndexOf(platform::Stream::kOutput)].terminal);
  platform::AtExit([] {
    // main returned without the stop: the termination work still runs once.
    Terminate(0);
  });
}

void Stop(int exitCode) noexcept {
  const platform::IoResult wrote = console::WriteStopLine();
  if (!wrote.ok()) ReportConsoleWriteFailure(wrote);
  Terminate(exitCode);
}

void Terminate(int exitCode) noexcept {
  // A failure while the units are being closed has written its message: the run ends at once,
  // as a failure.
  if (gTerminating) platform::ExitProcess(1);
  gTerminating = true;
  CloseEveryUnitInSlotOrder();
  const platform::IoResult ended = console::EndLineAtTermination();
  // A run that already failed has said so; only a run about to end well reports this.
  if (!ended.ok() && exitCode == 0) ReportConsoleWriteFailure(ended);
  platform::ExitProcess(exitCode);
}

}  // namespace recio
