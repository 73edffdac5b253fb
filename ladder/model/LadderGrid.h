#pragma once
// The ladder grid: how a ladder diagram is held in memory and in the ".lad"
// file. A grid is a plain array of 60-byte rows, each row twelve 5-byte cells.
// Everything on the ladder side (code-to-ladder conversion, compile, editor,
// drawing, monitor, clipboard) reads and writes exactly this format, so the
// layout below is fixed byte by byte.
//
// Cell bytes (multi-byte values little-endian):
//   byte 0      cell 0 of a row: the row flags (kRowBlockComment, kRowConsumed).
//               An operand token cell: the token modifier (index register and
//               32-bit flag, see "Operand tokens" below). Otherwise 0.
//   byte 1      high nibble: element kind (TLdbKind)
//               low nibble : node code (TLdbNode); in a token of a digit-group
//                            operand (K4M0) the digit count n instead
//   byte 2      high nibble: link flags; only kLinkDown (0x10) occurs
//               low nibble : device type code of the operand (CellDev), 0 = none
//   bytes 3-4   u16 operand: device number, instruction word, compare code or
//               connector number, by kind
//
// Columns are byte offsets of a cell in its row: 0, 5, ..., 55. Column 60 means
// "past the row's end" and -5 is the row-label column left of cell 0, where a
// row's P or I label is shown and typed (labels live in the label tables, not
// in cells).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "project/Qelglobals.h"  // grid and label-table sizes, the program's grids

// ---------------------------------------------------------------------------
// Sizes

constexpr int kLdbCellBytes = 5;    // one cell
constexpr int kLdbRowCells = 12;    // cells per stored row
constexpr int kLdbRowBytes = kLadderRowBytes;  // stride of every stored grid (60)
constexpr int kLdbLastColumn = 55;  // column of the last cell of a row
constexpr int kPastRowEnd = 60;     // column value "past the row's end"
constexpr int kLabelColumn = -5;    // column value of the row-label column

// Rows of gLadderRows: kLadderRows; of the SFC inner ladder at start:
// kInterLadderRowsAtStart (project/Qelglobals.h).
constexpr int kInterLadderGrowRows = 1000;    // the inner ladder grows by this many rows
constexpr int kBlockCommentChars = 58;        // text bytes 1..58 of a block-comment row

// ---------------------------------------------------------------------------
// Cell and row

// One grid cell; see the byte table at the top of this file.
struct TLdbCell {
    std::uint8_t b[kLdbCellBytes];
};

// One stored grid row of twelve cells (60 bytes).
struct TLdbRow {
    TLdbCell cell[kLdbRowCells];
};

static_assert(sizeof(TLdbCell) == 5 && sizeof(TLdbRow) == 60, "grid rows are stored byte for byte");

// Row flags in byte 0 of cell 0.
constexpr std::uint8_t kRowBlockComment = 0x10;  // high nibble 1: the row is a block comment
constexpr std::uint8_t kRowConsumed = 0x01;      // set by the compile on rows it already joined

