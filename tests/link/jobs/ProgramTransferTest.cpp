// Program write, read and verify over a pseudo-terminal against the PLC
// emulator: full programs of every capacity go out and come back into a new
// project whose ladder compiles to the same code; each refusal and each fault
// in the middle of a transfer ends the job with its message and leaves the
// project as it was.
#include <tuple>

#include "core/ProgramImage.h"
#include "ladder/model/Laddercompile.h"
#include "link/jobs/Plcpassword.h"
#include "link/jobs/Programtransfer.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "tests/ladder/model/IlProgram.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/support/Hppmaster.h"
#include "tests/support/ScriptedMessages.h"

using namespace qel::test;
using namespace qel::link;

namespace {

// A program that fills the capacity to its last step: one-row networks of a
// load, a contact and an output (and up to two of a load and an output to
// come out even), then END.
std::vector<std::uint8_t> FullProgram(int capacityIndex) {
    const std::uint32_t capacity = kProgramCapacities[static_cast<std::size_t>(capacityIndex)];
    std::uint32_t room = capacity - 2;  // END
    int shortOnes = static_cast<int>((room % 6) / 2 == 2 ? 1 : (room % 6) / 2 == 1 ? 2 : 0);
    std::vector<std::string> lines;
    for (int k = 0; room > 0; ++k) {
        const std::string x = std::to_string(k % 8 + 10 * (k / 8 % 8));
        const std::string y = std::to_string(k % 8 + 10 * (k / 64 % 8));
        lines.push_back("LD X" + x);
        if (shortOnes > 0) {
            --shortOnes;
            room -= 4;
        } else {
            lines.push_back((k % 3 ? "ANI M" : "AND M") + std::to_string(k % 1000));
            room -= 6;
        }
        lines.push_back("OUT Y" + y);
    }
    lines.push_back("END");
    std::vector<std::uint8_t> image = AssembleLines(lines);
    EXPECT_EQ(image.size(), capacity);
    image.resize(capacity, 0xFF);
    return image;
}

std::vector<std::uint8_t> Image() { return {gProgram, gProgram + gProgramCapacity}; }

// What a refused or failed transfer leaves as it was.
auto Project() {
    return std::make_tuple(Image(), gQel.Family, gQel.CapacityIndex, gQel.Modified, gQel.ProgramFileName,
                           gLadderRowCount);
}

// The project the test starts from.
void SetProject(int family, int capacityIndex, const std::vector<std::uint8_t>& image) {
    SetModelFamily(family);
    SetProgramCapacity(capacityIndex);
    gQel.CapacityIndex = capacityIndex;
    std::memcpy(gProgram, image.data(), std::min<std::size_t>(image.size(), gProgramCapacity));
    LocateProgramEnd();
    gQel.ProgramPresent = 1;
    gQel.Modified = 0;
    gQel.Named = 1;
}

class TransferHost : public TTransferHost {
public:
    void StartProgress(const std::string&, int maximum, int) override { this->maximum = maximum; }
    void SetProgress(int p) override { position = p; }
    void CloseLinkWindow() override { ++linkWindowClosed; }
    void BeforeProgramReplaced() override { ++replaced; }
    void AfterProgramReplaced(bool familyChanged) override { familyChange = familyChanged; }
    int maximum = -1, position = -1, linkWindowClosed = 0, replaced = 0;
    bool familyChange = false;
};

class ProgramTransferTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        std::vector<std::string> texts;
        for (int id = 0; id < 250; ++id) texts.push_back("message " + std::to_string(id));
        gMsgTable.Assign(texts);
        link->SetComTmrIntervalMs(0);  // as fast as the line goes
        link->SetTickMs(3);            // time-outs of 540 ms: a busy machine is no dead PLC
        transfer = std::make_unique<TProgramTransfer>(*link, host);
    }
    // The requests' function and address, in order.
    std::vector<std::pair<int, int>> Calls() const {
        std::vector<std::pair<int, int>> calls;
        for (const auto& t : emu.Log()) {
            const auto& b = t.bytes;
            calls.emplace_back(b.size() > 1 ? b[1] : -1, b.size() >= 4 && b[1] != 17 ? (b[2] << 8 | b[3]) : -1);
        }
        return calls;
    }
    int BlockRequests(int function) const {
        int n = 0;
        for (auto [fn, addr] : Calls()) n += fn == function && addr >= 0x2000 && addr < 0x7000;
        return n;
    }

    TestProject project_{"qel-transfer-"};
    TransferHost host;
    std::unique_ptr<TProgramTransfer> transfer;
    ScriptedMessages boxes;
};

