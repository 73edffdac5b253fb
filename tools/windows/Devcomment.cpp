#include "tools/windows/Devcomment.h"

#include <algorithm>
#include <set>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "project/Editorlink.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "tools/check/Comments.h"
#include "shell/Celledit.h"

TDevCom* _DevCom = nullptr;

namespace {

QTableWidget* MakeGrid(QWidget* parent, const char* name, int nameWidth, int commentWidth) {
    auto* grid = new QTableWidget(parent);
    grid->setObjectName(name);
    grid->setColumnCount(2);
    grid->setColumnWidth(0, nameWidth);
    grid->setColumnWidth(1, commentWidth);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    return grid;
}

QTableWidgetItem* NameItem(const std::string& name) {
    auto* item = new QTableWidgetItem(QString::fromStdString(name));
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

}  // namespace

TDevCom::TDevCom(QWidget* parent) : QWidget(parent) {
    setObjectName("DevCom");
    setWindowTitle(QStringLiteral("装置批注窗口"));
    Link = new TEditorLink(kView, this);
    DevCmtPgCtrl = new QTabWidget(this);
    DevCmtPgCtrl->setObjectName("DevCmtPgCtrl");
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    DevCmtPgCtrl->addTab(TabSheet1, QStringLiteral("检视/编辑"));
    DevCmtPgCtrl->addTab(TabSheet2, QStringLiteral("使用批注"));
    DevPg = new QTabBar(TabSheet1);
    DevPg->setObjectName("DevPg");
    for (const char* l : {"X", "Y", "M", "S", "T", "C", "D", "P", "I"}) DevPg->addTab(QString::fromLatin1(l));
    CommentGrid = MakeGrid(TabSheet1, "CommentGrid", 80, 641);
    auto* page1 = new QVBoxLayout(TabSheet1);
    page1->addWidget(DevPg);
    page1->addWidget(CommentGrid, 1);
    CommentUsedGrid = MakeGrid(TabSheet2, "CommentUsedGrid", 80, 930);
    auto* page2 = new QVBoxLayout(TabSheet2);
    page2->addWidget(CommentUsedGrid);
    StatusBar1 = new QStatusBar(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(DevCmtPgCtrl, 1);
    layout->addWidget(StatusBar1);

    CommentPop = new QMenu(this);
    PopSelAll = CommentPop->addAction(QStringLiteral("全选"), this, &TDevCom::PopSelAllClick);
    PopDel = CommentPop->addAction(QStringLiteral("删除"), this, &TDevCom::PopDelClick);
    PopCut = CommentPop->addAction(QStringLiteral("剪切"), this, &TDevCom::PopCutClick);
    PopCopy = CommentPop->addAction(QStringLiteral("复制"), this, &TDevCom::PopCopyClick);
    PopPaste = CommentPop->addAction(QStringLiteral("粘贴"), this, &TDevCom::PopPasteClick);
    for (QTableWidget* grid : {CommentGrid, CommentUsedGrid}) {
        connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& pos) {
            RefreshCommands();
            CommentPop->popup(grid->viewport()->mapToGlobal(pos));
        });
        connect(grid, &QTableWidget::cellChanged, this, [this, grid](int r, int c) { OnCellChanged(grid, r, c); });
        connect(grid, &QTableWidget::itemSelectionChanged, this, &TDevCom::RefreshCommands);
        grid->installEventFilter(this);
    }
    connect(DevPg, &QTabBar::currentChanged, this, &TDevCom::SelectLetter);
    connect(DevCmtPgCtrl, &QTabWidget::currentChanged, this, [this](int page) {
        if (page == 0)
            ShowDeviceType();
        else
            FillUsedCommentGrid();
        RefreshCommands();
    });
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &TDevCom::RefreshCommands);

    auto onLetterPage = [this] { return DevCmtPgCtrl->currentIndex() == 0; };
    auto hasRows = [this] { return !SelectedRows(ActiveGrid()).empty(); };
    Link->Register("MmCopy", [this] { PopCopyClick(); }, [=] { return onLetterPage() && hasRows(); });
    Link->Register("MmCut", [this] { PopCutClick(); }, [=] { return onLetterPage() && hasRows(); });
    Link->Register("MmPaste", [this] { PopPasteClick(); },
                   [this, onLetterPage] { return onLetterPage() && ClipboardHasText(); });
    Link->Register("MmDel", [this] { PopDelClick(); }, hasRows);
    Link->Register("ShowCursorPos", [this] { emit Link->statusText(2, {}); });
    // A comment typed and not yet entered goes in before a save or a new model.
    Link->CommitEdits = [this] { return CommitOpenCell(); };
    _DevCom = this;
    ShowDeviceType();
    FillUsedCommentGrid();
    // Comments stored elsewhere (the quick dialog, a memory card read) show
    // here at once; this window's own stores refill what they need.
    commentListener_ = AddDeviceCommentListener([this] {
        if (storing_) return;
        FillCommentGrid();
        FillUsedCommentGrid();
    });
}

