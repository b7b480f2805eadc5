// Where x17b2pavo-batch writes: the output of each scan, the temporary name beside it, the scans
// whose outputs would collide, and what may become of an output that exists.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace convert::batch {

/// The output of `scan`: STEM.pavo, STEM the scan's file name without its last extension (a
/// leading dot is no extension), in `outputDir` or, when that is empty, in the scan's folder
/// (folders end at "/", and on Windows at "\" or a drive's ":" too).
std::string OutputPath(std::string_view scan, std::string_view outputDir);

/// The folder of `path` ("." for a bare file name).
std::string FolderOf(std::string_view path);

/// What every temporary name holds, so that one left by a crash is known for what it is.
inline constexpr std::string_view kTemporaryMark = ".x17b2pavo-tmp-";

/// A hidden name beside `output` for the file being written: ".NAME.x17b2pavo-tmp-XXXXXXXXX",
/// NAME the output's file name cut to 200 bytes, different for every `process` and `attempt`.
std::string TemporaryPath(std::string_view output, uint32_t process, uint32_t attempt);

/// Why a scan may not be converted: its output is another scan's output or one of the scans.
struct Conflict {
  enum class Kind : uint8_t { kNone, kSameOutput, kOutputIsAScan };
  Kind kind = Kind::kNone;
  uint32_t other = 0;  // the earlier scan with the same output, or the scan the output would be
};

/// A hash of the key that names a file; it only picks where to look, never decides equality.
using KeyHash = uint64_t (*)(std::string_view key);
uint64_t DefaultKeyHash(std::string_view key);

/// Finds the conflicts of a batch. Two names are one file when their folders are one (the same
/// folder reached by any path) and their file names are equal as the system compares them (on
/// Windows "a.pavo" and "A.PAVO" are one). Of two scans with one output the
/// later one conflicts; a scan whose output is one of the scans (itself included) conflicts.
/// When existing outputs are to be replaced, an output that is a scan's file under another name
/// (a link) conflicts too. Keeps 16 bytes per scan while it looks, and the conflicts found.
class ConflictFinder {
 public:
  ConflictFinder(const std::vector<std::string_view>& scans, std::string_view outputDir,
                 bool replacing, KeyHash hash = DefaultKeyHash);
  Conflict Of(uint32_t index) const;

 private:
  using Keyed = std::pair<uint64_t, uint32_t>;  // the hash of a name's key, and its scan

  // A name's folder, known by its identity when it exists, and its file name as the system
  // compares names (without case on Windows).
  std::string KeyOf(std::string_view path);
  void FindOutputsThatAreScans(const std::vector<std::string_view>& scans,
                               std::string_view outputDir, const std::vector<Keyed>& outputs);
  void FindSharedOutputs(const std::vector<std::string_view>& scans, std::string_view outputDir,
                         const std::vector<Keyed>& outputs);
  void FindOutputsThatAreScanFiles(const std::vector<std::string_view>& scans,
                                   std::string_view outputDir);

  KeyHash hash_;
  std::vector<std::pair<uint32_t, Conflict>> conflicts_;  // by scan, in order
  std::string lastFolder_;  // the folder looked up last, and its identity
  std::string lastFolderKey_;
};

/// What may become of an output that exists: the scan fails (neither -f nor -n), it is replaced
/// (-f), or the scan is skipped when the output is whole (-n).
enum class ExistingOutput : uint8_t { kFail, kReplace, kSkipIfWhole };

/// The files behind the standard streams, which an output may never replace.
using StreamFiles = std::array<std::optional<platform::FileId>, 3>;

/// What to do about an output before it is written.
struct OutputVerdict {
  enum class Kind : uint8_t {
    kWrite,     // absent, or to be replaced
    kSkip,      // exists and is whole, and -n skips it
    kExists,    // exists: neither -f nor -n
    kNotWhole,  // exists but is not a whole powder data file, and -n was given
    kRefused,   // x17b2pavo could not write it either: a folder, a device, a file of the
                // standard streams, a file this user may not write
  };
  Kind kind = Kind::kWrite;
  int32_t status = 0;                              // kRefused: the catalogue row x17b2pavo reports
  platform::Error cause = platform::Error::kNone;  // kRefused: the system's reason, if any
};

/// Judges `output` as x17b2pavo would judge it, and by what `existing` allows. A link is judged
/// by what it leads to.
OutputVerdict JudgeOutput(const std::string& output, ExistingOutput existing,
                          const StreamFiles& streams);

/// Whether `bytes` are a whole powder data file: whole 82-byte records each ending in CR LF, a
/// bank record as record 2, and at least as many count records after it as that record declares.
bool IsWholePowderFile(std::string_view bytes);

}  // namespace convert::batch
