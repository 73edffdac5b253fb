#include "ladder/model/Netconvert.h"

#include <cstdio>
#include <functional>

#include "ladder/model/Circuit.h"

namespace {

// Device letters by device type 1..14.
const char kDeviceLetter[] = " CDHKMSTEXYFPNI";

char LetterOf(std::uint8_t device) { return device >= 1 && device <= 14 ? kDeviceLetter[device] : 0; }

std::string NumberText(std::uint8_t device, std::uint32_t value, bool is32) {
    char buf[16];
    switch (device) {
        case CellDev::X:
        case CellDev::Y: std::snprintf(buf, sizeof buf, "%o", value); break;
        case CellDev::H: std::snprintf(buf, sizeof buf, "%02X", is32 ? value : value & 0xFFFF); break;
        case CellDev::K:
            // 16-bit constants are held sign-extended; 32-bit ones are signed as they stand.
            std::snprintf(buf, sizeof buf, "%d", static_cast<std::int32_t>(value));
            break;
        case CellDev::I: std::snprintf(buf, sizeof buf, "%03u", value); break;
        default: std::snprintf(buf, sizeof buf, "%u", value); break;
    }
    return buf;
}

// The characters of a text operand; false when one is no printable character.
bool AppendTextChars(const TLadOperand& op, std::string& out) {
    for (std::uint32_t ch : {op.value & 0xFF, (op.value >> 8) & 0xFF}) {
        if (ch == 0) continue;
        if (ch <= ' ' || ch >= 0x7F) return false;
        out.push_back(static_cast<char>(ch));
    }
    return true;
}


}  // namespace

bool TWideOrigins::Map(std::int32_t row, std::int32_t col, std::int32_t& gridRowOut, std::int32_t& gridColOut) const {
    if (!gridCell.empty()) {
        const std::int32_t cells = segments * kLdbRowCells;
        if (row < 0 || col < 0 || col >= cells) return false;
        const auto cellAt = [&](std::int32_t r, std::int32_t c) {
            const std::size_t at = static_cast<std::size_t>(r) * cells + c;
            return at < gridCell.size() ? gridCell[at] : -1;
        };
        std::int32_t origin = cellAt(row, col);
        if (origin >= 0) {
            gridRowOut = origin / kLdbRowCells;
            gridColOut = origin % kLdbRowCells + 1;
            return true;
        }
        // A cell the unfold made: the row of the nearest cell of this wide row
        // (or of one above) that came from the grid.
        for (std::int32_t r = row; r >= 0; --r) {
            for (std::int32_t c = 0; c < cells; ++c) {
                origin = cellAt(r, c);
                if (origin < 0) continue;
                gridRowOut = origin / kLdbRowCells;
                gridColOut = col % kLdbRowCells + 1;
                return true;
            }
        }
        return false;
    }
    const std::int32_t seg = col / kLdbRowCells;
    const std::size_t at = static_cast<std::size_t>(row) * segments + seg;
    if (seg >= segments || at >= gridRow.size() || gridRow[at] < 0) return false;
    gridRowOut = gridRow[at];
    gridColOut = col % kLdbRowCells + 1;
    return true;
}

std::string OperandText(const TLadOperand& op) {
    std::string s;
    if (op.digits) {
        s.push_back('K');
        s += std::to_string(op.digits);
    }
    if (op.device == CellDev::E || op.device == CellDev::F) {
        // Index registers as operands: "E", "F3".
        s.push_back(LetterOf(op.device));
        if (op.value) s += std::to_string(op.value);
        return s;
    }
    if (op.device == CellDev::Text) {
        AppendTextChars(op, s);
        return s;
    }
    if (const char l = LetterOf(op.device)) s.push_back(l);
    s += NumberText(op.device, op.value, op.is32);
    return s + IndexRegText(op.index);
}

