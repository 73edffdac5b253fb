// Work pending in the editors and windows around the PLC jobs, in the frame
// against the emulator over a pseudo-terminal: a program read (from the PLC
// or the memory card) takes no edits while it runs and says why, and takes
// them again however it ends; the register view's and the template's own
// reads ask before they replace values typed and not saved; and what a
// command or a button of a window left open reads (verify, the double-coil
// check, print preview) is the program as the editors hold it; a report left
// open goes with the program it was made of.
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include <string>
#include <vector>

#include "core/Codetranslate.h"
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
#include "link/windows/Transdatafrm.h"
#include "project/Projectfiles.h"
#include "shell/Progfrm.h"
#include "tests/support/ListTyping.h"
#include "tests/link/windows/LinkWindowFixture.h"
#include "tools/render/Printpages.h"
#include "tools/check/Doublecoil.h"
#include "tools/windows/Devcomment.h"
#include "tools/windows/Loopchk.h"
#include "tools/windows/Preview.h"
#include "tools/windows/Printfrm.h"
#include "tools/windows/Searchdlg.h"
#include "tools/windows/Toolsinstall.h"

namespace {

using Image = std::vector<std::uint8_t>;

class PendingWorkTest : public LinkWindowTest {
protected:
    void SetUp() override {
        RegisterInstListForms();
        RegisterToolForms();
        LinkWindowTest::SetUp();
        emu_.Configure(0, 0, 90);
        StartFrame();
        if (HasFatalFailure()) return;
        InstallLadder(frame_.get());
        InstallInstList(frame_.get());
        InstallProgramTransfer(frame_.get());
        InstallRegisterView(frame_.get());
        InstallFileTemplate(frame_.get());
        InstallTools(frame_.get());
        frame_->NewClick();
        PutProgram({"LD X7", "OUT Y7", "END"});
        gQel.ProgramPresent = 1;
        gQel.Modified = 0;
        gQel.InsertMode = 1;
    }
    static Image Program() { return {gProgram, gProgram + gProgramCapacity}; }
    // The PLC and the project both set to family 1 at capacity 3, the model
    // the memory-card cases run on.
    void UseCardModel() {
        emu_.Configure(1, 3, 90);
        SetModelFamily(1);
        SetProgramCapacity(3);
        gQel.CapacityIndex = 3;
    }
    // The PLC's program: the lines assembled as the editor does, at the
    // size of the PLC's memory.
    Image PlcProgram(std::initializer_list<const char*> lines) {
        const Image mine = Program();
        PutProgram(lines);
        Image plc = Program();
        std::copy(mine.begin(), mine.end(), gProgram);
        plc.resize(emu_.S.program.size(), 0xFF);
        return plc;
    }
    bool Shown(int id) const {
        for (const std::string& s : messages_.Shown())
            if (s.find(gMsgTable.Get(id)) != std::string::npos) return true;
        return false;
    }
    bool Idle() {
        const bool idle =
            PumpUntil([] { return _TransData->JobNo == 0 && _TransData->MaySend && !_TransData->QelCom->IsOpen(); });
        QCoreApplication::processEvents();
        return idle;
    }
    // The read's blocks are coming in (the identification is over).
    static bool Reading() {
        return PumpUntil([] { return _ProgBar->isVisible() && _ProgBar->ProgBar->value() >= 64; });
    }
    // Keys into the register view's cell of D3: the first opens the cell's
    // editor (the grid edits on any key), the rest go there, then Return.
    void TypeD3(const char* text) {
        QTableView* grid = _DevReg->RegGrid;
        grid->setCurrentIndex(grid->model()->index(0, 3));
        QTest::keyClick(grid, text[0]);
        for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>()) {
            if (!e->isVisible()) continue;
            QTest::keyClicks(e, QString::fromLatin1(text + 1));
            QTest::keyClick(e, Qt::Key_Return);
        }
        QApplication::processEvents();
    }
    void ReadThroughTheLinkWindow() {
        ASSERT_TRUE(frame_->RunCommand("MmTrans"));
        ASSERT_TRUE(_TransDataForm->isVisible());
        _TransDataForm->WorkType->setCurrentIndex(TTransDataForm::kRead);
        QTest::mouseClick(_TransDataForm->OkBtn, Qt::LeftButton);
    }
    // Nothing can be typed into the list or the register view, no command
    // runs, and the status bar and the progress window say why.
    void ExpectHeld(const Image& before) {
        const QString why = QString::fromStdString(gMsgTable.Get(kMsgReadHoldsEdits));
        EXPECT_EQ(frame_->QelStaBar->Panel(0), why);
        EXPECT_TRUE(_ProgBar->Note_Lab->isVisible());
        EXPECT_EQ(_ProgBar->Note_Lab->text(), why);
        EXPECT_FALSE(qel::test::TypeInList("LD X3"));
        EXPECT_EQ(Program(), before);
        TypeD3("77");
        EXPECT_EQ(_DevReg->Data.DRegs[3], 0);
        EXPECT_EQ(_DevReg->Modified, 0);
        EXPECT_FALSE(frame_->RunCommand("MmNew"));
        EXPECT_TRUE(_ProgBar->CancelBtn->isEnabled());
    }
    // The hold is over: the windows take keys and the status bar is clear.
    void ExpectFree() {
        EXPECT_TRUE(frame_->MdiArea->isEnabled());
        EXPECT_TRUE(frame_->QelStaBar->Panel(0).isEmpty());
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        ASSERT_NE(_Inst, nullptr);
        const Image before = Program();
        EXPECT_TRUE(qel::test::TypeInList("LD X3"));
        EXPECT_NE(Program(), before);
    }
};

