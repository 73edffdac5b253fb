#include <algorithm>
// Typing a program into the instruction-list window through the input dialog:
// machine words, insert and overwrite, refusals, go-to-step, the dialog's view
// dispatch, the inner list's close, and printed pages.
#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QPainter>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include "core/Codetranslate.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Widgetmessages.h"
#include "tests/instlist/InstFixture.h"

namespace {

using Words = std::vector<std::uint16_t>;

TEST_F(InstWindowTest, InputDialogIsCreatedInItsPlaceOfTheStartupOrder) {
    const auto& forms = frame_->StartupForms();
    auto position = [&](const std::string& name) {
        return std::find_if(forms.begin(), forms.end(), [&](const auto& f) { return f.first == name; }) -
               forms.begin();
    };
    const auto edit = position("EditDlg");
    ASSERT_LT(edit, static_cast<std::ptrdiff_t>(forms.size()));
    EXPECT_EQ(forms[edit].second, _EditDlg);
    EXPECT_LT(edit, position("About")) << "the one-line input comes before the about window";
}

TEST_F(InstWindowTest, TypingASmallProgramGivesItsMachineWords) {
    TInst* list = OpenList();
    ASSERT_TRUE(list);
    EXPECT_EQ(gActiveView, 1);
    EXPECT_EQ(gQel.Modified, 0);
    for (const char* line : {"LD X0", "or y0", "ANI X1", "OUT Y0", "END"}) TypeLine(list, line);
    EXPECT_EQ(ProgramWords(), (Words{0x2400, 0x6500, 0x5401, 0xC500, 0x000F}));
    EXPECT_EQ(list->CursorLine, 5);  // on the append line, ready for the next
    EXPECT_EQ(list->CursorOffset, 10u);
    EXPECT_EQ(gActiveView, 1);  // the dialog gave the view back
    EXPECT_FALSE(_EditDlg->isVisible());
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_TRUE(frame_->QelStaBar->Panel(4).contains("5/")) << frame_->QelStaBar->Panel(4).toStdString();
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(InstWindowTest, KeysTypedBeforeTheDialogHasTheKeyboardAreNotLost) {
    TInst* list = OpenList();
    ASSERT_TRUE(list);
    // The first key opens the dialog; the window system still sends the next
    // ones to the frame until the dialog has the keyboard.
    QTest::keyClick(list, 'L');
    ASSERT_TRUE(_EditDlg->isVisible());
    QWindow* frameWindow = frame_->windowHandle();
    ASSERT_TRUE(frameWindow);
    for (const char c : std::string("D X0")) QTest::keyClick(frameWindow, c);
    EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), "LD X0");
    // The frame stays out of reach meanwhile: a click on its zoom button
    // changes nothing.
    QToolButton* zoomButton = nullptr;
    for (QToolButton* b : frame_->findChildren<QToolButton*>())
        if (b->defaultAction() == frame_->Action("BnZoomIn")) zoomButton = b;
    ASSERT_TRUE(zoomButton && zoomButton->isEnabled());
    const int zoom = gQel.Zoom;
    QTest::mouseClick(zoomButton, Qt::LeftButton);
    EXPECT_EQ(gQel.Zoom, zoom);
    QTest::keyClick(frameWindow, Qt::Key_Return);
    EXPECT_FALSE(_EditDlg->isVisible());
    EXPECT_EQ(ProgramWords(), (Words{0x2400}));
    // Once closed, keys reach the list again and open the next entry.
    QTest::keyClick(list, 'O');
    EXPECT_TRUE(_EditDlg->isVisible());
    EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), "O");
    QTest::mouseClick(_EditDlg->CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(_EditDlg->isVisible());
}

