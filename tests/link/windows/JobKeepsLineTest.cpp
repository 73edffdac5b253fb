// A job on the PLC link runs to its end whatever the user starts meanwhile,
// in the frame against the emulator over a pseudo-terminal: each command that
// would send requests of its own (the monitors, run, force, set value, the
// password, the memory card, the register view's and the template's
// transfers, another transfer or verify) is refused with one message while a
// job runs, and closing it again changes nothing; the job ends with its own
// completion message, and the PLC holds what the job sent. A job started
// over a running monitor says why it does not start; a command refused
// during a job that then fails goes out when tried again; writes queued
// before a job starts go out first.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ladder/editor/Ladder.h"
#include "link/jobs/Fileregs.h"
#include "link/jobs/Plcpassword.h"
#include "link/jobs/Programtransfer.h"
#include "link/jobs/Registertransfer.h"
#include "link/windows/Devmonidlg.h"
#include "link/windows/Devreg.h"
#include "link/windows/Filetmp.h"
#include "link/windows/Forcedev.h"
#include "link/windows/Memcarddlg.h"
#include "link/windows/Online.h"
#include "link/windows/Pwddlg.h"
#include "link/windows/Setvaldlg.h"
#include "link/windows/Transdatafrm.h"
#include "sfc/window/Sfcwin.h"
#include "shell/Machinesetfrm.h"
#include "shell/Progfrm.h"
#include "tests/link/windows/LinkWindowFixture.h"

