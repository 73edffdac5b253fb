#include "instlist/render/Instpaint.h"

#include <algorithm>

#include <QPainter>
#include <QString>

#include "instlist/Instedit.h"

int PaintInstScreen(QPainter& p, const TInstEdit& list, const TInstScreenOptions& o) {
    const int lineHeight = std::max(1, o.lineHeight);
    const int top = std::max(0, o.scrollY) / lineHeight;
    const int width = o.size.width();
    const int end = std::min(list.LineCount(), top + o.size.height() / lineHeight + 2);
    for (int line = top; line < end; ++line) {
        const int y = line * lineHeight - o.scrollY;
        const QRect row(0, y, width, lineHeight);
        if (line >= o.selFirst && line <= o.selLast) p.fillRect(row, o.selection);
        p.setPen(o.text);
        p.drawText(QRect(0, y, o.stepColumnWidth - 8, lineHeight), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(list.LineStep(line)));
        p.drawText(QRect(o.stepColumnWidth, y, width - o.stepColumnWidth, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(list.LineText(line)));
        if (line == o.cursorLine) {
            p.setPen(o.cursor);
            p.drawRect(row.adjusted(0, 0, -1, -1));
        }
    }
    return top;
}

int PaintInstPage(QPainter& p, const TInstEdit& list, int pageIndex, QSize pageSize) {
    if (pageIndex < 0 || pageSize.isEmpty()) return 0;
    const int first = pageIndex * kInstLinesPerPage;
    const int count = std::min(kInstLinesPerPage, list.LastLine() - first);
    if (count <= 0) return 0;
    const int pw = pageSize.width(), ph = pageSize.height();
    const int cellW = std::max(1, pw / 17);
    const int top = 2 * (ph / 54);
    const int pitch = std::max(1, (ph - top) / kInstLinesPerPage);
    for (int i = 0; i < count; ++i) {
        const int line = first + i;
        const int y = top + i * pitch;
        p.drawText(QRect(0, y, 2 * cellW, pitch), Qt::AlignRight | Qt::AlignVCenter, QString::number(list.LineStep(line)));
        p.drawText(QRect(3 * cellW, y, 13 * cellW, pitch), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(list.LineText(line)));
    }
    return count;
}
