// Conversions and bit codes: BCD, BIN, FLT, GRY, GBIN, DECO, ENCO, SUM, BON,
// ALT, SEGD, ASCI, HEX and CCD, with their 32-bit forms.
#include <bit>
#include <cmath>
#include <cstring>

#include "simulator/SimApplied.h"

using namespace simapp;

namespace {

void SetOperationError(E& e, bool on) {
    SetFlag(e, kFlagOperationError, on);
    SetFlag(e, kFlagOperationErrorLatch, on);
}

// BCD: four decimal digits (DBCD eight), the lowest in bits 0-3. A negative
// source or one with more digits is an operation error and stores nothing.
void Bcd(E& e, const S& s) {
    std::int64_t v = e.ReadOperand(s, 0);
    const std::int64_t limit = s.width == kSimWidth32 ? 99999999 : 9999;
    const bool bad = v < 0 || v > limit;
    SetOperationError(e, bad);
    if (bad) return;
    std::uint32_t out = 0;
    for (int shift = 0; v > 0; shift += 4, v /= 10) out |= static_cast<std::uint32_t>(v % 10) << shift;
    e.WriteOperand(s, 1, out);
}

// BIN: the reverse; a digit above 9 is an operation error and stores nothing.
void Bin(E& e, const S& s) {
    const std::uint32_t v = Unsigned(s, e.ReadOperand(s, 0));
    std::int64_t out = 0;
    for (int shift = Bits(s) - 4; shift >= 0; shift -= 4) {
        const std::uint32_t digit = (v >> shift) & 0xF;
        if (digit > 9) {
            SetOperationError(e, true);
            return;
        }
        out = out * 10 + digit;
    }
    SetOperationError(e, false);
    e.WriteOperand(s, 1, out);
}

// FLT A B with M1023 OFF: the integer A into the single-precision number held
// in B and the word after it (low word first). With M1023 ON the other way:
// A receives the integer part of the number in B, B+1; a number outside the
// width's range gives the nearest end of it, NaN stores nothing.
void Flt(E& e, const S& s) {
    TSimMemory& mem = e.Memory();
    if (!Flag(e, kFlagFloatDirection)) {
        const float f = static_cast<float>(e.ReadOperand(s, 0));
        WriteSimOperand(mem, std::bit_cast<std::uint32_t>(f), Op(e, s, 1), kSimWidth32, 0);
        return;
    }
    const auto bits = static_cast<std::uint32_t>(ReadSimOperand(mem, Op(e, s, 1), kSimWidth32, 0));
    const float f = std::bit_cast<float>(bits);
    if (std::isnan(f)) return;
    const double t = std::trunc(static_cast<double>(f));
    const std::int64_t v = t <= double(MinOf(s)) ? MinOf(s) : t >= double(MaxOf(s)) ? MaxOf(s) : std::int64_t(t);
    e.WriteOperand(s, 0, v);
}

void Gry(E& e, const S& s) {
    const std::uint32_t v = Unsigned(s, e.ReadOperand(s, 0));
    e.WriteOperand(s, 1, v ^ (v >> 1));
}

void Gbin(E& e, const S& s) {
    std::uint32_t v = Unsigned(s, e.ReadOperand(s, 0));
    for (std::uint32_t shift = v >> 1; shift; shift >>= 1) v ^= shift;
    e.WriteOperand(s, 1, v);
}

// DECO S D n (n 1-8): v = the n-bit value of S (bit devices: n of them; a
// word: its low n bits). A bit-device D gets device v of its 2^n set and the
// others of the block cleared; a word D (n at most 4) becomes 2^v.
void Deco(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 1, 8, n)) return;
    const TSimSlot& src = Op(e, s, 0);
    const TSimSlot& dst = Op(e, s, 1);
    std::int64_t v = 0;
    if (IsSingleBit(src)) {
        if (Room(e, s, 0) < n) return;
        for (int k = 0; k < n; ++k) v |= (e.ReadOperand(s, 0, k) & 1) << k;
    } else {
        v = e.ReadOperand(s, 0) & ((1 << n) - 1);
    }
    if (IsSingleBit(dst)) {
        const int size = 1 << n;
        if (Room(e, s, 1) < size) return;
        for (int k = 0; k < size; ++k) e.WriteOperand(s, 1, k == v ? 1 : 0, k);
    } else if (n <= 4) {
        e.WriteOperand(s, 1, std::int64_t{1} << v);
    }
}

// ENCO S D n (n 1-8; a word source n at most 4): D = the position of the
// highest ON bit among the 2^n bits of S. None ON is an operation error and
// leaves D.
void Enco(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 1, 8, n)) return;
    const int size = 1 << n;
    int found = -1;
    if (IsSingleBit(Op(e, s, 0))) {
        if (Room(e, s, 0) < size) return;
        for (int k = size - 1; k >= 0 && found < 0; --k)
            if (e.ReadOperand(s, 0, k) & 1) found = k;
    } else {
        if (n > 4) return;
        const std::uint32_t v = Unsigned(s, e.ReadOperand(s, 0)) & ((1u << size) - 1);
        if (v) found = std::bit_width(v) - 1;
    }
    SetFlag(e, kFlagOperationError, found < 0);
    if (found >= 0) e.WriteOperand(s, 1, found);
}

void Sum(E& e, const S& s) {
    const int ones = CountOneBits(e.ReadOperand(s, 0), s.width);
    e.WriteOperand(s, 1, ones);
    SetFlag(e, kFlagZero, ones == 0);
}

