#pragma once
// Operand slots: an applied instruction's operand records decoded into a form
// its handler reads and writes through, whatever the device kind.
//
// Decoding is pure (it depends on the record only), so the engine decodes
// every record once when it loads a program; the index registers E and F are
// applied at each read and write, because their values change while the
// program runs.
#include <cstdint>

#include "simulator/Simucomm.h"

inline constexpr int kSimSlotCount = 6;

// Which array an operand lives in.
enum class TSimArray : std::uint8_t {
    None,   // constant, or an empty slot
    S,      // bit devices and digit groups: element is the device number,
    X,      // X and Y numbers being the value of the octal number
    Y,
    T,      // timer contacts
    M,
    C,      // counter contacts
    TPV,    // timer present values
    CPV,    // 16-bit counter present values, C0-C199
    CPV32,  // 32-bit counter present values, C200-C255
    D,      // data registers
};

// Slot kinds, as the handlers see them.
inline constexpr std::uint8_t kSimKindEmpty = 0;
inline constexpr std::uint8_t kSimKindBit = 1;
inline constexpr std::uint8_t kSimKindConst = 3;  // constants and the 32-bit counters
inline constexpr std::uint8_t kSimKindWord = 4;

// Operand width: 4 for 16-bit instructions, 5 for 32-bit ones.
inline constexpr int kSimWidth16 = 4;
inline constexpr int kSimWidth32 = 5;

struct TSimSlot {
    TSimArray array = TSimArray::None;
    std::int32_t element = 0;    // index in the array; for a constant its value
    std::uint16_t digits = 0;    // n of a digit group Kn (1-8); 0 for a single device or a word
    std::uint8_t kind = kSimKindEmpty;
    std::uint8_t indexReg = 0;   // 0 none, 1 E, 2 F, 1 + 2r for Er, 2 + 2r for Fr (r 1-7)
    bool indexRegister = false;  // the operand is an index register itself (E, F, E1 ... F7)
};

// Decodes one operand record: 4 bytes at width 4, 8 bytes at width 5 (the
// second half supplies the upper 16 bits of a constant). An unknown class
// leaves the slot empty.
void DecodeSimOperand(const std::uint8_t* record, TSimSlot& slot, int width);

// Decodes the operand records that follow an instruction's opcode word, 4
// bytes each (8 when `is32`), into slots 0, 1, ... while they lie inside the
// instruction's `length` bytes; returns the number of slots filled (at most
// kSimSlotCount).
int DecodeSimOperands(const std::uint8_t* instruction, int length, bool is32, TSimSlot* slots);

// The index register number of a slot's register value (0 when none or unknown).
int SimIndexRegisterD(std::uint8_t indexReg);

// Element of the operand after index modification (for a constant its value).
std::int64_t SimSlotElement(const TSimMemory& mem, const TSimSlot& slot);

// Value of the operand; k selects the k-th element of a block (0 for a single
// operand). Out-of-range elements read as 0.
std::int64_t ReadSimOperand(const TSimMemory& mem, const TSimSlot& slot, int width, int k);

// Stores a value into the operand. Writes outside the arrays and writes into
// constants are dropped; a single bit device takes the lowest bit.
//
// A 32-bit value of a T, C or D register takes the next register as its high
// word only where the memory's family has that pair (the last T or D of the
// family, C199, D4095 have none): there the high word reads as 0 and a write
// is dropped whole, so no register the family lacks is read or written. The
// index registers as operands keep their pairs.
void WriteSimOperand(TSimMemory& mem, std::int64_t value, const TSimSlot& slot, int width, int k);

// Elements of the given width that the operand holds from its (index-
// modified) element to the end of its array: words (pairs of words at width
// 5), digit groups, single bits or 32-bit counters. A constant holds any
// number, an empty slot or an element outside the array none.
std::int64_t SimSlotRoom(const TSimMemory& mem, const TSimSlot& slot, int width);

// Number of 1 bits in the low 16 (width 4) or 32 (width 5) bits.
int CountOneBits(std::int64_t value, int width);

// Digit groups with octal grouping: the j-th group of 8 bits starts 8j
// devices after the element on X and Y and 10j on M, so that X0-X7, X10-X17
// map onto M0-M7, M10-M17. Other operands behave as the plain pair.
std::int64_t ReadSimOctalOperand(const TSimMemory& mem, const TSimSlot& slot, int width, int k);
void WriteSimOctalOperand(TSimMemory& mem, std::int64_t value, const TSimSlot& slot, int width, int k);
