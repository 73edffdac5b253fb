// What every reader of the system refuses before it reads: a FIFO, device or
// folder under a file's name (which would hang the open), and a file larger
// than any real one; and the splash picture's decoder against pictures that
// announce huge frames, cut, flipped and random bytes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <string_view>

#include "platform/Paths.h"
#include "project/Fileio.h"
#include "project/Jpegpicture.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Settings.h"
#include "tests/project/ProjectTestSupport.h"
#include "tests/support/TestInstallDir.h"

using namespace shelltest;
using qel::test::ReturnsWithoutAWriter;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> SplashBytes() {
    const char* src = std::getenv("QEL_SOURCE_DIR");
    std::vector<std::uint8_t> b;
    EXPECT_EQ(qelfile::ReadWholeFile((src ? fs::path(src) : fs::path(".")) / "data" / "Splash.jpg", b),
              qelfile::ReadResult::Ok);
    return b;
}

// The offset of the frame size in the picture's start-of-frame segment.
std::size_t FrameSizeOffset(const std::vector<std::uint8_t>& jpeg) {
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC1 || jpeg[i + 1] == 0xC2)) return i + 5;
    return 0;
}

}  // namespace

class ReaderLimits : public ShellTest {};

TEST_F(ReaderLimits, FifoUnderAFileNameIsRefusedWithoutWaiting) {
    FillProject(1, 0, 41);
    SetProjectPath(ProjectPath("p.kzp"));
    ASSERT_TRUE(SaveProject());
    const ProjectSnapshot saved = TakeSnapshot();

    // The program file itself, then a sibling (mkfifo p.lad beside p.kzp):
    // refused with its message (the sibling's before the question whether to
    // open without it, where No keeps the open project), the project unchanged.
    FillProject(2, 1, 42);
    SetProjectPath(ProjectPath("open.kzp"));
    const ProjectSnapshot open = TakeSnapshot();
    gMsgTable.Assign(std::vector<std::string>(250, "m"));
    fs::rename(Dir() / "p.lad", Dir() / "p.lad.saved");
    for (const auto& [fifo, program] : {std::pair{"fifo.kzp", "fifo.kzp"}, std::pair{"p.lad", "p.kzp"}}) {
        bool opened = true;
        EXPECT_TRUE(ReturnsWithoutAWriter(Dir() / fifo, [&] {
            messages_.Clear();
            messages_.QueueAnswer(qel::Answer::No);
            gQel.OpenFileName = ProjectPath(program);
            opened = ReadProgramFile();
        })) << fifo;
        EXPECT_FALSE(opened) << fifo;
        ASSERT_FALSE(messages_.Shown().empty()) << fifo;
        if (std::string_view(fifo) == program) {
            EXPECT_EQ(messages_.Shown().size(), 1u);
        }
        EXPECT_NE(messages_.Shown()[0].find(ProjectPath(fifo)), std::string::npos) << fifo;
        EXPECT_EQ(TakeSnapshot(), open) << fifo;
    }
    fs::rename(Dir() / "p.lad.saved", Dir() / "p.lad");
    gQel.OpenFileName = ProjectPath("p.kzp");
    ASSERT_TRUE(ReadProgramFile());
    EXPECT_EQ(TakeSnapshot(), saved);

    // The install folder's files: messages, settings, comment defaults.
    const fs::path install = qel::InstallDir();
    gMsgTable.Assign({"kept"});
    bool loaded = true;
    EXPECT_TRUE(ReturnsWithoutAWriter(install / "QEL.Txt", [&] { loaded = gMsgTable.LoadFromFile(install / "QEL.Txt"); }));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(gMsgTable.Get(0), "kept");
    EXPECT_TRUE(ReturnsWithoutAWriter(install / "Qel.ini", [&] { loaded = ReadSettings(install / "Qel.ini"); }));
    EXPECT_FALSE(loaded);
    SetDeviceComment("X0", "mine");
    EXPECT_TRUE(ReturnsWithoutAWriter(install / "DeviceCommentInit.txt", [&] { LoadDeviceCommentInit(); }));
    EXPECT_EQ(GetCommentByDeviceName("X0"), "");  // cleared, nothing read
    qel::TRgbPicture picture;
    EXPECT_TRUE(ReturnsWithoutAWriter(install / "Splash.jpg", [&] {
        loaded = qel::DecodeJpegPicture(install / "Splash.jpg", 4096, 4096, picture);
    }));
    EXPECT_FALSE(loaded);
}

