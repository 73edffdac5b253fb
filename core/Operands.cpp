// Operand texts and records: parsing, encoding, decoding, the family checks and the
// operand checkers the editors and tools call.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/Digtest.h"
#include "core/InstructionTable.h"
#include "core/OperandCodec.h"

namespace core_detail {
namespace {

constexpr int kMaxNumberDigits = 6;

bool ParseDigits(std::string_view& t, int radix, int64_t& value) {
    std::size_t n = 0;
    value = 0;
    while (n < t.size()) {
        char c = t[n];
        int d = (c >= '0' && c <= '9') ? c - '0' : -1;
        if (d < 0 || d >= radix) break;
        value = value * radix + d;
        ++n;
    }
    if (n == 0 || n > kMaxNumberDigits) return false;
    t.remove_prefix(n);
    return true;
}

// "", "E", "F", "E0".."E7", "F0".."F7"
bool ParseIndexSuffix(std::string_view t, ParsedOperand& out) {
    if (t.empty()) return true;
    if (t[0] != 'E' && t[0] != 'F') return false;
    out.indexF = t[0] == 'F';
    if (t.size() == 1) {
        out.indexReg = 0;
        return true;
    }
    if (t.size() == 2 && t[1] >= '0' && t[1] <= '7') {
        out.indexReg = t[1] - '0';
        return true;
    }
    return false;
}

int TypeOfDeviceLetter(char c) {
    switch (c) {
    case 'X': return kDevX;
    case 'Y': return kDevY;
    case 'M': return kDevM;
    case 'S': return kDevS;
    case 'T': return kDevT;
    case 'C': return kDevC;
    case 'D': return kDevD;
    default: return kDevNone;
    }
}

// Fixed records of the index registers as operands.
constexpr uint32_t kRecE0 = 0x80008638u;
constexpr uint32_t kRecF0 = 0x8000863Au;
constexpr uint32_t kRecE1 = 0x8001866Cu;

uint32_t IndexRegisterRecord(bool f, int r) {
    if (r == 0) return f ? kRecF0 : kRecE0;
    return kRecE1 + static_cast<uint32_t>(4 * (r - 1) + (f ? 2 : 0));
}

uint8_t ModifierOf(const ParsedOperand& p) {
    if (p.indexReg < 0) return 0;
    return static_cast<uint8_t>((p.indexF ? kModF : kModE) | (p.indexReg & kModRegMask));
}

uint8_t IndexedClass(uint8_t base, const ParsedOperand& p) {
    if (p.indexReg < 0) return base;
    return static_cast<uint8_t>((p.indexF ? 0xF0 : 0xE0) | (base & 0x0F));
}

int LimitIndexOfType(int type) {
    switch (type) {
    case kDevX: return kLimX;
    case kDevY: return kLimY;
    case kDevM: return kLimM;
    case kDevS: return kLimS;
    case kDevT: return kLimT;
    case kDevC: return kLimC;
    case kDevD: return kLimD;
    case kDevP: return kLimP;
    case kDevI: return kLimI;
    default: return -1;
    }
}

std::string SuffixText(uint8_t modifier) {
    if (!(modifier & (kModE | kModF))) return std::string();
    std::string s(1, (modifier & kModF) ? 'F' : 'E');
    int r = modifier & kModRegMask;
    if (r) s.push_back(static_cast<char>('0' + r));
    return s;
}

}  // namespace

bool ParseOperand(std::string_view text, ParsedOperand& out) {
    out = ParsedOperand{};
    if (text.empty() || text.size() > static_cast<std::size_t>(kTokenMax)) return false;
    char up[kTokenMax + 1];
    for (std::size_t i = 0; i < text.size(); ++i)
        up[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    std::string_view t(up, text.size());
    const char c = t[0];
    std::string_view rest = t.substr(1);
    switch (c) {
    case 'K': {
        if (rest.size() >= 2 && rest[0] >= '1' && rest[0] <= '8' &&
            (rest[1] == 'X' || rest[1] == 'Y' || rest[1] == 'M' || rest[1] == 'S')) {
            out.digits = rest[0] - '0';
            out.type = TypeOfDeviceLetter(rest[1]);
            std::string_view num = rest.substr(2);
            int radix = (rest[1] == 'X' || rest[1] == 'Y') ? 8 : 10;
            if (!ParseDigits(num, radix, out.value)) return false;
            return ParseIndexSuffix(num, out);
        }
        bool neg = false;
        if (!rest.empty() && (rest[0] == '-' || rest[0] == '+')) {
            neg = rest[0] == '-';
            rest.remove_prefix(1);
        }
        std::size_t n = 0;
        int64_t v = 0;
        while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9') {
            v = v * 10 + (rest[n] - '0');
            if (++n > 10) return false;
        }
        if (n == 0) return false;
        rest.remove_prefix(n);
        out.type = kDevK;
        out.value = neg ? -v : v;
        return ParseIndexSuffix(rest, out);
    }
    case 'H': {
        if (rest.empty() || rest.size() > 8) return false;
        int64_t v = 0;
        for (char h : rest) {
            int d = (h >= '0' && h <= '9') ? h - '0' : (h >= 'A' && h <= 'F') ? h - 'A' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + d;
        }
        out.type = kDevH;
        out.value = v;
        return true;
    }
    case 'E':
    case 'F':
        out.type = c == 'E' ? kDevE : kDevF;
        out.isIndexRegister = true;
        if (rest.empty()) return true;
        if (rest.size() == 1 && rest[0] >= '0' && rest[0] <= '7') {
            out.value = rest[0] - '0';
            return true;
        }
        return false;
    case 'X':
    case 'Y':
        out.type = TypeOfDeviceLetter(c);
        if (!ParseDigits(rest, 8, out.value)) return false;
        return ParseIndexSuffix(rest, out);
    case 'M':
    case 'S':
    case 'T':
    case 'C':
    case 'D':
        out.type = TypeOfDeviceLetter(c);
        if (!ParseDigits(rest, 10, out.value)) return false;
        return ParseIndexSuffix(rest, out);
    case 'P':
    case 'N':
    case 'I':
        out.type = c == 'P' ? kDevP : c == 'N' ? kDevN : kDevI;
        return ParseDigits(rest, 10, out.value) && rest.empty();
    default:
        return false;
    }
}

bool ConstantInRange(const ParsedOperand& p, bool is32) {
    if (p.type == kDevK)
        return is32 ? (p.value >= INT32_MIN && p.value <= INT32_MAX) : (p.value >= -32768 && p.value <= 32767);
    if (p.type == kDevH) return p.value <= (is32 ? 0xFFFFFFFFLL : 0xFFFF);
    return true;
}

int BitRecordAddress(int type, int64_t n) {
    if (n < 0) return -1;
    switch (type) {
    case kDevS: return n < 1024 ? static_cast<int>(n) : -1;
    case kDevX: return n < 256 ? 0x400 + static_cast<int>(n) : -1;
    case kDevY: return n < 256 ? 0x500 + static_cast<int>(n) : -1;
    case kDevT: return n < 256 ? 0x600 + static_cast<int>(n) : -1;
    case kDevC: return n < 256 ? 0xE00 + static_cast<int>(n) : -1;
    case kDevM:
        if (n < 1536) return 0x800 + static_cast<int>(n);
        return n < 4096 ? 0x1000 + static_cast<int>(n - 1536) : -1;
    default: return -1;
    }
}

int EncodeParsed(const ParsedOperand& p, uint32_t allowed, bool is32, uint8_t* out) {
    uint8_t rec[4] = {0, 0, 0, 0x80};
    const int size = is32 ? 8 : 4;
    const uint8_t reg = static_cast<uint8_t>(p.indexReg < 0 ? 0 : p.indexReg);
    auto finish = [&](bool constant) {
        std::memcpy(out, rec, 4);
        if (is32) {
            std::memcpy(out + 4, rec, 4);
            if (constant) {
                const uint32_t v = static_cast<uint32_t>(p.value);
                out[4] = static_cast<uint8_t>(v >> 16);
                out[6] = static_cast<uint8_t>(v >> 24);
            }
        }
        return size;
    };
    if (p.isIndexRegister) {
        const uint32_t v = IndexRegisterRecord(p.type == kDevF, static_cast<int>(p.value));
        for (int i = 0; i < 4; ++i) rec[i] = static_cast<uint8_t>(v >> (8 * i));
        return finish(false);
    }
    switch (p.type) {
    case kDevK:
    case kDevH: {
        if (p.type == kDevH && p.indexReg >= 0) return 0;
        const uint32_t v = static_cast<uint32_t>(p.value);
        rec[0] = static_cast<uint8_t>(v);
        rec[1] = IndexedClass(p.type == kDevK ? kClassK : kClassH, p);
        rec[2] = static_cast<uint8_t>(v >> 8);
        rec[3] = static_cast<uint8_t>(0x80 + reg);
        return finish(true);
    }
    case kDevP:
    case kDevN:
    case kDevI:
        if (p.value > 0xFFFF) return 0;
        rec[0] = static_cast<uint8_t>(p.value);
        rec[1] = p.type == kDevI ? kClassILabel : kClassPointer;
        rec[2] = static_cast<uint8_t>(p.value >> 8);
        rec[3] = p.type == kDevN ? 0x88 : 0x80;
        return finish(false);
    default: break;
    }
    const bool wordT = p.type == kDevT && (allowed & kOpT);
    const bool wordC = p.type == kDevC && (allowed & kOpC);
    if (p.digits == 0 && (p.type == kDevD || wordT || wordC)) {
        int address;
        uint8_t code;
        if (p.type == kDevD) {
            if (p.value > 0x3FFF) return 0;
            address = static_cast<int>(p.value) * 2;
            code = static_cast<uint8_t>(0x86 + (reg >> 1));
        } else if (p.type == kDevT) {
            if (p.value > 255 || reg > 1) return 0;
            address = static_cast<int>(p.value) * 2;
            code = 0x82;
        } else {
            if (p.value > 255 || reg > 1) return 0;
            address = p.value >= 200 ? 0x200 + static_cast<int>(p.value - 200) * 4 : static_cast<int>(p.value) * 2;
            code = 0x84;
        }
        rec[0] = static_cast<uint8_t>(address);
        rec[1] = IndexedClass(kClassWord, p);
        rec[2] = static_cast<uint8_t>(((address >> 8) & 0x7F) | ((p.type == kDevD ? (reg & 1) : reg) << 7));
        rec[3] = code;
        return finish(false);
    }
    if (p.digits > 0 && p.type != kDevX && p.type != kDevY && p.type != kDevM && p.type != kDevS) return 0;
    const int address = BitRecordAddress(p.type, p.value);
    if (address < 0) return 0;
    rec[0] = static_cast<uint8_t>(address);
    rec[1] = IndexedClass(kClassBit, p);
    rec[2] = static_cast<uint8_t>((address >> 8) | (reg << 5));
    rec[3] = static_cast<uint8_t>(0x80 + 2 * p.digits);
    return finish(false);
}

bool DecodeRecord(const uint8_t* r, bool is32, DecodedOperand& out) {
    out = DecodedOperand{};
    const uint8_t b0 = r[0], cls = r[1], b2 = r[2], b3 = r[3];
    const uint8_t hi = cls & 0xF0, lo = cls & 0x0F;
    if (hi != 0x80 && hi != 0xE0 && hi != 0xF0) return false;
    const bool indexed = hi != 0x80;
    auto setIndex = [&](int reg) {
        if (reg < 0 || reg > 7) return false;
        if (!indexed) return reg == 0;
        out.rec.modifier = static_cast<uint8_t>((hi == 0xF0 ? kModF : kModE) | reg);
        out.kind |= kOpIndexed;
        return true;
    };
    switch (lo) {
    case 0x0:
    case 0x2: {
        // An index register may modify a K constant only: "H1FE" would read back as
        // the plain constant H1FE, so no text could stand for an indexed H.
        if (lo == 0x2 && indexed) return false;
        uint32_t v = b0 | (b2 << 8);
        if (is32) v |= (static_cast<uint32_t>(r[4]) << 16) | (static_cast<uint32_t>(r[6]) << 24);
        out.rec.type = lo == 0 ? kDevK : kDevH;
        out.rec.number = static_cast<uint16_t>(v);
        out.rec.high = static_cast<uint16_t>(v >> 16);
        out.kind = lo == 0 ? kOpK : kOpH;
        if (lo == 0)
            out.value = is32 ? static_cast<int64_t>(static_cast<int32_t>(v)) : static_cast<int16_t>(v);
        else
            out.value = is32 ? static_cast<int64_t>(v) : static_cast<int64_t>(v & 0xFFFF);
        return setIndex(b3 - 0x80);
    }
    case 0x4: {
        const int address = ((b2 & 0x1F) << 8) | b0;
        int digits = 0;
        if (b3 != 0x80) {
            if (b3 < 0x82 || b3 > 0x90 || (b3 & 1)) return false;
            digits = (b3 - 0x80) / 2;
        }
        int type, number;
        if (address < 0x400) type = kDevS, number = address;
        else if (address < 0x500) type = kDevX, number = address - 0x400;
        else if (address < 0x600) type = kDevY, number = address - 0x500;
        else if (address < 0x700) type = kDevT, number = address - 0x600;
        else if (address < 0x800) return false;
        else if (address < 0xE00) type = kDevM, number = address - 0x800;
        else if (address < 0xF00) type = kDevC, number = address - 0xE00;
        else if (address < 0x1000) return false;
        else if (address < 0x1A00) type = kDevM, number = 1536 + address - 0x1000;
        else return false;
        out.rec.type = static_cast<uint8_t>(type);
        out.rec.number = static_cast<uint16_t>(number);
        out.rec.digits = static_cast<uint8_t>(digits);
        if (digits) {
            switch (type) {
            case kDevX: out.kind = kOpKnX; break;
            case kDevY: out.kind = kOpKnY; break;
            case kDevM: out.kind = kOpKnM; break;
            case kDevS: out.kind = kOpKnS; break;
            default: return false;
            }
        } else {
            switch (type) {
            case kDevX: out.kind = kOpX; break;
            case kDevY: out.kind = kOpY; break;
            case kDevM: out.kind = kOpM; break;
            case kDevS: out.kind = kOpS; break;
            case kDevT: out.kind = kOpTBit; break;
            default: out.kind = kOpCBit; break;
            }
        }
        return setIndex(b2 >> 5);
    }
    case 0x6: {
        if (b3 == 0x80) {
            if (indexed) return false;
            const uint32_t v = b0 | (cls << 8) | (b2 << 16) | (static_cast<uint32_t>(b3) << 24);
            int reg = -1;
            bool f = false;
            if (v == kRecE0) reg = 0;
            else if (v == kRecF0) reg = 0, f = true;
            else if (v >= kRecE1 && v <= kRecE1 + 26 && !((v - kRecE1) & 1)) {
                const uint32_t k = (v - kRecE1) / 2;
                reg = static_cast<int>(k / 2) + 1;
                f = k & 1;
            }
            if (reg < 0) return false;
            out.rec.type = f ? kDevF : kDevE;
            out.rec.number = static_cast<uint16_t>(reg);
            out.kind = kOpEF;
            return true;
        }
        const int address = ((b2 & 0x7F) << 8) | b0;
        const int low = b2 >> 7;
        if (b3 == 0x82) {
            if (address & 1) return false;
            out.rec.type = kDevT;
            out.rec.number = static_cast<uint16_t>(address / 2);
            out.kind = kOpT;
            return setIndex(low);
        }
        if (b3 == 0x84) {
            out.rec.type = kDevC;
            if ((b2 & 0x7F) == 2) {
                if (b0 & 3) return false;
                out.rec.number = static_cast<uint16_t>(200 + b0 / 4);
                if (out.rec.number > 255) return false;
            } else {
                if ((address & 1) || address / 2 >= 200) return false;
                out.rec.number = static_cast<uint16_t>(address / 2);
            }
            out.kind = kOpC;
            return setIndex(low);
        }
        if (b3 >= 0x86 && b3 <= 0x89) {
            if (address & 1) return false;
            out.rec.type = kDevD;
            out.rec.number = static_cast<uint16_t>(address / 2);
            out.kind = kOpD;
            return setIndex(low + 2 * (b3 - 0x86));
        }
        return false;
    }
    case 0x8:
        if (indexed) return false;
        if (b3 == 0x80) out.rec.type = kDevP, out.kind = kOpP;
        else if (b3 == 0x88) out.rec.type = kDevN, out.kind = kOpN;
        else return false;
        out.rec.number = static_cast<uint16_t>(b0 | (b2 << 8));
        return true;
    case 0xA:
        if (indexed || b3 != 0x80) return false;
        out.rec.type = kDevText;
        out.rec.number = static_cast<uint16_t>(b0 | (b2 << 8));
        out.kind = kOpText;
        return true;
    case 0xC:
        if (indexed || b3 != 0x80) return false;
        out.rec.type = kDevI;
        out.rec.number = static_cast<uint16_t>(b0 | (b2 << 8));
        out.kind = kOpI;
        return true;
    default:
        return false;
    }
}

namespace {

// What an instruction's action takes beyond the one element its operand names
// (the simulator's bodies read and write exactly these): `elements` elements in
// a row from the operand, each 32 bits wide where `wide` is set although the
// instruction is 16-bit (the product of MUL, FLT's number).
struct TReachRow {
    int index;
    int operand;
    int elements;
    bool wide;
    bool octalM = false;
};
constexpr TReachRow kReachRows[] = {
    {inst::MUL, 2, 1, true},  {inst::DMUL, 2, 2, true},    // the product: twice the width
    {inst::DIV, 2, 2, false}, {inst::DDIV, 2, 2, false},   // the quotient and the remainder
    {inst::CMP, 2, 3, false}, {inst::DCMP, 2, 3, false},   // three result bits
    {inst::ECMP, 2, 3, false}, {inst::DECMP, 2, 3, false},
    {inst::ZCP, 3, 3, false}, {inst::DZCP, 3, 3, false},
    {inst::EZCP, 3, 3, false}, {inst::DEZCP, 3, 3, false},
    {inst::TCMP, 3, 3, false}, {inst::TCMP, 4, 3, false},  // a time is three words
    {inst::TZCP, 0, 3, false}, {inst::TZCP, 1, 3, false}, {inst::TZCP, 2, 3, false}, {inst::TZCP, 3, 3, false},
    {inst::TADD, 0, 3, false}, {inst::TADD, 1, 3, false}, {inst::TADD, 2, 3, false},
    {inst::TSUB, 0, 3, false}, {inst::TSUB, 1, 3, false}, {inst::TSUB, 2, 3, false},
    {inst::TRD, 0, 7, false}, {inst::TWR, 0, 7, false},   // the seven clock words
    {inst::SER, 2, 5, false}, {inst::DSER, 2, 5, false},   // five results
    {inst::CCD, 1, 2, false},                              // the sum and the parity
    {inst::FLT, 1, 1, true},                               // a floating-point number
    {inst::PRUN, 0, 1, false, true}, {inst::PRUN, 1, 1, false, true},    // octal groups of M
    {inst::DPRUN, 0, 1, false, true}, {inst::DPRUN, 1, 1, false, true},
};

// Element k of a word operand from T, C or D n is the family's: at 16 bits
// register n + k, at 32 bits the pair from n + 2k (WordPairInFamily); a counter
// from C200 is one register per element of either width, and the 16-bit
// counters below C200 never run into them.
bool WordElementFits(int type, int64_t n, int64_t k, bool wide, int family) {
    constexpr int64_t kFirst32BitCounter = 200;
    const int32_t* limits = gDeviceLimitTable[family];
    if (type == kDevC && n >= kFirst32BitCounter) return n + k <= limits[kLimC];
    const int64_t at = wide ? n + 2 * k : n + k;
    const int64_t last = wide ? at + 1 : at;
    if (type == kDevC && last >= kFirst32BitCounter) return false;
    if (wide) return WordPairInFamily(type, at, family);
    return at <= limits[type == kDevT ? kLimT : type == kDevC ? kLimC : kLimD];
}

}  // namespace

TOperandReach OperandReach(int index, int operand) {
    // A pulse row acts as its plain row.
    if (index >= 0 && index < kInstCount && (gInstFlags[index] & kInstPulse))
        index = OpcodeToIndex(static_cast<uint16_t>(gInstOpcode[index] - 0x1000));
    for (const TReachRow& r : kReachRows)
        if (r.index == index && r.operand == operand) return {r.elements, r.wide, r.octalM};
    return {};
}

bool ReachFits(const DecodedOperand& op, bool is32, int family, int index, int operand) {
    if (family < 0 || family >= kFamilyCount) return false;
    const int type = op.rec.type;
    if (type == kDevN) return op.rec.number <= 7;
    const int li = LimitIndexOfType(type);
    if (li < 0) return true;  // constants, text, index registers
    const TOperandReach reach = OperandReach(index, operand);
    const int64_t n = op.rec.number;
    if (op.rec.digits) {
        if (op.rec.digits > (is32 ? 8 : 4)) return false;
        const int64_t bits = int64_t{4} * op.rec.digits * reach.elements;
        // An octal group of M: whole tens for each 8 bits, then the rest.
        const int64_t last = reach.octalM && type == kDevM ? n + 10 * ((bits - 1) / 8) + (bits - 1) % 8 : n + bits - 1;
        return last <= gDeviceLimitTable[family][li];
    }
    const uint32_t kind = op.kind & ~static_cast<uint32_t>(kOpIndexed);
    if (!(kind & (kOpT | kOpC | kOpD))) return n + reach.elements - 1 <= gDeviceLimitTable[family][li];
    for (int k = 0; k < reach.elements; ++k)
        if (!WordElementFits(type, n, k, is32 || reach.wide, family)) return false;
    return true;
}

bool OperandFits(const DecodedOperand& op, uint32_t allowed, bool is32, int family, int index, int operand) {
    const uint32_t kind = op.kind & ~static_cast<uint32_t>(kOpIndexed);
    if (!(allowed & kind)) return false;
    if ((op.kind & kOpIndexed) && !(allowed & kOpIndexed)) return false;
    return ReachFits(op, is32, family, index, operand);
}

std::string DeviceText(int type, uint32_t number) { return DeviceName(type, number); }

std::string DecodedText(const DecodedOperand& op, bool is32) {
    const TDeviceRecord& r = op.rec;
    char buf[32];
    switch (r.type) {
    case kDevK:
        std::snprintf(buf, sizeof buf, "K%lld", static_cast<long long>(op.value));
        return buf + SuffixText(r.modifier);
    case kDevH:
        std::snprintf(buf, sizeof buf, "H%llX", static_cast<unsigned long long>(op.value));
        return buf + SuffixText(r.modifier);
    case kDevE:
    case kDevF:
        return SuffixText(static_cast<uint8_t>((r.type == kDevF ? kModF : kModE) | r.number));
    case kDevP:
    case kDevN:
        std::snprintf(buf, sizeof buf, "%c%u", r.type == kDevP ? 'P' : 'N', r.number);
        return buf;
    case kDevI:
        std::snprintf(buf, sizeof buf, "I%03u", r.number);
        return buf;
    case kDevText: {
        std::string s;
        for (char ch : {static_cast<char>(r.number & 0xFF), static_cast<char>(r.number >> 8)})
            if (ch > ' ' && ch < 0x7F) s.push_back(ch);
        return s;
    }
    default: break;
    }
    std::string s;
    if (r.digits) {
        s = "K";
        s.push_back(static_cast<char>('0' + r.digits));
    }
    return s + DeviceText(r.type, r.number) + SuffixText(r.modifier);
}

}  // namespace core_detail

