#include "sfc/model/Sfctocode.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/Codetranslate.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"
#include "project/Chartstamp.h"
#include "project/Msgtable.h"
#include "sfc/model/Sfcparse.h"

std::uint8_t gSfcChartError = 0;
std::int32_t gSfcChartErrorRow = -1;
std::int32_t gSfcChartErrorCol = -1;

namespace {

constexpr int kMsgChartError = 1;
constexpr int kMsgLabelUsed = 24;
constexpr int kMsgMemoryFull = 74;
constexpr int kMsgUnreached = 181;
// Most entries of a branch frame and of the join stack.
constexpr std::size_t kStackDepth = 16;

struct TPos {
    std::int32_t row;
    std::int32_t col;
};

struct TFrame {
    std::vector<TPos> entries;
    std::size_t next = 0;
};

class TChartWalk {
public:
    TChartWalk(const TSfcChartRef& chart, std::uint8_t* code, std::uint32_t capacity)
        : c_(chart), code_(code), cap_(capacity), used_(SfcLastUsedRow(c_.grid, c_.rows) + 1) {
        const std::size_t cells = static_cast<std::size_t>(used_) * kSfcColumns;
        visited_.assign(cells, 0);
        parallelDone_.assign(cells, 0);
        recs_.assign(cells, nullptr);
        for (const TSfcCodeRec* r : c_.records) {
            if (!r || r->row < 0 || r->row >= used_ || r->col < 0 || r->col % kSfcCellBytes) continue;
            const std::int32_t col = r->col / kSfcCellBytes;
            if (col >= kSfcColumns) continue;
            const std::size_t i = Index(r->row, col);
            if (!recs_[i]) recs_[i] = r;  // the first record of a cell counts
        }
    }

