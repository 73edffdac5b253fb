#pragma once
// The instruction-list window: the program (or an SFC element's inner code) as
// one line per instruction, step number and text, edited in place. Typed lines
// go through the one-line input dialog; Insert switches between inserting and
// writing over; whole instructions are deleted, cut, copied and pasted (as
// "CF_INST", the raw bytes of whole instructions); ten undo snapshots; block
// selection by Shift+cursor keys or by dragging, which scrolls every 30 ms while
// the mouse is above or below the window.
#include <cstdint>
#include <string>
#include <vector>

#include <QAbstractScrollArea>

#include "instlist/Instedit.h"
#include "project/Sfcinnerstore.h"
#include "project/Viewcodes.h"
#include "project/Editorlink.h"

class QPainter;
class QScrollBar;
class QTimer;
class TQelMain;

class TInst : public QAbstractScrollArea {
    Q_OBJECT
public:
    /// How this list tells the frame what changed and offers its commands.
    TEditorLink* Link = nullptr;
    /// An instruction list of view code 1 (the program, `_Inst`) or 18 (an SFC
    /// element's inner list, `_InterInst`). Its code buffer is set afterwards.
    explicit TInst(QWidget* owner = nullptr, int view = 1);
    ~TInst() override;

    /// 1 or 18.
    const int View;

    // ---- the code buffer ----
    /// Edits `code` in place; the undo lists start empty. `used` is the program
    /// end; `lastOffset` is accepted for callers that keep it and is recomputed.
    void SetCodeBuffer(std::uint8_t* code, std::uint32_t capacity, std::uint32_t used, std::uint32_t lastOffset = 0);
    std::uint8_t* CodeBuffer() const { return edit_.Code(); }
    std::uint32_t CodeCapacity() const { return edit_.Capacity(); }
    /// Program-end offset (bytes used).
    std::uint32_t ProgramEnd() const { return edit_.Used(); }
    /// Index of the last line: the empty line after the last instruction.
    int LastLine() const { return edit_.LastLine(); }
    TInstEdit& Edit() { return edit_; }
    const TInstEdit& Edit() const { return edit_; }

    // ---- cursor and view; find and replace set these, then repaint ----
    std::uint32_t CursorOffset = 0;
    int CursorLine = 0;
    int LineHeight = 16;
    int TopLine = 0;
    QScrollBar* VertScrollBar() const;

    // ---- the SFC cell an inner list was opened for ----
    int SfcRow = -1, SfcCol = -1, SfcCursorX = 0, SfcCursorY = 0, SfcVertPos = 0, SfcHorzPos = 0;
    /// What the inner list puts into its element: lent to it when the
    /// program is read, stored for good when the user says so.
    TSfcInnerStore InnerStore;
    /// An element's list holds edits its element has not taken yet (neither
    /// lent nor stored): the program does not have them.
    bool Unstored() const { return unstored_; }

    /// Recomputes the scroll range from the number of lines.
    void UpdateScrollRange();
    /// Re-lays the lines from the code buffer (after someone else changed it),
    /// keeps the cursor on a line, recomputes the range and repaints.
    void RefreshAll();
    /// Repaints the visible lines.
    void DrawLines();
    /// Draws 53 instruction lines of `window`'s code, from line pageIndex x 53, on
    /// a printer or preview canvas. Returns the lines drawn.
    static int PrintPage(TInst* window, QPainter& canvas, int pageIndex);
    /// The list as printed: the window first follows a compile it has not painted yet.
    const TInstEdit& PrintedList();

    // ---- entries from the input dialog ----
    /// Assembles a typed line and inserts or writes it by the frame's insert
    /// flag; a refusal shows its message and changes nothing. True when done.
    bool EnterLine(const std::string& text);
    /// Moves the cursor to the instruction that holds the typed step number.
    bool GoToStep(const std::string& text);
    /// Opens the input dialog for an instruction, with `first` typed (none
    /// when it is a blank).
    void StartInstructionInput(QChar first);

    // ---- the frame's edit commands in this window ----
    /// Lists the devices of the cursor line in the quick comment dialog (Ctrl+F2).
    void PopDevCmtClick();
    void MmUndoClick();
    void MmRedoClick();
    void MmCutClick();
    void MmCopyClick();
    void MmPasteClick();
    void MmDelClick();
    void MmJumpClick();
    void ShowCursorPos();

    // ---- selection ----
    bool SelectionActive() const { return selActive_; }
    /// The block the commands work on: the selection, else the cursor line;
    /// false when that holds no instruction.
    bool Block(int& first, int& last) const;
    /// Selects lines from `anchor` to `cursor` (the cursor moves there).
    void SelectLines(int anchor, int cursor);
    void ClearSelection();
    /// Moves the cursor (clamped) and scrolls it into view.
    void MoveCursorTo(int line);
    /// Lines a page of the window shows.
    int PageLines() const;
    bool AutoScrollActive() const;
    int LineAt(int y) const;

    /// Auto-scroll period of a drag selection, in milliseconds.
    static constexpr int kAutoScrollMs = 30;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void InstScrollTmrTimer();
    /// Lays the lines out again when someone else wrote into the code buffer;
    /// every entry point calls it before it uses a line.
    void FollowCode();
    void AfterEdit();
    void ShowResult(TInstEditResult result, const std::string& line);
    void SyncGlobals();
    void RegisterCommands();
    void EnsureCursorVisible();
    void ExtendSelectionTo(int line);
    bool StopForMonitor() const;
    bool FormClose();
    /// An element's list: its code into the element's record, for good or
    /// lent until the user answers whether to store it.
    void StoreInnerCode(bool forGood);
    QString ClipboardFormat() const;
    bool ClipboardHasInstructions() const;
    bool QueryClipboard() const;

    TInstEdit edit_;
    bool selActive_ = false;
    int selAnchor_ = 0;
    bool dragging_ = false;
    int dragDir_ = 0;  // -1 up, +1 down while the mouse is outside during a drag
    bool clipHasInst_ = false;
    bool unstored_ = false;
    QTimer* InstScrollTmr = nullptr;
};

/// The program's instruction-list window and the SFC's inner one (null when absent).
extern TInst* _Inst;
extern TInst* _InterInst;

/// Hooks the instruction list and the input dialog into the frame: creates the
/// dialog and registers the command that opens the list window.
void InstallInstList(TQelMain* frame);

/// Gives the frame's start-up table the maker of the one-line input dialog, so
/// `_EditDlg` is created in its place of the start-up order. Call before the
/// frame starts; InstallInstList still creates it when this was not called.
void RegisterInstListForms();
/// Opens (or brings forward) the program's instruction-list window.
TInst* OpenInstWindow(TQelMain* frame);