using namespace core_detail;

// ---- public codec --------------------------------------------------------------------

bool EncodeDeviceRecord(std::string_view text, TDeviceRecord& out) {
    ParsedOperand p;
    if (!ParseOperand(text, p)) return false;
    out = TDeviceRecord{};
    out.type = static_cast<uint8_t>(p.type);
    out.modifier = ModifierOf(p);
    out.digits = static_cast<uint8_t>(p.digits);
    const uint32_t v = static_cast<uint32_t>(p.value);
    out.number = static_cast<uint16_t>(v);
    if (p.type == kDevK || p.type == kDevH) out.high = static_cast<uint16_t>(v >> 16);
    else if (p.value > 0xFFFF) return false;
    return true;
}

uint16_t DeviceToBasicAddress(int type, uint32_t number) {
    switch (type) {
    case kDevS: return number < 1024 ? static_cast<uint16_t>(number) : 0xFFFF;
    case kDevX: return number < 256 ? static_cast<uint16_t>(0x400 + number) : 0xFFFF;
    case kDevY: return number < 256 ? static_cast<uint16_t>(0x500 + number) : 0xFFFF;
    case kDevT: return number < 256 ? static_cast<uint16_t>(0x600 + number) : 0xFFFF;
    case kDevC: return number < 256 ? static_cast<uint16_t>(0xE00 + number) : 0xFFFF;
    case kDevM:
        if (number < 1536) return static_cast<uint16_t>(0x800 + number);
        return number < 4096 ? static_cast<uint16_t>(0xB000 + number - 1536) : 0xFFFF;
    default: return 0xFFFF;
    }
}