// The hash of grid bytes that ladder keys and row matching take: FNV-1a
// eight bytes at a time, continued from `h` (kLadderHashStart to begin).
constexpr std::uint64_t kLadderHashStart = 0xcbf29ce484222325ull;
inline std::uint64_t LadderHash(std::uint64_t h, const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 0x100000001b3ull;
        h ^= h >> 29;
    }
    for (; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

// Link flag in the high nibble of byte 2: a vertical link leaves this cell's
// junction downwards to the cell below.
constexpr std::uint8_t kLinkDown = 0x10;

// Element kinds (byte 1, high nibble). The names are the system's own and are
// printed by the network trace (see LdbKindName).
enum class TLdbKind : std::uint8_t {
    non_inst = 0,   // empty; may still carry a node code and a link
    Open_Ry = 1,    // normally-open contact (LD, AND, OR and long forms)
    Close_Ry = 2,   // normally-closed contact (LDI, ANI, ORI and long forms)
    Out_Ry = 3,     // coil (OUT, long OUT)
    Spec_Fun = 4,   // box head: operand = the instruction word; tokens follow
    H_Line = 5,     // horizontal wire
    V_Line = 6,     // empty cell a vertical link passes through
    Re_Line = 7,    // connector of a folded network; operand = connector number
    Spec_Token = 8, // operand token of a box or compare contact
    Token_32bs = 9, // second cell of a 32-bit operand
    State_Ry = 10,  // STL step contact (device S)
    Tu_Ry = 11,     // rising-edge contact (LDP, ANDP, ORP)
    Td_Ry = 12,     // falling-edge contact (LDF, ANDF, ORF)
    Inv_Ry = 13,    // INV
    Comp_Ry = 14,   // compare contact head; operand = compare code 0..11
};

// Node codes (byte 1, low nibble): which wires meet at a cell's left junction
// (Up, Down, Left, Self). RecalcCellNode (Lad.h) computes them.
enum class TLdbNode : std::uint8_t {
    non_node = 0,  // no junction
    vl = 1,        // Up, or Up + Down
    hl = 2,        // Left + Self; or Self on the left rail (column 0)
    LU = 3,        // Down + Self
    UhDv = 4,      // Down + Left + Self
    RU = 5,        // Down + Left
    LvRh = 6,      // Up + Down + Self
    Cros = 7,      // Up + Down + Left + Self
    LhRv = 8,      // Up + Down + Left
    LD = 9,        // Up + Self
    UvDh = 10,     // Up + Left + Self
    RD = 11,       // Up + Left
};

// Device type codes (byte 2, low nibble). 15 is no device but is passed
// through unchanged by the text conversions (Ladtranslate.h).
namespace CellDev {
constexpr std::uint8_t None = 0;
constexpr std::uint8_t C = 1;
constexpr std::uint8_t D = 2;
constexpr std::uint8_t H = 3;
constexpr std::uint8_t K = 4;
constexpr std::uint8_t M = 5;
constexpr std::uint8_t S = 6;
constexpr std::uint8_t T = 7;
constexpr std::uint8_t E = 8;
constexpr std::uint8_t X = 9;
constexpr std::uint8_t Y = 10;
constexpr std::uint8_t F = 11;
constexpr std::uint8_t P = 12;
constexpr std::uint8_t N = 13;
constexpr std::uint8_t I = 14;
constexpr std::uint8_t Text = 15;
}  // namespace CellDev

// Compare codes (operand of a Comp_Ry head): the position within a group of
// twelve; even codes are the 16-bit forms, odd codes the 32-bit ("D") forms.
// The cell does not tell LD, AND and OR compares apart: the place in the
// network does.
constexpr int kCompareCodeCount = 12;
extern const char* const kCompareOperatorText[kCompareCodeCount];  // "=", "D=", ">", ...

// The system's names of the kinds ("non_inst", "Open_Ry", ...), for traces.
const char* LdbKindName(TLdbKind kind);
// The names of the node codes ("non_node", "vl", ...), for traces.
const char* LdbNodeName(TLdbNode node);

// ---------------------------------------------------------------------------
// Cell access. `grid` is the first byte of row 0; rowBytes is the stride
// (60 for stored grids, wider for the converter's work grid).

// The cell at (row, col) of a grid of the given stride.
inline std::uint8_t* CellAt(std::uint8_t* grid, std::int32_t row, std::int32_t col,
                            std::int32_t rowBytes = kLdbRowBytes) {
    return grid + static_cast<std::ptrdiff_t>(row) * rowBytes + col;
}
inline const std::uint8_t* CellAt(const std::uint8_t* grid, std::int32_t row, std::int32_t col,
                                  std::int32_t rowBytes = kLdbRowBytes) {
    return grid + static_cast<std::ptrdiff_t>(row) * rowBytes + col;
}

// Element kind of a cell.
inline TLdbKind CellKind(const std::uint8_t* cell) { return static_cast<TLdbKind>(cell[1] >> 4); }
// Sets the element kind, keeping the node nibble.
inline void SetCellKind(std::uint8_t* cell, TLdbKind kind) {
    cell[1] = static_cast<std::uint8_t>((cell[1] & 0x0F) | (static_cast<unsigned>(kind) << 4));
}
// Node code of a cell (meaningless in a token cell).
inline TLdbNode CellNode(const std::uint8_t* cell) { return static_cast<TLdbNode>(cell[1] & 0x0F); }
// Sets the node code, keeping the kind.
inline void SetCellNode(std::uint8_t* cell, TLdbNode node) {
    cell[1] = static_cast<std::uint8_t>((cell[1] & 0xF0) | (static_cast<unsigned>(node) & 0x0F));
}
// True when a vertical link leaves this cell's junction downwards.
inline bool CellLinksDown(const std::uint8_t* cell) { return (cell[2] & kLinkDown) != 0; }
// Sets or clears the down link, keeping the device type.
inline void SetCellLinkDown(std::uint8_t* cell, bool on) {
    cell[2] = static_cast<std::uint8_t>(on ? (cell[2] | kLinkDown) : (cell[2] & 0x0F));
}
// Device type code of a cell's operand (CellDev), 0 when none.
inline std::uint8_t CellDevType(const std::uint8_t* cell) { return cell[2] & 0x0F; }
// Sets the device type, keeping the link flags.
inline void SetCellDevType(std::uint8_t* cell, std::uint8_t type) {
    cell[2] = static_cast<std::uint8_t>((cell[2] & 0xF0) | (type & 0x0F));
}
// The u16 operand of bytes 3-4.
inline std::uint16_t CellOperand(const std::uint8_t* cell) {
    return static_cast<std::uint16_t>(cell[3] | (cell[4] << 8));
}
// Writes the u16 operand of bytes 3-4.
inline void SetCellOperand(std::uint8_t* cell, std::uint16_t value) {
    cell[3] = static_cast<std::uint8_t>(value & 0xFF);
    cell[4] = static_cast<std::uint8_t>(value >> 8);
}

// True for the two operand-token kinds (Spec_Token, Token_32bs).
inline bool IsTokenKind(TLdbKind kind) {
    return kind == TLdbKind::Spec_Token || kind == TLdbKind::Token_32bs;
}
// True when the cell is an operand token.
inline bool IsTokenCell(const std::uint8_t* cell) { return IsTokenKind(CellKind(cell)); }

// True when the row (its first byte) is a block-comment row. Such a row holds
// no elements: bytes 1..58 are the comment text, a fixed 58-byte field that is
// NUL-padded when shorter (a 58-character text has no terminator).
inline bool IsBlockCommentRow(const std::uint8_t* row) { return (row[0] >> 4) == 1; }
// The text of a block-comment row (at most 58 characters).
std::string BlockCommentText(const std::uint8_t* row);
// Makes `row` (60 bytes) a block-comment row holding `text`, cut to 58 bytes
// without splitting a UTF-8 character.
void SetBlockCommentRow(std::uint8_t* row, const std::string& text);

// ---------------------------------------------------------------------------
// Operand tokens
//
// A Spec_Token holds one decoded operand: device type in byte 2, number (a
// constant: its low 16 bits) in bytes 3-4, the digit count n of a "Kn" group
// in the node nibble, and in byte 0 the token modifier:
//
//   bit 7 (0x80)  the operand is indexed by an index register
//   bit 4 (0x10)  the operand is 32-bit (a Token_32bs cell follows it)
//   bit 3 (0x08)  the index register is F (clear: E)
//   bits 2-0      the index register's number 0..7 (0 = plain E or F)
//
// So D0E has byte 0 = 0x80, K4X0F1 0x89, a 32-bit D10E7 0x97, a plain
// 32-bit constant 0x10. This is the one encoding of index registers in cells:
// the code-to-ladder conversion writes it and the compile reads it back, both
// through the helpers below, so indexed operands round-trip unchanged.
// A Token_32bs after a 32-bit constant holds its high 16 bits in bytes 3-4 with
// device type K or H; after a 32-bit device it is bare (kind only).

// An index register: letter 'E' or 'F' (0 = none) and number 0..7.
struct TIndexReg {
    char letter = 0;
    std::uint8_t number = 0;
    bool operator==(const TIndexReg&) const = default;
};

constexpr std::uint8_t kTokenIndexed = 0x80;
constexpr std::uint8_t kToken32 = 0x10;
constexpr std::uint8_t kTokenIndexF = 0x08;

// Builds a token modifier byte from an index register and the 32-bit flag.
inline std::uint8_t MakeTokenModifier(TIndexReg reg, bool is32) {
    std::uint8_t m = is32 ? kToken32 : 0;
    if (reg.letter == 'E' || reg.letter == 'F') {
        m |= kTokenIndexed | (reg.letter == 'F' ? kTokenIndexF : 0) | (reg.number & 0x07);
    }
    return m;
}
// The index register of a token modifier byte (letter 0 when not indexed).
inline TIndexReg TokenIndexReg(std::uint8_t modifier) {
    TIndexReg r;
    if (modifier & kTokenIndexed) {
        r.letter = (modifier & kTokenIndexF) ? 'F' : 'E';
        r.number = modifier & 0x07;
    }
    return r;
}
// True when a token modifier byte marks a 32-bit operand.
inline bool TokenIs32(std::uint8_t modifier) { return (modifier & kToken32) != 0; }
// The text of an index register as appended to an operand: "", "E", "F3", ...
std::string IndexRegText(TIndexReg reg);

// ---------------------------------------------------------------------------
// Label tables
//
// Entry n of a P table (P0..P255) or I table (I000..I899) is the row that
// carries that label, -1 when the label is free. A row carries at most one P
// and at most one I label; the label belongs to the network starting on that
// row. The program's tables (gPLabelRows, gILabelRows) and the SFC inner
// ladder's are owned by the shell; the model code takes them as TLabelTables.

// Table sizes: kPLabelCount (256) and kILabelCount (900), project/Qelglobals.h.

// A pair of label tables belonging to one grid.
struct TLabelTables {
    std::int32_t* pRows;  // kPLabelCount entries
    std::int32_t* iRows;  // kILabelCount entries
};

// Which table a row label was found in.
enum class TLabelKind { None = 0, P = 1, I = 2 };

// Sets every entry of both tables to -1.
void ResetLabelTables(TLabelTables tables);

// ---------------------------------------------------------------------------
// Step marks
//
// One mark per network placed by the last code-to-ladder conversion of the
// program, in ascending row order: the network's first grid row and the step
// (code byte offset / 2) of its first instruction. The ladder window draws
// step numbers from them; a compile of the program's ladder and an undo
// snapshot of it empty the list.

// A step mark.
struct TStepMark {
    std::uint16_t row;
    std::uint16_t step;
    bool operator==(const TStepMark&) const = default;
};
