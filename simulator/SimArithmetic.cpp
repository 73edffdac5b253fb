// Arithmetic: ADD, SUB, MUL, DIV, INC, DEC, the word logic, NEG, ABS, SQR and
// MEAN, with their 32-bit forms. Values are computed in 64 bits, so nothing
// overflows or traps before the result is cut to the instruction's width.
#include <algorithm>
#include <cstdlib>

#include "simulator/SimApplied.h"

using namespace simapp;

namespace {

// Zero, borrow and carry of an addition or subtraction, on the true result:
// borrow when it lies below the width's range, carry when above. The stored
// value wraps.
void StoreWithFlags(E& e, const S& s, std::int64_t result) {
    e.WriteOperand(s, 2, result);
    SetFlag(e, kFlagZero, result == 0);
    SetFlag(e, kFlagBorrow, result < MinOf(s));
    SetFlag(e, kFlagCarry, result > MaxOf(s));
}

void Add(E& e, const S& s) { StoreWithFlags(e, s, e.ReadOperand(s, 0) + e.ReadOperand(s, 1)); }
void Sub(E& e, const S& s) { StoreWithFlags(e, s, e.ReadOperand(s, 0) - e.ReadOperand(s, 1)); }

// The product takes twice the width: MUL into two words, DMUL into four.
void Mul(E& e, const S& s) { e.WriteDoubleResult(s, 2, e.ReadOperand(s, 0) * e.ReadOperand(s, 1)); }

// Quotient (truncated toward zero) into D and the remainder beside it. A
// division by zero is an operation error and leaves D as it was.
void Div(E& e, const S& s) {
    const std::int64_t a = e.ReadOperand(s, 0);
    const std::int64_t b = e.ReadOperand(s, 1);
    SetFlag(e, kFlagOperationError, b == 0);
    if (b == 0) return;
    e.WriteOperand(s, 2, a / b);
    e.WriteSecondResult(s, 2, a % b);
}

void Inc(E& e, const S& s) { e.WriteOperand(s, 0, e.ReadOperand(s, 0) + 1); }
void Dec(E& e, const S& s) { e.WriteOperand(s, 0, e.ReadOperand(s, 0) - 1); }

void And(E& e, const S& s) { e.WriteOperand(s, 2, e.ReadOperand(s, 0) & e.ReadOperand(s, 1)); }
void Or(E& e, const S& s) { e.WriteOperand(s, 2, e.ReadOperand(s, 0) | e.ReadOperand(s, 1)); }
void Xor(E& e, const S& s) { e.WriteOperand(s, 2, e.ReadOperand(s, 0) ^ e.ReadOperand(s, 1)); }

// NEG is the two's complement; the most negative value stays itself.
void Neg(E& e, const S& s) { e.WriteOperand(s, 0, -e.ReadOperand(s, 0)); }
void Abs(E& e, const S& s) { e.WriteOperand(s, 0, std::llabs(e.ReadOperand(s, 0))); }

std::int64_t IntegerSqrt(std::int64_t v) {
    std::int64_t r = 0;
    // Sources are at most 32 bits wide, so the root is below 2^16.
    for (std::int64_t bit = std::int64_t{1} << 16; bit > 0; bit >>= 1)
        if ((r + bit) * (r + bit) <= v) r += bit;
    return r;
}

// SQR: the integer part of the root; M1021 when a fraction was dropped, M1020
// when the root is 0. A negative source is an operation error.
void Sqr(E& e, const S& s) {
    const std::int64_t v = e.ReadOperand(s, 0);
    SetFlag(e, kFlagOperationError, v < 0);
    if (v < 0) return;
    const std::int64_t r = IntegerSqrt(v);
    e.WriteOperand(s, 1, r);
    SetFlag(e, kFlagBorrow, r * r != v);
    SetFlag(e, kFlagZero, r == 0);
}

// MEAN S D n: the mean of n elements from S (1-64), cut where S's array ends.
// The sum is kept in 64 bits, so the mean always fits the width.
void Mean(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 1, 64, n)) return;
    n = std::min(n, Room(e, s, 0));
    if (n <= 0) return;
    std::int64_t sum = 0;
    for (int k = 0; k < n; ++k) sum += ReadElement(e, s, 0, k);
    e.WriteOperand(s, 1, sum / n);
}

constexpr TSimBodyRow kRows[] = {
    {inst::ADD, Add},   {inst::DADD, Add},   {inst::SUB, Sub},   {inst::DSUB, Sub},   {inst::MUL, Mul},
    {inst::DMUL, Mul},  {inst::DIV, Div},    {inst::DDIV, Div},  {inst::INC, Inc},    {inst::DINC, Inc},
    {inst::DEC, Dec},   {inst::DDEC, Dec},   {inst::WAND, And},  {inst::DAND, And},   {inst::WOR, Or},
    {inst::DOR, Or},    {inst::WXOR, Xor},   {inst::DXOR, Xor},  {inst::NEG, Neg},    {inst::DNEG, Neg},
    {inst::ABS, Abs},   {inst::DABS, Abs},   {inst::SQR, Sqr},   {inst::DSQR, Sqr},   {inst::MEAN, Mean},
    {inst::DMEAN, Mean},
};

}  // namespace

std::span<const TSimBodyRow> SimArithmeticBodies() { return kRows; }
