// The device monitor without its window: rows added and deleted as the user
// types them, set values found in the program, the typed set-value and force
// checks, and the poll cycle against the emulator over a pseudo-terminal,
// byte for byte where the PLC's monitor areas are concerned.
#include <numeric>
#include <tuple>

#include "core/DeviceLimits.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/LadderGrid.h"
#include "link/online/Devicewrite.h"
#include "link/online/Devmonilist.h"
#include "link/online/Ladmonitor.h"
#include "link/online/Sfcmoni.h"
#include "tests/link/LinkTestSupport.h"

using namespace qel::test;
using namespace qel::link;

namespace {

std::vector<std::string> Names(const TDevMoniList& l) {
    std::vector<std::string> n;
    for (const auto& r : l.Rows) n.push_back(r.Name);
    return n;
}

class DevMoniRows : public ::testing::Test {
protected:
    void SetUp() override {
        AllocateSharedBuffers();
        SetCurrentFamily(1);
    }
    void TearDown() override { FreeSharedBuffers(); }
    TDevMoniList list;
};

}  // namespace

TEST_F(DevMoniRows, MonitorInputAddsConsecutiveDevicesAndRefusesBadEntries) {
    int cur = 0;
    // Y is octal: Y6, Y7, Y10; one empty row follows (grid of 5 rows).
    EXPECT_TRUE(list.AddDevices(1, " y6 ", "3", &cur).empty());
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Y6", "Y7", "Y10", ""}));
    EXPECT_EQ(list.GridRows(), 5);
    EXPECT_EQ(cur, 4);
    EXPECT_EQ(gDevMoniEntryCount, 4);
    EXPECT_STREQ(gDevMoniEntries[2].Name, "Y10");
    // Leading zeros go: X007 is listed as X7.
    EXPECT_TRUE(list.AddDevices(4, "X007", "1", &cur).empty());
    EXPECT_EQ(list.Rows[3].Name, "X7");

    // Refusals change nothing.
    const auto before = Names(list);
    for (const char* count : {"0", "-1"})
        EXPECT_EQ(list.AddDevices(1, "D0", count, &cur), (TMsgBoxes{{kMsgBadCount, kMsgBadInput}})) << count;
    for (const char* name : {"X8", "D10000", "D99999", "M"})  // octal, too long
        EXPECT_EQ(list.AddDevices(1, name, "1", &cur), (TMsgBoxes{{kMsgBadInput}})) << name;
    EXPECT_EQ(Names(list), before);
    // A bare index register passes the name check but is no listed device.
    EXPECT_EQ(list.AddDevices(5, "E", "1", &cur), (TMsgBoxes{{kMsgBadInput}}));
    EXPECT_TRUE(list.Rows[4].Empty());
    // Counting past the family's last device keeps the rows added before.
    // The row after them is left as it was.
    EXPECT_EQ(list.AddDevices(1, "T254", "4", &cur), (TMsgBoxes{{kMsgBadInput}}));
    const auto names = Names(list);
    EXPECT_EQ(std::vector(names.begin(), names.begin() + 3), (std::vector<std::string>{"T254", "T255", "Y10"}));
}

TEST_F(DevMoniRows, GridStopsAtNinetySixDevicesAndDeletesMoveRowsUp) {
    int cur = 0;
    EXPECT_TRUE(list.AddDevices(1, "D0", "94", &cur).empty());
    EXPECT_EQ(list.GridRows(), 96);
    // Count 10 at row 95: only rows 95 and 96 fit.
    EXPECT_EQ(list.AddDevices(95, "M0", "10", &cur), (TMsgBoxes{{kMsgNoRoom}}));
    EXPECT_EQ(list.GridRows(), kDevMoniGridMaxRows);
    EXPECT_EQ(list.Rows[94].Name, "M0");
    EXPECT_EQ(list.Rows[95].Name, "M1");
    EXPECT_EQ(gDevMoniEntryCount, 96);

    list.ClearAll();
    EXPECT_EQ(list.GridRows(), 2);
    EXPECT_EQ(gDevMoniEntryCount, 1);
    EXPECT_TRUE(list.AddDevices(1, "D1", "10", &cur).empty());  // D1..D10, one empty row
    EXPECT_TRUE(list.DeleteRows(3, 5));
    EXPECT_EQ(list.Rows[2].Name, "D6");
    EXPECT_EQ(list.Rows[6].Name, "D10");
    EXPECT_EQ(list.GridRows(), 12 - 3);
    EXPECT_STREQ(gDevMoniEntries[2].Name, "D6");
    // Deleting a single empty row does nothing.
    EXPECT_FALSE(list.DeleteRows(8, 8));
    // The format changes only on word rows.
    EXPECT_TRUE(list.SetFormat(1, TMoniFormat::Hex));
    EXPECT_TRUE(list.AddDevices(8, "X0", "1", &cur).empty());
    EXPECT_FALSE(list.SetFormat(8, TMoniFormat::Hex));
}

