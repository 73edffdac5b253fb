#pragma once
// The bodies of the applied instructions and what they share.
//
// Each family of instructions (moves, arithmetic, compares, shifts, tables,
// conversions, time) lives in its own file and hands over a list of rows with
// their bodies; SimApplied.cpp joins the lists into the table from instruction
// row to body. A pulse row runs the body of its plain row, and a 32-bit row
// usually the same body as its 16-bit row: a body reads the width from its step.
//
// The engine runs a body only while its rung is ON (a pulse row once per
// rising edge), with the operands decoded into slots; operand i of the
// instruction is slot i. Every access goes through the bounds-checked operand
// functions, so a damaged or unexpected operand never reaches memory outside
// the device arrays.
#include <cstdint>
#include <span>

#include "simulator/SimEngine.h"

struct TSimBodyRow {
    int row;            // instruction row (inst::MOV, ...)
    TSimHandler body;
};

std::span<const TSimBodyRow> SimMoveBodies();        // SimMoves.cpp
std::span<const TSimBodyRow> SimArithmeticBodies();  // SimArithmetic.cpp
std::span<const TSimBodyRow> SimCompareBodies();     // SimCompares.cpp
std::span<const TSimBodyRow> SimShiftBodies();       // SimShifts.cpp
std::span<const TSimBodyRow> SimTableBodies();       // SimTables.cpp
std::span<const TSimBodyRow> SimConversionBodies();  // SimConversions.cpp
std::span<const TSimBodyRow> SimTimeBodies();        // SimTime.cpp

namespace simapp {

using E = TSimEngine;
using S = TSimStep;

// Result flags.
inline constexpr int kFlagZero = 1020;
inline constexpr int kFlagBorrow = 1021;
inline constexpr int kFlagCarry = 1022;
inline constexpr int kFlagFloatDirection = 1023;  // FLT: OFF integer to float, ON back
inline constexpr int kFlagOperationError = 1067;
inline constexpr int kFlagOperationErrorLatch = 1068;
inline constexpr int kFlagByteSwap = 1160;         // XCH swaps the bytes of one word
inline constexpr int kFlag8Bit = 1161;             // ASCI, HEX, CCD: one character per word

inline bool Flag(const E& e, int m) { return e.Memory().M()[m] != 0; }
inline void SetFlag(E& e, int m, bool on) { e.Memory().M()[m] = on ? 1 : 0; }

// Bits of the step's width: 16 or 32.
inline int Bits(const S& s) { return s.width == kSimWidth32 ? 32 : 16; }
inline std::int64_t MinOf(const S& s) { return s.width == kSimWidth32 ? INT32_MIN : INT16_MIN; }
inline std::int64_t MaxOf(const S& s) { return s.width == kSimWidth32 ? INT32_MAX : INT16_MAX; }
// The value cut to the step's width, unsigned.
inline std::uint32_t Unsigned(const S& s, std::int64_t v) {
    return s.width == kSimWidth32 ? static_cast<std::uint32_t>(v) : static_cast<std::uint16_t>(v);
}
// The value cut to the step's width, read as two's complement.
inline std::int64_t Signed(const S& s, std::int64_t v) {
    return s.width == kSimWidth32 ? std::int64_t{static_cast<std::int32_t>(v)}
                                  : std::int64_t{static_cast<std::int16_t>(v)};
}

inline const TSimSlot& Op(const E& e, const S& s, int i) { return e.Slot(s, i); }
inline bool IsConst(const TSimSlot& slot) { return slot.array == TSimArray::None && slot.kind == kSimKindConst; }
inline bool IsSingleBit(const TSimSlot& slot) { return slot.kind == kSimKindBit && slot.digits == 0; }
inline bool IsWord(const TSimSlot& slot) { return slot.kind == kSimKindWord; }
inline bool IsBitArray(TSimArray a) {
    return a == TSimArray::S || a == TSimArray::X || a == TSimArray::Y || a == TSimArray::T ||
           a == TSimArray::M || a == TSimArray::C;
}

// Element k of operand i at the step's width; a constant gives its value as
// element 0 and nothing (0) after it.
inline std::int64_t ReadElement(const E& e, const S& s, int i, int k) {
    if (k > 0 && IsConst(Op(e, s, i))) return 0;
    return e.ReadOperand(s, i, k);
}

// Elements of the step's width that operand i holds from its device to the
// end of its array (very many for a constant, none for an empty slot).
inline std::int64_t Room(const E& e, const S& s, int i) {
    return SimSlotRoom(e.Memory(), Op(e, s, i), s.width);
}

// A count operand within first..last; false when it lies outside.
inline bool CountIn(const E& e, const S& s, int i, std::int64_t first, std::int64_t last, std::int64_t& n) {
    n = e.ReadOperand(s, i);
    return n >= first && n <= last;
}

// The three results of a compare into three bit devices in a row from
// operand i; a destination that is not a single bit device takes nothing.
inline void WriteThreeBits(E& e, const S& s, int i, bool first, bool second, bool third) {
    if (!IsSingleBit(Op(e, s, i)) || Room(e, s, i) < 3) return;
    e.WriteOperand(s, i, first ? 1 : 0, 0);
    e.WriteOperand(s, i, second ? 1 : 0, 1);
    e.WriteOperand(s, i, third ? 1 : 0, 2);
}

}  // namespace simapp
