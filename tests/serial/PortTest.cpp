// The component end to end over real pseudo-terminals: the test holds the
// master side, the component opens the slave through the injected resolver.
#include <gtest/gtest.h>

#include <termios.h>

#include <QCoreApplication>
#include <map>
#include <memory>
#include <numeric>
#include <thread>

#include "platform/Clock.h"
#include "serial/Osdispatcher.h"
#include "serial/Serialport.h"
#include "tests/support/Pty.h"
#include "tests/support/ScriptedMessages.h"

using namespace qel;
using namespace qel::test;
using namespace std::chrono_literals;

namespace {

// Runs `op`, which must throw E carrying `code`.
template <class E, class Op>
void ExpectThrowsCode(Op&& op, int32_t code) {
    try {
        op();
        ADD_FAILURE() << "no exception";
    } catch (const E& e) {
        EXPECT_EQ(e.ErrorCode(), code);
    }
}

class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureCoreApp();
        ptys_[1] = std::make_unique<Pty>();
        ptys_[2] = std::make_unique<Pty>();
        // Every number resolves here, so no test ever falls through to a real UART.
        SetComDeviceResolver([this](uint16_t n) -> std::string {
            auto it = ptys_.find(n);
            return it != ptys_.end() && it->second ? it->second->SlavePath() : "/nonexistent/qel-tty" + std::to_string(n);
        });
        Place(port);
    }
    void TearDown() override {
        port.SetOnTrigger(nullptr);
        if (port.Open()) port.SetOpen(false);
        SetComDeviceResolver(nullptr);
    }
    // The settings the link places on its component.
    static void Place(TComPort& p) {
        p.SetComNumber(1);
        p.SetBaud(9600);
        p.SetParity(pEven);
        p.SetDataBits(7);
        p.SetAutoOpen(false);
        p.SetRTS(false);
    }
    Pty& Master(uint16_t n = 1) { return *ptys_[n]; }
    TOsDispatcher* Disp() { return static_cast<TOsDispatcher*>(port.Dispatcher()); }
    // Waits for two more passes of the dispatcher, so that one has seen what came before.
    bool Settle() {
        const uint64_t passes = port.Dispatcher()->PassCount();
        return PumpUntil([&] { return port.Dispatcher()->PassCount() >= passes + 2; });
    }

    ScriptedMessages messages_;
    std::map<uint16_t, std::unique_ptr<Pty>> ptys_;
    TComPort port;
};

TEST(PortDevice, ResolverThenEnvironmentThenSettingsThenDefault) {
    ::unsetenv("QEL_COM41");
    SetComDeviceResolver(nullptr);
    SetComSettingsLookup(nullptr);
    EXPECT_EQ(ResolveComDevice(41), "/dev/ttyS40");
    SetComSettingsLookup([](uint16_t n) { return n == 41 ? std::string("/dev/from-settings") : std::string(); });
    EXPECT_EQ(ResolveComDevice(41), "/dev/from-settings");
    EXPECT_EQ(ResolveComDevice(42), "/dev/ttyS41");
    ::setenv("QEL_COM41", "/dev/from-env", 1);
    EXPECT_EQ(ResolveComDevice(41), "/dev/from-env");
    SetComDeviceResolver([](uint16_t n) { return n == 41 ? std::string("/dev/from-program") : std::string(); });
    EXPECT_EQ(ResolveComDevice(41), "/dev/from-program");
    // An empty answer passes the question on.
    ::setenv("QEL_COM42", "/dev/env42", 1);
    EXPECT_EQ(ResolveComDevice(42), "/dev/env42");
    ::unsetenv("QEL_COM41");
    ::unsetenv("QEL_COM42");
    SetComDeviceResolver(nullptr);
    SetComSettingsLookup(nullptr);
}

TEST_F(PortTest, ClosedPortRefusesWhatNeedsTheDevice) {
    auto expectNotOpen = [](auto&& op) { ExpectThrowsCode<ECommNotOpen>(op, -2007); };
    expectNotOpen([&] { port.PutBlock("x", 1); });
    expectNotOpen([&] { port.CharReady(); });
    expectNotOpen([&] { port.GetChar(); });
    expectNotOpen([&] { port.FlushInBuffer(); });
    expectNotOpen([&] { port.FlushOutBuffer(); });
    expectNotOpen([&] { port.AddTimerTrigger(); });
    expectNotOpen([&] { port.AddDataTrigger(":", true); });
    expectNotOpen([&] { port.SetTimerTrigger(8, 10, true); });
    EXPECT_NO_THROW(port.RemoveAllTriggers());
    EXPECT_EQ(port.OutBuffFree(), 4096);
    EXPECT_FALSE(port.Open());
}

