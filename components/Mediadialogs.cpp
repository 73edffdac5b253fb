#include "components/Mediadialogs.h"

#include <QAudioOutput>
#include <QCheckBox>
#include <QDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoSink>
#include <QVideoWidget>

namespace {

// A selection is taken up this long after the last change, so that running
// through a folder with the arrow keys does not open every file on the way.
constexpr int kUpdateDelayMs = 1500;

const char* const kMediaFilters[] = {
    "All media (*.wav *.mid *.avi)", "Wave File (*.wav)", "MIDI File (*.mid)", "Video (*.avi)",
    "Pictures (*.bmp *.png *.jpg *.jpeg)", "All files (*)",
};

// The glyph shown for a sound without pictures: a note on a light ground.
QPixmap SoundGlyph() {
    QPixmap pm(48, 48);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::black);
    p.setPen(QPen(Qt::black, 3));
    p.drawLine(30, 8, 30, 34);
    p.drawLine(30, 8, 40, 14);
    p.drawEllipse(QPoint(24, 36), 7, 5);
    return pm;
}

}  // namespace

QRect FitMovieRect(QSize movie, QRect panel) {
    if (movie.isEmpty() || panel.isEmpty()) return {};
    // Full width and scaled height when that fits, else full height.
    const qint64 h = qint64(panel.width()) * movie.height() / movie.width();
    if (h <= panel.height()) {
        const int top = panel.top() + (panel.height() - int(h)) / 2;
        return QRect(panel.left(), top, panel.width(), int(h));
    }
    const qint64 w = qint64(panel.height()) * movie.width() / movie.height();
    const int left = panel.left() + (panel.width() - int(w)) / 2;
    return QRect(left, panel.top(), int(w), panel.height());
}

QString MovieCaption(QSize movie) {
    return QStringLiteral("Movie : %1 : %2").arg(movie.width()).arg(movie.height());
}

// ---------------------------------------------------------------------------
// The pane

