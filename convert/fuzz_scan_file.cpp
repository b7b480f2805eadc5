// Fuzz target: arbitrary bytes as a whole scan file, read from a temporary file through the record
// layer with the converter's layouts, and the records the converter would write from it, written
// to a temporary powder data file. Every request asks for its status, so a failure comes back
// instead of ending the process; the powder data file must always be whole 82-byte records.
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

#include "convert/powder_file.h"
#include "convert/scaling.h"
#include "convert/scan_file.h"
#include "recio/recio.h"

namespace {

constexpr recio::Flags kStatus{.status = true, .end = true};
constexpr int32_t kMaxChannels = 9999;  // what the four-column N field can hold

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

int32_t SkipLines(int count) {
  for (int line = 0; line < count; ++line) {
    if (int32_t status = recio::Read(convert::scan::kUnit, convert::scan::kLine, {}, kStatus)) {
      return status;
    }
  }
  return 0;
}

// The products that the scaling can turn into a count; larger ones end the run with a
// floating-point fault, which is the whole-program tests' business, not this target's.
bool Scalable(float value, float scale) {
  double product = static_cast<double>(value) * static_cast<double>(scale);
  return std::isfinite(product) && std::fabs(product) < 0x1p62;
}

// The converter's reads and writes in its order; returns the number of records it should have
// written when every read succeeded, or -1 when a read failed.
int32_t Convert() {
  using namespace convert;
  const int32_t in = scan::kUnit;
  const int32_t out = powder::kUnit;
  std::array<char, powder::kRecordLength> title{};
  std::array<int32_t, scan::kStampCount> stamp{};
  std::array<float, scan::kCoefficientCount> coefficients{};
  int32_t channels = 0;
  float scale = 0.0F;
  auto titleText = std::span(title).first<scan::kTitleWidth>();
  if (SkipLines(1) || recio::Read(in, scan::kStamp, {std::span<const int32_t>(stamp)}, kStatus) ||
      recio::Read(in, scan::kLine, {std::span<char>(titleText)}, kStatus)) {
    return -1;
  }
  auto stampText = std::span(title).subspan<powder::kStampColumn, powder::kStampWidth>();
  if (recio::WriteInternal(stampText, powder::kStampText, {std::span<const int32_t>(stamp)},
                           kStatus) != 0 ||
      recio::WriteRecord(out, powder::kTitleRecord, powder::kTitle, {std::span<const char>(title)},
                         kStatus) != 0) {
    __builtin_trap();  // formatting read values never fails
  }
  if (SkipLines(1) || recio::Read(in, scan::kChannelCount, {channels}, kStatus) ||
      recio::Read(in, scan::kScaleFactor, {scale}, kStatus) || SkipLines(5) ||
      recio::Read(in, scan::kCoefficient, {std::span<const float>(coefficients)}, kStatus) ||
      SkipLines(14)) {
    return -1;
  }
  if (channels < -999 || channels > kMaxChannels) __builtin_trap();  // four columns hold no more
  const int32_t records = powder::CountRecords(channels);
  if (recio::WriteRecord(out, powder::kBankRecord, powder::kBank,
                         {channels, records, std::span<const float>(coefficients)}, kStatus) != 0) {
    __builtin_trap();
  }
  std::array<int32_t, kMaxChannels + 1> counts{};
  for (int32_t number = 1; number <= channels; ++number) {
    float value = 0.0F;
    if (recio::Read(in, scan::kChannelValue, {value}, kStatus)) return -1;
    if (std::isnan(value) || std::isinf(value)) __builtin_trap();  // reads never give these
    if (Scalable(value, scale))
      counts[static_cast<std::size_t>(number - 1)] = ScaleCount(value, scale);
  }
  int32_t first = 1;
  for (int32_t record = 1; record <= records; ++record) {
    auto ten = std::span<const int32_t>(counts).subspan(static_cast<std::size_t>(first - 1), 10);
    if (recio::WriteRecord(out, record + powder::kFirstCountRecord - 1, powder::kCounts, {ten},
                           kStatus) != 0) {
      __builtin_trap();
    }
    first = std::min(first + powder::kCountsPerRecord, channels);
  }
  return 2 + std::max(records, 0);
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
