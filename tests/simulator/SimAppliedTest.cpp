// Applied instructions, family by family: a program in instruction-list text,
// registers and relays set before the scans, and what a PLC would show after
// them. Each program runs under LD X0 with X0 ON unless the test says
// otherwise.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "tests/simulator/SimRig.h"

using simtest::Rig;

namespace {

// A program of applied instruction lines under one rung, X0 ON.
struct Program : Rig {
    explicit Program(const std::string& lines) : Rig("LD X0\n" + lines + "\nEND") { Set("X0", true); }
    void D32(int n, std::int32_t v) {
        D(n) = static_cast<std::uint16_t>(v);
        D(n + 1) = static_cast<std::uint16_t>(static_cast<std::uint32_t>(v) >> 16);
    }
    std::int32_t D32(int n) { return static_cast<std::int32_t>(D(n) | (std::uint32_t{D(n + 1)} << 16)); }
    std::int16_t SD(int n) { return static_cast<std::int16_t>(D(n)); }
    // M1020 zero, M1021 borrow, M1022 carry as a string "zbc" of 0 and 1.
    std::string Flags() {
        return std::string{On("M1020") ? '1' : '0', On("M1021") ? '1' : '0', On("M1022") ? '1' : '0'};
    }
};

TEST(SimApplied, RunOnlyWhileTheRungIsOnAndPulseFormsOncePerEdge) {
    Program r("INC D0\nINCP D1\nDECP D2\nMOV D0 D3");
    r.Scan(3);
    EXPECT_EQ(r.D(0), 3);
    EXPECT_EQ(r.D(1), 1) << "INCP runs on the rising edge only";
    EXPECT_EQ(r.SD(2), -1) << "DECP subtracts from the 16-bit D2 once";
    EXPECT_EQ(r.D(3), 3);
    r.Set("X0", false);
    r.Scan(2);
    EXPECT_EQ(r.D(0), 3) << "nothing runs while the rung is off";
    r.SetAndScan("X0", true);
    EXPECT_EQ(r.Ds({0, 1}), (std::vector<long long>{4, 2}));
    EXPECT_EQ(r.SD(2), -2);
}

TEST(SimApplied, IndexRegistersMoveTheOperand) {
    Program r("MOV K5 D10E\nMOV D20F D30\nDMOV K70000 D40E\nMOV K1 K1Y0E\nMOV K1 K1Y0F1\nMOV K20E D5\nMOV K1X10F D6");
    r.D(1028) = 3;                                 // E
    r.D(1029) = static_cast<std::uint16_t>(-2);    // F
    r.D(1184) = 4;                                 // F1
    r.D(18) = 1234;
    r.Set("X6", true);
    r.Scan();
    EXPECT_EQ(r.D(13), 5);
    EXPECT_EQ(r.D(30), 1234) << "D20F with F = -2 is D18";
    EXPECT_EQ(r.D32(43), 70000);
    EXPECT_EQ(r.Bits("Y3 Y4"), "11") << "K1Y0E with E = 3 starts at Y3, K1Y0F1 with F1 = 4 at Y4";
    EXPECT_EQ(r.Ds({5, 6}), (std::vector<long long>{23, 1})) << "an indexed constant; X10F is X6";
    r.D(1028) = static_cast<std::uint16_t>(-20);   // D10E is outside D: nothing is written
    r.D(13) = 0;
    r.Scan();
    EXPECT_EQ(r.D(13), 0);
}

TEST(SimMoves, MovCmlAnd32BitForms) {
    Program r("MOV K5 D0\nDMOV K100000 D10\nCML H00F0 D2\nCML K0 K1Y0\nDCML K0 D20\nMOV K4X0 D3");
    r.SetAndScan("Y4 X1 X17", true);
    EXPECT_EQ(r.D(0), 5);
    EXPECT_EQ(r.D32(10), 100000);
    EXPECT_EQ(r.D(2), 0xFF0F);
    for (const char* y : {"Y0", "Y1", "Y2", "Y3"}) EXPECT_TRUE(r.On(y)) << y;
    EXPECT_TRUE(r.On("Y4")) << "a K1 destination takes four bits only";
    EXPECT_EQ(r.D32(20), -1);
    EXPECT_EQ(r.D(3), 0x8003) << "X0, X1 and X17, the sixteenth input";
}

TEST(SimMoves, BlockMoveCutsAtTheArrayEndAndHandlesOverlap) {
    Program r("BMOV D9990 D9995 K20\nBMOVP D0 D2 K5\nBMOVP D100 D98 K5\nBMOV K1X0 K1Y0 K2\nBMOV D0 D200 K513");
    for (int i = 0; i < 10; ++i) r.D(9990 + i) = static_cast<std::uint16_t>(i + 1);
    for (int i = 0; i < 5; ++i) r.D(i) = static_cast<std::uint16_t>(i + 1);
    for (int i = 0; i < 5; ++i) r.D(100 + i) = static_cast<std::uint16_t>(i + 11);
    r.D(200) = 77;
    r.SetAndScan("X2 X5", true);
    // Only five words fit from D9995: D9995-D9999 take D9990-D9994.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(r.D(9995 + i), i + 1) << i;
    // Overlap toward higher and toward lower addresses both copy the source as it was.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(r.D(2 + i), i + 1) << i;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(r.D(98 + i), i + 11) << i;
    EXPECT_EQ(r.Bits("Y2 Y5 Y0 Y1"), "1110");
    EXPECT_EQ(r.D(200), 77) << "more than 512 elements move nothing";
}

TEST(SimMoves, FillMoveCutsAtTheArrayEnd) {
    Program r("FMOV K7 D0 K3\nDFMOV K70000 D10 K2\nFMOV K9 D9998 K5\nFMOV K1 D20 K0");
    r.D(3) = 99;
    r.D(20) = 5;
    r.Scan();
    EXPECT_EQ(r.Ds({0, 2, 3}), (std::vector<long long>{7, 7, 99}));
    EXPECT_EQ(r.D32(10), 70000);
    EXPECT_EQ(r.D32(12), 70000);
    EXPECT_EQ(r.Ds({9998, 9999}), (std::vector<long long>{9, 9}));
    EXPECT_EQ(r.D(20), 5) << "a count of 0 does nothing";
}

TEST(SimMoves, ExchangeSwapAndOctalGroups) {
    Program r("XCH D0 D1\nDXCH D10 D12\nSWAP D20\nDSWAP D22\nPRUN K4X0 K4M0");
    r.Put(0, {1, 2});
    r.D32(10, 100000);
    r.D32(12, -5);
    r.D(20) = 0x1234;
    r.D32(22, 0x12345678);
    r.SetAndScan("X7 X10 M8", true);
    EXPECT_EQ(r.Ds({0, 1}), (std::vector<long long>{2, 1}));
    EXPECT_EQ(r.D32(10), -5);
    EXPECT_EQ(r.D32(12), 100000);
    EXPECT_EQ(r.D(20), 0x3412);
    EXPECT_EQ(r.D32(22), 0x34127856);
    EXPECT_TRUE(r.On("M7"));
    EXPECT_TRUE(r.On("M10")) << "X10 lands on M10";
    EXPECT_TRUE(r.On("M8")) << "M8 and M9 lie between the octal groups";
}

TEST(SimMoves, DigitMoveReplacesDecimalDigits) {
    Program r("SMOV D0 K4 K2 D1 K3\nSMOV D0 K1 K1 D2 K4\nSMOV D0 K2 K3 D3 K4\nSMOV K10000 K1 K1 D4 K1");
    r.Put(0, {1234, 5678, 0, 77, 99});
    r.Scan();
    EXPECT_EQ(r.D(1), 5128) << "digits 4 and 3 of 1234 into digits 3 and 2";
    EXPECT_EQ(r.D(2), 4000);
    EXPECT_EQ(r.D(3), 77) << "three digits from digit 2 do not exist";
    EXPECT_EQ(r.D(4), 99) << "a source beyond four digits";
    EXPECT_TRUE(r.On("M1067"));
}

TEST(SimMoves, ByteSwapModeOfExchange) {
    Program r("XCH D0 D0\nXCH D1 D2");
    r.Set("M1160", true);
    r.Put(0, {0x1234, 1, 2});
    r.Scan();
    EXPECT_EQ(r.D(0), 0x3412);
    EXPECT_EQ(r.D(1), 1) << "two devices in byte-swap mode: an operation error, nothing moves";
    EXPECT_EQ(r.D(2), 2);
    EXPECT_TRUE(r.On("M1067"));
    r.Load("LD X0\nXCH D0 D0\nEND");
    r.SetAndScan("X0 M1160 M1067", true);
    EXPECT_FALSE(r.On("M1067")) << "a good swap clears the error";
}

TEST(SimArithmetic, AddAndSubtractSetZeroBorrowAndCarryOnTheTrueResult) {
    struct Case {
        const char* line;
        std::int32_t a, b, result;
        const char* flags;
    };
    const Case cases[] = {
        {"ADD D0 D2 D4", 3, 4, 7, "000"},
        {"ADD D0 D2 D4", 5, -5, 0, "100"},
        {"ADD D0 D2 D4", 32767, 1, -32768, "001"},
        {"ADD D0 D2 D4", -32768, -1, 32767, "010"},
        {"ADD D0 D2 D4", -32768, -32768, 0, "010"},
        {"SUB D0 D2 D4", 1, 1, 0, "100"},
        {"SUB D0 D2 D4", -32768, 1, 32767, "010"},
        {"SUB D0 D2 D4", 32767, -1, -32768, "001"},
        {"DADD D0 D2 D4", 2147483647, 1, INT32_MIN, "001"},
        {"DADD D0 D2 D4", 100000, 200000, 300000, "000"},
        {"DSUB D0 D2 D4", INT32_MIN, 1, INT32_MAX, "010"},
        {"DSUB D0 D2 D4", 7, 7, 0, "100"},
    };
    for (const Case& c : cases) {
        Program r(c.line);
        const bool wide = c.line[0] == 'D';
        if (wide) {
            r.D32(0, c.a), r.D32(2, c.b);
        } else {
            r.D(0) = static_cast<std::uint16_t>(c.a), r.D(2) = static_cast<std::uint16_t>(c.b);
        }
        r.Set("M1021", true);  // flags from earlier results are replaced
        r.Scan();
        EXPECT_EQ(wide ? r.D32(4) : r.SD(4), c.result) << c.line << " " << c.a << " " << c.b;
        EXPECT_EQ(r.Flags(), c.flags) << c.line << " " << c.a << " " << c.b;
    }
}

TEST(SimArithmetic, ProductsTakeTwiceTheWidth) {
    Program r("MUL D0 D1 D10\nMUL D2 D3 D12\nDMUL D20 D22 D30");
    r.Put(0, {300, 300, -300, 300});
    r.D32(20, 100000);
    r.D32(22, -100000);
    r.Scan();
    EXPECT_EQ(r.D32(10), 90000);
    EXPECT_EQ(r.D32(12), -90000);
    const std::int64_t p = static_cast<std::int64_t>(static_cast<std::uint32_t>(r.D32(30))) |
                           (static_cast<std::int64_t>(r.D32(32)) << 32);
    EXPECT_EQ(p, -10000000000LL);
}

TEST(SimArithmetic, DivisionWritesTheRemainderBesideTheQuotient) {
    Program r("DIV D0 D1 D10\nDIV D2 D3 D20\nDDIV D30 D32 D40\nDIV D4 D5 D50");
    r.Put(0, {7, 2, -7, 2, 7, 0});
    r.D32(30, INT32_MIN), r.D32(32, -1);
    r.Put(50, {11, 12});
    r.Scan();
    EXPECT_EQ(r.Ds({10, 11}), (std::vector<long long>{3, 1}));
    EXPECT_EQ(r.SD(20), -3) << "truncated toward zero";
    EXPECT_EQ(r.SD(21), -1);
    EXPECT_EQ(r.D32(40), INT32_MIN) << "the one quotient that does not fit wraps, and nothing traps";
    EXPECT_EQ(r.D32(42), 0);
    EXPECT_EQ(r.D(50), 11) << "division by zero leaves the destination";
    EXPECT_EQ(r.D(51), 12);
    EXPECT_TRUE(r.On("M1067"));

    Program ok("DIV D0 D1 D10");
    ok.D(0) = 7, ok.D(1) = 2;
    ok.Set("M1067", true);
    ok.Scan();
    EXPECT_FALSE(ok.On("M1067")) << "a good division clears the error";

    // The remainder has no word beside D9999. The entry refuses such a DIV now; a
    // program read from a file or a PLC may still hold it, so its record is set by hand.
    Program edge("DIV D0 D1 D9998");
    ASSERT_EQ(edge.image.at(12), 0x1C) << "D9998's record after LD X0 and two operands";
    edge.image.at(12) = 0x1E;  // D9999
    edge.engine.LoadProgram(edge.image.data(), edge.image.size());
    edge.engine.ResetSimulator();
    edge.Set("X0", true);
    edge.D(0) = 9, edge.D(1) = 2;
    edge.Scan();
    EXPECT_EQ(edge.D(9999), 4);
}

TEST(SimArithmetic, IncrementDecrementLogicNegateAbs) {
    Program r("INC D0\nDINC D2\nDEC D4\nDDEC D6\nWAND D10 D11 D12\nWOR D10 D11 D13\nWXOR D10 D11 D14\n"
          "DAND D20 D22 D24\nNEG D30\nNEG D31\nABS D32\nDNEG D34\nDABS D36");
    r.D(0) = 32767;
    r.D32(2, 0xFFFF);
    r.D(4) = static_cast<std::uint16_t>(-32768);
    r.D32(6, 0x10000);
    r.D(10) = 0x0FF0, r.D(11) = 0x3C3C;
    r.D32(20, 0x12345678), r.D32(22, 0x0F0F0F0F);
    r.Put(30, {5, -32768, -5});
    r.D32(34, 100000), r.D32(36, -100000);
    r.Scan();
    EXPECT_EQ(r.SD(0), -32768) << "INC wraps";
    EXPECT_EQ(r.D32(2), 0x10000) << "DINC carries into the high word";
    EXPECT_EQ(r.SD(4), 32767);
    EXPECT_EQ(r.D32(6), 0xFFFF);
    EXPECT_EQ(r.Ds({12, 13, 14}), (std::vector<long long>{0x0C30, 0x3FFC, 0x33CC}));
    EXPECT_EQ(r.D32(24), 0x02040608);
    EXPECT_EQ(r.SD(30), -5) << "NEG negates";
    EXPECT_EQ(r.SD(31), -32768);
    EXPECT_EQ(r.SD(32), 5);
    EXPECT_EQ(r.D32(34), -100000);
    EXPECT_EQ(r.D32(36), 100000);
}

TEST(SimArithmetic, SquareRootAndMean) {
    Program r("SQR K17 D0\nSQR K0 D1\nDSQR K1000000 D4\nSQR K16 D6\nSQR K-4 D2\n"
          "MEAN D10 D20 K3\nDMEAN D30 D40 K2\nMEAN D10 D21 K65\nMEAN D9998 D22 K4");
    r.D(2) = 99;
    r.Put(10, {20000, 20000, 20001});
    r.D32(30, -100000), r.D32(32, -100001);
    r.D(21) = 55;
    r.Put(9998, {4, 8});
    r.Scan();
    EXPECT_EQ(r.Ds({0, 1}), (std::vector<long long>{4, 0}));
    EXPECT_EQ(r.D(2), 99) << "a negative root stores nothing";
    EXPECT_TRUE(r.On("M1067"));
    EXPECT_EQ(r.D32(4), 1000);
    EXPECT_EQ(r.D(6), 4);
    EXPECT_FALSE(r.On("M1021")) << "the last root, of 16, is whole";
    EXPECT_EQ(r.D(20), 20000) << "the sum does not wrap at 16 bits";
    EXPECT_EQ(r.D32(40), -100000) << "truncated toward zero";
    EXPECT_EQ(r.D(21), 55) << "more than 64 elements do nothing";
    EXPECT_EQ(r.D(22), 6) << "cut where D ends: the mean of D9998 and D9999";

    Program flags("SQR K17 D0");
    flags.Scan();
    EXPECT_EQ(flags.Flags(), "010") << "a fraction was dropped";
    flags.Load("LD X0\nSQR K0 D0\nEND");
    flags.Set("X0", true);
    flags.Scan();
    EXPECT_EQ(flags.Flags(), "100");
}

TEST(SimCompares, CmpAndZcpWriteThreeRelays) {
    Program r("CMP D0 D1 M0\nDCMP D10 D12 M10\nZCP K10 K20 D2 M20\nDZCP K-70000 K70000 D14 M30");
    r.Put(0, {-1, 1, 25});
    r.D32(10, 100000), r.D32(12, 99999);
    r.D32(14, -70000);
    r.SetAndScan("M1 M2", true);
    EXPECT_EQ(r.Bits("M0 M1 M2 M10 M12 M20 M21 M22"), "10001001");
    EXPECT_TRUE(r.On("M31")) << "the zone includes its ends";

    r.D(2) = 10;
    r.Scan();
    EXPECT_EQ(r.Bits("M21 M22"), "10");
}

// A damaged image may give CMP a word or a digit group where it expects a
// relay: it takes nothing.
TEST(SimCompares, DestinationOtherThanARelayTakesNothing) {
    for (const char* other : {"D100", "K1Y0"}) {
        Program r("CMP K1 K2 M0");
        const auto record = simtest::Assemble(std::string("MOV K0 ") + other);
        std::copy(record.begin() + 6, record.begin() + 10, r.image.begin() + 2 + 2 + 8);  // CMP's third record
        r.engine.LoadProgram(r.image.data(), r.image.size());
        r.D(100) = 5;
        r.Scan();
        EXPECT_EQ(r.D(100), 5) << other;
        EXPECT_FALSE(r.On("Y0")) << other;
        EXPECT_FALSE(r.On("M0")) << other;
    }
}

TEST(SimShifts, RotationsCarryTheLastBitOut) {
    struct Case {
        const char* line;
        std::uint32_t before;
        bool carryBefore;
        std::uint32_t after;
        bool carry;
    };
    const Case cases[] = {
        {"ROR D0 K4", 0x000F, false, 0xF000, true},
        {"ROR D0 K4", 0x0007, true, 0x7000, false},
        {"ROR D0 K16", 0x8001, false, 0x8001, true},
        {"ROL D0 K1", 0x8001, false, 0x0003, true},
        {"ROL D0 K4", 0x1234, false, 0x2341, true},
        {"RCR D0 K1", 0x0001, false, 0x0000, true},
        {"RCR D0 K1", 0x0000, true, 0x8000, false},
        {"RCR D0 K2", 0x0001, true, 0xC000, false},
        {"RCL D0 K1", 0x8000, false, 0x0000, true},
        {"RCL D0 K4", 0x1000, true, 0x0008, true},
        {"DROR D0 K8", 0x000000FF, false, 0xFF000000, true},
        {"DROL D0 K1", 0x80000000, false, 0x00000001, true},
        {"DRCR D0 K1", 0x00000000, true, 0x80000000, false},
        {"DRCL D0 K32", 0x00000001, false, 0x00000000, true},
        {"ROR K4Y0 K1", 0x0001, false, 0x8000, true},
        {"ROR K2Y0 K1", 0x0001, false, 0x0001, false},  // not 16 bits wide: nothing
        {"ROR D0 K0", 0x0001, false, 0x0001, false},
        {"ROR D0 K17", 0x0001, false, 0x0001, false},
    };
    for (const Case& c : cases) {
        Program r(c.line);
        const bool wide = c.line[0] == 'D';
        const bool onY = std::strstr(c.line, "Y0") != nullptr;
        auto read = [&]() -> std::uint32_t {
            if (!onY) return wide ? static_cast<std::uint32_t>(r.D32(0)) : r.D(0);
            std::uint32_t v = 0;
            for (int b = 0; b < 16; ++b) v |= (r.engine.Memory().Y()[b] ? 1u : 0u) << b;
            return v;
        };
        if (onY) {
            for (int b = 0; b < 16; ++b) r.engine.Memory().Y()[b] = (c.before >> b) & 1;
        } else if (wide) {
            r.D32(0, static_cast<std::int32_t>(c.before));
        } else {
            r.D(0) = static_cast<std::uint16_t>(c.before);
        }
        r.SetAndScan("M1022", c.carryBefore);
        EXPECT_EQ(read(), c.after) << c.line << " of " << std::hex << c.before;
        EXPECT_EQ(r.On("M1022"), c.carry) << c.line << " of " << std::hex << c.before;
    }
}

TEST(SimShifts, BitAndWordShifts) {
    Program r("SFTRP X0 M0 K16 K4\nSFTLP X0 M100 K8 K2\nWSFRP D0 D10 K4 K1\nWSFLP D0 D20 K4 K2\nSFTR X0 M200 K6 K4");
    r.Set("X0 X2", true);
    r.Set("M4", true);   // moves to M0
    r.Set("M15", true);  // moves to M11
    r.Set("M100", true); // moves to M102
    r.Set("M107", true); // falls out
    r.Set("M205", true);
    r.Put(0, {9, 8});
    r.Put(10, {1, 2, 3, 4});
    r.Put(20, {1, 2, 3, 4});
    r.Scan();
    EXPECT_EQ(r.Bits("M0 M4 M11 M15"), "1010");
    EXPECT_TRUE(r.On("M12")) << "X0 fills the top";
    EXPECT_FALSE(r.On("M13"));
    EXPECT_TRUE(r.On("M14")) << "X2";
    EXPECT_TRUE(r.On("M100")) << "X0 fills the bottom";
    EXPECT_EQ(r.Bits("M101 M102 M107"), "010");
    EXPECT_EQ(r.Ds({10, 12, 13, 20, 21, 22, 23}), (std::vector<long long>{2, 4, 9, 9, 8, 1, 2}));
    EXPECT_TRUE(r.On("M205")) << "a length that is no multiple of the step shifts nothing";
}

TEST(SimTables, ShiftRegisterWriteAndReadFirstInFirstOut) {
    Rig r(R"(
        LD X0
        SFWRP D0 D10 K4
        LD X1
        SFRDP D10 D20 K4
        END)");
    auto write = [&](int v) {
        r.D(0) = static_cast<std::uint16_t>(v);
        r.SetAndScan("X0", true);
        r.SetAndScan("X0", false);
    };
    auto read = [&]() {
        r.SetAndScan("X1", true);
        r.SetAndScan("X1", false);
        return r.D(20);
    };
    write(11);
    write(22);
    EXPECT_EQ(r.D(10), 2);
    EXPECT_FALSE(r.On("M1022"));
    write(33);
    EXPECT_EQ(r.D(10), 3);
    EXPECT_TRUE(r.On("M1022")) << "three entries fill a table of four words";
    write(44);
    EXPECT_EQ(r.D(10), 3) << "a full table takes nothing more";
    EXPECT_EQ(r.D(13), 33);
    EXPECT_EQ(read(), 11);
    EXPECT_EQ(r.Ds({10, 11}), (std::vector<long long>{2, 22}));
    EXPECT_FALSE(r.On("M1020"));
    EXPECT_EQ(read(), 22);
    EXPECT_EQ(read(), 33);
    EXPECT_TRUE(r.On("M1020")) << "empty";
    r.D(20) = 0;
    EXPECT_EQ(read(), 0) << "an empty table gives nothing";
    EXPECT_EQ(r.D(10), 0);
}

TEST(SimTables, ZoneReset) {
    Program r("ZRST M0 M10\nZRST D0 D5\nZRST T0 T2\nZRST D100 M100\nZRST D205 D200\nZRST C200 C201\nZRST S9 S9");
    for (const char* m : {"M0", "M10", "M11", "S9"}) r.Set(m, true);
    for (int i = 0; i <= 6; ++i) r.D(i) = 1;
    r.D(100) = 1;
    r.Set("M100", true);
    r.D(200) = 1, r.D(205) = 1;
    r.engine.Memory().TPV[2] = 9;
    r.Set("T2", true);
    r.engine.Memory().CPV32[1] = 70000;
    r.SetAndScan("C201", true);
    EXPECT_EQ(r.Bits("M0 M10 M11 S9"), "0010");
    EXPECT_EQ(r.Ds({5, 6}), (std::vector<long long>{0, 1}));
    EXPECT_EQ(r.TPV(2), 0);
    EXPECT_FALSE(r.On("T2"));
    EXPECT_EQ(r.engine.Memory().CPV32[1], 0);
    EXPECT_FALSE(r.On("C201"));
    EXPECT_EQ(r.D(100), 1) << "two arrays: nothing";
    EXPECT_TRUE(r.On("M100"));
    EXPECT_EQ(r.D(200), 1) << "first after last: nothing";
}

TEST(SimTables, SearchAndSort) {
    Program r("SER D0 K5 D20 K6\nDSER D40 K-1 D60 K3\nSER D0 K5 D30 K0\n"
          "SORT D100 K3 K2 D120 K2");
    r.Put(0, {7, 5, 3, 5, 9, 5});
    r.D32(40, -1), r.D32(42, 100000), r.D32(44, -1);
    r.D(30) = 77;
    // Three rows of two columns, column after column: (1, 30) (2, 10) (3, 20).
    r.Put(100, {1, 2, 3, 30, 10, 20});
    r.Scan();
    // The count, the first and last equal, the last below and the last above.
    EXPECT_EQ(r.Ds({20, 21, 22, 23, 24}), (std::vector<long long>{3, 1, 5, 2, 4}));
    EXPECT_EQ(r.D32(60), 2);
    EXPECT_EQ(r.D32(62), 0);
    EXPECT_EQ(r.D32(64), 2);
    EXPECT_EQ(r.D32(68), 1);
    EXPECT_EQ(r.D(30), 77) << "a count of 0 searches nothing";
    EXPECT_EQ(r.Ds({120, 121, 122, 123, 124, 125}), (std::vector<long long>{2, 3, 1, 10, 20, 30}));
}

TEST(SimConversions, DecimalCodesAndTheirRefusals) {
    Program r("BCD K1234 D0\nBCD K10000 D1\nDBCD K12345678 D2\nBIN H5000 D4\nDBIN H12345678 D6\nBCD K-1 D8");
    r.D(1) = 77;
    r.D(8) = 88;
    r.Scan();
    EXPECT_EQ(r.Ds({0, 1}), (std::vector<long long>{0x1234, 77}));
    EXPECT_EQ(r.D32(2), 0x12345678);
    EXPECT_EQ(r.D(4), 5000) << "every valid four-digit code converts";
    EXPECT_EQ(r.D32(6), 12345678);
    EXPECT_EQ(r.D(8), 88) << "a negative source is refused";
    EXPECT_EQ(r.Bits("M1067 M1068"), "11");

    Program bin("BIN H00AB D0\nBIN H0099 D1");
    bin.D(0) = 5;
    bin.Scan();
    EXPECT_EQ(bin.D(0), 5) << "a digit above 9 is refused";
    EXPECT_EQ(bin.D(1), 99);
    EXPECT_FALSE(bin.On("M1067")) << "the last conversion was good";
    bin.Load("LD X0\nBIN H00AB D0\nEND");
    bin.Set("X0", true);
    bin.Scan();
    EXPECT_EQ(bin.Bits("M1067 M1068"), "11");
}

TEST(SimConversions, FloatBothWaysAndGrayCode) {
    Program r("FLT D0 D10\nDFLT D2 D12\nGRY K5 D20\nGBIN K7 D21\nDGRY K100000 D22\nDGBIN D22 D24");
    r.D(0) = 3;
    r.D32(2, -100000);
    r.Scan();
    EXPECT_EQ(static_cast<std::uint32_t>(r.D32(10)), std::bit_cast<std::uint32_t>(3.0f));
    EXPECT_EQ(static_cast<std::uint32_t>(r.D32(12)), std::bit_cast<std::uint32_t>(-100000.0f));
    EXPECT_EQ(r.Ds({20, 21}), (std::vector<long long>{7, 5}));
    EXPECT_EQ(r.D32(22), 100000 ^ (100000 >> 1));
    EXPECT_EQ(r.D32(24), 100000);

    Program back("FLT D0 D10\nFLT D1 D12\nDFLT D2 D14");
    back.Set("M1023", true);
    back.D32(10, static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(-2.75f)));
    back.D32(12, static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(1e9f)));
    back.D32(14, static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(123456.5f)));
    back.Scan();
    EXPECT_EQ(back.SD(0), -2);
    EXPECT_EQ(back.SD(1), 32767) << "too large for 16 bits: the nearest end";
    EXPECT_EQ(back.D32(2), 123456);
}

