#pragma once
// Folding of a network laid out wider than a row: the work grid is cut into
// 60-byte segments that become consecutive grid rows, joined by connector
// pairs (Re_Line cells with equal numbers) at each segment boundary.
#include <cstdint>
#include <vector>

// Widens the network in `buf` (rows 0..lastRow at `stride`) until no segment
// boundary cuts an element, a vertical link or a box: the cells from the cut
// onwards move right so that the boundary cell and the first cell of the next
// segment hold only wire. Then rounds the stride up to a multiple of 60 and
// moves each row's output to the new right end. Returns the new stride; `buf`
// is rebuilt at it. A stride of 60 or less is returned unchanged. Returns 0,
// `buf` unchanged, when the boxes and compares of the rows overlap a boundary
// so that no shift of less than a segment clears it.
std::int32_t FoldNetworkRows(std::vector<std::uint8_t>& buf, std::int32_t stride, std::int32_t lastRow);

// Pulls the output of the first row whose output stands in a later segment
// than the run of wire before it back to the end of the segment where that
// run starts, so the row takes fewer grid rows. Rows whose wire carries a
// vertical link are left alone.
void PullOutputLeft(std::uint8_t* grid, std::int32_t stride, std::int32_t lastRow);

// Marks the connector pairs: at each boundary (columns 55, 115, ...) every row
// whose wire goes on into the next segment gets Re_Line cells at the boundary
// and at the first cell of the next segment, numbered 0, 1, 2, ... by
// boundary, then row.
void MarkConnectors(std::uint8_t* grid, std::int32_t stride, std::int32_t lastRow);
