// Block and rung comments stand with what they describe: the instruction a
// block comment stands before, the rung a rung comment was written for. They
// come back so through Save As, File > Open, edits of the instruction list and
// Convert > List to ladder, once each and never beside another rung; a comment
// whose rung is gone is reported, not dropped without a word.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTableWidget>
#include <QScrollBar>
#include <QTimer>

#include "ladder/edit/Laddertexts.h"
#include "ladder/model/Lad.h"
#include "tests/ladder/editor/LadderFrameFixture.h"
#include "tools/check/Comments.h"
#include "tools/windows/Linecmt.h"
#include "tools/windows/Searchdlg.h"
#include "tools/windows/Toolsinstall.h"

namespace {

constexpr int kMsgCommentsDropped = 263;
constexpr int kMsgCompileFailed = 32;

class LadderCommentsTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallTools(frame_.get()); }

    // X0-Y0 on row 0, the block comment "Motor" on row 1, X1-Y1 on row 2 with
    // the rung comment "abc" typed in the rung-comment window.
    void DrawPlant() {
        DrawRungsAroundMotor(1);
        TypeRungComment(2, "abc");
        ASSERT_TRUE(IsBlockCommentRow(CellAt(gLadderRows, 1, 0)));
    }
    // Comment > Rung comments: `text` typed over row `row`'s comment, Enter
    // (unless not), closed.
    void TypeRungComment(int row, const std::string& text, bool enter = true) {
        QTimer t;
        t.setSingleShot(true);
        QObject::connect(&t, &QTimer::timeout, [&] {
            QTableWidget* grid = _OutCmt->LineCmt;
            grid->setCurrentCell(row, 1);
            grid->editItem(grid->item(row, 1));
            if (auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->model()->index(row, 1)))) {
                editor->setText(QString::fromStdString(text));
                if (enter) QTest::keyClick(editor, Qt::Key_Return);
                QCoreApplication::processEvents();  // the delegate commits on the next turn
            }
            _OutCmt->reject();
        });
        t.start(0);
        ASSERT_TRUE(frame_->RunCommand("MmLineCmtWin"));
        QCoreApplication::processEvents();
    }
    // The project closed (New) and opened again, its ladder shown; as in a
    // new run of the program when `newRun` (no temporary file of the last).
    void Reopen(bool newRun) {
        frame_->NewClick();
        if (newRun) {
            std::error_code ec;
            for (const auto& f : std::filesystem::directory_iterator(home_ / "Temp", ec))
                std::filesystem::remove(f.path(), ec);
        }
        Open();
        ViewLadder();
    }
    // Lines typed into the instruction list before its line `line`.
    void TypeInList(int line, const Lines& lines) {
        ViewList();
        _Inst->MoveCursorTo(line);
        for (const std::string& l : lines) {
            QTest::keyClicks(_Inst, QString::fromStdString(l.substr(0, 1)));
            Finish(l.substr(1));
        }
    }
    // Lines typed over the instruction list's lines from `line` on: Insert
    // switches the list to writing over, and back after.
    void TypeOverInList(int line, const Lines& lines) {
        ViewList();
        QTest::keyClick(_Inst, Qt::Key_Insert);
        ASSERT_EQ(gQel.InsertMode, 0);
        TypeInList(line, lines);
        QTest::keyClick(_Inst, Qt::Key_Insert);
    }
    // The ladder as text: per used row its block comment ("# Motor"), or its
    // contacts' and coils' devices, then " // " and its rung comment if any.
    static Lines Ladder() {
        Lines rows;
        const std::int32_t last = FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1);
        for (std::int32_t r = 0; r <= last; ++r) {
            const std::uint8_t* row = CellAt(gLadderRows, r, 0);
            std::string text;
            if (IsBlockCommentRow(row)) {
                text = "# " + BlockCommentText(row);
            } else {
                for (int c = 0; c < 60; c += 5) {
                    const TLdbKind k = CellKind(CellAt(gLadderRows, r, c));
                    if (k == TLdbKind::Open_Ry || k == TLdbKind::Close_Ry || k == TLdbKind::Out_Ry)
                        text += (text.empty() ? "" : " ") + CellOperandText(gLadderRows, r, c);
                }
            }
            if (static_cast<std::size_t>(r) < gQel.RungComments.size() && !gQel.RungComments[r].empty())
                text += " // " + gQel.RungComments[r];
            rows.push_back(text);
        }
        return rows;
    }

    const Lines plant_{"X0 Y0", "# Motor", "X1 Y1 // abc"};
};

}  // namespace

// Save As under a new name between the compile and the conversion: the
// comments do not live in files named after the project.
TEST_F(LadderCommentsTest, CommentsStayThroughSaveAsUnderANewName) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    ViewList();  // the ladder compiles
    ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1"}));
    SaveAs();
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    lad_ = _LDB;
    EXPECT_EQ(Ladder(), plant_);

    TypeInList(4, {"LD X4", "OUT Y4"});
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "# Motor", "X1 Y1 // abc", "X4 Y4"}));
    // And so in the files.
    Save();
    Reopen(false);
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "# Motor", "X1 Y1 // abc", "X4 Y4"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// A new run of the program opens the project: what the files brought back is
// carried through a list edit and a conversion as what was typed.
TEST_F(LadderCommentsTest, CommentsReadFromTheFilesStayThroughListEditsAndConversion) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    ViewList();
    SaveAs();
    Reopen(true);
    ASSERT_EQ(Ladder(), plant_);

    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    EXPECT_EQ(Ladder(), plant_);
    TypeInList(0, {"LD X4", "OUT Y4"});
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X4 Y4", "X0 Y0", "# Motor", "X1 Y1 // abc"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// Rungs added above move the comments with their rungs; none is copied.
TEST_F(LadderCommentsTest, RungsAddedAboveMoveTheCommentsWithTheirRungs) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    ViewList();
    TypeInList(0, {"LD X4", "OUT Y4"});
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X4 Y4", "X0 Y0", "# Motor", "X1 Y1 // abc"}));
    TypeInList(0, {"LD X5", "OUT Y5"});
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X5 Y5", "X4 Y4", "X0 Y0", "# Motor", "X1 Y1 // abc"}));
    // Rungs taken out again: the comments go back up with their rungs.
    ViewList();
    _Inst->MoveCursorTo(0);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(frame_->RunCommand("MmDel"));
    ViewLadder();
    EXPECT_EQ(Ladder(), plant_);
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// What is typed in the rung-comment window is what the next conversion shows,
// beside the rung it was typed for, whether the list edit lies above or below.
TEST_F(LadderCommentsTest, RungCommentsTypedInTheirWindowAreWhatTheConversionShows) {
    Click(0, 1);
    KeyRung("X0", "Y0");
    Click(1, 1);
    KeyRung("X1", "Y1");
    TypeRungComment(0, "first");
    ViewList();  // compiled with "first" on row 0
    ViewLadder();
    TypeRungComment(0, "pump");
    TypeRungComment(1, "valve");
    TypeInList(0, {"LD X5", "OUT Y5"});
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X5 Y5", "X0 Y0 // pump", "X1 Y1 // valve"}));

    TypeRungComment(2, "valve 2", false);  // the window closed without Enter
    TypeInList(6, {"LD X6", "OUT Y6"});
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X5 Y5", "X0 Y0 // pump", "X1 Y1 // valve 2", "X6 Y6"}));
    SaveAs();
    Reopen(false);
    EXPECT_EQ(Ladder(), (Lines{"X5 Y5", "X0 Y0 // pump", "X1 Y1 // valve 2", "X6 Y6"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// A rung whose comment stood on it deleted in the list: the comment goes,
// and the user is told how many comments were dropped; the block comment
// above it keeps its place, now after the last rung.
TEST_F(LadderCommentsTest, ACommentWhoseRungIsGoneIsReported) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    ViewList();
    _Inst->MoveCursorTo(2);
    ASSERT_TRUE(frame_->RunCommand("MmDel"));
    ASSERT_TRUE(frame_->RunCommand("MmDel"));
    ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0"}));
    messages_.Clear();
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "# Motor"}));
    ASSERT_TRUE(Shown(kMsgCommentsDropped));
    EXPECT_NE(messages_.Shown().back().find(" 1"), std::string::npos) << messages_.Shown().back();
}

