#pragma once
// The device-comment window: the comments of one device letter at a time,
// or of every commented device, edited in a grid and written back at once.
#include <string>
#include <utility>
#include <vector>

#include <QWidget>

#include "tools/render/Commentpainter.h"
#include "project/Viewcodes.h"

class QMenu;
class QAction;
class QStatusBar;
class QTabBar;
class QTabWidget;
class QTableWidget;
class QPainter;
class TEditorLink;

class TDevCom : public QWidget {
    Q_OBJECT
public:
    /// The view code of the device-comment window.
    static constexpr int kView = kViewDevComment;

    explicit TDevCom(QWidget* parent = nullptr);
    ~TDevCom() override;

    TEditorLink* Link;
    QTabWidget* DevCmtPgCtrl;
    QWidget *TabSheet1, *TabSheet2;
    QTabBar* DevPg;
    QTableWidget *CommentGrid, *CommentUsedGrid;
    QStatusBar* StatusBar1;
    QMenu* CommentPop;
    QAction *PopSelAll, *PopDel, *PopCut, *PopCopy, *PopPaste;

    void ShowDeviceType();
    void FillCommentGrid();
    void FillUsedCommentGrid();
    /// Shows letter index 0..8 of "XYMSTCDPI" (the tab of that letter).
    void SelectLetter(int list);
    int Letter() const { return gDevComType_; }

    /// Stores what is typed in an open cell, as Enter does; false when the
    /// text is refused (the message shown, the project keeps what it had).
    bool CommitOpenCell();

    void PopCopyClick();
    void PopCutClick();
    void PopPasteClick();
    void PopDelClick();
    void PopSelAllClick();

    /// Rows [first, last] of the grid of the active page, as the print driver
    /// and the preview draw them.
    void PrintComments(QPainter& painter, int first, int last, const TCommentPageGeometry& geometry) const;
    /// Rows of the grid of the active page (without the header).
    int PrintRowCount() const;
    /// The column headers and the (name, comment) rows of the active page, for the page source.
    std::pair<std::string, std::string> PrintHeaders() const;
    std::vector<std::pair<std::string, std::string>> PrintRows() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableWidget* ActiveGrid() const;
    std::vector<int> SelectedRows(QTableWidget* grid) const;
    /// Stores a comment typed or pasted; false (message shown) when refused.
    bool StoreComment(const std::string& name, const std::string& text);
    /// SetDeviceComment without this window's own refill from the listener.
    void Store(const std::string& name, const std::string& text);
    void OnCellChanged(QTableWidget* grid, int row, int column);
    void ClearSelectedComments(QTableWidget* grid);
    bool ClipboardHasText() const;
    void RefreshCommands();

    int gDevComType_ = 0;
    bool filling_ = false;
    bool storing_ = false;
    bool refused_ = false;
    int commentListener_ = 0;
};

extern TDevCom* _DevCom;
