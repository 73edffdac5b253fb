#pragma once
// The ladder window: the program's ladder (`_LDB`, view 2) or the inner
// ladder of a chart element (`_InterLadder`, view 17), drawn by the ladder
// painter and edited by the keys of the ladder key table, the mouse, the
// frame's element buttons and the one-line input dialog. What a key does to
// the grid is the editing model's (ladder/edit); this window translates
// events, scrolls, talks to the frame through its link and compiles the
// ladder into its own code buffer when it closes or loses the view.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractScrollArea>
#include <QPoint>

#include "ladder/edit/Ladderedit.h"
#include "project/Sfcinnerstore.h"
#include "project/Edithistory.h"
#include "ladder/render/Ladderpainter.h"

class QMenu;
class QTimer;
class TEditorLink;
class TQelMain;
class TSimLadderDisplay;

class TLDB : public QAbstractScrollArea {
    Q_OBJECT
public:
    /// A ladder window of view 2 (the program's ladder) or, with `inner`,
    /// view 17 (a chart element's inner ladder). Its grid is set afterwards.
    explicit TLDB(QWidget* owner = nullptr, bool inner = false);
    ~TLDB() override;

    const int View;
    const bool Inner;
    TEditorLink* Link = nullptr;

    /// Points the window at a grid; the cursor and the view go to the top.
    void SetDoc(const TLadderDoc& doc);
    TLadderEdit& Edit() { return edit_; }
    const TLadderEdit& Edit() const { return edit_; }

    // ---- the chart element an inner ladder belongs to ----
    int SfcRow = -1, SfcCol = -1;
    /// What the inner ladder puts into its element: lent to it when the
    /// program is read, stored for good when the user says so.
    TSfcInnerStore InnerStore;
    /// The element's code is step code (a step's or a transition's), and a
    /// transition's condition: its last rung may end in open wire.
    bool StepCode = false, Condition = false;
    /// The inner ladder's step marks (steps of the element's code) from its
    /// last conversion; go to step reads them. The program's are gMarkList.
    std::vector<TStepMark> InnerMarks;

    // ---- view ----
    /// Cursor to the top, scroll to 0, scroll range from the grid.
    void ResetView();
    /// Repaints the visible rows.
    void RepaintLadder();
    /// Recomputes the last used row and the scroll ranges (one page past it).
    void UpdateScrollRange();
    /// Scrolls so that the cursor's element is inside the window.
    void ScrollCursorIntoView();
    /// Status panel 2: row and column of the cursor.
    void UpdateStatusBar();
    /// The cell under a client point: (row, column) as the cursor takes it.
    void ClickToCell(int x, int y);
    /// What the painter draws with now (cell size, scroll, cursor).
    TLadderPaintOptions PaintOptions() const;
    TLadderPaintView PaintView() const;
    /// Monitor or simulator states to draw; empty to draw the plain ladder.
    void SetStateSource(TLadderStateFn fn);

    // ---- the ladder while simulating (the program's ladder only) ----
    /// Repaints with the simulated states from a fresh snapshot of the
    /// simulator's devices; the frame calls it ("PaintSimLadder") while the
    /// ladder display of a simulation is on.
    void PaintSimLadder();
    /// True while the window shows simulated states.
    bool ShowsSimulation() const { return simShown_; }

    // ---- entries ----
    /// Opens the input dialog at the cursor, with `first` typed (a blank: none).
    void StartInstructionInput(QChar first);
    /// An element button of the frame (Btn0..Btn10).
    void ElementButton(int index);
    /// The dialog's entry for this window (views 2 and 17): places the typed
    /// line; a refusal shows its message, changes nothing and keeps the dialog.
    bool EnterLine(const std::string& text);
    /// The dialog's block-comment entry (view 3).
    bool EnterBlockComment(const std::string& text);
    /// Go to step: the input dialog asks for the step (view 8).
    void MmJumpClick();
    /// The dialog's go-to-step entry (view 8): the cursor to the network that
    /// holds the step, that row at the top of the window.
    bool GoToStep(const std::string& text);

    // ---- code ----
    /// Edited since the last compile or conversion.
    bool Dirty() const { return dirty_; }
    /// The grid holds edits the program does not have (read so from the
    /// ladder file): they count as this window's own.
    void TakeEdits() { MarkEdited(); }
    // An inner ladder's edits not yet stored into the element's record.
    bool Unstored() const { return unstored_; }
    /// Compiles the ladder into the window's own code buffer (the program,
    /// or the chart element's buffer). A failure puts the cursor on the
    /// failing rows, shows its message and signals the edits refused (or
    /// hands the message to `failure`, whose caller settles the edits) and
    /// returns false; nothing of the code changes.
    bool Compile(std::string* failure = nullptr);
    /// Puts edits the program (or the chart element) does not have yet into
    /// it: the frame's commit before anything reads the program.
    bool CommitEdits();
    /// Before the project is replaced or the window closes: edits that do
    /// not compile into the program are dropped only when the user says so
    /// (false: keep everything).
    bool MayDropEdits();
    /// Edits thrown away: the ladder is drawn again from the program's code.
    void DropEdits();
    /// Rebuilds the grid from the window's code (the program, or the element's code).
    bool ConvertFromCode();
    /// The program's ladder catching up with its code: when another window
    /// (the instruction list) changed the program since the ladder last
    /// matched it, the ladder is rebuilt from the code, so that the next
    /// compile never writes an old ladder over newer code; the undo history
    /// ends there. Edits of its own that the program does not have are
    /// dropped only when the user says so.
    void FollowCode();
    /// The program's code is not what the ladder last compiled into it or
    /// was drawn from, and the ladder holds no edits of its own: another
    /// window or a conversion changed it, and FollowCode has yet to catch up.
    bool CodeChangedElsewhere() const;
    /// Switching away compiled nothing (the failure was shown once): the
    /// next switch away does not try again before the next edit.
    bool LeaveReported() const { return leaveReported_; }
    void SetLeaveReported() { leaveReported_ = true; }

