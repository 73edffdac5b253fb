// Whole-row and block edits of the ladder (insert and delete rows, paste,
// insert and delete blocks), the selection they work on, and the snapshots
// undo and redo restore. Labels, rung comments and step marks belong to their
// rows and move with them.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "core/Codetranslate.h"
#include "ladder/edit/Ladderedit.h"
#include "ladder/edit/Laddertexts.h"
#include "ladder/model/Lad.h"
#include "ladder/model/Ladtranslate.h"
#include "project/Qelglobals.h"

namespace {

constexpr std::int32_t kW = kLdbCellBytes;
constexpr std::size_t kRow = kLdbRowBytes;

bool AllZero(const std::uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

bool IsOutputCell(const std::uint8_t* cell) {
    const TLdbKind k = CellKind(cell);
    return k == TLdbKind::Out_Ry || k == TLdbKind::Spec_Fun;
}

// Writes one part of a block into a 60-byte row at column `at`. A part with
// an output puts the output and what follows it at the row's end and wire
// between; a part without one must leave the output column free unless it
// ends in a connector. False when it does not fit.
bool WritePart(std::uint8_t* row, std::int32_t at, const std::uint8_t* p, std::int32_t len) {
    if (len == 0) return true;
    if (len == kLdbRowBytes && IsBlockCommentRow(p)) {
        if (at != 0) return false;
        std::memcpy(row, p, kRow);
        return true;
    }
    if (at < 0 || at + len > kPastRowEnd) return false;
    if (IsBlockCommentRow(row)) std::memset(row, 0, kRow);
    std::int32_t out = -1;
    for (std::int32_t off = 0; off < len && out < 0; off += kW)
        if (IsOutputCell(p + off)) out = off;
    if (out >= 0) {
        const std::int32_t tail = len - out;
        std::memcpy(row + at, p, static_cast<std::size_t>(out));
        for (std::int32_t c = at + out; c < kPastRowEnd - tail; c += kW) {
            std::memset(row + c, 0, kW);
            SetCellKind(row + c, TLdbKind::H_Line);
        }
        std::memcpy(row + kPastRowEnd - tail, p + out, static_cast<std::size_t>(tail));
        return true;
    }
    // Empty cells at the part's end (a row marked to its end) take no room.
    std::int32_t used = len;
    while (used > 0 && AllZero(p + used - kW, kW)) used -= kW;
    if (used > 0 && at + used > kLdbLastColumn && CellKind(p + used - kW) != TLdbKind::Re_Line) return false;
    std::memcpy(row + at, p, static_cast<std::size_t>(len));
    // Operand tokens of a box the part overwrote would stand without it.
    for (std::int32_t c = at + len; c < kPastRowEnd && IsTokenCell(row + c); c += kW) std::memset(row + c, 0, kW);
    return true;
}

void ShiftTable(std::int32_t* table, std::int32_t count, std::int32_t at, std::int32_t n) {
    if (!table) return;
    for (std::int32_t k = 0; k < count; ++k) {
        std::int32_t& r = table[k];
        if (r < at) continue;
        if (n < 0 && r < at - n) r = -1;
        else r += n;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Snapshots

TLadderSnapshot TLadderEdit::TakeSnapshot() {
    TLadderSnapshot s;
    if (!doc_.grid) return s;
    const std::int32_t last = FindLastUsedRow(doc_.grid, kLdbRowBytes, doc_.capacity - 1);
    s.rows.assign(doc_.grid, doc_.grid + static_cast<std::size_t>(last + 1) * kRow);
    if (doc_.labels.pRows) s.pLabels.assign(doc_.labels.pRows, doc_.labels.pRows + kPLabelCount);
    if (doc_.labels.iRows) s.iLabels.assign(doc_.labels.iRows, doc_.labels.iRows + kILabelCount);
    if (doc_.rowComments) s.rowComments = *doc_.rowComments;
    if (doc_.marks) s.marks = *doc_.marks;
    if (auto* ids = doc_.rowIds) {
        GiveRowIds(last);
        s.rowIds = *ids;
    }
    s.cursorRow = row_;
    s.cursorCol = col_;
    return s;
}

std::vector<std::pair<std::uint32_t, std::string>> TLadderEdit::CommentsTypedSince() const {
    std::vector<std::pair<std::uint32_t, std::string>> typed;
    if (!doc_.rowComments || !doc_.rowIds || !ownComments_ || ownIds_.empty()) return typed;
    const auto at = [](const std::vector<std::string>& v, std::size_t r) { return r < v.size() ? v[r] : std::string(); };
    std::unordered_map<std::uint32_t, std::size_t> ownRow;
    for (std::size_t k = 0; k < ownIds_.size(); ++k) ownRow.emplace(ownIds_[k], k);
    const std::vector<std::string>& now = *doc_.rowComments;
    const std::vector<std::uint32_t>& ids = *doc_.rowIds;
    for (std::size_t r = 0; r < ids.size(); ++r) {
        const auto it = ownRow.find(ids[r]);
        const std::string own = it == ownRow.end() ? std::string() : at(*ownComments_, it->second);
        if (at(now, r) != own) typed.emplace_back(ids[r], at(now, r));
    }
    return typed;
}

void CarryTypedComments(TLadderSnapshot& s, const std::vector<std::pair<std::uint32_t, std::string>>& typed) {
    if (typed.empty() || !s.rowComments || s.rowIds.empty()) return;
    std::unordered_map<std::uint32_t, std::size_t> row;
    for (std::size_t r = 0; r < s.rowIds.size(); ++r) row.emplace(s.rowIds[r], r);
    std::vector<std::string>& c = *s.rowComments;
    for (const auto& [id, text] : typed) {
        const auto it = row.find(id);
        if (it == row.end()) continue;
        if (it->second >= c.size()) {
            if (text.empty()) continue;
            c.resize(it->second + 1);
        }
        c[it->second] = text;
    }
}

std::size_t TLadderEdit::RestoreSnapshot(const TLadderSnapshot& s) {
    if (!doc_.grid) return 0;
    const std::size_t rows = std::min(s.rows.size(), static_cast<std::size_t>(doc_.capacity) * kRow);
    std::memset(doc_.grid, 0, static_cast<std::size_t>(doc_.capacity) * kRow);
    if (rows > 0) std::memcpy(doc_.grid, s.rows.data(), rows);
    if (doc_.labels.pRows && s.pLabels.size() == kPLabelCount)
        std::copy(s.pLabels.begin(), s.pLabels.end(), doc_.labels.pRows);
    if (doc_.labels.iRows && s.iLabels.size() == kILabelCount)
        std::copy(s.iLabels.begin(), s.iLabels.end(), doc_.labels.iRows);
    std::size_t lost = 0;
    if (doc_.rowComments && s.rowComments) {
        // The ladder's own edit is taken back (the rows it moved or removed
        // with their comments); a comment typed in the rung-comment window
        // since is not the ladder's to take back: it goes where its row
        // stands in the snapshot.
        std::vector<std::string> comments = *s.rowComments;
        const std::vector<std::string>& now = *doc_.rowComments;
        // Each comment typed since, with the row it goes beside in the snapshot.
        std::vector<std::pair<std::size_t, std::string>> typed;
        if (doc_.rowIds && !s.rowIds.empty() && !ownIds_.empty()) {
            // Its row found by identity; none (SIZE_MAX) when its row came
            // with the edit taken back.
            GiveRowIds(lastRow_);
            std::unordered_map<std::uint32_t, std::size_t> snapRow;
            for (std::size_t r = 0; r < s.rowIds.size(); ++r) snapRow.emplace(s.rowIds[r], r);
            for (auto& [id, text] : CommentsTypedSince()) {
                const auto it = snapRow.find(id);
                typed.emplace_back(it == snapRow.end() ? SIZE_MAX : it->second, std::move(text));
            }
        } else {
            const auto at = [](const std::vector<std::string>& v, std::size_t r) { return r < v.size() ? v[r] : std::string(); };
            const std::vector<std::string>& own = ownComments_ ? *ownComments_ : now;
            for (std::size_t r = 0; r < std::max(now.size(), own.size()); ++r)
                if (at(now, r) != at(own, r)) typed.emplace_back(r, at(now, r));
        }
        for (auto& [to, text] : typed) {
            if (to >= static_cast<std::size_t>(doc_.capacity)) {
                if (!text.empty()) ++lost;
                continue;
            }
            if (to >= comments.size()) comments.resize(to + 1);
            comments[to] = std::move(text);
        }
        *doc_.rowComments = std::move(comments);
    }
    if (doc_.rowIds) *doc_.rowIds = s.rowIds;
    if (doc_.marks && s.marks) *doc_.marks = *s.marks;
    Changed();
    sel_ = {};
    row_ = std::clamp(s.cursorRow, 0, std::max(0, doc_.capacity - 1));
    col_ = std::clamp(s.cursorCol, kLabelColumn, kLdbLastColumn);
    SnapToHead();
    anchorRow_ = row_;
    anchorCol_ = col_;
    return lost;
}

// ---------------------------------------------------------------------------
// Selection

void TLadderEdit::ClearSelection() {
    sel_ = {};
    anchorRow_ = row_;
    anchorCol_ = col_;
}

void TLadderEdit::SelectAll() {
    sel_ = {};
    if (!doc_.grid || lastRow_ < 0) return;
    sel_.active = true;
    sel_.endRow = lastRow_;
    sel_.endCol = kPastRowEnd;
}

void TLadderEdit::SelectRange(std::int32_t aRow, std::int32_t aCol, std::int32_t bRow, std::int32_t bCol) {
    if (!doc_.grid) return;
    const std::int32_t top = std::max(0, doc_.capacity - 1);
    aRow = std::clamp(aRow, 0, top);
    bRow = std::clamp(bRow, 0, top);
    if (bRow < aRow || (bRow == aRow && bCol < aCol)) {
        std::swap(aRow, bRow);
        std::swap(aCol, bCol);
    }
    sel_.active = true;
    sel_.startRow = aRow;
    sel_.startCol = (aCol < 0 || IsCommentRow(aRow)) ? 0 : FindElementStart(doc_.grid, aRow, aCol);
    sel_.endRow = bRow;
    if (bCol < 0 || IsCommentRow(bRow)) {
        sel_.endCol = kPastRowEnd;
    } else {
        const std::int32_t head = FindElementStart(doc_.grid, bRow, std::min(bCol, kLdbLastColumn));
        sel_.endCol = std::min(kPastRowEnd, head + CellSpan(bRow, head) * kW);
    }
}

void TLadderEdit::ExtendSelection(SelectKey key) {
    if (!doc_.grid) return;
    if (!sel_.active) {
        anchorRow_ = row_;
        anchorCol_ = col_;
    }
    switch (key) {
        case SelectKey::Left: Left(); break;
        case SelectKey::Right: Right(); break;
        case SelectKey::Up: Up(); break;
        case SelectKey::Down: Down(); break;
        case SelectKey::End: End(); break;
    }
    SelectRange(anchorRow_, anchorCol_, row_, col_);
}

void TLadderEdit::SelectTo(std::int32_t row, std::int32_t col) {
    if (!doc_.grid) return;
    if (!sel_.active) {
        anchorRow_ = row_;
        anchorCol_ = col_;
    }
    SelectRange(anchorRow_, anchorCol_, row, col);
}

// ---------------------------------------------------------------------------
// Blocks

TLadderEditResult TLadderEdit::DeleteBlock() {
    if (!doc_.grid) return {};
    if (!guarding_) return Guard([&] { return DeleteBlock(); });
    if (!sel_.active) {
        const TLadderEditResult r = DeleteElement();
        ClearSelection();
        return r;
    }
    const TLadderBlock b = CopyLadderBlock(doc_.grid, sel_);
    const TLadderSelection s = sel_;
    // A rung comment goes with the rows it stands beside, as the rows' cells
    // do; their labels stay for the user to move (the compile names them).
    bool comments = false;
    for (const std::int32_t k : WholeRows(b)) {
        const auto row = static_cast<std::size_t>(s.startRow + k);
        if (!doc_.rowComments || row >= doc_.rowComments->size() || (*doc_.rowComments)[row].empty()) continue;
        (*doc_.rowComments)[row].clear();
        comments = true;
    }
    ClearSelection();
    if (b.bytes.empty() || AllZero(b.bytes.data(), b.bytes.size())) {
        if (comments) Changed();
        return {comments, LadMsg::None};
    }
    if (BeforeChange) BeforeChange();
    std::memset(Cell(s.startRow, s.startCol), 0, b.bytes.size());
    Renode(s.startRow - 1, s.endRow + 1);
    Changed();
    row_ = std::min(row_, std::max(0, doc_.capacity - 1));
    SnapToHead();
    return {true, LadMsg::None};
}

std::vector<std::int32_t> TLadderEdit::WholeRows(const TLadderBlock& b) const {
    // A row stands in the block whole when the block holds its column 0 and
    // nothing of the row lies outside it.
    std::vector<std::int32_t> rows;
    const std::int32_t S = sel_.startRow;
    for (std::int32_t k = 0; k < b.Rows(); ++k) {
        const std::int32_t from = k == 0 ? sel_.startCol : 0;
        std::int32_t to = kPastRowEnd;
        if (!b.multiRow) to = sel_.startCol + b.firstLength;
        else if (k == b.Rows() - 1) to = b.lastLength;
        // A block ending at a row's end has no last part: that row is not in it.
        if (from > 0 || (b.multiRow && k == b.Rows() - 1 && to == 0) || S + k >= doc_.capacity) continue;
        const std::uint8_t* row = RowAt(S + k);
        if (AllZero(row + to, static_cast<std::size_t>(kPastRowEnd - to))) rows.push_back(k);
    }
    return rows;
}

TLadderBlock TLadderEdit::CopyBlock() const {
    TLadderBlock b = CopyLadderBlock(doc_.grid, sel_);
    if (b.Size() <= 0) return b;
    // The labels and comment of a row held whole go along.
    const std::int32_t S = sel_.startRow;
    for (const std::int32_t k : WholeRows(b)) {
        TBlockRowBeside r;
        r.row = k;
        for (std::int32_t x = 0; doc_.labels.pRows && x < kPLabelCount; ++x)
            if (doc_.labels.pRows[x] == S + k) r.pLabel = x;
        for (std::int32_t x = 0; doc_.labels.iRows && x < kILabelCount; ++x)
            if (doc_.labels.iRows[x] == S + k) r.iLabel = x;
        if (doc_.rowComments && static_cast<std::size_t>(S + k) < doc_.rowComments->size())
            r.comment = (*doc_.rowComments)[static_cast<std::size_t>(S + k)];
        b.beside.push_back(std::move(r));
    }
    return b;
}

TLadderEditResult TLadderEdit::CutBlock() {
    if (!doc_.grid || !sel_.active) return {};
    if (!guarding_) return Guard([&] { return CutBlock(); });
    const TLadderBlock b = CopyBlock();
    const std::int32_t S = sel_.startRow;
    // The labels of the rows the block holds whole go with them (their
    // comments go in DeleteBlock; the guard takes one undo step for the cut).
    bool beside = false;
    for (const TBlockRowBeside& r : b.beside) {
        beside |= r.pLabel >= 0 || r.iLabel >= 0;
        FreeRowLabels(doc_.labels.pRows, kPLabelCount, S + r.row);
        FreeRowLabels(doc_.labels.iRows, kILabelCount, S + r.row);
    }
    TLadderEditResult r = DeleteBlock();
    if (beside && !r.changed) Changed();
    r.changed = r.changed || beside;
    return r;
}

namespace {

// The first device of a block's cells the current family does not have (a block
// copied in a run of another model), block-comment rows left aside; "" when none.
std::string BlockDeviceBeyondFamily(const TLadderBlock& b) {
    for (std::int32_t k = 0; k < b.Rows(); ++k) {
        const std::int32_t at = k == 0 ? 0 : b.firstLength + (k - 1) * kLdbRowBytes;
        const std::int32_t len = k == 0 ? b.firstLength : (k <= b.middleRows ? kLdbRowBytes : b.lastLength);
        if (len <= 0 || static_cast<std::size_t>(at + len) > b.bytes.size()) continue;
        if (len == kLdbRowBytes && IsBlockCommentRow(b.bytes.data() + at)) continue;
        std::string device = FirstDeviceBeyondFamily(b.bytes.data() + at, len / kLdbCellBytes);
        if (!device.empty()) return device;
    }
    return {};
}

}  // namespace

TLadderBlock TLadderEdit::BlockForThisLadder(const TLadderBlock& block, int& leftOut) const {
    leftOut = 0;
    TLadderBlock b = block;
    for (std::int32_t k = 0; k < b.Rows() && !doc_.program; ++k) {
        // Only whole rows can be block-comment rows (the decoder sees to it).
        const std::int32_t at = k == 0 ? 0 : b.firstLength + (k - 1) * kLdbRowBytes;
        const std::int32_t len = k == 0 ? b.firstLength : (k <= b.middleRows ? kLdbRowBytes : b.lastLength);
        if (len != kLdbRowBytes || static_cast<std::size_t>(at + len) > b.bytes.size()) continue;
        if (!IsBlockCommentRow(b.bytes.data() + at)) continue;
        std::memset(b.bytes.data() + at, 0, kRow);
        ++leftOut;
    }
    // A ladder that keeps no rung comments leaves those of the rows out.
    if (!doc_.rowComments) {
        for (TBlockRowBeside& r : b.beside) {
            if (!r.comment.empty()) ++leftOut;
            r.comment.clear();
        }
    }
    return b;
}

void TLadderEdit::PlaceBeside(const TLadderBlock& b, std::int32_t row, std::int32_t col, std::string& notPlaced) {
    for (const TBlockRowBeside& r : b.beside) {
        // The first row goes beside its row only when it was written from column 0.
        if (r.row == 0 && col != 0) continue;
        const std::int32_t target = row + r.row;
        if (target >= doc_.capacity) continue;
        if (doc_.rowComments) {
            auto& c = *doc_.rowComments;
            if (!r.comment.empty() && c.size() <= static_cast<std::size_t>(target))
                c.resize(static_cast<std::size_t>(target) + 1);
            if (static_cast<std::size_t>(target) < c.size()) c[static_cast<std::size_t>(target)] = r.comment;
        }
        auto place = [&](std::int32_t* table, std::int32_t count, std::int32_t number, char letter) {
            if (!table || number < 0 || number >= count || table[number] == target) return;
            // Held by another row (a copy's original): it stays there.
            if (table[number] >= 0) return;
            if (std::find(table, table + count, target) != table + count) {
                notPlaced += " " + std::string(1, letter) + std::to_string(number);
                return;
            }
            table[number] = target;
        };
        place(doc_.labels.pRows, kPLabelCount, r.pLabel, 'P');
        place(doc_.labels.iRows, kILabelCount, r.iLabel, 'I');
    }
}

TLadderEditResult TLadderEdit::PasteResult(int leftOut, const std::string& notPlaced) {
    TLadderEditResult r{true, LadMsg::None};
    if (!notPlaced.empty()) {
        r.message = LadMsg::LabelNotPlaced;
        r.detail = notPlaced;
    } else if (leftOut > 0) {
        r.message = LadMsg::BesideLeftOut;
        r.detail = " " + std::to_string(leftOut);
    }
    return r;
}

bool TLadderEdit::WriteBlock(std::vector<std::uint8_t>& rows, std::int32_t col, const TLadderBlock& b) const {
    const std::uint8_t* p = b.bytes.data();
    if (!WritePart(rows.data(), col, p, b.firstLength)) return false;
    if (!b.multiRow) return true;
    p += b.firstLength;
    std::memcpy(rows.data() + kRow, p, static_cast<std::size_t>(b.MiddleLength()));
    p += b.MiddleLength();
    return WritePart(rows.data() + static_cast<std::size_t>(b.middleRows + 1) * kRow, 0, p, b.lastLength);
}

TLadderEditResult TLadderEdit::PasteBlock(const TLadderBlock& block) {
    if (!doc_.grid) return {};
    if (!guarding_) return Guard([&] { return PasteBlock(block); });
    if (col_ < 0) return {false, LadMsg::PasteLabelColumn};
    if (block.Size() <= 0 || block.bytes.size() != static_cast<std::size_t>(block.Size())) return {};
    // A block copied under another model may hold what this one lacks: nothing goes in.
    if (const std::string device = BlockDeviceBeyondFamily(block); !device.empty())
        return {false, LadMsg::PasteBeyondFamily, " " + device};
    int leftOut = 0;
    const TLadderBlock b = BlockForThisLadder(block, leftOut);
    const std::int32_t n = b.Rows();
    if (row_ + n > doc_.capacity) return {false, LadMsg::NoRoom};
    // A block comment is not written over, as nothing can be typed on it.
    for (std::int32_t k = 0; k < n; ++k) {
        const bool written = k == 0 || k <= b.middleRows || b.lastLength > 0;
        if (written && IsCommentRow(row_ + k)) return {false, LadMsg::NotHere};
    }
    std::uint8_t* target = Cell(row_, 0);
    std::vector<std::uint8_t> rows(target, target + static_cast<std::size_t>(n) * kRow);
    if (!WriteBlock(rows, col_, b)) return {false, LadMsg::NoRoom};
    ClearSelection();
    // Nothing written, nothing carried: the paste changes nothing (the guard
    // takes the undo step only for a change). Only the rows written over, the
    // label tables and the comments can change: those are compared.
    const bool cells = std::memcmp(rows.data(), target, rows.size()) != 0;
    const auto table = [](const std::int32_t* t, int count) {
        return t ? std::vector<std::int32_t>(t, t + count) : std::vector<std::int32_t>();
    };
    const std::vector<std::int32_t> p0 = table(doc_.labels.pRows, kPLabelCount);
    const std::vector<std::int32_t> i0 = table(doc_.labels.iRows, kILabelCount);
    std::optional<std::vector<std::string>> c0;
    if (doc_.rowComments) c0 = *doc_.rowComments;
    std::memcpy(target, rows.data(), rows.size());
    std::string notPlaced;
    PlaceBeside(b, row_, col_, notPlaced);
    if (!cells && p0 == table(doc_.labels.pRows, kPLabelCount) && i0 == table(doc_.labels.iRows, kILabelCount) &&
        (!c0 || *c0 == *doc_.rowComments)) {
        TLadderEditResult r = PasteResult(leftOut, notPlaced);
        r.changed = false;
        return r;
    }
    Renode(row_ - 1, row_ + n);
    Changed();
    SnapToHead();
    return PasteResult(leftOut, notPlaced);
}

// ---------------------------------------------------------------------------
// Rows

void TLadderEdit::ShiftRows(std::int32_t at, std::int32_t n) {
    const std::int32_t last = lastRow_;
    if (n > 0) {
        if (last >= at) {
            std::memmove(Cell(at + n, 0), Cell(at, 0), static_cast<std::size_t>(last - at + 1) * kRow);
        }
        std::memset(Cell(at, 0), 0, static_cast<std::size_t>(n) * kRow);
    } else {
        const std::int32_t m = -n;
        if (last >= at + m)
            std::memmove(Cell(at, 0), Cell(at + m, 0), static_cast<std::size_t>(last - at - m + 1) * kRow);
        const std::int32_t clearFrom = std::max(at, last - m + 1);
        if (last >= at) std::memset(Cell(clearFrom, 0), 0, static_cast<std::size_t>(last - clearFrom + 1) * kRow);
    }
    ShiftTable(doc_.labels.pRows, kPLabelCount, at, n);
    ShiftTable(doc_.labels.iRows, kILabelCount, at, n);
    ShiftRowComments(at, n);
    if (auto* marks = doc_.marks) {
        std::vector<TStepMark> kept;
        kept.reserve(marks->size());
        for (TStepMark m : *marks) {
            if (m.row >= at) {
                if (n < 0 && m.row < at - n) continue;
                m.row = static_cast<std::uint16_t>(m.row + n);
            }
            kept.push_back(m);
        }
        *marks = std::move(kept);
    }
}

void TLadderEdit::ShiftRowComments(std::int32_t at, std::int32_t n) {
    auto* c = doc_.rowComments;
    if (auto* ids = doc_.rowIds) {
        // Every row that moves has its identity first: those up to the
        // insertion point, and the rows a deletion takes.
        GiveRowIds(std::max({lastRow_, at - 1, at - std::min(n, 0) - 1}));
        if (n > 0) {
            std::vector<std::uint32_t> fresh;
            GiveLadderRowIds(fresh, n - 1, 0);
            ids->insert(ids->begin() + at, fresh.begin(), fresh.end());
            if (ids->size() > static_cast<std::size_t>(doc_.capacity)) ids->resize(static_cast<std::size_t>(doc_.capacity));
        } else if (n < 0) {
            ids->erase(ids->begin() + at, ids->begin() + (at - n));
        }
    }
    if (c && static_cast<std::size_t>(at) < c->size()) {
        if (n > 0) {
            c->insert(c->begin() + at, static_cast<std::size_t>(n), std::string());
            // Comments are kept for the grid's rows only (the insertion was
            // refused when one would have been pushed past them).
            if (c->size() > static_cast<std::size_t>(doc_.capacity)) c->resize(static_cast<std::size_t>(doc_.capacity));
        } else {
            const std::size_t end = std::min(c->size(), static_cast<std::size_t>(at - n));
            c->erase(c->begin() + at, c->begin() + static_cast<std::ptrdiff_t>(end));
        }
    }
}

namespace {

bool CommentsFrom(const std::vector<std::string>* c, std::int32_t from) {
    if (!c) return false;
    for (std::size_t r = static_cast<std::size_t>(std::max(0, from)); r < c->size(); ++r)
        if (!(*c)[r].empty()) return true;
    return false;
}

bool LabelsFrom(TLabelTables t, std::int32_t from) {
    for (std::int32_t k = 0; t.pRows && k < kPLabelCount; ++k)
        if (t.pRows[k] >= from) return true;
    for (std::int32_t k = 0; t.iRows && k < kILabelCount; ++k)
        if (t.iRows[k] >= from) return true;
    return false;
}

}  // namespace

TLadderEditResult TLadderEdit::InsertRow() {
    if (!doc_.grid) return {};
    if (!guarding_) return Guard([&] { return InsertRow(); });
    const std::int32_t cap = doc_.capacity;
    // Nothing is ever pushed past the grid's last row: not a row, a label or
    // a rung comment.
    if ((lastRow_ >= row_ && lastRow_ + 1 > cap - 1) || LabelsFrom(doc_.labels, cap - 1) ||
        CommentsFrom(doc_.rowComments, cap - 1))
        return {false, LadMsg::NoRoom};
    const bool marksBelow = doc_.marks && std::any_of(doc_.marks->begin(), doc_.marks->end(),
                                                      [&](const TStepMark& m) { return m.row >= row_; });
    if (lastRow_ < row_ && !LabelsFrom(doc_.labels, row_) && !CommentsFrom(doc_.rowComments, row_) && !marksBelow)
        return {};
    if (BeforeChange) BeforeChange();
    ShiftRows(row_, 1);
    Renode(row_ - 1, row_ + 1);
    Changed();
    ClearSelection();
    return {true, LadMsg::None};
}

TLadderEditResult TLadderEdit::DeleteRow() {
    if (!doc_.grid) return {};
    if (!guarding_) return Guard([&] { return DeleteRow(); });
    const bool marksHere = doc_.marks && std::any_of(doc_.marks->begin(), doc_.marks->end(),
                                                     [&](const TStepMark& m) { return m.row >= row_; });
    if (row_ > lastRow_ && !LabelsFrom(doc_.labels, row_) && !CommentsFrom(doc_.rowComments, row_) && !marksHere)
        return {};
    const std::uint8_t* row = RowAt(row_);
    if (!IsCommentRow(row_) &&
        (CellKind(row) == TLdbKind::Re_Line || CellKind(row + kLdbLastColumn) == TLdbKind::Re_Line))
        return DeleteFoldedRow();
    if (BeforeChange) BeforeChange();
    ShiftRows(row_, -1);
    Renode(row_ - 1, row_);
    Changed();
    ClearSelection();
    SnapToHead();
    return {true, LadMsg::None};
}

TLadderEditResult TLadderEdit::InsertBlock(const TLadderBlock& block) {
    if (!doc_.grid) return {};
    if (!guarding_) return Guard([&] { return InsertBlock(block); });
    if (col_ < 0) return {false, LadMsg::PasteLabelColumn};
    if (block.Size() <= 0 || block.bytes.size() != static_cast<std::size_t>(block.Size())) return {};
    if (const std::string device = BlockDeviceBeyondFamily(block); !device.empty())
        return {false, LadMsg::PasteBeyondFamily, " " + device};
    int leftOut = 0;
    const TLadderBlock b = BlockForThisLadder(block, leftOut);
    if (col_ + b.firstLength > kPastRowEnd) return {false, LadMsg::NoRoom};
    const std::int32_t n = b.InsertRows(), cap = doc_.capacity;
    const std::int32_t highest = lastRow_ >= row_ ? lastRow_ + n : row_ + n - 1;
    if (highest > cap - 1 || LabelsFrom(doc_.labels, cap - n) || CommentsFrom(doc_.rowComments, cap - n))
        return {false, LadMsg::NoRoom};
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(b.Rows()) * kRow, 0);
    if (!WriteBlock(rows, col_, b)) return {false, LadMsg::NoRoom};
    if (BeforeChange) BeforeChange();
    ShiftRows(row_, n);
    std::memcpy(Cell(row_, 0), rows.data(), static_cast<std::size_t>(n) * kRow);
    std::string notPlaced;
    PlaceBeside(b, row_, col_, notPlaced);
    Renode(row_ - 1, row_ + n);
    Changed();
    ClearSelection();
    SnapToHead();
    return PasteResult(leftOut, notPlaced);
}

std::vector<std::pair<char, std::int32_t>> TLadderEdit::CursorDevices() const {
    std::vector<std::pair<char, std::int32_t>> out;
    if (!doc_.grid) return out;
    if (col_ < 0) {
        std::int32_t number = 0;
        const TLabelKind kind = FindRowLabelIn(doc_.labels, row_, number);
        if (kind == TLabelKind::P) out.emplace_back('P', number);
        else if (kind == TLabelKind::I) out.emplace_back('I', number);
        return out;
    }
    if (IsCommentRow(row_)) return out;
    const std::int32_t head = FindElementStart(doc_.grid, row_, col_);
    const std::uint8_t* cell = Cell(row_, head);
    char letter;
    std::int32_t number;
    const TLdbKind kind = CellKind(cell);
    if (kind == TLdbKind::Spec_Fun || kind == TLdbKind::Comp_Ry) {
        for (std::int32_t c = head + kW; c < kPastRowEnd && IsTokenCell(Cell(row_, c)); c += kW)
            if (CellCommentDevice(Cell(row_, c), letter, number)) out.emplace_back(letter, number);
    } else if (CellCommentDevice(cell, letter, number)) {
        out.emplace_back(letter, number);
    }
    return out;
}
