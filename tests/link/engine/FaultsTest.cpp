// Replies that fail: resends, the final bad frame, time-outs, exception
// replies and short, split or foreign replies, all over a pseudo-terminal.
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "tests/link/LinkTestSupport.h"

using namespace qel::test;
using qel::link::LampColor;
using qel::link::TTransData;
using qel::link::gLadderMonitorRefresh;
using qel::link::kMsgTimeout;
using qel::link::kMsgWriteQueueFull;

namespace {

// Reads D0 and D1 (two registers) `count` times, then ends.
struct ReadJob : ScriptJob {
    explicit ReadJob(int count) {
        request = [](TTransData& l) { l.SendCommand(0x1000, 2, 3); };
        reply = [this, count](TTransData& l) {
            if (static_cast<int>(replies.size()) == count) l.EndJob();
        };
    }
};

FaultRule Rule(FaultAction a, int times = 1, int param = 0) {
    return {.action = a, .function = 3, .times = times, .param = param};
}

}  // namespace

class LinkFaults : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        emu.S.regs[0x1000] = 0xA1B2;
        emu.S.regs[0x1001] = 0xC3D4;
    }
    // Each accepted reply held exactly the two words asked for.
    void ExpectOnlyGoodData(const ScriptJob& job) {
        for (const auto& r : job.replies) {
            ASSERT_EQ(r.size(), 7u);
            EXPECT_EQ(r[1], 4);
            EXPECT_EQ(r[2] << 8 | r[3], 0xA1B2);
            EXPECT_EQ(r[4] << 8 | r[5], 0xC3D4);
        }
    }
};

TEST_F(LinkFaults, FailedRequestEndsTheJobWithItsMessage) {
    // A frame still bad after three resends shows the text received; a tiny
    // reply and then nothing, or no reply at all, is a time-out; an exception
    // (general text and code outside 1..8) is not resent.
    const struct {
        FaultRule rule;
        std::size_t requests;
        int msg;
        std::optional<LampColor> lamp;
    } cases[] = {
        {Rule(FaultAction::BadLrc, -1), 4, 199, LampColor::Fuchsia},
        {Rule(FaultAction::Tiny, 1), 1, 83, LampColor::Black},
        {Rule(FaultAction::Drop, -1), 1, 83, std::nullopt},
        {Rule(FaultAction::Exception, 1, 2), 1, 192, LampColor::Blue},
        {Rule(FaultAction::Exception, 1, 11), 1, 190, LampColor::Blue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.msg);
        emu.ClearFaults();
        emu.ClearLog();
        emu.AddFault(c.rule);
        frame.msgs.clear();
        frame.lamps.clear();
        frame.progressClosed = 0;
        frame.SetLinkMode(5);
        ReadJob job(3);
        ASSERT_TRUE(RunJob(4, job));
        ASSERT_EQ(frame.Ids(), std::vector<int>{c.msg});
        EXPECT_EQ(emu.RequestCount(), c.requests);
        for (const auto& t : emu.Log()) EXPECT_EQ(t.request, emu.Log()[0].request);
        if (c.msg == 199 || c.msg == 190) {
            EXPECT_EQ(frame.msgs[0].detail, c.msg == 199 ? emu.Log().back().reply : "11");
        }
        if (c.msg == 83) {
            EXPECT_EQ(link->TimedOut, 1);
            EXPECT_EQ(frame.LinkMode(), 0);  // a time-out also ends the link mode
        }
        EXPECT_TRUE(!c.lamp || frame.Saw(*c.lamp));
        EXPECT_TRUE(job.replies.empty());
        EXPECT_EQ(job.aborted, 1);
        EXPECT_GE(frame.progressClosed, 1);
        // The job has ended, so nothing hangs: the link is idle and the port closed.
        EXPECT_EQ(link->JobNo, 0);
        EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
        Spin(30);
        EXPECT_EQ(emu.RequestCount(), c.requests);
    }
}

