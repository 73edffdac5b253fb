#pragma once
// In-place editing of a code buffer as an instruction list: the line table (one
// line per instruction, plus the empty line after the last one where typing
// appends), typed lines assembled and validated, whole-instruction insert,
// overwrite, delete and paste, and the undo and redo snapshots. No windows: the
// instruction-list window translates keys and mouse into these calls.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ProgramImage.h"
#include "project/Edithistory.h"

/// Undo snapshots an instruction list keeps; the oldest is dropped beyond this.
inline constexpr int kInstUndoDepth = TEditHistory<int>::kDepth;
/// Instruction lines on one printed page.
inline constexpr int kInstLinesPerPage = 53;

/// Outcome of an edit. Anything but Ok left the code, the lines and the undo
/// lists as they were.
enum class TInstEditResult {
    Ok,
    Empty,        ///< nothing to do (blank line, empty block)
    TooLong,      ///< the line does not fit in the 79-character input line
    BadLine,      ///< the line is no valid instruction for the current model family
    NoRoom,       ///< the result would not fit in the code buffer
    BadPayload,   ///< the bytes are not whole, valid instructions
    LabelTaken,   ///< a P or I label the program already has
};

/// A whole-state snapshot: the used part of the code (the rest is erased) and
/// the cursor line at the time.
struct TInstSnapshot {
    std::vector<std::uint8_t> code;
    int cursorLine = 0;
};

class TInstEdit {
public:
    /// Edits `code` (capacity bytes, `used` of them holding the program) in
    /// place. Lays the lines out and empties both undo lists.
    void Attach(std::uint8_t* code, std::uint32_t capacity, std::uint32_t used);

    std::uint8_t* Code() const { return code_; }
    std::uint32_t Capacity() const { return capacity_; }
    /// Bytes up to the end of the last instruction that is not an empty step.
    std::uint32_t Used() const { return used_; }
    /// Offset of the last instruction (0 when there is none).
    std::uint32_t LastOffset() const;

    /// Re-reads the used length from the code and rebuilds the line table
    /// (after someone else changed the buffer).
    void Relayout();
    /// Whether someone else wrote into the buffer since the lines were last
    /// laid out here (a ladder compile, find and replace). Lines laid out over
    /// other code would put the next edit inside an instruction.
    bool ChangedElsewhere() const;
    /// Whether the buffer is as this list's own edits, undo and redo last
    /// left it. Once someone else wrote into it (a ladder compile, a chart
    /// conversion) the undo history ends: an undo would put the old code
    /// back over that other window's work.
    bool OwnCode() const;

    /// Lines: one per instruction in [0, Used()), then the append line.
    int LineCount() const { return static_cast<int>(lines_.size()); }
    /// Index of the append line (= number of instructions).
    int LastLine() const { return LineCount() - 1; }
    /// Byte offset of a line; Used() for the append line. The line is clamped.
    std::uint32_t LineOffset(int line) const;
    /// Step number of a line (word index of its first word).
    std::uint32_t LineStep(int line) const { return LineOffset(line) / 2; }
    /// The line that holds a byte offset (the append line at or past Used()).
    int LineOfOffset(std::uint32_t offset) const;
    /// Disassembled text of a line; "" for the append line.
    std::string LineText(int line) const;
    /// The line that holds a step; -1 for a step that holds no instruction
    /// (negative, or at or past Used(), however large).
    int LineOfStep(long step) const;

    /// Code of the same program held apart from this buffer (for a chart
    /// element's list: the other elements), read by the label checks.
    std::function<std::vector<TCodeBlock>()> OtherCode;

    // ---- edits; each one takes an undo snapshot when it changes something ----

    /// Assembles `text` and, when it is a valid instruction, inserts it before
    /// `line` (insert) or writes it over the instruction on `line` (overwrite;
    /// on the append line it appends). gInputText holds the line afterwards, or
    /// is emptied when the line is refused as too long.
    TInstEditResult EnterLine(int line, std::string_view text, bool insert);
    /// Deletes the instructions on lines first..last (inclusive, any order; the
    /// append line is never part of a block).
    TInstEditResult DeleteLines(int first, int last);
    /// Bytes of the whole instructions on lines first..last (the clipboard payload).
    std::vector<std::uint8_t> CopyLines(int first, int last) const;
    /// Inserts the payload before `line` after checking it holds whole, valid
    /// instructions.
    TInstEditResult PasteAt(int line, const std::vector<std::uint8_t>& payload);

    // ---- undo and redo ----
    bool CanUndo() const { return history_.CanUndo() && OwnCode(); }
    bool CanRedo() const { return history_.CanRedo() && OwnCode(); }
    int UndoCount() const { return history_.UndoCount(); }
    /// Restores the latest snapshot and keeps the present state for Redo.
    /// cursorLine is the cursor now and gets the snapshot's cursor.
    bool Undo(int& cursorLine);
    bool Redo(int& cursorLine);
    void ClearUndo();
    /// Records the present state as one undo step before a change made to the
    /// buffer from outside on this list's behalf (find and replace);
    /// TakeUpExternalEdit afterwards.
    void RecordUndo(int cursorLine) { Commit(Before(cursorLine)); }
    /// Lays the lines out over that change and counts it as the list's own.
    void TakeUpExternalEdit();

private:
    TInstSnapshot Snapshot(int cursorLine) const;
    /// The snapshot an edit records; over code written elsewhere the history
    /// ends first.
    TInstSnapshot Before(int cursorLine);
    void EndHistoryOverForeignCode();
    void MarkOwn();
    void Restore(const TInstSnapshot& s);
    void Commit(TInstSnapshot before);
    void BuildLines();
    void NormaliseBlock(int& first, int& last) const;
    /// Whether the program already holds this label outside [keepFrom, keepTo).
    bool LabelTaken(std::uint16_t word, std::uint32_t keepFrom, std::uint32_t keepTo) const;

    std::uint8_t* code_ = nullptr;
    std::uint32_t capacity_ = 0;
    std::uint32_t used_ = 0;
    std::vector<std::uint32_t> lines_{0};  // offsets; the last one is the append line
    std::vector<std::uint8_t> seen_;       // the buffer as the lines were laid out over it
    std::vector<std::uint8_t> own_;        // the buffer as the list's own edits last left it
    TEditHistory<TInstSnapshot> history_;
};

/// Whether `payload` is a run of whole instructions that are valid in the
/// current model family (what "CF_INST" may carry).
bool IsInstPayload(const std::vector<std::uint8_t>& payload);

/// Trims blanks and tabs at both ends of a typed line.
std::string TrimLine(std::string_view text);

/// What a jump typed by the user names in a program of `usedBytes` bytes
/// (2 bytes a step): `step`, a step that holds the program (0 .. usedBytes / 2
/// - 1); NotANumber for a text that is no decimal number (blanks around it
/// aside); NotAStep for a number no step of the program has: negative, past
/// its last step, or too large for any number type.
enum class TJumpRefusal { None, NotANumber, NotAStep };
TJumpRefusal ReadJumpStep(std::string_view text, std::uint32_t usedBytes, long& step);

/// Number of pages of 53 lines that `lines` instructions fill.
int InstPageCount(int lines);
