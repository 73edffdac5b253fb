// Code-to-ladder conversion of a full 16000-step program, bare and as the
// program's Convert > List to ladder with a comment on every tenth rung, of
// the code as it was compiled and after list edits in two places, and without
// a comment over the compile's hand-over files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/ProgramImage.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/LadderGrid.h"
#include "ladder/model/Laddercompile.h"
#include "project/Qelglobals.h"
#include "tests/support/Fullprogram.h"
#include "bench/LadderBenchSupport.h"

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

// The full program drawn, then every tenth rung given a block comment before
// it and every tenth (others) a rung comment, and compiled as the user's
// ladder is. `image` receives the program. An error text, or nullptr.
const char* DrawCommentedProgram(std::vector<std::uint8_t>& image) {
    AllocateSharedBuffers();
    SetModelFamily(2);
    SetProgramCapacity(3);
    image = qel::test::MixedFullProgram(gProgramCapacity);
    std::copy(image.begin(), image.end(), gProgram);
    LocateProgramEnd();
    gQel.RungComments.clear();
    DiscardCommentFiles(ProgramCommentFiles());  // those of an earlier run
    std::memset(gLadderRows, 0, static_cast<std::size_t>(kLadderRows) * kLadderRowBytes);
    if (ConvertCodeToLadder() != 0) return "the program was not drawn";

    // Block comments go in as rows of their own: the rows below move down,
    // and the labels of the networks with them.
    const std::int32_t rows = gLadderRowCount;
    std::vector<std::uint8_t> old(gLadderRows, gLadderRows + static_cast<std::size_t>(rows) * kLadderRowBytes);
    std::vector<std::int32_t> shiftAt(static_cast<std::size_t>(rows) + 1, 0);
    std::vector<std::int32_t> blockBefore;
    for (std::size_t m = 0; m < gMarkList.size(); m += 20) blockBefore.push_back(gMarkList[m].row);
    std::memset(gLadderRows, 0, static_cast<std::size_t>(kLadderRows) * kLadderRowBytes);
    std::int32_t out = 0, added = 0;
    std::size_t next = 0;
    for (std::int32_t r = 0; r < rows; ++r) {
        if (next < blockBefore.size() && blockBefore[next] == r) {
            SetBlockCommentRow(gLadderRows + static_cast<std::size_t>(out++) * kLadderRowBytes,
                               "block " + std::to_string(next++));
            ++added;
        }
        shiftAt[static_cast<std::size_t>(r)] = added;
        std::memcpy(gLadderRows + static_cast<std::size_t>(out++) * kLadderRowBytes,
                    old.data() + static_cast<std::size_t>(r) * kLadderRowBytes, kLadderRowBytes);
    }
    for (std::int32_t* table : {gPLabelRows, gILabelRows})
        for (int n = 0; n < (table == gPLabelRows ? kPLabelCount : kILabelCount); ++n)
            if (table[n] >= 0 && table[n] < rows) table[n] += shiftAt[static_cast<std::size_t>(table[n])];
    gLadderRowCount = out;
    // Rung comments on the first row of every twentieth network, ten after
    // the block comments.
    gQel.RungComments.assign(static_cast<std::size_t>(out), std::string());
    for (std::size_t m = 10; m < gMarkList.size(); m += 20) {
        const std::int32_t r = gMarkList[m].row + shiftAt[static_cast<std::size_t>(gMarkList[m].row)];
        gQel.RungComments[static_cast<std::size_t>(r)] = "rung " + std::to_string(m);
    }
    if (CompileProgramLadder() != 0) return "the commented ladder did not compile";
    return nullptr;
}

// The comments the ladder shows.
std::size_t ShownComments() {
    std::size_t comments = 0;
    for (const std::string& c : gQel.RungComments) comments += c.empty() ? 0 : 1;
    for (std::int32_t r = 0; r < gLadderRowCount; ++r)
        comments += IsBlockCommentRow(gLadderRows + static_cast<std::size_t>(r) * kLadderRowBytes) ? 1 : 0;
    return comments;
}

