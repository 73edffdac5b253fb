// Printing a full 16000-step program's ladder into a PDF file: every page
// drawn by the ladder page painter and written by the PDF writer.
#include <benchmark/benchmark.h>

#include <vector>

#include <QDir>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>

#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "project/Qelglobals.h"
#include "tests/support/Fullprogram.h"
#include "tools/render/Printpages.h"

namespace {

void BM_PrintFullLadderToPdf(benchmark::State& state) {
    SetModelFamily(2);
    SetProgramCapacity(3);
    const std::vector<std::uint8_t> image = qel::test::MixedFullProgram(gProgramCapacity);
    std::copy(image.begin(), image.end(), gProgram);
    LocateProgramEnd();
    ConvertCodeToLadder();
    TLadderPaintView view;
    view.grid = gLadderRows;
    view.capacity = kLadderRows;
    view.labels = TLabelTables{gPLabelRows, gILabelRows};
    view.marks = &gMarkList;
    const TLadderPageSource source(view, FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1));
    TPrintDocument doc;
    doc.source = &source;
    doc.settings.ratio = 1;  // "100%"
    doc.settings.deviceComments = state.range(0) != 0;
    const QString path = QDir::temp().filePath(QStringLiteral("qel_print_bench.pdf"));
    int pages = 0;
    for (auto _ : state) {
        QPdfWriter writer(path);
        writer.setResolution(600);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                                         QPageLayout::Millimeter));
        pages = PrintDocument(writer, doc);
    }
    QFile::remove(path);
    state.counters["pages"] = pages;
}
BENCHMARK(BM_PrintFullLadderToPdf)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    AllocateSharedBuffers();
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FreeSharedBuffers();
    return 0;
}
