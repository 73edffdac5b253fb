// Rows of the ladder file that do not compile into the code their stamp names
// are the user's edits: opened again, they are held as if drawn in this
// session. The step count says the program does not have them, leaving the
// ladder tries to compile them, and nothing draws the code over them unasked.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "project/Fileio.h"
#include "tests/ladder/editor/LadderFrameFixture.h"

namespace {

class LadderReadEditsTest : public LadderFrameTest {
protected:
    static constexpr int kMsgCompileFailed = 32, kMsgDropEdits = 252, kMsgProgramNotOk = 253,
                         kMsgLadderEditsNotSaved = 255;

    // Row 0 a whole rung X0-Y0, row 1 the contact X1 without its coil.
    void DrawEdits() {
        Click(0, 1);
        KeyRung("X0", "Y0");
        Click(1, 1);
        Key(Qt::Key_F1, "X1");
    }
    static std::vector<std::uint8_t> Rows(int count) {
        return {gLadderRows, gLadderRows + static_cast<std::size_t>(count) * kLadderRowBytes};
    }
    // The rows the ladder file holds, behind its header and row count.
    std::vector<std::uint8_t> SavedRows() const {
        std::ifstream in(Project(".lad"), std::ios::binary);
        const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (b.size() < qelfile::kHeaderBytes + 4) return {};
        return {b.begin() + qelfile::kHeaderBytes + 4, b.end()};
    }
    // Saved with the edits, then opened again: the edits' question (Yes) and
    // the save question (No) answered on the way.
    void SaveAndOpenAgain() {
        SaveAs();
        ASSERT_TRUE(Shown(kMsgCompileFailed));
        ASSERT_TRUE(Shown(kMsgLadderEditsNotSaved));
        messages_.Clear();
        messages_.QueueAnswer(qel::Answer::Yes);
        messages_.QueueAnswer(qel::Answer::No);
        Open();
        ASSERT_NE(lad_, nullptr) << "the project opens on its ladder";
        messages_.Clear();
    }
    // File > New over whatever the last round left: its edits and changes go.
    void NewProject() {
        messages_.QueueAnswer(qel::Answer::Yes);
        messages_.QueueAnswer(qel::Answer::No);
        frame_->NewClick();
        messages_.Clear();
        lad_ = _LDB;
    }
    void ViewList() {
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        QCoreApplication::processEvents();
    }
    void ViewLadder() {
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        QCoreApplication::processEvents();
        lad_ = _LDB;
    }
    void TypeInList(const Lines& lines) {
        QTest::keyClick(_Inst, Qt::Key_End);
        for (const std::string& line : lines) {
            QTest::keyClicks(_Inst, QString::fromStdString(line.substr(0, 1)));
            Finish(line.substr(1));
        }
    }
    bool StepCountSaysNotCompiled() const {
        return frame_->QelStaBar->Panel(4).contains(QString::fromStdString(gMsgTable.Get(kMsgProgramNotOk)));
    }
};

}  // namespace

// Code typed in the list after the opening: the ladder asks before the code is
// drawn over the rows read. No keeps them, and the next save writes them again
// (and says the save is not complete); Yes draws the code.
TEST_F(LadderReadEditsTest, CodeTypedAfterTheOpeningAsksBeforeItIsDrawnOverTheRowsRead) {
    for (const qel::Answer answer : {qel::Answer::No, qel::Answer::Yes}) {
        SCOPED_TRACE(answer == qel::Answer::No ? "No" : "Yes");
        NewProject();
        ASSERT_NO_FATAL_FAILURE(DrawEdits());
        const std::vector<std::uint8_t> drawn = Rows(2);
        ASSERT_NO_FATAL_FAILURE(SaveAndOpenAgain());
        ASSERT_EQ(SavedRows(), drawn);
        ASSERT_EQ(Rows(2), drawn);
        ASSERT_TRUE(Program().empty());

        ViewList();
        EXPECT_TRUE(Shown(kMsgCompileFailed)) << "leaving the ladder tries its rows";
        TypeInList({"LD X2", "OUT Y2"});
        ASSERT_EQ(Program(), (Lines{"LD X2", "OUT Y2"}));
        messages_.QueueAnswer(answer);
        ViewLadder();
        ASSERT_EQ(messages_.Asked().size(), 1u);
        EXPECT_EQ(messages_.Asked()[0].rfind(gMsgTable.Get(kMsgDropEdits), 0), 0u) << messages_.Asked()[0];
        if (answer == qel::Answer::Yes) {
            EXPECT_NE(Rows(2), drawn) << "the code was not drawn";
            EXPECT_EQ(Program(), (Lines{"LD X2", "OUT Y2"}));
            continue;
        }
        EXPECT_EQ(Rows(2), drawn) << "the rows read were drawn over";
        messages_.Clear();
        Save();
        EXPECT_TRUE(Shown(kMsgLadderEditsNotSaved));
        EXPECT_EQ(SavedRows(), drawn) << "the save dropped the rows";
        EXPECT_EQ(Program(), (Lines{"LD X2", "OUT Y2"}));
        EXPECT_EQ(gQel.Modified, 1);
    }
}

