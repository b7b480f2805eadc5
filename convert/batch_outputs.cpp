// Output names, temporary names, the conflicts between the scans of a batch, and the judgement
// of an output that exists.
#include "convert/batch_outputs.h"

#include <algorithm>
#include <functional>

#include "convert/powder_file.h"
#include "platform/identity.h"
#include "platform/names.h"
#include "recio/errors.h"

namespace convert::batch {
namespace {

constexpr std::string_view kExtension = ".pavo";
// Temporary names keep at most this much of the output's name, so that the name with its
// hidden-file dot, mark and suffix stays within the 255 bytes a folder entry may have.
constexpr std::size_t kTemporaryStem = 200;
// The largest existing output that is read to see whether it is whole; a larger file is not one
// this program writes.
constexpr std::size_t kLargestOutputRead = std::size_t{64} * 1024 * 1024;

// The folder part of a path with its final separator ("" for a bare file name), and the file
// name, by the system's rules ("\" and drives too on Windows).
std::pair<std::string_view, std::string_view> Split(std::string_view path) {
  const std::size_t folder = platform::FolderLength(path);
  return {path.substr(0, folder), path.substr(folder)};
}

// Whether the scan's file name ends in the outputs' extension, as the system compares names: only
// such a scan can be an output.
bool NamedLikeAnOutput(std::string_view scan) {
  std::string name;
  platform::AppendNameKey(name, Split(scan).second);
  std::string extension;
  platform::AppendNameKey(extension, kExtension);
  return name.ends_with(extension);
}

void AppendBase36(std::string& text, uint64_t value, int digits) {
  constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int i = 0; i < digits; ++i, value /= 36) text += kDigits[value % 36];
}

OutputVerdict Refused(recio::ErrorId row, platform::Error cause = platform::Error::kNone) {
  return {OutputVerdict::Kind::kRefused, static_cast<int32_t>(row), cause};
}

// An existing file that x17b2pavo would open and then fail to write, or refuse at the open.
std::optional<OutputVerdict> RefusalOf(const platform::NameFacts& facts,
                                       const StreamFiles& streams) {
  switch (facts.kind) {
    case platform::FileKind::kFolder:
      return Refused(recio::ErrorId::kAccessNotAllowed, platform::Error::kIsFolder);
    case platform::FileKind::kOther:
      return Refused(recio::ErrorId::kAccessNotAllowed, platform::Error::kNotAFile);
    case platform::FileKind::kFile:
      if (std::find(streams.begin(), streams.end(), facts.id) != streams.end()) {
        return Refused(recio::ErrorId::kFileConnectedToOtherUnit);
      }
      if (facts.writeRefused != platform::Error::kNone) {
        return Refused(recio::ErrorId::kFileReadOnly, facts.writeRefused);
      }
      return std::nullopt;
    case platform::FileKind::kNone:  // a link that leads nowhere: writing creates its target
      return std::nullopt;
  }
  return std::nullopt;
}

// The number in columns `first` to `first + width - 1` of `record`, right-aligned; nullopt when
// they hold anything else.
std::optional<int> IntegerField(std::string_view record, std::size_t first, std::size_t width) {
  std::string_view field = record.substr(first - 1, width);
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  const bool negative = !field.empty() && field.front() == '-';
  if (negative) field.remove_prefix(1);
  if (field.empty()) return std::nullopt;
  int value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

}  // namespace

std::string OutputPath(std::string_view scan, std::string_view outputDir) {
  const auto [folder, file] = Split(scan);
  const std::size_t dot = file.rfind('.');
  const std::string_view stem =
      dot == std::string_view::npos || dot == 0 ? file : file.substr(0, dot);
  std::string output;
  if (outputDir.empty()) {
    output = folder;
  } else {
    output = outputDir;
    platform::EndWithSeparator(output);
  }
  output += stem;
  output += kExtension;
  return output;
}

std::string FolderOf(std::string_view path) {
  const std::string_view folder = Split(path).first;
  return folder.empty() ? std::string(".") : std::string(folder);
}

std::string TemporaryPath(std::string_view output, uint32_t process, uint32_t attempt) {
  const auto [folder, file] = Split(output);
  std::string path(folder);
  path += '.';
  path += file.substr(0, kTemporaryStem);
  path += kTemporaryMark;
  AppendBase36(path, process, 7);
  AppendBase36(path, attempt, 2);
  return path;
}

uint64_t DefaultKeyHash(std::string_view key) {
  return std::hash<std::string_view>{}(key);
}

std::string ConflictFinder::KeyOf(std::string_view path) {
  const auto [folder, file] = Split(path);
  const std::string folderName = folder.empty() ? "." : std::string(folder);
  if (folderName != lastFolder_ || lastFolderKey_.empty()) {
    lastFolder_ = folderName;
    const platform::FileIdentity identity = platform::IdentityOf(folderName.c_str());
    lastFolderKey_ = identity.exists ? std::to_string(identity.id.volume) + ":" +
                                           std::to_string(identity.id.file)
                                     : std::string("?").append(identity.path());
  }
  std::string key = lastFolderKey_;
  key += '/';
  platform::AppendNameKey(key, file);
  return key;
}

ConflictFinder::ConflictFinder(const std::vector<std::string_view>& scans,
                               std::string_view outputDir, bool replacing, KeyHash hash)
    : hash_{hash} {
  std::vector<Keyed> outputs;
  outputs.reserve(scans.size());
  for (uint32_t i = 0; i < scans.size(); ++i) {
    outputs.emplace_back(hash_(KeyOf(OutputPath(scans[i], outputDir))), i);
  }
  std::sort(outputs.begin(), outputs.end());
  FindOutputsThatAreScans(scans, outputDir, outputs);
  FindSharedOutputs(scans, outputDir, outputs);
  if (replacing) FindOutputsThatAreScanFiles(scans, outputDir);
  // One conflict per scan; an output that is a scan weighs more than a shared one.
  std::sort(conflicts_.begin(), conflicts_.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.kind > b.second.kind;
  });
  conflicts_.erase(std::unique(conflicts_.begin(), conflicts_.end(),
                               [](const auto& a, const auto& b) { return a.first == b.first; }),
                   conflicts_.end());
}

