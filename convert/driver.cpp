// The conversion driver: the steps of one run, in the order the run takes them.
#include "convert/driver.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "convert/conversion.h"
#include "convert/powder_file.h"
#include "convert/scan_file.h"
#include "recio/recio.h"
#include "subs/subs.h"

namespace convert {
namespace {

constexpr std::string_view kInputPrompt = "Enter input X17B EDS datafile name";
constexpr std::string_view kOutputPrompt = "Enter output PAVO datafile name";
constexpr int kNameLength = 80;

// All of the run's data is static and starts at zero. The names start as 80 NUL characters, which
// the open treats like a blank name when a reply leaves them unchanged. Every request of the run
// ends it on a failure: none asks for a status.
constinit std::array<char, kNameLength> inputName{};
constinit std::array<char, kNameLength> outputName{};
constinit Conversion conversion{powder::Output{}, recio::Flags{}};

// Each name is asked for with mode 1: a second name typed on the line of the first answers the
// second question without a prompt.
void AskName(std::string_view prompt, std::span<char> name) {
  const int32_t mode = 1;
  REDTRMC(std::span<const char>(prompt.data(), prompt.size()), mode, name);
}

void OpenScanFile() {
  recio::OpenSpec spec;
  spec.name = std::span<const char>(inputName);
  spec.status = recio::OpenStatus::kOld;
  recio::Open(scan::kUnit, spec);
}

// An existing powder data file is opened unchanged and never shortened: only the records written
// by this run replace their slots.
void OpenPowderFile() {
  recio::OpenSpec spec;
  spec.name = std::span<const char>(outputName);
  spec.status = recio::OpenStatus::kUnknown;
  spec.access = recio::Access::kDirect;
  spec.form = recio::Form::kFormatted;
  spec.recl = powder::kRecordLength;
  recio::Open(powder::kUnit, spec);
}

}  // namespace

void RunConversion() noexcept {
  AskName(kInputPrompt, inputName);
  OpenScanFile();
  AskName(kOutputPrompt, outputName);
  OpenPowderFile();
  conversion.Run();
  recio::Close(powder::kUnit);
  recio::Stop();
}

}  // namespace convert
