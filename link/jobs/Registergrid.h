#pragma once
// What the register view shows of the register data: one page (D, C,
// high-speed counters C200-C255, T) at a time, ten registers per grid row,
// in decimal, hexadecimal or binary, as 16-bit or 32-bit values; which
// registers the model family has ("No Use" for the others); and the commit of
// a typed value with its checks. Pure functions of the data and the display
// options; the window only shows their texts. No windows.
#include <cstdint>
#include <string>

#include "link/engine/Deviceaddress.h"
#include "link/jobs/Registerdata.h"

namespace qel::link {

enum TRegPage : int { kRegPageD = 0, kRegPageC = 1, kRegPageC32 = 2, kRegPageT = 3 };
enum TRegRadix : int { kRegDecimal = 0, kRegHex = 1, kRegBinary = 2 };

inline constexpr char kNoUse[] = "No Use";

// The display options of the window.
struct TRegView {
    int Page = kRegPageD;
    bool Is32 = false;        // "32 bits" (always on the high-speed counter page)
    int Radix = kRegDecimal;  // TRegRadix
    int Family = 0;           // model family 0..2
};

// Highest D and T of the family, from the device-limit table (the register
// transfer may have lowered family 0's D).
int HighestD(int family);
int HighestT(int family);

// Grid rows of a page, the header row included; the data cells are
// (rows - 1) x 10.
int RegGridRows(int page, int family);
inline int RegPageCells(int page, int family) { return (RegGridRows(page, family) - 1) * 10; }
// Texts of the header row ("+", "0".."9") and of a data row's label ("D120").
std::string RegColumnLabel(int column);
std::string RegRowLabel(int page, int row);
// Device number of cell index i of a page (C200 + i on the counter page).
int RegDeviceNumber(int page, int index);

// Whether the family has the register of cell `index` on `page` (the
// link's one table of the family's registers): the view shows it, and the
// transfer reads it.
bool RegisterInUse(int page, int family, int index);
// The PLC's special registers (family 0: D1000 and up; families 1 and 2:
// D1000-D1999): shown and read, but never changed here nor written to the
// PLC.
bool SpecialRegister(int page, int family, int index);

// The text of cell `index`: the value in the view's format, or "No Use".
std::string RegCellText(const TRegisterData& data, const TRegView& view, int index);

// Result of committing a typed text into a cell.
enum class TRegCommit {
    Stored,     // the value went into the data
    NoUse,      // the register does not exist: nothing stored
    Invalid,    // the text failed the check of the display mode (message 0)
    Protected,  // a special register (or the high word of a pair would be one): not changed here
};
// Checks `text` by the view's format and stores its value into the register
// of cell `index` (and the next one for a 32-bit pair). An empty text stores
// 0. In binary mode blanks are ignored, so a binary cell's own grouped text
// commits unchanged.
TRegCommit CommitRegisterEntry(TRegisterData& data, const TRegView& view, int index, const std::string& text);

// Entry checks of the three formats (the text upper-cased, blanks removed).
bool CheckDecimalEntry(const std::string& text, bool is32);
bool CheckHexEntry(const std::string& text, bool is32);
bool CheckBinaryEntry(const std::string& text, bool is32);
std::string FormatHex(std::uint32_t value);
std::string FormatBinary(std::uint32_t value, bool is32);

// Sets every register of the view's page to zero (the whole array).
void ClearRegisterPage(TRegisterData& data, int page);

}  // namespace qel::link
