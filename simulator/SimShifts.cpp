// Shifts and rotations: ROR, ROL, RCR, RCL with their 32-bit forms, the bit
// shifts SFTR and SFTL and the word shifts WSFR and WSFL.
#include "simulator/SimApplied.h"

using namespace simapp;

namespace {

// A rotation works on a word or on a digit group as wide as the instruction
// (K4 for 16 bits, K8 for 32). The carry M1022 is the last bit rotated out;
// a count outside 1 to the width changes nothing.
bool RotationOperand(E& e, const S& s, std::uint32_t& value, int& n) {
    const TSimSlot& d = Op(e, s, 0);
    if (!IsWord(d) && !(d.kind == kSimKindBit && d.digits * 4 == Bits(s))) return false;
    const std::int64_t count = e.ReadOperand(s, 1);
    if (count < 1 || count > Bits(s)) return false;
    n = static_cast<int>(count);
    value = Unsigned(s, e.ReadOperand(s, 0));
    return true;
}

std::uint32_t TopBit(const S& s) { return 1u << (Bits(s) - 1); }

void Ror(E& e, const S& s) {
    std::uint32_t v;
    int n;
    if (!RotationOperand(e, s, v, n)) return;
    const int w = Bits(s);
    const std::uint64_t wide = v;
    const std::uint64_t r = (wide >> n) | (wide << (w - n));
    e.WriteOperand(s, 0, static_cast<std::int64_t>(r));
    SetFlag(e, kFlagCarry, (v >> (n - 1)) & 1);
}

void Rol(E& e, const S& s) {
    std::uint32_t v;
    int n;
    if (!RotationOperand(e, s, v, n)) return;
    const int w = Bits(s);
    const std::uint64_t wide = v;
    const std::uint64_t r = (wide << n) | (wide >> (w - n));
    e.WriteOperand(s, 0, static_cast<std::int64_t>(r));
    SetFlag(e, kFlagCarry, (v >> (w - n)) & 1);
}

// RCR and RCL rotate through the carry: 17 (33) bits with M1022 as the extra one.
void Rcr(E& e, const S& s) {
    std::uint32_t v;
    int n;
    if (!RotationOperand(e, s, v, n)) return;
    bool carry = Flag(e, kFlagCarry);
    for (int i = 0; i < n; ++i) {
        const bool out = v & 1;
        v = (v >> 1) | (carry ? TopBit(s) : 0);
        carry = out;
    }
    e.WriteOperand(s, 0, v);
    SetFlag(e, kFlagCarry, carry);
}

void Rcl(E& e, const S& s) {
    std::uint32_t v;
    int n;
    if (!RotationOperand(e, s, v, n)) return;
    bool carry = Flag(e, kFlagCarry);
    for (int i = 0; i < n; ++i) {
        const bool out = (v & TopBit(s)) != 0;
        v = Unsigned(s, (std::int64_t{v} << 1) | (carry ? 1 : 0));
        carry = out;
    }
    e.WriteOperand(s, 0, v);
    SetFlag(e, kFlagCarry, carry);
}

// SFTR S D n1 n2 (and WSFR on words): the block of n1 elements from D moves n2
// places toward D, the n2 elements from S filling its top; SFTL (WSFL) moves
// it away from D, S filling its bottom. n2 <= n1 <= 512, n1 a multiple of n2,
// and both blocks inside their arrays, else nothing happens.
void Shift(E& e, const S& s, bool towardD) {
    std::int64_t len, step;
    if (!CountIn(e, s, 2, 1, 512, len) || !CountIn(e, s, 3, 1, len, step) || len % step != 0) return;
    if (Room(e, s, 0) < step || Room(e, s, 1) < len) return;
    const int n1 = static_cast<int>(len), n2 = static_cast<int>(step);
    if (towardD) {
        for (int k = 0; k < n1 - n2; ++k) e.WriteOperand(s, 1, e.ReadOperand(s, 1, k + n2), k);
        for (int k = 0; k < n2; ++k) e.WriteOperand(s, 1, ReadElement(e, s, 0, k), n1 - n2 + k);
    } else {
        for (int k = n1 - 1; k >= n2; --k) e.WriteOperand(s, 1, e.ReadOperand(s, 1, k - n2), k);
        for (int k = 0; k < n2; ++k) e.WriteOperand(s, 1, ReadElement(e, s, 0, k), k);
    }
}

void ShiftRight(E& e, const S& s) { Shift(e, s, true); }
void ShiftLeft(E& e, const S& s) { Shift(e, s, false); }

constexpr TSimBodyRow kRows[] = {
    {inst::ROR, Ror},         {inst::DROR, Ror},        {inst::ROL, Rol},         {inst::DROL, Rol},
    {inst::RCR, Rcr},         {inst::DRCR, Rcr},        {inst::RCL, Rcl},         {inst::DRCL, Rcl},
    {inst::SFTR, ShiftRight}, {inst::SFTL, ShiftLeft},  {inst::WSFR, ShiftRight}, {inst::WSFL, ShiftLeft},
};

}  // namespace

std::span<const TSimBodyRow> SimShiftBodies() { return kRows; }
