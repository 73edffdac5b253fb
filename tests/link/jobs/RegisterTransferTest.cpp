// The register view's transfer with the PLC over a pseudo-terminal against
// the emulator: every page of every family read and written whole within the
// family's registers (the emulator refuses any other register), the wire
// addressing, the identification's refusals and the D limit of older PLCs,
// and faults and a cancel in the middle that leave the data as it was.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "core/DeviceLimits.h"
#include "link/jobs/Registerdata.h"
#include "link/jobs/Registergrid.h"
#include "link/jobs/Registertransfer.h"
#include "project/Fileio.h"
#include "project/Msgtable.h"
#include "tests/link/LinkTestSupport.h"

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
    {2, kRegPageC, {{0, 8, 25}}, {}},
    {0, kRegPageC32, kCounterList, {}},
    {1, kRegPageC32, {{0, 8, 7}}, {}},
    {2, kRegPageC32, {{0, 8, 7}}, {}},
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
        return WaitUntil([&] { return link->JobNo == 0 && link->MaySend && !link->MessagesPending() && !host.running; });
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
            ASSERT_EQ(Last(host.ended), true);
            EXPECT_EQ(Last(host.captions), kMsgRegReading);
            EXPECT_EQ(Sent(), Expected(page, family, true));
            const std::vector<bool> read = Covered(page, family, true);
            for (int n = 0; n < PageSize(page); ++n) {
                const std::uint32_t want = read[static_cast<std::size_t>(n)] ? EmuValue(emu, page, n) : DataValue(before, page, n);
                ASSERT_EQ(DataValue(data, page, n), want) << "register " << n;
            }
            // Every register the view shows is read, and every one it lets
            // the user change is written: no "completed" over values left
            // behind.
            const std::vector<bool> writes = Covered(page, family, false);
            TRegisterData typed;
            for (int n = 0; n < PageSize(page) && n < RegPageCells(page, family); ++n) {
                if (RegisterInUse(page, family, n)) {
                    ASSERT_TRUE(read[static_cast<std::size_t>(n)]) << n;
                }
                if (CommitRegisterEntry(typed, TRegView{page, page == kRegPageC32, kRegDecimal, family}, n, "1") ==
                    TRegCommit::Stored) {
                    ASSERT_TRUE(writes[static_cast<std::size_t>(n)]) << n;
                }
            }

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
    EXPECT_EQ(Last(host.ended), false);

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
            EXPECT_EQ(Last(host.ended), false);
            EXPECT_EQ(link->JobNo, 0);
        }
    }
    emu.ClearFaults();

    // Cancel after the first blocks: message 245, nothing stored, the link free.
    data.DRegs.fill(0x4321);
    const TRegisterData before = data;
    frame.msgs.clear();
    ASSERT_TRUE(transfer->Start(data, kRegPageD, true, 1));
    ASSERT_TRUE(WaitUntil([&] { return host.position >= 3; }));
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

// ---------------------------------------------------------------------------
// Register data files and the register view's grid texts and entries: save
// and open round trips, refusals of short, oversized, foreign and random
// files that leave the open data as it was, and the page layouts, "No Use"
// marks and entry checks of each model family.

namespace fs = std::filesystem;

namespace {

TRegisterData RandomData(unsigned seed) {
    std::mt19937 rng(seed);
    TRegisterData d;
    for (auto& v : d.DRegs) v = static_cast<std::uint16_t>(rng());
    for (auto& v : d.CRegs) v = static_cast<std::uint16_t>(rng());
    for (auto& v : d.TRegs) v = static_cast<std::uint16_t>(rng());
    for (auto& v : d.C32Regs) v = static_cast<std::uint32_t>(rng());
    d.Title = "Mixer line 2";
    return d;
}

class RegisterFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qel-reg-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    static void WriteBytes(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    fs::path dir_;
};

TEST_F(RegisterFileTest, SaveAndOpenRoundTripsTheValuesAndTheTitle) {
    const TRegisterData saved = RandomData(1);
    ASSERT_TRUE(WriteRegisterFile(Path("motor.kzl"), saved, 1, 3));
    EXPECT_EQ(fs::file_size(Path("motor.kzl")), kKzlFileBytes);
    TRegisterData read;
    ASSERT_EQ(ReadRegisterFile(Path("motor.kzl"), 1, read), TRegFileResult::Ok);
    EXPECT_EQ(read, saved);

    // Header words and the title field as the format lays them out.
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(qelfile::ReadWholeFile(Path("motor.kzl"), bytes), qelfile::ReadResult::Ok);
    qelfile::ByteReader r(bytes);
    EXPECT_EQ(r.U16(), 206);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.U16(), 3);
    for (auto [at, count] : {std::pair{128, 10000u}, {20132, 200u}, {20536, 56u}, {20764, 256u}}) {
        r.Seek(at);
        EXPECT_EQ(r.U32(), count) << at;
    }
    r.Seek(20768);
    EXPECT_EQ(r.U16(), saved.TRegs[0]);