TEST_F(LinkFaults, BadFrameThatCarriesAPasswordIsReportedWithoutItsText) {
    // Garbled every time: message 199 shows the text received, but not for a
    // frame that carries a password (the PLC's in D1013-D1014, the card's,
    // the function 100 password requests), whichever job sends it.
    const std::uint16_t d1012 = 0x13F4, d1013 = 0x13F5, d1014 = 0x13F6, d1015 = 0x13F7;
    emu.S.regs[d1013] = 0x5177;  // "Qw7z"
    emu.S.regs[d1014] = 0x377A;
    emu.S.cardPassword = std::string("Qw7z");
    auto data = [](std::initializer_list<std::uint8_t> b) {
        std::copy(b.begin(), b.end(), qel::link::gCommData);
        qel::link::gCommDataLen = static_cast<std::uint32_t>(b.size());
    };
    const struct {
        const char* path;
        std::function<void(TTransData&)> send;
        int function;
        bool textShown;
    } rows[] = {
        {"registers read up to D1013", [=](TTransData& l) { l.SendCommand(d1012 - 2, 4, 3); }, 3, false},
        {"registers read from D1014", [=](TTransData& l) { l.SendCommand(d1014, 2, 3); }, 3, false},
        {"a read its sender says carries the password registers (the block monitor's word values)",
         [=](TTransData& l) {
             l.ReplyCarriesPassword();
             l.SendCommand(d1015, 2, 3);
         },
         3, false},
        // The mark was for that one request only.
        {"registers read ending at D1012", [=](TTransData& l) { l.SendCommand(d1012 - 1, 2, 3); }, 3, true},
        {"registers read from D1015", [=](TTransData& l) { l.SendCommand(d1015, 2, 3); }, 3, true},
        {"register D1014 written", [=](TTransData& l) { l.SendCommand(d1014, 0x4142, 6); }, 6, false},
        {"registers written from D1013",
         [=](TTransData& l) {
             data({'Q', 'w', '7', 'z'});
             l.SendCommand(d1013, 2, 16);
         },
         16, false},
        {"card password read", [=](TTransData& l) { l.SendCmd64(1, 19, 0); }, 100, false},
        {"card password set",
         [=](TTransData& l) {
             data({'Q', 'w', '7', 'z'});
             l.SendCmd64(1, 16, 4);
         },
         100, false},
        {"PLC password entered",
         [=](TTransData& l) {
             data({'Q', 'w', '7', 'z'});
             l.SendCmd64(1, 13, 4);
         },
         100, false},
        {"PLC password state asked",
         [=](TTransData& l) {
             data({0});
             l.SendCmd64(1, 12, 1);
         },
         100, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        emu.ClearFaults();
        emu.ClearLog();
        emu.AddFault({.action = FaultAction::BadLrc, .function = r.function, .times = -1});
        frame.msgs.clear();
        ScriptJob job;
        job.request = r.send;
        ASSERT_TRUE(RunJob(4, job));
        ASSERT_EQ(frame.Ids(), std::vector<int>{199});
        ASSERT_FALSE(emu.Log().empty());
        EXPECT_EQ(frame.msgs[0].detail, r.textShown ? emu.Log().back().reply : std::string());
        EXPECT_EQ(frame.msgs[0].detail.find("5177377A"), std::string::npos);
    }
}

TEST_F(LinkFaults, RetryCountStartsAgainForEachRequest) {
    emu.AddFault(Rule(FaultAction::BadLrc, 3));  // request 1: 3 bad replies, the 4th is good
    emu.AddFault({.action = FaultAction::BadLrc, .function = 3, .skip = 1, .times = 2});  // request 2: 2 bad replies
    ReadJob job(2);
    ASSERT_TRUE(RunJob(4, job));
    EXPECT_TRUE(frame.msgs.empty());
    EXPECT_EQ(emu.RequestCount(), 4u + 3u);
    ASSERT_EQ(job.replies.size(), 2u);
    ExpectOnlyGoodData(job);
    EXPECT_EQ(link->Stats.resends, 5u);
}

TEST_F(LinkFaults, DamagedRepliesAreResentAndNeverUsed) {
    std::vector<FaultRule> rules;
    for (FaultAction k : {FaultAction::LowerCaseHex, FaultAction::BadHexDigit, FaultAction::NoCr,
                          FaultAction::ShortData, FaultAction::BcLies, FaultAction::LongData})
        rules.push_back(Rule(k, 1, 2));
    rules.push_back(Rule(FaultAction::WrongFunction, 1, 4));
    // An exception reply with a byte too many is no exception reply; a frame
    // longer than any reply is a bad frame.
    rules.push_back({.action = FaultAction::Raw, .function = 3, .text = emu::Frame({1, 0x83, 2, 0})});
    rules.push_back({.action = FaultAction::Raw, .function = 3, .text = ":0103" + std::string(700, '0') + "\r\n"});
    for (const FaultRule& r : rules) {
        const std::string what = std::to_string(static_cast<int>(r.action)) + "/" + std::to_string(r.param);
        emu.ClearFaults();
        emu.ClearLog();
        emu.AddFault(r);
        ReadJob job(1);
        ASSERT_TRUE(RunJob(4, job)) << what;
        EXPECT_EQ(emu.RequestCount(), 2u) << what;
        ASSERT_EQ(job.replies.size(), 1u) << what;
        ExpectOnlyGoodData(job);
    }
    EXPECT_TRUE(frame.msgs.empty());
    EXPECT_EQ(frame.StationByte(), 1);
}

TEST_F(LinkFaults, FrameNobodyAskedForIsDropped) {
    // One read, then the job waits: the port stays open with no request out.
    bool again = false;
    ScriptJob job;
    job.request = [&](TTransData& l) {
        if (again) {
            // An answer to nothing (two other words) waits unread in the port
            // as the next read goes out.
            again = false;
            emu.SendUnsolicited({1, 3, 4, 0x00, 0x07, 0x00, 0x08});
            QElapsedTimer t;
            t.start();
            while (!port->CharWaiting() && t.elapsed() < kWaitLimitMs) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_TRUE(port->CharWaiting());
            l.SendCommand(0x1000, 2, 3);
        }
        if (job.requests == 1) l.SendCommand(0x1000, 2, 3);
    };
    emu.AddFault(Rule(FaultAction::Duplicate, 1, 20));
    link->RegisterJob(4, &job);
    ASSERT_TRUE(link->OpenPort());
    link->StartJob(4, 1);
    // The PLC repeats its reply, then a reply to nothing arrives.
    ASSERT_TRUE(WaitUntil([&] { return link->Stats.strayFrames == 1; }));
    emu.SendUnsolicited({1, 3, 2, 0x00, 0x07});
    ASSERT_TRUE(WaitUntil([&] { return link->Stats.strayFrames == 2; }));
    EXPECT_EQ(job.replies.size(), 1u);   // not answered twice
    EXPECT_EQ(emu.RequestCount(), 1u);   // and nothing resent
    EXPECT_TRUE(frame.msgs.empty());
    ExpectOnlyGoodData(job);
    // It goes before the read is sent, and the read gets its own answer.
    again = true;
    link->StartComTmr();
    ASSERT_TRUE(WaitUntil([&] { return job.replies.size() == 2; }));
    EXPECT_EQ(emu.RequestCount(), 2u);
    ExpectOnlyGoodData(job);
    link->EndJob();
}

TEST_F(LinkFaults, SplitRepliesAndNoiseBeforeTheFrameAreAssembled) {
    // The parts far enough apart that a busy machine still sees them.
    emu.AddFault({.action = FaultAction::Fragment, .function = 3, .param = 5, .param2 = 60});
    emu.AddFault({.action = FaultAction::Garbage, .function = 3, .skip = 1, .text = "\x01~~"});
    emu.AddFault({.action = FaultAction::DoubleColon, .function = 3, .skip = 2});
    ReadJob job(3);
    ASSERT_TRUE(RunJob(4, job));
    EXPECT_EQ(emu.RequestCount(), 3u);  // no resend
    ASSERT_EQ(job.replies.size(), 3u);
    ExpectOnlyGoodData(job);
    EXPECT_TRUE(frame.Saw(LampColor::Green));
    EXPECT_TRUE(frame.msgs.empty());
}

TEST_F(LinkFaults, FailedPollStopsEveryClientWithItsMessage) {
    // A time-out, an exception and a frame that stays bad after 3 resends:
    // each stops monitoring with its message instead of polling on silently.
    const std::pair<FaultRule, int> cases[] = {
        {Rule(FaultAction::Drop, 1), 83},
        {Rule(FaultAction::Exception, 1, 2), 192},
        {Rule(FaultAction::BadLrc, 4), 199},
    };
    for (const auto& [fault, msgId] : cases) {
        ReadClient a(0x1000, 1), b(0x1001, 1);
        link->RegisterMonitorClient("1", &a);
        link->RegisterMonitorClient("2", &b);
        FaultRule r = fault;
        r.skip = 8;
        emu.ClearFaults();
        emu.AddFault(r);
        frame.msgs.clear();
        frame.monitoringStopped = 0;
        ASSERT_TRUE(link->OpenPort());
        link->AddMonitorClient("1");
        link->AddMonitorClient("2");
        ASSERT_TRUE(WaitUntil([&] { return !frame.msgs.empty(); })) << msgId;
        EXPECT_EQ(frame.msgs[0].id, msgId);
        EXPECT_TRUE(link->MonitorClients.empty());
        EXPECT_EQ(frame.monitoringStopped, 1);
        EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
        EXPECT_FALSE(link->ComTmr.isActive());
        EXPECT_FALSE(link->ReplyTmr.isActive());
        const std::size_t n = emu.RequestCount();
        Spin(30);
        EXPECT_EQ(emu.RequestCount(), n) << msgId;
        EXPECT_EQ(frame.msgs.size(), 1u);
    }
}

TEST_F(LinkFaults, ReplyAfterTheTimeOutIsNotTakenForTheNextRequest) {
    emu.AddFault(Rule(FaultAction::Delay, 1, 1500));  // longer than the 900 ms time-out
    ReadJob job(1);
    ASSERT_TRUE(RunJob(4, job));
    EXPECT_EQ(frame.Ids(), std::vector<int>{83});
    EXPECT_TRUE(job.replies.empty());
    Spin(1000);  // the late reply arrives at a closed port
    EXPECT_TRUE(job.replies.empty());
}

// ---------------------------------------------------------------------------
// Which replies the link takes and when it acts on them: the station is not
// compared, echoes are compared whole, every request's reply goes to the one
// that sent it, messages wait until the port's notification has returned, and
// the pause of variant 2 PLCs does not hold up the GUI thread.

TEST_F(LinkFixture, ReplyFromAnotherStationIsTaken) {
    emu.S.regs[0x1000] = 0x1234;
    for (int station : {2, 0x80}) {
        emu.ClearLog();
        emu.AddFault({.action = FaultAction::WrongStation, .function = 3, .param = station});
        SequenceJob job({[](TTransData& l) { l.SendCommand(0x1000, 1, 3); }});
        ASSERT_TRUE(RunJob(4, job)) << station;
        EXPECT_EQ(emu.RequestCount(), 1u) << station;  // not resent
        ASSERT_EQ(job.replies.size(), 1u) << station;
        EXPECT_EQ(job.replies[0][2] << 8 | job.replies[0][3], 0x1234);
        // Outside the hand-held programmer's link the station byte stays.
        EXPECT_EQ(frame.StationByte(), 1);
    }
    EXPECT_TRUE(frame.msgs.empty());
}

TEST_F(LinkFixture, EchoThatDiffersFromTheRequestIsABadFrame) {
    struct Case {
        std::uint16_t address, value;
        std::uint8_t function;
        std::string request, reply;
    };
    const Case cases[] = {
        {0x0C40, 0xFF00, 5, ":01050C40FF00AF\r\n", ":01050C400000AE\r\n"},  // coil left OFF
        {0x1475, 0x6C2D, 6, ":010614756C2DD7\r\n", ":01061475000070\r\n"},
        {14, 0, 8, ":01080EE9\r\n", ":010846B1\r\n"},  // another sub-function
        {14, 0, 8, ":01080EE9\r\n", ":0108F7\r\n"},    // no sub-function at all
    };
    for (const Case& c : cases) {
        const std::string what = c.reply.substr(0, c.reply.size() - 2);
        auto send = [&c](TTransData& l) { l.SendCommand(c.address, c.value, c.function); };
        // Answered right, the write is done and reported so.
        emu.S.regs[qel::test::PlcEmulator::kD1141] = 0x6C2D;
        emu.ClearFaults();
        emu.ClearLog();
        frame.msgs.clear();
        SequenceJob good({send});
        ASSERT_TRUE(RunJob(4, good)) << what;
        ASSERT_EQ(emu.RequestCount(), 1u) << what;
        EXPECT_EQ(emu.Log()[0].request, c.request) << what;
        EXPECT_EQ(good.replies.size(), 1u) << what;
        EXPECT_TRUE(frame.msgs.empty()) << what;

        // A wrong echo is resent, and after the third resend the job ends
        // with message 199: never reported done.
        emu.ClearLog();
        emu.AddFault({.action = FaultAction::Raw, .function = c.function, .times = -1, .text = c.reply});
        SequenceJob bad({send});
        ASSERT_TRUE(RunJob(4, bad)) << what;
        EXPECT_EQ(emu.RequestCount(), 4u) << what;
        EXPECT_TRUE(bad.replies.empty()) << what;
        EXPECT_EQ(bad.aborted, 1) << what;
        ASSERT_EQ(frame.msgs.size(), 1u) << what;
        EXPECT_EQ(frame.msgs[0].id, 199) << what;
        EXPECT_EQ(frame.msgs[0].detail, c.reply) << what;
    }
}

TEST_F(LinkFixture, RequestSentOutsideAStepReachesItsJob) {
    // Monitoring ran and ended; then a window starts its job by sending the
    // first request itself, as the register and file-register transfers do.
    emu.S.regs[0x1000] = 5;
    ReadClient client(0x1000, 1);
    link->RegisterMonitorClient("1", &client);
    ASSERT_TRUE(link->OpenPort());
    link->AddMonitorClient("1");
    ASSERT_TRUE(WaitUntil([&] { return client.values.size() >= 2; }));
    link->RemoveMonitorClient("1");
    ASSERT_TRUE(WaitUntil([&] { return link->MaySend && !port->IsOpen(); }));
    const std::size_t polled = client.values.size();  // one spin may take a third

    ScriptJob job;
    job.reply = [](TTransData& l) { l.EndJob(); };
    link->RegisterJob(9, &job);
    ASSERT_TRUE(link->OpenPort());
    link->JobNo = 9;
    link->Phase = 1;
    link->SendCommand(0x13E9, 3, 3);
    ASSERT_TRUE(WaitUntil([&] { return link->JobNo == 0; }));
    ASSERT_EQ(job.replies.size(), 1u);
    EXPECT_EQ(job.replies[0][1], 6);  // the three identification words
    EXPECT_EQ(client.values.size(), polled);
    EXPECT_TRUE(frame.msgs.empty());

}

namespace {
// A frame whose messages are modal boxes: each runs its own event loop until
// the link has made progress, or the wait limit passes.
class BoxFrame : public RecordingFrame {
public:
    void ShowLinkMessage(int id, const std::string& detail) override {
        RecordingFrame::ShowLinkMessage(id, detail);
        const int before = progress();
        QEventLoop box;
        QTimer poll;
        QElapsedTimer bound;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (progress() > before || bound.hasExpired(kWaitLimitMs)) box.quit();
        });
        bound.start();
        poll.start(2);
        box.exec();
        linkRanDuringBox.push_back(progress() > before);
    }
    std::function<int()> progress;
    std::vector<bool> linkRanDuringBox;
};

