// The ladder compile: comment files, progress, and every failure with its
// rows, message and the previous code left intact. (Networks with their step
// map, labels and folded rows of every kind: the round trip, RoundTripTest.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "GridBuilder.h"
#include "IlProgram.h"
#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "ladder/model/LadderTempFiles.h"
#include "ladder/model/Laddercompile.h"
#include "platform/Paths.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "tests/support/TestInstallDir.h"

namespace {

using qel::test::Il;
using qel::test::ListingOf;
using qel::test::TGridBuilder;

class Compile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("qel-compile-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        qel::SetInstallDir(dir_);
        SetCurrentFamily(1);
        std::fill(pRows_, pRows_ + kPLabelCount, -1);
        std::fill(iRows_, iRows_ + kILabelCount, -1);
        code_.assign(3616, 0xFF);
        std::vector<std::string> msgs(249);
        for (std::size_t i = 0; i < msgs.size(); ++i) msgs[i] = "#" + std::to_string(i);
        gMsgTable.Assign(msgs);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    TCompileTarget Target(TGridBuilder& g, bool own = false) {
        TCompileTarget t;
        t.grid = g.Data();
        t.gridRows = g.Rows();
        t.lastRow = FindLastUsedRow(g.Data(), kLdbRowBytes, g.Rows() - 1);
        t.labels = TLabelTables{pRows_, iRows_};
        t.code = code_.data();
        t.capacity = static_cast<std::uint32_t>(code_.size());
        t.ownLadder = own;
        t.rowComments = &comments_;
        return t;
    }
    // The compiled code up to the first empty step.
    std::vector<std::uint8_t> Used() const {
        std::size_t n = 0;
        while (n + 1 < code_.size() && !(code_[n] == 0xFF && code_[n + 1] == 0xFF)) n += 2;
        return {code_.begin(), code_.begin() + n};
    }

    std::filesystem::path dir_;
    std::int32_t pRows_[kPLabelCount];
    std::int32_t iRows_[kILabelCount];
    std::vector<std::uint8_t> code_;
    std::vector<std::string> comments_;
};

TEST_F(Compile, EmptyGridGivesEmptyCode) {
    TGridBuilder g;
    code_[0] = 0x00;
    ASSERT_EQ(CompileLadder(Target(g)), 0);
    EXPECT_TRUE(Used().empty());
}

// Each way a compile fails: the failure code, the rows of the failing network,
// the message the caller shows, and the previous code left in place.
TEST_F(Compile, FailuresKeepThePreviousCode) {
    const std::vector<std::uint8_t> previous = [] {
        auto c = Il({"LD X7", "OUT Y7", "END"});
        c.resize(3616, 0xFF);
        return c;
    }();
    struct TCase {
        const char* what;
        std::function<void(TGridBuilder&)> draw;
        std::uint32_t capacity;
        std::uint8_t compileResult;
        std::int32_t firstRow, lastRow;
        std::string text;  // the whole failure text
    };
    const std::vector<TCase> cases = {
        {"a short-circuited second network (reported at the contact its wire bypasses)",
         [](TGridBuilder& g) {
             g.No(0, 0, "X0").Coil(0, 1, "Y0");
             g.No(2, 0, "X1").Coil(2, 1, "Y1").Wire(3, 0, 1).Down(2, 1);
         },
         3616, 0, 2, 3, "#33 [#14: 2 #15: 1 ] short circuit [#14: 2 - 3 ]"},
        {"crossing blocks (a bridge)",
         [](TGridBuilder& g) {
             g.No(0, 0, "X0").Coil(0, 1, "Y0");
             g.No(2, 0, "X0").No(2, 1, "X1").Coil(2, 2, "Y0");
             g.No(3, 1, "X5").Down(2, 1).Down(3, 2).Down(2, 3).Down(3, 3);
             g.No(4, 0, "X2").Wire(4, 1, 2).No(4, 2, "X3");
         },
         3616, 0, 2, 4, "#248 [#14: 2 #15: 1 ] BranchLine [#14: 2 - 4 ]"},
        {"a continuation row that no connector opens",
         [](TGridBuilder& g) {
             g.No(0, 0, "X0").Coil(0, 1, "Y0");
             g.Connector(1, 0, 4).No(1, 1, "X1").Coil(1, 2, "Y1");
         },
         3616, 0, 1, 1, "#33 [#14: 1 #15: 1 ] continuation without connector [#14: 1 - 1 ]"},
        {"a connector that nothing continues",
         [](TGridBuilder& g) {
             g.No(0, 0, "X0").No(0, 1, "X1").Coil(0, 2, "Y0");
             for (int c = 0; c < 11; ++c) g.No(2, c, "M" + std::to_string(c));
             g.Connector(2, 11, 7);
         },
         3616, 0, 2, 2, "#33 [#14: 2 #15: 12 ] connector without continuation [#14: 2 - 2 ]"},
        {"a rung of contacts ending in open wire (a dead end: only a transition's condition may end so)",
         [](TGridBuilder& g) { g.No(0, 0, "X0").Coil(0, 1, "Y0").No(2, 0, "X1").No(2, 1, "X2"); },
         3616, 0, 2, 2, "#33 [#14: 2 #15: 1 ] [#14: 2 - 2 ]"},
        {"a line the assembler refuses (a contact on a data register)",
         [](TGridBuilder& g) { g.No(0, 0, "X0").Coil(0, 1, "Y0").No(1, 0, "D0").Coil(1, 1, "Y1"); },
         3616, 1, 1, 1, "#159 [#14: 1 - 1 ]\nCommands: LD  D0"},
        {"a program that does not fit (LD X0, OUT Y0, LD X1 fit; OUT Y1 does not)",
         [](TGridBuilder& g) { g.No(0, 0, "X0").Coil(0, 1, "Y0").No(1, 0, "X1").Coil(1, 1, "Y1"); },
         6, 2, 1, 1, "#20"},
    };
    for (const TCase& k : cases) {
        SCOPED_TRACE(k.what);
        code_ = previous;
        TGridBuilder g;
        k.draw(g);
        g.Renormalise();
        TCompileTarget t = Target(g, true);
        t.capacity = k.capacity;
        EXPECT_EQ(CompileLadder(t), 1);
        EXPECT_EQ(gCompileResult, k.compileResult);
        EXPECT_EQ(gNetworkStartRow, k.firstRow);
        EXPECT_EQ(gNextNetworkRow - 1, k.lastRow);
        EXPECT_EQ(CompileFailureText(), k.text);
        EXPECT_EQ(code_, previous);
        EXPECT_FALSE(std::filesystem::exists(ProgramCommentFiles().blockFile));
    }
    EXPECT_EQ(gCompileCodeOffset, 6u) << "nothing of the line that does not fit is written";
}

TEST_F(Compile, CommentsGoToTheFilesOfTheCode) {
    TGridBuilder g;
    g.Comment(0, "first rung");
    g.No(1, 0, "X0").Coil(1, 1, "Y0");
    g.Comment(2, "inside");
    g.No(3, 0, "X1").Coil(3, 1, "Y1");
    g.Comment(4, "after");
    g.Renormalise();
    comments_ = {"", "", "", "lamp"};
    ASSERT_EQ(CompileLadder(Target(g, true)), 0) << CompileFailureText();
    const auto used = Used();
    TSavedComments saved;
    ASSERT_TRUE(LoadCommentFilesFor(ProgramCommentFiles(), code_.data(), static_cast<std::uint32_t>(used.size()), saved));
    ASSERT_EQ(saved.blocks.size(), 3u);
    EXPECT_EQ(saved.blocks[0].offset, 0);
    EXPECT_EQ(saved.blocks[1].offset, 4) << "a comment row stands before the next network";
    EXPECT_EQ(saved.blocks[2].offset, used.size()) << "after the last network: the used length";
    EXPECT_EQ(BlockCommentText(saved.blocks[1].row), "inside");
    EXPECT_EQ(saved.rows, (std::vector<TRowComment>{{3, "lamp"}}));

    // A failed compile restores the code and leaves the comment files of that
    // code as they were, so the next conversion still finds its comments.
    const std::vector<std::uint8_t> image = code_;
    g.No(5, 0, "D0").Coil(5, 1, "Y2").Renormalise();
    comments_ = {"", "", "", "changed"};
    ASSERT_EQ(CompileLadder(Target(g, true)), 1);
    ASSERT_EQ(code_, image);
    TSavedComments kept;
    ASSERT_TRUE(LoadCommentFilesFor(ProgramCommentFiles(), code_.data(), static_cast<std::uint32_t>(used.size()), kept));
    ASSERT_EQ(kept.blocks.size(), 3u);
    EXPECT_EQ(BlockCommentText(kept.blocks[2].row), "after");
    EXPECT_EQ(kept.rows, saved.rows);
    for (const auto& f : std::filesystem::directory_iterator(ProgramCommentFiles().blockFile.parent_path())) {
        EXPECT_NE(f.path().extension(), ".new") << "a failed compile leaves nothing of its own";
    }
}

class TRecordingProgress final : public TCompileProgress {
public:
    void SetMaximum(std::int32_t rows) override { max = rows; }
    void SetPosition(std::int32_t row) override { positions.push_back(row); }
    std::int32_t max = -1;
    std::vector<std::int32_t> positions;
};

TEST_F(Compile, ProgressFollowsTheRows) {
    TGridBuilder g;
    g.No(0, 0, "X0").Coil(0, 1, "Y0").No(1, 0, "X1").Coil(1, 1, "Y1").No(2, 0, "X2").Coil(2, 1, "Y2").Renormalise();
    TRecordingProgress p;
    ASSERT_EQ(CompileLadder(Target(g), &p), 0);
    EXPECT_EQ(p.max, 3);
    EXPECT_EQ(p.positions, (std::vector<std::int32_t>{0, 1, 2, 3}));
}

// The compile's own files in Temp/ are never written through a link: one
// planted under each name the compile writes (or once wrote) leaves the
// file it points to as it was, and the compile still gives its code and
// keeps its comments.
TEST_F(Compile, TempFilesNeverFollowALinkPlantedUnderTheirNames) {
    std::filesystem::remove_all(dir_ / "Temp");
    TGridBuilder g;
    g.Comment(0, "pump");
    g.No(1, 0, "X0").Coil(1, 1, "Y0");
    g.Renormalise();
    comments_ = {"", "lamp"};
    const TCommentFilePaths files = ProgramCommentFiles();
    EXPECT_EQ(std::filesystem::status(dir_ / "Temp").permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all)
        << "Temp/ is the user's alone";
    const auto plus = [](std::filesystem::path p, const char* s) { return p += s; };
    for (const std::filesystem::path& planted :
         {dir_ / "Temp" / "symtable.pas", plus(files.StampFile(), ".new"), plus(files.blockFile, ".new"),
          plus(files.rowFile, ".new")}) {
        SCOPED_TRACE(planted.filename().string());
        DiscardCommentFiles(files);
        EXPECT_TRUE(qel::test::SavesPastALinkPlantedAt(planted, [&] {
            code_.assign(3616, 0xFF);
            if (CompileLadder(Target(g, true)) != 0) return false;
            TSavedComments saved;
            return Used() == Il({"LD X0", "OUT Y0"}) &&
                   LoadCommentFilesFor(files, code_.data(), static_cast<std::uint32_t>(Used().size()), saved) &&
                   saved.blocks.size() == 1 && saved.rows == std::vector<TRowComment>{{1, "lamp"}};
        }));
    }
}

}  // namespace