    // A title of 70 characters is stored as its first 60.
    TRegisterData longTitle = saved;
    longTitle.Title = std::string(60, 'a') + "bcdefghijk";
    ASSERT_TRUE(WriteRegisterFile(Path("long.kzl"), longTitle, 0, 0));
    ASSERT_EQ(ReadRegisterFile(Path("long.kzl"), 0, read), TRegFileResult::Ok);
    EXPECT_EQ(read.Title, std::string(60, 'a'));

    // Saving over a file replaces it whole; no temporary file stays behind.
    ASSERT_TRUE(WriteRegisterFile(Path("motor.kzl"), RandomData(2), 1, 3));
    ASSERT_EQ(ReadRegisterFile(Path("motor.kzl"), 1, read), TRegFileResult::Ok);
    EXPECT_EQ(read, RandomData(2));
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++files;
    EXPECT_EQ(files, 2);

    // A place that cannot be written: false, the folder untouched.
    fs::create_directories(Path("taken.kzl"));
    EXPECT_FALSE(WriteRegisterFile(Path("taken.kzl"), saved, 1, 3));
    EXPECT_TRUE(fs::is_directory(Path("taken.kzl")));
    EXPECT_FALSE(WriteRegisterFile(Path("no/such/folder.kzl"), saved, 1, 3));
}

TEST_F(RegisterFileTest, RvlFilesAreReadWithoutHeaderAndKeepTheTitle) {
    const TRegisterData source = RandomData(3);
    std::string rvl;
    for (auto v : source.DRegs) qelfile::PutU16(rvl, v);
    for (auto v : source.CRegs) qelfile::PutU16(rvl, v);
    for (auto v : source.C32Regs) qelfile::PutU32(rvl, v);
    for (auto v : source.TRegs) qelfile::PutU16(rvl, v);
    ASSERT_EQ(rvl.size(), kRvlFileBytes);
    WriteBytes(Path("old.rvl"), rvl);
    TRegisterData read;
    read.Title = "kept";
    ASSERT_EQ(ReadRegisterFile(Path("old.rvl"), 2, read), TRegFileResult::Ok);
    EXPECT_EQ(read.DRegs, source.DRegs);
    EXPECT_EQ(read.C32Regs, source.C32Regs);
    EXPECT_EQ(read.TRegs, source.TRegs);
    EXPECT_EQ(read.Title, "kept");

    // The same bytes under a name in capitals are taken for a ".kzl" file.
    WriteBytes(Path("OLD.RVL"), rvl);
    const TRegisterData before = read;
    EXPECT_NE(ReadRegisterFile(Path("OLD.RVL"), 2, read), TRegFileResult::Ok);
    EXPECT_EQ(read, before);
}

