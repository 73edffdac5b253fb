#include "core/ProgramImage.h"

#include <cstring>

#include "core/InstructionTable.h"

uint16_t ReadCodeWord(const uint8_t* code, std::size_t capacity, uint32_t offset) {
    if (!code || static_cast<std::size_t>(offset) + 2 > capacity) return kNopWord;
    return static_cast<uint16_t>(code[offset] | (code[offset + 1] << 8));
}

void WriteCodeWord(uint8_t* code, std::size_t capacity, uint32_t offset, uint16_t value) {
    if (!code || static_cast<std::size_t>(offset) + 2 > capacity) return;
    code[offset] = static_cast<uint8_t>(value);
    code[offset + 1] = static_cast<uint8_t>(value >> 8);
}

uint32_t InstructionLengthAt(const uint8_t* code, std::size_t capacity, uint32_t offset) {
    if (!code || offset >= capacity) return 0;
    const uint32_t room = static_cast<uint32_t>(capacity - offset);
    if (room < 2) return room;
    const uint32_t len = gInstLength[OpcodeToIndex(ReadCodeWord(code, capacity, offset))];
    return len < room ? len : room;
}

uint32_t NextInstructionOffset(uint32_t offset, const uint8_t* code, std::size_t capacity) {
    if (offset >= capacity) return static_cast<uint32_t>(capacity);
    return offset + InstructionLengthAt(code, capacity, offset);
}

uint32_t InstructionStartOf(uint32_t offset, const uint8_t* code, std::size_t capacity) {
    uint32_t at = 0;
    while (at < capacity) {
        const uint32_t next = at + InstructionLengthAt(code, capacity, at);
        if (offset < next) return at;
        at = next;
    }
    return at;
}

uint32_t PrevInstructionOffset(uint32_t offset, const uint8_t* code, std::size_t capacity) {
    uint32_t prev = 0, at = 0;
    while (at < capacity && at < offset) {
        const uint32_t next = at + InstructionLengthAt(code, capacity, at);
        if (next > offset) break;  // offset lies inside this instruction: its predecessor is prev
        prev = at;
        at = next;
    }
    return prev;
}

int OffsetToLine(uint32_t offset, const uint8_t* code, std::size_t capacity) {
    int line = 0;
    uint32_t at = 0;
    while (at < capacity) {
        const uint32_t next = at + InstructionLengthAt(code, capacity, at);
        if (offset < next) break;
        at = next;
        ++line;
    }
    return line;
}

uint32_t LineToOffset(int line, const uint8_t* code, std::size_t capacity) {
    uint32_t at = 0;
    for (int i = 0; i < line && at < capacity; ++i) at += InstructionLengthAt(code, capacity, at);
    return at < capacity ? at : static_cast<uint32_t>(capacity);
}

int CountInstructions(const uint8_t* code, std::size_t used) {
    int count = 0;
    uint32_t at = 0;
    while (at < used) {
        const uint16_t w = ReadCodeWord(code, used, at);
        const uint32_t len = InstructionLengthAt(code, used, at);
        ++count;
        if (w == gInstOpcode[inst::END]) break;
        at += len;
    }
    return count;
}

uint32_t LocateCodeEnd(const uint8_t* code, std::size_t capacity, uint32_t* lastOffset) {
    uint32_t at = 0, end = 0, last = 0;
    while (at < capacity) {
        const uint32_t len = InstructionLengthAt(code, capacity, at);
        if (ReadCodeWord(code, capacity, at) != kNopWord) {
            last = at;
            end = at + len;
        }
        at += len;
    }
    if (lastOffset) *lastOffset = last;
    return end;
}

namespace {

bool IsBoundary(const uint8_t* code, std::size_t capacity, uint32_t offset) {
    return offset <= capacity && (offset == capacity || InstructionStartOf(offset, code, capacity) == offset);
}

}  // namespace

bool InsertInstruction(uint8_t* code, std::size_t capacity, uint32_t& used, uint32_t offset,
                       const uint8_t* insn, uint32_t len) {
    if (!code || !insn || len == 0 || used > capacity || offset > capacity) return false;
    const uint32_t base = offset > used ? offset : used;  // NOP steps up to offset stay
    if (static_cast<std::size_t>(base) + len > capacity) return false;
    if (offset < used && !IsBoundary(code, used, offset)) return false;
    if (offset < used) std::memmove(code + offset + len, code + offset, used - offset);
    std::memcpy(code + offset, insn, len);
    used = base + len;
    return true;
}

bool OverwriteInstruction(uint8_t* code, std::size_t capacity, uint32_t& used, uint32_t offset,
                          const uint8_t* insn, uint32_t len) {
    if (!code || !insn || len == 0 || used > capacity || offset > capacity) return false;
    if (offset >= used) return InsertInstruction(code, capacity, used, offset, insn, len);
    if (!IsBoundary(code, used, offset)) return false;
    const uint32_t oldLen = InstructionLengthAt(code, used, offset);
    const uint32_t newUsed = used - oldLen + len;
    if (newUsed > capacity) return false;
    std::memmove(code + offset + len, code + offset + oldLen, used - offset - oldLen);
    std::memcpy(code + offset, insn, len);
    if (newUsed < used) std::memset(code + newUsed, 0xFF, used - newUsed);
    used = newUsed;
    return true;
}

uint32_t DeleteInstructions(uint8_t* code, std::size_t capacity, uint32_t& used, uint32_t from, uint32_t to) {
    if (!code || used > capacity || from >= used || to <= from) return 0;
    if (!IsBoundary(code, used, from)) return 0;
    if (to > used) to = used;
    // Extend to the end of the instruction that holds to - 1, so only whole ones go.
    const uint32_t lastStart = InstructionStartOf(to - 1, code, used);
    const uint32_t end = lastStart + InstructionLengthAt(code, used, lastStart);
    const uint32_t removed = end - from;
    std::memmove(code + from, code + end, used - end);
    std::memset(code + used - removed, 0xFF, removed);
    used -= removed;
    return removed;
}

void EraseCode(uint8_t* code, std::size_t capacity) {
    if (code) std::memset(code, 0xFF, capacity);
}

bool CheckWordUniqueInList(uint16_t word, std::span<const TCodeBlock> blocks) {
    for (const TCodeBlock& b : blocks) {
        if (!b.code) continue;
        for (uint32_t at = 0; at < b.length; at = NextInstructionOffset(at, b.code, b.length))
            if (ReadCodeWord(b.code, b.length, at) == word) return false;
    }
    return true;
}
