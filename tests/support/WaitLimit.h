#pragma once
// How long a test waits for something that should happen (a reply, a job's
// end, a window's change). A wait ends as soon as its condition holds, so the
// limit costs nothing when the test passes; it is far above what the work
// needs so that a machine busy with other builds, or the sanitizers, never
// fail a sound test. A wait that shows a failure (nothing arrives, nothing
// moves) keeps its own short limit where the test needs one.
#include <chrono>

namespace qel::test {

inline constexpr std::chrono::milliseconds kWaitLimit = std::chrono::seconds(60);
inline constexpr int kWaitLimitMs = static_cast<int>(kWaitLimit.count());

}  // namespace qel::test
