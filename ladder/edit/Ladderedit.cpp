#include "ladder/edit/Ladderedit.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/Instruction.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderFold.h"
#include "ladder/model/Laddercompile.h"

namespace {

constexpr std::int32_t kW = kLdbCellBytes;

bool IsOutputKind(TLdbKind k) { return k == TLdbKind::Out_Ry || k == TLdbKind::Spec_Fun; }

// Kinds that pass the power flow on to the cell on their right.
bool PassesRight(TLdbKind k) {
    switch (k) {
        case TLdbKind::Open_Ry: case TLdbKind::Close_Ry: case TLdbKind::Tu_Ry: case TLdbKind::Td_Ry:
        case TLdbKind::State_Ry: case TLdbKind::H_Line: case TLdbKind::Inv_Ry: case TLdbKind::Spec_Token:
        case TLdbKind::Token_32bs: case TLdbKind::Re_Line:
            return true;
        default:
            return false;
    }
}

bool IsContactKind(TLdbKind k) {
    return k == TLdbKind::Open_Ry || k == TLdbKind::Close_Ry || k == TLdbKind::Tu_Ry || k == TLdbKind::Td_Ry ||
           k == TLdbKind::State_Ry;
}

bool RowHasDownLink(const std::uint8_t* row) {
    if (IsBlockCommentRow(row)) return false;
    for (std::int32_t col = 0; col < kPastRowEnd; col += kW) {
        const std::uint8_t* cell = row + col;
        if (IsTokenCell(cell)) continue;
        if (CellLinksDown(cell) || CellKind(cell) == TLdbKind::V_Line) return true;
    }
    return false;
}

bool RowLinkedFromAbove(const std::uint8_t* above) { return above && RowHasDownLink(above); }

bool AllZero(const std::uint8_t* p, std::int32_t n) {
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

// Span in cells of the element whose head is `cell` at column col of `row`.
std::int32_t HeadSpan(const std::uint8_t* row, std::int32_t col) {
    const TLdbKind k = CellKind(row + col);
    if (k != TLdbKind::Spec_Fun && k != TLdbKind::Comp_Ry) return 1;
    std::int32_t end = col + kW;
    while (end < kPastRowEnd && IsTokenCell(row + end)) end += kW;
    return (end - col) / kW;
}

std::int32_t HeadOf(const std::uint8_t* row, std::int32_t col) {
    while (col > 0 && IsTokenCell(row + col)) col -= kW;
    return col;
}

// Where an output typed at column c of a row `end` bytes wide goes in insert
// mode: behind every element from c on, so that none is covered; an output
// standing at c itself gives way. -1 when another output stands further on.
std::int32_t OutputStart(const std::uint8_t* row, std::int32_t c, std::int32_t end) {
    std::int32_t e = c;
    for (std::int32_t col = c; col < end; col += kW) {
        const TLdbKind k = CellKind(row + col);
        if (IsOutputKind(k)) return col == c ? c : -1;
        if (k != TLdbKind::non_inst && k != TLdbKind::H_Line && k != TLdbKind::V_Line) e = col + kW;
    }
    return e;
}

// Writes an output right-aligned in a row `end` bytes wide, with wire from
// column `from` up to it; the vertical links of the cells stay.
void WriteOutput(std::uint8_t* row, std::int32_t from, std::int32_t end, const std::vector<std::uint8_t>& cells) {
    const std::int32_t head = end - static_cast<std::int32_t>(cells.size());
    auto linkOf = [row](std::int32_t col) { return IsTokenCell(row + col) ? 0 : row[col + 2] & 0xF0; };
    for (std::int32_t col = from; col < head; col += kW) {
        const int link = linkOf(col);
        std::memset(row + col, 0, kW);
        SetCellKind(row + col, TLdbKind::H_Line);
        row[col + 2] = static_cast<std::uint8_t>(link);
    }
    const int link = linkOf(head);
    std::memcpy(row + head, cells.data(), cells.size());
    row[head + 2] = static_cast<std::uint8_t>((row[head + 2] & 0x0F) | link);
}

}  // namespace

void TLadderEdit::SetDoc(const TLadderDoc& doc) {
    doc_ = doc;
    row_ = 0;
    col_ = 0;
    ownComments_.reset();
    Refresh();
    KeepOwnComments();
}

void TLadderEdit::KeepOwnComments() {
    ownIds_.clear();
    if (!doc_.rowComments) return;
    ownComments_ = *doc_.rowComments;
    if (!doc_.rowIds) return;
    GiveRowIds(lastRow_);
    ownIds_ = *doc_.rowIds;
}

void TLadderEdit::GiveRowIds(std::int32_t lastRow) {
    if (doc_.rowIds) GiveLadderRowIds(*doc_.rowIds, lastRow, doc_.rowComments ? doc_.rowComments->size() : 0);
}

void TLadderEdit::TakeRows() {
    Refresh();
    if (!doc_.rowComments || !doc_.rowIds || !ownComments_ || ownIds_.empty()) return KeepOwnComments();
    // A row drawn again as it was keeps what this editor last had beside it
    // (a comment typed since stays one typed since); a row drawn anew has
    // the comment the conversion gave it.
    std::unordered_map<std::uint32_t, std::size_t> was;
    for (std::size_t k = 0; k < ownIds_.size(); ++k) was.emplace(ownIds_[k], k);
    const std::vector<std::string>& now = *doc_.rowComments;
    GiveRowIds(lastRow_);
    std::vector<std::uint32_t>& ids = *doc_.rowIds;
    std::vector<std::string> own(ids.size());
    for (std::size_t r = 0; r < ids.size(); ++r) {
        const auto it = was.find(ids[r]);
        if (it != was.end()) own[r] = it->second < ownComments_->size() ? (*ownComments_)[it->second] : std::string();
        else if (r < now.size()) own[r] = now[r];
    }
    ownComments_ = std::move(own);
    ownIds_ = ids;
}

void TLadderEdit::Refresh() {
    lastRow_ = doc_.grid ? FindLastUsedRow(doc_.grid, kLdbRowBytes, doc_.capacity - 1) : -1;
    if (row_ >= doc_.capacity) row_ = std::max(0, doc_.capacity - 1);
}

std::int32_t TLadderEdit::RowLimit() const {
    return std::max(0, std::min(doc_.capacity - 1, std::max(lastRow_, 0) + pageRows_));
}

std::int32_t TLadderEdit::CellSpan(std::int32_t row, std::int32_t col) const {
    if (col < 0) return 1;
    if (IsCommentRow(row)) return kLdbRowCells;
    return HeadSpan(RowAt(row), col);
}

void TLadderEdit::SnapToHead() {
    if (col_ < 0) return;
    if (IsCommentRow(row_)) {
        col_ = 0;
        return;
    }
    col_ = HeadOf(RowAt(row_), col_);
}

void TLadderEdit::SetCursor(std::int32_t row, std::int32_t col) {
    if (doc_.capacity <= 0) return;
    row_ = std::clamp(row, 0, doc_.capacity - 1);
    col_ = col < 0 ? kLabelColumn : std::min(col - col % kW, kLdbLastColumn);
    SnapToHead();
}

std::int32_t TLadderEdit::FirstOutputColumn(std::int32_t row) const {
    return FindBoxOrCoil(row, kLdbRowBytes, doc_.grid);
}

// ---------------------------------------------------------------------------
// Cursor moves (the key table)

void TLadderEdit::Left() {
    if (col_ > 0) {
        col_ -= kW;
        SnapToHead();
    } else if (col_ == 0) {
        col_ = kLabelColumn;
    } else if (row_ > 0) {
        // From the label column to the previous row's output.
        --row_;
        if (IsCommentRow(row_)) {
            col_ = 0;
            return;
        }
        const std::int32_t out = FirstOutputColumn(row_);
        col_ = out >= kPastRowEnd ? kLdbLastColumn : out;
        SnapToHead();
    }
}

void TLadderEdit::Right() {
    const std::int32_t limit = RowLimit();
    auto nextRow = [&] {
        if (row_ < limit) {
            ++row_;
            col_ = 0;
            SnapToHead();
        }
    };
    if (IsCommentRow(row_)) return nextRow();
    if (col_ < 0) {
        col_ = 0;
        return;
    }
    const TLdbKind k = CellKind(Cell(row_, col_));
    const std::int32_t step = CellSpan(row_, col_) * kW;
    if (IsOutputKind(k) || col_ + step > kLdbLastColumn) return nextRow();
    col_ += step;
    SnapToHead();
}

void TLadderEdit::Up() {
    if (row_ == 0) return;
    --row_;
    SnapToHead();
}

void TLadderEdit::Down() {
    if (row_ >= RowLimit()) return;
    ++row_;
    SnapToHead();
}

void TLadderEdit::PageUp() {
    row_ = std::max(0, row_ - pageRows_);
    SnapToHead();
}

void TLadderEdit::PageDown() {
    row_ = std::min(RowLimit(), row_ + pageRows_);
    SnapToHead();
}

void TLadderEdit::Home() {
    col_ = 0;
    SnapToHead();
}

void TLadderEdit::End() {
    col_ = kLdbLastColumn;
    if (!IsCommentRow(row_)) {
        // The last element of the row: walk left over wire and inner cells.
        const std::uint8_t* row = RowAt(row_);
        while (col_ > 0) {
            const TLdbKind k = CellKind(row + col_);
            if (k == TLdbKind::non_inst || IsTokenKind(k) || k == TLdbKind::Re_Line || IsOutputKind(k)) break;
            col_ -= kW;
        }
    }
    // A token is never the cursor cell: the cursor frames its whole box.
    SnapToHead();
}

// ---------------------------------------------------------------------------
// Edits

void TLadderEdit::Changed() {
    lastRow_ = FindLastUsedRow(doc_.grid, kLdbRowBytes, doc_.capacity - 1);
    KeepOwnComments();
}

void TLadderEdit::NetworkBounds(std::int32_t row, std::int32_t& first, std::int32_t& last) const {
    first = row;
    while (first > 0 && !IsCommentRow(first) && RowLinkedFromAbove(RowAt(first - 1))) --first;
    last = row;
    while (last + 1 < doc_.capacity && RowHasDownLink(RowAt(last))) ++last;
}

void TLadderEdit::Renode(std::int32_t firstRow, std::int32_t lastRow) {
    firstRow = std::max(0, firstRow);
    lastRow = std::min(doc_.capacity - 1, lastRow);
    for (std::int32_t row = firstRow; row <= lastRow; ++row) {
        if (IsCommentRow(row)) continue;
        for (std::int32_t col = 0; col < kPastRowEnd; col += kW) {
            std::uint8_t* cell = Cell(row, col);
            const TLdbKind kind = CellKind(cell);
            if (col == 0) {
                // The left rail: elements start from it, no vertical links there.
                TLdbNode node = CellNode(cell);
                if (node == TLdbNode::vl) node = TLdbNode::non_node;
                SetCellNode(cell, (node != TLdbNode::non_node || kind != TLdbKind::non_inst) ? TLdbNode::hl
                                                                                          : TLdbNode::non_node);
                SetCellLinkDown(cell, false);
                if (kind == TLdbKind::V_Line) SetCellKind(cell, TLdbKind::non_inst);
            } else {
                RecalcCellNode(row, col, kLdbRowBytes, doc_.grid, doc_.capacity);
            }
            if (IsOutputKind(kind)) break;
        }
    }
}

void TLadderEdit::Commit(const std::vector<std::uint8_t>& rows, std::int32_t first) {
    if (BeforeChange) BeforeChange();
    std::memcpy(Cell(first, 0), rows.data(), rows.size());
}

bool TLadderEdit::MakeRoom(std::vector<std::uint8_t>& rows, std::int32_t first, std::int32_t r,
                           std::int32_t c, std::int32_t n) const {
    const std::int32_t count = static_cast<std::int32_t>(rows.size()) / kLdbRowBytes;
    std::int32_t netFirst, netLast;
    NetworkBounds(r, netFirst, netLast);
    for (std::int32_t k = netFirst; k <= netLast; ++k) {
        if (k < first || k >= first + count) return false;
        std::uint8_t* row = rows.data() + static_cast<std::size_t>(k - first) * kLdbRowBytes;
        if (IsBlockCommentRow(row)) continue;
        if (AllZero(row + c, kPastRowEnd - c)) continue;  // nothing to push aside
        std::int32_t end = kPastRowEnd;
        for (std::int32_t col = 0; col < kPastRowEnd; col += kW) {
            if (IsOutputKind(CellKind(row + col))) {
                end = col;
                break;
            }
        }
        if (end == kPastRowEnd && CellKind(row + kLdbLastColumn) == TLdbKind::Re_Line) end = kLdbLastColumn;
        if (end - n < c) return false;
        // The cells given up just before the output hold nothing but wire.
        for (std::int32_t col = end - n; col < end; col += kW) {
            const std::uint8_t* cell = row + col;
            const TLdbKind kind = CellKind(cell);
            if ((kind != TLdbKind::non_inst && kind != TLdbKind::H_Line) || CellLinksDown(cell)) return false;
        }
        // A wire entering cell c from the left runs on through the gap.
        const bool wire = c == 0 ? CellKind(row) != TLdbKind::non_inst || CellNode(row) != TLdbNode::non_node
                                 : PassesRight(CellKind(row + c - kW));
        std::memmove(row + c + n, row + c, static_cast<std::size_t>(end - n - c));
        std::memset(row + c, 0, static_cast<std::size_t>(n));
        if (wire) {
            for (std::int32_t col = c; col < c + n; col += kW) {
                SetCellKind(row + col, TLdbKind::H_Line);
                SetCellNode(row + col, TLdbNode::hl);
            }
        }
    }
    return true;
}

bool TLadderEdit::WrapRow(std::vector<std::uint8_t>& rows, std::int32_t first, std::int32_t r,
                          std::int32_t c, std::int32_t& contRow) const {
    const std::int32_t end = first + static_cast<std::int32_t>(rows.size()) / kLdbRowBytes;
    auto rowAt = [&](std::int32_t k) { return rows.data() + static_cast<std::size_t>(k - first) * kLdbRowBytes; };
    // The network goes on while a row links down, and through the rows an
    // earlier wrap continued it on (they start with a connector); the row
    // after all of that must be free.
    contRow = r;
    for (;;) {
        while (contRow < end && RowHasDownLink(rowAt(contRow))) ++contRow;
        ++contRow;
        if (contRow >= end || CellKind(rowAt(contRow)) != TLdbKind::Re_Line) break;
    }
    if (contRow >= end || !AllZero(rowAt(contRow), kLdbRowBytes)) return false;
    // A connector number no pair of this network uses yet.
    std::int32_t netFirst, netLast;
    NetworkBounds(r, netFirst, netLast);
    std::int32_t number = 0;
    for (std::int32_t j = std::max(first, netFirst); j < contRow; ++j) {
        const std::uint8_t* row = rowAt(j);
        if (IsBlockCommentRow(row)) continue;
        for (std::int32_t col = 0; col < kPastRowEnd; col += kW)
            if (CellKind(row + col) == TLdbKind::Re_Line)
                number = std::max<std::int32_t>(number, CellOperand(row + col) + 1);
    }
    // Wire up to the last cell, which takes the connector; vertical links stay.
    std::uint8_t* row = rowAt(r);
    for (std::int32_t col = c; col < kLdbLastColumn; col += kW) {
        const std::uint8_t link = row[col + 2] & 0xF0;
        std::memset(row + col, 0, kW);
        row[col + 2] = link;
        SetCellKind(row + col, TLdbKind::H_Line);
    }
    std::uint8_t* conn = row + kLdbLastColumn;
    std::memset(conn, 0, kW);
    SetCellKind(conn, TLdbKind::Re_Line);
    SetCellOperand(conn, static_cast<std::uint16_t>(number));
    std::uint8_t* cont = rowAt(contRow);
    SetCellKind(cont, TLdbKind::Re_Line);
    SetCellOperand(cont, static_cast<std::uint16_t>(number));
    return true;
}

void TLadderEdit::FoldedBounds(std::int32_t row, std::int32_t& first, std::int32_t& last) const {
    NetworkBounds(row, first, last);
    for (bool grew = true; grew;) {
        grew = false;
        // A continuation row hangs from the row whose last cell holds its connector.
        const std::uint8_t* top = RowAt(first);
        if (!IsBlockCommentRow(top) && CellKind(top) == TLdbKind::Re_Line) {
            const std::uint16_t number = CellOperand(top);
            for (std::int32_t k = first - 1; k >= 0 && k >= first - 64; --k) {
                const std::uint8_t* end = RowAt(k) + kLdbLastColumn;
                if (IsBlockCommentRow(RowAt(k)) || CellKind(end) != TLdbKind::Re_Line || CellOperand(end) != number)
                    continue;
                std::int32_t f, l;
                NetworkBounds(k, f, l);
                first = std::min(first, f);
                grew = true;
                break;
            }
        }
        // The continuation rows follow the rows they continue.
        if (last + 1 < doc_.capacity && !IsBlockCommentRow(RowAt(last + 1)) &&
            CellKind(RowAt(last + 1)) == TLdbKind::Re_Line) {
            std::int32_t f, l;
            NetworkBounds(last + 1, f, l);
            last = std::max(last + 1, l);
            grew = true;
        }
    }
}

struct TLadderEdit::TWideNet {
    std::int32_t first = 0, last = 0, rows = 0;  // the network's grid rows
    TUnfolded u;                                  // its wide rows
    std::int32_t row = -1, col = -1;              // the cursor in them
};

bool TLadderEdit::Unfold(std::int32_t r, std::int32_t c, TWideNet& net) const {
    FoldedBounds(r, net.first, net.last);
    net.rows = net.last - net.first + 1;
    std::vector<std::uint8_t> rows(Cell(net.first, 0), Cell(net.first, 0) + static_cast<std::size_t>(net.rows) * kLdbRowBytes);
    bool folded = false;
    for (std::int32_t k = 0; k < net.rows; ++k) {
        const std::uint8_t* row = rows.data() + static_cast<std::size_t>(k) * kLdbRowBytes;
        if (IsBlockCommentRow(row)) return false;
        for (std::int32_t col = 0; col < kPastRowEnd; col += kW) folded |= CellKind(row + col) == TLdbKind::Re_Line;
    }
    // The network as wide rows: a folded one joined again at its connectors.
    TUnfolded& u = net.u;
    if (folded) {
        TLayoutError err;
        if (!UnfoldNetwork(rows, net.rows, u, err)) return false;
    } else {
        u.grid = std::move(rows);
        u.stride = kLdbRowBytes;
        u.wideRows = net.rows;
        for (std::int32_t k = 0; k < net.rows; ++k) u.bufRow.push_back(k);
    }
    const std::int32_t segments = u.stride / kLdbRowBytes;
    for (std::size_t k = 0; k < u.bufRow.size(); ++k) {
        if (u.bufRow[k] != r - net.first) continue;
        net.row = static_cast<std::int32_t>(k) / segments;
        net.col = static_cast<std::int32_t>(k) % segments * kLdbRowBytes + c;
    }
    return net.row >= 0;
}

bool TLadderEdit::Widen(std::int32_t r, std::int32_t c, const std::vector<std::uint8_t>& cells) {
    const std::int32_t n = static_cast<std::int32_t>(cells.size());
    TWideNet net;
    if (!Unfold(r, c, net)) return false;
    const TUnfolded& u = net.u;
    const std::int32_t wideCol = net.col;
    // n bytes more at the cursor's column in every row; the element in the gap.
    const std::int32_t from = u.stride;
    const std::int32_t stride = from + n;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(u.wideRows) * stride, 0);
    for (std::int32_t k = 0; k < u.wideRows; ++k) {
        const std::uint8_t* row = u.grid.data() + static_cast<std::size_t>(k) * from;
        std::uint8_t* wide = buf.data() + static_cast<std::size_t>(k) * stride;
        std::memcpy(wide, row, static_cast<std::size_t>(wideCol));
        std::memcpy(wide + wideCol + n, row + wideCol, static_cast<std::size_t>(from - wideCol));
        const bool wire = wideCol == 0 ? CellKind(row) != TLdbKind::non_inst || CellNode(row) != TLdbNode::non_node
                                       : PassesRight(CellKind(row + wideCol - kW));
        if (k == net.row) {
            std::memcpy(wide + wideCol, cells.data(), cells.size());
        } else if (wire && !AllZero(row + wideCol, from - wideCol)) {
            for (std::int32_t col = wideCol; col < wideCol + n; col += kW) {
                SetCellKind(wide + col, TLdbKind::H_Line);
                SetCellNode(wide + col, TLdbNode::hl);
            }
        }
    }
    return Refold(net, buf, stride, wideCol);
}

