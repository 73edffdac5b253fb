// The dispatcher's buffers, trigger tables, evaluation passes and delivery,
// driven pass by pass over a scripted device.
#include <gtest/gtest.h>

#include <future>
#include <numeric>
#include <thread>

#include "platform/Clock.h"
#include "serial/Serialerrors.h"
#include "tests/serial/FakeDispatcher.h"
#include "tests/support/WaitLimit.h"

using namespace qel;
using namespace qel::test;

namespace {

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetSerialClock(&clock_);
        ASSERT_EQ(d.Open(), 0);
        rec.Attach(d);
        d.ChangeLengthTrigger(1);
        // A delivery the test starts by hand is not given up on while the
        // test's thread waits to be scheduled; the tests of the time-out
        // itself set a short one.
        d.SetDeliveryTimeoutMs(kWaitLimitMs);
    }
    void TearDown() override { SetSerialClock(previous_); }
    void Pass() {
        d.ExtractData();
        d.CheckTriggers();
    }
    ManualClock clock_;
    const Clock* previous_ = nullptr;
    FakeDispatcher d;
    Recorder rec;
};

TEST_F(DispatcherTest, HandlesAreMultiplesOfEightAndComeBack) {
    EXPECT_EQ(d.AddTimerTrigger(), 8);
    EXPECT_EQ(d.AddDataTrigger(":", true), 16);
    EXPECT_EQ(d.AddTimerTrigger(), 24);
    d.RemoveAllTriggers();
    EXPECT_EQ(d.AddTimerTrigger(), 8);
    for (int i = 2; i <= 4095; ++i) ASSERT_EQ(d.AddTimerTrigger(), i * 8);
    EXPECT_EQ(d.RemoveTrigger(16), 0);
    EXPECT_EQ(d.RemoveTrigger(400), 0);
    // After 4095 handles, the smallest free one.
    EXPECT_EQ(d.AddDataTrigger("x", false), 16);
    EXPECT_EQ(d.AddTimerTrigger(), 400);
}

TEST_F(DispatcherTest, BadHandlesAndLimits) {
    int32_t data = d.AddDataTrigger(":", true);
    EXPECT_EQ(d.SetTimerTrigger(1, 10, true), ecBadTriggerHandle);
    EXPECT_EQ(d.SetTimerTrigger(0, 10, true), ecBadTriggerHandle);
    EXPECT_EQ(d.SetTimerTrigger(uint32_t(data), 10, true), ecBadTriggerHandle);
    EXPECT_EQ(d.RemoveTrigger(999), ecBadTriggerHandle);
    EXPECT_EQ(d.AddDataTriggerLen("0123456789012345678901", false, 22), ecTriggerTooLong);
    EXPECT_EQ(d.AddDataTriggerLen("012345678901234567890", false, 21), 16);
    EXPECT_EQ(d.AddStatusTrigger(6), ecBadArgument);
    TTriggerType type;
    EXPECT_EQ(d.FindTriggerFromHandle(1, false, type), ecBadTriggerHandle);
    EXPECT_EQ(d.FindTriggerFromHandle(uint32_t(data), false, type), 0);
    EXPECT_EQ(type, ttData);
}

TEST_F(DispatcherTest, TimerFiresOncePerArming) {
    clock_.SetUs(0);
    uint32_t h = uint32_t(d.AddTimerTrigger());
    ASSERT_EQ(d.SetTimerTrigger(h, 2, true), 0);
    clock_.SetUs(165000);
    EXPECT_TRUE(d.CheckTimerTriggers());
    ASSERT_EQ(rec.Notices.size(), 1u);
    EXPECT_EQ(rec.Notices[0].Msg, kTriggerTimer);
    EXPECT_EQ(rec.Notices[0].Trigger, h);
    EXPECT_EQ(rec.Notices[0].Data, 0u);
    clock_.SetUs(900000);
    EXPECT_FALSE(d.CheckTimerTriggers());

    // Ticks 0 re-arm with the interval given last.
    ASSERT_EQ(d.SetTimerTrigger(h, 0, true), 0);
    int32_t left = -1;
    EXPECT_EQ(d.TimerTicksRemaining(h, left), 0);
    EXPECT_EQ(left, 2);
    // Disarmed, it never fires.
    ASSERT_EQ(d.SetTimerTrigger(h, 0, false), 0);
    clock_.SetUs(5000000);
    EXPECT_FALSE(d.CheckTimerTriggers());
    EXPECT_EQ(rec.Notices.size(), 1u);
}

