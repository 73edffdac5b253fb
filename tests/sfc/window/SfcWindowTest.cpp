// The SFC window as an engineer uses it: the frame started as main() starts
// it, elements placed with F-keys and step numbers typed, element code given,
// the chart converted into the program; pixels of the painter.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QToolButton>

#include "core/DeviceLimits.h"
#include "ladder/model/LadderGrid.h"
#include "ladder/edit/Laddertexts.h"
#include "project/Ladderstamp.h"
#include "project/Viewcodes.h"
#include "sfc/model/Sfcelement.h"
#include "sfc/render/Sfcpaint.h"
#include "sfc/window/Sfcwin.h"
#include "simulator/SimLadder.h"
#include "simulator/Simuplc.h"
#include "tests/ladder/editor/LadderFrameFixture.h"
#include "tests/shell/ScriptedFileDialogs.h"
#include "tests/support/Pty.h"
#include "tests/support/WaitLimit.h"

namespace {

std::vector<std::uint8_t> Assemble(std::initializer_list<const char*> lines) {
    std::vector<std::uint8_t> code;
    for (const char* line : lines) {
        EXPECT_TRUE(SetInputText(line));
        EXPECT_EQ(AssembleInstruction(), 1) << line;
        code.insert(code.end(), gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
    }
    return code;
}

class SfcWindowTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallSfc(frame_.get()); }
    QSize FrameSize() const override { return {1200, 800}; }
    void OpenEditor() override {
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        sfc_ = _Sfc;
        ASSERT_NE(sfc_, nullptr);
    }

    using LadderFrameTest::Key;
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(sfc_, static_cast<Qt::Key>(key), mods);
    }
    // Keys pressed in the chart by name ("Down", "F5", "Ctrl+L"); "F3=20" is
    // a numbered element's key and the number typed into its editor.
    void Draw(const std::string& keys) {
        std::istringstream in(keys);
        for (std::string k; in >> k;) {
            const std::size_t eq = k.find('=');
            const QKeyCombination key = QKeySequence(QString::fromStdString(k.substr(0, eq)))[0];
            Key(key.key(), key.keyboardModifiers());
            if (eq == std::string::npos) continue;
            ASSERT_TRUE(sfc_->SfcEdit_Txt->isVisible()) << k;
            sfc_->SfcEdit_Txt->selectAll();
            QTest::keyClicks(sfc_->SfcEdit_Txt, QString::fromStdString(k.substr(eq + 1)));
            QTest::keyClick(sfc_->SfcEdit_Txt, Qt::Key_Return);
            ASSERT_FALSE(sfc_->SfcEdit_Txt->isVisible()) << k;
        }
    }
    // The open inner ladder closed, the question to store answered.
    void CloseInner(qel::Answer store) {
        messages_.QueueAnswer(store);
        _InterLadder->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Element code as the inner views store it, a line an element.
    void Condition(int row, int col, const char* line) { ASSERT_TRUE(StoreSfcElementCode(row, col, Assemble({line}))); }
    std::vector<std::uint8_t> Program() { return {gProgram, gProgram + gProgramUsed}; }

    TSfc* sfc_ = nullptr;
};

TEST_F(SfcWindowTest, SelectiveDivergenceAndConvergenceDrawnAndConverted) {
    // S0, a selective divergence to S21 and S31, both back into S40, a jump to S0.
    // F6 draws "7 4", F7 "7 6".
    Draw("F2=0 Down F6 Down F5 Right F5 Down F3=31 Left F3=21 Down F5 Right F5 Down Left F7 Down F3=40 Down F5 Down F4=0");
    EXPECT_EQ(sfc_->Model().CursorRow, 8);
    EXPECT_TRUE(messages_.Shown().empty());

    for (auto [row, col, line] : {std::tuple{2, 0, "LD X0"}, {2, 1, "LD X1"}, {4, 0, "LD X2"}, {4, 1, "LD X3"}, {7, 0, "LD X4"}})
        Condition(row, col, line);
    ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
    EXPECT_EQ(Program(), Assemble({"STL S0", "LD X0", "SET S21", "LD X1", "SET S31", "STL S21", "LD X2", "SET S40",
                                   "STL S31", "LD X3", "SET S40", "STL S40", "LD X4", "OUT S0", "RET"}));

    // Undo goes back over the last element; redo brings it again.
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(gSfcGrid[8 * kSfcRowBytes], 0xFF);
    EXPECT_EQ(sfc_->Model().UndoCount(), 9);
    EXPECT_TRUE(sfc_->Model().CanRedo());
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(gSfcGrid[8 * kSfcRowBytes], kSfcJump);
}

TEST_F(SfcWindowTest, SimultaneousDivergenceAndJumpGoIntoTheProgramWhenTheViewChanges) {
    Draw("F2=1 Down");
    ASSERT_TRUE(frame_->RunCommand("sBtn5"));  // the frame's transition button
    Draw("Down F8 Down F3=20 Right F3=30 Down Left F9 Down F5 Down F4=1");  // F8 draws "3 0", F9 "3 2"
    Condition(1, 0, "LD X0");
    Condition(5, 0, "LD X1");
    // Going over to the instruction list puts the edited chart into the program.
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Program(), Assemble({"STL S1", "LD X0", "SET S20", "SET S30", "STL S20", "STL S30", "LD X1", "OUT S1",
                                   "RET"}));
}

TEST_F(SfcWindowTest, TheFramesEditMenuRunsTheChartsRowAndCellCommands) {
    Draw("F2=1");
    sfc_->Model().CursorRow = 0;
    sfc_->Model().CursorCol = 0;
    auto type = [](int row, int col) { return gSfcGrid[(static_cast<std::size_t>(row) * 16 + col) * 4]; };
    const std::uint8_t step = type(0, 0);
    ASSERT_NE(step, 0xFF);
    for (const char* c : {"MmInsSp", "MmBackSp", "MmInsLine", "MmDelLine", "MmDelTk"})
        EXPECT_TRUE(frame_->Action(c)->isEnabled()) << c;
    ASSERT_TRUE(frame_->RunCommand("MmInsSp"));
    EXPECT_EQ(type(0, 0), 0xFF);
    EXPECT_EQ(type(0, 1), step);
    sfc_->Model().CursorCol = 0;
    ASSERT_TRUE(frame_->RunCommand("MmBackSp"));
    EXPECT_EQ(type(0, 0), step);
    ASSERT_TRUE(frame_->RunCommand("MmInsLine"));
    EXPECT_EQ(type(1, 0), step);
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(type(0, 0), step);
}