bool TLadderEdit::WidenOutput(std::int32_t r, std::int32_t c, const std::vector<std::uint8_t>& cells) {
    const std::int32_t w = static_cast<std::int32_t>(cells.size());
    TWideNet net;
    if (!Unfold(r, c, net)) return false;
    const TUnfolded& u = net.u;
    const std::int32_t from = u.stride;
    const std::int32_t e = OutputStart(u.grid.data() + static_cast<std::size_t>(net.row) * from, net.col, from);
    if (e < 0) return false;
    // The rows end where the output ends; the other rows' outputs go to the
    // new end when the network folds.
    const std::int32_t stride = std::max(from, e + w);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(u.wideRows) * stride, 0);
    for (std::int32_t k = 0; k < u.wideRows; ++k)
        std::memcpy(buf.data() + static_cast<std::size_t>(k) * stride, u.grid.data() + static_cast<std::size_t>(k) * from,
                    static_cast<std::size_t>(from));
    std::uint8_t* row = buf.data() + static_cast<std::size_t>(net.row) * stride;
    WriteOutput(row, e, stride, cells);
    return Refold(net, buf, stride, stride - w);
}

bool TLadderEdit::Refold(const TWideNet& net, std::vector<std::uint8_t>& buf, std::int32_t stride, std::int32_t headCol) {
    const TUnfolded& u = net.u;
    // The element's head carries a mark through the fold, to be found again.
    std::uint8_t* head = buf.data() + static_cast<std::size_t>(net.row) * stride + headCol;
    const std::uint8_t headByte = head[0];
    head[0] = 0x80;
    const std::int32_t lastRow = u.wideRows - 1;
    RecalcRows(stride, lastRow, buf.data(), u.wideRows);
    const std::int32_t refolded = FoldNetworkRows(buf, stride, lastRow);
    if (refolded <= 0) return false;
    stride = refolded;
    RecalcRows(stride, lastRow, buf.data(), u.wideRows);
    if (stride > kLdbRowBytes) {
        PullOutputLeft(buf.data(), stride, lastRow);
        RecalcRows(stride, lastRow, buf.data(), u.wideRows);
        MarkConnectors(buf.data(), stride, lastRow);
        RecalcRows(stride, lastRow, buf.data(), u.wideRows);
    }
    // Segment by segment, every row that holds something becomes a grid row.
    std::vector<std::uint8_t> rows;
    std::int32_t markRow = -1, markCol = -1;
    for (std::int32_t seg = 0; seg < stride / kLdbRowBytes; ++seg) {
        for (std::int32_t k = 0; k < u.wideRows; ++k) {
            const std::uint8_t* row = buf.data() + static_cast<std::size_t>(k) * stride + seg * kLdbRowBytes;
            if (AllZero(row, kLdbRowBytes)) continue;
            for (std::int32_t col = 0; col < kPastRowEnd; col += kW)
                if (row[col] == 0x80 && !IsTokenCell(row + col)) {
                    markRow = static_cast<std::int32_t>(rows.size() / kLdbRowBytes);
                    markCol = col;
                }
            rows.insert(rows.end(), row, row + kLdbRowBytes);
        }
    }
    if (markRow < 0) return false;
    const std::int32_t netFirst = net.first, netLast = net.last;
    const std::int32_t newCount = static_cast<std::int32_t>(rows.size() / kLdbRowBytes);
    const std::int32_t delta = newCount - net.rows;
    // Rows below the network move; none may be pushed out of the grid.
    const std::int32_t used = std::max(lastRow_, netLast);
    if (used + delta >= doc_.capacity) return false;
    rows[static_cast<std::size_t>(markRow) * kLdbRowBytes + markCol] = headByte;
    // A rung on fewer rows keeps the comments of the rows it gives up, each
    // beside a row of the rung left without one (from its last row up); with
    // none left, the rung stays as it is.
    auto* comments = doc_.rowComments;
    std::vector<std::pair<std::int32_t, std::string>> keep;
    if (comments && delta < 0) {
        const auto at = [&](std::int32_t r) {
            return static_cast<std::size_t>(r) < comments->size() ? (*comments)[static_cast<std::size_t>(r)] : std::string();
        };
        std::int32_t free = netFirst + newCount - 1;
        for (std::int32_t r = netFirst + newCount; r <= netLast; ++r) {
            if (at(r).empty()) continue;
            while (free >= netFirst && !at(free).empty()) --free;
            if (free < netFirst) return false;
            keep.emplace_back(free--, at(r));
        }
    }
    // A label beside a row it gives up goes beside its last row (where the
    // compile names it), never beside a row moving up from below.
    const std::int32_t lastKept = netFirst + newCount - 1;
    for (const std::int32_t* t : {doc_.labels.pRows, doc_.labels.iRows}) {
        const int count = t == doc_.labels.pRows ? kPLabelCount : kILabelCount;
        int moving = 0, there = 0;
        for (int k = 0; t && delta < 0 && k < count; ++k) {
            moving += t[k] > lastKept && t[k] <= netLast;
            there += t[k] == lastKept;
        }
        if (moving > 0 && moving + there > 1) return false;  // a row carries one label of a kind
    }
    if (BeforeChange) BeforeChange();
    if (delta != 0 && used > netLast) {
        std::memmove(Cell(netLast + 1 + delta, 0), Cell(netLast + 1, 0),
                     static_cast<std::size_t>(used - netLast) * kLdbRowBytes);
    }
    if (delta < 0) std::memset(Cell(used + 1 + delta, 0), 0, static_cast<std::size_t>(-delta) * kLdbRowBytes);
    std::memcpy(Cell(netFirst, 0), rows.data(), rows.size());
    if (delta != 0) {
        for (std::int32_t* t : {doc_.labels.pRows, doc_.labels.iRows}) {
            const int count = t == doc_.labels.pRows ? kPLabelCount : kILabelCount;
            for (int k = 0; t && k < count; ++k) {
                if (t[k] > netLast) t[k] += delta;
                else if (t[k] > lastKept) t[k] = lastKept;
            }
        }
        // The network's rows grew or shrank at its end: the rows below keep
        // their comments (and identities).
        if (delta > 0) ShiftRowComments(netLast + 1, delta);
        else ShiftRowComments(netLast + 1 + delta, delta);
        for (auto& [row, text] : keep) {
            if (comments->size() <= static_cast<std::size_t>(row)) comments->resize(static_cast<std::size_t>(row) + 1);
            (*comments)[static_cast<std::size_t>(row)] = std::move(text);
        }
    }
    Renode(netFirst - 1, netFirst + newCount);
    Changed();
    row_ = netFirst + markRow;
    col_ = markCol;
    return true;
}

