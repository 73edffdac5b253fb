#include "platform/Paths.h"

#include <sys/stat.h>

#include <cstdlib>
#include <mutex>
#include <system_error>

namespace qel {
namespace {
std::mutex gMutex;
std::filesystem::path gInstall;
}  // namespace

void SetInstallDir(const std::filesystem::path& dir) {
    std::lock_guard lock(gMutex);
    gInstall = dir;
}

std::filesystem::path InstallDir() {
    std::lock_guard lock(gMutex);
    if (gInstall.empty()) {
        if (const char* home = std::getenv("QEL_HOME"); home && *home) {
            gInstall = home;
        } else {
            std::error_code ec;
            auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
            gInstall = ec ? std::filesystem::current_path() : exe.parent_path();
        }
    }
    return gInstall;
}

std::filesystem::path TempDir() {
    auto dir = InstallDir() / "Temp";
    std::error_code ec;
    std::filesystem::create_directories(InstallDir(), ec);
    // The compile's files in it are the user's alone: made with no access for
    // others, no one else can stand a file or a link where they are written.
    // A folder already there keeps the access its owner gave it.
    ::mkdir(dir.c_str(), 0700);
    return dir;
}

}  // namespace qel