TEST_F(ProgramTransferTest, FullProgramsOfEveryCapacityGoOutComeBackAndVerify) {
    const int families[4] = {0, 1, 2, 1};
    for (int cap = 0; cap < 4; ++cap) {
        SCOPED_TRACE("capacity index " + std::to_string(cap));
        const std::uint32_t capacity = kProgramCapacities[static_cast<std::size_t>(cap)];
        const std::vector<std::uint8_t> image = FullProgram(cap);
        emu.Configure(families[cap], cap, 90);
        SetProject(families[cap], cap, image);
        const int steps = static_cast<int>(capacity / 2);
        EXPECT_EQ(Ran([&] { return transfer->StartWrite(0, steps); }), std::vector<int>{kMsgWriteOk});
        EXPECT_EQ(emu.S.program, image);  // exactly the image, nothing more
        const auto calls = Calls();
        ASSERT_GE(calls.size(), 7u);
        EXPECT_EQ(calls[0].first, 17);
        EXPECT_EQ(calls[1], std::make_pair(1, 3117));   // password flag M1069
        EXPECT_EQ(calls[2], std::make_pair(3, 5097));   // type word D1001
        EXPECT_EQ(calls[3], std::make_pair(3, 5215));   // model word D1119
        EXPECT_EQ(BlockRequests(16), static_cast<int>(capacity / 32));
        EXPECT_EQ(calls[calls.size() - 2], std::make_pair(5, 3121));  // M1073 ON
        EXPECT_EQ(calls.back(), std::make_pair(3, 5100));             // result D1004
        EXPECT_EQ(host.maximum, static_cast<int>(capacity));
        EXPECT_EQ(host.position, static_cast<int>(capacity));
        EXPECT_FALSE(port->IsOpen());  // idle again

        // Back into a new project of another family and capacity.
        SetProject(cap == 0 ? 2 : 0, cap == 0 ? 1 : 0, FullProgram(0));
        gLadderRowCount = 0;
        EXPECT_EQ(Ran([&] { return transfer->StartRead(false); }), std::vector<int>{kMsgReadDone});
        EXPECT_EQ(Image(), image);
        EXPECT_EQ(std::tie(gQel.Family, gQel.CapacityIndex, gQel.Modified, gQel.Named, gQel.ProgramOk),
                  std::make_tuple(families[cap], cap, 1, 0, 1));
        EXPECT_EQ(host.replaced, 2 * cap + 1);
        EXPECT_GT(gLadderRowCount, 0);

        // The ladder converted from the code compiles back to that code.
        ASSERT_EQ(CompileProgramLadder(), 0) << CompileFailureText();
        EXPECT_EQ(Image(), image);

        EXPECT_EQ(Ran([&] { return transfer->StartVerify(); }), std::vector<int>{kMsgVerifyEqual});
        host.replaced++;
    }
}

