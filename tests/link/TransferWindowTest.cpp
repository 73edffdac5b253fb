// The PLC link window in the frame, against the emulator over a
// pseudo-terminal: the transfer command opens it, OK writes or reads the
// program, the range edits propose the program's steps and refuse bad ones,
// the progress window cancels, the verify command compares, and choosing the
// hand-held programmer serves it until Cancel.
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <string>
#include <vector>

#include "ladder/editor/Ladder.h"
#include "link/Devreg.h"
#include "link/Filetmp.h"
#include "link/Memcarddlg.h"
#include "link/Programtransfer.h"
#include "link/Transdata.h"
#include "link/Transdatafrm.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "serial/Serialport.h"
#include "shell/Progfrm.h"
#include "tests/shell/FrameFixture.h"
#include "tests/support/Plcemulator.h"
#include "tests/support/Pty.h"

using qel::link::_TransData;
using qel::test::PlcEmulator;
using qel::test::PumpUntil;

namespace {

class TransferWindowTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        ASSERT_TRUE(emu_.Start());
        emu_.Configure(0, 0, 90);
        const std::string path = emu_.SlavePath();
        qel::SetComDeviceResolver([path](std::uint16_t n) { return n == 4 ? path : std::string(); });
        ASSERT_TRUE(Start());
        gQel.ComPort = 4;
        InstallLadder(frame_.get());
        InstallProgramTransfer(frame_.get());
        ASSERT_NE(_TransDataForm, nullptr);
        form_ = _TransDataForm;
        _TransData->SetTickMs(5.0);  // time-outs of about a second
    }
    void TearDown() override {
        qel::SetComDeviceResolver(nullptr);
        FrameTest::TearDown();
    }
    // Messages shown so far, by their ids.
    bool Shown(int id) const {
        const std::string text = gMsgTable.Get(id);
        for (const std::string& s : messages_.Shown())
            if (s.find(text) != std::string::npos) return true;
        return false;
    }
    bool Idle() {
        const bool idle = PumpUntil(
            [] { return _TransData->JobNo == 0 && _TransData->MaySend && !_TransData->QelCom->IsOpen(); },
            std::chrono::seconds(20));
        QCoreApplication::processEvents();  // messages follow the port's notification
        return idle;
    }
    void OpenLinkWindow(int direction) {
        ASSERT_TRUE(frame_->RunCommand("MmTrans"));
        ASSERT_TRUE(form_->isVisible());
        form_->WorkType->setFocus();
        QTest::keyClick(form_->WorkType, Qt::Key_Home);
        for (int i = 0; i < direction; ++i) QTest::keyClick(form_->WorkType, Qt::Key_Down);
        ASSERT_EQ(form_->WorkType->currentIndex(), direction);
    }
    std::vector<std::uint8_t> Image() const { return {gProgram, gProgram + gProgramCapacity}; }

    PlcEmulator emu_;
    TTransDataForm* form_ = nullptr;
};

