// Fuzz target: arbitrary bytes as input records for numeric and character field input through the
// layout walk; it must never crash, hang, or read outside the records.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "recio/internal/edit.h"
#include "recio/internal/failure.h"
#include "recio/internal/format.h"
#include "recio/internal/memory_record_port.h"

namespace {

using recio::InputItem;
using recio::Layout;

constexpr Layout kStamp{"(24X,6I4)"};
constexpr Layout kChannelCount{"(24X,I4)"};
constexpr Layout kScaleFactor{"(24X,F10.0)"};
constexpr Layout kCoefficient{"(24X,E24.18)"};
constexpr Layout kChannelValue{"(F10.0)"};
constexpr Layout kLine{"(A)"};
constexpr Layout kWideInteger{"(I128)"};
constexpr Layout kWideReal{"(F128.7)"};
constexpr Layout kMixed{"(I3,2(F5.1,1X),/,A,2X,I2)"};

// One read request of the kind picked by `kind`; failures are the request's normal outcome.
void ReadOnce(recio::MemoryRecordPort& port, uint8_t kind, bool blankZero) {
  std::array<int32_t, 6> integers{};
  std::array<float, 4> reals{};
  std::array<char, 40> title{};
  std::array<char, 132> line{};
  const auto run = [&](const Layout& layout, std::initializer_list<InputItem> items) {
    recio::RunRead(port, layout, recio::InputItems{items.begin(), items.size()}, blankZero);
  };
  switch (kind % 9) {
    case 0:
      run(kStamp, {std::span<int32_t>{integers}});
      break;
    case 1:
      run(kChannelCount, {integers[0]});
      break;
    case 2:
      run(kScaleFactor, {reals[0]});
      break;
    case 3:
      run(kCoefficient, {std::span<float>{reals}});
      break;
    case 4:
      run(kChannelValue, {reals[0]});
      break;
    case 5:
      run(kLine, {std::span<char>{title}});
      break;
    case 6:
      run(kLine, {std::span<char>{line}});
      break;
    case 7:
      run((kind & 0x10) != 0 ? kWideInteger : kWideReal,
          {(kind & 0x10) != 0 ? InputItem{integers[0]} : InputItem{reals[0]}});
      break;
    default:
      run(kMixed, {integers[0], std::span<float>{reals}, std::span<char>{title}, integers[1]});
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t kind = data[0];
  // The records are viewed in place, so a read past the fuzzer's buffer is caught.
  const char* records = reinterpret_cast<const char*>(data + 1);
  const std::size_t length = size - 1;

  // The conversions alone, on the whole text (longer than any field).
  (void)recio::ParseInteger({records, length});
  (void)recio::ParseReal({records, length}, kind % 20, 0);

  recio::MemoryRecordPort port{records, length};
  // Read request after request, as a program reading a file would, until the records run out.
  // Each request consumes at least one record or fails at the end of the input, so this ends.
  for (int request = 0; request < 256 && !port.rest().empty(); ++request) {
    try {
      ReadOnce(port, static_cast<uint8_t>(kind + request), (kind & 0x80) != 0);
    } catch (const recio::RequestFailure& failure) {
      if (recio::IsEndOfFile(failure.id)) break;
      try {
        port.SkipRecord();  // as after a failure reported to a caller that wanted a status
      } catch (const recio::RequestFailure&) {
        break;
      }
    }
  }
  return 0;
}
