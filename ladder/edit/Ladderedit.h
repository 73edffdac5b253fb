#pragma once
// The ladder being edited, without a window: which grid, its label tables and
// row capacity, the edit cursor, the placement of elements (contacts, coils,
// boxes, compares, lines, labels) in insert or overwrite mode, deleting an
// element and the cursor moves of the key table. The ladder window translates
// keys, clicks and dialog entries into these calls and repaints; tests drive
// them directly.
//
// Every change either completes or leaves the grid and the label tables byte
// for byte as they were; a refusal reports the message id to show.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ladder/model/LadderGrid.h"

/// The element classes of the ladder's element buttons and of a typed line.
enum class TLadderClass : int {
    Open = 0,      ///< normally open contact (LD, AND, OR)
    Close = 1,     ///< normally closed contact (LDI, ANI, ORI)
    Rise = 2,      ///< rising-edge contact (LDP)
    Fall = 3,      ///< falling-edge contact (LDF)
    Box = 4,       ///< applied-instruction box (and SET, RST, timers, counters ...)
    Coil = 5,      ///< output coil (OUT)
    Step = 6,      ///< step contact (STL)
    HLine = 7,     ///< horizontal line
    VLine = 8,     ///< vertical line (a link down from the cursor cell's junction)
    Inv = 9,       ///< inverter (INV)
    Compare = 10,  ///< compare contact (LD=, AND>, OR<= ... by its compare code)
    PLabel = 11,   ///< pointer label P0..P255 on the label column
    ILabel = 12,   ///< interrupt label I000..I899 on the label column
};

/// Message ids a refusal reports.
namespace LadMsg {
constexpr int None = -1;
constexpr int Invalid = 0;          ///< the typed line is no valid element of its class
constexpr int NoRoom = 20;          ///< no room in the row (insert) or the grid
constexpr int NotHere = 22;         ///< the element cannot stand on that cell
constexpr int LabelColumnOnly = 23; ///< a label typed on a cell
constexpr int LabelUsed = 24;       ///< the label belongs to another row
constexpr int DeleteNothing = 38;   ///< nothing to delete there
constexpr int CommentRowBusy = 39;  ///< a block comment on a row holding elements
constexpr int VLineLabelColumn = 149;  ///< a vertical line on the label column
constexpr int BoxDoesNotFit = 215;  ///< a box that neither fits nor wraps
constexpr int NotPlaceable = 216;   ///< an instruction that is no ladder element
}  // namespace LadMsg

/// The outcome of an edit: whether the grid or a label changed, and the
/// message to show for a refusal (LadMsg::None when there is none).
struct TLadderEditResult {
    bool changed = false;
    int message = LadMsg::None;
};

/// The grid an editor works on.
struct TLadderDoc {
    std::uint8_t* grid = nullptr;     ///< rows of 60 bytes
    std::int32_t capacity = 0;        ///< rows of the grid
    TLabelTables labels{nullptr, nullptr};
    bool program = true;              ///< the program's own ladder (step marks, block comments)
    /// Rung comments (entry r: row r), moved along when an edit adds rows; may be null.
    std::vector<std::string>* rowComments = nullptr;
};

class TLadderEdit {
public:
    TLadderEdit() = default;
    explicit TLadderEdit(const TLadderDoc& doc) { SetDoc(doc); }

    /// Points the editor at another grid; the cursor goes to row 0, column 0.
    void SetDoc(const TLadderDoc& doc);
    const TLadderDoc& Doc() const { return doc_; }

    // ---- cursor ---------------------------------------------------------
    std::int32_t Row() const { return row_; }
    /// Byte column: -5 the label column, else 0, 5, ..., 55.
    std::int32_t Col() const { return col_; }
    /// Puts the cursor on (row, col), clamped into the grid and snapped to the
    /// head of the element under it.
    void SetCursor(std::int32_t row, std::int32_t col);
    /// Rows a page of the window shows; PgUp, PgDn and the bottom of the
    /// reachable area (one page past the last used row) follow it.
    void SetPageRows(std::int32_t rows) { pageRows_ = rows < 1 ? 1 : rows; }
    std::int32_t PageRows() const { return pageRows_; }
    /// The last row the cursor may reach: one page past the last used row,
    /// never past the grid.
    std::int32_t RowLimit() const;

    void Left();
    void Right();
    void Up();
    void Down();
    void PageUp();
    void PageDown();
    void Home();
    void End();

