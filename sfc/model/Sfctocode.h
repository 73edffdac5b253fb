#pragma once
// Conversion of a chart into machine code.
//
// The chart is walked from its top-left cell: each chain starts at an initial
// step and is followed down through its transitions; at a divergence every
// branch is stacked and taken left to right; a simultaneous convergence writes
// its STL list when its rightmost branch arrives. Each step becomes an STL
// block (its actions, then for each transition leaving it the condition and
// the transfer word); a chain ends with RET; LAD blocks are copied as they
// stand.
//
// The conversion writes into a buffer of its own and never past its capacity;
// TSfc-level callers (SfcToCode) copy the result into the program image only
// when the whole chart converted.
#include <cstdint>

#include "sfc/model/Sfcchart.h"

enum class TSfcFailure {
    None,
    Chart,     // the chart cannot be converted (message 1)
    Capacity,  // the code does not fit the program (message 74)
};

struct TSfcToCodeResult {
    TSfcFailure failure = TSfcFailure::None;
    std::uint32_t length = 0;     // bytes written
    std::int32_t unreached = 0;   // elements with code that no chain reaches (their code is not written)
    std::int32_t strays = 0;      // elements (lines aside) that no chain reaches, with or without code
    std::int32_t errRow = -1;     // the cell the walk stood on when it failed
    std::int32_t errCol = -1;     // its column (0..15)
    bool ok() const { return failure == TSfcFailure::None; }
};

// 1 when the last chart conversion (either direction) was not completed.
extern std::uint8_t gSfcChartError;
// The cell (row, column 0..15) where the last SfcToCode found the chart could
// not be converted; -1 after a success or a full program.
extern std::int32_t gSfcChartErrorRow;
extern std::int32_t gSfcChartErrorCol;

// Converts the chart into code[0, capacity). The buffer is erased to 0xFF
// first; on failure its contents are of no use.
TSfcToCodeResult SfcChartToCode(const TSfcChartRef& chart, std::uint8_t* code, std::uint32_t capacity);

// The frame's and the SFC window's chart-to-code command on the shared chart:
// converts it and, only when the whole chart converted, replaces the program
// image (gProgram, gProgramUsed). On failure shows message 1 (with the
// failing cell, also kept in gSfcChartErrorRow/Col), 74, or 24 with the
// label when the elements' code would define a P or I label twice, sets
// gSfcChartError and leaves the program as it was. Elements with code that no
// chain reaches are reported (message 181 with their count) after a success.
// Returns true on success.
bool SfcToCode();