TEST_F(RegisterFileTest, ShortOversizedForeignAndOtherModelFilesAreRefusedLeavingTheDataUnchanged) {
    const std::string good = EncodeRegisterFile(RandomData(4), 1, 3);
    const TRegisterData open = RandomData(5);
    auto refused = [&](const std::string& bytes, bool rvl, TRegFileResult want) {
        TRegisterData d = open;
        const TRegFileResult got = DecodeRegisterFile({bytes.begin(), bytes.end()}, rvl, 1, d);
        EXPECT_EQ(got, want) << "size " << bytes.size();
        EXPECT_EQ(d, open);
        EXPECT_NE(RegisterFileMessage(got), 0);
    };
    for (std::size_t n : {0u, 1u, 100u, 127u, 128u, 131u, 132u, 20131u, 21279u}) refused(good.substr(0, n), false, TRegFileResult::Short);
    refused(good + '\0', false, TRegFileResult::Damaged);
    refused(std::string(kRvlFileBytes - 1, '\0'), true, TRegFileResult::Short);
    refused(std::string(kRvlFileBytes + 1, '\0'), true, TRegFileResult::Damaged);

    std::string foreign = good;
    foreign[0] = 7;
    refused(foreign, false, TRegFileResult::Foreign);
    std::string family0 = EncodeRegisterFile(RandomData(4), 0, 3);
    refused(family0, false, TRegFileResult::OtherModel);
    EXPECT_EQ(RegisterFileMessage(TRegFileResult::OtherModel), 220);
    std::string badFamily = good;
    badFamily[2] = 9;
    refused(badFamily, false, TRegFileResult::Damaged);
    // A block count past its array is refused, not read past the array.
    std::string bigCount = good;
    bigCount[128] = static_cast<char>(0x11);  // 10000 -> 10001
    refused(bigCount, false, TRegFileResult::Damaged);

    // Smaller counts are within the format: they fill the start of each array.
    std::string small;
    TRegisterData smallData = RandomData(6);
    qelfile::PutHeader(small, 1, 3, "few");
    for (int block = 0; block < 4; ++block) {
        qelfile::PutU32(small, 2);
        for (int i = 0; i < 2; ++i) block == 2 ? qelfile::PutU32(small, 0x10000u + i) : qelfile::PutU16(small, static_cast<std::uint16_t>(5 + i));
    }
    TRegisterData d = open;
    ASSERT_EQ(DecodeRegisterFile({small.begin(), small.end()}, false, 1, d), TRegFileResult::Ok);
    EXPECT_EQ(d.DRegs[1], 6);
    EXPECT_EQ(d.DRegs[2], 0);
    EXPECT_EQ(d.C32Regs[1], 0x10001u);
    EXPECT_EQ(d.Title, "few");

    // A missing file reads as nothing; a FIFO or a folder under the name
    // cannot be opened (26), rather than being a file that is too short.
    d = open;
    EXPECT_EQ(ReadRegisterFile(Path("none.kzl"), 1, d), TRegFileResult::Missing);
    ASSERT_EQ(::mkfifo(Path("fifo.kzl").c_str(), 0644), 0);
    fs::create_directory(Path("folder.rvl"));
    for (const char* name : {"fifo.kzl", "folder.rvl"}) {
        const TRegFileResult got = ReadRegisterFile(Path(name), 1, d);
        EXPECT_EQ(got, TRegFileResult::Unreadable) << name;
        EXPECT_EQ(RegisterFileMessage(got), kMsgFileOpenFailed) << name;
    }
    EXPECT_EQ(d, open);
}

TEST_F(RegisterFileTest, RandomAndMutatedFilesNeverChangeTheDataUnlessAccepted) {
    std::mt19937 rng(20);
    const std::string good = EncodeRegisterFile(RandomData(7), 2, 1);
    const TRegisterData open = RandomData(8);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> bytes;
        const bool rvl = round % 5 == 0;
        if (round % 2) {
            bytes.assign(good.begin(), good.end());
            const int edits = 1 + static_cast<int>(rng() % 4);
            for (int e = 0; e < edits; ++e) {
                switch (rng() % 3) {
                case 0: bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng()); break;
                case 1: bytes.resize(rng() % (bytes.size() + 40), 0xA5); break;
                default: bytes.insert(bytes.begin() + static_cast<long>(rng() % bytes.size()), static_cast<std::uint8_t>(rng())); break;
                }
                if (bytes.empty()) bytes.push_back(0);
            }
        } else {
            bytes.resize(rng() % (kKzlFileBytes + 64));
            for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        }
        TRegisterData d = open;
        const TRegFileResult r = DecodeRegisterFile(bytes, rvl, 2, d);
        if (r == TRegFileResult::Ok) {
            ++accepted;
            EXPECT_TRUE(rvl ? bytes.size() == kRvlFileBytes : bytes.size() <= kKzlFileBytes);
        } else {
            ASSERT_EQ(d, open) << "round " << round;
        }
    }
    EXPECT_GT(accepted, 0);  // value-only changes of a good file are still good files
}

