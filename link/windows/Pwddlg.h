#pragma once
// The PLC password dialog "密码检查": asks the PLC whether it is locked when
// it is shown, then takes the password to unlock it, or a new one (typed
// twice) to set, change or (four spaces) clear it. The typed text is emptied
// from the edits after every OK and when the dialog closes.
#include <QDialog>

#include <memory>

#include "link/jobs/Plcpassword.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace qel::link {
class TTransData;
}

class TPwdDlg : public QDialog, private qel::link::TPasswordHost {
    Q_OBJECT
public:
    explicit TPwdDlg(qel::link::TTransData& link, QWidget* parent = nullptr);
    ~TPwdDlg() override;

    QLabel* Label1 = nullptr;
    QLineEdit* Password = nullptr;
    QLabel* Confirm_Lab = nullptr;
    QLineEdit* Confirm_Txt = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QStatusBar* StatusBar = nullptr;
    QGroupBox* PwdGrp = nullptr;  // password kind; not shown (only the PLC's)

    qel::link::TPlcPassword& Job() { return *job_; }

    /// The frame's command: shows the dialog and asks the PLC.
    void ShowAndQuery();
    /// Empties both edits; the confirmation shows only when a new password is typed.
    void PrepareShow() override;
    void OKBtnClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void StatusText(int msgId) override;
    bool Ask(int msgId) override;
    void Finished() override;
    void ClearEdits();

    std::unique_ptr<qel::link::TPlcPassword> job_;
};

/// The dialog of the run (created by the frame's on-line set-up).
extern TPwdDlg* _PwdDlg;
