#include "sfc/Codetosfc.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "core/ProgramImage.h"
#include "ladder/model/LadderConvert.h"
#include "project/Msgtable.h"
#include "sfc/Sfcparse.h"
#include "sfc/Sfctocode.h"

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

    bool Widen(std::int32_t row, std::int32_t col);
    bool PlaceAt(std::int32_t row, std::int32_t col, const TSfcCell& x);
    bool Target(std::int32_t row, std::int32_t col, const TSfcTransfer& t);
    bool JoinToPlaceholder(std::int32_t row, std::int32_t col, const TSfcTransfer& t);
    bool Parallel(std::int32_t row, std::int32_t col, const std::vector<TSfcTransfer>& targets);
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

// Makes (row, col) free by moving everything at and right of col, from the
// rows that hang together above it down to the end of the chart, one column
// to the right. Lines cut by the move are joined again.
bool TLayout::Widen(std::int32_t row, std::int32_t col) {
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
    for (std::int32_t r = top; r <= last; ++r)
        if (!Empty(r, kSfcColumns - 1)) return Fail("no room for another column");
    for (std::int32_t r = top; r <= last; ++r) {
        for (std::int32_t c = kSfcColumns - 1; c > col; --c) c_.SetCell(r, c, c_.Cell(r, c - 1));
        c_.Clear(r, col);
        const TSfcCell left = c_.Cell(r, col - 1);
        const TSfcCell right = c_.Cell(r, col + 1);
        if (ReachesRight(left) && ReachesLeft(right))
            c_.SetCell(r, col, MakeLine(IsSelectiveShape(right.b1) ? kShapeSelCont : kShapeParCont));
    }
    for (TSfcCodeRec& rec : c_.records)
        if (rec.row >= top && rec.row <= last && rec.col >= col * kSfcCellBytes) rec.col += kSfcCellBytes;
    return true;
}

bool TLayout::PlaceAt(std::int32_t row, std::int32_t col, const TSfcCell& x) {
    if (col >= kSfcColumns) return Fail("more than 16 columns");
    Grow(row);
    if (!Empty(row, col) && !Widen(row, col)) return false;
    return Put(row, col, x);
}

bool TLayout::Target(std::int32_t row, std::int32_t col, const TSfcTransfer& t) {
    if (JoinToPlaceholder(row, col, t)) return true;
    if (!out_.why.empty()) return false;
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
            if (above.type == kSfcTransition && pr == row) {
                bool free = Empty(row + 1, pc);
                for (std::int32_t c = pc + 1; c < col && free; ++c) free = Empty(row, c);
                if (!free) continue;
                Grow(row + 1);
                c_.SetCell(row + 1, pc, p);
                c_.SetCell(row, pc, MakeLine(kShapeSelLeft));
                for (std::int32_t c = pc + 1; c < col; ++c) c_.SetCell(row, c, MakeLine(kShapeSelCont));
                c_.SetCell(row, col, MakeLine(kShapeSelConvRight));
                return true;
            }
        }
    return false;
}

bool TLayout::Parallel(std::int32_t row, std::int32_t col, const std::vector<TSfcTransfer>& targets) {
    if (!PlaceAt(row, col, MakeLine(kShapeParLeft))) return false;
    if (!PlaceAt(row + 1, col, MakeCell(targets[0].isOut ? kSfcJump : kSfcJumpSet, targets[0].step))) return false;
    for (std::size_t j = 1; j < targets.size(); ++j) {
        const auto c = static_cast<std::int32_t>(col + j);
        if (!PlaceAt(row, c, MakeLine(kShapeParDivRight))) return false;
        if (!PlaceAt(row + 1, c, MakeCell(targets[j].isOut ? kSfcJump : kSfcJumpSet, targets[j].step))) return false;
    }
    return true;
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
    for (const TPos& p : at) {
        const TSfcCell x = c_.Cell(p.row, p.col);
        if (x.type != kSfcStep) {
            c_.SetCell(p.row, p.col, MakeCell(kSfcStep, x.Number()));
            steps_.insert(x.Number());
        }
        own_.push_back(p);
        junction = std::max(junction, p.row + 1);
    }
    for (std::size_t i = 0; i < at.size(); ++i) {
        for (std::int32_t r = at[i].row + 1; r < junction; ++r)
            if (!Put(r, at[i].col, MakeLine(kShapeVertical))) return false;
        if (!Put(junction, at[i].col, MakeLine(i == 0 ? kShapeParLeft : kShapeParConvRight))) return false;
        if (i > 0)
            for (std::int32_t c = at[i - 1].col + 1; c < at[i].col; ++c)
                if (!Put(junction, c, MakeLine(kShapeParCont))) return false;
    }
    placeRow_ = junction + 1;
    return Transitions(b, junction + 1, at[0].col);
}

bool TLayout::Transitions(const TSfcBlock& b, std::int32_t row, std::int32_t col) {
    const auto& ts = b.transitions;
    if (ts.empty()) return true;
    if (ts.size() == 1) {
        if (!PlaceAt(row, col, MakeCell(kSfcTransition, 0xFFFF))) return false;
        AddRecord(row, col, ts[0].cond);
        if (ts[0].targets.size() == 1) return Target(row + 1, col, ts[0].targets[0]);
        return Parallel(row + 1, col, ts[0].targets);
    }
    // A selective divergence: one branch per transition.
    std::int32_t width = 0;
    for (std::size_t i = 0; i < ts.size(); ++i) {
        const std::int32_t cb = col + width;
        if (cb >= kSfcColumns) return Fail("more than 16 columns");
        if (i == 0) {
            if (!PlaceAt(row, col, MakeLine(kShapeSelLeft))) return false;
        } else {
            for (std::int32_t c = col + 1; c < cb; ++c)
                if (Empty(row, c)) c_.SetCell(row, c, MakeLine(kShapeSelCont));
            if (!PlaceAt(row, cb, MakeLine(kShapeSelDivRight))) return false;
        }
        if (!PlaceAt(row + 1, cb, MakeCell(kSfcTransition, 0xFFFF))) return false;
        AddRecord(row + 1, cb, ts[i].cond);
        if (ts[i].targets.size() == 1) {
            if (!Target(row + 2, cb, ts[i].targets[0])) return false;
            width += 1;
        } else {
            if (!Parallel(row + 2, cb, ts[i].targets)) return false;
            width += static_cast<std::int32_t>(ts[i].targets.size());
        }
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
    if (!layout.Run(p)) {
        out.chart = TSfcChart::Empty();
        return out;
    }
    // The chart must say what the code says.
    const std::uint32_t room = std::max<std::uint32_t>(used * 2 + 4096, 65536);
    std::vector<std::uint8_t> back(room, 0xFF);
    const TSfcToCodeResult r = SfcChartToCode(TSfcChartRef::Of(out.chart), back.data(), room);
    const TSfcParse q = r.ok() ? ParseSfcCode(back.data(), r.length) : TSfcParse{};
    if (!r.ok() || !q.ok || !SameMeaning(MeaningOf(p), MeaningOf(q))) {
        out.why = "the chart would not say what the code says";
        out.chart = TSfcChart::Empty();
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
