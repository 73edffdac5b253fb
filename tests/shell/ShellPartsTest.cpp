// The splash picture decoder, and a router handler that re-registers while it runs.
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include <gtest/gtest.h>

#include "project/Commandrouter.h"
#include "shell/Jpegdecode.h"

namespace fs = std::filesystem;

namespace {

fs::path SourceData(const char* name) {
    const char* src = std::getenv("QEL_SOURCE_DIR");
    return src ? fs::path(src) / "data" / name : fs::path(name);
}

}  // namespace

// The decoder's refusals (cut, flipped, random and huge pictures) are tried
// in the project tests; here the picture as the splash gets it.
TEST(JpegDecode, DecodesTheSplashPictureWithinTheScreenOnly) {
    std::string error;
    const QImage img = qel::DecodeJpegFile(SourceData("Splash.jpg"), &error);
    ASSERT_FALSE(img.isNull()) << error;  // its size: the frame's splash test
    // A dark blue background at the corners, the white title in the middle band.
    const QColor corner = img.pixelColor(2, 2);
    EXPECT_LT(corner.red(), 60);
    EXPECT_GT(corner.blue(), corner.red());

    EXPECT_TRUE(qel::DecodeJpegFile(SourceData("Splash.jpg"), &error, QSize(419, 240)).isNull());
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    error.clear();
    EXPECT_TRUE(qel::DecodeJpegFile(fs::temp_directory_path() / (std::to_string(::getpid()) + "-missing.jpg"), &error)
                    .isNull());
    EXPECT_FALSE(error.empty());
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
