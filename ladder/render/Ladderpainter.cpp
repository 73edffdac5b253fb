#include "ladder/render/Ladderpainter.h"

#include <algorithm>

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include "ladder/edit/Laddertexts.h"

namespace {

constexpr std::int32_t kW = kLdbCellBytes;

bool NodeHasUp(TLdbNode n) {
    switch (n) {
        case TLdbNode::vl: case TLdbNode::LvRh: case TLdbNode::Cros: case TLdbNode::LhRv:
        case TLdbNode::LD: case TLdbNode::UvDh: case TLdbNode::RD:
            return true;
        default:
            return false;
    }
}

bool IsMonitoredKind(TLdbKind k) {
    switch (k) {
        case TLdbKind::Open_Ry: case TLdbKind::Close_Ry: case TLdbKind::Out_Ry: case TLdbKind::State_Ry:
        case TLdbKind::Tu_Ry: case TLdbKind::Td_Ry: case TLdbKind::Comp_Ry: case TLdbKind::Spec_Fun:
        case TLdbKind::Re_Line: case TLdbKind::Spec_Token:
            return true;
        default:
            return false;
    }
}

const char* const kCompareText[kCompareCodeCount] = {"=",  "D=",  ">",  "D>",  "<",   "D<",
                                                     "<>", "D<>", "<=", "D<=", ">=", "D>="};

class TPainterRun {
public:
    TPainterRun(QPainter& p, const TLadderPaintView& v, const TLadderPaintOptions& o, TLadderGeometry g)
        : p_(p), v_(v), o_(o), g_(g) {
        font_ = QFont(QStringLiteral("Arial"));
        if (o.fontPixels > 0)
            font_.setPixelSize(o.fontPixels);
        else
            font_.setPointSize(std::max(1, o.fontPoints));
        p_.setFont(font_);
        ascent_ = QFontMetrics(font_).ascent();
        cw_ = g.cw;
        ch_ = g.ch;
        ea_ = g.ElementHeight();
    }

    void Rail(int top, int bottom) {
        p_.setPen(Pen(LadderColors::Line));
        p_.drawLine(g_.RailX(), top, g_.RailX(), bottom);
    }

    void Row(std::int32_t row, int y) {
        const std::uint8_t* rowStart = CellAt(v_.grid, row, 0);
        // While a block is marked the marking stands alone: the cursor's
        // frame (filled white) would hide the marked cell it sits on.
        const bool cursorRow = o_.showCursor && !o_.selected && o_.cursorRow == row;
        const int rail = g_.RailX();
        if (cursorRow && o_.cursorCol < 0) CursorFrame(g_.CellX(kLabelColumn), y, 1);
        if (v_.program && v_.marks) StepNumber(row, rail, y);
        Label(row, rail - cw_ / 2, y + ch_ / 4);
        if (IsBlockCommentRow(rowStart)) {
            if (o_.selected && o_.selected(row, 0)) p_.fillRect(rail, y, kLdbRowCells * cw_, ch_, o_.selectionColor);
            if (cursorRow && o_.cursorCol >= 0) CursorFrame(rail, y, kLdbRowCells);
            QFont big = font_;
            if (font_.pixelSize() > 0)
                big.setPixelSize(font_.pixelSize() + std::max(1, font_.pixelSize() / 4));
            else
                big.setPointSize(font_.pointSize() + 2);
            p_.setFont(big);
            Text(rail + 5, y + ch_ / 4, QString::fromStdString(BlockCommentText(rowStart)), LadderColors::BlockComment);
            p_.setFont(font_);
            return;
        }
        for (std::int32_t c = 0; c < kPastRowEnd; c += kW) {
            const int x = g_.CellX(c);
            if (x > o_.client.width() + cw_ * 5) break;
            const std::uint8_t* cell = rowStart + c;
            if (o_.selected && o_.selected(row, c)) p_.fillRect(x, y, cw_, ch_, o_.selectionColor);
            if (cursorRow && o_.cursorCol == c) {
                const TLdbKind k = CellKind(cell);
                const int span = k == TLdbKind::Spec_Fun ? (kPastRowEnd - c) / kW : LadderCellSpan(v_.grid, row, c);
                CursorFrame(x, y, span);
            }
            Cell(row, c, x, y);
            if (o_.comments) DeviceComment(cell, x, y);
        }
        if (v_.program && (o_.page ? o_.rungComments : o_.comments)) RungComment(row, rail + kLdbRowCells * cw_, y);
    }

private:
    QPen Pen(const QColor& c, int width = 1) const {
        // Pages print only the comments in colour; step numbers stay black.
        const bool black = o_.blackAndWhite || (o_.page && c == LadderColors::Step);
        QPen pen(black ? LadderColors::Line : c);
        pen.setWidth(width * std::max(1, o_.lineWidth));
        return pen;
    }
    int X(int x, int a) const { return x + a * cw_ / 60; }
    int Y(int l, int b) const { return l + b * ea_ / 60; }
    void Line(int x1, int y1, int x2, int y2) { p_.drawLine(x1, y1, x2, y2); }
    // Texts are placed by their top-left corner.
    void Text(int x, int y, const QString& text, const QColor& color) {
        if (text.isEmpty()) return;
        p_.setPen(Pen(color));
        p_.drawText(QPoint(x, y + ascent_), text);
        p_.setPen(Pen(LadderColors::Line));
    }

