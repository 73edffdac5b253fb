// The chart grid's growth and last row, and the element code records.
#include <gtest/gtest.h>

#include "sfc/model/Sfcchart.h"

namespace {

TSfcCodeRec* Rec(int row, int col, std::vector<std::uint8_t> code = {}) {
    TSfcCodeRec* r = AddSfcCodeRec();
    r->row = row;
    r->col = col;
    r->code = std::move(code);
    return r;
}

TEST(SfcChart, ViewGrowthAndLastUsedRow) {
    AllocateSharedBuffers();
    EXPECT_EQ(gSfcRowCount, 256);
    EXPECT_EQ(SfcLastUsedRow(gSfcGrid, gSfcRowCount), -1);
    EXPECT_FALSE(GrowSfcGridForView());  // an empty grid stays
    gSfcGrid[191 * kSfcRowBytes + 5 * 4 + 3] = 0x1F;  // any byte below 0xFF uses a row
    EXPECT_EQ(SfcLastUsedRow(gSfcGrid, gSfcRowCount), 191);
    EXPECT_FALSE(GrowSfcGridForView());
    gSfcGrid[192 * kSfcRowBytes] = kSfcStep;
    EXPECT_TRUE(GrowSfcGridForView());
    EXPECT_EQ(gSfcRowCount, 320);
    EXPECT_EQ(gSfcGrid[192 * kSfcRowBytes], kSfcStep);
    EXPECT_EQ(gSfcGrid[319 * kSfcRowBytes + 63], 0xFF);
    // Rows past 255 count (a chart that grew prints and converts whole).
    gSfcGrid[300 * kSfcRowBytes] = kSfcStep;
    EXPECT_EQ(SfcLastUsedRow(gSfcGrid, gSfcRowCount), 300);
    FreeSharedBuffers();
}

TEST(SfcChart, RecordsFollowTheirCells) {
    AllocateSharedBuffers();
    EXPECT_EQ(FindSfcCodeRec(0, 0), nullptr);
    ClearSfcCodeList();
    EXPECT_TRUE(gSfcCodeList.empty());

    Rec(3, 0, {1, 2});
    Rec(4, 8);
    Rec(5, 4, {1, 2, 3, 4});
    Rec(7, 4);
    Rec(7, 8);
    Rec(7, 12);
    EXPECT_EQ(SfcCodeListSize(), 2u + 6 + 6 + 4 + 6 + 6 + 6 + 6);
    // A cell inserted at column 2 of row 7: that row's records from col 8 move right.
    ShiftSfcCodeRecs(7, 8, false, true);
    EXPECT_NE(FindSfcCodeRec(7, 4), nullptr);
    EXPECT_NE(FindSfcCodeRec(7, 12), nullptr);
    EXPECT_NE(FindSfcCodeRec(7, 16), nullptr);
    EXPECT_EQ(FindSfcCodeRec(7, 8), nullptr);
    EXPECT_NE(FindSfcCodeRec(4, 8), nullptr);  // other rows stay
    // ... and deleted again: records right of it move back.
    ShiftSfcCodeRecs(7, 8, false, false);
    EXPECT_NE(FindSfcCodeRec(7, 8), nullptr);
    EXPECT_NE(FindSfcCodeRec(7, 12), nullptr);
    // A row inserted at row 5: rows 5, 6, 7 move down; 3 and 4 stay.
    ShiftSfcCodeRecs(5, 0, true, true);
    EXPECT_NE(FindSfcCodeRec(3, 0), nullptr);
    EXPECT_NE(FindSfcCodeRec(4, 8), nullptr);
    EXPECT_EQ(FindSfcCodeRec(5, 4), nullptr);
    EXPECT_EQ(FindSfcCodeRec(6, 4)->code.size(), 4u);
    // Row 3 deleted after removing its records: the rows below move up.
    RemoveSfcCodeRec(3, 0);
    RemoveSfcCodeRec(3, 0);  // nothing left to remove
    ShiftSfcCodeRecs(3, 0, true, false);
    EXPECT_NE(FindSfcCodeRec(3, 8), nullptr);
    EXPECT_EQ(FindSfcCodeRec(5, 4)->code.size(), 4u);
    EXPECT_EQ(gSfcCodeList.size(), 5u);
    ClearSfcCodeList();
    EXPECT_EQ(SfcCodeListSize(), 0u);
    FreeSharedBuffers();
}

TEST(SfcChart, CaptureAndCommitKeepGridAndRecords) {
    AllocateSharedBuffers();
    TSfcChart c = TSfcChart::Empty(300);
    c.SetCell(299, 15, {kSfcStep, 20, 0, 0xFF});
    c.records.push_back({299, 60, {0x00, 0x25}});
    CommitSfcChart(c);
    EXPECT_EQ(gSfcRowCount, 300);
    EXPECT_EQ(FindSfcCodeRec(299, 60)->code.size(), 2u);
    const TSfcChart back = CaptureSfcChart();
    EXPECT_EQ(back.grid, c.grid);
    EXPECT_EQ(back.Cell(299, 15).Number(), 20);
    EXPECT_EQ(back.records.size(), 1u);
    FreeSharedBuffers();
}

}  // namespace
