// The checking tools' windows in the frame: the double-coil check, the
// device-use map and the batch compile test, driven as a user drives them.
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWindow>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTableWidget>

#include "core/Codetranslate.h"
#include "instlist/EdDlg.h"
#include "instlist/Instredit.h"
#include "ladder/edit/Laddertexts.h"
#include "ladder/editor/Ladder.h"
#include "ladder/model/Lad.h"
#include "ladder/render/Ladderpainter.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "sfc/model/Sfcchart.h"
#include "sfc/window/Sfcwin.h"
#include "tools/windows/Comdlg.h"
#include "tools/windows/Devcomment.h"
#include "tools/windows/Linecmt.h"
#include "tools/windows/Searchdlg.h"
#include "ladder/model/LadderGrid.h"
#include "tools/check/Comments.h"
#include "project/Qelglobals.h"
#include "tests/support/ListTyping.h"
#include "tests/shell/FrameFixture.h"
#include "tools/windows/Devuse.h"
#include "tools/windows/Filecompiletestfrm.h"
#include "tools/windows/Loopchk.h"
#include "tools/windows/Toolsinstall.h"
#include "tests/support/WaitLimit.h"

namespace fs = std::filesystem;

namespace {

class ToolsWindowTest : public FrameTest {
protected:
    // Starts the frame with the tools (and the ladder window) over a new
    // project holding `lines`.
    void StartWithTools(std::initializer_list<const char*> lines, bool ladder = false) {
        RegisterToolForms();
        ASSERT_TRUE(Start());
        InstallInstList(frame_.get());
        InstallTools(frame_.get());
        if (ladder) InstallLadder(frame_.get());
        frame_->NewClick();
        PutProgram(lines);
    }
    // Opens find and replace, finds `device` and gives the answers to its questions.
    void Find(const char* device, std::initializer_list<qel::Answer> answers = {qel::Answer::No}) {
        frame_->MmRep->trigger();
        SearchDlg->SearchPage->setCurrentIndex(0);
        SearchDlg->SearchDevName->setText(device);
        for (qel::Answer a : answers) messages_.QueueAnswer(a);
        QTest::mouseClick(SearchDlg->Find, Qt::LeftButton);
    }
    // Replaces `from` by `to` (of the types named, if any) from the start.
    void Replace(const char* from, const char* to, std::initializer_list<qel::Answer> answers,
                 const char* fromType = nullptr, const char* toType = nullptr) {
        frame_->MmRep->trigger();
        SearchDlg->SearchPage->setCurrentIndex(1);
        SearchDlg->SearchDev->setText(from);
        SearchDlg->RepDev->setText(to);
        if (fromType) SearchDlg->SearchType->setCurrentText(fromType);
        if (toType) SearchDlg->RepType->setCurrentText(toType);
        SearchDlg->SearchStart.SetItemIndex(1);
        for (qel::Answer a : answers) messages_.QueueAnswer(a);
        QTest::mouseClick(SearchDlg->Rep, Qt::LeftButton);
    }
    // Runs `open`, which shows a modal window, and `look` while the window is up.
    bool WhileModal(const std::function<void()>& look, const std::function<void()>& open) {
        bool seen = false;
        QTimer::singleShot(0, frame_.get(), [&] {
            look();
            seen = true;
        });
        open();
        return seen;
    }
};

}  // namespace

TEST_F(ToolsWindowTest, DoubleCoilListJumpsToItsStepInTheInstructionList) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools({"LD X0", "OUT Y0", "LD X1", "OUT Y0", "SET Y0", "END"}));
    ASSERT_TRUE(frame_->MmLoopChk->isEnabled());
    frame_->MmLoopChk->trigger();
    ASSERT_TRUE(_DLChkFrm->isVisible());

    _DLChkFrm->Chk1->setChecked(true);
    QTest::mouseClick(_DLChkFrm->Chkstart, Qt::LeftButton);
    EXPECT_EQ(_DLChkFrm->Chkout->toPlainText(), QStringLiteral("Step 1:Y0\nStep 3:Y0"));  // kinds: DoubleCoilTest

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
    ASSERT_NO_FATAL_FAILURE(StartWithTools({"LD X0", "OUT Y0", "LD X1", "OUT Y7", "LD X2", "OUT Y10", "END"}));
    // The window is modal: look at it while it is up, then close it.
    ASSERT_TRUE(WhileModal([&] {
        _DevUsed->DevSel->setCurrentText("Y");  // the page's rows are the model's (DeviceUseMapTest)
        // The map is painted on white with the marks in black.
        const QImage image = _DevUsed->DevUseImage->grab().toImage();
        EXPECT_EQ(QColor(image.pixel(image.width() - 3, image.height() - 3)), QColor(Qt::white));
        // Done scanning: the status names the source read, not work in progress.
        const QString status = _DevUsed->DevUseStatus->currentMessage();
        EXPECT_TRUE(status.contains("program")) << status.toStdString();
        EXPECT_FALSE(status.contains("...")) << status.toStdString();
        EXPECT_TRUE(_DevUsed->ClickCell(2, 11));  // Y10 is used first at step 5
        _DevUsed->reject();
    }, [&] { frame_->MmDevUsedWin->trigger(); }));
    ASSERT_NE(_Inst, nullptr);
    EXPECT_EQ(_Inst->CursorLine, 5);
    EXPECT_FALSE(_DevUsed->ClickCell(1, 13));  // Y1 is unused: no jump
}

TEST_F(ToolsWindowTest, BatchTestReportsEachFileAsItIsAndKeepsUnsavedWork) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools({}));
    const fs::path batch = projects_ / "batch";
    fs::create_directories(batch);
    SaveProgram(batch / "a_good.kzp", {"LD X0", "AND X1", "OUT Y0", "LD X2", "OUT M0", "END"});
    SaveProgram(batch / "b_checker.kzp", {"LD X0", "OUT Y0", "IRET", "END"});
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
    QTRY_VERIFY_WITH_TIMEOUT(!test->Running(), qel::test::kWaitLimitMs);
    EXPECT_FALSE(test->Test_Lab->isVisible());
    // The damaged file is logged, with no box waiting for OK; only the end is announced.
    EXPECT_EQ(messages_.Shown(), std::vector<std::string>{"測試結束!!"});
    const std::string firstRun = "a_good.kzp : 測試 OK!!\nb_checker.kzp :文法檢查錯誤!!\nc_damaged.kzp :開檔有問題!!";
    EXPECT_EQ(test->ResultMemo->toPlainText().toStdString(), firstRun);
    EXPECT_EQ(test->Shape->Lamp(), TBatchLamp::White);

    // The results file holds the lines, each ended by a line feed.
    const fs::path results = projects_ / "results.txt";
    dialogs_.QueuePath(results.string());
    QTest::mouseClick(test->ResultSaveBtn, Qt::LeftButton);
    std::ifstream in(results, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, firstRun + "\n");

    // A second run from the selected file, without the check, adds its lines.
    test->PassCheck->setChecked(false);
    test->FileListBox->setCurrentRow(1);
    QTest::mouseClick(test->ExtBtn, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!test->Running(), qel::test::kWaitLimitMs);
    EXPECT_EQ(test->ResultMemo->toPlainText().toStdString(),
              firstRun + "\nb_checker.kzp : Ladder OK!!\nc_damaged.kzp :開檔有問題!!");
    QTest::mouseClick(test->ClearTest, Qt::LeftButton);
    EXPECT_TRUE(test->ResultMemo->toPlainText().isEmpty());
}