TEST_F(SfcWindowTest, TheInnerLadderOfATransitionComesBackIntoItsRecord) {
    Draw("F2=0 Down F5 Down F4=0");
    ASSERT_TRUE(StoreSfcElementCode(1, 0, Assemble({"LD X5", "AND X6", "OUT Y5"})));
    Draw("Up Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    EXPECT_EQ(_InterLadder->SfcRow, 1);
    EXPECT_EQ(_InterLadder->SfcCol, 0);
    EXPECT_NE(gInterLadderGrid[1], 0);  // the condition is drawn
    // No second inner window, for another element or of the other kind:
    // the cursor goes back to the element edited, the tool page to the first.
    frame_->SfcPgCtrl->setCurrentIndex(1);
    Draw("Up Ctrl+L");
    EXPECT_EQ(sfc_->Model().CursorRow, 1);
    EXPECT_EQ(frame_->SfcPgCtrl->currentIndex(), 0);
    Draw("Up Ctrl+M");
    EXPECT_EQ(_InterInst, nullptr);
    EXPECT_EQ(sfc_->Model().CursorRow, 1);
    EXPECT_EQ(messages_.Shown(), (std::vector<std::string>{gMsgTable.Get(79), gMsgTable.Get(78)}));
    // Closed with "store": the compiled ladder goes back into the record.
    FindSfcCodeRec(1, 0)->code.clear();
    CloseInner(qel::Answer::Yes);
    ASSERT_NE(FindSfcCodeRec(1, 0), nullptr);
    EXPECT_EQ(FindSfcCodeRec(1, 0)->code, Assemble({"LD X5", "AND X6", "OUT Y5"}));
    ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
    EXPECT_EQ(Program(), Assemble({"STL S0", "LD X5", "AND X6", "OUT Y5", "OUT S0", "RET"}));
    // The inner list of a step opens over the step's code; a label another
    // element holds is refused there as in the program's list.
    FindSfcCodeRec(1, 0)->code = Assemble({"P7", "LD X5", "AND X6", "OUT Y5"});
    Draw("Up Ctrl+M");
    ASSERT_NE(_InterInst, nullptr);
    EXPECT_EQ(_InterInst->SfcRow, 0);
    EXPECT_EQ(_InterInst->Edit().EnterLine(0, "P7", true), TInstEditResult::LabelTaken);
    EXPECT_EQ(_InterInst->Edit().EnterLine(0, "P8", true), TInstEditResult::Ok);
    // Whatever reads the program takes the list's code into its element first.
    frame_->MmSimulate->trigger();
    ShutdownSimulation();
    ASSERT_NE(FindSfcCodeRec(0, 0), nullptr);
    EXPECT_EQ(FindSfcCodeRec(0, 0)->code, Assemble({"P8"}));
    EXPECT_EQ(Program(), Assemble({"STL S0", "P8", "P7", "LD X5", "AND X6", "OUT Y5", "OUT S0", "RET"}));
}

// An element's ladder holding a label another element holds is not stored:
// the program would have the label twice. The window stays open to change it.
TEST_F(SfcWindowTest, AnElementsLadderWithALabelAnotherElementHoldsStaysOpen) {
    Draw("F2=0");
    ASSERT_TRUE(StoreSfcElementCode(0, 0, Assemble({"P7", "LD X0", "OUT Y0"})));
    TSfcCodeRec* other = AddSfcCodeRec();
    other->row = 5;
    other->col = 0;
    other->code = Assemble({"P7", "LD X1", "OUT Y2"});
    Draw("Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    CloseInner(qel::Answer::Yes);
    ASSERT_NE(_InterLadder, nullptr);
    ASSERT_FALSE(messages_.Shown().empty());
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(kMsgLabelUsed) + " P7");
    EXPECT_EQ(FindSfcCodeRec(0, 0)->code, Assemble({"P7", "LD X0", "OUT Y0"}));
    // Without the other element's label it is stored.
    other->code = Assemble({"P8", "LD X1", "OUT Y2"});
    CloseInner(qel::Answer::Yes);
    EXPECT_EQ(_InterLadder, nullptr);
    EXPECT_EQ(FindSfcCodeRec(0, 0)->code, Assemble({"P7", "LD X0", "OUT Y0"}));
}

// A transition's condition typed into its inner ladder as an engineer does:
// contacts through the element key and the input dialog, the rung left open
// at its right end. The record holds the condition alone; the chart puts the
// transfer after it.
TEST_F(SfcWindowTest, ATransitionsConditionIsTypedIntoItsInnerLadder) {
    Draw("F2=0 Down F5 Down F3=20 Down F5 Down F4=0");
    Condition(3, 0, "LD X2");
    Draw("Up Up Up");
    ASSERT_EQ(sfc_->Model().CursorRow, 1);
    Draw("Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    EXPECT_TRUE(_InterLadder->Condition);
    Key(Qt::Key_F1, "X0", _InterLadder);  // "LD " in the dialog
    QTest::keyClick(_InterLadder, Qt::Key_Right);
    TypeLine("AND X1", _InterLadder);  // a typed letter opens the dialog with it
    EXPECT_EQ(CellKind(CellAt(gInterLadderGrid, 0, 5)), TLdbKind::Open_Ry);
    CloseInner(qel::Answer::Yes);
    ASSERT_EQ(_InterLadder, nullptr) << (messages_.Shown().empty() ? "" : messages_.Shown().back());
    ASSERT_NE(FindSfcCodeRec(1, 0), nullptr);
    EXPECT_EQ(FindSfcCodeRec(1, 0)->code, Assemble({"LD X0", "AND X1"}));
    ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
    EXPECT_EQ(Program(), Assemble({"STL S0", "LD X0", "AND X1", "SET S20", "STL S20", "LD X2", "OUT S0", "RET"}));

    // Opened again, the condition is drawn as it was typed; a contact and a
    // coil typed into the second transition both reach its record.
    Draw("Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    EXPECT_EQ(CellKind(CellAt(gInterLadderGrid, 0, 0)), TLdbKind::Open_Ry);
    EXPECT_EQ(CellKind(CellAt(gInterLadderGrid, 0, 5)), TLdbKind::Open_Ry);
    CloseInner(qel::Answer::No);
    ASSERT_EQ(_InterLadder, nullptr);
    // A step's code is no condition: a contact left open there is a dead end,
    // the window stays open with message 32 and the record stays empty.
    Draw("Down Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    EXPECT_FALSE(_InterLadder->Condition);
    Key(Qt::Key_F1, "X4", _InterLadder);
    CloseInner(qel::Answer::Yes);
    ASSERT_NE(_InterLadder, nullptr);
    ASSERT_FALSE(messages_.Shown().empty());
    EXPECT_EQ(messages_.Shown().back().rfind(gMsgTable.Get(32), 0), 0u) << messages_.Shown().back();
    EXPECT_EQ(FindSfcCodeRec(2, 0), nullptr);
    CloseInner(qel::Answer::No);
    ASSERT_EQ(_InterLadder, nullptr);
    Draw("Down Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    QTest::keyClick(_InterLadder, Qt::Key_Right);
    Key(Qt::Key_F1, "X3", _InterLadder);
    QTest::keyClick(_InterLadder, Qt::Key_Right);
    Key(Qt::Key_F7, "Y3", _InterLadder);
    CloseInner(qel::Answer::Yes);
    ASSERT_EQ(_InterLadder, nullptr) << (messages_.Shown().empty() ? "" : messages_.Shown().back());
    EXPECT_EQ(FindSfcCodeRec(3, 0)->code, Assemble({"LD X2", "AND X3", "OUT Y3"}));
}

TEST_F(SfcWindowTest, GoToStepInAnElementsInnerLadder) {
    Draw("F1");  // a LAD block
    ASSERT_TRUE(StoreSfcElementCode(0, 0, Assemble({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "OUT Y2"})));
    Draw("Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    ASSERT_TRUE(frame_->RunCommand("MmJump"));
    EXPECT_EQ(gActiveView, 8);
    Finish("3");  // OUT Y1: the second network
    EXPECT_EQ(_InterLadder->Edit().Row(), 1);
    EXPECT_EQ(gActiveView, 17);
}

// The chart's simulate button runs the chart as it is drawn: a condition
// typed into the transition's ladder, never closed, and the chart, never
// left, go into the program first.
TEST_F(SfcWindowTest, TheSimulateButtonRunsTheChartAsDrawn) {
    Draw("F2=0 Down F5 Down F4=0 Up Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    Key(Qt::Key_F1, "X0", _InterLadder);
    ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
    ASSERT_EQ(gActiveView, 16);
    const std::vector<std::uint8_t> drawn = Assemble({"STL S0", "LD X0", "OUT S0", "RET"});
    ASSERT_NE(Program(), drawn);
    ASSERT_FALSE(frame_->QelStaBar->Panel(4).startsWith(QStringLiteral("Steps: %1/").arg(drawn.size() / 2)));
    frame_->BnSimuSfc->trigger();
    EXPECT_TRUE(gSimRunning);
    EXPECT_EQ(Program(), drawn);
    EXPECT_TRUE(frame_->QelStaBar->Panel(4).startsWith(QStringLiteral("Steps: %1/").arg(gProgramUsed / 2)));
    frame_->BnSimuSfc->trigger();
    EXPECT_FALSE(gSimRunning);
    EXPECT_NE(_InterLadder, nullptr);
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(SfcWindowTest, TheNumberEditorsArrowsRunRoundTheStepRange) {
    Key(Qt::Key_F4);
    ASSERT_TRUE(sfc_->SfcEdit_Txt->isVisible());
    QTest::keyClick(sfc_->SfcEdit_Txt, Qt::Key_Down);  // from S0 down: the highest S of the family
    EXPECT_EQ(sfc_->SfcEdit_Txt->text(), QString::number(DeviceLimitOf(CurrentFamily(), 'S')));
    QTest::keyClick(sfc_->SfcEdit_Txt, Qt::Key_Up);
    QTest::keyClick(sfc_->SfcEdit_Txt, Qt::Key_Up);
    EXPECT_EQ(sfc_->SfcEdit_Txt->text(), QStringLiteral("1"));
    // The up-down buttons beside it do the same.
    ASSERT_TRUE(sfc_->SfcEdit_UD->isVisible());
    auto* up = sfc_->SfcEdit_UD->findChild<QToolButton*>("Up");
    auto* down = sfc_->SfcEdit_UD->findChild<QToolButton*>("Down");
    ASSERT_TRUE(up && down);
    for (auto [button, want] : {std::pair{down, 0}, {down, DeviceLimitOf(CurrentFamily(), 'S')}, {up, 0}, {up, 1}}) {
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(sfc_->SfcEdit_Txt->text(), QString::number(want));
    }
    QTest::keyClick(sfc_->SfcEdit_Txt, Qt::Key_Return);
    EXPECT_FALSE(sfc_->SfcEdit_UD->isVisible());
    EXPECT_EQ(gSfcGrid[0], kSfcJump);
    EXPECT_EQ(gSfcGrid[1], 1);
    Draw("Down F1 Ctrl+F2");  // a LAD block has no device to comment
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(40));
}

TEST_F(SfcWindowTest, CommentDisplayDoublesTheColumns) {
    Key(Qt::Key_F6);  // 7 4: a line across both cells
    ASSERT_TRUE(frame_->RunCommand("MmCmtType"));
    ASSERT_EQ(gShowComments, 1);
    EXPECT_EQ(sfc_->Stride(), 2 * sfc_->CellWidth());
    // A click in the right half of the first column stays in column 0.
    QTest::mouseClick(sfc_->viewport(), Qt::LeftButton, {}, QPoint(sfc_->CellWidth() + 10, sfc_->CellHeight() + 5));
    EXPECT_EQ(sfc_->Model().CursorCol, 0);
    EXPECT_EQ(sfc_->Model().CursorRow, 1);
    QTest::mouseClick(sfc_->viewport(), Qt::LeftButton, {}, QPoint(2 * sfc_->CellWidth() + 10, 5));
    EXPECT_EQ(sfc_->Model().CursorCol, 1);
    // The selective line runs through the doubled cell.
    sfc_->repaint();
    const QImage img = sfc_->viewport()->grab().toImage();
    EXPECT_EQ(QColor(img.pixel(sfc_->CellWidth() + sfc_->CellWidth() / 2, sfc_->CellHeight() / 2)), QColor(Qt::black));
    ASSERT_TRUE(frame_->RunCommand("MmCmtType"));
    EXPECT_EQ(gShowComments, 0);
    const std::vector<std::string> lines = SplitCommentLines("启动按钮 start", 8, 3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "启动");  // 6 bytes: the next character would not fit whole
    EXPECT_EQ(lines[1], "按钮 s");
    EXPECT_EQ(lines[2], "tart");
}

TEST_F(SfcWindowTest, RefusalsLeaveTheChartAndShowTheirMessage) {
    Draw("F2=0 Down Down F3=20");
    const std::vector<std::uint8_t> before(gSfcGrid, gSfcGrid + 4 * kSfcRowBytes);
    // A step number used twice, a step below 10, a LAD block outside column 0.
    Draw("Right F3=20 F3=5 F1");
    EXPECT_EQ(std::vector<std::uint8_t>(gSfcGrid, gSfcGrid + 4 * kSfcRowBytes), before);
    ASSERT_EQ(messages_.Shown().size(), 3u);
    EXPECT_NE(messages_.Shown()[0].find(gMsgTable.Get(75)), std::string::npos);
}

TEST_F(SfcWindowTest, ElementsWithoutCodeAreFilledAndTheCursorIsBlue) {
    Draw("F2=0 Right F3=10");
    Condition(0, 1, "OUT Y0");
    Draw("Down");
    sfc_->repaint();
    const QImage img = sfc_->viewport()->grab().toImage();
    const int w = sfc_->CellWidth(), h = sfc_->CellHeight();
    // S0 has no inner program: button-face fill inside its box; S10 has one: white.
    EXPECT_EQ(QColor(img.pixel(w / 2, h - 6)), kSfcButtonFace);
    EXPECT_EQ(QColor(img.pixel(w + w / 2, h - 6)), QColor(Qt::white));
    // The cursor frame around (1, 1).
    EXPECT_EQ(QColor(img.pixel(w + w / 2, h + 1)), kSfcCursorColour);
}


// The chart and the program's ladder are two forms of one program: when both
// hold edits the program does not have, the frame asks which to keep before
// either goes in; a save that leaves the ladder's edits out says so.
class ChartAndLadderTest : public SfcWindowTest {
protected:
    static constexpr int kMsgChartOrLadder = 254, kMsgLadderEditsNotSaved = 255, kMsgLadderNotOfProgram = 251;

    std::vector<std::uint8_t> Code() { return {gProgram, gProgram + gProgramUsed}; }
    std::vector<std::uint8_t> ConditionCode() { return FindSfcCodeRec(1, 0) ? FindSfcCodeRec(1, 0)->code : Assemble({}); }
    static std::vector<std::uint8_t> LadderRows() {
        return {gLadderRows, gLadderRows + static_cast<std::size_t>(kLadderRows) * kLadderRowBytes};
    }
    // A chart S0 -> (X5) -> jump to S0 put into the program by the frame's
    // command; the program's ladder opened on the code.
    void ChartInProgram() {
        Draw("F2=0 Down F5 Down F4=0");
        Condition(1, 0, "LD X5");
        ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
        ASSERT_EQ(Code(), Assemble({"STL S0", "LD X5", "OUT S0", "RET"}));
        ASSERT_FALSE(sfc_->HoldsEdits());
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        QCoreApplication::processEvents();
        lad_ = _LDB;
        ASSERT_FALSE(lad_->Dirty());
        drawn_ = LadderRows();
        messages_.Clear();
    }
    // Both hold edits: a rung typed on the ladder's row 10, which compiles,
    // the ladder still the active view; the transition's condition changed
    // as its inner view stores it.
    void BothEdited() {
        ChartInProgram();
        Click(10, 1);
        KeyRung("X1", "Y1");
        ASSERT_TRUE(lad_->Dirty());
        Condition(1, 0, "LD X6");
        ASSERT_TRUE(sfc_->HoldsEdits());
        before_ = Code();
        edited_ = LadderRows();
    }
    // The frame's Save, naming the project, answering the one question.
    void SaveAnswering(qel::Answer a) {
        messages_.QueueAnswer(a);
        dialogs_.QueuePath(Project(".kzp").string());
        frame_->RunCommand("MmSave");
        QCoreApplication::processEvents();
        EXPECT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgChartOrLadder)});
        EXPECT_FALSE(Shown(kMsgLadderNotOfProgram));
    }

    std::vector<std::uint8_t> before_, drawn_, edited_;
};

TEST_F(ChartAndLadderTest, KeepingTheChartPutsItInAndDrawsTheLadderFromTheCode) {
    BothEdited();
    SaveAnswering(qel::Answer::Yes);
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X6", "OUT S0", "RET"}));
    EXPECT_FALSE(lad_->Dirty());
    // The rows the typed rung changed are as the code draws them again.
    const std::vector<std::uint8_t> now = LadderRows();
    for (int row = 0; row < kLadderRows; ++row) {
        const auto at = static_cast<std::ptrdiff_t>(row) * kLadderRowBytes;
        if (!std::equal(edited_.begin() + at, edited_.begin() + at + kLadderRowBytes, drawn_.begin() + at)) {
            EXPECT_TRUE(std::equal(now.begin() + at, now.begin() + at + kLadderRowBytes, drawn_.begin() + at))
                << "row " << row << " still holds the typed rung";
        }
    }
    EXPECT_TRUE(LadderMatchesProgram());
    EXPECT_FALSE(sfc_->HoldsEdits());
    EXPECT_FALSE(Shown(kMsgLadderEditsNotSaved));
    EXPECT_TRUE(std::filesystem::exists(Project(".lad")));
    EXPECT_EQ(gQel.Modified, 0);
}

TEST_F(ChartAndLadderTest, KeepingTheLadderPutsItsRungInAndTakesTheChartBack) {
    BothEdited();
    SaveAnswering(qel::Answer::No);
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X5", "OUT S0", "RET", "LD X1", "OUT Y1"}));
    EXPECT_FALSE(lad_->Dirty());
    EXPECT_TRUE(LadderRows() == edited_);
    EXPECT_EQ(ConditionCode(), Assemble({"LD X5"})) << "the chart as it last went in";
    EXPECT_FALSE(sfc_->HoldsEdits());
    EXPECT_EQ(gQel.Modified, 0);
    // The dropped chart edit is one undo step away.
    ASSERT_TRUE(sfc_->Model().Undo());
    EXPECT_EQ(ConditionCode(), Assemble({"LD X6"}));
}

TEST_F(ChartAndLadderTest, CancelKeepsBothAndSavesNothing) {
    BothEdited();
    SaveAnswering(qel::Answer::Cancel);
    EXPECT_EQ(Code(), before_);
    EXPECT_TRUE(lad_->Dirty());
    EXPECT_TRUE(LadderRows() == edited_);
    EXPECT_EQ(ConditionCode(), Assemble({"LD X6"}));
    EXPECT_TRUE(sfc_->HoldsEdits());
    EXPECT_FALSE(std::filesystem::exists(Project(".kzp")));
}

// The ladder's edits did not compile when it was left; the chart was edited
// after. Leaving the chart asks before converting it: the ladder's edits are
// not left behind code they can never be compiled over.
TEST_F(ChartAndLadderTest, LeavingTheChartAsksWhenTheLaddersEditsAreNotIn) {
    ChartInProgram();
    Click(10, 1);
    Key(Qt::Key_F1, "X1");  // a contact with no output
    ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
    QCoreApplication::processEvents();
    ASSERT_TRUE(lad_->Dirty());
    Condition(1, 0, "LD X6");
    const std::vector<std::uint8_t> before = Code();

    messages_.QueueAnswer(qel::Answer::Cancel);
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    ASSERT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgChartOrLadder)});
    EXPECT_EQ(Code(), before);
    EXPECT_TRUE(lad_->Dirty());

    // Keeping the ladder, whose edits still do not compile, drops nothing.
    messages_.QueueAnswer(qel::Answer::No);
    ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(messages_.Asked().size(), 2u);
    EXPECT_EQ(Code(), before);
    EXPECT_TRUE(lad_->Dirty());
    EXPECT_EQ(ConditionCode(), Assemble({"LD X6"}));

    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(messages_.Asked().size(), 3u);
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X6", "OUT S0", "RET"}));
    EXPECT_FALSE(lad_->Dirty());
    EXPECT_TRUE(LadderMatchesProgram());
    EXPECT_FALSE(Shown(kMsgLadderNotOfProgram));
}

// The ladder's edits do not compile: the save writes the files, names the
// ladder file whose rows the program does not have, and leaves the project
// modified, so that leaving it asks again.
TEST_F(ChartAndLadderTest, SaveWithLadderEditsOutsideTheProgramSaysSo) {
    ChartInProgram();
    Click(10, 1);
    Key(Qt::Key_F1, "X1");  // a contact with no output
    ASSERT_TRUE(lad_->Dirty());
    dialogs_.QueuePath(Project(".kzp").string());
    frame_->RunCommand("MmSave");
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(kMsgLadderEditsNotSaved) + " " + Project(".lad").string()));
    EXPECT_TRUE(std::filesystem::exists(Project(".kzp")));
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_TRUE(lad_->Dirty());

    // The ladder file kept the edited rows, under the code they were drawn
    // from: opening the project again brings them back.
    const std::vector<std::uint8_t> edited = LadderRows();
    messages_.QueueAnswer(qel::Answer::Yes);  // drop the ladder's edits
    messages_.QueueAnswer(qel::Answer::No);   // do not save again
    frame_->NewClick();
    ASSERT_NE(LadderRows(), edited);
    messages_.Clear();
    dialogs_.QueuePath(Project(".kzp").string());
    ASSERT_TRUE(frame_->RunCommand("MmOpen"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_EQ(LadderRows(), edited);
}

// The chart's walk stops at a step no initial step leads to: the message
// names its cell and the chart's cursor goes there, from the frame's command
// and from the commit when another view takes over.
TEST_F(ChartAndLadderTest, AChartThatDoesNotConvertShowsWhereAndTheCursorGoesThere) {
    // A LAD block ends the chain; the step below it has no initial step.
    Draw("F2=0 Down F5 Down F4=0 Down F1 Down Down Right Right F3=30 Home Up Up Up Up Up");
    Condition(1, 0, "LD X5");
    ASSERT_EQ(sfc_->Model().CursorRow, 0);
    ASSERT_EQ(sfc_->Model().CursorCol, 0);
    const std::vector<std::uint8_t> program = Code();
    const std::string where = gMsgTable.Get(1) + " [" + gMsgTable.Get(14) + ": 5 " + gMsgTable.Get(15) + ": 2 ]";

    frame_->RunCommand("MmSfcToCode");
    EXPECT_EQ(messages_.Shown(), std::vector<std::string>{where});
    EXPECT_EQ(sfc_->Model().CursorRow, 5);
    EXPECT_EQ(sfc_->Model().CursorCol, 2);
    EXPECT_EQ(Code(), program);

    Draw("Home Up");
    messages_.Clear();
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(messages_.Shown(), std::vector<std::string>{where});
    EXPECT_EQ(sfc_->Model().CursorRow, 5);
    EXPECT_EQ(sfc_->Model().CursorCol, 2);
}

// The chart holds edits of its own: a jump deleted, so that it no longer
// converts, or an element's inner rung half drawn. Closing the window, saving
// and opening the project keep them; only the user's own answer drops them.
class ChartEditsKeptTest : public SfcWindowTest {
protected:
    static constexpr int kMsgChartCannotConvert = 1, kMsgStoreInner = 27, kMsgRungIncomplete = 32,
                         kMsgChartEditsNotSaved = 257, kMsgChartFileStale = 258, kMsgChartOverChangedCode = 259, kMsgInnerOpen = 260;

    // The program typed into the instruction list, then View > SFC: S0 at
    // (0,0), its transition (X5) at (1,0), the jump back to S0 at (2,0).
    void OpenEditor() override {
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        ASSERT_NE(_Inst, nullptr);
        for (const char* line : {"STL S0", "LD X5", "OUT S0", "RET"}) ListLine(line);
        ASSERT_EQ(Code(), listed_);
        ViewChart();
        ASSERT_EQ(Cell(0, 0), kSfcInitStep);
        ASSERT_EQ(Cell(1, 0), kSfcTransition);
        ASSERT_EQ(Cell(2, 0), kSfcJump);
        messages_.Clear();
    }
    void ListLine(const std::string& line) {
        QTest::keyClicks(_Inst, QString::fromStdString(line.substr(0, 1)));
        ASSERT_TRUE(_EditDlg->isVisible()) << line;
        Finish(line.substr(1));
    }
    void TypeInList(std::initializer_list<const char*> lines) {
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        QCoreApplication::processEvents();
        for (const char* line : lines) ListLine(line);
    }
    // Saved with the chart window closed over lines typed since: the list's
    // code is saved, the chart's rows kept, the project stays modified; Open
    // (No to saving the changes) brings the step and its ladder back, unwarned.
    void SaveBehindTheChartAndReopen(const std::vector<std::uint8_t>& typed, const std::vector<std::uint8_t>& rung) {
        messages_.Clear();
        Save();
        EXPECT_TRUE(ToldNotSaved());
        EXPECT_EQ(SavedCode(), typed);
        EXPECT_GE(ChartFileRows(), 1u);
        EXPECT_EQ(gQel.Modified, 1);
        messages_.Clear();
        messages_.QueueAnswer(qel::Answer::No);  // the question to save the changes
        Reopen();
        ViewChart();
        EXPECT_EQ(Count(kMsgChartFileStale), 0);
        EXPECT_EQ(Cell(0, 4), kSfcStep);
        EXPECT_EQ(Record(0, 4), rung);
        EXPECT_EQ(Code(), typed);
    }
    void ViewChart() {
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        QCoreApplication::processEvents();
        sfc_ = _Sfc;
        ASSERT_NE(sfc_, nullptr);
    }
    // The chart window closed by its frame, as the user closes it.
    void CloseChart() {
        auto* sub = qobject_cast<QMdiSubWindow*>(sfc_->parentWidget());
        ASSERT_NE(sub, nullptr);
        sub->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    // File > Open of the project, answering the question to save the changes.
    void OpenProject(qel::Answer saveChanges) {
        messages_.QueueAnswer(saveChanges);
        Open();
    }
    // A new project, then File > Open of the project.
    void Reopen() {
        frame_->NewClick();
        Open();
    }
    // The step's inner ladder opened on a rung X1-Y1, the chart shown again
    // with the inner window left open.
    TLDB* InnerRung() {
        Draw("Ctrl+L");
        TLDB* inner = _InterLadder;
        EXPECT_NE(inner, nullptr);
        if (!inner) return nullptr;
        Key(Qt::Key_F1, "X1", inner);
        QTest::keyClick(inner, Qt::Key_Right);
        Key(Qt::Key_F7, "Y1", inner);
        ViewChart();
        return inner;
    }
    static std::uint8_t Cell(int row, int col) { return gSfcGrid[static_cast<std::size_t>(row) * kSfcRowBytes + col * 4]; }
    std::vector<std::uint8_t> Code() { return {gProgram, gProgram + gProgramUsed}; }
    std::vector<std::uint8_t> Record(int row, int col) {
        const TSfcCodeRec* rec = FindSfcCodeRec(row, col * 4);
        return rec ? rec->code : std::vector<std::uint8_t>{};
    }
    // The program the project's file holds, read on its own.
    std::vector<std::uint8_t> SavedCode() const {
        std::ifstream in(Project(".kzp"), std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < 132) return {};
        std::vector<std::uint8_t> image(bytes.begin() + 132, bytes.end());
        return {image.begin(), image.begin() + LocateCodeEnd(image.data(), static_cast<std::uint32_t>(image.size()))};
    }
    int Count(int id) const {
        const std::string text = gMsgTable.Get(id);
        int n = 0;
        for (const std::string& m : messages_.Shown()) n += m.rfind(text, 0) == 0;
        return n;
    }
    bool ToldNotSaved() const { return messages_.WasShown(gMsgTable.Get(kMsgChartEditsNotSaved) + " " + Project(".sfc").string()); }

    std::vector<std::uint8_t> ChartFile() const {
        std::ifstream in(Project(".sfc"), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The row count the chart file holds (behind its header).
    std::uint32_t ChartFileRows() const {
        const std::vector<std::uint8_t> b = ChartFile();
        return b.size() < 132 ? 0 : b[128] | b[129] << 8 | b[130] << 16 | static_cast<std::uint32_t>(b[131]) << 24;
    }
    // The chain moved down a row by the user, and put into the program: it
    // still converts to the listed code.
    void MoveChainDown() {
        Draw("Ctrl+I");
        ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
        ASSERT_EQ(Code(), listed_);
        ASSERT_TRUE(ChainMovedDown());
    }
    static bool ChainMovedDown() {
        return Cell(0, 0) == 0xFF && Cell(1, 0) == kSfcInitStep && Cell(2, 0) == kSfcTransition && Cell(3, 0) == kSfcJump;
    }

    const std::vector<std::uint8_t> listed_ = Assemble({"STL S0", "LD X5", "OUT S0", "RET"});
};

TEST_F(ChartEditsKeptTest, AChartThatDoesNotConvertIsSavedAndOpensAsDrawn) {
    Draw("Down Down Delete");
    ASSERT_EQ(Cell(2, 0), 0xFF);
    SaveAs();
    EXPECT_EQ(Count(kMsgChartCannotConvert), 1);
    EXPECT_TRUE(ToldNotSaved());
    EXPECT_EQ(Code(), listed_);
    EXPECT_EQ(SavedCode(), listed_);
    EXPECT_EQ(gQel.Modified, 1);

    // Open asks first; the chart comes back as it was drawn, without a word.
    messages_.Clear();
    OpenProject(qel::Answer::No);
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(messages_.Asked()[0].rfind(gMsgTable.Get(kMsgSaveChanges), 0), 0u);
    ViewChart();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(Cell(1, 0), kSfcTransition);
    EXPECT_EQ(Cell(2, 0), 0xFF) << "the deleted jump is back";
    EXPECT_EQ(Code(), listed_);

    // Saved again and opened again: the chart file still holds the drawing.
    SaveAs();
    EXPECT_TRUE(ToldNotSaved());
    OpenProject(qel::Answer::No);
    ViewChart();
    EXPECT_EQ(Cell(2, 0), 0xFF);
}

TEST_F(ChartEditsKeptTest, ClosingAChartThatDoesNotConvertKeepsItsEdits) {
    Draw("Down Down Delete");
    CloseChart();
    EXPECT_EQ(_Sfc, nullptr);
    EXPECT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(Count(kMsgChartCannotConvert), 1);
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_EQ(Code(), listed_);
    EXPECT_EQ(gQel.Modified, 1);
    ViewChart();
    EXPECT_EQ(Cell(1, 0), kSfcTransition);
    EXPECT_EQ(Cell(2, 0), 0xFF) << "the chart was drawn from the code again";
    EXPECT_EQ(messages_.Shown().size(), 1u);
}

TEST_F(ChartEditsKeptTest, AnInnerRungThatCannotBeStoredLeavesTheSaveIncomplete) {
    Draw("Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    Key(Qt::Key_F1, "X1", _InterLadder);  // a contact without a coil
    CloseInner(qel::Answer::Yes);
    ASSERT_NE(_InterLadder, nullptr);
    ASSERT_EQ(Count(kMsgRungIncomplete), 1);
    ViewChart();
    messages_.Clear();
    SaveAs();
    EXPECT_EQ(Count(kMsgRungIncomplete), 1);
    EXPECT_TRUE(ToldNotSaved());
    EXPECT_EQ(SavedCode(), listed_);
    EXPECT_EQ(gQel.Modified, 1);
    // New asks before the rung is dropped; Cancel keeps it.
    messages_.QueueAnswer(qel::Answer::Cancel);
    frame_->RunCommand("MmNew");
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_NE(_InterLadder, nullptr);
    EXPECT_NE(_Sfc, nullptr);
}

TEST_F(ChartEditsKeptTest, TheChartStaysOpenWhileItsInnerLadderRefusesToClose) {
    Draw("Ctrl+L");
    TLDB* inner = _InterLadder;
    ASSERT_NE(inner, nullptr);
    Key(Qt::Key_F1, "X1", inner);
    ViewChart();
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);  // store the inner ladder
    CloseChart();
    ASSERT_EQ(_Sfc, sfc_) << "the chart closed over its inner ladder";
    EXPECT_EQ(_InterLadder, inner);
    EXPECT_EQ(Count(kMsgRungIncomplete), 1);
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgStoreInner)});

    // The rung made whole and stored: it is the step's, and the chart,
    // closed now, goes into the program with it.
    QTest::keyClick(inner, Qt::Key_Home);
    QTest::keyClick(inner, Qt::Key_Right);
    Key(Qt::Key_F7, "Y1", inner);
    messages_.Clear();
    CloseInner(qel::Answer::Yes);
    EXPECT_EQ(_InterLadder, nullptr);
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_EQ(Record(0, 0), Assemble({"LD X1", "OUT Y1"}));
    CloseChart();
    EXPECT_EQ(_Sfc, nullptr);
    const std::vector<std::uint8_t> whole = Assemble({"STL S0", "LD X1", "OUT Y1", "LD X5", "OUT S0", "RET"});
    EXPECT_EQ(Code(), whole);
    ViewChart();
    EXPECT_EQ(Record(0, 0), Assemble({"LD X1", "OUT Y1"}));
    SaveAs();
    EXPECT_EQ(SavedCode(), whole);
    EXPECT_EQ(gQel.Modified, 0);
}

// A chart that is only a drawing of code changed since is saved without its
// rows and drawn from the code again without a word; a chart file that does
// not say which code it belongs to (an older version's) is drawn from the
// code again, and the user is told.
TEST_F(ChartEditsKeptTest, AChartFileOfOtherCodeIsDrawnFromTheCode) {
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    for (const char* line : {"LD X7", "OUT Y7"}) ListLine(line);
    const std::vector<std::uint8_t> typed = Code();
    ASSERT_NE(typed, listed_);
    SaveAs();
    EXPECT_EQ(SavedCode(), typed);
    EXPECT_EQ(gQel.Modified, 0);
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    auto sfcFile = [this] {
        std::ifstream in(Project(".sfc"), std::ios::binary);
        return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    std::vector<std::uint8_t> file = sfcFile();
    ASSERT_GE(file.size(), 136u);
    EXPECT_EQ(file[128], 0) << "the old drawing's rows were saved";
    OpenProject(qel::Answer::No);
    ViewChart();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(Cell(2, 0), kSfcJump);
    EXPECT_EQ(Cell(3, 0), kSfcLad);

    // A chart file without the stamps, holding the jump deleted.
    Draw("Down Down Delete");
    SaveAs();
    file = sfcFile();
    ASSERT_GT(file[128], 0);
    std::fill(file.begin() + 66, file.begin() + 128, 0);
    std::ofstream(Project(".sfc"), std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                            static_cast<std::streamsize>(file.size()));
    messages_.Clear();
    OpenProject(qel::Answer::No);
    EXPECT_EQ(Cell(2, 0), 0xFF);
    ViewChart();
    EXPECT_EQ(messages_.Shown(),
              std::vector<std::string>{gMsgTable.Get(kMsgChartFileStale) + " " + Project(".sfc").string()});
    EXPECT_EQ(Cell(2, 0), kSfcJump);
    EXPECT_EQ(Code(), typed);

    // The chart file the message named: the next save keeps it as the
    // chart's backup, and the save after that keeps that backup aside, under
    // a name it says, before it writes its own backup there.
    const std::string named(file.begin(), file.end());
    auto bytesOf = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    Save();
    EXPECT_EQ(bytesOf(Project(".sf~")), named);
    messages_.Clear();
    Save();
    EXPECT_NE(bytesOf(Project(".sf~")), named);
    std::vector<std::filesystem::path> holding;
    for (const auto& e : std::filesystem::directory_iterator(Project(".sfc").parent_path()))
        if (e.path().filename().string().rfind(Project(".sf~").filename().string() + ".", 0) == 0 &&
            bytesOf(e.path()) == named)
            holding.push_back(e.path());
    ASSERT_EQ(holding.size(), 1u) << "the chart file the message named is kept";
    EXPECT_EQ(messages_.Shown(), std::vector<std::string>{gMsgTable.Get(kMsgBackupsKeptAside) + "\n" + holding[0].string()});
}

// Code typed by hand may draw as a chart that converts to another form of it
// (two chains, one RET between them): only looking at the chart changes
// nothing of the program, and nothing is reported unsaved.
TEST_F(ChartEditsKeptTest, AChartDrawnFromHandTypedCodeLeavesTheCodeAsTyped) {
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    for (const char* line : {"STL S1", "LD X6", "OUT S1", "RET"}) ListLine(line);
    const std::vector<std::uint8_t> typed =
        Assemble({"STL S0", "LD X5", "OUT S0", "RET", "STL S1", "LD X6", "OUT S1", "RET"});
    ASSERT_EQ(Code(), typed);
    ViewChart();
    CloseChart();
    ViewChart();
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Code(), typed);
    SaveAs();
    EXPECT_EQ(SavedCode(), typed);
    EXPECT_EQ(gQel.Modified, 0);
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// A chart that converts goes into the program at every commit, as it did:
// the close takes what its inner ladder stores first.
TEST_F(ChartEditsKeptTest, AConvertingChartGoesInWithWhatItsInnerLadderStores) {
    ASSERT_NE(InnerRung(), nullptr);
    messages_.QueueAnswer(qel::Answer::Yes);
    CloseChart();
    EXPECT_EQ(_Sfc, nullptr);
    EXPECT_EQ(_InterLadder, nullptr);
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X1", "OUT Y1", "LD X5", "OUT S0", "RET"}));
    // The transition's condition changed: leaving the chart puts it in.
    ViewChart();
    EXPECT_EQ(Record(0, 0), Assemble({"LD X1", "OUT Y1"}));
    Condition(1, 0, "LD X6");
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X1", "OUT Y1", "LD X6", "OUT S0", "RET"}));
    // And the save writes it, the project clean.
    ViewChart();
    Condition(1, 0, "LD X7");
    SaveAs();
    EXPECT_EQ(SavedCode(), Assemble({"STL S0", "LD X1", "OUT Y1", "LD X7", "OUT S0", "RET"}));
    EXPECT_EQ(gQel.Modified, 0);
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// The chart's edits were made on the program as it stood; the code changed
// elsewhere since (typed in the list, read from a PLC). The chart's code,
// which replaces the whole program, goes in over that change only when the
// user says so.
TEST_F(ChartEditsKeptTest, AChartEditedBeforeTheCodeChangedElsewhereAsksBeforeReplacingIt) {
    Condition(1, 0, "LD X6");
    Draw("Down Down Delete");
    CloseChart();
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    for (const char* line : {"LD X7", "OUT Y7"}) ListLine(line);
    const std::vector<std::uint8_t> typed = Code();
    ASSERT_NE(typed, listed_);
    ViewChart();
    ASSERT_EQ(Cell(2, 0), 0xFF) << "the chart as the user left it";
    Draw("Down Down F4=0");  // the jump drawn again: the chart converts, with its own condition
    messages_.Clear();
    const std::vector<std::string> asked{gMsgTable.Get(kMsgChartOverChangedCode)};
    auto leave = [&](qel::Answer a) {
        messages_.QueueAnswer(a);
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        QCoreApplication::processEvents();
    };

    leave(qel::Answer::Cancel);
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_EQ(Code(), typed);
    EXPECT_TRUE(sfc_->HoldsEdits());

    // No: the program stays, the chart is drawn from it.
    messages_.Clear();
    leave(qel::Answer::No);
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_EQ(Code(), typed);
    EXPECT_FALSE(sfc_->HoldsEdits());
    EXPECT_EQ(Cell(2, 0), kSfcJump);
    EXPECT_EQ(Cell(3, 0), kSfcLad) << "the typed rung is in the chart";

    // Yes: the chart's edit goes in over a program read in meanwhile.
    ViewChart();
    Condition(1, 0, "LD X6");
    ASSERT_TRUE(sfc_->HoldsEdits());
    const std::vector<std::uint8_t> read = Assemble({"STL S0", "LD X5", "OUT S0", "RET", "LD X10", "OUT Y10"});
    std::memcpy(gProgram, read.data(), read.size());
    LocateProgramEnd();
    messages_.Clear();
    leave(qel::Answer::Yes);
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X6", "OUT S0", "RET", "LD X7", "OUT Y7"}));
    EXPECT_FALSE(sfc_->HoldsEdits());

    // The chart now stands for the program: its next edit goes in unasked.
    ViewChart();
    Condition(1, 0, "LD X4");
    messages_.Clear();
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X4", "OUT S0", "RET", "LD X7", "OUT Y7"}));
}

// Dropping the chart's edits for a program no chart can hold (a step twice)
// replaces none of them, whether the chart is left or converted: the chart
// stays as drawn, with the message, as without the window.
TEST_F(ChartEditsKeptTest, DroppingTheChartsEditsForCodeNoChartCanHoldKeepsTheChart) {
    Condition(1, 0, "LD X6");
    Draw("Down Down Delete");
    CloseChart();
    const std::vector<std::uint8_t> read = Assemble({"STL S0", "LD X0", "SET S20", "STL S20", "RET", "STL S20", "RET"});
    std::memcpy(gProgram, read.data(), read.size());
    LocateProgramEnd();
    ViewChart();  // opened on the chart's edits
    Draw("Down Down F4=0");
    const std::vector<std::uint8_t> drawn(gSfcGrid, gSfcGrid + 4 * kSfcRowBytes);
    const struct {
        const char* command;
        std::size_t questions;  // each answered No: the program stays
    } rows[] = {
        {"MmInstWin", 1},
        // Asked by the commit before the command, and by the command: the
        // chart still holds its edits.
        {"MmSfcToCode", 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        messages_.Clear();
        for (std::size_t k = 0; k < row.questions; ++k) messages_.QueueAnswer(qel::Answer::No);
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        ASSERT_TRUE(frame_->RunCommand(row.command));
        QCoreApplication::processEvents();
        EXPECT_EQ(messages_.Asked(), std::vector<std::string>(row.questions, gMsgTable.Get(kMsgChartOverChangedCode)));
        EXPECT_EQ(Count(kMsgChartCannotConvert), static_cast<int>(row.questions));
        EXPECT_EQ(Code(), read);
        EXPECT_EQ(std::vector<std::uint8_t>(gSfcGrid, gSfcGrid + 4 * kSfcRowBytes), drawn);
        EXPECT_EQ(Record(1, 0), Assemble({"LD X6"}));
        EXPECT_TRUE(sfc_->HoldsEdits());
    }
}

// An element's inner ladder stays open while the chart is edited: rows and
// cells inserted or deleted carry its element along, and what it stores
// reaches that element; an edit that would remove or replace the element, or
// put back a whole chart, waits until the window is closed.
TEST_F(ChartEditsKeptTest, AnOpenInnerLadderStoresIntoItsElementWhereverTheChartMovesIt) {
    ASSERT_NE(InnerRung(), nullptr);
    messages_.Clear();

    Draw("Ctrl+I Down Ctrl+B");  // a row above the step, a cell before it
    ASSERT_EQ(Cell(1, 1), kSfcInitStep);
    Draw("Right");
    const std::vector<std::uint8_t> moved(gSfcGrid, gSfcGrid + 4 * kSfcRowBytes);
    for (const char* refused : {"Delete", "Ctrl+K", "Ctrl+Y", "F1", "Ctrl+Z"}) {
        Draw(refused);
        EXPECT_EQ(std::vector<std::uint8_t>(gSfcGrid, gSfcGrid + 4 * kSfcRowBytes), moved) << refused;
    }
    EXPECT_EQ(Count(kMsgInnerOpen), 5);
    EXPECT_TRUE(frame_->RunCommand("MmCodeToSfc"));
    EXPECT_EQ(Count(kMsgInnerOpen), 6);
    EXPECT_EQ(Cell(1, 1), kSfcInitStep);
    Draw("Left Ctrl+K");  // the cell before the step deleted: back in column 0
    ASSERT_EQ(Cell(1, 0), kSfcInitStep);

    messages_.Clear();
    CloseInner(qel::Answer::Yes);
    ASSERT_EQ(_InterLadder, nullptr);
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(Record(1, 0), Assemble({"LD X1", "OUT Y1"}));
    EXPECT_EQ(gSfcCodeList.size(), 2u) << "a record stored on another cell";
    Draw("Up Ctrl+Y");
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X1", "OUT Y1", "LD X5", "OUT S0", "RET"}));
}

// A new model carries the code over: the chart that stood for it still does,
// and is saved and opened as the user drew it (a larger capacity, a smaller
// one that still holds the program, another family; the views opened between
// the change and the save, or not).
TEST_F(ChartEditsKeptTest, AChartThatStandsForTheProgramKeepsItsRowsAcrossANewModel) {
    ASSERT_NO_FATAL_FAILURE(MoveChainDown());
    SaveAs();
    const int family = gQel.Family;
    struct Round {
        int family, capacity;
        bool viewsBetween;
    };
    for (const Round r : {Round{family, 1, false}, Round{family, 0, true}, Round{(family + 1) % 3, 0, false},
                          Round{family, 2, true}}) {
        SCOPED_TRACE("family " + std::to_string(r.family) + " capacity " + std::to_string(r.capacity) +
                     (r.viewsBetween ? " views opened" : ""));
        messages_.Clear();
        ASSERT_TRUE(NewModel(r.family, r.capacity));
        ASSERT_EQ(gQel.CapacityIndex, r.capacity);
        if (r.viewsBetween) {
            ViewChart();
            EXPECT_TRUE(ChainMovedDown()) << "the view drew the chart again";
            ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
            ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
            QCoreApplication::processEvents();
        }
        Save();
        EXPECT_EQ(ChartFileRows(), 4u) << "the save dropped the chart's rows";
        EXPECT_EQ(gQel.Modified, 0);
        Reopen();
        ViewChart();
        EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
        EXPECT_TRUE(ChainMovedDown()) << "the chart was drawn again from the code";
        EXPECT_EQ(Code(), listed_);
        EXPECT_FALSE(sfc_->HoldsEdits());
    }
}

// Code typed by hand draws as a chart that converts to another form of it: the
// chart stands for the program by its stamps alone, and a new model keeps them.
TEST_F(ChartEditsKeptTest, AChartOfHandTypedCodeStaysTheProgramsAcrossANewModel) {
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    for (const char* line : {"STL S1", "LD X6", "OUT S1", "RET"}) ListLine(line);
    const std::vector<std::uint8_t> typed = Code();
    CloseChart();
    ViewChart();  // drawn anew from the code
    SaveAs();
    const std::uint32_t rows = ChartFileRows();
    ASSERT_GT(rows, 0u);
    messages_.Clear();
    ASSERT_TRUE(NewModel(gQel.Family, 1));
    Save();
    EXPECT_EQ(ChartFileRows(), rows) << "the save dropped the chart's rows";
    Reopen();
    ViewChart();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_FALSE(sfc_->HoldsEdits());
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Code(), typed);
}

// A chart file whose program stamp names other code, while the chart converts
// to exactly the program's code, stands for the program: the view shows it
// and the save keeps its rows, again after reopening.
TEST_F(ChartEditsKeptTest, AChartFileThatConvertsToTheProgramIsSavedWithItsRowsWhateverItsStamp) {
    ASSERT_NO_FATAL_FAILURE(MoveChainDown());
    SaveAs();
    std::vector<std::uint8_t> file = ChartFile();
    ASSERT_EQ(ChartFileRows(), 4u);
    for (int i = 66; i < 74; ++i) file[static_cast<std::size_t>(i)] ^= 0x5A;  // a program it was not drawn for
    std::ofstream(Project(".sfc"), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    messages_.Clear();
    for (int round = 0; round < 2; ++round) {
        Reopen();
        ASSERT_TRUE(ChainMovedDown());
        gQel.Modified = 1;
        Save();
        EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
        EXPECT_EQ(ChartFileRows(), 4u) << "round " << round;
    }
    Reopen();
    ViewChart();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_TRUE(ChainMovedDown());
    EXPECT_EQ(Code(), listed_);
}

// The same question for a chart file of other code that the save meets
// before the view: it is not written back, and the user is told, once.
TEST_F(ChartEditsKeptTest, AChartFileOfOtherCodeSavedBeforeItIsShownIsToldOfAndNotWrittenBack) {
    ASSERT_NO_FATAL_FAILURE(MoveChainDown());
    SaveAs();
    std::vector<std::uint8_t> older = ChartFile();
    std::fill(older.begin() + 66, older.begin() + 90, 0);  // a file that names no code
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    for (const char* line : {"LD X7", "OUT Y7"}) ListLine(line);
    const std::vector<std::uint8_t> typed = Code();
    Save();
    std::ofstream(Project(".sfc"), std::ios::binary)
        .write(reinterpret_cast<const char*>(older.data()), static_cast<std::streamsize>(older.size()));
    Reopen();
    ASSERT_TRUE(ChainMovedDown()) << "the file's chart is in the project";
    messages_.Clear();
    gQel.Modified = 1;
    Save();
    EXPECT_EQ(messages_.Shown(),
              std::vector<std::string>{gMsgTable.Get(kMsgChartFileStale) + " " + Project(".sfc").string()});
    EXPECT_EQ(ChartFileRows(), 0u);
    messages_.Clear();
    ViewChart();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(Cell(0, 0), kSfcInitStep) << "drawn from the code";
    EXPECT_EQ(Code(), typed);
}

// Cancel on the question of a chart edited before the program changed
// elsewhere changes nothing: a save writes nothing and leaves the project
// modified, a close keeps the window open. Yes then puts the chart in.
TEST_F(ChartEditsKeptTest, CancelOnTheChartOverChangedCodeStopsTheSaveAndTheClose) {
    SaveAs();
    ASSERT_EQ(SavedCode(), listed_);
    Condition(1, 0, "LD X6");
    Draw("Down Down Delete");
    CloseChart();  // the chart does not convert: kept as drawn
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    for (const char* line : {"LD X7", "OUT Y7"}) ListLine(line);
    const std::vector<std::uint8_t> typed = Code();
    ViewChart();
    Draw("Down Down F4=0");  // converts again, with the edit made before the typing
    const std::vector<std::uint8_t> chartFile = ChartFile();
    const std::vector<std::string> asked{gMsgTable.Get(kMsgChartOverChangedCode)};

    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    Save();
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(SavedCode(), listed_) << "the save went ahead";
    EXPECT_EQ(ChartFile(), chartFile);
    EXPECT_EQ(Code(), typed);
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_TRUE(sfc_->HoldsEdits());

    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    CloseChart();
    EXPECT_EQ(messages_.Asked(), asked);
    ASSERT_EQ(_Sfc, sfc_) << "the chart closed";
    EXPECT_EQ(Code(), typed);
    EXPECT_TRUE(sfc_->HoldsEdits());

    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);
    CloseChart();
    EXPECT_EQ(_Sfc, nullptr);
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X6", "OUT S0", "RET"}));
    Save();
    EXPECT_EQ(SavedCode(), Code());
    EXPECT_EQ(gQel.Modified, 0);
}

// A two-cell tool overwrites its cell and the one to its right: left of the
// element whose inner ladder is open it is refused, and what the window
// stores still reaches that element and the program.
TEST_F(ChartEditsKeptTest, ATwoCellToolLeftOfAnElementUnderItsInnerWindowIsRefused) {
    ASSERT_NE(InnerRung(), nullptr);
    Draw("Ctrl+B");  // a cell before the step: the step and its window at (0,1)
    ASSERT_EQ(Cell(0, 1), kSfcInitStep);
    ASSERT_EQ(sfc_->Model().CursorCol, 0);
    const std::vector<std::uint8_t> row0(gSfcGrid, gSfcGrid + kSfcRowBytes);
    const std::size_t records = gSfcCodeList.size();
    messages_.Clear();
    for (const char* tool : {"F6", "F7", "F8", "F9"}) {
        Draw(tool);
        EXPECT_EQ(std::vector<std::uint8_t>(gSfcGrid, gSfcGrid + kSfcRowBytes), row0) << tool;
    }
    EXPECT_EQ(Count(kMsgInnerOpen), 4);
    EXPECT_EQ(gSfcCodeList.size(), records);

    messages_.Clear();
    CloseInner(qel::Answer::Yes);
    ASSERT_EQ(_InterLadder, nullptr);
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(Record(0, 1), Assemble({"LD X1", "OUT Y1"}));
    Draw("Ctrl+K");  // the cell before the step deleted
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X1", "OUT Y1", "LD X5", "OUT S0", "RET"}));
}

// A step placed off the chains, with its inner ladder, goes into no code: it
// is the user's work all the same. Code typed in the list since does not make
// the chart a drawing of older code: the save asks before the chart's code
// goes in, writes the chart's rows, and the chart opens again as drawn.
TEST_F(ChartEditsKeptTest, AStepNoChainReachesStaysTheUsersWorkWhenTheListChanges) {
    Draw("Right Right Right Right F3=20 Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    Key(Qt::Key_F1, "X10", _InterLadder);
    QTest::keyClick(_InterLadder, Qt::Key_Right);
    Key(Qt::Key_F7, "Y10", _InterLadder);
    CloseInner(qel::Answer::Yes);
    const std::vector<std::uint8_t> rung = Assemble({"LD X10", "OUT Y10"});
    ASSERT_EQ(Cell(0, 4), kSfcStep);
    ASSERT_EQ(Record(0, 4), rung);
    ASSERT_NO_FATAL_FAILURE(TypeInList({"LD X7", "OUT Y7"}));
    ASSERT_EQ(Code(), Assemble({"STL S0", "LD X5", "OUT S0", "RET", "LD X7", "OUT Y7"}));

    // The chart window open: the save's commit asks; Cancel saves nothing.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    SaveAs();
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgChartOverChangedCode)});
    EXPECT_FALSE(std::filesystem::exists(Project(".sfc")));
    EXPECT_EQ(Cell(0, 4), kSfcStep);
    // Yes: the chart goes in over the typed lines, and is saved with its rows.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);
    SaveAs();
    EXPECT_EQ(SavedCode(), listed_);
    EXPECT_GE(ChartFileRows(), 1u);
    EXPECT_EQ(gQel.Modified, 0);

    // The chart window closed (and opened and closed again) before the list
    // changes: the save keeps the chart's rows, says the chart is not in the
    // program, and Open brings it back.
    CloseChart();
    ViewChart();
    CloseChart();
    ASSERT_EQ(_Sfc, nullptr);
    ASSERT_NO_FATAL_FAILURE(TypeInList({"LD X6", "OUT Y6"}));
    const std::vector<std::uint8_t> typed = Code();
    SaveBehindTheChartAndReopen(typed, rung);
    EXPECT_TRUE(sfc_->HoldsEdits());
}

// Convert > SFC to list replaces the whole program with the chart's code:
// over lines typed in the list since the chart last matched the program, it
// asks first, as leaving the chart does. Cancel changes nothing; No keeps the
// program and draws the chart from it; Yes puts the chart in.
TEST_F(ChartEditsKeptTest, ConvertingAChartOverCodeTypedSinceAsksFirst) {
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    for (const char* line : {"LD X7", "OUT Y7"}) ListLine(line);
    const std::vector<std::uint8_t> typed = Assemble({"STL S0", "LD X5", "OUT S0", "RET", "LD X7", "OUT Y7"});
    ASSERT_EQ(Code(), typed);
    const std::vector<std::string> asked{gMsgTable.Get(kMsgChartOverChangedCode)};
    auto convert = [&](std::optional<qel::Answer> a) {
        messages_.Clear();
        if (a) messages_.QueueAnswer(*a);
        ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
        QCoreApplication::processEvents();
    };

    ASSERT_NO_FATAL_FAILURE(convert(qel::Answer::Cancel));
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(Code(), typed);
    EXPECT_EQ(Cell(3, 0), 0xFF);

    ASSERT_NO_FATAL_FAILURE(convert(qel::Answer::No));
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_FALSE(Shown(180));
    EXPECT_EQ(Code(), typed);
    EXPECT_EQ(Cell(3, 0), kSfcLad) << "the typed rung is in the chart";

    // The chart now stands for the program: converted without a question.
    ASSERT_NO_FATAL_FAILURE(convert(std::nullopt));
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_TRUE(Shown(180));
    EXPECT_EQ(Code(), typed);

    // Typed again, then Yes: the chart's code goes in over the typing.
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    for (const char* line : {"LD X6", "OUT Y6"}) ListLine(line);
    ASSERT_NE(Code(), typed);
    ASSERT_NO_FATAL_FAILURE(convert(qel::Answer::Yes));
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_TRUE(Shown(180));
    EXPECT_EQ(Code(), typed);
}

// Undo and redo in the chart change the project as an edit does: after a
// save, File > Exit asks to save what they changed.
TEST_F(ChartEditsKeptTest, UndoAndRedoInTheChartMarkTheProjectModified) {
    Draw("Right Right Right Right F3=20");
    ASSERT_EQ(Cell(0, 4), kSfcStep);
    for (const char* key : {"Ctrl+Z", "Ctrl+W"}) {
        SCOPED_TRACE(key);
        SaveAs();
        ASSERT_EQ(gQel.Modified, 0);
        Draw(key);
        EXPECT_EQ(Cell(0, 4), std::string(key) == "Ctrl+Z" ? 0xFF : kSfcStep);
        EXPECT_EQ(gQel.Modified, 1);
        messages_.Clear();
        messages_.QueueAnswer(qel::Answer::Cancel);
        EXPECT_FALSE(frame_->FormCloseQuery()) << "File > Exit left without asking";
        EXPECT_EQ(messages_.Asked().size(), 1u);
    }
}

// Storing an element's inner program is an edit of the chart: undo takes back
// the store first and the step placed before it next, never both at once;
// redo brings them back in order.
TEST_F(ChartEditsKeptTest, StoringAnInnerProgramIsOneUndoStepOfTheChart) {
    Draw("Right Right Right Right F3=20 Left Left Left Left Down Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    QTest::keyClick(_InterLadder, Qt::Key_Right);
    Key(Qt::Key_F1, "X6", _InterLadder);  // the condition becomes X5 and X6
    CloseInner(qel::Answer::Yes);
    const std::vector<std::uint8_t> x5 = Assemble({"LD X5"}), x6 = Assemble({"LD X5", "AND X6"});
    ASSERT_EQ(Record(1, 0), x6);
    ASSERT_EQ(Cell(0, 4), kSfcStep);

    Draw("Ctrl+Z");
    EXPECT_EQ(Record(1, 0), x5);
    EXPECT_EQ(Cell(0, 4), kSfcStep) << "the step went with the store";
    Draw("Ctrl+Z");
    EXPECT_EQ(Cell(0, 4), 0xFF);
    EXPECT_EQ(Record(1, 0), x5);
    Draw("Ctrl+W");
    EXPECT_EQ(Cell(0, 4), kSfcStep);
    EXPECT_EQ(Record(1, 0), x5);
    Draw("Ctrl+W");
    EXPECT_EQ(Record(1, 0), x6);

    // The same for the element's list: one store, one undo step.
    Draw("Up Right Right Right Right Ctrl+M");
    ASSERT_NE(_InterInst, nullptr);
    QTest::keyClicks(_InterInst, "O");
    Finish("UT Y3");
    messages_.QueueAnswer(qel::Answer::Yes);
    _InterInst->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(_InterInst, nullptr);
    ASSERT_EQ(Record(0, 4), Assemble({"OUT Y3"}));
    Draw("Ctrl+Z");
    EXPECT_EQ(FindSfcCodeRec(0, 4 * 4), nullptr);
    EXPECT_EQ(Record(1, 0), x6);
    EXPECT_EQ(Cell(0, 4), kSfcStep);
}

// Whatever reads the program takes what an element's open inner window holds
// through its element; the element keeps it only when the user stores it. No
// when the window closes leaves the element as it was before the window
// opened, and the program follows when the chart is left.
TEST_F(ChartEditsKeptTest, NoToStoringAnInnerWindowTakesBackWhatACommandReadThroughIt) {
    const std::vector<std::uint8_t> x5 = Assemble({"LD X5"});
    const std::vector<std::uint8_t> withX6 = Assemble({"STL S0", "LD X5", "AND X6", "OUT S0", "RET"});
    auto readProgram = [&] {
        frame_->MmSimulate->trigger();
        ShutdownSimulation();
        QCoreApplication::processEvents();
    };
    // The inner ladder of the transition: its rung changed, the program read.
    Draw("Down Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    QTest::keyClick(_InterLadder, Qt::Key_Right);
    Key(Qt::Key_F1, "X6", _InterLadder);
    readProgram();
    EXPECT_EQ(Code(), withX6) << "the command did not take the window's rung";
    ViewChart();
    CloseInner(qel::Answer::No);
    ASSERT_EQ(_InterLadder, nullptr);
    EXPECT_EQ(Record(1, 0), x5);
    EXPECT_EQ(gQel.Modified, 1);
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Code(), listed_);

    // The inner list likewise; Yes keeps it.
    ViewChart();
    Draw("Ctrl+M");
    ASSERT_NE(_InterInst, nullptr);
    ASSERT_EQ(_InterInst->Edit().EnterLine(1, "AND X6", true), TInstEditResult::Ok);
    readProgram();
    EXPECT_EQ(Code(), withX6);
    for (const qel::Answer a : {qel::Answer::No, qel::Answer::Yes}) {
        messages_.QueueAnswer(a);
        TInst* list = _InterInst;
        list->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_EQ(_InterInst, nullptr);
        EXPECT_EQ(Record(1, 0), a == qel::Answer::No ? x5 : Assemble({"LD X5", "AND X6"}));
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        QCoreApplication::processEvents();
        EXPECT_EQ(Code(), a == qel::Answer::No ? listed_ : withX6);
        if (a == qel::Answer::Yes) break;
        ViewChart();
        Draw("Ctrl+M");
        ASSERT_NE(_InterInst, nullptr);
        ASSERT_EQ(_InterInst->Edit().EnterLine(1, "AND X6", true), TInstEditResult::Ok);
        readProgram();
    }
}

// The chart's work on every path: a chart file written before the stamps
// existed names no code, so its chart may hold the user's work and is never
// taken for a drawing that needs no question; drawing the chart anew, undoing
// after it, and a number still being typed lose nothing without a word.
class ChartWorkTest : public ChartEditsKeptTest {
protected:
    static constexpr int kMsgChartConverted = 180, kMsgChartWorkDropped = 268;

    // The project saved, its chart file written back as an older version
    // wrote it (no stamps), and opened again; no view open.
    void ReopenWithoutStamps() {
        if (_Sfc) CloseChart();
        SaveAs();
        std::vector<std::uint8_t> file = ChartFile();
        ASSERT_GE(file.size(), 136u);
        std::fill(file.begin() + 66, file.begin() + 90, 0);
        std::ofstream(Project(".sfc"), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        messages_.Clear();
        Reopen();
        sfc_ = nullptr;
    }
    // A step S20 that no chain reaches, right of S0, its inner ladder X10-Y10
    // drawn and stored.
    void LooseStep() {
        Draw("Right Right Right Right F3=20 Ctrl+L");
        ASSERT_NE(_InterLadder, nullptr);
        Key(Qt::Key_F1, "X10", _InterLadder);
        QTest::keyClick(_InterLadder, Qt::Key_Right);
        Key(Qt::Key_F7, "Y10", _InterLadder);
        CloseInner(qel::Answer::Yes);
        ViewChart();
        ASSERT_EQ(Cell(0, 4), kSfcStep);
        ASSERT_EQ(Record(0, 4), rung_);
    }
    // The chart's popup menu opened over the chart and `item` chosen in it;
    // with `offered`, whether the item was there to choose (not asserted).
    void Popup(const char* item, bool* offered = nullptr) {
        bool chosen = false;
        QTimer::singleShot(0, [&chosen, item] {
            QWidget* menu = QApplication::activePopupWidget();
            if (!menu) return;
            if (auto* a = menu->findChild<QAction*>(item); a && a->isEnabled()) {
                chosen = true;
                a->trigger();
            }
            menu->close();
        });
        const QPoint at(10, 10);
        QContextMenuEvent popup(QContextMenuEvent::Mouse, at, sfc_->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(sfc_->viewport(), &popup);
        QCoreApplication::processEvents();
        if (offered)
            *offered = chosen;
        else
            ASSERT_TRUE(chosen) << item;
    }
    std::string StepAtCursor() { return sfc_->Model().StepDevice().detail; }
    // View > List from the chart, `answer` queued for the question it may ask;
    // the messages cleared before.
    void ViewListAnswering(qel::Answer answer) {
        messages_.Clear();
        messages_.QueueAnswer(answer);
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        QCoreApplication::processEvents();
    }
    void Home() {
        sfc_->Model().CursorRow = 0;
        sfc_->Model().CursorCol = 0;
    }

    const std::vector<std::uint8_t> rung_ = Assemble({"LD X10", "OUT Y10"});
};

// Convert > SFC to list over lines typed since the file was opened asks, as
// over a chart whose stamps say it matched older code; Cancel changes nothing.
TEST_F(ChartWorkTest, AnOlderFilesChartAsksBeforeItsCodeReplacesLinesTypedSince) {
    ASSERT_NO_FATAL_FAILURE(ReopenWithoutStamps());
    ASSERT_EQ(Cell(2, 0), kSfcJump);
    ASSERT_NO_FATAL_FAILURE(TypeInList({"LD X7", "OUT Y7"}));
    const std::vector<std::uint8_t> typed = Code();
    ASSERT_NE(typed, listed_);
    const std::vector<std::string> asked{gMsgTable.Get(kMsgChartOverChangedCode)};
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_FALSE(Shown(kMsgChartConverted));
    EXPECT_EQ(Code(), typed) << "the typed lines are gone";
    // Nor is it drawn over from the program unasked.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgChartWorkDropped)});
    // Yes puts the chart in over them.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_TRUE(Shown(kMsgChartConverted));
    EXPECT_EQ(Code(), listed_);
    // Typed again and No: the chart is drawn from the program, no other question.
    ASSERT_NO_FATAL_FAILURE(ReopenWithoutStamps());
    ASSERT_NO_FATAL_FAILURE(TypeInList({"LD X6", "OUT Y6"}));
    const std::vector<std::uint8_t> again = Code();
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::No);
    ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_EQ(Code(), again);
    EXPECT_EQ(SfcChartState(), TSfcChartState::OfProgram);
}

// A step no chain reaches is the user's work in an older file too: the view,
// a list edit, the save and the next Open keep it with its inner ladder.
TEST_F(ChartWorkTest, AnOlderFilesStepNoChainReachesIsKeptThroughTheViewTheSaveAndOpen) {
    ASSERT_NO_FATAL_FAILURE(LooseStep());
    ASSERT_NO_FATAL_FAILURE(ReopenWithoutStamps());
    ViewChart();
    ASSERT_EQ(Cell(0, 4), kSfcStep);
    CloseChart();
    ASSERT_NO_FATAL_FAILURE(TypeInList({"LD X7", "OUT Y7"}));
    const std::vector<std::uint8_t> typed = Code();
    ASSERT_NE(typed, listed_);
    SaveBehindTheChartAndReopen(typed, rung_);

    // Such a file saved before the view has shown it keeps the step too.
    ASSERT_NO_FATAL_FAILURE(ReopenWithoutStamps());
    ASSERT_NO_FATAL_FAILURE(TypeInList({"LD X6", "OUT Y6"}));
    messages_.Clear();
    Save();
    EXPECT_TRUE(ToldNotSaved());
    EXPECT_EQ(Count(kMsgChartFileStale), 0);
    messages_.QueueAnswer(qel::Answer::No);
    Reopen();
    EXPECT_EQ(Cell(0, 4), kSfcStep);
    EXPECT_EQ(Record(0, 4), rung_);
}

// Convert > List to SFC over a chart holding work the program does not carry
// asks first: Cancel keeps the chart, OK draws it from the program as one undo
// step of the chart. A chart that holds nothing of its own is drawn unasked.
TEST_F(ChartWorkTest, DrawingTheChartFromTheProgramOverItsOwnWorkAsksFirst) {
    const std::vector<std::string> asked{gMsgTable.Get(kMsgChartWorkDropped)};
    // A step no chain reaches, with its inner ladder.
    ASSERT_NO_FATAL_FAILURE(LooseStep());
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_EQ(Cell(0, 4), kSfcStep);
    EXPECT_EQ(Record(0, 4), rung_);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Ok);
    ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_EQ(Cell(0, 4), 0xFF);
    EXPECT_EQ(Code(), listed_);
    EXPECT_EQ(sfc_->Model().UndoCount(), 1);
    Draw("Ctrl+Z");
    EXPECT_EQ(Cell(0, 4), kSfcStep);
    EXPECT_EQ(Record(0, 4), rung_);
    EXPECT_FALSE(sfc_->Model().CanUndo());

    // A chart edit that does not convert, saved (257) and opened again.
    Draw("Ctrl+W");
    Home();
    Draw("Down Down Delete");
    ASSERT_EQ(Cell(2, 0), 0xFF);
    SaveAs();
    ASSERT_TRUE(ToldNotSaved());
    OpenProject(qel::Answer::No);
    ASSERT_EQ(_Sfc, nullptr);
    ASSERT_EQ(Cell(2, 0), 0xFF);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));
    EXPECT_EQ(messages_.Asked(), asked);
    EXPECT_EQ(Cell(2, 0), 0xFF);

    // The chart as the code draws it holds nothing of its own: no question.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Ok);
    ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));
    ASSERT_EQ(Cell(2, 0), kSfcJump);
    messages_.Clear();
    ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));
    EXPECT_TRUE(messages_.Asked().empty());
}

