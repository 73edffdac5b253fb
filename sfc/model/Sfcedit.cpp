#include "sfc/model/Sfcedit.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/DeviceLimits.h"

namespace {

bool IsNumberedType(std::uint8_t t) {
    return t == kSfcInitStep || t == kSfcStep || t == kSfcStepMark || t == kSfcJump || t == kSfcJumpSet ||
           t == kSfcResetMark;
}

std::uint8_t* CellPtr(std::int32_t row, std::int32_t col) {
    return gSfcGrid + static_cast<std::size_t>(row) * kSfcRowBytes + col * kSfcCellBytes;
}

TSfcCell CellAt(std::int32_t row, std::int32_t col) {
    if (!gSfcGrid || row < 0 || row >= gSfcRowCount || col < 0 || col >= kSfcColumns) return {};
    const std::uint8_t* p = CellPtr(row, col);
    return {p[0], p[1], p[2], p[3]};
}

void SetCellAt(std::int32_t row, std::int32_t col, const TSfcCell& x) {
    if (!gSfcGrid || row < 0 || row >= gSfcRowCount || col < 0 || col >= kSfcColumns) return;
    std::uint8_t* p = CellPtr(row, col);
    p[0] = x.type;
    p[1] = x.b1;
    p[2] = x.b2;
    p[3] = x.flag;
}

TSfcCell WithNumber(TSfcCell x, std::uint8_t type, std::uint16_t n) {
    x.type = type;
    x.b1 = static_cast<std::uint8_t>(n & 0xFF);
    x.b2 = static_cast<std::uint8_t>(n >> 8);
    return x;
}

TSfcCell Line(TSfcCell x, std::uint8_t shape) {
    x.type = kSfcLine;
    x.b1 = shape;  // byte 2 keeps what stood in the cell
    return x;
}

std::string Trimmed(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    std::string t = s.substr(a, b - a);
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return t;
}

}  // namespace

TSfcSnapshot TSfcEditModel::Take() const {
    TSfcSnapshot s;
    s.chart = CaptureSfcChart();
    s.cursorRow = CursorRow;
    s.cursorCol = CursorCol;
    s.vertPos = VertPos;
    s.horzPos = HorzPos;
    return s;
}

void TSfcEditModel::Restore(const TSfcSnapshot& s) {
    CommitSfcChart(s.chart);
    if (s.stamps) RestoreSfcStamps(*s.stamps);
    CursorRow = std::clamp(s.cursorRow, 0, std::max(gSfcRowCount - 1, 0));
    CursorCol = std::clamp(s.cursorCol, 0, kSfcColumns - 1);
    VertPos = s.vertPos;
    HorzPos = s.horzPos;
}

bool TSfcEditModel::InnerAt(std::int32_t row, std::int32_t col, bool rowOnly) const {
    const TSfcInnerCell c = Inner();
    return c.row && *c.row == row && (rowOnly || *c.col == col * kSfcCellBytes);
}

void TSfcEditModel::ShiftInner(std::int32_t row, std::int32_t col, bool byRow, bool insert) {
    const TSfcInnerCell c = Inner();
    if (!c.row) return;
    std::vector<TSfcCodeRec> at(1);
    at[0].row = *c.row;
    at[0].col = *c.col;
    ShiftSfcCodeRecs(at, row, col, byRow, insert);
    *c.row = at[0].row;
    *c.col = at[0].col;
}

TSfcCell TSfcEditModel::Cursor() const { return CellAt(CursorRow, CursorCol); }
void TSfcEditModel::SetCursor(const TSfcCell& x) { SetCellAt(CursorRow, CursorCol, x); }

std::int32_t TSfcEditModel::StepLimit() const {
    return HighestStep >= 0 ? HighestStep : DeviceLimitOf(CurrentFamily(), 'S');
}