// BON S D n: the bit device D shows bit n of S (0-15, DBON 0-31).
void Bon(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 0, Bits(s) - 1, n) || !IsSingleBit(Op(e, s, 1))) return;
    e.WriteOperand(s, 1, (Unsigned(s, e.ReadOperand(s, 0)) >> n) & 1);
}

void Alt(E& e, const S& s) {
    if (IsSingleBit(Op(e, s, 0))) e.WriteOperand(s, 0, (e.ReadOperand(s, 0) & 1) ^ 1);
}

void Segd(E& e, const S& s) {
    static constexpr std::uint8_t kSegments[16] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x27,
                                                   0x7F, 0x6F, 0x77, 0x7C, 0x39, 0x5E, 0x79, 0x71};
    e.WriteOperand(s, 1, kSegments[e.ReadOperand(s, 0) & 0xF]);
}

// Characters of ASCI and HEX: with M1161 OFF two to a word, the first in the
// low byte; with M1161 ON one to a word, in the low byte.
struct TCharPacking {
    bool oneToWord;
    int Words(int n) const { return oneToWord ? n : (n + 1) / 2; }
    int Word(int j) const { return oneToWord ? j : j / 2; }
    int Shift(int j) const { return oneToWord ? 0 : (j % 2) * 8; }
};

TCharPacking Packing(const E& e) { return {Flag(e, kFlag8Bit)}; }

constexpr char kHexDigits[] = "0123456789ABCDEF";

// ASCI S D n: the lowest n hexadecimal digits of S (four to a word, the first
// word holding the lowest) as characters, most significant first.
void Asci(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 1, 255, n)) return;
    const TCharPacking p = Packing(e);
    const int count = static_cast<int>(n);
    if (Room(e, s, 0) < (count + 3) / 4 || Room(e, s, 1) < p.Words(count)) return;
    std::uint16_t out[256] = {};
    for (int j = 0; j < count; ++j) {
        const int digit = count - 1 - j;
        const auto word = static_cast<std::uint16_t>(ReadElement(e, s, 0, digit / 4));
        const char c = kHexDigits[(word >> ((digit % 4) * 4)) & 0xF];
        out[p.Word(j)] = static_cast<std::uint16_t>(out[p.Word(j)] | (std::uint8_t(c) << p.Shift(j)));
    }
    for (int k = 0; k < p.Words(count); ++k) e.WriteOperand(s, 1, out[k], k);
}

// HEX S D n: the reverse of ASCI. A character other than 0-9 and A-F is an
// operation error and stores nothing.
void Hex(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 1, 255, n)) return;
    const TCharPacking p = Packing(e);
    const int count = static_cast<int>(n);
    if (Room(e, s, 0) < p.Words(count) || Room(e, s, 1) < (count + 3) / 4) return;
    std::uint16_t out[64] = {};
    for (int j = 0; j < count; ++j) {
        const auto word = static_cast<std::uint16_t>(ReadElement(e, s, 0, p.Word(j)));
        const char c = static_cast<char>((word >> p.Shift(j)) & 0xFF);
        const char* at = c ? std::strchr(kHexDigits, c) : nullptr;
        if (!at) {
            SetFlag(e, kFlagOperationError, true);
            return;
        }
        const int digit = count - 1 - j;
        out[digit / 4] = static_cast<std::uint16_t>(out[digit / 4] | ((at - kHexDigits) << ((digit % 4) * 4)));
    }
    SetFlag(e, kFlagOperationError, false);
    for (int k = 0; k < (count + 3) / 4; ++k) e.WriteOperand(s, 1, out[k], k);
}

// CCD S D n: over n bytes from S (M1161 OFF both bytes of each word, low byte
// first; ON the low bytes only), D = their sum and D+1 a parity byte whose
// bit 7-j is set when an odd number of the bytes have bit j set.
void Ccd(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 1, 255, n)) return;
    const TCharPacking p = Packing(e);
    const int count = static_cast<int>(n);
    if (Room(e, s, 0) < p.Words(count) || Room(e, s, 1) < 2) return;
    std::int64_t sum = 0;
    std::uint8_t columns = 0;
    for (int j = 0; j < count; ++j) {
        const auto b = static_cast<std::uint8_t>(ReadElement(e, s, 0, p.Word(j)) >> p.Shift(j));
        sum += b;
        columns ^= b;
    }
    std::uint8_t parity = 0;
    for (int j = 0; j < 8; ++j)
        if (columns & (1 << j)) parity = static_cast<std::uint8_t>(parity | (0x80 >> j));
    e.WriteOperand(s, 1, sum, 0);
    e.WriteOperand(s, 1, parity, 1);
}

constexpr TSimBodyRow kRows[] = {
    {inst::BCD, Bcd},   {inst::DBCD, Bcd},   {inst::BIN, Bin},   {inst::DBIN, Bin},   {inst::FLT, Flt},
    {inst::DFLT, Flt},  {inst::GRY, Gry},    {inst::DGRY, Gry},  {inst::GBIN, Gbin},  {inst::DGBIN, Gbin},
    {inst::DECO, Deco}, {inst::ENCO, Enco},  {inst::SUM, Sum},   {inst::DSUM, Sum},   {inst::BON, Bon},
    {inst::DBON, Bon},  {inst::ALT, Alt},    {inst::SEGD, Segd}, {inst::ASCI, Asci},  {inst::HEX, Hex},
    {inst::CCD, Ccd},
};

}  // namespace

std::span<const TSimBodyRow> SimConversionBodies() { return kRows; }
