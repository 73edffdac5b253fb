#pragma once
// Charts written as text rows for the SFC tests, and instruction-list code.
//
// A row is cells separated by blanks: "." empty, "L0" LAD block 0, "I0"
// initial step S0, "S20" step S20, "T" transition, "J0" jump to S0 (OUT),
// "P20" filled-triangle jump to S20 (SET), "R5" reset mark, "M5" step mark,
// "|" vertical line, a single digit 0-7 a line of that shape.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/ladder/model/IlProgram.h"
#include "tests/support/ScriptedMessages.h"
#include "core/DeviceLimits.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "sfc/model/Sfcchart.h"

namespace qel::test {

// Family 1, the shared buffers with the program at capacity 3, a table of
// "msg" texts; messages scripted.
class SfcTest : public ::testing::Test {
protected:
    void SetUp() override {
        gMsgTable.Assign(std::vector<std::string>(250, "msg"));
        AllocateSharedBuffers();
        SetProgramCapacity(3);
        SetCurrentFamily(1);
    }
    void TearDown() override { FreeSharedBuffers(); }
    ScriptedMessages messages_;
};

// Element code by cell (row, column 0..15), as instruction-list lines.
using TCellCode = std::map<std::pair<int, int>, std::vector<std::string>>;

TSfcChart ChartOf(const std::vector<std::string>& rows, const TCellCode& code = {});
// The rows of a chart in the same notation, up to its last used row.
std::vector<std::string> RowsOf(const TSfcChart& chart);
// The code of the record of a cell as a listing ("" when none).
std::string RecordListing(const TSfcChart& chart, int row, int col);

// Chart to code with a capacity; the code cut to its length.
struct TCode {
    bool ok = false;
    std::vector<std::uint8_t> code;
    int unreached = 0;
    bool capacity = false;
};
TCode ToCode(const TSfcChart& chart, std::uint32_t capacity = 31744);

// What a program does in the simulator: from steps S0-S9 on, a few scans
// with inputs X0-X7 switched (by `seed`), the outputs Y0-Y7, steps S0-S1023,
// M0-M99 and D0-D9 after each scan, as text (a line a scan).
std::string SimTrace(const std::vector<std::uint8_t>& code, std::uint32_t seed, int scans = 12);

// Lines joined for comparing listings.
std::string Listing(const std::vector<std::uint8_t>& code);
std::string Listing(const std::vector<std::string>& lines);

}  // namespace qel::test
