#pragma once
// Hand-built ladder grids for tests: contacts, coils, boxes, wires and
// vertical links placed by (row, cell index), then renormalised with the link
// rule, as the ladder editor leaves them.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "ladder/model/Lad.h"
#include "ladder/model/LadderGrid.h"
#include "ladder/model/Ladtranslate.h"

namespace qel::test {

class TGridBuilder {
public:
    explicit TGridBuilder(int rows = 16, int cells = kLdbRowCells) : rows_(rows), cells_(cells), g_(rows * cells * 5, 0) {}

    std::uint8_t* Cell(int r, int c) { return g_.data() + (r * cells_ + c) * 5; }
    std::int32_t Stride() const { return cells_ * 5; }
    int Rows() const { return rows_; }
    std::uint8_t* Data() { return g_.data(); }

    // An element with a device ("X0", "M2000", "S3").
    TGridBuilder& El(int r, int c, TLdbKind kind, const std::string& dev) {
        const TParsedDevice d = ParseDeviceText(dev);
        std::uint8_t* cell = Cell(r, c);
        SetCellKind(cell, kind);
        SetCellDevType(cell, d.type);
        SetCellOperand(cell, static_cast<std::uint16_t>(d.number));
        return *this;
    }
    TGridBuilder& No(int r, int c, const std::string& dev) { return El(r, c, TLdbKind::Open_Ry, dev); }
    TGridBuilder& Nc(int r, int c, const std::string& dev) { return El(r, c, TLdbKind::Close_Ry, dev); }
    TGridBuilder& Stl(int r, int c, const std::string& dev) { return El(r, c, TLdbKind::State_Ry, dev); }
    // A coil at the row's last cell, wires from column `from` up to it.
    TGridBuilder& Coil(int r, int from, const std::string& dev) {
        Wire(r, from, cells_ - 1);
        return El(r, cells_ - 1, TLdbKind::Out_Ry, dev);
    }
    // Wires over cells [from, to).
    TGridBuilder& Wire(int r, int from, int to) {
        for (int c = from; c < to; ++c) SetCellKind(Cell(r, c), TLdbKind::H_Line);
        return *this;
    }
    // A vertical link from the junction of (r, c) down to (r + 1, c).
    TGridBuilder& Down(int r, int c) {
        std::uint8_t* cell = Cell(r, c);
        if (CellKind(cell) == TLdbKind::non_inst) SetCellKind(cell, TLdbKind::V_Line);
        SetCellLinkDown(cell, true);
        return *this;
    }
    // A box head holding an instruction word.
    TGridBuilder& Box(int r, int c, std::uint16_t word) {
        SetCellKind(Cell(r, c), TLdbKind::Spec_Fun);
        SetCellOperand(Cell(r, c), word);
        return *this;
    }
    TGridBuilder& Connector(int r, int c, std::uint16_t number) {
        SetCellKind(Cell(r, c), TLdbKind::Re_Line);
        SetCellOperand(Cell(r, c), number);
        return *this;
    }
    TGridBuilder& Comment(int r, const std::string& text) {
        SetBlockCommentRow(Cell(r, 0), text);
        return *this;
    }
    // Renormalises every row with the link rule (stored grids only).
    TGridBuilder& Renormalise() {
        RecalcRows(Stride(), rows_ - 1, g_.data(), rows_);
        return *this;
    }

private:
    int rows_, cells_;
    std::vector<std::uint8_t> g_;
};

}  // namespace qel::test
