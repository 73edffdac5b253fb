#pragma once
// Internal to core: the parsed form of an operand text and the checks shared by the
// assembler, the validator and the code editing functions.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Codetranslate.h"

namespace core_detail {

// An operand text taken apart, before any family limit is applied.
struct ParsedOperand {
    int type = 0;          // DeviceType
    int64_t value = 0;     // device number, or the constant's value
    int digits = 0;        // n of a digit group KnX/KnY/KnM/KnS
    int indexReg = -1;     // -1 none, else 0..7
    bool indexF = false;   // index register F (else E)
    bool isIndexRegister = false;  // the operand is E or F itself
};

// Syntax only: K/H constants, digit groups, devices with an optional E/F suffix, E/F
// registers, P/I/N. False for anything else.
bool ParseOperand(std::string_view text, ParsedOperand& out);

// K and H constants fit the instruction's width (16 or 32 bits); other operands pass.
bool ConstantInRange(const ParsedOperand& p, bool is32);

// Decoded record with the operand kind it is (one OperandKind bit plus kOpIndexed).
struct DecodedOperand {
    TDeviceRecord rec;
    uint32_t kind = 0;     // one kind bit, | kOpIndexed when modified
    int64_t value = 0;     // constants: full signed value at the operand's width
};
// Decodes a 4-byte record (8 with is32); false when the bytes are no record.
bool DecodeRecord(const uint8_t* rec, bool is32, DecodedOperand& out);

// What operand `operand` (0 for the first) of instruction row `index` takes in a row
// from the device it names, as the instruction acts: `elements` elements (1: the
// device alone), each 32 bits wide where `wide` is set (a 16-bit MUL's product). An
// element of a bit device is one bit, of a digit group its 4n bits, of a T, C or D
// word one register (a pair at 32 bits, one register from C200). The product of MUL,
// the quotient and remainder of DIV, the three result bits of CMP and ZCP, the times
// of the clock instructions, SER's five results and the like; a block whose length is
// a run-time count (BMOV, FMOV, SFTR ...) reaches only its first element here.
struct TOperandReach {
    int elements = 1;
    bool wide = false;
    // A digit group of M taken as octal, as PRUN takes it: each group of 8 bits
    // starts 10 devices after the one before (M0-M7, M10-M17), as on X and Y.
    bool octalM = false;
};
TOperandReach OperandReach(int index, int operand);
// The one judgement of an operand against a family: the family has every register
// and bit it reaches as operand `operand` of row `index` (index -1: the device
// alone). Digit groups wholly (Kn up to 4 digits in 16-bit, 8 in 32-bit), a 32-bit
// T, C or D with its high word (WordPairInFamily), and the elements of OperandReach.
// An index suffix is judged by the number written, as the range is. Constants, texts
// and index registers pass.
bool ReachFits(const DecodedOperand& op, bool is32, int family, int index = -1, int operand = -1);
// True when a decoded operand is one of the allowed kinds and ReachFits.
bool OperandFits(const DecodedOperand& op, uint32_t allowedKinds, bool is32, int family, int index = -1,
                 int operand = -1);

// Encodes a parsed operand for one operand slot: chooses the bit or word encoding of T
// and C from the allowed kinds. Returns the record length (4 or 8), 0 when impossible.
int EncodeParsed(const ParsedOperand& p, uint32_t allowedKinds, bool is32, uint8_t* out);

// Text of a decoded operand ("K10", "D10E", "K4M0", "X17", "P3").
std::string DecodedText(const DecodedOperand& op, bool is32);

// Text of a device number for a type (octal for X and Y); "" for an unknown type.
std::string DeviceText(int type, uint32_t number);

// Bit-record address of a bit device (S, X, Y, T, C, M including M1536 and above); -1 when
// the device has none.
int BitRecordAddress(int type, int64_t number);

}  // namespace core_detail