// Saved from the instruction list after an edit there (the ladder is then a
// drawing of older code), opened in a new run: the comments are in the files
// with their rungs and come back beside them.
TEST_F(LadderCommentsTest, CommentsOfALadderTheListChangedAreSavedWithTheirRungs) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    ViewList();
    SaveAs();
    TypeInList(0, {"LD X4", "OUT Y4"});
    Save();
    EXPECT_EQ(gQel.Modified, 0);
    Reopen(true);
    EXPECT_EQ(Ladder(), (Lines{"X4 Y4", "X0 Y0", "# Motor", "X1 Y1 // abc"}));
    EXPECT_EQ(Program(), (Lines{"LD X4", "OUT Y4", "LD X0", "OUT Y0", "LD X1", "OUT Y1"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// More rung comments pasted than there are rows below the selected one: the
// lines that fit go in, and the user hears how many were left out.
TEST_F(LadderCommentsTest, ARungCommentPastePastTheLastRowSaysWhatItLeftOut) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    QApplication::clipboard()->setText(QStringLiteral("one\r\ntwo\r\nthree\r\n"));
    messages_.Clear();
    QTimer t;
    t.setSingleShot(true);
    QObject::connect(&t, &QTimer::timeout, [&] {
        _OutCmt->LineCmt->clearSelection();
        _OutCmt->LineCmt->setRangeSelected(QTableWidgetSelectionRange(2, 0, 2, 1), true);
        _OutCmt->PopPasteClick();
        _OutCmt->reject();
    });
    t.start(0);
    ASSERT_TRUE(frame_->RunCommand("MmLineCmtWin"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "# Motor", "X1 Y1 // one"}));
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(kMsgPasteLeftOut) + " 2");
}

// Undo in the ladder takes back the ladder's own last edit: a rung comment
// typed in the rung-comment window since is no ladder edit, and stays through
// the undo, the redo and the ladder edits after them.
TEST_F(LadderCommentsTest, LadderUndoKeepsARungCommentTypedInItsWindowSince) {
    Click(0, 1);
    KeyRung("X0", "Y0");
    Click(1, 1);
    KeyRung("X1", "Y1");
    TypeRungComment(0, "Pump start");
    ViewLadder();
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));  // meant for the Y1 coil
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // Pump start", "X1"}));
    ASSERT_TRUE(frame_->RunCommand("MmRedo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // Pump start", "X1 Y1"}));
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    Click(3, 1);
    Key(Qt::Key_F1, "X2");
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // Pump start", "X1", "", "X2"}));
    // Undo of a row insert still moves the comments back with their rows.
    Click(0, 1);
    ASSERT_TRUE(frame_->RunCommand("MmInsLine"));
    EXPECT_EQ(Ladder(), (Lines{"", "X0 Y0 // Pump start", "X1", "", "X2"}));
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // Pump start", "X1", "", "X2"}));
}

// Several separate edits of the list before the ladder is shown again: rungs
// typed and deleted above, between and below the commented ones. Each comment
// comes back beside its own rung, once, and none is reported dropped.
TEST_F(LadderCommentsTest, CommentsStayWithTheirRungsThroughEditsInSeveralPlaces) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    Click(3, 1);
    KeyRung("X2", "Y2");
    Click(4, 1);
    KeyRung("X3", "Y3");
    TypeRungComment(4, "def");
    ViewList();
    ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "OUT Y2", "LD X3", "OUT Y3"}));
    messages_.Clear();

    // A rung typed at the top, the X2 rung deleted.
    TypeInList(0, {"LD X4", "OUT Y4"});
    _Inst->MoveCursorTo(6);
    ASSERT_TRUE(frame_->RunCommand("MmDel"));
    ASSERT_TRUE(frame_->RunCommand("MmDel"));
    ASSERT_EQ(Program(), (Lines{"LD X4", "OUT Y4", "LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X3", "OUT Y3"}));
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X4 Y4", "X0 Y0", "# Motor", "X1 Y1 // abc", "X3 Y3 // def"}));

    // A rung added at the end, the top one deleted again.
    TypeInList(8, {"LD X5", "OUT Y5"});
    _Inst->MoveCursorTo(0);
    ASSERT_TRUE(frame_->RunCommand("MmDel"));
    ASSERT_TRUE(frame_->RunCommand("MmDel"));
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "# Motor", "X1 Y1 // abc", "X3 Y3 // def", "X5 Y5"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// The list changes the contact a commented rung starts with, or makes it a
// normally-closed one and adds a contact after it: the rung comment stays
// beside the rung's output, once, and nothing is reported dropped. The whole
// rung deleted, its comment goes and the user is told.
TEST_F(LadderCommentsTest, ARungCommentStaysWhenTheListEditsTheRungsFirstContact) {
    Click(0, 1);
    KeyRung("X0", "Y0");
    Click(1, 1);
    KeyRung("X1", "Y1");
    Click(2, 1);
    KeyRung("X4", "Y4");
    TypeRungComment(0, "Pump start");
    TypeRungComment(1, "Fan");
    ViewList();
    ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X4", "OUT Y4"}));
    messages_.Clear();

    ASSERT_NO_FATAL_FAILURE(TypeOverInList(0, {"LD X2"}));
    ASSERT_EQ(Program(), (Lines{"LD X2", "OUT Y0", "LD X1", "OUT Y1", "LD X4", "OUT Y4"}));
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X2 Y0 // Pump start", "X1 Y1 // Fan", "X4 Y4"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();

    ASSERT_NO_FATAL_FAILURE(TypeOverInList(2, {"LDI X1"}));
    TypeInList(3, {"AND X3"});
    ASSERT_EQ(Program(), (Lines{"LD X2", "OUT Y0", "LDI X1", "AND X3", "OUT Y1", "LD X4", "OUT Y4"}));
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X2 Y0 // Pump start", "X1 X3 Y1 // Fan", "X4 Y4"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();

    ViewList();
    _Inst->MoveCursorTo(2);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(frame_->RunCommand("MmDel"));
    ASSERT_EQ(Program(), (Lines{"LD X2", "OUT Y0", "LD X4", "OUT Y4"}));
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X2 Y0 // Pump start", "X4 Y4"}));
    ASSERT_TRUE(Shown(kMsgCommentsDropped));
    EXPECT_NE(messages_.Shown().back().find(" 1"), std::string::npos) << messages_.Shown().back();
}

