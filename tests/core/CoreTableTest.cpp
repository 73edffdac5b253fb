// The lookups over the instruction table. The rows themselves (index, opcode and
// length of every row in every family) are pinned by CoreValueTest's record.
#include <gtest/gtest.h>

#include <string>

#include "core/InstructionTable.h"

namespace {

TEST(InstructionTable, OpcodeToIndex) {
    EXPECT_EQ(OpcodeToIndex(0x2123), inst::LD);
    EXPECT_EQ(OpcodeToIndex(0x7FFF), inst::ORI);
    EXPECT_EQ(OpcodeToIndex(0xA005), inst::STL);
    EXPECT_EQ(OpcodeToIndex(0xC500), inst::OUT);
    EXPECT_EQ(OpcodeToIndex(0xD00A), inst::SET);
    EXPECT_EQ(OpcodeToIndex(0xB000), inst::PLABEL);
    EXPECT_EQ(OpcodeToIndex(0xB0FF), inst::PLABEL);
    EXPECT_EQ(OpcodeToIndex(0xB800), inst::ILABEL);
    EXPECT_EQ(OpcodeToIndex(0xB800 + 899), inst::ILABEL);
    // Labels past the label tables are not labels.
    EXPECT_EQ(OpcodeToIndex(0xB100), kInstError);
    EXPECT_EQ(OpcodeToIndex(0xB800 + 900), kInstError);
    EXPECT_EQ(OpcodeToIndex(0xFFFF), inst::NOP);
    EXPECT_EQ(OpcodeToIndex(0x01D6), kInstError);  // the unused compare number
    EXPECT_EQ(OpcodeToIndex(0x0000), kInstError);
    EXPECT_EQ(OpcodeToIndex(0x8000), kInstError);
}

TEST(InstructionTable, FindMnemonic) {
    EXPECT_EQ(FindMnemonic("ld"), inst::LD);
    EXPECT_EQ(FindMnemonic("dMovP"), inst::DMOVP);
    EXPECT_EQ(FindMnemonic("dand>"), inst::DAND_GT);
    EXPECT_EQ(FindMnemonic("MOVX"), kInstNotFound);
    EXPECT_EQ(FindMnemonic(""), kInstNotFound);
    EXPECT_EQ(FindMnemonic("LONGMNEMONIC"), kInstNotFound);
    // The long forms share the short mnemonic; the lookup gives the short row.
    EXPECT_EQ(FindMnemonic("OUT"), inst::OUT);
}

TEST(InstructionTable, CompareRowsAndLongForms) {
    const char* order[] = {"=", "D=", ">", "D>", "<", "D<", "<>", "D<>", "<=", "D<=", ">=", "D>="};
    const char* groups[] = {"LD", "AND", "OR"};
    for (int g = 0; g < 3; ++g)
        for (int c = 0; c < 12; ++c) {
            const bool wide = order[c][0] == 'D';
            std::string m = wide ? "D" : "";
            m.append(groups[g]).append(order[c] + (wide ? 1 : 0));
            const int idx = CompareIndex(g, c);
            EXPECT_EQ(FindMnemonic(m), idx) << m;
            EXPECT_EQ(CompareCodeOfIndex(idx), c);
            EXPECT_EQ(CompareGroupOfIndex(idx), g);
        }
    for (int i = inst::LD; i <= inst::SET; ++i) EXPECT_STREQ(gInstMnemonic[LongFormOf(i)], gInstMnemonic[i]);
    EXPECT_EQ(LongFormOf(inst::STL), -1);
    EXPECT_EQ(LongFormOf(inst::LDP), -1);
}

TEST(InstructionTable, FamiliesAndForms) {
    EXPECT_TRUE(InstAvailable(inst::MOV, 0));
    EXPECT_FALSE(InstAvailable(inst::EADD, 0));
    EXPECT_TRUE(InstAvailable(inst::EADD, 1));
    EXPECT_FALSE(InstAvailable(inst::ERROR, 1));
    EXPECT_FALSE(InstAvailable(inst::MOV, 3));
    EXPECT_FALSE(InstAvailable(inst::MOV, -1));
    EXPECT_EQ(InstTokenCount(-1), 0);
    EXPECT_EQ(InstTokenCount(kInstCount), 0);
}

}  // namespace