class LinkWithBoxes : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        link.reset();  // the port serves one link at a time
        link = std::make_unique<TTransData>(port.get(), &box);
        link->SetTickMs(kTestTickMs);
    }
    void TearDown() override { link.reset(); }  // before its frame
    BoxFrame box;
};
}  // namespace

TEST_F(LinkWithBoxes, MessageBoxOfAReplyLeavesTheLinkRunning) {
    // A queued write the PLC refuses is reported from the notification of
    // its reply; the job goes on, not aborted. Its box opens after the
    // notification has returned, so the job's requests and replies go on
    // while it is open.
    emu.S.regs[0x1000] = 3;
    ScriptJob job;
    job.request = [](TTransData& l) { l.SendCommand(0x1000, 1, 3); };
    job.reply = [&](TTransData& l) {
        if (job.replies.size() == 1) l.QueueDeviceWrite(0x7000, 0xFF00, 0, 5);  // no such coil
        if (job.replies.size() == 4) l.EndJob();
    };
    box.progress = [&] { return static_cast<int>(job.replies.size()); };
    ASSERT_TRUE(RunJob(4, job));
    ASSERT_EQ(box.msgs.size(), 1u);
    EXPECT_EQ(box.msgs[0].id, 192);
    EXPECT_EQ(box.linkRanDuringBox, std::vector<bool>{true});
    EXPECT_EQ(job.replies.size(), 4u);
    EXPECT_EQ(job.aborted, 0);
}

