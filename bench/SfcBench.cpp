// Both chart conversions on a chart that fills a 16000-step program, and one
// screen of its painting: chains
// of steps with actions, selective and simultaneous divergences and their
// convergences, jumps back, LAD blocks between the chains.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/Laddercompile.h"
#include "platform/Paths.h"
#include "project/Chartstamp.h"
#include "project/Ladderstamp.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "sfc/model/Codetosfc.h"
#include "sfc/model/Sfcelement.h"
#include "sfc/model/Sfctocode.h"

#if QEL_SFC_PAINT_BENCH
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "sfc/render/Sfcpaint.h"
#endif

namespace {

constexpr std::uint32_t kCapacity = 31744;

void Put(std::vector<std::uint8_t>& code, const std::string& line) {
    SetInputText(line);
    if (AssembleInstruction() != 1) return;
    code.insert(code.end(), gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
}

void Action(std::vector<std::uint8_t>& c, int n) {
    Put(c, "OUT Y" + std::to_string(n % 8));
    Put(c, "LD X" + std::to_string(n % 8));
    Put(c, "MOV K" + std::to_string(n) + " D" + std::to_string(n % 100));
    Put(c, "MOV D" + std::to_string(n % 100) + " D" + std::to_string(100 + n % 100));
}

// One chain of 86 steps from initial step `init` (steps s .. s + 85):
// a sequence, a selective divergence and convergence, a simultaneous
// divergence and convergence, and a jump back.
void Chain(std::vector<std::uint8_t>& c, int init, int s) {
    auto S = [](int n) { return " S" + std::to_string(n); };
    Put(c, "LD X7");
    Put(c, "SET" + S(init));
    Put(c, "STL" + S(init));
    Put(c, "LD X0");
    Put(c, "SET" + S(s));
    int n = s;
    for (int i = 0; i < 80; ++i, ++n) {
        Put(c, "STL" + S(n));
        Action(c, n);
        Put(c, "LD X1");
        Put(c, "SET" + S(n + 1));
    }
    // n: selective divergence to n + 1 and n + 2, joined at n + 3
    Put(c, "STL" + S(n));
    Action(c, n);
    Put(c, "LD X2");
    Put(c, "SET" + S(n + 1));
    Put(c, "LD X3");
    Put(c, "SET" + S(n + 2));
    for (int b = 1; b <= 2; ++b) {
        Put(c, "STL" + S(n + b));
        Action(c, n + b);
        Put(c, "LD X4");
        Put(c, "SET" + S(n + 3));
    }
    n += 3;
    // n: simultaneous divergence to n + 1 and n + 2, converging into n + 3
    Put(c, "STL" + S(n));
    Action(c, n);
    Put(c, "LD X5");
    Put(c, "SET" + S(n + 1));
    Put(c, "SET" + S(n + 2));
    for (int b = 1; b <= 2; ++b) {
        Put(c, "STL" + S(n + b));
        Action(c, n + b);
    }
    Put(c, "STL" + S(n + 1));
    Put(c, "STL" + S(n + 2));
    Put(c, "LD X6");
    Put(c, "SET" + S(n + 3));
    n += 3;
    Put(c, "STL" + S(n));
    Action(c, n);
    Put(c, "LD X7");
    Put(c, "OUT" + S(init));
    Put(c, "RET");
}

// The chains, then one LAD block filling the rest (`contact`: each of its
// instructions behind a contact of its own, so that the ladder draws it too).
std::vector<std::uint8_t> FullSfcProgram(bool contact = false) {
    SetCurrentFamily(1);
    std::vector<std::uint8_t> code;
    for (int chain = 0; chain < 10; ++chain) {
        std::vector<std::uint8_t> next;
        Chain(next, chain, 10 + chain * 100);
        if (code.size() + next.size() + 2 > kCapacity) break;
        code.insert(code.end(), next.begin(), next.end());
    }
    while (code.size() + (contact ? 14 : 12) < kCapacity) {
        if (contact) Put(code, "LD X0");
        Put(code, "MOV K1 D0");
    }
    Put(code, "END");
    return code;
}

void BM_CodeToChart(benchmark::State& state) {
    const std::vector<std::uint8_t> code = FullSfcProgram();
    for (auto _ : state) {
        TCodeToSfcResult r = ConvertCodeToChart(code.data(), static_cast<std::uint32_t>(code.size()));
        if (!r.ok) state.SkipWithError(r.why.c_str());
        benchmark::DoNotOptimize(r);
    }
    state.counters["bytes"] = static_cast<double>(code.size());
}
BENCHMARK(BM_CodeToChart)->Unit(benchmark::kMillisecond);

void BM_ChartToCode(benchmark::State& state) {
    const std::vector<std::uint8_t> code = FullSfcProgram();
    const TCodeToSfcResult chart = ConvertCodeToChart(code.data(), static_cast<std::uint32_t>(code.size()));
    std::vector<std::uint8_t> out(kCapacity);
    const TSfcChartRef ref = TSfcChartRef::Of(chart.chart);
    for (auto _ : state) {
        const TSfcToCodeResult r = SfcChartToCode(ref, out.data(), kCapacity);
        if (!r.ok() || r.length != code.size()) state.SkipWithError("chart did not convert back");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["rows"] = static_cast<double>(chart.chart.rows);
}
BENCHMARK(BM_ChartToCode)->Unit(benchmark::kMillisecond);

// Convert > SFC to list on the shared chart of the full program: the walk,
// the checks of its code and the copy into the program image.
void BM_SfcToListCommand(benchmark::State& state) {
    AllocateSharedBuffers();
    SetProgramCapacity(3);
    SetModelFamily(1);
    const std::vector<std::uint8_t> code = FullSfcProgram();
    CommitSfcChart(ConvertCodeToChart(code.data(), static_cast<std::uint32_t>(code.size())).chart);
    for (auto _ : state) {
        if (!SfcToCode() || gProgramUsed != code.size()) state.SkipWithError("the chart did not go in");
        benchmark::DoNotOptimize(gProgram);
    }
    FreeSharedBuffers();
}
BENCHMARK(BM_SfcToListCommand)->Unit(benchmark::kMillisecond);

// A save of the full program with its ladder and its chart, each asked
// whether it stands for the program: by its stamps (0), or, its stamps naming
// other code, by compiling and converting it (1).
void BM_SaveFullProject(benchmark::State& state) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qel-save-bench";
    std::filesystem::create_directories(dir);
    qel::SetInstallDir(dir);
    AllocateSharedBuffers();
    SetProgramCapacity(3);
    SetModelFamily(1);
    const std::vector<std::uint8_t> code = FullSfcProgram(true);
    std::memcpy(gProgram, code.data(), code.size());
    LocateProgramEnd();
    if (ConvertCodeToLadder() != 0) state.SkipWithError("the ladder was not drawn");
    if (!ConvertCodeToSfc()) state.SkipWithError("the chart was not drawn");
    gQel.ProgramOk = 1;
    SetProjectPath((dir / "plant.kzp").string());
    for (auto _ : state) {
        if (state.range(0) == 1) {
            state.PauseTiming();
            gLadderStamp = 1;
            gSfcProgramStamp = 1;
            state.ResumeTiming();
        }
        if (!SaveProject()) state.SkipWithError("the save failed");
    }
    state.counters["ladder rows"] = gLadderRowCount;
    state.counters["ladder stands"] = LadderMatchesProgram() ? 1 : 0;
    FreeSharedBuffers();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SaveFullProject)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#if QEL_SFC_PAINT_BENCH
// One full screen (1600 x 1000 pixels) of the chart of the full program,
// painted at the largest zoom, scrolled to the middle of the chart.
void BM_PaintScreen(benchmark::State& state) {
    const std::vector<std::uint8_t> code = FullSfcProgram();
    const TCodeToSfcResult chart = ConvertCodeToChart(code.data(), static_cast<std::uint32_t>(code.size()));
    QImage image(1600, 1000, QImage::Format_RGB32);
    TSfcPaintView v;
    v.grid = chart.chart.grid.data();
    v.rows = chart.chart.rows;
    v.cellWidth = 110;
    v.cellHeight = 55;
    v.vertPos = chart.chart.rows / 2 * v.cellHeight;
    v.size = image.size();
    v.cursorRow = chart.chart.rows / 2 + 3;
    v.cursorCol = 1;
    v.font = QFont(QStringLiteral("Arial"), 12);
    v.hasCode = [&](std::int32_t row, std::int32_t col) { return chart.chart.FindRec(row, col * 4) != nullptr; };
    for (auto _ : state) {
        QPainter p(&image);
        PaintSfcView(p, v);
    }
}
BENCHMARK(BM_PaintScreen)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
#if QEL_SFC_PAINT_BENCH
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
#endif
    InstallLadderCodeCheck();  // the save asks the models, as in the program
    InstallSfcChartJudge();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
