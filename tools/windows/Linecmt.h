#pragma once
// The rung-comment window: one free-text comment per ladder row, kept in the
// project and drawn by the ladder beside its row.
#include <QDialog>

class QAction;
class QMenu;
class QTableWidget;

class TOutCmt : public QDialog {
    Q_OBJECT
public:
    explicit TOutCmt(QWidget* parent = nullptr);
    ~TOutCmt() override;

    QTableWidget* LineCmt;
    QMenu* PopupMenu;
    QAction *PopSelAll, *PopDel, *PopCut, *PopCopy, *PopPaste;

    /// Rows from the program's ladder (labels, count); the comments stay.
    void FillFromLadder();
    /// Rows from the ladder with every comment emptied (New, Open, a read program).
    void ResetGrid();
    /// Shows the window modally with ladder row `row` selected.
    void ShowForRow(int row);

    void PopCopyClick();
    void PopCutClick();
    void PopPasteClick();
    void PopDelClick();
    void PopSelAllClick();

signals:
    /// A comment changed (the ladder repaints, the project is modified).
    void commentsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<int> SelectedRows() const;
    void SetComment(int row, const std::string& text);
    void RefreshPopup();
    bool filling_ = false;
};

extern TOutCmt* _OutCmt;
