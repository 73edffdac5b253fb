// Device memory, basic device addresses and operand records.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "simulator/SimOperand.h"
#include "simulator/Simucomm.h"

namespace {

struct Mem {
    std::unique_ptr<TSimMemory> p = std::make_unique<TSimMemory>();
    Mem() { ClearSimMemory(*p); }
    TSimMemory& operator*() { return *p; }
    TSimMemory* operator->() { return p.get(); }
};

TSimSlot Decode(const std::uint8_t* rec, int width = kSimWidth16) {
    TSimSlot s;
    DecodeSimOperand(rec, s, width);
    return s;
}

// The record the assembler writes for an operand text.
TSimSlot Encoded(const char* text, bool is32 = false) {
    SetCurrentFamily(1);
    std::uint8_t rec[8] = {};
    EXPECT_GT(EncodeOperandRecord(text, is32, rec), 0) << text;
    return Decode(rec, is32 ? kSimWidth32 : kSimWidth16);
}

TEST(SimBits, BasicAddressesNameTheirDevices) {
    Mem m;
    m->S()[1023] = 1;
    m->X()[017] = 1;   // X17 is the 15th input
    m->Y()[0377] = 1;
    m->T()[255] = 1;
    m->M()[1535] = 1;
    m->C()[255] = 1;
    EXPECT_EQ(ReadSimBit(*m, 0x2000 + 1023), 1);
    EXPECT_EQ(ReadSimBit(*m, 0x2000 + 0x400 + 017), 1);
    EXPECT_EQ(ReadSimBit(*m, 0x2000 + 0x5FF), 1);
    EXPECT_EQ(ReadSimBit(*m, 0x2000 + 0x6FF), 1);
    EXPECT_EQ(ReadSimBit(*m, 0x2000 + 0xDFF), 1);
    EXPECT_EQ(ReadSimBit(*m, 0x2000 + 0xEFF), 1);
    EXPECT_EQ(ReadSimBit(*m, 0x2000 + 0x400 + 016), 0);
}

TEST(SimBits, AddressesWithoutDeviceReadOffAndIgnoreWrites) {
    Mem m;
    std::memset(m->bits, 1, kBitZero);
    m->bits[kBitZero] = 0;
    for (std::uint16_t a : {0x700, 0x7FF, 0xF00, 0xFFF}) {
        EXPECT_EQ(ReadSimBit(*m, static_cast<std::uint16_t>(0x2000 | a)), 0) << a;
        WriteSimBit(*m, kSimActionSet, static_cast<std::uint16_t>(0xD000 | a));
        EXPECT_EQ(m->bits[kBitZero], 0);
    }
}

TEST(SimBits, ResetOfTimerAndCounterClearsTheirValues) {
    Mem m;
    m->TPV[5] = 7;
    WriteSimBit(*m, kSimActionSet, 0xD000 + 0x605);
    EXPECT_EQ(m->T()[5], 1);
    EXPECT_EQ(m->TPV[5], 7) << "setting a timer contact keeps its value";
    WriteSimBit(*m, kSimActionReset, 0xD000 + 0x605);
    EXPECT_EQ(m->T()[5], 0);
    EXPECT_EQ(m->TPV[5], 0);

    m->C()[3] = 1, m->CPV[3] = 9;
    m->C()[210] = 1, m->CPV32[10] = 100000;
    WriteSimBit(*m, kSimActionReset, 0xD000 + 0xE03);
    WriteSimBit(*m, kSimActionReset, 0xD000 + 0xE00 + 210);
    EXPECT_EQ(m->CPV[3], 0);
    EXPECT_EQ(m->CPV32[10], 0) << "a 32-bit counter is reset with its contact";
    EXPECT_EQ(m->C()[210], 0);
}

// Names that do name a bit: every scan test's Rig::Bit.
TEST(SimBits, DeviceNamesToBits) {
    EXPECT_EQ(SimBitIndexOf('X', 256), -1);
    EXPECT_EQ(SimBitIndexOf('D', 0), -1);
    EXPECT_EQ(SimBitIndexOf('S', -1), -1);
}

TEST(SimOperands, DigitGroups) {
    Mem m;
    const TSimSlot k4m0 = Encoded("K4M0");
    for (int i = 0; i < 16; ++i) m->M()[i] = 1;
    EXPECT_EQ(ReadSimOperand(*m, k4m0, kSimWidth16, 0), -1);
    EXPECT_EQ(ReadSimOperand(*m, Encoded("K2M0"), kSimWidth16, 0), 255);
    EXPECT_EQ(ReadSimOperand(*m, Encoded("K8M0"), kSimWidth32, 0), 0xFFFF);

    const TSimSlot k2y0 = Encoded("K2Y0");
    m->Y()[010] = 1;
    for (int i = 0; i < 8; ++i) m->Y()[i] = 1;
    WriteSimOperand(*m, 0x1234, k2y0, kSimWidth16, 0);
    const int expected[8] = {0, 0, 1, 0, 1, 1, 0, 0};  // 0x34
    for (int i = 0; i < 8; ++i) EXPECT_EQ(m->Y()[i], expected[i]) << "Y" << i;
    EXPECT_EQ(m->Y()[010], 1) << "Y10 lies beyond the group";

    // Block element k of a digit group starts 4n devices further on.
    WriteSimOperand(*m, 0xA, Encoded("K1S0"), kSimWidth16, 2);
    EXPECT_EQ(m->S()[9], 1);
    EXPECT_EQ(m->S()[11], 1);
    EXPECT_EQ(m->S()[8] + m->S()[10], 0);
}

TEST(SimOperands, ConstantsAndWords) {
    Mem m;
    EXPECT_EQ(ReadSimOperand(*m, Encoded("K100000", true), kSimWidth32, 0), 100000);
    EXPECT_EQ(ReadSimOperand(*m, Encoded("K-5"), kSimWidth16, 0), -5);
    EXPECT_EQ(ReadSimOperand(*m, Encoded("H1F"), kSimWidth16, 0), 0x1F);

    const TSimSlot k = Encoded("K7");
    WriteSimOperand(*m, 3, k, kSimWidth16, 0);  // a constant takes no value
    EXPECT_EQ(ReadSimOperand(*m, k, kSimWidth16, 0), 7);

    const TSimSlot d10 = Encoded("D10", true);
    WriteSimOperand(*m, -100000, d10, kSimWidth32, 0);
    EXPECT_EQ(ReadSimOperand(*m, d10, kSimWidth32, 0), -100000);
    EXPECT_EQ(m->D[10], static_cast<std::uint16_t>(-100000 & 0xFFFF));
    EXPECT_EQ(ReadSimOperand(*m, Encoded("D10"), kSimWidth16, 1), static_cast<std::int16_t>(m->D[11]));

    m->TPV[3] = 42, m->CPV[4] = 43, m->CPV32[10] = 123456;
    EXPECT_EQ(ReadSimOperand(*m, Encoded("T3"), kSimWidth16, 0), 42);
    EXPECT_EQ(ReadSimOperand(*m, Encoded("C4"), kSimWidth16, 0), 43);
    EXPECT_EQ(ReadSimOperand(*m, Encoded("C210", true), kSimWidth32, 0), 123456);
}

TEST(SimOperands, IndexRegisterRecordsNameTheirWords) {
    Mem m;
    const std::uint8_t e[4] = {0x38, 0x86, 0x00, 0x80};  // 0x80008638
    const TSimSlot slot = Decode(e);
    WriteSimOperand(*m, 77, slot, kSimWidth16, 0);
    EXPECT_EQ(m->D[kRegE], 77);
    EXPECT_EQ(ReadSimOperand(*m, slot, kSimWidth16, 0), 77);
    const std::uint8_t f3[4] = {0x78, 0x86, 0x01, 0x80};  // E1 + 12: F3
    WriteSimOperand(*m, 5, Decode(f3), kSimWidth16, 0);
    EXPECT_EQ(m->D[1194], 5);
    // The assembler's records for E and F7 agree.
    WriteSimOperand(*m, 9, Encoded("F7"), kSimWidth16, 0);
    EXPECT_EQ(m->D[1208], 9);
}

TEST(SimOperands, HighRelaysUseTheirOwnNumbers) {
    Mem m;
    WriteSimOperand(*m, 1, Encoded("M1536"), kSimWidth16, 0);
    WriteSimOperand(*m, 1, Encoded("M4095"), kSimWidth16, 0);
    EXPECT_EQ(m->M()[1536], 1);
    EXPECT_EQ(m->M()[4095], 1);
}

TEST(SimOperands, AccessesOutsideTheArraysAreHarmless) {
    Mem m;
    for (int i = 4090; i < 4096; ++i) m->M()[i] = 1;
    // K8M4090 reaches 26 relays past M4095: those read as 0 and are not written.
    EXPECT_EQ(ReadSimOperand(*m, Encoded("K8M4090", true), kSimWidth32, 0), 0x3F);
    WriteSimOperand(*m, -1, Encoded("K8M4090", true), kSimWidth32, 0);
    EXPECT_EQ(m->bits[kBitZero], 0);
    EXPECT_EQ(m->C()[0], 0);

    // A 32-bit value at D9999 would need D10000: nothing is written.
    WriteSimOperand(*m, 0x12345678, Encoded("D9999", true), kSimWidth32, 0);
    EXPECT_EQ(m->D[9999], 0);
    EXPECT_EQ(ReadSimOperand(*m, Encoded("D9999"), kSimWidth16, 5), 0);

    // An index register pushing the element outside, either way.
    m->D[kRegE] = 30000;
    WriteSimOperand(*m, 1, Encoded("D0E"), kSimWidth16, 0);
    m->D[kRegE] = static_cast<std::uint16_t>(-1);
    WriteSimOperand(*m, 1, Encoded("D0E"), kSimWidth16, 0);
    EXPECT_EQ(ReadSimOperand(*m, Encoded("D0E"), kSimWidth16, 0), 0);
    for (int i = 0; i < kSimD; ++i) ASSERT_EQ(m->D[i], i == kRegE ? 0xFFFF : 0) << "D" << i;

    // Unknown classes leave the slot empty: reads give 0, writes go nowhere.
    const std::uint8_t junk[4] = {1, 0x8E, 2, 3};
    const TSimSlot s = Decode(junk);
    EXPECT_EQ(s.kind, kSimKindEmpty);
    WriteSimOperand(*m, 5, s, kSimWidth16, 0);
    EXPECT_EQ(ReadSimOperand(*m, s, kSimWidth16, 0), 0);
}

}  // namespace

