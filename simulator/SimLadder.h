#pragma once
// The ladder while simulating: what each cell of a ladder grid shows of the
// simulated device states, and a click that flips a cell's device.
//
// The ladder window paints from a snapshot of the device memory that the GUI
// thread takes when the simulator reports new scans (TSimMonitor), never from
// the memory the worker thread is scanning; a click is queued to the worker,
// which applies it at the start of its next scan. Plain C++: the window turns
// a TSimCellView into its painter's cell state.
#include <cstdint>
#include <memory>
#include <string>

#include "simulator/Simucomm.h"

class TPLC;

// How values are written: the frame's Dig10, Dig16 and DigASCI items.
enum class TSimValueFormat : std::uint8_t { Decimal = 0, Hexadecimal = 1, Characters = 2 };

// The simulator bit (index into TSimMemory::bits) of the device a cell names:
// a normally-open or normally-closed contact, a coil or a step contact of C,
// M, S, T, X or Y within the arrays; -1 for any other cell. `grid` is rows of
// 60 bytes and `col` the cell's byte offset in its row (0, 5, ... 55).
int SimCellDeviceArray(const std::uint8_t* grid, std::int32_t row, std::int32_t col);

// 1 when the cell's device is ON, inverted for a normally-closed contact; 0
// for a cell that names no device.
int SimCellState(const TSimMemory& mem, const std::uint8_t* grid, std::int32_t row, std::int32_t col);

// The current value of a T, C or D operand of a cell (a contact of a timer or
// counter, an operand token of a box or compare) in the chosen format: "K17",
// "H11" (lower-case digits), or the bytes as characters, high byte first,
// '.' for those that cannot be shown. C200-C255 and 32-bit operand tokens show
// 32 bits; an indexed operand shows the device its index register names now.
// Empty for any other cell.
std::string SimCellValueText(const TSimMemory& mem, const std::uint8_t* grid, std::int32_t row,
                             std::int32_t col, TSimValueFormat format);

// What a cell shows while simulating.
struct TSimCellView {
    bool known = false;  // false: the cell shows as when editing
    bool on = false;     // green background
    std::string value;   // drawn in red above the operand; empty: none
};

// The ladder display of one simulator: the snapshot it paints from.
class TSimLadderDisplay {
public:
    explicit TSimLadderDisplay(TPLC& plc);
    ~TSimLadderDisplay();

    // Copies the device states of the simulator's latest published scan.
    // GUI thread, on the simulator's report of new scans and before a click.
    void TakeSnapshot();
    const TSimMemory& Snapshot() const { return *snapshot_; }

    // The cell as the snapshot shows it.
    TSimCellView Cell(const std::uint8_t* grid, std::int32_t row, std::int32_t col,
                      TSimValueFormat format) const;

    // ToggleSimCellDevice: flips the device of the cell (applied at the start
    // of the next scan, or at once while stopped); false, and nothing
    // changes, when the cell names no device.
    bool ToggleSimCellDevice(const std::uint8_t* grid, std::int32_t row, std::int32_t col);

private:
    TPLC& plc_;
    std::unique_ptr<TSimMemory> snapshot_;
};

// The value format the frame's display menu has chosen (gQel.ValueFormat).
TSimValueFormat SimValueFormat();
