// Code-to-ladder conversion of a full 16000-step program.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "ladder/model/LadderConvert.h"

namespace {

std::vector<std::uint8_t> Assemble(const std::string& line) {
    SetInputText(line);
    if (AssembleInstruction() != 1) return {};
    return std::vector<std::uint8_t>(gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
}

// Mixed rungs (series, parallel, blocks, a box, a timer, a compare) repeated
// until the 31744-byte image is full, then END.
std::vector<std::uint8_t> FullProgram() {
    SetCurrentFamily(2);
    const std::vector<std::string> rungs[] = {
        {"LD X0", "AND X1", "OR X2", "ANI M5", "OUT Y0"},
        {"LD X3", "LD X4", "OR X5", "ANB", "MOV K100 D10"},
        {"LD M1", "MPS", "AND M2", "OUT Y1", "MPP", "TMR T3 K50"},
        {"LD= D0 K5", "AND X6", "DMOV K100000 D20"},
    };
    std::vector<std::uint8_t> image;
    const std::vector<std::uint8_t> end = Assemble("END");
    for (int k = 0;; ++k) {
        std::vector<std::uint8_t> rung;
        for (const std::string& line : rungs[k % 4]) {
            const std::vector<std::uint8_t> w = Assemble(line);
            rung.insert(rung.end(), w.begin(), w.end());
        }
        if (image.size() + rung.size() + end.size() > 31744) break;
        image.insert(image.end(), rung.begin(), rung.end());
    }
    image.insert(image.end(), end.begin(), end.end());
    image.resize(31744, 0xFF);
    return image;
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
