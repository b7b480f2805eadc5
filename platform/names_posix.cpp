// POSIX implementation of file names: "/" separates, case counts, no name is a device's.
#include "platform/names.h"

namespace platform {

std::size_t FolderLength(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

void EndWithSeparator(std::string& folder) {
  if (folder.back() != '/') folder += '/';
}

void AppendNameKey(std::string& key, std::string_view fileName) {
  key.append(fileName);
}

bool IsDeviceName(std::string_view /*fileName*/) {
  return false;
}

}  // namespace platform