// Convert > List to ladder right after the opening: the rows are tried first
// and kept, as in the session they were drawn in.
TEST_F(LadderReadEditsTest, ListToLadderAfterTheOpeningKeepsTheRowsRead) {
    ASSERT_NO_FATAL_FAILURE(DrawEdits());
    const std::vector<std::uint8_t> drawn = Rows(2);
    ASSERT_NO_FATAL_FAILURE(SaveAndOpenAgain());
    frame_->RunCommand("MmCodeToLad");  // refused: the rows do not compile
    EXPECT_TRUE(Shown(kMsgCompileFailed));
    EXPECT_EQ(Rows(2), drawn) << "the ladder was drawn from the code";
    EXPECT_TRUE(lad_->Dirty());
}

// Opened and left without a change, the rows read are not in the program (the
// step count says so); once the rung is finished they go in. Over an empty
// program and over code the rows' other rung compiled into.
TEST_F(LadderReadEditsTest, RowsReadAreNotCompiledUntilTheRungIsFinished) {
    for (const bool compiledFirst : {false, true}) {
        SCOPED_TRACE(compiledFirst ? "over code" : "over the empty program");
        NewProject();
        Click(0, 1);
        KeyRung("X0", "Y0");
        if (compiledFirst) {
            ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
        }
        Click(1, 1);
        Key(Qt::Key_F1, "X1");
        const Lines before = Program();
        ASSERT_NO_FATAL_FAILURE(SaveAndOpenAgain());
        EXPECT_EQ(Program(), before);
        EXPECT_TRUE(StepCountSaysNotCompiled()) << frame_->QelStaBar->Panel(4).toStdString();

        ViewList();
        EXPECT_TRUE(Shown(kMsgCompileFailed)) << "leaving the ladder tries its rows";
        EXPECT_TRUE(StepCountSaysNotCompiled());
        ViewLadder();
        EXPECT_TRUE(messages_.Asked().empty()) << "the program did not change";
        messages_.Clear();
        Click(1, 2);
        Key(Qt::Key_F7, "Y1");
        ViewList();
        EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
        EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1"}));
        EXPECT_FALSE(StepCountSaysNotCompiled());
        ViewLadder();
    }
}

// A drawing of code typed in the list in another form of its circuit (LD LD
// ORB, which the drawing compiles into LD OR) holds nothing of the user's own:
// saved and opened again it is still a drawing, and the code stays as typed.
TEST_F(LadderReadEditsTest, ADrawingOfCodeTypedInAnotherFormOpensAsADrawing) {
    const Lines typed{"LD X0", "LD X1", "ORB", "OUT Y0", "END"};
    ViewList();
    TypeInList(typed);
    ViewLadder();
    ASSERT_FALSE(lad_->Dirty());
    SaveAs();
    messages_.Clear();
    Open();
    ASSERT_NE(lad_, nullptr);
    EXPECT_FALSE(lad_->Dirty()) << "the drawing was taken for edits";
    EXPECT_FALSE(StepCountSaysNotCompiled());
    ViewList();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(Program(), typed);
    EXPECT_EQ(gQel.Modified, 0);
}

// A program named on the command line opens as File > Open opens it: the
// editors are hooked in first, so the ladder window takes the rows read as
// the user's edits, and a save keeps them (and says it is not complete).
TEST_F(LadderReadEditsTest, RowsReadFromTheProgramNamedAtStartAreHeldAsEdits) {
    ASSERT_NO_FATAL_FAILURE(DrawEdits());
    const std::vector<std::uint8_t> drawn = Rows(2);
    SaveAs();
    ASSERT_TRUE(Shown(kMsgLadderEditsNotSaved));

    gQel.Modified = 0;
    frame_->DestroyEditors();
    frame_->close();
    frame_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    messages_.Clear();
    TStartupOptions options;
    options.ShowSplash = false;
    const auto installEditors = [](TQelMain* f) {
        InstallInstList(f);
        InstallLadder(f);
    };
    frame_.reset(StartQel({QString::fromStdString(Project(".kzp").string())}, options, installEditors));
    ASSERT_TRUE(frame_);
    QCoreApplication::processEvents();
    lad_ = _LDB;
    ASSERT_NE(lad_, nullptr) << "the program opens on its ladder";
    EXPECT_EQ(Rows(2), drawn);
    EXPECT_TRUE(lad_->Dirty());
    EXPECT_TRUE(StepCountSaysNotCompiled());

    Save();
    EXPECT_TRUE(Shown(kMsgLadderEditsNotSaved)) << "the save left the rows out without a word";
    EXPECT_EQ(SavedRows(), drawn);
    EXPECT_EQ(gQel.Modified, 1);
}
