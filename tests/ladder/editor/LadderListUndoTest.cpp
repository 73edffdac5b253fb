// Undo in the instruction list and in the program's ladder takes back that
// window's own last edit and nothing the other window (or a replace, or a
// conversion) put into the program since: a history ends when the program
// changes elsewhere, and each window's own later edits undo as before.
#include <functional>

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabWidget>

#include "core/Codetranslate.h"
#include "ladder/edit/Laddertexts.h"
#include "ladder/model/Lad.h"
#include "sfc/model/Sfcchart.h"
#include "tests/ladder/editor/LadderFrameFixture.h"
#include "tools/windows/Searchdlg.h"
#include "tools/windows/Toolsinstall.h"

namespace {

class LadderListUndoTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallTools(frame_.get()); }

    void Rung(std::int32_t row, const std::string& in, const std::string& out) {
        lad_->Edit().SetCursor(row, 0);
        TypeLine("LD " + in);
        lad_->Edit().SetCursor(row, 5);
        TypeLine("OUT " + out);
    }
    bool Enabled(const char* command) const {
        frame_->RefreshCommands();
        QAction* a = frame_->Action(command);
        return a && a->isEnabled();
    }
    void ControlZ(QWidget* w) { QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier); }

    // Two rungs drawn, the second deleted, then the program changed in the
    // list by `change` and the ladder brought back by `back`: the ladder's
    // Ctrl+Z must not give the deleted rung back over the list's work.
    void DeletedRungStaysDeletedAfterTheListChanged(const std::function<void()>& change,
                                                    const std::function<void()>& back, const Lines& changed) {
        Rung(0, "X0", "Y0");
        Rung(1, "X1", "Y1");
        lad_->Edit().SetCursor(1, 0);
        ASSERT_TRUE(frame_->RunCommand("MmDelLine"));
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));  // the ladder compiles
        ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0"}));
        change();
        ASSERT_EQ(Program(), changed);
        back();
        ASSERT_EQ(_LDB, lad_);
        EXPECT_FALSE(Enabled("MmUndo"));
        ControlZ(lad_);
        EXPECT_NE(CellOperandText(gLadderRows, 1, 0), "X1");
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));  // leaving compiles whatever the ladder holds
        EXPECT_EQ(Program(), changed);
        // The ladder's own edits from here on undo as before.
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        Rung(5, "X6", "Y6");
        EXPECT_TRUE(Enabled("MmUndo"));
        ControlZ(lad_);  // the coil
        ControlZ(lad_);  // the contact
        EXPECT_EQ(CellOperandText(gLadderRows, 5, 0), "");
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        EXPECT_EQ(Program(), changed);
    }

    // A chart program typed into the list behind the rung X3-Y3; the ladder
    // deletes that rung (its own edit) and compiles; the chart is drawn from
    // the code, its first condition becomes X5, and the chart goes into the
    // program, all while the ladder stays the active window.
    const Lines kChart{"LD X7", "SET S0",  "STL S0", "LD X0", "SET S20", "STL S20",
                       "OUT Y1", "LD X1", "OUT S0", "RET",   "END"};
    void ChartConvertedWhileTheLadderIsActive() {
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        Lines lines{"LD X3", "OUT Y3"};
        lines.insert(lines.end(), kChart.begin(), kChart.end());
        ASSERT_NO_FATAL_FAILURE(TypeIntoList(lines));
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        lad_->Edit().SetCursor(0, 0);
        ASSERT_TRUE(frame_->RunCommand("MmDelLine"));
        ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
        ASSERT_EQ(Program(), kChart);
        ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));
        TSfcCodeRec* condition = FindSfcCodeRec(2, 0);
        ASSERT_NE(condition, nullptr);
        ASSERT_TRUE(SetInputText("LD X5"));
        ASSERT_EQ(AssembleInstruction(), 1);
        condition->code.assign(gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
        ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
        ASSERT_EQ(Program()[3], "LD X5");
        ASSERT_EQ(frame_->MdiArea->activeSubWindow()->widget(), lad_);
        EXPECT_FALSE(Enabled("MmUndo"));
    }
    // Leaving the ladder compiles it: the chart's X5 stays, the X3 rung stays out.
    void ProgramKeepsTheChartsCondition() {
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        Lines expected = kChart;
        expected[3] = "LD X5";
        EXPECT_EQ(Program(), expected);
    }
};

}  // namespace