TEST_F(PendingWorkTest, AProgramReadTakesNoEditsWhileItRunsAndSaysWhy) {
    const Image plc = PlcProgram({"LD X5", "OUT Y5", "END"});
    std::copy(plc.begin(), plc.end(), emu_.S.program.begin());
    emu_.AddFault({.action = qel::test::FaultAction::Delay, .addrLo = 0x2000, .addrHi = 0x6FFF, .times = -1, .param = 4});
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    ASSERT_TRUE(frame_->RunCommand("MmLoopChk"));  // a window of its own, left open
    ASSERT_TRUE(_DLChkFrm->isVisible());
    const Image before = Program();
    ReadThroughTheLinkWindow();
    ASSERT_TRUE(Reading());
    ExpectHeld(before);
    EXPECT_FALSE(_DLChkFrm->isEnabled());

    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(qel::link::kMsgReadDone));
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_TRUE(_DLChkFrm->isEnabled());
    _DLChkFrm->reject();
    EXPECT_TRUE(std::equal(plc.begin(), plc.begin() + qel::link::EndOfProgram(plc.data(), 64), gProgram));
    ExpectFree();
}

TEST_F(PendingWorkTest, AReadCancelledOrFailedHalfWayLeavesTheProjectAndTakesEditsAgain) {
    emu_.AddFault({.action = qel::test::FaultAction::Delay, .addrLo = 0x2000, .addrHi = 0x6FFF, .times = -1, .param = 4});
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    const Image before = Program();
    ReadThroughTheLinkWindow();
    ASSERT_TRUE(Reading());
    QTest::mouseClick(_ProgBar->CancelBtn, Qt::LeftButton);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(qel::link::kMsgTransferCancelled));
    EXPECT_EQ(Program(), before);
    ExpectFree();

    // The PLC stops answering half-way: the time-out ends the read.
    emu_.ClearFaults();
    emu_.AddFault({.action = qel::test::FaultAction::Drop, .addrLo = 0x2040, .addrHi = 0x6FFF, .times = -1});
    const Image typed = Program();
    messages_.Clear();
    gQel.Modified = 0;
    ReadThroughTheLinkWindow();
    ASSERT_TRUE(Idle());
    EXPECT_FALSE(Shown(qel::link::kMsgReadDone));
    EXPECT_EQ(Program(), typed);
    ExpectFree();
}

