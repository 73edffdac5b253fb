// Ladder compile of a full program ladder (thousands of rows), the same ladder
// compiled as the program's own (the F4 of the ladder window, with everything
// that compile does for the program), and the syntax check of a 16000-step
// program.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/Laddercompile.h"
#include "ladder/model/Test.h"
#include "project/Qelglobals.h"
#include "tests/support/Fullprogram.h"
#include "bench/LadderBenchSupport.h"

namespace {

constexpr std::uint32_t kCapacity = 31744;  // "16000 Steps"

// A program that fills the 16000-step image with a mix of rungs: series and
// parallel contacts, blocks, output branches, compares and boxes.
std::vector<std::uint8_t> BigProgram() {
    SetCurrentFamily(1);
    const std::vector<std::vector<std::string>> rungs = {
        {"LD X0", "AND X1", "OR M10", "ANI X2", "OUT Y0"},
        {"LD X3", "LD X4", "OR X5", "ANB", "OUT M20"},
        {"LD X6", "MPS", "AND X7", "OUT Y1", "MRD", "AND X10", "OUT Y2", "MPP", "OUT Y3"},
        {"LD= D0 K5", "AND M1", "MOV K10 D2"},
        {"LD X11", "AND X12", "LD X13", "AND X14", "ORB", "SET M30"},
    };
    std::vector<std::uint8_t> code;
    for (std::size_t i = 0;; ++i) {
        const auto& rung = rungs[i % rungs.size()];
        std::vector<std::uint8_t> words;
        for (const std::string& line : rung) {
            SetInputText(line);
            AssembleInstruction();
            words.insert(words.end(), gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
        }
        if (code.size() + words.size() + 2 > kCapacity) break;
        code.insert(code.end(), words.begin(), words.end());
    }
    const std::uint8_t end[2] = {0x0F, 0x00};
    code.insert(code.end(), end, end + 2);
    return code;
}

struct TBigLadder {
    std::vector<std::uint8_t> code = BigProgram();
    std::vector<std::uint8_t> grid = std::vector<std::uint8_t>(10000 * 60, 0);
    std::vector<std::int32_t> p = std::vector<std::int32_t>(256, -1), i = std::vector<std::int32_t>(900, -1);
    std::int32_t lastRow = -1;

    TBigLadder() {
        std::vector<std::uint8_t> image(code);
        image.resize(kCapacity, 0xFF);
        TConvertInput in;
        in.code = image.data();
        in.length = kCapacity;
        in.used = static_cast<std::uint32_t>(code.size());
        TLadderTarget target;
        target.grid = grid.data();
        target.rowCapacity = 10000;
        target.labels = TLabelTables{p.data(), i.data()};
        ConvertCodeToGrid(in, target);
        lastRow = FindLastUsedRow(grid.data(), 60, 9999);
    }
};

void BM_CompileFullLadder(benchmark::State& state) {
    static TBigLadder lad;
    std::vector<std::uint8_t> out(kCapacity);
    TCompileTarget t;
    t.grid = lad.grid.data();
    t.gridRows = 10000;
    t.lastRow = lad.lastRow;
    t.labels = TLabelTables{lad.p.data(), lad.i.data()};
    t.code = out.data();
    t.capacity = kCapacity;
    for (auto _ : state) {
        if (CompileLadder(t) != 0) state.SkipWithError("the ladder does not compile");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["rows"] = lad.lastRow + 1;
    state.counters["steps"] = static_cast<double>(gCompileCodeOffset / 2);
}
BENCHMARK(BM_CompileFullLadder)->Unit(benchmark::kMillisecond);

// The program's own ladder, drawn from a full 16000-step program, compiled
// back into the program over and over as the ladder window's compile does.
void BM_CompileProgramLadderFull(benchmark::State& state) {
    if (!qel::bench::DrawFullProgramLadder()) return state.SkipWithError("the program was not drawn");
    for (auto _ : state) {
        if (CompileProgramLadder() != 0) return state.SkipWithError("the ladder did not compile");
    }
    state.counters["rows"] = gLadderRowCount;
    state.counters["steps"] = static_cast<double>(gCompileCodeOffset / 2);
}
BENCHMARK(BM_CompileProgramLadderFull)->Unit(benchmark::kMillisecond);

void BM_CheckSyntax16000Steps(benchmark::State& state) {
    static const std::vector<std::uint8_t> code = BigProgram();
    std::int32_t steps[2];
    for (auto _ : state) {
        benchmark::DoNotOptimize(CheckProgramSyntax(code.data(), static_cast<std::uint32_t>(code.size()), steps));
        if (gSyntaxError != 0) state.SkipWithError("the program does not pass the check");
    }
    state.counters["steps"] = static_cast<double>(code.size() / 2);
}
BENCHMARK(BM_CheckSyntax16000Steps)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
