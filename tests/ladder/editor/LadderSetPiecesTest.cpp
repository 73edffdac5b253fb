// A file set whose pieces do not belong together (the label file missing, or
// a program and ladder put back from their backups beside later labels and
// rung comments) never changes the program's code: the rows are not taken as
// the user's edits and compiled over it, the user hears what was not read,
// and a save with nothing edited writes the code as it was.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "tests/ladder/editor/LadderFrameFixture.h"

namespace {

namespace fs = std::filesystem;

class LadderSetPiecesTest : public LadderFrameTest {
protected:
    static constexpr int kMsgProgramNotOk = 253, kMsgSetPartsNotRead = 270;

    // Lines typed into the instruction list before its line `line` (its end when -1).
    void TypeInList(int line, const Lines& lines) {
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        QCoreApplication::processEvents();
        if (line < 0) QTest::keyClick(_Inst, Qt::Key_End);
        else _Inst->MoveCursorTo(line);
        for (const std::string& l : lines) {
            QTest::keyClicks(_Inst, QString::fromStdString(l.substr(0, 1)));
            Finish(l.substr(1));
        }
    }
    // The program typed, saved, opened again (drawn from the code) and saved,
    // so that the ladder file holds its rows and the label file its label.
    void SaveJumpOverARung() {
        ASSERT_NO_FATAL_FAILURE(TypeInList(-1, {"LD X0", "CJ P1", "LD X1", "OUT Y1", "P1", "LD X2", "OUT Y2"}));
        ASSERT_EQ(Program(), jump_);
        SaveAs();
        Open();
        ASSERT_EQ(gQel.ProgramOk, 1);
        ASSERT_GE(gPLabelRows[1], 0) << "the ladder shows the label";
        Save();
        ASSERT_EQ(gQel.Modified, 0);
    }
    static std::string Bytes(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // The rung comment "Pump" written beside row `pump`, saved; returns the
    // program file as saved.
    std::string SavePumpComment(int pump) {
        gQel.RungComments.assign(static_cast<std::size_t>(pump) + 1, "");
        gQel.RungComments[static_cast<std::size_t>(pump)] = "Pump";
        gQel.Modified = 1;
        Save();
        return Bytes(Project(".kzp"));
    }
    bool StepCountSaysNotCompiled() const {
        return frame_->QelStaBar->Panel(4).contains(QString::fromStdString(gMsgTable.Get(kMsgProgramNotOk)));
    }
    // Opened, judged, saved with nothing edited: the code on disk is as before.
    void ExpectOpensAndSavesTheCodeAsItWas(const std::string& program) {
        messages_.Clear();
        Open();
        EXPECT_EQ(Program(), jump_);
        EXPECT_EQ(gQel.ProgramOk, 1) << "the rows are no edits of the user's";
        EXPECT_FALSE(StepCountSaysNotCompiled());
        EXPECT_TRUE(Shown(kMsgSetPartsNotRead));
        EXPECT_GE(gPLabelRows[1], 0) << "the label is drawn from the code";
        Save();
        EXPECT_TRUE(Bytes(Project(".kzp")) == program) << "the save changed the code";
        EXPECT_EQ(Program(), jump_);
    }

    std::string SaveTwoVersions();
    // A comment of the later version never stands beside another rung.
    static void ExpectPumpOnlyOnItsRung() {
        for (std::size_t r = 0; r < gQel.RungComments.size(); ++r)
            if (gQel.RungComments[r] == "Pump") {
                EXPECT_EQ(static_cast<int>(r), gPLabelRows[1]) << "row " << r;
            }
    }

    const Lines jump_{"LD X0", "CJ P1", "LD X1", "OUT Y1", "P1", "LD X2", "OUT Y2"};
};

}  // namespace

TEST_F(LadderSetPiecesTest, RowsWithoutTheirLabelFileNeverChangeTheCode) {
    ASSERT_NO_FATAL_FAILURE(SaveJumpOverARung());
    const std::string program = Bytes(Project(".kzp"));
    ASSERT_TRUE(fs::remove(Project(".lab")));
    frame_->NewClick();
    ExpectOpensAndSavesTheCodeAsItWas(program);
}

// The first version with the rung comment "Pump" on the rung after the label;
// then a later one, a rung typed before the others moving the label and the
// comment down. Its save keeps the first version as the backups. Returns the
// first version's program file.
std::string LadderSetPiecesTest::SaveTwoVersions() {
    SaveJumpOverARung();
    const int pump = gPLabelRows[1];
    const std::string first = SavePumpComment(pump);
    TypeInList(0, {"LD X3", "OUT Y3"});
    EXPECT_TRUE(frame_->RunCommand("MmLadWin"));
    QCoreApplication::processEvents();
    Save();
    EXPECT_TRUE(Bytes(Project(".kz~")) == first);
    frame_->NewClick();
    return first;
}

TEST_F(LadderSetPiecesTest, AProgramAndLadderPutBackBesideLaterLabelsAndCommentsNeverChangeTheCode) {
    const std::string first = SaveTwoVersions();
    ASSERT_FALSE(HasFatalFailure());
    fs::copy_file(Project(".kz~"), Project(".kzp"), fs::copy_options::overwrite_existing);
    fs::copy_file(Project(".la~"), Project(".lad"), fs::copy_options::overwrite_existing);
    ExpectOpensAndSavesTheCodeAsItWas(first);
    ExpectPumpOnlyOnItsRung();
}

// With its labels put back too the earlier set is whole but for the rung
// comments, which are of the later save: the rows stand for the code, and the
// comments are not read rather than shown beside other rungs.
TEST_F(LadderSetPiecesTest, RungCommentsOfALaterSaveAreNotReadBesideAnEarlierLadder) {
    const std::string first = SaveTwoVersions();
    ASSERT_FALSE(HasFatalFailure());
    for (const auto& [back, own] : {std::pair{".kz~", ".kzp"}, std::pair{".la~", ".lad"}, std::pair{".lb~", ".lab"}})
        fs::copy_file(Project(back), Project(own), fs::copy_options::overwrite_existing);
    ExpectOpensAndSavesTheCodeAsItWas(first);
    ExpectPumpOnlyOnItsRung();
}

// Rows that stand for the code without labels keep standing beside a label
// file of another save, which is not read: the user hears which.
TEST_F(LadderSetPiecesTest, ALabelFileOfAnotherSaveIsNamedAndNotRead) {
    ASSERT_NO_FATAL_FAILURE(SaveJumpOverARung());
    fs::copy_file(Project(".lab"), home_ / "jump.lab");
    frame_->NewClick();
    ASSERT_NO_FATAL_FAILURE(TypeInList(-1, {"LD X0", "OUT Y0"}));
    SaveAs();
    Open();
    Save();
    fs::copy_file(home_ / "jump.lab", Project(".lab"), fs::copy_options::overwrite_existing);
    messages_.Clear();
    Open();
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0"}));
    EXPECT_EQ(gQel.ProgramOk, 1);
    EXPECT_EQ(gPLabelRows[1], -1) << "no label of the other save";
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(kMsgSetPartsNotRead) + "\n" + Project(".lab").string()));
}

