// Which file a name leads to: the identity of an existing file, or the full path of a name that
// leads to nothing yet.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

/// One file of the system, whatever names lead to it.
struct FileId {
  uint64_t volume = 0;
  uint64_t file = 0;
  bool operator==(const FileId&) const = default;
};

/// The identity of an existing file, or the full path of a name that does not exist yet. Kept in
/// place, without allocation, so that an identity can be part of state that is initialised before
/// the program starts.
struct FileIdentity {
  static constexpr std::size_t kPathCapacity = 4096;
  bool exists = false;
  FileId id;            // when it exists
  bool isPipe = false;  // an existing pipe; not part of the identity
  std::array<char, kPathCapacity> pathText = {};
  std::size_t pathLength = 0;

  std::string_view path() const { return {pathText.data(), pathLength}; }
  bool operator==(const FileIdentity& other) const {
    if (exists != other.exists) return false;
    return exists ? id == other.id : path() == other.path();
  }
};

/// The identity of what `path` leads to; for a name that leads to nothing, its full path with
/// "." and ".." folded out, so that two spellings of one new name compare equal.
FileIdentity IdentityOf(const char* path);

}  // namespace platform