// A partial write never crosses the line between the program windows and
// touches the PLC's memory only in its range; a partial read stops at the
// block holding END, taking no operand for END.
TEST_F(ProgramTransferTest, PartialRangesKeepToTheirBounds) {
    emu.Configure(1, 3, 90);
    const std::vector<std::uint8_t> image = FullProgram(3);
    SetProject(1, 3, image);
    EXPECT_EQ(Ran([&] { return transfer->StartWrite(8180, 8203); }), std::vector<int>{kMsgWriteOk});
    std::vector<std::pair<int, int>> blocks;  // register, count
    for (const auto& t : emu.Log())
        if (t.bytes[1] == 16) blocks.emplace_back(t.bytes[2] << 8 | t.bytes[3], t.bytes[4] << 8 | t.bytes[5]);
    EXPECT_EQ(blocks, (std::vector<std::pair<int, int>>{{0x2000 + 8180, 12}, {0x5000, 11}}));
    for (std::uint32_t i = 0; i < image.size(); ++i) {
        const bool inRange = i >= 2 * 8180 && i < 2 * 8203;
        ASSERT_EQ(emu.S.program[i], inRange ? image[i] : 0xFF) << i;
    }

    // A program whose operand holds the word 0x000F before END.
    std::vector<std::uint8_t> small = AssembleLines({"LD X0", "MOV K15 D0", "OUT Y0"});
    small.resize(70, 0xFF);  // END in the third block, garbage after it
    const std::vector<std::uint8_t> end = AssembleLines({"END"});
    std::memcpy(small.data() + 66, end.data(), 2);
    small.resize(96, 0x11);
    emu.Configure(1, 0, 90);
    std::copy(small.begin(), small.end(), emu.S.program.begin());
    EXPECT_EQ(Ran([&] { return transfer->StartRead(true); }), std::vector<int>{kMsgReadDone});
    EXPECT_EQ(BlockRequests(3), 3);
    std::vector<std::uint8_t> want(small.begin(), small.begin() + 68);
    want.resize(3616, 0xFF);
    EXPECT_EQ(Image(), want);
}

// Each refusal shows its message, sends nothing after the check that failed
// and changes neither the PLC's memory nor the project.
TEST_F(ProgramTransferTest, RefusalsChangeNothing) {
    const std::vector<std::uint8_t> image = FullProgram(0);
    struct Case {
        const char* name;
        bool read;
        std::function<void(PlcEmulator&)> plc;
        std::function<bool(TProgramTransfer&, TTransData&)> start;
        int msg;
    };
    auto write = [](TProgramTransfer& t, TTransData&) { return t.StartWrite(0, 1808); };
    auto read = [](TProgramTransfer& t, TTransData&) { return t.StartRead(false); };
    const std::vector<Case> cases = {
        {"no program", false, {}, [](TProgramTransfer& t, TTransData&) {
             gQel.ProgramPresent = 0;
             return t.StartWrite(0, 1808);
         }, kMsgNothingToWrite},
        {"range past the image", false, {}, [](TProgramTransfer& t, TTransData&) { return t.StartWrite(10, 1809); },
         kMsgBadStepRange},
        {"empty range", false, {}, [](TProgramTransfer& t, TTransData&) { return t.StartWrite(10, 10); },
         kMsgBadStepRange},
        {"monitoring", false, {}, [](TProgramTransfer& t, TTransData& l) {
             l.MonitorClients.push_back("3");
             const bool ok = t.StartWrite(0, 1808);
             l.MonitorClients.clear();
             return ok;
         }, kMsgMonitoring},
        {"running", false, [](PlcEmulator& e) { e.S.running = true; }, write, kMsgPlcRunning},
        {"password", false, [](PlcEmulator& e) { e.S.coils[PlcEmulator::kM1069] = 1; }, write, kMsgPasswordSet},
        {"other capacity", false, [](PlcEmulator& e) { e.Configure(0, 1, 90); }, write, kMsgCapacityDiffers},
        {"other family", false, [](PlcEmulator& e) { e.Configure(2, 0, 90); }, write, kMsgFamilyDiffers},
        {"unknown type", false, [](PlcEmulator& e) { e.S.regs[PlcEmulator::kD1001] = 0x2000; }, write,
         kMsgUnknownPlcType},
        {"family class 3", false, [](PlcEmulator& e) { e.Configure(3, 0, 90); }, write, kMsgUnknownPlcType},
        {"read, password", true, [](PlcEmulator& e) { e.S.coils[PlcEmulator::kM1069] = 1; }, read, kMsgPasswordSet},
        {"read, unknown type", true, [](PlcEmulator& e) { e.S.regs[PlcEmulator::kD1001] = 0xE004; }, read,
         kMsgUnknownPlcType},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emu.Configure(0, 0, 90);
        emu.S.running = false;
        emu.S.coils[PlcEmulator::kM1069] = 0;
        if (c.plc) c.plc(emu);
        const std::vector<std::uint8_t> plcBefore = emu.S.program;
        SetProject(0, 0, image);
        const auto project = Project();
        frame.msgs.clear();
        emu.ClearLog();
        if (c.start(*transfer, *link)) {
            ASSERT_TRUE(Idle());
        }
        EXPECT_EQ(frame.Ids(), std::vector<int>{c.msg});
        EXPECT_EQ(emu.S.program, plcBefore);
        EXPECT_EQ(BlockRequests(16) + BlockRequests(3), 0);
        EXPECT_EQ(Project(), project);
        EXPECT_EQ(link->JobNo, 0);
        EXPECT_FALSE(port->IsOpen());
    }
    // The unknown type word is named in the message.
    ASSERT_FALSE(frame.msgs.empty());
    EXPECT_NE(frame.msgs.back().detail.find("E004"), std::string::npos) << frame.msgs.back().detail;
}