// A rung cut and pasted lower takes its label and rung comment along: the
// jump to the label reaches the rung, in the program and through the files.
// A copy inserted as new rows takes the comment; the label stays with the
// rung that holds it, once.
TEST_F(LadderCommentsTest, ARungCutAndPastedTakesItsLabelAndCommentAlong) {
    Click(0, 1);
    KeyRung("X0", "Y0");
    Click(0, 0);
    TypeLine("P0");
    Click(1, 1);
    KeyRung("X1", "Y1");
    Click(2, 1);
    Key(Qt::Key_F1, "X2");
    QTest::keyClick(lad_, Qt::Key_Right);
    TypeLine("CJ P0");
    TypeRungComment(0, "Fan");
    ViewList();
    ASSERT_EQ(Program(), (Lines{"P0", "LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "CJ P0"}));
    ViewLadder();

    Click(0, 1);
    QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(gPLabelRows[0], -1);
    Click(4, 1);
    QTest::keyClick(lad_, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Ladder(), (Lines{"", "X1 Y1", "X2", "", "X0 Y0 // Fan"}));
    EXPECT_EQ(gPLabelRows[0], 4);
    // Undo takes the paste and the cut back, redo brings them again.
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // Fan", "X1 Y1", "X2"}));
    EXPECT_EQ(gPLabelRows[0], 0);
    ASSERT_TRUE(frame_->RunCommand("MmRedo"));
    ASSERT_TRUE(frame_->RunCommand("MmRedo"));
    EXPECT_EQ(Ladder(), (Lines{"", "X1 Y1", "X2", "", "X0 Y0 // Fan"}));
    EXPECT_EQ(gPLabelRows[0], 4);
    ViewList();
    EXPECT_EQ(Program(), (Lines{"LD X1", "OUT Y1", "LD X2", "CJ P0", "P0", "LD X0", "OUT Y0"}));

    // A copy inserted as a new row above: the comment is copied, the label
    // stays where it is (a label marks one place).
    ViewLadder();
    Click(4, 1);
    QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_C, Qt::ControlModifier);
    Click(1, 1);
    ASSERT_TRUE(frame_->RunCommand("MmInsBk"));
    EXPECT_EQ(Ladder(), (Lines{"", "X0 Y0 // Fan", "X1 Y1", "X2", "", "X0 Y0 // Fan"}));
    EXPECT_EQ(gPLabelRows[0], 5);
    ViewList();
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "CJ P0", "P0", "LD X0", "OUT Y0"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();

    SaveAs();
    Reopen(true);
    const Lines ladder = Ladder();
    const auto last = std::find(ladder.rbegin(), ladder.rend(), "X0 Y0 // Fan");
    ASSERT_NE(last, ladder.rend());
    EXPECT_EQ(gPLabelRows[0], static_cast<std::int32_t>(ladder.rend() - last - 1));
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "CJ P0", "P0", "LD X0", "OUT Y0"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// A label typed beside an empty row (meant for the rung below it) or below
// the last rung marks no instruction: leaving the ladder says so with the
// compile's message, and the program keeps what it had. Moved beside the
// rung's first row, it goes in, and comes back from the files there.
TEST_F(LadderCommentsTest, ALabelBesideARowWhereNoRungStartsIsRefusedWithItsMessage) {
    Click(0, 1);
    KeyRung("X0", "Y0");
    Click(2, 1);
    KeyRung("X1", "Y1");
    ViewList();
    ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1"}));
    for (const int row : {1, 6}) {
        SCOPED_TRACE(row);
        ViewLadder();
        Click(row, 0);
        TypeLine("P3");
        ASSERT_EQ(gPLabelRows[3], row);
        messages_.Clear();
        ViewList();
        ASSERT_TRUE(Shown(32));
        EXPECT_NE(messages_.Shown().front().find(gMsgTable.Get(265)), std::string::npos);
        EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1"}));
        EXPECT_EQ(gPLabelRows[3], row);  // the ladder keeps it for the user to move
        ViewLadder();
        lad_->verticalScrollBar()->setValue(0);  // the failure showed the label's row
        Click(row, 0);
        ASSERT_TRUE(frame_->RunCommand("MmDel"));
        ASSERT_EQ(gPLabelRows[3], -1);
    }
    Click(2, 0);
    TypeLine("P3");
    messages_.Clear();
    ViewList();
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "P3", "LD X1", "OUT Y1"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    SaveAs();
    Reopen(true);
    EXPECT_EQ(Ladder()[gPLabelRows[3]], "X1 Y1");
}

// A rung pasted on a block-comment row: refused as typing there is, the
// comment stays, in the program's files as well; a block whose later row
// would land on it is refused too, and nothing of it is written.
TEST_F(LadderCommentsTest, APasteOverABlockCommentIsRefusedAsTypingThereIs) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    Click(0, 1);
    QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_C, Qt::ControlModifier);
    messages_.Clear();
    Click(1, 1);
    QTest::keyClick(lad_, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(22));
    EXPECT_EQ(Ladder(), plant_);
    // Two rows pasted from row 0: the second would land on the comment.
    Click(4, 1);
    KeyRung("X4", "Y4");
    Click(4, 1);
    QTest::keyClick(lad_, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_C, Qt::ControlModifier);
    Click(0, 1);
    QTest::keyClick(lad_, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(22));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "# Motor", "X1 Y1 // abc", "", "X4 Y4"}));

    ViewList();
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X4", "OUT Y4"}));
    SaveAs();
    Reopen(true);
    EXPECT_EQ(Ladder()[1], "# Motor");
}

// A label left where no rung starts keeps the ladder from compiling, but not
// its comments from their rungs: the ladder's edits discarded over rungs
// typed in the list, every comment comes back beside its own rung.
TEST_F(LadderCommentsTest, AStrayLabelDoesNotCostTheCommentsTheirRungs) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    ViewList();
    ViewLadder();
    Click(4, 0);
    TypeLine("P3");
    ViewList();
    ASSERT_TRUE(Shown(32));
    TypeInList(0, {"LD X4", "OUT Y4"});
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);  // discard the ladder's edits
    ViewLadder();
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_NE(messages_.Asked()[0].find(gMsgTable.Get(252)), std::string::npos);
    EXPECT_EQ(Ladder(), (Lines{"X4 Y4", "X0 Y0", "# Motor", "X1 Y1 // abc"}));
    EXPECT_FALSE(Shown(kMsgCommentsDropped));
    EXPECT_EQ(gPLabelRows[3], -1);
}

// A rung marked whole and deleted takes its rung comment along, as its row's
// cells: the rung drawn again from the code has no comment of the rung that
// is gone beside it. Undo brings both back.
TEST_F(LadderCommentsTest, ARungDeletedWholeTakesItsCommentAlong) {
    Click(0, 1);
    KeyRung("X0", "Y0");
    Click(1, 1);
    KeyRung("X1", "Y1");
    TypeRungComment(0, "Fan");
    ViewList();
    ViewLadder();
    Click(0, 1);
    QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_Delete);
    EXPECT_EQ(Ladder(), (Lines{"", "X1 Y1"}));
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // Fan", "X1 Y1"}));
    ASSERT_TRUE(frame_->RunCommand("MmRedo"));
    ViewList();
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    lad_ = _LDB;
    EXPECT_EQ(Ladder(), (Lines{"X1 Y1"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

namespace {

// Three rungs X0-Y0, X1-Y1, X2-Y2 drawn on rows 0-2 and compiled (the list
// shown), the ladder shown again.
class LadderRungCommentRowsTest : public LadderCommentsTest {
protected:
    void DrawThreeRungs() {
        for (int r = 0; r < 3; ++r) {
            Click(r, 1);
            KeyRung("X" + std::to_string(r), "Y" + std::to_string(r));
        }
        ViewList();
        ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "OUT Y2"}));
        ViewLadder();
        messages_.Clear();
    }
    bool Run(const char* command) {
        const bool ran = frame_->RunCommand(command);
        QCoreApplication::processEvents();
        return ran;
    }
    // The ladder project's files as they are now, by extension.
    std::vector<std::pair<std::string, std::string>> SavedFiles() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const char* ext : {".lad", ".lmt", ".smt", ".lab"}) {
            std::ifstream in(Project(ext), std::ios::binary);
            out.emplace_back(ext, std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        }
        return out;
    }
    void PutFiles(const std::vector<std::pair<std::string, std::string>>& files) const {
        for (const auto& [ext, bytes] : files) {
            std::ofstream out(Project(ext.c_str()), std::ios::binary | std::ios::trunc);
            out << bytes;
        }
    }
    // The ladder file as one written before it named its code: no stamp.
    void UnstampLadderFile() const {
        std::fstream f(Project(".lad"), std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(66);
        const char zeros[8] = {};
        f.write(zeros, sizeof zeros);
    }
    std::string LastShown() const { return messages_.Shown().empty() ? std::string() : messages_.Shown().back(); }
};

}  // namespace

