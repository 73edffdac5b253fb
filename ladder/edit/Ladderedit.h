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
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ladder/edit/Ladderblock.h"
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
constexpr int CopyLabelColumn = 35;   ///< copy with the cursor on the label column
constexpr int CutLabelColumn = 36;    ///< cut with the cursor on the label column
constexpr int PasteLabelColumn = 37;  ///< paste or insert-block on the label column
constexpr int CommentRowBusy = 39;  ///< a block comment on a row holding elements
constexpr int NoDevice = 40;        ///< a device comment where no device is
constexpr int VLineLabelColumn = 149;  ///< a vertical line on the label column
constexpr int BoxDoesNotFit = 215;  ///< a box that neither fits nor wraps
constexpr int NotPlaceable = 216;   ///< an instruction that is no ladder element
constexpr int BesideLeftOut = 266;  ///< a paste into a ladder that keeps no block or rung comments
constexpr int LabelNotPlaced = 267; ///< a pasted row's label met a label of the row it landed on
constexpr int PasteBeyondFamily = 152;  ///< a pasted block holds a device the model lacks (which follows)
constexpr int NoPair = 281;         ///< an operand of the model reaching a register or bit it lacks (which follows)
}  // namespace LadMsg

/// The outcome of an edit: whether the grid or a label changed, and the
/// message to show for a refusal (LadMsg::None when there is none).
struct TLadderEditResult {
    TLadderEditResult(bool changed_ = false, int message_ = LadMsg::None, std::string detail_ = {})
        : changed(changed_), message(message_), detail(std::move(detail_)) {}
    bool changed = false;
    int message = LadMsg::None;
    std::string detail;  ///< what follows the message's text, if anything
};

/// The grid an editor works on.
struct TLadderDoc {
    std::uint8_t* grid = nullptr;     ///< rows of 60 bytes
    std::int32_t capacity = 0;        ///< rows of the grid
    TLabelTables labels{nullptr, nullptr};
    bool program = true;              ///< the program's own ladder (step marks, block comments)
    /// Rung comments (entry r: row r), moved along when an edit adds rows; may be null.
    std::vector<std::string>* rowComments = nullptr;
    /// Step marks of the last conversion (entry: first row and step of a
    /// network), moved along with their rows; may be null.
    std::vector<TStepMark>* marks = nullptr;
    /// Row identities (entry r: row r; GiveLadderRowIds), moved along with
    /// the rows and their comments; may be null (no comments to follow).
    std::vector<std::uint32_t>* rowIds = nullptr;
};

/// The whole state an undo step gives back: the used rows, both label
/// tables, the cursor, the scroll positions (the window's) and, where the
/// document has them, the rung comments and step marks.
struct TLadderSnapshot {
    std::vector<std::uint8_t> rows;  ///< rows 0 .. last used row
    std::vector<std::int32_t> pLabels, iLabels;
    std::optional<std::vector<std::string>> rowComments;
    std::optional<std::vector<TStepMark>> marks;
    /// The rows' identities, where the document keeps them: a comment typed
    /// since finds its row in the snapshot by them.
    std::vector<std::uint32_t> rowIds;
    std::int32_t cursorRow = 0, cursorCol = 0;
    int vScroll = 0, hScroll = 0;
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

    // ---- undo ------------------------------------------------------------
    /// The state now (scroll positions left 0 for the window to fill). The
    /// snapshot names its rows by identity: rows that have none yet get theirs
    /// first (GiveRowIds), so the document changes.
    TLadderSnapshot TakeSnapshot();
    /// Puts a snapshot's state back: rows past its rows become empty. The
    /// rung comments are the snapshot's, except those changed since this
    /// editor's last edit (typed in the rung-comment window): each goes to
    /// its row where the snapshot has it. Returns how many such comments
    /// found no row there (their row came with the edit taken back); they
    /// stay in the state now, which the caller's redo keeps.
    std::size_t RestoreSnapshot(const TLadderSnapshot& s);
    /// The comments changed beside rows since this editor's last edit (typed
    /// in the rung-comment window), by their rows' identities; none where the
    /// document keeps no identities.
    std::vector<std::pair<std::uint32_t, std::string>> CommentsTypedSince() const;
    /// Someone else rewrote the rows and their comments (a conversion): they
    /// are this editor's state from now on, as after its own edit.
    void TakeRows();

