#include "tools/windows/Linecmt.h"

#include <algorithm>
#include <set>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ladder/model/Lad.h"
#include "ladder/model/LadderGrid.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "tools/check/Comments.h"

TOutCmt* _OutCmt = nullptr;

TOutCmt::~TOutCmt() {
    if (_OutCmt == this) _OutCmt = nullptr;
}

TOutCmt::TOutCmt(QWidget* parent) : QDialog(parent) {
    setObjectName("OutCmt");
    setWindowTitle(QStringLiteral("编辑列批注"));
    LineCmt = new QTableWidget(this);
    LineCmt->setObjectName("LineCmt");
    LineCmt->setColumnCount(2);
    LineCmt->setColumnWidth(0, 64);
    LineCmt->setColumnWidth(1, 377);
    LineCmt->horizontalHeader()->setStretchLastSection(true);
    LineCmt->verticalHeader()->hide();
    LineCmt->setSelectionBehavior(QAbstractItemView::SelectRows);
    LineCmt->setSelectionMode(QAbstractItemView::ContiguousSelection);
    LineCmt->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    LineCmt->setContextMenuPolicy(Qt::CustomContextMenu);
    LineCmt->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LineCmt);
    resize(480, 420);

    PopupMenu = new QMenu(this);
    PopSelAll = PopupMenu->addAction(QStringLiteral("全选"), this, &TOutCmt::PopSelAllClick);
    PopDel = PopupMenu->addAction(QStringLiteral("删除"), this, &TOutCmt::PopDelClick);
    PopCut = PopupMenu->addAction(QStringLiteral("剪切"), QKeySequence::Cut, this, &TOutCmt::PopCutClick);
    PopCopy = PopupMenu->addAction(QStringLiteral("复制"), QKeySequence::Copy, this, &TOutCmt::PopCopyClick);
    PopPaste = PopupMenu->addAction(QStringLiteral("粘贴"), QKeySequence::Paste, this, &TOutCmt::PopPasteClick);
    addActions({PopCut, PopCopy, PopPaste});
    connect(LineCmt, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        RefreshPopup();
        PopupMenu->popup(LineCmt->viewport()->mapToGlobal(pos));
    });
    connect(LineCmt, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (filling_ || column != 1 || !LineCmt->item(row, 1)) return;
        const std::string text = LineCmt->item(row, 1)->text().toStdString();
        if (!CommentAcceptable(text, kRungCommentMaxBytes)) {
            ShowMsg(kMsgCommentTooLong, std::to_string(kRungCommentMaxBytes));
            QSignalBlocker block(LineCmt);
            const auto& comments = gQel.RungComments;
            LineCmt->item(row, 1)->setText(static_cast<std::size_t>(row) < comments.size()
                                               ? QString::fromStdString(comments[static_cast<std::size_t>(row)])
                                               : QString());
            return;
        }
        SetComment(row, text);
        emit commentsChanged();
    });
}

void TOutCmt::FillFromLadder() {
    filling_ = true;
    const std::int32_t last = gLadderRows ? FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1) : -1;
    const int rows = std::max(last + 1, 1);
    LineCmt->setRowCount(rows);
    LineCmt->setHorizontalHeaderLabels({QString::fromStdString(gMsgTable.Get(kMsgRowHeader)),
                                        QString::fromStdString(gMsgTable.Get(kMsgCommentHeader))});
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* row = gLadderRows ? gLadderRows + static_cast<std::size_t>(r) * kLdbRowBytes : nullptr;
        auto* label = new QTableWidgetItem(QString::fromStdString(RungRowLabel(row, r)));
        label->setFlags(label->flags() & ~Qt::ItemIsEditable);
        LineCmt->setItem(r, 0, label);
        const auto& comments = gQel.RungComments;
        LineCmt->setItem(r, 1, new QTableWidgetItem(static_cast<std::size_t>(r) < comments.size()
                                                         ? QString::fromStdString(comments[static_cast<std::size_t>(r)])
                                                         : QString()));
    }
    filling_ = false;
}

void TOutCmt::ResetGrid() {
    gQel.RungComments.clear();
    FillFromLadder();
}

void TOutCmt::ShowForRow(int row) {
    FillFromLadder();
    // The comment cell is current, so that the first key typed edits it.
    LineCmt->setCurrentCell(std::clamp(row, 0, LineCmt->rowCount() - 1), 1);
    LineCmt->setFocus();
    exec();
}

void TOutCmt::SetComment(int row, const std::string& text) {
    auto& comments = gQel.RungComments;
    if (row < 0 || row >= kLadderRows) return;
    if (static_cast<std::size_t>(row) >= comments.size()) comments.resize(static_cast<std::size_t>(row) + 1);
    comments[static_cast<std::size_t>(row)] = text;
    gQel.Modified = 1;
}

std::vector<int> TOutCmt::SelectedRows() const {
    std::set<int> rows;
    for (const QTableWidgetSelectionRange& r : LineCmt->selectedRanges())
        for (int row = r.topRow(); row <= r.bottomRow(); ++row) rows.insert(row);
    return {rows.begin(), rows.end()};
}

void TOutCmt::RefreshPopup() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    PopPaste->setEnabled(data && data->hasText());
}

void TOutCmt::PopCopyClick() {
    std::vector<std::string> comments;
    for (int r : SelectedRows()) comments.push_back(LineCmt->item(r, 1)->text().toStdString());
    if (!comments.empty()) QApplication::clipboard()->setText(QString::fromStdString(EncodeCommentLines(comments)));
}

void TOutCmt::PopCutClick() {
    PopCopyClick();
    PopDelClick();
}

void TOutCmt::PopDelClick() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    for (int r : rows) SetComment(r, {});
    FillFromLadder();
    LineCmt->setRangeSelected(QTableWidgetSelectionRange(rows.front(), 0, rows.back(), 1), true);
    emit commentsChanged();
}

void TOutCmt::PopPasteClick() {
    const std::vector<std::string> lines = DecodeCommentLines(QApplication::clipboard()->text().toStdString());
    if (lines.empty()) return;
    const std::vector<int> selected = SelectedRows();
    const int top = selected.empty() ? std::max(LineCmt->currentRow(), 0) : selected.front();
    const int count = std::min(static_cast<int>(lines.size()), LineCmt->rowCount() - top);
    for (int i = 0; i < count; ++i)
        if (!CommentAcceptable(lines[static_cast<std::size_t>(i)], kRungCommentMaxBytes)) {
            ShowMsg(kMsgCommentTooLong, std::to_string(kRungCommentMaxBytes));
            return;
        }
    for (int i = 0; i < count; ++i) SetComment(top + i, lines[static_cast<std::size_t>(i)]);
    FillFromLadder();
    if (count > 0) emit commentsChanged();
    // Lines past the last row have no rung to go with: the user hears how many.
    if (static_cast<int>(lines.size()) > count)
        ShowMsg(kMsgPasteLeftOut, " " + std::to_string(static_cast<int>(lines.size()) - count));
}

void TOutCmt::PopSelAllClick() {
    LineCmt->clearSelection();
    LineCmt->setRangeSelected(QTableWidgetSelectionRange(0, 0, LineCmt->rowCount() - 1, 1), true);
}

bool TOutCmt::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LineCmt && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            PopDelClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