// A fault in the middle of a write or a read ends the job with the fault's
// message; nothing more is sent, and a read leaves the open program alone.
class TransferFaultTest : public ProgramTransferTest {
protected:
    static FaultRule Middle(FaultAction a, int times, int param = 0) {
        return {.action = a, .addrLo = 0x2000, .addrHi = 0x6FFF, .skip = 40, .times = times, .param = param};
    }
    void Run(bool reading, FaultRule rule, int msg, bool dropLine = false) {
        if (!reading && rule.action == FaultAction::ShortData) {
            // A write's echo has no byte count: cut the echo itself.
            rule.action = FaultAction::Raw;
            rule.text = emu::Frame({1, 16, 0x20});
        }
        const std::vector<std::uint8_t> image = FullProgram(1);
        const std::vector<std::uint8_t> other = FullProgram(0);
        emu.ClearFaults();
        emu.Configure(0, 1, 90);
        if (reading) std::copy(image.begin(), image.end(), emu.S.program.begin());
        SetProject(0, reading ? 0 : 1, reading ? other : image);
        gLadderRowCount = 7;
        const auto project = Project();
        emu.ClearLog();
        emu.AddFault(rule);
        frame.msgs.clear();
        frame.progressClosed = 0;
        host.replaced = 0;
        ASSERT_TRUE(reading ? transfer->StartRead(false) : transfer->StartWrite(0, 3792));
        if (dropLine) {
            ASSERT_TRUE(WaitUntil([&] { return !emu.Log().empty() && emu.Log().back().fault == "Delay"; }));
            emu.DropLine();
        }
        ASSERT_TRUE(Idle());
        EXPECT_EQ(frame.Ids(), std::vector<int>{msg});
        const std::size_t sent = emu.Log().size();
        Spin(50);
        EXPECT_EQ(emu.Log().size(), sent);  // the job is over
        EXPECT_EQ(link->JobNo, 0);
        EXPECT_GE(frame.progressClosed, 1);
        EXPECT_LT(BlockRequests(reading ? 3 : 16), 60);
        // No M1073 after a failed write: the PLC is never told a program is complete.
        for (auto [fn, addr] : Calls()) EXPECT_FALSE(fn == 5 && addr == 3121);
        EXPECT_EQ(host.replaced, 0);
        EXPECT_EQ(Project(), project);
    }
};

TEST_F(TransferFaultTest, InjectedFaultsInTheMiddle) {
    struct Case {
        const char* name;
        FaultRule rule;
        int msg;
    };
    const std::vector<Case> cases = {
        {"no reply", Middle(FaultAction::Drop, 1), 83},
        {"bad LRC four times", Middle(FaultAction::BadLrc, 4), 199},
        {"exception", Middle(FaultAction::Exception, 1, 4), 194},
        {"short reply", Middle(FaultAction::ShortData, 4, 2), 199},
    };
    for (bool reading : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(reading ? "read: " : "write: ") + c.name);
            Run(reading, c.rule, c.msg);
        }
    }
}