// A row deleted, a comment typed beside the rung that moved up into its
// place, the delete taken back: the comment stays beside that rung.
TEST_F(LadderRungCommentRowsTest, UndoOfARowDeleteKeepsACommentTypedSinceBesideItsRung) {
    ASSERT_NO_FATAL_FAILURE(DrawThreeRungs());
    Click(0, 1);
    ASSERT_TRUE(Run("MmDelLine"));
    ASSERT_EQ(Ladder(), (Lines{"X1 Y1", "X2 Y2"}));
    TypeRungComment(0, "Fan");
    ViewLadder();
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "X1 Y1 // Fan", "X2 Y2"}));
    ASSERT_TRUE(Run("MmRedo"));
    EXPECT_EQ(Ladder(), (Lines{"X1 Y1 // Fan", "X2 Y2"}));
    EXPECT_TRUE(messages_.Shown().empty()) << LastShown();
}

// A row inserted above a rung, a comment typed beside that rung, the insert
// taken back and done again: the comment goes up and down with its rung.
TEST_F(LadderRungCommentRowsTest, UndoOfARowInsertKeepsACommentTypedSinceBesideItsRung) {
    ASSERT_NO_FATAL_FAILURE(DrawThreeRungs());
    Click(1, 1);
    ASSERT_TRUE(Run("MmInsLine"));
    TypeRungComment(2, "Fan");
    ViewLadder();
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0", "", "X1 Y1 // Fan", "X2 Y2"}));
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "X1 Y1 // Fan", "X2 Y2"}));
    ASSERT_TRUE(Run("MmRedo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "", "X1 Y1 // Fan", "X2 Y2"}));
    // Typed beside the row the undo takes away: it goes with its row, the
    // user is told, and the redo brings both back.
    TypeRungComment(1, "spare");
    ViewLadder();
    messages_.Clear();
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "X1 Y1 // Fan", "X2 Y2"}));
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(kMsgCommentsDropped) + " 1");
    ASSERT_TRUE(Run("MmRedo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", " // spare", "X1 Y1 // Fan", "X2 Y2"}));
}

// Convert > List to ladder leaves out an empty row above a commented rung;
// an undo after it puts the empty row back, and the comment stays beside
// its rung, not on the row it had in the converted ladder.
TEST_F(LadderRungCommentRowsTest, UndoAfterAConversionKeepsTheCommentsBesideTheirRungs) {
    ASSERT_NO_FATAL_FAILURE(DrawThreeRungs());
    Click(1, 1);
    ASSERT_TRUE(Run("MmInsLine"));
    TypeRungComment(2, "abc");
    ViewLadder();
    Click(5, 1);
    KeyRung("X3", "Y3");
    ASSERT_TRUE(Run("MmCodeToLad"));
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0", "X1 Y1 // abc", "X2 Y2", "X3 Y3"}));
    ASSERT_TRUE(Run("MmUndo"));  // the Y3 coil
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "", "X1 Y1 // abc", "X2 Y2", "", "X3"}));
    // A comment typed after the conversion goes back with its rung too.
    ASSERT_TRUE(Run("MmRedo"));
    ASSERT_TRUE(Run("MmCodeToLad"));
    TypeRungComment(2, "def");
    ViewLadder();
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "", "X1 Y1 // abc", "X2 Y2 // def", "", "X3"}));
    EXPECT_TRUE(messages_.Shown().empty()) << LastShown();
}

// The ladder's edits discarded over code changed in the list: the comments
// go where their rungs are in the changed code, from where their rows stood
// at the last compile; the block comment typed since had no place then and
// is counted, and no comment stands beside another rung.
TEST_F(LadderRungCommentRowsTest, DiscardedEditsOverChangedCodeLeaveTheCommentsBesideTheirRungs) {
    ASSERT_NO_FATAL_FAILURE(DrawThreeRungs());
    TypeRungComment(1, "abc");
    ViewList();  // compiled with "abc" beside X1-Y1
    ViewLadder();
    TypeRungComment(2, "def");  // after the compile, on a row it had
    ViewLadder();
    Click(1, 1);
    ASSERT_TRUE(Run("MmInsLine"));
    lad_->PopBkCmtClick();
    Finish("Motor");
    Click(5, 1);
    Key(Qt::Key_F1, "X7");  // a rung left unfinished
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0", "# Motor", "X1 Y1 // abc", "X2 Y2 // def", "", "X7"}));
    ViewList();  // the ladder does not compile
    ASSERT_TRUE(Shown(kMsgCompileFailed));
    TypeInList(0, {"LD X4", "OUT Y4", "LD X5", "OUT Y5"});
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);  // discard the ladder's edits
    ViewLadder();
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(Ladder(), (Lines{"X4 Y4", "X5 Y5", "X0 Y0", "X1 Y1 // abc", "X2 Y2 // def"}));
    ASSERT_TRUE(Shown(kMsgCommentsDropped));
    EXPECT_EQ(LastShown(), gMsgTable.Get(kMsgCommentsDropped) + " 1");
}

// A ladder file written before it named its code, opened in a new run: its
// rows are not taken, but the comments read with them stand beside the rungs
// they were written for, or are counted; never beside another rung.
TEST_F(LadderRungCommentRowsTest, CommentsOfALadderFileWithoutAStampStayWithTheirRungs) {
    DrawRungsAroundMotor(2);
    TypeRungComment(2, "abc");
    TypeRungComment(3, "def");
    ViewList();
    SaveAs();
    UnstampLadderFile();
    const auto older = SavedFiles();
    messages_.Clear();
    Reopen(true);
    EXPECT_TRUE(Shown(kMsgLadderFileStale));
    EXPECT_FALSE(Shown(kMsgCommentsDropped)) << LastShown();
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "# Motor", "X1 Y1 // abc", "X2 Y2 // def"}));

    // The program lost the X1-Y1 rung since those files were written: its
    // comment is counted, the others stay with their rungs and instruction.
    ViewList();
    _Inst->MoveCursorTo(2);
    ASSERT_TRUE(Run("MmDel"));
    ASSERT_TRUE(Run("MmDel"));
    ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X2", "OUT Y2"}));
    Save();
    PutFiles(older);
    messages_.Clear();
    Reopen(true);
    EXPECT_TRUE(Shown(kMsgLadderFileStale));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "# Motor", "X2 Y2 // def"}));
    EXPECT_EQ(LastShown(), gMsgTable.Get(kMsgCommentsDropped) + " 1");
}