// A run simulates one model family: a 32-bit value takes the next register as
// its high word only where the family has that pair. Elsewhere the high word
// reads 0 and a write is dropped whole, so the run never reads or writes a
// register the family lacks; the index registers keep their pairs.
TEST(SimOperands, A32BitValueUsesOnlyPairsTheFamilyHas) {
    struct Row {
        const char* path;
        int family;
        const char* operand;  // at 32 bits
        int low;              // the operand's register, found after index modification
        bool pairs;
    };
    const Row rows[] = {
        {"KA: D1311 is the last D", 0, "D1311", 1311, false},
        {"KA: D1310 pairs with D1311", 0, "D1310", 1310, true},
        {"KA: T127 is the last T", 0, "T127", 127, false},
        {"KA: C199 meets the 32-bit C200", 0, "C199", 199, false},
        {"KA: D1300E reaching D1311 at run time", 0, "D1300E", 1311, false},
        {"KA: E1 is an index register pair", 0, "E1", 1182, true},
        {"KD: D4095 ends its block", 1, "D4095", 4095, false},
        {"KD: D4096 pairs with D4097", 1, "D4096", 4096, true},
        {"KD: T255 is the last T", 1, "T255", 255, false},
        {"KE: D4999 is the last D", 2, "D4999", 4999, false},
        {"KE: D4998 pairs", 2, "D4998", 4998, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        Mem m;
        SetSimFamily(*m, r.family);
        const TSimSlot slot = Encoded(r.operand, true);
        m->D[kRegE] = 11;
        std::uint16_t* words = slot.array == TSimArray::TPV ? m->TPV : slot.array == TSimArray::CPV ? m->CPV : m->D;
        const int size = slot.array == TSimArray::TPV ? kSimT : slot.array == TSimArray::CPV ? kSimC16 : kSimD;
        words[r.low] = 0x1111;
        if (r.low + 1 < size) words[r.low + 1] = 0x2222;
        EXPECT_EQ(ReadSimOperand(*m, slot, kSimWidth32, 0), r.pairs ? 0x22221111 : 0x1111);
        WriteSimOperand(*m, 0x33334444, slot, kSimWidth32, 0);
        EXPECT_EQ(words[r.low], r.pairs ? 0x4444 : 0x1111);
        if (r.low + 1 < size) {
            EXPECT_EQ(words[r.low + 1], r.pairs ? 0x3333 : 0x2222);
        }
    }
    // The family's limits are the run's: an older KA PLC (D up to D1143) met
    // meanwhile leaves the run as it started, and keeps E1's pair.
    Mem m;
    SetSimFamily(*m, 0);
    LimitDevicesForPlc(0, 50);
    Mem older;
    SetSimFamily(*older, 0);
    ResetDeviceLimits();
    m->D[1200] = 1, m->D[1201] = 2;
    older->D[1182] = 1, older->D[1183] = 2;
    EXPECT_EQ(ReadSimOperand(*m, Encoded("D1200", true), kSimWidth32, 0), 0x20001);
    EXPECT_EQ(ReadSimOperand(*older, Encoded("E1", true), kSimWidth32, 0), 0x20001);
    // A memory no run has given a family keeps to its arrays.
    Mem plain;
    plain->D[1311] = 1, plain->D[1312] = 2;
    EXPECT_EQ(ReadSimOperand(*plain, Encoded("D1311", true), kSimWidth32, 0), 0x20001);
}

// A 16-bit word the family lacks is no register either: a remainder beside a
// quotient in the family's last D, an index-modified operand or a block of
// words reaching past the last T, C or D read 0 and take no value.
TEST(SimOperands, A16BitWordPastTheFamilysLastRegisterIsNoRegister) {
    struct Row {
        const char* path;
        int family;
        const char* operand;
        int k;     // word k of the operand (a second result, a block's next word)
        int word;  // the register reached, after index modification
        bool there;
    };
    const Row rows[] = {
        {"KA: a remainder beside the last D", 0, "D1311", 1, 1312, false},
        {"KA: a remainder beside D1310 lands on D1311", 0, "D1310", 1, 1311, true},
        {"KA: D1301E reaching D1312 at run time", 0, "D1301E", 0, 1312, false},
        {"KA: D1300E reaching D1311 at run time", 0, "D1300E", 0, 1311, true},
        {"KA: the word after T127", 0, "T127", 1, 128, false},
        {"KE: a remainder beside D4999", 2, "D4999", 1, 5000, false},
        {"KD: D4095's neighbour D4096 is a register", 1, "D4095", 1, 4096, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        Mem m;
        SetSimFamily(*m, r.family);
        const TSimSlot slot = Encoded(r.operand, false);
        m->D[kRegE] = 11;
        std::uint16_t* words = slot.array == TSimArray::TPV ? m->TPV : m->D;
        words[r.word] = 0x1111;
        EXPECT_EQ(ReadSimOperand(*m, slot, kSimWidth16, r.k), r.there ? 0x1111 : 0);
        WriteSimOperand(*m, 0x4444, slot, kSimWidth16, r.k);
        EXPECT_EQ(words[r.word], r.there ? 0x4444 : 0x1111);
    }
}

// A bit the family lacks is no device: the result bits of a compare at the
// family's last M, the bits of a digit group running past its last M or S, the
// bit after its last Y, a coil on an M it does not have (a program read from a
// file) take no value; the same devices on a family that has them do.
TEST(SimOperands, ABitPastTheFamilysLastDeviceTakesNoValue) {
    struct Row {
        const char* path;
        int family;           // -1: a memory no run has given a family
        const char* operand;  // as a single bit or a digit group
        int k;                // element k of the operand (a compare's second or third result)
        char letter;          // the bit reached
        int number;
        bool there;
    };
    const Row rows[] = {
        {"family 0: CMP's second result after M1279 would be M1280", 0, "M1279", 1, 'M', 1280, false},
        {"family 0: CMP's third result after M1279 would be M1281", 0, "M1279", 2, 'M', 1281, false},
        {"family 0: CMP's first result lands on M1279", 0, "M1279", 0, 'M', 1279, true},
        {"family 0: K4M1270 reaches M1280", 0, "K4M1270", 0, 'M', 1280, false},
        {"family 0: K4M1270 holds M1279", 0, "K4M1270", 0, 'M', 1279, true},
        {"family 0: K4S120 reaches S128", 0, "K4S120", 0, 'S', 128, false},
        {"family 0: the bit after Y177 would be Y200", 0, "Y177", 1, 'Y', 0200, false},
        {"family 1: K4M1270 reaches M1285, which it has", 1, "K4M1270", 0, 'M', 1285, true},
        {"family 2: the bit after S127 is S128", 2, "S127", 1, 'S', 128, true},
        {"no family: the arrays alone decide", -1, "M1279", 2, 'M', 1281, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        Mem m;
        if (r.family >= 0) SetSimFamily(*m, r.family);
        const int bit = SimBitIndexOf(r.letter, r.number);
        ASSERT_GE(bit, 0);
        WriteSimOperand(*m, -1, Encoded(r.operand), kSimWidth16, r.k);
        EXPECT_EQ(m->bits[bit], r.there ? 1 : 0);
    }
    // A coil of a basic instruction on an M the family lacks sets nothing.
    Mem m;
    SetSimFamily(*m, 0);
    SetSimBitAt(*m, SimBitIndexOf('M', 1300), true);
    EXPECT_EQ(m->bits[SimBitIndexOf('M', 1300)], 0);
    SetSimBitAt(*m, SimBitIndexOf('M', 1279), true);
    EXPECT_EQ(m->bits[SimBitIndexOf('M', 1279)], 1);
}
