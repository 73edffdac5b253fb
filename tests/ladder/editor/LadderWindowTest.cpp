// The ladder window as an engineer uses it: the frame started as main() starts
// it, keys, element buttons and the one-line input, then the ladder compiled
// into the program through the window's own command.
#include <functional>

#include <gtest/gtest.h>

#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QMdiSubWindow>

#include "ladder/editor/Ladderkeys.h"
#include "ladder/edit/Laddertexts.h"
#include "ladder/model/Lad.h"
#include "project/Ladderstamp.h"
#include "simulator/Simuplc.h"
#include "tests/support/Fullprogram.h"
#include "tests/ladder/editor/LadderFrameFixture.h"
#include "tests/support/WaitLimit.h"

using Lines = std::vector<std::string>;

class LadderWindowTest : public LadderFrameTest {
protected:
    std::vector<std::uint8_t> Grid() const { return {gLadderRows, gLadderRows + 40 * kLdbRowBytes}; }
};

TEST_F(LadderWindowTest, ContactCoilAndEndThroughKeysCompileIntoTheProgram) {
    // The window fills the frame's client area.
    auto* sub = qobject_cast<QMdiSubWindow*>(lad_->parentWidget());
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->isMaximized());
    EXPECT_EQ(gActiveView, 2);

    QTest::keyClick(lad_, Qt::Key_F1);
    EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), "LD ");
    Finish("X0");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::Open_Ry);
    EXPECT_EQ(lad_->Edit().Col(), 0);  // insert mode keeps the cursor on the new element
    QTest::keyClick(lad_, Qt::Key_Right);
    Key(Qt::Key_F7, "Y0");
    EXPECT_EQ(lad_->Edit().Row(), 1);
    TypeLine("END");
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_TRUE(frame_->RunCommand("MmLadToCode"));
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "END"}));
    EXPECT_FALSE(lad_->Dirty());
    // The compile numbers the network in the margin, as a conversion does:
    // step 0 beside row 0; END goes on in the same network.
    EXPECT_EQ(gMarkList, (std::vector<TStepMark>{{0, 0}}));
    const QImage shot = lad_->viewport()->grab().toImage();
    auto stepInk = [&](int row) {
        int n = 0;
        for (int y = row * gCellHeight; y < (row + 1) * gCellHeight; ++y)
            for (int x = 0; x < gCellWidth - 2; ++x) n += shot.pixelColor(x, y).blue() > 200 && shot.pixelColor(x, y).red() < 120;
        return n;
    };
    EXPECT_GT(stepInk(0), 0);
    EXPECT_EQ(stepInk(1), 0);
    // Status panels: insert mode and the cursor's row and column.
    EXPECT_EQ(frame_->QelStaBar->Panel(1).toStdString(), gMsgTable.Get(28));
    QTest::keyClick(lad_, Qt::Key_Insert);
    EXPECT_EQ(gQel.InsertMode, 0);
    EXPECT_EQ(frame_->QelStaBar->Panel(1).toStdString(), gMsgTable.Get(29));
    QTest::keyClick(lad_, Qt::Key_Left);
    EXPECT_EQ(frame_->QelStaBar->Panel(2).toStdString(), gMsgTable.Get(14) + ":2 " + gMsgTable.Get(15) + ":0");
}

TEST_F(LadderWindowTest, TypedInstructionLandsAtTheCaretAndRefusalsLeaveTheGrid) {
    Click(2, 3);
    EXPECT_EQ(lad_->Edit().Row(), 2);
    EXPECT_EQ(lad_->Edit().Col(), 10);
    TypeLine("LDI M7");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 2, 10)), TLdbKind::Close_Ry);
    EXPECT_FALSE(_EditDlg->isVisible());

    const auto before = Grid();
    gQel.Modified = 0;
    TypeLine("LD Q1");  // no such device: the message, and the dialog stays open
    EXPECT_TRUE(Shown(0));
    EXPECT_TRUE(_EditDlg->isVisible());
    _EditDlg->CancelBtnClick();
    EXPECT_EQ(Grid(), before);
    EXPECT_EQ(gQel.Modified, 0);

    // A box where the next network leaves no row to wrap into (overwrite
    // mode: insert mode would move that network down).
    Click(1, 11);
    TypeLine("LD X1");
    Click(1, 12);
    messages_.Clear();
    const auto full = Grid();
    gQel.Modified = 0;
    gQel.InsertMode = 0;
    Key(Qt::Key_F6, "MOV K1 D0");
    EXPECT_TRUE(Shown(215));
    _EditDlg->CancelBtnClick();
    EXPECT_EQ(Grid(), full);  // byte for byte
    EXPECT_EQ(gQel.Modified, 0);
}

// A full row of contacts: in insert mode a coil typed on its last contact
// goes behind it (the rung folds), in overwrite mode the twelfth contact
// wraps through a connector pair and the coil follows it.
TEST_F(LadderWindowTest, OutputsAndContactsTypedPastAFullRowKeepTheRung) {
    Lines want;
    for (int k = 11; k >= 0; --k) {
        QTest::keyClick(lad_, Qt::Key_Home);
        Key(Qt::Key_F1, "M" + std::to_string(k));
    }
    Click(0, 12);
    ASSERT_EQ(lad_->Edit().Col(), 55);
    Key(Qt::Key_F7, "Y0");
    QTest::keyClick(lad_, Qt::Key_Insert);  // overwrite
    Click(3, 1);
    for (int k = 0; k < 12; ++k) Key(Qt::Key_F1, "M" + std::to_string(100 + k));
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 3, 55)), TLdbKind::Re_Line);
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 4, 5)), TLdbKind::Open_Ry);
    Key(Qt::Key_F7, "Y1");
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode")) << (messages_.Shown().empty() ? "" : messages_.Shown().back());
    for (int base : {0, 100}) {
        for (int k = 0; k < 12; ++k) want.push_back((k ? "AND M" : "LD M") + std::to_string(base + k));
        want.push_back(base ? "OUT Y1" : "OUT Y0");
    }
    Lines got = Program();
    got.resize(std::min(got.size(), want.size()));
    EXPECT_EQ(got, want);
}