    // ---- selection and blocks ---------------------------------------------
    /// The marked block; `active` false when nothing is marked.
    const TLadderSelection& Selection() const { return sel_; }
    /// Nothing marked; the next selection starts from the cursor.
    void ClearSelection();
    /// Every used row (nothing on an empty grid).
    void SelectAll();
    /// Shift with a cursor key: the cursor moves as the key moves it and the
    /// block runs from where the selection started to the cursor's element.
    enum class SelectKey { Left, Right, Up, Down, End };
    void ExtendSelection(SelectKey key);
    /// A drag: the block runs from the cell the drag started on (the cursor
    /// when the selection was cleared) to the element at (row, col).
    void SelectTo(std::int32_t row, std::int32_t col);
    /// The marked bytes (empty when nothing is marked), with the labels and
    /// rung comments of the rows the block holds whole.
    TLadderBlock CopyBlock() const;
    /// Clears the marked block with the rung comments of the rows it holds
    /// whole, or without one the element (the labels on the label column) at
    /// the cursor. The selection ends.
    TLadderEditResult DeleteBlock();
    /// Cut: clears the marked block as DeleteBlock does, and the rows it holds
    /// whole give up their labels and rung comments, which the block
    /// (CopyBlock before the cut) carries.
    TLadderEditResult CutBlock();
    /// Writes a block over the grid from the cursor: parts holding an output
    /// put it at the row's end with wire up to it; the rows it carries whole
    /// bring their labels and rung comments. Checked whole first: a block
    /// that does not fit changes nothing (message 20), nor one that would
    /// write over a block-comment row (22, as typing there is). A ladder
    /// without block and rung comments (a step's) takes the block without
    /// them and says so (266).
    TLadderEditResult PasteBlock(const TLadderBlock& block);
    /// Inserts the block as new rows at the cursor row (rows below, their
    /// labels, rung comments and step marks move down).
    TLadderEditResult InsertBlock(const TLadderBlock& block);

    // ---- rows ----------------------------------------------------------
    /// An empty row at the cursor; the rows below move down with their
    /// labels, rung comments and step marks. Refused (20) when a used row
    /// would reach the grid's last row.
    TLadderEditResult InsertRow();
    /// Removes the cursor row with its labels, rung comment and step mark;
    /// the rows below move up.
    TLadderEditResult DeleteRow();

    /// The devices whose comments belong to the cursor's element (a box's
    /// and a compare's operands, the row's label on the label column), in
    /// order, as (letter of "XYMSTCDPI", number).
    std::vector<std::pair<char, std::int32_t>> CursorDevices() const;

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
    TLadderEditResult InsertOutput(const std::vector<std::uint8_t>& cells);
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
    // The same for an output typed in insert mode: it goes behind the
    // elements from column c on, the rows grow as far as it needs.
    bool WidenOutput(std::int32_t r, std::int32_t c, const std::vector<std::uint8_t>& cells);
    // The network around (r, c) as wide rows, and the cursor in them; false
    // when it cannot be joined.
    struct TWideNet;
    bool Unfold(std::int32_t r, std::int32_t c, TWideNet& net) const;
    // Folds the wide rows `buf` back and writes them over the network; the
    // cursor goes to the element whose head is at headCol of the cursor's
    // wide row. False, nothing changed, when the grid has no room.
    bool Refold(const TWideNet& net, std::vector<std::uint8_t>& buf, std::int32_t stride, std::int32_t headCol);
    bool WrapRow(std::vector<std::uint8_t>& rows, std::int32_t first, std::int32_t r, std::int32_t c,
                 std::int32_t& contRow) const;
    void NetworkBounds(std::int32_t row, std::int32_t& first, std::int32_t& last) const;
    // The same, with the rows a folded network continues on through connectors.
    void FoldedBounds(std::int32_t row, std::int32_t& first, std::int32_t& last) const;
    void Commit(const std::vector<std::uint8_t>& rows, std::int32_t first);
    void Renode(std::int32_t firstRow, std::int32_t lastRow);
    void Changed();
    void SelectRange(std::int32_t aRow, std::int32_t aCol, std::int32_t bRow, std::int32_t bCol);
    // Writes the block's parts into `rows` (block.Rows() rows holding the
    // target rows from the cursor row on). False, with rows half written,
    // when a part does not fit.
    bool WriteBlock(std::vector<std::uint8_t>& rows, std::int32_t col, const TLadderBlock& block) const;
    // The rows of the marked block (0 its first) that it holds whole: from
    // column 0, nothing of the row outside it.
    std::vector<std::int32_t> WholeRows(const TLadderBlock& block) const;
    // The block as this ladder keeps it: a ladder that is not the program's
    // gets empty rows for the block-comment rows, one without rung comments
    // none; `leftOut` counts what was left out.
    TLadderBlock BlockForThisLadder(const TLadderBlock& block, int& leftOut) const;
    // Puts the labels and rung comments a block carries beside the rows it
    // was written to from `row` (its first row at column `col`); the labels
    // that could not go beside their rows are named in `notPlaced`.
    void PlaceBeside(const TLadderBlock& block, std::int32_t row, std::int32_t col, std::string& notPlaced);
    // The result of a paste or block insert: its message for what it left out.
    static TLadderEditResult PasteResult(int leftOut, const std::string& notPlaced);
    /// The refusal of a typed line: `message`, or 281 with the operand when
    /// the line's one fault is an operand of the model that reaches a register
    /// or bit it lacks (a 32-bit pair, a digit group, a product, result bits).
    static TLadderEditResult Refused(std::string_view line, int message);
    // Moves rows [at, last used] down by n (n > 0) or removes n rows at `at`
    // (n < 0), with labels, rung comments and step marks.
    void ShiftRows(std::int32_t at, std::int32_t n);
    // The rung comments and row identities of rows from `at` on, moved as
    // ShiftRows moves the rows (the new rows get identities of their own).
    void ShiftRowComments(std::int32_t at, std::int32_t n);
    // Runs an edit on a copy of the document and writes the copy back only
    // when no connector pair of a folded rung lost a half (else message 20,
    // nothing changed). Every edit that writes or clears cells passes here.
    TLadderEditResult Guard(const std::function<TLadderEditResult()>& edit);
    // Delete on a connector: the rung is joined at that fold and written back
    // on fewer rows, when it then fits.
    TLadderEditResult JoinFold();
    // Delete row on a row of a folded rung: every row it continues on goes too.
    TLadderEditResult DeleteFoldedRow();

