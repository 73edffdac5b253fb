// The operand codec: basic addresses, operand records, link addresses, device letters.
#include <gtest/gtest.h>

#include <string>
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

// A decoded record as "<letter><number>", then "/K<digits>" for a digit group,
// "/E<r>" or "/F<r>" for an index register; the 32-bit value of a constant;
// "-" when nothing was decoded.
std::string Text(bool ok, const TDeviceRecord& r) {
    if (!ok) return "-";
    const char letter = DeviceLetterFromType(r.type);
    std::string s(1, letter ? letter : '?');
    s += std::to_string(r.type == kDevK ? static_cast<int32_t>(uint32_t{r.high} << 16 | r.number) : r.number);
    if (r.digits) s += "/K" + std::to_string(r.digits);
    if (r.modifier) s += std::string("/") + (r.modifier & kModF ? "F" : "E") + std::to_string(r.modifier & kModRegMask);
    return s;
}

TEST(Codec, BasicAddresses) {
    struct { int type, number; uint16_t address; } to[] = {
        {kDevS, 5, 0x005}, {kDevX, 8, 0x408}, {kDevY, 0, 0x500}, {kDevT, 255, 0x6FF}, {kDevM, 1535, 0xDFF},
        {kDevM, 1536, 0xB000}, {kDevM, 4095, 0xB000 + 4095 - 1536}, {kDevC, 7, 0xE07}, {kDevD, 7, 0xFFFF},
        {kDevM, 4096, 0xFFFF}};
    for (auto& c : to) EXPECT_EQ(DeviceToBasicAddress(c.type, c.number), c.address) << c.type << " " << c.number;
    // 0x8105 is TMR's timer word; there is no device at 0x700 or 0xF00.
    struct { uint16_t word; const char* text; } from[] = {
        {0x240F, "X15"}, {0xCDFF, "M1535"}, {0x8105, "T5"}, {0x2700, "-"}, {0x2F00, "-"}};
    for (auto& c : from) {
        TDeviceRecord r;
        EXPECT_EQ(Text(DecodeBasicAddress(c.word, r), r), c.text) << std::hex << c.word;
    }
}

TEST(Codec, OperandRecords) {
    // The index registers as operands have fixed records; word devices are stored as
    // number x 2, C200 and above in area 2 as (n - 200) x 4; a digit group K4M0 indexed
    // by F2; a 32-bit constant; a 2-byte basic word; and words that are none.
    struct { std::vector<uint8_t> bytes; uint32_t length; const char* text; } cases[] = {
        {Rec(0x80008638), 4, "E0"}, {Rec(0x8000863A), 4, "F0"}, {Rec(0x8001866C), 4, "E1"},
        {Rec(0x80018686), 4, "F7"}, {Rec(0x80008640), 4, "-"},
        {{200, 0x86, 0, 0x86}, 4, "D100"}, {{40, 0x86, 2, 0x84}, 4, "C210"}, {{14, 0x86, 0, 0x82}, 4, "T7"},
        {{0x00, 0xF4, 0x48, 0x88}, 4, "M0/K4/F2"},
        {{0xA0, 0x80, 0x86, 0x80, 0x01, 0x80, 0x00, 0x80}, 8, "K100000"},
        {{0x01, 0x24}, 2, "X1"}, {{0x28, 0x00}, 2, "-"}, {{200, 0x86, 0, 0x86}, 3, "-"}};
    for (auto& c : cases) {
        TDeviceRecord r;
        EXPECT_EQ(Text(DecodeOperandWord(c.bytes.data(), c.length, r), r), c.text) << c.text;
    }
}

TEST(Codec, EncodeDeviceRecordAsCellsStoreIt) {
    struct { const char* in; const char* text; } cases[] = {
        {"D10E3", "D10/E3"}, {"K4Y10", "Y8/K4"}, {"K-70000", "K-70000"}, {"hff", "H255"},
        {"Q1", "-"}, {"X9", "-"}, {"D70000", "-"}};
    for (auto& c : cases) {
        TDeviceRecord r;
        EXPECT_EQ(Text(EncodeDeviceRecord(c.in, r), r), c.text) << c.in;
    }
}

TEST(Codec, LinkAddresses) {
    struct { const char* in; int area; bool ok; uint16_t address; } cases[] = {
        {"X17", 0, true, 0x040F}, {"D4095", 0, true, 0x1FFF}, {"D4096", 0, true, 0x9000},
        {"M1536", 0, true, 0xB000}, {"C255", 0, true, 0x0EFF},
        {"K5", 0, false, 0}, {"P1", 0, false, 0}, {"D1", 1, false, 0}};
    for (auto& c : cases) {
        uint16_t a = 0;
        EXPECT_EQ(EncodeOperand(c.in, c.area, a), c.ok) << c.in;
        if (c.ok) {
            EXPECT_EQ(a, c.address) << c.in;
        }
    }
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
