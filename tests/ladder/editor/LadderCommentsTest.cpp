// Block and rung comments stand with what they describe: the instruction a
// block comment stands before, the rung a rung comment was written for. They
// come back so through Save As, File > Open, edits of the instruction list and
// Convert > List to ladder, once each and never beside another rung; a comment
// whose rung is gone is reported, not dropped without a word.
#include <algorithm>
#include <filesystem>
#include <functional>

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
#include "tools/windows/Toolsinstall.h"

namespace {

constexpr int kMsgCommentsDropped = 263;

class LadderCommentsTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallTools(frame_.get()); }

    // X0-Y0 on row 0, the block comment "Motor" on row 1, X1-Y1 on row 2 with
    // the rung comment "abc" typed in the rung-comment window.
    void DrawPlant() {
        Click(0, 1);
        KeyRung("X0", "Y0");
        Click(1, 1);
        lad_->PopBkCmtClick();
        Finish("Motor");
        Click(2, 1);
        KeyRung("X1", "Y1");
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
    void ViewList() {
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        QCoreApplication::processEvents();
        ASSERT_NE(_Inst, nullptr);
    }
    void ViewLadder() {
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        QCoreApplication::processEvents();
        lad_ = _LDB;
        ASSERT_NE(lad_, nullptr);
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
