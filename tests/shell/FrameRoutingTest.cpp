// Command routing by the active view, and the frame's monitoring and port messages.
#include <stdexcept>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMdiSubWindow>
#include <QToolBar>

#include "project/Msgtable.h"
#include "project/Editorlink.h"
#include "project/Viewcodes.h"
#include "project/Qelglobals.h"
#include "tests/shell/FrameFixture.h"

using qel::Answer;

TEST_F(FrameTest, CommandsGoToTheActiveViewsHandlerAndAreDisabledWithoutOne) {
    ASSERT_TRUE(Start());
    int ladderUndo = 0, listUndo = 0, regOpen = 0;
    frame_->Router().Register("MmUndo", 2, [&] { ++ladderUndo; });
    frame_->Router().Register("MmUndo", 1, [&] { ++listUndo; });
    frame_->Router().Register("MmOpen", 13, [&] { ++regOpen; });

    auto* ladder = new QLabel("ladder");
    QMdiSubWindow* sub = frame_->AddChild(ladder, 2);
    EXPECT_EQ(gActiveView, 2);
    EXPECT_TRUE(frame_->MmUndo->isEnabled());
    EXPECT_TRUE(frame_->BnUndo->isEnabled());
    EXPECT_FALSE(frame_->MmRedo->isEnabled());
    frame_->BnUndo->trigger();
    EXPECT_EQ(ladderUndo, 1);
    EXPECT_EQ(listUndo, 0);

    frame_->SetActiveView(1);
    frame_->MmUndo->trigger();
    EXPECT_EQ(listUndo, 1);

    // The register view's own Open replaces the program's.
    frame_->SetActiveView(13);
    EXPECT_FALSE(frame_->MmUndo->isEnabled());
    frame_->MmOpen->trigger();
    EXPECT_EQ(regOpen, 1);
    EXPECT_EQ(dialogs_.Calls(), 0);

    // A command with no handler anywhere does nothing and stays disabled.
    EXPECT_FALSE(frame_->RunCommand("MmTrans"));
    EXPECT_FALSE(frame_->MmTrans->isEnabled());

    // Closing the last editor leaves no active view and no edit commands.
    delete sub;
    EXPECT_EQ(gActiveView, 0);
    EXPECT_FALSE(frame_->MmUndo->isEnabled());
}

TEST_F(FrameTest, AViewHandlerWhoseConditionFailsDoesNotFallBackToTheFrame) {
    ASSERT_TRUE(Start());
    frame_->MmNew->trigger();
    bool canSave = false;
    int saves = 0;
    frame_->Router().Register("MmSave", 20, [&] { ++saves; }, [&] { return canSave; });
    frame_->SetActiveView(20);
    EXPECT_FALSE(frame_->MmSave->isEnabled());
    EXPECT_FALSE(frame_->RunCommand("MmSave"));
    EXPECT_EQ(dialogs_.Calls(), 0);
    canSave = true;
    frame_->RefreshCommands();
    EXPECT_TRUE(frame_->BnSave->isEnabled());
    EXPECT_TRUE(frame_->RunCommand("MmSave"));
    EXPECT_EQ(saves, 1);
    frame_->Router().UnregisterView(20);
    frame_->SetActiveView(0);
    EXPECT_TRUE(frame_->MmSave->isEnabled());
}

TEST_F(FrameTest, SetCommandsEnabledNeverEnablesAnUnhandledCommand) {
    ASSERT_TRUE(Start());
    frame_->SetCommandsEnabled(false);
    EXPECT_FALSE(frame_->MmNew->isEnabled());
    EXPECT_FALSE(frame_->BnOpen->isEnabled());
    EXPECT_FALSE(frame_->BnZoomIn->isEnabled());
    EXPECT_FALSE(frame_->FileMenu->menuAction()->isEnabled());
    EXPECT_FALSE(frame_->RunCommand("MmNew")) << "a disabled frame runs nothing";
    frame_->SetCommandsEnabled(true);
    EXPECT_TRUE(frame_->MmNew->isEnabled());
    EXPECT_TRUE(frame_->BnOpen->isEnabled());
    EXPECT_TRUE(frame_->FileMenu->menuAction()->isEnabled());
    EXPECT_FALSE(frame_->MmTrans->isEnabled());
    EXPECT_FALSE(frame_->BnRun->isEnabled());
    EXPECT_FALSE(frame_->Btn[0]->isEnabled());
}