// The chart drawn again from the program ends its undo history: an undo in
// the chart never brings back a chart whose code would go in over lines
// another editor wrote without the question.
TEST_F(ChartWorkTest, AnUndoAfterTheChartIsDrawnAgainNeverTakesBackTypedLines) {
    // Convert > List to SFC after a condition stored and lines typed.
    Draw("Down Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    QTest::keyClick(_InterLadder, Qt::Key_Right);
    Key(Qt::Key_F1, "X6", _InterLadder);
    CloseInner(qel::Answer::Yes);
    ASSERT_NO_FATAL_FAILURE(TypeInList({"LD X7", "OUT Y7"}));
    const std::vector<std::uint8_t> typed = Code();
    ASSERT_NE(typed, Assemble({"STL S0", "LD X5", "AND X6", "OUT S0", "RET"}));
    ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));
    ViewChart();
    messages_.Clear();
    Draw("Ctrl+Z");
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Code(), typed);
    EXPECT_TRUE(messages_.Asked().empty());

    // No to the question of a chart edited before the lines were typed: the
    // edit is one undo step away, and it goes in only through the question.
    ViewChart();
    Condition(1, 0, "LD X3");
    Home();
    Draw("Down Down Delete");
    ASSERT_NO_FATAL_FAILURE(TypeInList({"LD X4", "OUT Y4"}));
    const std::vector<std::uint8_t> typedAgain = Code();
    ASSERT_NE(typedAgain, typed);

    ViewChart();
    Home();
    Draw("Down Down F4=0");
    ASSERT_NO_FATAL_FAILURE(ViewListAnswering(qel::Answer::No));
    ASSERT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgChartOverChangedCode)});
    ASSERT_EQ(Code(), typedAgain);
    ViewChart();
    Draw("Ctrl+Z");
    ASSERT_NO_FATAL_FAILURE(ViewListAnswering(qel::Answer::Cancel));
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgChartOverChangedCode)});
    EXPECT_EQ(Code(), typedAgain);
}