TEST_F(DevMoniRows, SetValuesComeFromTheProgram) {
    WriteProgram({"TMR T0 K10", "CNT C5 D7", "DCNT C200 K100000", "TMR T9 D5000", "END"});
    int cur = 0;
    list.AddDevices(1, "T0", "2", &cur);  // T0, T1
    int row = 3;
    for (const char* name : {"C5", "C200", "T9"}) list.AddDevices(row++, name, "1", &cur);
    for (auto& r : list.Rows)
        if (!r.Empty()) list.FindSetValue(r, gProgram, gProgramCapacity);
    // D registers from D4096 are listed where the PLC keeps them.
    std::vector<std::string> sources;
    for (int r = 0; r < 5; ++r) sources.push_back(list.Rows[r].SetSource);
    EXPECT_EQ(sources, (std::vector<std::string>{"Set", "No Set", "D7", "Set", "D5000"}));
    EXPECT_EQ(list.Rows[0].Record.SetValue[0], 10);
    std::uint32_t v = 0;
    std::memcpy(&v, list.Rows[3].Record.SetValue, 4);
    EXPECT_EQ(v, 100000u);
    ASSERT_EQ(list.gMoniSetRegBytes, 4u);
    EXPECT_EQ(list.gMoniSetRegList[0], 0x1007);
    EXPECT_EQ(list.gMoniSetRegList[1], 0x8000 + 5000);

    // A program that ends in the middle of a TMR never reads past the image.
    std::memset(gProgram, 0xFF, gProgramCapacity);
    gProgram[gProgramCapacity - 2] = 0x03;
    gProgram[gProgramCapacity - 1] = 0x00;
    list.FindSetValue(list.Rows[0], gProgram, gProgramCapacity);
    EXPECT_EQ(list.Rows[0].SetSource, "No Set");
}

TEST_F(DevMoniRows, TypedSetValuesAndForcedDevicesAreChecked) {
    auto w = CheckSetValue(" d100 ", "k-5", false);
    EXPECT_EQ(std::tie(w.Msg, w.Device, w.Value, w.Address, w.Data, w.Count),
              std::make_tuple(-1, std::string("D100"), std::string("K-5"), 0x1064, 0xFFFBu, 1));
    w = CheckSetValue("C200", "K-1", true);
    EXPECT_EQ(std::tie(w.Msg, w.Address, w.Data, w.Count), std::make_tuple(-1, 0x0EC8, 0xFFFFFFFFu, 2));
    // Beyond the model's devices nothing is written anywhere (C5000 would be
    // the program window, D10000 past the registers); D1312 is past family 0's.
    struct { int family; const char* device; const char* value; bool is32; int msg; } refused[] = {
        {1, "C200", "K1", false, kMsgSetC32},    {1, "E8", "K1", false, kMsgSetDevice},
        {1, "M0", "K1", false, kMsgSetDevice},   {1, "D0", "1", false, kMsgSetPrefix},
        {1, "D0", "H10000", false, kMsgSetRange}, {1, "D0", "K32768", false, kMsgSetRange},
        {1, "D0", "K1.5", false, kMsgInvalid},   {1, "C5000", "K1", true, kMsgSetDevice},
        {1, "D10000", "K1", false, kMsgSetDevice}, {0, "D1312", "K1", false, kMsgSetDevice},
        // An index suffix names no register; 32 bits need the device's own pair.
        {1, "D0E", "K5", false, kMsgSetDevice},  {1, "T0E", "K5", true, kMsgSetDevice},
        {1, "C199", "K1", true, kMsgSetRange},   {1, "T255", "K1", true, kMsgSetRange},
        {2, "D4999", "K1", true, kMsgSetRange},  {0, "D599", "K1", true, kMsgSetRange},
        // F is the high word of E's pair: after F1 comes E2, after F a plain D.
        {1, "F1", "K1", true, kMsgSetRange},     {2, "F", "K1", true, kMsgSetRange},
        // Too long for the dialog: cut, it would be D0, or the value 0.
        {1, "D0000000001", "K1", false, kMsgSetDevice}, {1, "D1", "K-0000000000005", false, kMsgSetRange}};
    for (auto& c : refused) {
        SetCurrentFamily(c.family);
        EXPECT_EQ(CheckSetValue(c.device, c.value, c.is32).Msg, c.msg) << c.device << " " << c.value;
    }
    SetCurrentFamily(1);
    EXPECT_EQ(CheckSetValue("C199", "K1", false).Msg, -1);
    EXPECT_EQ(CheckSetValue("D0", "H10000", true).Msg, -1);
    struct { const char* device; int address; } addresses[] = {{"D4096", 0x9000}, {"E", 5124}, {"F3", 5283}};
    for (auto& c : addresses) EXPECT_EQ(CheckSetValue(c.device, "K1", false).Address, c.address) << c.device;
    EXPECT_EQ(CheckSetValue("D0", "K-2147483648", true).Data, 0x80000000u);
    EXPECT_EQ(CheckSetValue("D0", "K", false).Data, 0u);
    // D4095's pair is D4096, which the link keeps apart from it.
    w = CheckSetValue("D4095", "K1", true);
    EXPECT_EQ(std::make_tuple(w.Msg, w.Where.Address, w.Where.High), std::make_tuple(-1, 0x1FFF, 0x9000));
    // E1's pair is F1 (D1182, D1183).
    w = CheckSetValue("E1", "K1", true);
    EXPECT_EQ(std::make_tuple(w.Msg, w.Where.Address, w.Where.High), std::make_tuple(-1, 5278, 5279));

    struct { const char* device; bool ok; std::uint16_t address; } forced[] = {
        {" m1536", true, 0xB000}, {"M1535", true, 0x0DFF}, {"X17", true, 0x040F},
        {"D0", false, 0}, {"X18", false, 0}, {"", false, 0}};
    for (auto& c : forced) {
        std::uint16_t a = 0;
        EXPECT_EQ(CheckForceDevice(c.device, a), c.ok) << c.device;
        if (c.ok) {
            EXPECT_EQ(a, c.address) << c.device;
        }
    }
}