    void CursorFrame(int x, int y, int span) {
        p_.save();
        p_.setPen(Pen(o_.cursorColor, 2));
        p_.setBrush(LadderColors::Background);
        p_.drawRect(x + 1, y + 1, span * cw_ - 2, ch_ - 2);
        p_.restore();
    }

    void StepNumber(std::int32_t row, int rail, int y) {
        const auto& marks = *v_.marks;
        auto it = std::lower_bound(marks.begin(), marks.end(), row,
                                   [](const TStepMark& m, std::int32_t r) { return m.row < r; });
        if (it != marks.end() && it->row == row)
            Text(rail - cw_ + 1, y + 1, QString::number(it->step), LadderColors::Step);
    }

    void Label(std::int32_t row, int x, int y) {
        const std::string label = RowLabelText(v_.labels, row);
        if (label.empty()) return;
        const int ty = o_.comments ? y - 8 * ea_ / 60 : y + 8 * ch_ / 60;
        Text(x - QFontMetrics(font_).horizontalAdvance(QString::fromStdString(label)) / 2, ty,
             QString::fromStdString(label), LadderColors::Line);
        if (!o_.comments || !v_.deviceComment) return;
        const std::string comment = v_.deviceComment(label[0], std::stoi(label.substr(1)));
        CommentBlock(comment, 8, x - cw_ / 2 + 1, y + ch_ / 4 - 3, LadderColors::DeviceComment);
    }

    void CommentBlock(const std::string& comment, std::size_t width, int x, int y, const QColor& color) {
        const std::vector<std::string> lines = CommentLines(comment, width, 4);
        for (std::size_t k = 0; k < lines.size(); ++k)
            Text(x, k == 0 ? y : y + 3 + static_cast<int>(k) * 14 * ea_ / 60 - 2,
                 QString::fromStdString(lines[k]), color);
    }

    void DeviceComment(const std::uint8_t* cell, int x, int y) {
        if (!v_.deviceComment) return;
        char letter;
        std::int32_t number;
        if (!CellCommentDevice(cell, letter, number)) return;
        CommentBlock(v_.deviceComment(letter, number), 8, x + 1, y + ch_ / 2 - 3, LadderColors::DeviceComment);
    }

    void RungComment(std::int32_t row, int x, int y) {
        if (!v_.rowComments || row < 0 || static_cast<std::size_t>(row) >= v_.rowComments->size()) return;
        const std::vector<std::string> lines = CommentLines((*v_.rowComments)[static_cast<std::size_t>(row)], 18, 4);
        for (std::size_t k = 0; k < lines.size(); ++k)
            Text(x + 5, y + static_cast<int>(k) * (ch_ / 4), QString::fromStdString(lines[k]), LadderColors::RungComment);
    }

