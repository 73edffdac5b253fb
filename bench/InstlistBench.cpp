// The instruction-list window over a full 16000-step image (31744 bytes of
// mixed basic and applied instructions): painting a page, scrolling page by
// page through the whole listing, extending a selection from top to bottom,
// and a typed line inserted at the top (every instruction behind it moves and
// the lines are laid out again). Targets: a page paints in well under 16 ms;
// an edit at the top of a full program stays under 5 ms.
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/ProgramImage.h"
#include "instlist/Instredit.h"

namespace {

constexpr std::uint32_t kFullCapacity = 31744;

// Fills the image to the last byte with a repeating mix of instructions.
std::vector<std::uint8_t> FullProgram() {
    std::vector<std::uint8_t> code(kFullCapacity, 0xFF);
    const char* lines[] = {"LD X0", "AND M100", "OUT Y3", "LDI X7", "OR M5", "ANI X2", "OUT M7", "TMR T1 K50"};
    std::uint32_t used = 0;
    for (int i = 0;; ++i) {
        SetInputText(lines[i % 8]);
        if (AssembleInstruction() != 1) break;
        if (!InsertInstruction(code.data(), code.size(), used, used, gInsnBuf.code, gInsnBuf.length)) break;
    }
    // Top up the last few bytes with one-word instructions.
    SetInputText("LD X1");
    AssembleInstruction();
    while (InsertInstruction(code.data(), code.size(), used, used, gInsnBuf.code, gInsnBuf.length)) {
    }
    return code;
}

struct Rig {
    std::vector<std::uint8_t> code = FullProgram();
    TInst list;
    QImage canvas{600, 800, QImage::Format_RGB32};
    Rig() {
        list.resize(600, 800);
        list.SetCodeBuffer(code.data(), kFullCapacity, LocateCodeEnd(code.data(), kFullCapacity));
    }
    void Paint() { list.viewport()->render(&canvas); }
};

void BM_PaintPage(benchmark::State& state) {
    Rig rig;
    rig.list.VertScrollBar()->setValue(rig.list.VertScrollBar()->maximum() / 2);
    for (auto _ : state) rig.Paint();
    state.counters["lines"] = rig.list.Edit().LineCount();
}
BENCHMARK(BM_PaintPage)->Unit(benchmark::kMicrosecond);

void BM_ScrollWholeListing(benchmark::State& state) {
    Rig rig;
    QScrollBar* bar = rig.list.VertScrollBar();
    int pages = 0;
    for (auto _ : state) {
        for (int v = 0; v <= bar->maximum(); v += bar->pageStep()) {
            bar->setValue(v);
            rig.Paint();
            ++pages;
        }
    }
    state.counters["pages/s"] = benchmark::Counter(pages, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScrollWholeListing)->Unit(benchmark::kMillisecond);

void BM_SelectTopToBottom(benchmark::State& state) {
    Rig rig;
    for (auto _ : state) {
        rig.list.ClearSelection();
        rig.list.MoveCursorTo(0);
        rig.list.SelectLines(0, rig.list.LastLine());
        rig.Paint();
        int first, last;
        benchmark::DoNotOptimize(rig.list.Block(first, last));
    }
}
BENCHMARK(BM_SelectTopToBottom)->Unit(benchmark::kMicrosecond);

void BM_EditAtTopOfFullProgram(benchmark::State& state) {
    Rig rig;
    rig.list.Edit().DeleteLines(0, 0);  // room for one word
    for (auto _ : state) {
        rig.list.Edit().EnterLine(0, "LD X2", true);
        rig.list.Edit().DeleteLines(0, 0);
    }
}
BENCHMARK(BM_EditAtTopOfFullProgram)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetCurrentFamily(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
