// Scans per second of a full 16000-step program of basic instructions.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/Clock.h"
#include "simulator/SimEngine.h"

namespace {

constexpr std::size_t kFullImage = 31744;  // "16000 Steps"

void Put(std::vector<std::uint8_t>& image, std::size_t& off, std::uint16_t word) {
    image[off++] = static_cast<std::uint8_t>(word);
    image[off++] = static_cast<std::uint8_t>(word >> 8);
}

// Rungs of contacts, branches and coils over X, Y and M, filling the image
// up to a final END.
std::vector<std::uint8_t> BasicProgram() {
    std::vector<std::uint8_t> image(kFullImage, 0xFF);
    const std::uint16_t rung[] = {
        0x2400,           // LD X0
        0x4801,           // AND M1
        0x5402,           // ANI X2
        0x6803,           // OR M3
        0xFFFA,           // MPS
        0x4805,           // AND M5
        0xC500,           // OUT Y0
        0xFFFC,           // MPP
        0x7804,           // ORI M4
        0xC802,           // OUT M2
        0x3401,           // LDI X1
        0x2806,           // LD M6
        0x6807,           // OR M7
        0xFFF8,           // ANB
        0xD808,           // SET M8
    };
    std::size_t off = 0;
    std::size_t i = 0;
    while (off + 4 <= kFullImage) Put(image, off, rung[i++ % std::size(rung)]);
    Put(image, off, 0x000F);  // END
    return image;
}

void BM_ScanFullBasicProgram(benchmark::State& state) {
    const auto image = BasicProgram();
    TSimEngine engine(qel::SystemClock());
    engine.LoadProgram(image.data(), image.size());
    engine.ResetSimulator();
    engine.Memory().X()[0] = 1;
    std::int64_t steps = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine.RunSimScan());
        steps += static_cast<std::int64_t>(engine.StepCount());
    }
    state.counters["scans/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["ns/step"] = benchmark::Counter(static_cast<double>(steps),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
                                                   benchmark::Counter::OneK::kIs1000);
    state.counters["steps"] = static_cast<double>(engine.StepCount());
}
BENCHMARK(BM_ScanFullBasicProgram)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
