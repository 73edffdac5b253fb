#include "instlist/Instedit.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "core/Codetranslate.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"

// ---------------------------------------------------------------------------
// Buffer and lines

void TInstEdit::Attach(std::uint8_t* code, std::uint32_t capacity, std::uint32_t used) {
    code_ = code;
    capacity_ = code ? capacity : 0;
    used_ = std::min(used, capacity_);
    ClearUndo();
    BuildLines();
    MarkOwn();
}

void TInstEdit::Relayout() {
    used_ = code_ ? LocateCodeEnd(code_, capacity_) : 0;
    BuildLines();
}

void TInstEdit::BuildLines() {
    lines_.clear();
    std::uint32_t at = 0;
    while (at < used_) {
        lines_.push_back(at);
        const std::uint32_t len = InstructionLengthAt(code_, capacity_, at);
        if (len == 0) break;
        at += len;
    }
    // The last instruction may reach past a used length that was handed in
    // short; the program ends where that instruction ends.
    used_ = std::min(std::max(at, used_), capacity_);
    lines_.push_back(used_);
    if (code_)
        seen_.assign(code_, code_ + capacity_);
    else
        seen_.clear();
}

bool TInstEdit::ChangedElsewhere() const {
    return code_ && seen_.size() == capacity_ && std::memcmp(code_, seen_.data(), capacity_) != 0;
}

bool TInstEdit::OwnCode() const {
    return !code_ || (own_.size() == capacity_ && std::memcmp(code_, own_.data(), capacity_) == 0);
}

void TInstEdit::MarkOwn() {
    if (code_)
        own_.assign(code_, code_ + capacity_);
    else
        own_.clear();
}

std::uint32_t TInstEdit::LastOffset() const { return lines_.size() >= 2 ? lines_[lines_.size() - 2] : 0; }

std::uint32_t TInstEdit::LineOffset(int line) const {
    line = std::clamp(line, 0, LastLine());
    return lines_[static_cast<std::size_t>(line)];
}

int TInstEdit::LineOfOffset(std::uint32_t offset) const {
    if (offset >= used_) return LastLine();
    const auto it = std::upper_bound(lines_.begin(), lines_.end(), offset);
    return static_cast<int>(it - lines_.begin()) - 1;
}

std::string TInstEdit::LineText(int line) const {
    if (line < 0 || line >= LastLine()) return {};
    return DisassembleText(code_, capacity_, LineOffset(line));
}

int TInstEdit::LineOfStep(long step) const {
    // Compared as a step: the step's byte offset would overflow for the
    // largest numbers and wrap into the program.
    if (step < 0 || step >= static_cast<long>(used_ / 2)) return -1;
    return LineOfOffset(static_cast<std::uint32_t>(step) * 2);
}

void TInstEdit::NormaliseBlock(int& first, int& last) const {
    if (first > last) std::swap(first, last);
    first = std::max(first, 0);
    last = std::min(last, LastLine() - 1);
}

// ---------------------------------------------------------------------------
// Edits

namespace {

bool IsLabelIndex(int index) { return index == inst::PLABEL || index == inst::ILABEL; }

}  // namespace

// A label may appear once in a program, or its jumps and interrupts have two
// targets and the ladder cannot draw the program.
bool TInstEdit::LabelTaken(std::uint16_t word, std::uint32_t keepFrom, std::uint32_t keepTo) const {
    std::vector<TCodeBlock> blocks = {{code_, keepFrom}, {code_ + keepTo, used_ > keepTo ? used_ - keepTo : 0}};
    if (OtherCode) {
        const std::vector<TCodeBlock> other = OtherCode();
        blocks.insert(blocks.end(), other.begin(), other.end());
    }
    return !CheckWordUniqueInList(word, blocks);
}

