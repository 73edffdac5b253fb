#include "tests/support/TestInstallDir.h"

#include <cstdlib>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace qel::test {

fs::path MakeTestInstallDir(const std::string& prefix, std::initializer_list<const char*> dataFiles) {
    const char* src = std::getenv("QEL_SOURCE_DIR");
    if (!src) {
        ADD_FAILURE() << "QEL_SOURCE_DIR names the source tree";
        return {};
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path home = fs::temp_directory_path() / (prefix + std::to_string(::getpid()) + "-" +
                                                 info->test_suite_name() + "-" + info->name());
    fs::remove_all(home);
    fs::create_directories(home);
    for (const char* f : dataFiles) fs::copy_file(fs::path(src) / "data" / f, home / f);
    SetInstallDir(home);
    return home;
}

}  // namespace qel::test
