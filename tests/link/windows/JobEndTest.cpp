// A PLC job and the commands that would end it, in the frame against the
// emulator over a pseudo-terminal: leaving the program, File > New, File >
// Open, a recent file, a model setting, the batch compile test and closing the
// window that owns the job (the register view, the template, the password
// dialog) or its progress window, each from the ladder window or the job's own
// window in front. A job that writes is asked about first, and only by a
// command that will go ahead: Cancel lets it run to its own end, OK stops it
// with a message saying the PLC holds part of what was sent. A read such a
// command ends stores nothing and says it ended. A program write and a card
// write outlast another project.
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

#include <algorithm>
#include <optional>
#include <filesystem>
#include <string>
#include <vector>

#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "link/jobs/Fileregs.h"
#include "link/jobs/Memcard.h"
#include "link/jobs/Plcpassword.h"
#include "link/jobs/Programtransfer.h"
#include "link/jobs/Registergrid.h"
#include "link/jobs/Registertransfer.h"
#include "link/windows/Devmonidlg.h"
#include "link/windows/Devreg.h"
#include "link/windows/Filetmp.h"
#include "link/windows/Memcarddlg.h"

#include "link/windows/Online.h"
#include "link/windows/Pwddlg.h"
#include "link/windows/Transdatafrm.h"
#include "sfc/window/Sfcwin.h"
#include "shell/Progfrm.h"
#include "tests/link/windows/LinkWindowFixture.h"
#include "tools/windows/Filecompiletestfrm.h"
#include "tools/windows/Toolsinstall.h"

namespace {

using qel::test::FaultAction;

enum class Job { ProgramWrite, RegisterWrite, RegisterRead, TemplateWrite, TemplateRead, PasswordWrite, CardWrite };
// CloseProgress: the progress window's close button; EscapeProgress: Escape in it;
// RecentGone: a recent file removed since it was listed; OpenCancelled: File >
// Open whose file dialog is cancelled; BatchTest: the batch compile test run.
enum class Command { Exit, New, Open, OpenCancelled, BatchTest, Recent, RecentGone, CloseWindow, Capacity, Card, CloseProgress, EscapeProgress };
enum class Front { Ladder, Owner, List, Chart };
// What the user answers; None: no question is expected; OkOnceEnded: OK, given
// only after the job has ended on its own while the question was open.
enum class Reply { None, Ok, Cancel, OkOnceEnded };

constexpr int kMsgStopWrite = 286;
constexpr int kMsgStopRead = 288;      // a read or a verify runs: stop it (nothing kept) or let it end?
constexpr int kMsgNoVerifyResult = 289;  // the verify gives no result for the program open now
constexpr int kMsgFileRegWriteDone = 139;
constexpr int kMsgFileOpenFailed = 26;  // "The file cannot be opened"
constexpr int kMsgCardWriteDone = 139;  // "Write completed." of the card, as of the file registers
constexpr int kMsgCardReadDone = 138;   // "Read completed." of the card

// Answers as the scripted messages do, but ponders the question whether to
// stop a job until it has ended on its own.
class Pondering final : public qel::MessageService {
public:
    explicit Pondering(qel::test::ScriptedMessages& inner) : inner_(inner), previous_(qel::SetMessageService(this)) {}
    ~Pondering() override { qel::SetMessageService(previous_); }
    void Show(const std::string& text, qel::MsgKind kind) override { inner_.Show(text, kind); }
    qel::Answer Ask(const std::string& text, qel::AskButtons buttons) override {
        if (text.find(gMsgTable.Get(kMsgStopWrite)) != std::string::npos ||
            text.find(gMsgTable.Get(kMsgStopRead)) != std::string::npos) {
            EXPECT_TRUE(PumpUntil([] { return _TransData->JobNo == 0; }));
        }
        return inner_.Ask(text, buttons);
    }

private:
    qel::test::ScriptedMessages& inner_;
    qel::MessageService* previous_;
};

class JobEndTest : public LinkWindowTest {
protected:
    void SetUp() override {
        LinkWindowTest::SetUp();
        RegisterOnlineForms();
        emu_.Configure(1, 0, 90);
        StartFrame();
        if (HasFatalFailure()) return;
        InstallLadder(frame_.get());
        InstallInstList(frame_.get());
        InstallSfc(frame_.get());
        InstallProgramTransfer(frame_.get());
        InstallRegisterView(frame_.get());
        InstallFileTemplate(frame_.get());
        InstallOnline(frame_.get());
        InstallTools(frame_.get());
        SetModelFamily(1);
        SetProgramCapacity(0);
        gQel.CapacityIndex = 0;
        SetFileRegCount(10000);
        other_ = SaveProgram(projects_ / "other.kzp", {"LD X1", "OUT Y1", "END"});
        mine_ = SaveProgram(projects_ / "mine.kzp", {"LD X0", "OUT Y0", "END"});
    }
    bool Shown(int id) const { return messages_.WasShown(gMsgTable.Get(id)); }
    // Picks the other program from the File menu's recent entries, as the
    // user does; `gone`: its file was moved away first (named as not opened,
    // then put back). True when the entry was offered.
    bool PickRecentOther(bool gone) {
        const auto& recent = gQel.RecentFiles;
        const auto it = std::find(recent.begin(), recent.end(), other_);
        EXPECT_NE(it, recent.end());
        if (it == recent.end()) return false;
        QAction* entry =
            frame_->RecentMenu->findChild<QAction*>(QStringLiteral("Recent%1").arg(static_cast<int>(it - recent.begin())));
        EXPECT_TRUE(entry);
        if (!entry) return false;
        const bool offered = entry->isEnabled() && frame_->RecentMenu->menuAction()->isEnabled();
        const std::string away = other_ + ".away";
        if (gone) std::filesystem::rename(other_, away);
        entry->trigger();
        if (gone) {
            EXPECT_TRUE(Shown(kMsgFileOpenFailed));
            std::filesystem::rename(away, other_);
        }
        return offered;
    }
    bool Asked(int id) const {
        const std::vector<std::string> asked = messages_.Asked();
        return std::any_of(asked.begin(), asked.end(),
                           [&](const std::string& s) { return s.find(gMsgTable.Get(id)) != std::string::npos; });
    }
    bool Idle() {
        const bool idle =
            PumpUntil([] { return _TransData->JobNo == 0 && _TransData->MaySend && !_TransData->QelCom->IsOpen(); });
        QCoreApplication::processEvents();  // messages follow the port's notification
        return idle;
    }
    static void Front(QWidget* w) {
        auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
        ASSERT_TRUE(sub);
        sub->mdiArea()->setActiveSubWindow(sub);
    }
    // The job is half-way when the command comes (halfway_).
    void Halfway(int position) {
        halfway_ = PumpUntil([position] { return _ProgBar->isVisible() && _ProgBar->ProgBar->value() >= position; }) &&
               _TransData->JobNo != 0;
    }

