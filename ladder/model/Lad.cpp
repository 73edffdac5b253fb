#include "ladder/model/Lad.h"

#include <algorithm>
#include <cstring>

std::vector<TStepMark> gMarkList;

namespace {

bool IsElementRow(const std::uint8_t* grid, std::int32_t row, std::int32_t rowBytes) {
    return !IsBlockCommentRow(CellAt(grid, row, 0, rowBytes));
}

// Kinds whose element passes the running result on to the next junction.
bool DeliversRight(TLdbKind k) {
    switch (k) {
        case TLdbKind::Open_Ry: case TLdbKind::Close_Ry: case TLdbKind::Tu_Ry:
        case TLdbKind::Td_Ry: case TLdbKind::State_Ry: case TLdbKind::H_Line:
        case TLdbKind::Inv_Ry: case TLdbKind::Spec_Token: case TLdbKind::Token_32bs:
        case TLdbKind::Re_Line:
            return true;
        default:
            return false;
    }
}

// Kinds whose element takes its input from the junction on its left.
bool TakesLeftJunction(TLdbKind k) {
    switch (k) {
        case TLdbKind::Open_Ry: case TLdbKind::Close_Ry: case TLdbKind::Tu_Ry:
        case TLdbKind::Td_Ry: case TLdbKind::Out_Ry: case TLdbKind::Spec_Fun:
        case TLdbKind::State_Ry: case TLdbKind::H_Line: case TLdbKind::Inv_Ry:
        case TLdbKind::Comp_Ry: case TLdbKind::Re_Line:
            return true;
        default:
            return false;
    }
}

// Node code by the wires Up (8), Down (4), Left (2), Self (1); column 0 with
// Self alone is the rail and handled by the caller.
constexpr TLdbNode kNodeByWires[16] = {
    TLdbNode::non_node, TLdbNode::non_node, TLdbNode::non_node, TLdbNode::hl,
    TLdbNode::non_node, TLdbNode::LU,       TLdbNode::RU,       TLdbNode::UhDv,
    TLdbNode::vl,       TLdbNode::LD,       TLdbNode::RD,       TLdbNode::UvDh,
    TLdbNode::vl,       TLdbNode::LvRh,     TLdbNode::LhRv,     TLdbNode::Cros,
};

}  // namespace

std::int32_t FindElementStart(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    if (col < 0 || col > kLdbLastColumn) return col;
    if (IsBlockCommentRow(CellAt(grid, row, 0))) return 0;
    while (col > 0 && IsTokenCell(CellAt(grid, row, col))) col -= kLdbCellBytes;
    return col;
}

std::int32_t FindElementEnd(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    if (IsBlockCommentRow(CellAt(grid, row, 0))) return kPastRowEnd;
    if (col < 0 || col > kLdbLastColumn) return col;
    if (IsTokenCell(CellAt(grid, row, col))) col = FindElementStart(grid, row, col);
    const TLdbKind kind = CellKind(CellAt(grid, row, col));
    if (kind == TLdbKind::Spec_Fun) {
        std::int32_t c = col + kLdbCellBytes;
        while (c < kPastRowEnd && IsTokenCell(CellAt(grid, row, c))) c += kLdbCellBytes;
        return c;
    }
    if (kind == TLdbKind::Comp_Ry) {
        std::int32_t c = col;
        while (c + kLdbCellBytes < kPastRowEnd && IsTokenCell(CellAt(grid, row, c + kLdbCellBytes))) {
            c += kLdbCellBytes;
        }
        return c;
    }
    return col;
}

void RecalcCellNode(std::int32_t row, std::int32_t col, std::int32_t rowBytes, std::uint8_t* grid,
                    std::int32_t rowCount) {
    if (row < 0 || row >= rowCount || col < 0 || col + kLdbCellBytes > rowBytes) return;
    std::uint8_t* cell = CellAt(grid, row, col, rowBytes);
    if (IsTokenCell(cell) || !IsElementRow(grid, row, rowBytes)) return;
    const TLdbKind kind = CellKind(cell);

    bool up = false;
    if (row >= 1 && IsElementRow(grid, row - 1, rowBytes)) {
        const std::uint8_t* above = CellAt(grid, row - 1, col, rowBytes);
        if (!IsTokenCell(above)) up = CellLinksDown(above) || CellKind(above) == TLdbKind::V_Line;
    }

    bool down = false;
    const bool belowExists = row + 1 < rowCount;
    if (belowExists && IsElementRow(grid, row + 1, rowBytes) &&
        !IsTokenCell(CellAt(grid, row + 1, col, rowBytes))) {
        down = CellLinksDown(cell) || kind == TLdbKind::V_Line;
    } else {
        // Nothing a link could join below: the last row, a token or a comment row.
        SetCellLinkDown(cell, false);
    }

    const bool left = col >= kLdbCellBytes && DeliversRight(CellKind(cell - kLdbCellBytes));
    const bool self = TakesLeftJunction(kind);

    const int wires = (up ? 8 : 0) | (down ? 4 : 0) | (left ? 2 : 0) | (self ? 1 : 0);
    TLdbNode node = kNodeByWires[wires];
    if (wires == 1 && col == 0) node = TLdbNode::hl;
    SetCellNode(cell, node);
    if (down) SetCellLinkDown(cell, true);
}

