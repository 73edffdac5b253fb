#include "sfc/model/Codetosfc.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "core/ProgramImage.h"
#include "ladder/model/LadderConvert.h"
#include "sfc/model/Sfcparse.h"
#include "sfc/model/Sfctocode.h"

namespace {

// The grid grows by this many rows whenever the layout comes within
// kGrowMargin rows of its end.
constexpr std::int32_t kGrowRows = 256;
constexpr std::int32_t kGrowMargin = 32;
// The work flag of the placeholder the first transfer to a step left.
constexpr std::uint8_t kFirstTransfer = 0;

struct TPos {
    std::int32_t row = -1;
    std::int32_t col = -1;
};

TSfcCell MakeCell(std::uint8_t type, std::uint16_t number) {
    return {type, static_cast<std::uint8_t>(number & 0xFF), static_cast<std::uint8_t>(number >> 8), 0xFF};
}
TSfcCell MakeLine(std::uint8_t shape) { return {kSfcLine, shape, 0xFF, 0xFF}; }

// Which sides of a cell a line or element reaches (for keeping the chart
// connected when columns move).
bool ReachesUp(const TSfcCell& x) {
    switch (x.type) {
        case kSfcStep: case kSfcJump: case kSfcTransition: case kSfcJumpSet: case kSfcResetMark: case kSfcStepMark:
            return true;
        case kSfcLine:
            return x.b1 == kShapeVertical || x.b1 == kShapeSelLeft || x.b1 == kShapeParLeft ||
                   x.b1 == kShapeParConvRight || x.b1 == kShapeSelConvRight;
        default:
            return false;
    }
}
bool ReachesLeft(const TSfcCell& x) {
    return x.type == kSfcLine && x.b1 != kShapeVertical && x.b1 != kShapeSelLeft && x.b1 != kShapeParLeft;
}
bool ReachesRight(const TSfcCell& x) { return x.type == kSfcLine && x.b1 != kShapeVertical; }
bool ReachesDown(const TSfcCell& x) {
    switch (x.type) {
        case kSfcInitStep: case kSfcStep: case kSfcTransition: case kSfcStepMark:
            return true;
        case kSfcLine:
            return x.b1 == kShapeVertical || x.b1 == kShapeSelLeft || x.b1 == kShapeParLeft ||
                   x.b1 == kShapeParDivRight || x.b1 == kShapeSelDivRight;
        default:
            return false;
    }
}
// The element types that carry a step number (the places of a step and the
// transfers to it).
bool IsNumbered(std::uint8_t type) {
    switch (type) {
        case kSfcInitStep: case kSfcStep: case kSfcJump: case kSfcJumpSet: case kSfcResetMark: case kSfcStepMark:
            return true;
        default:
            return false;
    }
}
// Column by column, each from the top: the order in which the layout prefers
// the places of a step.
bool ColumnMajor(const TPos& a, const TPos& b) { return std::tie(a.col, a.row) < std::tie(b.col, b.row); }

bool IsSelectiveShape(std::uint8_t s) {
    return s == kShapeSelDivRight || s == kShapeSelCont || s == kShapeSelConvRight || s == kShapeSelLeft;
}

// What a block means as a chart, for comparing a layout with its code: a
// LAD block's code; a step block's steps, actions and transitions (RET only
// closes blocks).
struct TBlockMeaning {
    std::vector<std::uint8_t> lad;
    std::vector<std::uint16_t> steps;
    std::vector<std::uint8_t> actions;
    std::vector<TSfcTransitionCode> transitions;
    bool operator==(const TBlockMeaning&) const = default;
};

// The meaning of the blocks, in their order; `blocks` gets the block of each.
// An empty block of one step (no actions, no transitions) does nothing and is
// left out.
std::vector<TBlockMeaning> MeaningOf(const TSfcParse& p, std::vector<std::size_t>* blocks = nullptr) {
    std::vector<TBlockMeaning> m;
    for (std::size_t i = 0; i < p.blocks.size(); ++i) {
        const TSfcBlock& b = p.blocks[i];
        if (!b.isLad && b.steps.size() == 1 && b.actions.empty() && b.transitions.empty()) continue;
        if (blocks) blocks->push_back(i);
        if (b.isLad) {
            m.push_back({b.code, {}, {}, {}});
            continue;
        }
        std::vector<std::uint16_t> steps = b.steps;
        std::sort(steps.begin(), steps.end());
        m.push_back({{}, steps, b.actions, b.transitions});
    }
    return m;
}

// The code a chart converts to, in `back`; false when it does not convert.
bool CodeOfChart(const TSfcChart& chart, std::uint32_t room, std::vector<std::uint8_t>& back) {
    back.assign(room, 0xFF);
    const TSfcToCodeResult r = SfcChartToCode(TSfcChartRef::Of(chart), back.data(), room);
    back.resize(r.ok() ? r.length : 0);
    return r.ok();
}

// The step numbers of each run of STL words, in order (each run sorted).
std::vector<std::vector<std::uint16_t>> StepRuns(const std::vector<std::uint8_t>& code) {
    std::vector<std::vector<std::uint16_t>> runs;
    bool inRun = false;
    const auto n = static_cast<std::uint32_t>(code.size());
    for (std::uint32_t pos = 0; pos < n;) {
        const std::uint16_t w = ReadCodeWord(code.data(), n, pos);
        const bool stl = IsSfcStlWord(w);
        if (stl && !inRun) runs.emplace_back();
        if (stl) runs.back().insert(std::upper_bound(runs.back().begin(), runs.back().end(), w & 0x0FFF), w & 0x0FFF);
        inRun = stl;
        const std::uint32_t next = NextInstructionOffset(pos, code.data(), n);
        pos = next > pos ? next : n;
    }
    return runs;
}

// True when `back` says what the first n block meanings say, in their order.
bool SaysTheSame(const std::vector<std::uint8_t>& back, const std::vector<TBlockMeaning>& meaning, std::size_t n) {
    const TSfcParse q = ParseSfcCode(back.data(), static_cast<std::uint32_t>(back.size()));
    if (!q.ok) return false;
    const std::vector<TBlockMeaning> m = MeaningOf(q);
    return m.size() == n && std::equal(m.begin(), m.end(), meaning.begin());
}

class TLayout {
public:
    TLayout(TCodeToSfcResult& out, const TSfcParse& p, std::uint32_t room)
        : out_(out), c_(out.chart), p_(p), room_(room), meaning_(MeaningOf(p, &meaningBlock_)) {
        c_ = TSfcChart::Empty(kSfcRowsAtStart);
    }
    // Lays out every block; the chart must convert back to code that says
    // what the code says (into `back`). Where a step or a transfer has more
    // than one way to go, the ways are tried in turn, back to the last such
    // choice when a later block finds no way that keeps the code.
    bool Run(std::vector<std::uint8_t>& back);

private:
    bool Fail(const char* why) {
        if (out_.why.empty()) out_.why = why;
        return false;
    }
    void Grow(std::int32_t row) {
        while (row + kGrowMargin >= c_.rows) c_.EnsureRows(c_.rows + kGrowRows);
    }
    bool Empty(std::int32_t r, std::int32_t c) const { return c_.Cell(r, c).Empty(); }
    void SetCell(std::int32_t r, std::int32_t c, const TSfcCell& x) {
        bound_ = std::max(bound_, r + 1);
        Write(r, c, x);
    }
    void Clear(std::int32_t r, std::int32_t c) { Write(r, c, TSfcCell{}); }
    // Every cell the layout writes goes through here, so that `where_` always
    // names the cells of each step number.
    void Write(std::int32_t r, std::int32_t c, const TSfcCell& x) {
        if (r < 0 || c < 0 || c >= kSfcColumns) return;
        const TSfcCell old = c_.Cell(r, c);
        if (IsNumbered(old.type)) {
            std::vector<TPos>& cells = where_[old.Number()];
            const auto at = std::find_if(cells.begin(), cells.end(), [&](const TPos& p) { return p.row == r && p.col == c; });
            *at = cells.back();
            cells.pop_back();
        }
        c_.SetCell(r, c, x);
        if (IsNumbered(x.type)) {
            if (x.Number() >= where_.size()) where_.resize(x.Number() + 1u);
            where_[x.Number()].push_back({r, c});
        }
    }
    // The cells numbered n, of any type.
    const std::vector<TPos>& CellsNumbered(std::uint16_t n) const {
        static const std::vector<TPos> none;
        return n < where_.size() ? where_[n] : none;
    }
    // The last row that holds a cell (-1 when none).
    std::int32_t LastRow() const {
        return SfcLastUsedRow(c_.grid.data(), std::min(bound_, c_.rows));
    }
    bool Put(std::int32_t r, std::int32_t c, const TSfcCell& x) {
        if (r < 0 || c < 0 || c >= kSfcColumns) return Fail("no room");
        Grow(r);
        if (!Empty(r, c)) return Fail("cell taken");
        SetCell(r, c, x);
        own_.push_back({r, c});
        return true;
    }
    std::int32_t FirstEmptyRow(std::int32_t from) {
        for (std::int32_t r = std::max(from, 0);; ++r) {
            Grow(r);
            bool empty = true;
            for (std::int32_t c = 0; c < kSfcColumns && empty; ++c) empty = Empty(r, c);
            if (empty) return r;
        }
    }
    void AddRecord(std::int32_t r, std::int32_t c, const std::vector<std::uint8_t>& code) {
        TSfcCodeRec rec;
        rec.row = r;
        rec.col = c * kSfcCellBytes;
        rec.code = code;
        c_.records.push_back(std::move(rec));
    }
    // The cells of the given types numbered n: the placeholder of the first
    // transfer to n first, then the others column by column.
    std::vector<TPos> FindCells(std::uint16_t n, std::initializer_list<std::uint8_t> types) const {
        std::vector<TPos> cells;
        for (const TPos& p : CellsNumbered(n))
            if (std::find(types.begin(), types.end(), c_.Cell(p.row, p.col).type) != types.end()) cells.push_back(p);
        std::sort(cells.begin(), cells.end(), ColumnMajor);
        std::vector<TPos> found;
        for (const TPos& p : cells)
            if (c_.Cell(p.row, p.col).flag == kFirstTransfer)
                found.insert(found.begin(), p);
            else
                found.push_back(p);
        return found;
    }
    TPos FindCell(std::uint16_t n, std::initializer_list<std::uint8_t> types) const {
        const std::vector<TPos> found = FindCells(n, types);
        return found.empty() ? TPos{} : found[0];
    }
    // A placeholder just put for a transfer: the first transfer to its step
    // is marked (in the cell's work flag, which moves with the cell).
    void MarkFirstTransfer(std::int32_t r, std::int32_t c, const TSfcTransfer& t) {
        if (r < 0 || c < 0 || !transferred_.insert(t.step).second) return;
        TSfcCell x = c_.Cell(r, c);
        x.flag = kFirstTransfer;
        SetCell(r, c, x);
    }
    // What the layout so far converts back to says what the code's blocks
    // up to `count` say, in their order.
    // (Their steps' blocks come in the same order; what each block holds is
    // compared when the layout is complete.)
    // `back` gets that code (empty when the chart does not convert).
    bool KeepsTheCode(std::size_t count, std::vector<std::uint8_t>& back) const {
        return CodeOfChart(c_, room_, back) && StepRuns(back) == WantedRuns(count);
    }
    // The step runs of the code's blocks up to `count`, in their order;
    // `blocks` gets the block of each.
    std::vector<std::vector<std::uint16_t>> WantedRuns(std::size_t count, std::vector<std::size_t>* blocks = nullptr) const {
        std::vector<std::vector<std::uint16_t>> want;
        for (std::size_t i = 0; i < meaning_.size() && meaningBlock_[i] < count; ++i)
            if (!meaning_[i].steps.empty()) {
                want.push_back(meaning_[i].steps);
                if (blocks) blocks->push_back(meaningBlock_[i]);
            }
        return want;
    }
    // The first step run that the chart's code `back` walks out of the
    // code's order: the block that belongs there (`expected`) and the block
    // walked in its place (`intruder`). False when the order holds.
    bool FirstOutOfOrder(const std::vector<std::uint8_t>& back, std::size_t& expected, std::size_t& intruder) const {
        const std::vector<std::vector<std::uint16_t>> runs = StepRuns(back);
        std::vector<std::size_t> blocks;
        const std::vector<std::vector<std::uint16_t>> want = WantedRuns(p_.blocks.size(), &blocks);
        std::size_t k = 0;
        while (k < runs.size() && k < want.size() && runs[k] == want[k]) ++k;
        if (k >= runs.size() || k >= want.size()) return false;
        expected = intruder = blocks[k];
        for (std::size_t j = 0; j < want.size(); ++j)
            if (want[j] == runs[k]) intruder = blocks[j];
        return true;
    }
    bool PlaceStep(const TSfcBlock& b, TPos at);