TEST_F(PendingWorkTest, AMemoryCardReadTakesNoEditsWhileItRuns) {
    UseCardModel();
    PutProgram({"LD X7", "OUT Y7", "END"});
    gQel.Modified = 0;
    const Image card = PlcProgram({"LD X5", "OUT Y5", "END"});
    const std::uint32_t cardEnd = qel::link::EndOfProgram(card.data(), static_cast<std::uint32_t>(card.size()));
    ASSERT_GT(cardEnd, 0u);
    std::copy(card.begin(), card.begin() + cardEnd, emu_.S.cardArea[4].begin());
    emu_.AddFault({.action = qel::test::FaultAction::Delay, .function = 100, .times = -1, .param = 4});
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw"));
    ASSERT_TRUE(Idle());
    const Image before = Program();
    _MemCardDlg->ReadRdo->setChecked(true);
    messages_.QueueAnswer(qel::Answer::Yes);  // the card's own question
    ASSERT_TRUE(_MemCardDlg->OkBtnClick());
    ASSERT_TRUE(PumpUntil([] { return _ProgBar->isVisible() && _ProgBar->ProgBar->value() >= 8; }));
    ExpectHeld(before);

    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(138));
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_TRUE(std::equal(card.begin(), card.begin() + cardEnd, gProgram));
    ExpectFree();

    // The progress window's Cancel stops a card read half-way: the project
    // stays as it was and takes edits again.
    gQel.Modified = 0;
    const Image typed = Program();
    ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw"));
    ASSERT_TRUE(Idle());
    _MemCardDlg->ReadRdo->setChecked(true);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(_MemCardDlg->OkBtnClick());
    ASSERT_TRUE(PumpUntil([] { return _ProgBar->isVisible() && _ProgBar->ProgBar->value() >= 8; }));
    ASSERT_TRUE(_ProgBar->CancelBtn->isVisible());
    QTest::mouseClick(_ProgBar->CancelBtn, Qt::LeftButton);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(qel::link::kMsgTransferCancelled));
    EXPECT_EQ(Program(), typed);
    ExpectFree();
    SetModelFamily(0);
}

TEST_F(PendingWorkTest, ACommentReadFromTheCardAsksOverUnsavedComments) {
    UseCardModel();
    PutProgram({"LD X7", "OUT Y7", "END"});
    FitCommentLists();
    // The card holds "PLC" for Y3; "Lamp" is typed for it and not saved.
    const std::uint8_t entry[] = {'Y', 3, 0, 'P', 'L', 'C', 0x0A, 0};
    std::copy(std::begin(entry), std::end(entry), emu_.S.cardArea[1].begin());
    ASSERT_TRUE(SetDeviceComment("Y3", "Lamp"));
    ASSERT_TRUE(frame_->RunCommand("MmCardCmtRw"));
    ASSERT_TRUE(Idle());
    _MemCardDlg->CmtReadRdo->setChecked(true);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    const std::size_t requests = emu_.RequestCount();
    EXPECT_FALSE(_MemCardDlg->CmtOk_BtnClick());
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(gQel.DevComments[1][3], "Lamp");
    EXPECT_EQ(emu_.RequestCount(), requests);

    messages_.QueueAnswer(qel::Answer::No);  // given up
    ASSERT_TRUE(_MemCardDlg->CmtOk_BtnClick());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(gQel.DevComments[1][3], "PLC");
    EXPECT_FALSE(messages_.UnscriptedQuestion());
    _MemCardDlg->reject();
    SetModelFamily(0);
}