    void Cell(std::int32_t row, std::int32_t c, int x, int y) {
        const std::uint8_t* cell = CellAt(v_.grid, row, c);
        const TLdbKind kind = CellKind(cell);
        const int L = g_.LineY(y);
        TLadderCellState st;
        if (o_.state && IsMonitoredKind(kind)) st = o_.state(row, c);
        QColor fill = LadderColors::Background;
        if (st.known && st.on) fill = LadderColors::On;
        if (st.known && kind != TLdbKind::Spec_Fun && !IsTokenKind(kind))
            p_.fillRect(x + 1, y + 1, cw_ - 2, ch_ - 2, fill);
        p_.setPen(Pen(LadderColors::Line));
        if (c == 0) Line(x, y, x, y + ch_);
        const QString dev = QString::fromStdString(CellOperandText(v_.grid, row, c));
        auto contact = [&] {
            Line(X(x, 0), L, X(x, 25), L);
            Line(X(x, 35), L, X(x, 60), L);
            Line(X(x, 25), Y(L, -10), X(x, 25), Y(L, 10));
            Line(X(x, 35), Y(L, -10), X(x, 35), Y(L, 10));
            // A page sets the device a little further left and higher.
            if (o_.page)
                Text(X(x, 18), Y(L, -25) - 5, dev, LadderColors::Line);
            else
                Text(X(x, 20), Y(L, -25) - 3, dev, LadderColors::Line);
            // The device's value (a timer's or counter's present value) under
            // the contact: its name already fills the space above.
            if (st.known && !st.value.empty())
                Text(X(x, 20), Y(L, 12), QString::fromStdString(st.value), LadderColors::Value);
        };
        switch (kind) {
            case TLdbKind::Open_Ry: contact(); break;
            case TLdbKind::Close_Ry:
                contact();
                Line(X(x, o_.page ? 25 : 27), Y(L, 8), X(x, 33), Y(L, -8));
                break;
            case TLdbKind::Tu_Ry:
                contact();
                Line(X(x, 30), Y(L, -10), X(x, 30), Y(L, 10));
                Line(X(x, 30), Y(L, -10), X(x, 25), L);
                Line(X(x, 30), Y(L, -10), X(x, 35), L);
                break;
            case TLdbKind::Td_Ry:
                contact();
                Line(X(x, 30), Y(L, -10), X(x, 30), Y(L, 10));
                Line(X(x, 30), Y(L, 10), X(x, 25), L);
                Line(X(x, 30), Y(L, 10), X(x, 35), L);
                break;
            case TLdbKind::Out_Ry: {
                const int ty = Y(L, -7);
                Text(x + 1, ty, QStringLiteral("("), LadderColors::Line);
                Text(o_.page ? X(x, 55) : x + cw_ - 6 * cw_ / 60, ty, QStringLiteral(")"), LadderColors::Line);
                Text(x + 5 * cw_ / 60 + 3, ty, dev, LadderColors::Line);
                break;
            }
            case TLdbKind::State_Ry:
                Line(X(x, 0), L, X(x, 10), L);
                Line(X(x, 10), L, X(x, 20), Y(L, 10));
                Line(X(x, 10), L, X(x, 20), Y(L, -10));
                Line(X(x, 45), L, X(x, 60), L);
                Line(X(x, 45), L, X(x, 35), Y(L, 10));
                Line(X(x, 45), L, X(x, 35), Y(L, -10));
                Text(X(x, 24), Y(L, -6), QStringLiteral("S"), LadderColors::Line);
                if (o_.page)
                    Text(X(x, 13), Y(L, -25) - 5, dev, LadderColors::Line);
                else
                    Text(X(x, 20), Y(L, -25) - 3, dev, LadderColors::Line);
                break;
            case TLdbKind::Spec_Fun: {
                const int n = LadderCellSpan(v_.grid, row, c);
                p_.setBrush(st.known && st.on ? LadderColors::On : LadderColors::Background);
                if (o_.page)
                    p_.drawRect(QRect(QPoint(x + 1, Y(L, -22) + 4), QPoint(x + n * cw_, Y(L, 22) - 4)));
                else
                    p_.drawRect(QRect(QPoint(x + 1, Y(L, -22)), QPoint(x + n * cw_ - 1, Y(L, 22))));
                p_.setBrush(Qt::NoBrush);
                Text(x + 3, Y(L, -7), QString::fromStdString(BoxMnemonic(cell)), LadderColors::Line);
                break;
            }
            case TLdbKind::Spec_Token:
                Text(x + 2, Y(L, -7), o_.page ? dev.toUpper() : dev, LadderColors::Line);
                if (st.known && !st.value.empty())
                    Text(x + 2, Y(L, -20), QString::fromStdString(st.value), LadderColors::Value);
                break;
            case TLdbKind::H_Line: Line(X(x, 0), L, X(x, 60), L); break;
            case TLdbKind::V_Line: break;  // drawn by its link
            case TLdbKind::Re_Line:
                if (c == kLdbLastColumn) {
                    Line(X(x, 0), L, X(x, 10), L);
                    Line(X(x, 10), L, X(x, 5), Y(L, 5));
                    Line(X(x, 10), L, X(x, 5), Y(L, -5));
                    Text(X(x, 12), Y(L, -6), QString::number(CellOperand(cell)), LadderColors::Line);
                } else {
                    Line(X(x, 60), L, X(x, 55), L);
                    Line(X(x, 55), L, X(x, 50), Y(L, 5));
                    Line(X(x, 55), L, X(x, 50), Y(L, -5));
                    Text(x + 1 + cw_ / 4, Y(L, -6), QString::number(CellOperand(cell)), LadderColors::Line);
                }
                break;
            case TLdbKind::Inv_Ry:
                Line(X(x, 0), L, X(x, 60), L);
                Line(X(x, 20), Y(L, -10), X(x, 40), Y(L, 10));
                break;
            case TLdbKind::Comp_Ry: {
                const int s = LadderCellSpan(v_.grid, row, c);
                const int r = x + s * cw_ - 6 * cw_ / 60;
                Line(X(x, 0), L, X(x, 6), L);
                Line(r, L, x + s * cw_, L);
                Line(X(x, 6), Y(L, -10), X(x, 6), Y(L, 10));
                Line(r, Y(L, -10), r, Y(L, 10));
                const int code = CellOperand(cell);
                if (code >= 0 && code < kCompareCodeCount)
                    Text(X(x, 10), Y(L, -7), QString::fromLatin1(kCompareText[code]), LadderColors::Line);
                break;
            }
            default: break;
        }
        if (!IsTokenKind(kind)) Links(row, c, x, L, cell);
    }

