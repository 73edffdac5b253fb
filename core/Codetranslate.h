#pragma once
// The operand codec, the tokenizer over gInputText, the assembler with its operand
// checkers, the table-driven validator and the disassembler. All of it is GUI-thread
// state (gInputText, gInsnBuf, gInstText); nothing here shows a message.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/ProgramImage.h"

// ---- shared line and instruction buffers ------------------------------------------

inline constexpr int kInputTextSize = 80;   // a line holds at most 79 characters
inline constexpr int kTokenMax = 16;        // longest operand or mnemonic token
inline constexpr int kInstTextSize = 120;
inline constexpr int kInsnBufBytes = 64;    // longest instruction is 42 bytes

// The line being assembled, the one-line input's text, the line a compile rejected.
extern char gInputText[kInputTextSize];
// Tokenizer position in gInputText.
extern int32_t gLinePos;
// Instruction index of the instruction last assembled or looked up.
extern int32_t gInstIndex;

// The assembled instruction: length in bytes, 0x10 when 32-bit, then the bytes
// (little-endian words, opcode word first).
struct TInsnBuf {
    uint32_t length;
    uint8_t flag32;
    uint8_t code[kInsnBufBytes];
};
extern TInsnBuf gInsnBuf;

// Text of the instruction last disassembled: mnemonic, blank, operands separated by blanks.
extern char gInstText[kInstTextSize];

// Copies a line into gInputText and resets gLinePos; false (nothing changed) when the
// line does not fit in 79 characters.
bool SetInputText(std::string_view line);

// Advances gLinePos over blanks (and tabs) of gInputText, up to the end of the line.
void SkipBlanks();
// Copies the next token (ends at a blank, tab, NUL, CR or LF) into dest, which holds
// kTokenMax + 1 characters, NUL-terminated; a longer token is cut there but consumed
// whole. Returns the token's full length (0 at the end of the line).
int ReadToken(char* dest);

// ---- operand records ---------------------------------------------------------------

// A decoded operand, as a ladder cell stores it.
//  modifier: index register of the operand: 0 none, kModE | r (Er), kModF | r (Fr), r 0..7.
//  type: DeviceType; number: device number or the low 16 bits of a constant (for text:
//  the two characters, first in the low byte); digits: n of a digit group Kn, else 0;
//  high: the upper 16 bits of a 32-bit constant.
struct TDeviceRecord {
    uint8_t modifier = 0;
    uint8_t type = 0;
    uint16_t number = 0;
    uint8_t digits = 0;
    uint16_t high = 0;
};
inline constexpr uint8_t kModE = 0x20;
inline constexpr uint8_t kModF = 0x40;
inline constexpr uint8_t kModRegMask = 0x07;

// Operand record classes (byte 1 of a record); 0xE0 | low nibble = E-indexed,
// 0xF0 | low nibble = F-indexed.
inline constexpr uint8_t kClassK = 0x80;
inline constexpr uint8_t kClassH = 0x82;
inline constexpr uint8_t kClassBit = 0x84;
inline constexpr uint8_t kClassWord = 0x86;
inline constexpr uint8_t kClassPointer = 0x88;  // P (code 0x80) and N (code 0x88)
inline constexpr uint8_t kClassText = 0x8A;
inline constexpr uint8_t kClassILabel = 0x8C;

// Device text (letter, number, optional index register suffix such as "D10E" or "K4M0F2";
// a digit group "KnX0" etc.; constants "K-5", "H1F") -> decoded record; false when the text
// is not a device or constant. No family limits are applied.
bool EncodeDeviceRecord(std::string_view text, TDeviceRecord& out);

// Basic device address of (type, number): S n, X 0x400 + n, Y 0x500 + n, T 0x600 + n,
// M 0x800 + n (M1536 and above: 0xB000 + n - 1536), C 0xE00 + n; 0xFFFF for other types.
uint16_t DeviceToBasicAddress(int type, uint32_t number);

// Basic instruction word (LD..SET, STL, and TMR/CNT's 0x81nn / 0x83nn words) -> device;
// false when the address names no device.
bool DecodeBasicAddress(uint16_t word, TDeviceRecord& out);

// Decodes an operand: size 2 is a basic word (high byte 0x20-0x7F, 0xA0-0xAF, 0xC0-0xDF,
// 0x81 or 0x83), size 4 a record, size 8 a 32-bit record. False when it is none of these.
bool DecodeOperandWord(const uint8_t* record, int size, TDeviceRecord& out);

// Position 0..11 of a compare-contact opcode within its group; -1 for any other word.
int CompareContactOffset(uint16_t opcode);