namespace {

// Random runs of the ladder's row operations over rungs with comments and
// labels. After each step every comment stands beside the rung it was
// written for (or on a row of no rung), a comment beside a rung that is still
// there has stayed beside it unless the step counted it dropped (263), and
// every label the ladder shows stays with its rung through the row edits and
// is in the code after a compile, unless the compile was refused (32).
class LadderRowOperationsPropertyTest : public LadderRungCommentRowsTest {
protected:
    struct TRow {
        std::string rung;  // the coil's device ("Y3"), empty on a row of no rung
        std::string comment;
        int label = -1;    // P label number, -1 for none
    };
    static std::vector<TRow> Rows() {
        std::vector<TRow> rows;
        const std::int32_t last = FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1);
        const auto count = std::max<std::size_t>(static_cast<std::size_t>(last + 1), gQel.RungComments.size());
        for (std::size_t r = 0; r < count; ++r) {
            TRow row;
            if (!IsBlockCommentRow(CellAt(gLadderRows, static_cast<std::int32_t>(r), 0)))
                for (int c = 0; c < 60; c += 5)
                    if (CellKind(CellAt(gLadderRows, static_cast<std::int32_t>(r), c)) == TLdbKind::Out_Ry)
                        row.rung = CellOperandText(gLadderRows, static_cast<std::int32_t>(r), c);
            if (r < gQel.RungComments.size()) row.comment = gQel.RungComments[r];
            for (int p = 0; p < kPLabelCount; ++p)
                if (gPLabelRows[p] == static_cast<std::int32_t>(r)) row.label = p;
            rows.push_back(row);
        }
        return rows;
    }
    static std::set<std::string> Rungs(const std::vector<TRow>& rows) {
        std::set<std::string> out;
        for (const TRow& r : rows)
            if (!r.rung.empty()) out.insert(r.rung);
        return out;
    }
    // The comments of a step's messages counted as dropped.
    std::size_t Counted() const {
        std::size_t n = 0;
        const std::string head = gMsgTable.Get(kMsgCommentsDropped);
        for (const std::string& s : messages_.Shown())
            if (s.rfind(head, 0) == 0) n += static_cast<std::size_t>(std::stoul(s.substr(head.size())));
        return n;
    }
    std::int32_t LastRow() const { return FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1); }

    // Rungs X0-Y0 .. X4-Y4 with an empty row before X3-Y3; comments c0, c1,
    // c3, c4 beside their rungs, labels P1 and P3 beside theirs; compiled.
    void DrawPlant() {
        const Lines rungs{"0", "1", "2", "", "3", "4"};
        for (std::size_t r = 0; r < rungs.size(); ++r) {
            if (rungs[r].empty()) continue;
            Click(static_cast<int>(r), 1);
            KeyRung("X" + rungs[r], "Y" + rungs[r]);
        }
        for (const int r : {1, 4}) {
            Click(r, 0);
            TypeLine("P" + rungs[static_cast<std::size_t>(r)]);
        }
        for (const int r : {0, 1, 4, 5}) TypeRungComment(r, "c" + rungs[static_cast<std::size_t>(r)]);
        ViewList();
        ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "P1", "LD X1", "OUT Y1", "LD X2", "OUT Y2", "P3", "LD X3",
                                    "OUT Y3", "LD X4", "OUT Y4"}));
        ViewLadder();
        for (const std::string n : {"0", "1", "3", "4"}) writtenFor_["c" + n] = "Y" + n;
    }

    // One random step; `what` names it.
    void Step(std::mt19937& rng, std::string& what) {
        const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(std::max(n, 1))); };
        // A row where a rung stands, or -1 when there is none.
        const auto pickRung = [&](const std::vector<TRow>& rows) {
            std::vector<int> rungRows;
            for (std::size_t r = 0; r < rows.size(); ++r)
                if (!rows[r].rung.empty()) rungRows.push_back(static_cast<int>(r));
            return rungRows.empty() ? -1 : rungRows[static_cast<std::size_t>(pick(static_cast<int>(rungRows.size())))];
        };
        const std::int32_t last = LastRow();
        switch (pick(10)) {
        case 9: {
            // A rung copied and inserted as a new row above another row.
            const std::vector<TRow> rows = Rows();
            const int r = pickRung(rows);
            if (r < 0) return;
            const int to = pick(last + 2);
            what = "copy of " + rows[static_cast<std::size_t>(r)].rung + " inserted at row " + std::to_string(to);
            Click(r, 1);
            QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
            Run("MmCopy");
            Click(to, 1);
            Run("MmInsBk");
            break;
        }
        case 8: {
            // A comment typed beside a rung in the rung-comment window: no
            // ladder edit, and an undo or redo after it keeps it.
            const std::vector<TRow> rows = Rows();
            const int r = pickRung(rows);
            if (r < 0) return;
            const std::string text = "t" + std::to_string(typed_++);
            what = "comment " + text + " typed beside " + rows[static_cast<std::size_t>(r)].rung;
            replaced_ = rows[static_cast<std::size_t>(r)].comment;
            writtenFor_[text] = rows[static_cast<std::size_t>(r)].rung;
            TypeRungComment(r, text);
            ViewLadder();
            break;
        }
        case 0:
            what = "insert row";
            Click(pick(last + 2), 1);
            Run("MmInsLine");
            break;
        case 1:
            what = "delete row";
            Click(pick(last + 1), 1);
            Run("MmDelLine");
            break;
        case 2: {
            const std::vector<TRow> rows = Rows();
            const int r = pickRung(rows);
            if (r < 0) return;
            what = "cut and paste of " + rows[static_cast<std::size_t>(r)].rung;
            Click(r, 1);
            QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
            Run("MmCut");
            Click(last + 2, 1);
            Run("MmPaste");
            break;
        }
        case 3:
            what = "undo";
            Run("MmUndo");
            break;
        case 4:
            what = "redo";
            Run("MmRedo");
            break;
        case 5:
            what = "list to ladder";
            Run("MmCodeToLad");
            break;
        default: {
            ViewList();
            const bool refused = Shown(kMsgCompileFailed);
            const Lines program = Program();
            if (pick(2) == 0 || program.size() < 4) {
                const std::string n = std::to_string(10 + next_++);
                what = "list: rung X" + n + "-Y" + n + " typed at the top";
                TypeInList(0, {"LD X" + n, "OUT Y" + n});
            } else {
                // A rung's two lines deleted (a label line before it stays).
                std::vector<int> loads;
                for (std::size_t k = 0; k < program.size(); ++k)
                    if (program[k].rfind("LD ", 0) == 0) loads.push_back(static_cast<int>(k));
                const int at = loads[static_cast<std::size_t>(pick(static_cast<int>(loads.size())))];
                what = "list: " + program[static_cast<std::size_t>(at)] + " and its coil deleted";
                _Inst->MoveCursorTo(at);
                Run("MmDel");
                Run("MmDel");
            }
            if (refused) messages_.QueueAnswer(qel::Answer::Yes);  // the ladder's edits that did not compile go
            ViewLadder();
            break;
        }
        }
    }

    // The steps of one seed, checked after each.
    void RunSteps(unsigned seed);

    std::map<std::string, std::string> writtenFor_;  // comment -> the rung it was written for
    std::string replaced_;  // the comment a step's typing replaced
    int next_ = 0, typed_ = 0;
};

}  // namespace

