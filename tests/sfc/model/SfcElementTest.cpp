// The inner program of an element through the inner views: into the inner
// ladder and back through the compile, into the list, stores that refuse, and
// which chart the SFC view opens with.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/sfc/model/SfcTestSupport.h"
#include "core/ProgramImage.h"
#include "ladder/model/LadderConvert.h"
#include "sfc/model/Codetosfc.h"
#include "sfc/model/Sfcelement.h"

namespace qel::test {
namespace {

using SfcElementTest = SfcTest;

TEST_F(SfcElementTest, InnerLadderOfEveryKindComesBackAsTheSameCode) {
    CommitSfcChart(ChartOf({"L0", "I0", "T", "S20", "T", "J0"}));
    const std::vector<std::pair<std::pair<int, int>, std::vector<std::string>>> cases = {
        {{0, 0}, {"LD X0", "OR M3", "ANI X1", "OUT Y0", "LDI X2", "ANDP X3", "SET M5", "END"}},
        {{1, 0}, {"OUT Y0", "TMR T0 K10", "LD T0", "OUT Y1"}},
        {{3, 0}, {"LD X4", "MPS", "AND X5", "OUT Y5", "MPP", "ANI X6", "MOV K5 D0"}},
        {{3, 0}, {"LD= D0 K5", "OR> D1 K2", "OUT M1600", "LDF X7", "INV", "DMOV K100000 D10"}},
        {{3, 0}, {"LD X1", "LD X2", "OR M3", "ANB", "CNT C1 K5", "LD C1", "RST C1"}},
    };
    for (const auto& [cell, lines] : cases) {
        SCOPED_TRACE(lines[0]);
        const auto code = AssembleLines(lines);
        ASSERT_TRUE(StoreSfcElementCode(cell.first, cell.second, code));
        ASSERT_TRUE(OpenSfcElementLadder(cell.first, cell.second)) << ConvertFailureName(TConvertFailure::None);
        EXPECT_EQ(std::vector<std::uint8_t>(gProgramCopy, gProgramCopy + gProgramCopyUsed), code);
        // The list view of the drawn ladder, and the store from the ladder.
        std::memset(gProgramCopy, 0xFF, gProgramCopySize);
        ASSERT_TRUE(SfcInnerLadderToList());
        EXPECT_EQ(Listing(std::vector<std::uint8_t>(gProgramCopy, gProgramCopy + gProgramCopyUsed)), Listing(code));
        ASSERT_TRUE(StoreSfcElementLadder(cell.first, cell.second));
        EXPECT_EQ(Listing(FindSfcCodeRec(cell.first, cell.second * 4)->code), Listing(code));
    }
}

TEST_F(SfcElementTest, CellsWithoutAnInnerProgramRefuse) {
    CommitSfcChart(ChartOf({"I0", "T", "J0", "7 4"}));
    const auto code = Il({"LD X0"});
    for (auto [row, col] : {std::pair{2, 0}, std::pair{3, 0}, std::pair{3, 1}, std::pair{9, 9}, std::pair{-1, 0}}) {
        EXPECT_FALSE(StoreSfcElementCode(row, col, code));
        EXPECT_FALSE(LoadSfcElementCode(row, col));
        EXPECT_FALSE(StoreSfcElementLadder(row, col));
    }
    EXPECT_TRUE(gSfcCodeList.empty());
    // An element without a record opens empty; storing creates the record.
    ASSERT_TRUE(LoadSfcElementCode(1, 0));
    EXPECT_EQ(gProgramCopyUsed, 0u);
    EXPECT_EQ(SfcInnerStepFlag(1, 0), 1);
    ASSERT_TRUE(StoreSfcElementCode(1, 0, code));
    EXPECT_EQ(gSfcCodeList.size(), 1u);
    ASSERT_TRUE(StoreSfcElementCode(1, 0, {}));
    EXPECT_EQ(gSfcCodeList.size(), 1u);
    EXPECT_TRUE(FindSfcCodeRec(1, 0)->code.empty());
}

TEST_F(SfcElementTest, TheViewKeepsAChartThatStillDescribesTheProgram) {
    const auto code = Il({"STL S0", "LD X0", "SET S20", "STL S20", "LD X1", "OUT S0", "RET"});
    std::memcpy(gProgram, code.data(), code.size());
    LocateProgramEnd();
    // The stored chart differs in layout from the drawn one and keeps an
    // element no chain reaches: it stays while it converts to the program.
    CommitSfcChart(ChartOf({"I0", "T", "S20 . . . S90", "|", "T", "J0"},
                           {{{1, 0}, {"LD X0"}}, {{4, 0}, {"LD X1"}}, {{2, 4}, {"OUT Y7"}}}));
    ASSERT_TRUE(SfcChartMatchesProgram());
    const TSfcChart stored = CaptureSfcChart();
    ASSERT_TRUE(PrepareSfcChartForView());
    EXPECT_EQ(CaptureSfcChart().grid, stored.grid);

    // Once the program changed, the view draws the chart from the code.
    gProgram[2] = 0x01;  // LD X0 -> LD X1
    ASSERT_FALSE(SfcChartMatchesProgram());
    ASSERT_TRUE(PrepareSfcChartForView());
    EXPECT_EQ(RowsOf(CaptureSfcChart()), (std::vector<std::string>{"I0", "T", "S20", "T", "J0"}));
}

// A step placed beside the chain after the chart was drawn goes into no code:
// once the program changes, the chart is still the user's (not a drawing to
// draw again), also after the view found it standing for the program again.
// Taken out again, the chart is the drawing it was.
TEST_F(SfcElementTest, AStepPlacedOffTheChainsSinceTheChartMatchedIsTheUsersWork) {
    const auto code = Il({"STL S0", "LD X0", "SET S20", "STL S20", "LD X1", "OUT S0", "RET"});
    std::memcpy(gProgram, code.data(), code.size());
    LocateProgramEnd();
    ASSERT_TRUE(ConvertCodeToSfc());
    ASSERT_EQ(RowsOf(CaptureSfcChart()), (std::vector<std::string>{"I0", "T", "S20", "T", "J0"}));
    std::uint8_t* cell = gSfcGrid + 2 * kSfcRowBytes + 4 * kSfcCellBytes;
    const std::uint8_t s90[4] = {kSfcStep, 90, 0, 0xFF};
    std::memcpy(cell, s90, 4);
    EXPECT_EQ(SfcChartState(), TSfcChartState::OfProgram);
    ASSERT_TRUE(PrepareSfcChartForView());

    gProgram[2] = 0x01;  // LD X0 -> LD X1, typed elsewhere
    EXPECT_EQ(SfcChartState(), TSfcChartState::Edited);
    ASSERT_TRUE(PrepareSfcChartForView());
    EXPECT_EQ(RowsOf(CaptureSfcChart()), (std::vector<std::string>{"I0", "T", "S20 . . . S90", "T", "J0"}));

    std::memset(cell, 0xFF, 4);
    EXPECT_EQ(SfcChartState(), TSfcChartState::OldDrawing);
}

}  // namespace
}  // namespace qel::test
