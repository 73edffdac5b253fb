// Link throughput: requests per second over a pseudo-terminal against the
// PLC emulator, and the time the link itself adds to each request when the
// line costs nothing (a loopback port that answers at once).
#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "link/engine/Transdata.h"
#include "bench/LinkBenchSupport.h"
#include "tests/support/Plcemulator.h"
#include "tests/support/PlcemulatorPort.h"
#ifdef QEL_LINK_HAS_COMPORT
#include "link/engine/Comportlink.h"
#include "serial/Serialport.h"
#endif

using namespace qel;

namespace {

// Reads D0 for ever; counts replies.
class PollJob : public link::TLinkJob {
public:
    void RequestStep(link::TTransData& l) override { l.SendCommand(0x1000, 1, 3); }
    void ReplyStep(link::TTransData&) override { ++replies; }
    long replies = 0;
};

// Answers every request at once with a fixed good reply to a one-register read.
class LoopbackPort final : public link::TLinkPort {
public:
    bool Open(std::string*) override { return open_ = true; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    int ComNumber() const override { return 1; }
    int Baud() const override { return 9600; }
    void SetBaud(int) override {}
    std::size_t OutFree() const override { return 4096; }
    bool Write(const char*, std::size_t) override {
        pending_ = true;
        return true;
    }
    void FlushIn() override {}
    void FlushOut() override {}
    // Delivers the reply of the last request, outside the link's own call.
    bool Pump() {
        if (!pending_) return false;
        pending_ = false;
        static const std::string reply = ":0103020007F3\r\n";
        Deliver(reply.data(), reply.size());
        return true;
    }

private:
    bool open_ = false, pending_ = false;
};

void RunOverPty(benchmark::State& state, bool viaComponent) {
    bench::EnsureApp();
    test::PlcEmulator emu;
    if (!emu.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    std::unique_ptr<link::TLinkPort> port;
#ifdef QEL_LINK_HAS_COMPORT
    if (viaComponent) {
        const std::string path = emu.SlavePath();
        SetComDeviceResolver([path](std::uint16_t) { return path; });
        port = std::make_unique<link::TComPortLink>();
    }
#endif
    if (!port) port = std::make_unique<test::RawLinkPort>(emu.SlavePath());
    bench::TQuietFrame frame;
    link::TTransData l(port.get(), &frame);
    l.SetComTmrIntervalMs(static_cast<int>(state.range(0)));
    PollJob job;
    l.RegisterJob(4, &job);
    if (!l.OpenPort()) {
        state.SkipWithError("port did not open");
        return;
    }
    l.StartJob(4, 1);
    for (auto _ : state) {
        const long target = job.replies + 1;
        while (job.replies < target && frame.messages == 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    l.EndJob();
    state.SetItemsProcessed(job.replies);
    state.counters["requests/s"] = benchmark::Counter(static_cast<double>(job.replies), benchmark::Counter::kIsRate);
}

void BM_RequestsOverPty(benchmark::State& state) { RunOverPty(state, true); }
void BM_RequestsOverPtyRawPort(benchmark::State& state) { RunOverPty(state, false); }

// The link's own time per request: reply assembly and check, dispatch to the
// job, the tick, and the next frame, with a line that costs nothing. With the
// 1 ms tick this is what the scheduler adds to every request on a real line.
void BM_SchedulerTimePerRequest(benchmark::State& state) {
    bench::EnsureApp();
    LoopbackPort port;
    bench::TQuietFrame frame;
    link::TTransData l(&port, &frame);
    l.SetComTmrIntervalMs(static_cast<int>(state.range(0)));
    PollJob job;
    l.RegisterJob(4, &job);
    l.OpenPort();
    l.StartJob(4, 1);
    for (auto _ : state) {
        const long target = job.replies + 1;
        while (job.replies < target) {
            if (!port.Pump()) QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    }
    l.EndJob();
    state.SetItemsProcessed(job.replies);
}

}  // namespace

// Argument: the scheduler tick in ms (1 as in the program, 0 to see the rest).
BENCHMARK(BM_RequestsOverPty)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_RequestsOverPtyRawPort)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_SchedulerTimePerRequest)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