    TLadderDoc doc_;
    std::int32_t row_ = 0, col_ = 0;
    std::int32_t lastRow_ = -1;
    std::int32_t pageRows_ = 10;
    TLadderSelection sel_;
    std::int32_t anchorRow_ = 0, anchorCol_ = 0;
    bool guarding_ = false;
    // The rung comments as this editor's own last edit left them: those that
    // differ now were typed elsewhere (the rung-comment window) since, and an
    // undo or redo keeps them.
    std::optional<std::vector<std::string>> ownComments_;
    // The identities of the rows ownComments_ names (entry r: its row r);
    // empty when the document keeps none. Through a conversion a row drawn
    // again keeps its identity, and so its own comment.
    std::vector<std::uint32_t> ownIds_;
    // Records the comments and identities now as this editor's own.
    void KeepOwnComments();
    // Gives the document's rows 0..lastRow and the rows of its comments
    // their identities (GiveLadderRowIds); nothing where it keeps none.
    void GiveRowIds(std::int32_t lastRow);
    struct TScratch {
        std::vector<std::uint8_t> grid;
        std::vector<std::int32_t> pRows, iRows;
        std::vector<std::string> rowComments;
        std::vector<TStepMark> marks;
        std::vector<std::uint32_t> rowIds;
    } scratch_;
};

/// Puts comments typed since the last edit into a state of the undo or redo
/// list, each beside the row of its identity there (a row the state does not
/// hold gets none): typing is no ladder edit, and no undo takes it back.
void CarryTypedComments(TLadderSnapshot& s, const std::vector<std::pair<std::uint32_t, std::string>>& typed);

/// The connector pairs of folded rungs in rows 0..lastRow, the rows cut into
/// networks as the compile cuts them: how many pairs are whole, and the
/// halves without their partner, each as (side << 16 | connector number),
/// side 1 for a row's last cell and 0 for a continuation row's first cell,
/// sorted.
struct TConnectorCensus {
    std::int32_t pairs = 0;
    std::vector<std::uint32_t> loose;
};
TConnectorCensus CountConnectors(const std::uint8_t* grid, std::int32_t lastRow);

/// The cells of an element typed as an instruction line, as the ladder holds
/// them: one cell for a contact or coil, the head and its operand tokens for
/// a box or compare. Empty when the line is not a valid element of the class
/// for the current model family. `compareCode` receives a compare's code.
std::vector<std::uint8_t> BuildElementCells(TLadderClass cls, std::string_view line);
