#pragma once
// A private install folder for one test: a fresh directory named after the
// process and the running test, holding copies of the named data files from
// the source tree's data/ folder, and set as the program's install folder.
#include <filesystem>
#include <initializer_list>
#include <string>

namespace qel::test {

// Empty path (and a test failure) when the source tree is unknown.
std::filesystem::path MakeTestInstallDir(const std::string& prefix, std::initializer_list<const char*> dataFiles);

}  // namespace qel::test
