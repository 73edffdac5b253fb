// The checking tools' windows in the frame: the double-coil check, the
// device-use map and the batch compile test, driven as a user drives them.
#include <filesystem>
#include <fstream>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "instlist/Instredit.h"
#include "project/Qelglobals.h"
#include "tests/shell/FrameFixture.h"
#include "tools/Devuse.h"
#include "tools/Filecompiletestfrm.h"
#include "tools/Loopchk.h"
#include "tools/Toolsinstall.h"

namespace fs = std::filesystem;

namespace {

class ToolsWindowTest : public FrameTest {
protected:
    bool StartWithTools() {
        RegisterToolForms();
        if (!Start()) return false;
        InstallInstList(frame_.get());
        InstallTools(frame_.get());
        return true;
    }
    // Saves the lines as a program file in `dir` without its ladder file, so
    // that opening it rebuilds the ladder from the code.
    void SaveProgram(const fs::path& dir, const char* name, std::initializer_list<const char*> lines) {
        frame_->NewClick();
        PutProgram(lines);
        const fs::path path = dir / name;
        dialogs_.QueuePath(path.string());
        ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
        fs::remove(dir / (path.stem().string() + ".lad"));
    }
    static std::vector<std::string> MemoLines(QPlainTextEdit* memo) {
        std::vector<std::string> lines;
        for (const QString& l : memo->toPlainText().split('\n')) lines.push_back(l.toStdString());
        return lines;
    }
    bool WasShown(const std::string& text) const {
        for (const std::string& s : messages_.Shown())
            if (s.find(text) != std::string::npos) return true;
        return false;
    }
};

}  // namespace

TEST_F(ToolsWindowTest, DoubleCoilListJumpsToItsStepInTheInstructionList) {
    ASSERT_TRUE(StartWithTools());
    frame_->NewClick();
    PutProgram({"LD X0", "OUT Y0", "LD X1", "OUT Y0", "SET Y0", "END"});
    ASSERT_TRUE(frame_->MmLoopChk->isEnabled());
    frame_->MmLoopChk->trigger();
    ASSERT_TRUE(_DLChkFrm->isVisible());

    _DLChkFrm->Chk1->setChecked(true);
    QTest::mouseClick(_DLChkFrm->Chkstart, Qt::LeftButton);
    EXPECT_EQ(_DLChkFrm->Chkout->toPlainText(), QStringLiteral("Step 1:Y0\nStep 3:Y0"));
    _DLChkFrm->Chk5->setChecked(true);
    QTest::mouseClick(_DLChkFrm->Chkstart, Qt::LeftButton);
    EXPECT_EQ(_DLChkFrm->Chkout->toPlainText(), QStringLiteral("Step 1:Y0\nStep 3:Y0\nStep 4:Y0"));

    // The second line's step: the list opens with its caret on that instruction.
    ASSERT_TRUE(_DLChkFrm->JumpToLine(1));
    ASSERT_NE(_Inst, nullptr);
    EXPECT_EQ(_Inst->CursorLine, 3);
    EXPECT_EQ(gActiveView, 1);

    QTest::mouseClick(_DLChkFrm->Chkcancel, Qt::LeftButton);
    EXPECT_FALSE(_DLChkFrm->isVisible());
    EXPECT_FALSE(_DLChkFrm->Chk1->isChecked());
    EXPECT_TRUE(_DLChkFrm->Chkout->toPlainText().isEmpty());
}

TEST_F(ToolsWindowTest, DeviceUseMapShowsUsesAndAClickFindsTheFirstStep) {
    ASSERT_TRUE(StartWithTools());
    frame_->NewClick();
    PutProgram({"LD X0", "OUT Y0", "LD X1", "OUT Y7", "LD X2", "OUT Y10", "END"});
    bool checked = false;
    // The window is modal: look at it while it is up, then close it.
    QTimer::singleShot(0, frame_.get(), [&] {
        _DevUsed->DevSel->setCurrentText("Y");
        const TUseMapPage& page = _DevUsed->DevUseImage->Page();
        EXPECT_EQ(page[1].substr(0, 2), "Y0");
        EXPECT_EQ(page[1][11], 'U');
        EXPECT_EQ(page[1][11 + 2 * 7], 'U');
        EXPECT_EQ(page[2][11], 'U');  // Y10
        EXPECT_EQ(page[1][13], ' ');
        // The map is painted on white with the marks in black.
        const QImage image = _DevUsed->DevUseImage->grab().toImage();
        EXPECT_EQ(QColor(image.pixel(image.width() - 3, image.height() - 3)), QColor(Qt::white));
        EXPECT_TRUE(_DevUsed->ClickCell(2, 11));  // Y10 is used first at step 5
        _DevUsed->reject();
        checked = true;
    });
    frame_->MmDevUsedWin->trigger();
    ASSERT_TRUE(checked);
    ASSERT_NE(_Inst, nullptr);
    EXPECT_EQ(_Inst->CursorLine, 5);
    EXPECT_FALSE(_DevUsed->ClickCell(1, 13));  // Y1 is unused: no jump
}