// A coil typed in insert mode with the cursor on a fold's connector goes
// behind the rung's last element on the continuation row; once the rung has
// its coil, another is refused with message 20 and the grid stays as it was.
TEST_F(LadderWindowTest, CoilTypedOnAConnectorEndsTheFoldedRung) {
    QTest::keyClick(lad_, Qt::Key_Insert);  // overwrite: the twelfth contact wraps
    ASSERT_EQ(gQel.InsertMode, 0);
    Click(0, 1);
    for (int k = 0; k < 12; ++k) Key(Qt::Key_F1, "M" + std::to_string(k));
    ASSERT_EQ(CellKind(CellAt(gLadderRows, 0, 55)), TLdbKind::Re_Line);
    ASSERT_EQ(CellKind(CellAt(gLadderRows, 1, 0)), TLdbKind::Re_Line);
    QTest::keyClick(lad_, Qt::Key_Insert);
    ASSERT_EQ(gQel.InsertMode, 1);
    Click(0, 12);
    ASSERT_EQ(lad_->Edit().Col(), 55);
    messages_.Clear();
    gQel.Modified = 0;
    const auto folded = Grid();
    Key(Qt::Key_F7, "Y0");
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_FALSE(_EditDlg->isVisible());
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 1, 55)), TLdbKind::Out_Ry);

    Click(1, 1);
    const auto ended = Grid();
    Key(Qt::Key_F7, "Y1");
    EXPECT_TRUE(Shown(20));
    _EditDlg->CancelBtnClick();
    EXPECT_EQ(Grid(), ended);

    ASSERT_TRUE(frame_->RunCommand("MmLadToCode")) << (messages_.Shown().empty() ? "" : messages_.Shown().back());
    Lines want{"LD M0"};
    for (int k = 1; k < 12; ++k) want.push_back("AND M" + std::to_string(k));
    want.push_back("OUT Y0");
    Lines got = Program();
    got.resize(std::min(got.size(), want.size()));
    EXPECT_EQ(got, want);
    // One undo step, the coil's (the refusal took none): the rung as folded,
    // the cursor back on the connector.
    QTest::keyClick(lad_, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Grid(), folded);
    EXPECT_EQ(lad_->Edit().Row(), 0);
    EXPECT_EQ(lad_->Edit().Col(), 55);
}

namespace {

std::vector<std::uint8_t> Assembled(const std::vector<std::string>& lines) {
    std::vector<std::uint8_t> code;
    for (const std::string& line : lines) {
        EXPECT_TRUE(SetInputText(line) && AssembleInstruction() == 1) << line;
        code.insert(code.end(), gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
    }
    return code;
}

}  // namespace

TEST_F(LadderWindowTest, FullProgramRoundTripsThroughTheWindowsCommands) {
    ASSERT_TRUE(frame_->ApplyModelSetting(2, 3, false));  // 16000 steps
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    lad_ = _LDB;
    ASSERT_NE(lad_, nullptr);
    const std::vector<std::uint8_t> image = qel::test::MixedFullProgram(gProgramCapacity);
    std::fill(gProgram, gProgram + gProgramCapacity, 0xFF);
    std::copy(image.begin(), image.end(), gProgram);
    LocateProgramEnd();
    ASSERT_GT(gProgramUsed, 31000u);
    const std::vector<std::uint8_t> before(gProgram, gProgram + gProgramCapacity);

    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    EXPECT_GT(lad_->Edit().LastRow(), 2000);
    // The compile must write every byte back; the zeros stand for the code the
    // ladder was drawn from (a compile is refused over code the ladder does
    // not belong to).
    std::fill(gProgram, gProgram + gProgramCapacity, 0x00);
    MarkLadderOfProgram();
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), gProgram));
}

TEST_F(LadderWindowTest, FailedCompileKeepsTheWindowOnTheFailingRows) {
    // A contact in row 3 that leads nowhere.
    Click(3, 1);
    TypeLine("LD X1");
    Click(0, 1);
    const std::vector<std::uint8_t> code(gProgram, gProgram + gProgramCapacity);
    EXPECT_TRUE(frame_->RunCommand("MmLadToCode"));
    EXPECT_TRUE(Shown(32));
    EXPECT_EQ(lad_->Edit().Row(), 3);
    EXPECT_TRUE(std::equal(code.begin(), code.end(), gProgram));
    // Closing it tries again and asks, with the failure, whether to discard
    // the edits; No keeps the window open on them.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::No);
    auto* sub = qobject_cast<QMdiSubWindow*>(lad_->parentWidget());
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(_LDB, lad_);
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(messages_.Asked()[0].rfind(gMsgTable.Get(32), 0), 0u);
    EXPECT_NE(messages_.Asked()[0].find(gMsgTable.Get(252)), std::string::npos);
    EXPECT_EQ(CellOperandText(gLadderRows, 3, 0), "X1");
    // Mended, it compiles on close and goes.
    Click(3, 2);
    Key(Qt::Key_F7, "Y1");
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(_LDB, nullptr);
    EXPECT_EQ(Program(), (Lines{"LD X1", "OUT Y1"}));
}