    TSfcToCodeResult Run();

private:
    // ---- cells
    std::size_t Index(std::int32_t r, std::int32_t c) const {
        return static_cast<std::size_t>(r) * kSfcColumns + static_cast<std::size_t>(c);
    }
    bool Inside(std::int32_t r, std::int32_t c) const { return r >= 0 && r < c_.rows && c >= 0 && c < kSfcColumns; }
    TSfcCell Cell(std::int32_t r, std::int32_t c) const {
        if (!Inside(r, c)) return {};
        const std::uint8_t* p = c_.grid + static_cast<std::size_t>(r) * kSfcRowBytes + c * kSfcCellBytes;
        return {p[0], p[1], p[2], p[3]};
    }
    bool IsLine(std::int32_t r, std::int32_t c, std::uint8_t shape) const { return Cell(r, c).IsLine(shape); }
    // A cell of the rows in use (below them every cell is empty).
    bool InUse(std::int32_t r, std::int32_t c) const { return r >= 0 && r < used_ && c >= 0 && c < kSfcColumns; }
    bool Visited(std::int32_t r, std::int32_t c) const { return InUse(r, c) && visited_[Index(r, c)]; }
    void MarkVisited(std::int32_t r, std::int32_t c) {
        if (InUse(r, c)) visited_[Index(r, c)] = 1;
    }
    // Marks a divergence or convergence line from its left end over the given shapes.
    void MarkRun(std::int32_t r, std::int32_t c, std::initializer_list<std::uint8_t> shapes) {
        MarkVisited(r, c);
        for (++c; c < kSfcColumns; ++c) {
            const TSfcCell x = Cell(r, c);
            if (x.type != kSfcLine || std::find(shapes.begin(), shapes.end(), x.Shape()) == shapes.end()) break;
            MarkVisited(r, c);
        }
    }
    static bool StepLike(const TSfcCell& x) {
        return x.type == kSfcInitStep || x.type == kSfcStep || x.type == kSfcJump || x.type == kSfcJumpSet ||
               x.type == kSfcResetMark || x.type == kSfcStepMark;
    }
    static bool IsStep(const TSfcCell& x) { return x.type == kSfcInitStep || x.type == kSfcStep; }
    static bool StepOrJump(const TSfcCell& x) {
        return x.type == kSfcInitStep || x.type == kSfcStep || x.type == kSfcJumpSet || x.type == kSfcJump;
    }
    // The first row at or below r in column c that is not a vertical line.
    std::int32_t WalkDown(std::int32_t r, std::int32_t c) const {
        while (r < c_.rows && IsLine(r, c, kShapeVertical)) ++r;
        return r;
    }
    // The first column right of c in row r that is not the given continuation line.
    std::int32_t WalkRight(std::int32_t r, std::int32_t c, std::uint8_t over) const {
        while (c < kSfcColumns && IsLine(r, c, over)) ++c;
        return c;
    }
    // "Searching down from row r": true at once at the grid's last row,
    // otherwise the first cell below the vertical lines decides.
    template <class Pred>
    bool SearchDown(std::int32_t r, std::int32_t c, Pred pred) const {
        if (r >= c_.rows - 1) return true;
        return pred(Cell(WalkDown(r, c), c));
    }
    const TSfcCodeRec* Rec(std::int32_t r, std::int32_t c) const { return InUse(r, c) ? recs_[Index(r, c)] : nullptr; }
    // A divergence line starting at (row_, col_): its branch entries (every
    // divergence cell up to where the continuation line ends) become a new
    // frame. A frame whose entries are all taken is freed first, so a chain
    // of divergences one after the other holds one frame; false when
    // divergences are nested deeper than the frames may go.
    bool PushDivergence(std::uint8_t divergence, std::uint8_t continuation) {
        TFrame f;
        f.entries.push_back({row_, col_});
        for (std::int32_t c = col_ + 1; c < kSfcColumns; ++c) {
            if (IsLine(row_, c, divergence))
                f.entries.push_back({row_, c});
            else if (!IsLine(row_, c, continuation))
                break;
        }
        while (!frames_.empty() && frames_.back().next >= frames_.back().entries.size()) frames_.pop_back();
        if (frames_.size() >= kStackDepth || f.entries.size() > kStackDepth) return false;
        MarkRun(row_, col_, {continuation, divergence});
        frames_.push_back(std::move(f));
        return true;
    }

    // ---- output
    bool Fail(TSfcFailure f = TSfcFailure::Chart) {
        if (res_.failure == TSfcFailure::None) {
            res_.failure = f;
            res_.errRow = row_;
            res_.errCol = col_;
        }
        return false;
    }
    bool Failed() const { return res_.failure != TSfcFailure::None; }
    bool Emit(const std::uint8_t* bytes, std::uint32_t n) {
        if (Failed()) return false;
        if (n > cap_ || len_ > cap_ - n) return Fail(TSfcFailure::Capacity);
        std::memcpy(code_ + len_, bytes, n);
        len_ += n;
        return true;
    }
    bool EmitWord(std::uint16_t w) {
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(w & 0xFF), static_cast<std::uint8_t>(w >> 8)};
        return Emit(b, 2);
    }
    bool EmitStl(std::uint16_t n) {
        if (n > kSfcMaxStep) return Fail();
        return EmitWord(static_cast<std::uint16_t>(0xA000 + n));
    }
    bool EmitTransfer(std::int32_t r, std::int32_t c);
    bool CopyCode(std::int32_t r, std::int32_t c, bool filter);
    // True when the element's record holds code that is not a transfer.
    bool HasOwnCode(std::int32_t r, std::int32_t c) const;

