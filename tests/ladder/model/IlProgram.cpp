#include "IlProgram.h"

#include <gtest/gtest.h>

#include "core/Codetranslate.h"
#include "core/ProgramImage.h"

namespace qel::test {

std::vector<std::uint8_t> AssembleLines(const std::vector<std::string>& lines) {
    std::vector<std::uint8_t> code;
    for (const std::string& line : lines) {
        if (!SetInputText(line) || AssembleInstruction() != 1) {
            ADD_FAILURE() << "the assembler refuses \"" << line << "\"";
            continue;
        }
        code.insert(code.end(), gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
    }
    return code;
}

void AppendWords(std::vector<std::uint8_t>& code, std::initializer_list<std::uint16_t> words) {
    for (std::uint16_t w : words) {
        code.push_back(static_cast<std::uint8_t>(w & 0xFF));
        code.push_back(static_cast<std::uint8_t>(w >> 8));
    }
}

std::string ListingOf(const std::vector<std::uint8_t>& code) {
    std::string out;
    std::uint32_t off = 0;
    while (off < code.size()) {
        out += std::to_string(off / 2) + "  " + DisassembleText(code.data(), code.size(), off) + "\n";
        const std::uint32_t next = NextInstructionOffset(off, code.data(), code.size());
        if (next <= off) break;
        off = next;
    }
    return out;
}

}  // namespace qel::test