namespace {

// Pixels of the ladder window's viewport near a colour (text is antialiased).
int CountNear(const QImage& image, QColor c) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor p(image.pixel(x, y));
            if (std::abs(p.red() - c.red()) < 40 && std::abs(p.green() - c.green()) < 40 &&
                std::abs(p.blue() - c.blue()) < 40)
                ++n;
        }
    return n;
}

void SelectRow(TDevCom* w, int row) {
    w->CommentGrid->clearSelection();
    w->CommentGrid->setRangeSelected(QTableWidgetSelectionRange(row, 0, row, 1), true);
}

}  // namespace

TEST_F(ToolsWindowTest, QuickDialogStoresEveryKeyAndRefusesWhatCannotBeStored) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools({"LD X17", "OUT M17", "END"}));
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    ASSERT_NE(_Inst, nullptr);
    ASSERT_TRUE(WhileModal([&] {
        ASSERT_EQ(_CommentDlg->DeviceListBox->count(), 1);
        EXPECT_EQ(_CommentDlg->DeviceListBox->item(0)->text(), QStringLiteral("X17"));
        QTest::keyClicks(_CommentDlg->DevCmt_Txt, "AB");
        EXPECT_EQ(GetDeviceComment('X', 15), "AB");
        // Chinese comes through the input method, as on a real desktop.
        QInputMethodEvent ime;
        ime.setCommitString(QStringLiteral("启动"));
        QApplication::sendEvent(_CommentDlg->DevCmt_Txt, &ime);
        EXPECT_EQ(GetDeviceComment('X', 15), "AB启动");
        // Past the stored limit: refused whole, the comment stays.
        QTest::keyClicks(_CommentDlg->DevCmt_Txt, QString(60, QLatin1Char('x')));
        EXPECT_LE(GetDeviceComment('X', 15).size(), kDeviceCommentMaxBytes);
        EXPECT_EQ(_CommentDlg->DevCmt_Txt->text().toStdString(), GetDeviceComment('X', 15));
        QTest::mouseClick(_CommentDlg->CancelBtn, Qt::LeftButton);
    }, [&] { QTest::keyClick(_Inst, Qt::Key_F2, Qt::ControlModifier); }));
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(247)));

    // A device the family does not have: message 0 and nothing can be typed.
    messages_.Clear();
    EXPECT_TRUE(WhileModal([&] {
        EXPECT_FALSE(_CommentDlg->DevCmt_Txt->isEnabled());
        _CommentDlg->accept();
    }, [&] { EXPECT_TRUE(ShowDeviceCommentDialog({"M5000"})); }));
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(0)));
    // No device at all: message 40, no dialog.
    EXPECT_FALSE(ShowDeviceCommentDialog({}));
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(40)));
}

TEST_F(ToolsWindowTest, DeviceCommentWindowEditsCopiesAndPastesWithinTheRows) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools({}));
    ASSERT_TRUE(frame_->RunCommand("MmCmtWin"));
    TDevCom* w = _DevCom;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(gActiveView, TDevCom::kView);
    w->SelectLetter(5);  // C, family 0: rows C0-C127, then C235 up
    ASSERT_EQ(w->CommentGrid->item(128, 0)->text(), QStringLiteral("C235"));

    gQel.Modified = 0;
    w->CommentGrid->item(1, 1)->setText(QStringLiteral("A"));
    w->CommentGrid->item(2, 1)->setText(QStringLiteral("BC"));
    EXPECT_EQ(GetDeviceComment('C', 1), "A");
    EXPECT_EQ(gQel.Modified, 1);
    w->CommentGrid->item(3, 1)->setText(QString(70, QLatin1Char('z')));  // too long: refused
    EXPECT_TRUE(GetDeviceComment('C', 3).empty());
    EXPECT_TRUE(w->CommentGrid->item(3, 1)->text().isEmpty());

    w->CommentGrid->setRangeSelected(QTableWidgetSelectionRange(1, 0, 2, 1), true);
    ASSERT_TRUE(frame_->RunCommand("MmCopy"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("A\r\nBC\r\n"));

    // Pasted at C235 (the row after C127); past the last row lines are dropped.
    SelectRow(w, 128);
    ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    EXPECT_EQ(GetDeviceComment('C', 235), "A");
    EXPECT_EQ(GetDeviceComment('C', 236), "BC");
    SelectRow(w, 140);
    ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    EXPECT_EQ(GetDeviceComment('C', 254), "A");
    // Between kinds: the same rows into the D tab.
    w->SelectLetter(6);
    SelectRow(w, 0);
    ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    EXPECT_EQ(GetDeviceComment('D', 1), "BC");

    // Delete clears the stored comments of the selected rows.
    SelectRow(w, 0);
    QTest::keyClick(w->CommentGrid, Qt::Key_Delete);
    EXPECT_TRUE(GetDeviceComment('D', 0).empty());

    // The used page lists every commented device in letter order.
    w->DevCmtPgCtrl->setCurrentIndex(1);
    QStringList used;
    for (int r = 0; r < w->CommentUsedGrid->rowCount(); ++r) used << w->CommentUsedGrid->item(r, 0)->text();
    EXPECT_LT(used.indexOf("C1"), used.indexOf("C235"));
    EXPECT_LT(used.indexOf("C254"), used.indexOf("D1"));
    EXPECT_EQ(used.indexOf("D0"), -1);
    EXPECT_FALSE(frame_->MmPaste->isEnabled());

    // Printed rows land where the page geometry puts them.
    QImage page(400, 300, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        p.setPen(Qt::black);
        w->PrintComments(p, 0, 2, CommentPageGeometry(false, 400, 300, 12));
    }
    EXPECT_GT(CountNear(page.copy(10, 7 * 12, 60, 3 * 12), Qt::black), 0);
    EXPECT_EQ(CountNear(page.copy(10, 7 * 12 + 3 * 12, 300, 60), Qt::black), 0);
}