// A number still being typed in the chart is the user's edit: File > Exit and
// File > New take it in and ask to save it.
TEST_F(ChartWorkTest, ANumberBeingTypedIsTakenInByExitAndNew) {
    Draw("Right Right Right Right F3=20");
    for (const char* command : {"Exit", "MmNew"}) {
        SCOPED_TRACE(command);
        SaveAs();
        ASSERT_EQ(gQel.Modified, 0);
        Key(Qt::Key_Return);
        ASSERT_TRUE(sfc_->SfcEdit_Txt->isVisible());
        sfc_->SfcEdit_Txt->selectAll();
        const std::string number = std::string(command) == "Exit" ? "21" : "22";
        QTest::keyClicks(sfc_->SfcEdit_Txt, QString::fromStdString(number));
        messages_.Clear();
        messages_.QueueAnswer(qel::Answer::Cancel);
        if (std::string(command) == "Exit")
            EXPECT_FALSE(frame_->FormCloseQuery()) << "File > Exit left without asking";
        else
            frame_->RunCommand(command);
        ASSERT_EQ(messages_.Asked().size(), 1u);
        EXPECT_EQ(messages_.Asked()[0].rfind(gMsgTable.Get(kMsgSaveChanges), 0), 0u);
        ASSERT_EQ(_Sfc, sfc_);
        EXPECT_EQ(StepAtCursor(), "S" + number);
        EXPECT_EQ(gQel.Modified, 1);
    }
    // Leaving the chart for another view takes it in too.
    Key(Qt::Key_Return);
    sfc_->SfcEdit_Txt->selectAll();
    QTest::keyClicks(sfc_->SfcEdit_Txt, "23");
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(sfc_->SfcEdit_Txt->isVisible());
    EXPECT_EQ(StepAtCursor(), "S23");
}

