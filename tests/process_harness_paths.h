// Inside the harness: a UTF-8 name as a path of the system, and back.
#pragma once

#include <filesystem>
#include <string>

namespace x17b_test {

std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

}  // namespace x17b_test
