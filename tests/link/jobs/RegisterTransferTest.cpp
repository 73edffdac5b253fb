// The register view's transfer with the PLC over a pseudo-terminal against
// the emulator: every page of every family read and written whole within the
// family's registers (the emulator refuses any other register), the wire
// addressing, the identification's refusals and the D limit of older PLCs,
// and faults and a cancel in the middle that leave the data as it was.
#include <array>
#include <random>

#include "tests/link/LinkTestSupport.h"
#include "core/DeviceLimits.h"
#include "link/jobs/Registergrid.h"
#include "link/jobs/Registertransfer.h"

using namespace qel::test;
using namespace qel::link;

namespace {

class RecordingHost : public TRegisterHost {
public:
    void StartProgress(int caption, int maximum) override {
        captions.push_back(caption);
        this->maximum = maximum;
    }
    void SetProgress(int p) override { position = p; }
    void TransferRunning(bool running, bool changed) override {
        this->running = running;
        if (!running) ended.push_back(changed);
    }
    bool CheckStopMonitor() override {
        ++stopAsked;
        return true;
    }
    std::vector<int> captions;
    std::vector<bool> ended;
    int maximum = -1, position = -1, stopAsked = 0;
    bool running = false;
};

std::uint32_t DataValue(const TRegisterData& d, int page, int n) {
    const auto i = static_cast<std::size_t>(n);
    return page == kRegPageD ? d.DRegs[i] : page == kRegPageC ? d.CRegs[i]
                             : page == kRegPageC32 ? d.C32Regs[i] : d.TRegs[i];
}

int PageSize(int page) { return std::array{kDRegCount, kCRegCount, kC32RegCount, kTRegCount}[static_cast<std::size_t>(page)]; }

// What each family's page moves, as runs of requests: the first register
// index, the registers of each request and the number of requests (on the
// high-speed counter page the index counts from C200). Writes of the C, counter
// and T pages move what their reads move.
struct Span {
    int first, count, requests;
};
struct PagePlan {
    int family, page;
    std::vector<Span> read, write;
};
const std::vector<Span> kCounterList = {{35, 1, 4}, {41, 1, 2}, {44, 1, 1}, {46, 1, 2}, {49, 1, 1}, {51, 1, 2}, {54, 1, 1}};
const PagePlan kPlans[] = {
    // Family 0 has no D600-D999 and never writes its own D1000 and up.
    {0, kRegPageD, {{0, 8, 75}, {1000, 8, 39}}, {{0, 8, 75}}},
    // Families 1 and 2 never write D1000-D1999. Family 2 has D600-D999 (the
    // view shows them and a write sends them), so its read takes them too.
    {1, kRegPageD, {{0, 16, 625}}, {{0, 8, 125}, {2000, 8, 1000}}},
    {2, kRegPageD, {{0, 8, 625}}, {{0, 8, 125}, {2000, 8, 375}}},
    {0, kRegPageC, {{0, 8, 16}}, {}},
    {1, kRegPageC, {{0, 8, 25}}, {}},
    {2, kRegPageC, {{0, 8, 16}}, {}},
    {0, kRegPageC32, kCounterList, {}},
    {1, kRegPageC32, {{0, 8, 7}}, {}},
    {2, kRegPageC32, kCounterList, {}},
    {0, kRegPageT, {{0, 8, 16}}, {}},
    {1, kRegPageT, {{0, 8, 32}}, {}},
    {2, kRegPageT, {{0, 8, 32}}, {}},
};

const std::vector<Span>& Runs(int page, int family, bool read) {
    for (const PagePlan& p : kPlans)
        if (p.family == family && p.page == page) return read || p.write.empty() ? p.read : p.write;
    static const std::vector<Span> none;
    return none;
}

// The link's register address of index n of a page.
int Wire(int page, int n) {
    switch (page) {
    case kRegPageD: return n < 4096 ? 0x1000 + n : 0x9000 + (n - 4096);
    case kRegPageC: return 0x0E00 + n;
    case kRegPageC32: return 0x0EC8 + n;
    default: return 0x0600 + n;
    }
}

// The emulator's value of register index n of a page.
std::uint32_t EmuValue(const PlcEmulator& emu, int page, int n) {
    return page == kRegPageC32 ? emu.S.c32[n] : emu.S.regs[static_cast<std::size_t>(Wire(page, n))];
}

// The requests (address, count) a transfer sends after the identification.
std::vector<std::pair<int, int>> Expected(int page, int family, bool read) {
    std::vector<std::pair<int, int>> r;
    for (const Span& run : Runs(page, family, read))
        for (int i = 0; i < run.requests; ++i) r.emplace_back(Wire(page, run.first + i * run.count), run.count);
    return r;
}

// The register indexes a transfer moves.
std::vector<bool> Covered(int page, int family, bool read) {
    std::vector<bool> covered(static_cast<std::size_t>(PageSize(page)), false);
    for (const Span& run : Runs(page, family, read))
        for (int i = 0; i < run.count * run.requests; ++i) covered[static_cast<std::size_t>(run.first + i)] = true;
    return covered;
}

class RegisterTransferTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        ResetDeviceLimits();
        link->SetComTmrIntervalMs(0);
        link->SetTickMs(3);  // time-outs of 540 ms: a busy machine is no dead PLC
        emu.S.registerRanges = true;
        transfer = std::make_unique<TRegisterTransfer>(*link, host);
    }
    void TearDown() override { ResetDeviceLimits(); }
    bool WaitEnd() {
        return WaitUntil([&] { return link->JobNo == 0 && link->MaySend && !link->MessagesPending() && !host.running; },
                           60000);
    }
    // The requests (address, count) the emulator received after the identification.
    std::vector<std::pair<int, int>> Sent() const {
        std::vector<std::pair<int, int>> c;
        for (const Transaction& t : emu.Log())
            if (t.bytes.size() >= 6) c.emplace_back(t.bytes[2] << 8 | t.bytes[3], t.bytes[4] << 8 | t.bytes[5]);
        EXPECT_FALSE(c.empty());
        if (!c.empty()) {
            EXPECT_EQ(c.front(), std::make_pair(0x13E9, 3));  // D1001-D1003 first
            c.erase(c.begin());
        }
        return c;
    }
    // Fills the emulator's registers of a family with a pattern of `seed`.
    void FillEmulator(unsigned seed) {
        std::mt19937 rng(seed);
        for (int n = 0; n < kDRegCount; ++n)
            if (n < 1000 || n > 1199) emu.S.regs[DRegisterAddress(n)] = static_cast<std::uint16_t>(rng());
        for (int n = 0; n < 256; ++n) {
            emu.S.regs[CRegisterAddress(n)] = static_cast<std::uint16_t>(rng());
            emu.S.regs[TRegisterAddress(n)] = static_cast<std::uint16_t>(rng());
        }
        for (auto& c : emu.S.c32) c = static_cast<std::uint32_t>(rng());
    }
    bool Run(int page, bool read, int family) {
        frame.msgs.clear();
        emu.ClearLog();
        if (!transfer->Start(data, page, read, family)) return false;
        return WaitEnd();
    }

    RecordingHost host;
    TRegisterData data;
    std::unique_ptr<TRegisterTransfer> transfer;
};

