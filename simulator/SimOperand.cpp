#include "simulator/SimOperand.h"

#include <bit>
#include <iterator>
#include <cstdint>

#include "core/DeviceLimits.h"

namespace {

// Classes of the record's second byte; E- and F-indexed forms add 0x60 / 0x70.
constexpr std::uint8_t kClassK = 0x80;
constexpr std::uint8_t kClassH = 0x82;
constexpr std::uint8_t kClassBit = 0x84;
constexpr std::uint8_t kClassWord = 0x86;

// Records that name the index registers themselves.
constexpr std::uint32_t kRecordE = 0x80008638u;
constexpr std::uint32_t kRecordF = 0x8000863Au;
constexpr std::uint32_t kRecordE1 = 0x8001866Cu;
constexpr std::uint32_t kRecordF7 = 0x80018686u;

// Slot value of index register number r under an E (0xE?) or F (0xF?) class.
std::uint8_t IndexSlotValue(std::uint8_t cls, int r) {
    const int hi = cls & 0xF0;
    if (hi != 0xE0 && hi != 0xF0) return 0;
    if (r < 0 || r > 7) return 0;
    const int base = hi == 0xE0 ? 1 : 2;
    return static_cast<std::uint8_t>(r == 0 ? base : base + 2 * r);
}

struct ArrayRef {
    int size;
    int bitBase;  // offset in TSimMemory::bits, -1 for word arrays
};

// Indexed by TSimArray.
constexpr ArrayRef kArrays[] = {
    {0, -1},                                                        // None
    {kSimS, kBitS},   {kSimX, kBitX}, {kSimY, kBitY}, {kSimT, kBitT},  // S X Y T
    {kSimM, kBitM},   {kSimC, kBitC},                                 // M C
    {kSimT, -1},      {kSimC16, -1},  {kSimC32, -1},  {kSimD, -1},    // TPV CPV CPV32 D
};
static_assert(std::size(kArrays) == static_cast<std::size_t>(TSimArray::D) + 1);

ArrayRef Describe(TSimArray a) { return kArrays[static_cast<std::size_t>(a)]; }

std::uint16_t* WordArray(TSimMemory& mem, TSimArray a) {
    switch (a) {
        case TSimArray::TPV: return mem.TPV;
        case TSimArray::CPV: return mem.CPV;
        case TSimArray::D: return mem.D;
        default: return nullptr;
    }
}

const std::uint16_t* WordArray(const TSimMemory& mem, TSimArray a) {
    return WordArray(const_cast<TSimMemory&>(mem), a);
}

// Element after index modification.
std::int64_t Effective(const TSimMemory& mem, const TSimSlot& slot) {
    if (slot.indexReg == 0) return slot.element;
    std::int64_t e = slot.element;
    const int reg = SimIndexRegisterD(slot.indexReg);
    if (reg > 0) e += static_cast<std::int16_t>(mem.D[reg]);
    return e;
}

bool Inside(std::int64_t i, int size) { return i >= 0 && i < size; }

// Whether word `i` of the operand's array is a register of the memory's family:
// an index-modified operand, a remainder beside its quotient or a block of
// words may reach past the family's last T, C or D, where the PLC has nothing.
bool WordOfFamily(const TSimMemory& mem, const TSimSlot& slot, std::int64_t i) {
    if (!mem.familySet || slot.indexRegister) return true;
    const int letter = slot.array == TSimArray::TPV ? kLimT : slot.array == TSimArray::CPV ? kLimC : kLimD;
    return i <= mem.familyLimits[letter];
}

// Whether the register after word `lo` of the operand's array is the high word
// of a pair the memory's family has.
bool HighWordOfFamily(const TSimMemory& mem, const TSimSlot& slot, std::int64_t lo) {
    if (!mem.familySet || slot.indexRegister) return true;
    const int type = slot.array == TSimArray::TPV ? kDevT : slot.array == TSimArray::CPV ? kDevC : kDevD;
    return WordPairInLimits(mem.familyLimits, type, lo);
}

// Bits of a digit group read one by one; `stride` is the distance between the
// starts of consecutive 8-bit groups (8 for plain groups).
std::uint64_t ReadGroup(const TSimMemory& mem, const ArrayRef& r, std::int64_t start, int bits, int stride) {
    std::uint64_t v = 0;
    for (int b = 0; b < bits; ++b) {
        const std::int64_t i = start + (b / 8) * stride + (b % 8);
        if (Inside(i, r.size) && mem.bits[r.bitBase + i] == 1) v |= std::uint64_t{1} << b;
    }
    return v;
}

void WriteGroup(TSimMemory& mem, const ArrayRef& r, std::int64_t start, int bits, int stride, std::uint64_t v) {
    for (int b = 0; b < bits; ++b) {
        const std::int64_t i = start + (b / 8) * stride + (b % 8);
        // A bit of the group past the family's last of its letter takes nothing.
        if (Inside(i, r.size) && SimBitOfFamily(mem, r.bitBase + static_cast<int>(i)))
            mem.bits[r.bitBase + i] = (v >> b) & 1;
    }
}

std::int64_t GroupValue(std::uint64_t raw, int digits, int width) {
    const int bits = 4 * digits;
    if (width == kSimWidth16 && digits == 4) return static_cast<std::int16_t>(raw);
    if (width == kSimWidth32 && digits == 8) return static_cast<std::int32_t>(raw);
    return static_cast<std::int64_t>(raw & ((std::uint64_t{1} << bits) - 1));
}

std::int64_t Read(const TSimMemory& mem, const TSimSlot& slot, int width, int k, int octalStride) {
    const std::int64_t e = Effective(mem, slot);
    if (slot.array == TSimArray::None) return slot.kind == kSimKindConst ? e : 0;
    const ArrayRef r = Describe(slot.array);
    if (r.bitBase >= 0) {
        if (slot.digits == 0) return Inside(e + k, r.size) ? mem.bits[r.bitBase + e + k] & 1 : 0;
        const int bits = 4 * slot.digits;
        const std::int64_t start = e + std::int64_t{k} * bits;
        return GroupValue(ReadGroup(mem, r, start, bits, octalStride), slot.digits, width);
    }
    if (slot.array == TSimArray::CPV32) {
        if (!Inside(e + k, r.size)) return 0;
        const std::int32_t v = mem.CPV32[e + k];
        return width == kSimWidth32 ? v : static_cast<std::int16_t>(v);
    }
    const std::uint16_t* w = WordArray(mem, slot.array);
    if (width == kSimWidth32) {
        const std::int64_t lo = e + 2 * std::int64_t{k};
        const std::uint32_t low = Inside(lo, r.size) ? w[lo] : 0;
        const std::uint32_t high = Inside(lo + 1, r.size) && HighWordOfFamily(mem, slot, lo) ? w[lo + 1] : 0;
        return static_cast<std::int32_t>(low | (high << 16));
    }
    return Inside(e + k, r.size) && WordOfFamily(mem, slot, e + k) ? static_cast<std::int16_t>(w[e + k]) : 0;
}

void Write(TSimMemory& mem, std::int64_t value, const TSimSlot& slot, int width, int k, int octalStride) {
    if (slot.array == TSimArray::None) return;  // constants and empty slots take no value
    const std::int64_t e = Effective(mem, slot);
    const ArrayRef r = Describe(slot.array);
    const auto u = static_cast<std::uint64_t>(value);
    if (r.bitBase >= 0) {
        if (slot.digits == 0) {
            if (Inside(e + k, r.size)) SetSimBitAt(mem, r.bitBase + static_cast<int>(e + k), (u & 1) != 0);
            return;
        }
        const int bits = 4 * slot.digits;
        WriteGroup(mem, r, e + std::int64_t{k} * bits, bits, octalStride, u);
        return;
    }
    if (slot.array == TSimArray::CPV32) {
        if (!Inside(e + k, r.size)) return;
        mem.CPV32[e + k] = width == kSimWidth32 ? static_cast<std::int32_t>(u) : static_cast<std::int16_t>(u);
        return;
    }
    std::uint16_t* w = WordArray(mem, slot.array);
    if (width == kSimWidth32) {
        const std::int64_t lo = e + 2 * std::int64_t{k};
        // Never half a value, nor a high word the family lacks.
        if (!Inside(lo, r.size) || !Inside(lo + 1, r.size) || !HighWordOfFamily(mem, slot, lo)) return;
        w[lo] = static_cast<std::uint16_t>(u);
        w[lo + 1] = static_cast<std::uint16_t>(u >> 16);
        return;
    }
    if (Inside(e + k, r.size) && WordOfFamily(mem, slot, e + k)) w[e + k] = static_cast<std::uint16_t>(u);
}

// Distance between 8-bit groups of an octal digit group.
int OctalStride(const TSimSlot& slot) { return slot.array == TSimArray::M ? 10 : 8; }

void DecodeBit(const std::uint8_t* rec, TSimSlot& slot) {
    const std::uint8_t b0 = rec[0], cls = rec[1], b2 = rec[2], b3 = rec[3];
    const int area = b2 & 0x1F;
    const int address = ((b2 << 8) | b0) & 0x1FFF;
    int digits = 0;
    if (b3 > 0x80) {
        digits = (b3 - 0x80) / 2;
        if (digits > 8) return;  // no such group: leave the slot empty
    }
    TSimArray a = TSimArray::None;
    int element = 0;
    if (area <= 3) {
        a = TSimArray::S, element = address;
    } else if (area == 4) {
        a = TSimArray::X, element = address & 0xFF;
    } else if (area == 5) {
        a = TSimArray::Y, element = address & 0xFF;
    } else if (area == 6) {
        a = TSimArray::T, element = address & 0xFF;
    } else if (area >= 8 && area <= 13) {
        a = TSimArray::M, element = address - 0x800;
    } else if (area == 14) {
        a = TSimArray::C, element = address - 0xE00;
    } else if (area >= 16 && area <= 25) {
        // M1536 and above continue the relays after the 12-bit range.
        a = TSimArray::M, element = 1536 + (address - 0x1000);
    } else {
        return;
    }
    slot.array = a;
    slot.element = element;
    slot.digits = static_cast<std::uint16_t>(digits);
    slot.kind = kSimKindBit;
    slot.indexReg = IndexSlotValue(cls, b2 >> 5);
}

void DecodeWord(const std::uint8_t* rec, TSimSlot& slot) {
    const std::uint8_t b0 = rec[0], cls = rec[1], b2 = rec[2], b3 = rec[3];
    const int address = ((b2 << 8) | b0) & 0x7FFF;
    int reg = b2 >> 7;
    if (b3 == 0x80) {
        const std::uint32_t whole = b0 | (std::uint32_t{cls} << 8) | (std::uint32_t{b2} << 16) |
                                    (std::uint32_t{b3} << 24);
        int element = -1;
        if (whole == kRecordE)
            element = kRegE;
        else if (whole == kRecordF)
            element = kRegF;
        else if (whole >= kRecordE1 && whole <= kRecordF7 && (whole - kRecordE1) % 2 == 0)
            element = kRegE1 + static_cast<int>(whole - kRecordE1);
        if (element < 0) return;
        slot.array = TSimArray::D, slot.element = element, slot.kind = kSimKindWord;
        slot.indexRegister = true;
        return;
    }
    if (b3 == 0x82) {
        slot.array = TSimArray::TPV, slot.element = address / 2, slot.kind = kSimKindWord;
    } else if (b3 == 0x84) {
        if ((b2 & 0x7F) == 2) {
            // C200 and above: one 32-bit register each, numbered (n - 200) x 4.
            slot.array = TSimArray::CPV32, slot.element = (address - 0x200) / 4, slot.kind = kSimKindConst;
        } else {
            slot.array = TSimArray::CPV, slot.element = address / 2, slot.kind = kSimKindWord;
        }
    } else if (b3 >= 0x86) {
        reg += 2 * (b3 - 0x86);
        slot.array = TSimArray::D, slot.element = address / 2, slot.kind = kSimKindWord;
    } else {
        return;
    }
    slot.indexReg = IndexSlotValue(cls, reg);
}

void DecodeConstant(const std::uint8_t* rec, TSimSlot& slot, int width) {
    std::uint32_t v = rec[0] | (std::uint32_t{rec[2]} << 8);
    if (width == kSimWidth32) {
        v |= (std::uint32_t{rec[4]} << 16) | (std::uint32_t{rec[6]} << 24);
        slot.element = static_cast<std::int32_t>(v);
    } else {
        // K-1 is stored as 0xFFFF: a 16-bit constant is signed like the words it meets.
        slot.element = static_cast<std::int16_t>(v);
    }
    slot.array = TSimArray::None;
    slot.kind = kSimKindConst;
    slot.indexReg = IndexSlotValue(rec[1], static_cast<std::uint8_t>(rec[3] - 0x80));
}

}  // namespace

