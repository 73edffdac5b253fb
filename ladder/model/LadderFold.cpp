#include "ladder/model/LadderFold.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "ladder/model/LadderGrid.h"

namespace {

constexpr std::int32_t kCell = kLdbCellBytes;
constexpr std::int32_t kSeg = kLdbRowBytes;

bool HasVerticalPart(TLdbNode n) {
    switch (n) {
        case TLdbNode::UhDv: case TLdbNode::LvRh: case TLdbNode::Cros: case TLdbNode::LhRv:
        case TLdbNode::LD: case TLdbNode::UvDh: case TLdbNode::RD: case TLdbNode::vl:
        case TLdbNode::LU: case TLdbNode::RU:
            return true;
        default:
            return false;
    }
}

bool HasLeftInput(TLdbNode n) {
    switch (n) {
        case TLdbNode::hl: case TLdbNode::Cros: case TLdbNode::UvDh: case TLdbNode::UhDv:
        case TLdbNode::LhRv: case TLdbNode::RD:
            return true;
        default:
            return false;
    }
}

bool DeliversRight(TLdbKind k) {
    switch (k) {
        case TLdbKind::Open_Ry: case TLdbKind::Close_Ry: case TLdbKind::Tu_Ry: case TLdbKind::Td_Ry:
        case TLdbKind::State_Ry: case TLdbKind::H_Line: case TLdbKind::Inv_Ry:
        case TLdbKind::Spec_Token: case TLdbKind::Token_32bs: case TLdbKind::Re_Line:
            return true;
        default:
            return false;
    }
}

bool IsOutputKind(TLdbKind k) { return k == TLdbKind::Out_Ry || k == TLdbKind::Spec_Fun; }

bool IsWire(const std::uint8_t* cell) {
    const TLdbKind k = CellKind(cell);
    return k == TLdbKind::non_inst || k == TLdbKind::H_Line;
}

void MakeWire(std::uint8_t* cell) {
    std::memset(cell, 0, kCell);
    SetCellKind(cell, TLdbKind::H_Line);
    SetCellNode(cell, TLdbNode::hl);
}

// Column from which row `r` must move so that boundary b cuts nothing, or
// INT_MAX when b cuts nothing in that row.
std::int32_t CutColumn(const std::uint8_t* row, std::int32_t stride, std::int32_t b) {
    const std::uint8_t* cell = row + b;
    const TLdbKind k = CellKind(cell);
    const bool nextIsToken = b + kCell < stride && IsTokenCell(cell + kCell);
    if (IsTokenKind(k)) {
        std::int32_t head = b;
        while (head > 0 && IsTokenCell(row + head)) head -= kCell;
        return head;
    }
    if ((k == TLdbKind::Spec_Fun || k == TLdbKind::Comp_Ry) && nextIsToken) return b;
    if (k == TLdbKind::Comp_Ry) return b;
    if (!IsOutputKind(k) && !IsWire(cell)) return b;
    if (IsWire(cell) && (HasVerticalPart(CellNode(cell)) || CellLinksDown(cell))) return b;
    if (b + kCell < stride) {
        const std::uint8_t* next = cell + kCell;
        if (!IsWire(next) || HasVerticalPart(CellNode(next)) || CellLinksDown(next)) return b + kCell;
    }
    return INT_MAX;
}

}  // namespace