// The link re-arms its reply time-out before every request, often while the
// previous one still runs: the deadline moves to the new interval, counted
// from the re-arm, and the old one never fires.
TEST_F(DispatcherTest, RearmingARunningTimerMovesItsDeadline) {
    clock_.SetUs(0);
    uint32_t h = uint32_t(d.AddTimerTrigger());
    ASSERT_EQ(d.SetTimerTrigger(h, 2, true), 0);  // ends after tick 2: at 165 ms
    clock_.SetUs(110000);                          // tick 2, still running
    EXPECT_FALSE(d.CheckTimerTriggers());
    ASSERT_EQ(d.SetTimerTrigger(h, 2, true), 0);  // now ends after tick 4: at 275 ms
    int32_t left = -1;
    EXPECT_EQ(d.TimerTicksRemaining(h, left), 0);
    EXPECT_EQ(left, 2);
    clock_.SetUs(165000);
    EXPECT_FALSE(d.CheckTimerTriggers());
    clock_.SetUs(274999);
    EXPECT_FALSE(d.CheckTimerTriggers());
    EXPECT_TRUE(rec.Notices.empty());
    clock_.SetUs(275000);
    EXPECT_TRUE(d.CheckTimerTriggers());
    ASSERT_EQ(rec.Notices.size(), 1u);
    EXPECT_EQ(rec.Notices[0].Msg, kTriggerTimer);
    EXPECT_EQ(rec.Notices[0].Trigger, h);
    // A longer interval given to the running timer moves it out as far.
    clock_.SetUs(300000);                          // tick 5
    ASSERT_EQ(d.SetTimerTrigger(h, 90, true), 0);
    clock_.SetUs(330000);                          // tick 6
    ASSERT_EQ(d.SetTimerTrigger(h, 90, true), 0);  // ends after tick 96
    clock_.SetUs(96 * 55000 + 54999);
    EXPECT_FALSE(d.CheckTimerTriggers());
    clock_.SetUs(97 * 55000);
    EXPECT_TRUE(d.CheckTimerTriggers());
    EXPECT_EQ(rec.Notices.size(), 2u);
}

TEST_F(DispatcherTest, ColonThenCountOfTheRest) {
    d.AddDataTrigger(":", true);
    rec.Action = [&](const Recorder::Notice& n) {
        uint8_t c;
        if (n.Msg == kTriggerData) d.GetChar(c);  // the link takes the colon
        if (n.Msg == kTriggerAvail)
            for (uint32_t i = 0; i < n.Trigger; ++i) d.GetChar(c);
    };
    d.Feed(":01");
    d.ExtractData();
    EXPECT_TRUE(d.CheckTriggers());
    ASSERT_EQ(rec.Notices.size(), 1u);
    EXPECT_EQ(rec.Notices[0].Msg, kTriggerData);
    EXPECT_EQ(rec.Notices[0].Data, 1u);
    EXPECT_EQ(d.InBuffUsed(), 2u);
    EXPECT_TRUE(d.CheckTriggers());
    ASSERT_EQ(rec.Notices.size(), 2u);
    EXPECT_EQ(rec.Notices[1].Msg, kTriggerAvail);
    EXPECT_EQ(rec.Notices[1].Trigger, 2u);
    EXPECT_FALSE(d.CheckTriggers());
    EXPECT_EQ(d.InBuffUsed(), 0u);
}

TEST_F(DispatcherTest, SecondFrameStartingBeforeTheFirstWasRead) {
    d.AddDataTrigger(":", true);
    d.Feed("AB\r\n:01");
    Pass();
    // The characters before the colon are announced first, then the colon.
    ASSERT_GE(rec.Notices.size(), 2u);
    EXPECT_EQ(rec.Notices[0].Msg, kTriggerAvail);
    EXPECT_EQ(rec.Notices[0].Trigger, 4u);
    EXPECT_EQ(rec.Notices[1].Msg, kTriggerData);
}

