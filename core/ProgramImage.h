#pragma once
// Walks and edits of a program image: little-endian 16-bit words, an instruction being
// its opcode word and its operand words; empty steps hold 0xFFFF. Every function takes
// the buffer and its size, reads nothing outside it and moves whole instructions only.
#include <cstddef>
#include <cstdint>
#include <span>

// Word at a byte offset (0xFFFF when it does not lie wholly inside the buffer).
uint16_t ReadCodeWord(const uint8_t* code, std::size_t capacity, uint32_t offset);
void WriteCodeWord(uint8_t* code, std::size_t capacity, uint32_t offset, uint16_t value);

// Length in bytes of the instruction at offset, cut so that it ends inside the buffer
// (at least 2 while offset < capacity; 0 at or past the end).
uint32_t InstructionLengthAt(const uint8_t* code, std::size_t capacity, uint32_t offset);

// offset + the length of the instruction at offset, at most capacity.
uint32_t NextInstructionOffset(uint32_t offset, const uint8_t* code, std::size_t capacity);
// Start of the instruction before the one that holds offset, found by a forward walk from
// 0 (operand words cannot be told from opcodes walking backwards); 0 for offset 0.
uint32_t PrevInstructionOffset(uint32_t offset, const uint8_t* code, std::size_t capacity);
// Start of the instruction that holds the byte at offset (forward walk).
uint32_t InstructionStartOf(uint32_t offset, const uint8_t* code, std::size_t capacity);
// Number of instructions before the one that holds offset (its instruction-list line).
int OffsetToLine(uint32_t offset, const uint8_t* code, std::size_t capacity);
// Offset of the instruction on a line (capacity when the line is past the end).
uint32_t LineToOffset(int line, const uint8_t* code, std::size_t capacity);
// Instructions from the start up to and including the first END, within used bytes
// (all of them when there is no END).
int CountInstructions(const uint8_t* code, std::size_t used);

// The end of the program: bytes up to the end of the last instruction whose opcode word
// is not 0xFFFF (0 when there is none); lastOffset gets that instruction's offset (0 when none).
uint32_t LocateCodeEnd(const uint8_t* code, std::size_t capacity, uint32_t* lastOffset = nullptr);

// Inserts a whole instruction (len bytes) at an instruction boundary. The program's used
// length grows by len; false, nothing changed, when it would not fit in capacity or the
// offset is not a boundary. An offset past the used length keeps the NOP steps between.
bool InsertInstruction(uint8_t* code, std::size_t capacity, uint32_t& used, uint32_t offset,
                       const uint8_t* insn, uint32_t len);
// Replaces the whole instruction at offset by another one of any length; false, nothing
// changed, when the result would not fit or offset is no boundary.
bool OverwriteInstruction(uint8_t* code, std::size_t capacity, uint32_t& used, uint32_t offset,
                          const uint8_t* insn, uint32_t len);
// Deletes the whole instructions that start in [from, to); the rest moves up and the freed
// tail is erased to 0xFF. Returns the bytes removed (0 when from is no boundary).
uint32_t DeleteInstructions(uint8_t* code, std::size_t capacity, uint32_t& used, uint32_t from, uint32_t to);
// Fills the buffer with 0xFF.
void EraseCode(uint8_t* code, std::size_t capacity);

// A block of machine code held apart from the program image (the inner program of a chart
// element): its bytes and its used length.
struct TCodeBlock {
    const uint8_t* code = nullptr;
    std::size_t length = 0;
};
// True when no instruction of any block has this opcode word (a label word 0xB000 + n or
// 0xB800 + n, for the label checks); the blocks are only read.
bool CheckWordUniqueInList(uint16_t word, std::span<const TCodeBlock> blocks);
