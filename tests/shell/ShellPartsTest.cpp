// The splash picture decoder and window, and a router handler that re-registers while it runs.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QScreen>

#include "project/Commandrouter.h"
#include "shell/Jpegdecode.h"
#include "shell/Splashfrm.h"
#include "shell/Widgetmessages.h"

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

// The splash is shown only when the whole picture fits on the screen: one of
// exactly the screen's size is shown, one pixel more either way is not.
TEST(Splash, PictureOfTheScreensSizeIsShownOnePixelMoreIsSkipped) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QSize full = screen->size();
    const fs::path file = fs::temp_directory_path() / (std::to_string(::getpid()) + "-screen-splash.jpg");
    auto splashOf = [&](QSize size) {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(QColor(20, 30, 160));
        EXPECT_TRUE(picture.save(QString::fromStdString(file.string()), "JPG"));
        return std::unique_ptr<TSplash>(TSplash::Create(file));
    };
    const std::unique_ptr<TSplash> fits = splashOf(full);
    ASSERT_NE(fits, nullptr);
    EXPECT_EQ(fits->Picture().size(), full);
    EXPECT_EQ(splashOf(full + QSize(1, 0)), nullptr);
    EXPECT_EQ(splashOf(full + QSize(0, 1)), nullptr);
    fs::remove(file);
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

// Return on a question takes its default. Where Yes and No each drop
// something of the user's (which of two editors' edits to keep), the default
// is Cancel, so a stray Return drops nothing; elsewhere it stays Yes.
TEST(WidgetQuestions, ReturnOnAChoiceThatDropsWorkCancels) {
    qel::TWidgetMessages boxes;
    auto answerWithReturn = [&](qel::AskButtons buttons) {
        QTimer press;
        QObject::connect(&press, &QTimer::timeout, [] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                QKeyEvent down(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                QApplication::sendEvent(box, &down);
            }
        });
        press.start(10);
        return boxes.Ask("Keep which?", buttons);
    };
    EXPECT_EQ(answerWithReturn(qel::AskButtons::YesNoOrCancel), qel::Answer::Cancel);
    EXPECT_EQ(answerWithReturn(qel::AskButtons::YesNoCancel), qel::Answer::Yes);
}
