// Passwords in the frame, against the PLC emulator over a pseudo-terminal:
// the memory card dialog and the PLC password dialog, each path that sends
// or receives a password with its answer garbled, refused or lost (no
// message shows the password, as text or as the hex of a frame), and each
// way a password is set or cleared on the card and on a PLC of each family
// (the status panel then shows what the device holds, or nothing until it
// is asked again, and the password dialog's mode follows it).
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "ladder/editor/Ladder.h"
#include "ladder/model/LadderConvert.h"
#include "link/jobs/Memcard.h"
#include "link/jobs/Plcpassword.h"
#include "link/windows/Colorstringgrid.h"
#include "link/windows/Devmonidlg.h"
#include "link/windows/Devmoniinput.h"
#include "link/windows/Memcarddlg.h"
#include "link/windows/Online.h"
#include "link/windows/Pwddlg.h"
#include "link/windows/Transdatafrm.h"
#include "project/Settings.h"
#include "tests/link/windows/LinkWindowFixture.h"

namespace {

using qel::test::FaultAction;
using qel::test::FaultRule;
namespace lk = qel::link;

constexpr const char* kSecret = "Qw7z";
// The secret as the hex pairs of a frame carry it, and its two register
// words (D1013, D1014 on a KA-Series PLC).
constexpr const char* kSecretHex = "5177377A";
constexpr const char* kSecretWords[] = {"5177", "377A"};
constexpr int kNothingShown = -1;
constexpr int kWriteDone = 139;

class ProtectionShownTest : public LinkWindowTest {
protected:
    void SetUp() override {
        LinkWindowTest::SetUp();
        RegisterOnlineForms();
        StartFrame();
        if (HasFatalFailure()) return;
        InstallLadder(frame_.get());
        InstallProgramTransfer(frame_.get());
        InstallOnline(frame_.get());
        SetModelFamily(1);
        SetProgramCapacity(3);
        gQel.CapacityIndex = 3;
        PutSmallProgram();
        gQel.ProgramPresent = 1;
        gQel.Modified = 0;
    }
    void TearDown() override {
        SetModelFamily(0);
        LinkWindowTest::TearDown();
    }
    // No job runs, the link may send and every message of the link is shown.
    static bool Settled() {
        return PumpUntil([] { return _TransData->JobNo == 0 && _TransData->MaySend && !_TransData->MessagesPending(); });
    }
    bool Shown(int id) const { return messages_.WasShown(gMsgTable.Get(id)); }
    static std::string Panel(QStatusBar* bar) { return bar->currentMessage().toStdString(); }
    static std::string PanelOf(int id) { return id == kNothingShown ? std::string() : gMsgTable.Get(id); }

    // The PLC as the row needs it: family, and the password it holds (none
    // when empty), locked or open.
    void Plc(int family, const std::string& password, bool locked) {
        emu_.Configure(family, family == 0 ? 1 : 3, 90);
        emu_.S.password.reset();
        if (family != 0 && !password.empty()) emu_.S.password = password;
        const std::string p = family == 0 ? password + std::string(4 - password.size(), '\0') : std::string(4, '\0');
        emu_.S.regs[PlcEmulator::kD1013] = static_cast<std::uint16_t>(std::uint8_t(p[0]) << 8 | std::uint8_t(p[1]));
        emu_.S.regs[PlcEmulator::kD1013 + 1] = static_cast<std::uint16_t>(std::uint8_t(p[2]) << 8 | std::uint8_t(p[3]));
        emu_.S.coils[PlcEmulator::kM1069] = locked ? 1 : 0;
    }
    void Card(const std::string& password) {
        emu_.Configure(1, 3, 90);
        emu_.S.cardPassword.reset();
        if (!password.empty()) emu_.S.cardPassword = password;
    }