TEST_F(ToolsWindowTest, BatchTestReportsEachFileAsItIsAndKeepsUnsavedWork) {
    ASSERT_TRUE(StartWithTools());
    const fs::path batch = projects_ / "batch";
    fs::create_directories(batch);
    SaveProgram(batch, "a_good.kzp", {"LD X0", "AND X1", "OUT Y0", "LD X2", "OUT M0", "END"});
    SaveProgram(batch, "b_checker.kzp", {"LD X0", "OUT Y0", "IRET", "END"});
    std::ofstream(batch / "c_damaged.kzp", std::ios::binary) << std::string(300, '\x5A');
    std::ofstream(batch / "notes.txt") << "not a program";

    // Unsaved work in the open project.
    frame_->NewClick();
    PutProgram({"LD X7", "OUT Y7", "END"});
    gQel.Modified = 1;
    const std::vector<std::uint8_t> work(gProgram, gProgram + gProgramUsed);

    ASSERT_TRUE(frame_->MmFileCompileTest->isEnabled());
    frame_->MmFileCompileTest->trigger();
    TFileCompileTest* test = _FileCompileTest;
    ASSERT_TRUE(test->isVisible());
    test->SetFolder(QString::fromStdString(batch.string()));
    ASSERT_EQ(test->FileListBox->count(), 3);
    test->PassCheck->setChecked(true);

    // Cancel at the save question: nothing starts, the work stays.
    messages_.QueueAnswer(qel::Answer::Cancel);
    QTest::mouseClick(test->ExtBtn, Qt::LeftButton);
    EXPECT_FALSE(test->Running());
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + gProgramUsed), work);
    EXPECT_EQ(gQel.Modified, 1);

    // Save it first, then run.
    const fs::path kept = projects_ / "kept.kzp";
    messages_.QueueAnswer(qel::Answer::Yes);
    dialogs_.QueuePath(kept.string());
    QTest::mouseClick(test->ExtBtn, Qt::LeftButton);
    ASSERT_TRUE(fs::exists(kept));
    EXPECT_TRUE(test->Running());
    EXPECT_TRUE(test->Test_Lab->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!test->Running(), 20000);
    EXPECT_FALSE(test->Test_Lab->isVisible());
    EXPECT_TRUE(WasShown("測試結束!!"));
    EXPECT_EQ(MemoLines(test->ResultMemo), (std::vector<std::string>{"a_good.kzp : 測試 OK!!",
                                                                      "b_checker.kzp :文法檢查錯誤!!",
                                                                      "c_damaged.kzp :開檔有問題!!"}));
    EXPECT_EQ(test->Shape->Lamp(), TBatchLamp::White);

    // The results file holds the lines, each ended by a line feed.
    const fs::path results = projects_ / "results.txt";
    dialogs_.QueuePath(results.string());
    QTest::mouseClick(test->ResultSaveBtn, Qt::LeftButton);
    std::ifstream in(results, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "a_good.kzp : 測試 OK!!\nb_checker.kzp :文法檢查錯誤!!\nc_damaged.kzp :開檔有問題!!\n");

    // A second run from the selected file, without the check, adds its lines.
    test->PassCheck->setChecked(false);
    test->FileListBox->setCurrentRow(1);
    QTest::mouseClick(test->ExtBtn, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!test->Running(), 20000);
    const std::vector<std::string> lines = MemoLines(test->ResultMemo);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[3], "b_checker.kzp : Ladder OK!!");
    EXPECT_EQ(lines[4], "c_damaged.kzp :開檔有問題!!");
    QTest::mouseClick(test->ClearTest, Qt::LeftButton);
    EXPECT_TRUE(test->ResultMemo->toPlainText().isEmpty());
}
