// Where x17b2pavo-batch writes: the output of each scan, the temporary name beside it, and the
// scans whose outputs would collide.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace convert::batch {

/// The output of `scan`: STEM.pavo, STEM the scan's file name without its last extension (a
/// leading dot is no extension), in `outputDir` or, when that is empty, in the scan's folder.
std::string OutputPath(std::string_view scan, std::string_view outputDir);

/// A hidden name beside `output` for the file being written, different for every `attempt` and
/// `process`; short enough for the folder even when the output's name is long.
std::string TemporaryPath(std::string_view output, uint32_t process, uint32_t attempt);

/// Why a scan may not be converted: its output is another scan's output or one of the scans.
struct Conflict {
  enum class Kind : uint8_t { kNone, kSameOutput, kOutputIsAScan };
  Kind kind = Kind::kNone;
  uint32_t other = 0;  // the earlier scan with the same output, or the scan the output would be
};

/// Finds the conflicts of a batch. Two names are one file when their folders are one (the same
/// folder reached by any path) and their file names are equal. Of two scans with one output the
/// later one conflicts; a scan whose output is one of the scans (itself included) conflicts.
/// When existing outputs are to be replaced, an output that is a scan's file under another name
/// (a link) conflicts too. Keeps 16 bytes per scan while it looks, and the conflicts found.
class ConflictFinder {
 public:
  ConflictFinder(const std::vector<std::string_view>& scans, std::string_view outputDir,
                 bool replacing);
  Conflict Of(uint32_t index) const;

 private:
  using Keyed = std::pair<uint64_t, uint32_t>;  // the hash of a name's key, and its scan

  // A name's folder, known by its identity when it exists, and its file name.
  std::string KeyOf(std::string_view path);
  uint64_t HashOf(std::string_view path) { return std::hash<std::string>{}(KeyOf(path)); }
  void FindOutputsThatAreScans(const std::vector<std::string_view>& scans,
                               std::string_view outputDir, const std::vector<Keyed>& outputs);
  void FindSharedOutputs(const std::vector<std::string_view>& scans, std::string_view outputDir,
                         const std::vector<Keyed>& outputs);
  void FindOutputsThatAreScanFiles(const std::vector<std::string_view>& scans,
                                   std::string_view outputDir);

  std::vector<std::pair<uint32_t, Conflict>> conflicts_;  // by scan, in order
  std::string lastFolder_;  // the folder looked up last, and its identity
  std::string lastFolderKey_;
};

/// A name as a message line shows it: control characters become "?", so a name cannot break
/// the line.
std::string Shown(std::string_view name);

}  // namespace convert::batch