TEST_F(PortTest, OpeningFailuresLeaveThePortClosed) {
    port.SetComNumber(7);  // resolves to a missing path
    ExpectThrowsCode<EBadId>([&] { port.SetOpen(true); }, -2001);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.PortState(), psClosed);
    EXPECT_EQ(port.Dispatcher(), nullptr);

    port.SetComNumber(0);
    port.SetPromptForPort(false);
    EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
    port.SetPromptForPort(true);
    EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
    EXPECT_EQ(port.Dispatcher(), nullptr);

    // Only the operating system's own device layer exists, and no telephony
    // layer ever opens a port for us.
    port.SetComNumber(1);
    port.SetDeviceLayer(dlWinsock);
    EXPECT_THROW(port.SetOpen(true), ENullApi);
    port.SetDeviceLayer(dlWin32);
    port.SetTapiMode(tmOn);
    EXPECT_THROW(port.SetOpen(true), ENotOpenedByTapi);
    port.SetTapiMode(tmAuto);
    EXPECT_EQ(port.Dispatcher(), nullptr);
    EXPECT_FALSE(port.Open());

    // A port held by one component is refused to another.
    port.SetComNumber(1);
    port.SetOpen(true);
    TComPort other;
    Place(other);
    ExpectThrowsCode<EAlreadyOpen>([&] { other.SetOpen(true); }, -2008);
    EXPECT_FALSE(other.Open());
    port.SetOpen(false);
    EXPECT_NO_THROW(other.SetOpen(true));
    EXPECT_TRUE(other.Open());
}