    // ---- the frame's commands in this window ----
    void MmLadToCodeClick();
    void MmCodeToLadClick();
    void PopDelTkClick();
    void PopDelVlineClick();
    void PopBkCmtClick();
    void PopUndoClick();
    void PopRedoClick();
    void PopCopyClick();
    void PopCutClick();
    void PopPasteClick();
    void PopDelClick();
    void PopSelAllClick();
    void PopInsBkClick();
    void PopInsLineClick();
    void PopDelLineClick();
    void PopDevCmtClick();
    void PopLineCmtClick();

    // ---- undo, selection and the clipboard ----
    /// The window's undo and redo lists (ten steps).
    const TEditHistory<TLadderSnapshot>& History() const { return history_; }
    /// The "CF_LADDER" block on the clipboard, validated; nothing when the
    /// clipboard holds none or what it holds under our format is unsound.
    std::optional<TLadderBlock> ClipboardBlock() const;
    /// Puts a block on the clipboard under "CF_LADDER", with the labels and
    /// rung comments of its whole rows beside it; false for an empty block.
    bool PutOnClipboard(const TLadderBlock& block);
    /// The auto-scroll of a drag that left the window (every 75 ms).
    QTimer* BkSelTmr = nullptr;
    void BkSelTmrTimer();
    /// Extends the drag selection to the cell under a client point.
    void DragSelectTo(int x, int y);
    /// The popup menu `LDBPopup`: editing items, or the on-line items while
    /// monitoring; each runs its command through the window's link.
    QMenu* LDBPopup = nullptr;
    /// Shows the popup's items for the mode and enables those whose command
    /// is available here.
    void SwitchPopupMode();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void closeEvent(QCloseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void RegisterCommands();
    void RegisterToolHooks();
    void AfterMove();
    void AfterEdit(const TLadderEditResult& r);
    bool EditRefused();
    void ShowInsertMode();
    /// Cursor to the failing rung; the compile message.
    std::string CompileFailure();
    void MarkEdited();
    /// The inner ladder compiled into its chart element's code record: for
    /// good, or lent until the user answers whether to store it.
    bool StoreInnerCode(bool forGood);
    int PageRows() const;

    bool SimulationClick(QMouseEvent* event);

    void RecordUndo();
    /// The undo history ends where the program changed elsewhere
    /// (CodeChangedElsewhere): before the ladder takes up that code, and
    /// before its first edit over it.
    void EndHistoryOverChangedCode();
    void Restore(const TLadderSnapshot& s);
    // Comments typed since the last edit go into every state of the history.
    void CarryTypedComments();
    // The state now; rows without an identity get theirs first.
    TLadderSnapshot Snapshot();
    // The common end of a command that changed the grid or the selection.
    void Finish(const TLadderEditResult& r);

    TLadderEdit edit_;
    TEditHistory<TLadderSnapshot> history_;
    QPoint dragPoint_;
    bool dragging_ = false;
    bool keepMarks_ = false;
    TLadderStateFn state_;
    std::unique_ptr<TSimLadderDisplay> sim_;
    bool simShown_ = false;
    std::optional<TLadderClass> pendingClass_;
    std::vector<std::uint8_t> syncedCode_;  // the program as the ladder last matched it
    bool dirty_ = false;
    bool unstored_ = false;       // inner ladder: edits not yet in the element's record
    bool leaveReported_ = false;  // a switch away failed to compile these edits
    std::uint64_t keptOver_ = 0;  // the code the user chose to keep the edits over
    bool keyRepeat_ = false;
    bool followScroll_ = true;  // a scroll by the user takes the cursor along
};

/// The program's ladder window and the chart element's inner one (null when absent).
extern TLDB* _LDB;
extern TLDB* _InterLadder;

/// Hooks the ladder into the frame: the view switch to the ladder, the
/// code/ladder conversions, and the input dialog's ladder entries.
void InstallLadder(TQelMain* frame);
/// Opens (or brings forward) the program's ladder window.
TLDB* OpenLadderWindow(TQelMain* frame);
/// Opens the inner ladder of the chart element at (sfcRow, sfcCol) over the
/// code in gProgramCopy (gProgramCopyUsed bytes); `stepCode` for the code of
/// a step or transition. Null when the code cannot be drawn (message shown).
TLDB* OpenInterLadderWindow(TQelMain* frame, int sfcRow, int sfcCol, bool stepCode, bool condition = false);
