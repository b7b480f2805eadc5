// One scan of x17b2pavo-batch: the converter's own steps, with every request asking for its
// status so that a failure ends the scan and not the process.
#include "convert/batch_scan.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <span>
#include <string>

#include "convert/batch_outputs.h"
#include "convert/conversion.h"
#include "recio/platform.h"
#include "recio/platform_process.h"
#include "recio/recio.h"

namespace convert::batch {
namespace {

constexpr recio::Flags kStatus{.status = true, .end = true};
// The output is written in pieces of this size, so that a usual output goes out in one write.
constexpr int32_t kOutputBlock = 64 * 1024;
constexpr uint32_t kNameAttempts = 100;

// Kept between scans: the table of counts is large, and each scan overwrites what it uses.
constinit Conversion conversion{powder::Output{powder::kUnit, false, kStatus}, kStatus};

// The temporary file being written, for the signal handler: set before the file is created,
// cleared once it has its final name.
constexpr std::size_t kPathCapacity = 4096;
char gTemporary[kPathCapacity] = {};

void SetTemporary(const std::string& path) {
  const std::size_t length = std::min(path.size(), kPathCapacity - 1);
  gTemporary[0] = '\0';
  std::copy_n(path.data(), length, gTemporary + 1);
  gTemporary[length + 1] = '\0';
  std::atomic_signal_fence(std::memory_order_seq_cst);
  gTemporary[0] = length > 0 ? '/' : '\0';  // armed last: the handler never sees half a name
}

void ClearTemporary() {
  gTemporary[0] = '\0';
}

std::span<const char> Name(const std::string& name) {
  return {name.data(), name.size()};
}

int32_t OpenScan(std::string_view scan) {
  recio::OpenSpec spec;
  spec.name = std::span<const char>(scan.data(), scan.size());
  spec.nameAsGiven = true;
  spec.status = recio::OpenStatus::kOld;
  spec.mode = recio::Mode::kRead;  // a scan is only read
  return recio::Open(scan::kUnit, spec, kStatus);
}

// A new file under a temporary name beside the output; another name when one is taken. The first
// name tried is the one the first process removes should this worker end before it reports.
// The signal handler learns the name once the file is this process's own, and no termination
// signal comes between the file's creation and that moment.
int32_t OpenTemporary(const std::string& output, std::string& temporary) {
  recio::platform::BlockTerminationSignals();
  int32_t status = 0;
  for (uint32_t attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary = TemporaryPath(output, recio::platform::ProcessNumber(), attempt);
    recio::OpenSpec spec;
    spec.name = Name(temporary);
    spec.nameAsGiven = true;
    spec.status = recio::OpenStatus::kNew;
    spec.blocksize = kOutputBlock;
    status = recio::Open(powder::kUnit, spec, kStatus);
    if (status != recio::kFileExistsStatus) break;
  }
  if (status == 0) SetTemporary(temporary);
  recio::platform::UnblockTerminationSignals();
  return status;
}

ScanResult Failed(uint32_t index, bool onOutput, int32_t status, int64_t line = 0) {
  return {index, ScanResult::Outcome::kFailed, onOutput, false, -1, status, line};
}

// Whatever a failed scan leaves open is closed, and its temporary file removed.
void Abandon(const std::string& temporary) {
  recio::Close(scan::kUnit, {}, kStatus);
  recio::Close(powder::kUnit, recio::CloseStatus::kDelete, kStatus);
  if (!temporary.empty()) recio::platform::RemoveFile(temporary.c_str());
  ClearTemporary();
}

// The conversion from the open scan into the open temporary file, and the close that writes
// out its last piece.
ScanResult Convert(uint32_t index, const std::string& temporary) {
  const ConversionResult converted = conversion.Run();
  if (!converted.ok()) {
    Abandon(temporary);
    ScanResult result =
        Failed(index, converted.onOutput, converted.outcome.status, converted.outcome.record);
    if (converted.fault) result.fault = static_cast<int8_t>(*converted.fault);
    return result;
  }
  if (int32_t status = recio::Close(powder::kUnit, {}, kStatus)) {
    Abandon(temporary);
    return Failed(index, true, status);
  }
  return {index};
}

}  // namespace

ScanResult ConvertScan(const Options& options, uint32_t index) {
  const std::string_view scan = options.scans[index];
  const std::string output = OutputPath(scan, options.outputDir);
  if (!options.force && recio::platform::NameExists(output.c_str())) {
    if (options.skipExisting) return {index, ScanResult::Outcome::kSkipped};
    ScanResult result = Failed(index, true, 0);
    result.exists = true;
    return result;
  }
  if (int32_t status = OpenScan(scan)) {
    recio::Close(scan::kUnit, {}, kStatus);
    return Failed(index, false, status);
  }
  std::string temporary;
  if (int32_t status = OpenTemporary(output, temporary)) {
    Abandon({});
    return Failed(index, true, status);
  }
  ScanResult result = Convert(index, temporary);
  if (result.outcome != ScanResult::Outcome::kConverted) return result;
  const recio::platform::IoResult renamed =
      recio::platform::RenameFile(temporary.c_str(), output.c_str(), options.force);
  if (!renamed.ok) {
    recio::platform::RemoveFile(temporary.c_str());
    ClearTemporary();
    result = Failed(index, true, static_cast<int32_t>(renamed.failure));
    result.exists = renamed.failure == recio::ErrorId::kFileAlreadyExists;
    return result;
  }
  ClearTemporary();
  return result;
}

void RemoveTemporaryFile() {
  if (gTemporary[0] != '\0') recio::platform::RemoveFile(gTemporary + 1);
}

}  // namespace convert::batch