TDevCom::~TDevCom() {
    RemoveDeviceCommentListener(commentListener_);
    if (_DevCom == this) _DevCom = nullptr;
}

void TDevCom::Store(const std::string& name, const std::string& text) {
    storing_ = true;
    SetDeviceComment(name, text);
    storing_ = false;
}

QTableWidget* TDevCom::ActiveGrid() const { return DevCmtPgCtrl->currentIndex() == 0 ? CommentGrid : CommentUsedGrid; }

void TDevCom::ShowDeviceType() { FillCommentGrid(); }

void TDevCom::FillCommentGrid() {
    filling_ = true;
    const std::vector<int> numbers = CommentRowNumbers(gQel.Family, gDevComType_);
    CommentGrid->clearContents();
    CommentGrid->setRowCount(static_cast<int>(numbers.size()));
    CommentGrid->setHorizontalHeaderLabels({QString::fromStdString(gMsgTable.Get(kMsgDeviceHeader)),
                                            QString::fromStdString(gMsgTable.Get(kMsgCommentHeader))});
    for (int r = 0; r < static_cast<int>(numbers.size()); ++r) {
        const std::string name = DeviceNameOf(gDevComType_, numbers[static_cast<std::size_t>(r)]);
        CommentGrid->setItem(r, 0, NameItem(name));
        CommentGrid->setItem(r, 1, new QTableWidgetItem(QString::fromStdString(GetCommentByDeviceName(name))));
    }
    filling_ = false;
}

void TDevCom::FillUsedCommentGrid() {
    filling_ = true;
    CommentUsedGrid->clearContents();
    CommentUsedGrid->setRowCount(0);
    CommentUsedGrid->setHorizontalHeaderLabels({QString::fromStdString(gMsgTable.Get(kMsgDeviceHeader)),
                                                QString::fromStdString(gMsgTable.Get(kMsgCommentHeader))});
    for (int list = 0; list < kCommentListCount; ++list) {
        const auto& comments = gQel.DevComments[static_cast<std::size_t>(list)];
        for (std::size_t n = 0; n < comments.size(); ++n) {
            if (comments[n].empty()) continue;
            const int r = CommentUsedGrid->rowCount();
            CommentUsedGrid->insertRow(r);
            CommentUsedGrid->setItem(r, 0, NameItem(DeviceNameOf(list, static_cast<int>(n))));
            CommentUsedGrid->setItem(r, 1, new QTableWidgetItem(QString::fromStdString(comments[n])));
        }
    }
    // With no comment at all the page shows one empty row under its header.
    if (CommentUsedGrid->rowCount() == 0) {
        CommentUsedGrid->setRowCount(1);
        CommentUsedGrid->setItem(0, 0, NameItem({}));
        CommentUsedGrid->setItem(0, 1, NameItem({}));
    }
    filling_ = false;
}

void TDevCom::SelectLetter(int list) {
    if (list < 0 || list >= kCommentListCount) return;
    gDevComType_ = list;
    if (DevPg->currentIndex() != list) {
        QSignalBlocker block(DevPg);
        DevPg->setCurrentIndex(list);
    }
    ShowDeviceType();
    CommentGrid->selectRow(0);
}

std::vector<int> TDevCom::SelectedRows(QTableWidget* grid) const {
    std::set<int> rows;
    for (const QTableWidgetSelectionRange& r : grid->selectedRanges())
        for (int row = r.topRow(); row <= r.bottomRow(); ++row)
            if (grid->item(row, 0) && !grid->item(row, 0)->text().isEmpty()) rows.insert(row);
    return {rows.begin(), rows.end()};
}

bool TDevCom::StoreComment(const std::string& name, const std::string& text) {
    if (!CommentAcceptable(text, kDeviceCommentMaxBytes)) {
        ShowMsg(kMsgCommentTooLong, std::to_string(kDeviceCommentMaxBytes));
        return false;
    }
    Store(name, text);
    emit Link->modified();
    return true;
}

void TDevCom::OnCellChanged(QTableWidget* grid, int row, int column) {
    if (filling_ || column != 1 || !grid->item(row, 0)) return;
    const std::string name = grid->item(row, 0)->text().toStdString();
    if (name.empty()) return;
    const std::string text = grid->item(row, 1) ? grid->item(row, 1)->text().toStdString() : std::string();
    if (!StoreComment(name, text)) {
        refused_ = true;
        // Refused: the cell shows the stored comment again.
        QSignalBlocker block(grid);
        grid->item(row, 1)->setText(QString::fromStdString(GetCommentByDeviceName(name)));
    }
}