TLadderEditResult TLadderEdit::Place(TLadderClass cls, std::string_view line) {
    if (!doc_.grid || doc_.capacity <= 0) return {};
    if (!guarding_) return Guard([&] { return Place(cls, line); });
    if (cls == TLadderClass::PLabel || cls == TLadderClass::ILabel) return PlaceLabel(cls, line);
    if (col_ < 0) return {false, cls == TLadderClass::VLine ? LadMsg::VLineLabelColumn : LadMsg::NotHere};
    if (IsCommentRow(row_)) return {false, LadMsg::NotHere};
    const bool onConnector = CellKind(Cell(row_, col_)) == TLdbKind::Re_Line;
    if (cls == TLadderClass::VLine) {
        // A link hanging from a connector would join the fold's seam to a branch.
        if (onConnector) return {false, LadMsg::NoRoom};
        return PlaceVLine();
    }
    const std::vector<std::uint8_t> cells = BuildElementCells(cls, line);
    if (cells.empty()) return Refused(line, LadMsg::Invalid);
    if (cls == TLadderClass::Coil || cls == TLadderClass::Box) {
        // An output typed on a connector, or whose wire would run over the
        // row's connector, goes behind the rung's last element on its
        // continuation, as insert mode puts it: the rung stays joined.
        const bool overConnector =
            !insertMode && CellKind(Cell(row_, kLdbLastColumn)) == TLdbKind::Re_Line;
        if (onConnector || overConnector) return InsertOutput(cells);
        return PlaceOutput(cells);
    }
    return PlaceInline(cells);
}