TEST(SimConversions, DecodeEncodeSumBitOnAlternate) {
    Program r("DECO K3 M0 K3\nDECO D0 D1 K4\nENCO M20 D2 K3\nENCO D3 D4 K2\nENCO M40 D5 K3\n"
          "SUM D6 D7\nDSUM D8 D14\nBON D11 M50 K3\nDBON D12 M51 K20\nALT M60\nALTP M61");
    r.Set("M7", true);  // another output of the decoder goes off
    r.D(0) = 5;
    r.Set("M22 M25", true);
    r.D(3) = 0x0005;
    r.Put(5, {99, 0x80FF});  // the sign bit of D6 counts once
    r.D32(8, -1);
    r.D(11) = 0x0008;
    r.D32(12, 0x00100000);
    r.Scan();
    EXPECT_EQ(r.Bits("M3 M7"), "10");
    EXPECT_EQ(r.D(1), 32);
    EXPECT_EQ(r.D(2), 5) << "the highest ON bit";
    EXPECT_EQ(r.D(4), 2);
    EXPECT_EQ(r.D(5), 99) << "no bit ON leaves D";
    EXPECT_TRUE(r.On("M1067"));
    EXPECT_EQ(r.Ds({7, 14}), (std::vector<long long>{9, 32}));
    EXPECT_EQ(r.Bits("M1020 M50 M51 M60 M61"), "01111");
    r.D(11) = 0;
    r.Scan();
    EXPECT_FALSE(r.On("M50")) << "BON follows the bit";
    EXPECT_FALSE(r.On("M60")) << "ALT flips at every scan";
    EXPECT_TRUE(r.On("M61")) << "ALTP flips once per edge";

    Program zero("SUM D0 D1");
    zero.Scan();
    EXPECT_TRUE(zero.On("M1020"));
}

