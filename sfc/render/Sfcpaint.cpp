#include "sfc/render/Sfcpaint.h"

#include <algorithm>

#include <QPainter>
#include <QPolygon>

#include "sfc/model/Sfcchart.h"
#include "sfc/model/Sfcmonitor.h"

namespace {

// `u` is one screen pixel in the painter's pixels: 1 on the screen, more on
// a page, so that a printed chart keeps the screen's proportions.
void DrawDouble(QPainter& p, int x0, int x1, int cy, int u) {
    p.drawLine(x0, cy - 2 * u, x1, cy - 2 * u);
    p.drawLine(x0, cy + 2 * u, x1, cy + 2 * u);
}

void DrawLineShape(QPainter& p, std::uint8_t shape, const QRect& r, int u) {
    const int x = r.left(), y = r.top(), w = r.width(), h = r.height();
    const int cx = x + w / 2, cy = y + h / 2, right = x + w, bottom = y + h;
    switch (shape) {
        case kShapeParDivRight: DrawDouble(p, x, right, cy, u); p.drawLine(cx, cy + 2 * u, cx, bottom); break;
        case kShapeParCont: DrawDouble(p, x, right, cy, u); break;
        case kShapeParConvRight: p.drawLine(cx, y, cx, cy - 2 * u); DrawDouble(p, x, right, cy, u); break;
        case kShapeParLeft:
            p.drawLine(cx, y, cx, cy - 2 * u);
            DrawDouble(p, x + w / 4, right, cy, u);
            p.drawLine(cx, cy + 2 * u, cx, bottom);
            break;
        case kShapeSelDivRight: p.drawLine(x, cy, right, cy); p.drawLine(cx, cy, cx, bottom); break;
        case kShapeSelCont: p.drawLine(x, cy, right, cy); break;
        case kShapeSelConvRight: p.drawLine(cx, y, cx, cy); p.drawLine(x, cy, right, cy); break;
        case kShapeSelLeft: p.drawLine(cx, y, cx, bottom); p.drawLine(x + w / 4, cy, right, cy); break;
        case kShapeVertical: p.drawLine(cx, y, cx, bottom); break;
        default: break;
    }
}

}  // namespace

