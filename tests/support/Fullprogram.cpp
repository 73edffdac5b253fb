#include "tests/support/Fullprogram.h"

#include <string>

#include "core/Codetranslate.h"

namespace qel::test {

namespace {

std::vector<std::uint8_t> Assemble(const std::vector<std::string>& lines) {
    std::vector<std::uint8_t> code;
    for (const std::string& line : lines) {
        if (!SetInputText(line) || AssembleInstruction() != 1) return {};
        code.insert(code.end(), gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
    }
    return code;
}

}  // namespace

std::vector<std::uint8_t> MixedFullProgram(std::uint32_t capacity) {
    const std::vector<std::vector<std::string>> rungs = {
        {"LD X0", "AND X1", "OR X2", "ANI M5", "OUT Y0"},
        {"LD X3", "LD X4", "OR X5", "ANB", "MOV K100 D10"},
        {"LD M1", "MPS", "AND M2", "OUT Y1", "MPP", "TMR T3 K50"},
        {"LD= D0 K5", "AND X6", "DMOV K100000 D20"},
        {"LDP X7", "SET M100"},
    };
    std::vector<std::uint8_t> image;
    const std::vector<std::uint8_t> end = Assemble({"END"});
    for (std::size_t k = 0;; ++k) {
        const std::vector<std::uint8_t> rung = Assemble(rungs[k % rungs.size()]);
        if (rung.empty() || image.size() + rung.size() + end.size() > capacity) break;
        image.insert(image.end(), rung.begin(), rung.end());
    }
    image.insert(image.end(), end.begin(), end.end());
    image.resize(capacity, 0xFF);
    return image;
}

}  // namespace qel::test