namespace {

// Grid row and 1-based column of a wide-row cell.
using TGridMap = std::function<void(std::int32_t row, std::int32_t col, std::int32_t& gridRow, std::int32_t& gridCol)>;

// One text line per instruction node, in order; the operand nodes of a
// compare or box go into its line.
bool BuildInstTextLines(const std::vector<TInstNode>& nodes, const TGridMap& toGrid, std::vector<TInstTextLine>& lines,
                        TLayoutError& err) {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const TInstNode& n = nodes[i];
        TInstTextLine line;
        line.text = n.mnemonic;
        std::int32_t unusedCol = 0;
        if (n.col >= 0) toGrid(n.row, n.col, line.row, line.column);
        else toGrid(n.row, 0, line.row, unusedCol), line.column = 0;
        if (n.cls == InstNodeClass::Device && n.mnemonic != "INV") {
            const TLadElement& e = *n.elem;
            const char l = LetterOf(e.device);
            if (!l) {
                err = TLayoutError{33, line.row, line.column, {}};
                return false;
            }
            line.text += "  ";
            line.text.push_back(l);
            line.text += NumberText(e.device, e.operand, false);
        } else if (n.cls == InstNodeClass::Compare || n.cls == InstNodeClass::Applied) {
            const TLadElement& e = *n.elem;
            std::size_t k = i + 1;
            if (n.mnemonic == "ASC") {
                // The first operand is the text of the next four records, 8 characters at most.
                std::string text;
                for (int r = 0; r < 4; ++r, ++k) {
                    if (k >= nodes.size() || nodes[k].cls != InstNodeClass::Operand ||
                        nodes[k].op->device != CellDev::Text || !AppendTextChars(*nodes[k].op, text)) {
                        err = TLayoutError{33, line.row, line.column, "ASC"};
                        return false;
                    }
                }
                line.text += "  " + text;
            }
            for (; k < nodes.size() && nodes[k].cls == InstNodeClass::Operand && nodes[k].elem == &e; ++k)
                line.text += "  " + OperandText(*nodes[k].op);
            i = k - 1;
        }
        lines.push_back(std::move(line));
    }
    return true;
}

}  // namespace

bool ConvertNetworkToInst(const std::uint8_t* grid, std::int32_t stride, std::int32_t rows, std::int32_t startRow,
                          std::int32_t pLabel, std::int32_t iLabel, const TWideOrigins* origins,
                          std::vector<TInstTextLine>& lines, TLayoutError& err, bool* endsOpen) {
    lines.clear();
    if (endsOpen) *endsOpen = false;
    TNetworkGraph graph;
    std::vector<TInstNode> nodes;
    bool ok = BuildCircuitTree(grid, stride, rows, graph, err, endsOpen != nullptr);
    if (endsOpen) *endsOpen = graph.endsOpen;
    for (std::size_t r = 0; ok && r < graph.rungs.size(); ++r) ok = EmitCircuit(graph.rungs[r], nodes, err);
    const TGridMap toGrid = [&](std::int32_t row, std::int32_t col, std::int32_t& gr, std::int32_t& gc) {
        if (origins && origins->Map(row, col, gr, gc)) return;
        gr = startRow + row + (col / kLdbRowCells) * rows;
        gc = col % kLdbRowCells + 1;
    };
    if (!ok) {
        // The error position in grid terms (the caller shows it).
        toGrid(err.row, err.col, err.row, err.col);
        return false;
    }
    if (nodes.empty()) return true;

    std::int32_t firstRow = 0, unusedCol = 0;
    toGrid(0, 0, firstRow, unusedCol);
    char label[16];
    if (pLabel >= 0) {
        std::snprintf(label, sizeof label, "P%d", pLabel);
        lines.push_back({firstRow, 0, label});
    }
    if (iLabel >= 0) {
        std::snprintf(label, sizeof label, "I%03d", iLabel);
        lines.push_back({firstRow, 0, label});
    }
    return BuildInstTextLines(nodes, toGrid, lines, err);
}