TMediaDialogImpl::TMediaDialogImpl(QFileDialog* dialog) : QObject(dialog), Dialog(dialog) {
    PicturePanel = new QFrame(dialog);
    PicturePanel->setObjectName("PicturePanel");
    PicturePanel->setMinimumSize(169, 200);
    auto* outer = new QVBoxLayout(PicturePanel);
    outer->setContentsMargins(6, 6, 6, 6);

    PictureLabel = new QLabel(PicturePanel);
    PictureLabel->setObjectName("PictureLabel");
    PictureLabel->setMinimumHeight(33);
    PictureLabel->setWordWrap(true);
    outer->addWidget(PictureLabel);

    PaintPanel = new QFrame(PicturePanel);
    PaintPanel->setObjectName("PaintPanel");
    PaintPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PaintPanel->setMinimumSize(157, 120);
    auto* paint = new QVBoxLayout(PaintPanel);
    paint->setContentsMargins(2, 2, 2, 2);
    SoundImage = new QLabel(PaintPanel);
    SoundImage->setObjectName("SoundImage");
    SoundImage->setPixmap(SoundGlyph());
    SoundImage->setAlignment(Qt::AlignCenter);
    SoundImage->hide();
    PictureImage = new QLabel(PaintPanel);
    PictureImage->setObjectName("PictureImage");
    PictureImage->setAlignment(Qt::AlignCenter);
    PictureImage->hide();
    VideoWidget = new QVideoWidget(PaintPanel);
    VideoWidget->setObjectName("VideoWidget");
    VideoWidget->hide();
    paint->addWidget(SoundImage);
    paint->addWidget(PictureImage);
    paint->addWidget(VideoWidget);
    outer->addWidget(PaintPanel, 1);

    CommandPanel = new QFrame(PicturePanel);
    CommandPanel->setObjectName("CommandPanel");
    CommandPanel->setFixedHeight(26);
    auto* cmd = new QHBoxLayout(CommandPanel);
    cmd->setContentsMargins(0, 0, 0, 0);
    ShowCheckBox = new QCheckBox(QStringLiteral("Show preview"), CommandPanel);
    ShowCheckBox->setObjectName("ShowCheckBox");
    ShowCheckBox->setChecked(true);
    LoopCheckBox = new QCheckBox(QStringLiteral("Loop"), CommandPanel);
    LoopCheckBox->setObjectName("LoopCheckBox");
    LoopCheckBox->setChecked(true);
    PreviewButton = new QToolButton(CommandPanel);
    PreviewButton->setObjectName("PreviewButton");
    PreviewButton->setIcon(dialog->style()->standardIcon(QStyle::SP_TitleBarMaxButton));
    PreviewButton->setToolTip(QStringLiteral("Show Preview"));
    PreviewButton->setEnabled(false);
    cmd->addWidget(ShowCheckBox);
    cmd->addWidget(LoopCheckBox);
    cmd->addStretch(1);
    cmd->addWidget(PreviewButton);
    outer->addWidget(CommandPanel);

    // The pane stands in a column of its own beside the dialog's file list.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
        grid->addWidget(PicturePanel, 0, grid->columnCount(), grid->rowCount(), 1);

    MediaPlayer = new QMediaPlayer(this);
    MediaPlayer->setObjectName("MediaPlayer");
    AudioOutput = new QAudioOutput(this);
    MediaPlayer->setAudioOutput(AudioOutput);
    MediaPlayer->setVideoOutput(VideoWidget);

    UpdateTimer = new QTimer(this);
    UpdateTimer->setObjectName("UpdateTimer");
    UpdateTimer->setSingleShot(true);
    UpdateTimer->setInterval(kUpdateDelayMs);

    connect(UpdateTimer, &QTimer::timeout, this, &TMediaDialogImpl::UpdateNotify);
    connect(ShowCheckBox, &QCheckBox::clicked, this, &TMediaDialogImpl::OnShowCheck);
    connect(LoopCheckBox, &QCheckBox::clicked, this, [this] {
        MediaPlayer->setLoops(LoopCheckBox->isChecked() ? QMediaPlayer::Infinite : QMediaPlayer::Once);
    });
    connect(PreviewButton, &QToolButton::clicked, this, &TMediaDialogImpl::PreviewClick);
    connect(MediaPlayer, &QMediaPlayer::mediaStatusChanged, this, &TMediaDialogImpl::OnMediaStatus);
    connect(MediaPlayer, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error, const QString& text) {
        if (!MediaPlayer->source().isEmpty()) ShowFailure(text);
    });
    connect(MediaPlayer, &QMediaPlayer::durationChanged, this, [this] { emit previewChanged(); });
    connect(VideoWidget->videoSink(), &QVideoSink::videoSizeChanged, this,
            [this] { OnMovieSize(VideoWidget->videoSink()->videoSize()); });

    connect(dialog, &QFileDialog::currentChanged, this, &TMediaDialogImpl::DoSelectionChange);
    connect(dialog, &QFileDialog::directoryEntered, this, &TMediaDialogImpl::DoFolderChange);
    MediaPlayer->setLoops(QMediaPlayer::Infinite);
}

TMediaDialogImpl::~TMediaDialogImpl() { StopPlayer(); }

// The preview does not read files through the project's reader: the picture
// decoder and the media player read a medium in pieces as they need it, and
// a film may be far larger than any limit the readers set. What they may
// open is held to the same first rule: a regular file (a FIFO would hang the
// decoder's open).
bool TMediaDialogImpl::ValidFile(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.exists() && info.isFile() && info.isReadable();
}

qint64 TMediaDialogImpl::DurationMs() const { return MediaPlayer->duration(); }

void TMediaDialogImpl::StopPlayer() {
    MediaPlayer->stop();
    MediaPlayer->setSource(QUrl());
}