TLadderEditResult TLadderEdit::Refused(std::string_view line, int message) {
    // The one refusal the operand alone does not explain, its 32-bit pair, is
    // named with the operand.
    const TAssembly a = AssembleLine(line, CurrentFamily());
    if (a.refusal == TAsmRefusal::NoPair) return {false, LadMsg::NoPair, " " + a.operandText};
    return {false, message};
}

TLadderEditResult TLadderEdit::PlaceTyped(std::string_view line) {
    TLadderClass cls;
    if (!ClassOfLine(line, cls)) {
        // An instruction of the list that the ladder draws by its lines (ANB,
        // MPS ...) is no element; anything else is no instruction at all.
        const bool instruction = static_cast<bool>(AssembleLine(line, CurrentFamily()));
        if (col_ < 0) return {false, LadMsg::NotHere};
        return instruction ? TLadderEditResult{false, LadMsg::NotPlaceable} : Refused(line, LadMsg::Invalid);
    }
    const bool label = cls == TLadderClass::PLabel || cls == TLadderClass::ILabel;
    if (col_ < 0 && !label) return {false, LadMsg::NotHere};
    if (col_ >= 0 && label) return {false, LadMsg::LabelColumnOnly};
    return Place(cls, line);
}

TLadderEditResult TLadderEdit::PlaceLabel(TLadderClass cls, std::string_view line) {
    if (col_ >= 0) return {false, LadMsg::LabelColumnOnly};
    std::string text(line);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    const bool p = cls == TLadderClass::PLabel;
    const int number = p ? PLabelNumber(text) : ILabelNumber(text);
    if (number < 0 || number >= (p ? kPLabelCount : kILabelCount)) return {false, LadMsg::Invalid};
    std::int32_t* table = p ? doc_.labels.pRows : doc_.labels.iRows;
    if (!(p ? CheckPLabel(text, row_, table) : CheckILabel(text, row_, table))) return {false, LadMsg::LabelUsed};
    if (table[number] == row_) return {};
    if (BeforeChange) BeforeChange();
    // A row carries one label of each kind: the new one replaces the old.
    FreeRowLabels(table, p ? kPLabelCount : kILabelCount, row_);
    table[number] = row_;
    return {true, LadMsg::None};
}

