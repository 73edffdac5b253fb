#pragma once
// The steps the chart shows on the PLC while monitoring: which cells are
// step-like and the step numbers of the visible rows, in drawing order. The
// monitor client and the painter share these so that reply bit k always
// belongs to the k-th step-like cell drawn.
#include <cstdint>
#include <vector>

inline constexpr int kSfcMonitorMaxSteps = 96;
inline constexpr int kSfcMonitorReplyBytes = kSfcMonitorMaxSteps / 8;

// Initial steps, steps, step marks, jumps and jump-sets show a step's state.
bool IsSfcStepLike(std::uint8_t type);

// The step numbers of the step-like cells of rows first..last (inclusive;
// rows outside 0..rows-1 are skipped), row by row and column by column, at
// most kSfcMonitorMaxSteps.
std::vector<std::uint16_t> SfcVisibleSteps(const std::uint8_t* grid, std::int32_t rows, std::int32_t first,
                                           std::int32_t last);
