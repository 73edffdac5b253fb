#include "sfc/model/Sfcchart.h"

#include <algorithm>
#include <cstring>

bool SfcTypeHasCode(std::uint8_t type) {
    return type == kSfcLad || type == kSfcInitStep || type == kSfcStep || type == kSfcTransition ||
           type == kSfcStepMark;
}

TSfcChart TSfcChart::Empty(std::int32_t rowCount) {
    TSfcChart c;
    c.EnsureRows(rowCount);
    return c;
}

TSfcCell TSfcChart::Cell(std::int32_t row, std::int32_t col) const {
    if (row < 0 || row >= rows || col < 0 || col >= kSfcColumns) return {};
    const std::uint8_t* p = grid.data() + static_cast<std::size_t>(row) * kSfcRowBytes + col * kSfcCellBytes;
    return {p[0], p[1], p[2], p[3]};
}

void TSfcChart::SetCell(std::int32_t row, std::int32_t col, const TSfcCell& cell) {
    if (row < 0 || col < 0 || col >= kSfcColumns) return;
    EnsureRows(row + 1);
    std::uint8_t* p = grid.data() + static_cast<std::size_t>(row) * kSfcRowBytes + col * kSfcCellBytes;
    p[0] = cell.type;
    p[1] = cell.b1;
    p[2] = cell.b2;
    p[3] = cell.flag;
}

void TSfcChart::EnsureRows(std::int32_t rowCount) {
    if (rowCount <= rows) return;
    grid.resize(static_cast<std::size_t>(rowCount) * kSfcRowBytes, 0xFF);
    rows = rowCount;
}

const TSfcCodeRec* TSfcChart::FindRec(std::int32_t row, std::int32_t colBytes) const {
    for (const TSfcCodeRec& r : records)
        if (r.row == row && r.col == colBytes) return &r;
    return nullptr;
}

TSfcCodeRec* TSfcChart::FindRec(std::int32_t row, std::int32_t colBytes) {
    return const_cast<TSfcCodeRec*>(static_cast<const TSfcChart*>(this)->FindRec(row, colBytes));
}

TSfcChart CaptureSfcChart() {
    TSfcChart c;
    if (gSfcGrid && gSfcRowCount > 0) {
        c.grid.assign(gSfcGrid, gSfcGrid + static_cast<std::size_t>(gSfcRowCount) * kSfcRowBytes);
        c.rows = gSfcRowCount;
    }
    c.records.reserve(gSfcCodeList.size());
    for (const auto& r : gSfcCodeList) c.records.push_back(*r);
    return c;
}

void CommitSfcChart(const TSfcChart& chart) {
    const std::int32_t rows = std::max(chart.rows, kSfcRowsAtStart);
    ResizeSfcGrid(rows);
    std::memset(gSfcGrid, 0xFF, static_cast<std::size_t>(rows) * kSfcRowBytes);
    if (!chart.grid.empty()) std::memcpy(gSfcGrid, chart.grid.data(), chart.grid.size());
    gSfcCodeList.clear();
    for (const TSfcCodeRec& r : chart.records) gSfcCodeList.push_back(std::make_unique<TSfcCodeRec>(r));
}

TSfcChartRef TSfcChartRef::Of(const TSfcChart& chart) {
    TSfcChartRef ref;
    ref.grid = chart.grid.data();
    ref.rows = chart.rows;
    for (const TSfcCodeRec& r : chart.records) ref.records.push_back(&r);
    return ref;
}

TSfcChartRef TSfcChartRef::Shared() {
    TSfcChartRef ref;
    ref.grid = gSfcGrid;
    ref.rows = gSfcGrid ? gSfcRowCount : 0;
    for (const auto& r : gSfcCodeList) ref.records.push_back(r.get());
    return ref;
}

std::int32_t SfcLastUsedRow(const std::uint8_t* grid, std::int32_t rows) {
    if (!grid) return -1;
    static const std::vector<std::uint8_t> empty(kSfcRowBytes, 0xFF);
    for (std::int32_t r = rows - 1; r >= 0; --r)
        if (std::memcmp(grid + static_cast<std::size_t>(r) * kSfcRowBytes, empty.data(), kSfcRowBytes) != 0) return r;
    return -1;
}

bool GrowSfcGridForView() {
    if (SfcLastUsedRow(gSfcGrid, gSfcRowCount) + kSfcViewGrowth < gSfcRowCount) return false;
    ResizeSfcGrid(gSfcRowCount + kSfcViewGrowth);
    return true;
}

// ---------------------------------------------------------------------------
// Records

TSfcCodeRec* AddSfcCodeRec() {
    gSfcCodeList.push_back(std::make_unique<TSfcCodeRec>());
    return gSfcCodeList.back().get();
}

TSfcCodeRec* FindSfcCodeRec(std::int32_t row, std::int32_t col) {
    for (const auto& r : gSfcCodeList)
        if (r->row == row && r->col == col) return r.get();
    return nullptr;
}

void RemoveSfcCodeRec(std::int32_t row, std::int32_t col) {
    const auto it = std::find_if(gSfcCodeList.begin(), gSfcCodeList.end(),
                                 [&](const auto& r) { return r->row == row && r->col == col; });
    if (it != gSfcCodeList.end()) gSfcCodeList.erase(it);
}

void ClearSfcCodeList() { gSfcCodeList.clear(); }

std::uint32_t SfcCodeListSize() {
    std::uint32_t size = 0;
    for (const auto& r : gSfcCodeList) size += static_cast<std::uint32_t>(r->length()) + 6;
    return size;
}

namespace {

// Row insert: records at or below move down. Row delete: records below move
// up. Cell insert: records of the row at or right of col move right. Cell
// delete: records of the row right of col move left. Comparisons are signed.
void ShiftOne(TSfcCodeRec& r, std::int32_t row, std::int32_t col, bool byRow, bool insert) {
    if (byRow) {
        if (insert && r.row >= row) ++r.row;
        if (!insert && r.row > row) --r.row;
    } else if (r.row == row) {
        if (insert && r.col >= col) r.col += kSfcCellBytes;
        if (!insert && r.col > col) r.col -= kSfcCellBytes;
    }
}

}  // namespace

void ShiftSfcCodeRecs(std::int32_t row, std::int32_t col, bool byRow, bool insert) {
    for (const auto& r : gSfcCodeList) ShiftOne(*r, row, col, byRow, insert);
}

void ShiftSfcCodeRecs(std::vector<TSfcCodeRec>& records, std::int32_t row, std::int32_t col, bool byRow,
                      bool insert) {
    for (TSfcCodeRec& r : records) ShiftOne(r, row, col, byRow, insert);
}