TEST_F(InstWindowTest, InsertKeySwitchesToOverwrite) {
    TInst* list = OpenList();
    for (const char* line : {"LD X0", "OUT Y0", "END"}) TypeLine(list, line);
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Up);
    ASSERT_EQ(list->CursorLine, 1);
    QTest::keyClick(list, Qt::Key_Insert);
    EXPECT_EQ(gQel.InsertMode, 0);
    EXPECT_EQ(frame_->QelStaBar->Panel(1).toStdString(), gMsgTable.Get(kMsgOverwriteMode));
    TypeLine(list, "SET M5");
    EXPECT_EQ(ProgramWords(), (Words{0x2400, 0xD805, 0x000F}));
    EXPECT_EQ(list->CursorLine, 2);
    // Back to insert: the next line goes in before END.
    QTest::keyClick(list, Qt::Key_Insert);
    EXPECT_EQ(gQel.InsertMode, 1);
    EXPECT_EQ(frame_->QelStaBar->Panel(1).toStdString(), gMsgTable.Get(kMsgInsertMode));
    TypeLine(list, "OUT Y1");
    EXPECT_EQ(ProgramWords(), (Words{0x2400, 0xD805, 0xC501, 0x000F}));
}

TEST_F(InstWindowTest, InvalidOrOverlongLineChangesNothing) {
    TInst* list = OpenList();
    for (const char* line : {"LD X0", "END"}) TypeLine(list, line);
    const Words before = ProgramWords();
    gQel.Modified = 0;
    TypeLine(list, "LD Q7");
    EXPECT_TRUE(Shown(kMsgBadInstLine));
    EXPECT_TRUE(_EditDlg->isVisible());  // left open to correct the line
    EXPECT_EQ(ProgramWords(), before);
    {
        // The box giving the reason leaves the refused line in sight (a box
        // centred on the small dialog would cover it).
        QApplication::setActiveWindow(_EditDlg);
        _EditDlg->IEdit->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), _EditDlg->IEdit);
        const QRect field(_EditDlg->IEdit->mapToGlobal(QPoint(0, 0)), _EditDlg->IEdit->size());
        const QString reason = QString::fromStdString(gMsgTable.Get(kMsgBadInstLine));
        QMessageBox centred(QMessageBox::Warning, QString(), reason, QMessageBox::Ok, _EditDlg);
        centred.show();
        EXPECT_TRUE(centred.frameGeometry().intersects(field));
        centred.close();
        QMessageBox placed(QMessageBox::Warning, QString(), reason, QMessageBox::Ok, _EditDlg);
        qel::PlaceClearOfInputField(&placed, _EditDlg);
        placed.show();
        EXPECT_FALSE(placed.frameGeometry().intersects(field));
        placed.close();
    }
    // Corrected in the dialog, the line goes in.
    _EditDlg->IEdit->setText("LD X7");
    QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
    EXPECT_FALSE(_EditDlg->isVisible());
    EXPECT_EQ(ProgramWords(), (Words{0x2400, 0x000F, 0x2407}));

    messages_.Clear();
    ASSERT_TRUE(SetInputText("LD X1"));
    TypeLine(list, "L" + std::string(90, 'X'));
    EXPECT_TRUE(Shown(kMsgTextTooLong));
    EXPECT_EQ(gInputText[0], '\0');  // no stale line left behind
    QTest::mouseClick(_EditDlg->CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(_EditDlg->isVisible());
    EXPECT_EQ(gActiveView, 1);
    EXPECT_EQ(ProgramWords(), (Words{0x2400, 0x000F, 0x2407}));
}

