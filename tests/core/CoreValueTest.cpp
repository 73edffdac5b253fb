// Instructions as values: every row of each family assembled with the family as an
// argument (whatever the current family is), validated and disassembled back; the
// adapters over the shared buffers give the same words and texts over a whole program as
// the buffer-based assembler gave before the value interface existed; refusals say why.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/Instruction.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"
#include "tests/core/RowLines.h"

namespace {

uint64_t Fnv(uint64_t h, const void* data, std::size_t n) {
    const auto* b = static_cast<const uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i) {
        h ^= b[i];
        h *= 0x100000001b3ULL;
    }
    return h;
}
constexpr uint64_t kFnvStart = 0xcbf29ce484222325ULL;

// Recorded from the buffer-based assembler and disassembler (SetInputText,
// AssembleInstruction, DisassembleForView) before they became adapters: per family, the
// lines of RowLines for rows 0..442 in order, the bytes of the whole program, a digest of
// every line's bytes and row, and a digest of every text DisassembleForView gives walking
// that program instruction by instruction.
struct Recorded {
    int family;
    int lines;
    std::size_t bytes;
    uint64_t codeDigest;
    uint64_t textDigest;
};
constexpr Recorded kBefore[] = {
    // The lines of operands that reach past the device they name (a compare's result
    // bits, a product, a time ...) name a device with room after it where they named
    // the family's last one: recorded again with that change, from the assembler as it
    // was before such operands were judged by all they reach (the words are the same).
    {0, 4533, 70954, 0xb90d4426158e117eULL, 0x30899d2882f0087eULL},
    {1, 7262, 117140, 0x72f2ed4c40519af3ULL, 0x64b60dcd82b17c33ULL},
    // Family 2's 32-bit lines name D4998 where they named D4999, which has no pair
    // there.
    {2, 7216, 116544, 0x1d273e843ab3d43aULL, 0x76f7034666359876ULL},
};

class ValueInterface : public ::testing::Test {
protected:
    void TearDown() override { SetCurrentFamily(0); }
};

TEST_F(ValueInterface, EveryRowOfEachFamilyAndTheAdaptersOverAWholeProgram) {
    std::vector<bool> covered(kInstCount, false);
    for (const Recorded& before : kBefore) {
        const int family = before.family;
        std::vector<uint8_t> program;
        uint64_t codeDigest = kFnvStart;
        int lines = 0;
        for (int idx = 0; idx < kInstError; ++idx) {
            for (const std::string& line : RowLines(idx, family)) {
                // The value interface ignores the current family ...
                ASSERT_TRUE(SetCurrentFamily((family + 1) % kFamilyCount));
                const TAssembly a = AssembleLine(line, family);
                ASSERT_TRUE(a) << line << " in family " << family << ": refusal " << int(a.refusal);
                const TInstruction& insn = *a.instruction;
                EXPECT_EQ(a.refusal, TAsmRefusal::None);
                EXPECT_TRUE(insn.index == idx || insn.index == LongFormOf(idx)) << line;
                EXPECT_EQ(insn.bytes.size(), gInstLength[insn.index]) << line;
                EXPECT_TRUE(ValidateCode(insn.bytes, family)) << line;
                const auto d = DisassembleAt(insn.bytes, 0);
                ASSERT_TRUE(d) << line;
                EXPECT_EQ(d->index, insn.index) << line;
                EXPECT_EQ(d->length, insn.bytes.size()) << line;
                const TAssembly again = AssembleLine(d->text, family);
                ASSERT_TRUE(again) << line << " -> " << d->text;
                EXPECT_EQ(again.instruction->bytes, insn.bytes) << line << " -> " << d->text;

                // ... and the adapter with the family made current gives the same words.
                ASSERT_TRUE(SetCurrentFamily(family));
                ASSERT_TRUE(SetInputText(line));
                ASSERT_EQ(AssembleInstruction(), 1) << line;
                ASSERT_EQ(std::vector<uint8_t>(gInsnBuf.code, gInsnBuf.code + gInsnBuf.length), insn.bytes) << line;
                EXPECT_EQ(gInstIndex, insn.index) << line;
                EXPECT_EQ(gInsnBuf.flag32 != 0, insn.Is32()) << line;
                EXPECT_EQ(ValidateInstruction(), 1) << line;

                codeDigest = Fnv(codeDigest, gInsnBuf.code, gInsnBuf.length);
                codeDigest = Fnv(codeDigest, &gInstIndex, sizeof gInstIndex);
                program.insert(program.end(), insn.bytes.begin(), insn.bytes.end());
                covered[insn.index] = covered[idx] = true;
                ++lines;
            }
        }
        EXPECT_EQ(lines, before.lines) << "family " << family;
        EXPECT_EQ(program.size(), before.bytes) << "family " << family;
        EXPECT_EQ(codeDigest, before.codeDigest) << "family " << family << ": the words differ from before";

        // The whole program read back: DisassembleAt and DisassembleForView agree line by
        // line, and the texts are the ones shown before.
        uint64_t textDigest = kFnvStart;
        int walked = 0;
        for (uint32_t at = 0; at < program.size();) {
            const auto d = DisassembleAt(program, at);
            ASSERT_TRUE(d);
            ASSERT_TRUE(DisassembleForView(program.data(), program.size(), at));
            ASSERT_EQ(d->text, gInstText) << "offset " << at;
            ASSERT_EQ(d->length, InstructionLengthAt(program.data(), program.size(), at));
            textDigest = Fnv(textDigest, gInstText, std::strlen(gInstText) + 1);
            at += d->length;
            ++walked;
        }
        EXPECT_EQ(walked, lines);
        EXPECT_EQ(textDigest, before.textDigest) << "family " << family << ": the texts differ from before";
    }
    for (int i = 0; i < kInstError; ++i) EXPECT_TRUE(covered[i]) << "row " << i << " " << gInstMnemonic[i];
}