TEST_F(PortTest, OpensWithoutModemLinesAndAppliesTheLine) {
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.PortState(), psOpen);
    EXPECT_FALSE(Disp()->HasModemLines());
    EXPECT_FALSE(port.RTS());
    port.SetDTR(false);  // no modem lines: only remembered
    EXPECT_FALSE(port.DTR());
    EXPECT_FALSE(port.CTS());
    termios tio{};
    ASSERT_EQ(tcgetattr(Disp()->Fd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
    port.SetBaud(115200);
    ASSERT_EQ(tcgetattr(Disp()->Fd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B115200));
    int32_t baud;
    uint16_t parity;
    uint8_t bits, stop;
    ASSERT_EQ(port.Dispatcher()->GetLine(baud, parity, bits, stop), 0);
    EXPECT_EQ(baud, 115200);
    EXPECT_EQ(parity, pEven);  // what was asked, though a pty forces 8N1
    EXPECT_EQ(bits, 7);
    EXPECT_THROW(port.SetBaud(12345), EBaudRate);
    try {
        Disp()->StartDispatcher();
        ADD_FAILURE() << "started twice";
    } catch (const ESerialException& e) {
        EXPECT_STREQ(e.what(), "Dispatcher already started");
    }
    // Unchanged values are no-ops.
    EXPECT_NO_THROW(port.SetOpen(true));
    port.SetComNumber(1);
    EXPECT_TRUE(port.Open());
}

// A component as constructed, before the link places its own settings: 19200
// baud, 8 data bits, no parity, 1 stop bit, queues of 4096 bytes, DTR and RTS
// raised, opened by the first operation that needs the port.
TEST_F(PortTest, NewComponentOpensWithItsDefaultLine) {
    TComPort fresh;
    EXPECT_EQ(fresh.ComNumber(), 0);
    EXPECT_FALSE(fresh.Open());
    EXPECT_EQ(fresh.PortState(), psClosed);
    EXPECT_TRUE(fresh.PromptForPort());
    EXPECT_EQ(fresh.Baud(), 19200);
    EXPECT_EQ(fresh.Parity(), pNone);
    EXPECT_EQ(fresh.DataBits(), 8);
    EXPECT_EQ(fresh.StopBits(), 1);
    EXPECT_EQ(fresh.InSize(), 4096);
    EXPECT_EQ(fresh.OutSize(), 4096);
    EXPECT_TRUE(fresh.DTR());
    EXPECT_TRUE(fresh.RTS());
    EXPECT_TRUE(fresh.AutoOpen());
    EXPECT_EQ(ComName(12), "COM12");

    // Only the port number given: the first read opens the port with that line.
    fresh.SetComNumber(2);
    EXPECT_FALSE(fresh.CharReady());
    ASSERT_TRUE(fresh.Open());
    int32_t baud = 0;
    uint16_t parity = 99;
    uint8_t bits = 0, stop = 0;
    ASSERT_EQ(fresh.Dispatcher()->GetLine(baud, parity, bits, stop), 0);
    EXPECT_EQ(baud, 19200);
    EXPECT_EQ(parity, pNone);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(stop, 1);
    termios tio{};
    ASSERT_EQ(tcgetattr(static_cast<TOsDispatcher*>(fresh.Dispatcher())->Fd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B19200));
    EXPECT_EQ(fresh.OutBuffFree(), 4096);
    fresh.SetOpen(false);
}

TEST_F(PortTest, AutoOpenOnFirstUse) {
    port.SetAutoOpen(true);
    EXPECT_FALSE(port.CharReady());
    EXPECT_TRUE(port.Open());
}

TEST_F(PortTest, BlocksOfEverySizeGoOutUnchanged) {
    port.SetOpen(true);
    uint8_t v = 0, expect = 0;
    size_t total = 0;
    for (uint32_t size = 1; size <= 4096; size += (size < 70 ? 1 : 173)) {
        std::vector<uint8_t> b(size);
        for (auto& x : b) x = v++;
        ASSERT_TRUE(PumpUntil([&] { return port.OutBuffFree() >= size; }));
        port.PutBlock(b.data(), uint16_t(size));
        auto got = Master().Read(size);
        ASSERT_EQ(got.size(), size);
        for (auto x : got) ASSERT_EQ(x, expect++) << "block of " << size;
        total += size;
    }
    std::vector<uint8_t> full(4096, 0x5A);
    port.PutBlock(full.data(), 4096);
    EXPECT_EQ(Master().Read(4096), full);
    EXPECT_GT(total, 8192u);  // the output ring wrapped more than once
}

TEST_F(PortTest, BlocksOfEverySizeComeInUnchanged) {
    std::vector<uint8_t> got;
    port.SetOnTrigger([&](TCustomComPort* cp, uint16_t msg, uint16_t, uint16_t data) {
        if (msg != kTriggerAvail) return;
        for (uint16_t i = 0; i < data; ++i) got.push_back(uint8_t(cp->GetChar()));
    });
    port.SetOpen(true);
    uint8_t v = 0;
    size_t sent = 0;
    std::vector<uint32_t> sizes;
    for (uint32_t size = 1; size < DispatchBufferSize; size += (size < 40 ? 1 : 521)) sizes.push_back(size);
    sizes.push_back(DispatchBufferSize);
    for (uint32_t size : sizes) {
        std::vector<uint8_t> b(size);
        for (auto& x : b) x = v++;
        ASSERT_TRUE(Master().Write(b.data(), b.size()));
        sent += size;
        ASSERT_TRUE(PumpUntil([&] { return got.size() == sent; })) << got.size() << " of " << sent << " passes " << port.Dispatcher()->PassCount() << " used " << port.InBuffUsed() << " pending " << Master().SlavePending();
    }
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], uint8_t(i)) << i;
}

TEST_F(PortTest, ColonFiresOncePerFrameWhenSplitOverReads) {
    std::string frame;
    std::vector<std::string> frames;
    int dataNotices = 0;
    std::vector<uint16_t> counts;
    port.SetOnTrigger([&](TCustomComPort* cp, uint16_t msg, uint16_t, uint16_t data) {
        if (msg == kTriggerData) {
            ++dataNotices;
            frame.clear();
        } else if (msg == kTriggerAvail) {
            // The count covers the unread characters up to the next colon
            // and none of the colon's frame.
            const uint16_t unread = cp->InBuffUsed();
            EXPECT_GE(unread, data);
            if (data < unread) {
                EXPECT_EQ(cp->PeekChar(uint16_t(data + 1)), ':');
            }
            counts.push_back(data);
            for (uint16_t i = 0; i < data; ++i) {
                char c = cp->GetChar();
                frame += c;
                if (c == '\n') frames.push_back(frame);
            }
        }
    });
    port.SetOpen(true);
    port.AddDataTrigger(":", true);
    const std::string chunks[] = {":0103", "02", "00", "FA\r", "\n", ":", "0105\r\n:01", "06\r\n"};
    for (const auto& chunk : chunks) {
        ASSERT_TRUE(Master().Write(chunk));
        ASSERT_TRUE(Settle());  // a pass sees this chunk on its own
    }
    ASSERT_TRUE(PumpUntil([&] { return frames.size() == 3; }));
    EXPECT_EQ(dataNotices, 3);
    EXPECT_EQ(frames[0], ":01030200FA\r\n");
    // This handler leaves the colon to the characters-available notice.
    EXPECT_EQ(frames[1], ":0105\r\n");
    EXPECT_EQ(frames[2], ":0106\r\n");
    EXPECT_EQ(port.InBuffUsed(), 0);
    EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0), 13 + 7 + 7);
    EXPECT_TRUE(messages_.Shown().empty());
}

