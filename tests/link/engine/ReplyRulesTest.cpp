// Which replies the link takes and when it acts on them: the station is not
// compared, echoes are compared whole, every request's reply goes to the one
// that sent it, messages wait until the port's notification has returned, and
// the pause of variant 2 PLCs does not hold up the GUI thread.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include "tests/link/LinkTestSupport.h"

using namespace qel::test;
using qel::link::LampColor;
using qel::link::TTransData;

namespace {

FaultRule Rule(FaultAction a, int function, int times = 1, int param = 0) {
    FaultRule r;
    r.action = a;
    r.function = function;
    r.times = times;
    r.param = param;
    return r;
}

FaultRule RawReply(int function, std::string text, int times = -1) {
    FaultRule r = Rule(FaultAction::Raw, function, times);
    r.text = std::move(text);
    return r;
}

// Sends one request, ends with its reply.
struct OneRequestJob : ScriptJob {
    OneRequestJob(std::uint16_t address, std::uint16_t countOrValue, std::uint8_t function) {
        request = [=](TTransData& l) { l.SendCommand(address, countOrValue, function); };
        reply = [](TTransData& l) { l.EndJob(); };
    }
};

}  // namespace

TEST_F(LinkFixture, ReplyFromAnotherStationIsTaken) {
    emu.S.regs[0x1000] = 0x1234;
    for (int station : {2, 0x80}) {
        emu.ClearLog();
        emu.AddFault(Rule(FaultAction::WrongStation, 3, 1, station));
        OneRequestJob job(0x1000, 1, 3);
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
        // Answered right, the write is done and reported so.
        emu.S.regs[qel::test::PlcEmulator::kD1141] = 0x6C2D;
        emu.ClearFaults();
        emu.ClearLog();
        frame.msgs.clear();
        OneRequestJob good(c.address, c.value, c.function);
        ASSERT_TRUE(RunJob(4, good)) << what;
        ASSERT_EQ(emu.RequestCount(), 1u) << what;
        EXPECT_EQ(emu.Log()[0].request, c.request) << what;
        EXPECT_EQ(good.replies.size(), 1u) << what;
        EXPECT_TRUE(frame.msgs.empty()) << what;

        // A wrong echo is resent, and after the third resend the job ends
        // with message 199: never reported done.
        emu.ClearLog();
        emu.AddFault(RawReply(c.function, c.reply));
        OneRequestJob bad(c.address, c.value, c.function);
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

    // The same from inside another job's step would be that job's; a queued
    // write between them keeps its own reply.
    ScriptJob second;
    second.request = [](TTransData& l) { l.SendCommand(0x1000, 1, 3); };
    second.reply = [&](TTransData& l) {
        if (second.replies.size() == 1) l.QueueDeviceWrite(0x0500, 0xFF00, 0, 5);
        if (second.replies.size() == 2) l.EndJob();
    };
    ASSERT_TRUE(RunJob(4, second));
    EXPECT_EQ(second.replies.size(), 2u);
    EXPECT_TRUE(emu.S.coils[0x0500]);
}

namespace {
// A frame whose messages are modal boxes: each runs its own event loop until
// the link has made progress, or a bound passes.
class BoxFrame : public RecordingFrame {
public:
    void ShowLinkMessage(int id, const std::string& detail) override {
        RecordingFrame::ShowLinkMessage(id, detail);
        const int before = progress();
        QEventLoop box;
        QTimer poll;
        QElapsedTimer bound;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (progress() > before || bound.hasExpired(1500)) box.quit();
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
    BoxFrame box;
};
}  // namespace

TEST_F(LinkWithBoxes, MessageBoxOfAReplyLeavesTheLinkRunning) {
    // A queued write the PLC refuses is reported from the notification of
    // its reply; the job goes on. Its box opens after the notification has
    // returned, so the job's requests and replies go on while it is open.
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