    void Links(std::int32_t row, std::int32_t c, int x, int L, const std::uint8_t* cell) {
        p_.setPen(Pen(LadderColors::Line));
        const bool up = NodeHasUp(CellNode(cell));
        if (up && row > 0) {
            const std::uint8_t* above = CellAt(v_.grid, row - 1, c);
            if (!IsTokenCell(above) && (CellLinksDown(above) || CellKind(above) == TLdbKind::V_Line))
                Line(x, L, x, L - ch_ / 2);
        }
        if ((CellLinksDown(cell) || CellKind(cell) == TLdbKind::V_Line) && row + 1 < v_.capacity) {
            const std::uint8_t* below = CellAt(v_.grid, row + 1, c);
            const TLdbKind bk = CellKind(below);
            const bool element = bk != TLdbKind::non_inst && !IsTokenKind(bk);
            // On a page a link reaches the next row's element line whatever it
            // holds; a vertical line alone reaches one element height down.
            if (o_.page)
                Line(x, L, x, CellLinksDown(cell) ? L + ch_ : L + ea_);
            else
                Line(x, L, x, element ? L + ch_ : L + ch_ / 2 + 1);
        }
        // A link from a row scrolled out of view still shows on the top row.
        if (up && !o_.page && L <= ch_ / 2) Line(x, L, x, L - ch_ / 2);
    }

    QPainter& p_;
    const TLadderPaintView& v_;
    const TLadderPaintOptions& o_;
    TLadderGeometry g_;
    QFont font_;
    int ascent_ = 0;
    int cw_ = 0, ch_ = 0, ea_ = 0;
};

}  // namespace