TEST(SimConversions, SevenSegmentsAndCharacters) {
    Program r("SEGD K8 D0\nSEGD K15 D1\nASCI D10 D20 K4\nHEX D20 D30 K4\nASCI D10 D40 K3\nCCD D20 D50 K4");
    r.D(10) = 0x12AB;
    r.Scan();
    EXPECT_EQ(r.Ds({0, 1}), (std::vector<long long>{0x7F, 0x71}));
    EXPECT_EQ(r.D(20), '1' | ('2' << 8));
    EXPECT_EQ(r.D(21), 'A' | ('B' << 8));
    EXPECT_EQ(r.D(30), 0x12AB);
    EXPECT_EQ(r.D(40), '2' | ('A' << 8)) << "the lowest three digits, most significant first";
    EXPECT_EQ(r.D(41), 'B') << "an odd last character with a zero high byte";
    EXPECT_EQ(r.D(50), '1' + '2' + 'A' + 'B');
    const int columns = '1' ^ '2' ^ 'A' ^ 'B';
    int parity = 0;
    for (int j = 0; j < 8; ++j)
        if (columns & (1 << j)) parity |= 0x80 >> j;
    EXPECT_EQ(r.D(51), parity);

    Program one("ASCI D10 D20 K2\nHEX D20 D30 K2\nHEX D40 D31 K1");
    one.Set("M1161", true);
    one.D(10) = 0x00C5;
    one.D(31) = 7;
    one.D(40) = 'G';
    one.Scan();
    EXPECT_EQ(one.D(20), 'C') << "one character per word";
    EXPECT_EQ(one.Ds({21, 30}), (std::vector<long long>{'5', 0xC5}));
    EXPECT_EQ(one.D(31), 7) << "G is no hexadecimal digit";
    EXPECT_TRUE(one.On("M1067"));
}

