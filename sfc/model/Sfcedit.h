#pragma once
// Editing of the shared chart (gSfcGrid, gSfcCodeList) at a cell cursor: the
// tools of both tool pages, the step-number editor, deleting an element,
// inserting and deleting rows and cells, and undo and redo of whole-state
// snapshots. The SFC window turns keys, clicks and buttons into these calls
// and shows the message each refusal names; nothing here shows a window.
//
// Every refusal leaves chart and records exactly as they were and takes no
// undo step.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "project/Chartstamp.h"
#include "project/Edithistory.h"
#include "sfc/model/Sfcchart.h"

// What an operation did: a message to show (id, -1 for none, and a detail
// appended to its text), whether the chart changed, and whether the number
// editor is to be shown over the cursor cell with `editorText`.
struct TSfcEditResult {
    int msg = -1;
    std::string detail;
    bool changed = false;
    bool openEditor = false;
    std::string editorText;
};

// One undo step: the chart with its records, the cursor and the view position.
// A step taken where a whole chart was put in its place (its edits dropped,
// or the chart drawn anew from the program) also holds the chart's stamps:
// undone, the chart comes back as standing for the program it stood for
// then, so that its code goes in over code changed since only through the
// question any chart edited before such a change gets.
struct TSfcSnapshot {
    TSfcChart chart;
    std::int32_t cursorRow = 0, cursorCol = 0;
    std::int32_t vertPos = 0, horzPos = 0;
    std::optional<TSfcStamps> stamps;
};

// Message ids of the editing refusals.
enum TSfcEditMsg : int {
    kSfcMsgBadNumber = 0,      // a numbered element's text without a number
    kSfcMsgRowFull = 20,       // insert space in a full row, insert row with a full last row
    kSfcMsgNoComment = 40,     // device comment on a cell without a step
    kSfcMsgBadStep = 45,       // step number outside the range of its element
    kSfcMsgLadColumn = 73,     // a LAD block outside column 0
    kSfcMsgStepUsed = 75,      // a step number used by another step
    kSfcMsgLadUsed = 76,       // a LAD number used by another LAD block
    kSfcMsgNoRoom = 22,        // a two-cell tool in the last column
    kSfcMsgInnerOpen = 260,    // the edit would remove the element an open inner window stores into
};

// Where an open inner window of an element stores its code: the cell's row
// and byte column (column x 4), owned by that window; null while none is open.
struct TSfcInnerCell {
    int* row = nullptr;
    int* col = nullptr;
};

class TSfcEditModel {
public:
    // Tool pages: 0 the elements (sBtn1-sBtn9), 1 the line pieces (ssBtn1-ssBtn9).
    TSfcEditResult Tool(int page, int index);
    // Enter (or a double click) on the cursor cell: the number editor for a
    // numbered element; nothing for any other cell.
    TSfcEditResult BeginNumber();
    // The number typed for the cursor cell. A refusal restores the cell as it
    // was before the tool and takes back the tool's undo step.
    TSfcEditResult CommitNumber(const std::string& text);
    // The editor closed without a number (another tool, another cell): the
    // element stays with the number it shows.
    void CloseNumber();
    bool EditorOpen() const { return editing_; }

    TSfcEditResult DeleteElement();
    TSfcEditResult InsertRow();
    TSfcEditResult DeleteRow();
    TSfcEditResult InsertCell();
    TSfcEditResult DeleteCell();
    // Device S n of the step-like element under the cursor ("S20"), or a refusal.
    TSfcEditResult StepDevice() const;

    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }
    // Undo and redo put back whole charts: refused (false) while an inner
    // window is open, which could then store into another element.
    bool Undo();
    bool Redo();
    bool InnerOpen() const { return Inner().row != nullptr; }
    void ClearHistory() { history_.Clear(); }
    // Puts `chart` back in place of the shared chart as one undo step (the
    // chart's edits dropped: undo brings them back).
    void Revert(const TSfcChart& chart);
    // The chart, its stamps, the cursor and the view as they stand: what
    // DrawnAnew keeps.
    TSfcSnapshot Current() const;
    // The shared chart was drawn anew from the program (code another editor
    // wrote, or read): the history ends, since an undo would put back a
    // chart of the code as it was. `replaced`, the chart that held work of
    // its own, stays as the one undo step (with its stamps).
    void DrawnAnew(std::optional<TSfcSnapshot> replaced);
    // An element's inner window is about to store its code for good: the
    // chart as it stands is one undo step, so that undo takes back the store
    // before the edits made in the chart before it.
    void RecordInnerStore();
    int UndoCount() const { return history_.UndoCount(); }

    std::int32_t CursorRow = 0;
    std::int32_t CursorCol = 0;
    // The view position the window keeps in each undo step.
    std::int32_t VertPos = 0;
    std::int32_t HorzPos = 0;
    // Asked before an edit while the PLC is monitored: true refuses the edit.
    std::function<bool()> StopMonitor;
    // Highest step number of the model family (S limit); <0 asks the table.
    std::int32_t HighestStep = -1;
    // The cell an open inner window stores into. Inserting and deleting rows
    // and cells carry it along with its element; an edit that would remove
    // or overwrite that element is refused (kSfcMsgInnerOpen).
    std::function<TSfcInnerCell()> InnerCell;

private:
    TSfcSnapshot Take() const;
    void Restore(const TSfcSnapshot& s);
    bool Refused() const { return StopMonitor && StopMonitor(); }
    TSfcInnerCell Inner() const { return InnerCell ? InnerCell() : TSfcInnerCell{}; }
    // The open inner window stores into the cell (or, rowOnly, into its row).
    bool InnerAt(std::int32_t row, std::int32_t col, bool rowOnly = false) const;
    bool InnerAtCursor(bool rowOnly = false) const { return InnerAt(CursorRow, CursorCol, rowOnly); }
    // The open inner window's cell moved as the records are by ShiftSfcCodeRecs.
    void ShiftInner(std::int32_t row, std::int32_t col, bool byRow, bool insert);
    TSfcCell Cursor() const;
    void SetCursor(const TSfcCell& x);
    std::int32_t StepLimit() const;

    TEditHistory<TSfcSnapshot> history_;
    // The snapshot a numbered tool took, recorded once its number stands.
    std::optional<TSfcSnapshot> pending_;
    TSfcCell saved_;
    bool editing_ = false;
};
