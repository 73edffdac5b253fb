#pragma once
// Open and save file dialogs with a preview pane: a sound or video file chosen
// in the list is played in the pane (with "Loop" and "Show preview" check
// boxes and a button that opens the video in a larger window); a picture is
// shown scaled. A file that cannot be decoded says so in the pane; the dialog
// itself goes on working. No window of the editor uses these dialogs: they are
// a component for any window that wants them.
#include <QFileDialog>
#include <QRect>
#include <QSize>
#include <QString>

class QCheckBox;
class QDialog;
class QFrame;
class QLabel;
class QMediaPlayer;
class QAudioOutput;
class QTimer;
class QToolButton;
class QVideoWidget;

/// The largest rectangle of the movie's aspect ratio inside `panel`: full
/// width and scaled height, or full height and scaled width, whichever fits.
/// Empty when either size is empty.
QRect FitMovieRect(QSize movie, QRect panel);

/// The pane's caption for a video of the given size ("Movie : 320 : 240").
QString MovieCaption(QSize movie);

/// The preview pane and player shared by both dialogs.
class TMediaDialogImpl : public QObject {
    Q_OBJECT
public:
    explicit TMediaDialogImpl(QFileDialog* dialog);
    ~TMediaDialogImpl() override;

    QFileDialog* Dialog;
    QFrame* PicturePanel = nullptr;
    QLabel* PictureLabel = nullptr;
    QFrame* CommandPanel = nullptr;
    QToolButton* PreviewButton = nullptr;
    QFrame* PaintPanel = nullptr;
    QLabel* SoundImage = nullptr;
    QLabel* PictureImage = nullptr;
    QVideoWidget* VideoWidget = nullptr;
    QMediaPlayer* MediaPlayer = nullptr;
    QAudioOutput* AudioOutput = nullptr;
    QTimer* UpdateTimer = nullptr;
    QCheckBox* LoopCheckBox = nullptr;
    QCheckBox* ShowCheckBox = nullptr;
    QString LastFileName;
    QSize MovieSize;
    QRect PreviewRect;
    bool Previewing = false;
    bool Ready = false;
    QDialog* PreviewForm = nullptr;

    /// True when the file exists and its attributes can be read.
    static bool ValidFile(const QString& fileName);

    void OnShowCheck();
    void DoFolderChange();
    void DoSelectionChange(const QString& fileName);
    void DoClose();
    void DoShow();
    void ExecuteEnter();
    void ExecuteExit();
    /// Takes up the file chosen last (run 1500 ms after the last selection change).
    void UpdateNotify();
    void PreviewClick();

    /// What the pane shows now (for windows and tests).
    enum class TPreviewKind { None, Picture, Sound, Movie, Failed };
    TPreviewKind Kind() const { return kind_; }
    /// Length of the loaded medium in milliseconds; 0 until it is known.
    qint64 DurationMs() const;

signals:
    /// The pane changed what it shows (file taken up, medium loaded or failed).
    void previewChanged();

private:
    void ClearPane();
    void ShowFailure(const QString& reason);
    void ShowPicture(const QString& fileName);
    void OpenMedium(const QString& fileName);
    void OnMediaStatus();
    void OnMovieSize(QSize size);
    void PlaceMovie();
    void Play();
    void StopPlayer();

    QString pending_;
    TPreviewKind kind_ = TPreviewKind::None;
};

/// A file dialog with the preview pane; the open and save dialogs differ only
/// in their accept mode.
class TMediaFileDialog : public QFileDialog {
    Q_OBJECT
    Q_PROPERTY(bool AutoShow READ AutoShow WRITE SetAutoShow)
    Q_PROPERTY(bool Loop READ Loop WRITE SetLoop)
public:
    bool AutoShow() const;
    void SetAutoShow(bool on);
    bool Loop() const;
    void SetLoop(bool on);
    /// Runs the dialog modally; true when the user chose a file.
    bool Execute();
    TMediaDialogImpl* Impl() const { return impl_; }

protected:
    TMediaFileDialog(QWidget* parent, AcceptMode mode);
    ~TMediaFileDialog() override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    TMediaDialogImpl* impl_;
};

class TMediaOpenDialog : public TMediaFileDialog {
    Q_OBJECT
public:
    explicit TMediaOpenDialog(QWidget* parent = nullptr) : TMediaFileDialog(parent, AcceptOpen) {}
};

class TMediaSaveDialog : public TMediaFileDialog {
    Q_OBJECT
public:
    explicit TMediaSaveDialog(QWidget* parent = nullptr) : TMediaFileDialog(parent, AcceptSave) {}
};
