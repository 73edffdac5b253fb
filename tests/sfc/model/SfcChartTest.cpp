// The chart grid's growth and last row, and a chart kept whole through the
// shared buffers (records moving with rows and cells: SfcEditTest).
#include <gtest/gtest.h>

#include "sfc/model/Sfcchart.h"

namespace {

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
