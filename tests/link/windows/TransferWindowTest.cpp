// The PLC link window in the frame, against the emulator over a
// pseudo-terminal: the transfer command opens it, OK writes or reads the
// program, the range edits propose the program's steps and refuse bad ones,
// the progress window cancels, the verify command compares, choosing the
// hand-held programmer serves it until Cancel, and the memory card dialog.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/Codetranslate.h"
#include "core/Instruction.h"
#include "core/ProgramImage.h"
#include "instlist/EdDlg.h"
#include "instlist/Instredit.h"
#include "ladder/edit/Laddertexts.h"
#include "ladder/editor/Ladder.h"
#include "ladder/model/LadderGrid.h"
#include "link/jobs/Memcard.h"
#include "link/jobs/Programtransfer.h"
#include "link/windows/Devreg.h"
#include "link/windows/Filetmp.h"
#include "link/windows/Memcarddlg.h"
#include "link/windows/Online.h"
#include "link/windows/Transdatafrm.h"
#include "sfc/window/Sfcwin.h"
#include "shell/Progfrm.h"
#include "simulator/Simucomm.h"
#include "simulator/Simuplc.h"
#include "tests/link/windows/LinkWindowFixture.h"
#include "tools/windows/Devuse.h"
#include "tools/windows/Loopchk.h"
#include "tools/windows/Toolsinstall.h"

