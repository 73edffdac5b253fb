// File registers: the template file round trip and its refusals (including
// a fuzzed file), and the transfer with the emulator over a pseudo-terminal
// for each family that has file registers: written, read back and equal,
// partial ranges in blocks of 16, and faults that leave the values as they were.
#include <unistd.h>

#include <fstream>
#include <random>

#include "tests/link/LinkTestSupport.h"
#include "link/jobs/Fileregs.h"

using namespace qel::test;
using namespace qel::link;

namespace {

class Host : public TFileRegHost {
public:
    void StartProgress(int maximum) override { this->maximum = maximum; }
    void SetProgress(int p) override { position = p; }
    void TransferEnded(bool s) override {
        ++ended;
        stored = s;
    }
    int maximum = -1, position = -1, ended = 0;
    bool stored = false;
};

std::vector<std::uint16_t> RandomValues(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint16_t> v(n);
    for (auto& x : v) x = static_cast<std::uint16_t>(rng());
    return v;
}

class FileRegsTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        link->SetComTmrIntervalMs(0);
        transfer = std::make_unique<TFileRegTransfer>(*link, host);
    }
    std::vector<int> Run(std::vector<std::uint16_t>& values, bool write, int first, int end) {
        return Ran([&] { return transfer->Start(values, write, first, end); });
    }
    Host host;
    std::unique_ptr<TFileRegTransfer> transfer;
};

}  // namespace

TEST_F(FileRegsTest, EveryFamilyWritesAndReadsBackItsFileRegisters) {
    struct Case {
        int family;
        bool extra;
    };
    for (const Case c : {Case{1, false}, Case{2, false}, Case{1, true}}) {
        SCOPED_TRACE("family " + std::to_string(c.family) + (c.extra ? " with card" : ""));
        emu.Configure(c.family, 3, 90);
        const int count = FileRegisterCount(c.family, c.extra);
        emu.S.fileRegs.assign(static_cast<std::size_t>(count), 0);
        std::vector<std::uint16_t> values = RandomValues(static_cast<std::size_t>(count), static_cast<unsigned>(count));
        EXPECT_EQ(Run(values, true, 0, count), std::vector<int>{kMsgFileRegWriteDone});
        EXPECT_EQ(emu.S.fileRegs, values);
        EXPECT_EQ(static_cast<int>(emu.RequestCount()), 1 + (count + 15) / 16);
        EXPECT_EQ(host.maximum, count);
        EXPECT_EQ(host.position, count);

        std::vector<std::uint16_t> back(values.size(), 0);
        EXPECT_EQ(Run(back, false, 0, count), std::vector<int>{kMsgFileRegReadDone});
        EXPECT_EQ(back, values);
        EXPECT_TRUE(host.stored);
        EXPECT_FALSE(port->IsOpen());
    }

    // A partial range of 20 registers moves a block of 16 and one of 4; the
    // rest stays as it is on both sides.
    emu.Configure(2, 1, 90);
    std::vector<std::uint16_t> values(1600, 7);
    EXPECT_EQ(Run(values, true, 1580, 1600), std::vector<int>{kMsgFileRegWriteDone});
    ASSERT_EQ(emu.RequestCount(), 3u);
    EXPECT_EQ(emu.Log()[1].bytes, (std::vector<std::uint8_t>{1, 100, 1, 17, 36, 0, 0x06, 0x2C, 16, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7,
                                                              0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7}));
    EXPECT_EQ(emu.Log()[2].bytes[8], 4);
    EXPECT_EQ(emu.S.fileRegs[1579], 0);
    EXPECT_EQ(emu.S.fileRegs[1580], 7);
    EXPECT_EQ(emu.S.fileRegs[1599], 7);
    std::vector<std::uint16_t> back(1600, 1);
    EXPECT_EQ(Run(back, false, 1579, 1581), std::vector<int>{kMsgFileRegReadDone});
    EXPECT_EQ(back[1578], 1);
    EXPECT_EQ(back[1579], 0);
    EXPECT_EQ(back[1580], 7);
    EXPECT_EQ(back[1581], 1);

    // Ranges outside the values start nothing.
    for (auto [a, b] : {std::pair{0, 0}, {5, 4}, {0, 1601}, {-1, 3}}) EXPECT_FALSE(transfer->Start(back, false, a, b));
    int first = -1, end = -1;
    EXPECT_TRUE(ParseFileRegRange("0", "1599", 1600, first, end));
    EXPECT_EQ(end, 1600);
    EXPECT_FALSE(ParseFileRegRange("0", "1600", 1600, first, end));
    EXPECT_FALSE(ParseFileRegRange("", "5", 1600, first, end));
    EXPECT_FALSE(ParseFileRegRange("1x", "5", 1600, first, end));
    EXPECT_FALSE(ParseFileRegRange("000001", "5", 1600, first, end));
    EXPECT_FALSE(ParseFileRegRange("6", "5", 1600, first, end));
}