TEST_F(LadderListUndoTest, ListUndoLeavesTheRungTheLadderCompiledIn) {
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    TInst* list = _Inst;
    ASSERT_NO_FATAL_FAILURE(TypeIntoList({"LD X0", "OUT Y0"}));
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    Rung(2, "X1", "Y1");
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));  // the ladder compiles into the program
    const Lines both{"LD X0", "OUT Y0", "LD X1", "OUT Y1"};
    ASSERT_EQ(Program(), both);

    // The list's history ended with the ladder's compile: Undo is grey, and
    // Ctrl+Z takes out neither the ladder's rung nor the list's own lines.
    EXPECT_FALSE(Enabled("MmUndo"));
    ControlZ(list);
    EXPECT_EQ(Program(), both);
    EXPECT_EQ(CellOperandText(gLadderRows, 2, 0), "X1");

    // The list's own edits from here on undo and redo.
    ASSERT_NO_FATAL_FAILURE(TypeIntoList({"LD X2"}));
    ASSERT_TRUE(Enabled("MmUndo"));
    ControlZ(list);
    EXPECT_EQ(Program(), both);
    ASSERT_TRUE(frame_->RunCommand("MmRedo"));
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2"}));
    ControlZ(list);
    EXPECT_FALSE(Enabled("MmUndo"));  // the history began after the ladder's compile

    // The ladder's history goes on over a program the list left as the
    // ladder put it: its Ctrl+Z takes its own rung out again, coil and contact.
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    EXPECT_TRUE(Enabled("MmUndo"));
    ControlZ(lad_);
    ControlZ(lad_);
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0"}));
}

TEST_F(LadderListUndoTest, LadderUndoAfterTheListAddedLinesKeepsThem) {
    DeletedRungStaysDeletedAfterTheListChanged([&] { TypeIntoList({"LD X4", "OUT Y4"}); },
                                               [&] { ASSERT_TRUE(frame_->RunCommand("MmLadWin")); },
                                               {"LD X0", "OUT Y0", "LD X4", "OUT Y4"});
}

TEST_F(LadderListUndoTest, LadderUndoAfterConvertListToLadderKeepsTheListsLines) {
    DeletedRungStaysDeletedAfterTheListChanged([&] { TypeIntoList({"LD X4", "OUT Y4"}); },
                                               [&] { ASSERT_TRUE(frame_->RunCommand("MmCodeToLad")); },
                                               {"LD X0", "OUT Y0", "LD X4", "OUT Y4"});
}

TEST_F(LadderListUndoTest, LadderUndoAfterAReplaceInTheListKeepsTheReplacement) {
    DeletedRungStaysDeletedAfterTheListChanged(
        [&] {
            frame_->MmRep->trigger();
            SearchDlg->SearchPage->setCurrentIndex(1);
            SearchDlg->SearchDev->setText("Y0");
            SearchDlg->RepDev->setText("Y7");
            SearchDlg->SearchStart.SetItemIndex(1);
            messages_.QueueAnswer(qel::Answer::All);
            QTest::mouseClick(SearchDlg->Rep, Qt::LeftButton);
        },
        [&] { ASSERT_TRUE(frame_->RunCommand("MmLadWin")); }, {"LD X0", "OUT Y7"});
}

TEST_F(LadderListUndoTest, LadderConvertedAgainAfterTheChartWentInHasNothingToUndo) {
    ASSERT_NO_FATAL_FAILURE(ChartConvertedWhileTheLadderIsActive());
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    EXPECT_FALSE(Enabled("MmUndo"));
    ControlZ(lad_);
    ProgramKeepsTheChartsCondition();
}

TEST_F(LadderListUndoTest, LadderEditAfterTheChartWentInStartsANewHistory) {
    ASSERT_NO_FATAL_FAILURE(ChartConvertedWhileTheLadderIsActive());
    // A row inserted over the chart's code undoes, and nothing before it does.
    lad_->Edit().SetCursor(0, 0);
    ASSERT_TRUE(frame_->RunCommand("MmInsLine"));
    EXPECT_TRUE(Enabled("MmUndo"));
    ControlZ(lad_);
    EXPECT_FALSE(Enabled("MmUndo"));
    ControlZ(lad_);
    ProgramKeepsTheChartsCondition();
}