// A compile of the program's ladder ends with the structure check the PLC
// makes before it takes a program: code it would refuse fails the compile with
// the PLC's error code and step, on its rung, and the program stays as it was.
// Each row: a program typed in the list, View > Ladder, a rung X20-Y20 drawn
// in a new row above it, then F4 (Ladder to list).
TEST_F(LadderWindowTest, CompileEndsWithTheStructureCheckOfThePlc) {
    struct Row {
        const char* name;
        Lines list;
        const char* fault;  // the code and step the message names; nullptr: it compiles
        int rung;           // the first row of the rung that holds the fault
    };
    const Row rows[] = {
        {"a program that passes", {"LD X0", "OUT Y0", "END"}, nullptr, 0},
        {"MPS nested nine deep", {"LD X0", "MPS", "AND X1", "MPS", "AND X2", "MPS", "AND X3", "MPS", "AND X4", "MPS",
          "AND X5", "MPS", "AND X6", "MPS", "AND X7", "MPS", "AND X10", "MPS", "AND X11", "OUT Y0", "MPP", "OUT Y1",
          "MPP", "OUT Y2", "MPP", "OUT Y3", "MPP", "OUT Y4", "MPP", "OUT Y5", "MPP", "OUT Y6", "MPP", "OUT Y7",
          "MPP", "OUT Y10", "MPP", "OUT Y11", "END"}, "C403, Step 19", 1},
        {"FOR nested six deep", {"FOR K1", "FOR K1", "FOR K1", "FOR K1", "FOR K1", "FOR K1", "LD X0", "OUT Y0",
          "NEXT", "NEXT", "NEXT", "NEXT", "NEXT", "NEXT", "END"}, "C404, Step 17", 6},
        {"END between FOR and NEXT", {"FOR K2", "LD X0", "OUT Y0", "END", "NEXT"}, "C405, Step 7", 3},
        {"NEXT without FOR", {"LD X0", "OUT Y0", "NEXT", "END"}, "C401, Step 4", 2},
        {"MC of level 1 first", {"LD X0", "MC N1", "LD X1", "OUT Y0", "MCR N1", "END"}, "C40B, Step 3", 1},
        {"MC left open", {"LD X0", "MC N0", "LD X1", "OUT Y0", "END"}, "C40C, Step 3", 1},
        {"SRET before the first FEND", {"LD X0", "OUT Y0", "SRET", "END"}, "C40E, Step 4", 2},
        {"an interrupt label before FEND", {"I001", "LD X0", "OUT Y0", "IRET", "FEND", "END"}, "C40D, Step 2", 1},
        {"nine STL in a row", {"STL S20", "STL S21", "STL S22", "STL S23", "STL S24", "STL S25", "STL S26",
          "STL S27", "STL S28", "OUT Y0", "RET", "END"}, "C407, Step 10", 1},
        {"a pointer label inside a step", {"STL S20", "OUT Y0", "P0", "LD X0", "OUT Y1", "RET", "END"},
         "C408, Step 4", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lad_->DropEdits();
        gQel.Modified = 0;
        frame_->NewClick();
        ViewList();
        TypeIntoList(row.list);
        ViewLadder();
        lad_->Edit().SetCursor(0, 0);
        ASSERT_TRUE(frame_->RunCommand("MmInsLine"));
        KeyRung("X20", "Y20");
        messages_.Clear();
        ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
        Lines compiled{"LD X20", "OUT Y20"};
        compiled.insert(compiled.end(), row.list.begin(), row.list.end());
        EXPECT_EQ(Program(), row.fault ? row.list : compiled);
        EXPECT_EQ(lad_->Dirty(), row.fault != nullptr);
        ASSERT_EQ(messages_.Shown().size(), row.fault ? 1u : 0u);
        if (!row.fault) continue;
        const std::string at =
            gMsgTable.Get(kMsgStructureFault) + " " + row.fault + " [Row: " + std::to_string(row.rung);
        EXPECT_NE(messages_.Shown()[0].find(at), std::string::npos) << messages_.Shown()[0];
        EXPECT_EQ(lad_->Edit().Row(), row.rung);
    }
}

TEST_F(LadderWindowTest, InnerLadderCompilesIntoItsElementOnly) {
    const std::vector<std::uint8_t> program(gProgram, gProgram + gProgramCapacity);
    const std::vector<std::uint8_t> inner = Assembled({"LD X5", "OUT Y5"});
    std::fill(gProgramCopy, gProgramCopy + gProgramCopySize, 0xFF);
    std::copy(inner.begin(), inner.end(), gProgramCopy);
    LocateProgramCopyEnd();
    TLDB* w = OpenInterLadderWindow(frame_.get(), 4, 8, false);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(gActiveView, 17);
    EXPECT_EQ(CellKind(CellAt(gInterLadderGrid, 0, 0)), TLdbKind::Open_Ry);
    // A contact in front of X5.
    Key(Qt::Key_F2, "M3", w);
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    messages_.QueueAnswer(qel::Answer::Cancel);  // stays
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(_InterLadder, w);
    EXPECT_TRUE(gSfcCodeList.empty());
    // A ladder that does not compile (a gap in a rung) keeps the window open on its rows.
    w->Edit().SetCursor(3, 0);
    Key(Qt::Key_F1, "X6", w);
    w->Edit().SetCursor(3, 10);
    Key(Qt::Key_F7, "Y6", w);
    w->Edit().SetCursor(0, 0);
    messages_.QueueAnswer(qel::Answer::Yes);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(_InterLadder, w);
    EXPECT_TRUE(Shown(32));
    EXPECT_EQ(w->Edit().Row(), 3);
    EXPECT_TRUE(gSfcCodeList.empty());
    w->Edit().SetCursor(3, 5);
    gQel.InsertMode = 0;  // overwrite: the wire goes into the gap
    QTest::keyClick(w, Qt::Key_F8);
    messages_.QueueAnswer(qel::Answer::Yes);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(_InterLadder, nullptr);
    ASSERT_EQ(gSfcCodeList.size(), 1u);
    EXPECT_EQ(gSfcCodeList[0]->row, 4);
    EXPECT_EQ(gSfcCodeList[0]->col, 8);
    EXPECT_EQ(gSfcCodeList[0]->code, Assembled({"LDI M3", "AND X5", "OUT Y5", "LD X6", "OUT Y6"}));
    EXPECT_TRUE(std::equal(program.begin(), program.end(), gProgram));  // the program's code untouched
}

TEST_F(LadderWindowTest, EveryKeyOfTheTableReachesTheLadder) {
    // Each key of the ladder's key table, pressed in the window, does what the
    // table names, not what a frame shortcut would do.
    int count = 0;
    const TLadderKey* table = LadderKeyTable(count);
    ASSERT_GT(count, 20);
    const char* const prefill[11] = {"LD ", "LDI ", "LDP ", "LDF ", "STL ", "", "OUT ", nullptr, nullptr, nullptr, "LD= "};
    for (int k = 0; k < count; ++k) {
        const TLadderKey& key = table[k];
        SCOPED_TRACE(k);
        lad_->Edit().SetCursor(3, 10);
        const std::vector<std::uint8_t> before = Grid();
        const int row = lad_->Edit().Row(), col = lad_->Edit().Col();
        QTest::keyClick(lad_, static_cast<Qt::Key>(key.key), key.modifiers);
        switch (key.action) {
            case TLadderKeyAction::Element:
                if (prefill[key.button]) {
                    ASSERT_TRUE(_EditDlg->isVisible());
                    EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), prefill[key.button]);
                    _EditDlg->CancelBtnClick();
                } else {
                    EXPECT_NE(Grid(), before);  // lines and the inverter go in at once
                    std::copy(before.begin(), before.end(), gLadderRows);
                    lad_->Edit().Refresh();
                }
                break;
            case TLadderKeyAction::VLineDown:
                EXPECT_TRUE(CellLinksDown(CellAt(gLadderRows, 3, 10)));
                EXPECT_EQ(lad_->Edit().Row(), 4);
                std::copy(before.begin(), before.end(), gLadderRows);
                break;
            case TLadderKeyAction::Enter:
                ASSERT_TRUE(_EditDlg->isVisible());
                EXPECT_TRUE(_EditDlg->IEdit->text().isEmpty());
                _EditDlg->CancelBtnClick();
                break;
            case TLadderKeyAction::Insert:
                EXPECT_EQ(gQel.InsertMode, 0);
                gQel.InsertMode = 1;
                break;
            case TLadderKeyAction::Left: EXPECT_EQ(lad_->Edit().Col(), col - 5); break;
            case TLadderKeyAction::Right: EXPECT_EQ(lad_->Edit().Col(), col + 5); break;
            case TLadderKeyAction::Up: EXPECT_EQ(lad_->Edit().Row(), row - 1); break;
            case TLadderKeyAction::Down: EXPECT_EQ(lad_->Edit().Row(), row + 1); break;
            case TLadderKeyAction::Home: EXPECT_EQ(lad_->Edit().Col(), 0); break;
            case TLadderKeyAction::End: EXPECT_EQ(lad_->Edit().Col(), 55); break;
            case TLadderKeyAction::PageUp: EXPECT_EQ(lad_->Edit().Row(), 0); break;
            case TLadderKeyAction::PageDown: EXPECT_GT(lad_->Edit().Row(), row); break;
            case TLadderKeyAction::Backspace: EXPECT_EQ(lad_->Edit().Col(), col - 5); break;
            default: EXPECT_EQ(Grid(), before); break;
        }
        EXPECT_FALSE(_EditDlg->isVisible());
        EXPECT_EQ(gActiveView, 2);
    }
    EXPECT_TRUE(messages_.Shown().empty());
}

