#pragma once
// The find and replace dialog: find a device, replace runs of devices, find
// an instruction, in the instruction list or the ladder of the active view.
// The walks are the search engine's; the dialog reads its controls, finds the
// active editor's data and brackets a replacement as one undo step.
#include <functional>
#include <string>

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TEditorLink;

/// A two-way radio group ("起点", "方向").
struct TRadioPair {
    QRadioButton* first = nullptr;
    QRadioButton* second = nullptr;
    int ItemIndex() const;
    void SetItemIndex(int index);
};

class TSearchDlg : public QDialog {
    Q_OBJECT
public:
    explicit TSearchDlg(QWidget* parent = nullptr);
    ~TSearchDlg() override;

    QTabWidget* SearchPage;
    // find
    QLineEdit* SearchDevName;
    QComboBox* FindType;
    QLabel* FindTypeLab;
    TRadioPair SearchStp, SearchUD;
    QPushButton *Find, *Button1;
    // replace
    QLineEdit *SearchDev, *RepDev, *DevNumber;
    QComboBox *SearchType, *RepType;
    QLabel *SearchTypeLab, *RepTypeLab;
    TRadioPair SearchStart, SearchDirect;
    QPushButton *Rep, *RCancel;
    // find instruction
    QComboBox* Target;
    TRadioPair Startpt, Direct;
    QPushButton *FindCmd, *Exit;

    /// The editor of the active view (the frame's); null: the buttons do nothing.
    std::function<TEditorLink*()> ActiveLink;
    /// The frame's CommitEdits: the buttons search the program as the editors
    /// hold it (the editor searched may have caught up with the others);
    /// false (the editor said why) searches nothing.
    std::function<bool()> TakeInEditors;

    void FindClick();
    void RepClick();
    void FindCmdClick();
    void SearchPageChange(int page);
    /// Shows the dialog for the active view (type lists only for ladders).
    void ShowFor(int view);

private:
    bool LadderView() const;
    /// The type chosen in a type list, "None" while the list is not shown.
    std::string ShownType(const QComboBox* list) const;
    bool TakeIn() { return !TakeInEditors || TakeInEditors(); }
    /// The editors' edits taken in, the active editor that can be searched;
    /// null when an edit could not go in or none can.
    TEditorLink* LinkAfterTakeIn();
};

extern TSearchDlg* SearchDlg;
