#include "tools/render/Commentpainter.h"

#include <algorithm>

#include <QPainter>

TCommentPageGeometry CommentPageGeometry(bool printer, int pageWidth, int pageHeight, int fontHeight) {
    TCommentPageGeometry g;
    g.unitY = std::max(fontHeight, 1);
    if (printer) {
        g.rowHeight = std::max(pageHeight / 60, 1);
        g.unitX = std::max(pageWidth / 100, 1);
    } else {
        g.rowHeight = g.unitY;
        g.unitX = 10;
    }
    return g;
}

void PaintCommentRows(QPainter& painter, const std::pair<std::string, std::string>& headers,
                      const std::vector<std::pair<std::string, std::string>>& rows, int first, int last,
                      const TCommentPageGeometry& g) {
    const int ascent = painter.fontMetrics().ascent();
    painter.drawText(g.unitX, 5 * g.unitY + ascent, QString::fromStdString(headers.first));
    painter.drawText(8 * g.unitX, 5 * g.unitY + ascent, QString::fromStdString(headers.second));
    first = std::max(first, 0);
    last = std::min(last, static_cast<int>(rows.size()) - 1);
    for (int r = first; r <= last; ++r) {
        const int y = 7 * g.unitY + (r - first) * g.rowHeight + ascent;
        painter.drawText(g.unitX, y, QString::fromStdString(rows[static_cast<std::size_t>(r)].first));
        painter.drawText(8 * g.unitX, y, QString::fromStdString(rows[static_cast<std::size_t>(r)].second));
    }
}