TInstEditResult TInstEdit::EnterLine(int line, std::string_view text, bool insert) {
    const std::string t = TrimLine(text);
    if (t.empty()) return TInstEditResult::Empty;
    if (t.size() >= static_cast<std::size_t>(kInputTextSize)) {
        // A refused line must not leave the previous one behind for a later reader.
        gInputText[0] = '\0';
        gLinePos = 0;
        return TInstEditResult::TooLong;
    }
    SetInputText(t);
    if (AssembleInstruction() != 1 || ValidateInstruction() == 0) return TInstEditResult::BadLine;
    if (!code_) return TInstEditResult::NoRoom;

    line = std::clamp(line, 0, LastLine());
    const std::uint32_t offset = LineOffset(line);
    const bool replace = !insert && line < LastLine();
    const std::uint16_t word = static_cast<std::uint16_t>(gInsnBuf.code[0] | gInsnBuf.code[1] << 8);
    if (IsLabelIndex(OpcodeToIndex(word)) &&
        LabelTaken(word, offset, replace ? LineOffset(line + 1) : offset))
        return TInstEditResult::LabelTaken;
    TInstSnapshot before = Before(line);
    std::uint32_t used = used_;
    const bool ok = (insert || line == LastLine())
                        ? InsertInstruction(code_, capacity_, used, offset, gInsnBuf.code, gInsnBuf.length)
                        : OverwriteInstruction(code_, capacity_, used, offset, gInsnBuf.code, gInsnBuf.length);
    if (!ok) return TInstEditResult::NoRoom;
    used_ = used;
    Commit(std::move(before));
    BuildLines();
    return TInstEditResult::Ok;
}

TInstEditResult TInstEdit::DeleteLines(int first, int last) {
    NormaliseBlock(first, last);
    if (!code_ || first > last) return TInstEditResult::Empty;
    TInstSnapshot before = Before(first);
    std::uint32_t used = used_;
    if (DeleteInstructions(code_, capacity_, used, LineOffset(first), LineOffset(last + 1)) == 0)
        return TInstEditResult::Empty;
    used_ = used;
    Commit(std::move(before));
    BuildLines();
    return TInstEditResult::Ok;
}

std::vector<std::uint8_t> TInstEdit::CopyLines(int first, int last) const {
    NormaliseBlock(first, last);
    if (!code_ || first > last) return {};
    return {code_ + LineOffset(first), code_ + LineOffset(last + 1)};
}

TInstEditResult TInstEdit::PasteAt(int line, const std::vector<std::uint8_t>& payload) {
    if (payload.empty()) return TInstEditResult::Empty;
    if (!IsInstPayload(payload)) return TInstEditResult::BadPayload;
    if (!code_) return TInstEditResult::NoRoom;
    // Each label of the block must be new to the program and to the block.
    for (std::uint32_t at = 0; at < payload.size(); at = NextInstructionOffset(at, payload.data(), payload.size())) {
        const std::uint16_t word = ReadCodeWord(payload.data(), payload.size(), at);
        if (!IsLabelIndex(OpcodeToIndex(word))) continue;
        const TCodeBlock rest[] = {{payload.data() + at + 2, payload.size() - at - 2}};
        if (LabelTaken(word, used_, used_) || !CheckWordUniqueInList(word, rest))
            return TInstEditResult::LabelTaken;
    }
    line = std::clamp(line, 0, LastLine());
    TInstSnapshot before = Before(line);
    std::uint32_t used = used_;
    if (!InsertInstruction(code_, capacity_, used, LineOffset(line), payload.data(),
                           static_cast<std::uint32_t>(payload.size())))
        return TInstEditResult::NoRoom;
    used_ = used;
    Commit(std::move(before));
    BuildLines();
    return TInstEditResult::Ok;
}

// ---------------------------------------------------------------------------
// Undo and redo

TInstSnapshot TInstEdit::Snapshot(int cursorLine) const {
    TInstSnapshot s;
    // Everything past the used length is erased, so the used part is the whole state.
    s.code.assign(code_, code_ + used_);
    s.cursorLine = cursorLine;
    return s;
}