    // ---- walk
    bool NextChain();
    bool NextBranch(bool orJoin);
    bool TakeEntry();
    bool PopJoin(TPos& p) {
        if (join_.empty()) return false;
        p = join_.back();
        join_.pop_back();
        return true;
    }
    bool PushJoin(TPos p) {
        if (join_.size() >= kStackDepth) return Fail();
        join_.push_back(p);
        return true;
    }
    bool FindJoinBelow(std::int32_t r, std::int32_t c);
    bool IsLastJoinBranch(std::int32_t r, std::int32_t c) const;
    bool ConvergenceLeftEnd(std::int32_t r, std::int32_t c) const {
        return IsLine(r, c, kShapeSelLeft) && IsLine(r, WalkRight(r, c + 1, kShapeSelCont), kShapeSelConvRight);
    }
    bool TransferBelowLeftEnd(std::int32_t r, std::int32_t c);
    bool EmitSelectiveBranches(TFrame& f, std::int32_t& deepest);
    bool EmitParallelBranches(TFrame& f);

    bool Step();
    bool Transition();
    bool Line();

    const TSfcChartRef& c_;
    std::uint8_t* code_;
    std::uint32_t cap_;
    std::int32_t used_;  // rows up to the last one that holds a cell
    std::uint32_t len_ = 0;
    std::vector<std::uint8_t> visited_;
    std::vector<std::uint8_t> parallelDone_;
    std::vector<const TSfcCodeRec*> recs_;
    std::vector<TFrame> frames_;
    std::vector<TPos> join_;
    std::int32_t row_ = 0;
    std::int32_t col_ = 0;
    std::int32_t deepest_ = 0;
    bool inChain_ = false;
    bool done_ = false;
    TSfcToCodeResult res_;
};

bool TChartWalk::EmitTransfer(std::int32_t r, std::int32_t c) {
    const TSfcCell x = Cell(r, c);
    const std::uint16_t n = x.Number();
    if (n > kSfcMaxStep) return Fail();
    switch (x.type) {
        case kSfcInitStep:
        case kSfcStep:
        case kSfcJumpSet:
            EmitWord(static_cast<std::uint16_t>(0xD000 + n));
            break;
        case kSfcJump:
        case kSfcStepMark:
            EmitWord(static_cast<std::uint16_t>(0xC000 + n));
            break;
        case kSfcResetMark: {
            const std::uint8_t rst[6] = {0x07, 0x00, static_cast<std::uint8_t>(n & 0xFF), 0x84,
                                         static_cast<std::uint8_t>(n >> 8), 0x80};
            Emit(rst, 6);
            break;
        }
        default:
            return Fail();
    }
    if (x.type == kSfcJump || x.type == kSfcJumpSet || x.type == kSfcResetMark || x.type == kSfcStepMark)
        MarkVisited(r, c);
    return !Failed();
}

// Calls f(offset, length) for each instruction of a record that is not a
// transfer (OUT Sn / SET Sn: the transfers are drawn in the chart); stops and
// returns false when f does.
template <class F>
bool ForOwnCode(const TSfcCodeRec& rec, F f) {
    const std::uint8_t* p = rec.code.data();
    const auto n = static_cast<std::uint32_t>(rec.code.size());
    for (std::uint32_t pos = 0; pos < n;) {
        const std::uint32_t next = NextInstructionOffset(pos, p, n);
        const std::uint32_t len = next > pos ? next - pos : n - pos;
        if (!(len == 2 && IsSfcTransferWord(ReadCodeWord(p, n, pos))) && !f(pos, len)) return false;
        pos += len;
    }
    return true;
}

bool TChartWalk::CopyCode(std::int32_t r, std::int32_t c, bool filter) {
    const TSfcCodeRec* rec = Rec(r, c);
    if (!rec || rec->code.empty()) return true;
    if (!filter) return Emit(rec->code.data(), static_cast<std::uint32_t>(rec->code.size()));
    return ForOwnCode(*rec, [&](std::uint32_t pos, std::uint32_t len) { return Emit(rec->code.data() + pos, len); });
}

bool TChartWalk::HasOwnCode(std::int32_t r, std::int32_t c) const {
    const TSfcCodeRec* rec = Rec(r, c);
    return rec && !ForOwnCode(*rec, [](std::uint32_t, std::uint32_t) { return false; });
}

