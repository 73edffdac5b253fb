// Chart to code: the transfer words, the filters, the refusals, and what
// the command says (the shapes' code is in CodeToSfcTest).
#include <gtest/gtest.h>

#include <cstring>

#include "tests/sfc/model/SfcTestSupport.h"
#include "core/ProgramImage.h"
#include "sfc/model/Sfctocode.h"

namespace qel::test {
namespace {

using SfcToCodeTest = SfcTest;

TEST_F(SfcToCodeTest, ElementCodeLosesItsOwnTransfersOnly) {
    // A step's SET S / OUT S instructions are drawn by the chart, not copied;
    // RST S and operand words that happen to look like transfers stay.
    const TSfcChart chart = ChartOf({"I0", "T", "J0"}, {{{0, 0}, {"SET S30", "OUT S31", "RST S32", "MOV K-12288 D0"}},
                                                        {{1, 0}, {"LD X0", "SET S40"}}});
    const TCode out = ToCode(chart);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(Listing(out.code), Listing({"STL S0", "RST S32", "MOV K-12288 D0", "LD X0", "OUT S0", "RET"}));
}

TEST_F(SfcToCodeTest, TransferKindsByTargetType) {
    const TSfcChart chart = ChartOf({"I0", "7 4 4 4", "T T T T", "P20 J21 R22 M23"});
    const TCode out = ToCode(chart);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(Listing(out.code), Listing({"STL S0", "SET S20", "OUT S21", "RST S22", "OUT S23", "RET"}));
    // Without records the steps still open their blocks: a transition follows them.
    EXPECT_EQ(Listing(ToCode(ChartOf({"I0", "T", "S20", "T", "J0"})).code),
              Listing({"STL S0", "SET S20", "STL S20", "OUT S0", "RET"}));
}

TEST_F(SfcToCodeTest, ChartErrors) {
    // A step before any initial step, a transition with nothing below, a
    // convergence's branch point reached by the walk, a step number out of range.
    for (const auto& rows : std::vector<std::vector<std::string>>{
             {"S20", "T", "J0"}, {"I0", "T"}, {"I0", "T", "2"}, {"I0", "T", "S2000"}}) {
        const TCode out = ToCode(ChartOf(rows));
        EXPECT_FALSE(out.ok) << rows[0];
        EXPECT_FALSE(out.capacity);
    }
}

TEST_F(SfcToCodeTest, CapacityIsNeverPassedAndTheProgramStaysOnFailure) {
    // Each step carries 40 bytes of code; 10 steps need more than 256 bytes.
    std::vector<std::string> rows = {"I0"};
    TCellCode code;
    for (int i = 0; i < 10; ++i) {
        rows.push_back("T");
        rows.push_back("S" + std::to_string(20 + i));
        code[{2 + 2 * i, 0}] = {"MOV K1 D0", "MOV K2 D1", "MOV K3 D2", "MOV K4 D3"};
    }
    rows.push_back("T");
    rows.push_back("J0");
    const TSfcChart chart = ChartOf(rows, code);
    const TCode tight = ToCode(chart, 256);
    EXPECT_FALSE(tight.ok);
    EXPECT_TRUE(tight.capacity);
    for (std::uint32_t cap = 2; cap < 420; cap += 2) ToCode(chart, cap);  // the guard bytes are checked inside
    EXPECT_TRUE(ToCode(chart, 31744).ok);

    // The command leaves the program as it was and says why.
    SetProgramCapacity(0);
    const std::vector<std::uint8_t> before = AssembleLines({"LD X0", "OUT Y0", "END"});
    std::memcpy(gProgram, before.data(), before.size());
    LocateProgramEnd();
    for (int i = 0; i < 80; ++i) rows.insert(rows.end() - 2, {"T", "S" + std::to_string(100 + i)});
    for (int i = 0; i < 90; ++i) code[{2 + 2 * i, 0}] = {"MOV K1 D0", "MOV K2 D1", "MOV K3 D2", "MOV K4 D3"};
    CommitSfcChart(ChartOf(rows, code));
    EXPECT_FALSE(::SfcToCode());
    EXPECT_EQ(gSfcChartError, 1);
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + before.size()), before);
    EXPECT_EQ(gProgramUsed, before.size());
    EXPECT_EQ(messages_.Shown().size(), 1u);
}

