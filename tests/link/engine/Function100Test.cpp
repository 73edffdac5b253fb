// The function 100 dialogue: request frames and replies of each sub-code, its
// own tick and reply path, error replies, and replies that fail their check.
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "link/engine/Modbusframe.h"
#include "link/engine/Writequeues.h"
#include "tests/link/LinkTestSupport.h"

using namespace qel::test;
using namespace qel::link;

namespace {

struct Cmd {
    std::uint8_t byte3, sub;
    std::vector<std::uint8_t> payload;
};

// Sends one function 100 request per step and ends after the last.
struct Cmd64Job : ScriptJob {
    explicit Cmd64Job(std::vector<Cmd> c) : cmds(std::move(c)) {
        request = [this](TTransData& l) {
            const Cmd& c = cmds[next++];
            gCommDataLen = 0;
            for (auto b : c.payload) gCommData[gCommDataLen++] = b;
            l.SendCmd64(c.byte3, c.sub, static_cast<std::uint8_t>(c.payload.size()));
        };
        reply = [this](TTransData& l) {
            if (next == cmds.size()) l.EndJob();
        };
    }
    std::vector<Cmd> cmds;
    std::size_t next = 0;
};

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> b) { return b; }

}  // namespace

TEST_F(LinkFixture, EverySubCodeTheLinkSends) {
    emu.S.cardPassword.reset();
    Cmd64Job job({
        {1, 0, {0x03}},                          // link speed code
        {1, 6, {}},
        {1, 7, {}},
        {1, 12, {0x00}},                         // password? none yet
        {1, 11, {'A', 'B', 'C', 'D'}},           // set it
        {1, 12, {0x00}},                         // now set
        {1, 13, {'A', 'B', 'C', 'D'}},           // enter it
        {0, 11, {}},                             // the link job's form of sub-code 11
        {1, 15, {0x00}},                         // card status: no password
        {1, 16, {'W', 'X', 'Y', 'Z'}},           // card password
        {1, 19, {}},                             // read it back
        {1, 15, {0x00}},                         // card status: password
        {1, 17, {0x00, 0x00, 0x05, 0x02, 0x12, 0x34, 0xAB, 0xCD}},  // file registers 5, 6
        {1, 17, {0x04, 0x00, 0x00, 0x01, 0x0F, 0x00}},              // card program word 0
        {1, 10, {}},                             // card -> PLC program
        {1, 9, {}},                              // PLC -> card
        {1, 24, {0x00, 0x00, 0x20, 0x10}},       // file registers 32..47
    });
    for (int i = 0; i < 16; ++i) emu.S.fileRegs[32 + i] = static_cast<std::uint16_t>(0x1000 + i);
    emu.S.program[0] = 0x55;
    ASSERT_TRUE(RunJob(14, job));
    ASSERT_EQ(job.replies.size(), job.cmds.size());
    EXPECT_TRUE(frame.msgs.empty());
    const auto& R = job.replies;
    auto payload = [&](std::size_t i) {
        return std::vector<std::uint8_t>(R[i].begin() + 4, R[i].end() - 1);
    };
    for (std::size_t i = 0; i < R.size(); ++i) {
        EXPECT_EQ(R[i][0], 0x64) << i;
        EXPECT_EQ(R[i][2], job.cmds[i].sub) << i;
        EXPECT_EQ(R[i][3], payload(i).size()) << i;
    }
    // Each request as the PLC decodes it: station, 64, byte 3, sub-code,
    // payload length, payload.
    ASSERT_EQ(emu.RequestCount(), job.cmds.size());
    for (std::size_t i = 0; i < job.cmds.size(); ++i) {
        const Cmd& c = job.cmds[i];
        std::vector<std::uint8_t> expected{1, 0x64, c.byte3, c.sub, static_cast<std::uint8_t>(c.payload.size())};
        expected.insert(expected.end(), c.payload.begin(), c.payload.end());
        EXPECT_EQ(emu.Log()[i].bytes, expected) << i;
    }
    EXPECT_EQ(emu.Log()[0].request, ":01640100010396\r\n");
    EXPECT_EQ(emu.Log()[7].request, ":0164000B0090\r\n");
    EXPECT_EQ(payload(3), Bytes({0x01}));
    EXPECT_EQ(payload(5), Bytes({0xFF}));
    EXPECT_EQ(payload(6), Bytes({'A', 'B', 'C', 'D'}));
    EXPECT_EQ(payload(8), Bytes({0xFF}));
    EXPECT_EQ(payload(10), Bytes({'W', 'X', 'Y', 'Z'}));
    EXPECT_EQ(payload(11), Bytes({0xAA}));
    EXPECT_EQ(payload(12), Bytes({0x00, 0x00, 0x05, 0x02}));
    EXPECT_EQ(emu.S.fileRegs[5], 0x1234);
    EXPECT_EQ(emu.S.fileRegs[6], 0xABCD);
    // The card's program word went to the PLC and came back.
    EXPECT_EQ(emu.S.program[0], 0x0F);
    EXPECT_EQ(emu.S.cardArea[4][0], 0x0F);
    // The block read: 64 01 18 len, area addr(2) n, the words high byte first, LRC.
    EXPECT_EQ(emu.Log()[16].request, ":0164011804000020104E\r\n");
    ASSERT_EQ(R[16].size(), 8u + 32u + 1u);
    EXPECT_EQ(R[16][8] << 8 | R[16][9], 0x1000);
    EXPECT_EQ(R[16][38] << 8 | R[16][39], 0x100F);
    EXPECT_EQ(link->Cmd64Mode, 0);
}

