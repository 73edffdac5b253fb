// The PLC password against the emulator over a pseudo-terminal, for a family
// 0 PLC (standard requests on D1013-D1014, M1069, D1141) and for the other
// families (function 100): set, a program read refused while locked and
// allowed once the password is entered, wrong passwords refused without a
// change, change and clear.
#include "tests/link/LinkTestSupport.h"
#include "core/ProgramImage.h"
#include "link/jobs/Plcpassword.h"
#include "link/jobs/Programtransfer.h"
#include "project/Msgtable.h"

using namespace qel::test;
using namespace qel::link;

namespace {

class PwdHost : public TPasswordHost {
public:
    void StatusText(int msgId) override { status.push_back(msgId); }
    void PrepareShow() override { ++prepared; }
    bool Ask(int msgId) override {
        asked.push_back(msgId);
        return answer;
    }
    void Finished() override { ++finished; }
    std::vector<int> status, asked;
    int prepared = 0, finished = 0;
    bool answer = true;
};

class PasswordTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        link->SetComTmrIntervalMs(0);
        pwd = std::make_unique<TPlcPassword>(*link, host);
        transfer = std::make_unique<TProgramTransfer>(*link, transferHost);
    }
    // Runs the query; the messages shown meanwhile are returned.
    std::vector<int> Query() {
        frame.msgs.clear();
        EXPECT_TRUE(pwd->Query());
        EXPECT_TRUE(Idle());
        return frame.Ids();
    }
    // OK with the two texts: the local refusal, or the messages of the
    // dialogue with the PLC.
    std::vector<int> Apply(const std::string& p, const std::string& confirm = {}) {
        frame.msgs.clear();
        host.asked.clear();
        const int r = pwd->Apply(p, confirm);
        if (r == TPlcPassword::kStarted) EXPECT_TRUE(Idle());
        return frame.Ids();
    }
    // A program read: message 58 while locked, 87 once it is open.
    int ReadProgram() {
        SetModelFamily(emu.S.familyClass);
        SetProgramCapacity(emu.S.capacityCode);
        gQel.CapacityIndex = emu.S.capacityCode;
        gQel.Modified = 0;
        frame.msgs.clear();
        EXPECT_TRUE(transfer->StartRead(true));
        EXPECT_TRUE(Idle());
        return frame.msgs.empty() ? -1 : frame.msgs.back().id;
    }
    std::string Family0Password() const {
        const auto w0 = emu.S.regs[PlcEmulator::kD1013], w1 = emu.S.regs[PlcEmulator::kD1013 + 1];
        return {char(w0 >> 8), char(w0 & 0xFF), char(w1 >> 8), char(w1 & 0xFF)};
    }
    bool Locked() const { return emu.S.coils[PlcEmulator::kM1069] != 0; }

    TestProject project_{"qel-password-"};
    PwdHost host;
    TTransferHost transferHost;
    std::unique_ptr<TPlcPassword> pwd;
    std::unique_ptr<TProgramTransfer> transfer;
};

}  // namespace