    bool ShiftRight(std::int32_t top, std::int32_t bottom, std::int32_t col, std::int32_t width);
    bool MoveBranchRight(std::int32_t top, std::int32_t bottom, std::int32_t col, std::int32_t width);
    bool WidenBelow(std::int32_t row, std::int32_t col);
    std::int32_t WidenAbove(std::int32_t row, std::int32_t col);
    // Each returns the column it placed in (a branch may move right to make
    // room), or -1 when there is no room.
    std::int32_t PlaceAt(std::int32_t row, std::int32_t col, const TSfcCell& x);
    std::int32_t Target(std::int32_t row, std::int32_t col, const TSfcTransfer& t);
    bool JoinToPlaceholder(std::int32_t row, std::int32_t col, const TSfcTransfer& t);
    std::int32_t Parallel(std::int32_t row, std::int32_t col, const std::vector<TSfcTransfer>& targets);
    bool Lad(const TSfcBlock& b);
    // Lays out a step block in its way number `option` of `options`.
    bool StepBlock(const TSfcBlock& b, std::size_t option, std::size_t& options);
    // The layout state that a block changes, to try another way.
    struct TState {
        std::vector<std::uint8_t> used;  // the grid up to its last used row
        std::int32_t rows, bound;
        std::vector<TSfcCodeRec> records;
        std::int32_t placeRow, chainTop;
        std::uint16_t ladNumber;
        std::set<std::uint16_t> steps, transferred;
        std::vector<std::vector<TPos>> where;
    };
    TState Save() const {
        const auto bytes = static_cast<std::size_t>(LastRow() + 1) * kSfcRowBytes;
        return {std::vector<std::uint8_t>(c_.grid.begin(), c_.grid.begin() + bytes), c_.rows, bound_, c_.records, placeRow_,
                chainTop_, ladNumber_, steps_, transferred_, where_};
    }
    void Restore(const TState& s) {
        c_.rows = s.rows;
        bound_ = s.bound;
        c_.grid.assign(static_cast<std::size_t>(s.rows) * kSfcRowBytes, 0xFF);
        std::copy(s.used.begin(), s.used.end(), c_.grid.begin());
        c_.records = s.records;
        placeRow_ = s.placeRow;
        chainTop_ = s.chainTop;
        ladNumber_ = s.ladNumber;
        steps_ = s.steps;
        transferred_ = s.transferred;
        where_ = s.where;
        out_.why.clear();
    }
    // True when a step block may be laid out in more than one way: its step
    // has several places, or a target of its may join a branch.
    bool HasChoices(const TSfcBlock& b) const;
    bool Transitions(const TSfcBlock& b, std::int32_t row, std::int32_t col);