// ---------------------------------------------------------------------------
// The poll cycle over a pseudo-terminal

namespace {

class DevMoniLink : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        AllocateSharedBuffers();
        SetCurrentFamily(1);
        list.OnValues = [this] { ++refreshes; };
        link->RegisterMonitorClient("3", &list);
    }
    void TearDown() override {
        link->RemoveMonitorClient("3");
        FreeSharedBuffers();
        ResetDeviceLimits();  // an older PLC's identification lowers family 0's D
    }
    // Starts monitoring as the frame's command does.
    void Start() {
        ASSERT_TRUE(link->OpenPort());
        list.PollState = 8;
        gDevMonitorRefresh = 1;
        link->AddMonitorClient("3");
    }
    // Waits until `cycles` more complete cycles of the device monitor ran.
    bool Cycles(int cycles) {
        const int target = doneCycles() + cycles;
        return WaitUntil([&] { return doneCycles() >= target; });
    }
    // A cycle ends with the bit values read (state 9's request) and the
    // values after them; count the bit-value reads.
    int doneCycles() const { return static_cast<int>(Requests(3, 16584, 16585).size()); }
    std::vector<std::uint16_t> RegWrites(std::uint16_t base) const {
        std::vector<std::uint16_t> counts;
        for (const auto& b : Requests(16, base, base + 200))
            counts.push_back(static_cast<std::uint16_t>(b[4] << 8 | b[5]));
        return counts;
    }
    TDevMoniCells Cells(int row) const { return list.Cells(row); }

    TDevMoniList list;
    int refreshes = 0;
};

}  // namespace

TEST_F(DevMoniLink, EveryKindOfDeviceShowsThePlcValuesAndFollowsChanges) {
    WriteProgram({"TMR T3 K50", "DCNT C235 D20", "END"});
    int cur = 0, row = 1;
    for (const char* name : {"X17", "M1536", "T3", "C235", "D100", "D5000"}) list.AddDevices(row++, name, "1", &cur);
    list.SetFormat(6, TMoniFormat::Hex);
    emu.S.coils[0x040F] = 1;            // X17
    emu.S.coils[0xB000] = 0;            // M1536
    emu.S.coils[0x0603] = 1;            // T3 reached
    emu.S.regs[0x0603] = 42;            // T3 present value
    emu.S.c32[235 - 200] = 0xFFFFFFFE;  // C235 = -2
    emu.S.regs[0x1014] = 300;           // D20: C235's set value
    emu.S.regs[0x1064] = 0xFFFF;        // D100 = -1, D101 = 1
    emu.S.regs[0x1065] = 1;
    emu.S.regs[0x8000 + 5000] = 0xBEEF;
    Start();
    ASSERT_TRUE(Cycles(2));

    EXPECT_EQ((std::vector<bool>{Cells(1).On, Cells(2).On, Cells(3).On}), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(std::make_tuple(Cells(3).SetValue, Cells(3).Value16), std::make_tuple("K50", "K42"));
    EXPECT_EQ(std::make_tuple(Cells(4).Value16, Cells(4).Value32, Cells(4).SetValue), std::make_tuple("", "K-2", "K300"));
    EXPECT_EQ(list.Rows[3].SetSource, "D20");
    EXPECT_EQ(std::make_tuple(Cells(5).Value16, Cells(5).Value32), std::make_tuple("K-1", "K131071"));
    EXPECT_EQ(Cells(6).Value16, "HBEEF");
    EXPECT_GT(refreshes, 0);

    // The PLC's lists as the monitor wrote them (block monitoring: family class 1).
    const std::uint16_t* r = emu.S.regs.data();
    EXPECT_EQ(std::vector<int>(r + 16384, r + 16389), (std::vector<int>{4, 0x040F, 0xB000, 0x0603, 0x0EEB}));  // X17, M1536, T3, C235
    // T3, C235, D100, D5000; the count reads 0 while the list is rewritten.
    EXPECT_TRUE(WaitUntil([&] { return r[16604] == 4; }));
    EXPECT_EQ(r[16608], 0x8000 + 5000);
    EXPECT_TRUE(emu.S.monitorCoil);
    EXPECT_TRUE(emu.S.wordListRewrittenWithZero);

    // Changes in the PLC appear within two cycles.
    emu.S.coils[0xB000] = 1;
    emu.S.regs[0x0603] = 43;
    emu.S.c32[235 - 200] = 7;
    ASSERT_TRUE(Cycles(2));
    EXPECT_TRUE(Cells(2).On);
    EXPECT_EQ(Cells(3).Value16, "K43");
    EXPECT_EQ(Cells(4).Value32, "K7");
    // ASCII shows the bytes low first.
    emu.S.regs[0x1064] = 'A' | 'B' << 8;
    emu.S.regs[0x1065] = 'C';
    list.SetFormat(5, TMoniFormat::Ascii);
    ASSERT_TRUE(Cycles(2));
    EXPECT_EQ(Cells(5).Value16, "AB");
    EXPECT_EQ(Cells(5).Value32, "ABC");
}

TEST_F(DevMoniLink, ListedDevicesShowTheirOwnRegistersAndPairsOnly) {
    // Names as a ".dev" file may hold them; the PLC's program memory just
    // past D4095's register holds a step that must never show as its high word.
    emu.S.program[0] = 0x12;
    emu.S.program[1] = 0x34;
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> regs;  // the PLC's registers
        const char* value16;
        const char* value32;
    } cases[] = {
        {"D4095", {{0x1FFF, 0x86A0}, {0x9000, 1}}, "K-31072", "K100000"},  // D4095 and D4096
        {"C199", {{0x0EC7, 5}, {0x0EC8, 3}}, "K5", "K5"},                   // C200 is no pair of C199
        {"T255", {{0x06FF, 9}, {0x0700, 1}}, "K9", "K9"},                   // the last timer
        {"D9999", {{0xA70F, 2}, {0xA710, 1}}, "K2", "K2"},                  // the last D
        {"D0E", {{0x0FFF, 7}}, "", ""},                                     // an index suffix: no register
        {"D100", {{0x1064, 0x1170}, {0x1065, 1}}, "K4464", "K70000"},
    };
    gDevMoniEntryCount = 0;
    for (const Case& c : cases) {
        for (auto [r, v] : c.regs) emu.S.regs[static_cast<std::size_t>(r)] = static_cast<std::uint16_t>(v);
        std::strncpy(gDevMoniEntries[gDevMoniEntryCount++].Name, c.name, 6);
    }
    list.LoadRecords();
    Start();
    ASSERT_TRUE(Cycles(2));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(Cells(static_cast<int>(i) + 1).Value16, cases[i].value16);
        EXPECT_EQ(Cells(static_cast<int>(i) + 1).Value32, cases[i].value32);
    }
    // The PLC was given only registers the names name (D4096 for D4095's
    // high word): D0E's 0x0FFF is none.
    const std::uint16_t* r = emu.S.regs.data();
    EXPECT_EQ(std::vector<int>(r + 16605, r + 16605 + r[16604]),
              (std::vector<int>{0x1FFF, 0x9000, 0x0EC7, 0x06FF, 0xA70F, 0x1064}));
}

