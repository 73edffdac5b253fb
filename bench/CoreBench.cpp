// Assembling and disassembling a full 16000-step program (31744-byte image), reported
// in instructions per second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/ProgramImage.h"

namespace {

constexpr std::size_t kCapacity = 31744;

// A mix of the lines a real program holds: contacts, coils, timers, moves, arithmetic,
// 32-bit forms, compares, long forms.
const std::vector<std::string>& SourceLines() {
    static const std::vector<std::string> lines = [] {
        const char* pattern[] = {"LD X0", "AND M100", "OR Y7", "ANI M2000", "OUT Y0", "TMR T5 K100",
                                 "LD= D0 K10", "MOV K5 D10", "DADD D0 D2 D4", "CNT C3 D100",
                                 "SET S20", "ADD D0E K4M0 D100", "LDP X1", "RST C3", "BMOV D0 D100 K10",
                                 "MPS", "MPP", "INC D7"};
        std::vector<std::string> out;
        std::size_t bytes = 2;  // END
        for (std::size_t i = 0;; ++i) {
            const std::string line = pattern[i % (sizeof pattern / sizeof pattern[0])];
            SetInputText(line);
            AssembleInstruction();
            if (bytes + gInsnBuf.length > kCapacity) break;
            bytes += gInsnBuf.length;
            out.push_back(line);
        }
        out.push_back("END");
        return out;
    }();
    return lines;
}

// The source lines assembled into a full image; `used` gets its length.
std::vector<uint8_t> AssembledImage(uint32_t& used) {
    std::vector<uint8_t> image(kCapacity, 0xFF);
    used = 0;
    for (const std::string& line : SourceLines()) {
        SetInputText(line);
        AssembleInstruction();
        InsertInstruction(image.data(), kCapacity, used, used, gInsnBuf.code, gInsnBuf.length);
    }
    return image;
}

void BM_AssembleFullProgram(benchmark::State& state) {
    SetCurrentFamily(1);
    const auto& lines = SourceLines();
    std::vector<uint8_t> image(kCapacity, 0xFF);
    for (auto _ : state) {
        uint32_t used = 0;
        for (const std::string& line : lines) {
            SetInputText(line);
            if (AssembleInstruction() != 1 ||
                !InsertInstruction(image.data(), kCapacity, used, used, gInsnBuf.code, gInsnBuf.length)) {
                state.SkipWithError("a line did not assemble");
                return;
            }
        }
        benchmark::DoNotOptimize(image.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
    state.counters["instructions"] = static_cast<double>(lines.size());
}
BENCHMARK(BM_AssembleFullProgram)->Unit(benchmark::kMillisecond);

void BM_DisassembleFullProgram(benchmark::State& state) {
    SetCurrentFamily(1);
    uint32_t used = 0;
    const std::vector<uint8_t> image = AssembledImage(used);
    int64_t count = 0;
    for (auto _ : state) {
        count = 0;
        for (uint32_t at = 0; at < used; at = NextInstructionOffset(at, image.data(), used)) {
            DisassembleForView(image.data(), used, at);
            benchmark::DoNotOptimize(gInstText[0]);
            ++count;
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_DisassembleFullProgram)->Unit(benchmark::kMillisecond);

// Walking the image the way the instruction list does when it counts lines.
void BM_WalkFullProgram(benchmark::State& state) {
    SetCurrentFamily(1);
    uint32_t used = 0;
    const std::vector<uint8_t> image = AssembledImage(used);
    for (auto _ : state) benchmark::DoNotOptimize(LocateCodeEnd(image.data(), kCapacity));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(SourceLines().size()));
}
BENCHMARK(BM_WalkFullProgram)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