bool TChartWalk::NextChain() {
    ++deepest_;
    row_ = deepest_;
    col_ = 0;
    if (row_ >= c_.rows) return true;  // the end of the grid ends the walk
    const TSfcCell x = Cell(row_, col_);
    if (x.type == kSfcLad || IsStep(x) || x.Empty() || x.IsLine(kShapeParDivRight)) return true;
    return Fail();
}

bool TChartWalk::TakeEntry() {
    while (!frames_.empty()) {
        TFrame& f = frames_.back();
        if (f.next < f.entries.size()) {
            row_ = f.entries[f.next].row;
            col_ = f.entries[f.next].col;
            ++f.next;
            return true;
        }
        frames_.pop_back();
    }
    return false;
}

bool TChartWalk::NextBranch(bool orJoin) {
    if (TakeEntry()) return true;
    TPos p;
    if (orJoin && PopJoin(p)) {
        row_ = p.row + 1;
        col_ = p.col;
        return true;
    }
    return NextChain();
}

// A step that stands above a simultaneous convergence: above its left end
// (pushed on the join stack) or above one of its right-hand branch points.
bool TChartWalk::FindJoinBelow(std::int32_t r, std::int32_t c) {
    const std::int32_t below = WalkDown(r + 1, c);
    if (IsLine(below, c, kShapeParConvRight)) return true;
    if (!IsLine(below, c, kShapeParLeft)) return false;
    if (!IsLine(below, WalkRight(below, c + 1, kShapeParCont), kShapeParConvRight)) return false;
    return PushJoin({below, c});
}

bool TChartWalk::IsLastJoinBranch(std::int32_t r, std::int32_t c) const {
    r = WalkDown(r, c);
    const TSfcCell x = Cell(r, c);
    const TSfcCell right = Cell(r, c + 1);
    if (x.IsLine(kShapeParLeft) || x.IsLine(kShapeParConvRight))
        return !(right.IsLine(kShapeParConvRight) || right.IsLine(kShapeParCont));
    if (x.IsLine(kShapeSelLeft) || x.IsLine(kShapeSelConvRight))
        return !(right.IsLine(kShapeSelConvRight) || right.IsLine(kShapeSelCont));
    return false;
}

// The transfer of a branch that enters a selective convergence at (r, c):
// to the step-like cell below the convergence's left end.
bool TChartWalk::TransferBelowLeftEnd(std::int32_t r, std::int32_t c) {
    std::int32_t left = c;
    while (left >= 0 && (IsLine(r, left, kShapeSelCont) || IsLine(r, left, kShapeSelConvRight))) --left;
    if (left < 0 || !IsLine(r, left, kShapeSelLeft)) return Fail();
    const std::int32_t y = WalkDown(r + 1, left);
    if (!StepLike(Cell(y, left))) return Fail();
    return EmitTransfer(y, left);
}