TEST_F(DevMoniLink, WithoutBlockMonitoringEachWordIsReadOnItsOwn) {
    emu.Configure(0, 0, 40);  // family class 0, model below 82
    SetCurrentFamily(0);
    int cur = 0;
    list.AddDevices(1, "D10", "2", &cur);
    list.AddDevices(3, "D1143", "1", &cur);  // the last register is read alone
    emu.S.regs[0x100A] = 5;
    emu.S.regs[0x100B] = 6;
    emu.S.regs[0x1477] = 9;
    Start();
    ASSERT_TRUE(WaitUntil([&] { return emu.RequestCount() >= 20; }));
    EXPECT_EQ(link->BlockMonitor, 0u);
    std::vector<std::pair<int, int>> reads;
    for (const auto& t : emu.Log())
        if (t.bytes[1] == 3 && (t.bytes[2] << 8 | t.bytes[3]) < 0x2000 &&
            (t.bytes[2] << 8 | t.bytes[3]) != 0x13E9 && (t.bytes[2] << 8 | t.bytes[3]) != 0x1400)
            reads.push_back({t.bytes[2] << 8 | t.bytes[3], t.bytes[5]});
    ASSERT_GE(reads.size(), 6u);
    reads.resize(4);
    EXPECT_EQ(reads, (std::vector<std::pair<int, int>>{{0x100A, 2}, {0x100B, 2}, {0x1477, 1}, {0x100A, 2}}));
    EXPECT_EQ(Cells(1).Value16, "K5");
    EXPECT_EQ(Cells(1).Value32, "K393221");
    EXPECT_EQ(Cells(3).Value16, "K9");
    // No list was written: only word devices on a PLC without block monitoring.
    EXPECT_TRUE(RegWrites(16384).empty());
}

TEST_F(DevMoniLink, LongBitListsGoOutInChunksAndAreReadBackWhole) {
    int cur = 0;
    list.AddDevices(1, "M0", "17", &cur);
    for (int i = 0; i < 17; i += 2) emu.S.coils[0x0800 + i] = 1;
    Start();
    ASSERT_TRUE(Cycles(2));
    // Count + 15 addresses, then 2 more at base + 16.
    std::vector<std::pair<int, int>> writes;
    for (const auto& b : Requests(16, 16384, 16584)) writes.push_back({(b[2] << 8 | b[3]) - 16384, b[5]});
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0], std::make_pair(0, 16));
    EXPECT_EQ(writes[1], std::make_pair(16, 2));
    // 17 bits are read as 2 registers.
    for (const auto& b : Requests(3, 16584, 16585)) EXPECT_EQ(b[5], 2);
    for (int i = 0; i < 17; ++i) EXPECT_EQ(Cells(i + 1).On, i % 2 == 0) << i;
}

