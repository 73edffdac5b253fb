#pragma once
// Cell primitives every ladder operation builds on: element bounds, the link
// rule that computes a cell's node code, row renormalisation, link get/set,
// row labels, clearing a box, empty rows and the step-mark list.
//
// Grids are byte pointers to row 0 (see LadderGrid.h); rows and columns are
// signed 32-bit, columns being byte offsets (0, 5, ..., 55). Functions with a
// rowBytes argument work on any stride, the others assume 60.
#include <cstdint>
#include <vector>

#include "ladder/model/LadderGrid.h"

// Start column of the element covering (row, col). col < 0: col itself. On an
// operand token: walks left to the first non-token cell (the box or compare
// head; column 0 at the latest). A block-comment row: 0. Otherwise col.
std::int32_t FindElementStart(const std::uint8_t* grid, std::int32_t row, std::int32_t col);

// End column of the element covering (row, col), starting from its head when
// col is a token. Block-comment row: 60. A box (Spec_Fun): the column just past
// its last token (60 when it reaches the row's end). A compare (Comp_Ry): the
// column of its last token. Any other cell: col.
std::int32_t FindElementEnd(const std::uint8_t* grid, std::int32_t row, std::int32_t col);

// Recomputes the node code and the down link of one cell from its neighbours
// (Up, Down, Left, Self). Tokens and block-comment rows are left alone. The
// grid has `rowCount` rows: on the last row there is no cell below, so Down
// never holds there and the link flag is cleared.
void RecalcCellNode(std::int32_t row, std::int32_t col, std::int32_t rowBytes, std::uint8_t* grid,
                    std::int32_t rowCount);

// Renormalises rows 0..lastRow: every cell up to and including the row's first
// coil or box gets the link rule (cells right of it, its tokens, are left
// alone); column 0 of an element row follows the rail rule (node "hl" when it
// holds an element or a junction, no down link). Block-comment rows keep every
// byte. `rowCount` is the number of rows the grid has (the Down rule looks at
// row lastRow + 1 when it exists); rows at or past rowCount are never touched.
// Nothing happens when lastRow < 0.
void RecalcRows(std::int32_t rowBytes, std::int32_t lastRow, std::uint8_t* grid,
                std::int32_t rowCount);

// Column of the row's first coil (Out_Ry) or box (Spec_Fun) scanning from
// column 0; rowBytes when there is none; 0 when rowBytes <= 0.
std::int32_t FindBoxOrCoil(std::int32_t row, std::int32_t rowBytes, const std::uint8_t* grid);

// Link code of a cell: node nibble | link flags.
std::uint8_t GetCellLink(std::int32_t row, std::int32_t col, std::int32_t rowBytes,
                         const std::uint8_t* grid);
// Writes the link code (node nibble := code & 0x0F, link flags := code & 0xF0),
// leaving kind and device type alone.
void SetCellLink(std::int32_t row, std::int32_t col, std::int32_t rowBytes, std::uint8_t code,
                 std::uint8_t* grid);

// The label carried by `row` in the given tables: the P table is searched
// first, so a row listed in both reports its P label. `number` receives the
// label number (unchanged when none is found).
TLabelKind FindRowLabelIn(TLabelTables tables, std::int32_t row, std::int32_t& number);
// The same on the program's own label tables (gPLabelRows, gILabelRows).
TLabelKind FindRowLabel(std::int32_t& number, std::int32_t row);

// Clears the first box or compare that starts within [col, col + nBytes) of a
// stored row, together with all of its tokens (also those past the span);
// nothing happens when the span holds no box or compare head.
void ClearBoxRun(std::int32_t row, std::int32_t col, std::int32_t nBytes, std::uint8_t* grid);

// True when all 60 bytes of the row are 0.
bool IsLadderRowEmpty(const std::uint8_t* row);

// Highest row index <= fromRow holding a non-zero byte, -1 when none; a
// negative fromRow is returned unchanged.
std::int32_t FindLastUsedRow(const std::uint8_t* grid, std::int32_t rowBytes, std::int32_t fromRow);

// The step marks of the program's ladder (see TStepMark); their count is
// gMarkList.size().
extern std::vector<TStepMark> gMarkList;

// Appends a step mark.
void AddMark(std::uint16_t row, std::uint16_t step);
// Empties the step-mark list.
void FreeMarkList();