TEST_F(LinkFixture, AckTerminatedReplyIsCompleteAndTheStepDecides) {
    // A PLC that ends its replies with ACK: each reply reaches the job's step
    // at once, marked as failing the reply check, with its sound bytes.
    emu.AddFault({.action = FaultAction::AckTerminated, .function = 100, .times = -1});
    std::vector<int> kinds, acks;
    Cmd64Job job({{1, 12, {0x00}}, {1, 17, {0x00, 0x00, 0x05, 0x01, 0x12, 0x34}}});
    job.reply = [&](TTransData& l) {
        kinds.push_back(l.gCommReplyKind);
        acks.push_back(l.AckReply);
        if (job.next == job.cmds.size()) l.EndJob();
    };
    ASSERT_TRUE(RunJob(8, job));
    EXPECT_EQ(emu.RequestCount(), 2u);  // nothing resent
    EXPECT_EQ(kinds, (std::vector<int>{0, 0}));
    EXPECT_EQ(acks, (std::vector<int>{1, 1}));
    ASSERT_EQ(job.replies.size(), 2u);
    ASSERT_EQ(job.replies[0].size(), 6u);  // 64 01 0C 01 01 LRC
    EXPECT_EQ(job.replies[0][4], 0x01);
    EXPECT_EQ(job.replies[1][2], 17);
    EXPECT_EQ(emu.S.fileRegs[5], 0x1234);
    EXPECT_TRUE(frame.msgs.empty());
    EXPECT_EQ(link->Cmd64Mode, 0);
    EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));

    // A bare ACK or one after damaged pairs still ends the reply, without
    // bytes; a reply that ends with CR LF again clears the mark.
    for (const std::string& text : {std::string(":\x06"), std::string(":0164010C01G1\x06")}) {
        emu.ClearFaults();
        emu.ClearLog();
        emu.AddFault({.action = FaultAction::Raw, .function = 100, .text = text});
        kinds.clear();
        acks.clear();
        job.replies.clear();
        job.next = 0;
        job.cmds = {{1, 12, {0x00}}, {1, 12, {0x00}}};
        ASSERT_TRUE(RunJob(8, job));
        EXPECT_EQ(emu.RequestCount(), 2u);
        EXPECT_EQ(acks, (std::vector<int>{1, 0}));
        EXPECT_EQ(kinds, (std::vector<int>{0, 1}));
        ASSERT_EQ(job.replies.size(), 2u);
        EXPECT_TRUE(job.replies[0].empty());
        EXPECT_EQ(job.replies[1].size(), 6u);
    }
    EXPECT_TRUE(frame.msgs.empty());
}