TEST_F(DevMoniLink, ForceAndSetValueChangeExactlyWhatWasAsked) {
    // A pair split on the link goes as two writes or not at all: with room
    // for one more write only, nothing is queued.
    for (std::size_t i = 0; i + 1 < kWriteQueueSize; ++i) ASSERT_TRUE(link->QueueDeviceWrite(0x1000, 1, 0, 16));
    EXPECT_FALSE(QueueSetValue(*link, CheckSetValue("D4095", "K100000", true)));
    EXPECT_EQ(link->RegQueue.Count(), kWriteQueueSize - 1);
    EXPECT_EQ(frame.Ids(), std::vector<int>{kMsgWriteQueueFull});
    link->ClearWriteQueues();

    int cur = 0;
    list.AddDevices(1, "Y0", "1", &cur);
    list.AddDevices(2, "D0", "1", &cur);
    Start();
    ASSERT_TRUE(Cycles(1));
    const auto coils = emu.S.coils;
    const auto regs = emu.S.regs;
    std::uint32_t c32[56];
    std::memcpy(c32, emu.S.c32, sizeof c32);

    std::uint16_t a = 0;
    ASSERT_TRUE(CheckForceDevice("Y0", a));
    link->QueueDeviceWrite(a, 0xFF00, 0, 5);
    const TSetValueWrite w = CheckSetValue("D0", "K-3", false);
    link->QueueDeviceWrite(w.Address, w.Count, w.Data, 16);
    const TSetValueWrite w32 = CheckSetValue("C201", "H12345678", true);
    link->QueueDeviceWrite(w32.Address, w32.Count, w32.Data, 16);
    const TSetValueWrite wpair = CheckSetValue("D200", "K70000", true);
    link->QueueDeviceWrite(wpair.Address, wpair.Count, wpair.Data, 16);
    ASSERT_TRUE(QueueSetValue(*link, CheckSetValue("D4095", "K100000", true)));
    const auto program = emu.S.program;
    ASSERT_TRUE(WaitUntil([&] { return link->CoilQueue.Empty() && link->RegQueue.Empty(); }));
    ASSERT_TRUE(Cycles(2));

    for (std::size_t i = 0; i < coils.size(); ++i)
        if (i != 0x0500) { EXPECT_EQ(emu.S.coils[i], coils[i]) << std::hex << i; }
    EXPECT_EQ(emu.S.coils[0x0500], 1);
    auto monitorArea = [](std::size_t i) { return i >= 16384 && i < 16984; };
    for (std::size_t i = 0; i < regs.size(); ++i)
        if (i != 0x1000 && i != 0x10C8 && i != 0x10C9 && i != 0x1FFF && i != 0x9000 && !monitorArea(i)) {
            EXPECT_EQ(emu.S.regs[i], regs[i]) << std::hex << i;
        }
    EXPECT_EQ(emu.S.regs[0x1000], 0xFFFD);
    EXPECT_EQ(emu.S.regs[0x10C8], 70000 & 0xFFFF);
    EXPECT_EQ(emu.S.regs[0x10C9], 1);
    // D4095 and D4096 (0x9000), never the program memory after D4095's address.
    EXPECT_EQ(emu.S.regs[0x1FFF], 100000 & 0xFFFF);
    EXPECT_EQ(emu.S.regs[0x9000], 1);
    EXPECT_EQ(emu.S.program, program);
    for (int i = 0; i < 56; ++i)
        if (i != 1) { EXPECT_EQ(emu.S.c32[i], c32[i]); }
    EXPECT_EQ(emu.S.c32[1], 0x12345678u);
    // And the monitor shows them.
    EXPECT_TRUE(Cells(1).On);
    EXPECT_EQ(Cells(2).Value16, "K-3");
}

TEST_F(DevMoniLink, AnEmptyListShowsScanTimeAndRunStateWithoutStarvingOthers) {
    emu.S.regs[0x13F2] = 12;
    emu.S.coils[0x0C30] = 1;
    ReadClient ladder(0x1000, 1);
    link->RegisterMonitorClient("1", &ladder);
    Start();
    link->AddMonitorClient("1");
    ASSERT_TRUE(WaitUntil([&] { return ladder.values.size() >= 3 && frame.runStates.size() >= 2; }));
    EXPECT_EQ(Last(frame.scanTimes), 12);
    EXPECT_EQ(Last(frame.runStates), true);
    link->RemoveMonitorClient("1");
}

TEST_F(DevMoniLink, ALostLineEndsMonitoringWithItsMessage) {
    int cur = 0;
    list.AddDevices(1, "M0", "4", &cur);
    Start();
    ASSERT_TRUE(Cycles(1));
    emu.DropLine();
    ASSERT_TRUE(WaitUntil([&] { return frame.monitoringStopped > 0; }));
    ASSERT_FALSE(frame.msgs.empty());
    EXPECT_TRUE(link->MonitorClients.empty());
    Spin(50);
    EXPECT_FALSE(link->ComTmr.isActive());
    EXPECT_FALSE(link->ReplyTmr.isActive());
    EXPECT_FALSE(port->IsOpen());
}

// ---------------------------------------------------------------------------
// The ladder's on-line monitor without its window, against the emulator over
// a pseudo-terminal: the lists built from the rows on screen, byte for byte
// on the wire, the states and values each cell shows, and force refusals (a
// running program following a forced contact: the ladder window test).