bool TDevCom::CommitOpenCell() {
    refused_ = false;
    ::CommitOpenCell(CommentGrid);
    ::CommitOpenCell(CommentUsedGrid);
    return !refused_;
}

void TDevCom::ClearSelectedComments(QTableWidget* grid) {
    const std::vector<int> rows = SelectedRows(grid);
    if (rows.empty()) return;
    for (int r : rows) Store(grid->item(r, 0)->text().toStdString(), {});
    emit Link->modified();
    FillCommentGrid();
    if (grid == CommentUsedGrid) FillUsedCommentGrid();
}

bool TDevCom::ClipboardHasText() const {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data && data->hasText();
}

void TDevCom::RefreshCommands() {
    const bool page0 = DevCmtPgCtrl->currentIndex() == 0;
    const bool rows = !SelectedRows(ActiveGrid()).empty();
    PopCopy->setEnabled(page0 && rows);
    PopCut->setEnabled(page0 && rows);
    PopPaste->setEnabled(page0 && ClipboardHasText());
    PopDel->setEnabled(rows);
    PopSelAll->setEnabled(true);
    emit Link->commandsChanged();
}

void TDevCom::PopCopyClick() {
    std::vector<std::string> comments;
    for (int r : SelectedRows(CommentGrid))
        comments.push_back(CommentGrid->item(r, 1) ? CommentGrid->item(r, 1)->text().toStdString() : std::string());
    if (comments.empty()) return;
    QApplication::clipboard()->setText(QString::fromStdString(EncodeCommentLines(comments)));
    RefreshCommands();
}

void TDevCom::PopCutClick() {
    PopCopyClick();
    ClearSelectedComments(CommentGrid);
}

void TDevCom::PopPasteClick() {
    if (DevCmtPgCtrl->currentIndex() != 0) return;
    const std::vector<std::string> lines = DecodeCommentLines(QApplication::clipboard()->text().toStdString());
    if (lines.empty()) return;  // no text, or text that holds no comments
    const std::vector<int> selected = SelectedRows(CommentGrid);
    const int top = selected.empty() ? std::max(CommentGrid->currentRow(), 0) : selected.front();
    // Checked whole before anything is stored; lines beyond the last row
    // (the letter's last device) are left out, and the user hears how many.
    const int count = std::min(static_cast<int>(lines.size()), CommentGrid->rowCount() - top);
    for (int i = 0; i < count; ++i)
        if (!CommentAcceptable(lines[static_cast<std::size_t>(i)], kDeviceCommentMaxBytes)) {
            ShowMsg(kMsgCommentTooLong, std::to_string(kDeviceCommentMaxBytes));
            return;
        }
    for (int i = 0; i < count; ++i)
        Store(CommentGrid->item(top + i, 0)->text().toStdString(), lines[static_cast<std::size_t>(i)]);
    if (count > 0) emit Link->modified();
    FillCommentGrid();
    CommentGrid->setRangeSelected(QTableWidgetSelectionRange(top, 0, top + std::max(count, 1) - 1, 1), true);
    if (static_cast<int>(lines.size()) > count)
        ShowMsg(kMsgPasteLeftOut, " " + std::to_string(static_cast<int>(lines.size()) - count));
}

void TDevCom::PopDelClick() { ClearSelectedComments(ActiveGrid()); }

void TDevCom::PopSelAllClick() {
    QTableWidget* grid = ActiveGrid();
    grid->clearSelection();
    grid->setRangeSelected(QTableWidgetSelectionRange(0, 0, grid->rowCount() - 1, 1), true);
}

bool TDevCom::eventFilter(QObject* watched, QEvent* event) {
    auto* grid = qobject_cast<QTableWidget*>(watched);
    if (grid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            // Delete clears the stored comments of the selected rows.
            ClearSelectedComments(grid);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

int TDevCom::PrintRowCount() const { return ActiveGrid()->rowCount(); }

std::pair<std::string, std::string> TDevCom::PrintHeaders() const {
    return {gMsgTable.Get(kMsgDeviceHeader), gMsgTable.Get(kMsgCommentHeader)};
}

std::vector<std::pair<std::string, std::string>> TDevCom::PrintRows() const {
    const QTableWidget* grid = ActiveGrid();
    std::vector<std::pair<std::string, std::string>> rows;
    for (int r = 0; r < grid->rowCount(); ++r)
        rows.emplace_back(grid->item(r, 0) ? grid->item(r, 0)->text().toStdString() : std::string(),
                          grid->item(r, 1) ? grid->item(r, 1)->text().toStdString() : std::string());
    return rows;
}

void TDevCom::PrintComments(QPainter& painter, int first, int last, const TCommentPageGeometry& geometry) const {
    PaintCommentRows(painter, PrintHeaders(), PrintRows(), first, last, geometry);
}
