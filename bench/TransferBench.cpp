// A full program write (31744 bytes, 992 blocks), and the read of the same
// image, against the PLC emulator
// pacing the line at 9600 and 115200 baud, measured against the wire time of
// the same frames: every request and reply character at 10 bits (7 data
// bits, even parity, start and stop). What the link adds on top is the 1 ms
// tick before each request, its own work, the serial component's threads and
// the pseudo-terminal; link_ms_per_request is that share, measured by the
// emulator from each reply's last character to the next request's first.
#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "link/jobs/Programtransfer.h"
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

// LD X0 / OUT Y0 over the whole image, END last: every block carries code.
void FillWithRungs(std::uint8_t* image, std::size_t size) {
    for (std::size_t off = 0; off + 4 <= size; off += 4) {
        const std::uint8_t pair[4] = {0x00, 0x24, 0x00, 0xC5};
        std::memcpy(image + off, pair, 4);
    }
    image[size - 2] = 0x0F;
    image[size - 1] = 0x00;
}

// The link to the emulator's line, paced at the given speed, with the
// program transfer on it and the scheduler ticking every `tickMs`.
struct TPacedLink {
    TPacedLink(test::PlcEmulator& emu, int baud, int tickMs) : port(OpenPort(emu, baud)), l(port.get(), &frame), transfer(l, host) {
        l.SetComTmrIntervalMs(tickMs);
    }
    ~TPacedLink() {
#ifdef QEL_LINK_HAS_COMPORT
        SetComDeviceResolver(nullptr);
#endif
    }
    static std::unique_ptr<link::TLinkPort> OpenPort(test::PlcEmulator& emu, int baud) {
        emu.PaceLine(baud);
        std::unique_ptr<link::TLinkPort> port;
#ifdef QEL_LINK_HAS_COMPORT
        const std::string path = emu.SlavePath();
        SetComDeviceResolver([path](std::uint16_t) { return path; });
        port = std::make_unique<link::TComPortLink>();
#else
        port = std::make_unique<test::RawLinkPort>(emu.SlavePath());
#endif
        port->SetBaud(baud);
        return port;
    }

    std::unique_ptr<link::TLinkPort> port;
    bench::TQuietFrame frame;
    link::TTransData l;
    link::TTransferHost host;
    link::TProgramTransfer transfer;
};

void BM_FullProgramWrite(benchmark::State& state) {
    bench::EnsureApp();
    const int baud = static_cast<int>(state.range(0));
    AllocateSharedBuffers();
    SetModelFamily(1);
    SetProgramCapacity(3);
    gQel.ProgramPresent = 1;
    FillWithRungs(gProgram, gProgramCapacity);

    test::PlcEmulator emu;
    if (!emu.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    emu.Configure(1, 3, 90);
    TPacedLink line(emu, baud, static_cast<int>(state.range(1)));
    link::TTransData& l = line.l;
    link::TProgramTransfer& transfer = line.transfer;
    const bench::TQuietFrame& frame = line.frame;

    double wireMs = 0, runMs = 0, gapMs = 0;
    for (auto _ : state) {
        const std::uint64_t chars0 = emu.WireChars();
        const std::int64_t gap0 = emu.MasterGapNs();
        const auto t0 = std::chrono::steady_clock::now();
        if (!transfer.StartWrite(0, static_cast<int>(gProgramCapacity / 2))) {
            state.SkipWithError("the write did not start");
            break;
        }
        while (l.JobNo != 0 || !l.MaySend) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        QCoreApplication::processEvents();  // the result message follows the port's notification
        if (frame.last != link::kMsgWriteOk || emu.S.program != std::vector<std::uint8_t>(gProgram, gProgram + gProgramCapacity)) {
            state.SkipWithError("the write failed");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        runMs += ms;
        wireMs += static_cast<double>(emu.WireChars() - chars0) * 10.0 * 1000.0 / baud;
        gapMs += static_cast<double>(emu.MasterGapNs() - gap0) / 1e6;
    }
    state.counters["wire_ms"] = wireMs / static_cast<double>(state.iterations());
    state.counters["over_wire_pct"] = wireMs > 0 ? (runMs / wireMs - 1.0) * 100.0 : 0;
    // The link's share: from each reply's last character to the next request.
    state.counters["link_ms_per_request"] = gapMs / static_cast<double>(state.iterations()) / (gProgramCapacity / 32 + 7);
    state.counters["blocks"] = static_cast<double>(gProgramCapacity / 32);
    FreeSharedBuffers();
}

// A full program read (31744 bytes) from the emulator, the same image as the
// write's, over the same paced line: the blocks, then the image installed as
// the project's program (its ladder drawn from the code).
void BM_FullProgramRead(benchmark::State& state) {
    bench::EnsureApp();
    const int baud = static_cast<int>(state.range(0));
    AllocateSharedBuffers();
    SetModelFamily(1);
    SetProgramCapacity(3);
    test::PlcEmulator emu;
    if (!emu.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    emu.Configure(1, 3, 90);
    FillWithRungs(emu.S.program.data(), emu.S.program.size());
    TPacedLink line(emu, baud, static_cast<int>(state.range(1)));
    link::TTransData& l = line.l;
    link::TProgramTransfer& transfer = line.transfer;
    const bench::TQuietFrame& frame = line.frame;

    double wireMs = 0, runMs = 0;
    for (auto _ : state) {
        std::memset(gProgram, 0xFF, gProgramCapacity);
        const std::uint64_t chars0 = emu.WireChars();
        const auto t0 = std::chrono::steady_clock::now();
        if (!transfer.StartRead(false)) {
            state.SkipWithError("the read did not start");
            break;
        }
        while (l.JobNo != 0 || !l.MaySend) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        QCoreApplication::processEvents();
        // 7936 rungs are more than a ladder holds: the read's message is
        // followed by the one that the program was not drawn.
        const bool said = frame.last == link::kMsgReadDone || frame.last == link::kMsgNotDrawn;
        if (!said || emu.S.program != std::vector<std::uint8_t>(gProgram, gProgram + gProgramCapacity)) {
            state.SkipWithError("the read failed");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        runMs += ms;
        wireMs += static_cast<double>(emu.WireChars() - chars0) * 10.0 * 1000.0 / baud;
    }
    state.counters["wire_ms"] = wireMs / static_cast<double>(state.iterations());
    state.counters["over_wire_pct"] = wireMs > 0 ? (runMs / wireMs - 1.0) * 100.0 : 0;
    FreeSharedBuffers();
}

}  // namespace

// Arguments: the line speed the emulator paces, and the scheduler tick in ms
// (1 as in the program; 0 shows what the link and the port cost without it).
// One write each: the one at 9600 baud alone takes the better part of two
// minutes on the wire.
static void OnePerLine(benchmark::internal::Benchmark* b) {
    b->Args({9600, 1})->Args({115200, 1})->Args({115200, 0})->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_FullProgramWrite)->Apply(OnePerLine);
BENCHMARK(BM_FullProgramRead)->Apply(OnePerLine);

BENCHMARK_MAIN();