namespace {

class LadMonitorTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        AllocateSharedBuffers();
        SetCurrentFamily(1);
        mon.Grid = gLadderRows;
        mon.Capacity = kLadderRows;
        mon.VisibleRows = [this] { return rows; };
        mon.OnValues = [this] { ++repaints; };
        link->RegisterMonitorClient("1", &mon);
    }
    void TearDown() override {
        link->RegisterMonitorClient("1", nullptr);
        FreeSharedBuffers();
        ResetDeviceLimits();
    }
    // The program's ladder from instruction-list lines; `held` then rewrites
    // the drawn cells, as a ladder may stand that no edit makes.
    void Ladder(const std::vector<std::string>& lines, const std::function<void()>& held = {}) {
        WriteProgram(lines);
        emu.S.program.assign(gProgram, gProgram + gProgramCapacity);
        ASSERT_EQ(ConvertCodeToLadder(), 0);
        if (held) held();
    }
    void Start() {
        ASSERT_TRUE(link->OpenPort());
        gLadderMonitorRefresh = 1;
        link->AddMonitorClient("1");
    }
    // Column of the first cell of `kind` in a row.
    std::int32_t ColOf(std::int32_t row, TLdbKind kind) const {
        for (std::int32_t c = 0; c <= kLdbLastColumn; c += kLdbCellBytes)
            if (CellKind(CellAt(gLadderRows, row, c)) == kind) return c;
        return -1;
    }

    TLadMonitor mon;
    std::pair<std::int32_t, std::int32_t> rows{0, 20};
    int repaints = 0;
};

}  // namespace

TEST_F(LadMonitorTest, VisibleContactsAndCoilsShowThePlcBits) {
    Ladder({"LD X10", "OUT Y0", "LDI M1536", "OUT Y1", "END"});
    emu.S.coils[0x0408] = 1;  // X10 (octal) ON
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Requests(3, 16584, 16604).size() >= 2; }));
    // The first list request: count 3, X10, Y0, M1536 (Y1 follows).
    const auto writes = Requests(16, 16384, 16584);
    ASSERT_FALSE(writes.empty());
    const std::vector<std::uint8_t> head(writes[0].begin(), writes[0].begin() + 7);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{1, 16, 0x40, 0x00, 0, 5, 10}));
    for (auto [k, word] : {std::pair{0, 4}, {1, 0x0408}, {2, 0x0500}, {3, 0xB000}})
        EXPECT_EQ(writes[0][7 + 2 * k] << 8 | writes[0][8 + 2 * k], word) << k;
    EXPECT_GT(repaints, 0);

    const std::int32_t contact = ColOf(0, TLdbKind::Open_Ry);
    const std::int32_t coil = ColOf(0, TLdbKind::Out_Ry);
    ASSERT_GE(contact, 0);
    EXPECT_TRUE(mon.CellState(0, contact).known);
    EXPECT_TRUE(mon.CellState(0, contact).on);
    EXPECT_FALSE(mon.CellState(0, coil).on);  // the emulator is not running
    // A normally-closed contact of an OFF device conducts.
    EXPECT_TRUE(mon.CellState(1, ColOf(1, TLdbKind::Close_Ry)).on);
    // Rows outside the screen show nothing.
    EXPECT_FALSE(mon.CellState(rows.second + 1, 0).known);

    // Force refusals: a wire cannot be forced.
    std::uint16_t a = 0;
    const std::int32_t wire = ColOf(0, TLdbKind::H_Line);
    ASSERT_GE(wire, 0);
    EXPECT_EQ(mon.ForceAddress(0, wire, false, a), kMsgCannotForceOn);
    EXPECT_EQ(mon.ForceAddress(0, wire, true, a), kMsgCannotForceOff);
    EXPECT_EQ(mon.ForceAddress(1, ColOf(1, TLdbKind::Close_Ry), false, a), -1);
    EXPECT_EQ(a, 0xB000);
}

