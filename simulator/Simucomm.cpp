#include "simulator/Simucomm.h"

#include "core/DeviceLimits.h"

#include <array>
#include <iterator>
#include <cstring>

namespace {

// 12-bit device address -> flat bit index, built once.
struct BitMap {
    std::array<std::int16_t, 4096> index{};
    BitMap() {
        for (int a = 0; a < 4096; ++a) {
            const int area = a >> 8;
            int i = kBitZero;
            if (area <= 3)
                i = kBitS + a;
            else if (area == 4)
                i = kBitX + (a & 0xFF);
            else if (area == 5)
                i = kBitY + (a & 0xFF);
            else if (area == 6)
                i = kBitT + (a & 0xFF);
            else if (area >= 8 && area <= 13)
                i = kBitM + (a - 0x800);
            else if (area == 14)
                i = kBitC + (a - 0xE00);
            index[static_cast<std::size_t>(a)] = static_cast<std::int16_t>(i);
        }
    }
};

const BitMap& Map() {
    static const BitMap map;
    return map;
}

}  // namespace

void ClearSimMemory(TSimMemory& mem) { std::memset(&mem, 0, sizeof mem); }

void SetSimFamily(TSimMemory& mem, int family) {
    static_assert(std::size(TSimMemory{}.familyLimits) == kLimitLetterCount);
    mem.familySet = family >= 0 && family < kFamilyCount;
    if (mem.familySet) std::memcpy(mem.familyLimits, gDeviceLimitTable[family], sizeof mem.familyLimits);
}

int SimBitIndex(std::uint16_t opcodeWord) { return Map().index[opcodeWord & 0x0FFF]; }

int ReadSimBit(const TSimMemory& mem, std::uint16_t opcodeWord) {
    return mem.bits[SimBitIndex(opcodeWord)] == 1 ? 1 : 0;
}

bool SimBitOfFamily(const TSimMemory& mem, int bitIndex) {
    struct Range {
        int base, size, limit;
    };
    static constexpr Range kRanges[] = {{kBitS, kSimS, kLimS}, {kBitX, kSimX, kLimX}, {kBitY, kSimY, kLimY},
                                        {kBitT, kSimT, kLimT}, {kBitM, kSimM, kLimM}, {kBitC, kSimC, kLimC}};
    for (const Range& r : kRanges)
        if (bitIndex >= r.base && bitIndex < r.base + r.size)
            return !mem.familySet || bitIndex - r.base <= mem.familyLimits[r.limit];
    return false;
}

void SetSimBitAt(TSimMemory& mem, int bitIndex, bool on) {
    if (bitIndex < 0 || bitIndex >= kBitZero) return;  // no device: nothing to change
    if (!SimBitOfFamily(mem, bitIndex)) return;         // none of the model's
    mem.bits[bitIndex] = on ? 1 : 0;
    if (on) return;
    if (bitIndex >= kBitT && bitIndex < kBitT + kSimT) {
        mem.TPV[bitIndex - kBitT] = 0;
    } else if (bitIndex >= kBitC && bitIndex < kBitC + kSimC) {
        const int n = bitIndex - kBitC;
        if (n < kSimC16)
            mem.CPV[n] = 0;
        else
            mem.CPV32[n - kSimC16] = 0;
    }
}

void WriteSimBit(TSimMemory& mem, int action, std::uint16_t opcodeWord) {
    if (action != kSimActionSet && action != kSimActionReset) return;
    SetSimBitAt(mem, SimBitIndex(opcodeWord), action == kSimActionSet);
}

int SimBitIndexOf(char letter, int number) {
    struct Range {
        char letter;
        int base, size;
    };
    static constexpr Range kRanges[] = {{'S', kBitS, kSimS}, {'X', kBitX, kSimX}, {'Y', kBitY, kSimY},
                                        {'T', kBitT, kSimT}, {'M', kBitM, kSimM}, {'C', kBitC, kSimC}};
    for (const Range& r : kRanges)
        if (r.letter == letter) return number >= 0 && number < r.size ? r.base + number : -1;
    return -1;
}
