// The media file dialogs on the offscreen platform: pictures, sounds and
// damaged files chosen in the list, as the preview pane shows them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMediaPlayer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "components/Mediadialogs.h"
#include "tests/support/WaitLimit.h"

namespace {

// A mono 16-bit PCM wave of `ms` milliseconds at 8000 samples per second.
bool WriteWave(const QString& path, int ms) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    const quint32 samples = 8000u * quint32(ms) / 1000u;
    const quint32 data = samples * 2;
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + data);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(16000) << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << data;
    for (quint32 i = 0; i < samples; ++i) out << qint16((i / 8) % 2 ? 6000 : -6000);
    return out.status() == QDataStream::Ok;
}

// The patterns of a filter such as "Wave File (*.wav)".
QStringList Patterns(const QString& filter) {
    const qsizetype open = filter.lastIndexOf(QLatin1Char('(')), close = filter.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open) return {};
    return filter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

class MediaDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        dialog_ = std::make_unique<TMediaOpenDialog>();
        dialog_->setDirectory(dir_.path());
    }
    QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
    // Chooses a file as a click in the list does, and lets the delay run out.
    void Choose(const QString& path) {
        TMediaDialogImpl* impl = dialog_->Impl();
        impl->DoSelectionChange(path);
        EXPECT_TRUE(impl->UpdateTimer->isActive());
        EXPECT_FALSE(impl->PreviewButton->isEnabled());
        impl->UpdateNotify();
    }

    QTemporaryDir dir_;
    std::unique_ptr<TMediaOpenDialog> dialog_;
};

TEST(MediaFitTest, MovieKeepsItsAspectInsideThePanel) {
    // Wide movie: full width, scaled height, centred vertically.
    EXPECT_EQ(FitMovieRect({320, 240}, QRect(0, 0, 160, 200)), QRect(0, 40, 160, 120));
    // Tall movie: full height, scaled width.
    EXPECT_EQ(FitMovieRect({100, 400}, QRect(10, 10, 160, 200)), QRect(65, 10, 50, 200));
    EXPECT_TRUE(FitMovieRect({0, 240}, QRect(0, 0, 160, 200)).isEmpty());
    EXPECT_EQ(MovieCaption({320, 240}), QStringLiteral("Movie : 320 : 240"));
}

TEST_F(MediaDialogTest, PictureIsShownScaledWithItsSize) {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(QColor(200, 0, 0));
    ASSERT_TRUE(image.save(Path("red.png")));
    dialog_->show();
    Choose(Path("red.png"));

    TMediaDialogImpl* impl = dialog_->Impl();
    EXPECT_EQ(impl->Kind(), TMediaDialogImpl::TPreviewKind::Picture);
    EXPECT_EQ(impl->PictureLabel->text(), QStringLiteral("Picture : 40 : 20"));
    ASSERT_TRUE(impl->PictureImage->isVisible());
    const QImage shown = impl->PictureImage->pixmap().toImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(QColor(shown.pixel(shown.width() / 2, shown.height() / 2)), QColor(200, 0, 0));
    // The pane stands in the dialog beside the list.
    EXPECT_TRUE(impl->PicturePanel->isVisible());
    EXPECT_EQ(impl->PicturePanel->parentWidget(), dialog_.get());

    // Another folder clears the pane.
    impl->DoFolderChange();
    EXPECT_EQ(impl->Kind(), TMediaDialogImpl::TPreviewKind::None);
    EXPECT_TRUE(impl->PictureLabel->text().isEmpty());
    EXPECT_FALSE(impl->PictureImage->isVisible());
}