TEST_F(ToolsWindowTest, CommentsShowInTheLadderAndSurviveSaveAndReopen) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"}, true));
    TLDB* ladder = OpenLadderWindow(frame_.get());
    ASSERT_NE(ladder, nullptr);
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    ASSERT_GT(gLadderRowCount, 0);
    frame_->RunCommand("MmCmtType");  // comments shown in the ladder
    ASSERT_EQ(gShowComments, 1);
    auto shot = [&] { return ladder->viewport()->grab().toImage(); };
    EXPECT_EQ(CountNear(shot(), LadderColors::DeviceComment), 0);
    EXPECT_EQ(CountNear(shot(), LadderColors::RungComment), 0);

    // The rung-comment window from the ladder's Ctrl+F12: row 0 ends in a
    // coil, and typing at once edits the comment of the ladder's row.
    ASSERT_TRUE(WhileModal([&] {
        EXPECT_GE(_OutCmt->LineCmt->rowCount(), 2);
        EXPECT_EQ(_OutCmt->LineCmt->item(0, 0)->text(), QStringLiteral("*0"));
        QTest::keyClick(_OutCmt->LineCmt, 'M');
        if (auto* editor = _OutCmt->LineCmt->findChild<QLineEdit*>()) {
            QTest::keyClicks(editor, QStringLiteral("ain motor"));
            QInputMethodEvent ime;  // Chinese comes through the input method
            ime.setCommitString(QStringLiteral(" 主马达"));
            QApplication::sendEvent(editor, &ime);
            QTest::keyClick(editor, Qt::Key_Return);
            QCoreApplication::processEvents();  // the delegate commits on the next turn
        }
        _OutCmt->accept();
    }, [&] { QTest::keyClick(ladder, Qt::Key_F12, Qt::ControlModifier); }));
    ASSERT_FALSE(gQel.RungComments.empty());
    EXPECT_EQ(gQel.RungComments[0], "Main motor 主马达");
    ASSERT_TRUE(SetDeviceComment("X0", "启动按钮"));
    ladder->RepaintLadder();
    EXPECT_GT(CountNear(shot(), LadderColors::DeviceComment), 0);
    // The rung comment stands right of the twelfth cell.
    ladder->horizontalScrollBar()->setValue(ladder->horizontalScrollBar()->maximum());
    EXPECT_GT(CountNear(shot(), LadderColors::RungComment), 0);

    const fs::path path = projects_ / "commented.kzp";
    dialogs_.QueuePath(path.string());
    ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
    // New and Open each open the ladder on the program; the reopened ladder
    // numbers its networks as the one drawn from the code did.
    const std::vector<TStepMark> marks = gMarkList;
    ASSERT_EQ(marks.size(), 2u);
    for (const bool open : {false, true}) {
        frame_->DestroyEditors();
        if (open) dialogs_.QueuePath(path.string());
        ASSERT_TRUE(frame_->RunCommand(open ? "MmOpen" : "MmNew"));
        ASSERT_NE(_LDB, nullptr) << open;
        EXPECT_EQ(gActiveView, 2);
        EXPECT_TRUE(_LDB->isVisible());
        if (!open) {
            EXPECT_TRUE(gQel.RungComments.empty() || gQel.RungComments[0].empty());
        }
    }
    EXPECT_EQ(gMarkList, marks);
    const QImage reopened = _LDB->viewport()->grab().toImage();
    EXPECT_GT(CountNear(reopened.copy(0, 0, gCellWidth - 2, reopened.height()), LadderColors::Step), 0);
    EXPECT_EQ(GetDeviceComment('X', 0), "启动按钮");
    ASSERT_FALSE(gQel.RungComments.empty());
    EXPECT_EQ(gQel.RungComments[0], "Main motor 主马达");
}

TEST_F(ToolsWindowTest, FindAndReplaceInTheInstructionListIsOneUndoStep) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools({"LD X0", "OUT Y0", "LD X1", "OUT Y0", "MOV D10 D11", "END"}));
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    ASSERT_TRUE(frame_->MmRep->isEnabled());

    // Find X1 from the cursor: the caret lands on its line; "No" ends the walk.
    Find("x1");
    EXPECT_FALSE(SearchDlg->isVisible());
    EXPECT_EQ(_Inst->CursorLine, 2);
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(64)));

    // A lone letter is refused and the dialog stays.
    Find("X", {});
    EXPECT_TRUE(SearchDlg->isVisible());
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(0)));

    // Replace all Y0 by Y7 from the start: one undo step gives back the code.
    const std::vector<std::uint8_t> before(gProgram, gProgram + gProgramUsed);
    Replace("Y0", "Y7", {qel::Answer::All});
    EXPECT_EQ(_Inst->Edit().LineText(1), "OUT Y7");
    EXPECT_EQ(_Inst->Edit().LineText(3), "OUT Y7");
    EXPECT_EQ(gQel.Modified, 1);
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + gProgramUsed), before);
    EXPECT_FALSE(frame_->MmUndo->isEnabled());

    // A word device into a contact: refused with "All", the program byte-identical.
    Replace("X0", "D0", {qel::Answer::All});
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + gProgramUsed), before);
    EXPECT_FALSE(frame_->MmUndo->isEnabled());
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(148)));
}

