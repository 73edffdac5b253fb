// Moves: MOV, SMOV, CML, BMOV, FMOV, XCH, SWAP, PRUN and their 32-bit forms.
#include <algorithm>

#include "simulator/SimApplied.h"

using namespace simapp;

namespace {

constexpr std::int64_t kMaxBlock = 512;

void Mov(E& e, const S& s) { e.WriteOperand(s, 1, e.ReadOperand(s, 0)); }

// Four decimal digits of a value 0-9999, digit 1 the lowest.
bool DecimalDigits(std::int64_t v, int (&digit)[5]) {
    if (v < 0 || v > 9999) return false;
    for (int i = 1; i <= 4; ++i, v /= 10) digit[i] = static_cast<int>(v % 10);
    return true;
}

// SMOV S m1 m2 D n: the m2 decimal digits of S from digit m1 downward replace
// the digits of D from digit n downward (digits 1-4, 1 the lowest). A source
// or destination outside 0-9999, or digits that do not fit, are an
// operation error and change nothing.
void Smov(E& e, const S& s) {
    const std::int64_t m1 = e.ReadOperand(s, 1), m2 = e.ReadOperand(s, 2), n = e.ReadOperand(s, 4);
    int from[5], to[5];
    const bool good = m1 >= 1 && m1 <= 4 && m2 >= 1 && m2 <= m1 && n >= m2 && n <= 4 &&
                      DecimalDigits(e.ReadOperand(s, 0), from) && DecimalDigits(e.ReadOperand(s, 3), to);
    SetFlag(e, kFlagOperationError, !good);
    if (!good) return;
    for (int i = 0; i < m2; ++i) to[n - i] = from[m1 - i];
    e.WriteOperand(s, 3, to[4] * 1000 + to[3] * 100 + to[2] * 10 + to[1]);
}

// Into a digit group only its 4n bits are stored, so only they change.
void Cml(E& e, const S& s) { e.WriteOperand(s, 1, ~e.ReadOperand(s, 0)); }

// BMOV S D n: n elements (words or digit groups) from S to D. The block is cut
// where either side reaches the end of its array. Overlapping blocks copy as
// if through a buffer, whichever way they overlap.
void Bmov(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 1, kMaxBlock, n)) return;
    n = std::min({n, Room(e, s, 0), Room(e, s, 1)});
    std::int64_t buffer[kMaxBlock];
    for (int k = 0; k < n; ++k) buffer[k] = ReadElement(e, s, 0, k);
    for (int k = 0; k < n; ++k) e.WriteOperand(s, 1, buffer[k], k);
}

// FMOV S D n: S into n elements from D, cut at the end of D's array.
void Fmov(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 1, kMaxBlock, n)) return;
    n = std::min(n, Room(e, s, 1));
    const std::int64_t v = e.ReadOperand(s, 0);
    for (int k = 0; k < n; ++k) e.WriteOperand(s, 1, v, k);
}

std::uint32_t SwapBytes(const S& s, std::uint32_t v) {
    const std::uint32_t swapped = ((v & 0x00FF00FFu) << 8) | ((v >> 8) & 0x00FF00FFu);
    return Unsigned(s, swapped);
}

// XCH D1 D2 exchanges the two; with M1160 ON it swaps the bytes of one word
// (DXCH: of each of its two words) when both operands name the same device,
// and reports anything else as an operation error.
void Xch(E& e, const S& s) {
    if (Flag(e, kFlagByteSwap)) {
        const TSimSlot& a = Op(e, s, 0);
        const TSimSlot& b = Op(e, s, 1);
        const bool same = a.array == b.array && a.array != TSimArray::None && a.digits == b.digits &&
                          SimSlotElement(e.Memory(), a) == SimSlotElement(e.Memory(), b);
        SetFlag(e, kFlagOperationError, !same);
        if (same) e.WriteOperand(s, 0, SwapBytes(s, Unsigned(s, e.ReadOperand(s, 0))));
        return;
    }
    const std::int64_t a = e.ReadOperand(s, 0);
    const std::int64_t b = e.ReadOperand(s, 1);
    e.WriteOperand(s, 0, b);
    e.WriteOperand(s, 1, a);
}

void Swap(E& e, const S& s) { e.WriteOperand(s, 0, SwapBytes(s, Unsigned(s, e.ReadOperand(s, 0)))); }

// PRUN: octal digit groups, so that X0-X7, X10-X17 land on M0-M7, M10-M17.
void Prun(E& e, const S& s) {
    TSimMemory& mem = e.Memory();
    WriteSimOctalOperand(mem, ReadSimOctalOperand(mem, Op(e, s, 0), s.width, 0), Op(e, s, 1), s.width, 0);
}

constexpr TSimBodyRow kRows[] = {
    {inst::MOV, Mov},   {inst::DMOV, Mov},   {inst::SMOV, Smov},  {inst::CML, Cml},   {inst::DCML, Cml},
    {inst::BMOV, Bmov}, {inst::FMOV, Fmov},  {inst::DFMOV, Fmov}, {inst::XCH, Xch},
    {inst::DXCH, Xch},  {inst::SWAP, Swap},  {inst::DSWAP, Swap}, {inst::PRUN, Prun},
    {inst::DPRUN, Prun},
};

}  // namespace

std::span<const TSimBodyRow> SimMoveBodies() { return kRows; }
