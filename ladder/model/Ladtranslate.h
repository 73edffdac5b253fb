#pragma once
// Device text of ladder cells: the device of a cell as text (X17, D100, H1F,
// K-5, E) and a typed device text written back into a cell. Inputs and
// outputs are octal, H constants hexadecimal, index registers carry no number
// when it is 0, everything else is decimal. Device search and replace and the
// ladder's device-name command go through here, so every place shows and
// accepts device names the same way.
//
// Cells are addressed by their index 0..11 in a stored row (stride 60), not by
// byte column.
#include <cstdint>
#include <string>
#include <string_view>

#include "ladder/model/LadderGrid.h"

// A parsed device text: type code (CellDev) and number.
struct TParsedDevice {
    std::uint8_t type = 0;
    std::int32_t number = 0;
};

// Text of the device of cell `cellIndex` of `row`; empty for a cell index < 0,
// a block-comment row, a kind that bears no device (only Open_Ry, Close_Ry,
// Out_Ry, Spec_Token, State_Ry, Tu_Ry, Td_Ry do), a kind other than
// `kindFilter` (non_inst = no filter) or a device type without a letter. A
// token followed by a Token_32bs gives its 32-bit value. K values are signed.
std::string CellDeviceText(const std::uint8_t* grid, std::int32_t row, std::int32_t cellIndex,
                           TLdbKind kindFilter = TLdbKind::non_inst);

// Writes the device `text` into cell `cellIndex` of `row` as an element of
// kind `kind` (a contact kind, State_Ry, Out_Ry or Spec_Token). True when the
// text is a valid device for that element within the current model family's
// limits and was written; false, with the cell unchanged, otherwise:
//   contacts   X, Y, M, S, T, C; the kind, type and number are written
//   State_Ry   S only
//   Out_Ry     Y, M, S (the devices a coil may drive)
//   Spec_Token an operand the owning box or compare contact accepts in that
//              position (a compare takes constants, digit groups and word
//              devices, indexed or not), with every register and bit it
//              reaches there the family's (OperandReachInFamily); a 32-bit
//              constant's high word goes to the Token_32bs that follows; DCNT
//              wants C200 and above, CNT below C200; a value that needs two
//              words is refused by a 16-bit operand. A digit group ("K4M0")
//              sets the digit count; a plain bit device keeps the token's.
//              An index suffix ("D10E") sets the index register, a text
//              without one keeps the token's.
bool SetCellDevice(std::string_view text, std::uint8_t* grid, std::int32_t row, std::int32_t cellIndex,
                   TLdbKind kind);

// The first device among `count` cells of one row (5 bytes each, as a row or a
// part of a clipboard block holds them) that the current family does not have as
// it stands, with all it reaches (OperandReachInFamily, the list's one judgement):
// a number past the family's range for its letter; a box's or compare's operand
// judged as that operand of its box's instruction: a digit group's bits, a 32-bit
// T, C or D operand (a token followed by its Token_32bs) with its next register,
// MUL's product, DIV's remainder, the result bits of CMP and ZCP. Its name
// ("D1311", "K4M1270", "M1279E" with its index register), or "" when the family
// has every device of the cells.
// Constants, texts and cells without a device pass.
std::string FirstDeviceBeyondFamily(const std::uint8_t* cells, std::int32_t count);

// Letter of a device type code (C, D, H, ...), the code itself for 15, 0 otherwise.
char DeviceTypeToLetter(std::uint8_t type);
// Device type code of a letter, 15 for the value 15, 0 for any other character.
std::uint8_t LetterToDeviceType(char letter);

// True for the contact kinds Open_Ry, Close_Ry, Tu_Ry, Td_Ry.
bool IsContactCellKind(TLdbKind kind);
// True for X, Y, C, T, S, M.
bool IsBitDeviceLetter(char letter);
// True for S, Y, M (devices a coil may drive).
bool IsOutputDeviceLetter(char letter);

// Number of a device text: for a digit group ("K4X20") the number of its
// device part; X and Y octal, H hexadecimal, other letters signed decimal;
// 0 when the text does not start with a letter.
std::int32_t ParseOperandNumber(std::string_view text);
// Type and number of a device text (trimmed and upper-cased first; at most
// 16 characters are looked at).
TParsedDevice ParseDeviceText(std::string_view text);
// True when the number does not fit one cell: H >= 0x10000 (unsigned), K >=
// 32768, any number < -32768, or C200 and above (32-bit counters).
bool NeedsTwoWords(std::uint8_t type, std::int32_t number);

// Instruction class of the box owning a token cell: inst::TMR (23), CNT (24),
// DCNT (25), RST (22), or 443 for any other box and for a token without a box
// head on its left in the same row. `rowStart` is the first byte of the row
// and `cellIndex` the token's index.
int BoxTokenClass(const std::uint8_t* rowStart, std::int32_t cellIndex);

// Bytes 3-4 of the cell := low 16 bits of number.
void WriteCellNumber16(std::uint8_t* cell, std::int32_t number);
// Bytes 3-4 := low 16 bits, bytes 3-4 of the next cell := high 16 bits.
void WriteCellNumber32(std::uint8_t* cell, std::int32_t number);