TEST_F(TransferWindowTest, WriteThenReadBackThroughTheWindow) {
    PutProgram({"LD X0", "AND M5", "OUT Y1", "LD X2", "MOV K15 D0", "END"});
    gQel.ProgramPresent = 1;
    const std::vector<std::uint8_t> image = Image();
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    EXPECT_TRUE(frame_->Action("MmTrans")->isEnabled());
    EXPECT_TRUE(frame_->Action("BnTrans")->isEnabled());

    OpenLinkWindow(TTransDataForm::kWrite);
    EXPECT_TRUE(form_->TransGroup->isEnabled());
    EXPECT_FALSE(form_->StartStep_Txt->isEnabled());
    QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
    EXPECT_FALSE(form_->isVisible());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(qel::link::kMsgWriteOk)) << ::testing::PrintToString(messages_.Shown());
    EXPECT_EQ(emu_.S.program, image);
    EXPECT_FALSE(_ProgBar->isVisible());

    // A changed project: the read asks to save first; No reads all the same.
    PutProgram({"LD X7", "OUT Y7", "END"});
    gQel.Modified = 1;
    messages_.Clear();
    OpenLinkWindow(TTransDataForm::kRead);
    messages_.QueueAnswer(qel::Answer::No);
    QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
    ASSERT_TRUE(Idle());
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_NE(messages_.Asked()[0].find(gMsgTable.Get(qel::link::kMsgSaveBeforeRead)), std::string::npos);
    EXPECT_TRUE(Shown(qel::link::kMsgReadDone));
    EXPECT_EQ(Image(), image);
    EXPECT_EQ(gQel.Named, 0);
    EXPECT_NE(frame_->windowTitle().indexOf("Untitled"), -1) << frame_->windowTitle().toStdString();
    // The ladder window that was open shows the program read.
    QMdiSubWindow* active = frame_->MdiArea->activeSubWindow();
    ASSERT_NE(active, nullptr);
    EXPECT_EQ(active->widget()->objectName(), "LDB");
    EXPECT_EQ(gActiveView, 2);
    EXPECT_EQ(gLadderRowCount, 3);  // two networks and END

    // Cancel on a read's question leaves everything as it was.
    gQel.Modified = 1;
    messages_.Clear();
    OpenLinkWindow(TTransDataForm::kRead);
    messages_.QueueAnswer(qel::Answer::Cancel);
    const std::size_t requests = emu_.RequestCount();
    QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
    EXPECT_TRUE(form_->isVisible());
    QTest::mouseClick(form_->CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_TRUE(PumpUntil([] { return !_TransData->QelCom->IsOpen(); }));
    EXPECT_EQ(emu_.RequestCount(), requests);
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(TransferWindowTest, PartialRangeIsProposedAndChecked) {
    PutProgram({"LD X0", "OUT Y0", "END"});
    gQel.ProgramPresent = 1;
    OpenLinkWindow(TTransDataForm::kWrite);
    QTest::mouseClick(form_->TransPartial, Qt::LeftButton);
    EXPECT_TRUE(form_->StartStep_Txt->isEnabled());
    EXPECT_EQ(form_->StartStep_Txt->text(), "0");
    EXPECT_EQ(form_->EndStep_Txt->text(), "3");  // the step after END

    // Bad numbers: message 45, the window stays, nothing is sent.
    form_->EndStep_Txt->clear();
    QTest::keyClicks(form_->EndStep_Txt, "1x");
    QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
    EXPECT_TRUE(Shown(qel::link::kMsgBadStepRange));
    EXPECT_TRUE(form_->isVisible());
    form_->EndStep_Txt->setText("5000");  // past the 3616-byte image
    messages_.Clear();
    QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
    EXPECT_TRUE(Shown(qel::link::kMsgBadStepRange));
    EXPECT_EQ(emu_.RequestCount(), 0u);

    form_->EndStep_Txt->setText("3");
    QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
    ASSERT_TRUE(Idle());
    std::size_t blocks = 0;
    for (const auto& t : emu_.Log()) blocks += t.bytes[1] == 16;
    EXPECT_EQ(blocks, 1u);
    EXPECT_EQ(std::vector<std::uint8_t>(emu_.S.program.begin(), emu_.S.program.begin() + 6),
              std::vector<std::uint8_t>(gProgram, gProgram + 6));
    EXPECT_EQ(emu_.S.program[6], 0xFF);
}

TEST_F(TransferWindowTest, ProgressCancelAndVerify) {
    PutProgram({"LD X0", "OUT Y0", "END"});
    gQel.ProgramPresent = 1;
    gQel.Modified = 0;
    std::fill(emu_.S.program.begin(), emu_.S.program.end(), 0xFF);
    const std::vector<std::uint8_t> before = Image();
    qel::test::FaultRule slow;
    slow.action = qel::test::FaultAction::Delay;
    slow.addrLo = 0x2000;
    slow.addrHi = 0x6FFF;
    slow.times = -1;
    slow.param = 5;
    emu_.AddFault(slow);
    OpenLinkWindow(TTransDataForm::kRead);
    QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([] { return _ProgBar->isVisible() && _ProgBar->ProgBar->value() >= 64; }));
    ASSERT_TRUE(_ProgBar->CancelBtn->isVisible());
    QTest::mouseClick(_ProgBar->CancelBtn, Qt::LeftButton);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(qel::link::kMsgTransferCancelled));
    EXPECT_FALSE(_ProgBar->isVisible());
    EXPECT_EQ(Image(), before);
    emu_.ClearFaults();

    // Verify: the PLC holds an empty program, so the first step differs.
    messages_.Clear();
    ASSERT_TRUE(frame_->Action("MmCodeVerify")->isEnabled());
    frame_->Action("MmCodeVerify")->trigger();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(qel::link::kMsgVerifyDiffers));
    ASSERT_FALSE(messages_.Shown().empty());
    EXPECT_NE(messages_.Shown().back().find("Steps :0"), std::string::npos) << messages_.Shown().back();
    std::copy(before.begin(), before.end(), emu_.S.program.begin());
    messages_.Clear();
    frame_->Action("MmCodeVerify")->trigger();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(qel::link::kMsgVerifyEqual));
}

