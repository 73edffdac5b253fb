// The ladder while simulating: programs converted to their ladder, the states
// and values their cells show, and clicks that drive the inputs of a running
// simulation.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "ladder/model/LadderConvert.h"
#include "simulator/SimLadder.h"
#include "simulator/SimMonitor.h"
#include "simulator/Simuplc.h"
#include "tests/simulator/SimRig.h"
#include "tests/simulator/SimThreads.h"

using simtest::Assemble;
using simtest::Bit;

namespace {

// A program's ladder, converted from its instruction list.
struct Ladder {
    explicit Ladder(const std::string& program) : image(Assemble(program)), grid(400 * 60, 0), p(256, -1), i(900, -1) {
        TLadderTarget target;
        target.grid = grid.data();
        target.rowCapacity = 400;
        target.labels = TLabelTables{p.data(), i.data()};
        TConvertInput in;
        in.code = image.data();
        in.length = static_cast<std::uint32_t>(image.size());
        in.used = in.length;
        const TConvertResult r = ConvertCodeToGrid(in, target);
        EXPECT_TRUE(r.ok) << program;
        rows = r.rowCount;
    }
    // Row and column of the first cell of `kind` (naming device type `type`
    // number `n`, when a type is given).
    std::pair<int, int> Find(TLdbKind kind, int type = -1, int n = 0) const {
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c <= kLdbLastColumn; c += kLdbCellBytes) {
                const std::uint8_t* cell = CellAt(grid.data(), r, c);
                if (CellKind(cell) == kind &&
                    (type < 0 || (CellDevType(cell) == type && static_cast<std::int16_t>(CellOperand(cell)) == n)))
                    return {r, c};
            }
        ADD_FAILURE() << "no such cell";
        return {0, 0};
    }
    std::vector<std::uint8_t> image, grid;
    std::vector<std::int32_t> p, i;
    int rows = 0;
};

TEST(SimLadderCells, StatesOfContactsCoilsAndSteps) {
    Ladder l("LD X0\nOUT Y0\nLDI X2\nOUT Y1\nLD X17\nOUT M1536\nSTL S20\nOUT Y2\nRET\nEND");
    TSimMemory mem;
    ClearSimMemory(mem);
    SetSimBitAt(mem, Bit("X0"), true);
    SetSimBitAt(mem, Bit("Y1"), true);
    SetSimBitAt(mem, Bit("X17"), true);
    SetSimBitAt(mem, Bit("S20"), true);
    auto state = [&](std::pair<int, int> at) { return SimCellState(mem, l.grid.data(), at.first, at.second); };
    EXPECT_EQ(state(l.Find(TLdbKind::Open_Ry, CellDev::X, 0)), 1);
    EXPECT_EQ(state(l.Find(TLdbKind::Out_Ry, CellDev::Y, 0)), 0);
    EXPECT_EQ(state(l.Find(TLdbKind::Close_Ry, CellDev::X, 2)), 1) << "a normally-closed contact of an OFF device";
    EXPECT_EQ(state(l.Find(TLdbKind::Out_Ry, CellDev::Y, 1)), 1);
    EXPECT_EQ(state(l.Find(TLdbKind::Open_Ry, CellDev::X, 15)), 1) << "X17 is input 15";
    EXPECT_EQ(state(l.Find(TLdbKind::Out_Ry, CellDev::M, 1536)), 0);
    EXPECT_EQ(state(l.Find(TLdbKind::State_Ry, CellDev::S, 20)), 1);

    // Lines, empty cells and rows beyond the ladder name no device.
    const auto line = l.Find(TLdbKind::H_Line);
    EXPECT_EQ(SimCellDeviceArray(l.grid.data(), line.first, line.second), -1);
    EXPECT_EQ(SimCellDeviceArray(l.grid.data(), l.rows + 1, 0), -1);
    EXPECT_EQ(SimCellDeviceArray(l.grid.data(), 0, 3), -1) << "not a cell's column";
    SetBlockCommentRow(CellAt(l.grid.data(), l.rows + 2, 0), "OUT Y0 looks like an element");
    for (int c = 0; c <= kLdbLastColumn; c += kLdbCellBytes)
        EXPECT_EQ(SimCellDeviceArray(l.grid.data(), l.rows + 2, c), -1) << "a block comment is text";
}