bool DecodeBasicAddress(uint16_t word, TDeviceRecord& out) {
    out = TDeviceRecord{};
    const int hi = word >> 8;
    if (hi == 0x81 || hi == 0x83) {
        out.type = hi == 0x81 ? kDevT : kDevC;
        out.number = word & 0xFF;
        return true;
    }
    const int a = word & 0x0FFF;
    if (a < 0x400) out.type = kDevS, out.number = static_cast<uint16_t>(a);
    else if (a < 0x500) out.type = kDevX, out.number = static_cast<uint16_t>(a - 0x400);
    else if (a < 0x600) out.type = kDevY, out.number = static_cast<uint16_t>(a - 0x500);
    else if (a < 0x700) out.type = kDevT, out.number = static_cast<uint16_t>(a - 0x600);
    else if (a < 0x800) return false;
    else if (a < 0xE00) out.type = kDevM, out.number = static_cast<uint16_t>(a - 0x800);
    else if (a < 0xF00) out.type = kDevC, out.number = static_cast<uint16_t>(a - 0xE00);
    else return false;
    return true;
}

bool DecodeOperandWord(const uint8_t* record, int size, TDeviceRecord& out) {
    out = TDeviceRecord{};
    if (!record) return false;
    if (size == 2) {
        const uint16_t w = static_cast<uint16_t>(record[0] | (record[1] << 8));
        const int hi = w >> 8;
        const bool basic = (hi >= 0x20 && hi <= 0x7F) || (hi >= 0xA0 && hi <= 0xAF) ||
                           (hi >= 0xC0 && hi <= 0xDF) || hi == 0x81 || hi == 0x83;
        return basic && DecodeBasicAddress(w, out);
    }
    if (size != 4 && size != 8) return false;
    DecodedOperand d;
    if (!DecodeRecord(record, size == 8, d)) return false;
    out = d.rec;
    return true;
}