TEST_F(RegisterTransferTest, EveryPageOfEveryFamilyMovesItsRegistersInTheFamilysBlocksAndAddresses) {
    for (int family = 0; family < 3; ++family) {
        emu.Configure(family, 3, 90);
        FillEmulator(17u + static_cast<unsigned>(family));
        for (int page = kRegPageD; page <= kRegPageT; ++page) {
            SCOPED_TRACE("family " + std::to_string(family) + " page " + std::to_string(page));
            // Read: the page's registers the plan covers equal the PLC's, the
            // others keep the window's values.
            data = TRegisterData{};
            for (int n = 0; n < PageSize(page); ++n) {
                if (page == kRegPageD) data.DRegs[static_cast<std::size_t>(n)] = 0xBEEF;
                if (page == kRegPageC32) data.C32Regs[static_cast<std::size_t>(n)] = 0xBEEF;
            }
            const TRegisterData before = data;
            ASSERT_TRUE(Run(page, true, family));
            EXPECT_EQ(frame.Ids(), std::vector<int>{kMsgRegReadDone});
            ASSERT_EQ(host.ended.back(), true);
            EXPECT_EQ(host.captions.back(), kMsgRegReading);
            EXPECT_EQ(Sent(), Expected(page, family, true));
            const std::vector<bool> read = Covered(page, family, true);
            for (int n = 0; n < PageSize(page); ++n) {
                const std::uint32_t want = read[static_cast<std::size_t>(n)] ? EmuValue(emu, page, n) : DataValue(before, page, n);
                ASSERT_EQ(DataValue(data, page, n), want) << "register " << n;
            }
            // Every register the view shows as existing is read, except
            // family 0's D600-D999 that the PLC does not have.
            for (int n = 0; n < PageSize(page) && n < RegPageCells(page, family); ++n)
                if (RegisterInUse(page, family, n) && !(page == kRegPageC32 && family == 2))
                    ASSERT_TRUE(read[static_cast<std::size_t>(n)] || (page == kRegPageC && family == 2)) << n;

            // Write: new values reach exactly the registers of the write plan.
            std::mt19937 rng(99u + static_cast<unsigned>(page));
            for (auto& v : data.DRegs) v = static_cast<std::uint16_t>(rng());
            for (auto& v : data.CRegs) v = static_cast<std::uint16_t>(rng());
            for (auto& v : data.TRegs) v = static_cast<std::uint16_t>(rng());
            for (auto& v : data.C32Regs) v = static_cast<std::uint32_t>(rng());
            std::vector<std::uint32_t> plcBefore;
            for (int n = 0; n < PageSize(page); ++n) plcBefore.push_back(EmuValue(emu, page, n));
            const TRegisterData sent = data;
            ASSERT_TRUE(Run(page, false, family));
            EXPECT_EQ(frame.Ids(), std::vector<int>{kMsgRegWriteDone});
            EXPECT_EQ(data, sent);  // a write changes nothing in the window
            EXPECT_EQ(Sent(), Expected(page, family, false));
            const std::vector<bool> written = Covered(page, family, false);
            for (int n = 0; n < PageSize(page); ++n) {
                const std::uint32_t want = written[static_cast<std::size_t>(n)] ? DataValue(sent, page, n) : plcBefore[static_cast<std::size_t>(n)];
                ASSERT_EQ(EmuValue(emu, page, n), want) << "register " << n;
            }
        }
    }
    for (const Transaction& t : emu.Log()) ASSERT_EQ(t.reply.find(":0183"), std::string::npos) << t.request;
    for (const Transaction& t : emu.Log()) ASSERT_EQ(t.reply.find(":0190"), std::string::npos) << t.request;
}

