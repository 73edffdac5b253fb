#pragma once
// The double-coil check dialog: the kinds to check, and the list of every
// device driven from more than one place. A double click on a line shows its
// step in the editor.
#include <functional>

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

class TDLChkFrm : public QDialog {
    Q_OBJECT
public:
    explicit TDLChkFrm(QWidget* parent = nullptr);
    ~TDLChkFrm() override;

    QCheckBox *Chk1, *Chk2, *Chk3, *Chk4, *Chk5, *Chk6;
    QPushButton *Chkstart, *Chkcancel;
    QPlainTextEdit* Chkout;

    /// Where a double-clicked line's step is shown (the frame's go-to-step).
    std::function<bool(long step)> JumpToStep;
    /// The frame's CommitEdits: OK checks the program the editors show; false
    /// (the editor said why) checks nothing.
    std::function<bool()> TakeInEditors;

    void ChkstartClick();
    void ChkcancelClick();
    /// Shows the step of line `line` of the result; false when it names none.
    bool JumpToLine(int line);
    /// Another project took the place of the one checked: its report goes
    /// (its steps are the old program's); the kinds chosen stay.
    void ProjectReplaced();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TDLChkFrm* _DLChkFrm;
