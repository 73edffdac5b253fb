#pragma once
// The chart grid and the element code records as values.
//
// The chart is a grid of rows of 16 four-byte cells (type, 16-bit number or
// line shape, work flag; 0xFF empty). The program's own chart lives in the
// shared buffers gSfcGrid / gSfcCodeList; the conversions work on a value copy
// (TSfcChart) and hand it over only when they succeed, so a refused conversion
// never leaves a half-built chart behind.
#include <cstdint>
#include <memory>
#include <vector>

#include "project/Qelglobals.h"

// Element types (byte 0 of a cell).
enum TSfcType : std::uint8_t {
    kSfcLad = 0,          // LAD block, column 0 only
    kSfcInitStep = 1,     // initial step
    kSfcStep = 2,         // step
    kSfcJump = 3,         // jump to step n (transfer by OUT)
    kSfcTransition = 4,   // transition
    kSfcLine = 5,         // line piece, shape in byte 1
    kSfcJumpSet = 6,      // jump to step n drawn as a filled triangle (transfer by SET)
    kSfcResetMark = 7,    // step-reset mark (transfer by RST)
    kSfcStepMark = 8,     // step mark drawn as an ellipse (transfer by OUT)
    kSfcEmpty = 0xFF,
};

// Line shapes (byte 1 of a type-5 cell).
enum TSfcShape : std::uint8_t {
    kShapeParDivRight = 0,   // simultaneous divergence, right-hand branch point
    kShapeParCont = 1,       // double-line continuation
    kShapeParConvRight = 2,  // simultaneous convergence, right-hand branch point
    kShapeParLeft = 3,       // simultaneous divergence or convergence, left end
    kShapeSelDivRight = 4,   // selective divergence, right-hand branch point
    kShapeSelCont = 5,       // single-line continuation
    kShapeSelConvRight = 6,  // selective convergence, right-hand branch point
    kShapeSelLeft = 7,       // selective divergence or convergence, left end
    kShapeVertical = 8,      // vertical link
};

inline constexpr int kSfcColumns = 16;
inline constexpr int kSfcCellBytes = 4;
// Rows added when the view finds the chart close to its end.
inline constexpr int kSfcViewGrowth = 64;

// The step numbers both conversions accept: S0-S1023, the S range of the
// families with the most steps. A cell numbered outside it cannot be written
// as an STL or transfer word, and such words are not steps when read.
inline constexpr std::uint16_t kSfcMaxStep = 1023;
// Initial steps are numbered below this.
inline constexpr std::uint16_t kSfcFirstPlainStep = 10;

// One cell as read from a grid.
struct TSfcCell {
    std::uint8_t type = kSfcEmpty;
    std::uint8_t b1 = 0xFF;
    std::uint8_t b2 = 0xFF;
    std::uint8_t flag = 0xFF;
    std::uint16_t Number() const { return static_cast<std::uint16_t>(b1 | (b2 << 8)); }
    std::uint8_t Shape() const { return b1; }
    bool Empty() const { return type == kSfcEmpty; }
    bool IsLine(std::uint8_t shape) const { return type == kSfcLine && b1 == shape; }
};

// True for the element types that may own an inner program (0, 1, 2, 4, 8).
bool SfcTypeHasCode(std::uint8_t type);

// A chart held as a value: `rows` rows of 64 bytes and the element records.
struct TSfcChart {
    std::vector<std::uint8_t> grid;
    std::int32_t rows = 0;
    std::vector<TSfcCodeRec> records;

    // An empty chart of `rowCount` rows.
    static TSfcChart Empty(std::int32_t rowCount = kSfcRowsAtStart);

    TSfcCell Cell(std::int32_t row, std::int32_t col) const;  // col 0..15; empty outside the grid
    void SetCell(std::int32_t row, std::int32_t col, const TSfcCell& cell);
    void Clear(std::int32_t row, std::int32_t col) { SetCell(row, col, TSfcCell{}); }
    // Grows the grid (rows of 0xFF) to hold at least `rowCount` rows.
    void EnsureRows(std::int32_t rowCount);
    const TSfcCodeRec* FindRec(std::int32_t row, std::int32_t colBytes) const;
    TSfcCodeRec* FindRec(std::int32_t row, std::int32_t colBytes);
};

// The shared chart (gSfcGrid, gSfcRowCount, gSfcCodeList) copied into a value.
TSfcChart CaptureSfcChart();
// Replaces the shared chart by `chart` (the grid keeps at least its rows).
void CommitSfcChart(const TSfcChart& chart);

// A read-only view of a chart in either form, for the conversion chart -> code.
struct TSfcChartRef {
    const std::uint8_t* grid = nullptr;
    std::int32_t rows = 0;
    std::vector<const TSfcCodeRec*> records;
    static TSfcChartRef Of(const TSfcChart& chart);
    static TSfcChartRef Shared();  // the shared chart
};

// The last row of a grid holding a cell below 0xFF, scanning from the last
// row up; -1 for an empty grid.
std::int32_t SfcLastUsedRow(const std::uint8_t* grid, std::int32_t rows);

// The view's growth rule: when the last used row + 64 reaches the row count,
// the shared grid grows by 64 rows of 0xFF. Returns true when it grew.
bool GrowSfcGridForView();

// ---------------------------------------------------------------------------
// Element code records of the shared list gSfcCodeList (in creation order).

// Appends a new record {row -1, col -1, no code} and returns it.
TSfcCodeRec* AddSfcCodeRec();
// The first record of cell (row, col byte offset), or null.
TSfcCodeRec* FindSfcCodeRec(std::int32_t row, std::int32_t col);
// Removes and frees the record of a cell; nothing when there is none.
void RemoveSfcCodeRec(std::int32_t row, std::int32_t col);
// Frees every record.
void ClearSfcCodeList();
// Bytes the records take in an undo snapshot: the sum of length + 6.
std::uint32_t SfcCodeListSize();
// Keeps records with their cells after a row or cell was inserted or deleted
// at (row, col byte offset); see the table in the header's implementation.
void ShiftSfcCodeRecs(std::int32_t row, std::int32_t col, bool byRow, bool insert);
// The same on a list of value records.
void ShiftSfcCodeRecs(std::vector<TSfcCodeRec>& records, std::int32_t row, std::int32_t col, bool byRow,
                      bool insert);
