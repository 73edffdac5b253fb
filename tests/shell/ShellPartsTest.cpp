// The splash picture decoder, and a router handler that re-registers while it runs.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "project/Commandrouter.h"
#include "shell/Jpegdecode.h"

namespace fs = std::filesystem;

namespace {

fs::path SourceData(const char* name) {
    const char* src = std::getenv("QEL_SOURCE_DIR");
    return src ? fs::path(src) / "data" / name : fs::path(name);
}

fs::path Scratch(const char* name) { return fs::temp_directory_path() / (std::to_string(::getpid()) + name); }

}  // namespace

TEST(JpegDecode, DecodesTheSplashPicture) {
    std::string error;
    const QImage img = qel::DecodeJpegFile(SourceData("Splash.jpg"), &error);
    ASSERT_FALSE(img.isNull()) << error;
    EXPECT_EQ(img.size(), QSize(420, 240));
    // A dark blue background at the corners, the white title in the middle band.
    const QColor corner = img.pixelColor(2, 2);
    EXPECT_LT(corner.red(), 60);
    EXPECT_GT(corner.blue(), corner.red());
}

TEST(JpegDecode, RefusesMissingForeignAndTruncatedFiles) {
    std::string error;
    EXPECT_TRUE(qel::DecodeJpegFile(Scratch("-missing.jpg"), &error).isNull());
    EXPECT_FALSE(error.empty());

    const fs::path foreign = Scratch("-foreign.jpg");
    std::ofstream(foreign, std::ios::binary) << "GIF89a this is not a jpeg";
    error.clear();
    EXPECT_TRUE(qel::DecodeJpegFile(foreign, &error).isNull());
    EXPECT_FALSE(error.empty());

    // The first 600 bytes of a real picture: the header is whole, the data not.
    // libjpeg pads a short stream with a warning; it must not crash or hang.
    std::ifstream in(SourceData("Splash.jpg"), std::ios::binary);
    std::string head(600, '\0');
    in.read(head.data(), 600);
    const fs::path cut = Scratch("-cut.jpg");
    std::ofstream(cut, std::ios::binary) << head;
    const QImage partial = qel::DecodeJpegFile(cut);
    if (!partial.isNull()) {
        EXPECT_EQ(partial.size(), QSize(420, 240));
    }

    fs::remove(foreign);
    fs::remove(cut);
}

TEST(JpegDecode, PictureLargerThanTheScreenIsSkipped) {
    std::string error;
    EXPECT_TRUE(qel::DecodeJpegFile(SourceData("Splash.jpg"), &error, QSize(419, 240)).isNull());
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    EXPECT_FALSE(qel::DecodeJpegFile(SourceData("Splash.jpg"), &error, QSize(420, 240)).isNull());
    // The frame announced as 30000 x 30000 (once a crash in the row copy).
    std::ifstream in(SourceData("Splash.jpg"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t sof = bytes.find("\xFF\xC0");
    if (sof == std::string::npos) sof = bytes.find("\xFF\xC2");
    ASSERT_NE(sof, std::string::npos);
    for (std::size_t k = 0; k < 4; ++k) bytes[sof + 5 + k] = k % 2 ? '\x30' : '\x75';
    const fs::path huge = Scratch("-huge.jpg");
    std::ofstream(huge, std::ios::binary) << bytes;
    error.clear();
    EXPECT_TRUE(qel::DecodeJpegFile(huge, &error).isNull());
    EXPECT_FALSE(error.empty());
    fs::remove(huge);
}

TEST(CommandRouter, HandlerMayReRegisterWhileRunning) {
    TCommandRouter r;
    int runs = 0;
    r.Register("MmLadWin", TCommandRouter::kAnyView, [&] {
        ++runs;
        r.Unregister("MmLadWin", TCommandRouter::kAnyView);  // frees the running handler's slot
        r.Register("MmUndo", 2, [] {});
    });
    EXPECT_TRUE(r.Dispatch("MmLadWin", 0));
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(r.Available("MmLadWin", 0));
    EXPECT_TRUE(r.Available("MmUndo", 2));
}
