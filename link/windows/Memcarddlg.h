#pragma once
// The memory card dialog "记忆卡设定": the program written to or read from the
// card (with the card's password), and the PLC's own copies between PLC and
// card. The card status shows in its status bar; it is asked for each time
// the dialog opens and each time the function is changed.
#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace qel::link {
class TMemCard;
}

class TMemCardDlg : public QDialog {
    Q_OBJECT
public:
    enum Mode { kCodeRw = 0, kPlcCard = 1, kCmtRw = 2, kUserFun = 3 };
    TMemCardDlg(qel::link::TMemCard& card, QWidget* parent = nullptr);
    ~TMemCardDlg() override;

    QGroupBox* MemCard_Code_Rw_Grp = nullptr;
    QRadioButton* WriteRdo = nullptr;  // "PLC程序写入"
    QRadioButton* ReadRdo = nullptr;   // "PLC程序读出"
    QLabel* Confirm_Lab = nullptr;
    QLineEdit* Pwd_Txt = nullptr;
    QLineEdit* Confirm_Txt = nullptr;
    QPushButton* OkBtn = nullptr;
    QGroupBox* PLC_MemCard_Rw_Grp = nullptr;
    QRadioButton* PlcToCardRdo = nullptr;
    QRadioButton* CardToPlcRdo = nullptr;
    QPushButton* InterOK_Btn = nullptr;
    QGroupBox* MemCard_Cmt_Rw_Grp = nullptr;
    QRadioButton* CmtWriteRdo = nullptr;  // "PLC批注写入"
    QRadioButton* CmtReadRdo = nullptr;   // "PLC批注读出"
    QGroupBox* DevGpBox = nullptr;
    QCheckBox* DevChk[9] = {};            // X Y M S T C D P I
    QPushButton* CmtOk_Btn = nullptr;
    QGroupBox* Card_UserFun_Grp = nullptr;
    QRadioButton* UserFun1Rdo = nullptr;  // "使用者指令-1"
    QRadioButton* UserFun2Rdo = nullptr;  // "使用者指令-2"
    QPushButton* CmdSet_Btn = nullptr;
    QPushButton* UserFunOk_Btn = nullptr;
    std::string UserFile;                 // the chosen user-instruction file
    QStatusBar* CardMemStaBar = nullptr;

    /// Asks whether a changed project may be replaced (the frame saves it); false stops.
    std::function<bool()> MayReplaceProject;
    /// Puts the editors' pending edits into the program before it is written
    /// to the card; false: nothing is written.
    std::function<bool()> CommitEdits;
    /// Puts a device comment typed and not yet entered into the project before
    /// the comments are read from the card (and before its save question);
    /// only the comment editors: the read replaces nothing else. False: nothing is read.
    std::function<bool()> TakeInComments;
    /// Asks whether to save a changed project before the comments read from
    /// the card replace those of the same devices (the frame's
    /// AskSaveModified); false (Cancel, a failed save) reads nothing.
    std::function<bool()> AskSaveModified;

    /// Shows the dialog in one of its modes and asks the card's status.
    void ShowMode(Mode mode);
    void FunSetGrpClick();
    bool OkBtnClick();
    bool InterOK_BtnClick();
    bool CmtOk_BtnClick();
    void CmdSet_BtnClick();
    bool UserFunOk_BtnClick();
    /// The card's protection as last known into the status bar (nothing when not known).
    void ShowStatus();

protected:
    // Closed or hidden, the dialog keeps no password typed into it.
    void hideEvent(QHideEvent* event) override;

private:
    qel::link::TMemCard& card_;
};

extern TMemCardDlg* _MemCardDlg;
