#pragma once
// The instruction set: four parallel columns of 444 rows indexed by instruction
// index, plus the per-row operand forms and family availability that drive the
// assembler and ValidateInstruction. The rows live in core/InstructionRows.inc,
// the single source of truth; the simulator dispatches on rows 0-342 in this order.
#include <cstdint>
#include <string_view>

inline constexpr int kInstCount = 444;        // rows 0..443
inline constexpr int kInstMnemonicSize = 7;   // up to 6 characters, NUL-padded

// Flags column: low nibble = tokens including the mnemonic (operand count + 1).
inline constexpr uint8_t kInstTokenMask = 0x0F;
inline constexpr uint8_t kInst32Bit = 0x10;   // 32-bit form: operand records of 8 bytes
inline constexpr uint8_t kInstPulse = 0x20;   // pulse form (opcode of the plain row + 0x1000)

// Mnemonic column (case as stored: upper case).
extern const char gInstMnemonic[kInstCount][kInstMnemonicSize];
// Flags column (token count, kInst32Bit, kInstPulse).
extern const uint8_t gInstFlags[kInstCount];
// Length of the instruction in program memory, in bytes.
extern const uint16_t gInstLength[kInstCount];
// Opcode word; for rows 0-10 the base that the device address or label number is added to.
extern const uint16_t gInstOpcode[kInstCount];

// Every row by name: inst::MOV, inst::DMOVP, inst::LD_EQ ("LD="), inst::DLD_GE ("DLD>="),
// inst::LONG_LD (long form of LD for M1536 and above), inst::PLABEL, inst::ERROR ...
namespace inst {
enum Index : int {
#define QEL_INST(id, mn, tokens, flags, length, opcode, form, families) id,
#include "core/InstructionRows.inc"
#undef QEL_INST
};
}  // namespace inst

// Named rows and ranges that other subsystems rely on.
inline constexpr int kInstFirstApplied = 26;      // CJ
inline constexpr int kSimHandlerCount = 343;      // rows 0..342 (LD .. TSUBP) have simulator handlers
inline constexpr int kInstEdgeFirst = 389;        // LDP, LDF, ANDP, ANDF, ORP, ORF
inline constexpr int kInstEdgeLast = 394;
inline constexpr int kInstCompareFirst = 395;     // LD= .. DOR>=, 12 per group (LD, AND, OR)
inline constexpr int kInstCompareLast = 430;
inline constexpr int kLongFormOffset = 431;       // long form of rows 0-7 = row + 431
inline constexpr int kInstLongFirst = 431;
inline constexpr int kInstLongLast = 438;
inline constexpr int kInstError = 443;            // ERROR row; OpcodeToIndex's "unknown"
inline constexpr int kInstNotFound = 444;         // FindMnemonic's "no such mnemonic"
static_assert(inst::CMP == 39 && inst::TSUBP == 342 && inst::PLS == 387 && inst::PLF == 388);
static_assert(inst::LDP == kInstEdgeFirst && inst::LD_EQ == kInstCompareFirst);
static_assert(inst::LONG_LD == kLongFormOffset && inst::LONG_OUT == 437 && inst::LONG_SET == 438);
static_assert(inst::FUN1 == 439 && inst::DFUN2 == 442 && inst::ERROR == kInstError);

// Error word the ladder compiler leaves for a line it could not translate.
inline constexpr uint16_t kErrorWord = 0xC400;
inline constexpr uint16_t kNopWord = 0xFFFF;

// (16-bit word) -> instruction index: 0-8 by the high nibble of basic words, 9 for
// P labels 0xB000-0xB0FF, 10 for I labels 0xB800-0xBB83 (only labels that fit the label
// tables), otherwise the row whose opcode equals the word; 443 (ERROR) when none does.
// The error word 0xC400 follows the high-nibble rule like every basic word and gives OUT
// (its device, X0, is never valid for OUT): the ladder conversion and the syntax checker
// recognise the word itself, ValidateInstruction refuses it, the disassembler shows it as
// "ERROR" and it has no operand to find or replace. Anything that runs code must treat it
// (and any OUT or SET of an X device) as no instruction.
int OpcodeToIndex(uint16_t word);

// Case-insensitive mnemonic lookup; 444 when the text is no mnemonic. Long forms share
// their short form's mnemonic and are never returned (the short row comes first).
int FindMnemonic(std::string_view text);

// Token count (mnemonic included) and operand count of a row; 0 for an index out of range.
int InstTokenCount(int index);
int InstOperandCount(int index);
// True for a valid row with the 32-bit flag.
bool InstIs32(int index);

// Long form of basic rows 0-7 (row + 431); -1 for every other row.
int LongFormOf(int index);

// Position 0..11 of a compare row within its group of twelve (= - D= > D> < D< <> D<> <= D<= >= D>=),
// -1 for other rows. Group: 0 LD, 1 AND, 2 OR, -1 otherwise.
int CompareCodeOfIndex(int index);
int CompareGroupOfIndex(int index);
// Row of compare code 0..11 in group 0..2; -1 when out of range.
int CompareIndex(int group, int code);

// Operand kinds an instruction accepts, per operand (bit masks of OperandKind).
enum OperandKind : uint32_t {
    kOpK = 1u << 0,      // decimal constant K
    kOpH = 1u << 1,      // hexadecimal constant H
    kOpKnX = 1u << 2,    // digit groups
    kOpKnY = 1u << 3,
    kOpKnM = 1u << 4,
    kOpKnS = 1u << 5,
    kOpX = 1u << 6,      // bit devices
    kOpY = 1u << 7,
    kOpM = 1u << 8,
    kOpS = 1u << 9,
    kOpTBit = 1u << 10,  // T as a contact
    kOpCBit = 1u << 11,  // C as a contact
    kOpT = 1u << 12,     // word devices
    kOpC = 1u << 13,
    kOpD = 1u << 14,
    kOpEF = 1u << 15,    // index register E or F (E0-E7, F0-F7) as an operand
    kOpP = 1u << 16,     // pointer
    kOpI = 1u << 17,     // interrupt label
    kOpN = 1u << 18,     // nesting level
    kOpText = 1u << 19,  // ASC text
    kOpIndexed = 1u << 20,  // the operand may carry an index modifier E/F
};

inline constexpr int kMaxOperands = 6;
// Operand kinds of each operand of a row (count = InstOperandCount, except ASC whose text
// occupies 4 records: its form lists them as separate text operands).
struct TOperandForm {
    uint8_t count;
    uint32_t kinds[kMaxOperands];
};
const TOperandForm& InstOperandForm(int index);

// Model families that have a row (bit f for family f); 0 for ERROR and out of range.
uint8_t InstFamilies(int index);
bool InstAvailable(int index, int family);
