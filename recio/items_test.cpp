// Items at compile time: a read stores into its items, so only writable storage makes one; a
// write takes values. The checks are static_asserts: a fault here stops the build.
#include "recio/items.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "recio/recio.h"

namespace recio {
namespace {

// A read stores into its items, so only writable storage makes one; a write takes values.
template <typename T>
concept ReadableInto = requires(T&& target) {
  InputItem{std::forward<T>(target)};
};
constexpr Layout kInteger{"(I4)"};

template <typename T>
concept ReadRequestCompiles = requires(T&& target) {
  recio::Read(1, kInteger, {std::forward<T>(target)});
};
static_assert(ReadableInto<int32_t&> && ReadableInto<float&> && ReadableInto<std::span<char>>);
static_assert(ReadableInto<std::span<int32_t>> && ReadableInto<std::span<float>>);
static_assert(!ReadableInto<const int32_t&> && !ReadableInto<const float&>);
static_assert(!ReadableInto<int32_t> && !ReadableInto<float>, "a value is not a variable");
static_assert(!ReadableInto<std::span<const int32_t>> && !ReadableInto<std::span<const char>>);
static_assert(!ReadableInto<std::string_view>);
static_assert(ReadRequestCompiles<int32_t&>);
static_assert(!ReadRequestCompiles<int32_t> && !ReadRequestCompiles<const int32_t&>,
              "recio::Read(1, layout, {7}) and a read into a constant do not compile");
static_assert(std::is_constructible_v<OutputItem, int32_t> &&
              std::is_constructible_v<OutputItem, const float&> &&
              std::is_constructible_v<OutputItem, std::string_view>);

}  // namespace
}  // namespace recio