std::vector<std::string> SplitCommentLines(const std::string& text, std::size_t bytes, std::size_t lines) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size() && out.size() < lines) {
        std::size_t end = std::min(text.size(), at + bytes);
        // Back off to the start of a UTF-8 character.
        while (end < text.size() && end > at && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
        if (end == at) end = std::min(text.size(), at + bytes);  // one character longer than a line
        out.push_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

void PaintSfcCell(QPainter& p, const TSfcCell& x, const QRect& r, bool noCode, const QColor& fill, int unit) {
    const int u = std::max(1, unit);
    if (x.Empty()) return;
    const int cx = r.left() + r.width() / 2, cy = r.top() + r.height() / 2;
    const int w = r.width(), h = r.height();
    if (noCode) p.fillRect(r, kSfcButtonFace);
    p.setPen(QPen(Qt::black, u));
    p.setBrush(noCode ? kSfcButtonFace : fill);
    const QPoint text(r.left() + 6 * u, r.top() + h / 3 + p.fontMetrics().ascent() / 2);
    const QString number = QString::number(x.Number());
    switch (x.type) {
        case kSfcLad:
            p.drawRect(r.adjusted(2 * u, 2 * u, -2 * u, -2 * u));
            p.drawText(text, QStringLiteral("LAD-") + number);
            break;
        case kSfcInitStep:
        case kSfcStep:
            p.drawRect(r.adjusted(2 * u, 2 * u, -2 * u, -2 * u));
            if (x.type == kSfcInitStep) p.drawRect(r.adjusted(4 * u, 4 * u, -4 * u, -4 * u));
            p.drawText(text, QStringLiteral("S") + number);
            break;
        case kSfcJump:
            p.drawLine(cx, r.top(), cx, r.top() + 10 * u);
            p.drawLine(cx, r.top() + 10 * u, cx - 5 * u, r.top() + 5 * u);
            p.drawLine(cx, r.top() + 10 * u, cx + 5 * u, r.top() + 5 * u);
            p.drawText(text, QStringLiteral("S") + number);
            break;
        case kSfcTransition:
            p.drawLine(cx, r.top(), cx, r.bottom() + 1);
            p.setPen(QPen(Qt::black, 3 * u));
            p.drawLine(r.left() + 2 * w / 5, cy, r.left() + 3 * w / 5, cy);
            p.setPen(QPen(Qt::black, u));
            break;
        case kSfcLine:
            DrawLineShape(p, x.Shape(), r, u);
            break;
        case kSfcJumpSet:
        case kSfcResetMark: {
            const QPolygon tri({QPoint(r.left() + 2 * w / 5, r.top()), QPoint(r.left() + 3 * w / 5, r.top()),
                                QPoint(cx, r.top() + h / 3)});
            if (x.type == kSfcJumpSet) {
                p.setBrush(Qt::black);
                p.drawPolygon(tri);
            } else {
                p.drawPolyline(tri);
            }
            p.drawText(text, QStringLiteral("S") + number);
            break;
        }
        case kSfcStepMark:
            p.drawEllipse(r.adjusted(u, u, -u, -u));
            p.drawText(text, QStringLiteral("S") + number);
            break;
        default:
            break;
    }
}

void PaintSfcView(QPainter& p, const TSfcPaintView& v) {
    p.fillRect(QRect(QPoint(0, 0), v.size), Qt::white);
    if (!v.grid || v.cellWidth <= 0 || v.cellHeight <= 0) return;
    p.setFont(v.font);
    const int stride = v.commentMode ? 2 * v.cellWidth : v.cellWidth;
    // Background grid, dotted.
    p.setPen(QPen(kSfcGridColour, 1, Qt::DotLine));
    for (int x = -(v.horzPos % stride); x < v.size.width(); x += stride) p.drawLine(x, 0, x, v.size.height());
    for (int y = -(v.vertPos % v.cellHeight); y < v.size.height(); y += v.cellHeight) p.drawLine(0, y, v.size.width(), y);
    const std::int32_t first = v.vertPos / v.cellHeight;
    const std::int32_t end = std::min(v.rows, (v.size.height() + v.vertPos) / v.cellHeight + 1);
    int stepIndex = 0;  // step-like cells drawn so far: the reply bit of the next one
    for (std::int32_t row = first; row < end; ++row) {
        const std::uint8_t* rp = v.grid + static_cast<std::size_t>(row) * kSfcRowBytes;
        for (std::int32_t col = 0; col < kSfcColumns; ++col) {
            const std::uint8_t* c = rp + col * kSfcCellBytes;
            const TSfcCell x{c[0], c[1], c[2], c[3]};
            const int left = col * stride - v.horzPos, top = row * v.cellHeight - v.vertPos;
            QColor fill = Qt::white;
            if (v.monitorBits && IsSfcStepLike(x.type)) {
                const int k = stepIndex++;
                if (k < kSfcMonitorMaxSteps && ((v.monitorBits[k / 8] >> (k % 8)) & 1)) fill = kSfcActiveColour;
            }
            const bool noCode = !v.monitorBits && (x.type == kSfcLad || x.type == kSfcInitStep || x.type == kSfcStep ||
                                 x.type == kSfcTransition) &&
                                v.hasCode && !v.hasCode(row, col);
            // Lines span the whole doubled cell; elements stand in its left half.
            const QRect r(left, top, x.type == kSfcLine ? stride : v.cellWidth, v.cellHeight);
            PaintSfcCell(p, x, r, noCode, fill);
            if (v.commentMode && IsSfcStepLike(x.type) && v.stepComment) {
                const std::vector<std::string> lines = SplitCommentLines(v.stepComment(x.Number()));
                const int f = p.fontMetrics().height();
                p.setPen(Qt::black);
                for (std::size_t i = 0; i < lines.size(); ++i)
                    p.drawText(left + v.cellWidth, top + static_cast<int>(i) * f + p.fontMetrics().ascent(),
                               QString::fromStdString(lines[i]));
            }
        }
    }
    if (v.cursorRow >= first && v.cursorRow < end && v.cursorCol >= 0) {
        p.setPen(QPen(kSfcCursorColour, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(v.cursorCol * stride - v.horzPos + 1, v.cursorRow * v.cellHeight - v.vertPos + 1, stride - 2,
                   v.cellHeight - 2);
    }
}

void PaintSfcPage(QPainter& p, const std::uint8_t* grid, std::int32_t rows, const TSfcPageOptions& o) {
    if (!grid || o.cellWidth <= 0 || o.cellHeight <= 0) return;
    p.save();
    p.setFont(o.font);
    const int stride = o.deviceComments ? 2 * o.cellWidth : o.cellWidth;
    const int firstCol = o.deviceComments && o.part == 2 ? kSfcColumns / 2 : 0;
    const int endCol = o.deviceComments && o.part == 1 ? kSfcColumns / 2 : kSfcColumns;
    const std::int32_t end = std::min<std::int64_t>(rows, std::int64_t{o.firstRow} + o.rowCount);
    for (std::int32_t row = std::max(0, o.firstRow); row < end; ++row) {
        const std::uint8_t* rp = grid + static_cast<std::size_t>(row) * kSfcRowBytes;
        const int top = o.origin.y() + (row - o.firstRow) * o.cellHeight;
        for (int col = firstCol; col < endCol; ++col) {
            const std::uint8_t* c = rp + col * kSfcCellBytes;
            const TSfcCell x{c[0], c[1], c[2], c[3]};
            const int left = o.origin.x() + (col - firstCol) * stride;
            // Lines run through the comment column too; elements stand in the first cell.
            const QRect r(left, top, x.type == kSfcLine ? stride : o.cellWidth, o.cellHeight);
            PaintSfcCell(p, x, r, false, Qt::white, o.unit);
            if (o.deviceComments && IsSfcStepLike(x.type) && o.stepComment) {
                const std::vector<std::string> lines = SplitCommentLines(o.stepComment(x.Number()));
                const int f = p.fontMetrics().height();
                p.setPen(Qt::black);
                for (std::size_t i = 0; i < lines.size(); ++i)
                    p.drawText(left + o.cellWidth + o.cellWidth / 12,
                               top + static_cast<int>(i) * f + p.fontMetrics().ascent(),
                               QString::fromStdString(lines[i]));
            }
        }
    }
    p.restore();
}