TEST_F(DispatcherTest, UnreadCharactersAreAnnouncedAgainOnlyWithNewArrivals) {
    int readNow = 3;
    rec.Action = [&](const Recorder::Notice& n) {
        uint8_t c;
        for (int i = 0; i < readNow; ++i) d.GetChar(c);
    };
    d.Feed("12345");
    Pass();
    ASSERT_EQ(rec.Notices.size(), 1u);
    EXPECT_EQ(rec.Notices[0].Trigger, 5u);
    EXPECT_EQ(d.InBuffUsed(), 2u);
    Pass();
    EXPECT_EQ(rec.Notices.size(), 1u);
    readNow = 0;
    d.Feed("6");
    Pass();
    ASSERT_EQ(rec.Notices.size(), 2u);
    EXPECT_EQ(rec.Notices[1].Trigger, 3u);
}

TEST_F(DispatcherTest, TwoTriggersEndingOnOneCharacterLaterAddedFirst) {
    uint32_t ab = uint32_t(d.AddDataTrigger("AB", false));
    uint32_t b = uint32_t(d.AddDataTrigger("B", false));
    d.ChangeLengthTrigger(0);
    d.Feed("xAB");
    d.ExtractData();
    EXPECT_TRUE(d.CheckTriggers());
    ASSERT_EQ(rec.Notices.size(), 2u);
    EXPECT_EQ(rec.Notices[0].Trigger, b);
    EXPECT_EQ(rec.Notices[1].Trigger, ab);
    EXPECT_EQ(rec.Notices[1].Data, 2u);
}

TEST_F(DispatcherTest, ReadsInsideANotificationMoveTheTailOnlyAfterIt) {
    std::string seen;
    uint32_t usedInside = 0;
    rec.Action = [&](const Recorder::Notice&) {
        uint8_t c;
        for (int i = 0; i < 4 && d.CharReady(); ++i)
            if (d.GetChar(c) == 0) seen += char(c);
        usedInside = d.InBuffUsed();
        uint8_t peek = 0;
        EXPECT_EQ(d.PeekChar(peek, 1), 0);
        EXPECT_EQ(peek, 'e');
    };
    d.Feed("abcdef");
    Pass();
    EXPECT_EQ(seen, "abcd");
    EXPECT_EQ(usedInside, 2u);
    uint8_t c = 0;
    ASSERT_EQ(d.GetChar(c), 0);
    EXPECT_EQ(c, 'e');

    // A flush inside the handler drops everything readable at that moment.
    rec.Action = [&](const Recorder::Notice&) { d.FlushInBuffer(); };
    d.Feed("ghij");
    Pass();
    EXPECT_EQ(d.InBuffUsed(), 0u);
    EXPECT_FALSE(d.CharReady());
    c = 'z';
    EXPECT_EQ(d.GetChar(c), ecBufferIsEmpty);
    EXPECT_EQ(c, 'z');
}

TEST_F(DispatcherTest, FlushedColonRaisesNoDataTrigger) {
    d.AddDataTrigger(":", true);
    d.ChangeLengthTrigger(0);
    d.Feed("xx:yy");
    d.ExtractData();  // received, not yet scanned
    d.FlushInBuffer();
    EXPECT_FALSE(d.CheckTriggers());
    EXPECT_TRUE(rec.Notices.empty());
    d.Feed(":");
    Pass();
    EXPECT_EQ(rec.Notices.size(), 1u);
}