    // The card dialog from the PLC menu, on its program page; the status
    // is asked as it opens.
    void OpenCard() {
        ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw"));
        ASSERT_TRUE(Settled());
    }
    // Write (a password typed twice) or read (the password typed) from the
    // card, Yes to the card's question.
    void CardProgram(bool write, const std::string& password) {
        QTest::mouseClick(write ? _MemCardDlg->WriteRdo : _MemCardDlg->ReadRdo, Qt::LeftButton);
        ASSERT_TRUE(Settled());
        QTest::keyClicks(_MemCardDlg->Pwd_Txt, QString::fromStdString(password));
        if (write) QTest::keyClicks(_MemCardDlg->Confirm_Txt, QString::fromStdString(password));
        messages_.QueueAnswer(qel::Answer::Yes);
        ASSERT_TRUE(_MemCardDlg->OkBtnClick());
        ASSERT_TRUE(Settled());
    }
    // The password dialog from the PLC menu, once it knows the PLC's state.
    void OpenPassword() {
        ASSERT_TRUE(frame_->RunCommand("MmPassWd"));
        ASSERT_TRUE(Settled());
    }
    // Typed into the dialog's edits (the confirmation only while it shows), then OK.
    void PasswordOk(const std::string& password, const std::vector<qel::Answer>& answers = {}) {
        for (qel::Answer a : answers) messages_.QueueAnswer(a);
        QTest::keyClicks(_PwdDlg->Password, QString::fromStdString(password));
        if (!_PwdDlg->Confirm_Txt->isHidden())
            QTest::keyClicks(_PwdDlg->Confirm_Txt, QString::fromStdString(password));
        QTest::mouseClick(_PwdDlg->OKBtn, Qt::LeftButton);
        ASSERT_TRUE(Settled());
    }
    bool PlcLocked() const { return emu_.S.coils[PlcEmulator::kM1069] != 0; }
    // A password typed into both edits of a dialog, then copied as the
    // keyboard does: the edits show dots and the clipboard does not get it.
    static void TypedMaskedAndNotCopied(QLineEdit* password, QLineEdit* confirm, const std::string& typed) {
        QApplication::clipboard()->setText("nothing copied");
        for (QLineEdit* e : {password, confirm}) {
            EXPECT_EQ(e->echoMode(), QLineEdit::Password);
            QTest::keyClicks(e, QString::fromStdString(typed));
            e->selectAll();
            QTest::keyClick(e, Qt::Key_C, Qt::ControlModifier);
            EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "nothing copied");
        }
    }
    // The device monitor from the PLC menu with `count` rows from `device`
    // typed into it; it runs until a message stops it.
    void MonitorUntilStopped(const QString& device, const QString& count) {
        ASSERT_TRUE(frame_->RunCommand("MmMonitorDev"));
        ASSERT_TRUE(_DevMoniDlg);
        _DevMoniDlg->DevGrid->setFocus();
        QTest::keyClicks(_DevMoniDlg->DevGrid, device.left(1));
        ASSERT_TRUE(_MoniInput && _MoniInput->isVisible());
        QTest::keyClicks(_MoniInput->DevInput, device.mid(1));
        _MoniInput->DevNumber->setText(count);
        QTest::mouseClick(_MoniInput->BtnOk, Qt::LeftButton);
        ASSERT_TRUE(PumpUntil([this] { return !messages_.Shown().empty() && _TransData->MonitorClients.empty(); }));
        if (_DevMoniDlg) { ASSERT_TRUE(CloseWindow(_DevMoniDlg)); }
    }
    // The ladder monitor from the PLC menu on a program of these rungs, the
    // whole of it on screen; it runs until a message stops it.
    void LadderMonitorUntilStopped(std::initializer_list<const char*> program) {
        PutProgram(program);
        gQel.ProgramPresent = 1;
        gQel.Modified = 0;
        ASSERT_EQ(ConvertCodeToLadder(), 0);
        frame_->resize(1600, 900);
        frame_->show();
        ASSERT_TRUE(frame_->RunCommand("MmMonitorLad"));
        ASSERT_TRUE(PumpUntil([this] { return !messages_.Shown().empty() && !_TransData->Monitoring(); }));
        if (frame_->BnMonitorLad->isChecked()) { ASSERT_TRUE(frame_->RunCommand("MmMonitorLad")); }
    }
};

}  // namespace