TInstSnapshot TInstEdit::Before(int cursorLine) {
    EndHistoryOverForeignCode();
    return Snapshot(cursorLine);
}

void TInstEdit::EndHistoryOverForeignCode() {
    if (OwnCode()) return;
    ClearUndo();
    MarkOwn();
}

void TInstEdit::Restore(const TInstSnapshot& s) {
    const std::size_t n = std::min<std::size_t>(s.code.size(), capacity_);
    if (n) std::memcpy(code_, s.code.data(), n);  // an empty program's snapshot holds no bytes to copy
    std::memset(code_ + n, 0xFF, capacity_ - n);
    used_ = static_cast<std::uint32_t>(n);
    BuildLines();
    MarkOwn();
}

void TInstEdit::Commit(TInstSnapshot before) {
    history_.Record(std::move(before));
    MarkOwn();
}

void TInstEdit::TakeUpExternalEdit() {
    Relayout();
    MarkOwn();
}

bool TInstEdit::Undo(int& cursorLine) {
    if (!code_) return false;
    EndHistoryOverForeignCode();
    std::optional<TInstSnapshot> s = history_.Undo(Snapshot(cursorLine));
    if (!s) return false;
    Restore(*s);
    cursorLine = std::clamp(s->cursorLine, 0, LastLine());
    return true;
}

bool TInstEdit::Redo(int& cursorLine) {
    if (!code_) return false;
    EndHistoryOverForeignCode();
    std::optional<TInstSnapshot> s = history_.Redo(Snapshot(cursorLine));
    if (!s) return false;
    Restore(*s);
    cursorLine = std::clamp(s->cursorLine, 0, LastLine());
    return true;
}

void TInstEdit::ClearUndo() { history_.Clear(); }

// ---------------------------------------------------------------------------
// Helpers

bool IsInstPayload(const std::vector<std::uint8_t>& payload) {
    if (payload.empty() || payload.size() % 2 != 0) return false;
    const TInsnBuf saved = gInsnBuf;
    bool ok = true;
    std::size_t at = 0;
    while (ok && at < payload.size()) {
        const std::uint16_t word = static_cast<std::uint16_t>(payload[at] | (payload[at + 1] << 8));
        const int index = OpcodeToIndex(word);
        const std::size_t len = gInstLength[index];
        if (len < 2 || len > static_cast<std::size_t>(kInsnBufBytes) || at + len > payload.size()) {
            ok = false;
            break;
        }
        gInsnBuf.length = static_cast<std::uint32_t>(len);
        gInsnBuf.flag32 = InstIs32(index) ? kInst32Bit : 0;
        std::memcpy(gInsnBuf.code, payload.data() + at, len);
        ok = ValidateInstruction() != 0;
        at += len;
    }
    gInsnBuf = saved;
    return ok;
}

std::string TrimLine(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

TJumpRefusal ReadJumpStep(std::string_view text, std::uint32_t usedBytes, long& step) {
    const std::string t = TrimLine(text);
    const char* first = t.data();
    const char* last = t.data() + t.size();
    const bool negative = first != last && *first == '-';
    const char* digits = negative ? first + 1 : first;
    if (digits == last || !std::all_of(digits, last, [](char c) { return c >= '0' && c <= '9'; }))
        return TJumpRefusal::NotANumber;
    long n = -1;
    const auto [end, ec] = std::from_chars(first, last, n);
    // Digits beyond any long still name a number, and no step of a program.
    if (ec != std::errc() || end != last || n < 0 || n >= static_cast<long>(usedBytes / 2))
        return TJumpRefusal::NotAStep;
    step = n;
    return TJumpRefusal::None;
}

int InstPageCount(int lines) { return lines <= 0 ? 0 : (lines + kInstLinesPerPage - 1) / kInstLinesPerPage; }