// The line goes dead while a reply is due (a lost line stays lost, so one
// direction per test).
TEST_F(TransferFaultTest, LineLostInTheMiddleOfAWrite) { Run(false, Middle(FaultAction::Delay, 1, 60000), 83, true); }
TEST_F(TransferFaultTest, LineLostInTheMiddleOfARead) { Run(true, Middle(FaultAction::Delay, 1, 60000), 83, true); }

// Cancel in the middle: message 245 (a write: 283), no further request, the late reply of
// the block in flight is dropped, and a read leaves the project alone.
TEST_F(ProgramTransferTest, CancelInTheMiddle) {
    emu.Configure(1, 3, 90);
    const std::vector<std::uint8_t> image = FullProgram(3);
    for (bool reading : {false, true}) {
        SCOPED_TRACE(reading ? "read" : "write");
        SetProject(1, 0, FullProgram(0));
        if (!reading) SetProject(1, 3, image);
        const std::vector<std::uint8_t> before = Image();
        emu.ClearLog();
        frame.msgs.clear();
        emu.AddFault({.action = FaultAction::Delay, .addrLo = 0x2000, .addrHi = 0x6FFF, .skip = 20, .param = 40});
        ASSERT_TRUE(reading ? transfer->StartRead(false) : transfer->StartWrite(0, 15872));
        // Cancelled while the reply of the delayed block is awaited.
        ASSERT_TRUE(WaitUntil([&] { return !emu.Log().empty() && emu.Log().back().fault == "Delay"; }));
        transfer->Cancel();
        EXPECT_EQ(link->JobNo, 0);
        // A request already on the line may still reach the PLC; after that, nothing more.
        Spin(200);
        const std::size_t sent = emu.Log().size();
        Spin(200);  // the delayed reply comes too late: nobody takes it
        EXPECT_EQ(emu.Log().size(), sent);
        // A write stopped half-way says the PLC holds part of the program.
        EXPECT_EQ(frame.Ids(), std::vector<int>{reading ? kMsgTransferCancelled : qel::link::kMsgWriteStopped});
        EXPECT_EQ(Image(), before);
        EXPECT_FALSE(port->IsOpen());
        emu.ClearFaults();
    }
}

// The reply to the block request a cancel left on the line comes while the
// next job runs: it is never taken for the answer to one of that job's
// requests, so a verify right after a cancelled read compares the program
// the PLC holds.
TEST_F(ProgramTransferTest, LateReplyOfACancelledReadIsNotTakenByTheNextJob) {
    emu.Configure(1, 0, 90);
    const std::vector<std::uint8_t> image = FullProgram(0);
    emu.S.program = image;
    SetProject(1, 0, image);
    // The ninth block's reply comes after 150 ms; every other one after 5 ms,
    // so that the next job has a request on the line most of the time.
    emu.AddFault({.action = FaultAction::Delay, .addrLo = 0x2000, .addrHi = 0x6FFF, .skip = 8, .times = 1, .param = 150});
    emu.AddFault({.action = FaultAction::Delay, .addrLo = 0x2000, .addrHi = 0x6FFF, .times = -1, .param = 5});
    ASSERT_TRUE(transfer->StartRead(false));
    ASSERT_TRUE(WaitUntil([&] { return BlockRequests(3) == 9; }));
    transfer->Cancel();
    EXPECT_EQ(Ran([&] { return transfer->StartVerify(); }), std::vector<int>{kMsgVerifyEqual});
    EXPECT_EQ(BlockRequests(3), static_cast<int>(image.size() / 32));
    EXPECT_EQ(Image(), image);
    EXPECT_FALSE(port->IsOpen());
}

// The result code after a write picks its message; an unknown one is named.
TEST_F(ProgramTransferTest, WriteResultCodes) {
    emu.Configure(2, 0, 90);
    SetProject(2, 0, FullProgram(0));
    const std::pair<std::uint16_t, int> codes[] = {{0xC400, 121}, {0x0E18, 116}, {0x0B01, 200}, {0x1234, 246}};
    for (auto [code, msg] : codes) {
        emu.S.resultCodes = {code};
        EXPECT_EQ(Ran([&] { return transfer->StartWrite(0, 100); }), std::vector<int>{msg});
    }
    ASSERT_FALSE(frame.msgs.empty());
    EXPECT_EQ(frame.msgs.back().detail, " H1234");
}

