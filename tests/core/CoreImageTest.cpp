// Walks and edits of program images, and the guarantee that any word and any image can
// be indexed, walked and disassembled without reading outside it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"

namespace {

// Assembles lines into a fresh image of the given capacity (erased to 0xFF).
std::vector<uint8_t> Program(std::initializer_list<const char*> lines, std::size_t capacity, uint32_t& used) {
    std::vector<uint8_t> image(capacity, 0xFF);
    used = 0;
    for (const char* line : lines) {
        EXPECT_TRUE(SetInputText(line));
        EXPECT_EQ(AssembleInstruction(), 1) << line;
        EXPECT_TRUE(InsertInstruction(image.data(), capacity, used, used, gInsnBuf.code, gInsnBuf.length)) << line;
    }
    return image;
}

std::vector<std::string> Listing(const std::vector<uint8_t>& image, uint32_t used) {
    std::vector<std::string> out;
    for (uint32_t at = 0; at < used; at = NextInstructionOffset(at, image.data(), used))
        out.push_back(DisassembleText(image.data(), used, at));
    return out;
}

TEST(ProgramImage, WalksForwardAndBack) {
    SetCurrentFamily(1);
    uint32_t used = 0;
    auto image = Program({"LD X0", "TMR T0 K10", "DMOV K100000 D0", "OUT Y0", "END"}, 64, used);
    // Offsets: 0, 2, 10, 28, 30; end 32.
    EXPECT_EQ(used, 32u);
    EXPECT_EQ(NextInstructionOffset(2, image.data(), 64), 10u);
    EXPECT_EQ(PrevInstructionOffset(28, image.data(), 64), 10u);
    EXPECT_EQ(PrevInstructionOffset(10, image.data(), 64), 2u);
    EXPECT_EQ(PrevInstructionOffset(0, image.data(), 64), 0u);
    // An operand word of the 32-bit record looks like an opcode; the walk is not fooled.
    EXPECT_EQ(PrevInstructionOffset(20, image.data(), 64), 2u);
    EXPECT_EQ(InstructionStartOf(20, image.data(), 64), 10u);
    EXPECT_EQ(OffsetToLine(28, image.data(), 64), 3);
    EXPECT_EQ(OffsetToLine(13, image.data(), 64), 2);
    EXPECT_EQ(LineToOffset(4, image.data(), 64), 30u);
    EXPECT_EQ(CountInstructions(image.data(), used), 5);
    uint32_t last = 99;
    EXPECT_EQ(LocateCodeEnd(image.data(), 64, &last), 32u);
    EXPECT_EQ(last, 30u);
    std::vector<uint8_t> empty(64, 0xFF);
    EXPECT_EQ(LocateCodeEnd(empty.data(), 64, &last), 0u);
    EXPECT_EQ(last, 0u);
    SetCurrentFamily(0);
}

TEST(ProgramImage, InsertOverwriteDeleteMoveWholeInstructions) {
    SetCurrentFamily(1);
    uint32_t used = 0;
    auto image = Program({"LD X0", "OUT Y0", "END"}, 24, used);
    ASSERT_TRUE(SetInputText("MOV K5 D0"));
    ASSERT_EQ(AssembleInstruction(), 1);
    ASSERT_TRUE(InsertInstruction(image.data(), 24, used, 2, gInsnBuf.code, gInsnBuf.length));
    EXPECT_EQ(Listing(image, used), (std::vector<std::string>{"LD X0", "MOV K5 D0", "OUT Y0", "END"}));
    // Inside an instruction is no place to insert.
    EXPECT_FALSE(InsertInstruction(image.data(), 24, used, 4, gInsnBuf.code, gInsnBuf.length));
    // Full: 16 bytes used, 10 more do not fit in 24; nothing changes.
    const auto before = image;
    EXPECT_FALSE(InsertInstruction(image.data(), 24, used, 0, gInsnBuf.code, gInsnBuf.length));
    EXPECT_EQ(image, before);
    EXPECT_EQ(used, 16u);

    ASSERT_TRUE(SetInputText("SET M7"));
    ASSERT_EQ(AssembleInstruction(), 1);
    ASSERT_TRUE(OverwriteInstruction(image.data(), 24, used, 2, gInsnBuf.code, gInsnBuf.length));
    EXPECT_EQ(Listing(image, used), (std::vector<std::string>{"LD X0", "SET M7", "OUT Y0", "END"}));
    EXPECT_EQ(used, 8u);
    EXPECT_EQ(image[8], 0xFF);  // the freed tail is erased

    EXPECT_EQ(DeleteInstructions(image.data(), 24, used, 2, 3), 2u);  // to inside OUT: SET only
    EXPECT_EQ(Listing(image, used), (std::vector<std::string>{"LD X0", "OUT Y0", "END"}));
    EXPECT_EQ(DeleteInstructions(image.data(), 24, used, 0, 100), 6u);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(LocateCodeEnd(image.data(), 24), 0u);

    // Insert past the used length keeps the NOP steps before it.
    ASSERT_TRUE(SetInputText("END"));
    ASSERT_EQ(AssembleInstruction(), 1);
    ASSERT_TRUE(InsertInstruction(image.data(), 24, used, 4, gInsnBuf.code, gInsnBuf.length));
    EXPECT_EQ(used, 6u);
    EXPECT_EQ(Listing(image, used), (std::vector<std::string>{"NOP", "NOP", "END"}));
    SetCurrentFamily(0);
}

TEST(ProgramImage, LabelsAlreadyUsedByInnerPrograms) {
    uint32_t usedA = 0, usedB = 0;
    const auto a = Program({"P3", "LD X0", "CJ P4", "END"}, 32, usedA);
    const auto b = Program({"I100", "IRET"}, 32, usedB);
    const TCodeBlock blocks[] = {{a.data(), usedA}, {nullptr, 0}, {b.data(), usedB}};
    EXPECT_FALSE(CheckLabelUniqueInList("P3", blocks));
    EXPECT_TRUE(CheckLabelUniqueInList("P4", blocks));  // only jumped to, not a label
    EXPECT_FALSE(CheckLabelUniqueInList("I100", blocks));
    EXPECT_TRUE(CheckLabelUniqueInList("I101", blocks));
    EXPECT_FALSE(CheckLabelUniqueInList("X3", blocks));
    EXPECT_FALSE(CheckLabelUniqueInList("P256", blocks));
    EXPECT_TRUE(CheckLabelUniqueInList("P3", {}));
    EXPECT_FALSE(CheckWordUniqueInList(gInstOpcode[inst::IRET], blocks));
}

TEST(ProgramImage, EveryWordDisassemblesInsideItsImage) {
    // Each word alone in an image that ends right after it: the disassembler and the
    // walks may not read an operand that is not there (the sanitizers would catch it).
    for (uint32_t w = 0; w <= 0xFFFF; ++w) {
        auto image = std::make_unique<uint8_t[]>(2);
        image[0] = static_cast<uint8_t>(w);
        image[1] = static_cast<uint8_t>(w >> 8);
        const int idx = OpcodeToIndex(static_cast<uint16_t>(w));
        ASSERT_TRUE(idx >= 0 && idx <= kInstError) << w;
        const std::string text = DisassembleText(image.get(), 2, 0);
        ASSERT_FALSE(text.empty()) << w;
        ASSERT_EQ(NextInstructionOffset(0, image.get(), 2), 2u);
        ASSERT_EQ(CodeOperandToText(image.get(), 2, 1).size() < 32, true);
        ASSERT_TRUE(DisassembleForView(image.get(), 2, 0));
        ASSERT_LT(std::strlen(gInstText), static_cast<size_t>(kInstTextSize));
    }
}

TEST(ProgramImage, RandomImagesAreWalkedAndDisassembledSafely) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 200; ++round) {
        const std::size_t capacity = 2 * (1 + rng() % 300);
        auto image = std::make_unique<uint8_t[]>(capacity);  // exact size: overreads are caught
        const int style = round % 3;
        for (std::size_t i = 0; i < capacity; i += 2) {
            uint16_t w = static_cast<uint16_t>(rng());
            if (style == 1) w = gInstOpcode[rng() % kInstCount];  // table opcodes, random operands
            if (style == 2 && rng() % 4 == 0) w = 0xFFFF;
            image[i] = static_cast<uint8_t>(w);
            image[i + 1] = static_cast<uint8_t>(w >> 8);
        }
        int lines = 0;
        uint32_t at = 0;
        while (at < capacity) {
            ASSERT_EQ(OffsetToLine(at, image.get(), capacity), lines);
            ASSERT_EQ(LineToOffset(lines, image.get(), capacity), at);
            (void)DisassembleText(image.get(), capacity, at);
            const uint32_t next = NextInstructionOffset(at, image.get(), capacity);
            ASSERT_GT(next, at);
            ASSERT_LE(next, capacity);
            if (next < capacity) {
                ASSERT_EQ(PrevInstructionOffset(next, image.get(), capacity), at);
            }
            at = next;
            ++lines;
        }
        for (uint32_t pos = 0; pos < capacity; ++pos) {
            (void)CodeOperandToText(image.get(), capacity, pos);
            ASSERT_LE(InstructionStartOf(pos, image.get(), capacity), pos);
        }
        uint32_t last = 0;
        const uint32_t end = LocateCodeEnd(image.get(), capacity, &last);
        ASSERT_LE(end, capacity);
        ASSERT_LE(CountInstructions(image.get(), end), lines);
        // Rewriting an operand never writes outside the image.
        uint32_t used = end;
        for (int k = 0; k < 20; ++k) {
            const uint32_t pos = static_cast<uint32_t>(rng() % capacity);
            (void)WriteOperandDevice("D10", image.get(), capacity, pos);
            (void)WriteOperandDevice("M2", image.get(), capacity, pos);
        }
        const uint32_t from = InstructionStartOf(static_cast<uint32_t>(rng() % capacity), image.get(), capacity);
        used = LocateCodeEnd(image.get(), capacity);
        if (from < used) {
            const uint32_t removed = DeleteInstructions(image.get(), capacity, used, from, from + 1);
            ASSERT_GT(removed, 0u);
        }
    }
}

}  // namespace