bool TChartWalk::EmitSelectiveBranches(TFrame& f, std::int32_t& deepest) {
    std::vector<TPos> kept;
    for (const TPos& e : f.entries) {
        const std::int32_t t = WalkDown(e.row + 1, e.col);
        if (Cell(t, e.col).type != kSfcTransition || Visited(t, e.col)) return Fail();
        if (!CopyCode(t, e.col, true)) return false;
        MarkVisited(t, e.col);
        const std::int32_t xr = WalkDown(t + 1, e.col);
        const TSfcCell x = Cell(xr, e.col);
        deepest = std::max(deepest, xr);
        if (StepLike(x)) {
            if (!EmitTransfer(xr, e.col)) return false;
            if (x.type != kSfcJump && x.type != kSfcJumpSet && x.type != kSfcResetMark) kept.push_back({xr, e.col});
        } else if (x.IsLine(kShapeSelConvRight)) {
            // Straight into a selective convergence: only its last branch
            // goes on to the step below it.
            if (!TransferBelowLeftEnd(xr, e.col)) return false;
            if (IsLastJoinBranch(xr, e.col)) kept.push_back({xr, e.col});
        } else if (ConvergenceLeftEnd(xr, e.col)) {
            if (!PushJoin({xr, e.col})) return false;
            const std::int32_t y = WalkDown(xr + 1, e.col);
            if (!StepLike(Cell(y, e.col))) return Fail();
            if (!EmitTransfer(y, e.col)) return false;
        } else if (x.IsLine(kShapeParLeft)) {
            // A simultaneous divergence below the branch's transition: all
            // its transfers follow the transition at once.
            std::int32_t c = e.col;
            while (c < kSfcColumns) {
                const std::int32_t y = WalkDown(xr + 1, c);
                if (!StepLike(Cell(y, c))) return Fail();
                if (!EmitTransfer(y, c)) return false;
                if (InUse(y, c)) parallelDone_[Index(y, c)] = 1;
                c = WalkRight(xr, c + 1, kShapeParCont);
                if (!IsLine(xr, c, kShapeParDivRight)) break;
            }
            kept.push_back({xr, e.col});
        } else if (!x.Empty() && x.type != kSfcLine) {
            kept.push_back({xr, e.col});
        } else {
            return Fail();
        }
    }
    f.entries = std::move(kept);
    f.next = 0;
    return true;
}

bool TChartWalk::EmitParallelBranches(TFrame& f) {
    for (std::size_t i = f.next; i < f.entries.size(); ++i) {
        TPos& e = f.entries[i];
        const std::int32_t xr = WalkDown(e.row + 1, e.col);
        const TSfcCell x = Cell(xr, e.col);
        if (!StepLike(x)) return Fail();
        if (!(InUse(xr, e.col) && parallelDone_[Index(xr, e.col)]) && !EmitTransfer(xr, e.col)) return false;
        e.row = xr;
    }
    f.next = 0;
    return true;
}

bool TChartWalk::Step() {
    const TSfcCell x = Cell(row_, col_);
    if (x.type == kSfcInitStep) inChain_ = true;
    if (!inChain_) return Fail();
    if (Visited(row_, col_)) return NextBranch(true);  // a step is written once
    const std::uint16_t n = x.Number();
    if (!FindJoinBelow(row_, col_)) {
        if (Failed()) return false;
        // A step without code of its own opens no block unless a transition
        // follows: an empty block would run into the next step's STL and
        // read as a simultaneous convergence.
        const bool stl = HasOwnCode(row_, col_) || SearchDown(row_ + 1, col_, [](const TSfcCell& y) {
                             return y.type == kSfcTransition || y.IsLine(kShapeParDivRight) ||
                                    y.IsLine(kShapeParConvRight) || y.IsLine(kShapeParLeft) || y.IsLine(kShapeSelLeft);
                         });
        if (stl && !EmitStl(n)) return false;
        if (!CopyCode(row_, col_, true)) return false;
        MarkVisited(row_, col_);
        ++row_;
        const TSfcCell under = Cell(row_, col_);
        if ((under.Empty() || under.IsLine(kShapeParDivRight) || under.IsLine(kShapeParCont) ||
             under.IsLine(kShapeSelDivRight) || under.IsLine(kShapeSelCont)) &&
            !frames_.empty())
            return NextBranch(false);
        return true;
    }
    // A simultaneous convergence follows: the step's own block holds only
    // its actions; the STL list of the convergence comes with its last branch.
    if (HasOwnCode(row_, col_)) {
        if (!EmitStl(n) || !CopyCode(row_, col_, true)) return false;
    }
    MarkVisited(row_, col_);
    if (IsLastJoinBranch(row_ + 1, col_)) {
        TPos p;
        if (!PopJoin(p)) return Fail();
        row_ = p.row;
        col_ = p.col;
        return true;
    }
    return TakeEntry() || Fail();
}

