// The chart and the program's ladder are two forms of one program. When both
// hold edits the program does not have, the frame asks which to keep before
// either goes in; a save that leaves the ladder's edits out says so; a chart
// that does not convert says where and puts the cursor there.
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <vector>

#include <QKeySequence>

#include "project/Ladderstamp.h"
#include "sfc/model/Sfcelement.h"
#include "sfc/model/Sfctocode.h"
#include "sfc/window/Sfcwin.h"
#include "tests/ladder/editor/LadderFrameFixture.h"
#include "tests/shell/ScriptedFileDialogs.h"

namespace fs = std::filesystem;

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

constexpr int kMsgChartOrLadder = 254;
constexpr int kMsgLadderEditsNotSaved = 255;
constexpr int kMsgLadderNotOfProgram = 251;

class ChartCommitTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallSfc(frame_.get()); }
    QSize FrameSize() const override { return {1200, 800}; }

    // Keys pressed in the chart by name ("Down", "F5"); "F3=20" is a numbered
    // element's key and the number typed into its editor.
    void Draw(const std::string& keys) {
        std::istringstream in(keys);
        for (std::string k; in >> k;) {
            const std::size_t eq = k.find('=');
            const QKeyCombination key = QKeySequence(QString::fromStdString(k.substr(0, eq)))[0];
            QTest::keyClick(sfc_, key.key(), key.keyboardModifiers());
            if (eq == std::string::npos) continue;
            ASSERT_TRUE(sfc_->SfcEdit_Txt->isVisible()) << k;
            sfc_->SfcEdit_Txt->selectAll();
            QTest::keyClicks(sfc_->SfcEdit_Txt, QString::fromStdString(k.substr(eq + 1)));
            QTest::keyClick(sfc_->SfcEdit_Txt, Qt::Key_Return);
        }
    }
    std::vector<std::uint8_t> Code() { return {gProgram, gProgram + gProgramUsed}; }
    std::vector<std::uint8_t> ConditionCode() {
        const TSfcCodeRec* rec = FindSfcCodeRec(1, 0);
        return rec ? rec->code : std::vector<std::uint8_t>{};
    }
    fs::path Project(const char* ext) const { return home_ / (std::string("plant") + ext); }

    // A chart S0 -> (X5) -> jump to S0 put into the program by the frame's
    // command; the ladder is drawn from that code.
    void ChartInProgram() {
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        sfc_ = _Sfc;
        ASSERT_NE(sfc_, nullptr);
        Draw("F2=0 Down F5 Down F4=0");
        ASSERT_TRUE(StoreSfcElementCode(1, 0, Assemble({"LD X5"})));
        ASSERT_TRUE(frame_->RunCommand("MmSfcToCode"));
        ASSERT_EQ(Code(), Assemble({"STL S0", "LD X5", "OUT S0", "RET"}));
        ASSERT_FALSE(sfc_->HoldsEdits());
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        QCoreApplication::processEvents();
        ASSERT_FALSE(lad_->Dirty());
        drawn_ = LadderRows();
        messages_.Clear();
    }
    // Both hold edits: a rung typed on the ladder's row 10, which compiles,
    // with the ladder still the active view; the transition's condition
    // changed as its inner view stores it.
    void BothEdited() {
        ChartInProgram();
        Click(10, 1);
        KeyRung("X1", "Y1");
        ASSERT_TRUE(lad_->Dirty());
        ASSERT_TRUE(StoreSfcElementCode(1, 0, Assemble({"LD X6"})));
        ASSERT_TRUE(sfc_->HoldsEdits());
        before_ = Code();
        edited_ = LadderRows();
        ASSERT_NE(edited_, drawn_);
    }
    // The frame's Save, naming the project, answering the question.
    void SaveAnswering(qel::Answer a) {
        messages_.QueueAnswer(a);
        dialogs_.QueuePath(Project(".kzp").string());
        frame_->RunCommand("MmSave");
        QCoreApplication::processEvents();
        ASSERT_EQ(messages_.Asked().size(), 1u);
        EXPECT_EQ(messages_.Asked()[0], gMsgTable.Get(kMsgChartOrLadder));
        EXPECT_FALSE(Shown(kMsgLadderNotOfProgram));
    }
    static std::vector<std::uint8_t> LadderRows() {
        return {gLadderRows, gLadderRows + static_cast<std::size_t>(kLadderRows) * kLadderRowBytes};
    }

    ScriptedFileDialogs dialogs_;
    TSfc* sfc_ = nullptr;
    std::vector<std::uint8_t> before_;
    std::vector<std::uint8_t> drawn_;   // the ladder drawn from the chart's code
    std::vector<std::uint8_t> edited_;  // the ladder with the typed rung
};

