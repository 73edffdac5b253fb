#pragma once
// What the ladder benchmarks share: the full 16000-step program put into the
// program buffer and drawn as its ladder, without comments.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/DeviceLimits.h"
#include "ladder/model/LadderConvert.h"
#include "project/Qelglobals.h"
#include "tests/support/Fullprogram.h"

namespace qel::bench {

/// The full program in gProgram and its ladder in gLadderRows; false when it
/// could not be drawn.
inline bool DrawFullProgramLadder() {
    AllocateSharedBuffers();
    SetModelFamily(2);
    SetProgramCapacity(3);
    const std::vector<std::uint8_t> image = qel::test::MixedFullProgram(gProgramCapacity);
    std::copy(image.begin(), image.end(), gProgram);
    LocateProgramEnd();
    gQel.RungComments.clear();
    std::memset(gLadderRows, 0, static_cast<std::size_t>(kLadderRows) * kLadderRowBytes);
    return ConvertCodeToLadder() == 0;
}

}  // namespace qel::bench
