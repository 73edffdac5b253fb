#pragma once
// The device-use map: which numbers of one device letter a program uses, read
// from the machine code or from a ladder grid, and the page of the map as the
// window draws it (11 rows of 40 characters).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int kUseMapRows = 11;
inline constexpr int kUseMapColumns = 40;
using TUseMapPage = std::array<std::string, kUseMapRows>;

/// Numbers per page: 64 for X and Y (base 8), 100 for the other letters.
int UseMapPageSize(char letter);

/// Uses of `letter` in the code, instruction by instruction (index-modified
/// operands count as uses of their base device): entry n is true when device
/// n is used. The vector holds at least highest + 1 entries.
std::vector<bool> DevicesUsedInCode(const std::uint8_t* code, std::uint32_t capacity, char letter, int highest);

/// Uses of `letter` in a ladder grid of 60-byte rows up to lastRow; block
/// comment rows hold text, not devices, and are skipped.
std::vector<bool> DevicesUsedInLadder(const std::uint8_t* grid, std::int32_t lastRow, char letter, int highest);

/// The first step of the code that uses device `letter` `number`; -1 when none.
long FirstStepUsing(const std::uint8_t* code, std::uint32_t capacity, char letter, int number);

/// Page `page` of the map for devices 0..highest: the header row of "+k"
/// pairs, then one row per run of 8 (X, Y) or 10 numbers, "U" under each used
/// number; rows past the last device stay blank.
TUseMapPage BuildUseMapPage(char letter, int page, int highest, const std::vector<bool>& used);

/// The device number under character (row, column) of a page; -1 when none.
int DeviceAtUseMapCell(char letter, int page, int highest, int row, int column);
