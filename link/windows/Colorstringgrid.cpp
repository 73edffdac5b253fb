#include "link/windows/Colorstringgrid.h"

#include <QHeaderView>
#include <QPainter>

TColorStringGrid::TColorStringGrid(QWidget* parent) : QTableWidget(parent) {}

void TColorStringGrid::DrawCellCircle(int col, int row, const QColor& colour) {
    auto it = marks_.find({row, col});
    if (it != marks_.end() && it->second.circle && it->second.colour == colour) return;
    marks_[{row, col}] = Mark{true, colour};
    UpdateCell(col, row);
}

void TColorStringGrid::DrawCellColor(int col, int row, const QColor& colour) {
    marks_[{row, col}] = Mark{false, colour};
    UpdateCell(col, row);
}

void TColorStringGrid::ClearCellMark(int col, int row) {
    if (marks_.erase({row, col})) UpdateCell(col, row);
}

void TColorStringGrid::UpdateCell(int col, int row) {
    const QRect r = visualRect(model()->index(row, col));
    if (r.isValid()) viewport()->update(r);
}

QRect TColorStringGrid::CircleRect(int col, int row) const {
    if (row < 0 || col < 0 || row >= rowCount() || col >= columnCount()) return {};
    const QRect cell = visualRect(model()->index(row, col));
    if (!cell.isValid() || !cell.intersects(viewport()->rect())) return {};
    const int h = verticalHeader()->defaultSectionSize();
    const int w = cell.width();
    const int half = (h - 4) / 2;
    const int left = cell.left() + w / 2 - half;
    const int top = cell.top() + 2;
    return QRect(left, top, 2 * half, h - 4);
}

void TColorStringGrid::paintEvent(QPaintEvent* event) {
    QTableWidget::paintEvent(event);
    if (marks_.empty()) return;
    QPainter p(viewport());
    for (const auto& [at, mark] : marks_) {
        const auto [row, col] = at;
        if (row >= rowCount() || col >= columnCount()) continue;
        if (mark.circle) {
            const QRect r = CircleRect(col, row);
            if (r.isEmpty()) continue;
            p.setPen(Qt::black);
            p.setBrush(mark.colour);
            p.drawEllipse(r);
        } else {
            const QRect r = visualRect(model()->index(row, col));
            if (r.isValid()) p.fillRect(r, mark.colour);
        }
    }
}
