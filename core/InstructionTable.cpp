// The instruction table columns and the per-row operand forms, all generated at compile
// time from core/InstructionRows.inc so that the columns can never disagree.
#include "core/InstructionTable.h"

#include <array>
#include <cctype>

namespace {

constexpr uint8_t FAM_NONE = 0;
constexpr uint8_t FAM_ALL = 0x7;
constexpr uint8_t FAM_12 = 0x6;  // families 1 and 2

// Operand kind groups.
constexpr uint32_t CONST = kOpK | kOpH;
constexpr uint32_t KN = kOpKnX | kOpKnY | kOpKnM | kOpKnS;
constexpr uint32_t KNDST = kOpKnY | kOpKnM | kOpKnS;
constexpr uint32_t WORD = kOpT | kOpC | kOpD;
constexpr uint32_t IX = kOpIndexed;
constexpr uint32_t S16 = CONST | KN | WORD | kOpEF | IX;   // any source value
constexpr uint32_t D16 = KNDST | WORD | kOpEF | IX;        // any destination value
constexpr uint32_t BITSRC = kOpX | kOpY | kOpM | kOpS | kOpTBit | kOpCBit;
constexpr uint32_t BITDST = kOpY | kOpM | kOpS;
constexpr uint32_t BITIO = kOpX | kOpY | kOpM | kOpS;
constexpr uint32_t CD = CONST | kOpD;
constexpr uint32_t DI = kOpD | IX;

enum FormId : int {
    F_NONE, F_CONTACT, F_OUT, F_SET, F_STL, F_PLABEL, F_ILABEL, F_N, F_RST, F_TMR, F_CNT, F_DCNT,
    F_PTR, F_S, F_CMP, F_ZCP, F_SD, F_DD, F_D, F_SMOV, F_BMOV, F_FMOV, F_SSD, F_DN, F_SFT, F_WSF,
    F_SFWR, F_SFRD, F_ZRST, F_DECO, F_ENCO, F_BON, F_MEAN, F_ANS, F_N16, F_REF, F_MTR, F_HSCS,
    F_HSCR, F_HSZ, F_SPD, F_PLSY, F_PLSR, F_IST, F_SER, F_ABSD, F_TTMR, F_STMR, F_BIT, F_RAMP,
    F_ROTC, F_SORT, F_TKY, F_HKY, F_DSW, F_SEGL, F_ARWS, F_ASC, F_PR, F_FROM, F_TO, F_RS, F_PRUN,
    F_ASCI, F_VR, F_PID, F_FLT, F_MEM, F_MOD3, F_MOD2, F_MODRW, F_PWD, F_RTM, F_ABSR, F_ZRN,
    F_PLSV, F_DRV, F_TCMP, F_TZCP, F_TADD, F_TRD, F_TWR, F_HOUR, F_MAT4, F_MAT3, F_MCMP, F_MBRW,
    F_MBS, F_MBC, F_PLST, F_EDGE, F_COMPARE, F_LONGBIT, F_FUN1, F_FUN2, F_COUNT
};

// What each operand of an instruction may be. These replace the operand database of the
// applied-instruction picker: one entry per form, shared by the 16- and 32-bit rows.
constexpr TOperandForm kForms[F_COUNT] = {
    /*F_NONE*/ {0, {}},
    /*F_CONTACT*/ {1, {BITSRC}},
    /*F_OUT*/ {1, {BITDST}},
    /*F_SET*/ {1, {BITDST}},
    /*F_STL*/ {1, {kOpS}},
    /*F_PLABEL*/ {1, {kOpP}},
    /*F_ILABEL*/ {1, {kOpI}},
    /*F_N*/ {1, {kOpN}},
    /*F_RST*/ {1, {BITDST | kOpTBit | kOpCBit | kOpD | IX}},
    /*F_TMR*/ {2, {kOpT, kOpK | kOpD}},
    /*F_CNT*/ {2, {kOpC, kOpK | kOpD}},
    /*F_DCNT*/ {2, {kOpC, kOpK | kOpD}},
    /*F_PTR*/ {1, {kOpP}},
    /*F_S*/ {1, {S16}},
    /*F_CMP*/ {3, {S16, S16, BITDST | IX}},
    /*F_ZCP*/ {4, {S16, S16, S16, BITDST | IX}},
    /*F_SD*/ {2, {S16, D16}},
    /*F_DD*/ {2, {D16, D16}},
    /*F_D*/ {1, {D16}},
    /*F_SMOV*/ {5, {S16, CONST, CONST, D16, CONST}},
    /*F_BMOV*/ {3, {KN | WORD | IX, KNDST | WORD | IX, CD}},
    /*F_FMOV*/ {3, {S16, KNDST | WORD | IX, CONST}},
    /*F_SSD*/ {3, {S16, S16, D16}},
    /*F_DN*/ {2, {D16, CD}},
    /*F_SFT*/ {4, {BITIO | IX, BITDST | IX, CONST, CD}},
    /*F_WSF*/ {4, {KN | WORD | IX, KNDST | WORD | IX, CONST, CD}},
    /*F_SFWR*/ {3, {S16, KNDST | WORD | IX, CONST}},
    /*F_SFRD*/ {3, {KN | WORD | IX, D16, CONST}},
    /*F_ZRST*/ {2, {BITDST | WORD, BITDST | WORD}},
    /*F_DECO*/ {3, {CONST | BITIO | WORD | IX, BITDST | WORD | IX, CONST}},
    /*F_ENCO*/ {3, {BITIO | WORD | IX, WORD | kOpEF | IX, CONST}},
    /*F_BON*/ {3, {S16, BITDST | IX, CONST}},
    /*F_MEAN*/ {3, {KN | WORD | IX, D16, CD}},
    /*F_ANS*/ {3, {kOpT, CONST, kOpS}},
    /*F_N16*/ {1, {CONST}},
    /*F_REF*/ {2, {kOpX | kOpY, CONST}},
    /*F_MTR*/ {4, {kOpX, kOpY, BITDST, CONST}},
    /*F_HSCS*/ {3, {S16, kOpC, BITDST | kOpI}},
    /*F_HSCR*/ {3, {S16, kOpC, BITDST | kOpC}},
    /*F_HSZ*/ {4, {S16, S16, kOpC, BITDST}},
    /*F_SPD*/ {3, {kOpX, S16, WORD | IX}},
    /*F_PLSY*/ {3, {S16, S16, kOpY}},
    /*F_PLSR*/ {4, {S16, S16, S16, kOpY}},
    /*F_IST*/ {3, {BITIO, kOpS, kOpS}},
    /*F_SER*/ {4, {KN | WORD | IX, S16, KNDST | WORD | IX, CD}},
    /*F_ABSD*/ {4, {KN | WORD | IX, kOpC, BITDST, CONST}},
    /*F_TTMR*/ {2, {kOpD, CONST}},
    /*F_STMR*/ {3, {kOpT, CONST, BITDST}},
    /*F_BIT*/ {1, {BITDST | IX}},
    /*F_RAMP*/ {4, {kOpD, kOpD, kOpD, CONST}},
    /*F_ROTC*/ {4, {kOpD, CONST, CONST, BITDST}},
    /*F_SORT*/ {5, {kOpD, CONST, CONST, kOpD, CD}},
    /*F_TKY*/ {3, {BITIO, KNDST | WORD | IX, BITDST}},
    /*F_HKY*/ {4, {kOpX, kOpY, KNDST | WORD | IX, BITDST}},
    /*F_DSW*/ {4, {kOpX, kOpY, kOpD, CONST}},
    /*F_SEGL*/ {3, {S16, kOpY, CONST}},
    /*F_ARWS*/ {4, {BITIO, kOpD, kOpY, CONST}},
    /*F_ASC*/ {5, {kOpText, kOpText, kOpText, kOpText, WORD | IX}},
    /*F_PR*/ {2, {kOpT | kOpC | kOpD, kOpY}},
    /*F_FROM*/ {4, {CONST, CD, D16, CONST}},
    /*F_TO*/ {4, {CONST, CD, S16, CONST}},
    /*F_RS*/ {4, {kOpD, CD, kOpD, CD}},
    /*F_PRUN*/ {2, {kOpKnX | kOpKnM | IX, kOpKnY | kOpKnM | IX}},
    /*F_ASCI*/ {3, {S16, WORD | KNDST | IX, CD}},
    /*F_VR*/ {2, {CONST, D16}},
    /*F_PID*/ {4, {kOpD, kOpD, kOpD, kOpD}},
    /*F_FLT*/ {2, {WORD | KN | IX, WORD | IX}},
    /*F_MEM*/ {4, {CD, CD, D16, CD}},
    /*F_MOD3*/ {3, {CD, CD, CD}},
    /*F_MOD2*/ {2, {CD, CD}},
    /*F_MODRW*/ {5, {CD, CD, CD, kOpD, CD}},
    /*F_PWD*/ {2, {kOpX, kOpD}},
    /*F_RTM*/ {2, {kOpD, CONST}},
    /*F_ABSR*/ {3, {BITIO, BITDST, kOpD}},
    /*F_ZRN*/ {4, {S16, S16, kOpX, kOpY}},
    /*F_PLSV*/ {3, {S16, kOpY, BITDST}},
    /*F_DRV*/ {4, {S16, S16, kOpY, BITDST}},
    /*F_TCMP*/ {5, {S16, S16, S16, kOpD, BITDST}},
    /*F_TZCP*/ {4, {kOpD, kOpD, kOpD, BITDST}},
    /*F_TADD*/ {3, {kOpD, kOpD, kOpD}},
    /*F_TRD*/ {1, {kOpD}},
    /*F_TWR*/ {1, {kOpD}},
    /*F_HOUR*/ {3, {S16, kOpD, BITDST}},
    /*F_MAT4*/ {4, {BITIO, BITIO, BITDST, CD}},
    /*F_MAT3*/ {3, {BITIO, BITDST, CD}},
    /*F_MCMP*/ {4, {BITIO, BITIO, CD, BITDST}},
    /*F_MBRW*/ {3, {BITIO, CD, BITDST}},
    /*F_MBS*/ {3, {BITIO, BITDST, CD}},
    /*F_MBC*/ {3, {BITIO, CD, kOpD}},
    /*F_PLST*/ {3, {S16, S16, kOpY}},
    /*F_EDGE*/ {1, {BITSRC}},
    /*F_COMPARE*/ {2, {CONST | KN | WORD | IX, CONST | KN | WORD | IX}},
    /*F_LONGBIT*/ {1, {kOpM}},
    /*F_FUN1*/ {3, {CONST, S16, D16}},
    /*F_FUN2*/ {4, {CONST, S16, S16, D16}},
};

struct Row {
    const char* mnemonic;
    uint8_t flags;
    uint16_t length;
    uint16_t opcode;
    FormId form;
    uint8_t families;
};

constexpr Row kRows[] = {
#define QEL_INST(id, mn, tokens, flags, length, opcode, form, families) \
    {mn, flags, length, opcode, form, families},
#include "core/InstructionRows.inc"
#undef QEL_INST
};
static_assert(sizeof(kRows) / sizeof(kRows[0]) == kInstCount, "the table has 444 rows");

constexpr bool TokensMatch() {
    int i = 0;
#define QEL_INST(id, mn, tokens, flags, length, opcode, form, families) \
    if ((flags & kInstTokenMask) != tokens) return false;              \
    ++i;
#include "core/InstructionRows.inc"
#undef QEL_INST
    return i == kInstCount;
}
static_assert(TokensMatch());

// Every applied row is its opcode word plus one record per operand (8 bytes in the
// 32-bit forms); the rows with other layouts are the basic ones and TMR/CNT/DCNT.
constexpr bool LengthsConsistent() {
    for (int i = 0; i < kInstCount; ++i) {
        const Row& r = kRows[i];
        int ops = (r.flags & kInstTokenMask) - 1;
        if (i <= inst::NOP || i == inst::ERROR) {
            if (r.length != 2) return false;
        } else if (i == inst::TMR || i == inst::CNT) {
            if (r.length != 8) return false;
        } else if (i == inst::DCNT) {
            if (r.length != 12) return false;
        } else if (r.form == F_ASC) {
            if (r.length != 2 + 4 * ops) return false;
        } else if (r.length != 2 + ops * ((r.flags & kInst32Bit) ? 8 : 4)) {
            return false;
        }
        // Every operand has a form entry, and every entry allows some kind of operand.
        if (kForms[r.form].count != ops) return false;
        for (int k = 0; k < ops; ++k)
            if (kForms[r.form].kinds[k] == 0) return false;
    }
    return true;
}
static_assert(LengthsConsistent());

// No two rows share an opcode (rows 0-10 are opcode bases of whole ranges).
constexpr bool OpcodesUnique() {
    for (int i = inst::ANB; i < kInstCount; ++i)
        for (int j = i + 1; j < kInstCount; ++j)
            if (kRows[i].opcode == kRows[j].opcode) return false;
    return true;
}
static_assert(OpcodesUnique());

template <typename T, typename F>
constexpr std::array<T, kInstCount> Column(F pick) {
    std::array<T, kInstCount> out{};
    for (int i = 0; i < kInstCount; ++i) out[i] = pick(kRows[i]);
    return out;
}

constexpr auto kFlagCol = Column<uint8_t>([](const Row& r) { return r.flags; });
constexpr auto kLengthCol = Column<uint16_t>([](const Row& r) { return r.length; });
constexpr auto kOpcodeCol = Column<uint16_t>([](const Row& r) { return r.opcode; });

// Opcode -> row for the applied, edge, compare and long-form words (all below 0x2000).
struct OpcodeMap {
    int16_t row[0x2000];
};
constexpr OpcodeMap BuildOpcodeMap() {
    OpcodeMap m{};
    for (auto& v : m.row) v = -1;
    for (int i = inst::ANB; i < kInstCount; ++i)
        if (kRows[i].opcode < 0x2000) m.row[kRows[i].opcode] = static_cast<int16_t>(i);
    return m;
}
constexpr OpcodeMap kOpcodeMap = BuildOpcodeMap();

int IndexOfRange(int i) { return i >= 0 && i < kInstCount ? i : -1; }

}  // namespace

