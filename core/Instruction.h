#pragma once
// Instructions as values: a line of instruction-list text and a model family in, the
// machine words and table row (or the reason the line was refused) out; encoded words
// checked against a family; the text of the instruction at an offset of a code buffer.
// Nothing here reads or writes the shared line and instruction buffers or the current
// family: AssembleInstruction, ValidateInstruction and DisassembleForView are adapters
// over these for the callers that work through gInputText, gInsnBuf and gInstText.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Why a line does not assemble.
enum class TAsmRefusal : std::uint8_t {
    None = 0,
    EmptyLine,        // no mnemonic
    LineTooLong,      // more than 79 characters
    TokenTooLong,     // a token of more than 16 characters, or more tokens than any row takes
    UnknownMnemonic,  // no row and no label of that name
    NotInFamily,      // the row exists, but not in this family (or it is the ERROR row)
    OperandCount,     // the row takes another number of operands
    BadOperand,       // operand `TAssembly::operand` is no device or constant this slot takes here
    NoPair,           // operand `TAssembly::operand` names a device of the family, but reaches one
                      // it lacks: the high word of a 32-bit value (WordPairInFamily), the second
                      // register of a product or remainder, a compare's result bits ...
    BadLabel,         // a P or I label outside the family's range
};

// An encoded instruction: its table row (the long form's row for M1536 and above) and its
// bytes, little-endian words with the opcode word first, as long as the table says.
struct TInstruction {
    int index = 0;
    std::vector<std::uint8_t> bytes;
    bool Is32() const;
};

struct TAssembly {
    std::optional<TInstruction> instruction;  // set exactly when refusal is None
    TAsmRefusal refusal = TAsmRefusal::None;
    int operand = 0;       // BadOperand, NoPair: the refused operand, 1 for the first
    std::string operandText;  // NoPair: that operand as typed, upper case
    // The row the mnemonic names (FindMnemonic; kInstNotFound when it names none), or
    // -1 when the line was refused before its mnemonic was read.
    int mnemonicIndex = -1;
    explicit operator bool() const { return instruction.has_value(); }
};

// Assembles one line ("MOV K5 D0", "ld m2000", "P12", "I 100") for a family 0..2.
// Mnemonics and operands may be in any case; the text of ASC stays as typed.
TAssembly AssembleLine(std::string_view line, int family);

// True when the bytes are one whole instruction of the family: a row it has, the row's
// length, and operands of the kinds and ranges the row takes. The error word is refused.
bool ValidateCode(std::span<const std::uint8_t> code, int family);

// The instruction at an offset of a code buffer, read without going past its end.
struct TDisassembly {
    std::string text;        // "OUT Y0", "TMR T0 K10"; "?" for an operand cut off by the end
    int index = 0;           // table row (ERROR for the compiler's error word)
    std::uint32_t length = 0;  // bytes the instruction takes at that offset
};
// std::nullopt when offset lies outside the buffer.
std::optional<TDisassembly> DisassembleAt(std::span<const std::uint8_t> code, std::uint32_t offset);

// The instructions of code[0, used) that `family` does not run as they stand
// (ValidateCode refuses them: a row the family lacks, a device past its ranges, a
// 32-bit operand whose next register it lacks), as "<step> <text>" in program order
// ("1 DMOV D1311 D200"). Empty steps are passed over.
std::vector<std::string> InstructionsBeyondFamily(std::span<const std::uint8_t> code, std::uint32_t used,
                                                  int family);

// The one judgement of an operand against a family, as AssembleLine and ValidateCode
// judge it, for a device held apart from code (a ladder cell): whether `family` has
// every register and bit `device` reaches as operand `operand` (0 for the first) of
// instruction row `index`, a 32-bit operand when `is32`: a digit group's 4n bits, the
// high word of a 32-bit T, C or D, and what the instruction's action takes beside the
// device (MUL's product, DIV's quotient and remainder, the three result bits of CMP
// and ZCP ...). Index -1 judges a contact's or coil's device alone. Constants, texts and
// index registers pass; an index suffix is judged by the number written.
struct TDeviceRecord;
bool OperandReachInFamily(int index, int operand, const TDeviceRecord& device, bool is32, int family);