TEST_F(ReaderLimits, InstallFolderFilesLargerThanAnyRealOneAreRefused) {
    const fs::path install = qel::InstallDir();
    // Messages: a file of 2 MB of short lines.
    std::string huge;
    while (huge.size() <= kMaxMessageFileBytes) huge += "a message line\n";
    WriteFile(install / "QEL.Txt", huge);
    gMsgTable.Assign({"kept"});
    EXPECT_FALSE(gMsgTable.LoadFromFile(install / "QEL.Txt"));
    EXPECT_EQ(gMsgTable.Count(), 1u);
    WriteFile(install / "QEL.Txt", "zero\none\n");
    EXPECT_TRUE(gMsgTable.LoadFromFile(install / "QEL.Txt"));
    EXPECT_EQ(gMsgTable.Get(1), "one");

    // Settings: a valid file padded far past any real one keeps the defaults.
    SetDefaultSettings();
    WriteFile(install / "Qel.ini", "206\n1\n2\n3\n" + std::string(100 * 1024, '\n'));
    EXPECT_FALSE(ReadSettings(install / "Qel.ini"));
    EXPECT_EQ(gQel.Family, 0);
    WriteFile(install / "Qel.ini", "206\n1\n2\n3\n");
    EXPECT_TRUE(ReadSettings(install / "Qel.ini"));
    EXPECT_EQ(gQel.Family, 1);

    // Comment defaults: 5 MB is refused, the first line is not taken.
    gQel.Family = 1;
    FitCommentLists();
    std::string defaults = "X0\tfirst\n";
    while (defaults.size() <= (5u << 20)) defaults += "#" + std::string(200, 'c') + "\n";
    WriteFile(install / "DeviceCommentInit.txt", defaults);
    LoadDeviceCommentInit();
    EXPECT_EQ(GetCommentByDeviceName("X0"), "");
    WriteFile(install / "DeviceCommentInit.txt", "X0\tfirst\n");
    LoadDeviceCommentInit();
    EXPECT_EQ(GetCommentByDeviceName("X0"), "first");
}

TEST_F(ReaderLimits, AFileLongerThanItsSizeSaidIsReadNoFurtherThanTheLimitAndOneByte) {
    // A file under /proc says it is empty and gives kilobytes, as a file that
    // grows while it is read would.
    std::vector<std::uint8_t> bytes;
    const std::uint64_t before = qel::test::BytesReadSoFar();
    EXPECT_EQ(qelfile::ReadWholeFile("/proc/self/smaps", bytes, 1000), qelfile::ReadResult::TooLarge);
    EXPECT_LE(qel::test::BytesReadSoFar() - before, 1001u);
    EXPECT_TRUE(bytes.empty());
    ASSERT_EQ(qelfile::ReadWholeFile("/proc/self/smaps", bytes), qelfile::ReadResult::Ok);
    EXPECT_GT(bytes.size(), 1001u);
}