// The number being typed goes in as its own undo step before an element's
// inner window stores its code: undo takes back the store alone first.
TEST_F(ChartWorkTest, ANumberBeingTypedIsItsOwnUndoStepBeforeAnInnerStore) {
    Draw("Down Ctrl+L");
    ASSERT_NE(_InterLadder, nullptr);
    QTest::keyClick(_InterLadder, Qt::Key_Right);
    Key(Qt::Key_F1, "X6", _InterLadder);
    ViewChart();
    Draw("Up Right Right Right Right F3");
    ASSERT_TRUE(sfc_->SfcEdit_Txt->isVisible());
    sfc_->SfcEdit_Txt->selectAll();
    QTest::keyClicks(sfc_->SfcEdit_Txt, "20");
    CloseInner(qel::Answer::Yes);
    ASSERT_EQ(Record(1, 0), Assemble({"LD X5", "AND X6"}));
    ASSERT_EQ(Cell(0, 4), kSfcStep);
    Draw("Ctrl+Z");
    EXPECT_EQ(Record(1, 0), Assemble({"LD X5"}));
    EXPECT_EQ(Cell(0, 4), kSfcStep) << "the step went with the store";
    sfc_->Model().CursorRow = 0;
    sfc_->Model().CursorCol = 4;
    EXPECT_EQ(StepAtCursor(), "S20");
    Draw("Ctrl+Z");
    EXPECT_EQ(Cell(0, 4), 0xFF);
}