bool TChartWalk::Transition() {
    if (Visited(row_, col_)) {
        ++deepest_;
        row_ = deepest_;
        return true;
    }
    if (!inChain_) return Fail();
    if (!CopyCode(row_, col_, true)) return false;
    MarkVisited(row_, col_);
    row_ = WalkDown(row_ + 1, col_);
    const TSfcCell x = Cell(row_, col_);
    if (StepLike(x)) return EmitTransfer(row_, col_);
    if (ConvergenceLeftEnd(row_, col_)) {
        if (!PushJoin({row_, col_})) return false;
        const std::int32_t y = WalkDown(row_ + 1, col_);
        if (StepLike(Cell(y, col_))) {
            if (!EmitTransfer(y, col_)) return false;
            return NextBranch(false);
        }
        row_ = y;
        return true;
    }
    if (x.IsLine(kShapeSelConvRight)) {
        if (!TransferBelowLeftEnd(row_, col_)) return false;
        TPos p;
        if (IsLastJoinBranch(row_, col_) && PopJoin(p)) {
            row_ = p.row;
            col_ = p.col;
            return true;
        }
        return NextBranch(true);
    }
    if (x.IsLine(kShapeParLeft) && IsLine(row_, WalkRight(row_, col_ + 1, kShapeParCont), kShapeParDivRight))
        return true;  // the divergence writes the transfers
    if (x.Empty() || x.type == kSfcLine) return Fail();
    return true;  // a transition or a LAD block: the walk goes on there
}

bool TChartWalk::Line() {
    const std::uint8_t shape = Cell(row_, col_).Shape();
    switch (shape) {
        case kShapeVertical:
        case kShapeParDivRight:
            MarkVisited(row_, col_);
            ++row_;
            return true;
        case kShapeParCont:
        case kShapeSelCont:
            MarkVisited(row_, col_);
            ++col_;
            return true;
        case kShapeSelDivRight:
            MarkVisited(row_, col_);
            ++row_;
            if (Cell(row_, col_).type != kSfcTransition) return Fail();
            return true;
        case kShapeSelConvRight:
            if (IsLastJoinBranch(row_, col_)) {
                TPos p;
                if (!PopJoin(p)) return Fail();
                row_ = p.row;
                col_ = p.col;
                return true;
            }
            return TakeEntry() || Fail();
        case kShapeParLeft: {
            const std::int32_t e = WalkRight(row_, col_ + 1, kShapeParCont);
            if (IsLine(row_, e, kShapeParConvRight)) {
                if (!SearchDown(row_ + 1, col_, [](const TSfcCell& y) { return y.type == kSfcTransition; }))
                    return Fail();
                // The steps above each branch point, left to right.
                std::vector<std::uint16_t> steps;
                std::int32_t c = col_;
                while (true) {
                    std::int32_t r = row_ - 1;
                    while (r >= 0 && IsLine(r, c, kShapeVertical)) --r;
                    if (r < 0) return Fail();
                    const TSfcCell above = Cell(r, c);
                    if (above.type != kSfcStep) break;
                    steps.push_back(above.Number());
                    c = WalkRight(row_, c + 1, kShapeParCont);
                    if (!IsLine(row_, c, kShapeParConvRight)) break;
                }
                if (steps.size() > kStackDepth) return Fail();
                for (std::uint16_t n : steps)
                    if (!EmitStl(n)) return false;
                MarkRun(row_, col_, {kShapeParCont, kShapeParConvRight});
                ++row_;
                return true;
            }
            if (IsLine(row_, e, kShapeParDivRight)) {
                if (!SearchDown(row_ + 1, col_, StepOrJump)) return Fail();
                if (!PushDivergence(kShapeParDivRight, kShapeParCont)) return Fail();
                if (!EmitParallelBranches(frames_.back())) return false;
                return TakeEntry() || Fail();
            }
            return Fail();
        }
        case kShapeSelLeft: {
            const std::int32_t e = WalkRight(row_, col_ + 1, kShapeSelCont);
            if (IsLine(row_, e, kShapeSelConvRight)) {
                if (!SearchDown(row_ + 1, col_, StepOrJump)) return Fail();
                MarkRun(row_, col_, {kShapeSelCont, kShapeSelConvRight});
                row_ = WalkDown(row_ + 1, col_);
                if (!StepOrJump(Cell(row_, col_))) return Fail();
                return true;
            }
            if (IsLine(row_, e, kShapeSelDivRight)) {
                if (!SearchDown(row_ + 1, col_, [](const TSfcCell& y) { return y.type == kSfcTransition; }))
                    return Fail();
                if (!PushDivergence(kShapeSelDivRight, kShapeSelCont)) return Fail();
                std::int32_t deepest = deepest_;
                if (!EmitSelectiveBranches(frames_.back(), deepest)) return false;
                deepest_ = std::max(deepest_, deepest);
                return NextBranch(true);
            }
            return Fail();
        }
        default:  // a convergence's branch point reached by the walk itself, or no shape
            return Fail();
    }
}