TLadderEditResult TLadderEdit::PlaceVLine() {
    // The link joins this cell's junction to the row below: not on the rail,
    // not from the grid's last row, not into a comment row.
    if (col_ == 0 || row_ + 1 >= doc_.capacity || IsCommentRow(row_ + 1)) return {false, LadMsg::NotHere};
    std::uint8_t* cell = Cell(row_, col_);
    if (IsTokenCell(CellAt(doc_.grid, row_ + 1, col_))) return {false, LadMsg::NotHere};
    if (CellLinksDown(cell)) return {};
    if (BeforeChange) BeforeChange();
    SetCellLinkDown(cell, true);
    if (CellKind(cell) == TLdbKind::non_inst) SetCellKind(cell, TLdbKind::V_Line);
    Renode(row_ - 1, row_ + 1);
    Changed();
    return {true, LadMsg::None};
}

TLadderEditResult TLadderEdit::PlaceOutput(const std::vector<std::uint8_t>& cells) {
    if (insertMode) return InsertOutput(cells);
    const std::int32_t w = static_cast<std::int32_t>(cells.size());
    std::int32_t r = row_, c = col_;
    const std::int32_t first = std::max(0, r - 1);
    const std::int32_t count = std::min(doc_.capacity, r + 40) - first;
    std::vector<std::uint8_t> rows(Cell(first, 0), Cell(first, 0) + static_cast<std::size_t>(count) * kLdbRowBytes);
    if (kPastRowEnd - w < c) {
        // The box does not fit behind the cursor: end the row with a
        // connector and go on in the first free row after the network.
        std::int32_t cont;
        if (!WrapRow(rows, first, r, c, cont)) return {false, LadMsg::BoxDoesNotFit};
        r = cont;
        c = kW;
    }
    // Overwrite: wire from the cursor up to the output.
    WriteOutput(rows.data() + static_cast<std::size_t>(r - first) * kLdbRowBytes, c, kPastRowEnd, cells);
    Commit(rows, first);
    Renode(first, first + count - 1);
    Changed();
    row_ = std::min(r + 1, doc_.capacity - 1);
    col_ = 0;
    SnapToHead();
    return {true, LadMsg::None};
}