    // Each job starts as the user starts it, slowed down on the line, and
    // comes half-way; the window that owns it (null: the link window's).
    QWidget* StartProgramWrite() {
        std::fill(emu_.S.program.begin(), emu_.S.program.end(), 0x00);
        sent_.assign(gProgram, gProgram + gProgramCapacity);
        emu_.AddFault({.action = FaultAction::Delay, .function = 16, .addrLo = 0x2000, .addrHi = 0x6FFF,
                       .times = -1, .param = 5});
        EXPECT_TRUE(frame_->RunCommand("MmTrans"));
        _TransDataForm->WorkType->setFocus();
        QTest::keyClick(_TransDataForm->WorkType, Qt::Key_Home);
        QTest::keyClick(_TransDataForm->WorkType, Qt::Key_Down);
        QTest::mouseClick(_TransDataForm->OkBtn, Qt::LeftButton);
        Halfway(640);
        return nullptr;
    }
    QWidget* StartRegisters(bool write) {
        EXPECT_TRUE(frame_->RunCommand("MmViewReg"));
        TDevReg* v = _DevReg;
        v->PgContrl->setCurrentIndex(qel::link::kRegPageT);
        for (int n = 0; n < 256; ++n) {
            v->Data.TRegs[n] = static_cast<std::uint16_t>(write ? 100 + n : 0);
            emu_.S.regs[0x0600 + n] = static_cast<std::uint16_t>(write ? 0 : 500 + n);
        }
        v->Modified = 0;
        emu_.AddFault({.action = FaultAction::Delay, .addrLo = 0x0600, .addrHi = 0x06FF, .times = -1, .param = 20});
        QTest::mouseClick(v->CommBtn, Qt::LeftButton);
        (write ? v->NumComm->WritePlcReg_Rdo : v->NumComm->ReadPlcReg_Rdo)->setChecked(true);
        QTest::mouseClick(v->NumComm->Ok_Btn, Qt::LeftButton);
        Halfway(4);
        return v;
    }
    QWidget* StartTemplate(bool write) {
        EXPECT_TRUE(frame_->RunCommand("MmFileTmp"));
        TFileTmp* w = _FileTmp;
        for (int i = 0; i < 320; ++i) {
            gFileRegValues[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(write ? 1 + i : 0);
            emu_.S.fileRegs[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(write ? 0 : 500 + i);
        }
        w->Modified = 0;
        emu_.AddFault({.action = FaultAction::Delay, .function = 0x64, .subCode = write ? 17 : 24, .times = -1,
                       .param = 20});
        w->CommBtnClick();
        w->Comm->CommType_Box->setCurrentIndex(write ? 1 : 0);
        w->Comm->PartChk->setChecked(true);
        w->Comm->StartPost_Txt->setText("0");
        w->Comm->EndPost_Txt->setText("319");
        QTest::mouseClick(w->Comm->OkBtn, Qt::LeftButton);
        Halfway(64);
        return w;
    }
    QWidget* StartPasswordWrite() {
        EXPECT_TRUE(frame_->RunCommand("MmPassWd"));
        TPwdDlg* d = _PwdDlg;
        EXPECT_TRUE(PumpUntil([d] { return d->Job().Known && _TransData->JobNo == 0 && _TransData->MaySend; }));
        // The new password's reply comes late: the command finds it on the line.
        emu_.AddFault({.action = FaultAction::Delay, .function = 0x64, .subCode = 11, .param = 300});
        QTest::keyClicks(d->Password, "Qw7z");
        QTest::keyClicks(d->Confirm_Txt, "Qw7z");
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
        halfway_ = PumpUntil([this] { return emu_.LateWrites() > 0; }) && _TransData->JobNo == kJobPassword;
        return d;
    }

    QWidget* StartCardWrite() {
        std::fill(emu_.S.cardArea[4].begin(), emu_.S.cardArea[4].end(), 0x00);
        sent_.assign(gProgram, gProgram + std::min<std::size_t>(gProgramCapacity, emu_.S.cardArea[4].size()));
        EXPECT_TRUE(frame_->RunCommand("MmCardCodeRw"));
        // The card's status comes first.
        EXPECT_TRUE(PumpUntil([] { return _TransData->JobNo == 0 && _TransData->MaySend; }));
        emu_.AddFault({.action = FaultAction::Delay, .function = 0x64, .subCode = 17, .times = -1, .param = 5});
        _MemCardDlg->WriteRdo->setChecked(true);
        messages_.QueueAnswer(qel::Answer::Yes);  // write to the card?
        EXPECT_TRUE(_MemCardDlg->OkBtnClick());
        Halfway(320);
        return nullptr;
    }

    // The program read from the link window, the PLC holding the program open
    // now; the read replaces the project once its last block is in.
    void StartProgramRead() {
        std::copy(gProgram, gProgram + std::min<std::size_t>(gProgramCapacity, emu_.S.program.size()),
                  emu_.S.program.begin());
        emu_.AddFault({.action = FaultAction::Delay, .function = 3, .addrLo = 0x2000, .addrHi = 0x6FFF,
                       .times = -1, .param = 5});
        EXPECT_TRUE(frame_->RunCommand("MmTrans"));
        _TransDataForm->WorkType->setFocus();
        QTest::keyClick(_TransDataForm->WorkType, Qt::Key_Home);
        QTest::mouseClick(_TransDataForm->OkBtn, Qt::LeftButton);
        Halfway(640);
    }
    // The program read from the memory card, the card holding the program
    // open now; the read replaces the project once its last block is in.
    void StartCardRead() {
        std::copy(gProgram, gProgram + std::min<std::size_t>(gProgramCapacity, emu_.S.cardArea[4].size()),
                  emu_.S.cardArea[4].begin());
        EXPECT_TRUE(frame_->RunCommand("MmCardCodeRw"));
        // The card's status comes first.
        EXPECT_TRUE(PumpUntil([] { return _TransData->JobNo == 0 && _TransData->MaySend; }));
        emu_.AddFault({.action = FaultAction::Delay, .function = 100, .times = -1, .param = 4});
        _MemCardDlg->ReadRdo->setChecked(true);
        messages_.QueueAnswer(qel::Answer::Yes);  // read from the card?
        EXPECT_TRUE(_MemCardDlg->OkBtnClick());
        Halfway(8);
    }
    // PLC > Verify, the PLC holding the program open now (as the
    // program was before edits that the verify puts in first: such a verify
    // may end at once, and is not waited on).
    void StartVerify(bool halfway = true) {
        std::copy(gProgram, gProgram + std::min<std::size_t>(gProgramCapacity, emu_.S.program.size()),
                  emu_.S.program.begin());
        emu_.AddFault({.action = FaultAction::Delay, .function = 3, .addrLo = 0x2000, .addrHi = 0x6FFF,
                       .times = -1, .param = 40});
        EXPECT_TRUE(frame_->RunCommand("MmCodeVerify"));
        if (halfway) Halfway(64);
    }

    // What the PLC holds of the job's data: none, part or all of it.
    enum class Held { None, Part, All };
    Held PlcHolds(Job job) const {
        auto judge = [](bool first, bool last) { return last ? Held::All : first ? Held::Part : Held::None; };
        switch (job) {
        case Job::ProgramWrite:
            // The program as it stood when the write began, whatever replaced it since.
            return judge(std::equal(sent_.begin(), sent_.begin() + 32, emu_.S.program.begin()), emu_.S.program == sent_);
        case Job::RegisterWrite: return judge(emu_.S.regs[0x0600] == 100, emu_.S.regs[0x06FF] == 355);
        case Job::TemplateWrite: return judge(emu_.S.fileRegs[0] == 1, emu_.S.fileRegs[319] == 320);
        case Job::PasswordWrite: return emu_.S.password == "Qw7z" ? Held::All : Held::None;
        case Job::CardWrite:
            return judge(std::equal(sent_.begin(), sent_.begin() + 32, emu_.S.cardArea[4].begin()),
                         std::equal(sent_.begin(), sent_.end(), emu_.S.cardArea[4].begin()));
        case Job::RegisterRead:
        case Job::TemplateRead: break;
        }
        return Held::None;
    }

    std::string mine_, other_;
    bool halfway_ = false;
    std::vector<std::uint8_t> sent_;  // the program a write started with
};

TEST_F(JobEndTest, ACommandThatWouldEndAPlcWriteAsksFirstAndAReadSaysItEnded) {
    const struct {
        const char* path;
        Job job;
        Command command;
        enum Front front;
        Reply reply;
        int message;          // the job's last word
        bool windowStays;     // the job's own window is still open
        bool projectStays;    // the project is still "mine"
        Held plc;             // what the PLC holds of the write
        bool unsaved = false; // the program holds unsaved edits: the save question comes first, answered No
    } rows[] = {
        {"program write, File > New, ladder in front: it outlasts the project", Job::ProgramWrite, Command::New,
         Front::Ladder, Reply::None, qel::link::kMsgWriteOk, true, false, Held::All},
        {"program write, File > Open, ladder in front: it outlasts the project", Job::ProgramWrite, Command::Open,
         Front::Ladder, Reply::None, qel::link::kMsgWriteOk, true, false, Held::All},
        {"program write, File > Exit, Cancel: it runs to its end", Job::ProgramWrite, Command::Exit, Front::Ladder,
         Reply::Cancel, qel::link::kMsgWriteOk, true, true, Held::All},
        {"register write, File > New, ladder in front, Cancel", Job::RegisterWrite, Command::New, Front::Ladder,
         Reply::Cancel, qel::link::kMsgRegWriteDone, true, true, Held::All},
        {"register write, File > New, register view in front, Cancel", Job::RegisterWrite, Command::New, Front::Owner,
         Reply::Cancel, qel::link::kMsgRegWriteDone, true, true, Held::All},
        {"register write, File > New, ladder in front, OK", Job::RegisterWrite, Command::New, Front::Ladder,
         Reply::Ok, qel::link::kMsgWriteStopped, false, false, Held::Part},
        {"register write, its window closed, OK", Job::RegisterWrite, Command::CloseWindow, Front::Owner, Reply::Ok,
         qel::link::kMsgWriteStopped, false, true, Held::Part},
        {"register write, a recent file, ladder in front, Cancel", Job::RegisterWrite, Command::Recent, Front::Ladder,
         Reply::Cancel, qel::link::kMsgRegWriteDone, true, true, Held::All},
        {"register write, File > Open cancelled in its file dialog: nothing asked, the write runs on",
         Job::RegisterWrite, Command::OpenCancelled, Front::Ladder, Reply::None, qel::link::kMsgRegWriteDone, true,
         true, Held::All},
        {"register write, the batch compile test run, Cancel: nothing runs, the write goes on", Job::RegisterWrite,
         Command::BatchTest, Front::Ladder, Reply::Cancel, qel::link::kMsgRegWriteDone, true, true, Held::All},
        {"register write, a recent file no longer there: nothing asked, the write runs on", Job::RegisterWrite,
         Command::RecentGone, Front::Ladder, Reply::None, qel::link::kMsgRegWriteDone, true, true, Held::All},
        {"register write, File > New, OK given once the write has ended on its own: no stop, no word of one",
         Job::RegisterWrite, Command::New, Front::Ladder, Reply::OkOnceEnded, qel::link::kMsgRegWriteDone, false,
         false, Held::All},
        {"register write, File > Exit with unsaved edits, save No, then Cancel: the edits and the write go on",
         Job::RegisterWrite, Command::Exit, Front::Ladder, Reply::Cancel, qel::link::kMsgRegWriteDone, true, true,
         Held::All, true},
        {"register write, another capacity in the model setting, Cancel", Job::RegisterWrite, Command::Capacity,
         Front::Ladder, Reply::Cancel, qel::link::kMsgRegWriteDone, true, true, Held::All},
        {"register read, File > New, ladder in front, OK: ended with a word", Job::RegisterRead, Command::New,
         Front::Ladder, Reply::Ok, qel::link::kMsgJobStopped, false, false, Held::None},
        {"template write, File > Open, ladder in front, Cancel", Job::TemplateWrite, Command::Open, Front::Ladder,
         Reply::Cancel, kMsgFileRegWriteDone, true, true, Held::All},
        {"template write, File > Open, ladder in front, OK", Job::TemplateWrite, Command::Open, Front::Ladder,
         Reply::Ok, qel::link::kMsgWriteStopped, false, false, Held::Part},
        {"template write, the memory card box of the model setting, Cancel", Job::TemplateWrite, Command::Card,
         Front::Ladder, Reply::Cancel, kMsgFileRegWriteDone, true, true, Held::All},
        {"template read, the memory card box of the model setting, OK: ended with a word, nothing kept",
         Job::TemplateRead, Command::Card, Front::Ladder, Reply::Ok, qel::link::kMsgJobStopped, true, true,
         Held::None},
        {"template write, its window closed, Cancel", Job::TemplateWrite, Command::CloseWindow, Front::Owner,
         Reply::Cancel, kMsgFileRegWriteDone, true, true, Held::All},
        {"password write, its dialog closed, Cancel: the read-back question follows", Job::PasswordWrite,
         Command::CloseWindow, Front::Ladder, Reply::Cancel, qel::link::kMsgPwdLocked, true, true, Held::All},
        {"password write, its dialog closed, OK", Job::PasswordWrite, Command::CloseWindow, Front::Ladder, Reply::Ok,
         qel::link::kMsgWriteStopped, false, true, Held::All},
        {"template write, File > Exit, template in front, Cancel", Job::TemplateWrite, Command::Exit, Front::Owner,
         Reply::Cancel, kMsgFileRegWriteDone, true, true, Held::All},
        {"register write, its progress window closed, Cancel: it runs to its end", Job::RegisterWrite,
         Command::CloseProgress, Front::Owner, Reply::Cancel, qel::link::kMsgRegWriteDone, true, true, Held::All},
        {"register write, Escape in its progress window, OK", Job::RegisterWrite, Command::EscapeProgress,
         Front::Owner, Reply::Ok, qel::link::kMsgWriteStopped, true, true, Held::Part},
        {"register read, its progress window closed: ended with a word", Job::RegisterRead, Command::CloseProgress,
         Front::Owner, Reply::None, qel::link::kMsgJobStopped, true, true, Held::None},
        {"template write, its progress window closed, OK", Job::TemplateWrite, Command::CloseProgress, Front::Owner,
         Reply::Ok, qel::link::kMsgWriteStopped, true, true, Held::Part},
        {"program write, its progress window closed, OK: it says how far it came", Job::ProgramWrite,
         Command::CloseProgress, Front::Ladder, Reply::Ok, qel::link::kMsgPartlyWritten, true, true, Held::Part},
        {"card write, its progress window closed: it offers no cancel and runs to its end", Job::CardWrite,
         Command::CloseProgress, Front::Ladder, Reply::None, kMsgCardWriteDone, true, true, Held::All},
        {"card write, File > New: it outlasts the project", Job::CardWrite, Command::New, Front::Ladder, Reply::None,
         kMsgCardWriteDone, true, false, Held::All},
        {"card write, File > Exit, Cancel: it runs to its end", Job::CardWrite, Command::Exit, Front::Ladder,
         Reply::Cancel, kMsgCardWriteDone, true, true, Held::All},
        // Last: the program closes.
        {"program write, File > Exit, OK: the program closes, saying how far the write came", Job::ProgramWrite,
         Command::Exit, Front::Ladder, Reply::Ok, qel::link::kMsgPartlyWritten, true, true, Held::Part},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        ASSERT_TRUE(frame_->OpenProgramFile(mine_));
        emu_.S.password.reset();  // a PLC without a password takes every job
        emu_.S.coils[PlcEmulator::kM1069] = 0;
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        QWidget* ladder = _LDB;
        messages_.Clear();
        QWidget* owner = r.job == Job::ProgramWrite    ? StartProgramWrite()
                         : r.job == Job::CardWrite     ? StartCardWrite()
                         : r.job == Job::TemplateWrite ? StartTemplate(true)
                         : r.job == Job::TemplateRead  ? StartTemplate(false)
                         : r.job == Job::PasswordWrite ? StartPasswordWrite()
                                                       : StartRegisters(r.job == Job::RegisterWrite);
        ASSERT_TRUE(halfway_);
        Front(r.front == Front::Owner && owner ? owner : ladder);
        QPointer<QWidget> window(owner);
        if (r.unsaved) {
            gQel.Modified = 1;
            messages_.QueueAnswer(qel::Answer::No);  // not saved
        }
        if (r.reply != Reply::None) messages_.QueueAnswer(r.reply == Reply::Cancel ? qel::Answer::Cancel : qel::Answer::Ok);
        std::optional<Pondering> ponder;
        if (r.reply == Reply::OkOnceEnded) ponder.emplace(messages_);
        if (r.job == Job::PasswordWrite && r.reply == Reply::Cancel) messages_.QueueAnswer(qel::Answer::Yes);
        switch (r.command) {
        case Command::Exit: frame_->close(); break;
        case Command::New: EXPECT_TRUE(frame_->RunCommand("MmNew")); break;
        case Command::Open:
        case Command::OpenCancelled:
            if (r.command == Command::Open) dialogs_.QueuePath(other_);
            EXPECT_TRUE(frame_->RunCommand("MmOpen"));
            break;
        case Command::Recent:
        case Command::RecentGone: EXPECT_TRUE(PickRecentOther(r.command == Command::RecentGone)); break;
        case Command::Capacity: EXPECT_FALSE(frame_->ApplyModelSetting(1, 1, false)); break;
        case Command::Card: EXPECT_EQ(frame_->ApplyModelSetting(1, 0, true), r.reply != Reply::Cancel); break;
        case Command::CloseWindow:
            if (owner->isWindow())
                owner->close();
            else
                CloseWindow(owner);
            break;
        case Command::BatchTest: {
            frame_->MmFileCompileTest->trigger();
            TFileCompileTest* batch = _FileCompileTest;
            batch->SetFolder(QString::fromStdString(projects_.string()));
            QTest::mouseClick(batch->ExtBtn, Qt::LeftButton);
            EXPECT_EQ(batch->Running(), r.reply == Reply::Ok);
            batch->hide();
            break;
        }
        case Command::CloseProgress: _ProgBar->close(); break;
        case Command::EscapeProgress: QTest::keyClick(_ProgBar, Qt::Key_Escape); break;
        }
        // The progress window stays as long as its job runs.
        if (r.command == Command::CloseProgress || r.command == Command::EscapeProgress) {
            EXPECT_EQ(_ProgBar->isVisible(), _TransData->JobNo != 0);
        }
        // A read is asked about in words of its own.
        const bool reads = r.job == Job::RegisterRead || r.job == Job::TemplateRead;
        EXPECT_EQ(Asked(reads ? kMsgStopRead : kMsgStopWrite), r.reply != Reply::None);
        EXPECT_FALSE(Asked(reads ? kMsgStopWrite : kMsgStopRead));
        EXPECT_FALSE(messages_.UnscriptedQuestion());
        ASSERT_TRUE(Idle());
        emu_.ClearFaults();
        EXPECT_TRUE(Shown(r.message)) << ::testing::PrintToString(messages_.Shown());
        // A program write says itself how far it came, once.
        if (r.message == qel::link::kMsgPartlyWritten) {
            EXPECT_FALSE(Shown(qel::link::kMsgWriteStopped));
        }
        // A job that ran to its end says nothing of a stop.
        if (r.plc == Held::All && r.message != qel::link::kMsgWriteStopped) {
            EXPECT_FALSE(Shown(qel::link::kMsgWriteStopped));
            EXPECT_FALSE(Shown(qel::link::kMsgJobStopped));
        }
        // Edits kept stay unsaved: leaving asks about them again.
        if (r.unsaved && r.projectStays) {
            EXPECT_EQ(gQel.Modified, 1);
        }
        if (owner) {
            EXPECT_EQ(!window.isNull() && window->isVisible(), r.windowStays);
        }
        EXPECT_EQ(gQel.ProgramFileName.ends_with("mine.kzp"), r.projectStays) << gQel.ProgramFileName;
        if (r.job == Job::RegisterRead) {
            // Nothing read is kept: the view opened again shows none of the PLC's values.
            EXPECT_FALSE(Shown(qel::link::kMsgRegReadDone));
            ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
            EXPECT_EQ(_DevReg->Data.TRegs[0], 0);
            EXPECT_EQ(_DevReg->Modified, 0);
        } else if (r.job == Job::TemplateRead) {
            // Nothing read is kept: the template's values are those of before.
            EXPECT_FALSE(Shown(qel::link::kMsgFileRegReadDone));
            EXPECT_EQ(gFileRegValues[0], 0);
            EXPECT_EQ(gFileRegValues[319], 0);
        } else {
            EXPECT_EQ(PlcHolds(r.job), r.plc);
        }
        // The memory card box given back for the next rows.
        if (r.command == Command::Card && r.reply != Reply::Cancel) {
            EXPECT_TRUE(frame_->ApplyModelSetting(1, 0, false));
        }
        EXPECT_EQ(frame_->ShutDownDone(), r.command == Command::Exit && r.reply == Reply::Ok);
    }
}



// A verify compares through the program's END: a program of many blocks, so
// that the commands find it half-way.
#define QEL_FOUR_RUNGS "LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "OUT Y2", "LD X3", "OUT Y3"
#define QEL_SIXTEEN_RUNGS QEL_FOUR_RUNGS, QEL_FOUR_RUNGS, QEL_FOUR_RUNGS, QEL_FOUR_RUNGS

TEST_F(JobEndTest, ACommandThatWouldEndAPlcReadOrVerifyAsksFirst) {
    const std::string longer = SaveProgram(projects_ / "longer.kzp", {QEL_SIXTEEN_RUNGS, QEL_SIXTEEN_RUNGS, "END"});
    // Save As onto a new name: one for each job.
    auto renamedFor = [this](int job) { return projects_ / ("renamed" + std::to_string(job) + ".kzp"); };
    enum class What { RegisterRead, TemplateRead, ProgramRead, CardRead, Verify };
    // EditLadder: a rung of the ladder deleted (its edit not yet in the program);
    // EditCode: the same, then the ladder converted into the program's code;
    // EditList: an instruction deleted in the instruction list; EditInnerList:
    // one deleted in the inner list of a chart element (not yet stored in it);
    // TypeChart: a number typed into the chart's entry, no Enter.
    enum class Cmd {
        Exit, New, Open, Recent, CloseWindow, Capacity, Card, EditLadder, EditCode, EditList, EditInnerList, TypeChart,
        SaveAs, BatchTest, CloseProgress, EscapeProgress, DeviceMonitor, RecentGone, Nothing
    };
    // An edit made before the job starts, not yet in the program.
    enum class Before { Nothing, LadderRungDeleted, InnerListLineDeleted, ChartNumberTyped };
    const struct {
        const char* path;
        What job;
        Cmd command;
        enum Front front;
        Reply reply;
        int message;        // the job's last word
        bool commandRuns;   // the command was offered at all
        bool windowStays;   // the job's own window is still open
        bool projectStays;  // the project is still the one the job began with
        Before edit = Before::Nothing;
    } rows[] = {
        {"register read, a recent file, register view in front, OK: ended with a word, nothing kept",
         What::RegisterRead, Cmd::Recent, Front::Owner, Reply::Ok, qel::link::kMsgJobStopped, true, false, false},
        {"register read, File > New, register view in front, Cancel: the read ends and keeps its values",
         What::RegisterRead, Cmd::New, Front::Owner, Reply::Cancel, qel::link::kMsgRegReadDone, true, true, true},
        {"register read, a recent file, register view in front, Cancel: the read ends and keeps its values",
         What::RegisterRead, Cmd::Recent, Front::Owner, Reply::Cancel, qel::link::kMsgRegReadDone, true, true, true},
        {"register read, File > New, register view in front, OK", What::RegisterRead, Cmd::New, Front::Owner,
         Reply::Ok, qel::link::kMsgJobStopped, true, false, false},
        {"template read, a recent file, template in front, OK", What::TemplateRead, Cmd::Recent, Front::Owner,
         Reply::Ok, qel::link::kMsgJobStopped, true, false, false},
        {"template read, File > New, template in front, Cancel", What::TemplateRead, Cmd::New, Front::Owner,
         Reply::Cancel, qel::link::kMsgFileRegReadDone, true, true, true},
        {"template read, File > New, template in front, OK", What::TemplateRead, Cmd::New, Front::Owner, Reply::Ok,
         qel::link::kMsgJobStopped, true, false, false},
        {"register read, File > Open, ladder in front, OK", What::RegisterRead, Cmd::Open, Front::Ladder, Reply::Ok,
         qel::link::kMsgJobStopped, true, false, false},
        {"register read, File > Open, ladder in front, Cancel", What::RegisterRead, Cmd::Open, Front::Ladder,
         Reply::Cancel, qel::link::kMsgRegReadDone, true, true, true},
        {"template read, another capacity in the model setting, ladder in front, OK", What::TemplateRead,
         Cmd::Capacity, Front::Ladder, Reply::Ok, qel::link::kMsgJobStopped, true, false, true},
        {"template read, another capacity in the model setting, ladder in front, Cancel", What::TemplateRead,
         Cmd::Capacity, Front::Ladder, Reply::Cancel, qel::link::kMsgFileRegReadDone, true, true, true},
        {"template read, the memory card box, Cancel", What::TemplateRead, Cmd::Card, Front::Ladder, Reply::Cancel,
         qel::link::kMsgFileRegReadDone, true, true, true},
        {"register read, its window closed, Cancel", What::RegisterRead, Cmd::CloseWindow, Front::Owner,
         Reply::Cancel, qel::link::kMsgRegReadDone, true, true, true},
        {"register read, its window closed, OK", What::RegisterRead, Cmd::CloseWindow, Front::Owner, Reply::Ok,
         qel::link::kMsgJobStopped, true, false, true},
        {"program read, File > New from the ladder: greyed until the read ends", What::ProgramRead, Cmd::New,
         Front::Ladder, Reply::None, qel::link::kMsgReadDone, false, true, false},
        {"program read, a recent file: greyed until the read ends", What::ProgramRead, Cmd::Recent, Front::Ladder,
         Reply::None, qel::link::kMsgReadDone, false, true, false},
        {"verify, File > Open, ladder in front, OK: no result", What::Verify, Cmd::Open, Front::Ladder, Reply::Ok,
         kMsgNoVerifyResult, true, true, false},
        {"verify, File > New, ladder in front, OK: no result", What::Verify, Cmd::New, Front::Ladder, Reply::Ok,
         kMsgNoVerifyResult, true, true, false},
        {"verify, File > Open, ladder in front, Cancel: it compares to its end, the project stays", What::Verify,
         Cmd::Open, Front::Ladder, Reply::Cancel, qel::link::kMsgVerifyEqual, true, true, true},
        {"verify, a recent file, Cancel", What::Verify, Cmd::Recent, Front::Ladder, Reply::Cancel,
         qel::link::kMsgVerifyEqual, true, true, true},
        {"verify, another capacity in the model setting, OK: no result", What::Verify, Cmd::Capacity, Front::Ladder,
         Reply::Ok, kMsgNoVerifyResult, true, true, true},
        {"verify, a rung of the ladder deleted meanwhile: no result for the program now edited", What::Verify,
         Cmd::EditLadder, Front::Ladder, Reply::None, kMsgNoVerifyResult, true, true, true},
        {"verify, a rung deleted and the ladder converted into code meanwhile: no result", What::Verify,
         Cmd::EditCode, Front::Ladder, Reply::None, kMsgNoVerifyResult, true, true, true},
        {"verify, File > Save As meanwhile: the same program under another name, the result stands", What::Verify,
         Cmd::SaveAs, Front::Ladder, Reply::None, qel::link::kMsgVerifyEqual, true, true, true},
        {"verify, the batch compile test run, Cancel: nothing runs, the verify compares to its end", What::Verify,
         Cmd::BatchTest, Front::Ladder, Reply::Cancel, qel::link::kMsgVerifyEqual, true, true, true},
        {"verify, an instruction deleted in the instruction list meanwhile: no result", What::Verify, Cmd::EditList,
         Front::Ladder, Reply::None, kMsgNoVerifyResult, true, true, true},
        {"verify, an instruction deleted in a chart element's inner list, not yet stored: no result", What::Verify,
         Cmd::EditInnerList, Front::Ladder, Reply::None, kMsgNoVerifyResult, true, true, true},
        {"verify, a number typed into the chart and not entered: no result", What::Verify, Cmd::TypeChart,
         Front::Ladder, Reply::None, kMsgNoVerifyResult, true, true, true},
        {"verify, the instruction list and the chart opened meanwhile, nothing edited: the result stands",
         What::Verify, Cmd::Nothing, Front::Chart, Reply::None, qel::link::kMsgVerifyEqual, true, true, true},
        {"verify, its progress window closed: ended with a word", What::Verify, Cmd::CloseProgress, Front::Ladder,
         Reply::None, qel::link::kMsgJobStopped, true, true, true},
        {"verify, Escape in its progress window: ended with a word", What::Verify, Cmd::EscapeProgress,
         Front::Ladder, Reply::None, qel::link::kMsgJobStopped, true, true, true},
        {"verify, File > New, OK given once the verify has ended on its own: its result stands", What::Verify,
         Cmd::New, Front::Ladder, Reply::OkOnceEnded, qel::link::kMsgVerifyEqual, true, true, false},
        {"register read, the batch compile test run, OK: the read ends with a word", What::RegisterRead,
         Cmd::BatchTest, Front::Ladder, Reply::Ok, qel::link::kMsgJobStopped, true, false, false},
        {"template read, the batch compile test run, Cancel", What::TemplateRead, Cmd::BatchTest, Front::Owner,
         Reply::Cancel, qel::link::kMsgFileRegReadDone, true, true, true},
        {"register read, File > New, register view in front, OK given once the read has ended on its own",
         What::RegisterRead, Cmd::New, Front::Owner, Reply::OkOnceEnded, qel::link::kMsgRegReadDone, true, false,
         false},
        {"register read, Escape in its progress window: ended with a word", What::RegisterRead, Cmd::EscapeProgress,
         Front::Owner, Reply::None, qel::link::kMsgJobStopped, true, true, true},
        {"verify, File > New, instruction list in front, OK: no result", What::Verify, Cmd::New, Front::List,
         Reply::Ok, kMsgNoVerifyResult, true, true, false},
        {"register read, File > New, chart in front, OK", What::RegisterRead, Cmd::New, Front::Chart, Reply::Ok,
         qel::link::kMsgJobStopped, true, false, false},
        {"template read, File > Open, instruction list in front, Cancel", What::TemplateRead, Cmd::Open, Front::List,
         Reply::Cancel, qel::link::kMsgFileRegReadDone, true, true, true},
        {"template read, its window closed, OK: nothing kept", What::TemplateRead, Cmd::CloseWindow, Front::Owner,
         Reply::Ok, qel::link::kMsgJobStopped, true, false, true},
        {"register read, File > Save As meanwhile: the values read go with the renamed project", What::RegisterRead,
         Cmd::SaveAs, Front::Ladder, Reply::None, qel::link::kMsgRegReadDone, true, true, true},
        {"template read, File > Save As meanwhile: the values read go with the renamed project", What::TemplateRead,
         Cmd::SaveAs, Front::Ladder, Reply::None, qel::link::kMsgFileRegReadDone, true, true, true},
        {"register read, the device monitor asked for meanwhile: refused with a word, the read runs on",
         What::RegisterRead, Cmd::DeviceMonitor, Front::Ladder, Reply::None, qel::link::kMsgRegReadDone, false, true,
         true},
        {"verify begun over a rung deleted in the ladder, not yet converted: the program as edited is compared",
         What::Verify, Cmd::Nothing, Front::Ladder, Reply::None, qel::link::kMsgVerifyDiffers, true, true, true,
         Before::LadderRungDeleted},
        {"verify begun over a line deleted in a chart element's inner list, not yet stored", What::Verify,
         Cmd::Nothing, Front::Ladder, Reply::None, qel::link::kMsgVerifyDiffers, true, true, true,
         Before::InnerListLineDeleted},
        {"verify begun with a number typed into the chart, not entered", What::Verify, Cmd::Nothing, Front::Ladder,
         Reply::None, qel::link::kMsgVerifyDiffers, true, true, true, Before::ChartNumberTyped},
        {"verify, the batch compile test run, OK: no result", What::Verify, Cmd::BatchTest, Front::Ladder, Reply::Ok,
         kMsgNoVerifyResult, true, true, false},
        {"verify, a recent file no longer there: named, nothing asked, the verify compares to its end", What::Verify,
         Cmd::RecentGone, Front::Ladder, Reply::None, qel::link::kMsgVerifyEqual, true, true, true},
        {"program read, its progress window closed: ended with a word, the project stays", What::ProgramRead,
         Cmd::CloseProgress, Front::Ladder, Reply::None, qel::link::kMsgJobStopped, true, true, true},
        {"card program read, File > New: greyed until the read ends", What::CardRead, Cmd::New, Front::Ladder,
         Reply::None, kMsgCardReadDone, false, true, false},
        {"card program read, its progress window closed: ended with a word, the project stays", What::CardRead,
         Cmd::CloseProgress, Front::Ladder, Reply::None, qel::link::kMsgJobStopped, true, true, true},
        {"card program read, File > Exit, Cancel: it reads to its end", What::CardRead, Cmd::Exit, Front::Ladder,
         Reply::Cancel, kMsgCardReadDone, true, true, false},
        // Last: a program that does not ask would close here.
        {"program read, File > Exit, Cancel: it reads to its end", What::ProgramRead, Cmd::Exit, Front::Ladder,
         Reply::Cancel, qel::link::kMsgReadDone, true, true, false},
        {"template read, File > Exit, template in front, Cancel", What::TemplateRead, Cmd::Exit, Front::Owner,
         Reply::Cancel, qel::link::kMsgFileRegReadDone, true, true, true},
        {"verify, File > Exit, Cancel: it compares to its end", What::Verify, Cmd::Exit, Front::Ladder,
         Reply::Cancel, qel::link::kMsgVerifyEqual, true, true, true},
        {"verify, File > Exit, OK: the program closes, the verify gives no result", What::Verify, Cmd::Exit,
         Front::Ladder, Reply::Ok, kMsgNoVerifyResult, true, true, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        const std::string& project = r.job == What::Verify ? longer : mine_;
        ASSERT_TRUE(frame_->OpenProgramFile(project));
        ASSERT_TRUE(frame_->OpenProgramFile(other_));  // listed among the recent files
        ASSERT_TRUE(frame_->OpenProgramFile(project));
        emu_.S.password.reset();
        emu_.S.coils[PlcEmulator::kM1069] = 0;
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        QWidget* ladder = _LDB;
        messages_.Clear();
        switch (r.edit) {
        case Before::Nothing: break;
        case Before::LadderRungDeleted: ASSERT_TRUE(frame_->RunCommand("MmDelLine")); break;
        case Before::InnerListLineDeleted:
            ASSERT_TRUE(frame_->RunCommand("MmSfcWin") && _Sfc);
            QTest::keyClick(_Sfc, Qt::Key_M, Qt::ControlModifier);
            ASSERT_TRUE(_InterInst);
            QTest::keyClick(_InterInst, Qt::Key_Delete);
            break;
        case Before::ChartNumberTyped:
            ASSERT_TRUE(frame_->RunCommand("MmSfcWin") && _Sfc);
            QTest::keyClick(_Sfc, Qt::Key_F2);
            ASSERT_TRUE(_Sfc->SfcEdit_Txt->isVisible());
            QTest::keyClicks(_Sfc->SfcEdit_Txt, "0");
            break;
        }
        QWidget* owner = nullptr;
        switch (r.job) {
        case What::RegisterRead: owner = StartRegisters(false); break;
        case What::TemplateRead: owner = StartTemplate(false); break;
        case What::ProgramRead: StartProgramRead(); break;
        case What::CardRead: StartCardRead(); break;
        case What::Verify: StartVerify(r.edit == Before::Nothing); break;
        }
        if (r.command != Cmd::Nothing) {
            ASSERT_TRUE(halfway_);
        }
        if (r.front == Front::List || r.command == Cmd::Nothing) {
            ASSERT_TRUE(frame_->RunCommand("MmInstWin") && _Inst);
        }
        if (r.front == Front::Chart) {
            ASSERT_TRUE(frame_->RunCommand("MmSfcWin") && _Sfc);
        }
        Front(r.front == Front::Owner && owner ? owner
              : r.front == Front::List         ? static_cast<QWidget*>(_Inst)
              : r.front == Front::Chart        ? static_cast<QWidget*>(_Sfc)
                                               : ladder);
        QPointer<QWidget> window(owner);
        if (r.reply != Reply::None)
            messages_.QueueAnswer(r.reply == Reply::Cancel ? qel::Answer::Cancel : qel::Answer::Ok);
        std::optional<Pondering> ponder;
        if (r.reply == Reply::OkOnceEnded) ponder.emplace(messages_);
        bool ran = true;
        switch (r.command) {
        case Cmd::Exit: frame_->close(); break;
        case Cmd::New: ran = frame_->RunCommand("MmNew"); break;
        case Cmd::Open:
            dialogs_.QueuePath(other_);
            ran = frame_->RunCommand("MmOpen");
            break;
        case Cmd::Recent:
        case Cmd::RecentGone: ran = PickRecentOther(r.command == Cmd::RecentGone); break;
        case Cmd::Capacity: EXPECT_EQ(frame_->ApplyModelSetting(1, 1, false), r.reply == Reply::Ok); break;
        case Cmd::Card: EXPECT_EQ(frame_->ApplyModelSetting(1, 0, true), r.reply != Reply::Cancel); break;
        case Cmd::CloseWindow: CloseWindow(owner); break;
        case Cmd::EditLadder: ran = frame_->RunCommand("MmDelLine"); break;
        case Cmd::EditCode: ran = frame_->RunCommand("MmDelLine") && frame_->RunCommand("MmLadToCode"); break;
        case Cmd::EditList: ran = frame_->RunCommand("MmInstWin") && frame_->RunCommand("MmDel"); break;
        case Cmd::EditInnerList:
            ran = frame_->RunCommand("MmSfcWin") && _Sfc;
            if (!ran) break;
            QTest::keyClick(_Sfc, Qt::Key_M, Qt::ControlModifier);
            ASSERT_TRUE(_InterInst);
            QTest::keyClick(_InterInst, Qt::Key_Delete);
            break;
        case Cmd::TypeChart:
            ran = frame_->RunCommand("MmSfcWin") && _Sfc;
            if (!ran) break;
            QTest::keyClick(_Sfc, Qt::Key_F2);
            ran = _Sfc->SfcEdit_Txt->isVisible();
            QTest::keyClicks(_Sfc->SfcEdit_Txt, "0");
            break;
        case Cmd::CloseProgress: _ProgBar->close(); break;
        case Cmd::EscapeProgress: QTest::keyClick(_ProgBar, Qt::Key_Escape); break;
        case Cmd::DeviceMonitor:
            frame_->RunCommand("MmMonitorDev");
            ran = _DevMoniDlg != nullptr;
            EXPECT_TRUE(Shown(qel::link::kMsgJobRunning));
            break;
        case Cmd::Nothing: break;
        case Cmd::BatchTest: {
            frame_->MmFileCompileTest->trigger();
            TFileCompileTest* batch = _FileCompileTest;
            batch->SetFolder(QString::fromStdString(projects_.string()));
            QTest::mouseClick(batch->ExtBtn, Qt::LeftButton);
            ran = batch->Running() == (r.reply == Reply::Ok);
            // It opens each program of the folder in turn.
            EXPECT_TRUE(PumpUntil([batch] { return !batch->Running(); }));
            batch->hide();
            break;
        }
        case Cmd::SaveAs:
            dialogs_.QueuePath(renamedFor(static_cast<int>(r.job)).string());
            ran = frame_->RunCommand("MmSaveAs");
            break;
        }
        EXPECT_EQ(ran, r.commandRuns);
        EXPECT_EQ(Asked(kMsgStopRead), r.reply != Reply::None);
        EXPECT_FALSE(Asked(kMsgStopWrite));
        EXPECT_FALSE(messages_.UnscriptedQuestion());
        ASSERT_TRUE(Idle());
        emu_.ClearFaults();
        EXPECT_TRUE(Shown(r.message)) << ::testing::PrintToString(messages_.Shown());
        // A job stopped, or one whose project went, claims no result.
        if (r.reply == Reply::Ok) {
            for (int done : {qel::link::kMsgRegReadDone, qel::link::kMsgVerifyEqual, qel::link::kMsgVerifyDiffers})
                EXPECT_FALSE(Shown(done)) << done;
        }
        if (r.message == kMsgNoVerifyResult) {
            EXPECT_FALSE(Shown(qel::link::kMsgVerifyEqual));
            EXPECT_FALSE(Shown(qel::link::kMsgVerifyDiffers));
        }
        // A job that ran to its end says nothing of a stop.
        if (r.message != qel::link::kMsgJobStopped && r.message != kMsgNoVerifyResult) {
            EXPECT_FALSE(Shown(qel::link::kMsgJobStopped));
            EXPECT_FALSE(Shown(kMsgNoVerifyResult));
        }
        if (owner) {
            EXPECT_EQ(!window.isNull() && window->isVisible(), r.windowStays);
        }
        const std::filesystem::path now = r.command == Cmd::SaveAs ? renamedFor(static_cast<int>(r.job)) : std::filesystem::path(project);
        EXPECT_EQ(std::filesystem::path(gQel.ProgramFileName).filename() == now.filename(), r.projectStays)
            << gQel.ProgramFileName;
        const bool kept = r.message == qel::link::kMsgRegReadDone || r.message == qel::link::kMsgFileRegReadDone;
        if (r.job == What::RegisterRead) {
            // The values read are in the view only when the read ran to its end.
            ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
            // (of the project they were read into)
            EXPECT_EQ(_DevReg->Data.TRegs[0], kept && r.projectStays ? 500 : 0);
            EXPECT_EQ(_DevReg->Data.TRegs[255], kept && r.projectStays ? 755 : 0);
            _DevReg->Modified = 0;
            CloseWindow(_DevReg);
        } else if (r.job == What::TemplateRead) {
            EXPECT_EQ(gFileRegValues[0], kept ? 500 : 0);
            EXPECT_EQ(gFileRegValues[319], kept ? 819 : 0);
            if (_FileTmp) {
                _FileTmp->Modified = 0;
                CloseWindow(_FileTmp);
            }
        }
        // The model given back for the next rows.
        if (r.command == Cmd::Capacity && r.reply == Reply::Ok) {
            EXPECT_TRUE(frame_->ApplyModelSetting(1, 0, false));
        }
        if (r.command == Cmd::Card && r.reply != Reply::Cancel) {
            EXPECT_TRUE(frame_->ApplyModelSetting(1, 0, false));
        }
        EXPECT_EQ(frame_->ShutDownDone(), r.command == Cmd::Exit && r.reply == Reply::Ok);
    }
}

}  // namespace
