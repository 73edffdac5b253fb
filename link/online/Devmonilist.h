#pragma once
// The device monitor's list and its conversation with the PLC, without the
// window: the listed rows (names, formats, set-value sources, saved as the
// project's ".dev" records), the three request lists built from them (bit
// devices, word devices, set-value registers of timers and counters), the
// value buffers filled from the replies, the poll cycle that the link's
// round robin drives as monitor client "3", and the texts the grid shows.
//
// Row i of Rows is grid row i + 1 (row 0 of the grid is its title row) and
// owns record i of gDevMoniEntries. Every row change goes through the
// operations below, which keep the records and gDevMoniEntryCount in step.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/engine/Deviceaddress.h"
#include "link/engine/Transdata.h"
#include "project/Qelglobals.h"

namespace qel::link {

// The grid stops at this many rows: the title row and 96 devices.
inline constexpr int kDevMoniGridMaxRows = 97;
// Message ids of the device monitor and its input dialog.
inline constexpr int kMsgBadInput = 0;
inline constexpr int kMsgDecimal = 4;
inline constexpr int kMsgHex = 5;
inline constexpr int kMsgBadCount = 16;
inline constexpr int kMsgNoRoom = 17;

// Display format of a word row (column 6); bit rows have none.
enum class TMoniFormat : std::uint8_t { None, Decimal, Hex, Ascii };

struct TDevMoniRow {
    std::string Name;       // column 0: letter and number, X and Y octal
    std::string Comment;    // column 1
    TMoniFormat Format = TMoniFormat::None;  // column 6
    std::string SetSource;  // column 7: "Set", "No Set", "D<n>" or empty
    TDevMoniEntry Record{};  // the ".dev" record of the row
    // Places in the value buffers given by the last BuildMonitorList; -1 while
    // the row is not polled (added since, or not a device of that kind).
    int BitIndex = -1;   // entry of the bit-device list
    int WordSlot = -1;   // entry of the word-device list
    int SetRegSlot = -1; // entry of the set-value register list
    // Entries holding the high word of a 32-bit pair whose registers are not
    // neighbours on the link (D4095 and D4096): read as a device of its own.
    int HighSlot = -1;
    int SetRegHighSlot = -1;
    bool Empty() const { return Name.empty(); }
};

// What one row shows in columns 2 to 5.
struct TDevMoniCells {
    bool On = false;        // column 2: the red lamp
    std::string SetValue;   // column 3
    std::string Value16;    // column 4
    std::string Value32;    // column 5
};

// Message boxes a row operation asks for: each entry is one box, its ids'
// texts shown one after the other.
using TMsgBoxes = std::vector<std::vector<int>>;

class TDevMoniList : public TMonitorClient {
public:
    TDevMoniList();

    // ---- rows -------------------------------------------------------------
    std::vector<TDevMoniRow> Rows;  // at least one (empty) row

    // Comment of a device name (letter and number, X and Y octal); empty
    // without a lookup.
    std::function<std::string(const std::string& name)> CommentOf;
    // The format new word rows get (the frame's Dig10 / Dig16 / DigASCI).
    TMoniFormat DefaultFormat = TMoniFormat::Decimal;
    // Called after every reply step and after the lists changed, so that the
    // window shows the new values.
    std::function<void()> OnValues;

    // The rows of the records read from a ".dev" file (or left from an
    // earlier window): names, default formats of word rows and comments.
    void LoadRecords();
    // Adds `countText` consecutive devices from `nameText` at row `row` (1-based
    // grid row) as the monitor-input dialog asks. Returns the message boxes to
    // show; `currentRow` is set to the row the grid's cursor goes to.
    TMsgBoxes AddDevices(int row, const std::string& nameText, const std::string& countText,
                         int* currentRow);
    // Deletes grid rows top..bottom (1-based, inclusive). False when there was
    // nothing to delete.
    bool DeleteRows(int top, int bottom);
    // Empties the list: one empty row, no request lists, no values.
    void ClearAll();
    // Sets the format of a word row; false for a bit row or an empty row.
    bool SetFormat(int row, TMoniFormat format);
    // Grid rows, the title row included.
    int GridRows() const { return static_cast<int>(Rows.size()) + 1; }

    // The texts of columns 2-5 of a grid row (1-based) from the value buffers.
    TDevMoniCells Cells(int row) const;

    // ---- request lists and the poll cycle -----------------------------------
    // Rebuilds the three lists from the rows and chooses the first state; the
    // link runs it when gDevMonitorRefresh is set.
    void BuildMonitorList(TTransData& link);
    // For a timer or counter row: finds its set value in the program image
    // and records it (column 7, the record's SetValue, the set-value list).
    void FindSetValue(TDevMoniRow& row, const std::uint8_t* program, std::uint32_t capacity);

    // Monitor client "3": one request per call, or 0 when the turn passes.
    int SendStep(TTransData& link) override { return SendMonitorStep(link); }
    int ReplyStep(TTransData& link) override { return ReceiveMonitorStep(link); }
    void SetupStep(TTransData& link) override { BuildMonitorList(link); }
    std::uint8_t SendMonitorStep(TTransData& link);
    std::uint8_t ReceiveMonitorStep(TTransData& link);

    // State of the poll cycle: 0, 8, 9, 10, 11, 12, 13 or 25.
    std::int32_t PollState = 0;
    // Byte offset into the list being written or read (state 12: an entry index).
    std::uint32_t PollOffset = 0;

    // Request lists (device addresses) and their sizes in bytes.
    std::array<std::uint16_t, kDevMoniMaxEntries> gMoniDevList{};
    std::uint32_t gMoniBitBytes = 0;
    std::array<std::uint16_t, 2 * kDevMoniMaxEntries> gMoniWordList{};
    std::uint32_t gMoniWordBytes = 0;
    std::array<std::uint16_t, 2 * kDevMoniMaxEntries> gMoniSetRegList{};
    std::uint32_t gMoniSetRegBytes = 0;

    // How each word and set-value entry is read: with its pair, alone, or as
    // a 32-bit counter.
    std::array<TWordRead, 2 * kDevMoniMaxEntries> gMoniWordReads{};
    std::array<TWordRead, 2 * kDevMoniMaxEntries> gMoniSetRegReads{};

    // Value buffers: one bit per listed bit device, one 4-byte slot (a u32
    // whose low half is the device's own register) per word or set-value entry.
    std::array<std::uint8_t, 12> gMoniBitValues{};
    std::array<std::uint32_t, 2 * kDevMoniMaxEntries> gMoniWordValues{};
    std::array<std::uint32_t, 2 * kDevMoniMaxEntries> gMoniSetRegValues{};
    std::int32_t gMoniBlockIndex = 0;  // next slot of a block reply

    // Model family the lists were built for (its registers and pairs).
    int Family = 0;

private:
    // Keeps gDevMoniEntries and gDevMoniEntryCount in step with Rows.
    void StoreRecords() const;
    // Adds the empty row to type into after the last device when there is
    // none and the grid has room.
    void KeepRowToTypeInto();
    void ResetLists();
    std::uint8_t WriteList(TTransData& link, std::uint16_t base, const std::uint16_t* list,
                           std::uint32_t bytes, bool countFirst);
    int EndOfCycleState(TTransData& link, bool anyClient) const;
};

// Link addresses of the devices the monitor lists. Each returns false for a
// text that is no device of its kind in the family (an index suffix too). A
// word device is read with its pair when it has one, else alone.
bool MoniBitAddress(const std::string& name, std::uint16_t& address);
bool MoniWordAddress(const std::string& name, int family, TWordAddress& address);

}  // namespace qel::link
