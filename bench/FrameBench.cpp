// Start-up of the program as main() runs it (defaults, buffers, messages,
// settings, the start-up windows, the splash) until the frame's first paint.
// Target: under 300 ms.
#include <filesystem>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>

#include "platform/Paths.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"
#include "shell/Startup.h"
#include "tests/support/ScriptedMessages.h"

namespace fs = std::filesystem;

namespace {

// Notes the first paint of the frame or of one of its widgets (the splash,
// a window of its own, does not count).
class PaintWatch final : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && _QelMain && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w == _QelMain || _QelMain->isAncestorOf(w)) painted = true;
        }
        return false;
    }
};

fs::path MakeInstallDir() {
    const fs::path home = fs::temp_directory_path() / ("qel-frame-bench-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    for (const char* f : {"QEL.Txt", "DeviceCommentInit.txt", "Splash.jpg"})
        fs::copy_file(fs::path(QEL_DATA_DIR) / f, home / f);
    return home;
}

void BM_StartUpToFirstPaint(benchmark::State& state) {
    const fs::path home = MakeInstallDir();
    qel::SetInstallDir(home);
    qel::test::ScriptedMessages messages;
    PaintWatch watch;
    qApp->installEventFilter(&watch);
    for (auto _ : state) {
        watch.painted = false;
        TQelMain* frame = StartQel({});
        if (!frame) {
            state.SkipWithError("start-up stopped");
            break;
        }
        QElapsedTimer guard;
        guard.start();
        while (!watch.painted && guard.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        state.PauseTiming();
        const bool painted = watch.painted;
        gQel.Modified = 0;
        frame->close();
        delete frame;
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!painted) {
            state.SkipWithError("the frame was not painted within 5 s");
            break;
        }
        state.ResumeTiming();
    }
    qApp->removeEventFilter(&watch);
    fs::remove_all(home);
}
BENCHMARK(BM_StartUpToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
