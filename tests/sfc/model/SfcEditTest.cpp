// Editing the chart at the cursor: the tools, the number editor and its
// refusals, rows and cells, undo and redo, and a random walk of commands.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tests/sfc/model/SfcTestSupport.h"
#include "sfc/model/Codetosfc.h"
#include "sfc/model/Sfcedit.h"
#include "sfc/model/Sfcelement.h"
#include "sfc/model/Sfctocode.h"

namespace qel::test {
namespace {

class SfcEditTest : public SfcTest {
protected:
    TSfcCell At(int r, int c) const { return CaptureSfcChart().Cell(r, c); }
    void Go(int r, int c) {
        m.CursorRow = r;
        m.CursorCol = c;
    }
    TSfcEditModel m;
};

TEST_F(SfcEditTest, NumberedToolsAndTheNumberEditor) {
    Go(0, 0);
    TSfcEditResult r = m.Tool(0, 2);  // initial step over an empty cell: S0
    ASSERT_TRUE(r.openEditor);
    EXPECT_EQ(r.editorText, "S0");
    EXPECT_EQ(m.CommitNumber(" s3 ").msg, -1);
    EXPECT_EQ(At(0, 0).type, kSfcInitStep);
    EXPECT_EQ(At(0, 0).Number(), 3);

    Go(2, 0);
    EXPECT_EQ(m.Tool(0, 3).editorText, "S10");  // a step starts at S10
    EXPECT_EQ(m.CommitNumber("12").msg, -1);   // the "S" is supplied
    EXPECT_EQ(At(2, 0).Number(), 12);
    const int steps = m.UndoCount();

    // Refusals restore the cell as it was before the tool and take no undo step.
    Go(4, 0);
    m.Tool(0, 2);
    EXPECT_EQ(m.CommitNumber("12").msg, kSfcMsgBadStep);  // an initial step below 10
    EXPECT_TRUE(At(4, 0).Empty());
    m.Tool(0, 3);
    EXPECT_EQ(m.CommitNumber("x").msg, kSfcMsgBadNumber);
    m.Tool(0, 3);
    EXPECT_EQ(m.CommitNumber("S2000").msg, kSfcMsgBadStep);  // beyond the family's S range
    m.Tool(0, 4);
    EXPECT_EQ(m.CommitNumber("S-1").msg, kSfcMsgBadNumber);
    EXPECT_EQ(m.UndoCount(), steps);
    EXPECT_TRUE(At(4, 0).Empty());

    // A duplicate step number gives the cell back what it held (a jump here).
    m.Tool(0, 4);
    EXPECT_EQ(m.CommitNumber("S40").msg, -1);
    m.Tool(0, 3);
    r = m.CommitNumber("S12");
    EXPECT_EQ(r.msg, kSfcMsgStepUsed);
    EXPECT_EQ(r.detail, "S12");
    EXPECT_EQ(At(4, 0).type, kSfcJump);
    EXPECT_EQ(At(4, 0).Number(), 40);
    // Two jumps to one step are fine; a step over a step keeps number and code.
    Go(5, 0);
    m.Tool(0, 4);
    EXPECT_EQ(m.CommitNumber("S40").msg, -1);
    AddSfcCodeRec()->code = Il({"OUT Y1"});
    gSfcCodeList.back()->row = 2;
    gSfcCodeList.back()->col = 0;
    Go(2, 0);
    EXPECT_EQ(m.Tool(0, 3).editorText, "S12");
    m.CloseNumber();
    EXPECT_EQ(At(2, 0).Number(), 12);
    EXPECT_NE(FindSfcCodeRec(2, 0), nullptr);
    // Enter on a numbered element reopens the editor; on others nothing.
    EXPECT_TRUE(m.BeginNumber().openEditor);
    EXPECT_EQ(m.CommitNumber("S13").msg, -1);
    EXPECT_EQ(At(2, 0).Number(), 13);
    Go(9, 9);
    EXPECT_FALSE(m.BeginNumber().openEditor);
}

TEST_F(SfcEditTest, LadBlocksLinesAndTwoCellTools) {
    Go(0, 1);
    EXPECT_EQ(m.Tool(0, 1).msg, kSfcMsgLadColumn);
    EXPECT_TRUE(At(0, 1).Empty());
    EXPECT_EQ(m.UndoCount(), 0);
    Go(0, 0);
    m.Tool(0, 1);
    Go(1, 0);
    m.Tool(0, 1);
    EXPECT_EQ(At(1, 0).Number(), 1);
    Go(0, 0);
    m.DeleteElement();
    Go(2, 0);
    m.Tool(0, 1);
    EXPECT_EQ(At(2, 0).Number(), 2);  // one above the highest remaining

    // A line keeps byte 2 of what stood there; a two-cell tool needs a right neighbour.
    Go(3, 3);
    m.Tool(0, 3);
    m.CommitNumber("S300");
    m.Tool(1, 9);
    EXPECT_TRUE(At(3, 3).IsLine(kShapeVertical));
    EXPECT_EQ(At(3, 3).b2, 1);
    Go(4, 15);
    const int steps = m.UndoCount();
    EXPECT_EQ(m.Tool(0, 6).msg, kSfcMsgNoRoom);
    EXPECT_TRUE(At(4, 15).Empty());
    EXPECT_TRUE(At(5, 0).Empty());
    EXPECT_EQ(m.UndoCount(), steps);
    Go(4, 2);
    m.Tool(0, 9);
    EXPECT_TRUE(At(4, 2).IsLine(kShapeParLeft));
    EXPECT_TRUE(At(4, 3).IsLine(kShapeParConvRight));
}

TEST_F(SfcEditTest, RowsAndCellsMoveTheirRecords) {
    CommitSfcChart(ChartOf({"I0", "T", "S20 S30", "T", "J0"},
                           {{{0, 0}, {"OUT Y7"}}, {{2, 0}, {"OUT Y0"}}, {{2, 1}, {"OUT Y1"}}, {{3, 0}, {"LD X0"}}}));
    Go(2, 0);
    m.InsertRow();
    EXPECT_TRUE(At(2, 0).Empty());
    EXPECT_EQ(At(3, 0).Number(), 20);
    EXPECT_NE(FindSfcCodeRec(3, 4), nullptr);
    EXPECT_EQ(RecordListing(CaptureSfcChart(), 3, 0), Listing({"OUT Y0"}));
    EXPECT_EQ(RecordListing(CaptureSfcChart(), 4, 0), Listing({"LD X0"}));
    m.DeleteRow();
    EXPECT_EQ(At(2, 1).Number(), 30);
    EXPECT_NE(FindSfcCodeRec(2, 4), nullptr);
    m.InsertCell();
    EXPECT_EQ(At(2, 2).Number(), 30);
    EXPECT_NE(FindSfcCodeRec(2, 8), nullptr);
    EXPECT_NE(FindSfcCodeRec(2, 4), nullptr);
    Go(2, 1);
    m.DeleteCell();
    EXPECT_EQ(At(2, 1).Number(), 30);
    EXPECT_NE(FindSfcCodeRec(2, 4), nullptr);
    // Rows above and other rows' records stay where they are.
    EXPECT_EQ(RecordListing(CaptureSfcChart(), 0, 0), Listing({"OUT Y7"}));
    EXPECT_EQ(RecordListing(CaptureSfcChart(), 3, 0), Listing({"LD X0"}));
    EXPECT_EQ(gSfcCodeList.size(), 3u);  // S20 went with its cell
    // A full row takes no cell; the last row of the grid is never lost.
    for (int c = 0; c < kSfcColumns; ++c) {
        Go(10, c);
        m.Tool(1, 9);
    }
    const int steps = m.UndoCount();
    EXPECT_EQ(m.InsertCell().msg, kSfcMsgRowFull);
    EXPECT_EQ(m.UndoCount(), steps);
    Go(gSfcRowCount - 1, 0);
    m.Tool(1, 9);
    const int rows = gSfcRowCount;
    Go(0, 0);
    m.InsertRow();
    EXPECT_GT(gSfcRowCount, rows);
    EXPECT_TRUE(At(rows, 0).IsLine(kShapeVertical));
    // Column 15: delete cell empties only that cell.
    Go(11, 15);
    m.Tool(1, 9);
    Go(11, 14);
    m.Tool(1, 9);
    Go(11, 15);
    m.DeleteCell();
    EXPECT_TRUE(At(11, 15).Empty());
    EXPECT_TRUE(At(11, 14).IsLine(kShapeVertical));
}

TEST_F(SfcEditTest, UndoAndRedoTenSteps) {
    CommitSfcChart(ChartOf({"I0", "T", "S20"}, {{{2, 0}, {"OUT Y0"}}}));
    Go(2, 0);
    m.VertPos = 30;
    m.DeleteElement();
    EXPECT_EQ(FindSfcCodeRec(2, 0), nullptr);
    Go(7, 7);
    m.VertPos = 0;
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(At(2, 0).Number(), 20);
    ASSERT_NE(FindSfcCodeRec(2, 0), nullptr);  // the inner program comes back
    EXPECT_EQ(m.CursorRow, 2);
    EXPECT_EQ(m.VertPos, 30);
    ASSERT_TRUE(m.Redo());
    EXPECT_TRUE(At(2, 0).Empty());
    EXPECT_FALSE(m.CanRedo());

    for (int i = 0; i < 11; ++i) {
        Go(20 + i, 0);
        m.Tool(1, 9);
    }
    EXPECT_EQ(m.UndoCount(), 10);
    int undone = 0;
    while (m.Undo()) ++undone;
    EXPECT_EQ(undone, 10);
    EXPECT_TRUE(At(20, 0).IsLine(kShapeVertical));  // the eleventh step back was dropped
    EXPECT_TRUE(At(21, 0).Empty());
    ASSERT_TRUE(m.Redo());
    Go(40, 0);
    m.Tool(1, 9);  // an edit after undo ends every redo
    EXPECT_FALSE(m.CanRedo());
}

// Random editing: every state either converts to code and back, or the
// conversion refuses; the records always lie in the grid, one per cell.
TEST_F(SfcEditTest, RandomEditingNeverCorruptsTheChart) {
    std::mt19937 rng(24);
    for (int step = 0; step < 3000; ++step) {
        Go(static_cast<int>(rng() % 12), static_cast<int>(rng() % 16));
        switch (rng() % 12) {
            case 0: case 1: case 2: case 3: {
                const auto r = m.Tool(static_cast<int>(rng() % 2), 1 + static_cast<int>(rng() % 9));
                if (r.openEditor) {
                    if (rng() % 4)
                        m.CommitNumber(std::to_string(rng() % 40));
                    else
                        m.CloseNumber();
                }
                break;
            }
            case 4: m.DeleteElement(); break;
            case 5: m.InsertRow(); break;
            case 6: m.DeleteRow(); break;
            case 7: m.InsertCell(); break;
            case 8: m.DeleteCell(); break;
            case 9: m.Undo(); break;
            case 10: m.Redo(); break;
            default:
                if (SfcCellHasInnerProgram(m.CursorRow, m.CursorCol) && !FindSfcCodeRec(m.CursorRow, m.CursorCol * 4)) {
                    AddSfcCodeRec();
                    gSfcCodeList.back()->row = m.CursorRow;
                    gSfcCodeList.back()->col = m.CursorCol * 4;
                    gSfcCodeList.back()->code = Il({"LD X1", "OUT Y1"});
                }
        }
        const TSfcChart chart = CaptureSfcChart();
        ASSERT_GE(chart.rows, kSfcRowsAtStart);
        std::set<std::pair<int, int>> cells;
        for (const TSfcCodeRec& rec : chart.records) {
            ASSERT_TRUE(rec.row >= 0 && rec.row < chart.rows && rec.col >= 0 && rec.col <= 60 && rec.col % 4 == 0);
            ASSERT_TRUE(cells.insert({rec.row, rec.col}).second) << "two records on one cell";
        }
        const TCode code = ToCode(chart, 4096);
        if (code.ok) {
            const TCodeToSfcResult back = ConvertCodeToChart(code.code.data(), static_cast<std::uint32_t>(code.code.size()));
            (void)back;
        }
    }
}

}  // namespace
}  // namespace qel::test