std::int64_t SimSlotElement(const TSimMemory& mem, const TSimSlot& slot) { return Effective(mem, slot); }

int SimIndexRegisterD(std::uint8_t indexReg) {
    if (indexReg == 1) return kRegE;
    if (indexReg == 2) return kRegF;
    if (indexReg >= 3 && indexReg <= 16) return kRegE1 + 2 * (indexReg - 3);
    return 0;
}

void DecodeSimOperand(const std::uint8_t* record, TSimSlot& slot, int width) {
    slot = TSimSlot{};
    const std::uint8_t cls = record[1];
    const std::uint8_t hi = cls & 0xF0;
    if (hi != 0x80 && hi != 0xE0 && hi != 0xF0) return;
    switch (cls & 0x0F) {
        case kClassBit & 0x0F: DecodeBit(record, slot); break;
        case kClassWord & 0x0F: DecodeWord(record, slot); break;
        case kClassK & 0x0F:
        case kClassH & 0x0F: DecodeConstant(record, slot, width); break;
        default: break;
    }
}

int DecodeSimOperands(const std::uint8_t* instruction, int length, bool is32, TSimSlot* slots) {
    const int size = is32 ? 8 : 4;
    const int width = is32 ? kSimWidth32 : kSimWidth16;
    int n = 0;
    for (int off = 2; off + size <= length && n < kSimSlotCount; off += size, ++n)
        DecodeSimOperand(instruction + off, slots[n], width);
    return n;
}

