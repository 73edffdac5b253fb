#pragma once
// The monitor-input dialog "装置监控输入": a device name and a count, from
// which consecutive devices are entered into the device monitor from its
// current row onward.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TDevMoniDlg;

class TMoniInput : public QDialog {
    Q_OBJECT
public:
    explicit TMoniInput(QWidget* parent = nullptr);
    ~TMoniInput() override;

    QLabel* DevName_Lab = nullptr;
    QLineEdit* DevInput = nullptr;
    QLabel* DevNum_Lab = nullptr;
    QLineEdit* DevNumber = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;

    /// Opens the dialog (window-modal, without blocking) for the device
    /// monitor with `name` in DevInput and the count preset to 1; the caret
    /// stands behind the name so typing continues it.
    void OpenFor(TDevMoniDlg* monitor, const QString& name);
    /// The device monitor that receives the rows (null while not shown for one).
    TDevMoniDlg* Monitor() const { return monitor_; }
    void Detach() { monitor_ = nullptr; }

    void BtnOkClick();
    void BtnCancelClick();

private:
    TDevMoniDlg* monitor_ = nullptr;
};

extern TMoniInput* _MoniInput;