// A label marks the instruction its rung starts with. Beside an empty row, a
// block comment, a rung's later row or below the last rung it marks nothing:
// the compile fails at its row with its message and keeps the previous code,
// as for any drawing that cannot go in. Beside a rung's first row it goes in.
TEST_F(Compile, ALabelBesideARowWhereNoRungStartsFailsTheCompile) {
    std::vector<std::string> msgs(270);
    for (std::size_t i = 0; i < msgs.size(); ++i) msgs[i] = "#" + std::to_string(i);
    gMsgTable.Assign(msgs);
    // X0 or X1 to Y0 on rows 0-1, an empty row, "Pump" on row 3, X2 to Y2 on row 4.
    auto draw = [](TGridBuilder& g) {
        g.No(0, 0, "X0").Coil(0, 1, "Y0").No(1, 0, "X1").Down(0, 1);
        g.Comment(3, "Pump").No(4, 0, "X2").Coil(4, 1, "Y2");
        g.Renormalise();
    };
    const std::vector<std::uint8_t> previous = [] {
        auto c = Il({"LD X7", "OUT Y7"});
        c.resize(3616, 0xFF);
        return c;
    }();
    for (const std::int32_t row : {1, 2, 3, 5}) {
        SCOPED_TRACE(row);
        code_ = previous;
        std::fill(pRows_, pRows_ + kPLabelCount, -1);
        pRows_[3] = row;
        TGridBuilder g;
        draw(g);
        EXPECT_EQ(CompileLadder(Target(g)), 1);
        EXPECT_EQ(gNetworkStartRow, row);
        EXPECT_EQ(CompileFailureText(),
                  "#265 [#14: " + std::to_string(row) + " #15: 0 ] [#14: " + std::to_string(row) + " - " +
                      std::to_string(row) + " ]");
        EXPECT_EQ(code_, previous);
    }
    // An interrupt label past the last rung fails as well.
    std::fill(pRows_, pRows_ + kPLabelCount, -1);
    iRows_[10] = 9;
    TGridBuilder g;
    draw(g);
    EXPECT_EQ(CompileLadder(Target(g)), 1);
    EXPECT_EQ(gNetworkStartRow, 9);
    // Beside the rungs' first rows both go in, before their rungs.
    iRows_[10] = 0;
    pRows_[3] = 4;
    ASSERT_EQ(CompileLadder(Target(g)), 0);
    EXPECT_EQ(Used(), Il({"I010", "LD X0", "OR X1", "OUT Y0", "P3", "LD X2", "OUT Y2"}));
}