TEST_F(RegisterTransferTest, OlderFamily0PlcsEndAtD1143AndAnotherFamilyIsRefused) {
    emu.Configure(0, 0, 72);
    ASSERT_TRUE(Run(kRegPageD, true, 0));
    EXPECT_EQ(frame.Ids(), std::vector<int>{kMsgRegReadDone});
    EXPECT_EQ(gDeviceLimitTable[0][kLimD], 1143);
    EXPECT_EQ(RegGridRows(kRegPageD, 0), 116);
    EXPECT_EQ(RegCellText(data, TRegView{kRegPageD, false, kRegDecimal, 0}, 1144), kNoUse);
    EXPECT_EQ(emu.RequestCount(), 1u + 75 + 18);

    // A PLC of family class 1 while the project is family 0: one request, refused.
    ResetDeviceLimits();
    emu.Configure(1, 3, 90);
    emu.ClearLog();
    data.DRegs.fill(7);
    const TRegisterData before = data;
    ASSERT_TRUE(Run(kRegPageD, true, 0));
    EXPECT_EQ(frame.Ids(), std::vector<int>{kMsgRegOtherModel});
    EXPECT_EQ(emu.RequestCount(), 1u);
    EXPECT_EQ(data, before);
    EXPECT_EQ(host.ended.back(), false);

    // While the PLC is monitored nothing starts; the user was asked to stop it.
    link->AddMonitorClient("9");
    EXPECT_FALSE(transfer->Start(data, kRegPageD, true, 0));
    EXPECT_EQ(host.stopAsked, 1);
    link->RemoveMonitorClient("9");
}

TEST_F(RegisterTransferTest, FaultsAndCancelInTheMiddleLeaveTheDataAsItWas) {
    emu.Configure(1, 3, 90);
    FillEmulator(5);
    struct Case {
        FaultAction action;
        int param;
        int times;
        int message;
    };
    const Case cases[] = {
        {FaultAction::Drop, 0, 1, kMsgTimeout},
        {FaultAction::Exception, 2, 1, kMsgExceptionBase + 2},
        {FaultAction::BadLrc, 0, -1, kMsgBadFrame},
        {FaultAction::LongData, 2, -1, kMsgBadFrame},
    };
    for (bool read : {true, false}) {
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(read ? "read " : "write ") + std::to_string(static_cast<int>(k.action)));
            data.DRegs.fill(0x1234);
            const TRegisterData before = data;
            emu.ClearFaults();
            // From the tenth block on.
            emu.AddFault({.action = k.action, .function = read ? 3 : 16, .addrLo = 0x1000 + 160, .addrHi = 0xFFFF,
                          .times = k.times, .param = k.param});
            ASSERT_TRUE(Run(kRegPageD, read, 1));
            ASSERT_FALSE(frame.msgs.empty());
            EXPECT_EQ(frame.msgs.back().id, k.message);
            EXPECT_EQ(data, before);
            EXPECT_EQ(host.ended.back(), false);
            EXPECT_EQ(link->JobNo, 0);
        }
    }
    emu.ClearFaults();

    // Cancel after the first blocks: message 245, nothing stored, the link free.
    data.DRegs.fill(0x4321);
    const TRegisterData before = data;
    frame.msgs.clear();
    ASSERT_TRUE(transfer->Start(data, kRegPageD, true, 1));
    ASSERT_TRUE(WaitUntil([&] { return host.position >= 3; }, 20000));
    transfer->Cancel();
    EXPECT_EQ(frame.Ids(), std::vector<int>{245});
    EXPECT_EQ(data, before);
    EXPECT_FALSE(transfer->Running());
    ASSERT_TRUE(WaitEnd());
    // The link takes the next transfer at once.
    ASSERT_TRUE(Run(kRegPageT, true, 1));
    EXPECT_EQ(frame.Ids(), std::vector<int>{kMsgRegReadDone});
}

}  // namespace
