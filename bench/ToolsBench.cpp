// The checking tools over full programs: the double-coil check and the
// device-use map of a 16000-step program (targets under 20 ms each), find all
// and replace all of a device in it, in its instruction list and in its ladder
// (under 50 ms each), and the batch compile test of 100 full program files
// (target under 5 s).
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <QApplication>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "platform/Paths.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"
#include "shell/Startup.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/shell/ScriptedFileDialogs.h"
#include "tools/check/Batchtest.h"
#include "tools/check/Deviceuse.h"
#include "tools/check/Doublecoil.h"
#include "tools/check/Search.h"
#include "core/ProgramImage.h"
#include "ladder/model/LadderConvert.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kCapacity = 31744;  // "16000 Steps"

// Rungs with outputs, timers, counters and applied instructions, repeated until
// the 16000-step image is full, then END.
std::vector<std::uint8_t> FullProgram() {
    SetCurrentFamily(1);
    const std::vector<std::vector<std::string>> rungs = {
        {"LD X0", "AND X1", "OUT Y0"},           {"LD X2", "OR M10", "SET M20"},
        {"LD X3", "TMR T0 K10"},                 {"LD T0", "CNT C1 K5"},
        {"LD X4", "MOV K10 D2", "RST Y0"},       {"LD X5", "ANI X6", "OUT M100"},
    };
    std::vector<std::uint8_t> code;
    for (std::size_t i = 0;; ++i) {
        std::vector<std::uint8_t> words;
        for (const std::string& line : rungs[i % rungs.size()]) {
            SetInputText(line);
            AssembleInstruction();
            words.insert(words.end(), gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
        }
        if (code.size() + words.size() + 2 > kCapacity) break;
        code.insert(code.end(), words.begin(), words.end());
    }
    code.push_back(0x0F);
    code.push_back(0x00);
    code.resize(kCapacity, 0xFF);
    return code;
}

void BM_DoubleCoilCheck(benchmark::State& state) {
    const std::vector<std::uint8_t> code = FullProgram();
    TDoubleCoilKinds all;
    all.out = all.cnt = all.tmr = all.dcnt = all.set = all.rst = true;
    std::size_t lines = 0;
    for (auto _ : state) lines = FindDoubleCoils(code.data(), kCapacity, 1, all).size();
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_DoubleCoilCheck)->Unit(benchmark::kMillisecond);

void BM_DeviceUseMap(benchmark::State& state) {
    const std::vector<std::uint8_t> code = FullProgram();
    for (auto _ : state) {
        const std::vector<bool> used = DevicesUsedInCode(code.data(), kCapacity, 'M', 4095);
        benchmark::DoNotOptimize(BuildUseMapPage('M', 0, 4095, used));
    }
}
BENCHMARK(BM_DeviceUseMap)->Unit(benchmark::kMillisecond);

// Answers every question Yes, or All for a replacement.
class TBenchUi final : public TSearchUi {
public:
    int found = 0;
    void Select(const TSearchPlace&) override { ++found; }
    qel::Answer Ask(int id, qel::AskButtons) override {
        return id == kMsgReplaceAsk ? qel::Answer::All : qel::Answer::Yes;
    }
    void Show(int, const std::string&) override {}
};

void BM_FindAll(benchmark::State& state) {
    std::vector<std::uint8_t> code = FullProgram();
    std::uint32_t end = 0;
    LocateCodeEnd(code.data(), kCapacity, &end);
    TBenchUi ui;
    for (auto _ : state) {
        ui.found = 0;
        FindDeviceInCode({code.data(), kCapacity, end, 0}, "Y0", {true, false}, ui);
    }
    state.counters["found"] = ui.found;
}
BENCHMARK(BM_FindAll)->Unit(benchmark::kMillisecond);

void BM_ReplaceAll(benchmark::State& state) {
    const std::vector<std::uint8_t> original = FullProgram();
    std::uint32_t end = 0;
    LocateCodeEnd(original.data(), kCapacity, &end);
    std::vector<std::uint8_t> code;
    int written = 0;
    TBenchUi ui;
    for (auto _ : state) {
        state.PauseTiming();
        code = original;
        state.ResumeTiming();
        written = ReplaceInCode({code.data(), kCapacity, end, 0}, {"Y0", "Y1", 1}, {true, false}, ui);
    }
    state.counters["written"] = written;
}
BENCHMARK(BM_ReplaceAll)->Unit(benchmark::kMillisecond);

// The ladder drawn from the full program: its grid and its rows.
struct TFullLadder {
    std::vector<std::uint8_t> grid = std::vector<std::uint8_t>(static_cast<std::size_t>(kLadderRows) * kLdbRowBytes, 0);
    std::vector<std::int32_t> pRows = std::vector<std::int32_t>(kPLabelCount, -1);
    std::vector<std::int32_t> iRows = std::vector<std::int32_t>(kILabelCount, -1);
    std::int32_t rowCount = 0;
    bool ok = false;
    TFullLadder() {
        const std::vector<std::uint8_t> code = FullProgram();
        std::uint32_t end = 0;
        LocateCodeEnd(code.data(), kCapacity, &end);
        TConvertInput in;
        in.code = code.data();
        in.length = kCapacity;
        in.used = end + 2;
        TLadderTarget target;
        target.grid = grid.data();
        target.rowCapacity = kLadderRows;
        target.labels = TLabelTables{pRows.data(), iRows.data()};
        const TConvertResult converted = ConvertCodeToGrid(in, target);
        ok = converted.ok;
        rowCount = converted.rowCount;
    }
};

void BM_FindAllInLadder(benchmark::State& state) {
    TFullLadder ladder;
    if (!ladder.ok) {
        state.SkipWithError("the program has no ladder");
        return;
    }
    TBenchUi ui;
    for (auto _ : state) {
        ui.found = 0;
        FindDeviceInLadder({ladder.grid.data(), ladder.rowCount - 1, 0, 0}, "Y0", "None", {true, false}, ui);
    }
    state.counters["found"] = ui.found;
}
BENCHMARK(BM_FindAllInLadder)->Unit(benchmark::kMillisecond);

// The same replacement from the ladder drawn from the program.
void BM_ReplaceAllInLadder(benchmark::State& state) {
    const TFullLadder converted;
    if (!converted.ok) {
        state.SkipWithError("the program has no ladder");
        return;
    }
    const std::vector<std::uint8_t>& drawn = converted.grid;
    std::vector<std::uint8_t> grid;
    int written = 0;
    TBenchUi ui;
    for (auto _ : state) {
        state.PauseTiming();
        grid = drawn;
        state.ResumeTiming();
        written = ReplaceInLadder({grid.data(), converted.rowCount - 1, 0, 0}, {"Y0", "Y1", 1}, {true, false}, ui);
    }
    state.counters["rows"] = converted.rowCount;
    state.counters["written"] = written;
}
BENCHMARK(BM_ReplaceAllInLadder)->Unit(benchmark::kMillisecond);

void BM_BatchTest100Programs(benchmark::State& state) {
    const fs::path home = fs::temp_directory_path() / ("qel-tools-bench-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home / "batch");
    for (const char* f : {"QEL.Txt", "DeviceCommentInit.txt"}) fs::copy_file(fs::path(QEL_DATA_DIR) / f, home / f);
    qel::SetInstallDir(home);
    qel::test::ScriptedMessages messages;
    ScriptedFileDialogs dialogs;
    TStartupOptions options;
    options.ShowSplash = false;
    TQelMain* frame = StartQel({}, options);
    if (!frame) {
        state.SkipWithError("start-up stopped");
        return;
    }
    // One full program with its ladder, saved once and copied 99 times.
    frame->NewClick();
    frame->ApplyModelSetting(1, 3, false);
    const std::vector<std::uint8_t> code = FullProgram();
    std::copy(code.begin(), code.end(), gProgram);
    LocateProgramEnd();
    const fs::path first = home / "batch" / "p000.kzp";
    dialogs.QueuePath(first.string());
    frame->RunCommand("MmSaveAs");
    frame->OpenProgramFile(first.string());  // builds the ladder from the code
    gQel.Modified = 1;
    frame->RunCommand("MmSave");
    for (int i = 1; i < 100; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "p%03d", i);
        for (const char* ext : {".kzp", ".lad", ".lab", ".rcm"})
            if (fs::exists(home / "batch" / (std::string("p000") + ext)))
                fs::copy_file(home / "batch" / (std::string("p000") + ext), home / "batch" / (std::string(name) + ext));
    }
    TBatchHooks hooks;
    hooks.load = [frame](const std::string& path) { return frame->OpenProgramFile(path); };
    hooks.compile = CompileProjectLadder;
    hooks.check = CheckProjectSyntax;
    const std::vector<std::string> files = ListProgramFiles((home / "batch").string());
    int ok = 0;
    for (auto _ : state) {
        ok = 0;
        for (const std::string& name : files)
            ok += TestProgramFile((home / "batch" / name).string(), true, hooks).lamp == TBatchLamp::Lime;
    }
    state.counters["files"] = static_cast<double>(files.size());
    state.counters["passed"] = ok;
    gQel.Modified = 0;
    frame->close();
    delete frame;
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    fs::remove_all(home);
}
BENCHMARK(BM_BatchTest100Programs)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