TEST_F(LadMonitorTest, OperandValuesOfBoxesInEveryWidth) {
    emu.Configure(0, 0, 40);  // no block monitoring: each word on its own
    SetCurrentFamily(0);
    Ladder({"LD M0", "DMOV D10 D20", "LD M1", "DCNT C235 K100", "LD M2", "TMR T3 K50", "END"});
    emu.S.regs[0x100A] = 0xFFFF;  // D10/D11 = -1 as 32 bits
    emu.S.regs[0x100B] = 0xFFFF;
    emu.S.c32[35] = 123456;       // C235
    emu.S.regs[0x0603] = 7;       // T3
    emu.S.coils[0x0603] = 1;
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Requests(3, 0x0603, 0x0604).size() >= 2; }));
    // DMOV's operands are 32-bit: two registers each; C235 one 4-byte register.
    const auto d10 = Requests(3, 0x100A, 0x100B);
    ASSERT_FALSE(d10.empty());
    EXPECT_EQ(d10[0][5], 2);
    const auto c235 = Requests(3, 0x0EEB, 0x0EEC);
    ASSERT_FALSE(c235.empty());
    EXPECT_EQ(c235[0][5], 1);

    // The values in the tokens, as the frame's format says.
    auto token = [&](std::int32_t row) { return ColOf(row, TLdbKind::Spec_Token); };
    std::int32_t dmovRow = -1, dcntRow = -1, tmrRow = -1;
    for (std::int32_t r = 0; r < 10; ++r)
        for (std::int32_t c = 0; c <= kLdbLastColumn; c += kLdbCellBytes) {
            const std::uint8_t* cell = CellAt(gLadderRows, r, c);
            if (CellKind(cell) != TLdbKind::Spec_Fun) continue;
            if (CellOperand(cell) == 6) dcntRow = r;
            else if (CellOperand(cell) == 3) tmrRow = r;
            else if (CellOperand(cell) != 0x000F) dmovRow = r;  // not END
        }
    ASSERT_TRUE(dmovRow >= 0 && dcntRow >= 0 && tmrRow >= 0);
    EXPECT_EQ(mon.CellState(dmovRow, token(dmovRow)).value, "K-1");
    EXPECT_EQ(mon.CellState(dcntRow, token(dcntRow)).value, "K123456");
    EXPECT_EQ(mon.CellState(tmrRow, token(tmrRow)).value, "K7");
    // The timer box is lit by its own state.
    emu.S.coils[0x8603] = 1;
    ASSERT_TRUE(WaitUntil([&] { return mon.CellState(tmrRow, ColOf(tmrRow, TLdbKind::Spec_Fun)).on; }));
    mon.ValueFormat = [] { return 1; };
    EXPECT_EQ(mon.CellState(dmovRow, token(dmovRow)).value, "HFFFFFFFF");
}

TEST_F(LadMonitorTest, OperandsShowTheirOwnDeviceAndPairOnly) {
    // No edit puts DMOV D4095 into a program any more (D4096 begins another
    // block), nor is such a program drawn: the cell of DMOV D4094's first
    // operand is made D4095's, so that the monitor still shows how a pair
    // split on the link would be read.
    Ladder({"LD M0", "DMOV D4094 D100", "LD M1", "MOV D0E D200", "END"}, [] {
        int named = 0;
        for (std::int32_t c = 0; c <= kLdbLastColumn; c += kLdbCellBytes) {
            std::uint8_t* cell = CellAt(gLadderRows, 0, c);
            if (CellKind(cell) != TLdbKind::Spec_Token || CellDevType(cell) != CellDev::D || CellOperand(cell) != 4094)
                continue;
            SetCellOperand(cell, 4095);
            ++named;
        }
        ASSERT_EQ(named, 1);
    });
    emu.S.program[0] = 0x12;  // past D4095's register: program memory, never its high word
    emu.S.regs[0x1FFF] = 0x86A0;
    emu.S.regs[0x9000] = 1;
    emu.S.regs[0x1000] = 7;  // D0
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Requests(3, 16784, 16984).size() >= 2; }));
    // Row 0's first token, D4095 as 32 bits, shows D4095 and D4096; row 1's
    // D0E names a device only the running program knows, so nothing of D0.
    const std::pair<bool, std::string> want[] = {{true, "K100000"}, {false, ""}};
    for (std::int32_t row = 0; row < 2; ++row) {
        const TLadMoniCell cell = mon.CellState(row, ColOf(row, TLdbKind::Spec_Token));
        EXPECT_EQ(std::make_pair(cell.known, cell.value), want[row]) << "row " << row;
    }
}

TEST_F(LadMonitorTest, OnlyTheRowsOnScreenArePolledAndScrollingRebuildsTheList) {
    // 120 rows of contacts: far more than one screen holds.
    std::vector<std::string> lines;
    for (int i = 0; i < 60; ++i) {
        lines.push_back("LD M" + std::to_string(i));
        lines.push_back("OUT M" + std::to_string(100 + i));
    }
    lines.push_back("END");
    WriteProgram(lines);
    ASSERT_EQ(ConvertCodeToLadder(), 0);

    rows = {0, 4};
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Requests(3, 16584, 16604).size() >= 1; }));
    EXPECT_EQ(emu.S.regs[16384], 10);  // five rows of a contact and a coil
    EXPECT_EQ(emu.S.regs[16385], 0x0800);
    // Scrolled: the next cycle lists the new rows.
    rows = {30, 34};
    ASSERT_TRUE(WaitUntil([&] { return emu.S.regs[16385] == 0x0800 + 30; }));
    EXPECT_EQ(emu.S.regs[16384], 10);
    EXPECT_EQ(mon.BuiltRows, rows);

    // A screen of 100 rows lists at most 96 bits.
    rows = {0, 99};
    ASSERT_TRUE(WaitUntil([&] { return mon.BuiltRows == rows && emu.S.regs[16384] == 96; }));

    // A screen without devices asks for the scan time instead.
    emu.S.regs[0x13F2] = 9;
    rows = {500, 510};
    ASSERT_TRUE(WaitUntil([&] { return !frame.scanTimes.empty() && frame.scanTimes.back() == 9; }));
}

// ---------------------------------------------------------------------------
// The SFC chart's monitor client against the emulator over a pseudo-terminal:
// the visible-step list on the wire frame by frame, the step bits read back,
// the edge cases of an empty, a 15- and an over-96-step screen, and a reply
// longer than the client keeps.