// Where the tick falls and what a re-arm moves: TickTest and DeliveryTest. Here
// the dispatcher's own thread fires the timer, once, on the injected clock.
TEST_F(PortTest, TimerExpiresOnTheTick) {
    ManualClock clock(0);
    const Clock* previous = SetSerialClock(&clock);
    std::vector<uint16_t> fired;
    port.SetOnTrigger([&](TCustomComPort*, uint16_t msg, uint16_t h, uint16_t) {
        if (msg == kTriggerTimer) fired.push_back(h);
    });
    port.SetOpen(true);
    uint16_t h = port.AddTimerTrigger();
    port.SetTimerTrigger(h, 2, true);
    clock.SetUs(164999);
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(fired.empty());
    clock.SetUs(165000);
    EXPECT_TRUE(PumpUntil([&] { return !fired.empty(); }));
    ASSERT_TRUE(Settle());
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0], h);
    port.SetOpen(false);
    SetSerialClock(previous);
}

TEST_F(PortTest, TriggersSurviveCloseAndReopenAndPortChange) {
    port.SetOpen(true);
    uint16_t t = port.AddTimerTrigger();
    uint16_t c = port.AddDataTrigger(":", true);
    port.SetOpen(false);
    port.SetOpen(true);
    EXPECT_NO_THROW(port.SetTimerTrigger(t, 10, true));
    EXPECT_THROW(port.SetTimerTrigger(c, 10, true), EBadTriggerHandle);

    port.SetComNumber(2);  // reopens on the second pty
    EXPECT_TRUE(port.Open());
    EXPECT_NO_THROW(port.SetTimerTrigger(t, 10, true));
    int dataNotices = 0;
    port.SetOnTrigger([&](TCustomComPort*, uint16_t msg, uint16_t h, uint16_t) {
        if (msg == kTriggerData && h == c) ++dataNotices;
    });
    ASSERT_TRUE(Master(2).Write(":"));
    EXPECT_TRUE(PumpUntil([&] { return dataNotices == 1; }));

    EXPECT_THROW(port.SetComNumber(9), EBadId);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.ComNumber(), 9);
    port.SetComNumber(1);
    port.SetOpen(true);
    EXPECT_NO_THROW(port.SetTimerTrigger(t, 10, true));  // still saved

    port.RemoveAllTriggers();
    EXPECT_THROW(port.SetTimerTrigger(t, 10, true), EBadTriggerHandle);
}

TEST_F(PortTest, FlushWhileTheOutputIsStalled) {
    port.SetOpen(true);
    std::vector<uint8_t> block(4096, 'x');
    // Nobody reads the master: the kernel fills up and the ring stops draining.
    bool stalled = false;
    for (int i = 0; i < 64 && !stalled; ++i) {
        port.PutBlock(block.data(), 4096);
        stalled = !PumpUntil([&] { return port.OutBuffUsed() == 0; }, 100ms);
    }
    ASSERT_TRUE(stalled);
    EXPECT_GT(port.OutBuffUsed(), 0);
    port.FlushOutBuffer();
    EXPECT_EQ(port.OutBuffUsed(), 0);
    EXPECT_EQ(port.OutBuffFree(), 4096);
    // The port still works afterwards.
    Master().ReadAvailable();
    port.PutBlock("END", 3);
    auto tail = Master().Read(3);
    ASSERT_GE(tail.size(), 3u);
    EXPECT_EQ(std::string(tail.end() - 3, tail.end()), "END");
}