TEST_F(FrameTest, CheckStopMonitorAsksOnlyWhileMonitoring) {
    ASSERT_TRUE(Start());
    bool running = false;
    int stops = 0;
    frame_->Link.MonitorRunning = [&] { return running; };
    frame_->Link.StopAllMonitoring = [&] {
        ++stops;
        running = false;
    };
    EXPECT_FALSE(frame_->CheckStopMonitor());
    EXPECT_TRUE(messages_.Asked().empty());

    running = true;
    messages_.QueueAnswer(Answer::No);
    EXPECT_TRUE(frame_->CheckStopMonitor());
    EXPECT_EQ(stops, 0);
    messages_.QueueAnswer(Answer::Yes);
    EXPECT_TRUE(frame_->CheckStopMonitor());
    EXPECT_EQ(stops, 1);
    ASSERT_EQ(messages_.Asked().size(), 2u);
    EXPECT_EQ(messages_.Asked()[0], gMsgTable.Get(184));

    // New while monitoring runs does nothing after the question.
    frame_->MmNew->trigger();
    running = true;
    PutSmallProgram();
    messages_.QueueAnswer(Answer::No);
    frame_->MmNew->trigger();
    EXPECT_EQ(gProgram[0], 0x00);
}

TEST_F(FrameTest, OpenComPortReportsTheFailureWithThePortNumber) {
    ASSERT_TRUE(Start());
    gQel.ComPort = 4;
    // Without a link the frame itself says the port cannot be opened.
    frame_->Link = {};
    EXPECT_FALSE(frame_->OpenComPort());
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(168) + "!! (COM4)");

    // A link that fails has told the user already: the frame adds nothing.
    bool open = false;
    int closes = 0;
    frame_->Link.PortOpen = [&] { return open; };
    frame_->Link.ClosePort = [&] { ++closes; };
    frame_->Link.OpenPort = [] { throw std::runtime_error("busy"); };
    EXPECT_FALSE(frame_->OpenComPort());
    EXPECT_EQ(closes, 1) << "a failed open closes the port again";  // and says nothing more: FrameLinkTest

    frame_->Link.OpenPort = [&] { open = true; };
    EXPECT_TRUE(frame_->OpenComPort());
    EXPECT_TRUE(frame_->OpenComPort());  // already open
    EXPECT_EQ(messages_.Shown().size(), 1u);
}

TEST_F(FrameTest, LampAndStatusPanels) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(frame_->QelStaBar->Panel(1).isEmpty()) << "no view yet, no insert mode";
    frame_->SetLamp(TLampState::GoodReply);
    EXPECT_EQ(frame_->Lamp(), QColor(Qt::red));
    frame_->SetLamp(TLampState::BadFrame);
    EXPECT_EQ(frame_->Lamp(), QColor(255, 0, 255));

    // The comment view takes no instructions: the list's cursor and insert mode
    // go (the other views' panels: the chart window's test).
    frame_->Router().Register("ShowCursorPos", 1, [&] { frame_->QelStaBar->SetPanel(2, "Step 12"); });
    frame_->SetActiveView(1);
    ASSERT_EQ(frame_->QelStaBar->Panel(2), "Step 12");
    ASSERT_EQ(frame_->QelStaBar->Panel(1).toStdString(), gMsgTable.Get(gQel.InsertMode ? 28 : 29));
    frame_->SetActiveView(kViewDevComment);
    EXPECT_TRUE(frame_->QelStaBar->Panel(2).isEmpty());
    EXPECT_TRUE(frame_->QelStaBar->Panel(1).isEmpty());
}