// Verify names the first differing step and stops at END: what stands in the
// PLC after the program's END does not count.
TEST_F(ProgramTransferTest, VerifyFindsTheFirstDifferenceAndStopsAtEnd) {
    emu.Configure(1, 1, 90);
    std::vector<std::uint8_t> image = AssembleLines({"LD X0", "MOV K15 D0", "OUT Y1", "END"});
    image.resize(7584, 0xFF);
    SetProject(1, 1, image);
    std::copy(image.begin(), image.end(), emu.S.program.begin());
    std::fill(emu.S.program.begin() + 64, emu.S.program.end(), 0x00);
    EXPECT_EQ(Ran([&] { return transfer->StartVerify(); }), std::vector<int>{kMsgVerifyEqual});
    EXPECT_EQ(BlockRequests(3), 1);

    emu.S.program[image.size() > 10 ? 9 : 0] ^= 1;
    ASSERT_EQ(Ran([&] { return transfer->StartVerify(); }), std::vector<int>{kMsgVerifyDiffers});
    EXPECT_EQ(frame.msgs[0].detail, "Steps :4");
    EXPECT_EQ(transfer->MismatchOffset, 9);
}

}  // namespace

// ---------------------------------------------------------------------------
// The hand-held programmer link: the PC answers a programmer at station 0x80.

namespace {

class HandheldLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        ASSERT_TRUE(hpp.Start());
        hpp.answerTimeoutMs = 600;  // repeats well inside the PC's time-out of 180 x 10 ms
        port = MakePort(hpp.SlavePath());
        link = std::make_unique<TTransData>(port.get(), &frame);
        link->SetTickMs(10);
        handheld = std::make_unique<THandheldLink>(*link, host);
    }
    bool Served() { return WaitUntil([&] { return hpp.Done(); }); }

    TestProject project_{"qel-hpp-"};
    HppMaster hpp;
    RecordingFrame frame;
    TransferHost host;
    std::unique_ptr<TLinkPort> port;
    std::unique_ptr<TTransData> link;
    std::unique_ptr<THandheldLink> handheld;
};

TEST_F(HandheldLinkTest, ProgrammerReadsTheProgram) {
    for (int cap : {1, 3}) {
        SCOPED_TRACE("capacity index " + std::to_string(cap));
        const std::vector<std::uint8_t> image = FullProgram(cap);
        SetProject(1, cap, image);
        const auto project = Project();
        host.linkWindowClosed = 0;
        ASSERT_TRUE(handheld->Start());
        hpp.ReadFromPc(static_cast<int>(image.size()), true);
        ASSERT_TRUE(Served());
        EXPECT_EQ(hpp.error, "");
        EXPECT_EQ(hpp.CapacityCode, 4 * cap);
        EXPECT_EQ(hpp.CapacityBytes, static_cast<int>(image.size()));
        EXPECT_EQ(hpp.Image, image);
        EXPECT_EQ(host.maximum, static_cast<int>(image.size()));
        // The last block ends the link; the project is as it was.
        ASSERT_TRUE(WaitUntil([&] { return link->JobNo == 0 && !port->IsOpen(); }));
        EXPECT_EQ(host.linkWindowClosed, 1);
        EXPECT_EQ(frame.StationByte(), 1);
        EXPECT_EQ(Project(), project);
        EXPECT_EQ(host.replaced, 0);
        EXPECT_TRUE(frame.msgs.empty());
    }
    // Without the whole-capacity flag only the used program is transferred.
    std::vector<std::uint8_t> small = AssembleLines({"LD X0", "OUT Y0", "END"});
    small.resize(3616, 0xFF);
    SetProject(0, 0, small);
    ASSERT_TRUE(handheld->Start());
    hpp.ReadFromPc(32, false);
    ASSERT_TRUE(Served());
    EXPECT_EQ(hpp.error, "");
    EXPECT_EQ(host.maximum, 6);
    EXPECT_EQ(std::vector<std::uint8_t>(hpp.Image.begin(), hpp.Image.begin() + 32),
              std::vector<std::uint8_t>(small.begin(), small.begin() + 32));
    EXPECT_TRUE(WaitUntil([&] { return link->JobNo == 0; }));
}