// The columns. Defined element by element from the constant rows so that other
// translation units see plain arrays.
const char gInstMnemonic[kInstCount][kInstMnemonicSize] = {
#define QEL_INST(id, mn, tokens, flags, length, opcode, form, families) mn,
#include "core/InstructionRows.inc"
#undef QEL_INST
};
const uint8_t gInstFlags[kInstCount] = {
#define QEL_INST(id, mn, tokens, flags, length, opcode, form, families) flags,
#include "core/InstructionRows.inc"
#undef QEL_INST
};
const uint16_t gInstLength[kInstCount] = {
#define QEL_INST(id, mn, tokens, flags, length, opcode, form, families) length,
#include "core/InstructionRows.inc"
#undef QEL_INST
};
const uint16_t gInstOpcode[kInstCount] = {
#define QEL_INST(id, mn, tokens, flags, length, opcode, form, families) opcode,
#include "core/InstructionRows.inc"
#undef QEL_INST
};

int OpcodeToIndex(uint16_t word) {
    switch (word >> 12) {
    case 0x2: return inst::LD;
    case 0x3: return inst::LDI;
    case 0x4: return inst::AND;
    case 0x5: return inst::ANI;
    case 0x6: return inst::OR;
    case 0x7: return inst::ORI;
    case 0xA: return inst::STL;
    case 0xC: return inst::OUT;
    case 0xD: return inst::SET;
    case 0xB:
        // Only labels the label tables can hold (P0-P255, I000-I899) are labels.
        if (word >= 0xB000 && word <= 0xB0FF) return inst::PLABEL;
        if (word >= 0xB800 && word < 0xB800 + 900) return inst::ILABEL;
        return kInstError;
    default: break;
    }
    if (word == kNopWord) return inst::NOP;
    if (word >= 0xFFF8) {
        for (int i = inst::ANB; i <= inst::INV; ++i)
            if (kOpcodeCol[i] == word) return i;
        return kInstError;
    }
    if (word < 0x2000) {
        int row = kOpcodeMap.row[word];
        if (row >= 0) return row;
    }
    return kInstError;
}