    TCodeToSfcResult& out_;
    TSfcChart& c_;
    const TSfcParse& p_;
    std::uint32_t room_;
    std::vector<std::size_t> meaningBlock_;  // the block of each entry of meaning_
    std::vector<TBlockMeaning> meaning_;     // what the code's blocks say
    std::int32_t placeRow_ = 0;
    std::int32_t chainTop_ = 0;
    std::int32_t bound_ = 0;          // no cell at or below this row
    std::uint16_t ladNumber_ = 0;
    std::set<std::uint16_t> steps_;   // step numbers placed as steps
    std::set<std::uint16_t> transferred_;  // steps a SET transfer was laid out for
    bool mayJoin_ = true;             // a target may join an existing branch
    bool joined_ = false;             // a target of the current block joined one
    bool joinedStep_ = false;         // ... a SET target, whose step may move
    std::vector<TPos> own_;           // cells placed for the current block
    std::vector<std::vector<TPos>> where_;  // by step number: its cells (IsNumbered types)
};

// Moves the cells at and right of col in rows top..bottom `width` columns to
// the right, with their records; a line cut by the move is joined again.
bool TLayout::ShiftRight(std::int32_t top, std::int32_t bottom, std::int32_t col, std::int32_t width) {
    if (col <= 0 || width <= 0 || col + width >= kSfcColumns + 1) return Fail("no room for another column");
    for (std::int32_t r = top; r <= bottom; ++r)
        for (std::int32_t c = kSfcColumns - width; c < kSfcColumns; ++c)
            if (!Empty(r, c)) return Fail("no room for another column");
    for (std::int32_t r = top; r <= bottom; ++r) {
        for (std::int32_t c = kSfcColumns - 1; c >= col + width; --c) SetCell(r, c, c_.Cell(r, c - width));
        const TSfcCell left = c_.Cell(r, col - 1);
        const TSfcCell right = c_.Cell(r, col + width);
        const bool join = ReachesRight(left) && ReachesLeft(right);
        for (std::int32_t c = col; c < col + width; ++c)
            SetCell(r, c, join ? MakeLine(IsSelectiveShape(right.b1) ? kShapeSelCont : kShapeParCont) : TSfcCell{});
    }
    for (TSfcCodeRec& rec : c_.records)
        if (rec.row >= top && rec.row <= bottom && rec.col >= col * kSfcCellBytes) rec.col += width * kSfcCellBytes;
    for (TPos& p : own_)
        if (p.row >= top && p.row <= bottom && p.col >= col) p.col += width;
    return true;
}

// Moves what stands at and right of col in rows top..bottom `width` columns
// to the right, except what hangs together (through rows top + 1..bottom)
// with something left of col: that stays where it is. The divergence line in
// row top is joined again across the gap.
bool TLayout::MoveBranchRight(std::int32_t top, std::int32_t bottom, std::int32_t col, std::int32_t width) {
    if (col <= 0 || width <= 0 || top > bottom) return false;
    const std::int32_t rows = bottom - top + 1;
    auto at = [&](std::int32_t r, std::int32_t c) {
        return static_cast<std::size_t>(r - top) * kSfcColumns + static_cast<std::size_t>(c);
    };
    // What hangs together with the left part stays.
    std::vector<std::uint8_t> stays(static_cast<std::size_t>(rows) * kSfcColumns, 0);
    std::vector<TPos> work;
    for (std::int32_t r = top + 1; r <= bottom; ++r)
        for (std::int32_t c = 0; c < col; ++c)
            if (!Empty(r, c)) {
                stays[at(r, c)] = 1;
                work.push_back({r, c});
            }
    auto link = [&](std::int32_t r, std::int32_t c) {
        if (r <= top || r > bottom || c < 0 || c >= kSfcColumns || stays[at(r, c)] || Empty(r, c)) return;
        stays[at(r, c)] = 1;
        work.push_back({r, c});
    };
    while (!work.empty()) {
        const TPos p = work.back();
        work.pop_back();
        const TSfcCell x = c_.Cell(p.row, p.col);
        if (ReachesDown(x) && ReachesUp(c_.Cell(p.row + 1, p.col))) link(p.row + 1, p.col);
        if (ReachesUp(x) && ReachesDown(c_.Cell(p.row - 1, p.col))) link(p.row - 1, p.col);
        if (ReachesRight(x) && ReachesLeft(c_.Cell(p.row, p.col + 1))) link(p.row, p.col + 1);
        if (ReachesLeft(x) && ReachesRight(c_.Cell(p.row, p.col - 1))) link(p.row, p.col - 1);
    }
    // Room for what moves; a branch that hangs from what moves and stays
    // with the left part would be torn from it.
    for (std::int32_t r = top; r <= bottom; ++r)
        for (std::int32_t c = col; c < kSfcColumns; ++c)
            if (!Empty(r, c) && !stays[at(r, c)]) {
                if (r < bottom && stays[at(r + 1, c)] && ReachesDown(c_.Cell(r, c)) && ReachesUp(c_.Cell(r + 1, c)))
                    return false;
                if (c + width >= kSfcColumns) return false;
                if (stays[at(r, c + width)]) return false;
            }
    std::vector<std::uint8_t> moved(static_cast<std::size_t>(rows) * kSfcColumns, 0);
    for (std::int32_t r = top; r <= bottom; ++r) {
        for (std::int32_t c = kSfcColumns - 1 - width; c >= col; --c) {
            if (Empty(r, c) || stays[at(r, c)]) continue;
            SetCell(r, c + width, c_.Cell(r, c));
            Clear(r, c);
            moved[at(r, c)] = 1;
        }
        const TSfcCell left = c_.Cell(r, col - 1);
        const TSfcCell right = c_.Cell(r, col + width);
        bool gapEmpty = true;
        for (std::int32_t c = col; c < col + width; ++c) gapEmpty = gapEmpty && Empty(r, c);
        if (gapEmpty && ReachesRight(left) && ReachesLeft(right))
            for (std::int32_t c = col; c < col + width; ++c)
                SetCell(r, c, MakeLine(IsSelectiveShape(right.b1) ? kShapeSelCont : kShapeParCont));
    }
    for (TSfcCodeRec& rec : c_.records) {
        const std::int32_t c = rec.col / kSfcCellBytes;
        if (rec.row >= top && rec.row <= bottom && c >= col && c < kSfcColumns && moved[at(rec.row, c)])
            rec.col += width * kSfcCellBytes;
    }
    for (TPos& p : own_)
        if (p.row >= top && p.row <= bottom && p.col >= col && p.col < kSfcColumns && moved[at(p.row, p.col)])
            p.col += width;
    return true;
}

// (row, col) is taken by something that reaches in from the left (a branch
// laid out earlier): the branch being laid out moves right instead, with
// everything of it from the divergence it hangs from downwards; a divergence
// whose moved part hangs from above takes the rows above it along. Returns
// the column the branch now stands in, -1 when there is none.
std::int32_t TLayout::WidenAbove(std::int32_t row, std::int32_t col) {
    std::int32_t width = 0;
    while (col + width < kSfcColumns && !Empty(row, col + width)) ++width;
    if (col + width >= kSfcColumns || col <= 0) return -1;
    std::int32_t bottom = LastRow();
    std::int32_t from = row - 1;
    while (true) {
        std::int32_t d = from;
        while (d >= chainTop_ && !(c_.Cell(d, col).IsLine(kShapeSelDivRight) || c_.Cell(d, col).IsLine(kShapeParDivRight)))
            --d;
        if (d < chainTop_) return -1;
        if (!MoveBranchRight(d, bottom, col, width)) return -1;
        // Go on above while the moved part of the divergence row hangs from above.
        bool hangs = false;
        for (std::int32_t c = col + width; c < kSfcColumns && !hangs; ++c)
            hangs = ReachesUp(c_.Cell(d, c)) && ReachesDown(c_.Cell(d - 1, c - width));
        if (!hangs) break;
        bottom = d - 1;
        from = d - 1;
    }
    return Empty(row, col + width) ? col + width : -1;
}

// (row, col) is taken by something of a branch to the right: everything at
// and right of col that hangs together with it, down to the end of the chart,
// moves one column to the right.
bool TLayout::WidenBelow(std::int32_t row, std::int32_t col) {
    if (col <= 0) return Fail("no room in column 0");
    std::int32_t top = row;
    auto rowReachesUp = [&](std::int32_t r) {
        for (std::int32_t c = col; c < kSfcColumns; ++c)
            if (ReachesUp(c_.Cell(r, c)) && !Empty(r - 1, c)) return true;
        return false;
    };
    while (top > chainTop_ && rowReachesUp(top)) --top;
    for (const TPos& p : own_)
        if (p.row >= top && p.col >= col) return Fail("no room beside the branch");
    const std::int32_t last = LastRow();
    if (!ShiftRight(top, last, col, 1)) return false;
    return Empty(row, col) || Fail("cell taken");
}

std::int32_t TLayout::PlaceAt(std::int32_t row, std::int32_t col, const TSfcCell& x) {
    if (col < 0 || col >= kSfcColumns) return Fail("more than 16 columns"), -1;
    Grow(row);
    if (!Empty(row, col)) {
        // Taken by a branch laid out earlier: this branch moves right; when it
        // cannot, what took the place does.
        const std::int32_t moved = WidenAbove(row, col);
        if (moved >= 0)
            col = moved;
        else if (!WidenBelow(row, col))
            return -1;
    }
    return Put(row, col, x) ? col : -1;
}

std::int32_t TLayout::Target(std::int32_t row, std::int32_t col, const TSfcTransfer& t) {
    if (mayJoin_ && JoinToPlaceholder(row, col, t)) {
        joined_ = true;
        joinedStep_ = joinedStep_ || !t.isOut;
        return col;
    }
    if (!out_.why.empty()) return -1;
    const std::int32_t c = PlaceAt(row, col, MakeCell(t.isOut ? kSfcJump : kSfcJumpSet, t.step));
    if (!t.isOut) MarkFirstTransfer(row, c, t);
    return c;
}

// A branch whose target already has a placeholder at the same height joins
// it as a selective convergence instead of drawing a second jump.
bool TLayout::JoinToPlaceholder(std::int32_t row, std::int32_t col, const TSfcTransfer& t) {
    const std::uint8_t kind = t.isOut ? kSfcJump : kSfcJumpSet;
    if (!Empty(row, col)) return false;
    std::vector<TPos> places;
    for (const TPos& at : CellsNumbered(t.step))
        if (at.col < col && c_.Cell(at.row, at.col).type == kind) places.push_back(at);
    std::sort(places.begin(), places.end(), ColumnMajor);
    for (const TPos& at : places) {
        const std::int32_t pc = at.col, pr = at.row;
        const TSfcCell p = c_.Cell(pr, pc);
        std::int32_t up = pr - 1;
        while (up >= 0 && c_.Cell(up, pc).IsLine(kShapeVertical)) --up;
        const TSfcCell above = c_.Cell(up, pc);
        if (above.IsLine(kShapeSelLeft) && up >= row) {
            // Already below a convergence: one more branch point on its line.
            bool line = Empty(up, col);
            for (std::int32_t c = pc + 1; c < col && line; ++c)
                line = c_.Cell(up, c).IsLine(kShapeSelCont) || c_.Cell(up, c).IsLine(kShapeSelConvRight);
            for (std::int32_t r = row; r < up && line; ++r) line = Empty(r, col);
            if (!line) continue;
            for (std::int32_t r = row; r < up; ++r) SetCell(r, col, MakeLine(kShapeVertical));
            SetCell(up, col, MakeLine(kShapeSelConvRight));
            return true;
        }
        if (above.IsLine(kShapeSelLeft) && up < row && pr == up + 1) {
            // The convergence stands higher than this branch ends: its line
            // and the placeholder move down, the branches above it reach
            // it with vertical lines.
            std::int32_t end = pc + 1;
            while (end < kSfcColumns &&
                   (c_.Cell(up, end).IsLine(kShapeSelCont) || c_.Cell(up, end).IsLine(kShapeSelConvRight)))
                ++end;
            if (end > col || !c_.Cell(up, end - 1).IsLine(kShapeSelConvRight)) continue;
            bool free = Empty(row + 1, pc) && Empty(row, col);
            for (std::int32_t c = pc; c < end && free; ++c)
                for (std::int32_t r = up + 1; r <= row && free; ++r) free = (r == pr && c == pc) || Empty(r, c);
            for (std::int32_t c = end; c < col && free; ++c) free = Empty(row, c);
            if (!free) continue;
            Grow(row + 1);
            Clear(pr, pc);
            SetCell(row + 1, pc, p);
            for (std::int32_t c = pc; c < end; ++c) {
                const TSfcCell x = c_.Cell(up, c);
                Clear(up, c);
                SetCell(row, c, x);
                if (!x.IsLine(kShapeSelCont))
                    for (std::int32_t r = up; r < row; ++r) SetCell(r, c, MakeLine(kShapeVertical));
            }
            for (std::int32_t c = end; c < col; ++c) SetCell(row, c, MakeLine(kShapeSelCont));
            SetCell(row, col, MakeLine(kShapeSelConvRight));
            return true;
        }
        if (above.type == kSfcTransition) {
            // A new convergence in the lower of the two rows: the placeholder
            // moves below it, both branches reach it with vertical lines.
            const std::int32_t joinRow = std::max(pr, row);
            bool free = Empty(joinRow + 1, pc);
            for (std::int32_t r = pr + 1; r <= joinRow && free; ++r) free = Empty(r, pc);
            for (std::int32_t r = row; r <= joinRow && free; ++r) free = Empty(r, col);
            for (std::int32_t c = pc + 1; c < col && free; ++c) free = Empty(joinRow, c);
            if (!free) continue;
            Grow(joinRow + 1);
            SetCell(joinRow + 1, pc, p);
            for (std::int32_t r = pr; r < joinRow; ++r) SetCell(r, pc, MakeLine(kShapeVertical));
            SetCell(joinRow, pc, MakeLine(kShapeSelLeft));
            for (std::int32_t c = pc + 1; c < col; ++c) SetCell(joinRow, c, MakeLine(kShapeSelCont));
            for (std::int32_t r = row; r < joinRow; ++r) SetCell(r, col, MakeLine(kShapeVertical));
            SetCell(joinRow, col, MakeLine(kShapeSelConvRight));
            return true;
        }
    }
    return false;
}

std::int32_t TLayout::Parallel(std::int32_t row, std::int32_t col, const std::vector<TSfcTransfer>& targets) {
    std::int32_t c = PlaceAt(row, col, MakeLine(kShapeParLeft));
    if (c < 0) return -1;
    c = PlaceAt(row + 1, c, MakeCell(targets[0].isOut ? kSfcJump : kSfcJumpSet, targets[0].step));
    if (c < 0) return -1;
    if (!targets[0].isOut) MarkFirstTransfer(row + 1, c, targets[0]);
    for (std::size_t j = 1; j < targets.size(); ++j) {
        const std::int32_t at = PlaceAt(row, c + 1, MakeLine(kShapeParDivRight));
        if (at < 0) return -1;
        for (std::int32_t k = c + 1; k < at; ++k)
            if (Empty(row, k)) SetCell(row, k, MakeLine(kShapeParCont));
        c = PlaceAt(row + 1, at, MakeCell(targets[j].isOut ? kSfcJump : kSfcJumpSet, targets[j].step));
        if (c < 0) return -1;
        if (!targets[j].isOut) MarkFirstTransfer(row + 1, c, targets[j]);
    }
    return c;
}

bool TLayout::Lad(const TSfcBlock& b) {
    const std::int32_t r = FirstEmptyRow(placeRow_);
    if (!Put(r, 0, MakeCell(kSfcLad, ladNumber_))) return false;
    ++ladNumber_;
    AddRecord(r, 0, b.code);
    placeRow_ = r + 1;
    chainTop_ = r + 1;
    return true;
}

// A step of its own in the place `at` (none: column 0 of the next empty row).
bool TLayout::PlaceStep(const TSfcBlock& b, TPos at) {
    const std::uint16_t n = b.steps[0];
    if (at.row < 0) {
        at = {FirstEmptyRow(placeRow_), 0};
        chainTop_ = at.row;
        if (!Put(at.row, 0, MakeCell(n < kSfcFirstPlainStep ? kSfcInitStep : kSfcStep, n))) return false;
    } else {
        SetCell(at.row, at.col, MakeCell(kSfcStep, n));
        own_.push_back(at);
    }
    steps_.insert(n);
    AddRecord(at.row, at.col, b.actions);
    placeRow_ = at.row + 1;
    return Transitions(b, at.row + 1, at.col);
}

bool TLayout::HasChoices(const TSfcBlock& b) const {
    // A later transfer of the block may join the branch of an earlier one.
    std::set<TSfcTransfer> targets;
    for (const TSfcTransitionCode& t : b.transitions)
        for (const TSfcTransfer& y : t.targets)
            if (!targets.insert(y).second) return true;
    // The step has more than one place.
    if (b.steps.size() == 1 && b.steps[0] >= kSfcFirstPlainStep) {
        int places = 0;
        for (const TPos& p : CellsNumbered(b.steps[0])) {
            const std::uint8_t type = c_.Cell(p.row, p.col).type;
            if ((type == kSfcJumpSet || type == kSfcStepMark) && ++places > 1) return true;
        }
    }
    // A target already has a placeholder that a branch may join.
    for (const TSfcTransfer& y : targets)
        for (const TPos& p : CellsNumbered(y.step))
            if (c_.Cell(p.row, p.col).type == (y.isOut ? kSfcJump : kSfcJumpSet)) return true;
    return false;
}

// The ways: each place of the step (the first transfer's place first), each
// with its targets joining existing branches and then without.
bool TLayout::StepBlock(const TSfcBlock& b, std::size_t option, std::size_t& options) {
    mayJoin_ = option % 2 == 0;
    options = 2;
    if (b.steps.size() == 1) {
        const std::uint16_t n = b.steps[0];
        if (steps_.count(n)) return Fail("a step with two blocks");
        std::vector<TPos> places;
        if (n >= kSfcFirstPlainStep) places = FindCells(n, {kSfcJumpSet, kSfcStepMark});
        options = 2 * std::max<std::size_t>(places.size(), 1);
        if (option >= options) return Fail("no other way");
        return PlaceStep(b, places.empty() ? TPos{} : places[option / 2]);
    }
    if (option >= options) return Fail("no other way");
    // A simultaneous convergence: the steps in their places, joined by a
    // double line below the lowest of them.
    std::vector<TPos> at;
    for (std::uint16_t n : b.steps) {
        const TPos p = FindCell(n, {kSfcJumpSet, kSfcStepMark, kSfcStep});
        if (p.row < 0) return Fail("a converging step without its place");
        at.push_back(p);
    }
    if (b.steps.size() > 16) return Fail("more than 16 converging steps");
    std::sort(at.begin(), at.end(), [](const TPos& a, const TPos& b) { return a.col < b.col; });
    for (std::size_t i = 1; i < at.size(); ++i)
        if (at[i].col == at[i - 1].col) return Fail("converging steps in one column");
    std::int32_t junction = 0;
    std::vector<std::size_t> mine;  // where each step stands among this block's cells
    for (const TPos& p : at) {
        const TSfcCell x = c_.Cell(p.row, p.col);
        if (x.type != kSfcStep) {
            SetCell(p.row, p.col, MakeCell(kSfcStep, x.Number()));
            steps_.insert(x.Number());
        }
        mine.push_back(own_.size());
        own_.push_back(p);
        junction = std::max(junction, p.row + 1);
    }
    // Each step's line down to the junction row; a branch in the way of one
    // moves right, and the steps right of it with it.
    for (std::size_t i = 0; i < at.size(); ++i) {
        for (std::int32_t r = at[i].row + 1; r <= junction; ++r) {
            const TSfcCell x = r < junction ? MakeLine(kShapeVertical) : MakeLine(i == 0 ? kShapeParLeft : kShapeParConvRight);
            if (PlaceAt(r, own_[mine[i]].col, x) < 0) return false;
        }
    }
    for (std::size_t i = 0; i < at.size(); ++i) at[i] = own_[mine[i]];
    for (std::int32_t c = at[0].col + 1; c < at.back().col; ++c) {
        const TSfcCell x = c_.Cell(junction, c);
        if (x.Empty())
            SetCell(junction, c, MakeLine(kShapeParCont));
        else if (!x.IsLine(kShapeParConvRight))
            return Fail("a line across the convergence");
    }
    placeRow_ = junction + 1;
    return Transitions(b, junction + 1, at[0].col);
}

bool TLayout::Transitions(const TSfcBlock& b, std::int32_t row, std::int32_t col) {
    const auto& ts = b.transitions;
    if (ts.empty()) return true;
    if (ts.size() == 1) {
        const std::int32_t c = PlaceAt(row, col, MakeCell(kSfcTransition, 0xFFFF));
        if (c < 0) return false;
        AddRecord(row, c, ts[0].cond);
        if (ts[0].targets.size() == 1) return Target(row + 1, c, ts[0].targets[0]) >= 0;
        return Parallel(row + 1, c, ts[0].targets) >= 0;
    }
    // A selective divergence: one branch per transition, each in the next
    // free column right of the one before.
    std::size_t baseAt = 0;  // the divergence's left end among the cells of this block
    std::int32_t base = -1;
    std::int32_t next = col;
    for (std::size_t i = 0; i < ts.size(); ++i) {
        if (next >= kSfcColumns) return Fail("more than 16 columns");
        std::int32_t cb;
        if (i == 0) {
            cb = base = PlaceAt(row, col, MakeLine(kShapeSelLeft));
            baseAt = own_.size() - 1;
        } else {
            cb = PlaceAt(row, next, MakeLine(kShapeSelDivRight));
            for (std::int32_t c = base + 1; c >= 0 && c < cb; ++c)
                if (Empty(row, c)) SetCell(row, c, MakeLine(kShapeSelCont));
        }
        if (cb < 0) return false;
        const std::int32_t t = PlaceAt(row + 1, cb, MakeCell(kSfcTransition, 0xFFFF));
        if (t < 0) return false;
        AddRecord(row + 1, t, ts[i].cond);
        const std::int32_t last = ts[i].targets.size() == 1 ? Target(row + 2, t, ts[i].targets[0])
                                                            : Parallel(row + 2, t, ts[i].targets);
        if (last < 0) return false;
        base = own_[baseAt].col;  // it moves when the branch it leads to moves right
        next = last + 1;
    }
    return true;
}

bool TLayout::Run(std::vector<std::uint8_t>& back) {
    struct TChoice {
        std::size_t block, option;
        TState before;
    };
    std::vector<TChoice> choices;
    const std::size_t budget = 8 * p_.blocks.size() + 32;
    std::size_t i = 0, option = 0, tries = 0;
    // When every way tried at the current block put a step block out of the
    // code's order: the latest block that belonged in its place and the
    // blocks walked there instead. The way chosen for one of them put it
    // there, so the choices made since them are of no help.
    bool outOfOrder = true;
    std::size_t latest = 0;
    std::set<std::size_t> intruders;
    auto blame = [&](const std::vector<std::uint8_t>& code) {
        std::size_t expected = 0, intruder = 0;
        if (code.empty() || !FirstOutOfOrder(code, expected, intruder)) {
            outOfOrder = false;
            return;
        }
        latest = std::max(latest, expected);
        intruders.insert(intruder);
    };
    while (true) {
        bool ok = false;
        if (i == p_.blocks.size()) {
            if (CodeOfChart(c_, room_, back) && SaysTheSame(back, meaning_, meaning_.size())) break;
            if (out_.why.empty()) out_.why = "the chart would not say what the code says";
            blame(back);
        } else if (++tries > budget) {
            return Fail("no layout keeps the code");
        } else {
            const TSfcBlock& b = p_.blocks[i];
            own_.clear();
            joined_ = joinedStep_ = false;
            std::size_t options = 1;
            std::optional<TState> before;
            if (!b.isLad && HasChoices(b)) before = Save();
            ok = b.isLad ? Lad(b) : StepBlock(b, option, options);
            // Without a join and with one place there was no choice.
            if (before && option == 0 && !joined_ && options <= 2) before.reset();
            if (!before) options = 1;
            // A way chosen must keep the code so far (joined jumps lead to
            // no step and move no block).
            if (ok && before && (options > 2 || joinedStep_)) {
                std::vector<std::uint8_t> partial;
                ok = KeepsTheCode(i + 1, partial);
                if (!ok) blame(partial);
            } else if (!ok) {
                outOfOrder = false;
            }
            if (ok) {
                if (before) choices.push_back({i, option, std::move(*before)});
                ++i;
                option = 0;
                outOfOrder = true;
                latest = 0;
                intruders.clear();
                continue;
            }
            if (option + 1 < options) {
                Restore(*before);
                ++option;
                continue;
            }
        }
        // No way at this block: the next way of the last choice made.
        if (outOfOrder)
            while (!choices.empty() && choices.back().block > latest && !intruders.count(choices.back().block))
                choices.pop_back();
        if (choices.empty()) return false;
        outOfOrder = false;  // the ways tried before this one are not known
        Restore(choices.back().before);
        i = choices.back().block;
        option = choices.back().option + 1;
        choices.pop_back();
    }
    // The work flags go back to untouched.
    for (std::int32_t r = 0, last = LastRow(); r <= last; ++r)
        for (std::int32_t c = 0; c < kSfcColumns; ++c)
            if (!Empty(r, c)) {
                TSfcCell x = c_.Cell(r, c);
                x.flag = 0xFF;
                SetCell(r, c, x);
            }
    return true;
}


// Lays out code[0, used) in out.chart; the chart must say what the code
// says, block by block in the code's order. `back` gets the chart's code.
bool LayOut(const std::uint8_t* code, std::uint32_t used, TCodeToSfcResult& out, std::vector<std::uint8_t>& back) {
    const TSfcParse p = ParseSfcCode(code, used);
    if (!p.ok) {
        out.failOffset = p.failOffset;
        out.why = p.why;
        out.chart = TSfcChart::Empty();
        return false;
    }
    const std::uint32_t room = used * 2 + 4096;
    TLayout layout(out, p, room);
    return layout.Run(back);  // on failure: the chart as far as it was laid out, for diagnostics
}

}  // namespace

TCodeToSfcResult ConvertCodeToChart(const std::uint8_t* code, std::uint32_t used) {
    TCodeToSfcResult out;
    std::vector<std::uint8_t> once;
    if (!LayOut(code, used, out, once)) return out;
    // The chart's own code must draw as a chart that gives it back as it is,
    // so that accepted code reaches its lasting form in one conversion.
    if (once.size() != used || !std::equal(once.begin(), once.end(), code)) {
        TCodeToSfcResult again;
        std::vector<std::uint8_t> twice;
        if (!LayOut(once.data(), static_cast<std::uint32_t>(once.size()), again, twice) || twice != once) {
            out.why = "the chart's code would not come back as it is";
            return out;
        }
    }
    out.ok = true;
    return out;
}