void TMediaDialogImpl::ClearPane() {
    kind_ = TPreviewKind::None;
    PictureLabel->clear();
    SoundImage->hide();
    PictureImage->hide();
    PictureImage->clear();
    VideoWidget->hide();
    PreviewButton->setEnabled(false);
}

void TMediaDialogImpl::ShowFailure(const QString& reason) {
    StopPlayer();
    ClearPane();
    kind_ = TPreviewKind::Failed;
    PictureLabel->setText(reason.isEmpty() ? QStringLiteral("No preview") : QStringLiteral("No preview: ") + reason);
    emit previewChanged();
}

void TMediaDialogImpl::OnShowCheck() {
    LoopCheckBox->setEnabled(ShowCheckBox->isChecked());
    if (ShowCheckBox->isChecked() && (kind_ == TPreviewKind::Sound || kind_ == TPreviewKind::Movie)) Play();
    if (!ShowCheckBox->isChecked()) MediaPlayer->pause();
}

void TMediaDialogImpl::DoFolderChange() {
    StopPlayer();
    ClearPane();
    LastFileName.clear();
}

void TMediaDialogImpl::DoSelectionChange(const QString& fileName) {
    PreviewButton->setEnabled(false);
    UpdateTimer->stop();
    Ready = false;
    PictureLabel->clear();
    pending_ = fileName;
    UpdateTimer->start();
    if (MediaPlayer->playbackState() == QMediaPlayer::PlayingState) MediaPlayer->pause();
}

void TMediaDialogImpl::DoClose() { StopPlayer(); }

void TMediaDialogImpl::DoShow() { LoopCheckBox->setEnabled(ShowCheckBox->isChecked()); }

void TMediaDialogImpl::ExecuteEnter() {}

void TMediaDialogImpl::ExecuteExit() { StopPlayer(); }

void TMediaDialogImpl::UpdateNotify() {
    UpdateTimer->stop();
    const QString file = pending_;
    if (file == LastFileName && !file.isEmpty()) {
        // The same file again: carry on where it was.
        if (MediaPlayer->playbackState() == QMediaPlayer::PausedState && ShowCheckBox->isChecked()) MediaPlayer->play();
        PreviewButton->setEnabled(kind_ == TPreviewKind::Movie);
        Ready = true;
        return;
    }
    LastFileName = file;
    StopPlayer();
    ClearPane();
    PaintPanel->update();
    Ready = true;
    if (!ValidFile(file)) {
        emit previewChanged();
        return;
    }
    QImageReader reader(file);
    if (reader.canRead())
        ShowPicture(file);
    else
        OpenMedium(file);
}

void TMediaDialogImpl::ShowPicture(const QString& fileName) {
    QImageReader reader(fileName);
    // A picture announcing a huge frame is refused rather than decoded.
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > 64LL * 1024 * 1024) {
        ShowFailure(QStringLiteral("picture too large"));
        return;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        ShowFailure(reader.errorString());
        return;
    }
    kind_ = TPreviewKind::Picture;
    const QRect fit = FitMovieRect(image.size(), QRect(QPoint(0, 0), PaintPanel->contentsRect().size()));
    PictureImage->setPixmap(QPixmap::fromImage(fit.isEmpty() ? image : image.scaled(fit.size(), Qt::KeepAspectRatio)));
    PictureImage->show();
    PictureLabel->setText(QStringLiteral("Picture : %1 : %2").arg(image.width()).arg(image.height()));
    emit previewChanged();
}

void TMediaDialogImpl::OpenMedium(const QString& fileName) {
    // Played where it lies: a copy in the shared temporary folder would only
    // open a window for another user to swap the file under us.
    MovieSize = {};
    MediaPlayer->setLoops(LoopCheckBox->isChecked() ? QMediaPlayer::Infinite : QMediaPlayer::Once);
    MediaPlayer->setSource(QUrl::fromLocalFile(fileName));
}