TEST(SimTime, CompareAddSubtractReadAndWriteTimes) {
    Program r("TCMP K10 K30 K0 D0 M0\nTZCP D10 D13 D0 M10\nTADD D20 D23 D26\nTSUB D30 D33 D36\n"
          "TWR D40\nTRD D50");
    r.Put(0, {10, 30, 1});
    r.Put(10, {8, 0, 0, 17, 0, 0});
    r.Put(20, {23, 59, 30, 0, 1, 0});
    r.Put(30, {0, 0, 10, 0, 0, 20});
    for (int i = 0; i < 7; ++i) r.D(40 + i) = static_cast<std::uint16_t>(2026 + i);
    r.Scan();
    EXPECT_TRUE(r.On("M0")) << "10:30:00 is before 10:30:01";
    EXPECT_EQ(r.Bits("M1 M2"), "00");
    EXPECT_TRUE(r.On("M11")) << "inside the zone";
    EXPECT_EQ(r.Ds({26, 27}), (std::vector<long long>{0, 0}));
    EXPECT_EQ(r.D(28), 30) << "past midnight";
    EXPECT_EQ(r.Ds({36, 37, 38}), (std::vector<long long>{23, 59, 50}));
    EXPECT_TRUE(r.On("M1021")) << "back past midnight";
    EXPECT_FALSE(r.On("M1067"));
    for (int i = 0; i < 7; ++i) EXPECT_EQ(r.D(50 + i), 2026 + i) << "TRD reads what TWR set";
    EXPECT_EQ(r.D(1018), 2026);

    Program carry("TADD D20 D23 D26");
    carry.Put(20, {23, 59, 30, 0, 1});
    carry.Scan();
    EXPECT_EQ(carry.Flags(), "001");

    Program bad("TADD D20 D23 D26\nTCMP K24 K0 K0 D0 M0");
    bad.D(21) = 60;  // no such minute
    bad.D(26) = 5;
    bad.Scan();
    EXPECT_EQ(bad.D(26), 5);
    EXPECT_EQ(bad.Bits("M1067 M1"), "10");
}

