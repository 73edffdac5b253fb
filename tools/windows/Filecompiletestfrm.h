#pragma once
// The batch compile test window: a folder's program files opened one after
// another as the project, each ladder compiled (and, when asked, the code
// checked), one result line per file; the results can be saved as text.
#include <functional>
#include <string>
#include <vector>

#include <QWidget>

#include "platform/Messages.h"
#include "tools/check/Batchtest.h"

class QCheckBox;
class QFileSystemModel;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeView;

/// The round result lamp.
class TResultLamp : public QWidget {
    Q_OBJECT
public:
    explicit TResultLamp(QWidget* parent = nullptr);
    void SetLamp(TBatchLamp lamp);
    TBatchLamp Lamp() const { return lamp_; }
    static QColor ColorOf(TBatchLamp lamp);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TBatchLamp lamp_ = TBatchLamp::White;
};

class TFileCompileTest : public QWidget {
    Q_OBJECT
public:
    explicit TFileCompileTest(QWidget* parent = nullptr);
    ~TFileCompileTest() override;

    /// A message the reader gave while a file was opened for the run.
    struct TNote {
        std::string text;
        qel::MsgKind kind;
    };

    TResultLamp* Shape;
    QLabel* Test_Lab;
    QPushButton *ExtBtn, *ResultSaveBtn, *StopBtn, *ClearTest;
    QCheckBox* PassCheck;
    QLabel *Label1, *Label2, *Label3, *Label4, *ErrorCmdLab;
    QTreeView* DirBox;
    QListWidget* FileListBox;
    QPlainTextEdit* ResultMemo;
    QTimer* Timer;
    int CurrentFileIndex = 0;

    /// Asked before a run that opens files: true to go on (the open project
    /// saved or given up as the user chose, the project windows closed and
    /// holding still until the run ends).
    std::function<bool()> BeforeRun;
    /// Opens a file as the project; false when it was refused.
    std::function<bool(const std::string& path)> LoadProject;
    /// Called when a run that BeforeRun let go has ended, however it ended
    /// (the last file opened is the project).
    std::function<void()> AfterRun;
    /// Where a double-clicked result line's file is opened for the user.
    std::function<void(const std::string& path)> OpenResultFile;
    /// Asks for the results file's name ("" when cancelled).
    std::function<std::string()> AskResultFileName;

    /// The folder whose program files are listed.
    void SetFolder(const QString& folder);
    QString Folder() const { return folder_; }
    bool Running() const;

    void ExtBtnClick();
    void StopBtnClick();
    void TimerTimer();
    /// Ends a run going on at once, without the closing box (the frame is
    /// being left); the file in progress is always done, as a step runs whole.
    void EndRunQuietly();
    void ResultSaveBtnClick();
    void ClearTestClick();
    void DirBoxChange();

private:
    QFileSystemModel* dirModel_;
    QString folder_;
    bool running_ = false;
    bool projectTaken_ = false;  // BeforeRun let the run replace the project
    std::vector<TNote> openedNotes_;  // what the opening of the project now open said
    void EndRun(bool announce);
};

extern TFileCompileTest* _FileCompileTest;
