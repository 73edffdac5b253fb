// The compile's hand-over files in Temp/ bring comments back only into the
// project, the ladder and the run that wrote them: never into a new project
// of the same code, another project of the same file name, another run
// sharing the install folder, nor over a comment the user deleted since.
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include <QTableWidget>
#include <QTimer>

#include "ladder/edit/Laddertexts.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderTempFiles.h"
#include "ladder/model/Laddercompile.h"
#include "tests/ladder/editor/LadderFrameFixture.h"
#include "tools/windows/Linecmt.h"
#include "tools/windows/Toolsinstall.h"

namespace fs = std::filesystem;

namespace {

class LadderHandOverTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallTools(frame_.get()); }

    // Comment > Rung comments: the window's grid handed to `act`, then closed.
    void InRungCommentWindow(const std::function<void(QTableWidget*)>& act) {
        QTimer t;
        t.setSingleShot(true);
        QObject::connect(&t, &QTimer::timeout, [&] {
            act(_OutCmt->LineCmt);
            QCoreApplication::processEvents();
            _OutCmt->reject();
        });
        t.start(0);
        ASSERT_TRUE(frame_->RunCommand("MmLineCmtWin"));
        QCoreApplication::processEvents();
    }
    void TypeRungComment(int row, const std::string& text) {
        InRungCommentWindow([&](QTableWidget* grid) {
            grid->setCurrentCell(row, 1);
            grid->editItem(grid->item(row, 1));
            if (auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->model()->index(row, 1)))) {
                editor->setText(QString::fromStdString(text));
                QTest::keyClick(editor, Qt::Key_Return);
            }
        });
    }
    // X0-Y0, the block comment "Motor", X1-Y1 with "abc", X2-Y2 with "def".
    void DrawPlant() {
        DrawRungsAroundMotor(2);
        TypeRungComment(2, "abc");
        TypeRungComment(3, "def");
        ASSERT_EQ(Comments(), (Lines{"# Motor", "abc", "def"}));
    }
    // The rungs X0-Y0 .. X2-Y2 (as many as asked) typed into the list.
    void TypeRungsInList(int rungs) {
        ViewList();
        _Inst->MoveCursorTo(0);
        for (int i = 0; i < rungs; ++i)
            for (const std::string& l : {"LD X" + std::to_string(i), "OUT Y" + std::to_string(i)}) {
                QTest::keyClicks(_Inst, QString::fromStdString(l.substr(0, 1)));
                Finish(l.substr(1));
            }
    }
    // The ladder's block comments ("# text") and rung comments, top to bottom.
    static Lines Comments() {
        Lines out;
        const std::int32_t last = FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1);
        for (std::int32_t r = 0; r <= last; ++r) {
            const std::uint8_t* row = CellAt(gLadderRows, r, 0);
            if (IsBlockCommentRow(row)) out.push_back("# " + BlockCommentText(row));
            if (static_cast<std::size_t>(r) < gQel.RungComments.size() && !gQel.RungComments[r].empty())
                out.push_back(gQel.RungComments[r]);
        }
        return out;
    }
    static std::string FileText(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The project's saved comment files hold none of the words.
    static void ExpectNoneSaved(const fs::path& kzp) {
        for (const char* ext : {".lmt", ".smt", ".lad"}) {
            const std::string text = FileText(fs::path(kzp).replace_extension(ext));
            for (const char* word : {"Motor", "abc", "def"})
                EXPECT_EQ(text.find(word), std::string::npos) << ext << " holds " << word;
        }
    }
};

}  // namespace

