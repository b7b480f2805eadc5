// Time per record of the formatted transfer: reading one (F10.0) value line, writing one (10I8)
// record into an 80-column record slot.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "recio/internal/format.h"
#include "recio/internal/memory_record_port.h"
#include "recio/internal/record_port.h"
#include "recio/recio.h"

namespace {

constexpr recio::Layout kChannelValue{"(F10.0)"};
constexpr recio::Layout kCounts{"(10I8)"};

// A record slot of 80 columns and CR LF, rewritten for every record, as a direct-access file
// record is before it is stored.
class SlotPort final : public recio::RecordPort {
 public:
  std::span<const char> Run(std::size_t) override { return {}; }
  void Advance(std::size_t) override {}
  void SkipRecord() override {}
  void Append(std::span<const char> text) override {
    const std::size_t fitting = std::min(text.size(), kColumns - column_);
    std::copy_n(text.begin(), fitting, slot_.begin() + column_);
    column_ += fitting;
  }
  void CompleteRecord(bool) override {
    std::fill(slot_.begin() + column_, slot_.begin() + kColumns, ' ');
    slot_[kColumns] = '\r';
    slot_[kColumns + 1] = '\n';
    column_ = 0;
    ++records_;
  }
  const std::array<char, 82>& slot() const { return slot_; }
  int64_t records() const { return records_; }

 private:
  static constexpr std::size_t kColumns = 80;
  std::array<char, 82> slot_{};
  std::size_t column_ = 0;
  int64_t records_ = 0;
};

void BM_ReadValueLine(benchmark::State& state) {
  constexpr int kLines = 4096;
  std::string lines;
  for (int i = 0; i < kLines; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%10.3f\r\n", i * 1.618);
    lines += line;
  }
  recio::MemoryRecordPort port{lines.data(), lines.size()};
  float value = 0.0f;
  const recio::InputItem item{value};
  int left = kLines;
  for (auto _ : state) {
    if (left-- == 0) {
      port.Rewind();
      left = kLines - 1;
    }
    recio::RunRead(port, kChannelValue, recio::InputItems{&item, 1});
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadValueLine);

void BM_WriteCountRecord(benchmark::State& state) {
  SlotPort port;
  std::array<int32_t, 10> counts{};
  for (int i = 0; i < 10; ++i) counts[i] = i * 12345 - 4000;
  const recio::OutputItem item{std::span<const int32_t>{counts}};
  for (auto _ : state) {
    recio::RunWrite(port, kCounts, recio::OutputItems{&item, 1});
    benchmark::DoNotOptimize(port.slot().data());
    ++counts[0];
  }
  state.SetItemsProcessed(port.records());
}
BENCHMARK(BM_WriteCountRecord);

// The same two requests through the units of the record layer, on real files: the value lines
// come through the 1024-byte buffer of a sequential file, and each count record goes to its
// 82-byte slot of a direct-access file with one positioned write.
void BM_ReadValueLineFromFile(benchmark::State& state) {
  constexpr int kLines = 4096;
  std::string path = "/tmp/x17b-bench-values.dat";
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    for (int i = 0; i < kLines; ++i) std::fprintf(file, "%10.3f\r\n", i * 1.618);
    std::fclose(file);
  }
  recio::OpenSpec spec;
  spec.name = std::span<const char>(path);
  spec.status = recio::OpenStatus::kOld;
  recio::Open(1, spec);
  float value = 0.0f;
  for (auto _ : state) {
    if (recio::Read(1, kChannelValue, {value}, {.status = true, .end = true}) != 0) {
      recio::Close(1);
      recio::Open(1, spec);
    }
    benchmark::DoNotOptimize(value);
  }
  recio::Close(1, recio::CloseStatus::kDelete);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadValueLineFromFile);

void BM_WriteCountRecordToDirectFile(benchmark::State& state) {
  std::string path = "/tmp/x17b-bench-counts.pavo";
  recio::OpenSpec spec;
  spec.name = std::span<const char>(path);
  spec.status = recio::OpenStatus::kUnknown;
  spec.access = recio::Access::kDirect;
  spec.form = recio::Form::kFormatted;
  spec.recl = 80;
  recio::Open(2, spec);
  std::array<int32_t, 10> counts{};
  for (int i = 0; i < 10; ++i) counts[i] = i * 12345 - 4000;
  int32_t record = 0;
  for (auto _ : state) {
    record = record % 1000 + 1;
    recio::WriteRecord(2, record, kCounts, {std::span<const int32_t>{counts}});
    ++counts[0];
  }
  recio::Close(2, recio::CloseStatus::kDelete);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteCountRecordToDirectFile);

}  // namespace
