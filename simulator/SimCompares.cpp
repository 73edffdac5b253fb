// Compares: CMP and ZCP with their 32-bit forms. Both write three results
// into three bit devices in a row; a destination that is not a single bit
// device (a digit group, a word, a constant) takes nothing.
#include "simulator/SimApplied.h"

using namespace simapp;

namespace {

// CMP S1 S2 D: D = S1 < S2, D+1 = S1 = S2, D+2 = S1 > S2 (signed).
void Cmp(E& e, const S& s) {
    const std::int64_t a = e.ReadOperand(s, 0), b = e.ReadOperand(s, 1);
    WriteThreeBits(e, s, 2, a < b, a == b, a > b);
}

// ZCP S1 S2 S D: D = S < S1, D+1 = S1 <= S <= S2, D+2 = S > S2.
void Zcp(E& e, const S& s) {
    const std::int64_t low = e.ReadOperand(s, 0), high = e.ReadOperand(s, 1), v = e.ReadOperand(s, 2);
    WriteThreeBits(e, s, 3, v < low, v >= low && v <= high, v > high);
}

constexpr TSimBodyRow kRows[] = {
    {inst::CMP, Cmp},
    {inst::DCMP, Cmp},
    {inst::ZCP, Zcp},
    {inst::DZCP, Zcp},
};

}  // namespace

std::span<const TSimBodyRow> SimCompareBodies() { return kRows; }