// The chart's popup command SFC to list asks over lines typed since, as the
// menu command does.
TEST_F(ChartWorkTest, ThePopupsSfcToListAsksOverLinesTypedSince) {
    ASSERT_NO_FATAL_FAILURE(TypeInList({"LD X7", "OUT Y7"}));
    const std::vector<std::uint8_t> typed = Code();
    ASSERT_NE(typed, listed_);
    ViewChart();
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    ASSERT_NO_FATAL_FAILURE(Popup("PopSfcToCode"));
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgChartOverChangedCode)});
    EXPECT_EQ(Code(), typed);
}

// Switching from the chart to the ladder puts the chart's edit in first: the
// ladder shows that program, and a rung drawn there goes in as any other.
TEST_F(ChartAndLadderTest, TheLadderShownAfterTheChartIsOfTheProgramTheChartWentInto) {
    ChartInProgram();
    auto* ladderSub = qobject_cast<QMdiSubWindow*>(lad_->parentWidget());
    ASSERT_NE(ladderSub, nullptr);
    // The chart's window opened after the ladder's.
    qobject_cast<QMdiSubWindow*>(sfc_->parentWidget())->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(_Sfc, nullptr);
    const std::vector<std::uint8_t> rung = Assemble({"LD X1", "OUT Y1"});
    std::vector<std::uint8_t> expected = Assemble({"STL S0", "LD X7", "OUT S0", "RET"});
    for (const bool click : {false, true}) {
        SCOPED_TRACE(click ? "a click on the ladder" : "View > Ladder");
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        QCoreApplication::processEvents();
        sfc_ = _Sfc;
        ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));  // the rungs typed so far in the chart's LAD block
        Condition(1, 0, click ? "LD X7" : "LD X6");
        ASSERT_TRUE(sfc_->HoldsEdits());
        if (click)
            frame_->MdiArea->setActiveSubWindow(ladderSub);
        else
            ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        QCoreApplication::processEvents();
        EXPECT_FALSE(sfc_->HoldsEdits());
        EXPECT_TRUE(LadderStandsForProgram()) << "the ladder shows the code before the chart went in";
        messages_.Clear();
        Click(click ? 11 : 10, 1);
        KeyRung("X1", "Y1");
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        QCoreApplication::processEvents();
        EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
        EXPECT_FALSE(lad_->Dirty());
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        QCoreApplication::processEvents();
        EXPECT_TRUE(messages_.Asked().empty()) << messages_.Asked().front();
        expected.insert(expected.end(), rung.begin(), rung.end());
    }
    EXPECT_EQ(Code(), expected);
}

}  // namespace

TEST_F(SfcWindowTest, EachViewShowsItsOwnToolPageAndStatusOfWhatIsThere) {
    const auto code = Assemble({"LD X0", "OUT Y0", "END"});
    std::memcpy(gProgram, code.data(), code.size());
    LocateProgramEnd();
    auto panel = [&](int i) { return frame_->QelStaBar->Panel(i); };
    auto shown = [&](QWidget* page) { return page->isVisibleTo(frame_.get()) && page->parentWidget()->isVisibleTo(frame_.get()); };
    // The chart: its own tool page, no insert mode; a stopped simulation leaves no scan time.
    EXPECT_EQ(gActiveView, kViewSfc);
    EXPECT_TRUE(shown(frame_->SfcPanel));
    EXPECT_FALSE(shown(frame_->LadPanel));
    const int top = frame_->MdiArea->geometry().top();
    EXPECT_TRUE(panel(1).isEmpty());
    frame_->BnSimuSfc->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!panel(3).isEmpty(), qel::test::kWaitLimitMs);
    frame_->BnSimuSfc->trigger();
    EXPECT_TRUE(panel(3).isEmpty());
    EXPECT_TRUE(panel(1).isEmpty());
    // The ladder: its page alone, in a tool-bar area as high as the chart's.
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(shown(frame_->LadPanel));
    EXPECT_FALSE(shown(frame_->SfcPanel));
    EXPECT_EQ(frame_->MdiArea->geometry().top(), top);
    EXPECT_EQ(panel(1).toStdString(), gMsgTable.Get(gQel.InsertMode ? 28 : 29));
    EXPECT_FALSE(panel(2).isEmpty());
    // Every window closed: no cursor and no mode stay on show.
    for (QMdiSubWindow* sub : frame_->MdiArea->subWindowList()) sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame_->MdiArea->subWindowList().isEmpty());
    EXPECT_TRUE(panel(2).isEmpty());
    EXPECT_TRUE(panel(1).isEmpty());
}

// The popup's SFC to list is the frame's command: a rung left unstored in an
// element's open inner ladder goes in with the chart, and one that cannot go
// in stops the conversion, its window brought forward, as the menu does.
TEST_F(ChartWorkTest, ThePopupsSfcToListTakesInAnOpenInnerLaddersRungFirst) {
    Draw("Ctrl+L");
    TLDB* inner = _InterLadder;
    ASSERT_NE(inner, nullptr);
    Key(Qt::Key_F1, "X1", inner);  // a contact without its coil yet
    ViewChart();
    messages_.Clear();
    ASSERT_NO_FATAL_FAILURE(Popup("PopSfcToCode"));
    EXPECT_EQ(Count(kMsgRungIncomplete), 1);
    EXPECT_FALSE(Shown(kMsgChartConverted));
    EXPECT_EQ(Code(), listed_);
    EXPECT_EQ(frame_->MdiArea->activeSubWindow(), inner->parentWidget()) << "the rung's window is not shown";

    QTest::keyClick(inner, Qt::Key_Right);
    Key(Qt::Key_F7, "Y1", inner);
    ViewChart();
    messages_.Clear();
    ASSERT_NO_FATAL_FAILURE(Popup("PopSfcToCode"));
    EXPECT_TRUE(Shown(kMsgChartConverted));
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X1", "OUT Y1", "LD X5", "OUT S0", "RET"}));
    ASSERT_EQ(_InterLadder, inner);
    EXPECT_FALSE(inner->Unstored());
}