TSfcToCodeResult TChartWalk::Run() {
    if (!code_) {
        res_.failure = TSfcFailure::Capacity;
        return res_;
    }
    std::memset(code_, 0xFF, cap_);
    // Every turn moves the walk or takes a stacked entry; a chart that would
    // make it turn without end is refused.
    const std::uint64_t budget = static_cast<std::uint64_t>(std::max(c_.rows, 1)) * kSfcColumns * 8 + 1024;
    std::uint64_t turns = 0;
    // Below the rows in use the walk would only pass empty rows.
    const std::int32_t end = used_;
    while (row_ < end && !Failed()) {
        if (++turns > budget) {
            Fail();
            break;
        }
        if (row_ < 0 || col_ < 0 || col_ >= kSfcColumns) {
            Fail();
            break;
        }
        deepest_ = std::max(deepest_, row_);
        const TSfcCell x = Cell(row_, col_);
        switch (x.type) {
            case kSfcEmpty:
                while (col_ < kSfcColumns && (Cell(row_, col_).Empty() || Visited(row_, col_))) ++col_;
                if (col_ >= kSfcColumns) {
                    ++row_;
                    col_ = 0;
                }
                break;
            case kSfcLad: {
                if (inChain_ && !EmitWord(0x000E)) break;
                inChain_ = false;
                if (!CopyCode(row_, col_, false)) break;
                MarkVisited(row_, col_);
                ++row_;
                const TSfcCell under = Cell(row_, col_);
                if (!(under.type == kSfcLad || IsStep(under) || under.Empty() || under.IsLine(kShapeParDivRight)))
                    Fail();
                break;
            }
            case kSfcInitStep:
            case kSfcStep:
                Step();
                break;
            case kSfcTransition:
                Transition();
                break;
            case kSfcJump:
            case kSfcJumpSet:
            case kSfcResetMark:
            case kSfcStepMark:
                if (!inChain_) {
                    Fail();
                    break;
                }
                if (!Visited(row_, col_) && !EmitTransfer(row_, col_)) break;
                MarkVisited(row_, col_);
                NextBranch(false);
                break;
            case kSfcLine:
                if (Visited(row_, col_) && !x.IsLine(kShapeVertical)) {
                    // A line piece walked already: go on as over an empty cell.
                    ++col_;
                    if (col_ >= kSfcColumns) {
                        ++row_;
                        col_ = 0;
                    }
                    break;
                }
                Line();
                break;
            default:
                Fail();
                break;
        }
    }
    if (!Failed() && inChain_) EmitWord(0x000E);
    if (!Failed()) {
        for (std::int32_t r = 0; r < end; ++r)
            for (std::int32_t c = 0; c < kSfcColumns; ++c) {
                const TSfcCell x = Cell(r, c);
                if (x.Empty() || x.type == kSfcLine || Visited(r, c)) continue;
                ++res_.strays;
                const TSfcCodeRec* rec = recs_[Index(r, c)];
                if (rec && !rec->code.empty() && SfcTypeHasCode(x.type)) ++res_.unreached;
            }
    }
    res_.length = len_;
    return res_;
}

