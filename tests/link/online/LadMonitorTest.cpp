// The ladder's on-line monitor without its window, against the emulator over
// a pseudo-terminal: the lists built from the rows on screen, byte for byte
// on the wire, the states and values each cell shows, force refusals, and a
// running program whose coil follows a forced contact.
#include "tests/link/LinkTestSupport.h"
#include "core/DeviceLimits.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/LadderGrid.h"
#include "link/online/Ladmonitor.h"

using namespace qel::test;
using namespace qel::link;

namespace {

class LadMonitorTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        link->SetTickMs(5.0);
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
    }
    // The program's ladder from instruction-list lines.
    void Ladder(const std::vector<std::string>& lines) {
        WriteProgram(lines);
        emu.S.program.assign(gProgram, gProgram + gProgramCapacity);
        ASSERT_EQ(ConvertCodeToLadder(), 0);
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
