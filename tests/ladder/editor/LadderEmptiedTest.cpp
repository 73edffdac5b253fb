// A ladder the user empties is the empty program: the save writes no
// instruction and no row, with no message, and the project opens so again.
// An empty ladder that never stood for the code is still never compiled over
// it.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "ladder/model/Lad.h"
#include "project/Fileio.h"
#include "project/Ladderstamp.h"
#include "tests/ladder/editor/LadderFrameFixture.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool AllBytes(const std::vector<std::uint8_t>& bytes, std::size_t from, std::uint8_t value) {
    return bytes.size() > from && std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                                              [value](std::uint8_t b) { return b == value; });
}

class LadderEmptiedTest : public LadderFrameTest {
protected:
    static constexpr int kMsgCompileFailed = 32, kMsgLadderNotOfProgram = 251, kMsgLadderEditsNotSaved = 255;

    void DeleteRow(int row) {
        lad_->Edit().SetCursor(row, 0);
        QTest::keyClick(lad_, Qt::Key_Y, Qt::ControlModifier);
    }
    static bool LadderEmpty() {
        return std::all_of(gLadderRows, gLadderRows + static_cast<std::size_t>(kLadderRows) * kLadderRowBytes,
                           [](std::uint8_t b) { return b == 0; });
    }
    // The program file's code (behind the header and its size word) holds
    // no instruction; the ladder file no row.
    void FilesHoldTheEmptyProgram() {
        EXPECT_TRUE(AllBytes(FileBytes(Project(".kzp")), qelfile::kHeaderBytes + 4, 0xFF)) << "an instruction was saved";
        const std::vector<std::uint8_t> lad = FileBytes(Project(".lad"));
        EXPECT_TRUE(lad.size() == qelfile::kHeaderBytes + 4 || AllBytes(lad, qelfile::kHeaderBytes + 4, 0))
            << "the ladder file holds a row";
    }
    Lines Rung() const { return {"LD X0", "OUT Y0"}; }
    Lines Head(std::size_t n) const {
        Lines got = Program();
        got.resize(std::min(got.size(), n));
        return got;
    }
};

}  // namespace

TEST_F(LadderEmptiedTest, EmptiedLadderSavesTheEmptyProgramAndUndoBringsTheRungBack) {
    Click(0, 1);
    KeyRung("X0", "Y0");
    SaveAs();
    ASSERT_EQ(Head(2), Rung());
    messages_.Clear();

    DeleteRow(0);
    ASSERT_TRUE(LadderEmpty());
    ASSERT_TRUE(lad_->Dirty());
    SaveAs();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(gProgramUsed, 0u);
    EXPECT_FALSE(lad_->Dirty());
    EXPECT_EQ(gQel.Modified, 0);
    FilesHoldTheEmptyProgram();

    // The deletion is one undo step: the rung comes back and goes in again.
    QTest::keyClick(lad_, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_FALSE(LadderEmpty());
    Save();
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_EQ(Head(2), Rung());
    EXPECT_FALSE(AllBytes(FileBytes(Project(".kzp")), qelfile::kHeaderBytes + 4, 0xFF));

    // Emptied once more and saved, the project opens empty and saves so.
    DeleteRow(0);
    Save();
    frame_->NewClick();
    messages_.Clear();
    Open();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    ASSERT_NE(lad_, nullptr) << "the empty program opens on its ladder";
    EXPECT_TRUE(LadderEmpty());
    EXPECT_EQ(gProgramUsed, 0u);
    Save();
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_EQ(gQel.Modified, 0);
    FilesHoldTheEmptyProgram();
}

// Deleting the first row of a rung folded over two rows takes its
// continuation too: the only rung gone, the program is empty.
TEST_F(LadderEmptiedTest, FoldedOnlyRungDeletedEmptiesTheProgram) {
    QTest::keyClick(lad_, Qt::Key_Insert);  // overwrite: the twelfth contact wraps
    Click(0, 1);
    for (int k = 0; k < 12; ++k) Key(Qt::Key_F1, "M" + std::to_string(k));
    Key(Qt::Key_F7, "Y0");
    SaveAs();
    ASSERT_EQ(Head(1), Lines{"LD M0"});
    ASSERT_EQ(CellKind(CellAt(gLadderRows, 1, 0)), TLdbKind::Re_Line) << "the rung is folded";
    messages_.Clear();

    DeleteRow(0);
    ASSERT_TRUE(LadderEmpty());
    Save();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(gProgramUsed, 0u);
    FilesHoldTheEmptyProgram();
    EXPECT_EQ(gQel.Modified, 0);
}

// Code the ladder cannot draw (an output with no contact) leaves the ladder
// empty; that empty ladder, even edited and emptied again, never stood for
// the code: the code stays in the program and in its file.
TEST_F(LadderEmptiedTest, EmptyLadderOfCodeThatCouldNotBeDrawnNeverReplacesIt) {
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    for (const std::string line : {"OUT Y0", "END"}) {
        QTest::keyClicks(_Inst, QString::fromStdString(line.substr(0, 1)));
        Finish(line.substr(1));
    }
    ASSERT_EQ(Program(), (Lines{"OUT Y0", "END"}));
    SaveAs();
    frame_->NewClick();
    messages_.Clear();
    Open();
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    lad_ = _LDB;
    ASSERT_TRUE(LadderEmpty()) << "the code could not be drawn";
    ASSERT_FALSE(LadderMatchesProgram());

    Save();
    EXPECT_EQ(Program(), (Lines{"OUT Y0", "END"}));
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
    EXPECT_EQ(Program(), (Lines{"OUT Y0", "END"}));

    // An element typed and deleted again: the user's edit of a ladder that
    // never held the code does not empty the program either.
    messages_.Clear();
    Click(0, 1);
    Key(Qt::Key_F1, "X1");
    DeleteRow(0);
    ASSERT_TRUE(LadderEmpty());
    ASSERT_TRUE(lad_->Dirty());
    Save();
    EXPECT_TRUE(Shown(kMsgCompileFailed));
    EXPECT_TRUE(Shown(kMsgLadderEditsNotSaved));
    EXPECT_EQ(Program(), (Lines{"OUT Y0", "END"}));
    EXPECT_FALSE(AllBytes(FileBytes(Project(".kzp")), qelfile::kHeaderBytes + 4, 0xFF));
    EXPECT_EQ(gQel.Modified, 1);
}