TEST_F(ToolsWindowTest, FindAndReplaceInTheLadderLandOnTheCell) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools({"LD X0", "AND X1", "OUT Y0", "LD X2", "MOV K5 D0", "END"}, true));
    TLDB* ladder = OpenLadderWindow(frame_.get());
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    ASSERT_EQ(gActiveView, 2);
    ASSERT_TRUE(frame_->MmRep->isEnabled());
    // Ctrl+F in the ladder: what is typed goes into the active page's field.
    // (The frame is the active window, as the user's click on the ladder makes it.)
    frame_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get(), qel::test::kWaitLimitMs));
    QTest::keyClick(ladder, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(SearchDlg->isVisible());
    ASSERT_TRUE(SearchDlg->FindType->isVisible());
    QWindow* typed = SearchDlg->windowHandle();  // keys go where the window's focus is
    for (char c : {'x', '1'}) QTest::keyClick(typed, c);
    EXPECT_EQ(SearchDlg->SearchDevName->text(), QStringLiteral("X1"));
    QTest::keyClick(typed, Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_EQ(SearchDlg->SearchPage->currentIndex(), 1);
    QTest::keyClick(typed, 'y');
    EXPECT_EQ(SearchDlg->SearchDev->text(), QStringLiteral("Y"));
    // Each entry field is captioned.
    for (QWidget* field : std::initializer_list<QWidget*>{SearchDlg->SearchDevName, SearchDlg->SearchDev,
                                                          SearchDlg->RepDev, SearchDlg->DevNumber, SearchDlg->Target}) {
        const auto labels = SearchDlg->findChildren<QLabel*>();
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* l) { return l->buddy() == field; }))
            << field->objectName().toStdString();
    }

    SearchDlg->SearchPage->setCurrentIndex(0);
    SearchDlg->SearchStp.SetItemIndex(1);
    messages_.QueueAnswer(qel::Answer::No);
    QTest::mouseClick(SearchDlg->Find, Qt::LeftButton);
    EXPECT_EQ(ladder->Edit().Row(), 0);
    EXPECT_EQ(ladder->Edit().Col(), 5);

    // D0 sits in the MOV box on the second rung: the box head is selected.
    Find("D0");
    EXPECT_EQ(ladder->Edit().Row(), 1);
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 1, ladder->Edit().Col())), TLdbKind::Spec_Fun);

    // Normally open X0 becomes a normally closed X0 through the type lists.
    Replace("X0", "X0", {qel::Answer::All}, "LD", "LDI");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::Close_Ry);
    // The replacement is one undo step of the ladder.
    EXPECT_EQ(ladder->History().UndoCount(), 1);
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::Open_Ry);
    // A contact cannot become a coil: refused, the grid unchanged.
    const std::vector<std::uint8_t> grid(gLadderRows, gLadderRows + 4 * kLdbRowBytes);
    Replace("X1", "Y1", {qel::Answer::Yes, qel::Answer::No}, "LD", "Out");
    EXPECT_EQ(std::vector<std::uint8_t>(gLadderRows, gLadderRows + 4 * kLdbRowBytes), grid);
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(64)));

    // Find instruction: OUT finds the row whose last element is a coil.
    frame_->MmFindCmd->trigger();
    ASSERT_EQ(SearchDlg->SearchPage->currentIndex(), 2);
    SearchDlg->Target->setEditText("out");
    SearchDlg->Startpt.SetItemIndex(1);
    ladder->Edit().SetCursor(1, 0);
    messages_.QueueAnswer(qel::Answer::No);
    QTest::mouseClick(SearchDlg->FindCmd, Qt::LeftButton);
    EXPECT_EQ(ladder->Edit().Row(), 0);
    EXPECT_EQ(SearchDlg->Target->count(), 1);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

TEST_F(ToolsWindowTest, AReplacementTypeInTheLadderRewritesOnlyItsOwnElementsAndLeavesAProgram) {
    ASSERT_NO_FATAL_FAILURE(
        StartWithTools({"LD X10", "OUT M0", "LD M0", "OUT Y0", "LD X1", "SET M0", "END"}, true));
    TLDB* ladder = OpenLadderWindow(frame_.get());
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    ASSERT_EQ(gActiveView, 2);
    // X10 typed with a leading zero is found on its cell.
    ladder->Edit().SetCursor(1, 0);
    SearchDlg->SearchStp.SetItemIndex(1);
    Find("x010");
    EXPECT_EQ(ladder->Edit().Row(), 0);
    EXPECT_EQ(ladder->Edit().Col(), 0);

    // M0 into normally closed contacts: "All" meets the coil and SET's
    // operand, refuses, and changes nothing.
    const std::vector<std::uint8_t> grid(gLadderRows, gLadderRows + 3 * kLdbRowBytes);
    Replace("M0", "M1", {qel::Answer::All}, "None", "LDI");
    EXPECT_EQ(std::vector<std::uint8_t>(gLadderRows, gLadderRows + 3 * kLdbRowBytes), grid);
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(148)));
    EXPECT_EQ(ladder->History().UndoCount(), 0);
    // One by one: the contact alone is rewritten, in one undo step.
    const auto yes = qel::Answer::Yes;
    Replace("M0", "M1", {yes, yes, yes, yes, yes, yes}, "None", "LDI");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 1, 0)), TLdbKind::Close_Ry);
    EXPECT_EQ(CellOperandText(gLadderRows, 1, 0), "M1");
    EXPECT_EQ(ladder->History().UndoCount(), 1);
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(std::vector<std::uint8_t>(gLadderRows, gLadderRows + 3 * kLdbRowBytes), grid);
    ASSERT_TRUE(frame_->RunCommand("MmRedo"));
    // The ladder stands for a program: the list shows it.
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    EXPECT_EQ(_Inst->Edit().LineText(1), "OUT M0");
    EXPECT_EQ(_Inst->Edit().LineText(2), "LDI M1");
    EXPECT_EQ(_Inst->Edit().LineText(5), "SET M0");
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

TEST_F(ToolsWindowTest, ReplaceAllInTheLadderChangesWhatTheListChangesAndCountsIt) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools(
        {"LD X3", "MOV K4X0 D0", "LD X1", "MOV D0E K4Y0", "LD X2", "CJ P3", "P3", "LD X4", "OUT Y0", "END"}, true));
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    Replace("D0", "D10", {qel::Answer::All});
    EXPECT_EQ(_Inst->Edit().LineText(1), "MOV K4X0 D10");
    EXPECT_EQ(_Inst->Edit().LineText(3), "MOV D0E K4Y0");
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(65) + "1"));
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    messages_.Clear();

    // The same replacement from the ladder: the indexed D0E stays, the count is shown.
    TLDB* ladder = OpenLadderWindow(frame_.get());
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    ASSERT_EQ(gActiveView, 2);
    Replace("D0", "D10", {qel::Answer::All});
    std::vector<std::string> texts;
    for (std::int32_t row = 0; row <= ladder->Edit().LastRow(); ++row)
        for (std::int32_t col = 0; col <= kLdbLastColumn; col += kLdbCellBytes)
            if (const std::string t = CellOperandText(gLadderRows, row, col); t.rfind("D", 0) == 0) texts.push_back(t);
    EXPECT_EQ(texts, (std::vector<std::string>{"D10", "D0E"}));
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(65) + "1"));
    EXPECT_FALSE(messages_.WasShown(gMsgTable.Get(64)));

    // The label P3 is found on its row, after the jump to it.
    Find("P3", {qel::Answer::Yes, qel::Answer::No});
    ASSERT_GE(gPLabelRows[3], 0);
    EXPECT_EQ(ladder->Edit().Row(), gPLabelRows[3]);
    EXPECT_EQ(ladder->Edit().Col(), 0);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

