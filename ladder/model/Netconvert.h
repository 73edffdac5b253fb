#pragma once
// One ladder network to instruction-list lines: reads the network's work grid
// into its circuit tree (Elecirgraph.h), emits the instructions
// (Circuit.h) and writes each as a line of text with the grid cell it came
// from, ready for the assembler.
#include <cstdint>
#include <string>
#include <vector>

#include "ladder/model/Elecirgraph.h"

// One instruction line and the ladder cell it came from.
struct TInstTextLine {
    std::int32_t row = 0;     // grid row of the element that starts the line
    std::int32_t column = 0;  // its cell, 1-based; 0 for a line without element
    std::string text;         // "LD  X0", "DAND>  D0  K100000", "P3"
};

// Where the cells of a wide work-grid row came from: segment s of wide row w
// was grid row gridRow[w * segments + s] (-1 when the segment was not copied
// from any row). The columns of a segment are those of its grid row.
struct TWideOrigins {
    std::int32_t segments = 1;
    std::vector<std::int32_t> gridRow;
    // Finer, when given: the grid cell of each cell of the wide rows (cell
    // index c of wide row w at w * segments * 12 + c) as grid row x 12 + cell
    // index, -1 for a cell the unfold made. It follows outputs that moved.
    std::vector<std::int32_t> gridCell;
    // Grid row and 1-based column of cell index `col` of wide row `row`.
    bool Map(std::int32_t row, std::int32_t col, std::int32_t& gridRowOut, std::int32_t& gridColOut) const;
};

// The operand text of a token ("K4M0", "D10E", "H0F", "K-1", "X17").
std::string OperandText(const TLadOperand& op);

// Converts the first `rows` wide rows of the work grid (stride a multiple of
// 60) into lines. pLabel / iLabel: the network's labels, -1 when none; both are
// written when both are given (P first). `origins` maps cells back to the grid;
// without it a cell of wide row r, index c maps to row startRow + r + (c / 12) x rows.
// Returns false with `err` set on a layout error; true with no lines for an
// empty network. With `endsOpen` the network is read as a transition's
// condition (BuildCircuitTree's open end); *endsOpen tells whether it ended
// in open wire.
bool ConvertNetworkToInst(const std::uint8_t* grid, std::int32_t stride, std::int32_t rows, std::int32_t startRow,
                          std::int32_t pLabel, std::int32_t iLabel, const TWideOrigins* origins,
                          std::vector<TInstTextLine>& lines, TLayoutError& err, bool* endsOpen = nullptr);