TSfcEditResult TSfcEditModel::Tool(int page, int index) {
    TSfcEditResult r;
    if (index < 1 || index > 9 || !gSfcGrid || Refused()) return r;
    if (InnerAtCursor()) {
        r.msg = kSfcMsgInnerOpen;
        return r;
    }
    CloseNumber();
    const TSfcCell old = Cursor();
    const std::int32_t colBytes = CursorCol * kSfcCellBytes;
    if (page == 1) {
        history_.Record(Take());
        RemoveSfcCodeRec(CursorRow, colBytes);
        SetCursor(Line(old, static_cast<std::uint8_t>(index - 1)));
        r.changed = true;
        return r;
    }
    switch (index) {
        case 1: {  // LAD block, column 0 only, numbered one above the highest
            if (CursorCol != 0) {
                r.msg = kSfcMsgLadColumn;
                return r;
            }
            std::int32_t highest = -1;
            for (std::int32_t row = 0; row < gSfcRowCount; ++row) {
                const TSfcCell x = CellAt(row, 0);
                if (x.type == kSfcLad && row != CursorRow) highest = std::max<std::int32_t>(highest, x.Number());
            }
            if (highest >= 0xFFFF) {
                r.msg = kSfcMsgLadUsed;
                return r;
            }
            history_.Record(Take());
            RemoveSfcCodeRec(CursorRow, colBytes);
            SetCursor(WithNumber(old, kSfcLad, static_cast<std::uint16_t>(highest + 1)));
            r.changed = true;
            return r;
        }
        case 2:
        case 3:
        case 4: {  // numbered elements: the number comes from the editor
            static const std::uint8_t kTypes[] = {kSfcInitStep, kSfcStep, kSfcJump};
            static const std::uint16_t kDefaults[] = {0, kSfcFirstPlainStep, 0};
            pending_ = Take();
            saved_ = old;
            const std::uint16_t n = IsNumberedType(old.type) ? old.Number() : kDefaults[index - 2];
            SetCursor(WithNumber(old, kTypes[index - 2], n));
            editing_ = true;
            r.changed = true;
            r.openEditor = true;
            r.editorText = "S" + std::to_string(n);
            return r;
        }
        case 5: {  // transition: the number bytes stay
            history_.Record(Take());
            RemoveSfcCodeRec(CursorRow, colBytes);
            TSfcCell x = old;
            x.type = kSfcTransition;
            SetCursor(x);
            r.changed = true;
            return r;
        }
        default: {  // two-cell tools: the cursor cell and its right neighbour
            static const std::uint8_t kShapes[4][2] = {{kShapeSelLeft, kShapeSelDivRight},
                                                       {kShapeSelLeft, kShapeSelConvRight},
                                                       {kShapeParLeft, kShapeParDivRight},
                                                       {kShapeParLeft, kShapeParConvRight}};
            if (CursorCol >= kSfcColumns - 1) {
                r.msg = kSfcMsgNoRoom;
                return r;
            }
            if (InnerAt(CursorRow, CursorCol + 1)) {  // the right cell is overwritten too
                r.msg = kSfcMsgInnerOpen;
                return r;
            }
            history_.Record(Take());
            RemoveSfcCodeRec(CursorRow, colBytes);
            RemoveSfcCodeRec(CursorRow, colBytes + kSfcCellBytes);
            SetCursor(Line(old, kShapes[index - 6][0]));
            SetCellAt(CursorRow, CursorCol + 1, Line(CellAt(CursorRow, CursorCol + 1), kShapes[index - 6][1]));
            r.changed = true;
            return r;
        }
    }
}

TSfcEditResult TSfcEditModel::BeginNumber() {
    TSfcEditResult r;
    const TSfcCell x = Cursor();
    if (!IsNumberedType(x.type) || Refused()) return r;
    CloseNumber();
    pending_ = Take();
    saved_ = x;
    editing_ = true;
    r.openEditor = true;
    r.editorText = "S" + std::to_string(x.Number());
    return r;
}

void TSfcEditModel::CloseNumber() {
    if (!editing_) return;
    editing_ = false;
    if (pending_ && (pending_->chart.grid != CaptureSfcChart().grid)) history_.Record(std::move(*pending_));
    pending_.reset();
}