Conflict ConflictFinder::Of(uint32_t index) const {
  auto found = std::lower_bound(conflicts_.begin(), conflicts_.end(), index,
                                [](const auto& entry, uint32_t i) { return entry.first < i; });
  return found != conflicts_.end() && found->first == index ? found->second : Conflict{};
}

// Only a scan named like an output can be one: those few are looked up among the outputs.
void ConflictFinder::FindOutputsThatAreScans(const std::vector<std::string_view>& scans,
                                             std::string_view outputDir,
                                             const std::vector<Keyed>& outputs) {
  for (uint32_t scan = 0; scan < scans.size(); ++scan) {
    const std::string_view name = scans[scan];
    if (!NamedLikeAnOutput(name)) continue;
    const std::string key = KeyOf(name);
    const uint64_t hash = hash_(key);
    auto match = std::lower_bound(outputs.begin(), outputs.end(), Keyed{hash, 0});
    for (; match != outputs.end() && match->first == hash; ++match) {
      if (KeyOf(OutputPath(scans[match->second], outputDir)) == key) {
        conflicts_.emplace_back(match->second, Conflict{Conflict::Kind::kOutputIsAScan, scan});
      }
    }
  }
}

// Outputs with equal hashes sit together; within such a group the keys themselves are compared,
// and of each set of equal keys the earliest scan keeps the output.
void ConflictFinder::FindSharedOutputs(const std::vector<std::string_view>& scans,
                                       std::string_view outputDir,
                                       const std::vector<Keyed>& outputs) {
  std::vector<std::pair<std::string, uint32_t>> group;
  for (std::size_t first = 0; first < outputs.size();) {
    std::size_t end = first + 1;
    while (end < outputs.size() && outputs[end].first == outputs[first].first) ++end;
    if (end - first > 1) {
      group.clear();
      for (std::size_t i = first; i < end; ++i) {
        const uint32_t index = outputs[i].second;
        group.emplace_back(KeyOf(OutputPath(scans[index], outputDir)), index);
      }
      std::sort(group.begin(), group.end());
      for (std::size_t original = 0; original < group.size();) {
        std::size_t later = original + 1;
        for (; later < group.size() && group[later].first == group[original].first; ++later) {
          conflicts_.emplace_back(group[later].second,
                                  Conflict{Conflict::Kind::kSameOutput, group[original].second});
        }
        original = later;
      }
    }
    first = end;
  }
}

