// The parts of the whole-program tests' harness that are the same on every system: files by
// UTF-8 names and the texts the programs write.
#include "tests/process_harness.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "tests/process_harness_paths.h"

namespace x17b_test {

std::filesystem::path PathOf(const std::string& utf8) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
  return std::filesystem::path(utf8);
#endif
}

std::string Utf8Of(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
#else
  return path.native();
#endif
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(PathOf(path), error);
}

bool MakeFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::create_directory(PathOf(path), error);
}

bool RemoveFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::remove(PathOf(path), error);
}

namespace {

std::string FourDigits(int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d", number);
  return digits;
}

}  // namespace

std::string FailureMessage(int number, std::string_view statement, std::string_view name,
                           std::string_view text) {
  return "\r\nrun-time error F" + FourDigits(number) + ": " + std::string(statement) + "(" +
         std::string(name) + ")\r\n- " + std::string(text) + "\r\n";
}

std::string MathFaultMessage(int number, std::string_view word) {
  return "\r\nrun-time error M" + FourDigits(number) +
         ": MATH\r\n- floating-point error: " + std::string(word) + "\r\n";
}

std::string Visible(const std::string& bytes) {
  std::string shown;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      shown += "<CR>";
    } else if (c == '\n') {
      shown += "<LF>\n";
    } else if (c < 32 || c >= 127) {
      char code[8];
      std::snprintf(code, sizeof code, "<%02X>", c);
      shown += code;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

}  // namespace x17b_test
