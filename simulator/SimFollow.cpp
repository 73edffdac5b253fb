// An edited program taking over a run: which steps of the new program are
// steps of the old one, so that each keeps what it remembered of its last
// scan, and nothing else does.
//
// Equal instructions are common (the same pulse on two rungs, the same edge
// contact in two step blocks), and their memories differ where their rungs
// do; pairing them by their code alone hands one rung's memory to another.
// So the two programs are compared as the user edits them, rung by rung: a
// rung typed, deleted or moved comes and goes whole, and every rung beside it
// pairs with itself. Only inside the stretches where rungs changed are single
// instructions paired, so that a rung whose contacts were edited keeps the
// memory of its output; there, equal pulses on two branches of one rung are
// told apart by the contacts each goes on from.
#include <algorithm>
#include <cstring>

#include "core/InstructionTable.h"
#include "core/SequenceMatch.h"
#include "simulator/SimEngine.h"

namespace {

// Pairings worked out at most per comparison (rungs or instructions inserted
// plus deleted); past them only the unchanged ends pair, and whatever lies
// between starts afresh.
constexpr std::size_t kMaxDifferences = 1000;

// Steps after which the rung goes on: contacts and the logic-stack work.
bool KeepsRungOpen(int index) {
    return index <= inst::ORI || index == inst::STL || (index >= inst::ANB && index <= inst::INV) ||
           (index >= kInstEdgeFirst && index <= kInstCompareLast) ||
           (index >= inst::LONG_LD && index <= inst::LONG_ORI);
}

// Steps that begin a rung when the step before them ended one.
bool OpensRung(int index) {
    return index == inst::LD || index == inst::LDI || index == inst::LDP || index == inst::LDF ||
           index == inst::LONG_LD || index == inst::LONG_LDI || index == inst::STL || index == inst::PLABEL ||
           index == inst::ILABEL || CompareGroupOfIndex(index) == 0;
}

// A program as its steps and the code they were decoded from, cut into
// rungs. Empty steps hold no memory and are left out, so that the erased
// rest of the image, longer or shorter after an edit, and empty lines put in
// or taken out change no pairing.
struct TStepRuns {
    const std::uint8_t* image;
    const std::vector<TSimStep>& steps;
    std::vector<std::uint32_t> order;   // the steps that are not empty
    std::vector<std::uint32_t> rungs;   // place in `order` of each rung's first step, then order.size()
    std::vector<std::uint64_t> hashes;  // per rung
    // Per place in `order`: the place of the step whose result this one
    // goes on from, or -1 at a rung's start. MPS, MRD and MPP are looked
    // through to the step before the branch point, so that equal pulses on
    // two branches of one rung are told apart by their branches' contacts.
    std::vector<std::int32_t> follows;