// Leaving the chart for another view puts an open inner ladder's rung in with
// the chart's edits; a rung that does not compile says so once, stays in its
// window, and the chart's other edits go in all the same.
TEST_F(ChartWorkTest, LeavingTheChartTakesInAnOpenInnerWindowsEdits) {
    Draw("Ctrl+L");
    TLDB* inner = _InterLadder;
    ASSERT_NE(inner, nullptr);
    Key(Qt::Key_F1, "X1", inner);
    Condition(1, 0, "LD X6");
    messages_.Clear();
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Count(kMsgRungIncomplete), 1);
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X6", "OUT S0", "RET"}));
    ASSERT_EQ(_InterLadder, inner);
    EXPECT_TRUE(inner->Unstored());

    QTest::keyClick(inner, Qt::Key_Right);
    Key(Qt::Key_F7, "Y1", inner);
    for (const char* view : {"MmSfcWin", "MmLadWin"}) {
        ASSERT_TRUE(frame_->RunCommand(view));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X1", "OUT Y1", "LD X6", "OUT S0", "RET"}));
    EXPECT_EQ(Count(kMsgRungIncomplete), 1);

    // The transition's inner list likewise.
    ViewChart();
    CloseInner(qel::Answer::Yes);
    Draw("Down Ctrl+M");
    ASSERT_NE(_InterInst, nullptr);
    ASSERT_EQ(_InterInst->Edit().EnterLine(1, "AND X7", true), TInstEditResult::Ok);
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X1", "OUT Y1", "LD X6", "AND X7", "OUT S0", "RET"}));
}

// No to storing an inner ladder whose rung the chart took when it was left
// takes the rung back for good: the window going away lends nothing more to
// the chart left once again.
TEST_F(ChartWorkTest, NoToStoringAnInnerLadderLeftOpenLeavesItsElementAsItWas) {
    TLDB* inner = InnerRung();
    ASSERT_NE(inner, nullptr);
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    ASSERT_EQ(Record(0, 0), Assemble({"LD X1", "OUT Y1"}));
    auto* sub = qobject_cast<QMdiSubWindow*>(inner->parentWidget());
    ASSERT_NE(sub, nullptr);
    frame_->MdiArea->setActiveSubWindow(sub);
    QTest::keyClick(inner, Qt::Key_Down);
    QTest::keyClick(inner, Qt::Key_Home);
    Key(Qt::Key_F1, "X2", inner);
    QTest::keyClick(inner, Qt::Key_Right);
    Key(Qt::Key_F7, "Y2", inner);
    ASSERT_TRUE(inner->Unstored());
    messages_.QueueAnswer(qel::Answer::No);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(_InterLadder, nullptr);
    EXPECT_TRUE(Record(0, 0).empty()) << "the rung the user did not store";
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Code(), listed_);
}

// The popup offers SFC to list only when the frame's command is there: a
// chart emptied by the user never replaces the program with nothing.
TEST_F(ChartWorkTest, ThePopupsSfcToListIsOffForAnEmptyChart) {
    Draw("Delete Down Delete Down Delete");
    ASSERT_EQ(Cell(0, 0), 0xFF);
    ASSERT_EQ(Cell(2, 0), 0xFF);
    bool offered = true;
    ASSERT_NO_FATAL_FAILURE(Popup("PopSfcToCode", &offered));
    EXPECT_FALSE(offered);
    EXPECT_EQ(Code(), listed_);
    // The deletes undone, the same popup offers it again, and it puts in
    // the program the chart stands for.
    Draw("Ctrl+Z Ctrl+Z Ctrl+Z");
    ASSERT_EQ(Cell(0, 0), kSfcInitStep);
    ASSERT_NO_FATAL_FAILURE(Popup("PopSfcToCode"));
    EXPECT_EQ(Code(), listed_);
    EXPECT_TRUE(messages_.Asked().empty());
}

// Closing the chart's window takes in a number still being typed: the
// program gets the step as typed.
TEST_F(ChartWorkTest, ClosingTheChartTakesInANumberBeingTyped) {
    SaveAs();
    Home();
    Key(Qt::Key_Return);
    ASSERT_TRUE(sfc_->SfcEdit_Txt->isVisible());
    sfc_->SfcEdit_Txt->selectAll();
    QTest::keyClicks(sfc_->SfcEdit_Txt, "1");
    messages_.Clear();
    CloseChart();
    ASSERT_EQ(_Sfc, nullptr);
    EXPECT_EQ(Code(), Assemble({"STL S1", "LD X5", "OUT S0", "RET"}));
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_TRUE(messages_.Asked().empty());
}

// A rung with its label copied from the program's ladder, whose code the
// chart holds in a LAD block, and pasted into a step's ladder: the label
// would mark two places, so the store refuses it as the ladder refuses a
// label in use; the pasted rung stays in the open window, and neither the
// conversion nor the element takes a second P1.
TEST_F(ChartEditsKeptTest, ALabelPastedFromTheProgramsLadderIsNotStoredTwice) {
    CloseChart();
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    for (const char* line : {"P1", "LD X0", "OUT Y0"}) ListLine(line);
    const std::vector<std::uint8_t> program = Assemble({"STL S0", "LD X5", "OUT S0", "RET", "P1", "LD X0", "OUT Y0"});
    ASSERT_EQ(Code(), program);
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    QCoreApplication::processEvents();
    lad_ = _LDB;
    ASSERT_NE(lad_, nullptr);
    ASSERT_GE(gPLabelRows[1], 0);
    Click(gPLabelRows[1], 1);
    QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_C, Qt::ControlModifier);

    ViewChart();
    ASSERT_EQ(Cell(3, 0), kSfcLad);
    ASSERT_EQ(Record(3, 0), Assemble({"P1", "LD X0", "OUT Y0"}));
    Draw("Ctrl+L");
    TLDB* inner = _InterLadder;
    ASSERT_NE(inner, nullptr);
    QTest::keyClick(inner, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(CellOperandText(gInterLadderGrid, 0, 0), "X0");
    ASSERT_EQ(gInterPLabelRows[1], 0);

    messages_.Clear();
    CloseInner(qel::Answer::Yes);
    ASSERT_EQ(_InterLadder, inner) << "the window stays open on the pasted rung";
    EXPECT_EQ(messages_.Shown(), std::vector<std::string>{gMsgTable.Get(kMsgLabelUsed) + " P1"});
    EXPECT_TRUE(Record(0, 0).empty());
    EXPECT_EQ(CellOperandText(gInterLadderGrid, 0, 0), "X0");
    EXPECT_EQ(gInterPLabelRows[1], 0);

    // SFC to list takes the open window in first: refused the same way, the
    // program keeps its one P1 and nothing says the conversion completed.
    messages_.Clear();
    frame_->RunCommand("MmSfcToCode");
    QCoreApplication::processEvents();
    EXPECT_EQ(Count(kMsgLabelUsed), 1);
    EXPECT_EQ(Count(180), 0);
    EXPECT_EQ(Code(), program);
    EXPECT_TRUE(Record(0, 0).empty());
    EXPECT_EQ(Record(3, 0), Assemble({"P1", "LD X0", "OUT Y0"}));
    EXPECT_EQ(_InterLadder, inner);
    // A PLC write takes the editors in first, and does not start on this.
    messages_.Clear();
    EXPECT_FALSE(frame_->CommitEdits());
    EXPECT_EQ(Count(kMsgLabelUsed), 1);
    EXPECT_EQ(Code(), program);

    // Saved: the file takes the program with its one P1, the window keeps the
    // rung, and the project stays modified.
    ViewChart();
    messages_.Clear();
    SaveAs();
    EXPECT_EQ(Count(kMsgLabelUsed), 1);
    EXPECT_EQ(SavedCode(), program);
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_EQ(_InterLadder, inner);
    EXPECT_EQ(CellOperandText(gInterLadderGrid, 0, 0), "X0");
}

// A chart file written elsewhere whose two steps' code holds the same label
// (the inner windows never store one): it opens as it was drawn, and putting
// it into the program, from the command or the popup, on leaving the chart,
// on Save or before a PLC write, is refused with the label named; the program keeps its
// code and the chart its elements.
TEST_F(ChartWorkTest, AChartFileWhoseStepsHoldOneLabelTwiceOpensButIsNeverPutIn) {
    // S20 in place of the jump, its transition X6, the jump below: put in and saved.
    Draw("Down Down F3=20 Down F5 Down F4=0");
    Condition(3, 0, "LD X6");
    ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
    const std::vector<std::uint8_t> program =
        Assemble({"STL S0", "LD X5", "SET S20", "STL S20", "LD X6", "OUT S0", "RET"});
    ASSERT_EQ(Code(), program);
    SaveAs();
    ASSERT_EQ(SavedCode(), program);
    ASSERT_EQ(gQel.Modified, 0);

    // Both steps given code that starts at P7, written into the file.
    const std::vector<std::uint8_t> first = Assemble({"P7", "LD X0", "OUT Y0"});
    const std::vector<std::uint8_t> second = Assemble({"P7", "LD X1", "OUT Y1"});
    const std::vector<std::uint8_t> file = ChartFile();
    const std::size_t recordsAt = 132 + 64 * static_cast<std::size_t>(ChartFileRows());
    ASSERT_GE(file.size(), recordsAt + 4);
    auto u32 = [&file](std::size_t at) {
        return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | static_cast<std::uint32_t>(file[at + 3]) << 24;
    };
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::uint8_t>> records;
    for (std::size_t at = recordsAt + 4, i = 0; i < u32(recordsAt); ++i, at += 12 + u32(at + 8))
        records[{u32(at), u32(at + 4)}].assign(file.begin() + at + 12, file.begin() + at + 12 + u32(at + 8));
    records[{0, 0}] = first;
    records[{2, 0}] = second;
    std::vector<std::uint8_t> written(file.begin(), file.begin() + recordsAt);
    auto put32 = [&written](std::size_t v) {
        for (int i = 0; i < 4; ++i) written.push_back(static_cast<std::uint8_t>(v >> 8 * i));
    };
    put32(records.size());
    for (const auto& [cell, code] : records) {
        put32(cell.first);
        put32(cell.second);
        put32(code.size());
        written.insert(written.end(), code.begin(), code.end());
    }
    std::ofstream(Project(".sfc"), std::ios::binary)
        .write(reinterpret_cast<const char*>(written.data()), static_cast<std::streamsize>(written.size()));

    messages_.Clear();
    Reopen();
    ViewChart();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    ASSERT_EQ(Record(0, 0), first);
    ASSERT_EQ(Record(2, 0), second);
    EXPECT_EQ(Code(), program);

    const std::string refused = gMsgTable.Get(kMsgLabelUsed) + " P7";
    auto unchanged = [&] {
        EXPECT_EQ(Count(kMsgChartConverted), 0);
        EXPECT_EQ(Code(), program);
        EXPECT_EQ(Record(0, 0), first);
        EXPECT_EQ(Record(2, 0), second);
        EXPECT_EQ(Cell(2, 0), kSfcStep);
    };
    frame_->RunCommand("MmSfcToCode");
    QCoreApplication::processEvents();
    EXPECT_EQ(messages_.Shown(), std::vector<std::string>{refused});
    unchanged();
    EXPECT_EQ(gQel.Modified, 0);

    // The chart's popup.
    messages_.Clear();
    Popup("PopSfcToCode");
    EXPECT_EQ(messages_.Shown(), std::vector<std::string>{refused});
    unchanged();

    // Leaving the chart for the ladder.
    messages_.Clear();
    frame_->RunCommand("MmLadWin");
    QCoreApplication::processEvents();
    EXPECT_EQ(Count(kMsgLabelUsed), 1);
    unchanged();

    // A PLC write takes the editors in first, and does not start on this.
    ViewChart();
    messages_.Clear();
    EXPECT_FALSE(frame_->CommitEdits());
    EXPECT_EQ(Count(kMsgLabelUsed), 1);
    unchanged();

    // Saved: the program file keeps the program and the user is told the
    // chart is not in it; the chart file keeps both steps' code.
    messages_.Clear();
    SaveAs();
    EXPECT_EQ(Count(kMsgLabelUsed), 1);
    unchanged();
    EXPECT_EQ(SavedCode(), program);
    EXPECT_TRUE(ToldNotSaved());
    EXPECT_EQ(gQel.Modified, 1);
    OpenProject(qel::Answer::No);
    ASSERT_EQ(messages_.Asked().size(), 1u);
    ViewChart();
    EXPECT_EQ(Code(), program);
    EXPECT_EQ(Record(0, 0), first);
    EXPECT_EQ(Record(2, 0), second);
}

// ---------------------------------------------------------------------------
// A simulation runs what the editors show: an edit that goes into the program
// from the list, the ladder or the chart runs from the next scan on with the
// devices as they stand, and the ladder shows it; an edit that cannot go in,
// or a new model, ends the run saying why.

namespace {

// The program's ladder, list and chart, with a simulation to run them.
class SimulateEditsBase : public ChartEditsKeptTest {
public:
    using ChartEditsKeptTest::NewModel, ChartEditsKeptTest::TypeInList;
    void OpenEditor() override { LadderFrameTest::OpenEditor(); }
    void TearDown() override {
        ShutdownSimulation();
        ChartEditsKeptTest::TearDown();
    }
    // A rung Xn-Yn on row n of the ladder (`coil` false: the contact alone), then the list.
    void LadderRung(int n, bool coil) {
        ViewLadder();
        Click(n, 1);
        coil ? KeyRung("X" + std::to_string(n), "Y" + std::to_string(n)) : Key(Qt::Key_F1, "X1");
        ViewList();
    }
    void Chart(const char* keys, std::initializer_list<const char*> lad0) {
        ViewChart();
        Draw(keys);
        ASSERT_TRUE(StoreSfcElementCode(0, 0, Assemble(lad0)));
        ViewList();
    }
    static int Y(int n) { return SimPlc().ReadBit(SimBitIndexOf('Y', n)); }
    // What the program's ladder shows of the coil of Y1: 1 green, 0 white, -1 no such coil.
    static int LadderShowsY1() {
        TSimMemory mem;
        SimPlc().ReadDevices(mem);
        for (int row = 0; row < kLadderRows; ++row)
            for (int col = 0; col <= kLdbLastColumn; col += kLdbCellBytes)
                if (const std::uint8_t* c = CellAt(gLadderRows, row, col);
                    CellKind(c) == TLdbKind::Out_Ry && CellDevType(c) == CellDev::Y && CellOperand(c) == 1)
                    return SimCellState(mem, gLadderRows, row, col);
        return -1;
    }
};

class SimulateEditsTest;
struct TSimEdit {
    const char* name;
    void (*edit)(SimulateEditsTest&);
    int endsWith;  // 0: the run goes on with the edit
};
void PrintTo(const TSimEdit& e, std::ostream* os) { *os << e.name; }

class SimulateEditsTest : public SimulateEditsBase, public ::testing::WithParamInterface<TSimEdit> {};

const TSimEdit kSimEdits[] = {
    {"ListRung", [](SimulateEditsTest& t) { t.TypeInList({"LD X1", "OUT Y1"}); }, 0},
    {"LadderRungThenList", [](SimulateEditsTest& t) { t.LadderRung(1, true); }, 0},
    {"ChartBlockThenList", [](SimulateEditsTest& t) { t.Chart("", {"LD X0", "OUT Y0", "LD X1", "OUT Y1"}); }, 0},
    {"LadderThatDoesNotCompile", [](SimulateEditsTest& t) { t.LadderRung(1, false); }, kMsgSimEditsRefused},
    {"ChartThatDoesNotConvert",  // a step no initial step leads to
     [](SimulateEditsTest& t) { t.Chart("Down Down F3=30", {"LD X0", "OUT Y0"}); }, kMsgSimEditsRefused},
    {"NewModel", [](SimulateEditsTest& t) { ASSERT_TRUE(t.NewModel(gQel.Family, gQel.CapacityIndex ? 0 : 1)); },
     kMsgSimModelChanged},
};

}  // namespace

