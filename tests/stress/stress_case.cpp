// Stress cases on disk: scratch working directories, snapshots, and the saved-case format.
#include "tests/stress/stress_case.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace x17b_stress {
namespace fs = std::filesystem;

namespace {

// The user an unprivileged run becomes (nobody on Debian).
constexpr int kNobody = 65534;

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

std::string Unhex(const std::string& hex) {
  if (hex.size() % 2 != 0) throw std::runtime_error("odd hex text: " + hex);
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

}  // namespace

void Materialize(const Case& c, const std::string& dir) {
  // Modes are applied last, deepest first, so that a read-only directory still gets its files.
  for (const CaseFile& file : c.files) {
    std::string path = dir + "/" + file.path;
    if (!file.linkTarget.empty()) {
      fs::create_symlink(file.linkTarget, path);
    } else if (file.isDirectory) {
      fs::create_directories(path);
    } else {
      fs::create_directories(fs::path(path).parent_path());
      x17b_test::WriteFileBytes(path, file.bytes);
    }
  }
  for (auto it = c.files.rbegin(); it != c.files.rend(); ++it) {
    if (it->linkTarget.empty())
      chmod((dir + "/" + it->path).c_str(), static_cast<mode_t>(it->mode));
  }
}

Snapshot TakeSnapshot(const std::string& dir) {
  Snapshot snapshot;
  std::error_code error;
  // Directories the harness cannot enter (none as root) are simply not looked into.
  for (auto it = fs::recursive_directory_iterator(
           dir, fs::directory_options::skip_permission_denied, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file(error)) {
      snapshot[fs::relative(it->path(), dir).string()] = x17b_test::ReadFileBytes(it->path());
    }
  }
  return snapshot;
}

x17b_test::RunResult RunCase(const Case& c, const std::string& binary, const std::string& dir,
                             int timeoutSeconds) {
  x17b_test::RunOptions options;
  options.args = c.args;
  options.input = c.input;
  options.kind = c.pty ? x17b_test::InputKind::kPty : x17b_test::InputKind::kPipe;
  options.workDir = dir;
  options.timeoutSeconds = timeoutSeconds;
  if (c.unprivileged && geteuid() == 0) options.dropToUid = kNobody;
  return x17b_test::RunProgram(binary, options);
}

void SaveCase(const Case& c, const std::string& dir, const std::string& report) {
  fs::create_directories(dir + "/files");
  std::ofstream text(dir + "/case.txt");
  text << "# x17b_stress case (replay: x17b_stress --replay FOLDER --binary PATH)\n";
  text << "# " << c.note << "\n";
  text << "kind " << (c.pty ? "pty" : "pipe") << "\n";
  text << "user " << (c.unprivileged ? "nobody" : "self") << "\n";
  if (c.batch) text << "program batch\n";
  for (const std::string& arg : c.args) text << "arg " << Hex(arg) << "\n";
  for (const CaseFile& file : c.files) {
    if (!file.linkTarget.empty()) {
      text << "link " << Hex(file.linkTarget) << " " << Hex(file.path) << "\n";
      continue;
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", file.mode);
    text << (file.isDirectory ? "dir " : "file ") << mode << " " << Hex(file.path) << "\n";
    if (!file.isDirectory) {
      fs::create_directories(fs::path(dir + "/files/" + file.path).parent_path());
      x17b_test::WriteFileBytes(dir + "/files/" + file.path, file.bytes);
    }
  }
  x17b_test::WriteFileBytes(dir + "/input.bin", c.input);
  x17b_test::WriteFileBytes(dir + "/report.txt", report);
}

Case LoadCase(const std::string& dir) {
  std::ifstream text(dir + "/case.txt");
  if (!text) throw std::runtime_error(dir + "/case.txt cannot be read");
  Case c;
  std::string line;
  while (std::getline(text, line)) {
    if (line.empty()) continue;
    if (line[0] == '#') {
      if (c.note.empty() && line.size() > 2 && line.find("x17b_stress case") == std::string::npos) {
        c.note = line.substr(2);
      }
      continue;
    }
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key == "kind") {
      std::string kind;
      fields >> kind;
      c.pty = kind == "pty";
    } else if (key == "user") {
      std::string user;
      fields >> user;
      c.unprivileged = user == "nobody";
    } else if (key == "program") {
      std::string program;
      fields >> program;
      c.batch = program == "batch";
    } else if (key == "arg") {
      std::string hex;
      fields >> hex;
      c.args.push_back(Unhex(hex));
    } else if (key == "link") {
      std::string target;
      std::string path;
      fields >> target >> path;
      CaseFile file;
      file.linkTarget = Unhex(target);
      file.path = Unhex(path);
      if (file.path.find('/') != std::string::npos || file.path.empty()) {
        throw std::runtime_error("unsafe link name in " + dir + ": " + file.path);
      }
      c.files.push_back(file);
    } else if (key == "file" || key == "dir") {
      std::string mode;
      std::string hex;
      fields >> mode >> hex;
      CaseFile file;
      file.path = Unhex(hex);
      file.mode = std::stoi(mode, nullptr, 8);
      file.isDirectory = key == "dir";
      if (file.path.find("..") != std::string::npos || file.path.empty() || file.path[0] == '/') {
        throw std::runtime_error("unsafe path in " + dir + ": " + file.path);
      }
      if (!file.isDirectory) file.bytes = x17b_test::ReadFileBytes(dir + "/files/" + file.path);
      c.files.push_back(file);
    } else {
      throw std::runtime_error("unknown line in " + dir + "/case.txt: " + line);
    }
  }
  c.input = x17b_test::ReadFileBytes(dir + "/input.bin");
  return c;
}

}  // namespace x17b_stress