TLadderEditResult TLadderEdit::InsertOutput(const std::vector<std::uint8_t>& cells) {
    // Insert keeps every element: the output goes behind those from the
    // cursor on (the contact just placed stays under it). Where they reach
    // the output's cells, or the rung is folded, the network widens and folds.
    const std::int32_t w = static_cast<std::int32_t>(cells.size());
    const std::int32_t r = row_;
    std::int32_t first, last;
    FoldedBounds(r, first, last);
    bool folded = false;
    for (std::int32_t k = first; k <= last; ++k)
        for (std::int32_t col = 0; col < kPastRowEnd && !IsCommentRow(k); col += kW)
            folded |= CellKind(Cell(k, col)) == TLdbKind::Re_Line;
    const std::int32_t e = OutputStart(RowAt(r), col_, kPastRowEnd);
    if (e < 0) return {false, LadMsg::NoRoom};
    if (!folded && e + w <= kPastRowEnd) {
        if (BeforeChange) BeforeChange();
        WriteOutput(Cell(r, 0), e, kPastRowEnd, cells);
        Renode(r - 1, r + 1);
        Changed();
        row_ = r;
    } else if (!WidenOutput(r, col_, cells)) {
        return {false, LadMsg::NoRoom};
    }
    row_ = std::min(row_ + 1, doc_.capacity - 1);
    col_ = 0;
    SnapToHead();
    return {true, LadMsg::None};
}

TLadderEditResult TLadderEdit::PlaceInline(const std::vector<std::uint8_t>& cells) {
    const std::int32_t w = static_cast<std::int32_t>(cells.size());
    std::int32_t r = row_, c = col_;
    std::int32_t netFirst, netLast;
    NetworkBounds(r, netFirst, netLast);
    const std::int32_t first = std::max(0, netFirst - 1);
    const std::int32_t count = std::min(doc_.capacity, netLast + 40) - first;
    std::vector<std::uint8_t> rows(Cell(first, 0), Cell(first, 0) + static_cast<std::size_t>(count) * kLdbRowBytes);
    auto rowAt = [&](std::int32_t k) { return rows.data() + static_cast<std::size_t>(k - first) * kLdbRowBytes; };

    // Inserted on a continuation's connector, the element goes in just behind it.
    if (insertMode && c == 0 && CellKind(rowAt(r)) == TLdbKind::Re_Line) c = kW;
    const TLdbKind under = CellKind(rowAt(r) + c);
    if (insertMode && IsOutputKind(under)) {
        // Inserting on the output puts the element just before it, into the
        // wire the output leaves free.
        const std::int32_t at = c - w;
        bool free = at >= 0;
        for (std::int32_t col = std::max(at, 0); free && col < c; col += kW) {
            const std::uint8_t* cell = rowAt(r) + col;
            const TLdbKind k = CellKind(cell);
            free = (k == TLdbKind::H_Line || k == TLdbKind::non_inst) && !CellLinksDown(cell);
        }
        if (!free) return Widen(r, c, cells) ? TLadderEditResult{true, LadMsg::None} : TLadderEditResult{false, LadMsg::NoRoom};
        c = at;
    }
    if (insertMode && c + w > kPastRowEnd) {
        // Past the row's end in insert mode: the network grows and folds.
        if (Widen(r, c, cells)) return {true, LadMsg::None};
    }
    // Overwrite mode: a contact typed on the row's free last cell ends the
    // row there, so that the rung goes on in the continuation row.
    const std::uint8_t* last = rowAt(r) + kLdbLastColumn;
    const bool contactAtEnd = !insertMode && c == kLdbLastColumn && IsContactKind(CellKind(cells.data())) &&
                              (CellKind(last) == TLdbKind::non_inst || CellKind(last) == TLdbKind::H_Line) &&
                              !CellLinksDown(last);
    if (c + w > kPastRowEnd || contactAtEnd) {
        // Past the row's end: the row ends in a connector and the element
        // starts the continuation row.
        std::int32_t cont;
        if (!WrapRow(rows, first, r, c, cont)) return {false, LadMsg::NoRoom};
        r = cont;
        c = kW;
    }
    std::uint8_t* row = rowAt(r);
    if (insertMode) {
        if (!AllZero(row + c, kPastRowEnd - c) && !MakeRoom(rows, first, r, c, w)) {
            // No wire left to give up in some row: the network grows and folds.
            return Widen(r, c, cells) ? TLadderEditResult{true, LadMsg::None} : TLadderEditResult{false, LadMsg::NoRoom};
        }
    } else {
        // Overwrite: a box or compare the new element touches goes entirely,
        // so that no operand is left without its head.
        for (std::int32_t col = c; col < c + w; col += kW) {
            const TLdbKind k = CellKind(row + col);
            if (k != TLdbKind::Spec_Fun && k != TLdbKind::Comp_Ry && !IsTokenKind(k)) continue;
            const std::int32_t head = HeadOf(row, col);
            const std::int32_t span = HeadSpan(row, head);
            for (std::int32_t x = head; x < head + span * kW; x += kW) {
                const std::uint8_t link = IsTokenCell(row + x) ? 0 : (row[x + 2] & 0xF0);
                std::memset(row + x, 0, kW);
                row[x + 2] = link;
            }
        }
    }
    const std::uint8_t link = row[c + 2] & 0xF0;
    std::memcpy(row + c, cells.data(), cells.size());
    row[c + 2] = static_cast<std::uint8_t>((row[c + 2] & 0x0F) | link);
    Commit(rows, first);
    Renode(first, first + count - 1);
    Changed();
    row_ = r;
    col_ = c;
    if (!insertMode) {
        col_ = c + w;
        if (col_ > kLdbLastColumn) {
            row_ = std::min(r + 1, doc_.capacity - 1);
            col_ = 0;
        }
    }
    SnapToHead();
    return {true, LadMsg::None};
}