// A row some family lacks, typed in that family.
std::string LineOfARowMissingIn(int family, int& idx) {
    for (idx = 0; idx < kInstError; ++idx)
        for (int other = 0; other < kFamilyCount; ++other)
            if (!InstAvailable(idx, family) && InstAvailable(idx, other) && !RowLines(idx, other).empty())
                return RowLines(idx, other)[0];
    return {};
}

TEST_F(ValueInterface, RefusedLinesSayWhyAndTheAdapterLeavesAnEmptyInstruction) {
    int missingIdx = -1;
    const std::string missing = LineOfARowMissingIn(0, missingIdx);
    ASSERT_FALSE(missing.empty());
    struct Case {
        std::string line;
        int family;
        TAsmRefusal why;
        int operand;
    } cases[] = {
        {"", 1, TAsmRefusal::EmptyLine, 0},
        {"  \t ", 1, TAsmRefusal::EmptyLine, 0},
        {"\r\nLD X0", 1, TAsmRefusal::EmptyLine, 0},
        {"LD " + std::string(77, '0'), 1, TAsmRefusal::LineTooLong, 0},
        {"LD X00000000000000000", 1, TAsmRefusal::TokenTooLong, 0},
        {"LDX X0", 1, TAsmRefusal::UnknownMnemonic, 0},
        {"P256", 1, TAsmRefusal::UnknownMnemonic, 0},
        {"ERROR", 1, TAsmRefusal::NotInFamily, 0},
        {missing, 0, TAsmRefusal::NotInFamily, 0},
        {"MOV K5", 1, TAsmRefusal::OperandCount, 0},
        {"END X0", 1, TAsmRefusal::OperandCount, 0},
        {"MOV K5 X0", 1, TAsmRefusal::BadOperand, 2},
        {"MOV D0 K5", 1, TAsmRefusal::BadOperand, 2},
        {"OUT X0", 1, TAsmRefusal::BadOperand, 1},
        {"LD X400", 1, TAsmRefusal::BadOperand, 1},
        {"TMR C0 K10", 1, TAsmRefusal::BadOperand, 1},
        {"ADD D0 D1 Q5", 1, TAsmRefusal::BadOperand, 3},
        {"ASC ABCDEFGHI D0", 1, TAsmRefusal::BadOperand, 1},
        {"I899", 0, TAsmRefusal::BadLabel, 1},
        {"P X", 1, TAsmRefusal::BadLabel, 1},
        // A 32-bit operand on a register whose next one the family lacks, in
        // lower case, with an index suffix, in a compare contact, as a result.
        {"dmov d1311 d200", 0, TAsmRefusal::NoPair, 1},
        {"DMOV D1311E D200", 0, TAsmRefusal::NoPair, 1},
        {"DLD= D1311 K0", 0, TAsmRefusal::NoPair, 1},
        {"DADD D0 D1 D4095", 1, TAsmRefusal::NoPair, 3},
        {"DMOV D1312 D200", 0, TAsmRefusal::BadOperand, 1},
        // An operand of the family that reaches a device it lacks: a digit group's
        // last bits, a product, a remainder, result bits, a time, the clock words.
        {"MOV K4M1270 D0", 0, TAsmRefusal::NoPair, 1},
        {"MOV K4S120 D0", 0, TAsmRefusal::NoPair, 1},
        {"MUL D0 D2 D1311", 0, TAsmRefusal::NoPair, 3},
        {"MULP D0 D2 T127", 0, TAsmRefusal::NoPair, 3},
        {"DMUL D0 D2 D9997", 1, TAsmRefusal::NoPair, 3},
        {"DIV D0 D2 D1311", 0, TAsmRefusal::NoPair, 3},
        {"DIV D0 D2 C199", 0, TAsmRefusal::NoPair, 3},
        {"DDIV D0 D2 C255", 1, TAsmRefusal::NoPair, 3},
        {"CMP D0 D1 M1279", 0, TAsmRefusal::NoPair, 3},
        {"CMP D0 D1 Y176", 0, TAsmRefusal::NoPair, 3},
        {"ZCPP D0 D1 D2 S126", 0, TAsmRefusal::NoPair, 4},
        {"TRD D4994", 2, TAsmRefusal::NoPair, 1},
        {"TADD D4998 D0 D10", 2, TAsmRefusal::NoPair, 1},
        {"SER D0 K1 D1308 K5", 0, TAsmRefusal::NoPair, 3},
        // PRUN's digit groups of M skip the 8 and 9 of each ten, as X and Y do in
        // octal: K4M1264 holds M1264-M1271 and M1274-M1281.
        {"PRUN K4X0 K4M1264", 0, TAsmRefusal::NoPair, 2},
        {"PRUN K4M1264 K4Y0", 0, TAsmRefusal::NoPair, 1},
        {"DPRUN K8X0 K8M1248", 0, TAsmRefusal::NoPair, 2},
        {"MOV K4M1280 D0", 0, TAsmRefusal::BadOperand, 1},
    };
    for (const Case& c : cases) {
        const TAssembly a = AssembleLine(c.line, c.family);
        EXPECT_FALSE(a) << c.line;
        EXPECT_FALSE(a.instruction.has_value()) << c.line;
        EXPECT_EQ(a.refusal, c.why) << "\"" << c.line << "\" in family " << c.family;
        EXPECT_EQ(a.operand, c.operand) << c.line;

        // The adapter refuses the same lines and leaves no instruction in the buffer.
        ASSERT_TRUE(SetCurrentFamily(c.family));
        if (!SetInputText(c.line)) continue;  // over-long: the buffer takes no such line
        gInsnBuf.length = 6;
        EXPECT_EQ(AssembleInstruction(), 0) << c.line;
        EXPECT_EQ(gInsnBuf.length, 0u) << c.line;
    }
    // The row the mnemonic names is known even when its operands are refused.
    ASSERT_TRUE(SetCurrentFamily(1));
    EXPECT_EQ(AssembleLine("MOV K5 X0", 1).mnemonicIndex, inst::MOV);
    ASSERT_TRUE(SetInputText("MOV K5 X0"));
    EXPECT_EQ(AssembleInstruction(), 0);
    EXPECT_EQ(gInstIndex, inst::MOV);
    EXPECT_EQ(AssembleLine("FOO", 1).mnemonicIndex, kInstNotFound);
    EXPECT_EQ(AssembleLine("", 1).mnemonicIndex, -1);
    EXPECT_EQ(AssembleLine("LD X0", 3).refusal, TAsmRefusal::NotInFamily);
    EXPECT_EQ(AssembleLine("LD X0", -1).refusal, TAsmRefusal::NotInFamily);
    EXPECT_EQ(AssembleLine("dmov d1311 d200", 0).operandText, "D1311");
    // Beside them, what pairs stays: constants, the index registers, an indexed
    // register whose next one the family has, the 32-bit counters, D4096 on.
    for (const auto& [line, family] : {std::pair{"DMOV K100000 D1310", 0}, {"DMOV D1310E D200", 0},
                                       {"DMOV K1 E1", 0}, {"DMOV C255 D0", 0}, {"DMOV C198 D0", 0},
                                       {"DCNT C200 D1310", 0}, {"DMOV D4096 D4094", 1}, {"DMOV T254 D4998", 2}})
        EXPECT_TRUE(AssembleLine(line, family)) << line << " in family " << family;
    EXPECT_EQ(AssembleLine("MOV K4M1270 D0", 0).operandText, "K4M1270");
    // What reaches no further than the family's last device stays: up to the last M,
    // S, D or C, across D4095 where the pair of each element is the family's, and a
    // block whose length is a count (BMOV) by its first register alone.
    for (const auto& [line, family] : {std::pair{"MOV K4M1264 D0", 0}, {"MUL D0 D2 D1310", 0},
                                       {"DIV D0 D2 D1310", 0}, {"DIV D0 D2 D4095", 1}, {"DMUL D0 D2 D4094", 1},
                                       {"DDIV D0 D2 C254", 1}, {"CMP D0 D1 M1277", 0}, {"ZCP K0 K1 D0 Y175", 0},
                                       {"TRD D4993", 2}, {"SER D0 K1 D1307 K5", 0}, {"BMOV D0 D1311 K10", 0},
                                       {"MUL D0 D2 K4M1264", 0}, {"CMP D0 D1 M1279E", 1},
                                       {"PRUN K4X0 K4M1260", 0}, {"DPRUN K8M1240 K8Y0", 0},
                                       {"PRUN K4X160 K4Y160", 0}})
        EXPECT_TRUE(AssembleLine(line, family)) << line << " in family " << family;
}