namespace {

class SfcMonitorTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        mon.VisibleSteps = [this] { return steps; };
        mon.OnRedraw = [this] { ++redraws; };
        link->RegisterMonitorClient("2", &mon);
    }
    void TearDown() override {
        link->RegisterMonitorClient("2", nullptr);
        gSfcMonitorRefresh = 0;
    }
    void Start() {
        ASSERT_TRUE(link->OpenPort());
        gSfcMonitorRefresh = 1;
        link->AddMonitorClient("2");
    }
    // Steps first, first + 1, ... (n of them).
    static std::vector<std::uint16_t> Steps(int n, std::uint16_t first = 10) {
        std::vector<std::uint16_t> s(static_cast<std::size_t>(n));
        std::iota(s.begin(), s.end(), first);
        return s;
    }
    static int Word(const std::vector<std::uint8_t>& r, int k) { return r[2 * k] << 8 | r[2 * k + 1]; }
    // The first register and the count of a request.
    static std::pair<int, int> Head(const std::vector<std::uint8_t>& r) { return {Word(r, 1), Word(r, 2)}; }
    // Register k of a function 16 request's data (k = 0 the first).
    static int Data(const std::vector<std::uint8_t>& r, int k) { return r[7 + 2 * k] << 8 | r[8 + 2 * k]; }

    TSfcMonitor mon;
    std::vector<std::uint16_t> steps;
    int redraws = 0;
};

}  // namespace

TEST_F(SfcMonitorTest, FifteenStepsGoOutInOneFrameOfSixteenRegisters) {
    // One frame of the count and 15 numbers, then a read of one register (a
    // number left over for a frame of its own: the 96-step test).
    steps = Steps(15);
    Start();
    ASSERT_TRUE(WaitUntil([&] { return !Requests(3, 16584, 16604).empty(); }));
    auto writes = Requests(16, 16384, 16584);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(Head(writes[0]), std::make_pair(16384, 16));
    EXPECT_EQ(Data(writes[0], 0), 15);
    EXPECT_EQ(Data(writes[0], 1), 10);
    EXPECT_EQ(Data(writes[0], 15), 24);
    EXPECT_EQ(Head(Requests(3, 16584, 16604)[0]), std::make_pair(16584, 1));
    EXPECT_GT(redraws, 0);
}

TEST_F(SfcMonitorTest, ActiveStepsFollowTheStepRelaysAndOnlyNinetySixAreListed) {
    // 97 step-like cells on screen: 96 listed (the count and 15, five frames
    // of 16, the last number alone), the bits of 6 registers; the 97th has no bit.
    steps = Steps(97, 200);
    emu.S.coils[200] = 1;   // S200: first list entry
    emu.S.coils[295] = 1;   // S295: entry 95, the last listed
    emu.S.coils[296] = 1;   // S296: not listed
    Start();
    ASSERT_TRUE(WaitUntil([&] { return mon.StepOn(0) && mon.StepOn(95); }));
    const auto writes = Requests(16, 16384, 16584);
    ASSERT_GE(writes.size(), 7u);
    EXPECT_EQ(Data(writes[0], 0), 96);
    for (int f = 1; f < 6; ++f) EXPECT_EQ(Head(writes[f]), std::make_pair(16384 + 16 * f, 16)) << f;
    EXPECT_EQ(Head(writes[6]), std::make_pair(16384 + 96, 1));
    EXPECT_EQ(Data(writes[6], 0), 295);
    EXPECT_EQ(Word(Requests(3, 16584, 16604)[0], 2), 6);
    EXPECT_EQ(mon.StepListBytes, 192u);
    EXPECT_FALSE(mon.StepOn(1));
    EXPECT_FALSE(mon.StepOn(96));
}

TEST_F(SfcMonitorTest, NoVisibleStepAsksForTheScanTime) {
    steps.clear();
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Requests(3, 0x13F2, 0x13F3).size() >= 2; }));
    EXPECT_TRUE(Requests(16, 16384, 16584).empty());
    EXPECT_TRUE(Requests(3, 16584, 16604).empty());

}

TEST_F(SfcMonitorTest, AReplyLongerThanTwelveBytesKeepsTwelve) {
    // A bit reply as the link hands it over: function, byte count, 14 data
    // bytes, check byte.
    mon.MonitorState = 9;
    mon.StepListBytes = 192;
    gCommData[0] = 3;
    gCommData[1] = 14;
    for (int k = 0; k < 14; ++k) gCommData[2 + k] = static_cast<std::uint8_t>(0xA0 + k);
    gCommData[16] = 0;
    gCommDataLen = 17;
    EXPECT_TRUE(mon.ReceiveMonitorStep(*link));
    for (int k = 0; k < kSfcMoniReplyBytes; ++k) EXPECT_EQ(mon.ReplyBits[k], 0xA0 + k) << k;
    // Alone on the link, the next turn reads the bits again.
    EXPECT_EQ(mon.MonitorState, 9);
    // A short reply clears the bits it does not carry.
    gCommData[1] = 1;
    gCommData[2] = 0x01;
    gCommDataLen = 4;
    EXPECT_TRUE(mon.ReceiveMonitorStep(*link));
    EXPECT_TRUE(mon.StepOn(0));
    EXPECT_EQ(mon.ReplyBits[1], 0);
}