TEST_F(PortTest, ClosingFromInsideTheHandler) {
    port.SetOpen(true);
    uint16_t t = port.AddTimerTrigger();
    TPortState inside = psOpen;
    bool putRefused = false;
    int calls = 0;
    port.SetOnTrigger([&](TCustomComPort* cp, uint16_t msg, uint16_t, uint16_t data) {
        if (msg != kTriggerAvail) return;
        ++calls;
        for (uint16_t i = 0; i < data; ++i) cp->GetChar();
        cp->SetOpen(false);
        inside = cp->PortState();
        try {
            cp->PutBlock("late", 4);
        } catch (const ECommNotOpen&) {
            putRefused = true;  // refused, not silently dropped
        }
    });
    ASSERT_TRUE(Master().Write("abc"));
    ASSERT_TRUE(PumpUntil([&] { return port.PortState() == psClosed; }));
    EXPECT_EQ(inside, psShuttingDown);
    EXPECT_TRUE(putRefused);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.Dispatcher(), nullptr);

    // Reopened, the triggers are back; closing and reopening inside one
    // handler opens again once the handler has returned.
    port.SetOpen(true);
    EXPECT_NO_THROW(port.SetTimerTrigger(t, 10, true));
    int reopenCalls = 0;
    port.SetOnTrigger([&](TCustomComPort* cp, uint16_t msg, uint16_t, uint16_t data) {
        if (msg != kTriggerAvail) return;
        ++reopenCalls;
        for (uint16_t i = 0; i < data; ++i) cp->GetChar();
        cp->SetOpen(false);
        cp->SetOpen(true);
        EXPECT_EQ(cp->PortState(), psShuttingDown);
    });
    int openings = 0;
    port.SetOnPortOpen([&](TCustomComPort*) { ++openings; });
    ASSERT_TRUE(Master().Write("x"));
    ASSERT_TRUE(PumpUntil([&] { return reopenCalls == 1 && port.PortState() == psOpen && openings == 1; }));
    EXPECT_TRUE(port.Open());
    ASSERT_TRUE(Master().Write("y"));
    EXPECT_TRUE(PumpUntil([&] { return reopenCalls == 2; }));
}

TEST_F(PortTest, NotificationsArriveOneAtATimeInOrder) {
    int depth = 0, maxDepth = 0;
    std::string got;
    bool nested = false;
    port.SetOnTrigger([&](TCustomComPort* cp, uint16_t msg, uint16_t, uint16_t data) {
        if (msg != kTriggerAvail) return;
        maxDepth = std::max(maxDepth, ++depth);
        for (uint16_t i = 0; i < data; ++i) got += cp->GetChar();
        if (!nested) {
            // A modal loop inside the handler, with more characters arriving.
            // The port need not read them while the handler runs (its reader
            // may be waiting for this notification to end): the short wait
            // only gives a nested notification the time to show.
            nested = true;
            Master().Write("def");
            PumpUntil([&] { return Master().SlavePending() == 0; }, 1s);
            for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
        }
        --depth;
    });
    port.SetOpen(true);
    ASSERT_TRUE(Master().Write("abc"));
    ASSERT_TRUE(PumpUntil([&] { return got.size() == 6; }));
    EXPECT_EQ(got, "abcdef");
    EXPECT_EQ(maxDepth, 1);
}

// The far end kept the device open while the port was closed: what it sent
// meanwhile (a late reply to the last opening's request) belongs to no
// request of this opening and is not delivered.
TEST_F(PortTest, OpeningStartsWithNothingReceived) {
    port.SetOpen(true);
    port.SetOpen(false);
    ASSERT_TRUE(Master().Write("stale"));
    ASSERT_TRUE(PumpUntil([&] { return Master().SlavePending() == 5; }));
    std::string got;
    port.SetOnTrigger([&](TCustomComPort* cp, uint16_t msg, uint16_t, uint16_t data) {
        if (msg != kTriggerAvail) return;
        for (uint16_t i = 0; i < data; ++i) got += cp->GetChar();
    });
    port.SetOpen(true);
    ASSERT_TRUE(Master().Write("fresh"));
    ASSERT_TRUE(PumpUntil([&] { return got.find("fresh") != std::string::npos; }));
    EXPECT_EQ(got, "fresh");
}

TEST_F(PortTest, ThousandOpeningsLeaveNothingBehind) {
    port.SetOpen(true);
    port.SetOpen(false);
    const int fds = OpenDescriptorCount();
    const int threads = ThreadCount();
    for (int i = 0; i < 1000; ++i) {
        port.SetOpen(true);
        ASSERT_TRUE(port.Open());
        port.SetOpen(false);
    }
    EXPECT_EQ(OpenDescriptorCount(), fds);
    // A joined thread can stay listed for a moment while the kernel reaps
    // it; one that was never joined stays for good.
    EXPECT_TRUE(PumpUntil([&] { return ThreadCount() == threads; })) << ThreadCount() << " threads, " << threads << " before";
    // And while open, the two threads are running.
    port.SetOpen(true);
    EXPECT_EQ(ThreadCount(), threads + 2);
    EXPECT_TRUE(PumpUntil([&] { return Disp()->RunningThreads() == 2; }));
}