namespace {

class TransferWindowTest : public LinkWindowTest {
protected:
    void SetUp() override {
        LinkWindowTest::SetUp();
        emu_.Configure(0, 0, 90);
        StartFrame();
        InstallLadder(frame_.get());
        InstallProgramTransfer(frame_.get());
        ASSERT_NE(_TransDataForm, nullptr);
        form_ = _TransDataForm;
        PutProgram({"LD X0", "OUT Y0", "END"});
        gQel.ProgramPresent = 1;
    }
    // Shown as a message or as part of a question (a ladder asked to drop
    // edits that do not compile names the compile failure).
    bool Shown(int id) const {
        const std::string text = gMsgTable.Get(id);
        for (const auto& said : {messages_.Shown(), messages_.Asked()})
            for (const std::string& s : said)
                if (s.find(text) != std::string::npos) return true;
        return false;
    }
    bool Idle() {
        const bool idle =
            PumpUntil([] { return _TransData->JobNo == 0 && _TransData->MaySend && !_TransData->QelCom->IsOpen(); });
        QCoreApplication::processEvents();  // messages follow the port's notification
        return idle;
    }
    void ChooseDirection(int direction) {
        ASSERT_TRUE(frame_->RunCommand("MmTrans"));
        ASSERT_TRUE(form_->isVisible());
        form_->WorkType->setFocus();
        QTest::keyClick(form_->WorkType, Qt::Key_Home);
        for (int i = 0; i < direction; ++i) QTest::keyClick(form_->WorkType, Qt::Key_Down);
    }
    void OpenLinkWindow(int direction) {
        ChooseDirection(direction);
        ASSERT_EQ(form_->WorkType->currentIndex(), direction);
    }
    std::vector<std::uint8_t> Image() const { return {gProgram, gProgram + gProgramCapacity}; }

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
    gQel.Modified = 0;
    std::fill(emu_.S.program.begin(), emu_.S.program.end(), 0xFF);
    const std::vector<std::uint8_t> before = Image();
    emu_.AddFault({.action = qel::test::FaultAction::Delay, .addrLo = 0x2000, .addrHi = 0x6FFF, .times = -1, .param = 5});
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

// A program read from a PLC may hold an operand that reaches past the
// model's last device (CMP's three result bits from M1279 run to M1281 on the
// default model): the code is kept as read, and the ladder that cannot show
// it says which step holds it.
TEST_F(TransferWindowTest, AProgramReadHoldingAnOperandPastTheModelsLastDeviceIsKeptAndNamed) {
    // "LD X0", "CMP D0 D1 M100", "END", with M100's record made M1279's.
    std::vector<std::uint8_t> code;
    for (const char* line : {"LD X0", "CMP D0 D1 M100", "END"}) {
        const TAssembly a = AssembleLine(line, 0);
        ASSERT_TRUE(a) << line;
        code.insert(code.end(), a.instruction->bytes.begin(), a.instruction->bytes.end());
    }
    std::uint8_t from[4], to[4];
    ASSERT_EQ(EncodeOperandRecord("M100", false, from), 4);
    ASSERT_EQ(EncodeOperandRecord("M1279", false, to), 4);
    const auto at = std::search(code.begin(), code.end(), from, from + 4);
    ASSERT_NE(at, code.end());
    std::copy(to, to + 4, at);

    PutProgram({"LD X0", "OUT Y0", "END"});
    gQel.ProgramPresent = 1;
    gQel.Modified = 0;
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    messages_.Clear();
    std::copy(code.begin(), code.end(), emu_.S.program.begin());
    OpenLinkWindow(TTransDataForm::kRead);
    QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
    ASSERT_TRUE(Idle());
    const std::vector<std::string> shown = messages_.Shown();
    ASSERT_GE(shown.size(), 2u) << ::testing::PrintToString(shown);
    EXPECT_NE(shown[shown.size() - 2].find(gMsgTable.Get(qel::link::kMsgReadDone)), std::string::npos);
    EXPECT_EQ(shown.back(), gMsgTable.Get(162) + "\n" + gMsgTable.Get(143) + " 1 CMP D0 D1 M1279");
    EXPECT_TRUE(std::equal(code.begin(), code.end(), gProgram)) << "the code stays as it was read";
}

// The memory card dialog from the PLC menu: the card status in its status
// bar, the program written to the card after the question, the PLC's own
// copy, comments and a user-instruction file, and the family test of the
// copy command.
TEST_F(TransferWindowTest, MemoryCardDialogFromTheMenu) {
    emu_.Configure(1, 3, 90);
    SetModelFamily(1);
    SetProgramCapacity(3);
    gQel.CapacityIndex = 3;
    PutSmallProgram();
    emu_.S.cardPassword = std::string("abcd");
    ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw"));
    ASSERT_NE(_MemCardDlg, nullptr);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(_MemCardDlg->CardMemStaBar->currentMessage().toStdString(), gMsgTable.Get(qel::link::kMsgCardHasPassword));

    // Written to the card after Yes; No sends nothing.
    messages_.QueueAnswer(qel::Answer::No);
    emu_.ClearLog();
    EXPECT_FALSE(_MemCardDlg->OkBtnClick());
    EXPECT_EQ(emu_.RequestCount(), 0u);
    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(_MemCardDlg->OkBtnClick());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(std::equal(gProgram, gProgram + 64, emu_.S.cardArea[4].begin()));

    // The PLC's own copy, card to PLC.
    emu_.S.cardArea[4][0] = 0x5A;
    _MemCardDlg->CardToPlcRdo->setChecked(true);
    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(_MemCardDlg->InterOK_BtnClick());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(emu_.S.program[0], 0x5A);
    _MemCardDlg->reject();

    // The comments of the checked lists to the card.
    gQel.DevComments[1].resize(8);
    gQel.DevComments[1][3] = "Lamp";
    ASSERT_TRUE(frame_->RunCommand("MmCardCmtRw"));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(_MemCardDlg->MemCard_Cmt_Rw_Grp->isVisible());
    EXPECT_FALSE(_MemCardDlg->MemCard_Code_Rw_Grp->isVisible());
    _MemCardDlg->DevChk[1]->setChecked(true);
    ASSERT_TRUE(_MemCardDlg->CmtOk_BtnClick());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(emu_.S.cardArea[1][0], 'Y');
    EXPECT_EQ(emu_.S.cardArea[1][3], 'L');
    _MemCardDlg->reject();

    // A user-instruction file, chosen and written after the question.
    const auto file = projects_ / "u.Bin";
    {
        std::ofstream out(file, std::ios::binary);
        out << "ABCD";
    }
    ASSERT_TRUE(frame_->RunCommand("MmUserInst"));
    ASSERT_TRUE(Idle());
    dialogs_.QueuePath(file.string());
    QTest::mouseClick(_MemCardDlg->CmdSet_Btn, Qt::LeftButton);
    _MemCardDlg->UserFun2Rdo->setChecked(true);
    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(_MemCardDlg->UserFunOk_BtnClick());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(std::string(emu_.S.cardArea[3].begin(), emu_.S.cardArea[3].begin() + 4), "ABCD");
    _MemCardDlg->reject();

    // A project of another family gets no copy dialog.
    SetModelFamily(2);
    messages_.Clear();
    frame_->RunCommand("MmPlcToCard");
    ASSERT_FALSE(messages_.Shown().empty());
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(qel::link::kMsgCardNotFamily));
    EXPECT_FALSE(_MemCardDlg->isVisible());
    EXPECT_FALSE(messages_.UnscriptedQuestion());
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

// ---------------------------------------------------------------------------
// What runs, is written or is checked is the program the editors show: a rung
// drawn in the ladder, never left, is committed by the command that reads the
// program; a rung that does not compile stops the command.

class EditedProgramTest : public TransferWindowTest {
protected:
    void SetUp() override {
        RegisterInstListForms();
        RegisterToolForms();
        RegisterOnlineForms();
        TransferWindowTest::SetUp();
        if (HasFatalFailure()) return;
        InstallInstList(frame_.get());
        InstallSfc(frame_.get());
        InstallTools(frame_.get());
        InstallOnline(frame_.get());
        frame_->NewClick();
        PutProgram({"LD X7", "OUT Y7", "END"});
        old_ = Image();
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        lad_ = _LDB;
        ASSERT_NE(lad_, nullptr);
    }
    void TearDown() override {
        ShutdownSimulation();
        if (frame_ && frame_->Link.MonitorRunning()) frame_->Link.StopAllMonitoring();
        TransferWindowTest::TearDown();
    }
    void Type(const char* rest) {
        ASSERT_TRUE(_EditDlg->isVisible());
        QTest::keyClicks(_EditDlg->IEdit, QString::fromLatin1(rest));
        QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
    }
    // A contact on an empty row below the program's rungs; the coil after it
    // when `whole`. Without the coil the rung leads nowhere and does not compile.
    void DrawRung(bool whole) {
        lad_->Edit().SetCursor(4, 0);
        QTest::keyClick(lad_, Qt::Key_F1);
        Type("X0");
        if (!whole) return;
        QTest::keyClick(lad_, Qt::Key_Right);
        QTest::keyClick(lad_, Qt::Key_F7);
        Type("Y0");
    }
    // The program holds the drawn rung after the old ones.
    bool HoldsRung() const {
        std::uint32_t off = 0;
        std::vector<std::string> lines;
        while (off < gProgramUsed && lines.size() < 8) {
            lines.push_back(DisassembleText(gProgram, gProgramCapacity, off));
            off = NextInstructionOffset(off, gProgram, gProgramCapacity);
        }
        return lines == std::vector<std::string>{"LD X7", "OUT Y7", "END", "LD X0", "OUT Y0"} ||
               lines == std::vector<std::string>{"LD X7", "OUT Y7", "LD X0", "OUT Y0", "END"};
    }
    bool Started() const {
        return gSimRunning != 0 || frame_->Link.MonitorRunning() || _TransData->JobNo != 0 ||
               frame_->BnSimuLad->isChecked() || frame_->MmMonitorLad->isChecked() || (_DLChkFrm && _DLChkFrm->isVisible());
    }
    // Opens the link window on `direction` anew and presses OK (the
    // hand-held link starts on being chosen).
    void LinkWindow(int direction) {
        if (form_->isVisible()) QTest::mouseClick(form_->CancelBtn, Qt::LeftButton);
        if (direction == TTransDataForm::kHandheld) messages_.QueueAnswer(qel::Answer::No);  // not saved first
        ChooseDirection(direction);
        if (direction != TTransDataForm::kHandheld) QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
    }

