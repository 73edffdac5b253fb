// Number and text helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "core/Digtest.h"

namespace {

TEST(Digtest, RadixConversions) {
    EXPECT_EQ(OctStrToInt("177"), 127u);
    EXPECT_EQ(OctStrToInt("18"), 1u);
    EXPECT_EQ(OctStrToInt("x"), 0u);
    EXPECT_EQ(HexStrToUInt("fFx"), 255u);
    EXPECT_EQ(HexStrToInt("FFFFFFFF"), -1);
    EXPECT_EQ(AtoL(" -42z"), -42);
    EXPECT_EQ(AtoL(""), 0);
    EXPECT_DOUBLE_EQ(HexStrToDouble("100000000"), 4294967296.0);
    EXPECT_DOUBLE_EQ(BinStrToDouble("1011"), 11.0);
}

TEST(Digtest, DigitTests) {
    EXPECT_TRUE(IsDecimalDigits("123x", 3));
    EXPECT_FALSE(IsDecimalDigits("12", 3));  // shorter than n
    EXPECT_TRUE(IsDecimalDigits("", 0));
    EXPECT_TRUE(IsHexDigits("1AF", 3));
    EXPECT_FALSE(IsHexDigits("1af", 3));     // capital letters only
    EXPECT_TRUE(IsBinaryDigits("0101", 4));
    EXPECT_FALSE(IsBinaryDigits("012", 3));
    EXPECT_TRUE(IsHex4Str("FFFF"));
    EXPECT_FALSE(IsHex4Str("10000"));
    EXPECT_FALSE(IsHex4Str(""));
    EXPECT_TRUE(IsUInt16Str("65535"));
    EXPECT_FALSE(IsUInt16Str("65536"));
    EXPECT_FALSE(IsUInt16Str("-1"));
    EXPECT_TRUE(IsInt16Str("-32768"));
    EXPECT_TRUE(IsInt16Str("+32767"));
    EXPECT_FALSE(IsInt16Str("32768"));
    EXPECT_FALSE(IsInt16Str("-"));
}

TEST(Digtest, NumberTexts) {
    EXPECT_EQ(WordToStr(65535, 10), "65535");
    EXPECT_EQ(WordToStr(0xAB, 16), "00AB");
    EXPECT_EQ(WordToStr(5, 8), "");
    EXPECT_EQ(FormatValueStr(0xFFFF, 1, false), "-1");
    EXPECT_EQ(FormatValueStr(0xFFFF, 0, false), "65535");
    EXPECT_EQ(FormatValueStr(-1, 2, true), "FFFFFFFF");
    EXPECT_EQ(FormatValueStr(0x1A, 3, false), "001A");
    EXPECT_EQ(FormatValueStr(8, 6, false), "10");
    EXPECT_EQ(IntToBinGroupStr(16, 0x8001), "10000000 00000001 ");
    EXPECT_EQ(IntToBinGroupStr(32, -1), "11111111 11111111 11111111 11111111 ");
    EXPECT_EQ(IntToPaddedStr(5, 0x1F, 16), "001F");
    EXPECT_EQ(IntToPaddedStr(2, 255, 10), "255");
    EXPECT_EQ(IntToPaddedStr(4, 5, 2), "101");
}

TEST(Digtest, TextBuffers) {
    char t[20] = "abcdefghijklmnopqrs";
    UpperCase16(t);
    EXPECT_STREQ(t, "ABCDEFGHIJKLMNOPqrs");
    EXPECT_EQ(StrToUpper("  d10e \t"), "D10E");
    char buf[4];
    std::memset(buf, 0x55, sizeof buf);
    StrToUpperBuf(buf, sizeof buf, " k4m100 ");
    EXPECT_STREQ(buf, "K4M");  // cut to fit, terminated
    const uint8_t bytes[] = {1, 2, 3, 4};
    EXPECT_TRUE(FindByte(3, bytes, 4));
    EXPECT_FALSE(FindByte(4, bytes, 3));
    uint8_t rev[4];
    ReverseCopy(rev, bytes, 4);
    EXPECT_EQ(rev[0], 4);
    EXPECT_EQ(rev[3], 1);
}

}  // namespace