void TMediaDialogImpl::OnMediaStatus() {
    switch (MediaPlayer->mediaStatus()) {
    case QMediaPlayer::LoadedMedia:
        if (MediaPlayer->hasVideo()) {
            kind_ = TPreviewKind::Movie;
            VideoWidget->show();
            PreviewButton->setEnabled(true);
            PictureLabel->setText(QStringLiteral("Movie"));
        } else {
            kind_ = TPreviewKind::Sound;
            PictureLabel->setText(QStringLiteral("Sound"));
            SoundImage->show();
        }
        if (ShowCheckBox->isChecked()) Play();
        emit previewChanged();
        break;
    case QMediaPlayer::InvalidMedia: ShowFailure(MediaPlayer->errorString()); break;
    default: break;
    }
}

void TMediaDialogImpl::OnMovieSize(QSize size) {
    if (size.isEmpty() || kind_ != TPreviewKind::Movie) return;
    MovieSize = size;
    PictureLabel->setText(MovieCaption(size));
    PlaceMovie();
    emit previewChanged();
}

void TMediaDialogImpl::PlaceMovie() {
    PreviewRect = FitMovieRect(MovieSize, PaintPanel->contentsRect());
    if (!PreviewRect.isEmpty() && !Previewing) VideoWidget->setFixedSize(PreviewRect.size());
}

void TMediaDialogImpl::Play() {
    if (MediaPlayer->source().isEmpty()) return;
    MediaPlayer->play();
}

void TMediaDialogImpl::PreviewClick() {
    if (kind_ != TPreviewKind::Movie || Previewing) return;
    QDialog form(Dialog);
    form.setObjectName("PreviewForm");
    form.setWindowTitle(QFileInfo(LastFileName).fileName());
    auto* layout = new QVBoxLayout(&form);
    layout->setContentsMargins(5, 5, 5, 5);
    auto* big = new QVideoWidget(&form);
    big->setObjectName("Panel");
    layout->addWidget(big);
    if (!MovieSize.isEmpty()) form.resize(MovieSize + QSize(10, 10));
    PreviewForm = &form;
    Previewing = true;
    MediaPlayer->setVideoOutput(big);
    MediaPlayer->setPosition(0);
    MediaPlayer->play();
    form.exec();  // Esc closes it
    Previewing = false;
    PreviewForm = nullptr;
    MediaPlayer->setVideoOutput(VideoWidget);
    PlaceMovie();
}

// ---------------------------------------------------------------------------
// The dialogs

TMediaFileDialog::TMediaFileDialog(QWidget* parent, AcceptMode mode) : QFileDialog(parent) {
    // The pane goes into the dialog's own layout, which only Qt's dialog has.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(mode);
    QStringList filters;
    for (const char* f : kMediaFilters) filters << QString::fromLatin1(f);
    setNameFilters(filters);
    impl_ = new TMediaDialogImpl(this);
}

TMediaFileDialog::~TMediaFileDialog() = default;

bool TMediaFileDialog::AutoShow() const { return impl_->ShowCheckBox->isChecked(); }
void TMediaFileDialog::SetAutoShow(bool on) {
    impl_->ShowCheckBox->setChecked(on);
    impl_->OnShowCheck();
}
bool TMediaFileDialog::Loop() const { return impl_->LoopCheckBox->isChecked(); }
void TMediaFileDialog::SetLoop(bool on) {
    impl_->LoopCheckBox->setChecked(on);
    impl_->MediaPlayer->setLoops(on ? QMediaPlayer::Infinite : QMediaPlayer::Once);
}

bool TMediaFileDialog::Execute() {
    impl_->ExecuteEnter();
    const bool chosen = exec() == QDialog::Accepted;
    impl_->ExecuteExit();
    return chosen;
}

void TMediaFileDialog::showEvent(QShowEvent* event) {
    QFileDialog::showEvent(event);
    impl_->DoShow();
}

void TMediaFileDialog::done(int result) {
    impl_->DoClose();
    QFileDialog::done(result);
}