void LadderRowOperationsPropertyTest::RunSteps(unsigned seed) {
    {
        SCOPED_TRACE("seed " + std::to_string(seed));
        ASSERT_NO_FATAL_FAILURE(DrawPlant());
        std::mt19937 rng(seed);
        for (int step = 0; step < 24; ++step) {
            const std::vector<TRow> before = Rows();
            const Lines ladderBefore = Ladder();
            messages_.Clear();
            std::string what;
            replaced_.clear();
            ASSERT_NO_FATAL_FAILURE(Step(rng, what));
            const std::vector<TRow> after = Rows();
            SCOPED_TRACE("step " + std::to_string(step) + ": " + what + "; ladder before " +
                         ::testing::PrintToString(ladderBefore) + ", now " + ::testing::PrintToString(Ladder()));
            const std::set<std::string> rungsAfter = Rungs(after);
            const bool refused = Shown(kMsgCompileFailed);
            std::map<std::string, std::string> commentAfter;  // comment -> its rung now
            std::map<int, std::string> labelAfter;
            for (const TRow& r : after) {
                if (!r.comment.empty()) commentAfter[r.comment] = r.rung;
                if (r.label >= 0) labelAfter[r.label] = r.rung;
                // Never beside another rung than its own.
                if (!r.comment.empty() && !r.rung.empty()) {
                    EXPECT_EQ(r.rung, writtenFor_[r.comment]) << r.comment;
                }
            }
            // What stood beside a rung that is still there stands beside it now,
            // or the step counted it dropped.
            std::size_t lost = 0;
            for (const TRow& r : before) {
                if (r.rung.empty() || !rungsAfter.count(r.rung)) continue;
                if (!r.comment.empty() && r.comment != replaced_) {
                    const auto it = commentAfter.find(r.comment);
                    if (it == commentAfter.end()) {
                        ++lost;
                    } else {
                        EXPECT_EQ(it->second, r.rung) << r.comment << " left its rung";
                    }
                }
                if (r.label >= 0 && !refused && what.rfind("list", 0) != 0) {
                    // An undo or redo may take back or do again the typing of
                    // a label; any other row edit keeps it.
                    const auto it = labelAfter.find(r.label);
                    const bool history = what == "undo" || what == "redo";
                    if (!history) {
                        ASSERT_NE(it, labelAfter.end()) << "P" << r.label << " of " << r.rung << " went without a word";
                    }
                    if (it != labelAfter.end()) {
                        EXPECT_EQ(it->second, r.rung) << "P" << r.label << " left its rung";
                    }
                }
            }
            // A conversion counts every comment it drops (one whose rung the
            // list deleted, one of no rung); a row edit drops none but with
            // the row it stood on.
            const bool converts = what.rfind("list", 0) == 0;
            if (converts) {
                std::size_t gone = 0;
                for (const TRow& r : before) gone += !r.comment.empty() && !commentAfter.count(r.comment) ? 1 : 0;
                EXPECT_EQ(gone, Counted()) << "comments dropped and comments counted differ";
            } else if (what == "undo" || what == "redo") {
                // A comment typed beside a row the step takes away is counted.
                std::size_t gone = 0;
                for (const TRow& r : before) gone += !r.comment.empty() && !commentAfter.count(r.comment) ? 1 : 0;
                EXPECT_EQ(lost, 0u) << "a comment left its rung";
                EXPECT_LE(Counted(), gone);
            } else {
                EXPECT_EQ(lost, 0u) << "a comment left its rung";
                EXPECT_EQ(Counted(), 0u);
            }
            // Every label the ladder shows after a compile is in the code.
            if (!refused && converts) {
                const Lines program = Program();
                for (const auto& [label, rung] : labelAfter) {
                    EXPECT_NE(std::find(program.begin(), program.end(), "P" + std::to_string(label)), program.end())
                        << "P" << label << " is shown but not in the code";
                }
            }
            if (HasFailure()) return;
        }
    }
}

TEST_F(LadderRowOperationsPropertyTest, CommentsAndLabelsStayWithTheirRungsThroughRandomRowOperations) {
    RunSteps(11u);
}
TEST_F(LadderRowOperationsPropertyTest, CommentsAndLabelsStayWithTheirRungsThroughOtherRandomRowOperations) {
    RunSteps(29u);
}
TEST_F(LadderRowOperationsPropertyTest, CommentsAndLabelsStayWithTheirRungsThroughMoreRandomRowOperations) {
    RunSteps(64u);
}

// The same after the edits were saved (the save says it is not complete) and
// the project opened in a new run: the rows read are where the comments stood
// in the code they were saved with.
TEST_F(LadderRungCommentRowsTest, EditsReadInANewRunAndDiscardedOverChangedCodeLeaveTheCommentsBesideTheirRungs) {
    ASSERT_NO_FATAL_FAILURE(DrawThreeRungs());
    TypeRungComment(1, "abc");
    TypeRungComment(2, "def");
    ViewList();
    ViewLadder();
    Click(1, 1);
    ASSERT_TRUE(Run("MmInsLine"));
    Click(5, 1);
    Key(Qt::Key_F1, "X7");  // a rung left unfinished
    SaveAs();
    messages_.QueueAnswer(qel::Answer::Yes);  // the edits go with the project closed
    messages_.QueueAnswer(qel::Answer::No);
    Reopen(true);
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0", "", "X1 Y1 // abc", "X2 Y2 // def", "", "X7"}));
    ASSERT_TRUE(lad_->Dirty());
    ViewList();
    TypeInList(0, {"LD X4", "OUT Y4"});
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);  // discard the ladder's edits
    ViewLadder();
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(Ladder(), (Lines{"X4 Y4", "X0 Y0", "X1 Y1 // abc", "X2 Y2 // def"}));
    EXPECT_FALSE(Shown(kMsgCommentsDropped)) << LastShown();
}

// A rung deleted in the list but for its label: the label marks the next rung
// now, and the deleted rung's comment goes (counted) instead of following the
// label and pushing out the next rung's own comment.
TEST_F(LadderRungCommentRowsTest, ACommentDoesNotFollowTheLabelOfItsDeletedRung) {
    ASSERT_NO_FATAL_FAILURE(DrawThreeRungs());
    Click(1, 0);
    TypeLine("P1");
    TypeRungComment(1, "abc");
    TypeRungComment(2, "def");
    ViewList();
    ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "P1", "LD X1", "OUT Y1", "LD X2", "OUT Y2"}));
    _Inst->MoveCursorTo(3);
    ASSERT_TRUE(Run("MmDel"));
    ASSERT_TRUE(Run("MmDel"));
    messages_.Clear();
    ViewLadder();
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "X2 Y2 // def"}));
    EXPECT_EQ(gPLabelRows[1], 1);
    EXPECT_EQ(LastShown(), gMsgTable.Get(kMsgCommentsDropped) + " 1");
}

// A comment typed beside an empty row, the ladder drawn again from the code
// (which leaves the empty row out): the comment is counted, not put beside
// the rung that comes to stand on its row.
TEST_F(LadderRungCommentRowsTest, ACommentOfNoRungIsNeverPutBesideARungByAConversion) {
    ASSERT_NO_FATAL_FAILURE(DrawThreeRungs());
    Click(1, 1);
    ASSERT_TRUE(Run("MmInsLine"));
    TypeRungComment(1, "spare");
    ViewLadder();
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0", " // spare", "X1 Y1", "X2 Y2"}));
    messages_.Clear();
    ASSERT_TRUE(Run("MmCodeToLad"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "X1 Y1", "X2 Y2"}));
    EXPECT_EQ(LastShown(), gMsgTable.Get(kMsgCommentsDropped) + " 1");
}

