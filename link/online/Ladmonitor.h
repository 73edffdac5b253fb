#pragma once
// The ladder's on-line monitor without its window: the devices of the ladder
// rows on screen turned into a bit list and a word list, written into the
// PLC's monitor areas (or read one by one), the replies decoded, and the
// state of every visible cell for the painter. The link's round robin drives
// it as monitor client "1". Force and pulse writes of the cursor cell are
// checked here too.
//
// Each cell remembers which entries it put into the lists, so a cell always
// shows its own device's state, whatever else the screen holds.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>

#include "link/engine/Deviceaddress.h"
#include "link/engine/Transdata.h"

namespace qel::link {

inline constexpr int kLadMoniMaxEntries = 96;
inline constexpr int kMsgCannotForceOn = 41;
inline constexpr int kMsgCannotForceOff = 42;

// What the monitor knows of one cell.
struct TLadMoniCell {
    bool known = false;  // false: the cell shows no monitor state
    bool on = false;
    std::string value;   // present value of an operand token ("K100")
};

class TLadMonitor : public TMonitorClient {
public:
    // The ladder grid (rows of 60 bytes) and its row count.
    const std::uint8_t* Grid = nullptr;
    std::int32_t Capacity = 0;
    // First and last row on screen (the last may be partly visible).
    std::function<std::pair<std::int32_t, std::int32_t>()> VisibleRows;
    // New states or values arrived: the window repaints.
    std::function<void()> OnValues;
    // Display format of values: 0 decimal "K", 1 hexadecimal "H", 2 ASCII.
    std::function<int()> ValueFormat;

    // Monitor client "1".
    int SendStep(TTransData& link) override { return SendMonitorStep(link); }
    int ReplyStep(TTransData& link) override { return ReceiveMonitorStep(link); }
    void SetupStep(TTransData& link) override { BuildMonitorList(link); }

    // Collects the devices of the visible rows and chooses the first state.
    void BuildMonitorList(TTransData& link);
    // Adds the devices of one cell to the lists.
    void CollectCellDevices(std::int32_t row, std::int32_t col);
    std::uint8_t SendMonitorStep(TTransData& link);
    std::uint8_t ReceiveMonitorStep(TTransData& link);

    // The state of a cell for the painter, from the last replies.
    TLadMoniCell CellState(std::int32_t row, std::int32_t col) const;
    // Forgets every state and value (the lists stay).
    void ClearValues();

    // The coil address to force for the cell at (row, col), or the id of the
    // message that says why it cannot be forced (41 for ON and the pulses,
    // 42 for OFF).
    int ForceAddress(std::int32_t row, std::int32_t col, bool off, std::uint16_t& address) const;

    // State 0, 8, 9, 10, 11, 12 or 25, and the byte offset (state 12: entry
    // index) within the list being sent or read.
    std::int32_t MonitorState = 0;
    std::int32_t MonitorIndex = 0;

    std::array<std::uint16_t, kLadMoniMaxEntries> gMonitorBitList{};
    std::uint32_t gMonitorBitListBytes = 0;
    std::array<std::uint8_t, 14> gMonitorBitStates{};
    std::array<std::uint16_t, kLadMoniMaxEntries> gMonitorWordList{};
    std::uint32_t gMonitorWordListBytes = 0;
    std::array<std::uint32_t, kLadMoniMaxEntries> gMonitorValues{};
    std::array<bool, kLadMoniMaxEntries> gMonitorWideFlags{};
    std::array<TWordRead, kLadMoniMaxEntries> gMonitorWordReads{};  // how each word entry is read
    std::uint8_t gMonitorOperandMode = 0;
    std::uint32_t gMonitorBlockOffset = 0;

    // The rows the lists were built from.
    std::pair<std::int32_t, std::int32_t> BuiltRows{0, -1};

private:
    struct Slots {
        int bit = -1;   // entry of the bit list
        int word = -1;  // entry of the word list
        int high = -1;  // entry of the high word of a pair split on the link (D4095, D4096)
    };
    static int Key(std::int32_t row, std::int32_t col) { return row * 12 + col / 5; }
    int AddBit(std::uint16_t address);
    // The word entry of an operand's device (its pair too for a 32-bit one);
    // nothing for a device the family does not have.
    void AddWord(Slots& s, char letter, unsigned n, bool wide);
    bool Bit(int entry) const;
    std::uint8_t WriteList(TTransData& link, std::uint16_t base, const std::uint16_t* list,
                           std::uint32_t bytes, bool countFirst);
    std::uint8_t EndOfCycle(TTransData& link);
    std::string ValueText(const Slots& s) const;

    std::unordered_map<int, Slots> cells_;
    std::uint32_t valueSlot_ = 0;  // next slot of single reads
};

}  // namespace qel::link
