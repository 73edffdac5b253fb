// Serial component over a pseudo-terminal: bytes per second each way, and the
// delay from a ":" arriving to the OnTrigger handler running.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <chrono>
#include <vector>

#include "serial/Serialport.h"
#include "tests/support/Pty.h"

using namespace qel;
using Clk = std::chrono::steady_clock;

namespace {

struct Rig {
    test::Pty pty;
    TComPort port;
    Rig() {
        test::EnsureCoreApp();
        std::string path = pty.SlavePath();
        SetComDeviceResolver([path](uint16_t) { return path; });
        port.SetComNumber(1);
        port.SetBaud(115200);
        port.SetAutoOpen(false);
    }
    ~Rig() {
        port.SetOpen(false);
        SetComDeviceResolver(nullptr);
    }
};

void BM_OutputThroughput(benchmark::State& state) {
    Rig rig;
    rig.port.SetOpen(true);
    const size_t block = size_t(state.range(0));
    std::vector<uint8_t> data(block, 'A');
    std::vector<uint8_t> sink(65536);
    for (auto _ : state) {
        size_t got = 0;
        bool sent = false;
        while (got < block) {
            if (!sent && rig.port.OutBuffFree() >= block) {
                rig.port.PutBlock(data.data(), uint16_t(block));
                sent = true;
            }
            got += rig.pty.Read(block - got, std::chrono::milliseconds(1)).size();
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(block));
}
BENCHMARK(BM_OutputThroughput)->Arg(64)->Arg(1024)->Arg(4096)->UseRealTime();

void BM_InputThroughput(benchmark::State& state) {
    Rig rig;
    size_t got = 0;
    rig.port.SetOnTrigger([&](TCustomComPort* cp, uint16_t msg, uint16_t, uint16_t data) {
        if (msg != kTriggerAvail) return;
        for (uint16_t i = 0; i < data; ++i) cp->GetChar();
        got += data;
    });
    rig.port.SetOpen(true);
    const size_t block = size_t(state.range(0));
    std::vector<uint8_t> data(block, 'B');
    for (auto _ : state) {
        got = 0;
        rig.pty.Write(data.data(), data.size());
        while (got < block) QCoreApplication::processEvents();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(block));
}
BENCHMARK(BM_InputThroughput)->Arg(64)->Arg(4096)->UseRealTime();

void BM_ColonToHandler(benchmark::State& state) {
    Rig rig;
    Clk::time_point ran{};
    bool fired = false;
    rig.port.SetOnTrigger([&](TCustomComPort* cp, uint16_t msg, uint16_t, uint16_t) {
        if (msg != kTriggerData) return;
        ran = Clk::now();
        fired = true;
        cp->FlushInBuffer();
    });
    rig.port.SetOpen(true);
    rig.port.AddDataTrigger(":", true);
    for (auto _ : state) {
        fired = false;
        auto sent = Clk::now();
        rig.pty.Write(":");
        while (!fired) QCoreApplication::processEvents();
        state.SetIterationTime(std::chrono::duration<double>(ran - sent).count());
    }
}
BENCHMARK(BM_ColonToHandler)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