// The first P or I label that `code` defines a second time, as its text
// ("P7"); empty when each label stands once. A jump to a label held twice
// would have two places to go.
std::string LabelDefinedTwice(const std::uint8_t* code, std::uint32_t length) {
    std::vector<std::uint8_t> seen(0x1000, 0);  // label words lie in 0xB000..0xBFFF
    // A label is a word of its own: where no word of that range comes twice,
    // none is defined twice, and the instructions need not be walked.
    bool again = false;
    for (std::uint32_t at = 0; at + 1 < length && !again; at += 2) {
        const unsigned word = code[at] | code[at + 1] << 8;
        if ((word & 0xF000) == 0xB000) again = seen[word - 0xB000]++ != 0;
    }
    if (!again) return {};
    std::fill(seen.begin(), seen.end(), 0);
    for (std::uint32_t at = 0; at < length;) {
        const std::uint16_t word = ReadCodeWord(code, length, at);
        const int index = OpcodeToIndex(word);
        if ((index == inst::PLABEL || index == inst::ILABEL) && word >= 0xB000 && word <= 0xBFFF &&
            seen[word - 0xB000]++)
            return DisassembleText(code, length, at);
        const std::uint32_t next = NextInstructionOffset(at, code, length);
        if (next <= at) break;
        at = next;
    }
    return {};
}

}  // namespace

TSfcToCodeResult SfcChartToCode(const TSfcChartRef& chart, std::uint8_t* code, std::uint32_t capacity) {
    TChartWalk walk(chart, code, capacity);
    return walk.Run();
}

bool SfcToCode() {
    if (!gProgram || gProgramCapacity == 0) return false;
    std::vector<std::uint8_t> out(gProgramCapacity, 0xFF);
    const TSfcToCodeResult r = SfcChartToCode(TSfcChartRef::Shared(), out.data(), gProgramCapacity);
    gSfcChartErrorRow = gSfcChartErrorCol = -1;
    if (r.failure == TSfcFailure::Capacity) {
        gSfcChartError = 1;
        ShowMsg(kMsgMemoryFull);
        return false;
    }
    if (!r.ok()) {
        // The cell the walk stood on, numbered as the chart's status bar
        // numbers its cursor; a walk that ran off the grid names its last cell.
        gSfcChartError = 1;
        gSfcChartErrorRow = std::clamp(r.errRow, 0, std::max(gSfcRowCount - 1, 0));
        gSfcChartErrorCol = std::clamp(r.errCol, 0, kSfcColumns - 1);
        ShowMsg(kMsgChartError, CellPositionText(gSfcChartErrorRow, gSfcChartErrorCol));
        return false;
    }
    // Elements whose code holds one label each may still hold the same one
    // (a chart file written elsewhere): refused as the list refuses a label
    // in use, the program as it was.
    if (const std::string label = LabelDefinedTwice(out.data(), r.length); !label.empty()) {
        gSfcChartError = 1;
        ShowMsg(kMsgLabelUsed, " " + label);
        return false;
    }
    gSfcChartError = 0;
    std::memcpy(gProgram, out.data(), gProgramCapacity);
    LocateProgramEnd();
    // Elements off the chains go into no code: the chart keeps the content
    // stamp it had, so that they never pass for part of a drawing of it.
    const std::uint64_t asMatched = gSfcChartStamp;
    MarkChartOfProgram(out.data(), r.length);
    if (r.strays > 0) gSfcChartStamp = asMatched;
    if (r.unreached > 0) ShowMsg(kMsgUnreached, std::to_string(r.unreached));
    return true;
}
