// A block copied from the program's ladder and pasted into a step's inner
// ladder: that ladder keeps no block or rung comments, so the paste leaves
// them out and says so; what it stores is what it showed.
#include <gtest/gtest.h>

#include <QTest>

#include "ladder/edit/Laddertexts.h"
#include "ladder/model/Lad.h"
#include "sfc/model/Sfcelement.h"
#include "sfc/window/Sfcwin.h"
#include "tests/ladder/editor/LadderFrameFixture.h"

namespace {

constexpr int kMsgCommentsLeftOut = 266;

class SfcInnerPasteTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallSfc(frame_.get()); }
    QSize FrameSize() const override { return {1200, 800}; }

    // View > SFC, step S0 drawn with F2 at the top left, its inner ladder
    // opened with Ctrl+L; no message left over.
    void OpenStepLadder(TSfc*& sfc, TLDB*& inner) {
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        QCoreApplication::processEvents();
        sfc = _Sfc;
        ASSERT_NE(sfc, nullptr);
        QTest::keyClick(sfc, Qt::Key_F2);
        ASSERT_TRUE(sfc->SfcEdit_Txt->isVisible());
        QTest::keyClicks(sfc->SfcEdit_Txt, "0");
        QTest::keyClick(sfc->SfcEdit_Txt, Qt::Key_Return);
        sfc->Model().CursorRow = 0;
        sfc->Model().CursorCol = 0;
        QTest::keyClick(sfc, Qt::Key_L, Qt::ControlModifier);
        inner = _InterLadder;
        ASSERT_NE(inner, nullptr);
        messages_.Clear();
    }
    // The inner ladder closed, Yes to storing it: its window goes.
    void StoreInner(TLDB* inner) {
        messages_.QueueAnswer(qel::Answer::Yes);
        inner->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_EQ(_InterLadder, nullptr);
    }
    // The step's inner ladder opened again with Ctrl+L.
    void ReopenInner(TSfc* sfc) {
        QTest::keyClick(sfc, Qt::Key_L, Qt::ControlModifier);
        ASSERT_NE(_InterLadder, nullptr);
    }
};

}  // namespace

TEST_F(SfcInnerPasteTest, AStepsLadderLeavesAPastedBlockCommentOutAndSaysSo) {
    // The program's ladder: "Pump" on row 0, X0-Y0 on row 1; both rows marked and copied.
    Click(0, 1);
    lad_->PopBkCmtClick();
    Finish("Pump");
    Click(1, 1);
    KeyRung("X0", "Y0");
    Click(0, 1);
    QTest::keyClick(lad_, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_C, Qt::ControlModifier);

    // Step S0 drawn in the chart, its inner ladder opened with Ctrl+L, Ctrl+V.
    TSfc* sfc = nullptr;
    TLDB* inner = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenStepLadder(sfc, inner));
    QTest::keyClick(inner, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(kMsgCommentsLeftOut) + " 1");
    EXPECT_FALSE(IsBlockCommentRow(CellAt(gInterLadderGrid, 0, 0)));
    EXPECT_EQ(CellOperandText(gInterLadderGrid, 1, 0), "X0");

    // Stored and opened again: it shows what it showed after the paste.
    ASSERT_NO_FATAL_FAILURE(StoreInner(inner));
    ASSERT_NE(FindSfcCodeRec(0, 0), nullptr);
    ASSERT_NO_FATAL_FAILURE(ReopenInner(sfc));
    EXPECT_EQ(CellOperandText(gInterLadderGrid, 0, 0), "X0");
    for (int r = 0; r < 4; ++r) EXPECT_FALSE(IsBlockCommentRow(CellAt(gInterLadderGrid, r, 0))) << r;
    EXPECT_EQ(messages_.Shown().size(), 1u);
    // The program's ladder keeps its comment.
    EXPECT_TRUE(IsBlockCommentRow(CellAt(gLadderRows, 0, 0)));
}

// A rung copied with its label from the program's ladder and pasted into a
// step's inner ladder: the label comes along, is stored with the step and
// shows again; the program's ladder keeps its own.
TEST_F(SfcInnerPasteTest, AStepsLadderStoresThePastedLabelItShows) {
    Click(0, 1);
    KeyRung("X0", "Y0");
    Click(0, 0);
    TypeLine("P1");
    ASSERT_EQ(gPLabelRows[1], 0);
    Click(0, 1);
    QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_C, Qt::ControlModifier);

    TSfc* sfc = nullptr;
    TLDB* inner = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenStepLadder(sfc, inner));
    QTest::keyClick(inner, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(CellOperandText(gInterLadderGrid, 0, 0), "X0");
    EXPECT_EQ(gInterPLabelRows[1], 0);
    EXPECT_TRUE(messages_.Shown().empty());

    ASSERT_NO_FATAL_FAILURE(StoreInner(inner));
    ASSERT_NO_FATAL_FAILURE(ReopenInner(sfc));
    EXPECT_EQ(CellOperandText(gInterLadderGrid, 0, 0), "X0");
    EXPECT_EQ(gInterPLabelRows[1], 0) << ::testing::PrintToString(messages_.Shown());
    EXPECT_EQ(gPLabelRows[1], 0);
}