int CompareContactOffset(uint16_t opcode) { return CompareCodeOfIndex(OpcodeToIndex(opcode)); }

bool EncodeOperand(std::string_view text, int mode, uint16_t& address) {
    if (mode != 0) return false;
    ParsedOperand p;
    if (!ParseOperand(text, p) || p.digits || p.indexReg >= 0 || p.isIndexRegister) return false;
    const int64_t n = p.value;
    switch (p.type) {
    case kDevD:
        if (n > 9999) return false;
        address = static_cast<uint16_t>(n < 4096 ? 0x1000 + n : 0x8000 + n);
        return true;
    case kDevC:
    case kDevM:
    case kDevS:
    case kDevT:
    case kDevX:
    case kDevY: {
        const uint16_t a = DeviceToBasicAddress(p.type, static_cast<uint32_t>(n));
        if (a == 0xFFFF) return false;
        address = a;
        return true;
    }
    default:
        return false;
    }
}

int EncodeOperandRecord(std::string_view text, bool is32, uint8_t* out) {
    ParsedOperand p;
    if (!out || !ParseOperand(text, p) || !ConstantInRange(p, is32)) return 0;
    return EncodeParsed(p, kOpT | kOpC, is32, out);
}

std::string OperandRecordToText(const uint8_t* record, int size) {
    DecodedOperand d;
    if (!record || (size != 4 && size != 8) || !DecodeRecord(record, size == 8, d)) return std::string();
    return DecodedText(d, size == 8);
}