// The engineer's own list of the function keys, written out here rather than
// read from the window's key table: a key bound to the wrong button places
// the wrong element.
TEST_F(LadderWindowTest, FunctionKeysPlaceTheElementsOfTheirButtons) {
    auto firstElement = [](int row) {
        for (int col = 0; col <= 55; col += 5) {
            const TLdbKind k = CellKind(CellAt(gLadderRows, row, col));
            if (k != TLdbKind::non_inst && k != TLdbKind::H_Line) return k;
        }
        return TLdbKind::non_inst;
    };
    // The keys that open the instruction input: what it opens with, the
    // operands typed after it, the element that lands on the row.
    struct Entered {
        Qt::Key key;
        const char* opens;
        const char* operands;
        TLdbKind kind;
    };
    const Entered entered[] = {
        {Qt::Key_F1, "LD ", "X1", TLdbKind::Open_Ry},    {Qt::Key_F2, "LDI ", "X2", TLdbKind::Close_Ry},
        {Qt::Key_F3, "LDP ", "X3", TLdbKind::Tu_Ry},     {Qt::Key_F4, "LDF ", "X4", TLdbKind::Td_Ry},
        {Qt::Key_F5, "STL ", "S5", TLdbKind::State_Ry},  {Qt::Key_F6, "", "MOV K6 D6", TLdbKind::Spec_Fun},
        {Qt::Key_F7, "OUT ", "Y7", TLdbKind::Out_Ry},    {Qt::Key_F12, "LD= ", "D0 K12", TLdbKind::Comp_Ry},
    };
    int row = 0;
    for (const Entered& e : entered) {
        SCOPED_TRACE(e.opens);
        lad_->Edit().SetCursor(row, 0);
        QTest::keyClick(lad_, e.key);
        ASSERT_TRUE(_EditDlg->isVisible());
        EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), e.opens);
        Finish(e.operands);
        EXPECT_EQ(firstElement(row), e.kind);
        ++row;
    }
    // The keys that place at once: F8 a horizontal line, F9 a vertical line
    // down from the cell, F11 an inverter; F10 does nothing.
    lad_->Edit().SetCursor(row, 10);
    QTest::keyClick(lad_, Qt::Key_F8);
    EXPECT_EQ(CellKind(CellAt(gLadderRows, row, 10)), TLdbKind::H_Line);
    lad_->Edit().SetCursor(row, 20);
    QTest::keyClick(lad_, Qt::Key_F9);
    EXPECT_TRUE(CellLinksDown(CellAt(gLadderRows, row, 20)));
    EXPECT_EQ(lad_->Edit().Row(), row);  // without Alt the cursor stays
    lad_->Edit().SetCursor(row, 30);
    QTest::keyClick(lad_, Qt::Key_F11);
    EXPECT_EQ(CellKind(CellAt(gLadderRows, row, 30)), TLdbKind::Inv_Ry);
    EXPECT_FALSE(_EditDlg->isVisible());

    auto unchanged = [&](Qt::Key key, Qt::KeyboardModifiers mods, const char* what) {
        SCOPED_TRACE(what);
        lad_->Edit().SetCursor(row + 2, 10);
        const std::vector<std::uint8_t> before = Grid();
        QTest::keyClick(lad_, key, mods);
        EXPECT_FALSE(_EditDlg->isVisible());
        EXPECT_EQ(Grid(), before);
        EXPECT_EQ(lad_->Edit().Row(), row + 2);
        EXPECT_EQ(lad_->Edit().Col(), 10);
    };
    unchanged(Qt::Key_F10, Qt::NoModifier, "F10");
    // Shift gives a key to the block marking, which has no use for the
    // function keys; of the Alt combinations only Alt+F9 acts.
    unchanged(Qt::Key_F1, Qt::ShiftModifier, "Shift+F1");
    unchanged(Qt::Key_F4, Qt::ShiftModifier, "Shift+F4");
    unchanged(Qt::Key_F1, Qt::AltModifier, "Alt+F1");
    unchanged(Qt::Key_F4, Qt::AltModifier, "Alt+F4");
    unchanged(Qt::Key_F8, Qt::AltModifier, "Alt+F8");
    lad_->Edit().SetCursor(row + 2, 10);
    QTest::keyClick(lad_, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_TRUE(lad_->Edit().Selection().active);
    // Alt+F9, pressed again, draws the line on down the rows.
    lad_->Edit().SetCursor(row + 2, 15);
    QTest::keyClick(lad_, Qt::Key_F9, Qt::AltModifier);
    QTest::keyClick(lad_, Qt::Key_F9, Qt::AltModifier);
    EXPECT_TRUE(CellLinksDown(CellAt(gLadderRows, row + 2, 15)));
    EXPECT_TRUE(CellLinksDown(CellAt(gLadderRows, row + 3, 15)));
    EXPECT_EQ(lad_->Edit().Row(), row + 4);
    EXPECT_TRUE(messages_.Shown().empty());

    // While the PLC is monitored, F1 asks whether to stop; F4 neither asks
    // nor places anything.
    const std::function<bool()> running = frame_->Link.MonitorRunning;
    frame_->Link.MonitorRunning = [] { return true; };
    gMonitorMode = 1;
    const std::vector<std::uint8_t> before = Grid();
    messages_.QueueAnswer(qel::Answer::No);
    QTest::keyClick(lad_, Qt::Key_F1);
    EXPECT_EQ(messages_.Asked().size(), 1u);
    QTest::keyClick(lad_, Qt::Key_F4);
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_FALSE(_EditDlg->isVisible());
    EXPECT_EQ(Grid(), before);
    gMonitorMode = 0;
    frame_->Link.MonitorRunning = running;
}