// ---------------------------------------------------------------------------
// Grid

class RegisterGridTest : public ::testing::Test {
protected:
    void SetUp() override { ResetDeviceLimits(); }
    void TearDown() override { ResetDeviceLimits(); }
    TRegisterData data;
};

TEST_F(RegisterGridTest, PagesAndNoUseMarksFollowTheFamily) {
    // Family 0, D page: 133 rows; D600-D999 and D1312-D1319 do not exist.
    TRegView d0{kRegPageD, false, kRegDecimal, 0};
    EXPECT_EQ(RegRowLabel(kRegPageD, 2), "D10");
    for (int n : {600, 999, 1312, 1319}) EXPECT_EQ(RegCellText(data, d0, n), kNoUse) << n;
    for (int n : {0, 599, 1000, 1311}) EXPECT_EQ(RegCellText(data, d0, n), "0") << n;
    // Rows of each page (D, C, counters, T) for families 0, 1 and 2.
    const int rows[4][3] = {{133, 1001, 501}, {14, 21, 21}, {-1, -1, -1}, {14, 27, -1}};
    for (int page : {kRegPageD, kRegPageC, kRegPageT})
        for (int family = 0; family < 3; ++family)
            EXPECT_TRUE(rows[page][family] < 0 || RegGridRows(page, family) == rows[page][family]) << page << family;

    // C page: family 1 has 21 rows and C0-C199; family 0 14 rows, C128 and up
    // "No Use"; family 2 has the same counters as family 1.
    for (int n = 0; n < 200; ++n) ASSERT_TRUE(RegisterInUse(kRegPageC, 1, n));
    EXPECT_FALSE(RegisterInUse(kRegPageC, 0, 128));
    EXPECT_FALSE(RegisterInUse(kRegPageC, 0, 129));
    EXPECT_TRUE(RegisterInUse(kRegPageC, 2, 199));

    // High-speed counters: family 0 only the 13 listed ones; families 1 and 2
    // C200-C255, C256-C259 "No Use".
    int inUse = 0;
    for (int i = 0; i < 70; ++i) inUse += RegisterInUse(kRegPageC32, 0, i);
    EXPECT_EQ(inUse, 13);
    EXPECT_TRUE(RegisterInUse(kRegPageC32, 0, 35));
    EXPECT_EQ(RegRowLabel(kRegPageC32, 7), "C260");
    for (int f : {1, 2}) {
        EXPECT_TRUE(RegisterInUse(kRegPageC32, f, 55));
        EXPECT_FALSE(RegisterInUse(kRegPageC32, f, 56));
    }
    EXPECT_FALSE(RegisterInUse(kRegPageT, 0, 128));
}