TEST_F(DispatcherTest, FullBufferHoldsTheRestInTheDriver) {
    d.ChangeLengthTrigger(0);
    d.Feed(DispatchBufferSize + 100, 0);
    EXPECT_TRUE(d.ExtractData());
    EXPECT_EQ(d.InBuffUsed(), DispatchBufferSize);
    EXPECT_EQ(d.InBuffFree(), 0u);
    EXPECT_TRUE(d.CharReady());
    EXPECT_EQ(d.Incoming.size(), 100u);
    EXPECT_TRUE(d.ExtractData());  // full: reads nothing
    EXPECT_EQ(d.Incoming.size(), 100u);
    std::vector<uint8_t> got(DispatchBufferSize + 100);
    ASSERT_EQ(d.GetBlock(got.data(), 5000), 5000);
    d.ExtractData();
    EXPECT_TRUE(d.Incoming.empty());
    ASSERT_EQ(d.GetBlock(got.data() + 5000, DispatchBufferSize + 100 - 5000), int32_t(DispatchBufferSize + 100 - 5000));
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], uint8_t(i)) << i;
    EXPECT_EQ(d.GetBlock(got.data(), 1), ecBufferIsEmpty);
}

TEST_F(DispatcherTest, AFullRingOfNewCharactersIsStillAnnounced) {
    std::vector<uint32_t> counts;
    rec.Action = [&](const Recorder::Notice& n) {
        counts.push_back(n.Trigger);
        std::vector<uint8_t> sink(n.Trigger);
        d.GetBlock(sink.data(), n.Trigger);
    };
    d.Feed(DispatchBufferSize, 0);
    Pass();
    d.Feed(DispatchBufferSize, 1);  // head lands on the same ring index
    Pass();
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0], DispatchBufferSize);
    EXPECT_EQ(counts[1], DispatchBufferSize);
}

TEST_F(DispatcherTest, OutputQueuesAllOrNothing) {
    EXPECT_EQ(d.PutBlock("x", 0), 0);
    EXPECT_EQ(d.OutBuffFree(), 4096u);
    std::vector<uint8_t> block(4097);
    std::iota(block.begin(), block.end(), uint8_t(0));
    EXPECT_EQ(d.PutBlock(block.data(), 4097), ecOutputBufferTooSmall);
    EXPECT_EQ(d.OutBuffUsed(), 0u);
    ASSERT_EQ(d.PutBlock(block.data(), 4096), 0);
    EXPECT_EQ(d.OutBuffFree(), 0u);
    EXPECT_EQ(d.PutBlock(block.data(), 1), ecOutputBufferTooSmall);
    EXPECT_EQ(d.TakeOutput(4096), std::vector<uint8_t>(block.begin(), block.begin() + 4096));

    ASSERT_EQ(d.PutBlock(block.data(), 1000), 0);
    EXPECT_EQ(d.FlushOutBuffer(), 0);
    EXPECT_EQ(d.OutBuffUsed(), 0u);
    EXPECT_TRUE(d.TakeOutput(10).empty());
}

TEST_F(DispatcherTest, LineChangesWriteOnlyWhatDiffers) {
    int writes = d.SetComStateCalls;
    EXPECT_EQ(d.SetLine(9600, 2, 7, 1), 0);
    EXPECT_EQ(d.SetLine(0, 5, 9, 3), 0);
    EXPECT_EQ(d.SetComStateCalls, writes);
    EXPECT_EQ(d.SetLine(19200, 5, 9, 3), 0);
    EXPECT_EQ(d.SetComStateCalls, writes + 1);
    int32_t baud;
    uint16_t parity;
    uint8_t bits, stop;
    ASSERT_EQ(d.GetLine(baud, parity, bits, stop), 0);
    EXPECT_EQ(baud, 19200);
    EXPECT_EQ(parity, 2);
    EXPECT_EQ(bits, 7);
    EXPECT_EQ(stop, 1);
    // Five data bits always take one and a half stop bits.
    EXPECT_EQ(d.SetLine(0, 5, 5, 1), 0);
    EXPECT_EQ(d.Device.StopBits, 1);
    ASSERT_EQ(d.GetLine(baud, parity, bits, stop), 0);
    EXPECT_EQ(stop, 2);
}