TEST_F(LadderWindowTest, FrameButtonsZoomAndCommentDisplay) {
    // The frame's element buttons act on the ladder window.
    EXPECT_TRUE(frame_->Btn[0]->isEnabled());
    frame_->Btn[0]->trigger();
    ASSERT_TRUE(_EditDlg->isVisible());
    Finish("X1");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::Open_Ry);
    frame_->Btn[9]->trigger();  // inverter, at once
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::Inv_Ry);
    EXPECT_TRUE(frame_->MmLadToCode->isEnabled());
    EXPECT_TRUE(frame_->MmCodeToLad->isEnabled());  // the edits go into the code first
    EXPECT_TRUE(frame_->MmDelTk->isEnabled());
    EXPECT_TRUE(frame_->MmDelVline->isEnabled());

    // Zoom: the rail follows the cell width.
    ASSERT_TRUE(frame_->RunCommand("MmZoomIn"));
    EXPECT_EQ(gCellWidth, 100);
    QCoreApplication::processEvents();
    QImage img = lad_->viewport()->grab().toImage();
    EXPECT_LT(qGray(img.pixel(100, 200)), 80);
    EXPECT_GT(qGray(img.pixel(90, 200)), 200);
    // Comment display doubles the rows; the element line stays a quarter down.
    ASSERT_TRUE(frame_->RunCommand("MmCmtType"));
    EXPECT_EQ(gCellHeight, 160);
    EXPECT_TRUE(lad_->PaintOptions().comments);
    ASSERT_TRUE(frame_->RunCommand("MmCmtType"));
    EXPECT_EQ(gCellHeight, 80);
}