namespace {

using qel::test::FaultAction;
using qel::test::FaultRule;

class JobKeepsLineTest : public LinkWindowTest {
protected:
    void SetUp() override {
        RegisterOnlineForms();
        LinkWindowTest::SetUp();
        emu_.Configure(1, 0, 90);
        StartFrame();
        if (HasFatalFailure()) return;
        InstallLadder(frame_.get());
        InstallOnline(frame_.get());
        InstallProgramTransfer(frame_.get());
        InstallRegisterView(frame_.get());
        InstallFileTemplate(frame_.get());
        InstallSfc(frame_.get());
        frame_->NewClick();
        SetModelFamily(1);
        SetProgramCapacity(0);
        gQel.CapacityIndex = 0;
        SetFileRegCount(FileRegCountFor(1, false));
    }
    // The project's program, as the PLC must hold it after a write.
    std::vector<std::uint8_t> Program() const { return {gProgram, gProgram + gProgramCapacity}; }
    // A menu item chosen as the user does: a disabled one does nothing.
    void Click(const char* command) { frame_->Action(command)->trigger(); }
    // A two-line program, present and saved: a row starts from it.
    void PutSavedProgram() {
        PutProgram({"LD X0", "OUT Y0", "END"});
        gQel.ProgramPresent = 1;
        gQel.Modified = 0;
    }
    std::vector<int> ShownIds() const {
        std::vector<int> ids;
        for (const std::string& s : messages_.Shown())
            for (int id : {qel::link::kMsgJobRunning, qel::link::kMsgWriteOk, qel::link::kMsgReadDone,
                           qel::link::kMsgVerifyEqual, qel::link::kMsgRegReadDone, qel::link::kMsgRegWriteDone,
                           qel::link::kMsgPartlyWritten, qel::link::kMsgTimeout, qel::link::kMsgPwdLocked})
                if (s.rfind(gMsgTable.Get(id), 0) == 0) ids.push_back(id);
        return ids;
    }
    // The transfer window: read, write or verify chosen, then OK.
    void LinkWindow(int direction) {
        ASSERT_TRUE(frame_->RunCommand("MmTrans"));
        _TransDataForm->WorkType->setCurrentIndex(direction);
        _TransDataForm->WorkTypeClick();
        QTest::mouseClick(_TransDataForm->OkBtn, Qt::LeftButton);
    }
    // The template's transfer dialog: 0 read, 1 write, then OK.
    void TemplateTransfer(int direction) {
        ASSERT_TRUE(frame_->RunCommand("MmFileTmpTransfer"));
        ASSERT_TRUE(_FileTmp && _FileTmp->Comm->isVisible());
        _FileTmp->Comm->CommType_Box->setCurrentIndex(direction);
        QTest::mouseClick(_FileTmp->Comm->OkBtn, Qt::LeftButton);
    }
    // The register view's T page read from or written to the PLC.
    void RegisterTransfer(bool write) {
        if (!_DevReg) {
            ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
        }
        _DevReg->PgContrl->setCurrentIndex(qel::link::kRegPageT);
        QTest::mouseClick(_DevReg->CommBtn, Qt::LeftButton);
        (write ? _DevReg->NumComm->WritePlcReg_Rdo : _DevReg->NumComm->ReadPlcReg_Rdo)->setChecked(true);
        if (_DevReg->NumComm->isVisible()) QTest::mouseClick(_DevReg->NumComm->Ok_Btn, Qt::LeftButton);
    }
    // The messages shown, as the ids among `ids` they begin with.
    std::vector<int> Said(std::initializer_list<int> ids) const {
        std::vector<int> said;
        for (const std::string& s : messages_.Shown())
            for (int id : ids)
                if (s.rfind(gMsgTable.Get(id), 0) == 0) said.push_back(id);
        return said;
    }
    // The job is over, the port closed, no monitor polls and every message
    // has been shown.
    bool Ended() {
        const bool ended = PumpUntil([] {
            return _TransData->JobNo == 0 && _TransData->MaySend && !_TransData->QelCom->IsOpen() &&
                   !_TransData->MessagesPending();
        });
        QCoreApplication::processEvents();
        return ended;
    }
};

TEST_F(JobKeepsLineTest, AJobRunsToItsEndWhateverIsStartedMeanwhile) {
    using Action = std::function<void()>;
    // The jobs, each started through its window; a delayed answer keeps it
    // running while the command is tried.
    struct Job {
        FaultRule slow;
        Action start;
        std::vector<int> ends;  // the messages it ends with
        std::function<bool()> done;
    };
    const std::vector<std::uint8_t> none;
    std::vector<std::uint8_t> image;
    auto linkWindow = [&](int direction) { LinkWindow(direction); };
    auto templateTransfer = [&](int direction) { TemplateTransfer(direction); };
    auto registerTransfer = [&](bool write) { RegisterTransfer(write); };
    auto registerRead = [&] { registerTransfer(false); };
    const FaultRule slowBlock = {.action = FaultAction::Delay, .function = 16, .addrLo = 0x2000, .addrHi = 0x6FFF,
                                 .skip = 2, .param = 300};
    const FaultRule slowRead = {.action = FaultAction::Delay, .function = 3, .addrLo = 0x2000, .addrHi = 0x6FFF,
                                .param = 300};
    const Job write{slowBlock, [&] { linkWindow(TTransDataForm::kWrite); }, {qel::link::kMsgWriteOk},
                    [&] { return std::equal(image.begin(), image.end(), emu_.S.program.begin()); }};
    const Job read{slowRead, [&] { linkWindow(TTransDataForm::kRead); }, {qel::link::kMsgReadDone},
                   [&] { return std::equal(gProgram, gProgram + 64, emu_.S.program.begin()); }};
    const Job verify{slowRead, [&] { ASSERT_TRUE(frame_->RunCommand("MmCodeVerify")); }, {qel::link::kMsgVerifyEqual},
                     [] { return true; }};
    const Job registers{{.action = FaultAction::Delay, .function = 3, .addrLo = 0x0600, .addrHi = 0x06FF, .skip = 1,
                         .param = 300},
                        registerRead,
                        {qel::link::kMsgRegReadDone},
                        [&] { return _DevReg->Data.TRegs[255] == 1255 && _DevReg->RegGrid->isEnabled(); }};
    const Job fileRegs{{.action = FaultAction::Delay, .function = 100, .subCode = 17, .skip = 1, .param = 300},
                       [&] { templateTransfer(1); },
                       {qel::link::kMsgFileRegWriteDone},
                       [&] { return emu_.S.fileRegs.at(5) == 4321 && !_FileTmp->Transferring(); }};
    const Job registerWrite{{.action = FaultAction::Delay, .function = 16, .addrLo = 0x0600, .addrHi = 0x06FF,
                             .skip = 1, .param = 300},
                            [&] {
                                if (!_DevReg) {
                                    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
                                }
                                _DevReg->Data.TRegs[20] = 4242;
                                registerTransfer(true);
                            },
                            {qel::link::kMsgRegWriteDone},
                            [&] { return emu_.S.regs[0x0600 + 20] == 4242 && _DevReg->RegGrid->isEnabled(); }};
    const Job fileRegsRead{{.action = FaultAction::Delay, .function = 100, .subCode = 24, .skip = 1, .param = 300},
                           [&] {
                               emu_.S.fileRegs.at(7) = 777;
                               templateTransfer(0);
                           },
                           {qel::link::kMsgFileRegReadDone},
                           [&] { return gFileRegValues.at(7) == 777 && !_FileTmp->Transferring(); }};
    const Job card{{.action = FaultAction::Delay, .function = 100, .param = 300},
                   [&] { ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw")); }, {}, [] { return true; }};
    const Job password{{.action = FaultAction::Delay, .function = 3, .addrLo = 5097, .addrHi = 5097, .param = 300},
                       [&] { ASSERT_TRUE(frame_->RunCommand("MmPassWd")); }, {}, [] { return true; }};
    // The password set and the card's program write, each once its dialog's
    // own query has ended.
    auto idle = [] { return _TransData->JobNo == 0 && _TransData->MaySend; };
    auto setPassword = [&](bool readBack) {
        ASSERT_TRUE(frame_->RunCommand("MmPassWd"));
        ASSERT_TRUE(PumpUntil(idle));
        _PwdDlg->Password->setText("1234");
        _PwdDlg->Confirm_Txt->setText("1234");
        // Read the lock state back from the PLC?
        messages_.QueueAnswer(readBack ? qel::Answer::Yes : qel::Answer::No);
        QTest::mouseClick(_PwdDlg->OKBtn, Qt::LeftButton);
    };
    const FaultRule slowSet = {.action = FaultAction::Delay, .function = 100, .subCode = 11, .param = 300};
    auto passwordIsSet = [&] { return emu_.S.password == std::optional<std::string>("1234"); };
    const Job passwordSet{slowSet, [&] { setPassword(true); }, {qel::link::kMsgPwdLocked}, passwordIsSet};
    const Job passwordSetNoReadBack{slowSet, [&] { setPassword(false); }, {}, passwordIsSet};
    const Job cardWrite{{.action = FaultAction::Delay, .function = 100, .subCode = 17, .skip = 1, .param = 300},
                        [&] {
                            ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw"));
                            ASSERT_TRUE(PumpUntil(idle));
                            _MemCardDlg->WriteRdo->setChecked(true);
                            messages_.QueueAnswer(qel::Answer::Yes);  // write the card?
                            QTest::mouseClick(_MemCardDlg->OkBtn, Qt::LeftButton);
                        },
                        {qel::link::kMsgRegWriteDone},  // the same text: written
                        [&] { return std::equal(image.begin(), image.begin() + 16, emu_.S.cardArea[4].begin()); }};

    // The commands, and how each is closed again.
    struct Command {
        Action start, close;
        std::function<bool()> started;  // it put something on the line or holds a window that does
    };
    const Command devMonitor{[&] { Click("MmMonitorDev"); },
                             [&] {
                                 if (_DevMoniDlg) CloseWindow(_DevMoniDlg);
                             },
                             [] { return _DevMoniDlg != nullptr || _TransData->Monitoring(); }};
    const Command ladMonitor{[&] { Click("MmMonitorLad"); },
                             [&] {
                                 if (frame_->MmMonitorLad->isChecked()) Click("MmMonitorLad");
                             },
                             [&] { return frame_->MmMonitorLad->isChecked() || _TransData->Monitoring(); }};
    const Command sfcMonitor{[&] { Click("MmMonitorSfc"); },
                             [&] {
                                 if (gSfcMonitorOn) Click("MmMonitorSfc");
                             },
                             [] { return gSfcMonitorOn != 0 || _TransData->Monitoring(); }};
    const Command run{[&] { Click("MmRun"); }, [] {}, [] { return !_TransData->CoilQueue.Empty(); }};
    const Command stop{[&] { Click("MmStop"); }, [] {}, [] { return !_TransData->CoilQueue.Empty(); }};
    // The set-value dialog left open from an earlier monitoring.
    const Command setValue{[&] {
                               _ValSet->ShowEmpty();
                               _ValSet->DevSetText->setText("D0");
                               _ValSet->CurValText->setText("K5");
                               QTest::mouseClick(_ValSet->BOK, Qt::LeftButton);
                           },
                           [] { _ValSet->hide(); }, [] { return !_TransData->RegQueue.Empty(); }};
    const Command force{[&] {
                            Click("MmForceDev");
                            _DevForce->DevName->setText("Y0");
                            _DevForce->SetOn->setChecked(true);
                            QTest::mouseClick(_DevForce->SetOK, Qt::LeftButton);
                        },
                        [] { _DevForce->hide(); }, [] { return !_TransData->CoilQueue.Empty(); }};
    const Command transfer{[&] { Click("MmTrans"); },
                           [] {
                               if (_TransDataForm->isVisible()) QTest::mouseClick(_TransDataForm->CancelBtn, Qt::LeftButton);
                           },
                           [] { return _TransDataForm->isVisible(); }};
    const Command verifyCmd{[&] { Click("MmCodeVerify"); }, [] {},
                            [] { return _TransData->JobNo == kJobVerifyProgram; }};
    const Command pwd{[&] { Click("MmPassWd"); },
                      [] {
                          if (_PwdDlg->isVisible()) QTest::mouseClick(_PwdDlg->CancelBtn, Qt::LeftButton);
                      },
                      [] { return _TransData->JobNo == kJobPassword; }};
    const Command regRead{registerRead, [] {}, [] { return _TransData->JobNo == kJobRegisterView; }};
    const Command tmpWrite{[&] { templateTransfer(1); }, [] {}, [] { return _TransData->JobNo == kJobWriteFileRegs; }};
    const Command cardCmd{[&] { Click("MmCardCodeRw"); }, [] { _MemCardDlg->hide(); },
                          [] { return _TransData->JobNo == kJobMemoryCard; }};
    // The same commands from the tool bar's buttons.
    const Command ladButton{[&] { Click("BnMonitorLad"); }, ladMonitor.close, ladMonitor.started};
    const Command sfcButton{[&] { Click("BnMonitorSfc"); }, sfcMonitor.close, sfcMonitor.started};
    const Command devButton{[&] { Click("BnMonitorDev"); }, devMonitor.close, devMonitor.started};
    const Command runButton{[&] { Click("BnRun"); }, [] {}, run.started};
    const Command transButton{[&] { Click("BnTrans"); }, transfer.close, transfer.started};

    struct Row {
        const char* path;
        const Job& job;
        const Command& command;
        bool closeAgain;
    } rows[] = {
        {"program write, device monitor opened and closed again", write, devMonitor, true},
        {"program write, device monitor opened and left open", write, devMonitor, false},
        {"program write, ladder monitor pressed and released again", write, ladMonitor, true},
        {"program write, ladder monitor pressed and left down", write, ladMonitor, false},
        {"program write, chart monitor pressed and released again", write, sfcMonitor, true},
        {"program write, RUN", write, run, false},
        {"program write, STOP", write, stop, false},
        {"program write, force Y0 ON", write, force, true},
        {"program write, set value left open from a monitoring, OK", write, setValue, true},
        {"program write, PLC > Transfer again", write, transfer, true},
        {"program write, verify", write, verifyCmd, false},
        {"program write, password", write, pwd, true},
        {"program write, register view read", write, regRead, false},
        {"program write, template write", write, tmpWrite, false},
        {"program write, memory card", write, cardCmd, true},
        {"program verify, device monitor opened and closed again", verify, devMonitor, true},
        {"program verify, ladder monitor left down", verify, ladMonitor, false},
        {"register view read, ladder monitor pressed and released again", registers, ladMonitor, true},
        {"register view read, program write", registers, transfer, true},
        {"template write, device monitor opened and closed again", fileRegs, devMonitor, true},
        {"template write, RUN", fileRegs, run, false},
        {"template read, ladder monitor pressed and released again", fileRegsRead, ladMonitor, true},
        {"register view write, device monitor opened and closed again", registerWrite, devMonitor, true},
        {"register view write, template write", registerWrite, tmpWrite, false},
        {"memory card status, device monitor opened and closed again", card, devMonitor, true},
        {"memory card status, register view read", card, regRead, false},
        {"password query, ladder monitor pressed and released again", password, ladMonitor, true},
        {"password query, template write", password, tmpWrite, false},
        {"program read, device monitor", read, devMonitor, true},
        {"program read, ladder monitor", read, ladMonitor, true},
        {"password set, RUN", passwordSet, run, false},
        {"password set, force Y0 ON", passwordSet, force, true},
        {"password set, set value left open from a monitoring, OK", passwordSet, setValue, true},
        {"password set and its lock state not read back, RUN", passwordSetNoReadBack, run, false},
        {"memory card program write, RUN", cardWrite, run, false},
        {"memory card program write, ladder monitor pressed and released again", cardWrite, ladMonitor, true},
        {"memory card program write, set value left open from a monitoring, OK", cardWrite, setValue, true},
        {"program write, the tool bar's ladder monitor button", write, ladButton, true},
        {"program write, the tool bar's chart monitor button", write, sfcButton, true},
        {"program write, the tool bar's RUN button", write, runButton, false},
        {"template write, the tool bar's device monitor button", fileRegs, devButton, true},
        {"program verify, the tool bar's transfer button", verify, transButton, true},
    };
    for (int n = 0; n < 256; ++n) emu_.S.regs[0x0600 + n] = static_cast<std::uint16_t>(1000 + n);
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        // A program of a few rungs, the same in the PLC for the verify.
        PutProgram({"LD X0", "OUT Y0", "LD X1", "MOV K7 D0", "END"});
        gQel.ProgramPresent = 1;
        gQel.Modified = 0;
        image = Program();
        std::fill(emu_.S.program.begin(), emu_.S.program.end(), 0xFF);
        if (&row.job != &write) std::copy(image.begin(), image.end(), emu_.S.program.begin());
        gFileRegValues.at(5) = 4321;
        emu_.S.password.reset();  // and unlocked
        emu_.S.coils[PlcEmulator::kM1069] = 0;
        if (_FileTmp) _FileTmp->Modified = 0;
        if (_DevReg) _DevReg->Modified = 0;
        emu_.ClearFaults();
        emu_.ClearLog();
        emu_.AddFault(row.job.slow);
        messages_.Clear();

        row.job.start();
        ASSERT_TRUE(PumpUntil([&] { return !emu_.Log().empty() && emu_.Log().back().fault == "Delay"; }));
        const int job = _TransData->JobNo;
        ASSERT_NE(job, 0);
        EXPECT_FALSE(row.command.started());
        row.command.start();
        QCoreApplication::processEvents();
        EXPECT_FALSE(row.command.started());
        EXPECT_EQ(_TransData->JobNo, job);
        if (row.closeAgain) row.command.close();
        ASSERT_TRUE(Ended());

        // Only the program read holds every command itself, without a word.
        std::vector<int> expected;
        if (&row.job != &read) expected.push_back(qel::link::kMsgJobRunning);
        expected.insert(expected.end(), row.job.ends.begin(), row.job.ends.end());
        EXPECT_EQ(ShownIds(), expected) << ::testing::PrintToString(messages_.Shown());
        EXPECT_EQ(messages_.Shown().size(), expected.size());  // and nothing else
        EXPECT_TRUE(row.job.done());
        EXPECT_FALSE(_ProgBar->isVisible());
        EXPECT_FALSE(_TransData->Monitoring());
        EXPECT_TRUE(_TransData->CoilQueue.Empty());
        row.command.close();
        if (_MemCardDlg->isVisible()) _MemCardDlg->hide();
        if (_PwdDlg->isVisible()) QTest::mouseClick(_PwdDlg->CancelBtn, Qt::LeftButton);
        ASSERT_TRUE(Ended());
    }
    // With no job the same command starts.
    messages_.Clear();
    EXPECT_TRUE(frame_->RunCommand("MmMonitorDev"));
    EXPECT_TRUE(_TransData->Monitoring());
    EXPECT_TRUE(messages_.Shown().empty());
    CloseWindow(_DevMoniDlg);
    ASSERT_TRUE(Ended());
}


TEST_F(JobKeepsLineTest, AJobStartedOverARunningMonitorSaysWhyAndTheMonitorGoesOn) {
    using Action = std::function<void()>;
    struct Monitor {
        Action start, stop;
    };
    const Monitor devMonitor{[&] { Click("MmMonitorDev"); },
                             [&] {
                                 if (_DevMoniDlg) CloseWindow(_DevMoniDlg);
                             }};
    const Monitor ladMonitor{[&] { Click("MmMonitorLad"); },
                             [&] {
                                 if (frame_->MmMonitorLad->isChecked()) Click("MmMonitorLad");
                             }};
    auto cardWrite = [&] {
        ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw"));
        _MemCardDlg->WriteRdo->setChecked(true);
        messages_.QueueAnswer(qel::Answer::Yes);  // write the card?
        QTest::mouseClick(_MemCardDlg->OkBtn, Qt::LeftButton);
    };
    const int monitoring = qel::link::kMsgMonitoring;
    struct Row {
        const char* path;
        const Monitor& monitor;
        Action job;
        std::vector<int> said;  // the messages the refusal shows
        std::size_t asked = 0;  // questions answered on the way
    } rows[] = {
        {"device monitor, template write", devMonitor, [&] { TemplateTransfer(1); }, {monitoring}},
        {"device monitor, template read", devMonitor, [&] { TemplateTransfer(0); }, {monitoring}},
        {"device monitor, memory card program write", devMonitor, cardWrite, {monitoring, monitoring}, 1},
        {"device monitor, verify", devMonitor, [&] { Click("MmCodeVerify"); }, {monitoring}},
        {"ladder monitor, program write", ladMonitor, [&] { LinkWindow(TTransDataForm::kWrite); }, {monitoring}},
        {"ladder monitor, template write", ladMonitor, [&] { TemplateTransfer(1); }, {monitoring}},
        {"ladder monitor, memory card program write", ladMonitor, cardWrite, {monitoring, monitoring}, 1},
        {"ladder monitor, password", ladMonitor, [&] { Click("MmPassWd"); }, {qel::link::kMsgPwdMonitoring}},
        {"ladder monitor, hand-held link", ladMonitor,
         [&] {
             Click("MmTrans");
             _TransDataForm->WorkType->setCurrentIndex(TTransDataForm::kHandheld);
             _TransDataForm->WorkTypeClick();
         },
         {monitoring}},
        // Asked whether to stop monitoring: No keeps it and reads nothing.
        {"device monitor, register view read, monitoring kept", devMonitor,
         [&] {
             messages_.QueueAnswer(qel::Answer::No);
             RegisterTransfer(false);
         },
         {},
         1},
    };
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        PutSavedProgram();
        if (_FileTmp) _FileTmp->Modified = 0;
        messages_.Clear();
        row.monitor.start();
        ASSERT_TRUE(PumpUntil([&] { return emu_.S.monitorCoil && _TransData->Monitoring(); }));
        emu_.ClearLog();
        row.job();
        QCoreApplication::processEvents();
        EXPECT_EQ(Said({qel::link::kMsgMonitoring, qel::link::kMsgJobRunning}), row.said)
            << ::testing::PrintToString(messages_.Shown());
        EXPECT_EQ(messages_.Shown().size(), row.said.size());
        EXPECT_FALSE(messages_.UnscriptedQuestion());
        EXPECT_EQ(messages_.Asked().size(), row.asked);
        EXPECT_EQ(_TransData->JobNo, 0);
        // The monitor polls on.
        const std::size_t polled = emu_.Log().size();
        EXPECT_TRUE(PumpUntil([&] { return emu_.Log().size() > polled + 4; }));
        EXPECT_TRUE(_TransData->Monitoring());
        if (_FileTmp->Comm->isVisible()) _FileTmp->Comm->reject();
        if (_MemCardDlg->isVisible()) _MemCardDlg->hide();
        if (_PwdDlg->isVisible()) QTest::mouseClick(_PwdDlg->CancelBtn, Qt::LeftButton);
        if (_TransDataForm->isVisible()) QTest::mouseClick(_TransDataForm->CancelBtn, Qt::LeftButton);
        if (_DevReg && _DevReg->NumComm->isVisible()) _DevReg->NumComm->reject();
        row.monitor.stop();
        ASSERT_TRUE(Ended());
        EXPECT_FALSE(emu_.S.monitorCoil);
    }
}

TEST_F(JobKeepsLineTest, ACommandRefusedDuringAJobGoesOutOnceTheJobHasEnded) {
    using Action = std::function<void()>;
    const int timeout = qel::link::kMsgTimeout, refused = qel::link::kMsgJobRunning,
              partly = qel::link::kMsgPartlyWritten, exception2 = qel::link::kMsgExceptionBase + 2;
    // The jobs, each kept waiting on an answer that never comes right, or
    // ended by the user.
    struct Job {
        std::optional<FaultRule> fault;
        Action start;
        Action end = [] {};
    };
    const FaultRule blockUnanswered = {.action = FaultAction::Drop, .function = 16, .addrLo = 0x2000,
                                       .addrHi = 0x6FFF, .skip = 2};
    const FaultRule blockRefused = {.action = FaultAction::Exception, .function = 16, .addrLo = 0x2000,
                                    .addrHi = 0x6FFF, .skip = 2, .param = 2, .delay = 300};
    const Job write{{blockUnanswered}, [&] { LinkWindow(TTransDataForm::kWrite); }};
    const Job writeRefused{{blockRefused}, [&] { LinkWindow(TTransDataForm::kWrite); }};
    const Job verify{{{.action = FaultAction::Drop, .function = 3, .addrLo = 0x2000, .addrHi = 0x6FFF}},
                     [&] { ASSERT_TRUE(frame_->RunCommand("MmCodeVerify")); }};
    const Job templateWrite{{{.action = FaultAction::Drop, .function = 100, .subCode = 17, .skip = 1}},
                            [&] { TemplateTransfer(1); }};
    const Job registerRead{{{.action = FaultAction::Exception, .function = 3, .addrLo = 0x0600, .addrHi = 0x06FF,
                             .skip = 1, .param = 2, .delay = 300}},
                           [&] { RegisterTransfer(false); }};
    const Job password{{{.action = FaultAction::Drop, .function = 3, .addrLo = 5097, .addrHi = 5097}},
                       [&] { ASSERT_TRUE(frame_->RunCommand("MmPassWd")); }};
    const Job cardStatus{{{.action = FaultAction::Drop, .function = 100}},
                         [&] { ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw")); }};
    const Job read{{{.action = FaultAction::Drop, .function = 3, .addrLo = 0x2000, .addrHi = 0x6FFF, .skip = 1}},
                   [&] { LinkWindow(TTransDataForm::kRead); }};
    const Job verifyRefused{{{.action = FaultAction::Exception, .function = 3, .addrLo = 0x2000, .addrHi = 0x6FFF,
                              .param = 2, .delay = 300}},
                            [&] { ASSERT_TRUE(frame_->RunCommand("MmCodeVerify")); }};
    // The hand-held programmer's link answers until the link window is
    // cancelled.
    const Job handheld{std::nullopt,
                       [&] {
                           ASSERT_TRUE(frame_->RunCommand("MmTrans"));
                           _TransDataForm->WorkType->setCurrentIndex(TTransDataForm::kHandheld);
                           _TransDataForm->WorkTypeClick();
                       },
                       [] { QTest::mouseClick(_TransDataForm->CancelBtn, Qt::LeftButton); }};

    // The commands: tried while the job runs (a dialog stays open on the
    // refusal), tried again once it has ended, and what the PLC then holds.
    struct Command {
        Action start, again;
        std::function<bool()> landed;
        Action close;
    };
    const Command force{[&] {
                            Click("MmForceDev");
                            _DevForce->DevName->setText("Y0");
                            _DevForce->SetOn->setChecked(true);
                            QTest::mouseClick(_DevForce->SetOK, Qt::LeftButton);
                        },
                        [] { QTest::mouseClick(_DevForce->SetOK, Qt::LeftButton); },
                        [&] { return emu_.S.coils[0x0500] != 0; }, [] { _DevForce->hide(); }};
    const Command setValue{[&] {
                               _ValSet->ShowEmpty();
                               _ValSet->DevSetText->setText("D0");
                               _ValSet->CurValText->setText("K5");
                               QTest::mouseClick(_ValSet->BOK, Qt::LeftButton);
                           },
                           [] { QTest::mouseClick(_ValSet->BOK, Qt::LeftButton); },
                           [&] { return emu_.S.regs[0x1000] == 5; }, [] { _ValSet->hide(); }};
    const Command run{[&] { Click("MmRun"); }, [&] { Click("MmRun"); }, [&] { return emu_.S.running; }, [] {}};
    const Command ladMonitor{[&] { Click("MmMonitorLad"); }, [&] { Click("MmMonitorLad"); },
                             [&] { return emu_.S.monitorCoil && frame_->MmMonitorLad->isChecked(); },
                             [&] {
                                 if (frame_->MmMonitorLad->isChecked()) Click("MmMonitorLad");
                             }};
    const Command devMonitor{[&] { Click("MmMonitorDev"); }, [&] { Click("MmMonitorDev"); },
                             [&] { return emu_.S.monitorCoil && _DevMoniDlg != nullptr; },
                             [&] {
                                 if (_DevMoniDlg) CloseWindow(_DevMoniDlg);
                             }};
    const Command templateWriteLeftOpen{
        [&] { TemplateTransfer(1); }, [] { QTest::mouseClick(_FileTmp->Comm->OkBtn, Qt::LeftButton); },
        [&] { return emu_.S.fileRegs.at(5) == 4321 && !_FileTmp->Transferring(); }, [] {}};

    struct Row {
        const char* path;
        const Job& job;
        const Command& command;
        std::vector<int> said;  // the refusal and the job's end
    } rows[] = {
        {"program write unanswered, force Y0 left open, OK again", write, force, {refused, partly, timeout}},
        {"program write refused by the PLC, set value left open, OK again", writeRefused, setValue,
         {refused, partly, exception2}},
        {"verify unanswered, RUN again", verify, run, {refused, timeout}},
        {"template write unanswered, ladder monitor again", templateWrite, ladMonitor, {refused, timeout}},
        {"register view read refused by the PLC, force Y0 left open, OK again", registerRead, force,
         {refused, exception2}},
        {"program write unanswered, template write left open, OK again", write, templateWriteLeftOpen,
         {refused, partly, timeout}},
        {"password query unanswered, device monitor again", password, devMonitor, {refused, timeout}},
        {"memory card status unanswered, force Y0 left open, OK again", cardStatus, force, {refused, timeout}},
        // The read holds the frame's commands itself; the project stays.
        {"program read unanswered, ladder monitor again", read, ladMonitor, {timeout}},
        {"verify refused by the PLC, device monitor again", verifyRefused, devMonitor, {refused, exception2}},
        {"hand-held link, RUN, link window cancelled, RUN again", handheld, run, {refused}},
    };
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        PutSavedProgram();
        std::copy(gProgram, gProgram + gProgramCapacity, emu_.S.program.begin());
        emu_.S.coils[0x0500] = 0;
        emu_.S.regs[0x1000] = 0;
        emu_.S.running = false;
        emu_.S.fileRegs.at(5) = 0;
        gFileRegValues.at(5) = 4321;
        _FileTmp->Modified = 0;
        if (_DevReg) _DevReg->Modified = 0;
        const std::vector<std::uint8_t> program = Program();
        emu_.ClearFaults();
        emu_.ClearLog();
        if (row.job.fault) emu_.AddFault(*row.job.fault);
        messages_.Clear();

        row.job.start();
        ASSERT_TRUE(PumpUntil([&] {
            return !row.job.fault || (!emu_.Log().empty() && !emu_.Log().back().fault.empty());
        }));
        ASSERT_NE(_TransData->JobNo, 0);
        row.command.start();
        QCoreApplication::processEvents();
        EXPECT_FALSE(row.command.landed());
        // The job fails on its own (or is ended) and says what did not happen.
        row.job.end();
        ASSERT_TRUE(Ended());
        EXPECT_EQ(Program(), program);
        if (_MemCardDlg->isVisible()) _MemCardDlg->hide();
        if (_PwdDlg->isVisible()) QTest::mouseClick(_PwdDlg->CancelBtn, Qt::LeftButton);
        EXPECT_EQ(Said({refused, partly, timeout, exception2}), row.said)
            << ::testing::PrintToString(messages_.Shown());
        EXPECT_EQ(messages_.Shown().size(), row.said.size());
        EXPECT_FALSE(_ProgBar->isVisible());
        if (_DevReg) {
            EXPECT_TRUE(_DevReg->RegGrid->isEnabled());
        }
        EXPECT_FALSE(_FileTmp->Transferring());

        // The same command again goes out, and lands.
        emu_.ClearFaults();
        messages_.Clear();
        row.command.again();
        EXPECT_TRUE(PumpUntil([&] { return row.command.landed(); }));
        row.command.close();
        ASSERT_TRUE(Ended());
        EXPECT_EQ(Said({refused, timeout}), std::vector<int>{}) << ::testing::PrintToString(messages_.Shown());
    }
}


TEST_F(JobKeepsLineTest, WritesQueuedBeforeAJobStartsGoOutFirst) {
    using Action = std::function<void()>;
    struct Row {
        const char* path;
        Action start, close;
        std::vector<int> said;  // the job's own end
    } rows[] = {
        {"template write", [&] { TemplateTransfer(1); }, [] {}, {qel::link::kMsgFileRegWriteDone}},
        {"template read", [&] { TemplateTransfer(0); }, [] {}, {qel::link::kMsgFileRegReadDone}},
        {"memory card status", [&] { ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw")); },
         [] { _MemCardDlg->hide(); }, {}},
        {"device monitor", [&] { Click("MmMonitorDev"); },
         [] {
             if (_DevMoniDlg) CloseWindow(_DevMoniDlg);
         },
         {}},
        // RUN went first: the PLC runs, and takes no program.
        {"program write", [&] { LinkWindow(TTransDataForm::kWrite); }, [] {}, {qel::link::kMsgPlcRunning}},
    };
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        PutSavedProgram();
        _FileTmp->Modified = 0;
        emu_.S.running = false;
        emu_.ClearFaults();
        messages_.Clear();
        // The ladder monitor runs; one of its polls is answered late.
        Click("MmMonitorLad");
        ASSERT_TRUE(PumpUntil([&] { return emu_.S.monitorCoil && _TransData->Monitoring(); }));
        emu_.AddFault({.action = FaultAction::Delay, .param = 300});
        ASSERT_TRUE(PumpUntil([&] { return !emu_.Log().empty() && emu_.Log().back().fault == "Delay"; }));
        // Meanwhile RUN is pressed and the monitor released: both wait for
        // the line, and the job is started before they could go.
        Click("MmRun");
        Click("MmMonitorLad");
        ASSERT_FALSE(_TransData->CoilQueue.Empty());
        row.start();
        QCoreApplication::processEvents();
        EXPECT_TRUE(PumpUntil([&] { return emu_.S.running; }));
        row.close();
        ASSERT_TRUE(Ended());
        EXPECT_TRUE(emu_.S.running);
        EXPECT_FALSE(emu_.S.monitorCoil);
        EXPECT_EQ(Said({qel::link::kMsgFileRegWriteDone, qel::link::kMsgFileRegReadDone, qel::link::kMsgWriteOk,
                        qel::link::kMsgPlcRunning}),
                  row.said);
        EXPECT_EQ(messages_.Shown().size(), row.said.size()) << ::testing::PrintToString(messages_.Shown());
    }
}

}  // namespace
