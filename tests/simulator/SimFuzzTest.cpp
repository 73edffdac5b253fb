// Damaged and random program images must run without a crash and without
// touching memory outside the device arrays (the sanitizer build catches any
// such access); the device memory keeps its shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <random>
#include <vector>

#include "core/InstructionTable.h"
#include "platform/Clock.h"
#include "simulator/SimEngine.h"
#include "tests/simulator/SimRig.h"

namespace {

constexpr std::size_t kCapacities[] = {3616, 7584, 15840, 31744};

void CheckMemoryShape(const TSimMemory& mem) {
    for (int i = 0; i < kBitZero; ++i) ASSERT_LE(mem.bits[i], 1) << "bit byte " << i;
    ASSERT_EQ(mem.bits[kBitZero], 0) << "the no-device byte was written";
    for (int i = 0; i < kSimT; ++i) ASSERT_LE(mem.TEnable[i], 1);
    for (int i = 0; i < kSimC; ++i) ASSERT_LE(mem.CLatch[i], 1);
}

void CheckSteps(const TSimEngine& e, std::size_t capacity) {
    std::uint32_t offset = 0;
    for (const TSimStep& s : e.Steps()) {
        ASSERT_EQ(s.offset, offset);
        ASSERT_GE(s.length, 2);
        offset += s.length;
    }
    ASSERT_LE(offset, capacity);
}

void RunImage(const std::vector<std::uint8_t>& image, std::mt19937& rng, int scans) {
    qel::ManualClock clock;
    TSimEngine e(clock);
    e.LoadProgram(image.data(), image.size());
    e.ResetSimulator();
    CheckSteps(e, image.size());
    std::uniform_int_distribution<int> bit(0, kBitZero - 1), ms(0, 300), reg(0, kSimD - 1);
    // Half the steps and inputs on, so that step blocks and rungs run.
    for (int i = 0; i < kSimS + kSimX; ++i) SetSimBitAt(e.Memory(), kBitS + i, (rng() & 1) != 0);
    for (int i = 0; i < scans; ++i) {
        SetSimBitAt(e.Memory(), bit(rng), (rng() & 1) != 0);
        e.Memory().D[reg(rng)] = static_cast<std::uint16_t>(rng());
        e.Memory().D[kRegE] = static_cast<std::uint16_t>(rng());  // index registers anywhere
        e.Memory().D[kRegF] = static_cast<std::uint16_t>(rng());
        clock.AdvanceMs(ms(rng));
        e.RunSimScan();
    }
    CheckMemoryShape(e.Memory());
}

// Four images of each capacity, filled by `fill` and run for 200 scans.
template <class Fill>
void RunImagesOfEveryCapacity(unsigned seedFactor, Fill fill) {
    for (std::size_t capacity : kCapacities) {
        for (unsigned seed = 1; seed <= 4; ++seed) {
            SCOPED_TRACE(testing::Message() << "capacity " << capacity << " seed " << seed);
            std::mt19937 rng(seed * seedFactor + static_cast<unsigned>(capacity));
            std::vector<std::uint8_t> image(capacity, 0xFF);
            fill(image, rng);
            RunImage(image, rng, 200);
        }
    }
}

TEST(SimFuzz, RandomBytes) {
    RunImagesOfEveryCapacity(7919u, [](std::vector<std::uint8_t>& image, std::mt19937& rng) {
        for (auto& b : image) b = static_cast<std::uint8_t>(rng());
    });
}

// Real opcodes with random operand bytes: every handler meets garbage records,
// stray labels, jumps and step blocks.
TEST(SimFuzz, RandomInstructions) {
    RunImagesOfEveryCapacity(104729u, [](std::vector<std::uint8_t>& image, std::mt19937& rng) {
        std::uniform_int_distribution<int> row(0, kInstCount - 1);
        // Operand bytes drawn mostly from the real classes and codes.
        const std::uint8_t classes[] = {0x80, 0x82, 0x84, 0x86, 0x88, 0xE4, 0xF6, 0xE0, 0x8C, 0x00};
        const std::uint8_t codes[] = {0x80, 0x82, 0x84, 0x86, 0x88, 0x90, 0x87, 0xFF};
        std::size_t off = 0;
        while (off + 2 <= image.size() - 40) {
            const int i = row(rng);
            const bool ends = i == inst::END || i == inst::FEND || i == inst::SRET;
            if (ends && rng() % 32 != 0) continue;  // let most scans run long
            std::uint16_t word = gInstOpcode[i];
            if (i <= inst::ILABEL) word = static_cast<std::uint16_t>(word | (rng() & 0x0FFF));
            if (i == inst::PLABEL) word = static_cast<std::uint16_t>(0xB000 | (rng() % 8));
            image[off] = static_cast<std::uint8_t>(word);
            image[off + 1] = static_cast<std::uint8_t>(word >> 8);
            for (int b = 2; b < gInstLength[i]; b += 4) {
                image[off + b] = static_cast<std::uint8_t>(rng() % 8);  // small numbers: labels P0-P7
                image[off + b + 1] = classes[rng() % std::size(classes)];
                image[off + b + 2] = static_cast<std::uint8_t>(rng());
                image[off + b + 3] = codes[rng() % std::size(codes)];
            }
            off += gInstLength[i];
        }
    });
}

// Operand records as the assembler writes them, at the edges of every array,
// indexed, and of kinds that some instructions do not expect.
std::vector<std::vector<std::uint8_t>> RecordPool(bool wide) {
    const char* sources[] = {"K0",     "K1",      "K-1",    "K512",   "K32767", "H7FFF",  "K4X0",  "K8X0",
                             "K4Y360", "K8M4064", "K4M0E",  "K2S1016", "K1M4092", "D0",    "D9999", "D9998",
                             "D0E",    "D100F",   "D9990E7", "T0",    "T255",   "C0",     "C199",  "C200",
                             "C255",   "T255E",   "E",      "F",      "E7",     "K3",     "K16",   "K8"};
    std::vector<std::vector<std::uint8_t>> pool;
    const int size = wide ? 8 : 4;
    // The record of the first operand of a line, when the line assembles.
    auto add = [&](const std::string& line) {
        if (!SetInputText(line) || AssembleInstruction() != 1) return;
        std::vector<std::uint8_t> rec(gInsnBuf.code + 2, gInsnBuf.code + std::min<std::uint32_t>(gInsnBuf.length, 2u + static_cast<std::uint32_t>(size)));
        rec.resize(static_cast<std::size_t>(size), 0);
        pool.push_back(rec);
    };
    SetCurrentFamily(1);
    for (const char* s : sources) add(std::string(wide ? "DMOV " : "MOV ") + s + " D0");
    // Single bit devices, as the relay operands of CMP, ALT or SFTR carry them.
    for (const char* s : {"Y377", "M4095", "M0E", "S1023", "M1536"}) add(std::string("ALT ") + s);
    EXPECT_GT(pool.size(), 25u);
    return pool;
}

// Applied instructions only, each under its own rung, with operands taken
// from the assembler's records: every body meets the ends of the arrays and
// index registers anywhere, for thousands of scans.
TEST(SimFuzz, RandomAppliedInstructions) {
    const auto narrow = RecordPool(false);
    const auto wide = RecordPool(true);
    std::vector<int> rows;
    for (int i = inst::CMP; i < kInstCount; ++i)
        if (SimAppliedBody(i)) rows.push_back(i);
    ASSERT_GT(rows.size(), 150u);
    for (unsigned seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        std::mt19937 rng(seed * 6151u);
        std::vector<std::uint8_t> image(3616, 0xFF);
        std::size_t off = 0;
        while (off + 40 <= image.size()) {
            const int i = rows[rng() % rows.size()];
            const std::uint16_t ld = static_cast<std::uint16_t>(0x2400 + rng() % 8);  // LD X0-X7
            image[off++] = static_cast<std::uint8_t>(ld);
            image[off++] = static_cast<std::uint8_t>(ld >> 8);
            image[off] = static_cast<std::uint8_t>(gInstOpcode[i]);
            image[off + 1] = static_cast<std::uint8_t>(gInstOpcode[i] >> 8);
            const bool is32 = (gInstFlags[i] & kInst32Bit) != 0;
            const auto& pool = is32 ? wide : narrow;
            for (std::size_t b = 2; b + (is32 ? 8 : 4) <= gInstLength[i]; b += is32 ? 8 : 4) {
                const auto& rec = pool[rng() % pool.size()];
                std::copy(rec.begin(), rec.end(), image.begin() + static_cast<std::ptrdiff_t>(off + b));
            }
            off += gInstLength[i];
        }
        RunImage(image, rng, 2500);
    }
}

}  // namespace