TEST_F(LadderWindowTest, DoubleClickBlockCommentAndGoToStep) {
    QTest::mouseDClick(lad_->viewport(), Qt::LeftButton, {}, QPoint(2 * gCellWidth + 5, gCellHeight + 5));
    ASSERT_TRUE(_EditDlg->isVisible());
    EXPECT_TRUE(_EditDlg->IEdit->text().isEmpty());
    EXPECT_EQ(lad_->Edit().Row(), 1);
    EXPECT_EQ(lad_->Edit().Col(), 5);
    _EditDlg->CancelBtnClick();
    EXPECT_EQ(gActiveView, 2);

    // Block comment entry (view 3) on an empty row, through Enter on it later.
    lad_->PopBkCmtClick();
    ASSERT_TRUE(_EditDlg->isVisible());
    EXPECT_EQ(gActiveView, 3);
    Finish("Pumps");
    EXPECT_TRUE(IsBlockCommentRow(CellAt(gLadderRows, 1, 0)));
    EXPECT_EQ(gActiveView, 2);
    QTest::keyClick(lad_, Qt::Key_Return);
    ASSERT_TRUE(_EditDlg->isVisible());
    EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), "Pumps");
    _EditDlg->CancelBtnClick();

    // Go to step by the step marks of the last conversion: the frame's
    // command (view 8) and its Ctrl+G; the network's first row at the top.
    gMarkList = {{0, 0}, {4, 10}, {9, 20}};
    gProgramUsed = 2 * 25;  // the marks' program: 25 steps
    frame_->RefreshCommands();
    EXPECT_TRUE(frame_->Action("BnJump")->isEnabled());
    ASSERT_TRUE(frame_->RunCommand("MmJump"));
    EXPECT_EQ(gActiveView, 8);
    Finish("15");
    EXPECT_EQ(lad_->Edit().Row(), 4);
    EXPECT_EQ(lad_->verticalScrollBar()->value(), 4 * gCellHeight);
    EXPECT_EQ(gActiveView, 2);
    QTest::keyClick(lad_, Qt::Key_G, Qt::ControlModifier);
    Finish("20");
    EXPECT_EQ(lad_->Edit().Row(), 9);
    gMarkList.clear();
    gProgramUsed = 0;
}

// Edit > Jump in the list and in the ladder takes a step of the program and
// nothing else. The program: LD X0 / OUT Y0 / LD X1 / OUT Y1 / END, steps 0-4,
// its second rung (and END) on ladder row 1; the cursor starts on line 3, row 2.
TEST_F(LadderWindowTest, JumpTakesOnlyAStepOfTheProgram) {
    struct Row {
        const char* name;
        const char* typed;
        int refusal;     // the message shown, -1 when the jump goes
        int line, rung;  // where it goes in the list and in the ladder
    };
    const Row rows[] = {
        {"a step of the second rung", "2", -1, 2, 1},
        {"the last step, END", "4", -1, 4, 1},
        {"step 0 with blanks around", " 0 ", -1, 0, 0},
        {"the step just past the end", "5", kMsgBadStep, 3, 2},
        {"a step whose byte offset overflows", "4611686018427387904", kMsgBadStep, 3, 2},
        {"the largest number", "9223372036854775807", kMsgBadStep, 3, 2},
        {"digits past any number", "99999999999999999999999", kMsgBadStep, 3, 2},
        {"a negative number", "-1", kMsgBadStep, 3, 2},
        {"a text that is no number", "x1", kMsgInvalidInput, 3, 2},
        {"digits followed by a letter", "2x", kMsgInvalidInput, 3, 2},
        {"nothing typed", "", kMsgInvalidInput, 3, 2},
    };
    ViewList();
    TypeIntoList({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"});
    for (const Row& row : rows)
        for (const bool list : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (list ? " in the list" : " in the ladder"));
            list ? ViewList() : ViewLadder();
            list ? _Inst->MoveCursorTo(3) : lad_->Edit().SetCursor(2, 0);
            messages_.Clear();
            ASSERT_TRUE(frame_->RunCommand("MmJump"));
            _EditDlg->IEdit->setText(QString::fromLatin1(row.typed));
            QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
            EXPECT_EQ(list ? _Inst->CursorLine : lad_->Edit().Row(), list ? row.line : row.rung);
            EXPECT_EQ(messages_.Shown().size(), row.refusal < 0 ? 0u : 1u);
            EXPECT_TRUE(row.refusal < 0 || Shown(row.refusal));
            EXPECT_EQ(_EditDlg->isVisible(), row.refusal >= 0) << "a refused text stays to be corrected";
            if (_EditDlg->isVisible()) QTest::keyClick(_EditDlg->IEdit, Qt::Key_Escape);
        }
}

TEST_F(LadderWindowTest, MonitorStatesPaintThroughTheSamePainter) {
    Key(Qt::Key_F1, "X0");
    QTest::keyClick(lad_, Qt::Key_Down);
    lad_->SetStateSource([](std::int32_t row, std::int32_t col) {
        TLadderCellState s;
        s.known = true;
        s.on = row == 0 && col == 0;
        return s;
    });
    QCoreApplication::processEvents();
    EXPECT_EQ(lad_->viewport()->grab().toImage().pixelColor(gCellWidth + 5, 5), QColor(0, 255, 0));
    lad_->SetStateSource({});
    QCoreApplication::processEvents();
    const QImage img = lad_->viewport()->grab().toImage();
    EXPECT_EQ(img.pixelColor(gCellWidth + 5, 5), QColor(255, 255, 255));
    const int rail = gCellWidth;          // no horizontal scroll
    const int line = gCellHeight / 2;     // element line of row 0
    auto dark = [&](int x, int y) { return qGray(img.pixel(x, y)) < 80; };
    EXPECT_TRUE(dark(rail, 5 * gCellHeight));       // the rail runs down the whole window
    EXPECT_TRUE(dark(rail + 5, line));              // the contact's left wire on its element line
    EXPECT_TRUE(dark(rail + 25 * gCellWidth / 60, line - 5));  // its left bar
    EXPECT_FALSE(dark(rail + 30 * gCellWidth / 60, line));     // the gap between the bars
    EXPECT_FALSE(dark(rail + 2 * gCellWidth, line));           // nothing in the next cell
    // The cursor frame (row 1, column 0) in blue.
    const QColor frame = img.pixelColor(rail + gCellWidth / 2, gCellHeight + 1);
    EXPECT_GT(frame.blue(), 200);
    EXPECT_LT(frame.red(), 60);
}

TEST_F(LadderWindowTest, DrawingARungByKeysTimerCompareBranchAndLabel) {
    gQel.InsertMode = 0;  // overwrite: the caret steps past each element
    QTest::keyClick(lad_, Qt::Key_Insert);
    ASSERT_EQ(gQel.InsertMode, 1);
    QTest::keyClick(lad_, Qt::Key_Insert);
    ASSERT_EQ(gQel.InsertMode, 0);
    // Row 0: X0, a compare, the timer box.
    Key(Qt::Key_F1, "X0");
    QTest::keyClick(lad_, Qt::Key_F12);
    EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), "LD= ");
    Finish("D0 K5");
    EXPECT_EQ(lad_->Edit().Col(), 20);
    Key(Qt::Key_F6, "TMR T0 K10");
    // Row 1: an OR branch under X0, joined by a vertical line.
    Key(Qt::Key_F1, "X1");
    QTest::keyClick(lad_, Qt::Key_Up);
    EXPECT_EQ(lad_->Edit().Col(), 5);
    QTest::keyClick(lad_, Qt::Key_F9);
    // A label on the label column of row 0, typed there.
    Click(0, 0);
    EXPECT_EQ(lad_->Edit().Col(), -5);
    TypeLine("P2");
    EXPECT_EQ(gPLabelRows[2], 0);
    // Insert mode: a contact typed before X0 pushes the rung right, the
    // branch below with it.
    gQel.InsertMode = 1;
    QTest::keyClick(lad_, Qt::Key_Right);
    TypeLine("LDI X7");
    Click(2, 1);
    TypeLine("END");
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_EQ(Program(), (Lines{"P2", "LDI X7", "AND X0", "OR X1", "AND= D0 K5", "TMR T0 K10", "END"}));
}