TLadderEditResult TLadderEdit::DeleteElement() {
    if (!doc_.grid) return {};
    if (!guarding_) return Guard([&] { return DeleteElement(); });
    if (col_ < 0) {
        std::int32_t n;
        if (FindRowLabelIn(doc_.labels, row_, n) == TLabelKind::None) return {};
        if (BeforeChange) BeforeChange();
        FreeRowLabels(doc_.labels.pRows, kPLabelCount, row_);
        FreeRowLabels(doc_.labels.iRows, kILabelCount, row_);
        return {true, LadMsg::None};
    }
    if (IsCommentRow(row_)) return {false, LadMsg::DeleteNothing};
    SnapToHead();
    std::uint8_t* cell = Cell(row_, col_);
    const TLdbKind kind = CellKind(cell);
    if (kind == TLdbKind::V_Line || (kind == TLdbKind::non_inst && cell[3] == 0 && cell[4] == 0)) return {};
    if (kind == TLdbKind::Re_Line) return JoinFold();
    if (BeforeChange) BeforeChange();
    const std::uint8_t link = cell[2] & 0xF0;
    const std::int32_t span = CellSpan(row_, col_);
    std::memset(cell, 0, static_cast<std::size_t>(span) * kW);
    cell[2] = link;
    Renode(row_ - 1, row_ + 1);
    Changed();
    return {true, LadMsg::None};
}

TLadderEditResult TLadderEdit::DeleteVLine() {
    if (!doc_.grid || col_ < 0 || IsCommentRow(row_)) return {false, LadMsg::DeleteNothing};
    if (!guarding_) return Guard([&] { return DeleteVLine(); });
    std::uint8_t* cell = Cell(row_, col_);
    if (IsTokenCell(cell)) return {false, LadMsg::DeleteNothing};
    if (!CellLinksDown(cell) && CellKind(cell) != TLdbKind::V_Line) return {};
    if (BeforeChange) BeforeChange();
    if (CellKind(cell) == TLdbKind::V_Line) SetCellKind(cell, TLdbKind::non_inst);
    SetCellLinkDown(cell, false);
    Renode(row_ - 1, row_ + 1);
    Changed();
    return {true, LadMsg::None};
}

TLadderEditResult TLadderEdit::SetBlockComment(std::string_view text) {
    if (!doc_.grid) return {};
    if (!guarding_) return Guard([&] { return SetBlockComment(text); });
    std::uint8_t* row = Cell(row_, 0);
    if (!IsBlockCommentRow(row) && !AllZero(row, kLdbRowBytes)) return {false, LadMsg::CommentRowBusy};
    std::uint8_t next[kLdbRowBytes] = {};
    if (!text.empty()) SetBlockCommentRow(next, std::string(text));
    if (std::memcmp(next, row, kLdbRowBytes) == 0) return {};
    if (BeforeChange) BeforeChange();
    std::memcpy(row, next, kLdbRowBytes);
    // The rows around it no longer link through it.
    Renode(row_ - 1, row_ + 1);
    Changed();
    col_ = 0;
    return {true, LadMsg::None};
}

// ---------------------------------------------------------------------------
// Connector pairs: a folded rung stays joined through every edit

TConnectorCensus CountConnectors(const std::uint8_t* grid, std::int32_t lastRow) {
    TConnectorCensus census;
    std::vector<std::uint32_t>& loose = census.loose;
    std::vector<std::uint16_t> open;
    auto endNetwork = [&] {
        for (std::uint16_t n : open) loose.push_back(1u << 16 | n);
        open.clear();
    };
    // As the compile cuts: a network runs on while a folded row waits for its
    // continuation, comment rows stand aside and a blank row ends it.
    for (std::int32_t r = 0; r <= lastRow; ++r) {
        const std::uint8_t* row = grid + static_cast<std::size_t>(r) * kLdbRowBytes;
        if (IsBlockCommentRow(row)) continue;
        if (AllZero(row, kLdbRowBytes)) {
            endNetwork();
            continue;
        }
        if (CellKind(row) == TLdbKind::Re_Line) {
            const std::uint16_t n = CellOperand(row);
            const auto it = std::find(open.begin(), open.end(), n);
            if (it == open.end()) {
                loose.push_back(n);
            } else {
                open.erase(it);
                ++census.pairs;
            }
        }
        if (CellKind(row + kLdbLastColumn) == TLdbKind::Re_Line) open.push_back(CellOperand(row + kLdbLastColumn));
    }
    endNetwork();
    std::sort(loose.begin(), loose.end());
    return census;
}

TLadderEditResult TLadderEdit::Guard(const std::function<TLadderEditResult()>& edit) {
    const TLadderDoc real = doc_;
    const std::size_t bytes = static_cast<std::size_t>(real.capacity) * kLdbRowBytes;
    TScratch& s = scratch_;
    s.grid.assign(real.grid, real.grid + bytes);
    TLadderDoc work = real;
    work.grid = s.grid.data();
    if (real.labels.pRows) {
        s.pRows.assign(real.labels.pRows, real.labels.pRows + kPLabelCount);
        work.labels.pRows = s.pRows.data();
    }
    if (real.labels.iRows) {
        s.iRows.assign(real.labels.iRows, real.labels.iRows + kILabelCount);
        work.labels.iRows = s.iRows.data();
    }
    if (real.rowComments) {
        s.rowComments = *real.rowComments;
        work.rowComments = &s.rowComments;
    }
    if (real.marks) {
        s.marks = *real.marks;
        work.marks = &s.marks;
    }
    if (real.rowIds) {
        // Every row has its identity before the edit: the undo step taken
        // for it and the edit's rows name the same ones.
        GiveRowIds(lastRow_);
        s.rowIds = *real.rowIds;
        work.rowIds = &s.rowIds;
    }
    const std::int32_t row0 = row_, col0 = col_, anchorRow0 = anchorRow_, anchorCol0 = anchorCol_, last0 = lastRow_;
    const TLadderSelection sel0 = sel_;
    // What this editor had beside the rows before the edit: the undo step
    // tells comments typed since from it.
    std::optional<std::vector<std::string>> ownComments0 = ownComments_;
    std::vector<std::uint32_t> ownIds0 = ownIds_;
    std::function<void()> hook = std::move(BeforeChange);
    BeforeChange = nullptr;
    doc_ = work;
    guarding_ = true;
    struct TBack {
        TLadderEdit& e;
        const TLadderDoc& real;
        std::function<void()>& hook;
        ~TBack() {
            e.guarding_ = false;
            e.doc_ = real;
            e.BeforeChange = std::move(hook);
        }
    };
    TLadderEditResult r;
    {
        TBack back{*this, real, hook};
        r = edit();
    }
    if (!r.changed) return r;
    const std::int32_t last = FindLastUsedRow(s.grid.data(), kLdbRowBytes, real.capacity - 1);
    const TConnectorCensus before = CountConnectors(real.grid, last0);
    const TConnectorCensus after = CountConnectors(s.grid.data(), last);
    if (after.pairs < before.pairs &&
        !std::includes(before.loose.begin(), before.loose.end(), after.loose.begin(), after.loose.end())) {
        // A pair lost one half (one gone whole, or a half pasted on its own
        // for its partner to follow, is fine): a continuation would hang free
        // and no compile would take the ladder again. Refused whole.
        row_ = row0;
        col_ = col0;
        anchorRow_ = anchorRow0;
        anchorCol_ = anchorCol0;
        sel_ = sel0;
        lastRow_ = last0;
        return {false, LadMsg::NoRoom};
    }
    // The undo step records the state before, with the cursor where it stood.
    if (BeforeChange) {
        const std::int32_t row1 = row_, col1 = col_, last1 = lastRow_;
        const TLadderSelection sel1 = sel_;
        row_ = row0;
        col_ = col0;
        sel_ = sel0;
        lastRow_ = last0;
        std::swap(ownComments_, ownComments0);
        std::swap(ownIds_, ownIds0);
        BeforeChange();
        std::swap(ownComments_, ownComments0);
        std::swap(ownIds_, ownIds0);
        row_ = row1;
        col_ = col1;
        sel_ = sel1;
        lastRow_ = last1;
    }
    std::memcpy(real.grid, s.grid.data(), bytes);
    if (real.labels.pRows) std::copy(s.pRows.begin(), s.pRows.end(), real.labels.pRows);
    if (real.labels.iRows) std::copy(s.iRows.begin(), s.iRows.end(), real.labels.iRows);
    if (real.rowComments) *real.rowComments = std::move(s.rowComments);
    if (real.marks) *real.marks = std::move(s.marks);
    if (real.rowIds) *real.rowIds = std::move(s.rowIds);
    return r;
}

