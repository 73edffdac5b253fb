// The operand codec: basic addresses, operand records, link addresses, device letters.
#include <gtest/gtest.h>

#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"

namespace {

std::vector<uint8_t> Rec(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

TEST(Codec, BasicAddresses) {
    EXPECT_EQ(DeviceToBasicAddress(kDevS, 5), 0x005);
    EXPECT_EQ(DeviceToBasicAddress(kDevX, 8), 0x408);
    EXPECT_EQ(DeviceToBasicAddress(kDevY, 0), 0x500);
    EXPECT_EQ(DeviceToBasicAddress(kDevT, 255), 0x6FF);
    EXPECT_EQ(DeviceToBasicAddress(kDevM, 1535), 0xDFF);
    EXPECT_EQ(DeviceToBasicAddress(kDevM, 1536), 0xB000);
    EXPECT_EQ(DeviceToBasicAddress(kDevM, 4095), 0xB000 + 4095 - 1536);
    EXPECT_EQ(DeviceToBasicAddress(kDevC, 7), 0xE07);
    EXPECT_EQ(DeviceToBasicAddress(kDevD, 7), 0xFFFF);
    EXPECT_EQ(DeviceToBasicAddress(kDevM, 4096), 0xFFFF);

    TDeviceRecord r;
    ASSERT_TRUE(DecodeBasicAddress(0x240F, r));
    EXPECT_EQ(r.type, kDevX);
    EXPECT_EQ(r.number, 15);
    ASSERT_TRUE(DecodeBasicAddress(0xCDFF, r));
    EXPECT_EQ(r.type, kDevM);
    EXPECT_EQ(r.number, 1535);
    ASSERT_TRUE(DecodeBasicAddress(0x8105, r));  // TMR's timer word
    EXPECT_EQ(r.type, kDevT);
    EXPECT_EQ(r.number, 5);
    EXPECT_FALSE(DecodeBasicAddress(0x2700, r));  // no device at 0x700
    EXPECT_FALSE(DecodeBasicAddress(0x2F00, r));
}

TEST(Codec, OperandRecords) {
    TDeviceRecord r;
    // The index registers as operands have fixed records.
    auto e = Rec(0x80008638), f = Rec(0x8000863A), e1 = Rec(0x8001866C), f7 = Rec(0x80018686);
    ASSERT_TRUE(DecodeOperandWord(e.data(), 4, r));
    EXPECT_EQ(r.type, kDevE);
    EXPECT_EQ(r.number, 0);
    ASSERT_TRUE(DecodeOperandWord(f.data(), 4, r));
    EXPECT_EQ(r.type, kDevF);
    ASSERT_TRUE(DecodeOperandWord(e1.data(), 4, r));
    EXPECT_EQ(r.type, kDevE);
    EXPECT_EQ(r.number, 1);
    ASSERT_TRUE(DecodeOperandWord(f7.data(), 4, r));
    EXPECT_EQ(r.type, kDevF);
    EXPECT_EQ(r.number, 7);
    auto bad = Rec(0x80008640);
    EXPECT_FALSE(DecodeOperandWord(bad.data(), 4, r));

    // Word devices are stored as number x 2; C200 and above in area 2 as (n - 200) x 4.
    std::vector<uint8_t> d100 = {200, 0x86, 0, 0x86}, c210 = {40, 0x86, 2, 0x84}, t7 = {14, 0x86, 0, 0x82};
    ASSERT_TRUE(DecodeOperandWord(d100.data(), 4, r));
    EXPECT_EQ(r.type, kDevD);
    EXPECT_EQ(r.number, 100);
    ASSERT_TRUE(DecodeOperandWord(c210.data(), 4, r));
    EXPECT_EQ(r.type, kDevC);
    EXPECT_EQ(r.number, 210);
    ASSERT_TRUE(DecodeOperandWord(t7.data(), 4, r));
    EXPECT_EQ(r.number, 7);

    // A digit group K4M0 indexed by F2, and a 32-bit constant.
    std::vector<uint8_t> k4m0f2 = {0x00, 0xF4, 0x48, 0x88};
    ASSERT_TRUE(DecodeOperandWord(k4m0f2.data(), 4, r));
    EXPECT_EQ(r.type, kDevM);
    EXPECT_EQ(r.digits, 4);
    EXPECT_EQ(r.modifier, kModF | 2);
    std::vector<uint8_t> k100000 = {0xA0, 0x80, 0x86, 0x80, 0x01, 0x80, 0x00, 0x80};
    ASSERT_TRUE(DecodeOperandWord(k100000.data(), 8, r));
    EXPECT_EQ(r.type, kDevK);
    EXPECT_EQ((r.high << 16) | r.number, 100000);

    // A 2-byte basic word, and words that are none.
    std::vector<uint8_t> ldx1 = {0x01, 0x24}, mov = {0x28, 0x00};
    ASSERT_TRUE(DecodeOperandWord(ldx1.data(), 2, r));
    EXPECT_EQ(r.type, kDevX);
    EXPECT_EQ(r.number, 1);
    EXPECT_FALSE(DecodeOperandWord(mov.data(), 2, r));
    EXPECT_FALSE(DecodeOperandWord(d100.data(), 3, r));
}

TEST(Codec, EncodeDeviceRecordAsCellsStoreIt) {
    TDeviceRecord r;
    ASSERT_TRUE(EncodeDeviceRecord("D10E3", r));
    EXPECT_EQ(r.type, kDevD);
    EXPECT_EQ(r.number, 10);
    EXPECT_EQ(r.modifier, kModE | 3);
    ASSERT_TRUE(EncodeDeviceRecord("K4Y10", r));
    EXPECT_EQ(r.type, kDevY);
    EXPECT_EQ(r.number, 8);
    EXPECT_EQ(r.digits, 4);
    ASSERT_TRUE(EncodeDeviceRecord("K-70000", r));
    EXPECT_EQ(r.type, kDevK);
    EXPECT_EQ(static_cast<int32_t>((r.high << 16) | r.number), -70000);
    ASSERT_TRUE(EncodeDeviceRecord("hff", r));
    EXPECT_EQ(r.type, kDevH);
    EXPECT_EQ(r.number, 0xFF);
    EXPECT_FALSE(EncodeDeviceRecord("Q1", r));
    EXPECT_FALSE(EncodeDeviceRecord("X9", r));
    EXPECT_FALSE(EncodeDeviceRecord("D70000", r));
}

TEST(Codec, LinkAddresses) {
    uint16_t a = 0;
    EXPECT_TRUE(EncodeOperand("X17", 0, a));
    EXPECT_EQ(a, 0x040F);
    EXPECT_TRUE(EncodeOperand("D4095", 0, a));
    EXPECT_EQ(a, 0x1FFF);
    EXPECT_TRUE(EncodeOperand("D4096", 0, a));
    EXPECT_EQ(a, 0x9000);
    EXPECT_TRUE(EncodeOperand("M1536", 0, a));
    EXPECT_EQ(a, 0xB000);
    EXPECT_TRUE(EncodeOperand("C255", 0, a));
    EXPECT_EQ(a, 0x0EFF);
    EXPECT_FALSE(EncodeOperand("K5", 0, a));
    EXPECT_FALSE(EncodeOperand("P1", 0, a));
    EXPECT_FALSE(EncodeOperand("D1", 1, a));
}

TEST(Codec, CompareContactOffsetIsThePositionInTheGroup) {
    for (int i = kInstCompareFirst; i <= kInstCompareLast; ++i)
        EXPECT_EQ(CompareContactOffset(gInstOpcode[i]), (i - kInstCompareFirst) % 12);
    EXPECT_EQ(CompareContactOffset(0x01D8), 6);  // LD<> after the unused number
    EXPECT_EQ(CompareContactOffset(0x01D6), -1);
    EXPECT_EQ(CompareContactOffset(0x2000), -1);
}

TEST(Codec, DeviceLettersAndNames) {
    const char letters[] = "CDHKMSTEXYFPNI";
    for (int t = 1; t <= 14; ++t) {
        EXPECT_EQ(DeviceLetterFromType(t), letters[t - 1]);
        EXPECT_EQ(DeviceTypeFromLetter(letters[t - 1]), t);
    }
    EXPECT_EQ(DeviceLetterFromType(0), '\0');
    EXPECT_EQ(DeviceLetterFromType(16), '\0');
    EXPECT_EQ(DeviceLetterIndex("M100"), 2);
    EXPECT_EQ(DeviceLetterIndex("I"), 8);
    EXPECT_EQ(DeviceLetterIndex("K1"), 9);
    EXPECT_EQ(DeviceLetterIndex(""), 9);
    EXPECT_EQ(DeviceName(kDevX, 15), "X17");
    EXPECT_EQ(DeviceName(kDevD, 15), "D15");
}

// The compiler writes 0xC400 for a line it could not translate. By its bits it is OUT X0
// (the ladder conversion and the syntax checker recognise the word and refuse it), and it
// must never pass for code: shown as ERROR, no operand to find, none to replace.
TEST(Codec, TheCompilersErrorWordStaysAnError) {
    SetCurrentFamily(1);
    uint8_t code[] = {0x00, 0xC4, 0x0F, 0x00};
    EXPECT_EQ(OpcodeToIndex(kErrorWord), inst::OUT);
    EXPECT_EQ(DisassembleText(code, sizeof code, 0), "ERROR");
    EXPECT_EQ(NextInstructionOffset(0, code, sizeof code), 2u);
    EXPECT_EQ(CodeOperandToText(code, sizeof code, 0), "");
    EXPECT_FALSE(WriteOperandDevice("Y0", code, sizeof code, 0));
    EXPECT_EQ(code[1], 0xC4);
    // Other outputs to an input still show what they hold, so the line can be corrected.
    code[0] = 0x01;
    EXPECT_EQ(DisassembleText(code, sizeof code, 0), "OUT X1");
    EXPECT_TRUE(WriteOperandDevice("Y1", code, sizeof code, 0));
    EXPECT_EQ(DisassembleText(code, sizeof code, 0), "OUT Y1");
    SetCurrentFamily(0);
}

TEST(Codec, OperandTextsAtPositionsAndRewrites) {
    SetCurrentFamily(1);
    uint8_t code[64];
    std::fill(std::begin(code), std::end(code), 0xFF);
    uint32_t at = 0;
    for (const char* line : {"LD X0", "TMR T3 K10", "ADD D0 K4M0 D100", "LD M2000"}) {
        ASSERT_TRUE(SetInputText(line));
        ASSERT_EQ(AssembleInstruction(), 1);
        std::copy(gInsnBuf.code, gInsnBuf.code + gInsnBuf.length, code + at);
        at += gInsnBuf.length;
    }
    // LD X0 @0, TMR @2 (word @4, record @6), ADD @10 (records 12, 16, 20), long LD @24.
    EXPECT_EQ(CodeOperandToText(code, sizeof code, 0), "X0");
    EXPECT_EQ(CodeOperandToText(code, sizeof code, 5), "T3");
    EXPECT_EQ(CodeOperandToText(code, sizeof code, 7), "K10");
    EXPECT_EQ(CodeOperandToText(code, sizeof code, 17), "K4M0");
    EXPECT_EQ(CodeOperandToText(code, sizeof code, 26), "M2000");
    EXPECT_EQ(CodeOperandToText(code, sizeof code, 10), "");  // ADD's opcode word

    EXPECT_TRUE(WriteOperandDevice("Y7", code, sizeof code, 0));
    EXPECT_EQ(DisassembleText(code, sizeof code, 0), "LD Y7");
    EXPECT_FALSE(WriteOperandDevice("D0", code, sizeof code, 0));
    EXPECT_FALSE(WriteOperandDevice("M2000", code, sizeof code, 0));  // needs the long form
    EXPECT_FALSE(WriteOperandDevice("K5", code, sizeof code, 0));
    EXPECT_TRUE(WriteOperandDevice("T200", code, sizeof code, 4));
    EXPECT_FALSE(WriteOperandDevice("C1", code, sizeof code, 4));
    EXPECT_TRUE(WriteOperandDevice("D7", code, sizeof code, 6));
    EXPECT_EQ(DisassembleText(code, sizeof code, 2), "TMR T200 D7");
    EXPECT_TRUE(WriteOperandDevice("D9E", code, sizeof code, 20));
    EXPECT_FALSE(WriteOperandDevice("K1", code, sizeof code, 20));  // a destination
    EXPECT_EQ(DisassembleText(code, sizeof code, 10), "ADD D0 K4M0 D9E");
    EXPECT_TRUE(WriteOperandDevice("M4000", code, sizeof code, 26));
    EXPECT_FALSE(WriteOperandDevice("M100", code, sizeof code, 26));
    EXPECT_EQ(DisassembleText(code, sizeof code, 24), "LD M4000");
    SetCurrentFamily(0);
}

}  // namespace