TEST_F(PendingWorkTest, TheDoubleCoilReportLeftOpenGoesWithTheProgramItChecked) {
    const std::string other = SaveProgram(projects_ / "other.kzp", {"LD X2", "OUT Y2", "END"});
    const Image plc = PlcProgram({"LD X5", "OUT Y5", "LD X6", "OUT Y5", "END"});
    std::copy(plc.begin(), plc.end(), emu_.S.program.begin());
    ASSERT_TRUE(frame_->RunCommand("MmLoopChk"));
    _DLChkFrm->Chk1->setChecked(true);
    // Y0 driven twice at steps 1 and 3, checked in the window left open.
    auto checkTwoCoils = [&] {
        PutProgram({"LD X0", "OUT Y0", "LD X1", "OUT Y0", "END"});
        gQel.Modified = 0;
        QTest::mouseClick(_DLChkFrm->Chkstart, Qt::LeftButton);
        ASSERT_EQ(_DLChkFrm->Chkout->toPlainText(), QStringLiteral("Step 1:Y0\nStep 3:Y0"));
    };
    // No line of the old report is left to lead into the new program.
    auto expectNoReport = [&](const char* path) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(_DLChkFrm->isVisible());
        EXPECT_TRUE(_DLChkFrm->Chkout->toPlainText().isEmpty());
        EXPECT_FALSE(_DLChkFrm->JumpToLine(0));
        EXPECT_TRUE(_DLChkFrm->Chk1->isChecked());  // the kinds are the user's choice
    };

    ASSERT_NO_FATAL_FAILURE(checkTwoCoils());
    ASSERT_TRUE(frame_->RunCommand("MmNew"));
    expectNoReport("New");

    ASSERT_NO_FATAL_FAILURE(checkTwoCoils());
    dialogs_.QueuePath(other);
    ASSERT_TRUE(frame_->RunCommand("MmOpen"));
    ASSERT_EQ(gQel.ProgramFileName, other);
    expectNoReport("Open");

    ASSERT_NO_FATAL_FAILURE(checkTwoCoils());
    ReadThroughTheLinkWindow();
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(Shown(qel::link::kMsgReadDone));
    expectNoReport("read from the PLC");
    // The window goes on checking the program now open.
    QTest::mouseClick(_DLChkFrm->Chkstart, Qt::LeftButton);
    EXPECT_EQ(_DLChkFrm->Chkout->toPlainText(), QStringLiteral("Step 1:Y5\nStep 3:Y5"));
    EXPECT_FALSE(messages_.UnscriptedQuestion());
    _DLChkFrm->reject();
}

TEST_F(PendingWorkTest, TheWindowsOwnReadsAskBeforeReplacingTypedValues) {
    // The register view: D3 typed, never saved; the PLC holds 5 there.
    emu_.S.regs[0x1000 + 3] = 5;
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    TypeD3("77");
    ASSERT_EQ(_DevReg->Data.DRegs[3], 77);
    const std::size_t requests = emu_.RequestCount();
    auto readRegisters = [&] {
        QTest::mouseClick(_DevReg->CommBtn, Qt::LeftButton);
        _DevReg->NumComm->ReadPlcReg_Rdo->setChecked(true);
        QTest::mouseClick(_DevReg->NumComm->Ok_Btn, Qt::LeftButton);
    };
    messages_.QueueAnswer(qel::Answer::Cancel);
    readRegisters();
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_NE(messages_.Asked()[0].find(_DevReg->SaveFileName), std::string::npos);
    EXPECT_EQ(_DevReg->Data.DRegs[3], 77);
    EXPECT_EQ(_DevReg->Modified, 1);
    EXPECT_EQ(emu_.RequestCount(), requests);
    _DevReg->NumComm->reject();
    messages_.QueueAnswer(qel::Answer::No);  // given up
    readRegisters();
    ASSERT_TRUE(PumpUntil([] { return !_DevReg->Transferring(); }) && Idle());
    EXPECT_EQ(_DevReg->Data.DRegs[3], 5);

    // The template: a value typed, never saved; the PLC's is 5.
    emu_.Configure(2, 1, 90);
    SetModelFamily(2);
    SetFileRegCount(1600);
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    TFileTmp* w = _FileTmp;
    ASSERT_NE(w, nullptr);
    emu_.S.fileRegs.assign(1600, 5);
    TypeInCell(w->PgRegGrid, 3, "77");
    ASSERT_EQ(gFileRegValues[3], 77);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    const std::size_t before = emu_.RequestCount();
    w->CommBtnClick();
    w->Comm->CommType_Box->setCurrentIndex(0);
    QTest::mouseClick(w->Comm->OkBtn, Qt::LeftButton);
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_NE(messages_.Asked()[0].find(w->SaveFileName), std::string::npos);
    EXPECT_EQ(gFileRegValues[3], 77);
    EXPECT_EQ(w->Modified, 1);
    EXPECT_EQ(emu_.RequestCount(), before);
    w->Comm->reject();
    EXPECT_FALSE(messages_.UnscriptedQuestion());
    SetModelFamily(0);
}