TEST_F(DispatcherTest, ModemLinesAndLineErrors) {
    d.EscapeResult = -5;  // a real failure of the device
    bool before = d.DtrState();
    EXPECT_EQ(d.SetDtr(!before), ecBadArgument);
    EXPECT_EQ(d.DtrState(), before);
    d.EscapeResult = 0;
    EXPECT_EQ(d.SetRts(true), 0);
    EXPECT_TRUE(d.RtsState());

    d.Lines = 0x10 | 0x80;
    EXPECT_EQ(d.GetModemStatus(), 0x10 | 0x80 | 0x01 | 0x08);
    EXPECT_EQ(d.GetModemStatus(), 0x10 | 0x80);  // change bits cleared
    d.Lines = 0x80;
    EXPECT_TRUE(d.CheckDeltaCTS());
    EXPECT_FALSE(d.CheckCTS());
    EXPECT_FALSE(d.CheckDeltaCTS());

    d.ErrorFlags = 8 | 2 | 16;
    EXPECT_EQ(d.GetLineError(), 2);  // overrun before framing
    EXPECT_EQ(d.GetLineError(), 9);  // framing was cleared with it; break is kept
    EXPECT_TRUE(d.CheckLineBreak());
    EXPECT_EQ(d.GetLineError(), 0);
    EXPECT_FALSE(d.CheckLineBreak());
    // Errors seen while queueing output are kept, not replaced.
    d.ErrorFlags = 4;
    EXPECT_EQ(d.PutBlock("a", 1), 0);
    EXPECT_EQ(d.GetLineError(), 3);
}

TEST_F(DispatcherTest, SavedTriggersComeBackAndFreshHandlesStayUnique) {
    uint32_t t = uint32_t(d.AddTimerTrigger());
    uint32_t c = uint32_t(d.AddDataTrigger(":", true));
    clock_.SetUs(0);
    d.SetTimerTrigger(t, 90, true);
    TTriggerSave save;
    d.SaveTriggers(save);
    d.DonePort();

    FakeDispatcher d2;
    ASSERT_EQ(d2.Open(), 0);
    d2.RestoreTriggers(save);
    TTriggerType type;
    EXPECT_EQ(d2.FindTriggerFromHandle(t, false, type), 0);
    EXPECT_EQ(type, ttTimer);
    EXPECT_EQ(d2.FindTriggerFromHandle(c, false, type), 0);
    EXPECT_EQ(type, ttData);
    int32_t left = 0;
    d2.TimerTicksRemaining(t, left);
    EXPECT_EQ(left, 90);
    int32_t fresh = d2.AddTimerTrigger();
    EXPECT_NE(uint32_t(fresh), t);
    EXPECT_NE(uint32_t(fresh), c);
    TBaseDispatcher::ClearSaveBuffers(save);
    EXPECT_FALSE(save.Timers.has_value());
}

TEST(DispatcherLifecycle, OpeningWritesTheLineClosingDrainsTheDriver) {
    FakeDispatcher never;
    EXPECT_TRUE(never.DonePort());
    FakeDispatcher d;
    // The device already reads back the wanted line; the opening still writes
    // it once, since that write is also what makes the device raw.
    d.Device.Baud = 9600;
    d.Device.ByteSize = 7;
    d.Device.Parity = 2;
    d.Device.StopBits = 0;
    ASSERT_EQ(d.Open(), 0);
    EXPECT_EQ(d.SetComStateCalls, 1);
    EXPECT_EQ(d.SetLine(9600, 2, 7, 1), 0);
    EXPECT_EQ(d.SetComStateCalls, 1);
    // Closing waits for the driver to send what it holds; what has left
    // needs no purge.
    d.DriverQueue = 5;
    EXPECT_TRUE(d.DonePort());
    EXPECT_EQ(d.DriverQueueAtClose, 0u);
    EXPECT_EQ(d.DriverQueueAtOutputPurge, UINT32_MAX);
    EXPECT_FALSE(d.IsOpen());
    EXPECT_EQ(d.PutBlock("a", 1), ecCommNotOpen);
    ASSERT_EQ(d.Open(), 0);  // a closed dispatcher opens again
    // Output that does not move (nobody takes it here) is purged at closing.
    ASSERT_EQ(d.PutBlock("abc", 3), 0);
    EXPECT_TRUE(d.DonePort());
    EXPECT_EQ(d.DriverQueueAtOutputPurge, 0u);
}

