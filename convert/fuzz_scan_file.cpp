// Fuzz target: arbitrary bytes as a whole scan file, converted by the converter's own steps from
// a temporary file into a temporary powder data file. Every request asks for its status, so a
// failure or a fault comes back instead of ending the process; the powder data file must always
// be whole 82-byte records.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "convert/conversion.h"
#include "convert/powder_file.h"
#include "convert/scan_file.h"
#include "recio/recio.h"

namespace {

constexpr recio::Flags kStatus{.status = true, .end = true};

std::string gScanName;
std::string gPowderName;

std::span<const char> Name(const std::string& name) {
  return {name.data(), name.size()};
}

bool OpenFiles() {
  recio::OpenSpec scan;
  scan.name = Name(gScanName);
  scan.status = recio::OpenStatus::kOld;
  if (recio::Open(convert::scan::kUnit, scan, kStatus) != 0) return false;
  recio::OpenSpec powder;
  powder.name = Name(gPowderName);
  powder.status = recio::OpenStatus::kNew;
  powder.access = recio::Access::kDirect;
  powder.form = recio::Form::kFormatted;
  powder.recl = convert::powder::kRecordLength;
  return recio::Open(convert::powder::kUnit, powder, kStatus) == 0;
}

// The converter's own steps, every request asking for its status; returns the number of records
// it should have written when the whole scan converted, or -1 when a read or the scaling failed.
int32_t Convert() {
  static convert::Conversion conversion{{convert::powder::kUnit, true, kStatus}, kStatus};
  const convert::ConversionResult result = conversion.Run();
  if (result.onOutput) __builtin_trap();  // writing what was read never fails
  if (!result.ok()) return -1;
  return 2 + std::max(conversion.countRecords(), 0);
}

std::string ReadAll(const std::string& path) {
  std::string bytes;
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return bytes;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
    bytes.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  return bytes;
}

// Whole records of 80 columns and CR LF, with no line end inside the 80 columns.
void CheckPowderFile(const std::string& bytes, int32_t expectedRecords) {
  if (bytes.size() % 82 != 0) __builtin_trap();
  for (std::size_t r = 0; r < bytes.size(); r += 82) {
    if (bytes[r + 80] != '\r' || bytes[r + 81] != '\n') __builtin_trap();
    if (std::string_view(bytes).substr(r, 80).find_first_of("\r\n") != std::string_view::npos) {
      __builtin_trap();
    }
  }
  if (expectedRecords >= 0 && bytes.size() != static_cast<std::size_t>(expectedRecords) * 82) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  recio::Start(*argc, *argv);
  char pattern[] = "/tmp/x17b-fuzz-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) std::abort();
  gScanName = std::string(dir) + "/scan.dat";
  gPowderName = std::string(dir) + "/out.pavo";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  int fd = open(gScanName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  close(fd);
  unlink(gPowderName.c_str());
  if (!OpenFiles()) std::abort();
  int32_t expected = Convert();
  if (recio::Close(convert::scan::kUnit, {}, kStatus) != 0 ||
      recio::Close(convert::powder::kUnit, {}, kStatus) != 0) {
    __builtin_trap();
  }
  CheckPowderFile(ReadAll(gPowderName), expected);
  return 0;
}