// The programmer reads nothing for a second after its last request, and has
// left kilobytes unread before it (line noise it skips): the PC's last answer
// waits in the output queue behind them when the job ends and the idle port
// closes. The close lets the queue leave once the programmer reads again, and
// the programmer receives the last block whole.
TEST_F(HandheldLinkTest, ProgrammerPausingBeforeTheLastAnswerStillGetsItWhole) {
    const std::vector<std::uint8_t> image = FullProgram(1);
    SetProject(1, 1, image);
    ASSERT_TRUE(handheld->Start());
    std::size_t unread = 0;
    hpp.beforeLastRequest = [&] {
        // Until the device takes no more and the queue holds all but room
        // for the answer.
        const std::string noise(1024, 'x');
        for (int i = 0; i < 256 && port->OutFree() > noise.size() + 200; ++i) {
            ASSERT_TRUE(port->Write(noise.data(), noise.size()));
            unread += noise.size();
        }
    };
    hpp.pauseBeforeLastAnswerMs = 1000;
    hpp.ReadFromPc(static_cast<int>(image.size()), true);
    ASSERT_TRUE(WaitUntil([&] { return link->JobNo == 0 && !port->IsOpen(); }));
    ASSERT_TRUE(Served());
    EXPECT_GT(unread, 4096u);  // more than the queue holds: the device was full
    EXPECT_EQ(hpp.error, "");
    EXPECT_EQ(hpp.Image, image);
    EXPECT_TRUE(frame.msgs.empty());
}

TEST_F(HandheldLinkTest, ProgrammerWritesAProgramIntoTheProject) {
    const std::vector<std::uint8_t> old = FullProgram(0);
    SetProject(0, 0, old);
    const std::vector<std::uint8_t> image = FullProgram(3);
    ASSERT_TRUE(handheld->Start());
    hpp.corruptRequest = 7;  // one garbled block: no answer, sent again
    hpp.WriteToPc(image);
    ASSERT_TRUE(Served());
    EXPECT_EQ(hpp.error, "");
    EXPECT_GE(hpp.Resends, 1);
    ASSERT_TRUE(WaitUntil([&] { return link->JobNo == 0; }));
    EXPECT_EQ(host.replaced, 1);
    EXPECT_TRUE(host.familyChange);
    EXPECT_EQ(Image(), image);
    EXPECT_EQ(std::tie(gQel.Family, gQel.CapacityIndex, gQel.Modified, gQel.Named, gQel.ProgramOk),
              std::make_tuple(1, 3, 1, 0, 1));
    EXPECT_GT(gLadderRowCount, 0);
    EXPECT_EQ(frame.StationByte(), 1);
    EXPECT_TRUE(frame.msgs.empty());

    // A program that cannot be drawn (OUT Y0 with no contact) keeps its code
    // and is reported once it is in.
    std::vector<std::uint8_t> bad(image.size(), 0xFF);
    const std::uint8_t outOnly[] = {0x00, 0xC5, 0x0F, 0x00};
    std::copy(std::begin(outOnly), std::end(outOnly), bad.begin());
    hpp.corruptRequest = -1;
    ASSERT_TRUE(handheld->Start());
    hpp.WriteToPc(bad);
    ASSERT_TRUE(Served() && hpp.error.empty()) << hpp.error;
    ASSERT_TRUE(WaitUntil([&] { return link->JobNo == 0 && !link->MessagesPending(); }));
    EXPECT_EQ(Image(), bad);
    EXPECT_EQ(gQel.ProgramOk, 0);
    ASSERT_EQ(frame.msgs.size(), 1u);
    EXPECT_EQ(frame.msgs[0].id, kMsgNotDrawn);
}

