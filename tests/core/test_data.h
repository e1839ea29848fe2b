// Where the tests' data files live: tests/data/ beside this folder, found
// from the source tree, so a test runs from any directory.
#pragma once

#include <filesystem>
#include <string>

inline std::string TestDataPath(const std::string& name) {
    return (std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / name).string();
}
