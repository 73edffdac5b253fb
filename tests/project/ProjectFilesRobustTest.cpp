// Damaged files: every kind of the set cut at every length and filled with
// seeded random bytes is refused or read safely, and a refusal leaves the
// project that was open exactly as it was.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>

#include "project/Fileio.h"
#include "project/Projectfiles.h"
#include "tests/project/ProjectTestSupport.h"

using namespace shelltest;
namespace fs = std::filesystem;

namespace {

class DamagedFilesTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        // The set on disk: a small ladder keeps the cut-at-every-length loops short.
        FillProject(1, 0, 21);
        SetProjectPath(ProjectPath("set.kzp"));
        ASSERT_TRUE(SaveProject());
        for (const char* ext : {".kzp", ".lad", ".lab", ".rcm", ".lmt", ".smt", ".dev", ".sfc"}) {
            std::vector<std::uint8_t> b;
            ASSERT_EQ(qelfile::ReadWholeFile(Dir() / (std::string("set") + ext), b), qelfile::ReadResult::Ok);
            good_[ext] = b;
        }
        // The project open while the damaged set is read.
        FillProject(2, 1, 22);
        SetProjectPath(ProjectPath("open.kzp"));
        open_ = TakeSnapshot();
        openMonitorCount_ = gDevMoniEntryCount;
    }

    void Put(const std::string& ext, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(Dir() / ("set" + ext), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // Reads the set with one damaged file and checks the outcome.
    void TryRead(const std::string& ext, const std::vector<std::uint8_t>& bytes) {
        Put(ext, bytes);
        messages_.Clear();
        gQel.OpenFileName = ProjectPath("set.kzp");
        if (ReadProgramFile()) {
            // Read safely: whatever was accepted lies within the buffers.
            ASSERT_GE(gDevMoniEntryCount, 0);
            ASSERT_LE(gDevMoniEntryCount, kDevMoniMaxEntries);
            ASSERT_LE(gLadderRowCount, kLadderRows);
            ASSERT_EQ(gProgramCapacity, ProgramCapacityOf(gQel.CapacityIndex));
            for (int i = 0; i < kCommentListCount; ++i)
                ASSERT_LE(gQel.DevComments[static_cast<std::size_t>(i)].size(), 10000u);
            ++readSafely_;
            RestoreOpenProject();
        } else {
            ASSERT_FALSE(messages_.Shown().empty()) << ext << " refused without a message";
            ASSERT_EQ(TakeSnapshot(), open_) << ext << " of " << bytes.size() << " bytes changed the open project";
            ASSERT_EQ(gDevMoniEntryCount, openMonitorCount_);
            ++refused_;
        }
    }

    void RestoreOpenProject() {
        FillProject(2, 1, 22);
        SetProjectPath(ProjectPath("open.kzp"));
        ASSERT_EQ(TakeSnapshot(), open_);
    }

    std::map<std::string, std::vector<std::uint8_t>> good_;
    ProjectSnapshot open_;
    std::int32_t openMonitorCount_ = 0;
    int refused_ = 0, readSafely_ = 0;
};

TEST_F(DamagedFilesTest, EveryFileCutAtEveryLength) {
    for (const auto& [ext, good] : good_) {
        SCOPED_TRACE(ext);
        const int before = refused_;
        for (std::size_t len = 0; len < good.size(); ++len)
            TryRead(ext, std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len)));
        Put(ext, good);
        // Binary files know their exact size: every cut is refused.
        if (ext != ".rcm" && ext != ".lmt") {
            EXPECT_EQ(refused_ - before, static_cast<int>(good.size()));
        }
    }
    EXPECT_GT(refused_, 0);
}

TEST_F(DamagedFilesTest, SeededRandomBytesAndRandomBodies) {
    std::mt19937 rng(1234);
    for (const auto& [ext, good] : good_) {
        SCOPED_TRACE(ext);
        for (int round = 0; round < 60; ++round) {
            // Pure noise of a random length.
            std::vector<std::uint8_t> noise(rng() % (good.size() + 64));
            for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
            TryRead(ext, noise);
            // The good file with a few bytes changed, the header included.
            std::vector<std::uint8_t> flipped = good;
            for (int k = 0; k < 4; ++k) flipped[rng() % flipped.size()] = static_cast<std::uint8_t>(rng());
            TryRead(ext, flipped);
            // A good header or first line followed by noise.
            std::vector<std::uint8_t> body(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(good.size(), 132)));
            for (std::size_t k = body.size(); k < good.size(); ++k) body.push_back(static_cast<std::uint8_t>(rng()));
            TryRead(ext, body);
        }
        Put(ext, good);
    }
    EXPECT_GT(refused_, 0);
}

TEST_F(DamagedFilesTest, CountsBeyondTheBuffersAreRefused) {
    auto patched = [&](const std::string& ext, std::size_t at, std::vector<std::uint8_t> value) {
        std::vector<std::uint8_t> b = good_[ext];
        std::copy(value.begin(), value.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> cases = {
        {".dev", patched(".dev", 130, {97, 0})},           // 97 monitor rows
        {".dev", patched(".dev", 130, {0xFF, 0xFF})},      // negative count
        {".dev", patched(".dev", 128, {32, 0})},           // other record size
        {".lad", patched(".lad", 128, {0x11, 0x27, 0, 0})},  // 10001 rows
        {".lab", patched(".lab", 136, {0x10, 0x27, 0, 0})},  // P0 on row 10000
        {".kzp", patched(".kzp", 4, {4, 0})},              // capacity index 4
        {".kzp", patched(".kzp", 2, {3, 0})},              // family 3
        {".kzp", patched(".kzp", 0, {205, 0})},            // another version
        {".smt", patched(".smt", 128, {0xFF, 0xFF, 0xFF, 0x7F})},
    };
    for (const auto& [ext, bytes] : cases) {
        SCOPED_TRACE(ext);
        const int before = refused_;
        TryRead(ext, bytes);
        EXPECT_EQ(refused_, before + 1);
        Put(ext, good_[ext]);
    }
}

}  // namespace
