// A new PLC model carries the program's code over: the ladder drawn for it
// (its layout, its empty rows, the rows its rung comments belong to) still
// stands for it, compiles, and is saved and opened as it was drawn. Edits the
// ladder window holds go into the program before its window closes for the
// new model, or the old model stays.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "project/Fileio.h"
#include "tests/ladder/editor/LadderFrameFixture.h"


namespace {

class LadderModelChangeTest : public LadderFrameTest {
protected:
    static constexpr int kMsgCompileFailed = 32;

    void ViewLadder() {
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        QCoreApplication::processEvents();
        lad_ = _LDB;
        ASSERT_NE(lad_, nullptr);
    }
    // The ladder file's row count (behind its header).
    std::uint32_t SavedLadderRows() const {
        std::ifstream in(Project(".lad"), std::ios::binary);
        const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (b.size() < qelfile::kHeaderBytes + 4) return 0;
        const std::uint8_t* n = b.data() + qelfile::kHeaderBytes;
        return n[0] | n[1] << 8 | n[2] << 16 | static_cast<std::uint32_t>(n[3]) << 24;
    }
    static std::vector<std::uint8_t> Rows(int count) {
        return {gLadderRows, gLadderRows + static_cast<std::size_t>(count) * kLadderRowBytes};
    }
    static bool RowEmpty(int row) {
        const std::uint8_t* p = gLadderRows + static_cast<std::size_t>(row) * kLadderRowBytes;
        return std::all_of(p, p + kLadderRowBytes, [](std::uint8_t b) { return b == 0; });
    }
    // X0-Y0 on row 0, row 1 left empty, X1-Y1 on row 2 with the rung comment
    // "abc"; put into the list and saved.
    void DrawPlant() {
        Click(0, 1);
        KeyRung("X0", "Y0");
        Click(2, 1);
        KeyRung("X1", "Y1");
        gQel.RungComments.assign(3, "");
        gQel.RungComments[2] = "abc";
        ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
        ASSERT_EQ(Program(), plant_);
        ASSERT_TRUE(RowEmpty(1));
        ASSERT_FALSE(RowEmpty(2));
        SaveAs();
        ASSERT_EQ(gQel.Modified, 0);
    }

    const Lines plant_{"LD X0", "OUT Y0", "LD X1", "OUT Y1"};
};

}  // namespace

// A larger capacity, a smaller one that still holds the program, a family of
// its own; the views opened between the change and the save, or not.
TEST_F(LadderModelChangeTest, LayoutAndRungCommentComeBackAfterANewModelSaveAndOpen) {
    const int family = gQel.Family;
    struct Round {
        int family, capacity;
        bool viewsBetween;
    };
    for (const Round r : {Round{family, 1, false}, Round{family, 0, true}, Round{(family + 2) % 3, 0, false},
                          Round{family, 1, true}}) {
        SCOPED_TRACE("family " + std::to_string(r.family) + " capacity " + std::to_string(r.capacity) +
                     (r.viewsBetween ? " views opened" : ""));
        frame_->NewClick();
        lad_ = _LDB;
        ASSERT_NE(lad_, nullptr);
        ASSERT_NO_FATAL_FAILURE(DrawPlant());
        const std::vector<std::uint8_t> drawn = Rows(3);
        messages_.Clear();

        ASSERT_TRUE(NewModel(r.family, r.capacity));
        ASSERT_EQ(gQel.CapacityIndex, r.capacity);
        ASSERT_EQ(gQel.Family, r.family);
        if (r.viewsBetween) {
            ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
            ViewLadder();
            EXPECT_EQ(Rows(3), drawn) << "the view drew the ladder again";
            ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        }
        Save();
        EXPECT_EQ(SavedLadderRows(), 3u) << "the save dropped the ladder's rows";

        frame_->NewClick();
        Open();
        ViewLadder();
        // The Save after a Save As onto the earlier round's set keeps that
        // round's backups aside and says where; nothing else is said.
        std::vector<std::string> shown = messages_.Shown();
        std::erase_if(shown, [](const std::string& m) { return m.rfind(gMsgTable.Get(kMsgBackupsKeptAside), 0) == 0; });
        EXPECT_TRUE(shown.empty()) << shown.front();
        EXPECT_EQ(Program(), plant_);
        EXPECT_EQ(Rows(3), drawn) << "the ladder was drawn again from the code";
        ASSERT_GE(gQel.RungComments.size(), 3u);
        EXPECT_EQ(gQel.RungComments[2], "abc");
        EXPECT_EQ(gQel.Modified, 0);
    }
}

TEST_F(LadderModelChangeTest, ALadderEditAfterANewModelGoesIntoTheProgram) {
    ASSERT_NO_FATAL_FAILURE(DrawPlant());
    const std::vector<std::uint8_t> drawn = Rows(3);
    ASSERT_TRUE(NewModel(gQel.Family, 1));
    ViewLadder();
    EXPECT_EQ(Rows(3), drawn) << "the ladder was drawn again from the code";
    messages_.Clear();
    Click(4, 1);
    KeyRung("X2", "Y2");
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    const Lines grown{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "OUT Y2"};
    EXPECT_EQ(Program(), grown);
    EXPECT_FALSE(lad_->Dirty());
    Save();
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_EQ(gQel.Modified, 0);
    frame_->NewClick();
    Open();
    EXPECT_EQ(Program(), grown);
}

// The ladder window closes for the new model: an edit of it compiles into the
// program first, and one that does not compile keeps the old model and the
// window on the edit.
TEST_F(LadderModelChangeTest, LadderEditsNotYetInTheProgramGoInBeforeANewModelOrKeepTheOldOne) {
    Click(0, 1);
    KeyRung("X0", "Y0");
    ASSERT_TRUE(lad_->Dirty());
    ASSERT_TRUE(Program().empty() || Program() == Lines{"END"});
    ASSERT_TRUE(NewModel(gQel.Family, 1));
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0"}));
    ASSERT_NE(lad_, nullptr);
    EXPECT_FALSE(lad_->Dirty());

    messages_.Clear();
    Click(2, 1);
    Key(Qt::Key_F1, "X1");  // a contact leading nowhere
    TLDB* edited = lad_;
    EXPECT_FALSE(NewModel(gQel.Family, 0));
    EXPECT_TRUE(Shown(kMsgCompileFailed));
    EXPECT_EQ(gQel.CapacityIndex, 1);
    EXPECT_EQ(_LDB, edited) << "the window closed over its edit";
    EXPECT_TRUE(edited->Dirty());
    EXPECT_EQ(Program(), (Lines{"LD X0", "OUT Y0"}));
}
