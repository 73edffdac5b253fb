#include "sfc/model/Sfcmonitor.h"

#include <algorithm>

#include "sfc/model/Sfcchart.h"

bool IsSfcStepLike(std::uint8_t type) {
    return type == kSfcInitStep || type == kSfcStep || type == kSfcStepMark || type == kSfcJump ||
           type == kSfcJumpSet;
}

std::vector<std::uint16_t> SfcVisibleSteps(const std::uint8_t* grid, std::int32_t rows, std::int32_t first,
                                           std::int32_t last) {
    std::vector<std::uint16_t> steps;
    if (!grid) return steps;
    for (std::int32_t row = std::max(0, first); row <= last && row < rows; ++row) {
        const std::uint8_t* rp = grid + static_cast<std::size_t>(row) * kSfcRowBytes;
        for (int col = 0; col < kSfcColumns; ++col) {
            const std::uint8_t* c = rp + col * kSfcCellBytes;
            if (!IsSfcStepLike(c[0])) continue;
            if (steps.size() >= static_cast<std::size_t>(kSfcMonitorMaxSteps)) return steps;
            steps.push_back(TSfcCell{c[0], c[1], c[2], c[3]}.Number());
        }
    }
    return steps;
}
