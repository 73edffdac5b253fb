// The instruction table: the rows and opcodes other subsystems rely on, and the
// lookups over it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/InstructionTable.h"

namespace {

int Row(const char* mnemonic) { return FindMnemonic(mnemonic); }

TEST(InstructionTable, FixedRowsKeepTheirIndexes) {
    const char* first39[] = {"LD",   "LDI",  "AND", "ANI",  "OR",   "ORI", "OUT",  "SET",  "STL", "P",
                             "I",    "ANB",  "ORB", "MPS",  "MRD",  "MPP", "INV",  "NOP",  "RET", "MC",
                             "MCR",  "END",  "RST", "TMR",  "CNT",  "DCNT", "CJ",  "CJP",  "CALL", "CALLP",
                             "IRET", "EI",   "DI",  "FEND", "SRET", "FOR", "NEXT", "WDT",  "WDTP"};
    for (int i = 0; i < 39; ++i) EXPECT_STREQ(gInstMnemonic[i], first39[i]) << "row " << i;
    EXPECT_STREQ(gInstMnemonic[39], "CMP");
    EXPECT_STREQ(gInstMnemonic[342], "TSUBP");
    EXPECT_STREQ(gInstMnemonic[387], "PLS");
    EXPECT_STREQ(gInstMnemonic[388], "PLF");
    const char* edges[] = {"LDP", "LDF", "ANDP", "ANDF", "ORP", "ORF"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_STREQ(gInstMnemonic[389 + i], edges[i]);
        EXPECT_EQ(gInstOpcode[389 + i], 0x0101 + i);
    }
    EXPECT_STREQ(gInstMnemonic[439], "FUN1");
    EXPECT_STREQ(gInstMnemonic[440], "DFUN1");
    EXPECT_STREQ(gInstMnemonic[441], "FUN2");
    EXPECT_STREQ(gInstMnemonic[442], "DFUN2");
    EXPECT_STREQ(gInstMnemonic[443], "ERROR");
}

TEST(InstructionTable, RowsThatRunAnotherRowsBodyFollowIt) {
    const char* pairs[][2] = {{"MODRW", "PWD"}, {"RTMU", "RTMD"}, {"ABSR", "DABSR"}, {"ZRN", "DZRN"},
                              {"PLSV", "DPLSV"}, {"DRVI", "DDRVI"}, {"DRVA", "DDRVA"}};
    for (auto& p : pairs) {
        EXPECT_EQ(Row(p[1]), Row(p[0]) + 1) << p[1];
        EXPECT_LT(Row(p[1]), kSimHandlerCount);
    }
    EXPECT_LT(Row("MODRW"), Row("TSUBP"));
}

TEST(InstructionTable, OpcodesFixedByTheInstructionSet) {
    struct { const char* m; uint16_t op; } fixed[] = {
        {"TMR", 0x0003}, {"CNT", 0x0005}, {"DCNT", 0x0006}, {"RST", 0x0007}, {"MC", 0x000A}, {"MCR", 0x000B},
        {"RET", 0x000E}, {"END", 0x000F}, {"SRET", 0x0014}, {"IRET", 0x0016}, {"EI", 0x0018}, {"DI", 0x001A},
        {"FEND", 0x001C}, {"WDT", 0x001E}, {"WDTP", 0x101E}, {"FOR", 0x0020}, {"NEXT", 0x0022},
        {"ASC", 0x00A8}, {"ANB", 0xFFF8}, {"ORB", 0xFFF9}, {"MPS", 0xFFFA}, {"MRD", 0xFFFB}, {"MPP", 0xFFFC},
        {"INV", 0xFFFD}, {"NOP", 0xFFFF}, {"CJ", 0x0010}, {"CALL", 0x0012}, {"MOV", 0x0028}, {"DMOVP", 0x1029},
        {"LD=", 0x01D0}, {"DLD>=", 0x01DD}, {"AND=", 0x01E0}, {"OR>=", 0x01FC}};
    for (auto& f : fixed) EXPECT_EQ(gInstOpcode[Row(f.m)], f.op) << f.m;
    EXPECT_EQ(gInstOpcode[inst::LONG_LD], 0x0202);
    EXPECT_EQ(gInstOpcode[inst::LONG_ORI], 0x0207);
    EXPECT_EQ(gInstOpcode[inst::LONG_OUT], 0x020C);
    EXPECT_EQ(gInstOpcode[inst::LONG_SET], 0x020D);
}

TEST(InstructionTable, EveryOpcodeIsUniqueAndLooksUpToItsRow) {
    std::set<uint16_t> seen;
    for (int i = inst::ANB; i < kInstCount; ++i) {
        if (i == inst::ERROR) continue;
        EXPECT_TRUE(seen.insert(gInstOpcode[i]).second) << gInstMnemonic[i];
        EXPECT_EQ(OpcodeToIndex(gInstOpcode[i]), i) << gInstMnemonic[i];
    }
}

TEST(InstructionTable, VariantsFollowTheNumberingScheme) {
    for (int i = inst::CJ; i <= inst::PLSA; ++i) {
        const std::string m = gInstMnemonic[i];
        const uint8_t f = gInstFlags[i];
        if (f & kInstPulse) {
            // The pulse form is the plain row's opcode + 0x1000 and its mnemonic + "P".
            const int plain = OpcodeToIndex(static_cast<uint16_t>(gInstOpcode[i] - 0x1000));
            ASSERT_NE(plain, kInstError) << m;
            EXPECT_EQ(m, std::string(gInstMnemonic[plain]) + "P");
            EXPECT_EQ(gInstFlags[plain] & kInst32Bit, f & kInst32Bit);
            EXPECT_EQ(gInstLength[plain], gInstLength[i]);
        }
        if (f & kInst32Bit) {
            EXPECT_EQ(gInstOpcode[i] & 1, 1) << m;
            const int narrow = OpcodeToIndex(static_cast<uint16_t>(gInstOpcode[i] - 1));
            ASSERT_NE(narrow, kInstError) << m;
            EXPECT_EQ(gInstFlags[narrow] & kInstTokenMask, f & kInstTokenMask) << m;
        } else {
            EXPECT_EQ(gInstOpcode[i] & 1, 0) << m;
        }
    }
    EXPECT_EQ(Row("DAND"), Row("WAND") + 1);
    EXPECT_EQ(Row("DORP"), Row("WOR") + 3);
}

TEST(InstructionTable, LengthsFollowTheOperandRecords) {
    EXPECT_EQ(gInstLength[inst::TMR], 8);
    EXPECT_EQ(gInstLength[inst::CNT], 8);
    EXPECT_EQ(gInstLength[inst::DCNT], 12);
    EXPECT_EQ(gInstLength[inst::RST], 6);
    for (int i = inst::LONG_LD; i <= inst::LONG_SET; ++i) EXPECT_EQ(gInstLength[i], 6);
    EXPECT_EQ(gInstLength[Row("MOV")], 2 + 2 * 4);
    EXPECT_EQ(gInstLength[Row("DMOV")], 2 + 2 * 8);
    EXPECT_EQ(gInstLength[Row("LD=")], 10);
    EXPECT_EQ(gInstLength[Row("DOR<>")], 18);
    EXPECT_EQ(gInstLength[inst::ASC], 2 + 5 * 4);  // four text records and the destination
}

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
            EXPECT_EQ(idx, kInstCompareFirst + 12 * g + c);
            EXPECT_EQ(CompareCodeOfIndex(idx), c);
            EXPECT_EQ(CompareGroupOfIndex(idx), g);
            EXPECT_EQ(gInstOpcode[idx] & 0xFFF0, 0x01D0 + 0x10 * g);
            EXPECT_EQ(InstIs32(idx), c % 2 == 1);
        }
    for (int i = inst::LD; i <= inst::SET; ++i) {
        EXPECT_EQ(LongFormOf(i), i + 431);
        EXPECT_STREQ(gInstMnemonic[i + 431], gInstMnemonic[i]);
    }
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
