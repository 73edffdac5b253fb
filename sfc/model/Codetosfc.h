#pragma once
// Conversion of machine code into a chart.
//
// The code is read into blocks (Sfcparse.h) and laid out block by block: a
// LAD block in column 0 of the next empty row, an initial step likewise, a
// step in the place its first transfer left for it (a placeholder), each
// transition below its step with a placeholder for its target, divergences
// and convergences as line pieces. A branch that needs room pushes the
// branches to its right one column further.
//
// The layout is checked before it is accepted: the chart, converted back,
// must hold the same steps, actions, transitions and LAD blocks as the code,
// in the code's order, and that code must draw as a chart that gives it back
// as it is. Where a step has several places or a transfer may join a branch,
// the ways are tried in turn. A conversion either succeeds completely or
// changes nothing.
#include <cstdint>
#include <string>

#include "sfc/model/Sfcchart.h"

struct TCodeToSfcResult {
    bool ok = false;
    TSfcChart chart;               // on failure: as far as it was laid out (diagnostics only)
    std::uint32_t failOffset = 0;  // code offset of the refused instruction (when the code was refused)
    std::string why;               // what refused it, for diagnostics and tests
};

// Lays out code[0, used) as a chart.
TCodeToSfcResult ConvertCodeToChart(const std::uint8_t* code, std::uint32_t used);
