// Scans per second of a full 16000-step program: basic instructions only,
// and basic mixed with applied instructions (one instruction in four applied);
// the start of a simulation (decoding and linking the image) for a full
// image that holds a short program and for a full program; and an edit taken
// into a running simulation.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
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

// Rungs of three basic instructions and one applied instruction, the applied
// ones taken in turn from the families a program uses most, up to a final END.
std::vector<std::uint8_t> MixedProgram() {
    const char* rung[] = {"LD X0", "AND M1", "OUT M2"};
    const char* applied[] = {"MOV D0 D2",        "ADD D0 K1 D4",     "CMP D0 K5 M10",   "INC D6",
                             "DMOV D10 D12",     "SUB D4 D2 D8",     "ZCP K1 K9 D0 M20", "MUL D0 K3 D14",
                             "DIV D14 K7 D16",   "WAND D0 H0FF D18", "BMOV D0 D100 K4", "SFTR X0 M100 K16 K1",
                             "BCD D6 D20",       "ROL D22 K1",       "MOV K4X0 D24",    "DADD D10 K1 D26"};
    SetCurrentFamily(1);
    std::vector<std::uint8_t> image(kFullImage, 0xFF);
    std::size_t off = 0;
    auto put = [&](const char* line) {
        if (!SetInputText(line) || AssembleInstruction() != 1) return false;
        if (off + gInsnBuf.length + 2 > kFullImage) return false;  // room for END
        std::copy(gInsnBuf.code, gInsnBuf.code + gInsnBuf.length, image.begin() + static_cast<std::ptrdiff_t>(off));
        off += gInsnBuf.length;
        return true;
    };
    for (std::size_t i = 0;; ++i) {
        bool fits = true;
        for (const char* line : rung) fits = fits && put(line);
        fits = fits && put(applied[i % std::size(applied)]);
        if (!fits) break;
    }
    Put(image, off, 0x000F);  // END
    return image;
}

// A ten-step program at the head of a full image; the rest of the image is
// empty steps, as most programs leave it.
std::vector<std::uint8_t> ShortProgram() {
    std::vector<std::uint8_t> image(kFullImage, 0xFF);
    const std::uint16_t program[] = {
        0x2400,  // LD X0
        0x4801,  // AND M1
        0xC500,  // OUT Y0
        0x3401,  // LDI X1
        0xC802,  // OUT M2
        0x2802,  // LD M2
        0x5400,  // ANI X0
        0xD808,  // SET M8
        0xC501,  // OUT Y1
        0x000F,  // END
    };
    std::size_t off = 0;
    for (std::uint16_t w : program) Put(image, off, w);
    return image;
}

// Decodes and links the image, as every start of a simulation does.
void LoadImage(benchmark::State& state, const std::vector<std::uint8_t>& image) {
    TSimEngine engine(qel::SystemClock());
    for (auto _ : state) {
        engine.LoadProgram(image.data(), image.size());
        benchmark::ClobberMemory();
    }
}

void BM_StartShortProgram(benchmark::State& state) { LoadImage(state, ShortProgram()); }
BENCHMARK(BM_StartShortProgram)->Unit(benchmark::kMillisecond);

void BM_StartFullProgram(benchmark::State& state) { LoadImage(state, MixedProgram()); }
BENCHMARK(BM_StartFullProgram)->Unit(benchmark::kMillisecond);

// Scans the image with X0 and M1 ON; "steps" counts its instructions, and
// ns/step is the time per instruction.
void ScanImage(benchmark::State& state, const std::vector<std::uint8_t>& image) {
    TSimEngine engine(qel::SystemClock());
    engine.LoadProgram(image.data(), image.size());
    engine.ResetSimulator();
    engine.Memory().X()[0] = 1;
    engine.Memory().M()[1] = 1;
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

void BM_ScanFullBasicProgram(benchmark::State& state) { ScanImage(state, BasicProgram()); }
BENCHMARK(BM_ScanFullBasicProgram)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_ScanFullMixedProgram(benchmark::State& state) { ScanImage(state, MixedProgram()); }
BENCHMARK(BM_ScanFullMixedProgram)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// An edit taken into a running simulation: the full program replaced by one
// with an instruction changed, the devices and the state of each instruction
// carried over. The scan waits this long once.
void BM_FollowEditedFullProgram(benchmark::State& state) {
    const std::vector<std::uint8_t> image = MixedProgram();
    std::vector<std::uint8_t> edited = image;
    std::size_t first = 0;
    Put(edited, first, 0x2401);  // LD X0 becomes LD X1
    TSimEngine engine(qel::SystemClock());
    engine.LoadProgram(image.data(), image.size());
    bool flip = false;
    for (auto _ : state) {
        const std::vector<std::uint8_t>& next = (flip = !flip) ? edited : image;
        engine.FollowProgram(next.data(), next.size());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FollowEditedFullProgram)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