TEST_F(ReaderLimits, SplashAnnouncingAHugeFrameIsRefusedBeforeAnyPixelMemory) {
    const std::vector<std::uint8_t> good = SplashBytes();
    ASSERT_FALSE(good.empty());
    const std::size_t at = FrameSizeOffset(good);
    ASSERT_NE(at, 0u);
    const fs::path file = Dir() / "splash.jpg";
    qel::TRgbPicture picture;
    std::string error;

    WriteFile(file, std::string(good.begin(), good.end()));
    ASSERT_TRUE(qel::DecodeJpegPicture(file, 4096, 4096, picture, &error)) << error;
    const int w = picture.width, h = picture.height;
    EXPECT_EQ(picture.rgb.size(), static_cast<std::size_t>(w) * h * 3);
    // Larger than the screen it is for: skipped.
    EXPECT_FALSE(qel::DecodeJpegPicture(file, w - 1, h, picture, &error));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    EXPECT_TRUE(picture.rgb.empty());

    // 65500 x 65500 would ask for 12.9 GB, 30000 x 30000 for 2.7 GB; a frame
    // of 0 rows is no picture.
    for (auto [fw, fh] : {std::pair{65500, 65500}, std::pair{30000, 30000}, std::pair{4000, 0}}) {
        std::vector<std::uint8_t> b = good;
        b[at] = static_cast<std::uint8_t>(fh >> 8);
        b[at + 1] = static_cast<std::uint8_t>(fh & 0xFF);
        b[at + 2] = static_cast<std::uint8_t>(fw >> 8);
        b[at + 3] = static_cast<std::uint8_t>(fw & 0xFF);
        WriteFile(file, std::string(b.begin(), b.end()));
        error.clear();
        EXPECT_FALSE(qel::DecodeJpegPicture(file, 4096, 4096, picture, &error)) << fw << "x" << fh;
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(picture.rgb.empty());
    }
    // A file far larger than a splash is not read at all.
    WriteFile(file, std::string(good.begin(), good.end()) + std::string(qel::kMaxJpegFileBytes, '\0'));
    EXPECT_FALSE(qel::DecodeJpegPicture(file, 4096, 4096, picture, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

TEST_F(ReaderLimits, SplashDecoderSurvivesCutFlippedAndRandomPictures) {
    const std::vector<std::uint8_t> good = SplashBytes();
    ASSERT_FALSE(good.empty());
    const fs::path file = Dir() / "fuzz.jpg";
    std::mt19937 rng(77);
    int decoded = 0, refused = 0;
    auto tryBytes = [&](const std::vector<std::uint8_t>& b) {
        WriteFile(file, std::string(b.begin(), b.end()));
        qel::TRgbPicture p;
        std::string error;
        if (qel::DecodeJpegPicture(file, 1024, 1024, p, &error)) {
            ASSERT_GT(p.width, 0);
            ASSERT_LE(p.width, 1024);
            ASSERT_LE(p.height, 1024);
            ASSERT_EQ(p.rgb.size(), static_cast<std::size_t>(p.width) * p.height * 3);
            ++decoded;
        } else {
            ASSERT_FALSE(error.empty());
            ASSERT_TRUE(p.rgb.empty());
            ++refused;
        }
    };
    // Cut at lengths across the whole file (headers at every byte).
    for (std::size_t len = 0; len < good.size(); len += (len < 700 ? 1 : 97))
        tryBytes(std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len)));
    for (int round = 0; round < 150; ++round) {
        std::vector<std::uint8_t> flipped = good;
        for (int k = 0; k < 1 + round % 6; ++k) {
            // Mostly in the headers, where the counts and sizes are.
            const std::size_t at = rng() % (round % 2 ? flipped.size() : std::min<std::size_t>(flipped.size(), 700));
            flipped[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        tryBytes(flipped);
        std::vector<std::uint8_t> noise(rng() % 4096);
        for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
        if (noise.size() >= 2 && round % 3 == 0) noise[0] = 0xFF, noise[1] = 0xD8;  // a JPEG's first marker
        tryBytes(noise);
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(decoded, 0);
}

TEST_F(ReaderLimits, TextReadersOfTheInstallFolderSurviveDamagedFiles) {
    // Messages, settings and comment defaults, each cut, bit-flipped and
    // random: read safely within their limits, or refused changing nothing.
    const fs::path install = qel::InstallDir();
    const char* src = std::getenv("QEL_SOURCE_DIR");
    const fs::path data = (src ? fs::path(src) : fs::path(".")) / "data";
    std::vector<std::uint8_t> messages, defaults, settings;
    ASSERT_EQ(qelfile::ReadWholeFile(data / "QEL.Txt", messages), qelfile::ReadResult::Ok);
    ASSERT_EQ(qelfile::ReadWholeFile(data / "DeviceCommentInit.txt", defaults), qelfile::ReadResult::Ok);
    SetDefaultSettings();
    gQel.RecentFiles = {"/a/b.kzp", "/c/d.kzp"};
    ASSERT_TRUE(WriteSettings(install / "Qel.ini"));
    ASSERT_EQ(qelfile::ReadWholeFile(install / "Qel.ini", settings), qelfile::ReadResult::Ok);

    std::mt19937 rng(99);
    auto variants = [&](const std::vector<std::uint8_t>& good) {
        std::vector<std::vector<std::uint8_t>> v;
        for (std::size_t len = 0; len < good.size(); len += 1 + good.size() / 40)
            v.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len));
        for (int k = 0; k < 40; ++k) {
            std::vector<std::uint8_t> f = good;
            for (int n = 0; n < 1 + k % 5; ++n) f[rng() % f.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            v.push_back(f);
            std::vector<std::uint8_t> noise(rng() % 2048);
            for (auto& b : noise) b = static_cast<std::uint8_t>(rng() % (k % 2 ? 256 : 128));
            v.push_back(noise);
        }
        return v;
    };
    auto put = [](const fs::path& p, const std::vector<std::uint8_t>& b) {
        WriteFile(p, std::string(b.begin(), b.end()));
    };
    for (const auto& b : variants(messages)) {
        put(install / "QEL.Txt", b);
        gMsgTable.Assign({"kept"});
        if (gMsgTable.LoadFromFile(install / "QEL.Txt")) {
            ASSERT_LE(gMsgTable.Count(), b.size() + 1);
        } else {
            ASSERT_EQ(gMsgTable.Get(0), "kept");
        }
    }
    for (const auto& b : variants(settings)) {
        put(install / "Qel.ini", b);
        SetDefaultSettings();
        ReadSettings(install / "Qel.ini");
        ASSERT_GE(gQel.Family, 0);
        ASSERT_LT(gQel.Family, kModelFamilyCount);
        ASSERT_GE(gQel.CapacityIndex, 0);
        ASSERT_LT(gQel.CapacityIndex, kCapacityCount);
        ASSERT_LE(gQel.RecentFiles.size(), static_cast<std::size_t>(kRecentFileMax));
    }
    for (int family = 0; family < kModelFamilyCount; ++family) {
        gQel.Family = family;
        FitCommentLists();
        std::vector<std::size_t> sizes;
        for (const auto& l : gQel.DevComments) sizes.push_back(l.size());
        for (const auto& b : variants(defaults)) {
            put(install / "DeviceCommentInit.txt", b);
            LoadDeviceCommentInit();
            for (std::size_t i = 0; i < sizes.size(); ++i) ASSERT_EQ(gQel.DevComments[i].size(), sizes[i]);
        }
    }
}