TEST_F(SfcToCodeTest, UnreachedElementsWithCodeAreCountedAndReported) {
    // S90 stands beside the chain: no transition leads to it and the walk
    // passes below it, so its code is not in the program.
    const TSfcChart chart = ChartOf({"I0", "T", "S20 . . . S90", "|", "T", "J0"},
                                    {{{1, 0}, {"LD X0"}}, {{4, 0}, {"LD X1"}}, {{2, 4}, {"OUT Y7"}}});
    TCode out = ToCode(chart);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.unreached, 1);
    EXPECT_EQ(Listing(out.code), Listing({"STL S0", "LD X0", "SET S20", "STL S20", "LD X1", "OUT S0", "RET"}));
    // A record on an empty cell is no element.
    EXPECT_EQ(ToCode(ChartOf({"I0", "T", "J0"}, {{{5, 7}, {"LD X5"}}})).unreached, 0);

    std::vector<std::string> texts(250, "msg");
    texts[181] = "unreached: ";
    gMsgTable.Assign(texts);
    CommitSfcChart(chart);
    ASSERT_TRUE(::SfcToCode());
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_NE(messages_.Shown()[0].find("unreached: 1"), std::string::npos);
}

// Two elements whose code holds the same label (a chart file written
// elsewhere; the inner windows never store one): a jump to it would have two
// places to go, so the command refuses the chart, names the label, and leaves
// the program and the chart as they were. The label of an element no chain
// reaches is in no code and refuses nothing.
TEST_F(SfcToCodeTest, ALabelTwoElementsHoldIsRefusedAndTheProgramStays) {
    std::vector<std::string> texts(250, "msg");
    texts[24] = "label used";
    gMsgTable.Assign(texts);
    const std::vector<std::uint8_t> before = AssembleLines({"LD X0", "OUT Y0", "END"});
    auto refused = [&](const TSfcChart& chart, const std::string& label) {
        std::memcpy(gProgram, before.data(), before.size());
        LocateProgramEnd();
        CommitSfcChart(chart);
        messages_.Clear();
        EXPECT_FALSE(::SfcToCode()) << label;
        EXPECT_EQ(messages_.Shown(), std::vector<std::string>{"label used " + label});
        EXPECT_EQ(gSfcChartError, 1);
        EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + before.size()), before);
        EXPECT_EQ(gProgramUsed, before.size());
        EXPECT_EQ(RowsOf(CaptureSfcChart()), RowsOf(chart));
        EXPECT_EQ(CaptureSfcChart().records.size(), chart.records.size());
    };
    // Two steps.
    const TCellCode steps = {{{0, 0}, {"P7", "LD X0", "OUT Y0"}}, {{1, 0}, {"LD X5"}},
                             {{2, 0}, {"P7", "LD X1", "OUT Y1"}}, {{3, 0}, {"LD X6"}}};
    const TSfcChart twoSteps = ChartOf({"I0", "T", "S20", "T", "J0"}, steps);
    ASSERT_TRUE(ToCode(twoSteps).ok) << "the chart itself converts";
    refused(twoSteps, "P7");
    EXPECT_EQ(RecordListing(CaptureSfcChart(), 2, 0), Listing({"P7", "LD X1", "OUT Y1"}));
    // A LAD block and a transition, an interrupt label.
    refused(ChartOf({"L0", "I0", "T", "J0"}, {{{0, 0}, {"I001", "LD X0", "OUT Y0", "IRET"}}, {{2, 0}, {"I001", "LD X5"}}}),
            "I001");

    // One label each, or the second P7 off the chains: the chart goes in.
    TCellCode apart = steps;
    apart[{2, 0}] = {"P8", "LD X1", "OUT Y1"};
    CommitSfcChart(ChartOf({"I0", "T", "S20", "T", "J0"}, apart));
    messages_.Clear();
    ASSERT_TRUE(::SfcToCode());
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_EQ(gSfcChartError, 0);
    EXPECT_EQ(Listing(std::vector<std::uint8_t>(gProgram, gProgram + gProgramUsed)),
              Listing({"STL S0", "P7", "LD X0", "OUT Y0", "LD X5", "SET S20", "STL S20", "P8", "LD X1", "OUT Y1",
                       "LD X6", "OUT S0", "RET"}));
    // Words of the labels' range that are no label (damaged code) come twice.
    TSfcChart damaged = ChartOf({"I0", "T", "S20", "T", "J0"}, apart);
    for (const int row : {0, 2}) {
        std::vector<std::uint8_t>& c = damaged.FindRec(row, 0)->code;
        c.insert(c.end(), {0x00, 0xB1});
    }
    CommitSfcChart(damaged);
    messages_.Clear();
    EXPECT_TRUE(::SfcToCode());
    EXPECT_TRUE(messages_.Shown().empty());
    CommitSfcChart(ChartOf({"I0 . . . S90", "T", "J0"}, {{{0, 0}, {"P7", "LD X0", "OUT Y0"}}, {{1, 0}, {"LD X5"}},
                                                        {{0, 4}, {"P7", "LD X1", "OUT Y1"}}}));
    ASSERT_TRUE(::SfcToCode());
    EXPECT_EQ(Listing(std::vector<std::uint8_t>(gProgram, gProgram + gProgramUsed)),
              Listing({"STL S0", "P7", "LD X0", "OUT Y0", "LD X5", "OUT S0", "RET"}));
}

}  // namespace
}  // namespace qel::test
