#pragma once
// Blocks of a ladder: a stream of cells from a start cell through whole rows
// to an end cell, as the 60-byte rows lie one after another. A block is what
// the selection marks, what copy puts on the clipboard under "CF_LADDER" and
// what paste and insert-block write back. No window here: the codec and its
// validator run on any bytes (the clipboard may hold anything under our
// format) and are tested under the sanitizers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ladder/model/LadderGrid.h"

/// The marked stream: from (startRow, startCol) to (endRow, endCol), the end
/// column exclusive (60: the end row whole).
struct TLadderSelection {
    bool active = false;
    std::int32_t startRow = 0, startCol = 0;
    std::int32_t endRow = 0, endCol = 0;

    bool Contains(std::int32_t row, std::int32_t col) const {
        if (!active || col < 0 || row < startRow || row > endRow) return false;
        if (row == startRow && col < startCol) return false;
        if (row == endRow && col >= endCol) return false;
        return true;
    }
};

/// What stands beside a row the block holds whole (from column 0, nothing of
/// the row left outside the block): the row's labels and its rung comment.
/// They travel with the row as its cells do.
struct TBlockRowBeside {
    std::int32_t row = 0;  ///< row of the block, 0 for its first
    std::int32_t pLabel = -1, iLabel = -1;
    std::string comment;
    bool operator==(const TBlockRowBeside&) const = default;
};

/// A block as the clipboard carries it: the first part (from the start column
/// to its row's end, or to the end column on a one-row block), whole middle
/// rows and the last part (from column 0 to the end column).
struct TLadderBlock {
    bool multiRow = false;        ///< the block reaches past its first row
    std::int32_t firstLength = 0;
    std::int32_t middleRows = 0;
    std::int32_t lastLength = 0;
    std::vector<std::uint8_t> bytes;  ///< first, middle and last part, without gaps
    /// The rows held whole, in row order; empty when the clipboard had no
    /// such list (a block of another program keeps what stands beside the
    /// rows it lands on).
    std::vector<TBlockRowBeside> beside;

    std::int32_t MiddleLength() const { return middleRows * kLdbRowBytes; }
    std::int32_t Size() const { return firstLength + MiddleLength() + lastLength; }
    /// Rows the block covers when written from a cursor row.
    std::int32_t Rows() const { return multiRow ? middleRows + 2 : 1; }
    /// Rows an insert-block adds (the last part's row only when it holds cells).
    std::int32_t InsertRows() const { return middleRows + 1 + (lastLength > 0 ? 1 : 0); }
};

/// The clipboard format's name.
inline constexpr const char* kLadderClipFormat = "CF_LADDER";
/// Bytes of the clipboard header: total size, middle rows and three
/// offset/length pairs, u32 little-endian each.
constexpr std::size_t kLadderClipHeader = 32;

/// The bytes the selection marks in `grid`; an inactive or empty selection
/// gives an empty block.
TLadderBlock CopyLadderBlock(const std::uint8_t* grid, const TLadderSelection& sel);

/// The clipboard format carrying what stands beside the rows of a block,
/// beside "CF_LADDER" (whose bytes stay as they are).
inline constexpr const char* kLadderBesideClipFormat = "application/x-qel-ladder-beside";
/// The longest rung comment the list carries (as the project files store them).
constexpr std::size_t kBesideCommentMax = 128;

/// The clipboard bytes of a block's beside list: u32 count, then per row u32
/// row, i32 P label, i32 I label, u32 comment length and the comment's bytes.
std::vector<std::uint8_t> EncodeBlockBeside(const TLadderBlock& block);
/// Reads a beside list back into `block` (whose rows it must fit): false,
/// `block` untouched, unless every row lies inside the block in ascending
/// order, every label is one of the tables' or -1 and every comment fits.
bool DecodeBlockBeside(const std::uint8_t* data, std::size_t size, TLadderBlock& block);

/// The clipboard bytes of a block (header + block bytes); empty for an empty block.
std::vector<std::uint8_t> EncodeLadderBlock(const TLadderBlock& block);

/// Reads clipboard bytes back. False, `out` untouched, unless everything
/// agrees: total = 32 + the three lengths and within `size`, offsets where the
/// parts follow each other, parts of whole cells no longer than a row, middle
/// length = middle rows x 60 and at most `maxRows` rows, every cell of a
/// known kind, node and device type, block-comment rows only as whole rows,
/// and operand tokens only after the box or compare they belong to.
bool DecodeLadderBlock(const std::uint8_t* data, std::size_t size, std::int32_t maxRows, TLadderBlock& out);
