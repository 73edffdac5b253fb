#include "sfc/model/Codetosfc.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "core/ProgramImage.h"
#include "ladder/model/LadderConvert.h"
#include "project/Msgtable.h"
#include "sfc/model/Sfcparse.h"
#include "sfc/model/Sfctocode.h"

namespace {

constexpr int kMsgChartError = 1;
// The grid grows by this many rows whenever the layout comes within
// kGrowMargin rows of its end.
constexpr std::int32_t kGrowRows = 256;
constexpr std::int32_t kGrowMargin = 32;

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
bool IsSelectiveShape(std::uint8_t s) {
    return s == kShapeSelDivRight || s == kShapeSelCont || s == kShapeSelConvRight || s == kShapeSelLeft;
}

class TLayout {
public:
    explicit TLayout(TCodeToSfcResult& out) : out_(out), c_(out.chart) { c_ = TSfcChart::Empty(kSfcRowsAtStart); }
    bool Run(const TSfcParse& p);

private:
    bool Fail(const char* why) {
        if (out_.why.empty()) out_.why = why;
        return false;
    }
    void Grow(std::int32_t row) {
        while (row + kGrowMargin >= c_.rows) c_.EnsureRows(c_.rows + kGrowRows);
    }
    bool Empty(std::int32_t r, std::int32_t c) const { return c_.Cell(r, c).Empty(); }
    bool Put(std::int32_t r, std::int32_t c, const TSfcCell& x) {
        if (r < 0 || c < 0 || c >= kSfcColumns) return Fail("no room");
        Grow(r);
        if (!Empty(r, c)) return Fail("cell taken");
        c_.SetCell(r, c, x);
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
    // The first cell, column by column, of one of the given types numbered n.
    TPos FindCell(std::uint16_t n, std::initializer_list<std::uint8_t> types) const {
        for (std::int32_t c = 0; c < kSfcColumns; ++c)
            for (std::int32_t r = 0; r < c_.rows; ++r) {
                const TSfcCell x = c_.Cell(r, c);
                if (x.Number() == n && std::find(types.begin(), types.end(), x.type) != types.end()) return {r, c};
            }
        return {};
    }

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
    bool StepBlock(const TSfcBlock& b);
    bool Transitions(const TSfcBlock& b, std::int32_t row, std::int32_t col);

    TCodeToSfcResult& out_;
    TSfcChart& c_;
    std::int32_t placeRow_ = 0;
    std::int32_t chainTop_ = 0;
    std::uint16_t ladNumber_ = 0;
    std::set<std::uint16_t> steps_;   // step numbers placed as steps
    std::vector<TPos> own_;           // cells placed for the current block
};

// Moves the cells at and right of col in rows top..bottom `width` columns to
// the right, with their records; a line cut by the move is joined again.
bool TLayout::ShiftRight(std::int32_t top, std::int32_t bottom, std::int32_t col, std::int32_t width) {
    if (col <= 0 || width <= 0 || col + width >= kSfcColumns + 1) return Fail("no room for another column");
    for (std::int32_t r = top; r <= bottom; ++r)
        for (std::int32_t c = kSfcColumns - width; c < kSfcColumns; ++c)
            if (!Empty(r, c)) return Fail("no room for another column");
    for (std::int32_t r = top; r <= bottom; ++r) {
        for (std::int32_t c = kSfcColumns - 1; c >= col + width; --c) c_.SetCell(r, c, c_.Cell(r, c - width));
        const TSfcCell left = c_.Cell(r, col - 1);
        const TSfcCell right = c_.Cell(r, col + width);
        const bool join = ReachesRight(left) && ReachesLeft(right);
        for (std::int32_t c = col; c < col + width; ++c)
            c_.SetCell(r, c, join ? MakeLine(IsSelectiveShape(right.b1) ? kShapeSelCont : kShapeParCont) : TSfcCell{});
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
    // Room for what moves.
    for (std::int32_t r = top; r <= bottom; ++r)
        for (std::int32_t c = col; c < kSfcColumns; ++c)
            if (!Empty(r, c) && !stays[at(r, c)]) {
                if (c + width >= kSfcColumns) return false;
                if (stays[at(r, c + width)]) return false;
            }
    std::vector<std::uint8_t> moved(static_cast<std::size_t>(rows) * kSfcColumns, 0);
    for (std::int32_t r = top; r <= bottom; ++r) {
        for (std::int32_t c = kSfcColumns - 1 - width; c >= col; --c) {
            if (Empty(r, c) || stays[at(r, c)]) continue;
            c_.SetCell(r, c + width, c_.Cell(r, c));
            c_.Clear(r, c);
            moved[at(r, c)] = 1;
        }
        const TSfcCell left = c_.Cell(r, col - 1);
        const TSfcCell right = c_.Cell(r, col + width);
        bool gapEmpty = true;
        for (std::int32_t c = col; c < col + width; ++c) gapEmpty = gapEmpty && Empty(r, c);
        if (gapEmpty && ReachesRight(left) && ReachesLeft(right))
            for (std::int32_t c = col; c < col + width; ++c)
                c_.SetCell(r, c, MakeLine(IsSelectiveShape(right.b1) ? kShapeSelCont : kShapeParCont));
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
    std::int32_t bottom = SfcLastUsedRow(c_.grid.data(), c_.rows);
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
    const std::int32_t last = SfcLastUsedRow(c_.grid.data(), c_.rows);
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
    if (JoinToPlaceholder(row, col, t)) return col;
    if (!out_.why.empty()) return -1;
    return PlaceAt(row, col, MakeCell(t.isOut ? kSfcJump : kSfcJumpSet, t.step));
}

// A branch whose target already has a placeholder at the same height joins
// it as a selective convergence instead of drawing a second jump.
bool TLayout::JoinToPlaceholder(std::int32_t row, std::int32_t col, const TSfcTransfer& t) {
    const std::uint8_t kind = t.isOut ? kSfcJump : kSfcJumpSet;
    if (!Empty(row, col)) return false;
    for (std::int32_t pc = 0; pc < col; ++pc)
        for (std::int32_t pr = 0; pr < c_.rows; ++pr) {
            const TSfcCell p = c_.Cell(pr, pc);
            if (p.type != kind || p.Number() != t.step) continue;
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
                for (std::int32_t r = row; r < up; ++r) c_.SetCell(r, col, MakeLine(kShapeVertical));
                c_.SetCell(up, col, MakeLine(kShapeSelConvRight));
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
                c_.Clear(pr, pc);
                c_.SetCell(row + 1, pc, p);
                for (std::int32_t c = pc; c < end; ++c) {
                    const TSfcCell x = c_.Cell(up, c);
                    c_.Clear(up, c);
                    c_.SetCell(row, c, x);
                    if (!x.IsLine(kShapeSelCont))
                        for (std::int32_t r = up; r < row; ++r) c_.SetCell(r, c, MakeLine(kShapeVertical));
                }
                for (std::int32_t c = end; c < col; ++c) c_.SetCell(row, c, MakeLine(kShapeSelCont));
                c_.SetCell(row, col, MakeLine(kShapeSelConvRight));
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
                c_.SetCell(joinRow + 1, pc, p);
                for (std::int32_t r = pr; r < joinRow; ++r) c_.SetCell(r, pc, MakeLine(kShapeVertical));
                c_.SetCell(joinRow, pc, MakeLine(kShapeSelLeft));
                for (std::int32_t c = pc + 1; c < col; ++c) c_.SetCell(joinRow, c, MakeLine(kShapeSelCont));
                for (std::int32_t r = row; r < joinRow; ++r) c_.SetCell(r, col, MakeLine(kShapeVertical));
                c_.SetCell(joinRow, col, MakeLine(kShapeSelConvRight));
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
    for (std::size_t j = 1; j < targets.size(); ++j) {
        const std::int32_t at = PlaceAt(row, c + 1, MakeLine(kShapeParDivRight));
        if (at < 0) return -1;
        for (std::int32_t k = c + 1; k < at; ++k)
            if (Empty(row, k)) c_.SetCell(row, k, MakeLine(kShapeParCont));
        c = PlaceAt(row + 1, at, MakeCell(targets[j].isOut ? kSfcJump : kSfcJumpSet, targets[j].step));
        if (c < 0) return -1;
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

bool TLayout::StepBlock(const TSfcBlock& b) {
    if (b.steps.size() == 1) {
        const std::uint16_t n = b.steps[0];
        if (steps_.count(n)) return Fail("a step with two blocks");
        TPos at;
        if (n >= kSfcFirstPlainStep) at = FindCell(n, {kSfcJumpSet, kSfcStepMark});
        if (at.row < 0) {
            at = {FirstEmptyRow(placeRow_), 0};
            chainTop_ = at.row;
            if (!Put(at.row, 0, MakeCell(n < kSfcFirstPlainStep ? kSfcInitStep : kSfcStep, n))) return false;
        } else {
            c_.SetCell(at.row, at.col, MakeCell(kSfcStep, n));
            own_.push_back(at);
        }
        steps_.insert(n);
        AddRecord(at.row, at.col, b.actions);
        placeRow_ = at.row + 1;
        return Transitions(b, at.row + 1, at.col);
    }
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
            c_.SetCell(p.row, p.col, MakeCell(kSfcStep, x.Number()));
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
            c_.SetCell(junction, c, MakeLine(kShapeParCont));
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
                if (Empty(row, c)) c_.SetCell(row, c, MakeLine(kShapeSelCont));
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

bool TLayout::Run(const TSfcParse& p) {
    for (const TSfcBlock& b : p.blocks) {
        own_.clear();
        if (!(b.isLad ? Lad(b) : StepBlock(b))) return false;
    }
    return true;
}

// What the code means as a chart, for comparing a layout with its code:
// LAD blocks in order; steps with their actions and transitions in any order
// (a chart does not keep the order of step blocks); RET only closes blocks.
struct TMeaning {
    std::vector<std::vector<std::uint8_t>> lads;
    std::multiset<std::tuple<std::vector<std::uint16_t>, std::vector<std::uint8_t>,
                             std::vector<std::vector<std::uint8_t>>, std::vector<std::vector<TSfcTransfer>>>>
        steps;
};

TMeaning MeaningOf(const TSfcParse& p) {
    TMeaning m;
    for (const TSfcBlock& b : p.blocks) {
        if (b.isLad) {
            m.lads.push_back(b.code);
            continue;
        }
        // An empty block of one step (no actions, no transitions) does nothing.
        if (b.steps.size() == 1 && b.actions.empty() && b.transitions.empty()) continue;
        std::vector<std::uint16_t> steps = b.steps;
        std::sort(steps.begin(), steps.end());
        std::vector<std::vector<std::uint8_t>> conds;
        std::vector<std::vector<TSfcTransfer>> targets;
        for (const TSfcTransitionCode& t : b.transitions) {
            conds.push_back(t.cond);
            targets.push_back(t.targets);
        }
        m.steps.insert({steps, b.actions, conds, targets});
    }
    return m;
}

bool SameMeaning(const TMeaning& a, const TMeaning& b) { return a.lads == b.lads && a.steps == b.steps; }

}  // namespace

TCodeToSfcResult ConvertCodeToChart(const std::uint8_t* code, std::uint32_t used) {
    TCodeToSfcResult out;
    const TSfcParse p = ParseSfcCode(code, used);
    if (!p.ok) {
        out.failOffset = p.failOffset;
        out.why = p.why;
        out.chart = TSfcChart::Empty();
        return out;
    }
    TLayout layout(out);
    if (!layout.Run(p)) return out;  // the chart as far as it was laid out, for diagnostics
    // The chart must say what the code says.
    const std::uint32_t room = std::max<std::uint32_t>(used * 2 + 4096, 65536);
    std::vector<std::uint8_t> back(room, 0xFF);
    const TSfcToCodeResult r = SfcChartToCode(TSfcChartRef::Of(out.chart), back.data(), room);
    const TSfcParse q = r.ok() ? ParseSfcCode(back.data(), r.length) : TSfcParse{};
    if (!r.ok() || !q.ok || !SameMeaning(MeaningOf(p), MeaningOf(q))) {
        out.why = "the chart would not say what the code says";
        return out;
    }
    out.ok = true;
    return out;
}

bool ConvertCodeToSfc() {
    if (!gProgram) return false;
    const std::uint32_t used = std::min(gProgramUsed, gProgramCapacity);
    TCodeToSfcResult r = ConvertCodeToChart(gProgram, used);
    if (!r.ok) {
        gSfcChartError = 1;
        ShowMsg(kMsgChartError);
        return false;
    }
    gSfcChartError = 0;
    CommitSfcChart(r.chart);
    return true;
}
