// Block work on a full 16000-step ladder: marking everything, copying it to
// clipboard bytes, and pasting those bytes (read back, checked, written, one
// undo snapshot recorded) into an empty ladder of the same size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "ladder/edit/Ladderedit.h"
#include "ladder/model/LadderConvert.h"
#include "project/Edithistory.h"
#include "project/Qelglobals.h"
#include "tests/support/Fullprogram.h"

namespace {

TLadderEdit& FullLadder() {
    static TLadderEdit edit = [] {
        SetModelFamily(2);
        SetProgramCapacity(3);
        const std::vector<std::uint8_t> image = qel::test::MixedFullProgram(gProgramCapacity);
        std::copy(image.begin(), image.end(), gProgram);
        LocateProgramEnd();
        ConvertCodeToLadder();
        return TLadderEdit(TLadderDoc{gLadderRows, kLadderRows, TLabelTables{gPLabelRows, gILabelRows}, true});
    }();
    return edit;
}

void BM_SelectAll(benchmark::State& state) {
    TLadderEdit& edit = FullLadder();
    for (auto _ : state) {
        edit.ClearSelection();
        edit.SelectAll();
        benchmark::DoNotOptimize(edit.Selection().endRow);
    }
    state.counters["rows"] = edit.LastRow() + 1;
}
BENCHMARK(BM_SelectAll)->Unit(benchmark::kMillisecond);

void BM_CopyToClipboardBytes(benchmark::State& state) {
    TLadderEdit& edit = FullLadder();
    edit.SelectAll();
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes = EncodeLadderBlock(edit.CopyBlock());
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_CopyToClipboardBytes)->Unit(benchmark::kMillisecond);

void BM_PasteFromClipboardBytes(benchmark::State& state) {
    TLadderEdit& source = FullLadder();
    source.SelectAll();
    const std::vector<std::uint8_t> bytes = EncodeLadderBlock(source.CopyBlock());
    std::vector<std::uint8_t> grid(static_cast<std::size_t>(kLadderRows) * kLdbRowBytes, 0);
    std::vector<std::int32_t> p(kPLabelCount, -1), i(kILabelCount, -1);
    TLadderEdit target(TLadderDoc{grid.data(), kLadderRows, TLabelTables{p.data(), i.data()}, false});
    TEditHistory<TLadderSnapshot> history;
    target.BeforeChange = [&] { history.Record(target.TakeSnapshot()); };
    for (auto _ : state) {
        state.PauseTiming();
        std::memset(grid.data(), 0, grid.size());
        target.Refresh();
        target.SetCursor(0, 0);
        state.ResumeTiming();
        TLadderBlock block;
        if (!DecodeLadderBlock(bytes.data(), bytes.size(), kLadderRows, block)) state.SkipWithError("refused");
        const TLadderEditResult r = target.PasteBlock(block);
        if (!r.changed) state.SkipWithError("nothing pasted");
    }
}
BENCHMARK(BM_PasteFromClipboardBytes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    AllocateSharedBuffers();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FreeSharedBuffers();
    return 0;
}
