// Programs in instruction-list text, run for a number of scans and clock
// milliseconds, against the device states a PLC would show.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/InstructionTable.h"
#include "tests/simulator/SimRig.h"

using simtest::Rig;

namespace {

TEST(SimContacts, SeriesParallelAndBlocks) {
    Rig r("LD X0\nAND X1\nLD X2\nANI X3\nORB\nOUT Y0\nLDI X0\nOR X4\nLD X5\nORI X6\nANB\nOUT Y1\n"
        "LD X7\nINV\nOUT Y2\nEND");
    struct Case {
        const char* on[4];
        bool y0, y1, y2;
    };
    const Case cases[] = {
        {{"X0", "X1"}, true, false, true},
        {{"X2"}, true, true, true},
        {{"X2", "X3", "X6"}, false, false, true},
        {{"X0", "X4", "X6", "X7"}, false, false, false},
        {{"X0", "X4", "X5", "X7"}, false, true, false},
    };
    for (const Case& c : cases) {
        for (const char* x : {"X0", "X1", "X2", "X3", "X4", "X5", "X6", "X7"}) r.Set(x, false);
        for (const char* x : c.on)
            if (x) r.Set(x, true);
        r.Scan();
        EXPECT_EQ(r.On("Y0"), c.y0) << c.on[0];
        EXPECT_EQ(r.On("Y1"), c.y1) << c.on[0];
        EXPECT_EQ(r.On("Y2"), c.y2) << c.on[0];
    }
}

TEST(SimContacts, BranchStackHoldsNineEntries) {
    std::string program = "LD X0\n";
    for (int i = 0; i < 10; ++i) program += "MPS\n";
    program += "LD X1\n";
    for (int i = 0; i < 9; ++i) program += "MPP\n";
    program += "OUT Y0\nINV\nMPP\nOUT Y1\nEND";
    Rig r(program);
    r.SetAndScan("X0", true);
    EXPECT_TRUE(r.On("Y0")) << "nine saved entries come back";
    EXPECT_FALSE(r.On("Y1")) << "the tenth MPS saved nothing, so MPP on an empty stack changes nothing";
}

TEST(SimContacts, MpsMrdMppShareOneBranchPoint) {
    Rig r("LD X0\nMPS\nAND X1\nOUT Y0\nMRD\nAND X2\nOUT Y1\nMPP\nAND X3\nOUT Y2\nEND");
    r.SetAndScan("X0 X2 X3", true);
    EXPECT_EQ(r.Bits("Y0 Y1 Y2"), "011");
    r.SetAndScan("X0", false);
    EXPECT_EQ(r.Bits("Y1 Y2"), "00");
}

TEST(SimContacts, EdgeContactsAndPulses) {
    Rig r("LDP X0\nOUT Y0\nLDF X0\nOUT Y1\nLD X1\nANDP X0\nOUT Y2\nLD X2\nORF X0\nOUT Y3\nLD X0\n"
        "PLS M0\nLD X0\nPLF M1\nEND");
    r.SetAndScan("X1", true);
    EXPECT_FALSE(r.On("Y0"));
    r.SetAndScan("X0", true);
    EXPECT_EQ(r.Bits("Y0 Y2 M0 Y1"), "1110");
    r.Scan();
    EXPECT_FALSE(r.On("Y0")) << "an edge lasts one scan";
    EXPECT_EQ(r.Bits("Y2 M0"), "00");
    r.SetAndScan("X0", false);
    EXPECT_EQ(r.Bits("Y1 Y3 M1"), "111");
    r.Scan();
    EXPECT_EQ(r.Bits("Y1 Y3 M1"), "000");
}

TEST(SimContacts, CompareContacts) {
    Rig r("LD= D0 K5\nOUT Y0\nLD X0\nAND> D0 K3\nOUT Y1\nLD X1\nOR< D0 K-1\nOUT Y2\n"
        "DLD>= D10 K70000\nOUT Y3\nLD<> D0E K5\nOUT Y4\nEND");
    r.D(0) = 5;
    r.Set("X0", true);
    r.D(10) = 70000 & 0xFFFF;
    r.D(11) = 70000 >> 16;
    r.Scan();
    EXPECT_EQ(r.Bits("Y0 Y1 Y2 Y3 Y4"), "11010");
    r.D(0) = static_cast<std::uint16_t>(-2);  // compares are signed
    r.D(10) -= 1;
    r.D(1028) = 1;                            // E: D0E is D1
    r.Scan();
    EXPECT_EQ(r.Bits("Y0 Y1 Y2 Y3 Y4"), "00101");
}

TEST(SimContacts, LongFormsReachTheHighRelays) {
    Rig r("LD M1536\nOUT M2000\nLDI M4095\nSET M3000\nEND");
    r.SetAndScan("M1536 M4095", true);
    EXPECT_EQ(r.Bits("M2000 M3000"), "10");
    r.SetAndScan("M4095 M1536", false);
    EXPECT_EQ(r.Bits("M2000 M3000"), "01");
}

TEST(SimCoils, SetAndResetLatch) {
    Rig r("LD X0\nSET Y0\nLD X1\nRST Y0\nLD X1\nRST D5\nEND");
    r.D(5) = 99;
    r.SetAndScan("X0", true);
    r.SetAndScan("X0", false);
    EXPECT_TRUE(r.On("Y0"));
    EXPECT_EQ(r.D(5), 99);
    r.SetAndScan("X1", true);
    EXPECT_FALSE(r.On("Y0"));
    EXPECT_EQ(r.D(5), 0);
}

// A timer reaches its set value after set-value ticks and closes its contact on
// the tick after that; with K0 it closes on the first tick.
TEST(SimTimers, EachResolutionClosesOnTheTickAfterReachingItsSetValue) {
    Rig r("LD X0\nTMR T0 K10\nLD X0\nTMR T200 K5\nLD X0\nTMR T246 K7\nLD X0\nTMR T247 K0\nEND");
    r.SetAndScan("X0", true);
    r.After(1);
    EXPECT_TRUE(r.On("T247")) << "K0 closes on the first tick";
    r.After(6);  // 7 ms
    EXPECT_EQ(r.TPV(246), 7);
    EXPECT_FALSE(r.On("T246"));
    r.After(1);  // 8 ms
    EXPECT_TRUE(r.On("T246")) << "1 ms timer";
    EXPECT_EQ(r.TPV(246), 7);
    r.After(42);  // 50 ms
    EXPECT_EQ(r.TPV(200), 5);
    EXPECT_FALSE(r.On("T200")) << "five 10 ms ticks reach the set value";
    r.After(9);  // 59 ms
    EXPECT_FALSE(r.On("T200"));
    r.After(1);  // 60 ms
    EXPECT_TRUE(r.On("T200")) << "10 ms timer";
    r.After(940);  // 1000 ms
    EXPECT_EQ(r.TPV(0), 10);
    EXPECT_FALSE(r.On("T0")) << "ten 100 ms ticks reach the set value";
    r.After(100);  // 1100 ms
    EXPECT_TRUE(r.On("T0")) << "100 ms timer closes on the eleventh tick";
    r.After(5000);
    EXPECT_EQ(r.TPV(0), 10) << "a timer stops at its set value";
}

TEST(SimTimers, RungOffClearsOnlyTheNonRetentiveTimers) {
    Rig r("LD X0\nTMR T10 K5\nLD X0\nTMR T250 K5\nLD X0\nTMR T247 K900\nLD X1\nRST T250\nEND");
    r.SetAndScan("X0", true);
    r.After(600);
    EXPECT_EQ(r.Bits("T10 T250"), "11");
    EXPECT_EQ(r.TPV(247), 600);
    r.SetAndScan("X0", false);
    EXPECT_FALSE(r.On("T10"));
    EXPECT_EQ(r.TPV(10), 0);
    EXPECT_TRUE(r.On("T250"));
    EXPECT_EQ(r.TPV(250), 5);
    r.After(1000);
    EXPECT_EQ(r.TPV(247), 600) << "a retentive timer holds while its rung is off";
    r.SetAndScan("X0", true);
    r.After(300);
    EXPECT_EQ(r.TPV(247), 900) << "and goes on from there";
    EXPECT_FALSE(r.On("T247"));
    r.After(1);
    EXPECT_TRUE(r.On("T247"));
    r.SetAndScan("X1", true);
    EXPECT_FALSE(r.On("T250"));
    EXPECT_EQ(r.TPV(250), 0);
}

TEST(SimTimers, SetValueFromARegisterIsReadEveryScan) {
    Rig r("LD X0\nTMR T1 D100\nEND");
    r.D(100) = 3;
    r.SetAndScan("X0", true);
    r.After(250);
    EXPECT_EQ(r.engine.Memory().TSV[1], 3);
    EXPECT_EQ(r.TPV(1), 2);
    EXPECT_FALSE(r.On("T1"));
    r.D(100) = 2;
    r.Scan();
    EXPECT_EQ(r.engine.Memory().TSV[1], 2);
    r.After(50);
    EXPECT_TRUE(r.On("T1"));
    EXPECT_EQ(r.TPV(1), 2);
}

TEST(SimTimeBase, NoPeriodIsLostInALongInterval) {
    Rig r("LD X0\nTMR T200 K1000\nLD X0\nTMR T246 K1000\nLD X0\nTMR T0 K1000\nEND");
    r.SetAndScan("X0", true);
    r.engine.AdvanceTimeUnits(25);
    EXPECT_EQ(r.TPV(246), 25);
    EXPECT_EQ(r.TPV(200), 2);
    r.engine.AdvanceTimeUnits(5);
    EXPECT_EQ(r.TPV(200), 3) << "the 5 units kept over complete the third period";
    r.After(2570);  // one stall of 2.57 s
    EXPECT_EQ(r.TPV(0), 26);
    EXPECT_EQ(r.TPV(200), 260);
}

TEST(SimTimeBase, ClockRelayPeriods) {
    Rig r("END");
    const char* relays[] = {"M1011", "M1012", "M1013", "M1014"};
    const int half[] = {5, 50, 500, 30000};
    for (int i = 0; i < 4; ++i) {
        Rig c("END");
        c.After(half[i] - 1);
        EXPECT_FALSE(c.On(relays[i]));
        c.After(1);
        EXPECT_TRUE(c.On(relays[i])) << relays[i];
        c.After(half[i]);
        EXPECT_FALSE(c.On(relays[i])) << relays[i] << " has a period of " << 2 * half[i] << " ms";
    }
    r.After(7);  // one toggle, 2 ms kept
    EXPECT_TRUE(r.On("M1011"));
    r.After(3);
    EXPECT_FALSE(r.On("M1011"));
    r.After(20);  // four toggles in one go
    EXPECT_FALSE(r.On("M1011"));
    r.After(15);
    EXPECT_TRUE(r.On("M1011"));
}

TEST(SimCounters, CountRisingEdgesUpToTheSetValue) {
    Rig r("LD X0\nCNT C0 K3\nLD X1\nRST C0\nEND");
    for (int i = 0; i < 2; ++i) {
        r.Set("X0", true);
        r.Scan(3);  // a rung that stays on counts once
        r.SetAndScan("X0", false);
    }
    EXPECT_EQ(r.CPV(0), 2);
    EXPECT_FALSE(r.On("C0"));
    r.SetAndScan("X0", true);
    EXPECT_TRUE(r.On("C0"));
    for (int i = 0; i < 3; ++i) {
        r.SetAndScan("X0", false);
        r.SetAndScan("X0", true);
    }
    EXPECT_EQ(r.CPV(0), 3);
    r.SetAndScan("X1", true);
    EXPECT_FALSE(r.On("C0"));
    EXPECT_EQ(r.CPV(0), 0);
}

TEST(SimCounters, ThirtyTwoBitCounter) {
    Rig r("LD X0\nDCNT C200 K70000\nLD X1\nRST C200\nEND");
    r.engine.Memory().CPV32[0] = 69998;
    for (int i = 0; i < 2; ++i) {
        r.SetAndScan("X0", true);
        r.SetAndScan("X0", false);
    }
    EXPECT_EQ(r.engine.Memory().CPV32[0], 70000);
    EXPECT_EQ(r.engine.Memory().CSV32[0], 70000);
    EXPECT_TRUE(r.On("C200"));
    for (int i = 0; i < kSimC16; ++i) ASSERT_EQ(r.CPV(i), 0) << "the 16-bit counters are untouched";
    r.SetAndScan("X1", true);
    EXPECT_FALSE(r.On("C200"));
    EXPECT_EQ(r.engine.Memory().CPV32[0], 0);
}

TEST(SimSteps, TwoStepSequenceWithTransfer) {
    Rig r("LD X0\nSET S0\nSTL S0\nOUT Y0\nOUT Y5\nLD X1\nSET S1\nSTL S1\nOUT Y1\nOUT Y5\nLD X2\n"
        "TMR T0 K5\nLD T0\nOUT S0\nRET\nLD S1\nOUT Y7\nEND");
    r.Scan();
    EXPECT_FALSE(r.On("Y0")) << "an inactive step does nothing";
    r.SetAndScan("X0", true);
    r.Set("X0", false);
    EXPECT_EQ(r.Bits("S0 Y0"), "11");
    r.SetAndScan("X1 X2", true);
    r.Set("X1", false);
    EXPECT_FALSE(r.On("S0")) << "the transfer resets the source step";
    EXPECT_EQ(r.Bits("S1 Y1"), "11");
    EXPECT_TRUE(r.On("Y7")) << "RET returns to the left rail";
    r.Scan();
    EXPECT_FALSE(r.On("Y0")) << "a step's coils drop when it goes off";
    EXPECT_TRUE(r.On("Y5")) << "a coil of the active step is not reset by the inactive one";
    r.After(599);  // K5 of 100 ms ticks: the contact closes on the sixth
    EXPECT_TRUE(r.On("S1"));
    r.After(1);
    EXPECT_EQ(r.Bits("S0 S1"), "10");
    r.Scan();
    EXPECT_EQ(r.Bits("Y0 Y1"), "10");
    EXPECT_FALSE(r.On("T0")) << "the step's timer is reset";
    EXPECT_EQ(r.TPV(0), 0);
}

TEST(SimSteps, SeveralStepsDriveOneCoil) {
    Rig r("STL S0\nOUT Y5\nSTL S1\nOUT Y5\nRET\nEND");
    r.Set("S0", true);
    r.Scan(3);
    EXPECT_TRUE(r.On("Y5")) << "the inactive step after the active one leaves the coil alone";
    r.SetAndScan("S0", false);
    EXPECT_FALSE(r.On("Y5"));
}

TEST(SimSteps, ConsecutiveStepsNeedAllOfThem) {
    Rig r("STL S10\nSTL S11\nOUT Y0\nLD X0\nSET S12\nRET\nEND");
    r.SetAndScan("S10 X0", true);
    EXPECT_EQ(r.Bits("Y0 S12"), "00");
    r.SetAndScan("S11", true);
    EXPECT_EQ(r.Bits("S12 S10 S11"), "100");
}

TEST(SimSteps, OnlyStepRelaysAreTransferSources) {
    // A damaged step word naming X0 gates its block like a contact, but the
    // transfer out of that block leaves the input alone.
    Rig r("");
    r.LoadWords({0xA400 /* STL X0 */, 0xD001 /* SET S1 */, 0x000E /* RET */, 0x000F /* END */});
    r.SetAndScan("X0", true);
    EXPECT_EQ(r.Bits("S1 X0"), "11");
}

TEST(SimCoils, OutputsNeverDriveInputs) {
    // 0xC400 is the word a failed compile leaves behind; it reads as OUT X0.
    // Neither it nor a SET of an input may change what the outside drives.
    Rig r("");
    r.LoadWords({0x2401 /* LD X1 */, 0xC400 /* OUT X0 */, 0x2401, 0xD402 /* SET X2 */, 0x2401, 0xC500 /* OUT Y0 */,
                 0x000F});
    r.SetAndScan("X1", true);
    EXPECT_EQ(r.Bits("X0 X2"), "00");
    EXPECT_TRUE(r.On("Y0")) << "the rung itself ran";
    r.Set("X0", true);
    r.SetAndScan("X1", false);
    EXPECT_TRUE(r.On("X0")) << "an input stays as it was set";
}

TEST(SimFlow, ConditionalJumpSkipsABlock) {
    Rig r("LD X0\nCJ P1\nLD X1\nOUT Y0\nP1\nLD X1\nOUT Y1\nEND");
    r.SetAndScan("X1", true);
    EXPECT_TRUE(r.On("Y0"));
    r.Set("X0", true);
    r.SetAndScan("X1", false);
    EXPECT_TRUE(r.On("Y0")) << "the skipped coil keeps its state";
    EXPECT_FALSE(r.On("Y1"));
    r.SetAndScan("X0", false);
    EXPECT_FALSE(r.On("Y0"));
}

TEST(SimFlow, SubroutineAfterFend) {
    Rig r("LD X0\nCALL P2\nLD X1\nOUT Y1\nFEND\nP2\nLD X2\nOUT Y2\nSRET\nEND");
    r.SetAndScan("X0 X1 X2", true);
    EXPECT_TRUE(r.On("Y2"));
    EXPECT_TRUE(r.On("Y1")) << "the main program goes on after the call";
    r.SetAndScan("X0 X2", false);
    EXPECT_TRUE(r.On("Y2")) << "the subroutine does not run inline after FEND";
    r.SetAndScan("X0", true);
    EXPECT_FALSE(r.On("Y2"));
}

TEST(SimFlow, PulseCallRunsOncePerEdge) {
    Rig r("LD X0\nCALLP P3\nFEND\nP3\nLD M0\nINV\nOUT M0\nSRET\nEND");
    r.Set("X0", true);
    r.Scan(3);
    EXPECT_TRUE(r.On("M0")) << "called once: toggled once";
}

TEST(SimFlow, EndlessJumpIsStopped) {
    Rig r("P0\nLD X0\nCJ P0\nOUT Y0\nEND");
    r.Set("X0", true);
    EXPECT_EQ(r.Scan(), TSimScanEnd::Runaway);
    EXPECT_LT(r.engine.RunawayOffset(), 12u);
    r.Set("X0", false);
    EXPECT_EQ(r.Scan(), TSimScanEnd::End);
}

TEST(SimFlow, InterruptInstructionsDoNothing) {
    Rig r("EI\nLD X0\nIRET\nOUT Y0\nDI\nEND");
    r.Set("X0", true);
    EXPECT_EQ(r.Scan(), TSimScanEnd::End);
    EXPECT_TRUE(r.On("Y0"));
}

// Also: a coil follows its rung in the same scan.
TEST(SimFlow, ScanEndsAtEndOrAtTheImageEnd) {
    Rig r("LD X0\nOUT Y0\nEND\nLD X0\nOUT Y1");
    r.Set("X0", true);
    EXPECT_EQ(r.Scan(), TSimScanEnd::End);
    EXPECT_TRUE(r.On("Y0"));
    EXPECT_FALSE(r.On("Y1")) << "nothing after END runs";
    EXPECT_EQ(r.engine.SimScanTime(), 0u) << "no time passed on the clock";

    r.Load("LD X0\nOUT Y0");
    r.Set("X0", true);
    EXPECT_EQ(r.Scan(), TSimScanEnd::ImageEnd);
    EXPECT_TRUE(r.On("Y0"));
}

// Runs of empty steps inside a program, inside a step block and at the image
// end are passed in one go: every instruction after a run still runs, and an
// inactive step block is still passed up to its RET.
TEST(SimFlow, RunsOfEmptyStepsArePassed) {
    Rig r("");
    r.LoadWords({0x2400 /* LD X0 */, 0xFFFF, 0xFFFF, 0xC500 /* OUT Y0 */, 0xFFFF, 0x2401 /* LD X1 */,
                 0xC501 /* OUT Y1 */, 0xA00A /* STL S10 */, 0xFFFF, 0xC502 /* OUT Y2 */, 0xFFFF, 0xFFFF,
                 0x000E /* RET */, 0xFFFF, 0x2400 /* LD X0 */, 0xC503 /* OUT Y3 */},
                64);
    const std::vector<TSimStep>& steps = r.engine.Steps();
    ASSERT_EQ(steps.size(), 32u);
    // Each empty step leads to the first step after its run; the run at the
    // image end leads past the last step.
    const std::pair<std::size_t, std::uint32_t> empties[] = {{1, 3}, {2, 3}, {4, 5}, {8, 9}, {10, 12},
                                                             {11, 12}, {13, 14}, {16, 32}, {31, 32}};
    for (const auto& [step, target] : empties) EXPECT_EQ(steps[step].target, target) << "step " << step;
    EXPECT_EQ(steps[7].target, 12u) << "the step block ends at its RET";

    r.Set("X0 X1", true);
    EXPECT_EQ(r.Scan(), TSimScanEnd::ImageEnd);
    EXPECT_EQ(r.Bits("Y0 Y1 Y2 Y3"), "1101");
    r.SetAndScan("S10", true);
    EXPECT_EQ(r.Bits("Y0 Y1 Y2 Y3"), "1111");
}

// Every row of the table advances by its length and never leaves the program.
TEST(SimRows, EveryRowRunsAndAdvances) {
    std::vector<std::uint8_t> image;
    int rows = 0;
    for (int i = 0; i < kInstCount; ++i) {
        if (i == inst::END || i == inst::FEND || i == inst::SRET) continue;  // these end the scan
        std::uint16_t word = gInstOpcode[i];
        if (OpcodeToIndex(word) != i) continue;  // rows sharing a word with another (none expected)
        image.push_back(static_cast<std::uint8_t>(word));
        image.push_back(static_cast<std::uint8_t>(word >> 8));
        for (int b = 2; b < gInstLength[i]; b += 4) {  // K0 records
            const std::uint8_t rec[4] = {0, 0x80, 0, 0x80};
            image.insert(image.end(), rec, rec + 4);
        }
        image.resize(image.size() - ((gInstLength[i] - 2) % 4 ? 2 : 0));
        ++rows;
    }
    image.push_back(0x0F);
    image.push_back(0x00);
    ASSERT_GE(rows, kInstCount - 4);
    image.resize(31744, 0xFF);

    qel::ManualClock clock;
    TSimEngine e(clock);
    e.LoadProgram(image.data(), image.size());
    e.ResetSimulator();
    SetSimBitAt(e.Memory(), kBitS, true);  // so the STL block runs
    for (int x = 0; x < 8; ++x) SetSimBitAt(e.Memory(), kBitX + x, true);
    EXPECT_EQ(e.RunSimScan(), TSimScanEnd::End);
    EXPECT_EQ(e.Steps().at(static_cast<std::size_t>(rows)).index, inst::END);
    std::uint32_t offset = 0;
    for (int s = 0; s <= rows; ++s) {
        EXPECT_EQ(e.Steps()[static_cast<std::size_t>(s)].offset, offset);
        offset += e.Steps()[static_cast<std::size_t>(s)].length;
    }
}

TEST(SimRows, InstructionCutByTheImageEndIsNotRun) {
    std::vector<std::uint8_t> image(3616, 0xFF);
    image[3612] = 0x03;  // TMR needs 8 bytes, 4 are left
    image[3613] = 0x00;
    image[3614] = 0x00;
    image[3615] = 0x81;
    qel::ManualClock clock;
    TSimEngine e(clock);
    e.LoadProgram(image.data(), image.size());
    EXPECT_EQ(e.Steps().back().offset, 3610u);
    EXPECT_EQ(e.RunSimScan(), TSimScanEnd::ImageEnd);
}

// An edited program put into a run between two scans: an edge instruction
// fires neither again (it was there) nor at once (it is new), the counter
// keeps its count, and a timer no instruction drives any more stops.
TEST(SimFollow, AnEditedProgramGoesOnFromTheStatesOfTheRun) {
    Rig r("LD X0\nCNT C0 K5\nLD X0\nPLS M0\nLD X1\nTMR T0 K100\nEND");
    r.Set("X0 X1", true);
    r.Scan(2);
    r.After(300);
    ASSERT_EQ(r.CPV(0), 1);
    ASSERT_EQ(r.TPV(0), 3);
    const auto edited = simtest::Assemble("LD X2\nOUT Y2\nLD X0\nCNT C0 K5\nLD X0\nPLS M0\nLD X0\nPLS M1\nEND");
    r.engine.FollowProgram(edited.data(), edited.size());
    r.After(1000);
    EXPECT_EQ(r.Bits("M0 M1"), "00") << "no pulse from the swap";
    EXPECT_EQ(r.CPV(0), 1);
    EXPECT_EQ(r.TPV(0), 3) << "T0 has no TMR left";
    r.SetAndScan("X0", false);
    r.SetAndScan("X0", true);
    EXPECT_EQ(r.Bits("M0 M1"), "11") << "edges after the swap fire";
    EXPECT_EQ(r.CPV(0), 2);
}

// An edit hands each instruction's memory to that same instruction, found as
// the edit changed the program, never to another of the same code (the
// editors' own paths are tried through the windows). The run starts with X0
// and X1 ON, X2 OFF; `on` is switched on after the first scans.
TEST(SimFollow, EachInstructionKeepsItsOwnMemoryThroughAnEdit) {
    const auto times = [](int n, const char* lines) {
        std::string text;
        for (int i = 0; i < n; ++i) text += lines;
        return text;
    };
    const struct {
        const char* path;
        std::string before;
        const char* on;
        std::string after;
        std::vector<long long> d0to3;
        const char* steps;  // S20 S21
    } rows[] = {
        {"MoveTheOnRungAboveTheOffRungInOneSwap", "LD X2\nINCP D0\nLD X0\nINCP D0\nEND", "",
         "LD X0\nINCP D0\nLD X2\nINCP D0\nEND", {1, 0, 0, 0}, "00"},
        {"InsertAStepBlockAboveAStepsTransition",
         "LDP X1\nSET S20\nSTL S20\nLDP X0\nAND M0\nSET S21\nSTL S30\nLDP X0\nSET S31\nRET\nEND", "M0",
         "LDP X1\nSET S20\nSTL S30\nLDP X0\nSET S31\nSTL S20\nLDP X0\nAND M0\nSET S21\nSTL S30\nLDP X0\nSET S31\nRET\nEND",
         {0, 0, 0, 0}, "10"},
        {"ContactsEditedBeforeAPulse", "LD X0\nINCP D0\nEND", "", "LD X0\nAND X1\nINCP D0\nEND", {1, 0, 0, 0},
         "00"},
        {"NewPulseBesideAnOldOne", "LD X0\nINCP D0\nEND", "", "LD X0\nINCP D0\nLD X0\nINCP D3\nEND",
         {1, 0, 0, 0}, "00"},
        {"BranchOfTheSamePulseAddedBelowAnOffBranch", "LD X0\nMPS\nAND X1\nINCP D0\nMPP\nAND X2\nINCP D0\nEND", "",
         "LD X0\nMPS\nAND X1\nINCP D0\nMRD\nAND X2\nINCP D0\nMPP\nAND X1\nINCP D0\nEND", {1, 0, 0, 0}, "00"},
        {"OffBranchDeletedBelowAPulseAtTheBranchPoint", "LD X0\nMPS\nINCP D0\nMPP\nAND X2\nINCP D0\nEND", "",
         "LD X0\nINCP D0\nEND", {1, 0, 0, 0}, "00"},
        // More rungs changed than the comparison works out: the rungs before
        // and after them still keep their memory, so the last one's pulse
        // fires on M5, which the new rungs switch on in the first scan.
        {"MiddleOfALongProgramReplacedPastTheComparisonsLimit",
         "LD X0\nINCP D1\n" + times(501, "LD X2\nOUT M6\n") + "LD M5\nINCP D0\nEND", "",
         "LD X0\nINCP D1\n" + times(501, "LD X0\nOUT M5\n") + "LD M5\nINCP D0\nEND", {1, 1, 0, 0}, "00"},
    };
    // Room for the long program.
    constexpr std::size_t kImage = 7584;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        Rig r(row.before, kImage);
        r.Set("X0 X1", true);
        r.Scan(3);
        r.Set(row.on, true);
        r.Scan(3);
        const auto edited = simtest::Assemble(row.after, kImage);
        r.engine.FollowProgram(edited.data(), edited.size());
        r.Scan(3);
        EXPECT_EQ(r.Ds({0, 1, 2, 3}), row.d0to3);
        EXPECT_EQ(r.Bits("S20 S21"), row.steps);
    }
}

}  // namespace