    std::vector<std::uint8_t> old_;
    TLDB* lad_ = nullptr;
};

TEST_F(EditedProgramTest, ADrawnRungIsWhatTheWriteSends) {
    DrawRung(true);
    ASSERT_EQ(Image(), old_);  // still only in the ladder
    LinkWindow(TTransDataForm::kWrite);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(qel::link::kMsgWriteOk)) << ::testing::PrintToString(messages_.Shown());
    EXPECT_TRUE(HoldsRung());
    EXPECT_EQ(emu_.S.program, Image());
    EXPECT_EQ(frame_->QelStaBar->Panel(4), QStringLiteral("Steps: %1/%2").arg(gProgramUsed / 2).arg(gProgramCapacity / 2));
}

// The partial write's range is proposed over the program as the editors hold
// it: a contact added in series on the rung (LD X7 / AND X1 / OUT Y7 / END),
// still only in the ladder or in the chart's inner ladder, moves END to step 3.
TEST_F(EditedProgramTest, ThePartialRangeProposedCoversTheEditorsEdits) {
    for (const bool inner : {false, true}) {
        SCOPED_TRACE(inner ? "the chart's inner ladder" : "the ladder");
        if (inner) {
            frame_->NewClick();
            PutProgram({"LD X7", "OUT Y7", "END"});
            ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
            ASSERT_NE(_Sfc, nullptr);
            QTest::keyClick(_Sfc, Qt::Key_L, Qt::ControlModifier);
            ASSERT_NE(_InterLadder, nullptr);
        }
        TLDB* lad = inner ? _InterLadder : lad_;
        lad->Edit().SetCursor(0, 1);
        QTest::keyClick(lad, Qt::Key_F1);
        Type("X1");
        ASSERT_EQ(Image(), old_);
        OpenLinkWindow(TTransDataForm::kWrite);
        QTest::mouseClick(form_->TransPartial, Qt::LeftButton);
        EXPECT_EQ(DisassembleText(gProgram, gProgramCapacity, 6), "END");
        EXPECT_EQ(form_->StartStep_Txt->text(), "0");
        EXPECT_EQ(form_->EndStep_Txt->text(), "4");
        QTest::mouseClick(form_->OkBtn, Qt::LeftButton);
        ASSERT_TRUE(Idle());
        EXPECT_TRUE(Shown(qel::link::kMsgWriteOk)) << ::testing::PrintToString(messages_.Shown());
        // The PLC holds the whole program, END included.
        EXPECT_EQ(std::vector<std::uint8_t>(emu_.S.program.begin(), emu_.S.program.begin() + 8),
                  std::vector<std::uint8_t>(gProgram, gProgram + 8));
        std::fill(emu_.S.program.begin(), emu_.S.program.end(), 0xFF);
        messages_.Clear();
    }
}

TEST_F(EditedProgramTest, AHalfDrawnRungRunsNothingAndIsDroppedOnlyWhenAsked) {
    // (Each command that reads the program refuses it: ProgramReaderTest.)
    DrawRung(false);
    // The instruction list comes forward over the old program, after the
    // message once; the status bar says the program lacks the ladder's edits.
    messages_.Clear();
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    QCoreApplication::processEvents();
    ASSERT_NE(_Inst, nullptr);
    EXPECT_EQ(gActiveView, 1);
    EXPECT_EQ(messages_.Shown().size(), 1u);
    EXPECT_TRUE(Shown(32));
    EXPECT_EQ(Image(), old_);
    EXPECT_TRUE(frame_->QelStaBar->Panel(4).endsWith(QString::fromStdString(gMsgTable.Get(253))));
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    EXPECT_EQ(messages_.Shown().size(), 1u) << "not again before the next edit";

    // Closing the ladder asks; No keeps it, Yes drops the edits, and the next
    // ladder shows the program's code.
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    messages_.QueueAnswer(qel::Answer::No);
    lad_->parentWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(_LDB, lad_);
    messages_.QueueAnswer(qel::Answer::Yes);
    lad_->parentWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(_LDB, nullptr);
    EXPECT_EQ(messages_.Asked().size(), 2u);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    EXPECT_EQ(CellOperandText(gLadderRows, 0, 0), "X7");
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 4, 0)), TLdbKind::non_inst);
    EXPECT_FALSE(frame_->QelStaBar->Panel(4).endsWith(QString::fromStdString(gMsgTable.Get(253))));
    EXPECT_EQ(Image(), old_);
}