TEST_F(RegisterGridTest, EntriesAreCheckedByTheDisplayModeAndStoredInTheirRegisters) {
    TRegView dec{kRegPageD, false, kRegDecimal, 1};
    EXPECT_EQ(CommitRegisterEntry(data, dec, 5, "123"), TRegCommit::Stored);
    EXPECT_EQ(data.DRegs[5], 123);
    for (const char* bad : {"-5", "40000", "12a", "1 2"}) {
        EXPECT_EQ(CommitRegisterEntry(data, dec, 5, bad), TRegCommit::Invalid) << bad;
        EXPECT_EQ(data.DRegs[5], 123);
    }
    EXPECT_EQ(CommitRegisterEntry(data, dec, 5, ""), TRegCommit::Stored);  // empty is 0
    EXPECT_EQ(data.DRegs[5], 0);

    // 16-bit hexadecimal FFFF shows as 65535 in decimal.
    TRegView hex{kRegPageD, false, kRegHex, 1};
    EXPECT_EQ(CommitRegisterEntry(data, hex, 6, "ffff"), TRegCommit::Stored);
    EXPECT_EQ(RegCellText(data, dec, 6), "65535");
    EXPECT_EQ(CommitRegisterEntry(data, hex, 6, "10000"), TRegCommit::Invalid);

    // 32 bits: D10 holds the low word, D11 the high word.
    TRegView hex32{kRegPageD, true, kRegHex, 1};
    EXPECT_EQ(CommitRegisterEntry(data, hex32, 10, "12345678"), TRegCommit::Stored);
    EXPECT_EQ(data.DRegs[10], 0x5678);
    EXPECT_EQ(data.DRegs[11], 0x1234);
    EXPECT_EQ(RegCellText(data, hex32, 10), "12345678");
    EXPECT_EQ(RegCellText(data, hex32, 11), "1234");  // the pair (D11, D12)
    TRegView dec32{kRegPageD, true, kRegDecimal, 1};
    data.DRegs[20] = 0xFFFF;
    data.DRegs[21] = 0xFFFF;
    EXPECT_EQ(RegCellText(data, dec32, 20), "-1");
    EXPECT_EQ(CommitRegisterEntry(data, dec32, 20, "2147483648"), TRegCommit::Invalid);

    // Binary: 17 digits fail at 16 bits; the cell's own grouped text commits.
    TRegView bin{kRegPageD, false, kRegBinary, 1};
    EXPECT_EQ(CommitRegisterEntry(data, bin, 7, "10000000000000000"), TRegCommit::Invalid);
    data.DRegs[7] = 0x8001;
    const std::string shown = RegCellText(data, bin, 7);
    EXPECT_EQ(shown, "10000000 00000001 ");
    EXPECT_EQ(CommitRegisterEntry(data, bin, 7, shown), TRegCommit::Stored);
    EXPECT_EQ(data.DRegs[7], 0x8001);

    // Family 0: D700 does not exist, D1005 is shown but not changed here, and
    // C127 in 32 bits takes only its low word.
    TRegView d0{kRegPageD, false, kRegDecimal, 0};
    EXPECT_EQ(CommitRegisterEntry(data, d0, 700, "5"), TRegCommit::NoUse);
    data.DRegs[1005] = 9;
    EXPECT_EQ(CommitRegisterEntry(data, d0, 1005, "5"), TRegCommit::Protected);
    EXPECT_EQ(data.DRegs[1005], 9);
    // Families 1 and 2 never write D1000-D1999: a value typed there, or a
    // 32-bit value whose high word would land on D1000, is not taken; D1000
    // of family 0 pairs with D1001 as D10 does with D11.
    data.DRegs[999] = 4;
    EXPECT_EQ(CommitRegisterEntry(data, TRegView{kRegPageD, false, kRegDecimal, 2}, 1500, "5"), TRegCommit::Protected);
    EXPECT_EQ(CommitRegisterEntry(data, TRegView{kRegPageD, true, kRegDecimal, 1}, 999, "70000"), TRegCommit::Protected);
    EXPECT_EQ(data.DRegs[999], 4);
    data.DRegs[1001] = 1;
    EXPECT_EQ(RegCellText(data, TRegView{kRegPageD, true, kRegDecimal, 0}, 1000), "65536");
    TRegView c32mode{kRegPageC, true, kRegHex, 0};
    data.CRegs[128] = 0x77;
    EXPECT_EQ(CommitRegisterEntry(data, c32mode, 127, "AAAABBBB"), TRegCommit::Stored);
    EXPECT_EQ(data.CRegs[127], 0xBBBB);
    EXPECT_EQ(data.CRegs[128], 0x77);

    // The counter page stores whole 32-bit values; family 0 only its 13 counters.
    TRegView hsc{kRegPageC32, true, kRegDecimal, 0};
    EXPECT_EQ(CommitRegisterEntry(data, hsc, 35, "2147483647"), TRegCommit::Stored);
    EXPECT_EQ(data.C32Regs[35], 2147483647u);
    EXPECT_EQ(CommitRegisterEntry(data, hsc, 0, "1"), TRegCommit::NoUse);

    ClearRegisterPage(data, kRegPageD);
    EXPECT_EQ(data.DRegs[10], 0);
    EXPECT_EQ(data.C32Regs[35], 2147483647u);
}

}  // namespace