// An untitled project compiled, then File > New and the same code typed: the
// new project shows none of the earlier one's comments, nor saves them.
TEST_F(LadderHandOverTest, ANewProjectOfTheSameCodeGetsNoCommentsOfTheOneBefore) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    ViewList();  // compiled: the hand-over files are written
    ASSERT_EQ(Program(), (Lines{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "OUT Y2"}));
    messages_.QueueAnswer(qel::Answer::No);  // not saved
    frame_->NewClick();
    ASSERT_NO_FATAL_FAILURE(TypeRungsInList(3));
    ViewLadder();
    EXPECT_EQ(Comments(), Lines{});
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    EXPECT_EQ(Comments(), Lines{});
    SaveAs();
    ExpectNoneSaved(Project(".kzp"));
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// a/plant.kzp with comments converted and saved; b/plant.kzp, of the same
// file name without comments, opened: a rung typed in its list and its ladder
// drawn show none of a's comments, and its save writes none.
TEST_F(LadderHandOverTest, AProjectOfTheSameFileNameElsewhereGetsNoneOfItsComments) {
    const fs::path a = home_ / "a" / "plant.kzp", b = home_ / "b" / "plant.kzp";
    fs::create_directories(a.parent_path());
    fs::create_directories(b.parent_path());
    ASSERT_NO_FATAL_FAILURE(TypeRungsInList(1));
    dialogs_.QueuePath(b.string());
    ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
    frame_->NewClick();
    ViewLadder();
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    dialogs_.QueuePath(a.string());
    ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
    ASSERT_EQ(gQel.ProgramFileName, a.string());
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));  // the hand-over files are plant's
    ASSERT_TRUE(frame_->RunCommand("MmSave"));

    dialogs_.QueuePath(b.string());
    frame_->OpenClick();
    ASSERT_EQ(gQel.ProgramFileName, b.string());
    ViewList();
    _Inst->MoveCursorTo(2);
    for (const std::string l : {"LD X1", "OUT Y1", "LD X2", "OUT Y2"}) {
        QTest::keyClicks(_Inst, QString::fromStdString(l.substr(0, 1)));
        Finish(l.substr(1));
    }
    ViewLadder();
    EXPECT_EQ(Comments(), Lines{});
    ASSERT_TRUE(frame_->RunCommand("MmSave"));
    ExpectNoneSaved(b);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// A rung comment deleted in its window after the compile stays deleted
// through Convert > List to ladder and through a list edit.
TEST_F(LadderHandOverTest, ARungCommentDeletedAfterTheCompileStaysDeleted) {
    Click(0, 1);
    KeyRung("X0", "Y0");
    Click(1, 1);
    KeyRung("X1", "Y1");
    TypeRungComment(0, "Pump");
    ViewList();  // compiled with "Pump" beside X0-Y0
    ViewLadder();
    InRungCommentWindow([](QTableWidget* grid) {
        grid->setCurrentCell(0, 1);
        grid->selectRow(0);
        QTest::keyClick(grid, Qt::Key_Delete);
    });
    ASSERT_EQ(Comments(), Lines{});
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    lad_ = _LDB;
    EXPECT_EQ(Comments(), Lines{});
    ViewList();
    _Inst->MoveCursorTo(4);
    for (const std::string l : {"LD X5", "OUT Y5"}) {
        QTest::keyClicks(_Inst, QString::fromStdString(l.substr(0, 1)));
        Finish(l.substr(1));
    }
    ViewLadder();
    EXPECT_EQ(Comments(), Lines{});
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
}

// Another run of the program sharing the install folder compiled a ladder
// with comments for the same code, under the same file name: this run's
// ladder of that code shows none of them and saves none.
TEST_F(LadderHandOverTest, AnotherRunsHandOverFilesAreNeverRead) {
    // This run's ladder of X0-Y0 .. X2-Y2, drawn from the list, no comment.
    ASSERT_NO_FATAL_FAILURE(TypeRungsInList(3));
    ViewLadder();
    ASSERT_EQ(Comments(), Lines{});
    // The other run's files, under this project's names in Temp/: its owner
    // line as this run would write it for this very project and ladder, only
    // the run's token its own.
    const std::string owner = ProgramCommentFilesOwner();
    const std::string other = "another-run" + owner.substr(owner.find(' '));
    {
        TCommentFileWriter w(ProgramCommentFiles());
        w.SetOwner(other);
        ASSERT_TRUE(w.Open());
        std::uint8_t row[60];
        SetBlockCommentRow(row, "Motor");
        w.AddBlockComment(4, row);
        w.AddRowComment(0, "abc", 0, 0, 4);
        w.AddRowComment(2, "def", 4, 0, 8);
        ASSERT_TRUE(w.Commit(gProgram, gProgramUsed));
    }
    TSavedComments read;
    ASSERT_TRUE(LoadCommentFilesFor(ProgramCommentFiles(), gProgram, gProgramUsed, read, other));  // they are sound
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    lad_ = _LDB;
    EXPECT_EQ(Comments(), Lines{});
    SaveAs();
    ExpectNoneSaved(Project(".kzp"));
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}