// Instructions that a PC cannot act out (motion, pulse output, communication)
// pass without touching their operands.
TEST(SimApplied, MotionAndCommunicationRowsChangeNothing) {
    for (int row : {inst::MODRW, inst::PWD, inst::RTMU, inst::RTMD, inst::ABSR, inst::DABSR, inst::ZRN,
                    inst::DZRN, inst::PLSV, inst::DPLSV, inst::DRVI, inst::DDRVI, inst::DRVA, inst::DDRVA,
                    inst::PLSY, inst::FROM, inst::TO, inst::RS, inst::PID, inst::MODRD, inst::EADD, inst::HOUR}) {
        EXPECT_EQ(SimAppliedBody(row), nullptr) << gInstMnemonic[row];
    }
    for (int row : {inst::TCMPP, inst::TZCPP, inst::TADDP, inst::TSUBP, inst::MOVP, inst::DMOVP, inst::DBCDP,
                    inst::TRDP, inst::TWRP, inst::GRYP, inst::DGBINP, inst::WSFRP, inst::ALTP, inst::CCDP}) {
        EXPECT_NE(SimAppliedBody(row), nullptr) << gInstMnemonic[row];
    }
}

}  // namespace

// A program read from a file or a PLC may name a device the model lacks; the
// run gives no such device a value, whichever body would write it: a timer
// past the last T (the default model's last is T127) never runs nor closes,
// PRUN's octal group of M puts nothing past the last M (M1279), a compare's
// third result after the last M is dropped. The same program on a model that
// has the devices runs them.
TEST(SimApplied, NoBodyGivesADeviceTheModelLacksAValue) {
    struct Row {
        const char* path;
        int family;
        const char* program;   // after LD X0
        const char* device;    // the device the row watches
        bool on;               // what it holds after the run
    };
    const Row rows[] = {
        {"family 0: TMR T200 runs no timer past T127", 0, "TMR T200 K2\nLD T200\nOUT Y0", "T200", false},
        {"family 0: nothing follows from a T200 that never closes", 0, "TMR T200 K2\nLD T200\nOUT Y0", "Y0", false},
        {"family 1: T200 runs and closes", 1, "TMR T200 K2\nLD T200\nOUT Y0", "Y0", true},
        {"family 0: a timer at T127 runs", 0, "TMR T127 K2\nLD T127\nOUT Y0", "Y0", true},
        {"family 0: PRUN's K4M1264 puts nothing into M1280", 0, "PRUN K4X0 K4M1264", "M1280", false},
        {"family 0: PRUN's K4M1264 holds M1277", 0, "PRUN K4X0 K4M1264", "M1277", true},
        {"family 1: PRUN's K4M1264 holds M1281", 1, "PRUN K4X0 K4M1264", "M1281", true},
        {"family 0: CMP's third result after M1279 is dropped", 0, "CMP K2 K1 M1279", "M1281", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        Program p(r.program);
        SetSimFamily(p.engine.Memory(), r.family);
        p.Set("X0 X1 X2 X3 X4 X5 X6 X7 X10 X11 X12 X13 X14 X15 X16 X17", true);
        for (int i = 0; i < 5; ++i) p.After(1000);
        EXPECT_EQ(p.On(r.device), r.on);
    }
    // ZRST over a range running past the last D clears the model's registers
    // only; D1400 is no register of the default model (its last is D1311).
    for (const int family : {0, 1}) {
        SCOPED_TRACE(family == 0 ? "family 0: ZRST D1300 D2000 stops at D1311" : "family 1: ZRST D1300 D2000 clears D1400");
        Program p("ZRST D1300 D2000");
        SetSimFamily(p.engine.Memory(), family);
        p.Set("X0", true);
        p.D(1311) = 5, p.D(1400) = 7;
        p.Scan();
        EXPECT_EQ(p.D(1311), 0);
        EXPECT_EQ(p.D(1400), family == 0 ? 7 : 0);
    }
}