// The ladder's rows with the program's rungs, and a place below them.
class EditorsHoldTest : public PendingWorkTest {
protected:
    void SetUp() override {
        PendingWorkTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        lad_ = _LDB;
        ASSERT_NE(lad_, nullptr);
    }
    void Type(const char* rest) {
        ASSERT_TRUE(_EditDlg->isVisible());
        QTest::keyClicks(_EditDlg->IEdit, QString::fromLatin1(rest));
        QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
    }
    // A contact at a row (4: below the program's rungs), and its coil when
    // `coil` is given; without one the rung leads nowhere and does not compile.
    void DrawRung(const char* contact, const char* coil, int row = 4) {
        lad_->Edit().SetCursor(row, 0);
        QTest::keyClick(lad_, Qt::Key_F1);
        Type(contact);
        if (!coil) return;
        QTest::keyClick(lad_, Qt::Key_Right);
        QTest::keyClick(lad_, Qt::Key_F7);
        Type(coil);
    }
    // Whether some ladder row of the pages the print source holds shows `operand`.
    bool PrintedLadderShows(const char* operand) const {
        auto* source = dynamic_cast<TLadderPageSource*>(PrintForm->Source().get());
        if (!source) return false;
        TPrintSettings s;
        for (int page = 0;; ++page) {
            const auto [first, last] = source->PageRows(page, s);
            if (first > last) return false;
            for (std::int32_t row = first; row <= last; ++row)
                for (int col = 0; col <= kLdbLastColumn; ++col)
                    if (CellOperandText(gLadderRows, row, col) == operand) return true;
        }
    }
    TLDB* lad_ = nullptr;
};

TEST_F(EditorsHoldTest, VerifyComparesTheRungDrawnInTheLadder) {
    const Image same = Program();
    std::copy(same.begin(), same.end(), emu_.S.program.begin());
    DrawRung("X0", "Y0");
    ASSERT_EQ(Program(), same);  // only in the ladder so far
    frame_->Action("MmCodeVerify")->trigger();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(qel::link::kMsgVerifyDiffers));
    EXPECT_FALSE(Shown(qel::link::kMsgVerifyEqual));
}

TEST_F(EditorsHoldTest, TheDoubleCoilWindowLeftOpenChecksTheLadderAsDrawn) {
    // X0-Y0 drawn in a new project's ladder and compiled.
    frame_->NewClick();
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    lad_ = _LDB;
    DrawRung("X0", "Y0", 0);
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
    ASSERT_TRUE(frame_->RunCommand("MmLoopChk"));
    _DLChkFrm->Chk1->setChecked(true);
    QTest::mouseClick(_DLChkFrm->Chkstart, Qt::LeftButton);
    EXPECT_TRUE(_DLChkFrm->Chkout->toPlainText().isEmpty());

    // A second coil of Y0 drawn, not compiled; the window's OK again.
    DrawRung("X1", "Y0", 1);
    QTest::mouseClick(_DLChkFrm->Chkstart, Qt::LeftButton);
    const QString report = _DLChkFrm->Chkout->toPlainText();
    EXPECT_EQ(report.count(QStringLiteral(":Y0")), 2) << report.toStdString();
    // Its lines lead to the two coils of the program as it now is.
    const QStringList lines = report.split('\n');
    ASSERT_EQ(lines.size(), 2);
    for (const QString& line : lines) {
        const long step = StepOfReportLine(line.toStdString());
        ASSERT_GE(step, 0) << line.toStdString();
        EXPECT_EQ(DisassembleText(gProgram, gProgramCapacity, static_cast<std::uint32_t>(2 * step)), "OUT Y0");
    }

    // A rung that does not compile: its message, and no report of older code.
    DrawRung("X2", nullptr, 2);
    messages_.Clear();
    QTest::mouseClick(_DLChkFrm->Chkstart, Qt::LeftButton);
    EXPECT_TRUE(Shown(32));
    EXPECT_TRUE(_DLChkFrm->Chkout->toPlainText().isEmpty());
    _DLChkFrm->reject();
}

