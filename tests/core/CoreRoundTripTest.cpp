// Whatever the validator accepts reads back to the same words; the texts and words of
// known lines. (Every row of every family: CoreValueTest.)
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"

namespace {

// Assembles a line; on success returns the bytes and the index.
bool Assemble(const std::string& line, std::vector<uint8_t>& bytes, int& index) {
    if (!SetInputText(line) || AssembleInstruction() != 1) return false;
    bytes.assign(gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
    index = gInstIndex;
    return true;
}

class RoundTrip : public ::testing::Test {
protected:
    void TearDown() override { SetCurrentFamily(0); }
};

// Instructions read from a PLC or a file are shown as text and may be typed back: whatever
// the validator accepts must disassemble into a line that assembles to the same words.
TEST_F(RoundTrip, WhatTheValidatorAcceptsReadsBackToTheSameWords) {
    static const uint8_t kClasses[] = {0x80, 0x82, 0x84, 0x86, 0x88, 0x8A, 0x8C, 0xE0,
                                       0xE2, 0xE4, 0xE6, 0xF0, 0xF2, 0xF4, 0xF6};
    static const uint8_t kCodes[] = {0x80, 0x81, 0x82, 0x84, 0x86, 0x87, 0x88, 0x89, 0x90};
    std::mt19937 rng(7321);
    auto pick = [&](auto& table) { return table[rng() % std::size(table)]; };
    int accepted = 0;
    for (int family = 0; family < kFamilyCount; ++family) {
        ASSERT_TRUE(SetCurrentFamily(family));
        for (int round = 0; round < 200000; ++round) {
            const int idx = static_cast<int>(rng() % kInstCount);
            const int len = gInstLength[idx];
            uint16_t op = gInstOpcode[idx];
            if (idx <= inst::ILABEL) op = static_cast<uint16_t>(op | (rng() & 0x0FFF));
            uint8_t code[kInsnBufBytes] = {static_cast<uint8_t>(op), static_cast<uint8_t>(op >> 8)};
            int pos = 2;
            if (idx == inst::TMR || idx == inst::CNT || idx == inst::DCNT) {
                code[2] = static_cast<uint8_t>(rng());
                code[3] = rng() % 2 ? 0x81 : 0x83;
                pos = 4;
            }
            // Records near the valid ones (a quarter of the bytes wholly random), and 32-bit
            // halves that repeat or extend the first half.
            for (int p = pos; p + 4 <= len; p += 4) {
                code[p] = static_cast<uint8_t>(rng());
                code[p + 1] = rng() % 4 ? pick(kClasses) : static_cast<uint8_t>(rng());
                code[p + 2] = static_cast<uint8_t>(rng() % 4 ? rng() % 32 | (rng() % 3 ? 0 : 0x80) : rng());
                code[p + 3] = rng() % 4 ? pick(kCodes) : static_cast<uint8_t>(rng());
            }
            if (InstIs32(idx))
                for (int p = pos; p + 8 <= len; p += 8) {
                    if (rng() % 2) std::memcpy(code + p + 4, code + p, 4);
                    code[p + 5] = code[p + 1];
                    code[p + 7] = code[p + 3];
                }
            gInsnBuf.length = static_cast<uint32_t>(len);
            gInsnBuf.flag32 = InstIs32(idx) ? kInst32Bit : 0;
            std::memcpy(gInsnBuf.code, code, static_cast<std::size_t>(len));
            if (ValidateInstruction() != 1) continue;
            ++accepted;
            const std::string text = DisassembleText(code, static_cast<std::size_t>(len), 0);
            std::vector<uint8_t> again;
            int idx2 = -1;
            ASSERT_TRUE(Assemble(text, again, idx2)) << "\"" << text << "\" in family " << family;
            ASSERT_EQ(again, std::vector<uint8_t>(code, code + len)) << text;
        }
    }
    EXPECT_GT(accepted, 10000);  // the generator reaches every kind of operand
}

TEST_F(RoundTrip, TextsAsTheEditorsShowThem) {
    SetCurrentFamily(1);
    struct { const char* in; const char* out; } cases[] = {
        {"out y0", "OUT Y0"},
        {"  TMR   T0 K10 ", "TMR T0 K10"},
        {"LD X17", "LD X17"},
        {"ld m2000", "LD M2000"},
        {"MOV E0 D0", "MOV E D0"},
        {"ADD D0E0 K4M0F2 D100", "ADD D0E K4M0F2 D100"},
        {"DMOV H1A2B3C4D D0", "DMOV H1A2B3C4D D0"},
        {"DAND>= K-70000 C200", "DAND>= K-70000 C200"},
        {"P12", "P12"},
        {"I 007", "I007"},
        {"CJ P3", "CJ P3"},
        {"MC N1", "MC N1"},
        {"END", "END"},
    };
    for (auto& c : cases) {
        ASSERT_TRUE(SetInputText(c.in));
        ASSERT_EQ(AssembleInstruction(), 1) << c.in;
        ASSERT_TRUE(DisassembleForView(gInsnBuf.code, gInsnBuf.length, 0));
        EXPECT_STREQ(gInstText, c.out);
    }
}

TEST_F(RoundTrip, MachineWordsOfKnownLines) {
    SetCurrentFamily(1);
    struct { const char* line; std::vector<uint8_t> bytes; } cases[] = {
        {"LD X0", {0x00, 0x24}},
        {"OUT Y0", {0x00, 0xC5}},
        {"SET M1535", {0xFF, 0xDD}},
        {"STL S10", {0x0A, 0xA0}},
        {"LD M1536", {0x02, 0x02, 0x00, 0x84, 0x10, 0x80}},
        {"TMR T0 K10", {0x03, 0x00, 0x00, 0x81, 0x0A, 0x80, 0x00, 0x80}},
        {"CNT C5 D100", {0x05, 0x00, 0x05, 0x83, 0xC8, 0x86, 0x00, 0x86}},
        {"RST S3", {0x07, 0x00, 0x03, 0x84, 0x00, 0x80}},
        {"MOV K5 D0", {0x28, 0x00, 0x05, 0x80, 0x00, 0x80, 0x00, 0x86, 0x00, 0x86}},
        {"MOV K4X0 C210", {0x28, 0x00, 0x00, 0x84, 0x04, 0x88, 0x28, 0x86, 0x02, 0x84}},
        {"INC E", {0x40, 0x00, 0x38, 0x86, 0x00, 0x80}},
        {"INC F7", {0x40, 0x00, 0x86, 0x86, 0x01, 0x80}},
        {"INC D3E3", {0x40, 0x00, 0x06, 0xE6, 0x80, 0x87}},
        {"WDTP", {0x1E, 0x10}},
        {"LDP X1", {0x01, 0x01, 0x01, 0x84, 0x04, 0x80}},
        {"LD= D0 K10", {0xD0, 0x01, 0x00, 0x86, 0x00, 0x86, 0x0A, 0x80, 0x00, 0x80}},
    };
    for (auto& c : cases) {
        std::vector<uint8_t> bytes;
        int idx;
        ASSERT_TRUE(Assemble(c.line, bytes, idx)) << c.line;
        EXPECT_EQ(bytes, c.bytes) << c.line;
    }
}

}  // namespace