TEST_F(ValueInterface, ValidationAndDisassemblyOfDamagedCode) {
    const TAssembly mov = AssembleLine("MOV K5 D0", 1);
    ASSERT_TRUE(mov);
    std::vector<uint8_t> code = mov.instruction->bytes;
    EXPECT_TRUE(ValidateCode(code, 0));
    EXPECT_FALSE(ValidateCode(std::span<const uint8_t>(code.data(), code.size() - 2), 1));  // cut short
    code.push_back(0xFF);
    code.push_back(0xFF);
    EXPECT_FALSE(ValidateCode(code, 1));  // one word too many
    code.resize(mov.instruction->bytes.size());
    code[7] = kClassText;  // D0's record turned into two characters of text: no destination
    EXPECT_FALSE(ValidateCode(code, 1));
    const uint8_t errorWord[] = {0x00, 0xC4};
    EXPECT_FALSE(ValidateCode(errorWord, 1));
    EXPECT_FALSE(ValidateCode({}, 1));
    int missingIdx = -1;
    const std::string missing = LineOfARowMissingIn(0, missingIdx);
    for (int family = 1; family < kFamilyCount; ++family) {
        const TAssembly a = AssembleLine(missing, family);
        if (!a) continue;
        EXPECT_TRUE(ValidateCode(a.instruction->bytes, family));
        EXPECT_FALSE(ValidateCode(a.instruction->bytes, 0)) << missing;
    }

    // Disassembly reads nothing past the end: a cut instruction shows "?" and its length
    // is what remains; the error word is the ERROR row.
    const std::vector<uint8_t>& full = mov.instruction->bytes;
    const auto cut = DisassembleAt(std::span<const uint8_t>(full.data(), 6), 0);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->text, "MOV K5 ?");
    EXPECT_EQ(cut->length, 6u);
    EXPECT_FALSE(DisassembleAt(full, static_cast<uint32_t>(full.size())));
    const auto err = DisassembleAt(errorWord, 0);
    ASSERT_TRUE(err);
    EXPECT_EQ(err->text, "ERROR");
    EXPECT_EQ(err->index, inst::ERROR);
    EXPECT_FALSE(DisassembleForView(full.data(), full.size(), 99));
    EXPECT_STREQ(gInstText, "");
}

}  // namespace