TEST_F(LinkFixture, DamagedOrMissingFunction100ReplyEndsTheJob) {
    // A damaged reply is resent three times, then message 199; a missing one
    // is a time-out at once, message 83.
    for (auto [fault, requests, msg] : {std::tuple{FaultAction::BadLrc, 4u, 199}, std::tuple{FaultAction::Drop, 1u, 83}}) {
        emu.ClearFaults();
        emu.ClearLog();
        frame.msgs.clear();
        emu.AddFault({.action = fault, .function = 100, .times = -1});
        Cmd64Job job({{1, 19, {}}});
        ASSERT_TRUE(RunJob(8, job));
        EXPECT_EQ(emu.RequestCount(), requests);
        EXPECT_TRUE(job.replies.empty());
        EXPECT_EQ(frame.Ids(), std::vector<int>{msg});
        EXPECT_EQ(job.aborted, 1);
        EXPECT_EQ(link->Cmd64Mode, 0);
        EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
    }
}

TEST_F(LinkFixture, ShortBlockReplyIsNotUsed) {
    // BcLies: the length byte says 36, 34 bytes follow. ShortData: 34 bytes
    // and a length byte that agrees, but 16 words were asked for.
    for (FaultAction a : {FaultAction::BcLies, FaultAction::ShortData}) {
        emu.ClearLog();
        emu.AddFault({.action = a, .function = 100, .param = 2});
        Cmd64Job job({{1, 24, {0x00, 0x00, 0x00, 0x10}}});
        ASSERT_TRUE(RunJob(12, job));
        EXPECT_EQ(emu.RequestCount(), 2u) << static_cast<int>(a);
        ASSERT_EQ(job.replies.size(), 1u) << static_cast<int>(a);
        EXPECT_EQ(job.replies[0].size(), 41u);
    }
    EXPECT_TRUE(frame.msgs.empty());
}

TEST_F(LinkFixture, QueuedWritesWaitWhileTheDialogueRuns) {
    // File-register read as the transfer does it: identification with
    // function 3, then function 100 blocks.
    ScriptJob job;
    int step = 0;
    job.request = [&](TTransData& l) {
        if (step == 0) {
            l.SendCommand(5097, 3, 3);
            return;
        }
        gCommData[0] = 0;
        gCommData[1] = 0;
        gCommData[2] = static_cast<std::uint8_t>(16 * step);
        gCommData[3] = 16;
        gCommDataLen = 4;
        l.SendCmd64(1, 24, 4);
    };
    job.reply = [&](TTransData& l) {
        if (step == 1) l.QueueDeviceWrite(0x0500, 0xFF00, 0, 5);
        if (++step == 4) l.EndJob();
    };
    ASSERT_TRUE(RunJob(12, job, 0));
    ASSERT_TRUE(WaitUntil([&] { return emu.RequestCount() == 5 && !port->IsOpen(); }));
    const auto& log = emu.Log();
    EXPECT_EQ(log[0].bytes[1], 3);
    EXPECT_EQ(log[1].bytes[1], 100);
    EXPECT_EQ(log[2].bytes[1], 100);  // not the queued coil write
    EXPECT_EQ(log[3].bytes[1], 100);
    EXPECT_EQ(log[4].bytes[1], 5);    // sent once the dialogue ended
    EXPECT_TRUE(emu.S.coils[0x0500]);
}

