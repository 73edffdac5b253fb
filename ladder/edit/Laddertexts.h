#pragma once
// The texts the ladder shows in and beside its cells: the operand text of a
// cell (device letter and number in the device's radix, digit-group prefix,
// index register, 32-bit values across two cells), the row's label, and the
// cutting of comments into the short lines that fit under a cell.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ladder/model/LadderGrid.h"

/// Text of the operand of the cell at (row, col) of a 60-byte-row grid:
/// "X17", "K4M0", "D100E1", "HFF", "K-5", "K100000"; empty for a cell
/// without a device.
std::string CellOperandText(const std::uint8_t* grid, std::int32_t row, std::int32_t col);

/// The first character of CellOperandText at (row, col), 0 when that text is
/// empty; read from the cell without building the text, so that a search can
/// pass over the cells whose text cannot start as what it looks for.
char CellOperandLead(const std::uint8_t* grid, std::int32_t row, std::int32_t col);

/// The label a row carries in the tables ("P3", "I001"), empty when none.
std::string RowLabelText(TLabelTables labels, std::int32_t row);

/// Cuts a comment into at most `maxLines` lines of at most `lineBytes` width
/// units (an ASCII character 1, any other character 2, as in the double-byte
/// code page the widths were chosen for), never inside a character: a cut
/// that would split one moves before it.
std::vector<std::string> CommentLines(std::string_view text, std::size_t lineBytes, std::size_t maxLines);

/// The device a cell's comment belongs to: letter of "XYMSTCDPI" and number;
/// false for a cell whose device has no comment list (constants, E, F ...).
bool CellCommentDevice(const std::uint8_t* cell, char& letter, std::int32_t& number);

/// The mnemonic drawn in a box head (the instruction of its operand word).
std::string BoxMnemonic(const std::uint8_t* cell);