    TStepRuns(const std::uint8_t* code, const std::vector<TSimStep>& s) : image(code), steps(s) {
        std::int32_t last = -1;
        std::vector<std::int32_t> branchPoints;
        for (std::uint32_t i = 0; i < steps.size(); ++i) {
            if (steps[i].index == inst::NOP) continue;
            // END stands apart, and so does whatever follows it.
            const int now = steps[i].index;
            const int before = order.empty() ? -1 : steps[order.back()].index;
            if (order.empty() || now == inst::END || before == inst::END || (OpensRung(now) && !KeepsRungOpen(before))) {
                rungs.push_back(static_cast<std::uint32_t>(order.size()));
                last = -1;
                branchPoints.clear();
            }
            follows.push_back(last);
            if (now == inst::MPS) {
                branchPoints.push_back(last);
            } else if (now == inst::MRD || now == inst::MPP) {
                if (!branchPoints.empty()) last = branchPoints.back();
                if (now == inst::MPP && !branchPoints.empty()) branchPoints.pop_back();
            } else {
                last = static_cast<std::int32_t>(order.size());
            }
            order.push_back(i);
        }
        rungs.push_back(static_cast<std::uint32_t>(order.size()));
        for (std::size_t r = 0; r + 1 < rungs.size(); ++r) {
            std::uint64_t h = 14695981039346656037ull;  // FNV-1a over the rung's instructions
            for (std::uint32_t k = rungs[r]; k < rungs[r + 1]; ++k) {
                const TSimStep& st = steps[order[k]];
                for (std::uint32_t at = st.offset; at < st.offset + st.length; ++at) h = (h ^ image[at]) * 1099511628211ull;
            }
            hashes.push_back(h);
        }
    }
    std::size_t RungCount() const { return rungs.size() - 1; }
    std::uint32_t RungSize(std::size_t r) const { return rungs[r + 1] - rungs[r]; }
};

// Step `a` (a place in from.order) has the code of step `b` (in to.order).
bool SameStep(const TStepRuns& from, std::uint32_t a, const TStepRuns& to, std::uint32_t b) {
    const TSimStep& x = from.steps[from.order[a]];
    const TSimStep& y = to.steps[to.order[b]];
    return x.length == y.length && std::memcmp(from.image + x.offset, to.image + y.offset, x.length) == 0;
}

bool SameRung(const TStepRuns& from, std::size_t i, const TStepRuns& to, std::size_t j) {
    if (from.hashes[i] != to.hashes[j] || from.RungSize(i) != to.RungSize(j)) return false;
    for (std::uint32_t k = 0; k < from.RungSize(i); ++k)
        if (!SameStep(from, from.rungs[i] + k, to, to.rungs[j] + k)) return false;
    return true;
}

const auto kLimit = [](std::size_t, std::size_t, std::size_t, std::size_t) { return kMaxDifferences; };

// Step `a` and step `b` have the same code and go on from the same code (or
// both start their rungs).
bool SameStepInPlace(const TStepRuns& from, std::uint32_t a, const TStepRuns& to, std::uint32_t b) {
    if (!SameStep(from, a, to, b)) return false;
    const std::int32_t x = from.follows[a], y = to.follows[b];
    return x < 0 || y < 0 ? x == y
                          : SameStep(from, static_cast<std::uint32_t>(x), to, static_cast<std::uint32_t>(y));
}

// Pairs the single instructions of the old steps [o0, o1) with the new steps
// [n0, n1) (places in the two `order`s): first those that also go on from
// the same instruction, so that of two equal pulses the one whose own
// contacts stayed is paired; then, between those pairs, the rest by their
// code alone, so that a pulse whose contacts were edited keeps its memory.
void MatchStretch(const TStepRuns& from, std::uint32_t o0, std::uint32_t o1, const TStepRuns& to, std::uint32_t n0,
                  std::uint32_t n1, std::vector<std::int32_t>& newStepOf, bool inPlace = true) {
    if (o0 == o1 || n0 == n1) return;
    const auto same = [&](std::size_t i, std::size_t j) {
        const std::uint32_t a = o0 + static_cast<std::uint32_t>(i), b = n0 + static_cast<std::uint32_t>(j);
        return inPlace ? SameStepInPlace(from, a, to, b) : SameStep(from, a, to, b);
    };
    std::vector<std::int32_t> match;
    MatchWithEnds(o1 - o0, n1 - n0, same, kLimit, match);
    std::uint32_t nextOld = o0, nextNew = n0;
    for (std::size_t i = 0; i < match.size(); ++i) {
        if (match[i] < 0) continue;
        const std::uint32_t a = o0 + static_cast<std::uint32_t>(i), b = n0 + static_cast<std::uint32_t>(match[i]);
        if (inPlace) MatchStretch(from, nextOld, a, to, nextNew, b, newStepOf, false);
        newStepOf[from.order[a]] = static_cast<std::int32_t>(to.order[b]);
        nextOld = a + 1;
        nextNew = b + 1;
    }
    if (inPlace) MatchStretch(from, nextOld, o1, to, nextNew, n1, newStepOf, false);
}

// Per old step: the new step it is, or -1 when the edit took it away.
std::vector<std::int32_t> AlignSteps(const TStepRuns& from, const TStepRuns& to) {
    std::vector<std::int32_t> newStepOf(from.steps.size(), -1);
    const auto same = [&](std::size_t i, std::size_t j) { return SameRung(from, i, to, j); };
    std::vector<std::int32_t> rung;
    MatchWithEnds(from.RungCount(), to.RungCount(), same, kLimit, rung);
    // Rungs that stayed pair step for step; between two of them, what the
    // edit changed pairs instruction by instruction.
    std::size_t nextNew = 0, stretchOld = 0;
    for (std::size_t r = 0; r <= from.RungCount(); ++r) {
        const bool last = r == from.RungCount();
        if (!last && rung[r] < 0) continue;
        const std::size_t j = last ? to.RungCount() : static_cast<std::size_t>(rung[r]);
        MatchStretch(from, from.rungs[stretchOld], from.rungs[r], to, to.rungs[nextNew], to.rungs[j], newStepOf);
        if (last) break;
        for (std::uint32_t k = 0; k < from.RungSize(r); ++k)
            newStepOf[from.order[from.rungs[r] + k]] = static_cast<std::int32_t>(to.order[to.rungs[j] + k]);
        stretchOld = r + 1;
        nextNew = j + 1;
    }
    return newStepOf;
}

}  // namespace

void TSimEngine::FollowProgram(const std::uint8_t* image, std::size_t capacity) {
    const std::vector<std::uint8_t> oldImage = std::move(image_);
    const std::vector<TSimStep> oldSteps = std::move(steps_);
    const std::vector<std::uint8_t> oldEdge = std::move(edge_);
    const std::vector<std::uint8_t> oldBlock = std::move(blockWasActive_);

    LoadProgram(image, capacity);
    const std::vector<std::int32_t> newStepOf = AlignSteps(TStepRuns(oldImage.data(), oldSteps), TStepRuns(image_.data(), steps_));
    std::fill(edge_.begin(), edge_.end(), kEdgeUnseen);
    for (std::size_t j = 0; j < newStepOf.size(); ++j) {
        if (newStepOf[j] < 0) continue;
        const auto i = static_cast<std::size_t>(newStepOf[j]);
        edge_[i] = oldEdge[j];
        blockWasActive_[i] = oldBlock[j];
    }
    bool timed[kSimT] = {};
    for (const TSimStep& s : steps_)
        if (s.index == inst::TMR) timed[s.target] = true;
    for (int n = 0; n < kSimT; ++n)
        if (!timed[n]) mem_.TEnable[n] = 0;
}
