#include "tools/check/Instoperands.h"

#include "core/InstructionTable.h"
#include "core/ProgramImage.h"

int ForEachInstructionOperand(const std::uint8_t* code, std::uint32_t capacity, std::uint32_t offset,
                              const std::function<void(const TDeviceRecord&)>& fn) {
    if (!code || offset + 2 > capacity) return -1;
    const std::uint16_t word = ReadCodeWord(code, capacity, offset);
    const int index = OpcodeToIndex(word);
    if (word == kErrorWord || index == kInstError) return index;
    std::uint32_t length = InstructionLengthAt(code, capacity, offset);
    if (offset + length > capacity) length = capacity - offset;
    TDeviceRecord rec;
    if (index <= inst::STL) {
        if (DecodeBasicAddress(word, rec)) fn(rec);
        return index;
    }
    std::uint32_t p = 2;
    if (index == inst::TMR || index == inst::CNT || index == inst::DCNT) {
        if (p + 2 <= length && DecodeOperandWord(code + offset + p, 2, rec)) fn(rec);
        p = 4;
    }
    const std::uint32_t size = (gInstFlags[index] & kInst32Bit) ? 8 : 4;
    for (; p + size <= length; p += size)
        if (DecodeOperandWord(code + offset + p, static_cast<int>(size), rec)) fn(rec);
    return index;
}