std::string OperandTextAsShown(std::string_view text) {
    const std::string typed = StrToUpper(text);
    ParsedOperand p;
    if (!ParseOperand(typed, p)) return typed;
    const bool constant = p.type == kDevK || p.type == kDevH;
    // A number past what a record holds is shown by nothing: kept as typed.
    if (!constant && (p.value < 0 || p.value > 0xFFFF)) return typed;
    DecodedOperand d;
    d.rec.type = static_cast<uint8_t>(p.type);
    d.rec.number = static_cast<uint16_t>(p.value);
    d.rec.digits = static_cast<uint8_t>(p.digits);
    d.rec.modifier = ModifierOf(p);
    d.value = p.value;
    return DecodedText(d, true);
}

// ---- operand checkers ----------------------------------------------------------------

namespace {

int32_t Limit(int li) { return gDeviceLimitTable[CurrentFamily()][li]; }

bool CheckDevice(std::string_view text, int type, int li) {
    ParsedOperand p;
    return ParseOperand(text, p) && p.type == type && !p.digits && !p.isIndexRegister && p.value <= Limit(li);
}

bool CheckDigitGroup(std::string_view text, int type, int li) {
    ParsedOperand p;
    return ParseOperand(text, p) && p.type == type && p.digits >= 1 && p.digits <= 8 &&
           p.value + 4 * p.digits - 1 <= Limit(li);
}

bool CheckConstant(std::string_view text, int type, int64_t lo, int64_t hi) {
    ParsedOperand p;
    return ParseOperand(text, p) && p.type == type && !p.digits && p.value >= lo && p.value <= hi;
}

}  // namespace