std::int32_t LadderCellSpan(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    if (col < 0) return 1;
    const std::uint8_t* rowStart = CellAt(grid, row, 0);
    if (IsBlockCommentRow(rowStart)) return kLdbRowCells;
    const TLdbKind k = CellKind(rowStart + col);
    if (k != TLdbKind::Spec_Fun && k != TLdbKind::Comp_Ry) return 1;
    std::int32_t end = col + kW;
    while (end < kPastRowEnd && IsTokenCell(rowStart + end)) end += kW;
    return (end - col) / kW;
}

void PaintLadder(QPainter& p, const TLadderPaintView& view, const TLadderPaintOptions& o) {
    const int ch = std::max(1, o.cellHeight);
    p.fillRect(QRect(QPoint(0, 0), o.client), LadderColors::Background);
    if (!view.grid || view.capacity <= 0) return;
    const TLadderGeometry g{o.cellWidth, ch, o.hScroll, o.vScroll, o.comments};
    TPainterRun run(p, view, o, g);
    run.Rail(0, o.client.height());
    const std::int32_t first = std::max(0, o.vScroll / ch);
    const std::int32_t count = o.client.height() / ch + 1;
    const std::int32_t last = std::min(first + count, view.capacity - 1);
    for (std::int32_t row = first; row <= last; ++row) run.Row(row, g.RowY(row));
}

void PaintLadderRows(QPainter& p, const TLadderPaintView& view, const TLadderPaintOptions& o,
                     std::int32_t firstRow, std::int32_t lastRow, QPoint origin) {
    if (!view.grid || view.capacity <= 0) return;
    firstRow = std::max(0, firstRow);
    lastRow = std::min(lastRow, view.capacity - 1);
    if (lastRow < firstRow) return;
    const int ch = std::max(1, o.cellHeight);
    p.save();
    p.translate(origin);
    const TLadderGeometry g{o.cellWidth, ch, 0, firstRow * ch, o.comments};
    TPainterRun run(p, view, o, g);
    run.Rail(0, (lastRow - firstRow + 1) * ch);
    for (std::int32_t row = firstRow; row <= lastRow; ++row) run.Row(row, g.RowY(row));
    p.restore();
}

QPoint LadderPageOrigin(QSize page) { return {page.width() / 10, page.height() / 20}; }

int DrawLadderPage(QPainter& p, const TLadderPaintView& view, const TLadderPageOptions& po, std::int32_t firstRow,
                   std::int32_t lastRow) {
    if (!view.grid || view.capacity <= 0) return 0;
    firstRow = std::max(0, firstRow);
    lastRow = std::min(lastRow, view.capacity - 1);
    const int pw = std::max(1, po.cellWidth);
    const int ph0 = std::max(1, po.cellHeight);
    const int ph = po.deviceComments ? 2 * ph0 : ph0;
    TLadderPaintOptions o;
    o.cellWidth = pw;
    o.cellHeight = ph;
    o.fontPixels = std::max(1, po.fontPixels);
    o.comments = po.deviceComments;
    o.showCursor = false;
    o.blackAndWhite = !po.colour;
    o.page = true;
    o.rungComments = po.rungComments;
    o.lineWidth = po.lineWidth;
    o.client = po.page;
    const QPoint origin = LadderPageOrigin(po.page);
    p.save();
    // The label column lies one cell left of the rail.
    p.translate(origin.x() - pw, origin.y());
    const TLadderGeometry g{pw, ph, 0, 0, po.deviceComments};
    TPainterRun run(p, view, o, g);
    run.Rail(0, ph * std::max(1, po.rowsPerPage));
    int y = 0;
    int drawn = 0;
    for (std::int32_t row = firstRow; row <= lastRow; ++row) {
        if (IsBlockCommentRow(CellAt(view.grid, row, 0)) && !po.blockComments) continue;
        run.Row(row, y);
        y += ph;
        ++drawn;
    }
    p.restore();
    return drawn;
}