TEST_F(EditorsHoldTest, ThePrintWindowLeftOpenPreviewsWhatTheEditorsHold) {
    // From the ladder; a rung then typed in the list.
    ASSERT_TRUE(frame_->RunCommand("MmPrn"));
    ASSERT_TRUE(PrintForm->isVisible());
    ASSERT_EQ(PrintForm->View(), 2);
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    ASSERT_TRUE(qel::test::TypeInList("LD X1"));
    ASSERT_TRUE(qel::test::TypeInList("OUT Y1"));
    QTest::mouseClick(PrintForm->Preview, Qt::LeftButton);
    EXPECT_TRUE(PrintedLadderShows("X1"));
    EXPECT_TRUE(PrintedLadderShows("Y1"));
    PreviewForm->reject();

    // From the list; a rung then drawn in the ladder, not compiled.
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    ASSERT_TRUE(frame_->RunCommand("MmPrn"));
    ASSERT_TRUE(PrintForm->isVisible());
    const Image before = Program();
    lad_->Edit().SetCursor(8, 0);
    QTest::keyClick(lad_, Qt::Key_F1);
    Type("X4");
    QTest::keyClick(lad_, Qt::Key_Right);
    QTest::keyClick(lad_, Qt::Key_F7);
    Type("Y4");
    ASSERT_EQ(Program(), before);
    QTest::mouseClick(PrintForm->Preview, Qt::LeftButton);
    const TInstEdit& printed = _Inst->PrintedList();
    std::vector<std::string> lines;
    for (int i = 0; i < printed.LineCount(); ++i) lines.push_back(printed.LineText(i));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "LD X4"), lines.end()) << ::testing::PrintToString(lines);
    PreviewForm->reject();
}

TEST_F(EditorsHoldTest, TheFindAndReplaceWindowLeftOpenTakesInTheEditorsFirst) {
    // The window opened from the list and left open; a rung then drawn in
    // the ladder that does not compile (a contact leading nowhere).
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    ASSERT_TRUE(frame_->RunCommand("MmRep"));
    ASSERT_TRUE(SearchDlg->isVisible());
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    DrawRung("X2", nullptr);
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));  // the ladder keeps its rung
    ASSERT_EQ(gActiveView, 1);
    const Image before = Program();

    // Replace: refused with the ladder's message, the ladder brought up with
    // its rung, the program unchanged.
    SearchDlg->SearchPage->setCurrentIndex(1);
    SearchDlg->SearchDev->setText("X7");
    SearchDlg->RepDev->setText("X6");
    SearchDlg->SearchStart.SetItemIndex(1);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::All);
    QTest::mouseClick(SearchDlg->Rep, Qt::LeftButton);
    EXPECT_TRUE(Shown(32));
    EXPECT_EQ(Program(), before);
    EXPECT_EQ(gActiveView, 2);
    EXPECT_TRUE(lad_->Dirty());
    EXPECT_EQ(CellOperandText(gLadderRows, 4, 0), "X2");

    // Find from the list: refused the same way.
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    SearchDlg->SearchPage->setCurrentIndex(0);
    SearchDlg->SearchDevName->setText("X7");
    messages_.Clear();
    QTest::mouseClick(SearchDlg->Find, Qt::LeftButton);
    EXPECT_TRUE(Shown(32));
    EXPECT_EQ(gActiveView, 2);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