TEST_F(LadderWindowTest, PopupShortcutsAreTheLaddersOwn) {
    KeyRung("X0", "Y0");
    Key(Qt::Key_F1, "X1");
    lad_->Edit().SetCursor(0, 5);
    QTest::keyClick(lad_, Qt::Key_F9);
    ASSERT_TRUE(CellLinksDown(CellAt(gLadderRows, 0, 5)));
    QTest::keyClick(lad_, Qt::Key_D, Qt::ControlModifier);  // delete the vertical line
    EXPECT_FALSE(CellLinksDown(CellAt(gLadderRows, 0, 5)));
    // Ctrl+F3 opens the block-comment entry on an empty row.
    lad_->Edit().SetCursor(5, 0);
    QTest::keyClick(lad_, Qt::Key_F3, Qt::ControlModifier);
    ASSERT_TRUE(_EditDlg->isVisible());
    EXPECT_EQ(gActiveView, 3);
    _EditDlg->CancelBtnClick();
    // The popup: editing items now, the on-line items while monitoring.
    lad_->SwitchPopupMode();
    for (QAction* a : lad_->LDBPopup->actions()) {
        const QString name = a->objectName();
        EXPECT_TRUE(name != "PopDelVline" || (a->isVisible() && a->isEnabled()));
        EXPECT_FALSE((name == "PopON" || name == "PopDelTk") && a->isVisible()) << name.toStdString();
    }
    gMonitorMode = 1;
    lad_->SwitchPopupMode();
    for (QAction* a : lad_->LDBPopup->actions()) {
        if (a->isSeparator()) continue;
        const bool online = a->objectName().startsWith("PopON") || a->objectName().startsWith("PopOFF") ||
                            a->objectName().startsWith("PopChgVal") || a->objectName().startsWith("PopPulse");
        EXPECT_EQ(a->isVisible(), online) << a->objectName().toStdString();
    }
    // No edit while monitoring: the buttons are off and keys change nothing.
    frame_->RefreshCommands();
    EXPECT_FALSE(frame_->Btn[0]->isEnabled());
    const auto before = Grid();
    QTest::keyClick(lad_, Qt::Key_F8);
    EXPECT_EQ(Grid(), before);
    gMonitorMode = 0;
}

// Simulating from the ladder: ON cells turn green, a click on a contact flips
// its input, and the coil follows within a few scans; after the stop the
// ladder shows the program again.
TEST_F(LadderWindowTest, SimulationShowsStatesAndAClickOnAContactDrivesItsInput) {
    KeyRung("X0", "Y0");
    TypeLine("END");
    // Never compiled by hand: the simulate button runs what the ladder shows.
    int coil = -1;
    for (int c = 0; c <= kLdbLastColumn; c += kLdbCellBytes)
        if (CellKind(CellAt(gLadderRows, 0, c)) == TLdbKind::Out_Ry) coil = c;
    ASSERT_GE(coil, 0);

    // Inside a cell, clear of its lines and texts.
    auto cellPoint = [&](int col) { return QPoint(gCellWidth + (col / kLdbCellBytes) * gCellWidth + 3, 3); };
    auto green = [&](int col) {
        const QColor c = lad_->viewport()->grab().toImage().pixelColor(cellPoint(col));
        return c.green() > 200 && c.red() < 60 && c.blue() < 60;
    };
    auto white = [&](int col) {
        const QColor c = lad_->viewport()->grab().toImage().pixelColor(cellPoint(col));
        return c.green() > 200 && c.red() > 200 && c.blue() > 200;
    };
    ASSERT_TRUE(white(0));
    ASSERT_TRUE(frame_->RunCommand("BnSimuLad"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return green(0) && green(coil); }, qel::test::kWaitLimitMs)) << "X0 starts ON, and so does Y0";
    EXPECT_TRUE(lad_->ShowsSimulation());

    const QPoint x0(gCellWidth + gCellWidth / 2, gCellHeight / 2);
    QTest::mouseClick(lad_->viewport(), Qt::LeftButton, {}, x0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return white(0) && white(coil); }, qel::test::kWaitLimitMs)) << "X0 clicked OFF";
    QTest::mouseClick(lad_->viewport(), Qt::LeftButton, {}, x0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return green(0) && green(coil); }, qel::test::kWaitLimitMs)) << "X0 clicked ON again";
    EXPECT_EQ(lad_->Edit().Row(), 0);
    EXPECT_EQ(lad_->Edit().Col(), 0) << "the click moved the cursor to the contact";

    ASSERT_TRUE(frame_->RunCommand("BnSimuLad"));
    EXPECT_EQ(gSimRunning.load(), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(lad_->ShowsSimulation());
    EXPECT_TRUE(white(coil)) << "the program's ladder again";
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "END"})) << "clicks change no code";
}