TEST_F(TransferWindowTest, HandheldModeServesUntilCancel) {
    PutProgram({"LD X0", "OUT Y0", "END"});
    gQel.ProgramPresent = 1;
    // A changed project is offered for saving first; Cancel keeps the window
    // on reading and answers no programmer.
    gQel.Modified = 1;
    messages_.QueueAnswer(qel::Answer::Cancel);
    ASSERT_TRUE(frame_->RunCommand("MmTrans"));
    form_->WorkType->setFocus();
    QTest::keyClick(form_->WorkType, Qt::Key_End);
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(form_->WorkType->currentIndex(), TTransDataForm::kRead);
    EXPECT_EQ(_TransData->JobNo, 0);
    QTest::mouseClick(form_->CancelBtn, Qt::LeftButton);

    messages_.QueueAnswer(qel::Answer::No);
    OpenLinkWindow(TTransDataForm::kHandheld);
    EXPECT_EQ(_TransData->JobNo, kJobHandheld);
    EXPECT_FALSE(form_->OkBtn->isEnabled());
    EXPECT_FALSE(form_->TransGroup->isEnabled());
    EXPECT_TRUE(_TransData->QelCom->IsOpen());
    QTest::mouseClick(form_->CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(_TransData->JobNo, 0);
    EXPECT_TRUE(PumpUntil([] { return !_TransData->QelCom->IsOpen(); }));
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(TransferWindowTest, AProgramReadThatCannotBeDrawnIsReportedAfterTheReadMessage) {
    // An output with no contact before it (OUT Y0, END) has no rung to stand on.
    const std::vector<std::uint8_t> code = {0x00, 0xC5, 0x0F, 0x00};
    const struct {
        const char* path;
        std::function<void()> read;
        int done;
    } cases[] = {
        {"PLC read",
         [&] {
             std::copy(code.begin(), code.end(), emu_.S.program.begin());
             OpenLinkWindow(TTransDataForm::kRead);
             QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
         },
         qel::link::kMsgReadDone},
        {"memory card read",
         [&] {
             emu_.Configure(1, 3, 90);
             SetModelFamily(1);
             std::copy(code.begin(), code.end(), emu_.S.cardArea[4].begin());
             ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw"));
             ASSERT_TRUE(Idle());
             _MemCardDlg->ReadRdo->setChecked(true);
             messages_.QueueAnswer(qel::Answer::Yes);
             EXPECT_TRUE(_MemCardDlg->OkBtnClick());
         },
         138},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        PutProgram({"LD X0", "OUT Y0", "END"});
        gQel.ProgramPresent = 1;
        gQel.Modified = 0;
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        messages_.Clear();
        c.read();
        ASSERT_TRUE(Idle());
        const std::vector<std::string> shown = messages_.Shown();
        ASSERT_GE(shown.size(), 2u) << ::testing::PrintToString(shown);
        EXPECT_NE(shown[shown.size() - 2].find(gMsgTable.Get(c.done)), std::string::npos);
        EXPECT_NE(shown.back().find(gMsgTable.Get(162)), std::string::npos) << shown.back();
        EXPECT_EQ(gQel.ProgramOk, 0);
        EXPECT_TRUE(std::equal(code.begin(), code.end(), gProgram)) << "the code stays as it was read";
        EXPECT_EQ(frame_->MdiArea->subWindowList().size(), 0);  // no ladder to show
    }
    SetModelFamily(0);
}

TEST_F(TransferWindowTest, EveryPathThatReplacesTheProjectAsksAboutKeptValuesFirst) {
    InstallRegisterView(frame_.get());
    InstallFileTemplate(frame_.get());
    emu_.Configure(1, 3, 90);
    SetModelFamily(1);
    SetProgramCapacity(3);
    gQel.CapacityIndex = 3;
    PutSmallProgram();
    gQel.ProgramPresent = 1;
    gQel.Modified = 0;
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    ASSERT_TRUE(_DevReg && _FileTmp);
    _DevReg->Data.DRegs[5] = 123;
    _DevReg->Modified = _FileTmp->Modified = 1;
    // Each path: the window opened, then the command that would replace the
    // project. The register values are asked about first, then the
    // template's; Cancel on either keeps both windows and their values, and
    // nothing is read.
    const struct {
        const char* path;
        std::function<void()> open, run;
        std::vector<qel::Answer> answers;  // the last one cancels
        const std::string* cancelled;       // whose question it answers
    } cases[] = {
        {"PLC read", [&] { OpenLinkWindow(TTransDataForm::kRead); },
         [&] { QTest::mouseClick(form_->OkBtn, Qt::LeftButton); }, {qel::Answer::Cancel}, &_DevReg->SaveFileName},
        {"hand-held programmer", [&] { ASSERT_TRUE(frame_->RunCommand("MmTrans")); form_->WorkType->setFocus(); },
         [&] { QTest::keyClick(form_->WorkType, Qt::Key_End); }, {qel::Answer::No, qel::Answer::Cancel},
         &_FileTmp->SaveFileName},
        {"memory card read",
         [&] {
             ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw"));
             ASSERT_TRUE(Idle());
             _MemCardDlg->ReadRdo->setChecked(true);
         },
         [&] { EXPECT_FALSE(_MemCardDlg->OkBtnClick()); }, {qel::Answer::Yes, qel::Answer::Cancel},
         &_DevReg->SaveFileName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        c.open();
        messages_.Clear();
        for (qel::Answer a : c.answers) messages_.QueueAnswer(a);
        const std::size_t requests = emu_.RequestCount();
        c.run();
        const std::vector<std::string> asked = messages_.Asked();
        ASSERT_EQ(asked.size(), c.answers.size());
        EXPECT_NE(asked.back().find(*c.cancelled), std::string::npos) << asked.back();
        if (form_->isVisible()) QTest::mouseClick(form_->CancelBtn, Qt::LeftButton);
        if (_MemCardDlg->isVisible()) _MemCardDlg->reject();
        EXPECT_EQ(emu_.RequestCount(), requests);
        EXPECT_EQ(_TransData->JobNo, 0);
        ASSERT_TRUE(_DevReg && _FileTmp);
        EXPECT_EQ(_DevReg->Data.DRegs[5], 123);
        EXPECT_TRUE(_DevReg->Modified && _FileTmp->Modified);
    }
    EXPECT_FALSE(messages_.UnscriptedQuestion());
    SetModelFamily(0);
}

}  // namespace
