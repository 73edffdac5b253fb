// The ladder window's drawing: one full screen (1920 x 1080) of a dense ladder
// at the smallest and the largest zoom, and opening a full 16000-step program
// (code to ladder, then the window's first paint).
#include <benchmark/benchmark.h>

#include <vector>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "ladder/editor/Ladder.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/render/Ladderpainter.h"
#include "project/Qelglobals.h"
#include "tests/support/Fullprogram.h"

namespace {

// A full 16000-step program in gProgram.
void FillFullProgram() {
    SetModelFamily(2);
    SetProgramCapacity(3);
    const std::vector<std::uint8_t> image = qel::test::MixedFullProgram(gProgramCapacity);
    std::copy(image.begin(), image.end(), gProgram);
    LocateProgramEnd();
}

void BM_PaintScreen(benchmark::State& state) {
    const int zoom = static_cast<int>(state.range(0));
    FillFullProgram();
    ConvertCodeToLadder();
    TLadderPaintView view;
    view.grid = gLadderRows;
    view.capacity = kLadderRows;
    view.labels = TLabelTables{gPLabelRows, gILabelRows};
    view.marks = nullptr;
    TLadderPaintOptions o;
    o.cellWidth = kZoomCellWidths[static_cast<std::size_t>(zoom)];
    o.cellHeight = kZoomCellHeights[static_cast<std::size_t>(zoom)];
    o.fontPoints = kZoomFontSizes[static_cast<std::size_t>(zoom)];
    o.client = QSize(1920, 1080);
    o.vScroll = 100 * o.cellHeight;
    o.cursorRow = 105;
    QImage image(o.client, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&image);
        PaintLadder(p, view, o);
    }
}
BENCHMARK(BM_PaintScreen)->Arg(0)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_OpenFullProgramUntilPainted(benchmark::State& state) {
    FillFullProgram();
    std::int32_t rows = 0;
    for (auto _ : state) {
        // As a program is opened: its ladder drawn from the code, then the
        // window opened on it, which checks that the ladder stands for the
        // code (a compile aside), and its first paint.
        ConvertCodeToLadder();
        TLDB window;
        window.resize(1920, 1080);
        window.SetDoc(TLadderDoc{gLadderRows, kLadderRows, TLabelTables{gPLabelRows, gILabelRows}, true});
        window.FollowCode();
        window.show();
        window.viewport()->repaint();
        rows = window.Edit().LastRow() + 1;
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_OpenFullProgramUntilPainted)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    AllocateSharedBuffers();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FreeSharedBuffers();
    return 0;
}