bool CheckXOperand(std::string_view t) { return CheckDevice(t, kDevX, kLimX); }
bool CheckYOperand(std::string_view t) { return CheckDevice(t, kDevY, kLimY); }
bool CheckMOperand(std::string_view t) { return CheckDevice(t, kDevM, kLimM); }
bool CheckSOperand(std::string_view t) { return CheckDevice(t, kDevS, kLimS); }
bool CheckTOperand(std::string_view t) { return CheckDevice(t, kDevT, kLimT); }
bool CheckCOperand(std::string_view t) { return CheckDevice(t, kDevC, kLimC); }
bool CheckDOperand(std::string_view t) { return CheckDevice(t, kDevD, kLimD); }
bool CheckK16Operand(std::string_view t) { return CheckConstant(t, kDevK, -32768, 32767); }
bool CheckK32Operand(std::string_view t) { return CheckConstant(t, kDevK, INT32_MIN, INT32_MAX); }
bool CheckH16Operand(std::string_view t) { return CheckConstant(t, kDevH, 0, 0xFFFF); }
bool CheckH32Operand(std::string_view t) { return CheckConstant(t, kDevH, 0, 0xFFFFFFFFLL); }
bool CheckKnXOperand(std::string_view t) { return CheckDigitGroup(t, kDevX, kLimX); }
bool CheckKnYOperand(std::string_view t) { return CheckDigitGroup(t, kDevY, kLimY); }
bool CheckKnMOperand(std::string_view t) { return CheckDigitGroup(t, kDevM, kLimM); }
bool CheckKnSOperand(std::string_view t) { return CheckDigitGroup(t, kDevS, kLimS); }