// The frame's baud-rate search (job 15 in link mode 6): silence or a garbled
// reply moves on to the next rate; at 115200 the search gives up.
class BaudSearch : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        search.request = [this](TTransData& l) {
            if (!l.SetLinkBaud(rates[std::min(rate++, rates.size() - 1)])) return;
            gCommData[0] = static_cast<std::uint8_t>(rate);
            gCommDataLen = 1;
            l.SendCmd64(1, 0, 1);
        };
        search.reply = [this](TTransData& l) {
            frame.SetLinkMode(0);
            l.EndJob();
        };
        frame.SetLinkMode(6);
    }
    ScriptJob search;
    std::vector<int> rates{9600, 19200, 38400, 57600, 115200};
    std::size_t rate = 0;
};

TEST_F(BaudSearch, SilenceAndGarbleTryTheNextRate) {
    emu.AddFault({.action = FaultAction::Drop, .function = 100});
    emu.AddFault({.action = FaultAction::BadLrc, .function = 100});
    ASSERT_TRUE(RunJob(15, search, 0));
    EXPECT_EQ(emu.RequestCount(), 3u);  // one per rate, no resends
    ASSERT_EQ(search.replies.size(), 1u);
    EXPECT_EQ(port->Baud(), 38400);
    EXPECT_EQ(frame.progressSteps, 2);
    EXPECT_TRUE(frame.msgs.empty());
    EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
}

TEST_F(BaudSearch, NoAnswerAtAnyRateEndsWithMessage227) {
    emu.AddFault({.action = FaultAction::Drop, .function = 100, .times = -1});
    link->SavedStationByte = 1;
    frame.SetStationByte(9);
    ASSERT_TRUE(RunJob(15, search, 0));
    EXPECT_EQ(emu.RequestCount(), 5u);
    EXPECT_EQ(frame.Ids(), std::vector<int>{227});
    EXPECT_EQ(frame.StationByte(), 1);
    EXPECT_EQ(frame.LinkMode(), 0);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(port->Baud(), 9600);
}

TEST_F(BaudSearch, RateThePortRefusesEndsTheSearchWithItsReason) {
    // No answer at 9600; the next rate is one the line cannot run at.
    rates = {9600, 14400, 38400};
    emu.AddFault({.action = FaultAction::Drop, .function = 100, .times = -1});
    link->SavedStationByte = 1;
    frame.SetStationByte(9);
    ASSERT_TRUE(RunJob(15, search, 0));
    EXPECT_EQ(emu.RequestCount(), 1u);  // nothing sent at a rate not set
    ASSERT_EQ(frame.Ids(), std::vector<int>{qel::link::kMsgRateFailed});
    EXPECT_NE(frame.msgs[0].detail.find("14400"), std::string::npos);
    EXPECT_GT(frame.msgs[0].detail.size(), std::string("14400 (COM1)").size());  // with the reason
    EXPECT_EQ(rate, 2u);  // the search went no further
    EXPECT_EQ(link->JobNo, 0);
    EXPECT_EQ(frame.LinkMode(), 0);
    EXPECT_EQ(frame.StationByte(), 1);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(port->Baud(), 9600);
    Spin(30);
    EXPECT_EQ(emu.RequestCount(), 1u);
}

// ---------------------------------------------------------------------------
// The frames the link writes for each function, byte for byte, as the PLC
// emulator receives them over a pseudo-terminal, and the replies the link
// takes from it.

namespace {

void Payload(std::initializer_list<std::uint8_t> bytes) {
    gCommDataLen = 0;
    for (auto b : bytes) gCommData[gCommDataLen++] = b;
}

}  // namespace

