#pragma once
// The quick device-comment dialog: the devices of one element listed, the
// comment of the chosen one edited and stored with every key.
#include <string>
#include <vector>

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;

class TCommentDlg : public QDialog {
    Q_OBJECT
public:
    explicit TCommentDlg(QWidget* parent = nullptr);
    ~TCommentDlg() override;

    QListWidget* DeviceListBox;
    QLineEdit* DevCmt_Txt;
    QPushButton* CancelBtn;

    void FormShow();
    void DeviceListBoxClick();
    /// Stores the edit's whole text as the chosen device's comment.
    void DevCmt_TxtEdited(const QString& text);

    /// The device being commented: letter index 0..8 and number; -1 when none.
    int LetterIndex() const { return letter_; }
    int Number() const { return number_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Disable();
    int letter_ = -1;
    int number_ = -1;
    QString accepted_;
};

extern TCommentDlg* _CommentDlg;
/// Devices the caller listed in the dialog.
extern int gCommentDlgCount;

/// The callers' entry point: lists the devices and shows the dialog modally.
/// With no device shows message 40 and returns false.
bool ShowDeviceCommentDialog(const std::vector<std::string>& names);