bool CheckPOperand(std::string_view t) {
    ParsedOperand p;
    return ParseOperand(t, p) && p.type == kDevP && p.value <= Limit(kLimP);
}

bool CheckIOperand(std::string_view t) {
    ParsedOperand p;
    return t.size() == 4 && ParseOperand(t, p) && p.type == kDevI && p.value <= Limit(kLimI);
}

bool CheckIndexRegOperand(std::string_view t) {
    ParsedOperand p;
    return ParseOperand(t, p) && p.isIndexRegister;
}

// ---- labels --------------------------------------------------------------------------

int PLabelNumber(std::string_view text) {
    ParsedOperand p;
    if (text.size() < 2 || text.size() > 4 || !ParseOperand(text, p) || p.type != kDevP) return -1;
    return p.value <= 255 ? static_cast<int>(p.value) : -1;
}

int ILabelNumber(std::string_view text) {
    ParsedOperand p;
    if (text.size() != 4 || !ParseOperand(text, p) || p.type != kDevI) return -1;
    return p.value <= 899 ? static_cast<int>(p.value) : -1;
}

bool CheckPLabel(std::string_view label, int row, const int32_t* pLabelRows) {
    const int n = PLabelNumber(label);
    if (n < 0 || n > Limit(kLimP) || !pLabelRows) return false;
    return pLabelRows[n] == -1 || pLabelRows[n] == row;
}

bool CheckILabel(std::string_view label, int row, const int32_t* iLabelRows) {
    const int n = ILabelNumber(label);
    if (n < 0 || n > Limit(kLimI) || !iLabelRows) return false;
    return iLabelRows[n] == -1 || iLabelRows[n] == row;
}

void FreeRowLabels(int32_t* labelRows, int count, int row) {
    if (!labelRows) return;
    for (int i = 0; i < count; ++i)
        if (labelRows[i] == row) labelRows[i] = -1;
}

bool CheckLabelUniqueInList(std::string_view label, std::span<const TCodeBlock> blocks) {
    const int p = PLabelNumber(label), i = ILabelNumber(label);
    if (p < 0 && i < 0) return false;
    const uint16_t word = p >= 0 ? static_cast<uint16_t>(gInstOpcode[inst::PLABEL] + p)
                                 : static_cast<uint16_t>(gInstOpcode[inst::ILABEL] + i);
    return CheckWordUniqueInList(word, blocks);
}