namespace {

// A comment typed into a cell of the device-comment window, Enter not pressed.
void TypeWithoutEnter(TDevCom* w, int row, const QString& text) {
    w->CommentGrid->setCurrentCell(row, 1);
    w->CommentGrid->editItem(w->CommentGrid->item(row, 1));
    auto* editor = qobject_cast<QLineEdit*>(w->CommentGrid->indexWidget(w->CommentGrid->currentIndex()));
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
}

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

// What is typed in a cell goes in before the save writes the files, and
// before New, Open or Exit asks whether to save: never left out of a save.
TEST_F(ToolsWindowTest, ADeviceCommentTypedWithoutEnterGoesIntoTheSaveAndTheQuestion) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools({"LD X0", "OUT Y0", "END"}));
    const fs::path path = projects_ / "typed.kzp";
    dialogs_.QueuePath(path.string());
    ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
    ASSERT_EQ(gQel.Modified, 0);
    ASSERT_TRUE(frame_->RunCommand("MmCmtWin"));
    TDevCom* w = _DevCom;
    ASSERT_NE(w, nullptr);
    w->SelectLetter(0);

    ASSERT_NO_FATAL_FAILURE(TypeWithoutEnter(w, 0, QStringLiteral("start button")));
    ASSERT_TRUE(frame_->RunCommand("MmSave"));
    EXPECT_EQ(GetDeviceComment('X', 0), "start button");
    EXPECT_NE(FileText(fs::path(path).replace_extension(".rcm")).find("X0\tstart button"), std::string::npos);
    EXPECT_EQ(gQel.Modified, 0);

    // Typed again and left: the save question is asked (No: nothing saved).
    ASSERT_NO_FATAL_FAILURE(TypeWithoutEnter(w, 1, QStringLiteral("stop button")));
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::No);
    ASSERT_TRUE(frame_->RunCommand("MmNew"));
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(FileText(fs::path(path).replace_extension(".rcm")).find("stop button"), std::string::npos);

    // Leaving the program asks too (Cancel: it stays open).
    ASSERT_TRUE(frame_->RunCommand("MmCmtWin"));
    w = _DevCom;
    w->SelectLetter(0);
    gQel.Modified = 0;
    ASSERT_NO_FATAL_FAILURE(TypeWithoutEnter(w, 3, QStringLiteral("lamp")));
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    EXPECT_FALSE(frame_->FormCloseQuery());
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(GetDeviceComment('X', 3), "lamp");

    // A text the comment rule refuses stops the save, and the project stays modified.
    messages_.QueueAnswer(qel::Answer::No);  // "lamp" is not saved
    dialogs_.QueuePath(path.string());
    ASSERT_TRUE(frame_->RunCommand("MmOpen"));
    ASSERT_TRUE(frame_->RunCommand("MmCmtWin"));
    w = _DevCom;
    w->SelectLetter(0);
    ASSERT_NO_FATAL_FAILURE(TypeWithoutEnter(w, 2, QString(70, QLatin1Char('z'))));
    messages_.Clear();
    frame_->RunCommand("MmSave");
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(kMsgCommentTooLong)));
    EXPECT_EQ(GetDeviceComment('X', 2), "");
    EXPECT_EQ(gQel.Modified, 0) << "nothing typed went in";
    EXPECT_EQ(GetDeviceComment('X', 0), "start button");
}

// A paste that does not fit below the selected row says how many lines it
// left out; the lines that fit are stored.
TEST_F(ToolsWindowTest, ADeviceCommentPastePastTheLastDeviceSaysWhatItLeftOut) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools({}));
    ASSERT_TRUE(frame_->RunCommand("MmCmtWin"));
    TDevCom* w = _DevCom;
    w->SelectLetter(5);
    const int last = w->CommentGrid->rowCount() - 1;
    QApplication::clipboard()->setText(QStringLiteral("one\r\ntwo\r\nthree\r\n"));
    SelectRow(w, last - 1);
    messages_.Clear();
    ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    EXPECT_EQ(w->CommentGrid->item(last - 1, 1)->text(), QStringLiteral("one"));
    EXPECT_EQ(w->CommentGrid->item(last, 1)->text(), QStringLiteral("two"));
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(kMsgPasteLeftOut) + " 1");

    // A paste that fits says nothing.
    SelectRow(w, 0);
    messages_.Clear();
    ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    EXPECT_TRUE(messages_.Shown().empty());
}


