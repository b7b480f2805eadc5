// Item lists of formatted requests: typed views of the caller's variables or values.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace recio {

enum class ItemType : uint8_t { kInteger, kReal, kCharacter };

/// One item of a request's item list: a run of `count` elements of one type. Character elements
/// are `length` characters each. A read request stores into the item, so an item of a read must
/// view writable storage; a write only reads it (values such as literals are fine there).
class Item {
 public:
  Item(const int32_t& value) : type_{ItemType::kInteger}, data_{const_cast<int32_t*>(&value)} {}
  Item(const float& value) : type_{ItemType::kReal}, data_{const_cast<float*>(&value)} {}
  Item(std::span<const int32_t> values)
      : type_{ItemType::kInteger},
        data_{const_cast<int32_t*>(values.data())},
        count_{static_cast<int32_t>(values.size())} {}
  Item(std::span<const float> values)
      : type_{ItemType::kReal},
        data_{const_cast<float*>(values.data())},
        count_{static_cast<int32_t>(values.size())} {}
  Item(std::span<char> text)
      : type_{ItemType::kCharacter},
        data_{text.data()},
        length_{static_cast<int32_t>(text.size())} {}
  Item(std::span<const char> text)
      : type_{ItemType::kCharacter},
        data_{const_cast<char*>(text.data())},
        length_{static_cast<int32_t>(text.size())} {}
  Item(std::string_view text)
      : type_{ItemType::kCharacter},
        data_{const_cast<char*>(text.data())},
        length_{static_cast<int32_t>(text.size())} {}

  ItemType type() const { return type_; }
  int32_t count() const { return count_; }
  int32_t length() const { return length_; }
  int32_t* integers() const { return static_cast<int32_t*>(data_); }
  float* reals() const { return static_cast<float*>(data_); }
  std::span<char> text() const {
    return {static_cast<char*>(data_), static_cast<std::size_t>(length_)};
  }

 private:
  ItemType type_;
  void* data_;
  int32_t count_ = 1;
  int32_t length_ = 0;
};

using Items = std::span<const Item>;

}  // namespace recio