TEST(SimLadderCells, ValuesInTheChosenFormat) {
    Ladder l("LD T5\nOUT Y0\nLD C210\nOUT Y1\nLD X0\nMOV D0 D1\nDMOV D10 D12E\nEND");
    TSimMemory mem;
    ClearSimMemory(mem);
    mem.TPV[5] = 17;
    mem.CPV32[10] = 70000;
    mem.D[0] = 255;
    mem.D[1] = 0x4142;
    mem.D[1028] = 2;  // E: D12E is D14
    mem.D[14] = 0;
    mem.D[15] = 2;
    const std::uint8_t* g = l.grid.data();
    auto text = [&](std::pair<int, int> at, TSimValueFormat f) {
        return SimCellValueText(mem, g, at.first, at.second, f);
    };
    const auto t5 = l.Find(TLdbKind::Open_Ry, CellDev::T, 5);
    EXPECT_EQ(text(t5, TSimValueFormat::Decimal), "K17");
    EXPECT_EQ(text(t5, TSimValueFormat::Hexadecimal), "H11");
    EXPECT_EQ(text(l.Find(TLdbKind::Open_Ry, CellDev::C, 210), TSimValueFormat::Decimal), "K70000")
        << "a 32-bit counter";
    EXPECT_EQ(text(l.Find(TLdbKind::Spec_Token, CellDev::D, 0), TSimValueFormat::Hexadecimal), "Hff");
    EXPECT_EQ(text(l.Find(TLdbKind::Spec_Token, CellDev::D, 1), TSimValueFormat::Characters), "AB");
    EXPECT_EQ(text(l.Find(TLdbKind::Spec_Token, CellDev::D, 12), TSimValueFormat::Decimal), "K131072")
        << "a 32-bit operand with its index register applied";
    EXPECT_EQ(text(l.Find(TLdbKind::Open_Ry, CellDev::X, 0), TSimValueFormat::Decimal), "") << "X has no value";
    EXPECT_EQ(text(l.Find(TLdbKind::Out_Ry, CellDev::Y, 0), TSimValueFormat::Decimal), "");
}

using SimLadderRun = simtest::SimMonitorTest;
using simtest::WaitFor;

// As the frame runs it: the monitor asks for a ladder repaint, the display
// takes a snapshot, a click flips the device of the clicked cell.
TEST_F(SimLadderRun, ClicksDriveTheInputsOfARunningSimulation) {
    Ladder l("LD X0\nOUT Y0\nLDI X2\nOUT Y1\nEND");
    TSimMonitor monitor(SimPlc());
    TSimLadderDisplay display(SimPlc());
    int repaints = 0;
    QObject::connect(&monitor, &TSimMonitor::LadderRepaintWanted, [&] {
        ++repaints;
        display.TakeSnapshot();
    });
    ASSERT_TRUE(ToggleSimulation(l.image.data(), l.image.size()));
    const std::uint8_t* g = l.grid.data();
    const auto x0 = l.Find(TLdbKind::Open_Ry, CellDev::X, 0);
    const auto y0 = l.Find(TLdbKind::Out_Ry, CellDev::Y, 0);
    const auto y1 = l.Find(TLdbKind::Out_Ry, CellDev::Y, 1);
    auto shows = [&](std::pair<int, int> at, bool on) {
        return WaitFor([&] {
            monitor.Poll();
            return display.Cell(g, at.first, at.second, TSimValueFormat::Decimal).on == on;
        });
    };
    EXPECT_TRUE(shows(x0, true)) << "X0 starts ON";
    EXPECT_TRUE(shows(y0, true));
    EXPECT_GT(repaints, 0);
    EXPECT_TRUE(display.Cell(g, x0.first, x0.second, TSimValueFormat::Decimal).known);

    EXPECT_TRUE(display.ToggleSimCellDevice(g, x0.first, x0.second));
    EXPECT_TRUE(shows(x0, false));
    EXPECT_TRUE(shows(y0, false)) << "the coil follows at the next scan";
    EXPECT_TRUE(display.ToggleSimCellDevice(g, x0.first, x0.second));
    EXPECT_TRUE(shows(y0, true));

    const auto line = l.Find(TLdbKind::H_Line);
    EXPECT_FALSE(display.ToggleSimCellDevice(g, line.first, line.second)) << "a line names no device";

    EXPECT_TRUE(shows(y1, true));
    EXPECT_FALSE(ToggleSimulation(l.image.data(), l.image.size()));
    // Stopped, a click flips the device at once: the coil shows OFF until a
    // new run's scans drive it again.
    EXPECT_TRUE(display.ToggleSimCellDevice(g, y1.first, y1.second));
    display.TakeSnapshot();
    EXPECT_FALSE(display.Cell(g, y1.first, y1.second, TSimValueFormat::Decimal).on);
    ShutdownSimulation();
    EXPECT_EQ(TPLC::LiveWorkers(), 0);
}

}  // namespace