TEST_P(SimulateEditsTest, TheRunFollowsTheEditOrEndsSayingWhy) {
    LadderRung(0, true);
    frame_->MmSimulate->trigger();
    ASSERT_TRUE(qel::test::PumpUntil([] { return Y(0) == 1; }));

    ASSERT_NO_FATAL_FAILURE(GetParam().edit(*this));
    if (GetParam().endsWith) {
        EXPECT_TRUE(Shown(GetParam().endsWith));
        EXPECT_FALSE(gSimRunning || SimPlc().Running() || frame_->MmSimulate->isChecked());
        return;
    }
    // X1 is ON from the start of every run.
    EXPECT_TRUE(qel::test::PumpUntil([] { return Y(1) == 1; })) << "the run goes on with the edit";
    EXPECT_TRUE(Y(0) == 1 && gSimRunning && messages_.Shown().empty());
    ViewLadder();
    EXPECT_TRUE(qel::test::PumpUntil([&] { return lad_->ShowsSimulation() && LadderShowsY1() == 1; }));
}

INSTANTIATE_TEST_SUITE_P(Editors, SimulateEditsTest, ::testing::ValuesIn(kSimEdits),
                         [](const ::testing::TestParamInfo<TSimEdit>& info) { return std::string(info.param.name); });

namespace {

// A program with the same edge instruction on two rungs, running, and an edit
// from the list, the ladder or an undo beside them. Each instruction keeps
// its own memory: no pulse fires and no step moves on the edit, since no
// input changed. The run starts with X0 and X1 ON and X2 OFF.
class SimulateMemoryTest;
struct TMemoryEdit {
    const char* name;
    std::vector<const char*> program;
    const char* on;  // a device switched on once the run has started, or nullptr
    void (*edit)(SimulateMemoryTest&);
    std::vector<std::string> after;  // the program after the edit
    std::vector<int> d0to3;          // and the registers
    const char* s20s21;
};
void PrintTo(const TMemoryEdit& e, std::ostream* os) { *os << e.name; }

class SimulateMemoryTest : public SimulateEditsBase, public ::testing::WithParamInterface<TMemoryEdit> {
public:
    // Lines first..last of the list selected, as Shift+Down selects them.
    void ListSelect(int first, int last) {
        ViewList();
        QTest::keyClick(_Inst, Qt::Key_Home);
        for (int i = 0; i < first; ++i) QTest::keyClick(_Inst, Qt::Key_Down);
        for (int i = first; i < last; ++i) QTest::keyClick(_Inst, Qt::Key_Down, Qt::ShiftModifier);
    }
    void ListDelete(int first, int last) {
        ListSelect(first, last);
        QTest::keyClick(_Inst, Qt::Key_Delete);
    }
    // Lines typed in the list before line `at`.
    void ListType(int at, std::initializer_list<const char*> lines) {
        ListSelect(at, at);
        for (const char* line : lines) ListLine(line);
    }
    // Line `at` of the list typed over in overwrite mode, one edit.
    void ListOverwrite(int at, const char* line) {
        ListSelect(at, at);
        QTest::keyClick(_Inst, Qt::Key_Insert);
        ASSERT_EQ(gQel.InsertMode, 0);
        ListLine(line);
        QTest::keyClick(_Inst, Qt::Key_Insert);
        ASSERT_EQ(gQel.InsertMode, 1);
    }
    void Run(const char* command) { ASSERT_TRUE(frame_->RunCommand(command)) << command; }
    // The ladder's cursor on a row (a click would flip the device under it).
    void LadderAt(int row) {
        ViewLadder();
        lad_->Edit().SetCursor(row, 1);
    }
    // A new row above `row` holding the contact and the instruction.
    void LadderInsertRung(int row, const char* contact, const char* instruction) {
        LadderAt(row);
        Run("MmInsLine");
        Key(Qt::Key_F1, contact);
        QTest::keyClick(lad_, Qt::Key_Right);
        TypeLine(instruction);
    }
    // The rung of row `from` cut and pasted into a new row above `to`.
    void LadderMoveRung(int from, int to) {
        LadderAt(from);
        QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
        Run("MmCut");
        LadderAt(to);
        Run("MmInsLine");
        Run("MmPaste");
    }
    // Leaving the ladder puts it into the program.
    void LeaveLadder() { ViewList(); }
    // In the chart the program became, row `row` of the first block's inner
    // ladder deleted, the ladder stored, the chart left for the list.
    void InnerLadderDeletes(int row, bool undoneInTheChart = false) {
        const std::size_t lines = LadderFrameTest::Program().size();
        ViewChart();
        Draw("Ctrl+L");
        ASSERT_NE(_InterLadder, nullptr);
        _InterLadder->Edit().SetCursor(row, 1);
        Run("MmDelLine");
        CloseInner(qel::Answer::Yes);
        ViewList();
        EXPECT_LT(LadderFrameTest::Program().size(), lines) << "the inner ladder's edit is in the program";
        if (undoneInTheChart) ViewChart(), Run("MmUndo"), ViewList();
    }
    // The devices once the run has gone on with what the editors hold.
    static TSimMemory Settled() {
        TSimMemory mem;
        for (int round = 0; round < 2; ++round) {
            const std::uint64_t scans = SimPlc().ScanCount();
            EXPECT_TRUE(qel::test::PumpUntil([&] { return SimPlc().ScanCount() > scans + 3; }));
            SimPlc().ReadDevices(mem);  // asks for a copy after the next scan
        }
        return mem;
    }
    static std::vector<int> D0to3(const TSimMemory& mem) { return {mem.D[0], mem.D[1], mem.D[2], mem.D[3]}; }
    static std::string S20S21(const TSimMemory& mem) {
        return std::string(1, '0' + mem.bits[SimBitIndexOf('S', 20)]) + char('0' + mem.bits[SimBitIndexOf('S', 21)]);
    }
};

#define ROW_EDIT [](SimulateMemoryTest & t)
const std::vector<const char*> kOffThenOn{"LD X2", "INCP D0", "LD X0", "INCP D0"};
const TMemoryEdit kMemoryEdits[] = {
    {"ListDeletesTheOffIncpRungAboveTheOnOne", kOffThenOn, nullptr, ROW_EDIT { t.ListDelete(0, 1); },
     {"LD X0", "INCP D0"}, {1, 0, 0, 0}, "00"},
    {"ListTypesAnOffIncpRungAboveBoth", kOffThenOn, nullptr, ROW_EDIT { t.ListType(0, {"LD X2", "INCP D0"}); },
     {"LD X2", "INCP D0", "LD X2", "INCP D0", "LD X0", "INCP D0"}, {1, 0, 0, 0}, "00"},
    {"ListTypesAnOffIncpRungBetweenOnAndOff", {"LD X0", "INCP D0", "LD X2", "INCP D0"}, nullptr,
     ROW_EDIT { t.ListType(0, {"LD X2", "INCP D0"}); }, {"LD X2", "INCP D0", "LD X0", "INCP D0", "LD X2", "INCP D0"},
     {1, 0, 0, 0}, "00"},
    {"ListMovesTheOnIncpRungAboveTheOffOne", kOffThenOn, nullptr,
     ROW_EDIT { t.ListSelect(2, 3), t.Run("MmCut"), t.ListSelect(0, 0), t.Run("MmPaste"); },
     {"LD X0", "INCP D0", "LD X2", "INCP D0"}, {1, 0, 0, 0}, "00"},
    {"ListDeletesTheOffPlsRung", {"LD X2", "PLS M10", "LD X0", "PLS M10", "LD M10", "INC D1"}, nullptr,
     ROW_EDIT { t.ListDelete(0, 1); }, {"LD X0", "PLS M10", "LD M10", "INC D1"}, {0, 1, 0, 0}, "00"},
    {"ListDeletesAStepBlockAboveAnLdpRung", {"STL S30", "LDP X0", "SET S31", "RET", "LDP X0", "INC D2"}, nullptr,
     ROW_EDIT { t.ListDelete(0, 3); }, {"LDP X0", "INC D2"}, {0, 0, 1, 0}, "00"},
    {"ListDeletesAStepBlockAboveAStepsLdpTransition",
     {"LDP X1", "SET S20", "STL S30", "LDP X0", "SET S31", "STL S20", "LDP X0", "AND M0", "SET S21", "RET"}, "M0",
     ROW_EDIT { t.ListDelete(2, 4); }, {"LDP X1", "SET S20", "STL S20", "LDP X0", "AND M0", "SET S21", "RET"},
     {0, 0, 0, 0}, "10"},
    {"ListUndoesTheDeleteOfTheOffIncpRung", kOffThenOn, nullptr, ROW_EDIT { t.ListDelete(0, 1), t.Run("MmUndo"); },
     {"LD X2", "INCP D0", "LD X0", "INCP D0"}, {1, 0, 0, 0}, "00"},
    {"ListRedoesTheDeleteOfTheOffIncpRung", kOffThenOn, nullptr,
     ROW_EDIT { t.ListDelete(0, 1), t.Run("MmUndo"), t.Run("MmRedo"); }, {"LD X0", "INCP D0"}, {1, 0, 0, 0}, "00"},
    {"ChartBlockLosesTheOffIncpRung", kOffThenOn, nullptr, ROW_EDIT { t.Chart("", {"LD X0", "INCP D0"}); },
     {"LD X0", "INCP D0"}, {1, 0, 0, 0}, "00"},
    {"LadderDeletesTheOffIncpRungAboveTheOnOne", kOffThenOn, nullptr,
     ROW_EDIT { t.LadderAt(0), t.Run("MmDelLine"), t.LeaveLadder(); }, {"LD X0", "INCP D0"}, {1, 0, 0, 0}, "00"},
    {"LadderInsertsAnOffIncpRungAboveTheOnOne", {"LD X0", "INCP D0", "LD X2", "INCP D0"}, nullptr,
     ROW_EDIT { t.LadderInsertRung(0, "X2", "INCP D0"), t.LeaveLadder(); },
     {"LD X2", "INCP D0", "LD X0", "INCP D0", "LD X2", "INCP D0"}, {1, 0, 0, 0}, "00"},
    {"LadderMovesTheOnIncpRungAboveTheOffOne", kOffThenOn, nullptr,
     ROW_EDIT { t.LadderMoveRung(1, 0), t.LeaveLadder(); }, {"LD X0", "INCP D0", "LD X2", "INCP D0"}, {1, 0, 0, 0},
     "00"},
    {"LadderUndoesTheDeleteOfTheOffPlsRung", {"LD X2", "PLS M10", "LD X0", "PLS M10", "LD M10", "INC D1"}, nullptr,
     ROW_EDIT {
         t.LadderAt(0), t.Run("MmDelLine"), t.LeaveLadder();
         t.LadderAt(0), t.Run("MmUndo"), t.LeaveLadder();
     },
     {"LD X2", "PLS M10", "LD X0", "PLS M10", "LD M10", "INC D1"}, {0, 1, 0, 0}, "00"},
    {"LadderDeletesTheOffBranchBelowTheOnBranchsIncp",
     {"LD X0", "MPS", "AND X1", "INCP D0", "MPP", "AND X2", "INCP D0"}, nullptr,
     ROW_EDIT { t.LadderAt(1), t.Run("MmDelLine"), t.LeaveLadder(); }, {"LD X0", "AND X1", "INCP D0"}, {1, 0, 0, 0},
     "00"},
    {"ChartInnerLadderDeletesTheOffIncpRungThenTheChartUndoes", kOffThenOn, nullptr,
     ROW_EDIT { t.InnerLadderDeletes(0, true); }, {"LD X2", "INCP D0", "LD X0", "INCP D0"}, {1, 0, 0, 0}, "00"},
    // The new contact's device is ON already: its edge came before the edit.
    {"ListChangesAnOffLdpContactToAnOnDeviceAndItStartsAfresh", {"LDP X2", "INC D0"}, nullptr,
     ROW_EDIT { t.ListOverwrite(0, "LDP X1"); }, {"LDP X1", "INC D0"}, {0, 0, 0, 0}, "00"},
    {"ListTurnsTheOffIncpRungOnAndItsPulseFires", kOffThenOn, nullptr,
     ROW_EDIT { t.ListDelete(0, 0), t.ListType(0, {"LD X0"}); }, {"LD X0", "INCP D0", "LD X0", "INCP D0"},
     {2, 0, 0, 0}, "00"},
};
#undef ROW_EDIT

}  // namespace

TEST_P(SimulateMemoryTest, EachInstructionKeepsItsOwnMemoryThroughTheEdit) {
    const TMemoryEdit& row = GetParam();
    ViewList();
    for (const char* line : row.program) ListLine(line);
    frame_->MmSimulate->trigger();
    ASSERT_TRUE(gSimRunning);
    // The first scan saw X0 come on (the memory shows X0 before any scan).
    ASSERT_TRUE(qel::test::PumpUntil([] { return SimPlc().ScanCount() > 0; }));
    if (row.on) SimPlc().SetBit(SimBitIndexOf(row.on[0], std::atoi(row.on + 1)), true);
    const TSimMemory before = Settled();

    ASSERT_NO_FATAL_FAILURE(row.edit(*this));
    EXPECT_EQ(LadderFrameTest::Program(), row.after);
    const TSimMemory after = Settled();
    EXPECT_EQ(D0to3(after), row.d0to3) << "before the edit: " << ::testing::PrintToString(D0to3(before));
    EXPECT_EQ(S20S21(after), row.s20s21);
    EXPECT_TRUE(gSimRunning && messages_.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Editors, SimulateMemoryTest, ::testing::ValuesIn(kMemoryEdits),
                         [](const ::testing::TestParamInfo<TMemoryEdit>& info) { return std::string(info.param.name); });