TEST_F(FileRegsTest, RefusalsAndFaultsLeaveTheValuesAsTheyWere) {
    // Family 0 has no file registers: message 222, the job ends.
    emu.Configure(0, 0, 90);
    std::vector<std::uint16_t> values(1600, 3);
    EXPECT_EQ(Run(values, false, 0, 1600), std::vector<int>{kMsgFileRegNone});
    EXPECT_EQ(emu.RequestCount(), 1u);
    EXPECT_EQ(values, std::vector<std::uint16_t>(1600, 3));

    emu.Configure(2, 1, 90);
    emu.S.fileRegs = RandomValues(1600, 5);
    struct Fault {
        FaultAction action;
        int param;
        bool write;
        int msg;
    };
    for (const Fault f : {Fault{FaultAction::Fn100Error, 2, false, kMsgFileRegReadError},
                          Fault{FaultAction::Fn100Error, 2, true, kMsgFileRegWriteError},
                          Fault{FaultAction::Drop, 0, false, kMsgTimeout},
                          Fault{FaultAction::BadLrc, 0, false, 199}}) {
        SCOPED_TRACE(static_cast<int>(f.action));
        emu.ClearFaults();
        emu.AddFault({.action = f.action, .function = 100, .skip = 3, .times = -1, .param = f.param});
        const std::vector<std::uint16_t> plc = emu.S.fileRegs;
        values.assign(1600, 3);
        EXPECT_EQ(Run(values, f.write, 0, 1600), std::vector<int>{f.msg});
        if (!f.write) EXPECT_EQ(values, std::vector<std::uint16_t>(1600, 3));  // nothing of a half read
        EXPECT_FALSE(transfer->Running());
        EXPECT_EQ(link->JobNo, 0);
        if (!f.write) EXPECT_EQ(emu.S.fileRegs, plc);
    }
}

TEST(QftFile, RoundTripOfEveryFamilyAndDamagedFilesRefused) {
    const auto dir = std::filesystem::temp_directory_path() / ("qel-qft-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    struct Case {
        int family;
        bool extra;
        std::size_t size;
    };
    for (const Case c : {Case{1, false, 20132}, Case{1, true, 65668}, Case{2, false, 3332}}) {
        TFileTemplate t;
        t.version = 206;
        t.family = static_cast<std::uint16_t>(c.family);
        t.capacityIndex = 2;
        t.extraMemory = c.extra;
        t.title = std::string(70, 'T');  // cut to 60
        t.values = RandomValues(static_cast<std::size_t>(FileRegisterCount(c.family, c.extra)), c.size);
        const auto path = dir / "a.qft";
        ASSERT_TRUE(WriteQftFile(path, t));
        EXPECT_EQ(std::filesystem::file_size(path), c.size);
        TFileTemplate back;
        ASSERT_EQ(ReadQftFile(path, c.family, back), TQftRead::Ok);
        EXPECT_EQ(back.values, t.values);
        EXPECT_EQ(back.title, std::string(60, 'T'));
        EXPECT_EQ(back.extraMemory, c.extra);
        EXPECT_EQ(back.capacityIndex, 2);
        TFileTemplate other;
        other.title = "kept";
        EXPECT_EQ(ReadQftFile(path, c.family == 1 ? 2 : 1, other), TQftRead::OtherFamily);
        EXPECT_EQ(other.title, "kept");
    }
    TFileTemplate none;
    EXPECT_EQ(ReadQftFile(dir / "missing.qft", 1, none), TQftRead::Missing);

    // A save never writes through a link planted beside the template (at the
    // name a save once used); the template lands where it was asked to go.
    TFileTemplate saved;
    saved.family = 2;
    saved.values.assign(1600, 5);
    const auto target = dir / "t.qft";
    EXPECT_TRUE(qel::test::SavesPastALinkPlantedAt(dir / "t.qft.tmp", [&] { return WriteQftFile(target, saved); }));
    EXPECT_EQ(ReadQftFile(target, 2, none), TQftRead::Ok);
    EXPECT_EQ(none.values, saved.values);

    // Damaged files: cut short, grown, wrong count, wrong flag, family 0.
    TFileTemplate t;
    t.family = 2;
    t.values.assign(1600, 9);
    const std::vector<std::uint8_t> good = EncodeQft(t);
    auto refused = [](std::vector<std::uint8_t> b) {
        TFileTemplate r;
        r.title = "kept";
        const bool ok = DecodeQft(b.data(), b.size(), r);
        return !ok && r.title == "kept";
    };
    EXPECT_TRUE(refused({good.begin(), good.end() - 1}));
    EXPECT_TRUE(refused({good.begin(), good.begin() + 131}));
    auto grown = good;
    grown.push_back(0);
    EXPECT_TRUE(refused(grown));
    auto count = good;
    count[128] ^= 1;
    EXPECT_TRUE(refused(count));
    auto flag = good;
    flag[6] = 1;  // the card flag belongs to family 1 only
    EXPECT_TRUE(refused(flag));
    auto fam0 = good;
    fam0[2] = 0;
    EXPECT_TRUE(refused(fam0));

    // Fuzzed: random bytes changed, cut or added never crash, and whatever is
    // accepted is whole.
    std::mt19937 rng(21);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> b = good;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            switch (rng() % 4) {
            case 0: b[rng() % b.size()] = static_cast<std::uint8_t>(rng()); break;
            case 1: b[rng() % 140] = static_cast<std::uint8_t>(rng()); break;
            case 2: b.resize(rng() % (b.size() + 1)); break;
            default: b.insert(b.end(), rng() % 8, static_cast<std::uint8_t>(rng())); break;
            }
            if (b.empty()) break;
        }
        TFileTemplate r;
        if (DecodeQft(b.data(), b.size(), r)) {
            ++accepted;
            EXPECT_EQ(r.values.size(), static_cast<std::size_t>(FileRegisterCount(r.family, r.extraMemory)));
            EXPECT_LE(r.title.size(), 60u);
        }
    }
    EXPECT_GT(accepted, 0);  // changes to values and title are no damage
    std::filesystem::remove_all(dir);
}