TEST_F(ChartCommitTest, KeepingTheChartPutsItInAndDrawsTheLadderFromTheCode) {
    BothEdited();
    SaveAnswering(qel::Answer::Yes);
    EXPECT_EQ(Code(), Assemble({"STL S0", "LD X6", "OUT S0", "RET"}));
    EXPECT_FALSE(lad_->Dirty());
    // The rows the typed rung changed are as the code draws them again.
    const std::vector<std::uint8_t> now = LadderRows();
    for (int row = 0; row < kLadderRows; ++row) {
        const auto at = static_cast<std::ptrdiff_t>(row) * kLadderRowBytes;
        if (!std::equal(edited_.begin() + at, edited_.begin() + at + kLadderRowBytes, drawn_.begin() + at))
            EXPECT_TRUE(std::equal(now.begin() + at, now.begin() + at + kLadderRowBytes, drawn_.begin() + at))
                << "row " << row << " still holds the typed rung";
    }
    EXPECT_TRUE(LadderMatchesProgram());
    EXPECT_FALSE(sfc_->HoldsEdits());
    EXPECT_FALSE(Shown(kMsgLadderEditsNotSaved));
    EXPECT_TRUE(fs::exists(Project(".lad")));
    EXPECT_EQ(gQel.Modified, 0);
}

TEST_F(ChartCommitTest, KeepingTheLadderPutsItsRungInAndTakesTheChartBack) {
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

TEST_F(ChartCommitTest, CancelKeepsBothAndSavesNothing) {
    BothEdited();
    SaveAnswering(qel::Answer::Cancel);
    EXPECT_EQ(Code(), before_);
    EXPECT_TRUE(lad_->Dirty());
    EXPECT_TRUE(LadderRows() == edited_);
    EXPECT_EQ(ConditionCode(), Assemble({"LD X6"}));
    EXPECT_TRUE(sfc_->HoldsEdits());
    EXPECT_FALSE(fs::exists(Project(".kzp")));
}

// The ladder's edits did not compile when it was left; the chart was edited
// after. Leaving the chart asks before converting it: the ladder's edits are
// not left behind code they can never be compiled over.
TEST_F(ChartCommitTest, LeavingTheChartAsksWhenTheLaddersEditsAreNotIn) {
    ChartInProgram();
    Click(10, 1);
    Key(Qt::Key_F1, "X1");  // a contact with no output
    ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
    QCoreApplication::processEvents();
    ASSERT_TRUE(lad_->Dirty());
    ASSERT_TRUE(StoreSfcElementCode(1, 0, Assemble({"LD X6"})));
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
TEST_F(ChartCommitTest, SaveWithLadderEditsOutsideTheProgramSaysSo) {
    ChartInProgram();
    Click(10, 1);
    Key(Qt::Key_F1, "X1");  // a contact with no output
    ASSERT_TRUE(lad_->Dirty());
    dialogs_.QueuePath(Project(".kzp").string());
    frame_->RunCommand("MmSave");
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(kMsgLadderEditsNotSaved) + " " + Project(".lad").string()));
    EXPECT_TRUE(fs::exists(Project(".kzp")));
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_TRUE(lad_->Dirty());
}

// The chart's walk stops at a step no initial step leads to: the message
// names its cell and the chart's cursor goes there, from the frame's command
// and from the commit when another view takes over.
TEST_F(ChartCommitTest, AChartThatDoesNotConvertShowsWhereAndTheCursorGoesThere) {
    ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
    sfc_ = _Sfc;
    ASSERT_NE(sfc_, nullptr);
    // A LAD block ends the chain; the step below it has no initial step.
    Draw("F2=0 Down F5 Down F4=0 Down F1 Down Down Right Right F3=30 Home Up Up Up Up Up");
    ASSERT_TRUE(StoreSfcElementCode(1, 0, Assemble({"LD X5"})));
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

}  // namespace