TEST_F(LinkFixture, StandardFunctionFramesByteForByte) {
    SequenceJob job({
        [](TTransData& l) { l.SendCommand(0x0C2D, 1, 1); },        // M1069
        [](TTransData& l) { l.SendCommand(5097, 3, 3); },          // D1001 x 3
        [](TTransData& l) { l.SendCommand(0x0C31, 0xFF00, 5); },   // M1073 ON
        [](TTransData& l) { l.SendCommand(0x1475, 0x6C2D, 6); },   // D1141
        [](TTransData& l) { l.SendCommand(14, 0, 8); },            // clear the password
        [](TTransData& l) {
            Payload({0x00, 0x01, 0x00, 0x02});
            l.SendCommand(0x1000, 2, 16);                          // D0, D1
        },
        [](TTransData& l) {
            Payload({0x00, 0x01, 0x86, 0xA0});
            l.SendCommand(0x0EC8, 1, 16);                          // C200: 4 bytes per register
        },
        [](TTransData& l) { l.SendCommand(0, 0, 17); },
    });
    emu.S.regs[0x1475] = 0x6C2D;  // the unlock word lets function 8 clear the password
    ASSERT_TRUE(RunJob(4, job));
    const std::vector<std::string> expected = {
        ":01010C2D0001C4\r\n",
        ":010313E90003FD\r\n",
        ":01050C31FF00BE\r\n",
        ":010614756C2DD7\r\n",
        ":01080EE9\r\n",
        ":0110100000020400010002D6\r\n",
        ":01100EC8000104000186A0ED\r\n",
        ":0111EE\r\n",
    };
    ASSERT_EQ(emu.RequestCount(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(emu.Log()[i].request, expected[i]) << i;
    EXPECT_TRUE(frame.msgs.empty());
    // What the emulator did with them.
    EXPECT_EQ(emu.S.c32[0], 100000u);
    EXPECT_EQ(emu.S.regs[0x1000], 1);
    EXPECT_EQ(emu.S.regs[0x1001], 2);
    // The decoded replies: function code first, LRC last.
    ASSERT_EQ(job.replies.size(), 8u);
    EXPECT_EQ(job.replies[1][0], 3);
    EXPECT_EQ(job.replies[1][1], 6);
    EXPECT_EQ((job.replies[1][2] << 8 | job.replies[1][3]), emu.S.TypeWord());
    EXPECT_EQ(job.replies[7][0], 0x11);
    EXPECT_EQ(job.replies[7][3], 0x00);  // the PLC is stopped
    // After the last reply the link is idle and closes the port.
    EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
}

TEST_F(LinkFixture, ReadsTakeWhatTheRequestAskedFor) {
    emu.S.coils[0x0C2D] = 1;
    emu.S.regs[0x1000 + 10] = 0xBEEF;
    emu.S.c32[55] = 0x01020304;  // C255
    SequenceJob job({
        [](TTransData& l) { l.SendCommand(0x0C2D, 1, 1); },
        [](TTransData& l) { l.SendCommand(0x100A, 1, 3); },
        [](TTransData& l) { l.SendCommand(0x0EFE, 2, 3); },  // C254, C255: 8 bytes
        [](TTransData& l) { l.SendCommand(0x0EC6, 3, 3); },  // C198, C199 (2 bytes each), C200 (4)
    });
    ASSERT_TRUE(RunJob(5, job));
    ASSERT_EQ(job.replies.size(), 4u);
    EXPECT_EQ(job.replies[0][2] & 1, 1);
    EXPECT_EQ(job.replies[1][2], 0xBE);
    EXPECT_EQ(job.replies[2][1], 8);
    EXPECT_EQ(job.replies[2][9], 0x04);
    EXPECT_EQ(job.replies[3][1], 8);
    EXPECT_TRUE(frame.msgs.empty());
}

// ---------------------------------------------------------------------------
// An independent check of the wire format: the link talks to a Modbus ASCII
// slave written with pymodbus, and pymodbus as a master questions the PLC
// emulator. The pymodbus peer runs at 8N1: a pseudo-terminal carries bytes
// whatever the line settings ask for.

namespace {

const char* kPython = "/usr/bin/python3";

QString Script(const char* name) { return QString(QEL_LINK_TEST_DIR "/") + name; }

bool PymodbusAvailable() {
    QProcess p;
    p.start(kPython, {"-c", "import pymodbus.client, serial_asyncio"});
    return p.waitForFinished(kWaitLimitMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct Peer {
    QProcess proc;
    std::string out;
    void Start(const char* script, const std::string& device) {
        QObject::connect(&proc, &QProcess::readyReadStandardOutput,
                         [this] { out += proc.readAllStandardOutput().toStdString(); });
        proc.start(kPython, {Script(script), QString::fromStdString(device)});
    }
    ~Peer() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(kWaitLimitMs);
        }
    }
};

}  // namespace

TEST(Pymodbus, LinkTalksToAPymodbusSlave) {
    EnsureApp();
    if (!PymodbusAvailable()) GTEST_SKIP() << "python3-pymodbus is not installed for " << kPython;
    PtyRelayPair relay;
    ASSERT_TRUE(relay.Start());
    Peer slave;
    slave.Start("modbus_slave.py", relay.PathB());
    ASSERT_TRUE(WaitUntil([&] { return slave.out.find("READY") != std::string::npos; }))
        << slave.out << slave.proc.readAllStandardError().toStdString();

    RecordingFrame frame;
    auto port = MakePort(relay.PathA());
    TTransData link(port.get(), &frame);
    // Every reply is awaited up to the tests' wait limit: room for a slow interpreter.
    link.SetTickMs(double(kWaitLimitMs) / link.gCommTimeoutTicks);

    SequenceJob job({
        [](TTransData& l) { l.SendCommand(0x1000, 2, 3); },
        [](TTransData& l) { l.SendCommand(0x1002, 0xABCD, 6); },
        [](TTransData& l) {
            gCommData[0] = 0x00; gCommData[1] = 0x01; gCommData[2] = 0x00; gCommData[3] = 0x02;
            gCommDataLen = 4;
            l.SendCommand(0x1003, 2, 16);
        },
        [](TTransData& l) { l.SendCommand(0x1002, 3, 3); },
        [](TTransData& l) { l.SendCommand(0x0500, 1, 1); },
        [](TTransData& l) { l.SendCommand(0x0501, 0xFF00, 5); },
        [](TTransData& l) { l.SendCommand(0x0500, 3, 1); },
    });
    link.RegisterJob(4, &job);
    ASSERT_TRUE(link.OpenPort());
    link.StartJob(4, 1);
    ASSERT_TRUE(WaitUntil([&] { return link.JobNo == 0 && link.MaySend; }));

    EXPECT_TRUE(frame.msgs.empty()) << slave.proc.readAllStandardError().toStdString();
    ASSERT_EQ(job.replies.size(), job.steps.size()) << "sent " << link.Stats.framesSent << " bad " << link.Stats.badReplies
                                                    << " timeouts " << link.Stats.timeouts;
    const auto& R = job.replies;
    EXPECT_EQ(R[0], (std::vector<std::uint8_t>{3, 4, 0x12, 0x34, 0x56, 0x78, R[0].back()}));
    EXPECT_EQ(R[3], (std::vector<std::uint8_t>{3, 6, 0xAB, 0xCD, 0, 1, 0, 2, R[3].back()}));
    EXPECT_EQ(R[4][1], 1);
    EXPECT_EQ(R[4][2], 0x01);
    EXPECT_EQ(R[6][2], 0x03);  // Y0 and the Y1 just switched on
    EXPECT_EQ(link.Stats.resends, 0u);
}

// The other way round: pymodbus as the master decodes the PLC emulator's
// replies, its exception replies among them, so that every link test that
// leans on the emulator leans on frames an independent master takes.
TEST(Pymodbus, EmulatorRepliesAndExceptionsDecodeInAPymodbusMaster) {
    EnsureApp();
    if (!PymodbusAvailable()) GTEST_SKIP() << "python3-pymodbus is not installed for " << kPython;
    PlcEmulator emu;
    ASSERT_TRUE(emu.Start());
    emu.S.coils[0x0500] = 1;
    emu.S.program[0] = 0x00;
    emu.S.program[1] = 0x20;
    emu.S.program[2] = 0x0F;
    emu.S.program[3] = 0x00;
    Peer master;
    master.Start("modbus_master.py", emu.SlavePath());
    ASSERT_TRUE(WaitUntil([&] { return master.proc.state() == QProcess::NotRunning; }));
    master.out += master.proc.readAllStandardOutput().toStdString();

    std::vector<std::string> lines;
    std::istringstream in(master.out);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    const std::vector<std::string> expected = {
        "R 13E9 6C5A 7C00 0000",
        "W 6 ok",
        "W 16 ok",
        "R 1002 ABCD 0001 0002",
        "W 5 ok",
        "C 0500 1 1 0",
        "R 2000 0020 0F00",
        // Exception replies: the function with its high bit set, then the
        // code: 2 for an address the PLC lacks, 1 for an unknown function,
        // 3 for a count no reply can carry.
        "X 3 131 2",
        "X 1 129 2",
        "X 5 133 2",
        "X 6 134 2",
        "X 16 144 2",
        "X 4 132 1",
        "X 3 131 3",
        "R 1002 ABCD",
    };
    EXPECT_EQ(lines, expected) << master.proc.readAllStandardError().toStdString();
    EXPECT_EQ(emu.S.regs[0x1002], 0xABCD);
    EXPECT_TRUE(emu.S.coils[0x0501]);
    EXPECT_FALSE(emu.S.coils[0x0700]);
}

// ---------------------------------------------------------------------------
// Frame encoding and the damaged frames the reply check refuses, without a line.
// (Good replies of every kind are decoded in every test over the line.)

namespace {
std::string Enc(std::vector<std::uint8_t> b) { return EncodeFrame(b.data(), b.size()); }
}  // namespace

TEST(ModbusFrame, EncodesWithLrcAndCrLf) {
    // (Frames of every function: the byte-for-byte test.)
    // A sum that is already 0 gives LRC 00, and digits are upper case.
    EXPECT_EQ(Enc({0x80, 0x80}), ":808000\r\n");
    EXPECT_EQ(Enc({0xAB, 0xCD}), ":ABCD88\r\n");
}

TEST(ModbusFrame, CheckReplyRefusesDamagedFrames) {
    const std::string good = ":010302000AF0\r\n";
    ASSERT_EQ(CheckReply(good).kind, kNormalReply);
    const char* bad[] = {
        ":010302000AF1\r\n",   // LRC off by one
        ":010302000af0\r\n",   // lower-case digits
        ":0103020G0AF0\r\n",   // a character that is no digit
        ":010302000AF0\n",     // LF without CR
        ":010302000AF0\r",     // no LF
        "010302000AF0\r\n",    // no colon
        ":010302000AF\r\n",    // odd number of digits
        ":01FF\r\n",           // station and LRC only
        ":\r\n",
        "",
    };
    for (const char* f : bad) EXPECT_EQ(CheckReply(f).kind, kBadFrame) << f;
    // Longer than any frame the link can receive.
    std::string longFrame = ":01";
    longFrame.append(kRxMax, '0');
    longFrame += "FF\r\n";
    EXPECT_EQ(CheckReply(longFrame).kind, kBadFrame);
}

TEST(WriteQueues, FullQueueRefusesInsteadOfDroppingPendingWrites) {
    CoilWriteQueue q;
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(q.Push({static_cast<std::uint16_t>(i), true}));
    EXPECT_TRUE(q.Full());
    EXPECT_FALSE(q.Push({999, true}));
    EXPECT_EQ(q.Count(), 50u);
    // The ring wraps: pop some, push some, the order holds.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(q.Pop().address, i);
    for (int i = 50; i < 60; ++i) ASSERT_TRUE(q.Push({static_cast<std::uint16_t>(i), false}));
    for (int i = 10; i < 60; ++i) EXPECT_EQ(q.Pop().address, i);
    EXPECT_TRUE(q.Empty());
}
