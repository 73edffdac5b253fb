// An operand is judged by every register and bit it reaches, the same way on
// every path that brings it in: a digit group by all its 4n bits, a 16-bit
// MUL's product by both registers, DIV's quotient and remainder, the three
// result bits of CMP and ZCP, PRUN's digit groups of M in octal. Family 0 is
// the default model (last M1279, S127, D1311, Y177); family 1 has M4095,
// S1023, D9999; family 2 M4095, S1023, D4999.
// Pulse and 32-bit forms reach as their plain rows do at their width; an index
// suffix is judged by the number written, and a refusal names the operand
// with it, as the cell shows it.
#include "tests/ladder/editor/OperandPathsFixture.h"

namespace {

const OperandRow kRows[] = {
    {"family 0: K4M1270 covers M1270-M1285 past M1279", 0, "MOV K4M1270 D0", "K4M1270", "K4M100", false},
    {"family 0: K4M1264 ends on M1279", 0, "MOV K4M1264 D0", "K4M1264", "K4M100", true},
    {"family 0: DMOV K8M1250 covers M1250-M1281", 0, "DMOV K8M1250 D0", "K8M1250", "K8M100", false},
    {"family 0: K4S120 covers S120-S135 past S127", 0, "MOV K4S120 D0", "K4S120", "K4S10", false},
    {"family 0: MUL's product at D1311 takes D1312", 0, "MUL D0 D2 D1311", "D1311", "D100", false},
    {"family 0: MUL's product at D1310 ends on D1311", 0, "MUL D0 D2 D1310", "D1310", "D100", true},
    {"family 0: DIV's remainder beside D1311 would be D1312", 0, "DIV D0 D2 D1311", "D1311", "D100", false},
    {"family 0: CMP's results from M1279 run to M1281", 0, "CMP D0 D1 M1279", "M1279", "M100", false},
    {"family 0: CMP's results from M1277 end on M1279", 0, "CMP D0 D1 M1277", "M1277", "M100", true},
    {"family 0: ZCP's results from M1278 run to M1280", 0, "ZCP D0 D1 D2 M1278", "M1278", "M100", false},
    {"family 0: CMP's results from an indexed M1279E run to M1281", 0, "CMP D0 D1 M1279E", "M1279E", "M100E", false},
    {"family 0: an indexed K4M1270F1 covers M1270-M1285", 0, "MOV K4M1270F1 D0", "K4M1270F1", "K4M100F1", false},
    {"family 0: MULP's product at D1311 takes D1312", 0, "MULP D0 D2 D1311", "D1311", "D100", false},
    {"family 0: DMUL's product from D1309 runs to D1312", 0, "DMUL D0 D2 D1309", "D1309", "D100", false},
    {"family 0: DCMP's results from M1278 run to M1280", 0, "DCMP D0 D2 M1278", "M1278", "M100", false},
    {"family 0: CMP's results from Y176 run to Y200 past Y177", 0, "CMP D0 D1 Y176", "Y176", "Y100", false},
    {"family 0: K4Y170 covers Y170-Y207 past Y177", 0, "MOV D0 K4Y170", "K4Y170", "K4Y0", false},
    {"family 0: K4Y160 ends on Y177", 0, "MOV D0 K4Y160", "K4Y160", "K4Y0", true},
    {"family 0: PRUN's K4M1264 holds M1264-M1271 and M1274-M1281", 0, "PRUN K4X0 K4M1264", "K4M1264", "K4M100", false},
    {"family 0: PRUN's K4M1260 holds M1260-M1267 and M1270-M1277", 0, "PRUN K4X0 K4M1260", "K4M1260", "K4M100", true},
    {"family 1: K4M4090 covers M4090-M4105 past M4095", 1, "MOV K4M4090 D0", "K4M4090", "K4M100", false},
    {"family 1: K4S1020 covers S1020-S1035 past S1023", 1, "MOV K4S1020 D0", "K4S1020", "K4S10", false},
    {"family 1: MUL's product at D9999 takes D10000", 1, "MUL D0 D2 D9999", "D9999", "D100", false},
    {"family 1: DIV's remainder beside D9999 would be D10000", 1, "DIV D0 D2 D9999", "D9999", "D100", false},
    {"family 1: DIV's remainder beside D4095 is D4096", 1, "DIV D0 D2 D4095", "D4095", "D100", true},
    {"family 1: CMP's results from M4094 run to M4096", 1, "CMP D0 D1 M4094", "M4094", "M100", false},
    {"family 1: ZCP's results from M4093 end on M4095", 1, "ZCP D0 D1 D2 M4093", "M4093", "M100", true},
    {"family 2: K4M4092 covers M4092-M4107 past M4095", 2, "MOV K4M4092 D0", "K4M4092", "K4M100", false},
    {"family 2: K4S1016 covers S1016-S1031 past S1023", 2, "MOV K4S1016 D0", "K4S1016", "K4S10", false},
    {"family 2: MUL's product at D4999 takes D5000", 2, "MUL D0 D2 D4999", "D4999", "D100", false},
    {"family 2: DIV's remainder beside D4999 would be D5000", 2, "DIV D0 D2 D4999", "D4999", "D100", false},
    {"family 2: CMP's results from M4095 run to M4097", 2, "CMP D0 D1 M4095", "M4095", "M100", false},
    {"family 2: ZCP's results from M4094 run to M4096", 2, "ZCP D0 D1 D2 M4094", "M4094", "M100", false},
};

using LadderOperandReachTest = OperandPathsTest;

}  // namespace

TEST_F(LadderOperandReachTest, AnOperandReachingPastTheModelsLastDeviceNeverComesIn) {
    for (const OperandRow& r : kRows) TryRow(r);
}

// Replace, All, of the device a digit group starts with: Replace takes single
// devices, so the group stays as it is in either view (none replaced), and
// never comes to cover bits the model lacks (K4M1270 would run to M1285).
TEST_F(LadderOperandReachTest, ReplacingTheDeviceADigitGroupStartsWithLeavesTheGroup) {
    for (const bool inLadder : {false, true}) {
        SCOPED_TRACE(inLadder ? "replace in the ladder" : "replace in the list");
        ASSERT_NO_FATAL_FAILURE(Fresh(0));
        ViewList();
        ASSERT_NO_FATAL_FAILURE(TypeIntoList({"LD X0", "MOV K4M1264 D0"}));
        if (inLadder) ViewLadder();
        messages_.Clear();
        frame_->MmRep->trigger();
        SearchDlg->SearchPage->setCurrentIndex(1);
        SearchDlg->SearchDev->setText("M1264");
        SearchDlg->RepDev->setText("M1270");
        SearchDlg->DevNumber->setText("1");
        SearchDlg->SearchStart.SetItemIndex(1);
        messages_.QueueAnswer(qel::Answer::All);
        QTest::mouseClick(SearchDlg->Rep, Qt::LeftButton);
        ViewList();
        EXPECT_EQ(Program(), (Lines{"LD X0", "MOV K4M1264 D0"}));
        EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(kReplaceDone) + "0"));
    }
}