TSfcEditResult TSfcEditModel::CommitNumber(const std::string& text) {
    TSfcEditResult r;
    if (!editing_) return r;
    editing_ = false;
    const TSfcCell x = Cursor();
    auto refuse = [&](int msg, std::string detail = {}) {
        SetCursor(saved_);
        pending_.reset();
        r.msg = msg;
        r.detail = std::move(detail);
        r.changed = true;
        return r;
    };
    if (!IsNumberedType(x.type)) {
        pending_.reset();
        return r;
    }
    std::string t = Trimmed(text);
    if (!t.empty() && std::isdigit(static_cast<unsigned char>(t[0]))) t = "S" + t;
    if (t.empty() || t[0] != 'S') return refuse(kSfcMsgBadNumber);
    const std::string digits = t.substr(1);
    if (digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return refuse(kSfcMsgBadNumber);
    const std::int32_t n = digits.empty() ? 0 : std::stoi(digits);
    // A step number must name an S device of the family; initial steps are
    // numbered below 10, steps from 10.
    if (n > StepLimit() || n > kSfcMaxStep || (x.type == kSfcInitStep && n >= kSfcFirstPlainStep) ||
        (x.type == kSfcStep && n < kSfcFirstPlainStep))
        return refuse(kSfcMsgBadStep);
    if (x.type == kSfcInitStep || x.type == kSfcStep) {
        for (std::int32_t row = 0; row < gSfcRowCount; ++row)
            for (std::int32_t col = 0; col < kSfcColumns; ++col) {
                if (row == CursorRow && col == CursorCol) continue;
                const TSfcCell y = CellAt(row, col);
                if ((y.type == kSfcInitStep || y.type == kSfcStep) && y.Number() == n)
                    return refuse(kSfcMsgStepUsed, "S" + std::to_string(n));
            }
    }
    SetCursor(WithNumber(x, x.type, static_cast<std::uint16_t>(n)));
    if (pending_ && pending_->chart.grid != CaptureSfcChart().grid) history_.Record(std::move(*pending_));
    pending_.reset();
    r.changed = true;
    return r;
}

TSfcEditResult TSfcEditModel::DeleteElement() {
    TSfcEditResult r;
    if (editing_ || Refused() || Cursor().Empty()) return r;
    if (InnerAtCursor()) {
        r.msg = kSfcMsgInnerOpen;
        return r;
    }
    history_.Record(Take());
    SetCursor(TSfcCell{});
    RemoveSfcCodeRec(CursorRow, CursorCol * kSfcCellBytes);
    r.changed = true;
    return r;
}

TSfcEditResult TSfcEditModel::InsertRow() {
    TSfcEditResult r;
    if (!gSfcGrid || Refused()) return r;
    CloseNumber();
    history_.Record(Take());
    // Nothing falls off the end: a chart that reaches its last row grows first.
    if (SfcLastUsedRow(gSfcGrid, gSfcRowCount) >= gSfcRowCount - 1) ResizeSfcGrid(gSfcRowCount + kSfcViewGrowth);
    const std::size_t at = static_cast<std::size_t>(CursorRow) * kSfcRowBytes;
    const std::size_t total = static_cast<std::size_t>(gSfcRowCount) * kSfcRowBytes;
    std::memmove(gSfcGrid + at + kSfcRowBytes, gSfcGrid + at, total - at - kSfcRowBytes);
    std::memset(gSfcGrid + at, 0xFF, kSfcRowBytes);
    ShiftSfcCodeRecs(CursorRow, 0, true, true);
    ShiftInner(CursorRow, 0, true, true);
    r.changed = true;
    return r;
}

TSfcEditResult TSfcEditModel::DeleteRow() {
    TSfcEditResult r;
    if (!gSfcGrid || Refused()) return r;
    if (InnerAtCursor(true)) {
        r.msg = kSfcMsgInnerOpen;
        return r;
    }
    CloseNumber();
    history_.Record(Take());
    for (std::int32_t col = 0; col < kSfcColumns; ++col) RemoveSfcCodeRec(CursorRow, col * kSfcCellBytes);
    const std::size_t at = static_cast<std::size_t>(CursorRow) * kSfcRowBytes;
    const std::size_t total = static_cast<std::size_t>(gSfcRowCount) * kSfcRowBytes;
    std::memmove(gSfcGrid + at, gSfcGrid + at + kSfcRowBytes, total - at - kSfcRowBytes);
    std::memset(gSfcGrid + total - kSfcRowBytes, 0xFF, kSfcRowBytes);
    ShiftSfcCodeRecs(CursorRow, 0, true, false);
    ShiftInner(CursorRow, 0, true, false);
    r.changed = true;
    return r;
}

TSfcEditResult TSfcEditModel::InsertCell() {
    TSfcEditResult r;
    if (!gSfcGrid || Refused()) return r;
    if (!CellAt(CursorRow, kSfcColumns - 1).Empty()) {
        r.msg = kSfcMsgRowFull;
        return r;
    }
    CloseNumber();
    history_.Record(Take());
    RemoveSfcCodeRec(CursorRow, (kSfcColumns - 1) * kSfcCellBytes);  // a stray record of the empty last cell
    for (std::int32_t col = kSfcColumns - 1; col > CursorCol; --col) SetCellAt(CursorRow, col, CellAt(CursorRow, col - 1));
    SetCursor(TSfcCell{});
    ShiftSfcCodeRecs(CursorRow, CursorCol * kSfcCellBytes, false, true);
    ShiftInner(CursorRow, CursorCol * kSfcCellBytes, false, true);
    r.changed = true;
    return r;
}

TSfcEditResult TSfcEditModel::DeleteCell() {
    TSfcEditResult r;
    if (!gSfcGrid || Refused()) return r;
    if (InnerAtCursor()) {
        r.msg = kSfcMsgInnerOpen;
        return r;
    }
    CloseNumber();
    history_.Record(Take());
    RemoveSfcCodeRec(CursorRow, CursorCol * kSfcCellBytes);
    for (std::int32_t col = CursorCol; col < kSfcColumns - 1; ++col) SetCellAt(CursorRow, col, CellAt(CursorRow, col + 1));
    SetCellAt(CursorRow, kSfcColumns - 1, TSfcCell{});
    ShiftSfcCodeRecs(CursorRow, CursorCol * kSfcCellBytes, false, false);
    ShiftInner(CursorRow, CursorCol * kSfcCellBytes, false, false);
    r.changed = true;
    return r;
}

TSfcEditResult TSfcEditModel::StepDevice() const {
    TSfcEditResult r;
    const TSfcCell x = Cursor();
    if (x.Empty() || x.type == kSfcLad || x.type == kSfcTransition || x.type == kSfcLine) {
        r.msg = kSfcMsgNoComment;
        return r;
    }
    r.detail = "S" + std::to_string(x.Number());
    return r;
}

void TSfcEditModel::Revert(const TSfcChart& chart) {
    CloseNumber();
    TSfcSnapshot s = Take();
    s.chart = chart;
    history_.Record(Current());
    Restore(s);
}

TSfcSnapshot TSfcEditModel::Current() const {
    TSfcSnapshot s = Take();
    s.stamps = CaptureSfcStamps();
    return s;
}

void TSfcEditModel::DrawnAnew(std::optional<TSfcSnapshot> replaced) {
    editing_ = false;
    pending_.reset();
    history_.Clear();
    if (replaced) history_.Record(std::move(*replaced));
}

void TSfcEditModel::RecordInnerStore() { history_.Record(Take()); }

bool TSfcEditModel::Undo() {
    if (InnerOpen()) return false;
    CloseNumber();
    // Undoing a step that puts stamps back keeps the present ones for the redo.
    const TSfcSnapshot* next = history_.NextUndo();
    auto s = history_.Undo(next && next->stamps ? Current() : Take());
    if (!s) return false;
    Restore(*s);
    return true;
}

bool TSfcEditModel::Redo() {
    if (InnerOpen()) return false;
    CloseNumber();
    const TSfcSnapshot* next = history_.NextRedo();
    auto s = history_.Redo(next && next->stamps ? Current() : Take());
    if (!s) return false;
    Restore(*s);
    return true;
}