TEST_F(ProtectionShownTest, PasswordsNeverShownAndTheProtectionShownIsTheDevices) {
    using A = qel::Answer;
    const std::string secret = kSecret;
    // A reply of the card's password request echoing the password, garbled.
    std::string garbledEcho = qel::test::emu::Frame({1, 100, 1, 16, 4, 'Q', 'w', '7', 'z'});
    garbledEcho[garbledEcho.size() - 3] ^= 1;
    auto every = [](FaultAction a, int fn, int sub, int param = 0) {
        return FaultRule{.action = a, .function = fn, .subCode = sub, .times = -1, .param = param};
    };
    const FaultRule d1013Garbled{.action = FaultAction::BadLrc, .function = 3, .addrLo = PlcEmulator::kD1013,
                                 .addrHi = PlcEmulator::kD1013, .times = -1};
    const FaultRule d1013WriteGarbled{.action = FaultAction::BadLrc, .function = 16, .addrLo = PlcEmulator::kD1013,
                                      .addrHi = PlcEmulator::kD1013, .times = -1};
    FaultRule echoGarbled = every(FaultAction::Raw, 100, 16);
    echoGarbled.text = garbledEcho;

    // The word values of the block monitor (model 90), garbled every time.
    const FaultRule wordValuesGarbled{.action = FaultAction::BadLrc, .function = 3, .addrLo = 16784,
                                      .addrHi = 16784 + 199, .times = -1};

    enum Which { kCardPanel, kPlcPanel, kNoPanel };
    struct Row {
        const char* path;
        std::function<void()> prepare;  // the devices and the faults
        std::function<void()> act;      // the user's steps
        int message;                    // a message the path shows (-1: none asked for)
        Which panel;
        int shown;                      // the panel afterwards (kNothingShown: empty)
        int enterMode;                  // the password dialog's mode afterwards (-1: not known)
    };
    const std::vector<Row> rows = {
        // --- the memory card -------------------------------------------------
        {"card program read: the answer carrying the card's password garbled every time",
         [&] { Card(secret); emu_.AddFault(every(FaultAction::BadLrc, 100, 19)); },
         [&] { OpenCard(); CardProgram(false, secret); }, lk::kMsgBadFrame, kCardPanel, lk::kMsgCardHasPassword, -1},
        {"card program read: the card's password request refused",
         [&] { Card(secret); emu_.AddFault(every(FaultAction::Fn100Error, 100, 19, 2)); },
         [&] { OpenCard(); CardProgram(false, secret); }, lk::kMsgCardError, kCardPanel, lk::kMsgCardHasPassword, -1},
        {"card program read: the card's password request never answered",
         [&] { Card(secret); emu_.AddFault(every(FaultAction::Drop, 100, 19)); },
         [&] { OpenCard(); CardProgram(false, secret); }, lk::kMsgTimeout, kCardPanel, lk::kMsgCardHasPassword, -1},
        {"card program write with a password: the card takes it",
         [&] { Card(""); },
         [&] {
             OpenCard();
             EXPECT_EQ(Panel(_MemCardDlg->CardMemStaBar), gMsgTable.Get(lk::kMsgCardNoPassword));
             CardProgram(true, secret);
             EXPECT_EQ(emu_.S.cardPassword, secret);
         },
         kWriteDone, kCardPanel, lk::kMsgCardHasPassword, -1},
        {"card program write with a password, the card then full: the password it took stays shown",
         [&] { Card(""); emu_.S.cardFull = true; },
         [&] {
             OpenCard();
             CardProgram(true, secret);
             emu_.S.cardFull = false;
         },
         lk::kMsgCardFull, kCardPanel, lk::kMsgCardHasPassword, -1},
        {"card program write with a password the card refuses (write-protected): nothing changes",
         [&] { Card(""); emu_.S.cardWriteProtected = true; },
         [&] {
             OpenCard();
             CardProgram(true, secret);
             emu_.S.cardWriteProtected = false;
             EXPECT_FALSE(emu_.S.cardPassword.has_value());
         },
         lk::kMsgCardWriteProtected, kCardPanel, lk::kMsgCardNoPassword, -1},
        {"card program write: the answer to the card's password (an echo of it) garbled every time",
         [&] { Card(""); emu_.AddFault(echoGarbled); },
         [&] { OpenCard(); CardProgram(true, secret); }, lk::kMsgBadFrame, kCardPanel, kNothingShown, -1},
        {"card program write: the card's password request never answered; asked again, the card tells",
         [&] { Card(""); emu_.AddFault({.action = FaultAction::Drop, .function = 100, .subCode = 16}); },
         [&] {
             OpenCard();
             CardProgram(true, secret);
             EXPECT_TRUE(Shown(lk::kMsgTimeout));
             EXPECT_EQ(Panel(_MemCardDlg->CardMemStaBar), "");
             // Asked again, the card tells.
             QTest::mouseClick(_MemCardDlg->WriteRdo, Qt::LeftButton);
             ASSERT_TRUE(Settled());
         },
         -1, kCardPanel, lk::kMsgCardHasPassword, -1},
        {"card program read with the card's protection not known: the card is asked first, then for its password",
         [&] { Card(""); emu_.AddFault({.action = FaultAction::Drop, .function = 100, .subCode = 16}); },
         [&] {
             OpenCard();
             CardProgram(true, secret);  // the card takes the password; its answer is lost
             _MemCardDlg->reject();
             // Opened again on the read page chosen before, the status is lost too.
             _MemCardDlg->ReadRdo->setChecked(true);
             emu_.AddFault({.action = FaultAction::Drop, .function = 100, .subCode = 15});
             OpenCard();
             EXPECT_EQ(Panel(_MemCardDlg->CardMemStaBar), "");
             emu_.ClearLog();
             QTest::keyClicks(_MemCardDlg->Pwd_Txt, QString::fromStdString(secret));
             messages_.QueueAnswer(qel::Answer::Yes);
             ASSERT_TRUE(_MemCardDlg->OkBtnClick());
             ASSERT_TRUE(Settled());
             std::vector<int> subCodes;
             for (const auto& t : emu_.Log())
                 if (t.bytes.size() > 3 && t.bytes[1] == 100 && subCodes.size() < 3) subCodes.push_back(t.bytes[3]);
             EXPECT_EQ(subCodes, (std::vector<int>{15, 19, 24}));
         },
         138, kCardPanel, lk::kMsgCardHasPassword, -1},
        {"card status read, another card with a password put in, its status asked on opening lost: a read asks the card first",
         [&] { Card(""); gQel.Modified = 0; },
         [&] {
             OpenCard();
             EXPECT_EQ(Panel(_MemCardDlg->CardMemStaBar), gMsgTable.Get(lk::kMsgCardNoPassword));
             _MemCardDlg->reject();
             emu_.S.cardPassword = secret;
             _MemCardDlg->ReadRdo->setChecked(true);
             emu_.AddFault({.action = FaultAction::Drop, .function = 100, .subCode = 15});
             OpenCard();
             EXPECT_TRUE(Shown(lk::kMsgTimeout));
             EXPECT_EQ(Panel(_MemCardDlg->CardMemStaBar), "");
             emu_.ClearLog();
             QTest::keyClicks(_MemCardDlg->Pwd_Txt, "abcd");
             messages_.QueueAnswer(qel::Answer::Yes);
             ASSERT_TRUE(_MemCardDlg->OkBtnClick());
             ASSERT_TRUE(Settled());
             // The card's program never left it.
             EXPECT_EQ(std::count_if(emu_.Log().begin(), emu_.Log().end(),
                                     [](const auto& t) { return t.bytes.size() > 3 && t.bytes[1] == 100 && t.bytes[3] == 24; }),
                       0);
         },
         lk::kMsgCardPasswordWrong, kCardPanel, lk::kMsgCardHasPassword, -1},
        {"card status read on the write page, the card taken out, then a write with a password: no protection shown for a missing card",
         [&] { Card(""); },
         [&] {
             _MemCardDlg->WriteRdo->setChecked(true);
             OpenCard();
             EXPECT_EQ(Panel(_MemCardDlg->CardMemStaBar), gMsgTable.Get(lk::kMsgCardNoPassword));
             emu_.S.cardPresent = false;
             QTest::keyClicks(_MemCardDlg->Pwd_Txt, QString::fromStdString(secret));
             QTest::keyClicks(_MemCardDlg->Confirm_Txt, QString::fromStdString(secret));
             messages_.QueueAnswer(qel::Answer::Yes);
             ASSERT_TRUE(_MemCardDlg->OkBtnClick());
             ASSERT_TRUE(Settled());
             emu_.S.cardPresent = true;
         },
         lk::kMsgCardMissing, kCardPanel, kNothingShown, -1},
        {"card status read, the card taken out, the read page chosen (the card asked again), then a read: no protection shown for a missing card",
         [&] { Card(""); gQel.Modified = 0; },
         [&] {
             OpenCard();
             emu_.S.cardPresent = false;
             CardProgram(false, "");
             emu_.S.cardPresent = true;
         },
         lk::kMsgCardMissing, kCardPanel, kNothingShown, -1},
        {"card dialog: a password typed, the dialog closed: nothing of it stays in the edits",
         [&] { Card(""); },
         [&] {
             _MemCardDlg->WriteRdo->setChecked(true);
             OpenCard();
             TypedMaskedAndNotCopied(_MemCardDlg->Pwd_Txt, _MemCardDlg->Confirm_Txt, secret);
             _MemCardDlg->reject();
             EXPECT_EQ(_MemCardDlg->Pwd_Txt->text().toStdString(), "");
             EXPECT_EQ(_MemCardDlg->Confirm_Txt->text().toStdString(), "");
         },
         -1, kCardPanel, lk::kMsgCardNoPassword, -1},
        // --- the PLC, family 0: D1013-D1014 and M1069 ------------------------
        {"family 0: a new password set",
         [&] { Plc(0, "", false); },
         [&] { OpenPassword(); PasswordOk(secret); }, -1, kPlcPanel, lk::kMsgPwdLocked, 1},
        {"family 0: the password entered, then cleared",
         [&] { Plc(0, secret, true); },
         [&] {
             OpenPassword();
             PasswordOk(secret);
             EXPECT_FALSE(PlcLocked());
             PasswordOk("    ", {A::Yes});
         },
         lk::kMsgPwdCleared, kPlcPanel, lk::kMsgPwdNone, 0},
        {"family 0: the PLC's password read garbled every time",
         [&] { Plc(0, secret, true); emu_.AddFault(d1013Garbled); },
         [&] { OpenPassword(); }, lk::kMsgBadFrame, kPlcPanel, lk::kMsgPwdLocked, -1},
        {"family 0: the PLC's password read refused",
         [&] {
             Plc(0, secret, true);
             FaultRule r = d1013Garbled;
             r.action = FaultAction::Exception;
             r.param = 2;
             emu_.AddFault(r);
         },
         [&] { OpenPassword(); }, lk::kMsgExceptionBase + 2, kPlcPanel, lk::kMsgPwdLocked, -1},
        {"family 0: the answer to a new password garbled every time",
         [&] { Plc(0, "", false); emu_.AddFault(d1013WriteGarbled); },
         [&] { OpenPassword(); PasswordOk(secret); }, lk::kMsgBadFrame, kPlcPanel, kNothingShown, -1},
        {"family 0: the device monitor on D1013, its word values garbled every time",
         [&] { Plc(0, secret, true); emu_.AddFault(wordValuesGarbled); },
         [&] { MonitorUntilStopped("D1013", "1"); }, lk::kMsgBadFrame, kNoPanel, kNothingShown, -1},
        {"family 0: the device monitor on D1012 (its word value carries D1013), garbled every time",
         [&] { Plc(0, secret, true); emu_.AddFault(wordValuesGarbled); },
         [&] { MonitorUntilStopped("D1012", "1"); }, lk::kMsgBadFrame, kNoPanel, kNothingShown, -1},
        {"family 0: the ladder monitor on a rung reading D1013, its word values garbled every time",
         [&] { Plc(0, secret, true); emu_.AddFault(wordValuesGarbled); },
         [&] { LadderMonitorUntilStopped({"LD M0", "MOV D1013 D0", "END"}); }, lk::kMsgBadFrame, kNoPanel,
         kNothingShown, -1},
        {"password dialog: a new password typed, the dialog closed: nothing of it stays in the edits",
         [&] { Plc(0, "", false); },
         [&] {
             OpenPassword();
             TypedMaskedAndNotCopied(_PwdDlg->Password, _PwdDlg->Confirm_Txt, secret);
             _PwdDlg->close();
             EXPECT_EQ(_PwdDlg->Password->text().toStdString(), "");
             EXPECT_EQ(_PwdDlg->Confirm_Txt->text().toStdString(), "");
             EXPECT_FALSE(PlcLocked());
         },
         -1, kPlcPanel, lk::kMsgPwdNone, 0},
        // --- the PLC, families 1 and 2: function 100 -------------------------
        {"family 1: a new password set, not read back; the next OK enters it",
         [&] { Plc(1, "", false); },
         [&] {
             OpenPassword();
             PasswordOk(secret, {A::No});
             EXPECT_TRUE(PlcLocked());
             EXPECT_EQ(Panel(_PwdDlg->StatusBar), gMsgTable.Get(lk::kMsgPwdLocked));
             EXPECT_TRUE(_PwdDlg->Confirm_Txt->isHidden());
             PasswordOk(secret);
             EXPECT_FALSE(Shown(lk::kMsgPwdRefused));
             EXPECT_FALSE(PlcLocked());
         },
         lk::kMsgPwdNone, kPlcPanel, lk::kMsgPwdNone, 0},
        {"family 2: a new password set, not read back",
         [&] { Plc(2, "", false); },
         [&] { OpenPassword(); PasswordOk(secret, {A::No}); }, -1, kPlcPanel, lk::kMsgPwdLocked, 1},
        {"family 2: a new password set and read back",
         [&] { Plc(2, "", false); },
         [&] { OpenPassword(); PasswordOk(secret, {A::Yes}); }, lk::kMsgPwdLocked, kPlcPanel, lk::kMsgPwdLocked, 1},
        {"family 1: the password entered, then cleared, not read back",
         [&] { Plc(1, secret, true); },
         [&] {
             OpenPassword();
             PasswordOk(secret);
             PasswordOk("    ", {A::No});
             EXPECT_FALSE(emu_.S.password.has_value());
         },
         lk::kMsgPwdNone, kPlcPanel, lk::kMsgPwdNone, 0},
        {"family 2: the password entered, then cleared and read back",
         [&] { Plc(2, secret, true); },
         [&] { OpenPassword(); PasswordOk(secret); PasswordOk("    ", {A::Yes}); }, lk::kMsgPwdNone, kPlcPanel,
         lk::kMsgPwdNone, 0},
        {"family 1: the answer to a new password garbled every time; the next OK asks the PLC",
         [&] { Plc(1, "", false); emu_.AddFault(every(FaultAction::BadLrc, 100, 11)); },
         [&] {
             OpenPassword();
             PasswordOk(secret);
             EXPECT_TRUE(Shown(lk::kMsgBadFrame));
             EXPECT_EQ(Panel(_PwdDlg->StatusBar), "");
             EXPECT_FALSE(_PwdDlg->Job().Known);
             emu_.ClearFaults();
             emu_.ClearLog();
             PasswordOk(secret);  // asks the PLC; sends no password
             for (const auto& t : emu_.Log()) EXPECT_FALSE(t.bytes.size() > 1 && t.bytes[1] == 100) << t.request;
             EXPECT_EQ(emu_.S.password, secret);
         },
         -1, kPlcPanel, lk::kMsgPwdLocked, 1},
        {"family 1: the answer to the password entered garbled every time",
         [&] { Plc(1, secret, true); emu_.AddFault(every(FaultAction::BadLrc, 100, 13)); },
         [&] { OpenPassword(); PasswordOk(secret); }, lk::kMsgBadFrame, kPlcPanel, kNothingShown, -1},
        {"family 2: the password entered, its answer lost",
         [&] { Plc(2, secret, true); emu_.AddFault(every(FaultAction::Drop, 100, 13)); },
         [&] { OpenPassword(); PasswordOk(secret); }, lk::kMsgTimeout, kPlcPanel, kNothingShown, -1},
        {"family 2: the password entered refused",
         [&] { Plc(2, secret, true); emu_.AddFault(every(FaultAction::Fn100Error, 100, 13, 5)); },
         [&] { OpenPassword(); PasswordOk(secret); }, lk::kMsgPwdRefused, kPlcPanel, lk::kMsgPwdLocked, 1},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        emu_.ClearFaults();
        messages_.Clear();
        row.prepare();
        row.act();
        ASSERT_TRUE(Settled());
        if (row.message >= 0) { EXPECT_TRUE(Shown(row.message)) << ::testing::PrintToString(messages_.Shown()); }
        if (row.panel != kNoPanel) {
            QStatusBar* panel = row.panel == kCardPanel ? _MemCardDlg->CardMemStaBar : _PwdDlg->StatusBar;
            EXPECT_EQ(Panel(panel), PanelOf(row.shown));
        }
        if (row.enterMode >= 0) {
            EXPECT_EQ(_PwdDlg->Job().EnterMode, row.enterMode);
            EXPECT_EQ(_PwdDlg->Confirm_Txt->isHidden(), row.enterMode == 1);
        }
        // No message or question shows the password, as text or as a frame's hex.
        std::vector<std::string> said = messages_.Shown();
        const std::vector<std::string> asked = messages_.Asked();
        said.insert(said.end(), asked.begin(), asked.end());
        for (const std::string& text : said) {
            EXPECT_EQ(text.find(secret), std::string::npos) << text;
            for (const char* word : kSecretWords) EXPECT_EQ(text.find(word), std::string::npos) << text;
        }
        EXPECT_FALSE(messages_.UnscriptedQuestion()) << ::testing::PrintToString(messages_.Asked());
        if (_MemCardDlg) _MemCardDlg->reject();
        if (_PwdDlg) _PwdDlg->close();
        ASSERT_TRUE(Settled());
    }

    // Nor does any file the program wrote (settings, logs, the install folder).
    ASSERT_TRUE(WriteSettings());
    frame_.reset();
    for (const auto& dir : {home_, projects_}) {
        if (!std::filesystem::exists(dir)) continue;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
            if (!e.is_regular_file()) continue;
            std::ifstream in(e.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(bytes.find(secret), std::string::npos) << e.path();
            EXPECT_EQ(bytes.find(kSecretHex), std::string::npos) << e.path();
        }
    }
}
