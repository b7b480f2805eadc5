// Output names, temporary names and the conflicts between the scans of a batch.
#include "convert/batch_outputs.h"

#include <algorithm>

#include "recio/platform.h"

namespace convert::batch {
namespace {

constexpr std::string_view kExtension = ".pavo";
// Temporary names keep at most this much of the output's name, so that the name with its
// hidden-file dot and suffix stays within the 255 bytes a folder entry may have.
constexpr std::size_t kTemporaryStem = 200;

// The folder part of a path with its final "/" ("" for a bare file name), and the file name.
std::pair<std::string_view, std::string_view> Split(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {{}, path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
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
    if (output.back() != '/') output += '/';
  }
  output += stem;
  output += kExtension;
  return output;
}

std::string TemporaryPath(std::string_view output, uint32_t process, uint32_t attempt) {
  const auto [folder, file] = Split(output);
  constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix = ".";
  for (uint64_t value = (uint64_t{process} << 20) ^ attempt; suffix.size() < 8; value /= 36) {
    suffix += kDigits[value % 36];
  }
  std::string path(folder);
  path += '.';
  path += file.substr(0, kTemporaryStem);
  path += suffix;
  return path;
}

std::string Shown(std::string_view name) {
  std::string shown(name);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127) c = '?';
  }
  return shown;
}

std::string ConflictFinder::KeyOf(std::string_view path) {
  const auto [folder, file] = Split(path);
  const std::string folderName = folder.empty() ? "." : std::string(folder);
  if (folderName != lastFolder_ || lastFolderKey_.empty()) {
    lastFolder_ = folderName;
    const recio::platform::FileIdentity identity = recio::platform::IdentityOf(folderName.c_str());
    lastFolderKey_ = identity.exists
                         ? std::to_string(identity.device) + ":" + std::to_string(identity.inode)
                         : std::string("?").append(identity.path());
  }
  std::string key = lastFolderKey_;
  key += '/';
  key += file;
  return key;
}

ConflictFinder::ConflictFinder(const std::vector<std::string_view>& scans,
                               std::string_view outputDir, bool replacing) {
  std::vector<Keyed> outputs;
  outputs.reserve(scans.size());
  for (uint32_t i = 0; i < scans.size(); ++i) {
    outputs.emplace_back(HashOf(OutputPath(scans[i], outputDir)), i);
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
    if (name.size() < kExtension.size() ||
        name.substr(name.size() - kExtension.size()) != kExtension) {
      continue;
    }
    const std::string key = KeyOf(name);
    const uint64_t hash = std::hash<std::string>{}(key);
    auto match = std::lower_bound(outputs.begin(), outputs.end(), Keyed{hash, 0});
    for (; match != outputs.end() && match->first == hash; ++match) {
      if (KeyOf(OutputPath(scans[match->second], outputDir)) == key) {
        conflicts_.emplace_back(match->second, Conflict{Conflict::Kind::kOutputIsAScan, scan});
      }
    }
  }
}

// Outputs with equal hashes sit together, the earliest scan first; equal keys are checked.
void ConflictFinder::FindSharedOutputs(const std::vector<std::string_view>& scans,
                                       std::string_view outputDir,
                                       const std::vector<Keyed>& outputs) {
  for (std::size_t first = 0; first < outputs.size();) {
    std::size_t end = first + 1;
    while (end < outputs.size() && outputs[end].first == outputs[first].first) ++end;
    if (end - first > 1) {
      const std::string key = KeyOf(OutputPath(scans[outputs[first].second], outputDir));
      for (std::size_t later = first + 1; later < end; ++later) {
        const uint32_t index = outputs[later].second;
        if (KeyOf(OutputPath(scans[index], outputDir)) == key) {
          conflicts_.emplace_back(index,
                                  Conflict{Conflict::Kind::kSameOutput, outputs[first].second});
        }
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
    const recio::platform::FileIdentity identity = recio::platform::IdentityOf(path.c_str());
    key = {identity.device, identity.inode};
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

}  // namespace convert::batch