// The commented program, then Convert > List to ladder, over and over.
void BM_ConvertProgramWithComments(benchmark::State& state) {
    std::vector<std::uint8_t> image;
    if (const char* error = DrawCommentedProgram(image)) return state.SkipWithError(error);

    std::int32_t drawn = 0;
    for (auto _ : state) {
        if (ConvertCodeToLadder() != 0) return state.SkipWithError("the program was not drawn");
        drawn = gLadderRowCount;
    }
    state.counters["rows"] = drawn;
    state.counters["comments"] = static_cast<double>(ShownComments());
    state.counters["rungs"] = static_cast<double>(gMarkList.size());
}
BENCHMARK(BM_ConvertProgramWithComments)->Unit(benchmark::kMillisecond);

// The commented program edited in the list in two far-apart places: a rung
// typed at the top and an uncommented rung near the end deleted. Convert >
// List to ladder then carries the comments of the ladder it replaces across
// both edits; the conversions go back and forth between the edited and the
// original code, so that each one works the edits out.
void BM_ConvertProgramEditedInTwoPlaces(benchmark::State& state) {
    std::vector<std::uint8_t> image;
    if (const char* error = DrawCommentedProgram(image)) return state.SkipWithError(error);
    std::vector<std::uint8_t> typed;
    for (const char* line : {"LD X7", "OUT Y7"}) {
        if (!SetInputText(line) || AssembleInstruction() != 1) return state.SkipWithError("a typed line");
        typed.insert(typed.end(), gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
    }
    // Networks with no comment: m % 20 is neither 0 (block) nor 10 (rung).
    const std::size_t gone = (gMarkList.size() - 30) / 20 * 20 + 5;
    const std::size_t from = 2u * gMarkList[gone].step, to = 2u * gMarkList[gone + 1].step;
    std::vector<std::uint8_t> edited(typed);
    edited.insert(edited.end(), image.begin(), image.begin() + static_cast<std::ptrdiff_t>(from));
    edited.insert(edited.end(), image.begin() + static_cast<std::ptrdiff_t>(to), image.end());
    edited.resize(image.size(), 0xFF);
    const auto convert = [](const std::vector<std::uint8_t>& code) {
        std::copy(code.begin(), code.end(), gProgram);
        LocateProgramEnd();
        return ConvertCodeToLadder() == 0;
    };

    bool back = false;
    for (auto _ : state) {
        if (!convert(back ? image : edited)) return state.SkipWithError("the program was not drawn");
        back = !back;
    }
    // What the edited code's conversion kept: that conversion comes last.
    if (!back && !convert(edited)) return state.SkipWithError("the program was not drawn");
    state.counters["rows"] = gLadderRowCount;
    state.counters["comments"] = static_cast<double>(ShownComments());
    state.counters["dropped"] = static_cast<double>(gConvertDroppedComments);
}
BENCHMARK(BM_ConvertProgramEditedInTwoPlaces)->Unit(benchmark::kMillisecond);

// The full program drawn without a comment and compiled as the user's ladder
// is, which leaves the compile's hand-over files in Temp/; then Convert >
// List to ladder over and over. A ladder without comments looks at those
// files each time, after making sure they are this run's, this project's and
// this ladder's.
void BM_ConvertUncommentedProgramOverItsHandOverFiles(benchmark::State& state) {
    if (!qel::bench::DrawFullProgramLadder()) return state.SkipWithError("the program was not drawn");
    if (CompileProgramLadder() != 0) return state.SkipWithError("the ladder did not compile");
    for (auto _ : state) {
        if (ConvertCodeToLadder() != 0) return state.SkipWithError("the program was not drawn");
    }
    state.counters["rows"] = gLadderRowCount;
    state.counters["comments"] = static_cast<double>(ShownComments());
}
BENCHMARK(BM_ConvertUncommentedProgramOverItsHandOverFiles)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
