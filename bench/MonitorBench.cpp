// Device monitor refresh: a 64-entry list (32 bit devices, 32 registers)
// polled from the PLC emulator pacing the line at 9600 and 115200 baud.
// devices_per_s is how many listed devices get a fresh value each second;
// wire_limit_per_s the most the same frames allow on that line (every request
// and reply character at 10 bits); pct_of_wire_limit the ratio.
#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "core/DeviceLimits.h"
#include "link/online/Devmonilist.h"
#include "link/engine/Transdata.h"
#include "project/Qelglobals.h"
#include "bench/LinkBenchSupport.h"
#include "tests/support/Plcemulator.h"
#include "tests/support/PlcemulatorPort.h"
#ifdef QEL_LINK_HAS_COMPORT
#include "link/engine/Comportlink.h"
#include "serial/Serialport.h"
#endif

using namespace qel;

namespace {

// Counts the device monitor's completed cycles.
class CountingList : public link::TDevMoniList {
public:
    int ReplyStep(link::TTransData& l) override {
        const int done = TDevMoniList::ReplyStep(l);
        cycles += done != 0;
        return done;
    }
    long cycles = 0;
};

void BM_DeviceMonitorRefresh(benchmark::State& state) {
    bench::EnsureApp();
    const int baud = static_cast<int>(state.range(0));
    const int cyclesPerIteration = static_cast<int>(state.range(1));
    AllocateSharedBuffers();
    SetModelFamily(1);

    test::PlcEmulator emu;
    if (!emu.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    emu.Configure(1, 3, 90);  // block monitoring
    emu.PaceLine(baud);
    std::unique_ptr<link::TLinkPort> port;
#ifdef QEL_LINK_HAS_COMPORT
    if (state.range(2) == 1) {
        const std::string path = emu.SlavePath();
        SetComDeviceResolver([path](std::uint16_t) { return path; });
        port = std::make_unique<link::TComPortLink>();
    }
#endif
    if (!port) port = std::make_unique<test::RawLinkPort>(emu.SlavePath());
    port->SetBaud(baud);
    bench::TQuietFrame frame;
    link::TTransData l(port.get(), &frame);
    CountingList list;
    int row = 1;
    list.AddDevices(row, "M0", "32", &row);
    list.AddDevices(row, "D0", "32", &row);
    const int devices = 64;
    l.RegisterMonitorClient("3", &list);
    if (!l.OpenPort()) {
        state.SkipWithError("port did not open");
        return;
    }
    list.PollState = 8;
    link::gDevMonitorRefresh = 1;
    l.AddMonitorClient("3");
    // The first cycle writes the lists; the steady state only reads.
    while (list.cycles < 2 && frame.messages == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    double wireMs = 0, runMs = 0, gapMs = 0;
    long cycles = 0;
    std::size_t requests = 0;
    for (auto _ : state) {
        const std::uint64_t chars0 = emu.WireChars();
        const std::int64_t gap0 = emu.MasterGapNs();
        const std::size_t requests0 = emu.RequestCount();
        const long target = list.cycles + cyclesPerIteration;
        const auto t0 = std::chrono::steady_clock::now();
        while (list.cycles < target && frame.messages == 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (frame.messages) {
            state.SkipWithError("the link reported a fault");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        runMs += ms;
        wireMs += static_cast<double>(emu.WireChars() - chars0) * 10.0 * 1000.0 / baud;
        cycles += cyclesPerIteration;
        gapMs += static_cast<double>(emu.MasterGapNs() - gap0) / 1e6;
        requests += emu.RequestCount() - requests0;
    }
    l.RemoveMonitorClient("3");
    l.RegisterMonitorClient("3", nullptr);
    const double refreshed = static_cast<double>(cycles) * devices;
    state.counters["devices_per_s"] = runMs > 0 ? refreshed / (runMs / 1000.0) : 0;
    state.counters["wire_limit_per_s"] = wireMs > 0 ? refreshed / (wireMs / 1000.0) : 0;
    state.counters["pct_of_wire_limit"] = runMs > 0 ? wireMs / runMs * 100.0 : 0;
    // The link's share: from each reply's last character to the next request.
    state.counters["link_ms_per_request"] = requests ? gapMs / static_cast<double>(requests) : 0;
    state.counters["requests_per_cycle"] = cycles ? static_cast<double>(requests) / static_cast<double>(cycles) : 0;
#ifdef QEL_LINK_HAS_COMPORT
    SetComDeviceResolver(nullptr);
#endif
    FreeSharedBuffers();
}

}  // namespace

// Arguments: line speed, cycles per iteration (one cycle of 64 devices takes
// about half a second at 9600 baud), and the port: 1 the serial port
// component as the program uses it, 0 a raw descriptor (the link's own share
// without the component's threads).
BENCHMARK(BM_DeviceMonitorRefresh)
    ->Args({9600, 2, 1})
    ->Args({115200, 20, 1})
    ->Args({115200, 20, 0})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