TEST_F(LadderWindowTest, ScrollingTakesTheCursorAlongAndOtherCharactersAreIgnored) {
    lad_->Edit().SetCursor(2, 10);
    lad_->ScrollCursorIntoView();
    lad_->verticalScrollBar()->setValue(5 * gCellHeight);  // as far as one page past the ladder allows
    const int scrolled = lad_->verticalScrollBar()->value() / gCellHeight;
    EXPECT_GT(scrolled, 0);
    EXPECT_EQ(lad_->Edit().Row(), 2 + scrolled);  // the same place on the screen
    EXPECT_EQ(lad_->Edit().Col(), 10);
    QTest::keyClicks(lad_, "*");
    EXPECT_FALSE(_EditDlg->isVisible());
    // While the link monitors the PLC every edit asks to stop it first, and
    // does nothing whatever the answer.
    bool asked = false;
    lad_->Link->AskStopMonitor = [&] {
        asked = true;
        return true;
    };
    const auto before = Grid();
    QTest::keyClick(lad_, Qt::Key_F8);
    QTest::keyClick(lad_, Qt::Key_F1);
    EXPECT_TRUE(asked);
    EXPECT_FALSE(_EditDlg->isVisible());
    EXPECT_EQ(Grid(), before);
}

TEST_F(LadderWindowTest, LadderFollowsCodeTheInstructionListChanged) {
    // Lines typed into the instruction list while the ladder is open...
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    TInst* list = _Inst;
    ASSERT_NE(list, nullptr);
    for (const std::string line : {"LD X4", "OUT Y4", "END"}) {
        QTest::keyClicks(list, QString::fromStdString(line.substr(0, 1)));
        Finish(line.substr(1));
    }
    ASSERT_EQ(Program(), (Lines{"LD X4", "OUT Y4", "END"}));
    // ...are in the ladder when it comes back, and the ladder's next compile keeps them.
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::Open_Ry);
    EXPECT_EQ(CellOperandText(gLadderRows, 0, 0), "X4");
    lad_->Edit().SetCursor(0, 0);
    Key(Qt::Key_F2, "X5");
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));  // opening another view compiles the edit
    EXPECT_EQ(Program(), (Lines{"LDI X5", "AND X4", "OUT Y4", "END"}));
}

TEST(LadderPainter, GlyphsAndLinksWhereTheLayoutPutsThem) {
    std::vector<std::uint8_t> grid(20 * kLdbRowBytes, 0);
    std::vector<std::int32_t> p(kPLabelCount, -1), i(kILabelCount, -1);
    TLadderEdit edit(TLadderDoc{grid.data(), 20, TLabelTables{p.data(), i.data()}, false});
    edit.insertMode = false;
    ASSERT_TRUE(edit.PlaceTyped("LD X0").changed);
    ASSERT_TRUE(edit.PlaceTyped("LD>= D0 K5").changed);  // 16-bit: three cells
    ASSERT_TRUE(edit.PlaceTyped("DAND>= D2 K100000").changed);  // 32-bit: five cells
    edit.SetCursor(1, 0);
    ASSERT_TRUE(edit.PlaceTyped("LD X1").changed);
    edit.SetCursor(0, 5);
    ASSERT_TRUE(edit.Place(TLadderClass::VLine).changed);
    TLadderPaintView view;
    view.grid = grid.data();
    view.capacity = 20;
    view.labels = TLabelTables{p.data(), i.data()};
    view.program = false;
    TLadderPaintOptions o;  // zoom 4: 90 x 70
    o.client = QSize(1400, 300);
    o.showCursor = false;
    QImage img(o.client, QImage::Format_RGB32);
    auto paint = [&] {
        QPainter painter(&img);
        PaintLadder(painter, view, o);
    };
    auto dark = [&](int x, int y) { return qGray(img.pixel(x, y)) < 100; };
    paint();
    const int rail = 90, line = 35;
    EXPECT_TRUE(dark(rail + 10, line));                    // the contact's wire on the element line
    EXPECT_FALSE(dark(rail + 10, line - 12));
    // The 32-bit compare at column 20: five cells, its right bar 6/60 of a cell before their end.
    const int x = rail + 4 * 90, right = x + 5 * 90 - 6 * 90 / 60;
    EXPECT_TRUE(dark(right, line - 8));
    EXPECT_FALSE(dark(right - 3, line - 8));
    EXPECT_TRUE(dark(right + 4, line));                    // its wire out to the cell's end
    // The vertical link at column 5 runs from row 0's line down to row 1's.
    EXPECT_TRUE(dark(rail + 90, line + 35));
    // With comments on, rows are twice as high and the line stays 35 below the top.
    o.cellHeight = 140;
    o.comments = true;
    paint();
    EXPECT_TRUE(dark(rail + 10, 35));
    EXPECT_TRUE(dark(rail + 90, 35 + 70));                 // the link spans the taller row
    // Scrolled so that row 0 is out of view, the link still shows above row 1's line.
    o.cellHeight = 70;
    o.comments = false;
    o.vScroll = 70;
    paint();
    EXPECT_TRUE(dark(rail + 90, line - 20));
    EXPECT_FALSE(dark(rail + 180, line - 20));
}