int FindMnemonic(std::string_view text) {
    if (text.empty() || text.size() >= kInstMnemonicSize) return kInstNotFound;
    for (int i = 0; i < kInstCount; ++i) {
        const char* m = kRows[i].mnemonic;
        std::size_t k = 0;
        for (; k < text.size() && m[k]; ++k)
            if (std::toupper(static_cast<unsigned char>(text[k])) != m[k]) break;
        if (k == text.size() && m[k] == '\0') return i;
    }
    return kInstNotFound;
}

int InstTokenCount(int index) {
    return IndexOfRange(index) < 0 ? 0 : (kFlagCol[index] & kInstTokenMask);
}

int InstOperandCount(int index) {
    int t = InstTokenCount(index);
    return t > 0 ? t - 1 : 0;
}

bool InstIs32(int index) { return IndexOfRange(index) >= 0 && (kFlagCol[index] & kInst32Bit); }

int LongFormOf(int index) { return index >= inst::LD && index <= inst::SET ? index + kLongFormOffset : -1; }

int CompareCodeOfIndex(int index) {
    if (index < kInstCompareFirst || index > kInstCompareLast) return -1;
    return (index - kInstCompareFirst) % 12;
}

int CompareGroupOfIndex(int index) {
    if (index < kInstCompareFirst || index > kInstCompareLast) return -1;
    return (index - kInstCompareFirst) / 12;
}

int CompareIndex(int group, int code) {
    if (group < 0 || group > 2 || code < 0 || code > 11) return -1;
    return kInstCompareFirst + group * 12 + code;
}

const TOperandForm& InstOperandForm(int index) {
    if (IndexOfRange(index) < 0) return kForms[F_NONE];
    return kForms[kRows[index].form];
}

uint8_t InstFamilies(int index) { return IndexOfRange(index) < 0 ? 0 : kRows[index].families; }

bool InstAvailable(int index, int family) {
    if (family < 0 || family > 2) return false;
    return (InstFamilies(index) >> family) & 1;
}