std::int64_t ReadSimOperand(const TSimMemory& mem, const TSimSlot& slot, int width, int k) {
    return Read(mem, slot, width, k, 8);
}

void WriteSimOperand(TSimMemory& mem, std::int64_t value, const TSimSlot& slot, int width, int k) {
    Write(mem, value, slot, width, k, 8);
}

std::int64_t ReadSimOctalOperand(const TSimMemory& mem, const TSimSlot& slot, int width, int k) {
    return Read(mem, slot, width, k, OctalStride(slot));
}

void WriteSimOctalOperand(TSimMemory& mem, std::int64_t value, const TSimSlot& slot, int width, int k) {
    Write(mem, value, slot, width, k, OctalStride(slot));
}

std::int64_t SimSlotRoom(const TSimMemory& mem, const TSimSlot& slot, int width) {
    if (slot.array == TSimArray::None) return slot.kind == kSimKindConst ? INT32_MAX : 0;
    const std::int64_t e = Effective(mem, slot);
    const ArrayRef r = Describe(slot.array);
    if (!Inside(e, r.size)) return 0;
    const std::int64_t left = r.size - e;
    if (r.bitBase >= 0) return slot.digits == 0 ? left : left / (4 * slot.digits);
    if (slot.array == TSimArray::CPV32 || width != kSimWidth32) return left;
    return left / 2;
}

int CountOneBits(std::int64_t value, int width) {
    const auto u = static_cast<std::uint64_t>(value);
    return std::popcount(width == kSimWidth32 ? u & 0xFFFFFFFFu : u & 0xFFFFu);
}
