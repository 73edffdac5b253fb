#pragma once
// The one-line input dialog: a label, an input line, OK and Cancel. What OK
// does depends on the view code the caller set in gActiveView before showing
// it: an instruction typed into an instruction list (1, 18), a go-to-step in an
// instruction list (9, 19), or the text of a ladder or chart entry (2, 3, 8, 16,
// 17), which those windows register as view handlers. When it closes, the view
// code goes back to the window the entry was made for.
#include <cstdint>
#include <functional>
#include <string>

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

/// Message ids of the input dialog and the instruction list.
enum TInstMsg : int {
    kMsgInvalidInput = 0,     ///< invalid input (go-to-step text that is no number)
    kMsgNoRoomInst = 20,      ///< the program capacity is full
    kMsgLabelUsed = 24,       ///< the P or I label is already used in the program
    kMsgStoreInnerCode = 27,  ///< question: store the inner code in the chart element?
    kMsgInsertMode = 28,      ///< status panel 1: insert
    kMsgOverwriteMode = 29,   ///< status panel 1: overwrite
    kMsgRowLabel = 14,        ///< "Row" (status panel 2)
    kMsgBadStep = 45,         ///< invalid step number
    kMsgBadInstLine = 150,    ///< the typed line is no valid instruction (the line follows)
    kMsgTextTooLong = 151,    ///< the typed text does not fit the input line
    kMsgBadInstClip = 152,    ///< the clipboard does not hold whole instructions
    kMsgNoPair = 281,         ///< an operand of the model reaching a register or bit it lacks (the operand follows)
};

/// The step a jump typed into the dialog names in a program of `usedBytes`
/// bytes (ReadJumpStep); -1 after showing why it names none: message 0 for a
/// text that is no number, message 45 with the text for a number that is no
/// step of the program.
long TakeJumpStep(const std::string& text, std::uint32_t usedBytes);

class TEditDlg : public QDialog {
    Q_OBJECT
public:
    /// Takes the trimmed text of an accepted entry (also in gInputText); true
    /// when the entry is done, false to keep the dialog open (the handler has
    /// shown why).
    using ViewHandler = std::function<bool(const std::string& text)>;

    explicit TEditDlg(QWidget* parent = nullptr);
    ~TEditDlg() override;

    QLabel* ILabel = nullptr;
    QLineEdit* IEdit = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    /// Shows the dialog, modal to the rest of the program, without blocking the
    /// caller; keys typed into other windows meanwhile go to its input line. OK runs
    /// the entry for gActiveView. The caller sets ILabel, IEdit and the view first.
    void ShowModal();
    /// The same for an entry mode shared by two windows (the ladders' go to
    /// step): the view code goes back to `returnView` when the dialog closes.
    void ShowModal(int returnView);
    /// The same, blocking until the dialog closes; returns QDialog's result.
    int Execute();

    void OKBtnClick();
    void CancelBtnClick();

    /// Registers what OK does for a view code the instruction list does not
    /// handle itself (2, 3, 8, 16, 17); an empty handler removes it. Without a
    /// handler OK only closes the dialog.
    static void SetViewHandler(int view, ViewHandler handler);
    /// The view code of the window an entry mode belongs to (9 -> 1, 19 -> 18,
    /// 3 and 8 -> 2); other codes are their own.
    static int ReturnViewOf(int view);

private:
    class TInputGuard;
    void RestoreView();
    void FocusInput();
    int entryView_ = 0;
    int returnView_ = 0;
    TInputGuard* guard_ = nullptr;
};

/// The dialog of the run (created with the other start-up windows).
extern TEditDlg* _EditDlg;
