// Item lists of formatted requests: a read stores into the caller's variables, a write reads
// values. The two are different types, so a read into a constant or a value does not compile.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace recio {

enum class ItemType : uint8_t { kInteger, kReal, kCharacter };

/// One item of a read request: a variable, or a run of them, that the read stores into. Only
/// writable storage makes one.
class InputItem {
 public:
  InputItem(int32_t& variable) : type_{ItemType::kInteger}, data_{&variable} {}
  InputItem(float& variable) : type_{ItemType::kReal}, data_{&variable} {}
  InputItem(std::span<int32_t> variables)
      : type_{ItemType::kInteger}, data_{variables.data()}, count_{Count(variables.size())} {}
  InputItem(std::span<float> variables)
      : type_{ItemType::kReal}, data_{variables.data()}, count_{Count(variables.size())} {}
  /// A text variable of `text.size()` characters.
  InputItem(std::span<char> text)
      : type_{ItemType::kCharacter}, data_{text.data()}, length_{Count(text.size())} {}

  ItemType type() const { return type_; }
  int32_t count() const { return count_; }
  int32_t* integers() const { return static_cast<int32_t*>(data_); }
  float* reals() const { return static_cast<float*>(data_); }
  std::span<char> text() const {
    return {static_cast<char*>(data_), static_cast<std::size_t>(length_)};
  }

 private:
  static int32_t Count(std::size_t size) { return static_cast<int32_t>(size); }

  ItemType type_;
  void* data_;
  int32_t count_ = 1;
  int32_t length_ = 0;
};

/// One item of a write request: a value (a constant or a temporary will do), or a run of them,
/// that the write only reads.
class OutputItem {
 public:
  OutputItem(const int32_t& value) : type_{ItemType::kInteger}, data_{&value} {}
  OutputItem(const float& value) : type_{ItemType::kReal}, data_{&value} {}
  OutputItem(std::span<const int32_t> values)
      : type_{ItemType::kInteger}, data_{values.data()}, count_{Count(values.size())} {}
  OutputItem(std::span<const float> values)
      : type_{ItemType::kReal}, data_{values.data()}, count_{Count(values.size())} {}
  OutputItem(std::span<const char> text)
      : type_{ItemType::kCharacter}, data_{text.data()}, length_{Count(text.size())} {}
  OutputItem(std::string_view text)
      : type_{ItemType::kCharacter}, data_{text.data()}, length_{Count(text.size())} {}

  ItemType type() const { return type_; }
  int32_t count() const { return count_; }
  const int32_t* integers() const { return static_cast<const int32_t*>(data_); }
  const float* reals() const { return static_cast<const float*>(data_); }
  std::span<const char> text() const {
    return {static_cast<const char*>(data_), static_cast<std::size_t>(length_)};
  }

 private:
  static int32_t Count(std::size_t size) { return static_cast<int32_t>(size); }

  ItemType type_;
  const void* data_;
  int32_t count_ = 1;
  int32_t length_ = 0;
};

using InputItems = std::span<const InputItem>;
using OutputItems = std::span<const OutputItem>;

}  // namespace recio
