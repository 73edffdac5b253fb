// Code-to-ladder conversion of a full 16000-step program.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/DeviceLimits.h"
#include "ladder/model/LadderConvert.h"
#include "tests/support/Fullprogram.h"

namespace {

// A full 16000-step image of mixed rungs (31744 bytes).
std::vector<std::uint8_t> FullProgram() {
    SetCurrentFamily(2);
    return qel::test::MixedFullProgram(31744);
}

void BM_ConvertFullProgram(benchmark::State& state) {
    const std::vector<std::uint8_t> image = FullProgram();
    std::vector<std::uint8_t> grid(10000 * 60, 0);
    std::vector<std::int32_t> p(256, -1), i(900, -1);
    TLadderTarget target;
    target.grid = grid.data();
    target.rowCapacity = 10000;
    target.labels = TLabelTables{p.data(), i.data()};
    TConvertInput in{image.data(), 31744, 31744, false, nullptr};
    std::int32_t rows = 0;
    for (auto _ : state) {
        const TConvertResult r = ConvertCodeToGrid(in, target);
        if (!r.ok) state.SkipWithError(ConvertFailureName(r.cause));
        rows = r.rowCount;
        benchmark::DoNotOptimize(grid.data());
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_ConvertFullProgram)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
