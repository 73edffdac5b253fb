// Cutting a network out of a stored grid and joining its folded rows again.
#include <algorithm>
#include <cstring>

#include "ladder/model/Lad.h"
#include "ladder/model/Laddercompile.h"

namespace {

const std::uint8_t* BufRow(const std::vector<std::uint8_t>& buf, std::int32_t i) {
    return buf.data() + static_cast<std::size_t>(i) * kLdbRowBytes;
}
bool StartsWithConnector(const std::uint8_t* row) { return CellKind(row) == TLdbKind::Re_Line; }
bool EndsWithConnector(const std::uint8_t* row) { return CellKind(row + kLdbLastColumn) == TLdbKind::Re_Line; }
bool IsZero(const std::uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

// Moves the first coil or box of a wide row, with the rest of its segment, to
// the row's right end when it stands in an earlier segment and nothing follows
// that segment. The cells left behind become wires; with carryLink the first
// of them keeps the junction (link code) the output cell had. `origin`, when
// given, holds the row's cell origins and moves with the cells.
void MoveOutputRight(std::uint8_t* row, std::int32_t stride, bool carryLink, std::int32_t* origin) {
    const std::int32_t col = FindBoxOrCoil(0, stride, row);
    if (col >= stride - kLdbRowBytes) return;
    const std::int32_t segEnd = (col / kLdbRowBytes + 1) * kLdbRowBytes;
    if (!IsZero(row + segEnd, static_cast<std::size_t>(stride - segEnd))) return;
    const std::int32_t len = segEnd - col;
    const std::int32_t dest = stride - len;
    const std::uint8_t link = GetCellLink(0, col, stride, row);
    std::memmove(row + dest, row + col, static_cast<std::size_t>(len));
    if (origin) {
        const std::int32_t from = col / kLdbCellBytes, to = dest / kLdbCellBytes, n = len / kLdbCellBytes;
        std::memmove(origin + to, origin + from, static_cast<std::size_t>(n) * sizeof *origin);
        std::fill(origin + from, origin + to, -1);
    }
    SetCellNode(row + dest, TLdbNode::hl);
    SetCellLinkDown(row + dest, false);
    for (std::int32_t c = col; c < dest; c += kLdbCellBytes) {
        std::memset(row + c, 0, kLdbCellBytes);
        SetCellKind(row + c, TLdbKind::H_Line);
        SetCellNode(row + c, TLdbNode::hl);
    }
    if (carryLink) SetCellLink(0, col, stride, link, row);
}

}  // namespace

bool IsBlankNetworkRow(const std::uint8_t* row60) { return IsZero(row60, kLdbRowBytes); }

bool SegmentHasDownLink(const std::uint8_t* seg60) {
    for (int c = 0; c < kLdbRowBytes; c += kLdbCellBytes) {
        const std::uint8_t* cell = seg60 + c;
        if (IsTokenCell(cell)) continue;
        if (CellLinksDown(cell) || CellKind(cell) == TLdbKind::V_Line) return true;
    }
    return false;
}

std::int32_t CutNetwork(const std::uint8_t* grid, std::int32_t lastRow, std::vector<std::uint8_t>& buf,
                        std::vector<std::int32_t>& gridRowOf, TCutHooks* hooks) {
    TCutHooks none;
    if (!hooks) hooks = &none;
    buf.clear();
    gridRowOf.clear();
    std::int32_t r = gNextNetworkRow;
    // Blank rows and block comments before the network.
    while (r <= lastRow) {
        const std::uint8_t* row = grid + static_cast<std::size_t>(r) * kLdbRowBytes;
        if (IsBlockCommentRow(row)) hooks->BlockComment(r, row);
        else if (IsBlankNetworkRow(row)) hooks->Row(r);
        else break;
        ++r;
    }
    gNetworkStartRow = r;
    // The network goes on while a row links down or a folded row waits for its
    // continuation. Comment rows inside it leave the network; a blank row ends it.
    std::int32_t openConnectors = 0;
    while (r <= lastRow) {
        const std::uint8_t* row = grid + static_cast<std::size_t>(r) * kLdbRowBytes;
        if (IsBlockCommentRow(row)) {
            hooks->BlockComment(r, row);
            ++r;
            continue;
        }
        hooks->Row(r);
        ++r;
        if (IsBlankNetworkRow(row)) break;
        buf.insert(buf.end(), row, row + kLdbRowBytes);
        gridRowOf.push_back(r - 1);
        if (StartsWithConnector(row)) --openConnectors;
        if (EndsWithConnector(row)) ++openConnectors;
        if (!SegmentHasDownLink(row) && openConnectors <= 0) break;
    }
    gNextNetworkRow = r;
    const std::int32_t rows = static_cast<std::int32_t>(gridRowOf.size());
    gNetworkRowCount = rows;
    if (rows > 0) RecalcRows(kLdbRowBytes, rows - 1, buf.data(), rows);
    return rows;
}

bool UnfoldNetwork(const std::vector<std::uint8_t>& buf, std::int32_t rows, TUnfolded& out, TLayoutError& err) {
    out = TUnfolded{};
    std::vector<std::vector<std::uint8_t>> wide;
    std::vector<std::vector<std::int32_t>> segRow;
    struct TOpen {
        std::uint16_t number;
        std::int32_t w, seg;
    };
    std::vector<TOpen> open;

    auto place = [&](std::int32_t i, std::int32_t w, std::int32_t seg) {
        const std::size_t need = static_cast<std::size_t>(seg + 1) * kLdbRowBytes;
        if (wide[w].size() < need) wide[w].resize(need, 0);
        std::memcpy(wide[w].data() + static_cast<std::size_t>(seg) * kLdbRowBytes, BufRow(buf, i), kLdbRowBytes);
        if (segRow[w].size() < static_cast<std::size_t>(seg + 1)) segRow[w].resize(seg + 1, -1);
        segRow[w][seg] = i;
        if (EndsWithConnector(BufRow(buf, i)))
            open.push_back({CellOperand(BufRow(buf, i) + kLdbLastColumn), w, seg});
    };
    auto segmentUsed = [&](std::int32_t w, std::int32_t seg) {
        const std::size_t at = static_cast<std::size_t>(seg) * kLdbRowBytes;
        return wide[w].size() > at && !IsZero(wide[w].data() + at, kLdbRowBytes);
    };

    std::int32_t i = 0;
    for (; i < rows && !StartsWithConnector(BufRow(buf, i)); ++i) {
        wide.emplace_back();
        segRow.emplace_back();
        place(i, static_cast<std::int32_t>(wide.size()) - 1, 0);
    }
    std::int32_t lastW = -1, lastSeg = -1, lastI = -1;
    for (; i < rows; ++i) {
        const std::uint8_t* row = BufRow(buf, i);
        std::int32_t w, seg;
        if (StartsWithConnector(row)) {
            const std::uint16_t number = CellOperand(row);
            auto it = std::find_if(open.begin(), open.end(), [&](const TOpen& o) { return o.number == number; });
            if (it == open.end()) {
                err = TLayoutError{33, i, 0, "continuation without connector"};
                return false;
            }
            w = it->w;
            seg = it->seg + 1;
            open.erase(it);
            if (segmentUsed(w, seg)) {
                err = TLayoutError{33, i, 0, "continuation without connector"};
                return false;
            }
        } else {
            // A row below a continuation hangs from the row placed before it.
            if (lastI < 0 || !SegmentHasDownLink(BufRow(buf, lastI))) {
                err = TLayoutError{33, i, 0, {}};
                return false;
            }
            w = lastW + 1;
            seg = lastSeg;
            const bool exists = w < static_cast<std::int32_t>(wide.size());
            bool insert = !exists;
            if (exists) {
                const std::size_t before = static_cast<std::size_t>(seg) * kLdbRowBytes - kLdbCellBytes;
                const bool joinsBefore = wide[w].size() > before &&
                                         CellKind(wide[w].data() + before) != TLdbKind::non_inst &&
                                         CellKind(wide[w].data() + before) != TLdbKind::V_Line;
                insert = segmentUsed(w, seg) || joinsBefore;
            }
            if (insert) {
                // A new wide row; the down links of the earlier segments above
                // pass through it.
                std::vector<std::uint8_t> fresh(static_cast<std::size_t>(seg) * kLdbRowBytes, 0);
                const std::vector<std::uint8_t>& above = wide[w - 1];
                for (std::size_t c = 0; c < fresh.size() && c < above.size(); c += kLdbCellBytes) {
                    if (!IsTokenCell(above.data() + c) && CellLinksDown(above.data() + c) && exists) {
                        SetCellKind(fresh.data() + c, TLdbKind::V_Line);
                        SetCellLinkDown(fresh.data() + c, true);
                    }
                }
                wide.insert(wide.begin() + w, std::move(fresh));
                segRow.insert(segRow.begin() + w, std::vector<std::int32_t>());
                for (TOpen& o : open)
                    if (o.w >= w) ++o.w;
            }
        }
        place(i, w, seg);
        lastW = w;
        lastSeg = seg;
        lastI = i;
    }
    if (!open.empty()) {
        err = TLayoutError{33, segRow[open.front().w][open.front().seg], kLdbRowCells - 1, "connector without continuation"};
        return false;
    }

    std::int32_t segments = 1;
    for (const auto& s : segRow) segments = std::max<std::int32_t>(segments, static_cast<std::int32_t>(s.size()));
    out.stride = segments * kLdbRowBytes;
    out.wideRows = static_cast<std::int32_t>(wide.size());
    out.grid.assign(static_cast<std::size_t>(out.wideRows) * out.stride, 0);
    out.bufRow.assign(static_cast<std::size_t>(out.wideRows) * segments, -1);
    const std::int32_t cells = out.stride / kLdbCellBytes;
    out.origin.assign(static_cast<std::size_t>(out.wideRows) * cells, -1);
    for (std::int32_t w = 0; w < out.wideRows; ++w) {
        std::uint8_t* dst = out.grid.data() + static_cast<std::size_t>(w) * out.stride;
        std::memcpy(dst, wide[w].data(), wide[w].size());
        std::int32_t* origin = out.origin.data() + static_cast<std::size_t>(w) * cells;
        for (std::size_t s = 0; s < segRow[w].size(); ++s) {
            out.bufRow[w * segments + s] = segRow[w][s];
            if (segRow[w][s] < 0) continue;
            for (std::int32_t c = 0; c < kLdbRowCells; ++c)
                origin[static_cast<std::int32_t>(s) * kLdbRowCells + c] = segRow[w][s] * kLdbRowCells + c;
        }
        // Connectors become plain wires, keeping their junction.
        for (std::int32_t c = 0; c < out.stride; c += kLdbCellBytes) {
            std::uint8_t* cell = dst + c;
            if (CellKind(cell) != TLdbKind::Re_Line) continue;
            SetCellKind(cell, TLdbKind::H_Line);
            SetCellDevType(cell, 0);
            SetCellOperand(cell, 0);
        }
        MoveOutputRight(dst, out.stride, true, origin);
    }
    return true;
}

void RightAlignOutputs(std::int32_t stride, std::int32_t lastRow, std::uint8_t* grid, std::int32_t* origin) {
    const std::int32_t cells = stride / kLdbCellBytes;
    for (std::int32_t w = 0; w <= lastRow; ++w)
        MoveOutputRight(grid + static_cast<std::size_t>(w) * stride, stride, false,
                        origin ? origin + static_cast<std::size_t>(w) * cells : nullptr);
}