TEST_F(ToolsWindowTest, TypesTheSearchWindowDoesNotShowNeitherFilterNorRewrite) {
    ASSERT_NO_FATAL_FAILURE(StartWithTools({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"}, true));
    TLDB* ladder = OpenLadderWindow(frame_.get());
    ASSERT_TRUE(frame_->RunCommand("MmCodeToLad"));
    ASSERT_EQ(gActiveView, 2);
    // Normally open X0 into normally closed, through the type lists.
    Replace("X0", "X0", {qel::Answer::All}, "LD", "LDI");
    ASSERT_EQ(CellKind(CellAt(gLadderRows, 0, 0)), TLdbKind::Close_Ry);
    // The window opened again over the list, where it shows no types, and
    // left open; the ladder then brought up and X1 replaced by X2.
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    frame_->MmRep->trigger();
    ASSERT_FALSE(SearchDlg->RepType->isVisibleTo(SearchDlg));
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    ASSERT_EQ(gActiveView, 2);
    SearchDlg->SearchDev->setText("X1");
    SearchDlg->RepDev->setText("X2");
    SearchDlg->SearchStart.SetItemIndex(1);
    messages_.QueueAnswer(qel::Answer::All);
    QTest::mouseClick(SearchDlg->Rep, Qt::LeftButton);
    // The contact keeps its kind: types the user does not see change nothing.
    EXPECT_EQ(CellOperandText(gLadderRows, 1, 0), "X2");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 1, 0)), TLdbKind::Open_Ry);
    EXPECT_EQ(ladder->History().UndoCount(), 2);

    // The same for Find: a coil type chosen over the ladder, the window then
    // opened over the list and left open; X2 is found on its contact.
    SearchDlg->FindType->setCurrentText("Out");
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    frame_->MmRep->trigger();
    SearchDlg->SearchPage->setCurrentIndex(0);
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    ladder->Edit().SetCursor(0, 0);
    SearchDlg->SearchDevName->setText("X2");
    SearchDlg->SearchStp.SetItemIndex(1);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::No);
    QTest::mouseClick(SearchDlg->Find, Qt::LeftButton);
    EXPECT_EQ(ladder->Edit().Row(), 1);
    EXPECT_EQ(ladder->Edit().Col(), 0);
    EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(64)));
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Assemble(std::initializer_list<const char*> lines) {
    Bytes code;
    for (const char* line : lines) {
        EXPECT_TRUE(SetInputText(line)) << line;
        EXPECT_EQ(AssembleInstruction(), 1) << line;
        code.insert(code.end(), gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
    }
    return code;
}

bool Holds(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

Bytes FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file of a folder by name, with its bytes.
std::map<std::string, Bytes> FolderBytes(const fs::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::directory_iterator(folder)) files[e.path().filename().string()] = FileBytes(e.path());
    return files;
}

// Two charts of steps, each started by its own rung: a.kzp (X7, S20) and b.kzp (X6, S21).
constexpr std::initializer_list<const char*> kChartA{"LD X7", "SET S0", "STL S0",  "LD X0", "SET S20", "STL S20",
                                                      "OUT Y1", "LD X1", "OUT S0", "RET",   "END"};
constexpr std::initializer_list<const char*> kChartB{"LD X6", "SET S0", "STL S0",  "LD X2", "SET S21", "STL S21",
                                                      "OUT Y2", "LD X3", "OUT S0", "RET",   "END"};

enum class TEditor { Ladder, List, Chart };

class BatchRunHoldTest : public ToolsWindowTest {
protected:
    void SetUp() override {
        ToolsWindowTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(StartWithTools({}, true));
        InstallSfc(frame_.get());
    }
    // A program file with its chart drawn from the code and no ladder file.
    void SaveChartProject(const fs::path& path, std::initializer_list<const char*> lines) {
        frame_->NewClick();
        PutProgram(lines);
        ASSERT_TRUE(frame_->RunCommand("MmCodeToSfc"));
        dialogs_.QueuePath(path.string());
        ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
        ASSERT_TRUE(fs::remove(fs::path(path).replace_extension(".lad")));
        frame_->NewClick();
    }
    void SaveTwoCharts(const fs::path& folder) {
        ASSERT_NO_FATAL_FAILURE(SaveChartProject(folder / "a.kzp", kChartA));
        ASSERT_NO_FATAL_FAILURE(SaveChartProject(folder / "b.kzp", kChartB));
    }
    // The batch window over `folder`, its results cleared, its run started
    // from the first file and each of its ticks left to the caller.
    TFileCompileTest* StartRun(const fs::path& folder) {
        frame_->MmFileCompileTest->trigger();
        TFileCompileTest* test = _FileCompileTest;
        test->SetFolder(QString::fromStdString(folder.string()));
        test->FileListBox->setCurrentRow(-1);
        QTest::mouseClick(test->ClearTest, Qt::LeftButton);
        messages_.Clear();
        QTest::mouseClick(test->ExtBtn, Qt::LeftButton);
        test->Timer->stop();
        return test;
    }
    // One tick of the run, the next one left to the caller.
    void Tick() {
        _FileCompileTest->TimerTimer();
        _FileCompileTest->Timer->stop();
    }
    static Bytes Code() { return {gProgram, gProgram + gProgramUsed}; }
    static Bytes Chart() { return {gSfcGrid, gSfcGrid + static_cast<std::size_t>(gSfcRowCount) * kSfcRowBytes}; }
    static Bytes Ladder() { return {gLadderRows, gLadderRows + 200 * kLadderRowBytes}; }
    static std::uint8_t ChartCell(int row, int col, int byte = 0) {
        return gSfcGrid[row * kSfcRowBytes + col * 4 + byte];
    }
    // A contact and its coil drawn as a rung below the ladder's last one; false
    // when the ladder took no key.
    static bool DrawRung(const char* contact, const char* coil) {
        if (!_LDB) return false;
        const int row = FindLastUsedRow(gLadderRows, kLadderRowBytes, kLadderRows - 1) + 2;
        _LDB->Edit().SetCursor(row, 0);
        QTest::keyClick(_LDB, Qt::Key_F1);
        if (!_EditDlg || !_EditDlg->isVisible()) return false;
        QTest::keyClicks(_EditDlg->IEdit, QString::fromLatin1(contact));
        QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
        QTest::keyClick(_LDB, Qt::Key_Right);
        QTest::keyClick(_LDB, Qt::Key_F7);
        if (!_EditDlg || !_EditDlg->isVisible()) return false;
        QTest::keyClicks(_EditDlg->IEdit, QString::fromLatin1(coil));
        QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
        return true;
    }
    // An initial step S50 placed low in the chart; false when the chart took no key.
    static bool PlaceStep() {
        if (!_Sfc) return false;
        _Sfc->Model().CursorRow = 14;
        _Sfc->Model().CursorCol = 2;
        QTest::keyClick(_Sfc, Qt::Key_F2);
        if (!_Sfc->SfcEdit_Txt->isVisible()) return false;
        _Sfc->SfcEdit_Txt->selectAll();
        QTest::keyClicks(_Sfc->SfcEdit_Txt, QStringLiteral("50"));
        QTest::keyClick(_Sfc->SfcEdit_Txt, Qt::Key_Return);
        return true;
    }
    // The user's try at an edit in `editor`, opened from the frame's menu when it can be.
    bool TryEdit(TEditor editor) {
        switch (editor) {
        case TEditor::Ladder: frame_->RunCommand("MmLadWin"); return DrawRung("X0", "Y0");
        case TEditor::List: frame_->RunCommand("MmInstWin"); return qel::test::TypeInList("LD X4");
        case TEditor::Chart: frame_->RunCommand("MmSfcWin"); return PlaceStep();
        }
        return false;
    }
};

}  // namespace