TEST_F(FrameTest, HelpWithoutItsFileSaysWhereItWasLookedFor) {
    ASSERT_TRUE(Start());
    frame_->MmHelp->trigger();
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_NE(messages_.Shown()[0].find(TQelMain::HelpFilePath()), std::string::npos);
    EXPECT_NE(TQelMain::HelpFilePath().find((home_ / "hlp").string()), std::string::npos);
}

TEST_F(FrameTest, ToolPanelsComeAndGoWithTheirMenuItems) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(frame_->MmLadTool->isChecked());
    EXPECT_TRUE(frame_->LadPanel->isVisibleTo(frame_.get()));
    EXPECT_FALSE(frame_->SfcPanel->parentWidget()->isVisibleTo(frame_.get()));
    // The chart's page only in the chart's view (the rows' heights: the chart
    // window's test), and its menu item only there.
    frame_->SetActiveView(kViewSfc);
    EXPECT_FALSE(frame_->MmLadTool->isEnabled());
    EXPECT_EQ(frame_->SfcPgCtrl->count(), 2);
    frame_->MmSfcTool->trigger();
    EXPECT_FALSE(frame_->SfcPanel->parentWidget()->isVisibleTo(frame_.get()));
    frame_->MmSfcTool->trigger();
    frame_->SetActiveView(kViewLadder);
    EXPECT_TRUE(frame_->LadPanel->isVisibleTo(frame_.get()));
    EXPECT_FALSE(frame_->SfcPanel->parentWidget()->isVisibleTo(frame_.get()));
    frame_->MmLadTool->trigger();
    EXPECT_FALSE(frame_->LadPanel->parentWidget()->isVisibleTo(frame_.get()));
    frame_->CoolBarIconSize(frame_->SfcPanel, 32);
    auto* page = qobject_cast<QToolBar*>(frame_->SfcPage1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->iconSize(), QSize(32, 32));
}

TEST_F(FrameTest, AnEditorsLinkCarriesItsCommandsAndSignalsToTheFrame) {
    ASSERT_TRUE(Start());
    frame_->MmNew->trigger();
    int oldUndo = 0, newUndo = 0;
    auto* first = new QLabel("first");
    auto* firstLink = new TEditorLink(2, first);
    firstLink->Register("MmUndo", [&] { ++oldUndo; });
    QMdiSubWindow* firstSub = frame_->AddEditor(first, firstLink);
    EXPECT_TRUE(firstSub->isMaximized());
    EXPECT_TRUE(frame_->MmUndo->isEnabled());

    // A second window of the same view replaces the handlers; the first one
    // closing afterwards must not take the newer window's commands with it.
    auto* second = new QLabel("second");
    auto* secondLink = new TEditorLink(2, second);
    bool canUndo = true;
    secondLink->Register("MmUndo", [&] { ++newUndo; }, [&] { return canUndo; });
    frame_->AddEditor(second, secondLink);
    delete firstSub;
    frame_->SetActiveView(2);
    ASSERT_TRUE(frame_->RunCommand("MmUndo"));
    EXPECT_EQ(newUndo, 1);
    EXPECT_EQ(oldUndo, 0);

    // Signals reach the status bar, the step count, the modified flag and the
    // enable states.
    gQel.Modified = 0;
    emit secondLink->statusText(2, QStringLiteral("Row: 7"));
    EXPECT_EQ(frame_->QelStaBar->Panel(2), QStringLiteral("Row: 7"));
    emit secondLink->programChanged();
    EXPECT_EQ(gQel.Modified, 1);
    canUndo = false;
    EXPECT_TRUE(frame_->MmUndo->isEnabled());
    emit secondLink->commandsChanged();
    EXPECT_FALSE(frame_->MmUndo->isEnabled());
}