TEST_F(EditorsHoldTest, ACommentReadFromTheCardTakesInTheCommentsAndLeavesARungThatDoesNotCompile) {
    UseCardModel();
    frame_->NewClick();
    ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
    lad_ = _LDB;
    DrawRung("X7", "Y7", 0);
    ASSERT_TRUE(frame_->RunCommand("MmLadToCode"));
    // Below it a contact leading nowhere, not compiled.
    DrawRung("X2", nullptr, 1);
    const Image program = Program();
    // The card holds "PLC" for Y3. With the card's window up, "Lamp" is
    // being typed for Y3 in the device comment window, not yet entered.
    const std::uint8_t entry[] = {'Y', 3, 0, 'P', 'L', 'C', 0x0A, 0};
    std::copy(std::begin(entry), std::end(entry), emu_.S.cardArea[1].begin());
    ASSERT_TRUE(frame_->RunCommand("MmCmtWin"));
    TDevCom* comments = _DevCom;
    ASSERT_NE(comments, nullptr);
    ASSERT_TRUE(frame_->RunCommand("MmCardCmtRw"));
    ASSERT_TRUE(Idle());
    _MemCardDlg->CmtReadRdo->setChecked(true);
    comments->SelectLetter(1);
    comments->CommentGrid->setCurrentCell(3, 1);
    comments->CommentGrid->editItem(comments->CommentGrid->item(3, 1));
    auto* cell = qobject_cast<QLineEdit*>(comments->CommentGrid->indexWidget(comments->CommentGrid->currentIndex()));
    ASSERT_NE(cell, nullptr);
    cell->setText("Lamp");
    auto rungKept = [&] {
        EXPECT_FALSE(Shown(32));
        EXPECT_TRUE(lad_->Dirty());
        EXPECT_EQ(CellOperandText(gLadderRows, 1, 0), "X2");
        EXPECT_EQ(Program(), program);
    };

    // The question knows of the comment typed; Cancel reads nothing.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    const std::size_t requests = emu_.RequestCount();
    EXPECT_FALSE(_MemCardDlg->CmtOk_BtnClick());
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(GetDeviceComment('Y', 3), "Lamp");
    EXPECT_EQ(emu_.RequestCount(), requests);
    rungKept();

    // No: the card's comments come in, the rung stays as drawn.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::No);
    ASSERT_TRUE(_MemCardDlg->CmtOk_BtnClick());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(138));
    EXPECT_EQ(GetDeviceComment('Y', 3), "PLC");
    rungKept();
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
    _MemCardDlg->reject();
    SetModelFamily(0);
}

TEST_F(EditorsHoldTest, APartialWriteOverARungThatDoesNotCompileSaysWhyAndSendsNothing) {
    // A contact leading nowhere, drawn between the program's rung and END.
    lad_->Edit().SetCursor(1, 0);
    ASSERT_TRUE(frame_->RunCommand("MmInsLine"));
    DrawRung("X2", nullptr, 1);
    const Image before = Program();
    const std::vector<std::uint8_t> plc = emu_.S.program;
    ASSERT_TRUE(frame_->RunCommand("MmTrans"));
    _TransDataForm->WorkType->setCurrentIndex(TTransDataForm::kWrite);
    messages_.Clear();
    QTest::mouseClick(_TransDataForm->TransPartial, Qt::LeftButton);
    EXPECT_TRUE(Shown(32));
    messages_.Clear();
    QTest::mouseClick(_TransDataForm->OkBtn, Qt::LeftButton);
    EXPECT_TRUE(Shown(32));
    ASSERT_TRUE(_TransDataForm->isVisible());
    _TransDataForm->CancelBtnClick();
    ASSERT_TRUE(Idle());
    EXPECT_FALSE(Shown(qel::link::kMsgWriteOk));
    EXPECT_EQ(emu_.S.program, plc);
    // The rung stays in the ladder, the program as it was.
    EXPECT_EQ(Program(), before);
    EXPECT_TRUE(lad_->Dirty());
    EXPECT_EQ(CellOperandText(gLadderRows, 1, 0), "X2");
}

}  // namespace
