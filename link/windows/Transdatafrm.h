#pragma once
// The PLC link window "通讯": the direction of a program transfer (read from
// the PLC, write to it, or serve a hand-held programmer) and its range. The
// frame opens the port and shows it for the transfer command; OK starts the
// job and closes the window. With "PC <==> HPP" the window stays open, with
// only Cancel, while the PC answers the programmer.
//
// InstallProgramTransfer puts the window and the program jobs into a frame
// and wires the frame's transfer and verify commands.
#include <QDialog>

#include <functional>
#include <memory>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TQelMain;

namespace qel::link {
class TProgramTransfer;
class THandheldLink;
}  // namespace qel::link

class TTransDataForm : public QDialog {
    Q_OBJECT
public:
    TTransDataForm(qel::link::TProgramTransfer& transfer, qel::link::THandheldLink& handheld,
                   QWidget* parent = nullptr);
    ~TTransDataForm() override;

    // Directions of WorkType.
    enum { kRead = 0, kWrite = 1, kHandheld = 2 };

    QLabel* Transfer_Lab;
    QComboBox* WorkType;
    QGroupBox* TransGroup;  ///< "全部传送" (0) or "部分传送" (1)
    QRadioButton* TransAll;
    QRadioButton* TransPartial;
    QGroupBox* GroupBox1;
    QLabel* StartStep_Lab;
    QLineEdit* StartStep_Txt;
    QLabel* EndStep_Lab;
    QLineEdit* EndStep_Txt;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;

    /// Asked before a read or the hand-held link may replace the project:
    /// every window keeping values of its own, then the program's changes
    /// (the frame's MayReplaceProject); false keeps everything.
    std::function<bool()> MayReplaceProject;
    /// Puts the editors' pending edits into the program before the PLC or
    /// the hand-held programmer gets it (the frame's CommitEdits); false:
    /// nothing starts.
    std::function<bool()> CommitEdits;

    /// 0 "全部传送", 1 "部分传送".
    int TransGroupIndex() const;

    void FormShow();
    void WorkTypeClick();
    void TransGroupClick();
    void OkBtnClick();
    void CancelBtnClick();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;  // Esc and the window's close box cancel

private:
    qel::link::TProgramTransfer& transfer_;
    qel::link::THandheldLink& handheld_;
    QButtonGroup* transButtons_;
};

/// The link window of the run (null before InstallProgramTransfer).
extern TTransDataForm* _TransDataForm;

/// Creates the program jobs, the hand-held programmer link and the link
/// window over the frame's link, and registers the frame's transfer command
/// ("MmTrans", also the BnTrans button) and verify command ("MmCodeVerify").
void InstallProgramTransfer(TQelMain* frame);