TEST_F(InstWindowTest, FullImageRefusesTheNextLineAndKeepsTheProgram) {
    FillProgram("LD X0", static_cast<int>(gProgramCapacity / 2));
    TInst* list = OpenList();
    ASSERT_EQ(list->LastLine(), static_cast<int>(gProgramCapacity / 2));
    const std::vector<std::uint8_t> before(gProgram, gProgram + gProgramCapacity);
    QTest::keyClick(list, Qt::Key_End);
    TypeLine(list, "OUT Y0");
    EXPECT_TRUE(Shown(kMsgNoRoomInst));
    EXPECT_FALSE(_EditDlg->isVisible());
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + gProgramCapacity), before);
    EXPECT_EQ(gProgramUsed, gProgramCapacity);
    // So is a longer instruction written over a shorter one.
    QTest::keyClick(list, Qt::Key_Home);
    QTest::keyClick(list, Qt::Key_Insert);
    messages_.Clear();
    TypeLine(list, "MOV K1 D0");
    EXPECT_TRUE(Shown(kMsgNoRoomInst));
    QTest::keyClick(list, Qt::Key_Insert);
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + gProgramCapacity), before);
    // A block pasted into the full image is refused the same way.
    list->SelectLines(0, 1);
    ASSERT_TRUE(frame_->RunCommand("MmCopy"));
    messages_.Clear();
    ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    EXPECT_TRUE(Shown(kMsgNoRoomInst));
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + gProgramCapacity), before);
    EXPECT_FALSE(list->Edit().CanUndo());
    EXPECT_EQ(gQel.Modified, 0);
}

TEST_F(InstWindowTest, ProgramWrittenByAnotherWindowIsFollowed) {
    TInst* list = OpenList();
    for (const char* line : {"LD X0", "OUT Y0", "OUT Y1", "END"}) TypeLine(list, line);
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Up);
    ASSERT_EQ(list->CursorLine, 2);
    // A compile elsewhere replaces the program: long instructions at the top,
    // so that the old line offsets fall inside them.
    FillProgram("MOV K1 D0", 3);
    const Words compiled = ProgramWords();
    const std::size_t movWords = compiled.size() / 3;
    ASSERT_GT(movWords, 2u);
    // The next line typed goes in before the third instruction of the new program.
    TypeLine(list, "END");
    Words expected(compiled.begin(), compiled.begin() + static_cast<std::ptrdiff_t>(2 * movWords));
    expected.push_back(0x000F);
    expected.insert(expected.end(), compiled.begin() + static_cast<std::ptrdiff_t>(2 * movWords), compiled.end());
    EXPECT_EQ(ProgramWords(), expected);
    EXPECT_EQ(list->Edit().LineText(2), "END");
    EXPECT_EQ(list->Edit().LineText(3), "MOV K1 D0");
}

TEST_F(InstWindowTest, GoToStepMovesTheCursor) {
    TInst* list = OpenList();
    for (const char* line : {"LD X0", "MOV K1 D0", "OUT Y0", "END"}) TypeLine(list, line);
    const std::uint32_t outStep = list->Edit().LineStep(2);
    ASSERT_TRUE(frame_->RunCommand("MmJump"));
    EXPECT_EQ(gActiveView, 9);
    ASSERT_TRUE(_EditDlg->isVisible());
    QTest::keyClicks(_EditDlg->IEdit, QString::number(outStep - 1));  // inside MOV
    QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
    EXPECT_EQ(list->CursorLine, 1);
    EXPECT_EQ(gActiveView, 1);

    ASSERT_TRUE(frame_->RunCommand("MmJump"));
    QTest::keyClicks(_EditDlg->IEdit, "999");
    QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
    EXPECT_TRUE(Shown(kMsgBadStep));
    _EditDlg->IEdit->setText("x1");
    QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
    EXPECT_TRUE(Shown(kMsgInvalidInput));
    EXPECT_EQ(list->CursorLine, 1);
    QTest::keyClick(_EditDlg->IEdit, Qt::Key_Escape);
    EXPECT_EQ(gActiveView, 1);
}