// A receiver whose deliveries the test runs (or never runs) by hand. With
// beginOnPost it starts each one as it is posted, before the dispatcher's
// time-out for it begins, however slowly the test's own thread is scheduled.
struct ManualWindow : TTriggerWindow {
    std::mutex m;
    std::vector<std::shared_ptr<TDelivery>> posted;
    bool beginOnPost = false;
    std::vector<bool> begun;
    void PostDelivery(std::shared_ptr<TDelivery> d) override {
        const bool started = beginOnPost && d->Begin();
        std::lock_guard lock(m);
        posted.push_back(std::move(d));
        begun.push_back(started);
    }
    std::shared_ptr<TDelivery> WaitPosted(size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(m);
                if (posted.size() >= n) return posted[n - 1];
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return nullptr;
    }
};

class DeliveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetSerialClock(&clock_);
        ASSERT_EQ(d.Open(), 0);
        d.RegisterWndTriggerHandler(&w);
        d.UpdateHandlerFlags(fuEnablePort);
        d.ChangeLengthTrigger(1);
        // A delivery the test starts by hand is not given up on while the
        // test's thread waits to be scheduled; the tests of the time-out
        // itself set a short one.
        d.SetDeliveryTimeoutMs(kWaitLimitMs);
    }
    void TearDown() override { SetSerialClock(previous_); }
    ManualClock clock_;
    const Clock* previous_ = nullptr;
    FakeDispatcher d;
    ManualWindow w;
};

TEST_F(DeliveryTest, ANotificationNeverStartedIsSentAgain) {
    d.SetDeliveryTimeoutMs(30);
    d.Feed("abc");
    d.ExtractData();
    EXPECT_FALSE(d.CheckTriggers());  // nobody ran it: cancelled
    ASSERT_EQ(w.posted.size(), 1u);
    EXPECT_FALSE(w.posted[0]->Begin());
    // The next pass offers the same characters again, without new arrivals.
    d.SetDeliveryTimeoutMs(kWaitLimitMs);
    auto pass = std::async(std::launch::async, [&] { return d.CheckTriggers(); });
    auto second = w.WaitPosted(2);
    ASSERT_TRUE(second);
    ASSERT_TRUE(second->Begin());
    EXPECT_EQ(second->TriggerHandle, 3u);
    uint8_t c;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(d.GetChar(c), 0);
    second->Finish();
    EXPECT_TRUE(pass.get());
    EXPECT_EQ(d.InBuffUsed(), 0u);
}

TEST_F(DeliveryTest, AStartedDeliveryIsWaitedForWhateverItTakes) {
    d.SetDeliveryTimeoutMs(10);
    d.Feed("xy");
    d.ExtractData();
    w.beginOnPost = true;
    auto pass = std::async(std::launch::async, [&] { return d.CheckTriggers(); });
    auto n = w.WaitPosted(1);
    ASSERT_TRUE(n);
    ASSERT_TRUE(w.begun[0]);
    // Far beyond the time-out the dispatcher still waits for the handler.
    EXPECT_EQ(pass.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    uint8_t c;
    EXPECT_EQ(d.GetChar(c), 0);
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(d.InBuffUsed(), 1u);  // tail not moved while the handler runs
    n->Finish();
    pass.get();
    EXPECT_EQ(d.InBuffUsed(), 1u);
    EXPECT_EQ(d.GetChar(c), 0);
    EXPECT_EQ(c, 'y');
}

TEST_F(DeliveryTest, ATimeOutFoundBeforeARearmIsDropped) {
    clock_.SetUs(0);
    uint32_t h = uint32_t(d.AddTimerTrigger());
    d.SetTimerTrigger(h, 1, true);
    clock_.SetUs(200000);
    auto pass = std::async(std::launch::async, [&] { return d.CheckTimerTriggers(); });
    auto n = w.WaitPosted(1);
    ASSERT_TRUE(n);
    // The owner re-arms for a new request before the old time-out runs.
    d.SetTimerTrigger(h, 90, true);
    EXPECT_FALSE(n->Begin());
    pass.get();
    int32_t left = 0;
    d.TimerTicksRemaining(h, left);
    EXPECT_EQ(left, 90);
    EXPECT_FALSE(d.CheckTimerTriggers());
}

}  // namespace