TEST_F(LinkFixture, Variant2PauseLetsTheEventLoopRun) {
    // The pause after a reply of a variant 2 PLC: an event posted when the
    // good reply came (its red lamp) runs before the reply is acted on, and
    // each reply is acted on once.
    emu.S.regs[0x1000] = 0x0102;
    link->PlcVariant = 2;
    bool posted = false;
    std::vector<bool> ranBeforeStep;
    QObject context;
    frame.onRed = [&] {
        posted = false;
        QTimer::singleShot(0, &context, [&] { posted = true; });
    };
    ScriptJob job;
    job.request = [](TTransData& l) { l.SendCommand(0x1000, 1, 3); };
    job.reply = [&](TTransData& l) {
        ranBeforeStep.push_back(posted);
        if (job.replies.size() == 3) l.EndJob();
    };
    ASSERT_TRUE(RunJob(4, job));
    EXPECT_EQ(ranBeforeStep, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(emu.RequestCount(), 3u);
    EXPECT_EQ(job.replies[2][2] << 8 | job.replies[2][3], 0x0102);
    EXPECT_EQ(link->Stats.strayFrames, 0u);
    EXPECT_TRUE(frame.msgs.empty());
    EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
}

// ---------------------------------------------------------------------------
// The scheduler's order of service over a pseudo-terminal: the PLC
// information query, monitor set-ups, queued coil and register writes, the
// monitor round robin with its status polls, and the running job.

namespace {
// Function and address of the n-th request the emulator received.
std::pair<int, int> FnAddr(const PlcEmulator& e, std::size_t n) {
    const auto& b = e.Log().at(n).bytes;
    return {b.at(1), b.size() >= 4 ? (b[2] << 8 | b[3]) : -1};
}
}  // namespace

TEST_F(LinkFixture, OrderOfServiceWithMonitorClients) {
    emu.S.regs[0x1000] = 11;  // D0, read by client "1"
    emu.S.regs[0x1001] = 22;  // D1, read by client "3"
    emu.S.regs[0x13F2] = 7;   // D1010 scan time
    emu.S.coils[0x0C30] = 1;  // M1072: running
    ReadClient ladder(0x1000, 1), devMon(0x1001, 1);
    link->RegisterMonitorClient("1", &ladder);
    link->RegisterMonitorClient("3", &devMon);
    ASSERT_TRUE(link->OpenPort());
    // Everything is pending before the first tick runs.
    gLadderMonitorRefresh = 1;
    link->QueueDeviceWrite(0x1002, 1, 5, 16);
    link->QueueDeviceWrite(0x0500, 0xFF00, 0, 5);  // Y0 ON
    link->AddMonitorClient("1");
    link->AddMonitorClient("3");
    ASSERT_TRUE(WaitUntil([&] { return emu.RequestCount() >= 30; }));

    std::vector<std::pair<int, int>> expected = {
        {3, 5097},    // information query: type word
        {3, 0x1400},  // information query: D1024
        {16, 0x1000}, // the ladder's monitor set-up
        {5, 0x0500},  // queued coil write
        {5, 3072},    // the monitor coil ON queued by the information query
        {16, 0x1002}, // queued register write
    };
    for (int i = 0; i < 20; ++i) expected.push_back({3, i % 2 ? 0x1001 : 0x1000});
    expected.push_back({3, 5106});  // scan time after 20 client replies
    expected.push_back({1, 3120});  // then the run/stop bit
    expected.push_back({3, 0x1000});
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(FnAddr(emu, i), expected[i]) << i;

    EXPECT_EQ(ladder.setups, 1);
    EXPECT_EQ(First(ladder.values), 1);  // the set-up wrote 1 to D0
    EXPECT_EQ(First(devMon.values), 22);
    EXPECT_EQ(frame.scanTimes, std::vector<std::uint16_t>{7});
    EXPECT_EQ(frame.runStates, std::vector<bool>{true});
    EXPECT_EQ(frame.variant, 0);
    EXPECT_EQ(link->BlockMonitor, 1u);  // family class 1
    EXPECT_TRUE(emu.S.monitorCoil);
    EXPECT_TRUE(frame.Saw(qel::link::LampColor::Aqua));

    // Removing the last client leaves the link idle: the port closes.
    link->RemoveMonitorClient("1");
    link->RemoveMonitorClient("3");
    EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
    EXPECT_TRUE(frame.msgs.empty());
}

TEST_F(LinkFixture, InformationQuerySelectsTheAlternateMonitorAreas) {
    emu.Configure(0, 1, 60);       // class 0, model 60: no block monitor
    emu.S.regs[0x1400] = 2;        // D1024
    ReadClient client(0x1000, 1);
    link->RegisterMonitorClient("3", &client);
    ASSERT_TRUE(link->OpenPort());
    link->AddMonitorClient("3");
    ASSERT_TRUE(WaitUntil([&] { return client.values.size() >= 1; }));
    EXPECT_EQ(link->PlcVariant, 2);
    EXPECT_EQ(link->MonitorBase[0], 3128);
    EXPECT_EQ(link->MonitorBase[4], 17484);
    EXPECT_EQ(link->BlockMonitor, 0u);
    EXPECT_EQ(link->PlcCapacity, 7584u);
    EXPECT_EQ(link->PlcFamilyClass, 0);
    EXPECT_EQ(FnAddr(emu, 2), std::make_pair(5, 3128));
    EXPECT_EQ(frame.variant, 2);
}

TEST_F(LinkFixture, QueuedCoilWriteGoesBeforeTheJobsNextStep) {
    ScriptJob job;
    int step = 0;
    job.request = [&](TTransData& l) { l.SendCommand(0x1000 + step, 1, 3); };
    job.reply = [&](TTransData& l) {
        if (++step == 1) l.QueueDeviceWrite(0x0501, 0xFF00, 0, 5);
        if (step == 3) l.EndJob();
    };
    ASSERT_TRUE(RunJob(4, job));
    ASSERT_EQ(emu.RequestCount(), 4u);
    const std::pair<int, int> expected[] = {{3, 0x1000}, {5, 0x0501}, {3, 0x1001}, {3, 0x1002}};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(FnAddr(emu, i), expected[i]) << i;
    EXPECT_EQ(job.replies.size(), 3u);  // the write's reply is not the job's
    EXPECT_TRUE(frame.Saw(qel::link::LampColor::Yellow));
    EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
}

TEST_F(LinkFixture, NoJobRunsWhileMonitorClientsAreRegistered) {
    ReadClient client(0x1000, 1);
    link->RegisterMonitorClient("1", &client);
    ScriptJob job;
    int phaseSeen = -1;
    job.request = [&](TTransData& l) {
        phaseSeen = l.Phase;
        l.SendCommand(0x1005, 1, 3);
    };
    link->RegisterJob(10, &job);
    ASSERT_TRUE(link->OpenPort());
    link->AddMonitorClient("1");
    ASSERT_TRUE(WaitUntil([&] { return client.values.size() >= 1; }));
    link->StartJob(10, 7);
    ASSERT_TRUE(WaitUntil([&] { return client.values.size() >= 5; }));
    EXPECT_EQ(job.requests, 0);
    link->RemoveMonitorClient("1");
    ASSERT_TRUE(WaitUntil([&] { return job.requests > 0; }));
    EXPECT_EQ(phaseSeen, 7);  // the job resumes at the step it was given
    link->EndJob();
}

TEST_F(LinkFixture, FullWriteQueueRefusesWithAMessageAndLosesNothing) {
    // The port is closed, so nothing is sent while the queue fills.
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(link->QueueDeviceWrite(static_cast<std::uint16_t>(0x0800 + i), 0xFF00, 0, 5));
    EXPECT_FALSE(link->QueueDeviceWrite(0x0900, 0xFF00, 0, 5));
    EXPECT_EQ(frame.Ids(), std::vector<int>{kMsgWriteQueueFull});
    // The register queue is a queue of its own.
    EXPECT_TRUE(link->QueueDeviceWrite(0x1000, 1, 9, 16));

    ASSERT_TRUE(link->OpenPort());
    link->StartComTmr();
    ASSERT_TRUE(WaitUntil([&] { return emu.RequestCount() == 51 && !port->IsOpen(); }));
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(emu.S.coils[0x0800 + i]) << i;
    EXPECT_FALSE(emu.S.coils[0x0900]);
    EXPECT_EQ(emu.S.regs[0x1000], 9);
}

TEST_F(LinkFixture, RegisterWriteStillQueuedKeepsThePortOpen) {
    ScriptJob job;
    job.request = [](TTransData& l) { l.SendCommand(0x1000, 1, 3); };
    job.reply = [](TTransData& l) {
        l.EndJob();
        l.QueueDeviceWrite(0x1003, 1, 0x55, 16);
    };
    ASSERT_TRUE(RunJob(4, job));
    ASSERT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
    // Closed only after the queued write was answered.
    ASSERT_EQ(emu.RequestCount(), 2u);
    EXPECT_EQ(emu.S.regs[0x1003], 0x55);
}

// A job cancelled while a queued write or a monitor poll is the request
// awaiting its reply: that request keeps its own time-out. Its reply lost,
// the time-out still comes (message 83), the line is free again, the idle
// port closes and the next job runs, instead of everything waiting forever
// for a reply no timer watches any more.
TEST_F(LinkFixture, CancelKeepsTheTimeOutOfAnOutstandingWriteOrPoll) {
    struct Case {
        const char* what;
        FaultRule drop;
        int address;  // of the request whose reply is lost
        bool monitor;
    } cases[] = {
        {"register write", {.action = FaultAction::Drop, .function = 16}, 0x1003, false},
        {"coil write", {.action = FaultAction::Drop, .function = 5}, 0x0501, false},
        {"monitor poll", {.action = FaultAction::Drop, .function = 3, .addrLo = 0x1001, .addrHi = 0x1001}, 0x1001, true},
    };
    const int replyMs = 900;  // 180 ticks of the tests' 5 ms
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emu.ClearFaults();
        emu.ClearLog();
        emu.AddFault(c.drop);
        frame.msgs.clear();
        // A job reading D0 until it is cancelled; after its first reply it
        // queues the write, which goes out before the job's next step.
        ScriptJob job;
        job.request = [](TTransData& l) { l.SendCommand(0x1000, 1, 3); };
        job.reply = [&](TTransData& l) {
            if (job.replies.size() != 1 || c.monitor) return;
            if (c.drop.function == 16)
                l.QueueDeviceWrite(0x1003, 1, 0x66, 16);
            else
                l.QueueDeviceWrite(0x0501, 0xFF00, 0, 5);
        };
        ReadClient client(0x1001, 1);
        link->RegisterMonitorClient("3", &client);
        link->RegisterJob(4, &job);
        ASSERT_TRUE(link->OpenPort());
        if (c.monitor) link->AddMonitorClient("3");  // the job waits for monitoring to end
        link->StartJob(4, 1);
        ASSERT_TRUE(WaitUntil([&] { return !Requests(c.drop.function, c.address, c.address + 1).empty(); }));
        ASSERT_FALSE(link->MaySend);
        const int requests = job.requests;
        link->CancelJob();

        // The lost reply is still watched: its time-out comes within one
        // reply time (a coarse timer may run up to 5 % late).
        EXPECT_TRUE(link->ReplyTmr.isActive());
        EXPECT_LE(link->ReplyTmr.remainingTime(), replyMs + replyMs / 20);
        ASSERT_TRUE(WaitUntil([&] { return !frame.msgs.empty(); }));
        EXPECT_EQ(frame.Ids(), std::vector<int>{kMsgTimeout});
        EXPECT_TRUE(link->MaySend);
        EXPECT_TRUE(link->MonitorClients.empty());
        EXPECT_TRUE(WaitUntil([&] { return !port->IsOpen(); }));
        EXPECT_EQ(job.requests, requests);
        EXPECT_TRUE(client.values.empty());

        // The next job runs to its end.
        emu.ClearLog();
        frame.msgs.clear();
        emu.S.regs[0x1002] = 0x4321;
        SequenceJob next({[](TTransData& l) { l.SendCommand(0x1002, 1, 3); }});
        ASSERT_TRUE(RunJob(4, next));
        ASSERT_EQ(next.replies.size(), 1u);
        ASSERT_EQ(next.replies[0].size(), 5u);  // function, byte count, one word, LRC
        EXPECT_EQ(next.replies[0][2] << 8 | next.replies[0][3], 0x4321);
        EXPECT_TRUE(frame.msgs.empty());
    }
}