namespace {

// A cell that only carries the flow from its left to its right.
bool IsPlainWire(const std::uint8_t* cell) {
    return CellKind(cell) == TLdbKind::H_Line && !CellLinksDown(cell) && CellNode(cell) == TLdbNode::hl;
}

bool IsEmptyCell(const std::uint8_t* cell) { return AllZero(cell, kW); }

// Whether the cells lo..hi of a wide row can go without changing what the row
// connects: all plain wire, or all empty with nothing flowing in or out.
bool RunRemovable(const std::uint8_t* row, std::int32_t stride, std::int32_t lo, std::int32_t hi) {
    bool wire = true, empty = true;
    for (std::int32_t col = lo; col <= hi; col += kW) {
        wire = wire && IsPlainWire(row + col);
        empty = empty && IsEmptyCell(row + col);
    }
    if (wire) return true;
    if (!empty) return false;
    return (lo > 0 && IsEmptyCell(row + lo - kW)) || hi + kW >= stride || IsEmptyCell(row + hi + kW);
}

// Lays a wide row of `w` bytes onto 60: its elements where they stand, the
// wire before its output dropped, the output at the row's end. False when the
// elements need more than a row.
bool LayOnOneRow(const std::uint8_t* src, std::int32_t w, std::uint8_t* dst) {
    std::int32_t o = w;
    for (std::int32_t col = 0; col < w; col += kW) {
        if (IsOutputKind(CellKind(src + col))) {
            o = col;
            break;
        }
    }
    std::int32_t p = o;
    if (o == w) {
        while (p >= kW && IsEmptyCell(src + p - kW)) p -= kW;
        if (p > kPastRowEnd) return false;
        std::memcpy(dst, src, static_cast<std::size_t>(p));
        return true;
    }
    if (!CellLinksDown(src + o))
        while (p >= kW && IsPlainWire(src + p - kW)) p -= kW;
    const std::int32_t tail = w - o;
    if (p + tail > kPastRowEnd) return false;
    std::memcpy(dst, src, static_cast<std::size_t>(p));
    for (std::int32_t col = p; col < kPastRowEnd - tail; col += kW) {
        SetCellKind(dst + col, TLdbKind::H_Line);
        SetCellNode(dst + col, TLdbNode::hl);
    }
    std::memcpy(dst + kPastRowEnd - tail, src + o, static_cast<std::size_t>(tail));
    return true;
}

}  // namespace

TLadderEditResult TLadderEdit::JoinFold() {
    TWideNet net;
    if (!Unfold(row_, col_, net)) return {false, LadMsg::NoRoom};
    const std::int32_t from = net.u.stride, rows = net.u.wideRows;
    std::vector<std::uint8_t> g = net.u.grid;
    RecalcRows(from, rows - 1, g.data(), rows);
    auto removable = [&](std::int32_t lo, std::int32_t hi) {
        if (lo < 0 || hi >= from) return false;
        for (std::int32_t k = 0; k < rows; ++k)
            if (!RunRemovable(g.data() + static_cast<std::size_t>(k) * from, from, lo, hi)) return false;
        return true;
    };
    // The seam's two cells, and the wire the fold left on either side of it.
    std::int32_t lo = col_ == kLdbLastColumn ? net.col : net.col - kW;
    std::int32_t hi = lo + kW;
    if (!removable(lo, hi)) return {false, LadMsg::NoRoom};
    while (removable(lo - kW, hi)) lo -= kW;
    while (removable(lo, hi + kW)) hi += kW;
    const std::int32_t w = from - (hi + kW - lo);
    std::vector<std::uint8_t> joined(static_cast<std::size_t>(w));
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(rows) * kLdbRowBytes, 0);
    for (std::int32_t k = 0; k < rows; ++k) {
        const std::uint8_t* src = g.data() + static_cast<std::size_t>(k) * from;
        std::memcpy(joined.data(), src, static_cast<std::size_t>(lo));
        std::memcpy(joined.data() + lo, src + hi + kW, static_cast<std::size_t>(from - hi - kW));
        // Still wider than a row: the fold stays as it is.
        if (!LayOnOneRow(joined.data(), w, buf.data() + static_cast<std::size_t>(k) * kLdbRowBytes))
            return {false, LadMsg::NoRoom};
    }
    if (!Refold(net, buf, kLdbRowBytes, 0)) return {false, LadMsg::NoRoom};
    return {true, LadMsg::None};
}

TLadderEditResult TLadderEdit::DeleteFoldedRow() {
    TWideNet net;
    if (!Unfold(row_, 0, net)) return {false, LadMsg::NoRoom};
    // The row and the rows it continues on are one row of the rung.
    const std::int32_t segments = net.u.stride / kLdbRowBytes;
    std::vector<std::int32_t> gone;
    for (std::int32_t s = 0; s < segments; ++s) {
        const std::int32_t b = net.u.bufRow[static_cast<std::size_t>(net.row * segments + s)];
        if (b >= 0) gone.push_back(net.first + b);
    }
    std::sort(gone.rbegin(), gone.rend());
    if (BeforeChange) BeforeChange();
    for (std::int32_t r : gone) {
        ShiftRows(r, -1);
        Changed();
    }
    Renode(net.first - 1, net.last + 1);
    Changed();
    ClearSelection();
    row_ = gone.back();
    col_ = 0;
    SnapToHead();
    return {true, LadMsg::None};
}