    // ---- what the grid holds -------------------------------------------
    /// Last used row (-1 for an empty grid); kept up to date by the edits.
    std::int32_t LastRow() const { return lastRow_; }
    /// Recounts the last used row after someone else wrote into the grid.
    void Refresh();
    /// Cells the element at (row, col) covers (a box, a compare: its tokens
    /// too; a block-comment row 12; anything else 1).
    std::int32_t CellSpan(std::int32_t row, std::int32_t col) const;
    const std::uint8_t* RowAt(std::int32_t row) const { return CellAt(doc_.grid, row, 0); }

    // ---- edits ----------------------------------------------------------
    /// Insert (true) or overwrite mode for the placements.
    bool insertMode = true;
    /// Called once before an edit changes anything (the window records its
    /// undo snapshot there); never called for a refusal.
    std::function<void()> BeforeChange;

    /// Places an element of class `cls` at the cursor. `line` is the typed
    /// instruction line ("LD X0", "MOV K1 D0", "LD>= D0 K5", "P3"); classes
    /// 7, 8 and 9 need none. The cursor moves as after typing: past the
    /// element in overwrite mode, to the next row after an output.
    TLadderEditResult Place(TLadderClass cls, std::string_view line = {});
    /// Places a typed line, its class taken from its mnemonic (labels on the
    /// label column only).
    TLadderEditResult PlaceTyped(std::string_view line);
    /// Deletes the element under the cursor (the labels on the label column).
    TLadderEditResult DeleteElement();
    /// Removes the vertical link leaving the cursor cell.
    TLadderEditResult DeleteVLine();
    /// Makes the cursor row a block-comment row holding `text` (the row must be
    /// empty or a block-comment row already).
    TLadderEditResult SetBlockComment(std::string_view text);

    /// The class a typed mnemonic stands for; false for a line that is no
    /// ladder element (ANB, MPS, ...) or no instruction at all.
    static bool ClassOfLine(std::string_view line, TLadderClass& cls);

private:
    std::uint8_t* Cell(std::int32_t row, std::int32_t col) { return CellAt(doc_.grid, row, col); }
    const std::uint8_t* Cell(std::int32_t row, std::int32_t col) const { return CellAt(doc_.grid, row, col); }
    bool IsCommentRow(std::int32_t row) const { return IsBlockCommentRow(RowAt(row)); }
    void SnapToHead();
    std::int32_t FirstOutputColumn(std::int32_t row) const;

    TLadderEditResult PlaceLabel(TLadderClass cls, std::string_view line);
    TLadderEditResult PlaceVLine();
    TLadderEditResult PlaceOutput(const std::vector<std::uint8_t>& cells);
    TLadderEditResult PlaceInline(const std::vector<std::uint8_t>& cells);
    // Work on a copy of the grid's rows [first, first + count) so that a
    // refusal half-way leaves nothing behind.
    bool MakeRoom(std::vector<std::uint8_t>& rows, std::int32_t first, std::int32_t r, std::int32_t c,
                  std::int32_t n) const;
    // Widens the network around row r by n bytes at column c and folds it
    // back into rows joined by connectors; the element's cells go into the
    // gap (a folded network is joined again first). False, nothing changed,
    // when it cannot be joined or folded, or the grid has no room for its rows.
    bool Widen(std::int32_t r, std::int32_t c, const std::vector<std::uint8_t>& cells);
    bool WrapRow(std::vector<std::uint8_t>& rows, std::int32_t first, std::int32_t r, std::int32_t c,
                 std::int32_t& contRow) const;
    void NetworkBounds(std::int32_t row, std::int32_t& first, std::int32_t& last) const;
    // The same, with the rows a folded network continues on through connectors.
    void FoldedBounds(std::int32_t row, std::int32_t& first, std::int32_t& last) const;
    void Commit(const std::vector<std::uint8_t>& rows, std::int32_t first);
    void Renode(std::int32_t firstRow, std::int32_t lastRow);
    void Changed();

    TLadderDoc doc_;
    std::int32_t row_ = 0, col_ = 0;
    std::int32_t lastRow_ = -1;
    std::int32_t pageRows_ = 10;
};

/// The cells of an element typed as an instruction line, as the ladder holds
/// them: one cell for a contact or coil, the head and its operand tokens for
/// a box or compare. Empty when the line is not a valid element of the class
/// for the current model family. `compareCode` receives a compare's code.
std::vector<std::uint8_t> BuildElementCells(TLadderClass cls, std::string_view line);