// A job's step is its own: a monitor that comes and goes while the job runs
// (its information query included) leaves the step the job is at, so the
// answer of the request in flight and every later step go to that step.
TEST_F(LinkFixture, AMonitorAddedDuringAJobLeavesTheJobsStep) {
    struct Row {
        const char* path;
        int addAfterReplies;  // replies of the job before the monitor comes
        bool whileAwaited;    // added while the job's request awaits its answer
    } rows[] = {
        {"added while the job's answer is awaited", 0, true},
        {"added between two steps of the job", 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        ReadClient client(0x1000, 1);
        link->RegisterMonitorClient("3", &client);
        ScriptJob job;
        std::vector<int> phases;
        int step = 0;
        job.request = [&](TTransData& l) {
            phases.push_back(l.Phase);
            l.SendCommand(static_cast<std::uint16_t>(0x1010 + step), 1, 3);
        };
        job.reply = [&](TTransData& l) {
            phases.push_back(l.Phase);
            if (++step == row.addAfterReplies && !row.whileAwaited) l.AddMonitorClient("3");
            if (step == 3) l.EndJob();
        };
        emu.ClearFaults();
        emu.AddFault({.action = FaultAction::Delay, .function = 3, .addrLo = 0x1010, .addrHi = 0x1010, .param = 200});
        link->RegisterJob(4, &job);
        ASSERT_TRUE(link->OpenPort());
        link->StartJob(4, 7);
        if (row.whileAwaited) {
            ASSERT_TRUE(WaitUntil([&] { return emu.RequestCount() >= 1 && !link->MaySend; }));
            link->AddMonitorClient("3");
        }
        ASSERT_TRUE(WaitUntil([&] { return client.values.size() >= 2; }));
        link->RemoveMonitorClient("3");
        ASSERT_TRUE(Idle());
        EXPECT_EQ(job.replies.size(), 3u);
        EXPECT_EQ(phases, std::vector<int>(6, 7));
        EXPECT_EQ(job.aborted, 0);
        EXPECT_TRUE(frame.msgs.empty());
        link->RegisterMonitorClient("3", nullptr);
        link->RegisterJob(4, nullptr);
        emu.ClearLog();
    }
}