TEST_F(PortTest, HangUpIsReportedAndCostsNoCpu) {
    port.SetOpen(true);
    Master().CloseMaster();
    ASSERT_TRUE(PumpUntil([&] { return port.DeviceLost(); }));
    EXPECT_THROW(port.PutBlock("x", 1), EInOutError);
    // A thread that kept polling the hung-up device would make its passes
    // back to back; an idle one makes one per 50 ms wake-up.
    const uint64_t passes = port.Dispatcher()->PassCount();
    const double cpu0 = ProcessCpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(PumpUntil([&] { return port.Dispatcher()->PassCount() >= passes + 6; }));
    const auto wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(wallMs, 5 * 50.0);
    EXPECT_LT(ProcessCpuMs() - cpu0, wallMs / 2);
    port.SetOpen(false);
    EXPECT_EQ(port.PortState(), psClosed);
}

// A clock that moves 10 ms each time it is read, so that a wait on it ends
// after a known number of looks without the test waiting that long.
class SteppingClock final : public Clock {
public:
    std::int64_t NowUs() const override { return now_.fetch_add(10000) + 10000; }
    std::int64_t PeekMs() const { return now_.load() / 1000; }

private:
    mutable std::atomic<std::int64_t> now_{0};
};

// Fills the device until the peer (which does not read) takes no more, then
// the output ring to the last byte; returns the bytes queued in all (0 when
// the ring never stayed full). A ring is taken as full only when no byte of
// it has left for half a second: a slow dispatcher (a loaded machine, the
// sanitizers) is not mistaken for a device that takes nothing more.
size_t FillUntilTheRingIsFull(TComPort& port) {
    std::vector<uint8_t> block(4096);
    size_t queued = 0;
    for (int i = 0; i < 256; ++i) {
        const uint16_t room = port.OutBuffFree();
        for (uint16_t k = 0; k < room; ++k) block[k] = uint8_t('a' + (queued++ % 26));
        if (room) port.PutBlock(block.data(), room);
        if (!PumpUntil([&] { return port.OutBuffFree() > 0; }, 500ms)) return queued;
    }
    return 0;
}

// A peer that has stopped reading holds a close up for the line time of what
// is still queued plus the margin, and no longer; then the rest is purged.
TEST_F(PortTest, ClosingWaitsForAPeerThatStoppedReadingOnlyTheLineTime) {
    SteppingClock clock;
    const Clock* previous = SetSerialClock(&clock);
    port.SetOpen(true);
    ASSERT_GT(FillUntilTheRingIsFull(port), 0u);
    ASSERT_EQ(port.OutBuffUsed(), 4096);
    // 4096 characters of 10 bits at 9600 baud need 4266.7 ms on the line.
    const std::int64_t bound = 4267 + 500;
    const std::int64_t start = clock.PeekMs();
    port.SetOpen(false);
    const std::int64_t waited = clock.PeekMs() - start;
    SetSerialClock(previous);
    EXPECT_GE(waited, bound);
    EXPECT_LE(waited, bound + 30);  // a few looks at the clock of 10 ms each
    EXPECT_EQ(port.PortState(), psClosed);
}

// The peer pauses for a second while the output ring is still full: closing
// lets all of it leave once the peer reads again, and purges nothing.
TEST_F(PortTest, ClosingWaitsForAReaderThatPauses) {
    port.SetOpen(true);
    const size_t queued = FillUntilTheRingIsFull(port);
    ASSERT_GT(queued, 0u);
    std::vector<uint8_t> got;
    std::thread reader([&] {
        std::this_thread::sleep_for(1s);  // the peer's pause
        got = Master().Read(queued);
    });
    port.SetOpen(false);
    reader.join();
    ASSERT_EQ(got.size(), queued);
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], uint8_t('a' + i % 26)) << i;
}

TEST_F(PortTest, ClosingLetsQueuedOutputLeaveFirst) {
    port.SetOpen(true);
    const std::string frame = ":010300000001FB\r\n";
    port.PutBlock(frame.data(), uint16_t(frame.size()));
    // Nobody has read the frame yet when the port closes.
    port.SetOpen(false);
    auto got = Master().Read(frame.size());
    EXPECT_EQ(std::string(got.begin(), got.end()), frame);
}

}  // namespace