// A comment left beside an empty row below the last rung (its rung's cells
// deleted in two marks) and read so from the files in a new run: a rung drawn
// on its row again, the comment changed in its window, the rung taken back
// and done again keep the new text, never the one it had before. Below the
// last rung again and read in a new run, the ladder then left so that it does
// not compile and its edits given up for a list edit: the comment is counted
// dropped, once, and the rungs are the code's.
TEST_F(LadderRungCommentRowsTest, ACommentBelowTheLastRungKeepsItsNewTextThroughUndoAndAFailedCompile) {
    ASSERT_NO_FATAL_FAILURE(DrawThreeRungs());
    // Row r's comment, or "" when the row has none.
    const auto commentOf = [](std::size_t r) { return r < gQel.RungComments.size() ? gQel.RungComments[r] : ""; };
    // Row r's cells from `column` to its end marked and deleted.
    const auto deleteFrom = [&](int r, int column) {
        Click(r, column);
        QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
        return Run("MmDel");
    };
    // The ladder saved (compiled first) and opened in a new run.
    const auto saveAndReopen = [&] {
        ViewList();
        SaveAs();
        Reopen(true);
    };
    TypeRungComment(2, "spare");
    ViewLadder();
    Click(2, 1);
    QTest::keyClick(lad_, Qt::Key_Right, Qt::ShiftModifier);
    ASSERT_TRUE(Run("MmDel"));  // the contact
    ASSERT_TRUE(deleteFrom(2, 2));  // the rest of the rung
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0", "X1 Y1"}));
    ASSERT_EQ(commentOf(2), "spare");
    saveAndReopen();
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0", "X1 Y1"}));
    ASSERT_EQ(commentOf(2), "spare");

    Click(2, 1);
    KeyRung("X2", "Y2");
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0", "X1 Y1", "X2 Y2 // spare"}));
    TypeRungComment(2, "standby");
    ViewLadder();
    messages_.Clear();
    ASSERT_TRUE(Run("MmUndo"));  // the coil
    ASSERT_TRUE(Run("MmUndo"));  // the contact
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "X1 Y1"}));
    EXPECT_EQ(commentOf(2), "standby");
    ASSERT_TRUE(Run("MmRedo"));
    ASSERT_TRUE(Run("MmRedo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "X1 Y1", "X2 Y2 // standby"}));
    ASSERT_TRUE(Run("MmUndo"));
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(commentOf(2), "standby");
    EXPECT_TRUE(messages_.Shown().empty()) << LastShown();

    saveAndReopen();
    EXPECT_EQ(commentOf(2), "standby");
    ASSERT_TRUE(deleteFrom(1, 2));  // X1 left without its coil
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0", "X1"}));
    ViewList();  // the ladder does not compile
    ASSERT_TRUE(Shown(kMsgCompileFailed));
    TypeInList(0, {"LD X4", "OUT Y4"});
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);  // discard the ladder's edits
    ViewLadder();
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(Ladder(), (Lines{"X4 Y4", "X0 Y0", "X1 Y1"}));
    EXPECT_EQ(gQel.RungComments, std::vector<std::string>(gQel.RungComments.size()));
    EXPECT_EQ(messages_.Shown(), std::vector<std::string>{gMsgTable.Get(kMsgCommentsDropped) + " 1"});
}

namespace {

// The ladder's other row paths with rung comments and a label: the first and
// last rows, everything marked, the rung-comment window's own deletes, another
// project's clipboard, a new project; judged in memory and through the files.
class LadderRowPathsTest : public LadderRungCommentRowsTest {
protected:
    // Three rungs with "a", "b", "c" beside them, P1 beside X2-Y2; compiled.
    void DrawCommented() {
        ASSERT_NO_FATAL_FAILURE(DrawThreeRungs());
        Click(2, 0);
        TypeLine("P1");
        for (int r = 0; r < 3; ++r) TypeRungComment(r, std::string(1, static_cast<char>('a' + r)));
        ViewList();
        ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "P1", "LD X2", "OUT Y2"}));
        ViewLadder();
        messages_.Clear();
    }
    // Comment > Rung comments: rows `from`..`to` selected, Delete, closed.
    void DeleteRungComments(int from, int to) {
        QTimer t;
        t.setSingleShot(true);
        QObject::connect(&t, &QTimer::timeout, [&] {
            QTableWidget* grid = _OutCmt->LineCmt;
            grid->clearSelection();
            grid->setRangeSelected(QTableWidgetSelectionRange(from, 0, to, 1), true);
            QTest::keyClick(grid, Qt::Key_Delete);
            _OutCmt->reject();
        });
        t.start(0);
        ASSERT_TRUE(frame_->RunCommand("MmLineCmtWin"));
        QCoreApplication::processEvents();
    }
    void Mark(int row) {
        Click(row, 1);
        QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
    }
};

}  // namespace

// Ctrl+Y on the first row and Ctrl+I on the last: the rows below move with
// their comments and label; Ctrl+I below the last rung moves nothing. The
// same stands after Convert > Ladder to list, Save As and a new run.
TEST_F(LadderRowPathsTest, RowEditsAtTheFirstAndLastRowsKeepCommentsAndLabelThroughTheFiles) {
    ASSERT_NO_FATAL_FAILURE(DrawCommented());
    Click(0, 1);
    QTest::keyClick(lad_, Qt::Key_Y, Qt::ControlModifier);
    ASSERT_EQ(Ladder(), (Lines{"X1 Y1 // b", "X2 Y2 // c"}));
    EXPECT_EQ(gPLabelRows[1], 1);
    Click(1, 1);
    QTest::keyClick(lad_, Qt::Key_I, Qt::ControlModifier);
    Click(3, 1);
    QTest::keyClick(lad_, Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(Ladder(), (Lines{"X1 Y1 // b", "", "X2 Y2 // c"}));
    EXPECT_EQ(gPLabelRows[1], 2);
    ASSERT_TRUE(Run("MmLadToCode"));
    EXPECT_EQ(Program(), (Lines{"LD X1", "OUT Y1", "P1", "LD X2", "OUT Y2"}));
    SaveAs();
    Reopen(true);
    EXPECT_EQ(Ladder(), (Lines{"X1 Y1 // b", "", "X2 Y2 // c"}));
    EXPECT_EQ(gPLabelRows[1], 2);
    ASSERT_TRUE(Run("MmCodeToLad"));
    EXPECT_EQ(Ladder(), (Lines{"X1 Y1 // b", "X2 Y2 // c"}));
    EXPECT_EQ(gPLabelRows[1], 1);
    EXPECT_TRUE(messages_.Shown().empty()) << LastShown();
}

// Everything marked and deleted takes the rung comments with the rungs; undo
// brings every comment back beside its rung, redo takes them again, and a
// second undo restores them once more. The label stays for the user (the
// compile refuses it on an empty row).
TEST_F(LadderRowPathsTest, EverythingMarkedAndDeletedComesBackWithItsCommentsOnUndo) {
    ASSERT_NO_FATAL_FAILURE(DrawCommented());
    ASSERT_TRUE(Run("MmSelAll"));
    ASSERT_TRUE(Run("MmDel"));
    EXPECT_EQ(Ladder(), Lines{});
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // a", "X1 Y1 // b", "X2 Y2 // c"}));
    EXPECT_EQ(gPLabelRows[1], 2);
    ASSERT_TRUE(Run("MmRedo"));
    EXPECT_EQ(gQel.RungComments, std::vector<std::string>(gQel.RungComments.size()));
    ViewList();
    EXPECT_TRUE(Shown(kMsgCompileFailed));
    ViewLadder();
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // a", "X1 Y1 // b", "X2 Y2 // c"}));
    messages_.Clear();
    ViewList();
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "P1", "LD X2", "OUT Y2"}));
    EXPECT_TRUE(messages_.Shown().empty()) << LastShown();
}

