#include "tests/support/TestInstallDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/Paths.h"
#include "tests/support/WaitLimit.h"

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

bool ReturnsWithoutAWriter(const fs::path& fifo, const std::function<void()>& read) {
    fs::remove(fifo);
    EXPECT_EQ(::mkfifo(fifo.c_str(), 0644), 0) << fifo;
    std::atomic<bool> done{false}, freed{false};
    std::thread watchdog([&] {
        const auto until = std::chrono::steady_clock::now() + kWaitLimit;
        while (!done && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        while (!done) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                freed = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    read();
    done = true;
    watchdog.join();
    fs::remove(fifo);
    return !freed;
}

bool SavesPastALinkPlantedAt(const fs::path& planted, const std::function<bool()>& save) {
    const fs::path victim = planted.parent_path() / "planted-link-victim";
    bool ok = true;
    for (const fs::perms mode : {fs::perms::owner_read | fs::perms::owner_write, fs::perms::owner_read}) {
        fs::remove(planted);
        std::ofstream(victim, std::ios::trunc) << "not yours";
        fs::permissions(victim, mode);
        fs::create_symlink(victim, planted);
        const bool saved = save();
        std::ifstream in(victim);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ok = ok && saved && text == "not yours" && fs::is_symlink(planted);
        fs::remove(planted);
        fs::permissions(victim, fs::perms::owner_all);
        fs::remove(victim);
    }
    return ok;
}

std::uint64_t BytesReadSoFar() {
    static std::uint64_t ownReads = 0;
    std::ifstream io("/proc/self/io");
    const std::string text((std::istreambuf_iterator<char>(io)), std::istreambuf_iterator<char>());
    const auto at = text.find("rchar: ");
    // The text was made before this read counted; earlier counts included.
    const std::uint64_t rchar = at == std::string::npos ? 0 : std::stoull(text.substr(at + 7));
    const std::uint64_t mine = ownReads;
    ownReads += text.size();
    return rchar - mine;
}

}  // namespace qel::test