TEST_F(PasswordTest, EveryFamilySetsLocksRefusesWrongPasswordsUnlocksChangesAndClears) {
    // The messages in boxes and the questions of each step, by family.
    struct Steps {
        std::vector<int> set, unlock, clear, setAsked, clearAsked;
    };
    // Family 0: the lock state shows in the status panel only; clearing is
    // asked first and reported once the PLC has done it.
    const Steps standard{{}, {}, {kMsgPwdCleared}, {}, {kMsgPwdClearQuestion}};
    // Function 100: asked before the lock state is read back, which then
    // shows in a box as well.
    const Steps extended{{kMsgPwdLocked}, {kMsgPwdNone}, {kMsgPwdNone}, {kMsgPwdReadBackQuestion},
                         {kMsgPwdReadBackQuestion}};
    for (int family : {0, 1, 2}) {
        SCOPED_TRACE("family " + std::to_string(family));
        const Steps& k = family == 0 ? standard : extended;
        emu.Configure(family, 1, 90);
        emu.S.program.assign(emu.S.program.size(), 0xFF);
        emu.S.program[0] = 0x0F;  // END
        emu.S.program[1] = 0x00;
        host = PwdHost{};
        auto password = [&] { return family == 0 ? Family0Password() : emu.S.password.value_or(""); };
        auto lockedWith = [&] { return std::make_tuple(Locked(), password(), pwd->EnterMode); };

        // A PLC without a password: the dialog asks for a new one.
        EXPECT_TRUE(Query().empty());
        EXPECT_EQ(pwd->EnterMode, 0);
        EXPECT_EQ(host.status.back(), kMsgPwdNone);

        // Typing errors are refused before anything is sent.
        emu.ClearLog();
        EXPECT_EQ(Apply("AB1", "AB1"), std::vector<int>{kMsgPwdLength});
        EXPECT_EQ(Apply("AB12", "AB1"), std::vector<int>{kMsgPwdConfirm});
        EXPECT_EQ(Apply("AB12", "AB13"), std::vector<int>{kMsgPwdWrong});
        EXPECT_EQ(Apply("Ab12", "AB12"), std::vector<int>{kMsgPwdMismatch});  // same ignoring case only
        EXPECT_EQ(Apply("A-12", "A-12"), std::vector<int>{kMsgBadCharacter});
        EXPECT_EQ(Apply("A\xC3\xA9" "12", "A\xC3\xA9" "12"), std::vector<int>{kMsgBadCharacter});  // 4 characters
        EXPECT_EQ(emu.RequestCount(), 0u);
        EXPECT_FALSE(Locked());

        // Set: the PLC is locked and the dialog now asks for the password.
        EXPECT_EQ(Apply("Ab12", "Ab12"), k.set);
        EXPECT_EQ(host.asked, k.setAsked);
        EXPECT_EQ(lockedWith(), std::make_tuple(true, "Ab12", 1));
        EXPECT_EQ(host.status.back(), kMsgPwdLocked);

        // The program cannot be read while the PLC is locked.
        EXPECT_EQ(ReadProgram(), kMsgPasswordSet);

        // A wrong password three ways: refused, nothing changes.
        EXPECT_TRUE(Query().empty());
        EXPECT_EQ(pwd->EnterMode, 1);
        for (const std::string wrong : {"Ab123", "Zz99", ""}) {
            const std::vector<int> ids = Apply(wrong);
            EXPECT_EQ(ids, std::vector<int>{wrong.size() == 4 ? kMsgPwdWrong : kMsgPwdLength}) << wrong;
            EXPECT_EQ(lockedWith(), std::make_tuple(true, "Ab12", 1));
        }
        // Four spaces do not clear a locked PLC: they are a wrong password.
        EXPECT_EQ(Apply("    "), std::vector<int>{kMsgPwdWrong});
        EXPECT_TRUE(host.asked.empty());
        EXPECT_TRUE(Locked());

        // The right one (family 0 compares ignoring case) opens the PLC.
        EXPECT_EQ(Apply(family == 0 ? "AB12" : "Ab12"), k.unlock);
        EXPECT_EQ(host.status.back(), kMsgPwdNone);
        EXPECT_FALSE(Locked());
        EXPECT_EQ(pwd->EnterMode, 0);
        EXPECT_EQ(ReadProgram(), kMsgReadDone);

        // Change it, enter the new one, then clear it. No to the question
        // sends nothing more (family 0: nothing at all).
        EXPECT_TRUE(Query().empty());
        EXPECT_EQ(Apply("xy34", "xy34"), k.set);
        EXPECT_EQ(password(), "xy34");
        EXPECT_EQ(Apply("xy34"), k.unlock);
        host.answer = false;
        EXPECT_TRUE(Apply("    ", "    ").empty());
        EXPECT_EQ(host.asked, k.clearAsked);
        if (family == 0) EXPECT_EQ(password(), "xy34");
        host.answer = true;
        host.status.clear();
        EXPECT_EQ(Apply("    ", "    "), k.clear);
        EXPECT_EQ(host.asked, k.clearAsked);
        EXPECT_EQ(host.status.front(), family == 0 ? kMsgPwdClearing : kMsgPwdNone);
        EXPECT_EQ(host.status.back(), kMsgPwdNone);
        EXPECT_FALSE(Locked());
        EXPECT_FALSE(family != 0 && emu.S.password.has_value());
        if (family == 0) EXPECT_EQ(Family0Password(), std::string(4, '\0'));
        EXPECT_EQ(pwd->EnterMode, 0);
        EXPECT_TRUE(Query().empty());
        EXPECT_EQ(pwd->EnterMode, 0);
        EXPECT_FALSE(port->IsOpen());

        // No message ever carried the password.
        for (const auto& m : frame.msgs) EXPECT_TRUE(m.detail.empty());
    }
}

TEST_F(PasswordTest, PlcRefusalsAndOldModels) {
    // A family 0 PLC that cannot hold a password.
    emu.Configure(0, 0, 30);
    EXPECT_EQ(Query(), std::vector<int>{kMsgPwdUnsupported});
    EXPECT_FALSE(pwd->Known);

    // Clearing while the PLC keeps running (its run switch holds it).
    emu.Configure(0, 0, 90);
    EXPECT_TRUE(Query().empty());
    EXPECT_TRUE(Apply("qq11", "qq11").empty());
    EXPECT_TRUE(Apply("qq11").empty());
    emu.AddFault({.action = FaultAction::Raw, .function = 1, .addrLo = PlcEmulator::kM1000, .addrHi = PlcEmulator::kM1000,
                  .text = emu::Frame({1, 1, 1, 1})});
    EXPECT_EQ(Apply("    ", "    "), std::vector<int>{kMsgPwdPlcRuns});
    EXPECT_EQ(Family0Password(), "qq11");

    // A family 1 PLC locked again behind the dialog's back refuses a new
    // password: nothing changes.
    emu.Configure(1, 3, 90);
    emu.ClearFaults();
    EXPECT_TRUE(Query().empty());
    emu.S.password = "abcd";
    emu.S.coils[PlcEmulator::kM1069] = 1;
    EXPECT_EQ(Apply("pq12", "pq12"), std::vector<int>{kMsgPwdRefused});
    EXPECT_EQ(emu.S.password, "abcd");
    EXPECT_TRUE(Locked());

    // A lost reply ends the dialogue with the link's message.
    EXPECT_TRUE(Query().empty());
    emu.AddFault({.action = FaultAction::Drop, .function = 100, .times = -1});
    EXPECT_EQ(Apply("abcd"), std::vector<int>{kMsgTimeout});
    EXPECT_EQ(pwd->EnterMode, 1);
    EXPECT_GE(host.finished, 1);
    EXPECT_FALSE(pwd->Running());

    // Garbled replies to the password itself: the bad-frame message shows no
    // frame text, which would carry the password.
    emu.ClearFaults();
    emu.S.password = "abcd";
    emu.S.coils[PlcEmulator::kM1069] = 1;
    EXPECT_TRUE(Query().empty());
    ASSERT_EQ(pwd->EnterMode, 1);
    emu.AddFault({.action = FaultAction::BadHexDigit, .function = 100, .times = -1});
    EXPECT_EQ(Apply("abcd"), std::vector<int>{kMsgBadFrame});
    ASSERT_EQ(frame.msgs.size(), 1u);
    EXPECT_TRUE(frame.msgs[0].detail.empty()) << frame.msgs[0].detail;
}
