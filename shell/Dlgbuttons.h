#pragma once
// The OK / Cancel button row at the foot of the shell's small dialogs.
class QDialog;
class QPushButton;
class QVBoxLayout;

struct TDlgButtons {
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;  ///< null for a dialog that only confirms
};

/// Adds the row to `layout`: "确定" named OkBtn and, with `withCancel`, "取消"
/// named CancelBtn, which rejects the dialog. What OK does is the caller's.
TDlgButtons AddDlgButtons(QDialog* dialog, QVBoxLayout* layout, bool withCancel = true);
