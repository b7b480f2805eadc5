// POSIX implementation of files by name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/descriptors_posix.h"
#include "platform/files.h"

namespace platform {
namespace {

FileKind KindOf(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return FileKind::kFile;
  if (S_ISDIR(st.st_mode)) return FileKind::kFolder;
  return FileKind::kOther;
}

int OpenForReading(const char* path, int extraFlags = 0) {
  int handle;
  do {
    handle = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | extraFlags);
  } while (handle < 0 && errno == EINTR);
  return handle;
}

Result SyncAndClose(int handle) {
  Result result;
  if (fsync(handle) != 0 && errno != EINVAL) result = ResultOfErrno();
  close(handle);
  return result;
}

}  // namespace

NameFacts InspectName(const char* path) {
  NameFacts facts;
  struct stat st {};
  facts.nameExists = lstat(path, &st) == 0;
  if (!facts.nameExists || stat(path, &st) != 0) return facts;
  facts.kind = KindOf(st);
  facts.id = IdOf(st);
  if (facts.kind != FileKind::kFile) return facts;
  if (faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0) facts.writeRefused = ErrorFromErrno(errno);
  if (faccessat(AT_FDCWD, path, R_OK, AT_EACCESS) != 0) facts.readRefused = ErrorFromErrno(errno);
  return facts;
}

bool Exists(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0;
}

bool IsFolder(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

Result ReadWholeFile(const char* path, std::string& bytes, std::size_t limit) {
  bytes.clear();
  const int handle = OpenForReading(path);
  if (handle < 0) return ResultOfErrno();
  struct stat st {};
  Result result;
  if (fstat(handle, &st) != 0) {
    result = ResultOfErrno();
  } else if (!S_ISREG(st.st_mode)) {
    result = {Error::kNotAFile};
  } else if (static_cast<std::size_t>(st.st_size) > limit) {
    result = {Error::kFileTooLarge};
  } else {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = read(handle, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) result = ResultOfErrno();
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);  // a file that shrank meanwhile is what it now holds
  }
  close(handle);
  return result;
}

Result ReadToEnd(const char* path, std::string& bytes) {
  const int handle = OpenForReading(path);
  if (handle < 0) return ResultOfErrno();
  const Result result = ReadDescriptorToEnd(handle, bytes);
  close(handle);
  return result;
}

Result RenameFile(const char* from, const char* to, bool replace) {
  if (replace) return rename(from, to) == 0 ? Result{} : ResultOfErrno();
#ifdef X17B_HAVE_RENAMEAT2
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return ResultOfErrno();
#endif
  // Without the no-replace rename: a second name for the file, which fails if the name exists,
  // then the first name removed.
  if (link(from, to) == 0) {
    unlink(from);
    return {};
  }
  if (errno != EPERM && errno != EOPNOTSUPP) return ResultOfErrno();
  // A file system without second names either: a look first, then the rename.
  if (struct stat st{}; lstat(to, &st) == 0) return {Error::kExists};
  return rename(from, to) == 0 ? Result{} : ResultOfErrno();
}

Result RemoveFile(const char* path) {
  if (struct stat st{}; lstat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    return {Error::kNotAFile};
  }
  if (unlink(path) == 0 || errno == ENOENT) return {};
  return ResultOfErrno();
}

Result SyncFileData(std::span<const std::string> files, std::span<const std::string> folders) {
  Result result;
#ifdef X17B_HAVE_SYNCFS
  // One sync of each file system that holds the files: their data goes out together, with one
  // wait, where a sync of each file would wait for each.
  std::vector<dev_t> synced;
  for (const std::string& folder : folders) {
    const int handle = OpenForReading(folder.c_str(), O_DIRECTORY);
    struct stat st {};
    if (handle < 0 || fstat(handle, &st) != 0) {
      if (result.ok()) result = ResultOfErrno();
      if (handle >= 0) close(handle);
      continue;
    }
    bool seen = false;
    for (dev_t device : synced) seen = seen || device == st.st_dev;
    if (!seen) {
      synced.push_back(st.st_dev);
      if (syncfs(handle) != 0 && result.ok()) result = ResultOfErrno();
    }
    close(handle);
  }
  static_cast<void>(files);
#else
  static_cast<void>(folders);
  for (const std::string& file : files) {
    const int handle = OpenForReading(file.c_str());
    const Result synced = handle < 0 ? ResultOfErrno() : SyncAndClose(handle);
    if (result.ok()) result = synced;
  }
#endif
  return result;
}

Result SyncFolder(const char* folder) {
  const int handle = OpenForReading(folder, O_DIRECTORY);
  if (handle < 0) return ResultOfErrno();
  return SyncAndClose(handle);
}

}  // namespace platform
