// POSIX implementation of file identities: device and inode, or the full path from the working
// folder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/descriptors_posix.h"
#include "platform/identity.h"

namespace platform {
namespace {

// Folds "." and ".." out of an absolute path so that two spellings of one name compare equal.
std::string Normalised(const std::string& absolute) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= absolute.size()) {
    std::size_t slash = absolute.find('/', start);
    if (slash == std::string::npos) slash = absolute.size();
    std::string part = absolute.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = slash + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

}  // namespace

FileIdentity IdentityOf(const char* path) {
  FileIdentity identity;
  struct stat st {};
  if (stat(path, &st) == 0) {
    identity.exists = true;
    identity.id = IdOf(st);
    identity.isPipe = S_ISFIFO(st.st_mode);
    return identity;
  }
  std::string absolute = path;
  if (absolute.empty() || absolute[0] != '/') {
    char* cwd = getcwd(nullptr, 0);
    absolute = std::string(cwd != nullptr ? cwd : "") + "/" + absolute;
    std::free(cwd);
  }
  const std::string normalised = Normalised(absolute);
  identity.pathLength = std::min(normalised.size(), identity.pathText.size());
  std::copy_n(normalised.data(), identity.pathLength, identity.pathText.data());
  return identity;
}

}  // namespace platform