std::int32_t FoldNetworkRows(std::vector<std::uint8_t>& buf, std::int32_t stride, std::int32_t lastRow) {
    if (stride <= kSeg || lastRow < 0) return stride;
    const std::int32_t rows = lastRow + 1;
    std::vector<std::uint8_t> work(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(rows) * stride);

    for (std::int32_t b = kSeg - kCell; b + kCell < stride; b += kSeg) {
        std::int32_t cut = INT_MAX;
        for (std::int32_t r = 0; r < rows; ++r) {
            cut = std::min(cut, CutColumn(&work[static_cast<std::size_t>(r) * stride], stride, b));
        }
        if (cut == INT_MAX) continue;
        // Every row moves from the cut, so that vertical links stay aligned,
        // except a row whose box or compare covers the cut column: that row
        // moves from the element's head, or its tokens would land in the next
        // segment without it. The head's junction stays where it was, on the
        // wire that fills the gap, so its vertical links still line up.
        std::vector<std::int32_t> from(static_cast<std::size_t>(rows), cut);
        std::int32_t first = cut;
        for (std::int32_t r = 0; r < rows; ++r) {
            const std::uint8_t* row = &work[static_cast<std::size_t>(r) * stride];
            std::int32_t head = cut;
            while (head > 0 && IsTokenCell(row + head)) head -= kCell;
            from[static_cast<std::size_t>(r)] = head;
            first = std::min(first, head);
        }
        const std::int32_t shift = b + 2 * kCell - first;
        // Moving a whole segment or more would meet the same cut again at the
        // next boundary: such a network cannot be folded.
        if (shift >= kSeg) return 0;
        const std::int32_t wider = stride + shift;
        std::vector<std::uint8_t> next(static_cast<std::size_t>(rows) * wider, 0);
        for (std::int32_t r = 0; r < rows; ++r) {
            const std::uint8_t* src = &work[static_cast<std::size_t>(r) * stride];
            std::uint8_t* dst = &next[static_cast<std::size_t>(r) * wider];
            const std::int32_t at = from[static_cast<std::size_t>(r)];
            std::memcpy(dst, src, at);
            std::memcpy(dst + at + shift, src + at, stride - at);
            if (at < cut) {
                for (std::int32_t c = at; c < at + shift; c += kCell) MakeWire(dst + c);
                dst[at + 1] = static_cast<std::uint8_t>((dst[at + 1] & 0xF0) | (src[at + 1] & 0x0F));
                dst[at + 2] = static_cast<std::uint8_t>(src[at + 2] & 0xF0);
                SetCellLinkDown(dst + at + shift, false);
                SetCellNode(dst + at + shift, TLdbNode::non_node);
            } else if (at >= kCell && DeliversRight(CellKind(src + at - kCell))) {
                for (std::int32_t c = at; c < at + shift; c += kCell) MakeWire(dst + c);
            }
        }
        work.swap(next);
        stride = wider;
    }

    // Whole segments; outputs go to the new right end.
    const std::int32_t rounded = (stride + kSeg - 1) / kSeg * kSeg;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rows) * rounded, 0);
    for (std::int32_t r = 0; r < rows; ++r) {
        const std::uint8_t* src = &work[static_cast<std::size_t>(r) * stride];
        std::uint8_t* dst = &out[static_cast<std::size_t>(r) * rounded];
        std::int32_t o = stride;
        for (std::int32_t c = 0; c < stride; c += kCell) {
            if (IsOutputKind(CellKind(src + c))) {
                o = c;
                break;
            }
        }
        std::memcpy(dst, src, o);
        if (o < stride) {
            const std::int32_t len = stride - o;
            const std::int32_t to = rounded - len;
            std::memcpy(dst + to, src + o, len);
            if (to > o) {
                for (std::int32_t c = o; c < to; c += kCell) {
                    MakeWire(dst + c);
                    if (c == o) {
                        // The junction stays where the vertical links meet it.
                        dst[c + 1] = static_cast<std::uint8_t>((dst[c + 1] & 0xF0) | (src[o + 1] & 0x0F));
                        dst[c + 2] = static_cast<std::uint8_t>(src[o + 2] & 0xF0);
                    }
                }
                // ... and does not travel with the output: a link left on the
                // moved head would join the output's input to the row below.
                SetCellLinkDown(dst + to, false);
                SetCellNode(dst + to, TLdbNode::non_node);
            }
        }
    }
    buf.assign(std::max(buf.size(), out.size()), 0);
    std::copy(out.begin(), out.end(), buf.begin());
    return rounded;
}

void PullOutputLeft(std::uint8_t* grid, std::int32_t stride, std::int32_t lastRow) {
    for (std::int32_t r = 0; r <= lastRow; ++r) {
        std::uint8_t* row = grid + static_cast<std::size_t>(r) * stride;
        std::int32_t o = -1;
        for (std::int32_t c = 0; c < stride; c += kCell) {
            if (IsOutputKind(CellKind(row + c))) {
                o = c;
                break;
            }
        }
        if (o <= kSeg) continue;
        std::int32_t s = o;
        while (s >= kCell && CellKind(row + s - kCell) == TLdbKind::H_Line) s -= kCell;
        if (s == o) continue;
        const std::int32_t seg = s / kSeg;
        if (seg < 1 || seg >= o / kSeg) continue;
        const std::int32_t len = stride - o;
        const std::int32_t to = (seg + 1) * kSeg - len;
        if (to < s) continue;
        bool linked = false;
        for (std::int32_t c = s; c < stride && !linked; c += kCell) {
            linked = CellLinksDown(row + c) ||
                     (r > 0 && CellLinksDown(row - stride + c)) || HasVerticalPart(CellNode(row + c));
        }
        if (linked) continue;
        std::vector<std::uint8_t> block(row + o, row + stride);
        for (std::int32_t c = to; c < stride; c += kCell) std::memset(row + c, 0, kCell);
        std::memcpy(row + to, block.data(), block.size());
        return;  // one row per network
    }
}

void MarkConnectors(std::uint8_t* grid, std::int32_t stride, std::int32_t lastRow) {
    std::uint16_t number = 0;
    for (std::int32_t c = kSeg - kCell; c + kSeg - kCell < stride; c += kSeg) {
        for (std::int32_t r = 0; r <= lastRow; ++r) {
            std::uint8_t* cell = grid + static_cast<std::size_t>(r) * stride + c;
            const TLdbKind k = CellKind(cell);
            if (IsOutputKind(k) || IsTokenKind(k) || !HasLeftInput(CellNode(cell))) continue;
            for (std::uint8_t* p : {cell, cell + kCell}) {
                SetCellKind(p, TLdbKind::Re_Line);
                SetCellDevType(p, 0);
                SetCellOperand(p, number);
            }
            ++number;
        }
    }
}