// While the batch compile test runs, it opens each file as the project
// without a question: the editors take no edit meanwhile, the run's window
// stays usable, and afterwards the project (the last file opened, its chart
// included) is what the editors show, takes edits and saves them.
TEST_F(BatchRunHoldTest, NoEditGoesInWhileTheRunReplacesTheProjectAndTheLastFileStaysWhole) {
    struct Row {
        const char* name;
        TEditor editor;
        bool atLastFile;  // else at the first file
        bool stopped;     // Stop clicked right after the try: the first file is the last opened
    };
    const Row rows[] = {
        {"ladder_at_first_file", TEditor::Ladder, false, false},
        {"ladder_at_last_file", TEditor::Ladder, true, false},
        {"list_at_first_file", TEditor::List, false, false},
        {"list_at_last_file", TEditor::List, true, false},
        {"chart_at_first_file", TEditor::Chart, false, false},
        {"chart_at_last_file", TEditor::Chart, true, false},
        {"ladder_at_first_file_then_stop", TEditor::Ladder, false, true},
    };
    const std::string held = gMsgTable.Get(kMsgBatchHoldsEdits);
    ASSERT_FALSE(held.empty());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path folder = projects_ / row.name;
        fs::create_directories(folder);
        ASSERT_NO_FATAL_FAILURE(SaveTwoCharts(folder));
        const auto onDisk = FolderBytes(folder);
        const bool lastIsA = row.stopped;
        const fs::path last = folder / (lastIsA ? "a.kzp" : "b.kzp");

        TFileCompileTest* test = StartRun(folder);
        ASSERT_TRUE(test->Running());
        ASSERT_TRUE(test->ResultMemo->toPlainText().isEmpty());
        Tick();
        if (row.atLastFile) Tick();
        ASSERT_EQ(gQel.ProgramFileName, (folder / (row.atLastFile ? "b.kzp" : "a.kzp")).string());

        // The try: nothing goes in, and the frame says why.
        const Bytes code = Code(), chart = Chart(), ladder = Ladder();
        EXPECT_FALSE(TryEdit(row.editor));
        EXPECT_EQ(Code(), code);
        EXPECT_EQ(Chart(), chart);
        EXPECT_EQ(Ladder(), ladder);
        EXPECT_EQ(gQel.Modified, 0);
        EXPECT_EQ(frame_->QelStaBar->Panel(0).toStdString(), held);
        // The run's own window still answers; the frame can still be left.
        EXPECT_TRUE(test->isEnabled());
        EXPECT_TRUE(test->StopBtn->isEnabled());
        EXPECT_FALSE(test->DirBox->isEnabled());  // the run's list stays the one it started with
        EXPECT_TRUE(frame_->MmExit->isEnabled());
        EXPECT_FALSE(frame_->MmSave->isEnabled());
        test->close();
        EXPECT_TRUE(frame_->RunCommand("MmFileCompileTest"));
        EXPECT_TRUE(test->isVisible());
        if (row.stopped) QTest::mouseClick(test->StopBtn, Qt::LeftButton);
        for (int i = 0; i < 3 && test->Running(); ++i) Tick();
        ASSERT_FALSE(test->Running());
        EXPECT_EQ(messages_.Shown(), std::vector<std::string>{"測試結束!!"});
        EXPECT_TRUE(messages_.Asked().empty());
        EXPECT_EQ(FolderBytes(folder), onDisk);

        EXPECT_TRUE(test->DirBox->isEnabled());
        // Afterwards the project is the last file opened, its chart included,
        // and a save before any edit writes that chart back as it was read.
        EXPECT_TRUE(frame_->QelStaBar->Panel(0).isEmpty());
        EXPECT_TRUE(frame_->MdiArea->isEnabled());
        EXPECT_EQ(gQel.ProgramFileName, last.string());
        EXPECT_EQ(gQel.Modified, 0);
        const Bytes own = Assemble(lastIsA ? kChartA : kChartB);
        const int step = lastIsA ? 20 : 21;
        EXPECT_EQ(Code(), own);
        EXPECT_EQ(ChartCell(1, 0), kSfcInitStep);
        EXPECT_EQ(ChartCell(3, 0, 1), step);
        const fs::path chartFile = fs::path(last).replace_extension(".sfc");
        ASSERT_TRUE(frame_->RunCommand("MmSave"));
        EXPECT_EQ(FileBytes(chartFile), onDisk.at(chartFile.filename().string()));

        // Every editor opened shows it, and an edit then counts and is saved.
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        EXPECT_EQ(ChartCell(1, 0), kSfcInitStep);
        EXPECT_EQ(ChartCell(3, 0, 1), step);
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        EXPECT_EQ(Code(), own);
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        EXPECT_EQ(CellOperandText(gLadderRows, 0, 0), lastIsA ? "X7" : "X6");
        ASSERT_TRUE(DrawRung("X5", "Y5"));
        EXPECT_EQ(gQel.Modified, 1);
        messages_.Clear();
        ASSERT_TRUE(frame_->RunCommand("MmSave"));
        EXPECT_TRUE(messages_.Shown().empty());
        const Bytes rung = Assemble({"LD X5", "OUT Y5"});
        EXPECT_TRUE(Holds(FileBytes(last), rung));
        frame_->NewClick();
        ASSERT_TRUE(frame_->OpenProgramFile(last.string()));
        EXPECT_TRUE(Holds(Code(), rung));
        frame_->NewClick();
        test->hide();
    }
}

