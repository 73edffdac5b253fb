// Operand limits at each family's boundaries, and typed input the assembler refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"

namespace {

class Family : public ::testing::Test {
protected:
    void TearDown() override {
        SetCurrentFamily(0);
        ResetDeviceLimits();
    }
    static bool Line(const char* text) { return SetInputText(text) && AssembleInstruction() == 1; }
};

TEST_F(Family, DeviceLimitsAtTheBoundaries) {
    struct Case { int family; bool (*check)(std::string_view); const char* last; const char* first_out; };
    const Case cases[] = {
        {0, CheckXOperand, "X177", "X200"}, {1, CheckXOperand, "X377", "X400"}, {2, CheckXOperand, "X177", "X200"},
        {0, CheckYOperand, "Y177", "Y200"}, {1, CheckYOperand, "Y377", "Y400"},
        {0, CheckMOperand, "M1279", "M1280"}, {1, CheckMOperand, "M4095", "M4096"},
        {0, CheckSOperand, "S127", "S128"}, {2, CheckSOperand, "S1023", "S1024"},
        {0, CheckTOperand, "T127", "T128"}, {1, CheckTOperand, "T255", "T256"},
        {0, CheckCOperand, "C255", "C256"},
        {0, CheckDOperand, "D1311", "D1312"}, {1, CheckDOperand, "D9999", "D10000"}, {2, CheckDOperand, "D4999", "D5000"},
        {0, CheckPOperand, "P255", "P256"},
        {0, CheckIOperand, "I499", "I500"}, {1, CheckIOperand, "I899", "I900"},
        {0, CheckKnXOperand, "K4X160", "K4X170"}, {0, CheckKnMOperand, "K4M1264", "K4M1265"},
        {1, CheckKnSOperand, "K8S992", "K8S993"}, {0, CheckKnYOperand, "K1Y174", "K1Y175"},
        {0, CheckK16Operand, "K-32768", "K32768"}, {0, CheckK16Operand, "K32767", "K-32769"},
        {0, CheckK32Operand, "K2147483647", "K2147483648"}, {0, CheckH16Operand, "HFFFF", "H10000"},
        {0, CheckH32Operand, "HFFFFFFFF", "H100000000"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(SetCurrentFamily(c.family));
        EXPECT_TRUE(c.check(c.last)) << c.last << " in family " << c.family;
        EXPECT_FALSE(c.check(c.first_out)) << c.first_out << " in family " << c.family;
    }
}

TEST_F(Family, CheckersRefuseOtherKindsAndMalformedText) {
    EXPECT_FALSE(CheckXOperand("X8"));       // not octal
    EXPECT_FALSE(CheckXOperand("Y0"));
    EXPECT_FALSE(CheckDOperand("D"));
    EXPECT_FALSE(CheckDOperand("D1Q"));
    EXPECT_FALSE(CheckDOperand("D1E8"));     // index registers go to 7
    EXPECT_TRUE(CheckDOperand("D1E7"));
    EXPECT_FALSE(CheckK16Operand("K4M0"));   // a digit group is no constant
    EXPECT_FALSE(CheckKnMOperand("K9M0"));
    EXPECT_FALSE(CheckKnMOperand("K0M0"));
    EXPECT_FALSE(CheckH16Operand("HG"));
    EXPECT_FALSE(CheckIOperand("I10"));      // three digits
    EXPECT_TRUE(CheckIndexRegOperand("E"));
    EXPECT_TRUE(CheckIndexRegOperand("F7"));
    EXPECT_FALSE(CheckIndexRegOperand("E8"));
    EXPECT_FALSE(CheckMOperand("M12345678901234567"));
    EXPECT_FALSE(CheckMOperand(""));
}

TEST_F(Family, ALoweredLimitIsSeenByEveryCheck) {
    gDeviceLimitTable[0][kLimD] = 1143;
    EXPECT_TRUE(CheckDOperand("D1143"));
    EXPECT_FALSE(CheckDOperand("D1144"));
    EXPECT_FALSE(Line("MOV K1 D1144"));
    ResetDeviceLimits();
    EXPECT_TRUE(Line("MOV K1 D1144"));
}

TEST_F(Family, UnknownFamiliesAreRefused) {
    EXPECT_TRUE(SetCurrentFamily(2));
    EXPECT_FALSE(SetCurrentFamily(3));
    EXPECT_FALSE(SetCurrentFamily(-1));
    EXPECT_EQ(CurrentFamily(), 2);
}

TEST_F(Family, TypedInputThatIsRefused) {
    SetCurrentFamily(0);
    // One line of each refusal kind, with its reason: the table of ValueInterface.
    const char* refused[] = {
        "MOV K1 D0 D1",          // too many operands
        "LD D0",                 // a word device as contact
        "LD X0E",                // basic instructions take no index register
        "STL M0",                // STL takes only S
        "LD M1280",              // beyond family 0's M
        "LD X200",               // beyond family 0's X (octal)
        "MOV K40000 D0",         // beyond 16 bits
        "DMOV K4000000000 D0",   // beyond 32 bits
        "MOV K5M0 D0",           // K5 is no 16-bit digit group
        "TMR T0 K-1",            // negative set value
        "CNT C200 K5",           // 32-bit counters need DCNT
        "DCNT C10 K5",
        "CJ P256",               // beyond the pointer table
        "P256",
        "I900",
        "I50",                   // interrupt labels have three digits
        "EADD D0 D2 D4",         // not in family 0
        "LD X0 X1",
        "MC N8",
        "MOV K1 D1312",
        "MOV K1 DABCDEFGHIJKLMNOPQ",  // over-long token
    };
    for (const char* line : refused) {
        EXPECT_FALSE(Line(line)) << line;
        EXPECT_EQ(gInsnBuf.length, 0u) << line;
    }
    SetCurrentFamily(1);
    EXPECT_TRUE(Line("EADD D0 D2 D4"));
    EXPECT_FALSE(Line("LD M4096"));
}

TEST_F(Family, OverLongLinesAreRefused) {
    std::string longLine = "MOV K1 D0" + std::string(80, ' ');
    EXPECT_FALSE(SetInputText(longLine));
    // A buffer without a line end is refused rather than read past its end.
    std::memset(gInputText, 'A', sizeof gInputText);
    EXPECT_EQ(AssembleInstruction(), 0);
    // A line that fits is read to its end, beyond column 55.
    std::string wide = std::string(60, ' ') + "DMOV K100000 D0";
    ASSERT_TRUE(SetInputText(wide));
    EXPECT_EQ(AssembleInstruction(), 1);
}

TEST_F(Family, ValidatorRejectsWhatTheFamilyOrTableDoesNotAllow) {
    SetCurrentFamily(1);
    ASSERT_TRUE(Line("MOV K1 D5000"));
    EXPECT_EQ(ValidateInstruction(), 1);
    SetCurrentFamily(2);
    EXPECT_EQ(ValidateInstruction(), 0);  // D5000 is beyond family 2
    SetCurrentFamily(1);
    ASSERT_TRUE(Line("EADD D0 D2 D4"));
    SetCurrentFamily(0);
    EXPECT_EQ(ValidateInstruction(), 0);  // family 0 has no EADD
    SetCurrentFamily(1);
    ASSERT_TRUE(Line("MOV K1 D0"));
    gInsnBuf.code[7] = 0x86;
    gInsnBuf.code[5] = 0x90;  // unknown operand class
    EXPECT_EQ(ValidateInstruction(), 0);
    ASSERT_TRUE(Line("MOV K1 D0"));
    gInsnBuf.length = 6;  // length disagrees with the table
    EXPECT_EQ(ValidateInstruction(), 0);
    ASSERT_TRUE(Line("DMOV K1 D0"));
    gInsnBuf.flag32 = 0;
    EXPECT_EQ(ValidateInstruction(), 0);
    gInsnBuf.length = 2;
    gInsnBuf.code[0] = 0x00;
    gInsnBuf.code[1] = 0xC4;  // the error word
    EXPECT_EQ(ValidateInstruction(), 0);

    // Encodings the assembler never writes, whose text would read back as other words.
    ASSERT_TRUE(Line("LD M2000"));
    gInsnBuf.code[2] = 100;
    gInsnBuf.code[4] = 0x08;  // M100 in a long form
    EXPECT_EQ(ValidateInstruction(), 0);
    ASSERT_TRUE(Line("MOV H1F D0"));
    gInsnBuf.code[3] = 0xE2;  // an H constant with an index register
    EXPECT_EQ(ValidateInstruction(), 0);
    ASSERT_TRUE(Line("ASC ABCD D0"));
    EXPECT_EQ(ValidateInstruction(), 1);
    gInsnBuf.code[6] = 0;  // "AB", a gap, then "D"
    EXPECT_EQ(ValidateInstruction(), 0);
    ASSERT_TRUE(Line("ASC ABCD D0"));
    gInsnBuf.code[2] = 0;  // no first character
    EXPECT_EQ(ValidateInstruction(), 0);
    ASSERT_TRUE(Line("ASC ABCD D0"));
    gInsnBuf.code[4] = ' ';
    EXPECT_EQ(ValidateInstruction(), 0);
}

TEST_F(Family, LabelChecksOnlyLook) {
    SetCurrentFamily(0);
    int32_t pRows[256];
    int32_t iRows[900];
    std::fill(std::begin(pRows), std::end(pRows), -1);
    std::fill(std::begin(iRows), std::end(iRows), -1);
    pRows[3] = 10;
    pRows[4] = 12;
    iRows[100] = 12;
    EXPECT_TRUE(CheckPLabel("P3", 10, pRows));   // its own row
    EXPECT_FALSE(CheckPLabel("P3", 11, pRows));  // taken by another row
    EXPECT_TRUE(CheckPLabel("P5", 12, pRows));   // free
    EXPECT_EQ(pRows[4], 12);                      // the check freed nothing
    EXPECT_FALSE(CheckPLabel("P256", 0, pRows));
    EXPECT_FALSE(CheckPLabel("P-1", 0, pRows));
    EXPECT_TRUE(CheckILabel("I101", 12, iRows));
    EXPECT_EQ(iRows[100], 12);
    EXPECT_FALSE(CheckILabel("I500", 0, iRows));  // family 0 ends at I499
    SetCurrentFamily(1);
    EXPECT_TRUE(CheckILabel("I899", 0, iRows));
    EXPECT_FALSE(CheckILabel("I900", 0, iRows));  // beyond the table
    EXPECT_FALSE(CheckILabel("I99", 0, iRows));
    FreeRowLabels(pRows, 256, 12);
    EXPECT_EQ(pRows[4], -1);
    EXPECT_EQ(pRows[3], 10);
}

}  // namespace
