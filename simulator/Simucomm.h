#pragma once
// The simulated PLC's device memory: fixed sizes, the same for every model
// family. Bit devices live in one flat byte array so that the 12-bit device
// address of a basic instruction maps to one index through a small table.
//
// Every access is bounds-checked: a read outside an array gives 0 and a write
// outside one is dropped, because program images come from files and may be
// damaged.
#include <cstdint>

// Sizes of the device arrays.
inline constexpr int kSimS = 1024;
inline constexpr int kSimX = 256;
inline constexpr int kSimY = 256;
inline constexpr int kSimT = 256;
inline constexpr int kSimM = 4096;
inline constexpr int kSimC = 256;
inline constexpr int kSimC16 = 200;  // C0-C199: 16-bit counters
inline constexpr int kSimC32 = 56;   // C200-C255: 32-bit counters
inline constexpr int kSimD = 10000;

// Offsets of each bit device in TSimMemory::bits.
inline constexpr int kBitS = 0;
inline constexpr int kBitX = kBitS + kSimS;
inline constexpr int kBitY = kBitX + kSimX;
inline constexpr int kBitT = kBitY + kSimY;
inline constexpr int kBitM = kBitT + kSimT;
inline constexpr int kBitC = kBitM + kSimM;
// A byte that always reads 0: the target of addresses that name no device.
inline constexpr int kBitZero = kBitC + kSimC;
// A byte that swallows writes to addresses that name no device.
inline constexpr int kBitSink = kBitZero + 1;
inline constexpr int kBitCount = kBitSink + 1;

// Devices with a fixed role.
inline constexpr int kClock10ms = 1011;   // M1011..M1014: clock relays
inline constexpr int kClock100ms = 1012;
inline constexpr int kClock1s = 1013;
inline constexpr int kClock1min = 1014;
inline constexpr int kRegE = 1028;        // D1028 is E (E0)
inline constexpr int kRegF = 1029;        // D1029 is F (F0)
inline constexpr int kRegE1 = 1182;       // D1182, D1184, ... D1208: E1, F1, ... F7

struct TSimMemory {
    std::uint8_t bits[kBitCount];  // S | X | Y | T contacts | M | C contacts | zero | sink
    std::uint8_t TEnable[kSimT];   // 1 while the timer's rung was ON at its last TMR
    std::uint8_t CLatch[kSimC];    // 1 while the counter's rung was ON at its last count
    std::uint16_t TPV[kSimT], TSV[kSimT];
    std::uint16_t CPV[kSimC16], CSV[kSimC16];
    std::int32_t CPV32[kSimC32], CSV32[kSimC32];
    std::uint16_t D[kSimD];
    // The highest number of each letter (order XYMSTCDPI) of the model family
    // a run simulates, kept when the devices are cleared: a 32-bit value of
    // T, C or D takes the next register as its high word only where the
    // family has that pair (WordPairInLimits). Without a family (a memory no
    // run has set) the arrays' sizes alone decide.
    bool familySet;
    std::int32_t familyLimits[9];

    std::uint8_t* S() { return bits + kBitS; }
    std::uint8_t* X() { return bits + kBitX; }
    std::uint8_t* Y() { return bits + kBitY; }
    std::uint8_t* T() { return bits + kBitT; }
    std::uint8_t* M() { return bits + kBitM; }
    std::uint8_t* C() { return bits + kBitC; }
    const std::uint8_t* S() const { return bits + kBitS; }
    const std::uint8_t* X() const { return bits + kBitX; }
    const std::uint8_t* Y() const { return bits + kBitY; }
    const std::uint8_t* T() const { return bits + kBitT; }
    const std::uint8_t* M() const { return bits + kBitM; }
    const std::uint8_t* C() const { return bits + kBitC; }
};

// Zeroes every array of the memory, and its family with them.
void ClearSimMemory(TSimMemory& mem);
// The family whose registers a run has: a copy of its limits is kept, so a
// change of the table while the run goes on (the simulator thread reads it)
// touches nothing. A family outside 0..2 leaves the memory without one.
void SetSimFamily(TSimMemory& mem, int family);

// Index into TSimMemory::bits of the device named by the low 12 bits of a
// basic instruction's opcode word (S, X, Y, T, M0-M1535, C); kBitZero for the
// address ranges that name no device.
int SimBitIndex(std::uint16_t opcodeWord);

// State (0 or 1) of the bit device named by a basic opcode word.
int ReadSimBit(const TSimMemory& mem, std::uint16_t opcodeWord);

// Action 6 sets, action 7 resets the bit device named by a basic opcode word.
// Resetting a timer contact also clears its present value, resetting a
// counter contact its present value (16- or 32-bit).
inline constexpr int kSimActionSet = 6;
inline constexpr int kSimActionReset = 7;
void WriteSimBit(TSimMemory& mem, int action, std::uint16_t opcodeWord);

// The same two operations on a flat bit index (as SimBitIndex gives it). A bit
// past the last of its letter in the memory's family (M1280 and up of a model
// whose last M is M1279, the result bits of a compare at the last M, a digit
// group running past it) takes no value, as the PLC has no such device.
void SetSimBitAt(TSimMemory& mem, int bitIndex, bool on);
// Whether a flat bit index names a device of the memory's family (true for any
// index in range while no family is set).
bool SimBitOfFamily(const TSimMemory& mem, int bitIndex);

// Flat bit index of device `letter` (S, X, Y, T, M, C) number `number` (for X
// and Y the value of the octal number); -1 when no such device exists.
int SimBitIndexOf(char letter, int number);