// A run replaces the project only with the files it opens: over a folder
// without program files it asks nothing and closes no window; when every file
// is refused, the open project stays whole, its chart included; leaving the
// frame during a run ends the run before anything else is asked, and no
// further file is opened.
TEST_F(BatchRunHoldTest, ARunTouchesOnlyWhatItOpensAndEndsWhenTheFrameIsLeft) {
    enum class TFolder { Empty, Damaged, TwoCharts };
    struct Row {
        const char* name;
        TFolder folder;
        bool leave;  // File > Exit after the first file
    };
    const Row rows[] = {
        {"empty_folder_with_unsaved_work", TFolder::Empty, false},
        {"every_file_refused_over_an_open_chart", TFolder::Damaged, false},
        {"exit_after_the_first_file", TFolder::TwoCharts, true},  // last: the frame has shut down
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path folder = projects_ / row.name;
        fs::create_directories(folder);
        if (row.folder == TFolder::TwoCharts) {
            ASSERT_NO_FATAL_FAILURE(SaveTwoCharts(folder));
        }
        if (row.folder == TFolder::Damaged) std::ofstream(folder / "c.kzp", std::ios::binary) << std::string(300, '\x5A');
        const auto onDisk = FolderBytes(folder);
        // The open project: a saved one with its chart, or unsaved work.
        const fs::path own = projects_ / (std::string(row.name) + "_own.kzp");
        ASSERT_NO_FATAL_FAILURE(SaveChartProject(own, kChartA));
        const fs::path ownChart = fs::path(own).replace_extension(".sfc");
        const Bytes ownChartBytes = FileBytes(ownChart);
        ASSERT_TRUE(frame_->OpenProgramFile(own.string()));
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        if (row.folder == TFolder::Empty) {
            ASSERT_TRUE(DrawRung("X5", "Y5"));
        }
        const std::uint8_t modified = gQel.Modified;
        ASSERT_EQ(modified, row.folder == TFolder::Empty ? 1 : 0);
        const Bytes ladder = Ladder();

        TFileCompileTest* test = StartRun(folder);
        EXPECT_TRUE(test->Running());  // over an empty folder it ends at the first tick
        Tick();
        switch (row.folder) {
        case TFolder::TwoCharts:
            ASSERT_EQ(gQel.ProgramFileName, (folder / "a.kzp").string());
            frame_->MmExit->trigger();
            EXPECT_TRUE(frame_->ShutDownDone());
            EXPECT_FALSE(test->Running());
            EXPECT_FALSE(test->Timer->isActive());
            EXPECT_EQ(gQel.ProgramFileName, (folder / "a.kzp").string());
            EXPECT_EQ(test->ResultMemo->toPlainText(), QStringLiteral("a.kzp : Ladder OK!!"));
            EXPECT_TRUE(messages_.Shown().empty());
            break;
        case TFolder::Empty:
            EXPECT_FALSE(test->Running());
            EXPECT_EQ(messages_.Shown(), std::vector<std::string>{"測試結束!!"});
            EXPECT_TRUE(test->ResultMemo->toPlainText().isEmpty());
            // The work and its window stay as they were.
            EXPECT_NE(_LDB, nullptr);
            EXPECT_EQ(gQel.Modified, modified);
            EXPECT_EQ(Ladder(), ladder);
            EXPECT_TRUE(frame_->QelStaBar->Panel(0).isEmpty());
            break;
        case TFolder::Damaged:
            Tick();
            EXPECT_FALSE(test->Running());
            EXPECT_EQ(test->ResultMemo->toPlainText(), QStringLiteral("c.kzp :開檔有問題!!"));
            // The open project is still the one open, chart and all, and a
            // save writes its chart back as it was read.
            EXPECT_EQ(gQel.ProgramFileName, own.string());
            EXPECT_EQ(Code(), Assemble(kChartA));
            EXPECT_EQ(ChartCell(1, 0), kSfcInitStep);
            EXPECT_EQ(ChartCell(3, 0, 1), 20);
            ASSERT_TRUE(frame_->RunCommand("MmSave"));
            EXPECT_EQ(FileBytes(ownChart), ownChartBytes);
            break;
        }
        EXPECT_TRUE(messages_.Asked().empty());
        EXPECT_EQ(FolderBytes(folder), onDisk);
        test->hide();
    }
}


// The run opens its files to test them: the project it leaves open is left
// as File > Open would leave it. What the opening of that file said (the
// parts of its set not used) is told when the run ends, and nothing of a
// file the run went past or refused; the recent files stay the user's and
// gain only the file left open.
TEST_F(BatchRunHoldTest, TheFileARunLeavesOpenIsLeftAsFileOpenLeavesIt) {
    struct Row {
        const char* name;
        const char* stale;  // the file whose ladder file is another program's, if any
        bool programs;      // a.kzp and b.kzp
        bool damaged;       // c.kzp, refused, after them
        bool stopped;       // Stop after the first file
        const char* open;   // the file left open, if any
    };
    const Row rows[] = {
        {"last_file_with_a_ladder_file_of_another_program", "b", true, false, false, "b"},
        {"first_file_with_a_ladder_file_of_another_program", "a", true, false, false, "b"},
        {"stopped_at_a_file_with_a_ladder_file_of_another_program", "a", true, false, true, "a"},
        {"refused_file_after_one_with_a_ladder_file_of_another_program", "b", true, true, false, "b"},
        {"every_file_refused", nullptr, false, true, false, nullptr},
    };
    // The user's recent files, the list full.
    std::vector<std::string> mine;
    for (int i = 1; i <= kRecentFileMax; ++i) mine.push_back((projects_ / ("mine" + std::to_string(i) + ".kzp")).string());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path folder = projects_ / row.name;
        fs::create_directories(folder);
        const auto save = [&](const char* name, const char* input, const char* output) {
            frame_->NewClick();
            ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
            ASSERT_TRUE(DrawRung(input, output));
            dialogs_.QueuePath((folder / name).string());
            ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
        };
        if (row.programs) {
            ASSERT_NO_FATAL_FAILURE(save("a.kzp", "X1", "Y1"));
            ASSERT_NO_FATAL_FAILURE(save("b.kzp", "X2", "Y2"));
        }
        frame_->NewClick();
        const std::string untitled = gQel.ProgramFileName;
        const fs::path stale = folder / (std::string(row.stale ? row.stale : "") + ".lad");
        if (row.stale)
            fs::copy_file(folder / (std::string(row.stale) == "a" ? "b.lad" : "a.lad"), stale,
                          fs::copy_options::overwrite_existing);
        if (row.damaged) std::ofstream(folder / "c.kzp", std::ios::binary) << std::string(300, '\x5A');
        gQel.RecentFiles = mine;

        TFileCompileTest* test = StartRun(folder);
        Tick();
        if (row.stopped) QTest::mouseClick(test->StopBtn, Qt::LeftButton);
        for (int i = 0; i < 4 && test->Running(); ++i) Tick();
        ASSERT_FALSE(test->Running());
        std::vector<std::string> told, recent = mine;
        if (row.open) {
            const fs::path open = folder / (std::string(row.open) + ".kzp");
            EXPECT_EQ(gQel.ProgramFileName, open.string());
            if (row.stale && std::string(row.stale) == row.open)
                told.push_back(gMsgTable.Get(kMsgLadderFileStale) + " " + stale.string());
            recent.insert(recent.begin(), open.string());
            recent.pop_back();
        } else {
            EXPECT_EQ(gQel.ProgramFileName, untitled);
        }
        told.push_back("測試結束!!");
        EXPECT_EQ(messages_.Shown(), told);
        EXPECT_TRUE(messages_.Asked().empty());
        EXPECT_EQ(gQel.RecentFiles, recent);
        std::vector<std::string> offered;  // the File menu's entries, their number left out
        for (const QAction* a : frame_->RecentMenu->actions()) offered.push_back(a->text().section(' ', 1).toStdString());
        EXPECT_EQ(offered, recent);
        frame_->NewClick();
        test->hide();
    }
}
