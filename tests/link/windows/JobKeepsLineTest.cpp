// A job on the PLC link runs to its end whatever the user starts meanwhile,
// in the frame against the emulator over a pseudo-terminal: each command that
// would send requests of its own (the monitors, run, force, set value, the
// password, the memory card, the register view's and the template's
// transfers, another transfer or verify) is refused with one message while a
// job runs, and closing it again changes nothing; the job ends with its own
// completion message, and the PLC holds what the job sent.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

#include "ladder/editor/Ladder.h"
#include "link/jobs/Fileregs.h"
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
    std::vector<int> ShownIds() const {
        std::vector<int> ids;
        for (const std::string& s : messages_.Shown())
            for (int id : {qel::link::kMsgJobRunning, qel::link::kMsgWriteOk, qel::link::kMsgReadDone,
                           qel::link::kMsgVerifyEqual, qel::link::kMsgRegReadDone, qel::link::kMsgRegWriteDone,
                           qel::link::kMsgPartlyWritten, qel::link::kMsgTimeout})
                if (s.rfind(gMsgTable.Get(id), 0) == 0) ids.push_back(id);
        return ids;
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
    auto okBtn = [] { QTest::mouseClick(_TransDataForm->OkBtn, Qt::LeftButton); };
    auto linkWindow = [&](int direction) {
        ASSERT_TRUE(frame_->RunCommand("MmTrans"));
        _TransDataForm->WorkType->setCurrentIndex(direction);
        _TransDataForm->WorkTypeClick();
        okBtn();
    };
    auto templateTransfer = [&](int direction) {
        ASSERT_TRUE(frame_->RunCommand("MmFileTmpTransfer"));
        ASSERT_TRUE(_FileTmp && _FileTmp->Comm->isVisible());
        _FileTmp->Comm->CommType_Box->setCurrentIndex(direction);
        QTest::mouseClick(_FileTmp->Comm->OkBtn, Qt::LeftButton);
    };
    auto registerTransfer = [&](bool write) {
        if (!_DevReg) {
            ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
        }
        _DevReg->PgContrl->setCurrentIndex(qel::link::kRegPageT);
        QTest::mouseClick(_DevReg->CommBtn, Qt::LeftButton);
        (write ? _DevReg->NumComm->WritePlcReg_Rdo : _DevReg->NumComm->ReadPlcReg_Rdo)->setChecked(true);
        if (_DevReg->NumComm->isVisible()) QTest::mouseClick(_DevReg->NumComm->Ok_Btn, Qt::LeftButton);
    };
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

}  // namespace