// Comments deleted in the rung-comment window after a ladder edit are the
// user's: the ladder's undo and redo move the rows and leave them deleted,
// and the files say so after a new run.
TEST_F(LadderRowPathsTest, CommentsDeletedInTheirWindowStayDeletedThroughLadderUndo) {
    ASSERT_NO_FATAL_FAILURE(DrawCommented());
    Click(1, 1);
    ASSERT_TRUE(Run("MmInsLine"));
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0 // a", "", "X1 Y1 // b", "X2 Y2 // c"}));
    DeleteRungComments(2, 3);
    ViewLadder();
    ASSERT_EQ(Ladder(), (Lines{"X0 Y0 // a", "", "X1 Y1", "X2 Y2"}));
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // a", "X1 Y1", "X2 Y2"}));
    ASSERT_TRUE(Run("MmRedo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // a", "", "X1 Y1", "X2 Y2"}));
    ViewList();
    SaveAs();
    Reopen(true);
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // a", "", "X1 Y1", "X2 Y2"}));
    EXPECT_TRUE(messages_.Shown().empty()) << LastShown();
}

// Two rows copied with a block comment between them and inserted above a
// block-comment row: the inserted rows bring their comments, the block
// comment and the rungs below move down with theirs, once each.
TEST_F(LadderCommentsTest, ABlockInsertedAboveABlockCommentMovesEverythingBelowWithIt) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    ViewList();
    ViewLadder();
    Click(0, 1);
    QTest::keyClick(lad_, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(lad_, Qt::Key_End, Qt::ShiftModifier);
    ASSERT_TRUE(frame_->RunCommand("MmCopy"));
    Click(1, 1);
    ASSERT_TRUE(frame_->RunCommand("MmInsBk"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "X0 Y0", "# Motor", "X1 Y1 // abc", "# Motor", "X1 Y1 // abc"}));
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(Ladder(), plant_);
    ASSERT_TRUE(frame_->RunCommand("MmRedo"));
    ViewList();
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X1", "OUT Y1"}));
    SaveAs();
    Reopen(true);
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "X0 Y0", "# Motor", "X1 Y1 // abc", "# Motor", "X1 Y1 // abc"}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// File > New (not saved): the new ladder shows nothing of the old project's
// comments or label; a rung drawn there, compiled, has none either. A rung
// copied in the old project and pasted below the new one's last row brings
// its comment and label, as the user copied them, and grows the ladder.
TEST_F(LadderRowPathsTest, ANewProjectHasNoCommentOfTheOldAndTakesAPastedOneAsCopied) {
    ASSERT_NO_FATAL_FAILURE(DrawCommented());
    Mark(2);
    ASSERT_TRUE(Run("MmCopy"));
    messages_.QueueAnswer(qel::Answer::No);  // not saved
    frame_->NewClick();
    ViewLadder();
    EXPECT_EQ(Ladder(), Lines{});
    EXPECT_EQ(gPLabelRows[1], -1);
    Click(0, 1);
    KeyRung("X0", "Y0");
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0"}));
    Click(3, 1);
    ASSERT_TRUE(Run("MmPaste"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "", "", "X2 Y2 // c"}));
    EXPECT_EQ(gPLabelRows[1], 3);
    ViewList();
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "P1", "LD X2", "OUT Y2"}));
    SaveAs();
    Reopen(true);
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0", "", "", "X2 Y2 // c"}));
    EXPECT_EQ(gPLabelRows[1], 3);
}

// A comment typed between two ladder edits, both taken back: it stays beside
// its rung through both undos and both redos; so too with a Replace in the
// ladder as one of those edits, with a comment typed after the last edit, and
// in the files after a new run.
TEST_F(LadderRowPathsTest, ACommentTypedBetweenTwoLadderEditsStaysThroughBothUndos) {
    ASSERT_NO_FATAL_FAILURE(DrawCommented());
    Click(1, 1);
    ASSERT_TRUE(Run("MmInsLine"));
    TypeRungComment(2, "Fan");
    ViewLadder();
    Click(0, 1);
    ASSERT_TRUE(Run("MmInsLine"));
    ASSERT_EQ(Ladder(), (Lines{"", "X0 Y0 // a", "", "X1 Y1 // Fan", "X2 Y2 // c"}));
    ASSERT_TRUE(Run("MmUndo"));
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // a", "X1 Y1 // Fan", "X2 Y2 // c"}));
    ASSERT_TRUE(Run("MmRedo"));
    ASSERT_TRUE(Run("MmRedo"));
    EXPECT_EQ(Ladder(), (Lines{"", "X0 Y0 // a", "", "X1 Y1 // Fan", "X2 Y2 // c"}));
    EXPECT_TRUE(messages_.Shown().empty()) << LastShown();

    // Typed again, then X0 replaced by X5 in the ladder: both undos keep it.
    TypeRungComment(4, "Pump");
    ViewLadder();
    frame_->MmRep->trigger();
    SearchDlg->SearchPage->setCurrentIndex(1);
    SearchDlg->SearchDev->setText("X0");
    SearchDlg->RepDev->setText("X5");
    SearchDlg->SearchStart.SetItemIndex(1);
    messages_.QueueAnswer(qel::Answer::All);
    QTest::mouseClick(SearchDlg->Rep, Qt::LeftButton);
    SearchDlg->close();
    QCoreApplication::processEvents();
    messages_.Clear();  // the replace's count
    ASSERT_EQ(Ladder(), (Lines{"", "X5 Y0 // a", "", "X1 Y1 // Fan", "X2 Y2 // Pump"}));
    ASSERT_TRUE(Run("MmUndo"));
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // a", "", "X1 Y1 // Fan", "X2 Y2 // Pump"}));
    ASSERT_TRUE(Run("MmRedo"));
    ASSERT_TRUE(Run("MmRedo"));
    EXPECT_EQ(Ladder(), (Lines{"", "X5 Y0 // a", "", "X1 Y1 // Fan", "X2 Y2 // Pump"}));
    // Typed after the last edit, then two steps back and two forth.
    TypeRungComment(1, "Motor");
    ViewLadder();
    ASSERT_TRUE(Run("MmUndo"));
    ASSERT_TRUE(Run("MmUndo"));
    EXPECT_EQ(Ladder(), (Lines{"X0 Y0 // Motor", "", "X1 Y1 // Fan", "X2 Y2 // Pump"}));
    ASSERT_TRUE(Run("MmRedo"));
    ASSERT_TRUE(Run("MmRedo"));
    EXPECT_EQ(Ladder(), (Lines{"", "X5 Y0 // Motor", "", "X1 Y1 // Fan", "X2 Y2 // Pump"}));
    EXPECT_TRUE(messages_.Shown().empty()) << LastShown();
    ViewList();
    SaveAs();
    Reopen(true);
    EXPECT_EQ(Ladder(), (Lines{"", "X5 Y0 // Motor", "", "X1 Y1 // Fan", "X2 Y2 // Pump"}));
}