TEST_F(EditedProgramTest, ProgramChangedElsewhereAsksBeforeTheLaddersEditsGo) {
    DrawRung(false);
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    // The list changes the program under the ladder's unmatched edits.
    QTest::keyClick(_Inst, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(_Inst, "L");
    Type("D X3");
    ASSERT_NE(Image(), old_);
    messages_.QueueAnswer(qel::Answer::No);  // kept
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(CellOperandText(gLadderRows, 4, 0), "X0");
    EXPECT_TRUE(lad_->Dirty());
    // New asks again before the project goes; Yes lets it go.
    messages_.QueueAnswer(qel::Answer::Yes);
    messages_.QueueAnswer(qel::Answer::No);  // not saved
    frame_->NewClick();
    EXPECT_FALSE(messages_.UnscriptedQuestion());
    EXPECT_EQ(gProgramUsed, 0u);
}

// A program read from the PLC while the simulator runs the old one: the run
// ends with the old program, and the ladder shows the program read without
// any state of that run.
TEST_F(EditedProgramTest, AProgramReadEndsTheSimulatorsRunOfTheOldProgram) {
    PutProgram({"LD X1", "OUT Y1", "END"});  // what the PLC holds
    std::copy(gProgram, gProgram + gProgramUsed, emu_.S.program.begin());
    PutProgram({"LD X0", "OUT Y0", "END"});
    frame_->ResetEditors();
    frame_->BnSimuLad->trigger();
    ASSERT_TRUE(PumpUntil([] { return SimPlc().ReadBit(SimBitIndexOf('Y', 0)) == 1; }));
    gQel.Modified = 0;
    LinkWindow(TTransDataForm::kRead);
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(Shown(qel::link::kMsgReadDone)) << ::testing::PrintToString(messages_.Shown());
    EXPECT_FALSE(gSimRunning);
    EXPECT_FALSE(SimPlc().Running());
    EXPECT_FALSE(frame_->BnSimuLad->isChecked());
    EXPECT_FALSE(frame_->MmSimulate->isChecked());
    ASSERT_NE(_LDB, nullptr);
    EXPECT_FALSE(_LDB->ShowsSimulation());
    EXPECT_EQ(CellOperandText(gLadderRows, 0, 0), "X1");
}

// One run of each command that reads the program: a half-drawn rung stops
// it with the compile message, the drawn rung is in the program when it runs.
class ProgramReaderTest;
struct ReaderCase {
    const char* name;
    void (*run)(ProgramReaderTest&);
    bool asksThePlc = false;  // opening its window asks the PLC first
};
void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class ProgramReaderTest : public EditedProgramTest, public ::testing::WithParamInterface<ReaderCase> {
public:
    void Press(QAction* TQelMain::*button) { (frame_.get()->*button)->trigger(); }
    void Command(const char* command) { frame_->RunCommand(command); }
    void Link(int direction) { LinkWindow(direction); }
    void CardWrite() {
        if (!_MemCardDlg->isVisible()) Command("MmCardCodeRw");
        PumpUntil([] { return _TransData->JobNo == 0 && _TransData->MaySend; });
        messages_.QueueAnswer(qel::Answer::No);  // the write's own question
        _MemCardDlg->OkBtnClick();
    }
    void DeviceUse() {
        QTimer::singleShot(0, frame_.get(), [] { _DevUsed->reject(); });  // a modal window
        Command("MmDevUsedWin");
    }
};

const ReaderCase kReaders[] = {
    {"SimulateButton", [](ProgramReaderTest& t) { t.Press(&TQelMain::BnSimuLad); }},
    {"SimulateMenu", [](ProgramReaderTest& t) { t.Press(&TQelMain::MmSimulate); }},
    {"Write", [](ProgramReaderTest& t) { t.Link(TTransDataForm::kWrite); }},
    {"Verify", [](ProgramReaderTest& t) { t.Command("MmCodeVerify"); }},
    {"Handheld", [](ProgramReaderTest& t) { t.Link(TTransDataForm::kHandheld); }},
    {"CardWrite", [](ProgramReaderTest& t) { t.CardWrite(); }, true},
    {"MonitorLadder", [](ProgramReaderTest& t) { t.Press(&TQelMain::BnMonitorLad); }},
    {"MonitorChart", [](ProgramReaderTest& t) { t.Command("MmMonitorSfc"); }},
    {"MonitorDevices", [](ProgramReaderTest& t) { t.Command("MmMonitorDev"); }},
    {"DoubleCoils", [](ProgramReaderTest& t) { t.Command("MmLoopChk"); }},
    {"DeviceUse", [](ProgramReaderTest& t) { t.DeviceUse(); }},
    {"FindReplace", [](ProgramReaderTest& t) { t.Command("MmRep"); }},
    {"FindInstruction", [](ProgramReaderTest& t) { t.Command("MmFindCmd"); }},
    {"Print", [](ProgramReaderTest& t) { t.Command("MmPrn"); }},
    {"CodeToLadder", [](ProgramReaderTest& t) { t.Command("MmCodeToLad"); }},
    {"CodeToChart", [](ProgramReaderTest& t) { t.Command("MmCodeToSfc"); }},
    {"BatchCompileTest", [](ProgramReaderTest& t) { t.Command("MmFileCompileTest"); }},
};

TEST_P(ProgramReaderTest, CommitsTheLadderFirst) {
    DrawRung(false);
    GetParam().run(*this);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Shown(32));
    EXPECT_FALSE(Started());
    EXPECT_EQ(lad_->Edit().Row(), 4) << "the cursor on the failing rung";
    EXPECT_TRUE(GetParam().asksThePlc || emu_.RequestCount() == 0);
    EXPECT_EQ(Image(), old_);

    // The rung finished, the command runs on it.
    QTest::keyClick(lad_, Qt::Key_Right);
    QTest::keyClick(lad_, Qt::Key_F7);
    Type("Y0");
    messages_.Clear();
    GetParam().run(*this);
    QCoreApplication::processEvents();
    EXPECT_FALSE(Shown(32));
    EXPECT_TRUE(HoldsRung());
}

INSTANTIATE_TEST_SUITE_P(EveryReader, ProgramReaderTest, ::testing::ValuesIn(kReaders),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