TEST_F(MediaDialogTest, DamagedOrMissingFilesSayWhyAndTheDialogGoesOn) {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(Path("whole.png")));
    QFile whole(Path("whole.png"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray head = whole.read(40);  // signature and header, no pixels
    QFile cut(Path("cut.png"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(head);
    cut.close();

    TMediaDialogImpl* impl = dialog_->Impl();
    Choose(Path("cut.png"));
    EXPECT_EQ(impl->Kind(), TMediaDialogImpl::TPreviewKind::Failed);
    EXPECT_TRUE(impl->PictureLabel->text().startsWith(QStringLiteral("No preview")));
    EXPECT_FALSE(impl->PreviewButton->isEnabled());

    // A file that is gone shows nothing at all.
    Choose(Path("gone.wav"));
    EXPECT_EQ(impl->Kind(), TMediaDialogImpl::TPreviewKind::None);
    EXPECT_TRUE(impl->PictureLabel->text().isEmpty());

    // The whole picture after a failure previews normally.
    Choose(Path("whole.png"));
    EXPECT_EQ(impl->Kind(), TMediaDialogImpl::TPreviewKind::Picture);
}

TEST_F(MediaDialogTest, SoundLoadsWithItsDurationAndGarbageFails) {
    if (!QMediaPlayer().isAvailable()) GTEST_SKIP() << "no media backend on this machine";
    ASSERT_TRUE(WriteWave(Path("beep.wav"), 500));
    TMediaDialogImpl* impl = dialog_->Impl();
    dialog_->SetAutoShow(false);  // load only: no sound device is needed
    EXPECT_FALSE(impl->LoopCheckBox->isEnabled());
    Choose(Path("beep.wav"));
    QTRY_VERIFY_WITH_TIMEOUT(impl->Kind() != TMediaDialogImpl::TPreviewKind::None, qel::test::kWaitLimitMs);
    if (impl->Kind() == TMediaDialogImpl::TPreviewKind::Failed &&
        impl->PictureLabel->text().contains(QStringLiteral("decoder"), Qt::CaseInsensitive))
        GTEST_SKIP() << "the media backend has no wave decoder: " << impl->PictureLabel->text().toStdString();
    ASSERT_EQ(impl->Kind(), TMediaDialogImpl::TPreviewKind::Sound);
    EXPECT_EQ(impl->PictureLabel->text(), QStringLiteral("Sound"));
    EXPECT_FALSE(impl->PreviewButton->isEnabled());  // no video to enlarge
    QTRY_VERIFY_WITH_TIMEOUT(impl->DurationMs() > 0, qel::test::kWaitLimitMs);
    EXPECT_NEAR(double(impl->DurationMs()), 500.0, 60.0);

    QFile junk(Path("junk.wav"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, '\x5A'));
    junk.close();
    Choose(Path("junk.wav"));
    QTRY_VERIFY_WITH_TIMEOUT(impl->Kind() == TMediaDialogImpl::TPreviewKind::Failed, qel::test::kWaitLimitMs);
    EXPECT_TRUE(impl->PictureLabel->text().startsWith(QStringLiteral("No preview")));
}

// Both dialogs offer the media filters in this order, "All media" first and
// holding every extension a media filter names, and start with the preview
// playing on its own and looping.
TEST(MediaSaveDialogTest, DialogsOfferTheMediaFiltersAndPreviewAndLoopOnStart) {
    TMediaSaveDialog save;
    TMediaOpenDialog open;
    const QStringList media = {QStringLiteral("All media (*.wav *.mid *.avi)"), QStringLiteral("Wave File (*.wav)"),
                               QStringLiteral("MIDI File (*.mid)"), QStringLiteral("Video (*.avi)")};
    for (QFileDialog* dialog : {static_cast<QFileDialog*>(&save), static_cast<QFileDialog*>(&open)}) {
        const QStringList filters = dialog->nameFilters();
        ASSERT_GE(filters.size(), media.size() + 1);
        EXPECT_EQ(filters.mid(0, media.size()), media);
        EXPECT_EQ(filters.last(), QStringLiteral("All files (*)"));
        // Every pattern of a media filter is one of "All media"'s.
        const QStringList all = Patterns(filters.first());
        for (const QString& filter : media.mid(1))
            for (const QString& pattern : Patterns(filter))
                EXPECT_TRUE(all.contains(pattern)) << pattern.toStdString();
    }
    EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(open.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_TRUE(save.AutoShow());
    EXPECT_TRUE(save.Loop());
    EXPECT_TRUE(save.Impl()->LoopCheckBox->isEnabled());
    EXPECT_EQ(save.Impl()->MediaPlayer->loops(), QMediaPlayer::Infinite);
    EXPECT_TRUE(open.AutoShow());
    EXPECT_TRUE(open.Loop());
}

TEST(MediaSaveDialogTest, SaveDialogCarriesThePaneLoopSettingToItsPlayer) {
    TMediaSaveDialog dialog;
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    dialog.SetLoop(false);
    EXPECT_EQ(dialog.Impl()->MediaPlayer->loops(), QMediaPlayer::Once);
    // Closing the dialog answers whatever Execute waits on.
    QTimer::singleShot(0, &dialog, [&] { dialog.reject(); });
    EXPECT_FALSE(dialog.Execute());
}

}  // namespace