TEST_F(InstWindowTest, DialogDispatchesOtherViewsToTheirHandlers) {
    // Nothing registered: OK only gives the view back.
    gActiveView = 8;
    _EditDlg->IEdit->setText("100");
    _EditDlg->ShowModal();
    _EditDlg->OKBtnClick();
    EXPECT_FALSE(_EditDlg->isVisible());
    EXPECT_EQ(gActiveView, 2);

    std::vector<std::string> seen;
    TEditDlg::SetViewHandler(16, [&](const std::string& text) {
        seen.push_back(std::string(gInputText));
        return text == "S20";
    });
    gActiveView = 16;
    _EditDlg->IEdit->setText("  S2 ");
    _EditDlg->ShowModal();
    _EditDlg->OKBtnClick();
    EXPECT_TRUE(_EditDlg->isVisible());  // refused by the handler
    _EditDlg->IEdit->setText(QString::fromStdString(std::string(85, '1')));
    _EditDlg->OKBtnClick();              // refused before the handler sees it
    EXPECT_TRUE(Shown(kMsgTextTooLong));
    _EditDlg->IEdit->setText("s20");
    _EditDlg->OKBtnClick();
    EXPECT_FALSE(_EditDlg->isVisible());
    EXPECT_EQ(seen, (std::vector<std::string>{"S2", "S20"}));
    EXPECT_EQ(gActiveView, 16);
    TEditDlg::SetViewHandler(16, {});
}

TEST_F(InstWindowTest, InnerListStoresItsCodeOnlyWhenAsked) {
    TInst* inner = OpenInnerList();
    EXPECT_EQ(_InterInst, inner);
    inner->SfcRow = 3;
    inner->SfcCol = 8;
    TypeLine(inner, "LD X1");
    TypeLine(inner, "OUT Y1");
    EXPECT_EQ(gProgramCopyUsed, 4u);
    EXPECT_EQ(gProgramUsed, 0u);  // the program itself is untouched

    messages_.QueueAnswer(qel::Answer::Cancel);
    EXPECT_FALSE(inner->close());
    EXPECT_EQ(_InterInst, inner);
    messages_.QueueAnswer(qel::Answer::Yes);
    const QPointer<TInst> closed(inner);
    EXPECT_TRUE(inner->close());
    EXPECT_EQ(_InterInst, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());  // freed with its child window
    ASSERT_EQ(gSfcCodeList.size(), 1u);
    EXPECT_EQ(gSfcCodeList[0]->row, 3);
    EXPECT_EQ(gSfcCodeList[0]->col, 8);
    EXPECT_EQ(gSfcCodeList[0]->code, (std::vector<std::uint8_t>{0x01, 0x24, 0x01, 0xC5}));

    // Emptied in a second visit, the element keeps its record, now empty.
    inner = OpenInnerList(4);
    inner->SfcRow = 3;
    inner->SfcCol = 8;
    inner->SelectLines(0, 1);
    ASSERT_TRUE(frame_->RunCommand("MmDel"));
    messages_.QueueAnswer(qel::Answer::Yes);
    EXPECT_TRUE(inner->close());
    ASSERT_EQ(gSfcCodeList.size(), 1u);
    EXPECT_TRUE(gSfcCodeList[0]->code.empty());
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// What lands where on a page, and how many lines: InstPaintTest.
TEST_F(InstWindowTest, PrintPageDrawsFiftyThreeLinesAPage) {
    FillProgram("OUT Y0", 60);
    TInst* list = OpenList();
    QImage page(850, 1100, QImage::Format_RGB32);
    QPainter canvas(&page);
    EXPECT_EQ(TInst::PrintPage(list, canvas, 1), 7);
    EXPECT_EQ(InstPageCount(list->LastLine()), 2);
    EXPECT_EQ(InstPageCount(53), 1);
    EXPECT_EQ(InstPageCount(0), 0);
    // A program written since by another window prints as it is now.
    FillProgram("OUT Y1", 10);
    EXPECT_EQ(TInst::PrintPage(list, canvas, 0), 10);
    EXPECT_EQ(TInst::PrintPage(list, canvas, 1), 0);
    EXPECT_EQ(TInst::PrintPage(nullptr, canvas, 0), 0);
}

}  // namespace