// An existing output replaced by the rename loses the file behind its name: when that file is a
// scan's (a link to it, or the scan under a second name), the scan's data would go.
void ConflictFinder::FindOutputsThatAreScanFiles(const std::vector<std::string_view>& scans,
                                                 std::string_view outputDir) {
  using FileKey = std::pair<uint64_t, uint64_t>;  // device and inode
  auto fileKey = [](const std::string& path, FileKey& key) {
    const platform::FileIdentity identity = platform::IdentityOf(path.c_str());
    key = {identity.id.volume, identity.id.file};
    return identity.exists;
  };
  std::vector<std::pair<FileKey, uint32_t>> existing;  // outputs that exist, by their file
  for (uint32_t i = 0; i < scans.size(); ++i) {
    if (FileKey key; fileKey(OutputPath(scans[i], outputDir), key)) existing.emplace_back(key, i);
  }
  if (existing.empty()) return;
  std::sort(existing.begin(), existing.end());
  for (uint32_t scan = 0; scan < scans.size(); ++scan) {
    FileKey key;
    if (!fileKey(std::string(scans[scan]), key)) continue;
    auto match = std::lower_bound(existing.begin(), existing.end(), std::make_pair(key, 0u));
    for (; match != existing.end() && match->first == key; ++match) {
      conflicts_.emplace_back(match->second, Conflict{Conflict::Kind::kOutputIsAScan, scan});
    }
  }
}

OutputVerdict JudgeOutput(const std::string& output, ExistingOutput existing,
                          const StreamFiles& streams) {
  const platform::NameFacts facts = platform::InspectName(output.c_str());
  if (!facts.nameExists) return {};
  if (std::optional<OutputVerdict> refusal = RefusalOf(facts, streams)) return *refusal;
  switch (existing) {
    case ExistingOutput::kReplace:
      return {};
    case ExistingOutput::kFail:
      return {OutputVerdict::Kind::kExists};
    case ExistingOutput::kSkipIfWhole:
      break;
  }
  std::string bytes;
  const bool whole = facts.kind == platform::FileKind::kFile &&
                     platform::ReadWholeFile(output.c_str(), bytes, kLargestOutputRead).ok() &&
                     IsWholePowderFile(bytes);
  return {whole ? OutputVerdict::Kind::kSkip : OutputVerdict::Kind::kNotWhole};
}

bool IsWholePowderFile(std::string_view bytes) {
  constexpr std::size_t kSlot = powder::kRecordLength + 2;
  if (bytes.size() % kSlot != 0 || bytes.size() < 2 * kSlot) return false;
  for (std::size_t end = kSlot; end <= bytes.size(); end += kSlot) {
    if (bytes[end - 2] != '\r' || bytes[end - 1] != '\n') return false;
  }
  // The bank record: "BANK 1", then N and the number of count records in five columns each.
  const std::string_view bank = bytes.substr(kSlot, kSlot);
  if (!bank.starts_with("BANK 1")) return false;
  const std::optional<int> declared = IntegerField(bank, 12, 5);
  if (!declared) return false;
  const auto countRecords = static_cast<long long>(bytes.size() / kSlot) - 2;
  return countRecords >= *declared;
}

}  // namespace convert::batch