// The previous version opened from its backup: the ladder, labels and
// comments beside it are the current save's, drawn for other code. The code
// is drawn again, the user hears that the ladder file was not used, and the
// current save's rung comment never stands beside the previous version's
// rungs.
TEST_F(LadderSetPiecesTest, APreviousVersionOpenedFromItsBackupShowsNoCommentOfTheCurrentOnes) {
    ASSERT_NO_FATAL_FAILURE(SaveTwoVersions());
    messages_.Clear();
    dialogs_.QueuePath(Project(".kz~").string());
    ASSERT_TRUE(frame_->RunCommand("MmOpen"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Program(), jump_);
    EXPECT_EQ(gQel.ProgramOk, 1);
    EXPECT_GE(gPLabelRows[1], 0) << "the label is drawn from the code";
    ExpectPumpOnlyOnItsRung();
    EXPECT_FALSE(messages_.Shown().empty());
}

// A set saved before the ladder file named its label and comment files (the
// header's spare bytes zero) opens as it did: rows, label and the rung comment
// beside its rung, nothing called not read, and a save leaves the code as it
// was.
TEST_F(LadderSetPiecesTest, ASetOfAnEarlierVersionOpensWithItsCommentsAsBefore) {
    ASSERT_NO_FATAL_FAILURE(SaveJumpOverARung());
    const int pump = gPLabelRows[1];
    const std::string program = SavePumpComment(pump);
    {
        std::fstream lad(Project(".lad"), std::ios::binary | std::ios::in | std::ios::out);
        lad.seekp(74);
        const char zeros[24] = {};
        lad.write(zeros, sizeof zeros);
        ASSERT_TRUE(lad.good());
    }
    frame_->NewClick();
    messages_.Clear();
    Open();
    EXPECT_EQ(Program(), jump_);
    EXPECT_EQ(gQel.ProgramOk, 1);
    EXPECT_EQ(gPLabelRows[1], pump);
    ASSERT_GT(gQel.RungComments.size(), static_cast<std::size_t>(pump));
    EXPECT_EQ(gQel.RungComments[static_cast<std::size_t>(pump)], "Pump");
    EXPECT_TRUE(messages_.Shown().empty());
    gQel.Modified = 1;
    Save();
    EXPECT_TRUE(Bytes(Project(".kzp")) == program);
}

// A ladder file of another project copied over the project's own: its rows
// are of other code and are drawn again from the code, and the project's own
// labels and rung comments, which the foreign ladder file does not name, are
// still read beside their rungs.
TEST_F(LadderSetPiecesTest, ALadderFileOfAnotherProjectLeavesTheProjectsOwnCommentsInPlace) {
    ASSERT_NO_FATAL_FAILURE(TypeInList(-1, {"LD X5", "OUT Y5"}));
    gQel.RungComments.assign(1, "Fan");
    SaveAs();
    fs::copy_file(Project(".lad"), home_ / "other.lad");
    frame_->NewClick();
    ASSERT_NO_FATAL_FAILURE(SaveJumpOverARung());
    const int pump = gPLabelRows[1];
    const std::string program = SavePumpComment(pump);
    fs::copy_file(home_ / "other.lad", Project(".lad"), fs::copy_options::overwrite_existing);
    frame_->NewClick();
    messages_.Clear();
    Open();
    EXPECT_EQ(Program(), jump_);
    EXPECT_EQ(gQel.ProgramOk, 1);
    EXPECT_EQ(gPLabelRows[1], pump);
    EXPECT_EQ(std::find(gQel.RungComments.begin(), gQel.RungComments.end(), "Fan"), gQel.RungComments.end());
    ASSERT_GT(gQel.RungComments.size(), static_cast<std::size_t>(pump));
    EXPECT_EQ(gQel.RungComments[static_cast<std::size_t>(pump)], "Pump");
    EXPECT_FALSE(messages_.Shown().empty()) << "the ladder file not used is named";
    Save();
    EXPECT_TRUE(Bytes(Project(".kzp")) == program);
}