// Link address of a device text (mode 0): C 0x0E00 + n, D 0x1000 + n (D4096 and above
// 0x8000 + n), M 0x0800 + n (M1536 and above 0xB000 + n - 1536), S n, T 0x0600 + n,
// X 0x0400 + n, Y 0x0500 + n (octal). False for any other text or mode.
bool EncodeOperand(std::string_view text, int mode, uint16_t& address);

// Encodes one operand text into a 4-byte record (8 bytes when is32) as the assembler
// does; no family limits. Returns the record length, 0 when the text is no operand.
int EncodeOperandRecord(std::string_view text, bool is32, uint8_t* out);

// Text of a record (size 4 or 8): "K10", "H1F", "K4M0", "D10E", "X17", "P3", "N0", "E1".
std::string OperandRecordToText(const uint8_t* record, int size);

// The text the disassembler and the ladder show for an operand typed in any form the
// assembler reads: trimmed and upper-cased, numbers without leading zeros or sign "+",
// index register 0 without its number ("x010" -> "X10", "K+05" -> "K5", "D0E0" -> "D0E",
// "h0ff" -> "HFF"). A text that is no operand comes back trimmed and upper-cased.
std::string OperandTextAsShown(std::string_view text);

// Text of the operand stored at a byte position of a code buffer (an operand record, the
// timer/counter word of TMR/CNT/DCNT, or the opcode word of a basic instruction), found
// by walking forward to the instruction that holds it; "" when there is none.
std::string CodeOperandToText(const uint8_t* code, std::size_t capacity, uint32_t position);

// Re-encodes the device text into the operand at a byte position; false, nothing
// written, when the instruction there cannot take that device.
bool WriteOperandDevice(std::string_view device, uint8_t* code, std::size_t capacity, uint32_t position);

// ---- operand checkers ----------------------------------------------------------------
// Each takes a trimmed, upper-cased operand text and tells whether it is a valid operand
// of its kind within the current family's limits (X and Y octal). No side effect.
bool CheckXOperand(std::string_view text);
bool CheckYOperand(std::string_view text);
bool CheckMOperand(std::string_view text);
bool CheckSOperand(std::string_view text);
bool CheckTOperand(std::string_view text);
bool CheckCOperand(std::string_view text);
bool CheckDOperand(std::string_view text);
bool CheckK16Operand(std::string_view text);
bool CheckK32Operand(std::string_view text);
bool CheckH16Operand(std::string_view text);
bool CheckH32Operand(std::string_view text);
bool CheckKnXOperand(std::string_view text);
bool CheckKnYOperand(std::string_view text);
bool CheckKnMOperand(std::string_view text);
bool CheckKnSOperand(std::string_view text);
bool CheckPOperand(std::string_view text);
bool CheckIOperand(std::string_view text);
bool CheckIndexRegOperand(std::string_view text);

// Label number of "P<n>" (0-255) or "I<nnn>" (000-899, three digits); -1 otherwise.
int PLabelNumber(std::string_view text);
int ILabelNumber(std::string_view text);
// True when the label is valid and free in the table (256 P / 900 I entries of rows, -1
// free) or already belongs to that row. A check only: nothing is changed.
bool CheckPLabel(std::string_view label, int row, const int32_t* pLabelRows);
bool CheckILabel(std::string_view label, int row, const int32_t* iLabelRows);
// Frees every entry of a label table that belongs to the row (used when a label is placed).
void FreeRowLabels(int32_t* labelRows, int count, int row);
// True when the label ("P<n>" or "I<nnn>") is valid and no instruction of the code blocks
// (the inner programs of the chart elements) is that label already; the blocks are only read.
bool CheckLabelUniqueInList(std::string_view label, std::span<const TCodeBlock> blocks);

// ---- assembler, validator, disassembler over the shared buffers ------------------------
// Adapters over AssembleLine, ValidateCode and DisassembleAt (core/Instruction.h) with the
// current family, for the callers that work through gInputText, gInsnBuf and gInstText.

// Assembles the line in gInputText (from position 0) into gInsnBuf and sets gInstIndex
// (to the row the mnemonic names even when the line is refused).
// 1 on success, 0 on any error (unknown mnemonic, wrong operand kind or count, number out
// of the current family's range, over-long token, the ERROR row). Shows no message.
int AssembleInstruction();

// Checks the encoded instruction in gInsnBuf: non-zero when the instruction exists in the
// current family, its 32-bit flag matches its row and every operand's class is one it
// accepts; 0 otherwise.
int ValidateInstruction();

// Writes the text of the instruction at offset into gInstText ("OUT Y0", "TMR T0 K10").
// Reads nothing outside [0, capacity); false when offset is not inside the buffer.
bool DisassembleForView(const uint8_t* program, std::size_t capacity, uint32_t offset);
// The same text as a string ("" when offset is outside the buffer).
std::string DisassembleText(const uint8_t* program, std::size_t capacity, uint32_t offset);