void RecalcRows(std::int32_t rowBytes, std::int32_t lastRow, std::uint8_t* grid,
                std::int32_t rowCount) {
    const std::int32_t last = std::min(lastRow, rowCount - 1);
    for (std::int32_t row = 0; row <= last; ++row) {
        if (!IsElementRow(grid, row, rowBytes)) continue;  // comment rows are opaque
        for (std::int32_t col = 0; col + kLdbCellBytes <= rowBytes; col += kLdbCellBytes) {
            std::uint8_t* cell = CellAt(grid, row, col, rowBytes);
            const TLdbKind kind = CellKind(cell);
            if (kind == TLdbKind::Out_Ry || kind == TLdbKind::Spec_Fun) {
                RecalcCellNode(row, col, rowBytes, grid, rowCount);
                break;
            }
            if (col != 0) {
                RecalcCellNode(row, col, rowBytes, grid, rowCount);
                continue;
            }
            // The left rail: every element there starts from it, no vertical links.
            TLdbNode node = CellNode(cell);
            if (node == TLdbNode::vl) node = TLdbNode::non_node;
            node = (node != TLdbNode::non_node || kind != TLdbKind::non_inst) ? TLdbNode::hl
                                                                              : TLdbNode::non_node;
            SetCellNode(cell, node);
            SetCellLinkDown(cell, false);
        }
    }
}

std::int32_t FindBoxOrCoil(std::int32_t row, std::int32_t rowBytes, const std::uint8_t* grid) {
    if (rowBytes <= 0) return 0;
    if (!IsElementRow(grid, row, rowBytes)) return rowBytes;
    for (std::int32_t col = 0; col + kLdbCellBytes <= rowBytes; col += kLdbCellBytes) {
        const TLdbKind kind = CellKind(CellAt(grid, row, col, rowBytes));
        if (kind == TLdbKind::Out_Ry || kind == TLdbKind::Spec_Fun) return col;
    }
    return rowBytes;
}

std::uint8_t GetCellLink(std::int32_t row, std::int32_t col, std::int32_t rowBytes,
                         const std::uint8_t* grid) {
    const std::uint8_t* cell = CellAt(grid, row, col, rowBytes);
    return static_cast<std::uint8_t>((cell[1] & 0x0F) | (cell[2] & 0xF0));
}

void SetCellLink(std::int32_t row, std::int32_t col, std::int32_t rowBytes, std::uint8_t code,
                 std::uint8_t* grid) {
    std::uint8_t* cell = CellAt(grid, row, col, rowBytes);
    cell[1] = static_cast<std::uint8_t>((cell[1] & 0xF0) | (code & 0x0F));
    cell[2] = static_cast<std::uint8_t>((cell[2] & 0x0F) | (code & 0xF0));
}

TLabelKind FindRowLabelIn(TLabelTables tables, std::int32_t row, std::int32_t& number) {
    for (std::int32_t n = 0; n < kPLabelCount; ++n) {
        if (tables.pRows[n] == row) {
            number = n;
            return TLabelKind::P;
        }
    }
    for (std::int32_t n = 0; n < kILabelCount; ++n) {
        if (tables.iRows[n] == row) {
            number = n;
            return TLabelKind::I;
        }
    }
    return TLabelKind::None;
}

TLabelKind FindRowLabel(std::int32_t& number, std::int32_t row) {
    return FindRowLabelIn(TLabelTables{gPLabelRows, gILabelRows}, row, number);
}

void ClearBoxRun(std::int32_t row, std::int32_t col, std::int32_t nBytes, std::uint8_t* grid) {
    if (IsBlockCommentRow(CellAt(grid, row, 0))) return;
    const std::int32_t spanEnd = col + nBytes;
    std::int32_t head = -1;
    for (std::int32_t c = std::max(col, 0); c < spanEnd && c <= kLdbLastColumn; c += kLdbCellBytes) {
        const TLdbKind kind = CellKind(CellAt(grid, row, c));
        if (kind == TLdbKind::Spec_Fun || kind == TLdbKind::Comp_Ry) {
            head = c;
            break;
        }
    }
    if (head < 0) return;
    std::memset(CellAt(grid, row, head), 0, kLdbCellBytes);
    for (std::int32_t c = head + kLdbCellBytes; c <= kLdbLastColumn; c += kLdbCellBytes) {
        std::uint8_t* cell = CellAt(grid, row, c);
        if (c >= spanEnd && !IsTokenCell(cell)) break;
        std::memset(cell, 0, kLdbCellBytes);
    }
}

bool IsLadderRowEmpty(const std::uint8_t* row) {
    return std::all_of(row, row + kLdbRowBytes, [](std::uint8_t b) { return b == 0; });
}

std::int32_t FindLastUsedRow(const std::uint8_t* grid, std::int32_t rowBytes, std::int32_t fromRow) {
    if (fromRow < 0) return fromRow;
    for (std::int32_t row = fromRow; row >= 0; --row) {
        const std::uint8_t* p = grid + static_cast<std::ptrdiff_t>(row) * rowBytes;
        if (std::any_of(p, p + rowBytes, [](std::uint8_t b) { return b != 0; })) return row;
    }
    return -1;
}

void AddMark(std::uint16_t row, std::uint16_t step) { gMarkList.push_back(TStepMark{row, step}); }

void FreeMarkList() {
    gMarkList.clear();
    gMarkList.shrink_to_fit();
}