// Requests a programmer has no business sending get no answer; reads past
// the image answer empty steps; nothing is written outside the image.
TEST_F(HandheldLinkTest, StrayRequestsAreNotServed) {
    std::vector<std::uint8_t> small = AssembleLines({"LD X0", "OUT Y0", "END"});
    small.resize(3616, 0xFF);
    SetProject(0, 0, small);
    ASSERT_TRUE(handheld->Start());
    struct Case {
        std::vector<std::uint8_t> request;
        std::vector<std::uint8_t> answer;  // empty: none
    };
    std::vector<std::uint8_t> past = {0x80, 3, 32};
    past.resize(35, 0xFF);
    std::vector<std::uint8_t> first = {0x80, 3, 4};
    first.insert(first.end(), small.begin(), small.begin() + 4);
    const std::vector<Case> cases = {
        {{0x01, 17}, {}},                                         // another station
        {{0x80, 3, 0x20, 0x00, 0, 2}, first},                     // the first two steps
        {{0x80, 3, 0x27, 0x10, 0, 16}, past},                     // past the 3616-byte image
        {{0x80, 6, 0x50, 0x00, 0x12, 0x34}, {}},                  // function 6 into the window
        {{0x80, 16, 0x20, 0x00, 0, 2, 6, 1, 2, 3, 4, 5, 6}, {}},  // byte count that lies
        {{0x80, 16, 0x20, 0x00, 0, 20, 40}, {}},                  // more than a block
        {{0x80, 3, 0x40, 0x00, 0, 16}, {}},                       // between the windows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.request));
        hpp.Answers.clear();
        hpp.SendRaw(c.request, !c.answer.empty());
        ASSERT_TRUE(Served());
        if (c.answer.empty())
            EXPECT_TRUE(hpp.Answers.empty());
        else
            EXPECT_EQ(hpp.Answers, std::vector<std::vector<std::uint8_t>>{c.answer});
    }
    EXPECT_EQ(link->JobNo, kJobHandheld);  // still serving
    EXPECT_EQ(Image(), small);
    handheld->Stop();
    EXPECT_EQ(link->JobNo, 0);
    EXPECT_EQ(frame.StationByte(), 1);
    EXPECT_FALSE(port->IsOpen());
}

// A programmer that falls silent in the middle of writing: the PC times out,
// and the project keeps its program.
TEST_F(HandheldLinkTest, ProgrammerFallingSilentLeavesTheProject) {
    SetProject(0, 0, FullProgram(0));
    const auto project = Project();
    ASSERT_TRUE(handheld->Start());
    hpp.stopAfterRequests = 12;
    hpp.WriteToPc(FullProgram(3));
    ASSERT_TRUE(WaitUntil([&] { return link->JobNo == 0; }));
    EXPECT_EQ(std::vector<int>{frame.msgs.empty() ? -1 : frame.msgs[0].id}, std::vector<int>{83});
    EXPECT_EQ(host.linkWindowClosed, 1);
    EXPECT_EQ(host.replaced, 0);
    EXPECT_EQ(Project(), project);
    EXPECT_EQ(frame.StationByte(), 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// The PLC password against the emulator over a pseudo-terminal, for a family
// 0 PLC (standard requests on D1013-D1014, M1069, D1141) and for the other
// families (function 100): set, a program read refused while locked and
// allowed once the password is entered, wrong passwords refused without a
// change, change and clear.

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
        if (r == TPlcPassword::kStarted) { EXPECT_TRUE(Idle()); }
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
        EXPECT_EQ(Last(host.status), kMsgPwdNone);

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
        EXPECT_EQ(Last(host.status), kMsgPwdLocked);

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
        EXPECT_EQ(Last(host.status), kMsgPwdNone);
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
        if (family == 0) { EXPECT_EQ(password(), "xy34"); }
        host.answer = true;
        host.status.clear();
        EXPECT_EQ(Apply("    ", "    "), k.clear);
        EXPECT_EQ(host.asked, k.clearAsked);
        EXPECT_EQ(First(host.status), family == 0 ? kMsgPwdClearing : kMsgPwdNone);
        EXPECT_EQ(Last(host.status), kMsgPwdNone);
        EXPECT_FALSE(Locked());
        EXPECT_FALSE(family != 0 && emu.S.password.has_value());
        if (family == 0) { EXPECT_EQ(Family0Password(), std::string(4, '\0')); }
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
